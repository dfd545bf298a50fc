// Feature handlers of the main window: ON/OFF combos, sliders, radios,
// through display and the hidden test buttons.
#include "TunedeskDlg.h"

void CTunedeskDlg::OnCbnSelChangedVividiOnOff() {}
void CTunedeskDlg::OnCbnSelChangedSharpeningOnOff() {}
void CTunedeskDlg::OnCbnSelChangedExtendedContrastOnOff() {}
void CTunedeskDlg::OnBnClickedBtnAutoBrightness() {}
void CTunedeskDlg::OnHScroll(unsigned /*nSBCode*/, unsigned /*nPos*/, QSlider* /*pSlider*/) {}
void CTunedeskDlg::ApplyVividRange(int /*range*/) {}
void CTunedeskDlg::ApplySharpeningProcessSize(int /*size*/) {}
void CTunedeskDlg::OnBnClickedRadioAreaAll() {}
void CTunedeskDlg::OnBnClickedRadioAreaCenter() {}
void CTunedeskDlg::OnBnClickedRadioAreaLeft() {}
void CTunedeskDlg::OnBnClickedRadioAreaRight() {}
void CTunedeskDlg::HandleNavoThroughDispOnOff(int /*on*/) {}
void CTunedeskDlg::OnBnClickedBtnWriteTestReg() {}
void CTunedeskDlg::OnBnClickedBtnReadTestReg() {}
void CTunedeskDlg::ApplyVividIntensity(int /*value*/) {}
void CTunedeskDlg::ApplySharpeningIntensity(int /*value*/) {}
void CTunedeskDlg::ApplyThreshold(int /*value*/) {}
void CTunedeskDlg::ApplyBrightness(int /*value*/) {}
void CTunedeskDlg::ApplyAdaptiveContrast(int /*value*/) {}
void CTunedeskDlg::ApplyColorCorrection(int /*value*/) {}
void CTunedeskDlg::ApplyNoiseRemoveSensitivity(int /*value*/) {}
