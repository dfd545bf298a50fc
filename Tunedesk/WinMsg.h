// Window-message numbering and posting for the panel's windows.
//
// The chip-facing code (read-back thread, EDID workers, feature handlers)
// never touches a widget: it posts a numbered notification to a window and the
// window's event() turns it into a control change on the GUI thread. Each
// message is a QEvent of type QEvent::User + message, so the numbers keep the
// values the protocol logs and the console use (WM_LOG_MESSAGE is 0x7E8).
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// Qt's posted-event queue locks with futexes inside the Qt libraries, which
// ThreadSanitizer neither sees nor instruments: to it, an event built on a
// worker and read on the GUI thread looks unsynchronised. These two calls state
// the hand-off the queue really makes; they vanish from ordinary builds.
#if defined(__SANITIZE_THREAD__)
#define TUNEDESK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TUNEDESK_TSAN 1
#endif
#endif
#ifdef TUNEDESK_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
inline void HandoffRelease(const void* p) { __tsan_release(const_cast<void*>(p)); }
inline void HandoffAcquire(const void* p) { __tsan_acquire(const_cast<void*>(p)); }
#else
inline void HandoffRelease(const void*) {}
inline void HandoffAcquire(const void*) {}
#endif

constexpr unsigned WM_USER = 0x0400;

// UI notifications of the main window; the value travels in wParam, lParam is 0.
constexpr unsigned WM_LOG_MESSAGE = WM_USER + 1000;
constexpr unsigned WM_VIVID_ONOFF = WM_USER + 1001;
constexpr unsigned WM_VIVID_RANGE = WM_USER + 1002;
constexpr unsigned WM_VIVID_INTENSITY = WM_USER + 1003;
constexpr unsigned WM_SHARPENING_ONOFF = WM_USER + 1004;
constexpr unsigned WM_SHARPENING_AREA = WM_USER + 1005;
constexpr unsigned WM_SHARPENING_INTENSITY = WM_USER + 1006;
constexpr unsigned WM_EXTENDED_CONTRAST_ONOFF = WM_USER + 1007;
constexpr unsigned WM_AUTO_BRIGHTNESS_ONOFF = WM_USER + 1008;
constexpr unsigned WM_ADAPTIVE_CONTRAST = WM_USER + 1009;
constexpr unsigned WM_BRIGHTNESS = WM_USER + 1010;
constexpr unsigned WM_THRESHOLD = WM_USER + 1011;
constexpr unsigned WM_COLOR_CORRECTION = WM_USER + 1012;
constexpr unsigned WM_NOISE_REMOVE_SENSITIVITY = WM_USER + 1013;
constexpr unsigned WM_VIDEO_PROCESS_AREA = WM_USER + 1014;

// Completion messages of the register console's EDID workers.
constexpr unsigned WM_EDID_READ_DONE = 2124;
constexpr unsigned WM_EDID_WRITE_DONE = 2125;

// Slider notification codes handed to OnHScroll. TB_ENDTRACK comes once per
// completed user action (thumb released, key released, page click or wheel
// step done); only then is the chip written.
constexpr unsigned TB_LINEUP = 0;
constexpr unsigned TB_LINEDOWN = 1;
constexpr unsigned TB_PAGEUP = 2;
constexpr unsigned TB_PAGEDOWN = 3;
constexpr unsigned TB_THUMBPOSITION = 4;
constexpr unsigned TB_THUMBTRACK = 5;
constexpr unsigned TB_TOP = 6;
constexpr unsigned TB_BOTTOM = 7;
constexpr unsigned TB_ENDTRACK = 8;

// The QEvent type that carries `message`.
constexpr QEvent::Type WinMsgType(unsigned message) {
    return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message));
}

// A posted window message. event() handlers read message(), wParam, lParam.
class WinMsgEvent : public QEvent {
public:
    WinMsgEvent(unsigned message, quintptr wp, qintptr lp) : QEvent(WinMsgType(message)), wParam(wp), lParam(lp) {}
    unsigned message() const { return static_cast<unsigned>(type() - QEvent::User); }

    const quintptr wParam;
    const qintptr lParam;
};

// True when `event` is one of our window messages (and not some other user event).
inline const WinMsgEvent* AsWinMsg(const QEvent* event) {
    HandoffAcquire(event);
    return event->type() >= QEvent::User ? dynamic_cast<const WinMsgEvent*>(event) : nullptr;
}

// Posts `message` to `target` and returns at once, from any thread. A null
// target drops the message and returns false. The caller must make sure the
// target is alive at the moment of the call; Qt discards events still queued
// for an object when it is destroyed. For the main window use the
// PostMessage(g_hMainWnd, ...) overload of LogQueue.h, which checks this under
// g_logLock.
inline bool PostMessage(QObject* target, unsigned message, quintptr wParam, qintptr lParam) {
    if (target == nullptr) return false;
    auto* event = new WinMsgEvent(message, wParam, lParam);
    HandoffRelease(event);
    QCoreApplication::postEvent(target, event);
    return true;
}
