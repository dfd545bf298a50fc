#include "LogQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "LogStamp.h"
#include "WinMsg.h"

std::list<std::u16string> g_logLines;
std::mutex g_logLock;
MainWndHandle g_hMainWnd;

namespace {
QObject* g_logConsole = nullptr;  // guarded by g_logLock
// The window a WM_LOG_MESSAGE is on its way to and that has not taken the
// lines yet; guarded by g_logLock. Since every drain takes the whole queue,
// one notification in flight is enough: a burst of a million lines posts a
// handful of events instead of a million.
QObject* g_notifiedWindow = nullptr;

// Posts WM_LOG_MESSAGE to whichever window shows the log. Caller holds g_logLock.
void NotifyLogWindowLocked() {
    QObject* target = g_logConsole != nullptr ? g_logConsole : g_hMainWnd.Get();
    if (target == nullptr || target == g_notifiedWindow) return;
    PostMessage(target, WM_LOG_MESSAGE, 0, 0);
    g_notifiedWindow = target;
}
}  // namespace

void MainWndHandle::Set(QObject* window) {
    std::lock_guard<std::mutex> lock(g_logLock);
    window_ = window;
    g_notifiedWindow = nullptr;  // a notification to the old window may be lost with it
}

QObject* MainWndHandle::Get() const { return window_; }

bool PostMessage(const MainWndHandle& target, unsigned message, quintptr wParam, qintptr lParam) {
    std::lock_guard<std::mutex> lock(g_logLock);
    return PostMessage(target.window_, message, wParam, lParam);
}

void SetLogConsole(QObject* console) {
    std::lock_guard<std::mutex> lock(g_logLock);
    g_logConsole = console;
    g_notifiedWindow = nullptr;
}

namespace {
std::atomic<LogClockFn> g_logClock{nullptr};

std::chrono::system_clock::time_point LogNow() {
    const LogClockFn clock = g_logClock.load(std::memory_order_relaxed);
    return clock != nullptr ? clock() : std::chrono::system_clock::now();
}

// A line stamped this much before the newest queued line lost a race for the
// lock; a bigger gap means the wall clock itself was set back, and the line
// keeps its own time instead of every later line repeating the old stamp.
constexpr long long kLockRaceMs = 1000;

// The stamp of the newest queued line, so a line that was stamped before it
// but reached the lock after it is not shown as older. Guarded by g_logLock.
long long g_lastStampMs = 0;
char16_t g_lastStamp[32];
int g_lastStampLength = 0;
}  // namespace

std::u16string GetLogTimeString() {
    char16_t buf[32];
    const int n = FormatLogTime(LogNow(), buf, 32);
    return std::u16string(buf, static_cast<std::size_t>(n));
}

void AddLog(const std::u16string& text) {
    const bool blankAfter = BlankLineAfter(text);

    // The line is built outside the lock; under it only the queue changes, so
    // writers on several threads and the GUI thread's drain barely wait.
    std::u16string line;
    long long stampMs = 0;
    int stampLength = 0;
    if (!text.empty()) {
        const auto now = LogNow();
        stampMs = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
        char16_t stamp[32];
        stampLength = FormatLogTime(now, stamp, 32);
        line = FrameLogLine(std::u16string_view(stamp, static_cast<std::size_t>(stampLength)), text);
    }

    std::lock_guard<std::mutex> lock(g_logLock);
    HandoffAcquire(&g_logLines);
    if (!text.empty()) {
        // A lost race for the lock does not make stamps run backwards in the view.
        if (stampMs < g_lastStampMs && g_lastStampMs - stampMs < kLockRaceMs && stampLength == g_lastStampLength) {
            std::copy_n(g_lastStamp, stampLength, line.begin() + 1);
        } else {
            g_lastStampMs = stampMs;
            g_lastStampLength = stampLength;
            std::copy_n(line.begin() + 1, stampLength, g_lastStamp);
        }
    }
    g_logLines.push_back(std::move(line));
    if (blankAfter) g_logLines.emplace_back();
    NotifyLogWindowLocked();
    HandoffRelease(&g_logLines);
}

// ThreadSanitizer has reported the GUI thread's drain here as racing with
// AddLog on a worker although both hold g_logLock: the report shows no lock
// held for the drain, and it goes away when the same order is stated by hand.
// The pair below states only the order the lock already gives, so a touch of
// the queue outside the lock is still reported.
bool TakeLogLines(std::list<std::u16string>& lines) {
    std::lock_guard<std::mutex> lock(g_logLock);
    HandoffAcquire(&g_logLines);
    g_notifiedWindow = nullptr;  // lines added from now on need a new notification
    const bool taken = !g_logLines.empty();
    lines.splice(lines.end(), g_logLines);
    HandoffRelease(&g_logLines);
    return taken;
}

LogClockFn SetLogClock(LogClockFn clock) { return g_logClock.exchange(clock); }
