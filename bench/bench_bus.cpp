// The panel's bus interface against the simulated chip, on a session bus of
// its own (a private dbus-daemon): round trips of GetFeatures (one feature,
// all) and SetFeatures (one), beside the same work done directly (what
// `tunedesk-cli --direct` does in-process), tunedesk-cli as a process through
// the panel and on a bridge of its own, and the
// GUI thread's longest stall while two clients call as fast as they can.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTimer>

#include "Ch347Sim.h"
#include "Features.h"
#include "PanelBus.h"
#include "PanelBusTypes.h"
#include "ScratchSettings.h"
#include "SpiSettingFile.h"
#include "TimeUtil.h"
#include "TunedeskDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Stats {
    double median = 0, mean = 0, worst = 0;
};

Stats Summarise(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    for (double x : v) s.mean += x;
    s.mean /= static_cast<double>(v.size());
    s.worst = v.back();
    return s;
}

void Print(const char* what, const Stats& s, int n) {
    std::printf("%-48s median %8.3f ms  mean %8.3f ms  worst %8.3f ms  (n=%d)\n", what, s.median, s.mean, s.worst, n);
}

QDBusMessage MakeCall(const char* member, const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(panelbus::kService, panelbus::kPath, panelbus::kInterface,
                                                    QString::fromLatin1(member));
    m.setArguments(args);
    return m;
}

// Runs `calls` from a client thread with its own connection while the GUI
// thread serves; the time of each call.
std::vector<double> RoundTrips(const QString& address, const QDBusMessage& call, int n) {
    std::vector<double> times;
    std::atomic<bool> done{false};
    std::thread client([&] {
        const QString name = QStringLiteral("bench-rt");
        {
            QDBusConnection c = QDBusConnection::connectToBus(address, name);
            for (int i = 0; i < n; ++i) {
                const auto start = Clock::now();
                const QDBusMessage reply = c.call(call, QDBus::Block, 60000);
                times.push_back(Ms(Clock::now() - start));
                if (reply.type() != QDBusMessage::ReplyMessage) {
                    std::fprintf(stderr, "bench_bus: %s\n", qPrintable(reply.errorMessage()));
                    break;
                }
            }
        }
        QDBusConnection::disconnectFromBus(name);
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    client.join();
    return times;
}

std::vector<double> Direct(int n, const std::function<bool()>& work) {
    std::vector<double> times;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        if (!work()) break;
        times.push_back(Ms(Clock::now() - start));
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterPanelBusTypes();
    ScratchSettings settings;
    SaveSPIRWDelay(0);
    sim::Reset();

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_bus: dbus-daemon did not start\n");
        return 1;
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();

    int result = 0;
#ifdef TUNEDESK_CLI
    // tunedesk-cli as a process, as a script calls it: `way` says how it
    // reaches the chip. The GUI thread keeps serving the bus meanwhile.
    QTemporaryDir folder;
    const QString image = folder.path() + QStringLiteral("/chip.img");
    const QStringList direct = {QStringLiteral("--backend"), QStringLiteral("sim"), QStringLiteral("--sim-image"),
                                image};
    const std::vector<std::pair<const char*, QStringList>> cliCommands = {
        {"tunedesk-cli get vivid.intensity", {QStringLiteral("get"), QStringLiteral("vivid.intensity")}},
        {"tunedesk-cli get (all 16)", {QStringLiteral("get")}},
        {"tunedesk-cli set vivid.intensity=123", {QStringLiteral("set"), QStringLiteral("vivid.intensity=123")}}};
    auto cliRuns = [&](const char* way, const QStringList& options, int n) {
        for (const auto& [what, command] : cliCommands) {
            std::vector<double> times;
            for (int i = 0; i < n; ++i) {
                QProcess cli;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
                cli.setProcessEnvironment(env);
                const auto start = Clock::now();
                cli.start(QStringLiteral(TUNEDESK_CLI), options + command);
                while (cli.state() != QProcess::NotRunning)
                    if (!cli.waitForFinished(1)) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
                    std::fprintf(stderr, "bench_bus: tunedesk-cli %s failed: %s\n", qPrintable(command.join(u' ')),
                                 cli.readAllStandardError().constData());
                    result = 1;
                    break;
                }
                times.push_back(Ms(Clock::now() - start));
            }
            Print((std::string(way) + what).c_str(), Summarise(times), static_cast<int>(times.size()));
        }
    };
#endif
    {
        CTunedeskDlg dlg;
        PanelBus bus(&dlg, QDBusConnection::connectToBus(address, QStringLiteral("bench-panel")));
        if (!bus.Start()) {
            std::fprintf(stderr, "bench_bus: the panel could not take its bus name\n");
            return 1;
        }
        dlg.Item<QPushButton>(IDC_BTN_OPEN_DEVICE)->click();
        dlg.FinishReadDeviceParamsThread();
        QCoreApplication::processEvents();

        const int n = 200;
        std::printf("Round trips over the panel's bus interface (simulated chip, SPIRWDelay 0):\n");
        const auto getOne = MakeCall("GetFeatures", {QStringList{QStringLiteral("vivid.intensity")}});
        const auto getAll = MakeCall("GetFeatures", {QStringList()});
        const auto setOne = MakeCall(
            "SetFeatures",
            {QVariant::fromValue(QList<BusFeature>{{QStringLiteral("vivid.intensity"), QStringLiteral("123")}})});
        Print("bus GetFeatures(vivid.intensity)", Summarise(RoundTrips(address, getOne, n)), n);
        Print("bus GetFeatures(all 16)", Summarise(RoundTrips(address, getAll, n / 4)), n / 4);
        Print("bus SetFeatures(vivid.intensity)", Summarise(RoundTrips(address, setOne, n)), n);

        std::printf("The same work done directly in one process (as tunedesk-cli --direct does):\n");
        const features::Feature* intensity = features::Find("vivid.intensity");
        Print("direct read of vivid.intensity",
              Summarise(Direct(n,
                               [&] {
                                   unsigned int v = 0;
                                   return features::Read(0, *intensity, v);
                               })),
              n);
        Print("direct read of all 16",
              Summarise(Direct(n / 4,
                               [&] {
                                   bool first = true;
                                   for (const features::Feature& f : features::Table()) {
                                       if (!f.readable) continue;
                                       if (!first) WexSleep(1);
                                       first = false;
                                       unsigned int v = 0;
                                       if (!features::Read(0, f, v)) return false;
                                   }
                                   return true;
                               })),
              n / 4);
        Print("direct write of vivid.intensity",
              Summarise(Direct(n,
                               [&] {
                                   return features::Write(0, {intensity, 123});
                               })),
              n);
        QCoreApplication::processEvents();

        // The GUI thread's longest stall: a 2 ms timer on it, two clients
        // calling (all features, then a write) as fast as they can.
        std::atomic<bool> stop{false};
        std::atomic<long> calls{0};
        auto hammer = [&](int id) {
            const QString name = QStringLiteral("bench-hammer-%1").arg(id);
            {
                QDBusConnection c = QDBusConnection::connectToBus(address, name);
                while (!stop) {
                    c.call(id == 0 ? getAll : setOne, QDBus::Block, 60000);
                    ++calls;
                }
            }
            QDBusConnection::disconnectFromBus(name);
        };
        double longest = 0;
        auto last = Clock::now();
        QTimer tick;
        tick.setInterval(2);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longest = std::max(longest, Ms(now - last));
            last = now;
        });
        std::thread a(hammer, 0), b(hammer, 1);
        tick.start();
        last = Clock::now();
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        tick.stop();
        stop = true;
        // The clients finish their last call while the GUI thread serves it.
        std::atomic<bool> joined{false};
        std::thread joiner([&] {
            a.join();
            b.join();
            joined = true;
        });
        while (!joined) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        joiner.join();
        std::printf("GUI thread under two clients calling as fast as they can for 5 s (%ld calls):\n", calls.load());
        std::printf("%-48s %8.3f ms  (goal: under 50 ms; a 2 ms timer's longest gap)\n", "longest stall", longest);

#ifdef TUNEDESK_CLI
        std::printf("tunedesk-cli as a process, through this panel:\n");
        cliRuns("panel: ", {}, 20);
#endif
    }
#ifdef TUNEDESK_CLI
    std::printf("tunedesk-cli as a process on a bridge of its own (--backend sim --sim-image FILE):\n");
    cliRuns("direct: ", direct, 20);
#endif

    daemon.kill();
    daemon.waitForFinished(2000);
    return result;
}
