// The register console (dialog 135, "SPI 読み書き"): raw register reads and
// writes with a choice of command words, and the chip's 256 EDID bytes read and
// written through its two fixed register sequences. What the transactions log
// shows in the console's own log list while it is open.
//
// Threads: everything here runs on the GUI thread except the EDID operations,
// which run on a worker of their own per button press. The worker gets a
// snapshot of the fields taken when the button was pressed, shows its message
// boxes through MessageBox (which moves them to the GUI thread) and reports
// back with the completion messages WM_EDID_READ_DONE / WM_EDID_WRITE_DONE.
#pragma once

#include <list>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <QDialog>

#include "ControlTable.h"
#include "SpiReadWriteOps.h"

class CHListBox;
class QMenu;

// Controls of dialog 135.
constexpr int IDC_SRW_READ = 1;   // "Read", the default button
constexpr int IDC_SRW_WRITE = 2;  // "Write"
constexpr int IDC_SRW_EDID_READ = 3;
constexpr int IDC_SRW_EDID_WRITE = 4;
constexpr int IDC_SRW_LOG_LIST = 1088;
constexpr int IDC_SRW_STATIC_ADDR = 1089;
constexpr int IDC_SRW_EDIT_ADDR = 1090;
constexpr int IDC_SRW_STATIC_DATA = 1091;
constexpr int IDC_SRW_EDIT_DATA = 1092;
constexpr int IDC_SRW_STATIC_CMD = 1093;
constexpr int IDC_SRW_READ_BACK = 1094;
constexpr int IDC_SRW_STATIC_LOG = 1095;
constexpr int IDC_SRW_CMB_CMD = 1096;
constexpr int IDC_SRW_EDIT_CMD = 1097;
constexpr int IDC_SRW_STATIC_EDID = 1098;
constexpr int IDC_SRW_EDIT_EDID = 1099;
constexpr int IDC_SRW_GRP_REGISTER = 1100;
constexpr int IDC_SRW_GRP_EDID = 1101;

// Pop-up menu of the log list (the main window's entries).
constexpr int ID_SRW_MENU_EXPORT_LOG = 32775;
constexpr int ID_SRW_MENU_CLEAR_LOG = 32776;

inline constexpr const char* kSpiReadWriteCaption = QT_TRANSLATE_NOOP("Caption", "SPI 読み書き");
inline constexpr int kSpiReadWriteWidth = 643;  // dialog units
inline constexpr int kSpiReadWriteHeight = 280;
inline constexpr int kSpiReadWriteFontPoints = 8;
std::span<const ControlRecord> SpiReadWriteControls();

class SpiReadWrite : public QDialog {
    Q_OBJECT

public:
    explicit SpiReadWrite(QWidget* parent = nullptr);
    ~SpiReadWrite() override;

    // The device the console works on (-1: none) and the main window, from
    // which the console was opened.
    void SetDevice(int devIndex, QWidget* mainWnd);
    int DeviceIndex() const { return m_nDevIndex; }

    QWidget* GetDlgItem(int id) const { return m_controls.GetDlgItem(id); }
    template <class T>
    T* Item(int id) const {
        return m_controls.Item<T>(id);
    }
    CHListBox* LogList() const;
    QMenu* LogPopupMenu() const { return m_logPopup; }

    // Field parsing of the console; every refusal is shown in a message box.
    bool GetCmdValue(bool read, unsigned short& cmd);
    bool ParseRegisterAddresses(std::list<unsigned int>& listRegAddrs);
    bool ParseRegisterData(std::list<unsigned int>& listRegData);
    bool ParseCmdValues(std::list<unsigned short>& vecCmdValues);
    static bool IsHexText(const std::u16string& text);
    bool ParseHexField(const std::u16string& text, unsigned int& value);
    bool ParseEdidData(std::vector<unsigned char>& pDataBuf, unsigned int& DataLen);

    // Button handlers.
    void OnBnClickedRead();
    void OnBnClickedWrite();
    void OnBnClickedEdidRead();
    void OnBnClickedEdidWrite();
    void OnCbnSelchangeCmd();
    void OnMenuClearLog();

    // Message handlers (GUI thread).
    qintptr OnLogMessage(quintptr wParam, qintptr lParam);
    qintptr OnEdidReadDone(quintptr wParam, qintptr lParam);
    qintptr OnEdidWriteDone(quintptr wParam, qintptr lParam);

    // True while an EDID read or write runs; the console stays open until it ends.
    bool IsEdidBusy() const { return m_edidReadThread.joinable() || m_edidWriteThread.joinable(); }

    // The EDID field's text as the last EDID Read built it.
    const std::u16string& LastEdidText() const { return m_strData; }

    void reject() override;  // Escape and the frame's close button

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    spirw::CmdChoice TakeCmdChoice() const;
    spirw::Notify Notifier();
    std::u16string FieldText(int id) const;
    void ShowMessage(const std::u16string& text);
    void UpdateEdidButtons();
    // Tells the user why the console stays open; true when it may close.
    bool MayClose();
    void OpenLogPopup(const QPoint& globalPos);

    ControlTable m_controls;
    QMenu* m_logPopup = nullptr;
    int m_nDevIndex = -1;
    QWidget* m_pMainWnd = nullptr;
    std::u16string m_strData;
    std::list<std::u16string> m_logBacklog;
    std::thread m_edidReadThread;
    std::thread m_edidWriteThread;
};

// The process-wide console, created on first use and kept until the
// application ends.
SpiReadWrite* RegisterConsole();

// Opens the register console modally over the main window `parent`, on the
// device the main window works on.
void ShowRegisterConsole(QWidget* parent);
