// Fixture of the device-connection and feature-handler tests: the real main
// window, headless, against the simulated bridge and chip, with its settings
// file in a temporary folder (SPIRWDelay 0 unless a test says otherwise).
//
// The helpers act as a user would where Qt lets a test do so (button clicks,
// combo choices, slider drags) and read back what the user would see: the
// log view's texts, the controls, and the UI notifications the window got.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

#include "support/core_fixture.h"

class CTunedeskDlg;
class QAbstractButton;
class QComboBox;
class QLabel;
class QSlider;

// Records the UI notifications (WM_VIVID_ONOFF ... WM_VIDEO_PROCESS_AREA) that
// reach a window, in the order it handles them.
class DeviceNoteRecorder : public QObject {
public:
    struct Note {
        unsigned message;
        unsigned long long value;
    };
    explicit DeviceNoteRecorder(QObject* window);
    const std::vector<Note>& Notes() const { return notes_; }
    std::vector<unsigned> Messages() const;
    void Clear() { notes_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<Note> notes_;
};

class DevicePanelTest : public SettingsFileTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the main window (its start-up refresh sees the simulator as it is now).
    void CreateWindow();
    void DestroyWindow();

    // Delivers posted notifications and log lines until nothing is left.
    void Pump();
    // Waits for a running read-back to end by itself, then pumps.
    void WaitReadBack();

    // The log view's lines without their time stamps ("" for blank lines), UTF-8.
    std::vector<std::string> Log();
    // Empties the log view (lines already queued are delivered first).
    void ClearLog();

    // User actions.
    void Click(int id);
    void ChooseCombo(int id, int index);  // picks entry `index` as a user would
    void SelectDevice(int index);         // device list selection, no handler runs
    // Drags slider `id` through `positions`, then releases the thumb.
    void Drag(int id, const std::vector<int>& positions);
    void OpenDevice();  // button 1085 while closed, then waits for the read-back
    void PressOpenCloseButton();
    void Command(int commandId);

    QSlider* Slider(int id) const;
    QLabel* Label(int id) const;
    QComboBox* Combo(int id) const;
    QAbstractButton* Button(int id) const;
    std::string Text(int id) const;  // a label's or button's text, UTF-8

    // Runs `action` on the thread that logs `line` through the register layer,
    // right after the line is logged (once). Lets a test arm a chip fault at an
    // exact point of a sequence.
    void OnRegisterLogLine(const std::u16string& line, std::function<void()> action);

    // Position of `text` in `lines` from `from` on, or -1.
    static int IndexOf(const std::vector<std::string>& lines, const std::string& text, int from = 0);
    static int Count(const std::vector<std::string>& lines, const std::string& text);
    // Number of lines starting with `prefix`.
    static int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix);

    std::unique_ptr<CTunedeskDlg> dlg_;
    std::unique_ptr<DeviceNoteRecorder> notes_;

private:
    struct Trigger;
    std::shared_ptr<Trigger> trigger_;
};
