// The panel's service on a private session bus (a dbus-daemon of the test's
// own, never the desktop's): every member and property, the errors, the
// controls after bus writes, FeaturesChanged, two clients at once, and calls
// meant to hurt.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include <sys/prctl.h>

#include <csignal>

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QSlider>

#include "Ch347Sim.h"
#include "PanelBus.h"
#include "PanelBusTypes.h"
#include "SPIUtil.h"
#include "TunedeskDlg.h"
#include "support/gui_device_fixture.h"
#include "spilink.h"
#include "support/gui_panel.h"

namespace {

// The daemon and the panel share the test program's output: should the
// program die without ending them (a sanitizer stopping it), they would keep
// ctest waiting for that output until its time-out. They end with the program.
void EndWithTheTestProgram(QProcess& child) {
    child.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// The private bus: one daemon for the whole test program.
QString BusAddress() {
    static QString address = [] {
        auto* daemon = new QProcess;  // lives until the program ends; killed with it below
        EndWithTheTestProgram(*daemon);
        daemon->start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon->waitForStarted(5000) || !daemon->waitForReadyRead(5000)) return QString();
        static struct Killer {
            QProcess* p;
            ~Killer() {
                p->kill();
                p->waitForFinished(2000);
                delete p;
            }
        } killer{daemon};
        return QString::fromUtf8(daemon->readLine()).trimmed();
    }();
    return address;
}

// A received FeaturesChanged or PropertiesChanged.
class SignalTap : public QObject {
    Q_OBJECT
public:
    std::vector<QList<BusFeature>> features;
    std::vector<QVariantMap> properties;
public slots:
    void OnFeatures(const QDBusMessage& m) {
        features.push_back(qdbus_cast<QList<BusFeature>>(m.arguments().at(0).value<QDBusArgument>()));
    }
    void OnProperties(const QDBusMessage& m) { properties.push_back(qdbus_cast<QVariantMap>(m.arguments().at(1))); }
};

int g_connections = 0;

class BusPanelTest : public DevicePanelTest {
protected:
    void SetUp() override {
        DevicePanelTest::SetUp();
        RegisterPanelBusTypes();
        ASSERT_FALSE(BusAddress().isEmpty()) << "dbus-daemon did not start";
        CreateWindow();
        serverName_ = QStringLiteral("panel%1").arg(++g_connections);
        clientName_ = QStringLiteral("client%1").arg(g_connections);
        bus_ = std::make_unique<PanelBus>(dlg_.get(), QDBusConnection::connectToBus(BusAddress(), serverName_));
        ASSERT_TRUE(bus_->Start());
        client_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(BusAddress(), clientName_));
        ASSERT_TRUE(client_->isConnected());
        client_->connect(QString(), panelbus::kPath, panelbus::kInterface, QStringLiteral("FeaturesChanged"), &tap_,
                         SLOT(OnFeatures(QDBusMessage)));
        client_->connect(QString(), panelbus::kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), &tap_, SLOT(OnProperties(QDBusMessage)));
    }
    void TearDown() override {
        bus_.reset();
        client_.reset();
        QDBusConnection::disconnectFromBus(clientName_);
        QDBusConnection::disconnectFromBus(serverName_);
        DevicePanelTest::TearDown();
    }

    // Calls `member` and keeps the panel's event loop running until the reply is in.
    QDBusMessage Call(const QString& member, const QVariantList& args = {}) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(panelbus::kService, panelbus::kPath, panelbus::kInterface, member);
        m.setArguments(args);
        return Send(m);
    }
    QDBusMessage Send(const QDBusMessage& m) {
        QDBusPendingCall pending = client_->asyncCall(m, 60000);
        QElapsedTimer timer;
        timer.start();
        while (!pending.isFinished() && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pending.waitForFinished();
        Pump();
        return pending.reply();
    }
    QVariant Property(const char* name) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(panelbus::kService, panelbus::kPath,
                                           QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        m << QString::fromLatin1(panelbus::kInterface) << QString::fromLatin1(name);
        return Send(m).arguments().value(0).value<QDBusVariant>().variant();
    }
    void OpenOverBus() {
        ASSERT_EQ(Call(QStringLiteral("OpenBridge"), {0}).type(), QDBusMessage::ReplyMessage);
        Pump();
    }
    static QList<BusFeature> Features(const QDBusMessage& reply) {
        return qdbus_cast<QList<BusFeature>>(reply.arguments().at(0).value<QDBusArgument>());
    }
    static QVariant Pairs(const QList<BusFeature>& pairs) { return QVariant::fromValue(pairs); }
    static std::string ErrorOf(const QDBusMessage& reply) {
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName().toStdString() : "(no error)";
    }

    std::unique_ptr<PanelBus> bus_;
    std::unique_ptr<QDBusConnection> client_;
    QString serverName_, clientName_;
    SignalTap tap_;
};

constexpr char kInvalid[] = "io.github.tunedesk.Panel1.Error.InvalidArgument";

QByteArray SoundEdid() {
    const auto edid = sim::DefaultEdid();
    QByteArray bytes(reinterpret_cast<const char*>(edid.data()), static_cast<qsizetype>(edid.size()));
    // Another serial number, with both checksums made right again.
    bytes[12] = 0x42;
    for (int block = 0; block < 2; ++block) {
        unsigned sum = 0;
        for (int i = 0; i < 127; ++i) sum += static_cast<unsigned char>(bytes[block * 128 + i]);
        bytes[block * 128 + 127] = static_cast<char>((256 - sum % 256) % 256);
    }
    return bytes;
}

TEST_F(BusPanelTest, EveryMemberAndPropertyAgainstTheSimulatedChip) {
    const QDBusMessage introspection = Send(QDBusMessage::createMethodCall(
        panelbus::kService, panelbus::kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect")));
    EXPECT_TRUE(
        introspection.arguments().value(0).toString().contains(QStringLiteral("<method name=\"SetFeatures\">")));

    const QDBusMessage list = Call(QStringLiteral("ListBridges"));
    const auto bridges = qdbus_cast<QList<BusBridge>>(list.arguments().at(0).value<QDBusArgument>());
    ASSERT_EQ(bridges.size(), 1);
    EXPECT_EQ(bridges[0].number, 0);
    EXPECT_EQ(bridges[0].text.toStdString(), std::string("0# ") + sim::kDefaultDescription);
    EXPECT_EQ(Property("Bridge").toInt(), -1);
    EXPECT_EQ(Property("BridgeDescription").toString(), QString());

    OpenOverBus();
    EXPECT_EQ(Property("Bridge").toInt(), 0);
    EXPECT_EQ(Property("BridgeDescription").toString(), bridges[0].text);
    ASSERT_FALSE(tap_.properties.empty());
    EXPECT_EQ(tap_.properties.back().value(QStringLiteral("Bridge")).toInt(), 0);

    const auto all = Features(Call(QStringLiteral("GetFeatures"), {QStringList()}));
    ASSERT_EQ(all.size(), 16);  // every readable feature; sharpening.size cannot be read
    EXPECT_EQ(all[0].name, QStringLiteral("vivid"));
    EXPECT_EQ(all[2].name, QStringLiteral("vivid.intensity"));
    EXPECT_EQ(all[2].value, QStringLiteral("130"));
    EXPECT_EQ(all[1].value, QStringLiteral("medium"));

    ASSERT_EQ(Call(QStringLiteral("SetFeatures"),
                   {Pairs({{"vivid.intensity", "200"}, {"vivid.range", "Small"}, {"area", "left"}})})
                  .type(),
              QDBusMessage::ReplyMessage);
    const auto some =
        Features(Call(QStringLiteral("GetFeatures"), {QStringList{"area", "vivid.intensity", "vivid.range", "area"}}));
    ASSERT_EQ(some.size(), 4);
    EXPECT_EQ(some[0].value, QStringLiteral("left"));
    EXPECT_EQ(some[1].value, QStringLiteral("200"));
    EXPECT_EQ(some[2].value, QStringLiteral("small"));
    EXPECT_EQ(some[3].value, QStringLiteral("left"));

    ASSERT_EQ(Call(QStringLiteral("WriteRegisters"),
                   {QVariant::fromValue(QList<BusRegister>{{0x4008004C, 0x1234}, {kRegVividIntensity, 0x17}})})
                  .type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(sim::GetRegister(0, 0x0400, 0x4008004C), 0x1234u);
    const QDBusMessage regs =
        Call(QStringLiteral("ReadRegisters"), {QVariant::fromValue(QList<uint>{kRegVividIntensity, 0x4008004C})});
    const auto values = qdbus_cast<QList<BusRegister>>(regs.arguments().at(0).value<QDBusArgument>());
    ASSERT_EQ(values.size(), 2);
    EXPECT_EQ(values[0].address, kRegVividIntensity);
    EXPECT_EQ(values[0].value, 0x17u);
    EXPECT_EQ(values[1].value, 0x1234u);

    const auto edid = sim::DefaultEdid();
    const QByteArray a = Call(QStringLiteral("ReadEdid"), {QStringLiteral("a")}).arguments().value(0).toByteArray();
    EXPECT_EQ(a, QByteArray(reinterpret_cast<const char*>(edid.data()), 256));
    const QByteArray written = SoundEdid();
    ASSERT_EQ(Call(QStringLiteral("WriteEdid"), {written}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Call(QStringLiteral("ReadEdid"), {QStringLiteral("a")}).arguments().value(0).toByteArray(), written);
    EXPECT_EQ(Call(QStringLiteral("ReadEdid"), {QStringLiteral("b")}).arguments().value(0).toByteArray().size(), 256);

    ASSERT_EQ(Call(QStringLiteral("CloseBridge")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Property("Bridge").toInt(), -1);
    EXPECT_EQ(Property("BridgeDescription").toString(), QString());
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
    EXPECT_EQ(tap_.properties.back().value(QStringLiteral("Bridge")).toInt(), -1);
}

TEST_F(BusPanelTest, EachErrorAndNothingWrittenWhenOnePairIsBad) {
    // No bridge open.
    for (const auto& [member, args] : std::vector<std::pair<QString, QVariantList>>{
             {"GetFeatures", {QStringList()}},
             {"SetFeatures", {Pairs({{"vivid", "on"}})}},
             {"ReadRegisters", {QVariant::fromValue(QList<uint>{1})}},
             {"WriteRegisters", {QVariant::fromValue(QList<BusRegister>{{1, 1}})}},
             {"ReadEdid", {QStringLiteral("a")}},
             {"WriteEdid", {SoundEdid()}},
             {"CloseBridge", {}}})
        EXPECT_EQ(ErrorOf(Call(member, args)), "io.github.tunedesk.Panel1.Error.NotOpen") << member.toStdString();
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("OpenBridge"), {7})), kInvalid);

    OpenOverBus();
    const unsigned before = sim::GetRegister(0, 0x0400, kRegVividIntensity);
    // The good first pair is not written when the second is bad.
    const QDBusMessage range =
        Call(QStringLiteral("SetFeatures"), {Pairs({{"vivid.intensity", "1"}, {"contrast.threshold", "256"}})});
    EXPECT_EQ(ErrorOf(range), kInvalid);
    EXPECT_EQ(range.errorMessage().toStdString(), "contrast.threshold: 256 is out of range (0-255)");
    EXPECT_EQ(sim::GetRegister(0, 0x0400, kRegVividIntensity), before);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("SetFeatures"), {Pairs({{"vivid.range", "tiny"}})})), kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("SetFeatures"), {Pairs({{"nonsense", "1"}})})), kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("GetFeatures"), {QStringList{"sharpening.size"}})), kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("ReadEdid"), {QStringLiteral("c")})), kInvalid);
    QByteArray badSum = SoundEdid();
    badSum[200] = static_cast<char>(badSum[200] + 1);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("WriteEdid"), {badSum})), kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("WriteEdid"), {SoundEdid().left(255)})), kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("ReadRegisters"), {QVariant::fromValue(QList<uint>(4097, 0x40080040))})),
              kInvalid);

    // The chip stops answering in the middle of a call: the message names what was written.
    sim::InjectFault(0, sim::Fault::WrongReplyStatus, sim::kAlways);
    const QDBusMessage failed = Call(QStringLiteral("GetFeatures"), {QStringList{"vivid"}});
    EXPECT_EQ(ErrorOf(failed), "io.github.tunedesk.Panel1.Error.TransactionFailed");
    sim::ClearFaults(0);
    OnRegisterLogLine(u"Set Vivid Intensity to 9 OK!",
                      [] { sim::InjectFault(0, sim::Fault::WrongReplyStatus, sim::kAlways); });
    const QDBusMessage partly =
        Call(QStringLiteral("SetFeatures"), {Pairs({{"vivid.intensity", "9"}, {"contrast.threshold", "3"}})});
    sim::ClearFaults(0);
    EXPECT_EQ(ErrorOf(partly), "io.github.tunedesk.Panel1.Error.TransactionFailed");
    EXPECT_EQ(partly.errorMessage().toStdString(),
              "writing contrast.threshold failed; written before: vivid.intensity=9");

    // A modal dialog of the panel: the call waits, then is refused as busy.
    bus_->SetBusyTimeout(std::chrono::milliseconds(300));
    QDialog modal(dlg_.get());
    modal.setModal(true);
    modal.show();
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("GetFeatures"), {QStringList()})), "io.github.tunedesk.Panel1.Error.Busy");
    modal.hide();
    EXPECT_EQ(Call(QStringLiteral("GetFeatures"), {QStringList{"vivid"}}).type(), QDBusMessage::ReplyMessage);
}

TEST_F(BusPanelTest, ControlsFollowBusWritesAndFeaturesChangedFollowsEverySource) {
    OpenOverBus();
    tap_.features.clear();
    ASSERT_EQ(Call(QStringLiteral("SetFeatures"), {Pairs({{"vivid.intensity", "200"}, {"contrast", "off"}})}).type(),
              QDBusMessage::ReplyMessage);
    Pump();
    EXPECT_EQ(Slider(IDC_SLIDER_VIVID_INTENSITY)->value(), 200);
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "200");
    EXPECT_EQ(Combo(IDC_CMB_EXTENDED_CONTRAST_ONOFF)->currentIndex(), 0);
    EXPECT_FALSE(Slider(IDC_SLIDER_THRESHOLD)->isEnabled());
    EXPECT_GE(IndexOf(Log(), "Handle Extended Contrast Off..."), 0);

    auto announced = [&](const char* name, const char* value) {
        // The signal travels through the daemon: give it time, not rounds.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            for (const auto& batch : tap_.features)
                for (const BusFeature& f : batch)
                    if (f.name == QLatin1String(name) && f.value == QLatin1String(value)) return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
        return false;
    };
    EXPECT_TRUE(announced("vivid.intensity", "200"));
    EXPECT_TRUE(announced("contrast", "off"));

    // Registers written over the bus: the controls of the features living there.
    ASSERT_EQ(Call(QStringLiteral("WriteRegisters"),
                   {QVariant::fromValue(QList<BusRegister>{{kRegBrightnessThreshold, 0x1E40}})})
                  .type(),
              QDBusMessage::ReplyMessage);
    Pump();
    EXPECT_EQ(Slider(IDC_SLIDER_BRIGHTNESS)->value(), 0x40);
    EXPECT_EQ(Slider(IDC_SLIDER_THRESHOLD)->value(), 0x1E);
    EXPECT_TRUE(announced("contrast.threshold", "30"));

    // A control of the panel's own, and the same value over the bus: the same lines.
    auto block = [&](const std::string& first) {
        const auto log = Log();
        std::vector<std::string> lines;
        for (int i = IndexOf(log, first); i >= 0 && i < static_cast<int>(log.size()); ++i) {
            lines.push_back(log[i]);
            if (log[i].empty()) break;
        }
        return lines;
    };
    ClearLog();
    Drag(IDC_SLIDER_VIVID_INTENSITY, {90});
    EXPECT_TRUE(announced("vivid.intensity", "90"));
    const auto byControl = block("Setting Vivid Intensity to 90...");
    ASSERT_GE(byControl.size(), 4u);
    ClearLog();
    sim::SetRegister(0, 0x0400, kRegVividIntensity, 200);  // the chip as the control found it
    ASSERT_EQ(Call(QStringLiteral("SetFeatures"), {Pairs({{"vivid.intensity", "90"}})}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(block("Setting Vivid Intensity to 90..."), byControl);
}

TEST_F(BusPanelTest, TwoClientsWritingOneRegisterLoseNothing) {
    OpenOverBus();
    ClearLog();
    constexpr int kRounds = 200;
    std::atomic<int> finished{0};
    std::atomic<int> failures{0};
    auto client = [&](const char* feature, int offset) {
        const QString name = QStringLiteral("writer-%1-%2").arg(feature).arg(g_connections);
        {
            QDBusConnection c = QDBusConnection::connectToBus(BusAddress(), name);
            for (int i = 0; i < kRounds; ++i) {
                QDBusMessage m = QDBusMessage::createMethodCall(panelbus::kService, panelbus::kPath,
                                                                panelbus::kInterface, QStringLiteral("SetFeatures"));
                m << Pairs({{feature, QString::number((i + offset) % 256)}});
                if (c.call(m, QDBus::Block, 60000).type() != QDBusMessage::ReplyMessage) ++failures;
            }
        }
        QDBusConnection::disconnectFromBus(name);
        ++finished;
    };
    std::thread a(client, "contrast.brightness", 0);
    std::thread b(client, "contrast.threshold", 100);
    while (finished < 2) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    const unsigned reg = sim::GetRegister(0, 0x0400, kRegBrightnessThreshold);
    EXPECT_EQ(reg & 0xFF, static_cast<unsigned>(kRounds - 1));
    EXPECT_EQ((reg >> 8) & 0xFF, static_cast<unsigned>((kRounds - 1 + 100) % 256));

    // Each call's lines stand together, and every read finds both fields as
    // last written: no write was lost between a read and its write.
    const auto log = Log();
    const std::regex setting("Setting (Brightness|Threshold) to (\\d+)\\.\\.\\.");
    const std::regex reg_line("REG: 0x40080038, Value: 0x([0-9A-F]{8})");
    unsigned brightness = 128, threshold = 10;
    int calls = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(log[i], m, setting)) continue;
        ++calls;
        size_t end = i + 1;
        int reads = 0;
        for (; end < log.size() && !log[end].empty(); ++end) {
            ASSERT_EQ(log[end].rfind("Setting ", 0), std::string::npos) << "calls interleaved at line " << end;
            std::smatch r;
            if (!std::regex_match(log[end], r, reg_line)) continue;
            ++reads;
            const unsigned value = static_cast<unsigned>(std::stoul(r[1], nullptr, 16));
            EXPECT_EQ(value & 0xFF, brightness) << "line " << end;
            EXPECT_EQ((value >> 8) & 0xFF, threshold) << "line " << end;
        }
        ASSERT_LT(end, log.size());
        EXPECT_EQ(reads, 1);
        EXPECT_EQ(log[end - 1], "Set " + m[1].str() + " to " + m[2].str() + " OK!");
        (m[1] == "Brightness" ? brightness : threshold) = static_cast<unsigned>(std::stoul(m[2]));
        i = end;
    }
    EXPECT_EQ(calls, 2 * kRounds);
}

TEST_F(BusPanelTest, MalformedCallsAreRefusedAndThePanelServesOn) {
    OpenOverBus();
    // Wrong signatures.
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("GetFeatures"), {QStringLiteral("vivid")})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("OpenBridge"), {QStringLiteral("0")})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("SetFeatures"), {QStringList{"vivid", "on"}})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("Explode"))), "org.freedesktop.DBus.Error.UnknownMethod");
    // 100,000 names, unknown names, a huge EDID.
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("GetFeatures"), {QStringList(100000, QStringLiteral("vivid"))})), kInvalid);
    QList<BusFeature> many(100000, BusFeature{QStringLiteral("vivid"), QStringLiteral("on")});
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("SetFeatures"), {Pairs(many)})), kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("GetFeatures"), {QStringList{"vivid", QString(5000, QLatin1Char('x'))}})),
              kInvalid);
    EXPECT_EQ(ErrorOf(Call(QStringLiteral("WriteEdid"), {QByteArray(8 << 20, '\x7f')})), kInvalid);
    // Still alive and serving.
    const auto one = Features(Call(QStringLiteral("GetFeatures"), {QStringList{"vivid.intensity"}}));
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].value, QStringLiteral("130"));
}

TEST_F(BusPanelTest, ASecondPanelFindsTheNameTakenAndSaysSoOnce) {
    const QString name = QStringLiteral("second%1").arg(g_connections);
    {
        PanelBus second(dlg_.get(), QDBusConnection::connectToBus(BusAddress(), name));
        EXPECT_FALSE(second.Start());
        EXPECT_FALSE(second.Serving());
    }
    QDBusConnection::disconnectFromBus(name);
    EXPECT_EQ(CountPrefix(Log(), "Another panel already serves io.github.tunedesk.Tunedesk"), 1);
    // The first one still serves.
    EXPECT_EQ(Call(QStringLiteral("ListBridges")).type(), QDBusMessage::ReplyMessage);
}

// The environment of the programs the test starts. Under ThreadSanitizer they
// leave out reports from inside the uninstrumented Qt libraries and those of
// scripts/tsan.supp, as the test program itself does
// (support/gui_sanitizers.cpp); reports in our code still fail the program
// with exit code 66.
QProcessEnvironment ChildEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#if defined(__SANITIZE_THREAD__)
    // Options given by the caller come later and so win.
    env.insert(QStringLiteral("TSAN_OPTIONS"),
               QStringLiteral("ignore_noninstrumented_modules=1:suppressions=" TUNEDESK_TSAN_SUPPRESSIONS ":") +
                   env.value(QStringLiteral("TSAN_OPTIONS")));
#endif
    return env;
}

// The panel program itself on the private bus, on a simulator image of its
// own, and a client connection to it.
class PanelProgram {
public:
    explicit PanelProgram(const char* tag, const QStringList& options = {})
        : folder_(QDir::tempPath() +
                  QStringLiteral("/tunedesk-%1-%2").arg(QLatin1String(tag)).arg(QCoreApplication::applicationPid())),
          image_(folder_ + QStringLiteral("/chip.img")),
          name_(QStringLiteral("program-%1").arg(QLatin1String(tag))) {
        PanelApp();
        RegisterPanelBusTypes();
        QDir(folder_).removeRecursively();
        QDir().mkpath(folder_);
        QProcessEnvironment env = ChildEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), BusAddress());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TUNEDESK_BACKEND"), QStringLiteral("sim"));
        panel_.setProcessEnvironment(env);
        panel_.setProcessChannelMode(QProcess::ForwardedChannels);
        EndWithTheTestProgram(panel_);
        panel_.start(QStringLiteral(TUNEDESK_PANEL), QStringList{QStringLiteral("--sim-image"), image_} + options);
        started_ = panel_.waitForStarted(10000);
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(BusAddress(), name_));
        QElapsedTimer timer;
        timer.start();
        while (started_ && !bus_->interface()->isServiceRegistered(QString::fromLatin1(panelbus::kService)) &&
               timer.elapsed() < 30000)
            QThread::msleep(50);
    }
    ~PanelProgram() {
        if (panel_.state() != QProcess::NotRunning) {
            panel_.kill();
            panel_.waitForFinished(10000);
        }
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
        QDir(folder_).removeRecursively();
    }
    PanelProgram(const PanelProgram&) = delete;
    PanelProgram& operator=(const PanelProgram&) = delete;

    // Started on the private bus, serving, and holding bridge 0.
    bool OpenBridge() {
        return started_ && !BusAddress().isEmpty() &&
               Call(QStringLiteral("OpenBridge"), {0}).type() == QDBusMessage::ReplyMessage;
    }
    QProcess& Process() { return panel_; }
    const QString& Image() const { return image_; }
    QString File(const char* name) const { return folder_ + QLatin1Char('/') + QLatin1String(name); }

    QDBusMessage Call(const QString& member, const QVariantList& args = {}) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(panelbus::kService, panelbus::kPath, panelbus::kInterface, member);
        m.setArguments(args);
        sent_.push_back(m);
        return bus_->call(m, QDBus::Block, 30000);
    }
    QDBusMessage Set(const char* feature, const char* value) {
        return Call(QStringLiteral("SetFeatures"),
                    {QVariant::fromValue(QList<BusFeature>{{QLatin1String(feature), QLatin1String(value)}})});
    }

private:
    QString folder_, image_, name_;
    QProcess panel_;
    bool started_ = false;
    std::unique_ptr<QDBusConnection> bus_;
    // The calls stay alive until the test ends, so Qt's bus thread never drops
    // the last reference to their arguments: under ThreadSanitizer, the report
    // of that hand-off (scripts/tsan.supp) has made gcc 12's runtime fail a
    // CHECK of its own and end the program before it read the suppressions.
    std::vector<QDBusMessage> sent_;
};

// tunedesk-cli as a program: its exit code, standard output and error.
struct CliRun {
    int exit = -1;
    std::string out, err;
};

CliRun RunCli(const QStringList& args) {
    QProcess cli;
    QProcessEnvironment env = ChildEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), BusAddress());
    env.remove(QStringLiteral("TUNEDESK_BACKEND"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(TUNEDESK_CLI), args);
    EXPECT_TRUE(cli.waitForFinished(60000)) << args.join(QLatin1Char(' ')).toStdString();
    return {cli.exitCode(), cli.readAllStandardOutput().toStdString(), cli.readAllStandardError().toStdString()};
}

// The chip goes to the panel's image when the bridge closes and when the
// panel is ended by SIGTERM, and tunedesk-cli finds it there afterwards.
TEST(BusPanelProgram, StoresTheChipWhenTheBridgeClosesAndOnSigterm) {
    PanelProgram panel("store");
    ASSERT_TRUE(panel.OpenBridge());
    ASSERT_EQ(panel.Set("vivid.intensity", "77").type(), QDBusMessage::ReplyMessage);

    // tunedesk-cli goes through the panel while it holds the bridge: one chip.
    auto cliThroughPanel = [&](const QStringList& args) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exit, 0) << run.err;
        return run.out;
    };
    EXPECT_EQ(cliThroughPanel({QStringLiteral("get"), QStringLiteral("vivid.intensity")}), "vivid.intensity=77\n");
    EXPECT_EQ(cliThroughPanel({QStringLiteral("set"), QStringLiteral("vivid.intensity=66")}), "vivid.intensity=66\n");
    const QDBusMessage seen =
        panel.Call(QStringLiteral("GetFeatures"), {QStringList{QStringLiteral("vivid.intensity")}});
    EXPECT_EQ(qdbus_cast<QList<BusFeature>>(seen.arguments().at(0).value<QDBusArgument>()).value(0).value,
              QStringLiteral("66"));
    EXPECT_NE(cliThroughPanel({QStringLiteral("list")}).find("held by the panel: 0# "), std::string::npos);
    ASSERT_EQ(panel.Set("vivid.intensity", "77").type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(panel.Call(QStringLiteral("CloseBridge")).type(), QDBusMessage::ReplyMessage);
    QFile stored(panel.Image());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_TRUE(stored.readAll().contains("reg 0400 40080040 0000004D"));
    stored.close();

    ASSERT_EQ(panel.Call(QStringLiteral("OpenBridge"), {0}).type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(panel.Set("vivid.intensity", "88").type(), QDBusMessage::ReplyMessage);
    panel.Process().terminate();  // SIGTERM, as a session logout sends
    ASSERT_TRUE(panel.Process().waitForFinished(30000));
    EXPECT_EQ(panel.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(panel.Process().exitCode(), 0);

    const CliRun after = RunCli({QStringLiteral("--backend"), QStringLiteral("sim"), QStringLiteral("--sim-image"),
                                 panel.Image(), QStringLiteral("get"), QStringLiteral("vivid.intensity")});
    EXPECT_EQ(after.out, "vivid.intensity=88\n");
    EXPECT_EQ(after.exit, 0);
}

// Every command that reaches the chip prints the same and exits the same
// through the panel as on a bridge of its own: the same script runs once
// through the panel and once directly on the image the panel stored. Each
// run starts with the writes, so both end their reads on the same chip.
TEST(BusPanelProgram, CliThroughThePanelPrintsWhatTheDirectWayPrints) {
    PanelProgram panel("same");
    ASSERT_TRUE(panel.OpenBridge());

    auto script = [&](const QStringList& way, const char* profileName, const char* edidName) {
        const QString profile = panel.File(profileName), edid = panel.File(edidName);
        const std::vector<QStringList> commands = {
            {"set", "--verify", "vivid.intensity=50", "contrast.brightness=10", "sharpening.size=medium"},
            {"reg", "write", "--verify", "0x40080040=0x31"},
            {"--device", "0", "get"},
            {"--json", "get", "contrast"},
            {"reg", "read", "0x40080040+2"},
            {"reg", "dump", "--decode"},
            {"--json", "reg", "dump", "--decode"},
            {"edid", "read", "-o", edid},
            {"edid", "read", "--seq", "b"},
            {"edid", "write", "--verify", "--fix-checksums", edid},
            {"profile", "save", profile},
            {"profile", "diff", profile},
            {"profile", "apply", "--verify", profile},
            {"set", "--dry-run", "vivid=off"},
            {"set", "vivid.intensity=300"},
            {"watch", "--count", "1", "vivid.intensity"},
        };
        std::vector<CliRun> runs;
        for (const QStringList& command : commands) {
            runs.push_back(RunCli(way + command));
            // The watch line starts with the date and time of its read.
            std::string& out = runs.back().out;
            if (command.front() == QLatin1String("watch")) out.erase(0, out.rfind(' ', out.find('=')) + 1);
        }
        QFile saved(profile);
        EXPECT_TRUE(saved.open(QIODevice::ReadOnly));
        runs.push_back({0, saved.readAll().toStdString(), ""});
        return runs;
    };
    const std::vector<CliRun> throughPanel = script({}, "panel.ini", "panel.edid");
    // The panel's own controls saw the CLI's writes.
    const QDBusMessage seen =
        panel.Call(QStringLiteral("GetFeatures"), {QStringList{QStringLiteral("vivid.intensity")}});
    EXPECT_EQ(qdbus_cast<QList<BusFeature>>(seen.arguments().at(0).value<QDBusArgument>()).value(0).value,
              QStringLiteral("49"));
    // Another command pair than the panel's is refused before anything is written.
    const CliRun otherPair = RunCli({"reg", "write", "--cmd", "0x0600/0x6000", "0x10=0x1"});
    EXPECT_EQ(otherPair.exit, 2);
    EXPECT_NE(otherPair.err.find("nothing written"), std::string::npos) << otherPair.err;
    EXPECT_NE(otherPair.err.find("--direct"), std::string::npos) << otherPair.err;

    // The panel holds its image while it runs: it stores it on SIGTERM.
    panel.Process().terminate();
    ASSERT_TRUE(panel.Process().waitForFinished(30000));
    const std::vector<CliRun> direct =
        script({"--backend", "sim", "--sim-image", panel.Image()}, "direct.ini", "direct.edid");
    ASSERT_EQ(throughPanel.size(), direct.size());
    for (size_t i = 0; i < direct.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(throughPanel[i].exit, direct[i].exit) << throughPanel[i].err;
        EXPECT_EQ(throughPanel[i].out, direct[i].out);
        EXPECT_EQ(throughPanel[i].err, direct[i].err);
    }
    EXPECT_NE(direct[13].out.find("vivid=off"), std::string::npos);
    EXPECT_EQ(direct[14].exit, 2);
}

// A transaction that fails in the panel reads as it does directly: the same
// line naming the same feature, register or sequence, and exit code 1.
TEST(BusPanelProgram, FailedTransactionsReadTheSameThroughThePanel) {
    PanelProgram panel("faults", {"--faults", "rate=1,kinds=read"});
    ASSERT_TRUE(panel.OpenBridge());
    const QStringList direct = {"--backend",        "sim", "--sim-image", panel.File("direct.img"), "--faults",
                                "rate=1,kinds=read"};
    for (const QStringList& command : std::vector<QStringList>{{"get", "contrast"},
                                                               {"reg", "read", "0x40080040+3"},
                                                               {"set", "vivid.intensity=5", "vivid=on"},
                                                               {"edid", "read"},
                                                               {"--json", "reg", "dump", "--decode"}}) {
        SCOPED_TRACE(command.join(QLatin1Char(' ')).toStdString());
        const CliRun throughPanel = RunCli(command), own = RunCli(direct + command);
        EXPECT_EQ(throughPanel.exit, 1);
        EXPECT_EQ(throughPanel.exit, own.exit);
        EXPECT_EQ(throughPanel.out, own.out);
        EXPECT_EQ(throughPanel.err, own.err);
    }
}

}  // namespace

#include "gui_bus_test.moc"
