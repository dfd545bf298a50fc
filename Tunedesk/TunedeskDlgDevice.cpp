// Device connection of the main window: device list, open/close, SPI
// initialisation, the SPI parameter print-out and the read-back thread.
#include "TunedeskDlg.h"

void CTunedeskDlg::RefreshDeviceList(bool /*log*/) {}

void CTunedeskDlg::OnBnClickedBtnRefreshDevice() { RefreshDeviceList(true); }

void CTunedeskDlg::OnBnClickedBtnOpenDevice() {}

void CTunedeskDlg::OpenSelectedDevice() {}

void CTunedeskDlg::CloseSelectedDevice() {}

void CTunedeskDlg::OnMenuSpiInit() {}

void CTunedeskDlg::LogSpiConfig(const _UI_SPI_CONFIG& /*config*/) {}

unsigned CTunedeskDlg::ReadDeviceParamsThread(CTunedeskDlg* /*dlg*/) { return 0; }

void CTunedeskDlg::WaitReadDeviceParamsThread() {
  if (m_readBackThread.joinable()) m_readBackThread.join();
}
