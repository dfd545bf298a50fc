#include "support/gui_device_fixture.h"

#include <mutex>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "CHListBox.h"
#include "Ch347Sim.h"
#include "LogQueue.h"
#include "SPIUtil.h"
#include "SpiSettingFile.h"
#include "TunedeskDlg.h"
#include "WinMsg.h"
#include "spilink.h"
#include "support/gui_panel.h"

namespace {

bool LogQueueEmpty() {
    std::lock_guard<std::mutex> lock(g_logLock);
    return g_logLines.empty();
}

}  // namespace

DeviceNoteRecorder::DeviceNoteRecorder(QObject* window) { window->installEventFilter(this); }

bool DeviceNoteRecorder::eventFilter(QObject*, QEvent* event) {
    if (const WinMsgEvent* msg = AsWinMsg(event)) {
        if (msg->message() >= WM_VIVID_ONOFF && msg->message() <= WM_VIDEO_PROCESS_AREA)
            notes_.push_back({msg->message(), static_cast<unsigned long long>(msg->wParam)});
    }
    return false;
}

std::vector<unsigned> DeviceNoteRecorder::Messages() const {
    std::vector<unsigned> out;
    for (const Note& n : notes_) out.push_back(n.message);
    return out;
}

struct DevicePanelTest::Trigger {
    std::mutex lock;
    std::u16string line;
    std::function<void()> action;
};

void DevicePanelTest::SetUp() {
    SettingsFileTest::SetUp();
    PanelApp();
    sim::Reset();
    ASSERT_TRUE(SaveSPIRWDelay(0));
    DiscardQueuedLog();
}

void DevicePanelTest::TearDown() {
    DestroyWindow();
    SetLogSink(nullptr);
    if (libComm_GetDeviceOpenState() != 0) libComm_CloseDevice(0);
    sim::Reset();
    DiscardQueuedLog();
    SettingsFileTest::TearDown();
}

void DevicePanelTest::CreateWindow() {
    dlg_ = std::make_unique<CTunedeskDlg>();
    notes_ = std::make_unique<DeviceNoteRecorder>(dlg_.get());
    Pump();
}

void DevicePanelTest::DestroyWindow() {
    notes_.reset();
    dlg_.reset();
}

void DevicePanelTest::Pump() {
    int stableRounds = 0;
    int lastCount = -1;
    for (int round = 0; round < 1000 && stableRounds < 2; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const int count = dlg_ ? dlg_->LogList()->GetCount() : 0;
        if (count == lastCount && LogQueueEmpty()) {
            ++stableRounds;
        } else {
            stableRounds = 0;
        }
        lastCount = count;
    }
}

void DevicePanelTest::WaitReadBack() {
    dlg_->FinishReadDeviceParamsThread();
    Pump();
}

std::vector<std::string> DevicePanelTest::Log() {
    Pump();
    std::vector<std::string> out;
    const CHListBox* list = dlg_->LogList();
    for (int i = 0; i < list->GetCount(); ++i) {
        const std::u16string& line = list->GetLine(i);
        // "[YYYY/MM/DD hh:mm:ss:mmm] text"
        const auto close = line.find(u"] ");
        out.push_back(
            Utf8(!line.empty() && line[0] == u'[' && close != std::u16string::npos ? line.substr(close + 2) : line));
    }
    return out;
}

void DevicePanelTest::ClearLog() {
    Pump();
    dlg_->LogList()->ResetContent();
}

void DevicePanelTest::Click(int id) {
    QAbstractButton* button = Button(id);
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

void DevicePanelTest::ChooseCombo(int id, int index) {
    QComboBox* combo = Combo(id);
    ASSERT_NE(combo, nullptr) << id;
    combo->setCurrentIndex(index);
    emit combo->activated(index);  // what the combo emits for a user's choice
}

void DevicePanelTest::SelectDevice(int index) { Combo(IDC_CMB_DEVICE_LIST)->setCurrentIndex(index); }

void DevicePanelTest::Drag(int id, const std::vector<int>& positions) {
    QSlider* slider = Slider(id);
    ASSERT_NE(slider, nullptr) << id;
    slider->setSliderDown(true);
    for (const int p : positions) slider->setSliderPosition(p);
    slider->setSliderDown(false);
}

void DevicePanelTest::OpenDevice() {
    ASSERT_EQ(libComm_GetDeviceOpenState(), 0);
    PressOpenCloseButton();
    WaitReadBack();
}

void DevicePanelTest::PressOpenCloseButton() { Click(IDC_BTN_OPEN_DEVICE); }

void DevicePanelTest::Command(int commandId) { dlg_->OnCommand(commandId); }

QSlider* DevicePanelTest::Slider(int id) const { return dlg_->Item<QSlider>(id); }
QLabel* DevicePanelTest::Label(int id) const { return dlg_->Item<QLabel>(id); }
QComboBox* DevicePanelTest::Combo(int id) const { return dlg_->Item<QComboBox>(id); }
QAbstractButton* DevicePanelTest::Button(int id) const { return dlg_->Item<QAbstractButton>(id); }

std::string DevicePanelTest::Text(int id) const {
    if (QLabel* label = Label(id)) return label->text().toStdString();
    if (QAbstractButton* button = Button(id)) return button->text().toStdString();
    return {};
}

void DevicePanelTest::OnRegisterLogLine(const std::u16string& line, std::function<void()> action) {
    trigger_ = std::make_shared<Trigger>();
    trigger_->line = line;
    trigger_->action = std::move(action);
    SetLogSink([trigger = trigger_](const std::u16string& text) {
        ::AddLog(text);
        std::function<void()> fire;
        {
            std::lock_guard<std::mutex> lock(trigger->lock);
            if (trigger->action && text == trigger->line) fire = std::exchange(trigger->action, nullptr);
        }
        if (fire) fire();
    });
}

int DevicePanelTest::IndexOf(const std::vector<std::string>& lines, const std::string& text, int from) {
    for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i)
        if (lines[static_cast<size_t>(i)] == text) return i;
    return -1;
}

int DevicePanelTest::Count(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const auto& line : lines) n += line == text ? 1 : 0;
    return n;
}

int DevicePanelTest::CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}
