// The panel's one log path: every thread hands its lines to AddLog, which
// time-stamps them into g_logLines and posts WM_LOG_MESSAGE; the window that
// is showing the log (the register console while it is visible, otherwise the
// main window) drains the queue on the GUI thread with TakeLogLines.
//
// Routing to the register console: the console calls SetLogConsole(this) when
// it becomes visible and SetLogConsole(nullptr) when it is hidden and in its
// destructor. While a console is set, AddLog posts WM_LOG_MESSAGE to it
// instead of to the main window.
//
// Notifications are coalesced: while a WM_LOG_MESSAGE is on its way to a
// window and nobody has called TakeLogLines since, AddLog posts no second one.
// So a window that receives WM_LOG_MESSAGE must call TakeLogLines (or pass the
// notification on to a window that does).
//
// Lifetime: g_hMainWnd and the console target are only read and written under
// g_logLock, and the windows clear them before they are destroyed, so a post
// that races with a window's destruction is dropped instead of reaching freed
// memory. Lines added while no window is registered stay in the queue.
#pragma once

#include <chrono>
#include <list>
#include <mutex>
#include <string>

#include <QtGlobal>

class QObject;

// Finished log lines that no window has taken yet, oldest first.
extern std::list<std::u16string> g_logLines;
// Guards g_logLines, g_hMainWnd and the console target.
extern std::mutex g_logLock;

// The main window, as a handle that can be posted to from any thread.
class MainWndHandle {
public:
    // Records the main window (nullptr clears it). Takes g_logLock.
    void Set(QObject* window);
    // The recorded window; a snapshot, only meaningful on the GUI thread.
    QObject* Get() const;
    explicit operator bool() const { return Get() != nullptr; }

private:
    friend void AddLog(const std::u16string& text);
    friend bool PostMessage(const MainWndHandle& target, unsigned message, quintptr wParam, qintptr lParam);
    QObject* window_ = nullptr;  // guarded by g_logLock
};
extern MainWndHandle g_hMainWnd;

// Posts to the main window if it still exists; returns false when the message
// was dropped because there is none. Safe from any thread.
bool PostMessage(const MainWndHandle& target, unsigned message, quintptr wParam, qintptr lParam);

// Adds one line "[time] text" (an empty text adds an empty line with no time
// stamp; a text with a line feed after its first character is followed by an
// empty line) and notifies the visible log window. Any thread; never waits for
// the GUI thread.
void AddLog(const std::u16string& text);

// Local time as "YYYY/MM/DD hh:mm:ss:mmm".
std::u16string GetLogTimeString();

// Moves every queued line to the end of `lines`; false when there was none.
bool TakeLogLines(std::list<std::u16string>& lines);

// Test seam: the clock the log stamps lines with. nullptr restores the
// system clock; returns the clock in use before.
using LogClockFn = std::chrono::system_clock::time_point (*)();
LogClockFn SetLogClock(LogClockFn clock);

// Routes log notifications to the register console while it is visible (see above).
void SetLogConsole(QObject* console);
