// The panel's log path under load: two threads add 1,000,000 lines through
// AddLog while the GUI thread drains them into the main window's log view
// (CHListBox), next to the same load drained into a plain QListWidget.
//
// Counters:
//   lines/s        end to end: first AddLog to the last line in the view
//   drain_lines/s  lines per second of time spent inside the drains
//   bytes/line     heap growth per line held by the view (queue empty)
//   max_drain_ms   the longest single WM_LOG_MESSAGE delivery (GUI thread blocked)
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <list>
#include <string>
#include <thread>

#include <QApplication>
#include <QListWidget>

#include "CHListBox.h"
#include "Ch347Sim.h"
#include "LogQueue.h"
#include "TunedeskDlg.h"
#include "WinMsg.h"

namespace {

using Clock = std::chrono::steady_clock;

// Times every delivery of WM_LOG_MESSAGE.
class TimingApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (event->type() != WinMsgType(WM_LOG_MESSAGE)) return QApplication::notify(receiver, event);
        const auto start = Clock::now();
        const bool result = QApplication::notify(receiver, event);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        drainMs += ms;
        if (ms > maxDrainMs) maxDrainMs = ms;
        return result;
    }
    double drainMs = 0;
    double maxDrainMs = 0;
};

TimingApp& App() {
    static int argc = 1;
    static char name[] = "bench_gui";
    static char* argv[] = {name, nullptr};
    static TimingApp* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new TimingApp(argc, argv);
    }();
    return *app;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

// A plain list widget fed the same way: it takes the notifications as the
// register console would and appends every line as a QListWidgetItem.
class PlainListDrain : public QObject {
public:
    QListWidget list;
    bool event(QEvent* e) override {
        const WinMsgEvent* msg = AsWinMsg(e);
        if (msg == nullptr || msg->message() != WM_LOG_MESSAGE) return QObject::event(e);
        std::list<std::u16string> lines;
        if (TakeLogLines(lines)) {
            for (const std::u16string& line : lines) list.addItem(QString::fromStdU16String(line));
            list.scrollToBottom();
        }
        return true;
    }
};

constexpr int kLines = 1'000'000;

// Two writers of kLines / 2 lines each while the GUI thread drains until
// `viewCount()` reaches kLines.
template <class CountFn>
double RunLoad(CountFn viewCount) {
    std::atomic<bool> go{false};
    auto writer = [&](int tag) {
        while (!go.load()) std::this_thread::yield();
        std::u16string text = u"Setting Brightness to ";
        const size_t base = text.size();
        for (int i = 0; i < kLines / 2; ++i) {
            text.resize(base);
            for (char c : std::to_string(tag * kLines + i)) text += static_cast<char16_t>(c);
            text += u"...";
            AddLog(text);
        }
    };
    std::thread a(writer, 1);
    std::thread b(writer, 2);
    const auto start = Clock::now();
    go = true;
    while (viewCount() < kLines) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    a.join();
    b.join();
    return seconds;
}

void Report(benchmark::State& state, double seconds, size_t heapBefore, size_t heapAfter) {
    TimingApp& app = App();
    state.SetIterationTime(seconds);
    state.counters["lines/s"] = kLines / seconds;
    state.counters["drain_lines/s"] = app.drainMs > 0 ? kLines / (app.drainMs / 1000.0) : 0;
    state.counters["bytes/line"] = static_cast<double>(heapAfter - heapBefore) / kLines;
    state.counters["max_drain_ms"] = app.maxDrainMs;
}

void BM_LogPath_CHListBox(benchmark::State& state) {
    App();
    sim::Reset();
    sim::RemoveAllBridges();
    CTunedeskDlg dlg;
    dlg.show();
    QCoreApplication::processEvents();
    CHListBox* view = dlg.LogList();
    for (auto _ : state) {
        dlg.OnMenuClearLog();
        malloc_trim(0);
        App().drainMs = App().maxDrainMs = 0;
        const size_t before = HeapInUse();
        const double seconds = RunLoad([&] { return view->GetCount(); });
        Report(state, seconds, before, HeapInUse());
    }
    dlg.OnMenuClearLog();
    sim::Reset();
}
BENCHMARK(BM_LogPath_CHListBox)->Iterations(1)->Repetitions(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LogPath_PlainQListWidget(benchmark::State& state) {
    App();
    PlainListDrain drain;
    drain.list.resize(560, 780);
    drain.list.show();
    QCoreApplication::processEvents();
    SetLogConsole(&drain);  // the notifications go to this drain
    for (auto _ : state) {
        drain.list.clear();
        malloc_trim(0);
        App().drainMs = App().maxDrainMs = 0;
        const size_t before = HeapInUse();
        const double seconds = RunLoad([&] { return drain.list.count(); });
        Report(state, seconds, before, HeapInUse());
    }
    SetLogConsole(nullptr);
    drain.list.clear();
}
BENCHMARK(BM_LogPath_PlainQListWidget)->Iterations(1)->Repetitions(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
