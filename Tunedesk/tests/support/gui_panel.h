// Helpers of the panel's headless GUI tests: one offscreen QApplication, a
// recorder for message boxes, and draining of posted window messages.
#pragma once

#include <list>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>

#include "LogQueue.h"
#include "UiHooks.h"

inline QApplication& PanelApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    // Headless unless a test run asks for a real display (screenshots under Xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tunedesk_gui_test";
    static char* argv[] = {name, nullptr};
    return *new QApplication(argc, argv);  // lives for the whole test program
}

// Delivers every posted event (window messages included), repeatedly, since
// handlers may post more.
inline void DrainEvents() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Throws away whatever earlier tests left in the log queue.
inline void DiscardQueuedLog() {
    std::list<std::u16string> lines;
    TakeLogLines(lines);
}

// Records message box texts instead of showing them, for its lifetime.
class MessageBoxRecorder {
public:
    MessageBoxRecorder() {
        previous_ = SetMessageBoxHook([this](QWidget*, const QString& text) { texts.push_back(text); });
    }
    ~MessageBoxRecorder() { SetMessageBoxHook(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<QString> texts;

private:
    MessageBoxHook previous_;
};
