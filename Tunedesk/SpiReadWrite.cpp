#include "SpiReadWrite.h"

#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

#include "CHListBox.h"
#include "LogQueue.h"
#include "SPIUtil.h"
#include "StrFormat.h"
#include "TunedeskDlg.h"
#include "UiHooks.h"
#include "WinMsg.h"
#include "WorkerThread.h"

namespace {

// Shown when the user tries to close the console during an EDID operation: the
// worker reports back to this window and the chip's EDID port must not be left
// half-way through a sequence.
constexpr const char16_t* kEdidBusyMessage =
    u"An EDID operation is still running. The console can be closed when it has finished.";
// Shown when the system refuses the worker thread of an EDID operation.
constexpr const char16_t* kEdidReadNotStarted = u"Failed to start reading the EDID!";
constexpr const char16_t* kEdidWriteNotStarted = u"Failed to start writing the EDID!";

// How long one drain of the log queue may take before the console lets other
// events in (an EDID sequence logs more than a thousand lines).
constexpr auto kLogSlice = std::chrono::milliseconds(30);

}  // namespace

SpiReadWrite::SpiReadWrite(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Caption(kSpiReadWriteCaption));
    setModal(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(kSpiReadWriteFontPoints);
    setFont(font);
    // The controls sit in a client area that scrolls when the screen is smaller
    // than the layout (at 2x on a laptop screen).
    auto* client = new QWidget(this);
    client->setFont(font);
    m_controls.Build(client, SpiReadWriteControls(), font);
    const QSize layoutSize = m_controls.MapDialogSize(kSpiReadWriteWidth, kSpiReadWriteHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PlaceInScrollArea(this, client, layoutSize));
    resize(FirstWindowSize(this, layoutSize));
    if (auto* combo = GetDlgItem(IDC_SRW_CMB_CMD); combo != nullptr && GetDlgItem(IDC_SRW_EDIT_CMD) != nullptr) {
        // The command words typed here are used with the CMD list's "Other".
        GetDlgItem(IDC_SRW_EDIT_CMD)
            ->setAccessibleName(combo->accessibleName() + QStringLiteral(", ") +
                                QString::fromStdU16String(spirw::kCmdOther));
    }

    auto clicked = [this](int id, void (SpiReadWrite::*handler)()) {
        if (auto* button = Item<QPushButton>(id)) connect(button, &QPushButton::clicked, this, handler);
    };
    clicked(IDC_SRW_READ, &SpiReadWrite::OnBnClickedRead);
    clicked(IDC_SRW_WRITE, &SpiReadWrite::OnBnClickedWrite);
    clicked(IDC_SRW_EDID_READ, &SpiReadWrite::OnBnClickedEdidRead);
    clicked(IDC_SRW_EDID_WRITE, &SpiReadWrite::OnBnClickedEdidWrite);
    // Only the Read button answers Enter; the others act on a click or Space.
    for (int id : {IDC_SRW_WRITE, IDC_SRW_EDID_READ, IDC_SRW_EDID_WRITE}) {
        if (auto* button = Item<QPushButton>(id)) button->setAutoDefault(false);
    }
    if (auto* combo = Item<QComboBox>(IDC_SRW_CMB_CMD)) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this](int) { OnCbnSelchangeCmd(); });
    }
    for (int id : {IDC_SRW_EDIT_ADDR, IDC_SRW_EDIT_DATA, IDC_SRW_EDIT_EDID}) {
        if (QWidget* edit = GetDlgItem(id)) edit->installEventFilter(this);
    }

    m_logPopup = new QMenu(this);
    QAction* exportLog = m_logPopup->addAction(QStringLiteral("Export"));
    exportLog->setData(ID_SRW_MENU_EXPORT_LOG);
    exportLog->setEnabled(false);  // the console's log is exported from the main window
    QAction* clearLog = m_logPopup->addAction(QStringLiteral("Clear"));
    clearLog->setData(ID_SRW_MENU_CLEAR_LOG);
    connect(clearLog, &QAction::triggered, this, &SpiReadWrite::OnMenuClearLog);
    if (CHListBox* list = LogList()) {
        connect(list, &CHListBox::rightButtonPressed, this, &SpiReadWrite::OpenLogPopup);
        connect(list, &CHListBox::menuKeyPressed, this, &SpiReadWrite::OpenLogPopup);
    }
}

SpiReadWrite::~SpiReadWrite() {
    SetLogConsole(nullptr);
    // The console cannot close during an EDID operation, so a worker is only
    // still here when the whole program is torn down; let it finish its sequence.
    if (m_edidReadThread.joinable()) m_edidReadThread.join();
    if (m_edidWriteThread.joinable()) m_edidWriteThread.join();
}

void SpiReadWrite::SetDevice(int devIndex, QWidget* mainWnd) {
    m_nDevIndex = devIndex;
    m_pMainWnd = mainWnd;
}

CHListBox* SpiReadWrite::LogList() const { return Item<CHListBox>(IDC_SRW_LOG_LIST); }

// ---- Opening, closing ------------------------------------------------------------

void SpiReadWrite::OnInitDialog() {
    if (auto* combo = Item<QComboBox>(IDC_SRW_CMB_CMD)) {
        combo->clear();
        for (const spirw::CmdPair& pair : spirw::kCmdPairs) combo->addItem(QString::fromStdU16String(pair.name));
        combo->addItem(QString::fromStdU16String(spirw::kCmdOther));
        combo->setCurrentIndex(0);
    }
    if (QWidget* cmdEdit = GetDlgItem(IDC_SRW_EDIT_CMD)) cmdEdit->setEnabled(true);
    if (auto* edit = Item<QLineEdit>(IDC_SRW_EDIT_CMD)) edit->clear();
    for (int id : {IDC_SRW_EDIT_ADDR, IDC_SRW_EDIT_DATA, IDC_SRW_EDIT_EDID}) {
        if (auto* edit = Item<QPlainTextEdit>(id)) edit->clear();
    }
    if (auto* readBack = Item<QCheckBox>(IDC_SRW_READ_BACK)) readBack->setChecked(false);
    if (CHListBox* list = LogList()) list->ResetContent();
    m_logBacklog.clear();
    m_strData.clear();
    UpdateEdidButtons();
    if (QWidget* read = GetDlgItem(IDC_SRW_READ)) read->setEnabled(true);
    if (QWidget* write = GetDlgItem(IDC_SRW_WRITE)) write->setEnabled(true);
    if (QWidget* addr = GetDlgItem(IDC_SRW_EDIT_ADDR)) addr->setFocus();
}

void SpiReadWrite::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        OnInitDialog();
        SetLogConsole(this);
    }
    QDialog::showEvent(event);
}

void SpiReadWrite::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {
        SetLogConsole(nullptr);
        // Lines taken but not yet shown, and lines queued after the last drain,
        // belong to the main window's view now, ahead of anything logged later.
        if (!m_logBacklog.empty()) {
            std::lock_guard<std::mutex> lock(g_logLock);
            g_logLines.splice(g_logLines.begin(), m_logBacklog);
        }
        PostMessage(g_hMainWnd, WM_LOG_MESSAGE, 0, 0);
    }
    QDialog::hideEvent(event);
}

bool SpiReadWrite::MayClose() {
    if (!IsEdidBusy()) return true;
    ShowMessage(kEdidBusyMessage);
    return false;
}

void SpiReadWrite::reject() {
    // Escape and the frame close the console; neither ever writes to the chip.
    if (MayClose()) QDialog::reject();
}

void SpiReadWrite::closeEvent(QCloseEvent* event) {
    if (!MayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool SpiReadWrite::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            auto* edit = qobject_cast<QPlainTextEdit*>(watched);
            const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
            if (edit != nullptr && (mods & (Qt::ShiftModifier | Qt::ControlModifier))) {
                // Shift/Ctrl+Enter: a line break in the field, as the user asked for it.
                edit->insertPlainText(QStringLiteral("\n"));
                return true;
            }
            if (mods == Qt::NoModifier) {
                // Enter reads, also while the cursor is in one of the multi-line fields.
                if (auto* read = Item<QPushButton>(IDC_SRW_READ); read != nullptr && read->isEnabled()) read->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool SpiReadWrite::event(QEvent* event) {
    if (const WinMsgEvent* msg = AsWinMsg(event)) {
        switch (msg->message()) {
        case WM_LOG_MESSAGE: OnLogMessage(msg->wParam, msg->lParam); return true;
        case WM_EDID_READ_DONE: OnEdidReadDone(msg->wParam, msg->lParam); return true;
        case WM_EDID_WRITE_DONE: OnEdidWriteDone(msg->wParam, msg->lParam); return true;
        default: break;
        }
    }
    return QDialog::event(event);
}

// ---- Log list ----------------------------------------------------------------

qintptr SpiReadWrite::OnLogMessage(quintptr, qintptr) {
    if (!isVisible()) {
        // A notification that arrived after the console was closed: the main
        // window shows these lines.
        PostMessage(g_hMainWnd, WM_LOG_MESSAGE, 0, 0);
        return 0;
    }
    CTunedeskDlg::TakeLogLines(m_logBacklog);
    if (m_logBacklog.empty()) return 0;
    CHListBox* list = LogList();
    if (list == nullptr) {
        m_logBacklog.clear();
        return 0;
    }
    const bool more = list->AppendLines(m_logBacklog, std::chrono::steady_clock::now() + kLogSlice);
    list->ScrollToBottom();
    if (more) PostMessage(this, WM_LOG_MESSAGE, 0, 0);  // the rest after pending input
    return 0;
}

void SpiReadWrite::OpenLogPopup(const QPoint& globalPos) {
    if (m_logPopup != nullptr) m_logPopup->popup(globalPos);
}

void SpiReadWrite::OnMenuClearLog() {
    if (CHListBox* list = LogList()) list->ResetContent();
}

// ---- Field parsing -------------------------------------------------------------

std::u16string SpiReadWrite::FieldText(int id) const {
    if (auto* edit = Item<QPlainTextEdit>(id)) return edit->toPlainText().toStdU16String();
    if (auto* line = Item<QLineEdit>(id)) return line->text().toStdU16String();
    return {};
}

void SpiReadWrite::ShowMessage(const std::u16string& text) {
    // The transaction's failure line is in the list before the box appears.
    OnLogMessage(0, 0);
    MessageBox(this, text);
}

spirw::Notify SpiReadWrite::Notifier() {
    return [this](const std::u16string& text) { ShowMessage(text); };
}

spirw::CmdChoice SpiReadWrite::TakeCmdChoice() const {
    spirw::CmdChoice choice;
    auto* combo = Item<QComboBox>(IDC_SRW_CMB_CMD);
    choice.index = combo != nullptr ? combo->currentIndex() : -1;
    choice.otherText = FieldText(IDC_SRW_EDIT_CMD);
    auto* readBack = Item<QCheckBox>(IDC_SRW_READ_BACK);
    choice.readBack = readBack != nullptr && readBack->isChecked();
    return choice;
}

bool SpiReadWrite::GetCmdValue(bool read, unsigned short& cmd) {
    return spirw::GetCmdValue(TakeCmdChoice(), read, cmd, Notifier());
}

bool SpiReadWrite::ParseRegisterAddresses(std::list<unsigned int>& listRegAddrs) {
    return spirw::ParseHexList(FieldText(IDC_SRW_EDIT_ADDR), spirw::Field::Address, listRegAddrs, Notifier());
}

bool SpiReadWrite::ParseRegisterData(std::list<unsigned int>& listRegData) {
    return spirw::ParseHexList(FieldText(IDC_SRW_EDIT_DATA), spirw::Field::Data, listRegData, Notifier());
}

bool SpiReadWrite::ParseCmdValues(std::list<unsigned short>& vecCmdValues) {
    return spirw::ParseCmdValues(FieldText(IDC_SRW_EDIT_CMD), vecCmdValues, Notifier());
}

bool SpiReadWrite::IsHexText(const std::u16string& text) { return spirw::IsHexText(text); }

bool SpiReadWrite::ParseHexField(const std::u16string& text, unsigned int& value) {
    return spirw::ParseHexField(text, value, Notifier());
}

bool SpiReadWrite::ParseEdidData(std::vector<unsigned char>& pDataBuf, unsigned int& DataLen) {
    return spirw::ParseEdidData(FieldText(IDC_SRW_EDIT_EDID), pDataBuf, DataLen, Notifier());
}

void SpiReadWrite::OnCbnSelchangeCmd() {
    auto* combo = Item<QComboBox>(IDC_SRW_CMB_CMD);
    QWidget* cmdEdit = GetDlgItem(IDC_SRW_EDIT_CMD);
    if (combo == nullptr || cmdEdit == nullptr) return;
    const int index = combo->currentIndex();
    cmdEdit->setEnabled(!(index >= 0 && index < spirw::kCmdPairCount));
}

// ---- Read and Write ------------------------------------------------------------

void SpiReadWrite::OnBnClickedRead() {
    std::list<unsigned int> listRegAddrs;
    if (!ParseRegisterAddresses(listRegAddrs)) return;
    if (m_nDevIndex < 0) {
        ShowMessage(spirw::msg::kReadNoDevice);
        return;
    }
    unsigned short cmd = 0;
    if (!GetCmdValue(true, cmd)) return;

    const unsigned long device = static_cast<unsigned long>(m_nDevIndex);
    for (unsigned int address : listRegAddrs) {
        unsigned int value = 0;
        if (!ReadRegister(device, address, value, cmd)) {
            ShowMessage(StrFormat(spirw::msg::kReadFailed, address));
            return;
        }
        AddLog(u"");  // the empty line separates the registers in the log
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SpiReadWrite::OnBnClickedWrite() {
    std::list<unsigned int> listRegAddrs;
    std::list<unsigned int> listRegData;
    if (!ParseRegisterAddresses(listRegAddrs)) return;
    if (!ParseRegisterData(listRegData)) return;
    if (listRegAddrs.size() != listRegData.size()) {
        ShowMessage(spirw::msg::kCountMismatch);
        return;
    }
    if (m_nDevIndex < 0) {
        ShowMessage(spirw::msg::kWriteNoDevice);
        return;
    }
    unsigned short writeCmd = 0;
    if (!GetCmdValue(false, writeCmd)) return;
    auto* readBackBox = Item<QCheckBox>(IDC_SRW_READ_BACK);
    const bool readBack = readBackBox != nullptr && readBackBox->isChecked();
    unsigned short readCmd = 0;
    // Asked before anything is written, so a missing read word stops the whole run.
    if (readBack && !GetCmdValue(true, readCmd)) return;

    const unsigned long device = static_cast<unsigned long>(m_nDevIndex);
    auto data = listRegData.begin();
    for (unsigned int address : listRegAddrs) {
        if (!WriteRegister(device, address, *data, writeCmd)) {
            ShowMessage(StrFormat(spirw::msg::kWriteFailed, address, *data));
            return;
        }
        AddLog(u"");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++data;
    }
    if (!readBack) return;
    for (unsigned int address : listRegAddrs) {
        unsigned int value = 0;
        if (!ReadRegister(device, address, value, readCmd)) {
            ShowMessage(StrFormat(spirw::msg::kReadBackFailed, address));
            return;
        }
        AddLog(u"");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---- EDID ----------------------------------------------------------------------

void SpiReadWrite::UpdateEdidButtons() {
    // A read and a write sequence interleaved on the chip's EDID port would
    // corrupt each other, so one EDID operation runs at a time.
    const bool idle = !IsEdidBusy();
    if (QWidget* read = GetDlgItem(IDC_SRW_EDID_READ)) read->setEnabled(idle);
    if (QWidget* write = GetDlgItem(IDC_SRW_EDID_WRITE)) write->setEnabled(idle);
}

void SpiReadWrite::OnBnClickedEdidRead() {
    if (IsEdidBusy()) return;
    const spirw::CmdChoice choice = TakeCmdChoice();
    const int device = m_nDevIndex;
    // Message boxes of the worker are moved to the GUI thread by MessageBox.
    spirw::Notify notify = [this](const std::u16string& text) { MessageBox(this, text); };
    const bool started = StartWorkerThread(
        m_edidReadThread,
        [this, choice, device, notify] {
            std::u16string text;
            const int result = spirw::ReadEdidData(device, choice, notify, text);
            if (result != 0) {
                RunOnGuiThread(
                    this,
                    [this, text] {
                        m_strData = text;
                        if (auto* edit = Item<QPlainTextEdit>(IDC_SRW_EDIT_EDID)) {
                            edit->setPlainText(QString::fromStdU16String(text));
                        }
                    },
                    false);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            PostMessage(this, WM_EDID_READ_DONE, static_cast<quintptr>(result), 0);
        },
        "EDID read");
    // Without a worker nothing runs: the buttons stay usable and the console closable.
    if (!started) ShowMessage(kEdidReadNotStarted);
    UpdateEdidButtons();
}

void SpiReadWrite::OnBnClickedEdidWrite() {
    if (IsEdidBusy()) return;
    const spirw::CmdChoice choice = TakeCmdChoice();
    const std::u16string edidText = FieldText(IDC_SRW_EDIT_EDID);
    const int device = m_nDevIndex;
    spirw::Notify notify = [this](const std::u16string& text) { MessageBox(this, text); };
    const bool started = StartWorkerThread(
        m_edidWriteThread,
        [this, choice, edidText, device, notify] {
            const int result = spirw::WriteEdidData(device, choice, edidText, notify);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            PostMessage(this, WM_EDID_WRITE_DONE, static_cast<quintptr>(result), 0);
        },
        "EDID write");
    if (!started) ShowMessage(kEdidWriteNotStarted);
    UpdateEdidButtons();
}

qintptr SpiReadWrite::OnEdidReadDone(quintptr, qintptr) {
    // The worker posts this as its last act.
    if (m_edidReadThread.joinable()) m_edidReadThread.join();
    UpdateEdidButtons();
    return 0;
}

qintptr SpiReadWrite::OnEdidWriteDone(quintptr, qintptr) {
    if (m_edidWriteThread.joinable()) m_edidWriteThread.join();
    UpdateEdidButtons();
    return 0;
}

// ---- The process-wide console --------------------------------------------------

SpiReadWrite* RegisterConsole() {
    static SpiReadWrite* console = nullptr;
    if (console == nullptr && QCoreApplication::instance() != nullptr) {
        console = new SpiReadWrite(nullptr);
        // Widgets must go before the application object does.
        qAddPostRoutine([] {
            delete console;
            console = nullptr;
        });
    }
    return console;
}

void ShowRegisterConsole(QWidget* parent) {
    SpiReadWrite* console = RegisterConsole();
    if (console == nullptr) return;
    auto* mainWnd = qobject_cast<CTunedeskDlg*>(parent);
    console->SetDevice(mainWnd != nullptr ? mainWnd->m_nDevIndex.load() : -1, parent);
    // Application-modal, so the main window cannot be used meanwhile; shown
    // over it rather than wherever the desktop puts new windows.
    if (parent != nullptr) {
        const QRect frame = parent->frameGeometry();
        console->move(frame.center() - console->rect().center());
        // Kept above the main window by the window manager, without becoming its
        // child: the console outlives any one main window.
        console->winId();
        if (QWindow* handle = console->windowHandle()) handle->setTransientParent(parent->window()->windowHandle());
    }
    RunModal(console);
}
