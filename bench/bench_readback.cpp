// Open-to-read-back latency of the main window against the simulated bridge:
// from the click on "open" to the moment the window handles the last UI
// notification of the read-back (the processing area), for a given SPIRWDelay.
// The simulated chip answers at once, so the figure is the panel's own cost:
// settings file reads, busy waits, 1 ms pauses, logging and event delivery.
#include <benchmark/benchmark.h>

#include <chrono>

#include <QApplication>
#include <QPushButton>

#include "Ch347Sim.h"
#include "ScratchSettings.h"
#include "SpiSettingFile.h"
#include "TunedeskDlg.h"
#include "spilink.h"

namespace {

void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char arg0[] = "bench_readback";
    static char* argv[] = {arg0, nullptr};
    new QApplication(argc, argv);
}

// Notes when the window handles the read-back's last notification.
class LastNotification : public QObject {
public:
    explicit LastNotification(QObject* window) { window->installEventFilter(this); }
    bool seen = false;
    std::chrono::steady_clock::time_point when;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == WinMsgType(WM_VIDEO_PROCESS_AREA)) {
            seen = true;
            when = std::chrono::steady_clock::now();
        }
        return false;
    }
};

void BM_OpenToLastReadBackNotification(benchmark::State& state) {
    EnsureApplication();
    ScratchSettings settings;
    SaveSPIRWDelay(static_cast<int>(state.range(0)));
    sim::Reset();
    {
        CTunedeskDlg dlg;
        LastNotification last(&dlg);
        auto* button = dlg.Item<QPushButton>(IDC_BTN_OPEN_DEVICE);
        for (auto _ : state) {
            last.seen = false;
            const auto start = std::chrono::steady_clock::now();
            button->click();
            while (!last.seen) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            state.SetIterationTime(std::chrono::duration<double>(last.when - start).count());
            dlg.FinishReadDeviceParamsThread();
            button->click();  // close
            QCoreApplication::processEvents();
            dlg.OnMenuClearLog();
        }
    }
}

}  // namespace

BENCHMARK(BM_OpenToLastReadBackNotification)
    ->ArgName("SPIRWDelay")
    ->Arg(kDefaultSPIRWDelay)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
