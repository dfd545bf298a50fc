// The main window: the picture-quality controls, the device list, the log view
// and the menus. Worker threads never touch it directly; they post the UI
// notifications of WinMsg.h, which event() turns into control changes here.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <thread>

#include <QColor>
#include <QDialog>
#include <QFont>

#include "ControlTable.h"
#include "LogQueue.h"
#include "TunedeskDlgIds.h"
#include "WinMsg.h"

class CHListBox;
class QAction;
class QMenu;
class QMenuBar;
class QSlider;
struct _UI_SPI_CONFIG;

class CTunedeskDlg : public QDialog {
    Q_OBJECT

public:
    explicit CTunedeskDlg(QWidget* parent = nullptr);
    ~CTunedeskDlg() override;

    // Controls by ID (the ControlTable map), menu items by command ID.
    QWidget* GetDlgItem(int id) const { return m_controls.GetDlgItem(id); }
    template <class T>
    T* Item(int id) const {
        return m_controls.Item<T>(id);
    }
    const ControlTable& Controls() const { return m_controls; }
    QAction* GetMenuItem(int commandId) const;
    QMenuBar* MenuBar() const { return m_menuBar; }
    QMenu* LogPopupMenu() const { return m_logPopup; }
    CHListBox* LogList() const;

    // Runs the menu or system command `commandId` as if the user chose it.
    void OnCommand(int commandId);

    // ---- Start-up, enabling and painting rules ----------------------------------
    void InitControls();
    void InitRuntime();
    void EnableVividCtrls(bool on);
    void EnableSharpeningCtrls(bool on);
    void EnableExtendedContrastCtrls(bool on);
    // Text and background colours of value label `id` (1011, 1024, 1032, 1037,
    // 1042, 1048, 1054, 1059) as the label is painted now.
    CValueLabel::Colors ValueLabelColors(int id) const;
    // "ON" available only while m_bThroughDisp is 0, "OFF" only while it is not.
    void UpdateThroughDispMenu();
    void OnMenuSpiSetting();
    void OnMenuSpiReadWrite();
    // Profiles: the chip's picture settings saved to / applied from an INI file.
    void OnMenuProfileSave();
    void OnMenuProfileLoad();
    void OnSysCommand(int commandId);
    const QFont& ValueFont() const { return m_valueFont; }

    // ---- UI notifications (value in wParam; out-of-range values change nothing) --
    qintptr OnLogMessage(quintptr wParam, qintptr lParam);
    qintptr OnVividOnOff(quintptr wParam, qintptr lParam);
    qintptr OnVividRange(quintptr wParam, qintptr lParam);
    qintptr OnVividIntensity(quintptr wParam, qintptr lParam);
    qintptr OnSharpeningOnOff(quintptr wParam, qintptr lParam);
    qintptr OnSharpeningArea(quintptr wParam, qintptr lParam);
    qintptr OnSharpeningIntensity(quintptr wParam, qintptr lParam);
    qintptr OnExtendedContrastOnOff(quintptr wParam, qintptr lParam);
    qintptr OnAutoBrightnessOnOff(quintptr wParam, qintptr lParam);
    qintptr OnAdaptiveContrast(quintptr wParam, qintptr lParam);
    qintptr OnBrightness(quintptr wParam, qintptr lParam);
    qintptr OnThreshold(quintptr wParam, qintptr lParam);
    qintptr OnColorCorrection(quintptr wParam, qintptr lParam);
    qintptr OnNoiseRemoveSensitivity(quintptr wParam, qintptr lParam);
    qintptr OnVideoProcessArea(quintptr wParam, qintptr lParam);

    // ---- Log ---------------------------------------------------------------------
    // The process-wide log queue (LogQueue.h), reachable through the window class.
    static void AddLog(const std::u16string& text);
    static std::u16string GetLogTimeString();
    static bool TakeLogLines(std::list<std::u16string>& lines);
    void OnMenuExportLog();
    void OnMenuClearLog();

    // ===== Device connection and feature handlers ==================================
    // Implemented in TunedeskDlgDevice.cpp and TunedeskDlgFeatures.cpp; the
    // window wires each handler to its control or menu item.

    // Device connection.
    void RefreshDeviceList(bool log);
    void OnBnClickedBtnRefreshDevice();
    void OnBnClickedBtnOpenDevice();
    void OpenSelectedDevice();
    void CloseSelectedDevice();
    void OnMenuSpiInit();
    void LogSpiConfig(const _UI_SPI_CONFIG& config);
    static unsigned ReadDeviceParamsThread(CTunedeskDlg* dlg);
    // Asks a running read-back to stop after the read in progress and waits for
    // it; the window calls it before it goes away (before it clears g_hMainWnd
    // and closes the device), and a close calls it before closing the bridge.
    void WaitReadDeviceParamsThread();
    // Waits for a running read-back to finish all its reads (a second open, a
    // refresh or an SPI initialisation must not cut into it).
    void FinishReadDeviceParamsThread();
    // Takes the open device up again after an enumeration closed it, when
    // `session` (its ch347::BridgeIdentity before the enumeration) still
    // holds its number; otherwise the panel goes back to "no device".
    void ReopenAfterEnumeration(const std::string& session);
    // Starts a read-back of every feature (an earlier one finishes first).
    void StartReadBack();

    // Feature handlers.
    void OnCbnSelChangedVividiOnOff();
    void OnCbnSelChangedSharpeningOnOff();
    void OnCbnSelChangedExtendedContrastOnOff();
    void OnBnClickedBtnAutoBrightness();
    // Every notification of the eight sliders: TB_ code, position, the slider.
    void OnHScroll(unsigned nSBCode, unsigned nPos, QSlider* pSlider);
    void ApplyVividRange(int range);
    void ApplySharpeningProcessSize(int size);
    void OnBnClickedRadioAreaAll();
    void OnBnClickedRadioAreaCenter();
    void OnBnClickedRadioAreaLeft();
    void OnBnClickedRadioAreaRight();
    void HandleNavoThroughDispOnOff(int on);
    void OnBnClickedBtnWriteTestReg();
    void OnBnClickedBtnReadTestReg();
    void ApplyVividIntensity(int value);
    void ApplySharpeningIntensity(int value);
    void ApplyThreshold(int value);
    void ApplyBrightness(int value);
    void ApplyAdaptiveContrast(int value);
    void ApplyColorCorrection(int value);
    void ApplyNoiseRemoveSensitivity(int value);

    // Device the panel works on (-1 none) and last known through-display state;
    // both are read by the read-back thread while the GUI thread runs.
    std::atomic<int> m_nDevIndex{-1};
    std::atomic<int> m_bThroughDisp{0};
    std::thread m_readBackThread;
    // Set while the GUI thread waits for the read-back to stop early.
    std::atomic<bool> m_bStopReadBack{false};
    // True from the start of a read-back until its last notification is posted.
    std::atomic<bool> m_bReadBackRunning{false};
    // Waits for a call of the bus service that runs on the device (set while
    // the panel serves the session bus): the waits for the read-back wait for it too.
    std::function<void()> m_finishBusCall;
    // ===== End of the device connection and feature handlers section ===============

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateMenus();
    void WireControls();
    void ShowAboutBox();
    void SetSliderAndLabel(int sliderId, int labelId, int value);
    void SetRadioChecked(int id, bool checked);
    bool IsChecked(int id) const;
    int ComboSel(int id) const;
    // The bridge number of the chosen device list entry ("N# ..."), -1 when none is chosen.
    int SelectedDevice() const;

    ControlTable m_controls;
    QWidget* m_client = nullptr;  // the area below the menu bar holding the controls
    QMenuBar* m_menuBar = nullptr;
    QMenu* m_throughDispMenu = nullptr;
    QMenu* m_logPopup = nullptr;
    std::map<int, QAction*> m_menuItems;
    QFont m_valueFont;
    QColor m_valueBrush{255, 255, 255};
    // Lines taken from the queue but not yet in the view (a big burst drains in
    // slices so the window stays responsive).
    std::list<std::u16string> m_logBacklog;
};
