#include "PanelBus.h"
#include "PanelBusTypes.h"

#include <array>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFile>
#include <QWidget>

#include "Features.h"
#include "LogQueue.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "StrFormat.h"
#include "TimeUtil.h"
#include "TunedeskDlg.h"
#include "UiHooks.h"
#include "WinMsg.h"
#include "WorkerThread.h"
#include "spilink.h"
#include "trace.h"

namespace {

constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

// ---- How each feature meets the panel's controls ---------------------------

using Registers = std::map<unsigned int, unsigned int>;

// One feature as the panel shows it: the line its control logs before writing
// (none for the features without a control of their own), the notification
// that sets the control, the registers it lives in, and its value decoded
// from them.
struct ControlRoute {
    const char* name;
    std::u16string (*header)(unsigned int value);
    unsigned message;  // 0: no control shows it
    std::array<unsigned int, 4> registers;
    unsigned int (*decode)(const unsigned int* r);
    // As the control reads the register before its write: some ask the getter
    // for the feature's value too (and so log it), some only for the raw value.
    bool logCurrent = true;
};

const char16_t* SizeName(unsigned int size) {
    switch (size) {
    case 0: return u"Large";
    case 1: return u"Medium";
    default: return u"Small";
    }
}

unsigned int DecodeRange(const unsigned int* r) {
    switch ((r[0] & 0x00B00000) >> 20) {
    case 0xB: return kVividRangeLarge;
    case 0xA: return kVividRangeMedium;
    case 0x9: return kVividRangeSmall;
    case 0x8: return kVividRangeTiny;
    default: return kVividRangeUnknown;
    }
}

unsigned int DecodeArea(const unsigned int* r) {
    // The area registers in the order of ControlRoute::registers below.
    for (unsigned int i = 0; i < 4; ++i) {
        const ProcessingAreaPreset& p = kProcessingAreaPresets[i];
        if ((r[0] & 0xFFF) == p.hOffset && (r[1] & 0xFFF) == p.vOffset && (r[2] & 0xFFF) == p.width &&
            (r[3] & 0xFFF) == p.height)
            return i;
    }
    return kAreaOther;
}

const ControlRoute kRoutes[] = {
    {"vivid",
     [](unsigned v) -> std::u16string { return v ? u"Handle Vividi On..." : u"Handle Vividi Off..."; },
     WM_VIVID_ONOFF,
     {kRegVividOnOff},
     [](const unsigned* r) { return (r[0] >> 4) & 1; }},
    {"vivid.range",
     [](unsigned v) { return StrFormat(u"Setting Vivid Range to %s...", SizeName(v)); },
     WM_VIVID_RANGE,
     {kRegVividRange},
     DecodeRange,
     false},
    {"vivid.intensity",
     [](unsigned v) { return StrFormat(u"Setting Vivid Intensity to %d...", static_cast<int>(v)); },
     WM_VIVID_INTENSITY,
     {kRegVividIntensity},
     [](const unsigned* r) { return r[0] & 0xFF; },
     false},
    {"sharpening",
     [](unsigned v) -> std::u16string { return v ? u"Handle Sharpening On..." : u"Handle Sharpening Off..."; },
     WM_SHARPENING_ONOFF,
     {kRegSharpeningOnOff},
     [](const unsigned* r) { return (r[0] >> 2) & 1; }},
    {"sharpening.size",
     [](unsigned v) { return StrFormat(u"Setting Sharpening Process Size to %s...", SizeName(v)); },
     0,
     {},
     nullptr},
    {"sharpening.intensity",
     [](unsigned v) { return StrFormat(u"Setting Sharpening Intensity to %d...", static_cast<int>(v)); },
     WM_SHARPENING_INTENSITY,
     {kRegSharpeningIntensity},
     [](const unsigned* r) { return (r[0] & 0x00FFFFFF) >> 8; },
     false},
    {"contrast",
     [](unsigned v) -> std::u16string {
         return v ? u"Handle Extended Contrast On..." : u"Handle Extended Contrast Off...";
     },
     WM_EXTENDED_CONTRAST_ONOFF,
     {kRegExtendedContrast},
     [](const unsigned* r) { return (r[0] >> 2) & 1; }},
    {"contrast.auto-brightness",
     [](unsigned v) -> std::u16string {
         return v ? u"Handle Auto Brightness On..." : u"Handle Auto Brightness Off...";
     },
     WM_AUTO_BRIGHTNESS_ONOFF,
     {kRegExtendedContrast},
     [](const unsigned* r) { return (r[0] >> 1) & 1; }},
    {"contrast.adaptive",
     [](unsigned v) { return StrFormat(u"Setting Adaptive Contrast to %d...", static_cast<int>(v)); },
     WM_ADAPTIVE_CONTRAST,
     {kRegExtendedContrast},
     [](const unsigned* r) { return (r[0] >> 8) & 0xFF; },
     false},
    {"contrast.brightness",
     [](unsigned v) { return StrFormat(u"Setting Brightness to %d...", static_cast<int>(v)); },
     WM_BRIGHTNESS,
     {kRegBrightnessThreshold},
     [](const unsigned* r) { return r[0] & 0xFF; }},
    {"contrast.threshold",
     [](unsigned v) { return StrFormat(u"Setting Threshold to %d...", static_cast<int>(v)); },
     WM_THRESHOLD,
     {kRegBrightnessThreshold},
     [](const unsigned* r) { return (r[0] >> 8) & 0xFF; }},
    {"color-correction", nullptr, 0, {kRegVividOnOff}, [](const unsigned* r) { return (r[0] >> 2) & 1; }},
    {"color-correction.intensity",
     [](unsigned v) { return StrFormat(u"Setting Color Correction to %d...", static_cast<int>(v)); },
     WM_COLOR_CORRECTION,
     {kRegColorCorrectionIntensity},
     [](const unsigned* r) { return (r[0] & 0xFC00) >> 10; }},
    // Two bits: 10 is on, anything else off.
    {"noise-remove", nullptr, 0, {kRegVividOnOff}, [](const unsigned* r) { return (r[0] & 3) == 2 ? 1u : 0u; }},
    {"noise-remove.sensitivity",
     [](unsigned v) { return StrFormat(u"Setting Noise Remove Sensitivity to %d...", static_cast<int>(v)); },
     WM_NOISE_REMOVE_SENSITIVITY,
     {kRegNoiseRemoveSensitivity},
     [](const unsigned* r) { return r[0] & 0xFF; }},
    // The radios log nothing of their own before the area registers.
    {"area",
     nullptr,
     WM_VIDEO_PROCESS_AREA,
     {kRegAreaHOffset, kRegAreaVOffset, kRegAreaWidth, kRegAreaHeight},
     DecodeArea},
    {"through",
     [](unsigned v) -> std::u16string {
         return v ? u"Handle Navo Through Display ON..." : u"Handle Navo Through Display OFF...";
     },
     0,
     {kRegThroughDisplay},
     [](const unsigned* r) { return (r[0] >> 9) & 1; }},
};

const ControlRoute* RouteOf(const features::Feature& f) {
    for (const ControlRoute& route : kRoutes)
        if (std::string_view(route.name) == f.name) return &route;
    return nullptr;
}

size_t IndexOf(const features::Feature& f) { return static_cast<size_t>(&f - features::Table().data()); }

bool LivesIn(const ControlRoute& route, unsigned int address) {
    for (unsigned int r : route.registers)
        if (r != 0 && r == address) return true;
    return false;
}

// Sets the control that shows `feature` to `value` (GUI thread or worker: the
// notification is posted).
void ShowOnControl(CTunedeskDlg* dlg, const features::Feature& feature, unsigned int value) {
    const ControlRoute* route = RouteOf(feature);
    if (route == nullptr) return;
    if (std::string_view(feature.name) == "through") dlg->m_bThroughDisp = static_cast<int>(value);
    if (route->message != 0) PostMessage(static_cast<QObject*>(dlg), route->message, value, 0);
}

QString Written(const std::vector<std::string>& done) {
    if (done.empty()) return QStringLiteral("nothing was written before");
    std::string text = "written before: ";
    for (size_t i = 0; i < done.size(); ++i) text += (i ? ", " : "") + done[i];
    return QString::fromStdString(text);
}

QString Hex32(unsigned int value) { return QString::asprintf("0x%08X", value); }

// The block's bytes sum to 0 modulo 256 (the last byte is the checksum).
bool EdidChecksumsSound(const QByteArray& edid) {
    for (int block = 0; block < 2; ++block) {
        unsigned int sum = 0;
        for (int i = 0; i < 128; ++i) sum += static_cast<unsigned char>(edid[block * 128 + i]);
        if (sum % 256 != 0) return false;
    }
    return true;
}

// Interface fragment of the installed introspection file (compiled in).
QString InterfaceXml() {
    QFile file(QStringLiteral(":/dbus/io.github.tunedesk.Panel1.xml"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString xml = QString::fromUtf8(file.readAll());
    const qsizetype from = xml.indexOf(QStringLiteral("<interface"));
    const qsizetype to = xml.indexOf(QStringLiteral("</interface>"));
    if (from < 0 || to < 0) return {};
    return xml.mid(from, to + 12 - from) + QLatin1Char('\n');
}

// The whole node as Introspect answers it: the standard interfaces this
// object answers, then ours.
QString IntrospectionXml() {
    return QStringLiteral(
               "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
               "<node>\n"
               "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
               "    <method name=\"Introspect\"><arg name=\"xml_data\" type=\"s\" direction=\"out\"/></method>\n"
               "  </interface>\n"
               "  <interface name=\"org.freedesktop.DBus.Peer\">\n"
               "    <method name=\"Ping\"/>\n"
               "  </interface>\n"
               "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
               "    <method name=\"Get\"><arg name=\"interface_name\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"property_name\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"value\" type=\"v\" direction=\"out\"/></method>\n"
               "    <method name=\"GetAll\"><arg name=\"interface_name\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"props\" type=\"a{sv}\" direction=\"out\"/></method>\n"
               "    <method name=\"Set\"><arg name=\"interface_name\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"property_name\" type=\"s\" direction=\"in\"/>"
               "<arg name=\"value\" type=\"v\" direction=\"in\"/></method>\n"
               "    <signal name=\"PropertiesChanged\"><arg name=\"interface_name\" type=\"s\"/>"
               "<arg name=\"changed_properties\" type=\"a{sv}\"/>"
               "<arg name=\"invalidated_properties\" type=\"as\"/></signal>\n"
               "  </interface>\n  ") +
           InterfaceXml() + QStringLiteral("</node>\n");
}

// Register values reach the panel from any thread; the relay outlives the
// panel's bus object so a transaction that is telling it just then never
// reaches a destroyed object.
struct Relay {
    std::mutex lock;
    PanelBus* target = nullptr;
};

}  // namespace

// ============================================================================

namespace {
std::shared_ptr<Relay>& TheRelay() {
    static auto relay = std::make_shared<Relay>();
    return relay;
}
}  // namespace

PanelBus::PanelBus(CTunedeskDlg* dlg, QDBusConnection connection) : dlg_(dlg), connection_(std::move(connection)) {
    RegisterPanelBusTypes();
    bridgeWatch_.setInterval(200);
    connect(&bridgeWatch_, &QTimer::timeout, this, [this] { CheckBridgeChanged(); });
}

PanelBus::~PanelBus() {
    // No new call reaches the object from Qt's bus thread from here on.
    if (serving_) {
        connection_.unregisterObject(QString::fromLatin1(panelbus::kPath));
        connection_.unregisterService(QString::fromLatin1(panelbus::kService));
    }
    {
        std::lock_guard<std::mutex> lock(TheRelay()->lock);
        if (TheRelay()->target == this) {
            TheRelay()->target = nullptr;
            SetRegisterObserver(nullptr);
        }
    }
    JoinWorker();
    if (serving_) dlg_->m_finishBusCall = nullptr;
    // Callers still waiting hear that the panel went away.
    for (auto& [message, waited] : queue_)
        connection_.send(message.createErrorReply(QString::fromLatin1(panelbus::kErrorBusy),
                                                  QStringLiteral("the panel is closing")));
}

bool PanelBus::Start() {
    if (!connection_.isConnected()) {
        TD_TRACE("No session bus: the panel does not serve scripts.");
        return false;
    }
    if (!connection_.registerService(QString::fromLatin1(panelbus::kService))) {
        CTunedeskDlg::AddLog(
            u"Another panel already serves io.github.tunedesk.Tunedesk on the session bus; "
            u"this one does not serve scripts.");
        return false;
    }
    if (!connection_.registerVirtualObject(QString::fromLatin1(panelbus::kPath), this)) {
        connection_.unregisterService(QString::fromLatin1(panelbus::kService));
        CTunedeskDlg::AddLog(u"The panel could not serve scripts on the session bus.");
        return false;
    }
    serving_ = true;
    dlg_->m_finishBusCall = [this] { JoinWorker(); };
    {
        auto relay = TheRelay();
        std::lock_guard<std::mutex> lock(relay->lock);
        relay->target = this;
        SetRegisterObserver([relay](unsigned long device, unsigned int address, unsigned int value) {
            std::lock_guard<std::mutex> held(relay->lock);
            PanelBus* bus = relay->target;
            if (bus == nullptr) return;
            // By name: the values travel inside Qt's event. A functor built here
            // and run on the GUI thread is handed over by locks inside Qt that
            // the sanitizer cannot see.
            QMetaObject::invokeMethod(bus, "OnRegisterSeen", Qt::QueuedConnection, Q_ARG(qulonglong, device),
                                      Q_ARG(uint, address), Q_ARG(uint, value));
        });
    }
    lastBridge_ = OpenBridge();
    lastDescription_ = BridgeDescription();
    bridgeWatch_.start();
    return true;
}

QString PanelBus::introspect(const QString&) const { return InterfaceXml(); }

bool PanelBus::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    // Qt may call this on its bus thread: everything else happens on the GUI thread.
    QMetaObject::invokeMethod(
        this, [this, message] { Enqueue(message); }, Qt::QueuedConnection);
    return true;
}

void PanelBus::Send(const QDBusMessage& message) { connection_.send(message); }

namespace {
struct Member {
    const char* name;
    const char* signature;
};
constexpr Member kMembers[] = {
    {"ListBridges", ""},         {"OpenBridge", "i"},      {"CloseBridge", ""},
    {"GetFeatures", "as"},       {"SetFeatures", "a(ss)"}, {"ReadRegisters", "au"},
    {"WriteRegisters", "a(uu)"}, {"ReadEdid", "s"},        {"WriteEdid", "ay"},
};
}  // namespace

void PanelBus::Enqueue(const QDBusMessage& message) {
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Introspectable") &&
        message.member() == QLatin1String("Introspect")) {
        Send(message.createReply(IntrospectionXml()));
        return;
    }
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Peer") &&
        message.member() == QLatin1String("Ping")) {
        Send(message.createReply());
        return;
    }
    if (message.interface() == QLatin1String(kPropertiesInterface)) {
        AnswerProperties(message);
        return;
    }
    if (!message.interface().isEmpty() && message.interface() != QLatin1String(panelbus::kInterface)) {
        Send(message.createErrorReply(QDBusError::UnknownInterface,
                                      QStringLiteral("no interface %1 here").arg(message.interface())));
        return;
    }
    const Member* member = nullptr;
    for (const Member& m : kMembers)
        if (message.member() == QLatin1String(m.name)) member = &m;
    if (member == nullptr) {
        Send(
            message.createErrorReply(QDBusError::UnknownMethod,
                                     QStringLiteral("no method %1 in %2").arg(message.member(), panelbus::kInterface)));
        return;
    }
    if (message.signature() != QLatin1String(member->signature)) {
        Send(message.createErrorReply(QDBusError::InvalidArgs,
                                      QStringLiteral("%1 takes \"%2\", not \"%3\"")
                                          .arg(message.member(), member->signature, message.signature())));
        return;
    }
    QElapsedTimer waited;
    waited.start();
    queue_.emplace_back(message, waited);
    ServeNext();
}

bool PanelBus::PanelBusy() const {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal != dlg_;
}

void PanelBus::ServeNext() {
    while (!busyWithCall_ && !queue_.empty()) {
        auto& [message, waited] = queue_.front();
        if (PanelBusy()) {
            if (waited.elapsed() < busyTimeout_.count()) {
                if (!serveScheduled_) {
                    serveScheduled_ = true;
                    QTimer::singleShot(50, this, [this] {
                        serveScheduled_ = false;
                        ServeNext();
                    });
                }
                return;
            }
            Send(message.createErrorReply(QString::fromLatin1(panelbus::kErrorBusy),
                                          QStringLiteral("the panel is busy in a dialog of its own")));
            queue_.pop_front();
            continue;
        }
        const QDBusMessage next = message;
        queue_.pop_front();
        busyWithCall_ = true;
        Serve(next);
    }
}

bool PanelBus::DeviceOpen() const { return libComm_GetDeviceOpenState() != 0 && dlg_->m_nDevIndex >= 0; }

int PanelBus::OpenBridge() const { return DeviceOpen() ? dlg_->m_nDevIndex.load() : -1; }

QString PanelBus::BridgeDescription() const {
    const int bridge = OpenBridge();
    if (bridge < 0) return {};
    const auto* list = dlg_->Item<QComboBox>(IDC_CMB_DEVICE_LIST);
    const int index = list->findData(bridge);
    return index >= 0 ? list->itemText(index) : QString();
}

void PanelBus::CheckBridgeChanged() {
    const int bridge = OpenBridge();
    const QString description = BridgeDescription();
    if (bridge == lastBridge_ && description == lastDescription_) return;
    QVariantMap changed;
    if (bridge != lastBridge_) {
        changed.insert(QStringLiteral("Bridge"), bridge);
        // Another chip: every feature is news again.
        registers_.clear();
        announced_.clear();
    }
    if (description != lastDescription_) changed.insert(QStringLiteral("BridgeDescription"), description);
    lastBridge_ = bridge;
    lastDescription_ = description;
    QDBusMessage signal =
        QDBusMessage::createSignal(QString::fromLatin1(panelbus::kPath), QString::fromLatin1(kPropertiesInterface),
                                   QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(panelbus::kInterface) << changed << QStringList();
    Send(signal);
}

void PanelBus::AnswerProperties(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    auto value = [this](const QString& name) -> QVariant {
        if (name == QLatin1String("Bridge")) return OpenBridge();
        if (name == QLatin1String("BridgeDescription")) return BridgeDescription();
        return {};
    };
    auto wrongInterface = [&](const QString& iface) {
        if (iface.isEmpty() || iface == QLatin1String(panelbus::kInterface)) return false;
        Send(message.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("no interface %1 here").arg(iface)));
        return true;
    };
    if (message.member() == QLatin1String("Get") && message.signature() == QLatin1String("ss")) {
        if (wrongInterface(args[0].toString())) return;
        const QVariant v = value(args[1].toString());
        if (!v.isValid()) {
            Send(message.createErrorReply(QDBusError::UnknownProperty,
                                          QStringLiteral("no property %1").arg(args[1].toString())));
            return;
        }
        Send(message.createReply(QVariant::fromValue(QDBusVariant(v))));
        return;
    }
    if (message.member() == QLatin1String("GetAll") && message.signature() == QLatin1String("s")) {
        if (wrongInterface(args[0].toString())) return;
        QVariantMap all;
        all.insert(QStringLiteral("Bridge"), value(QStringLiteral("Bridge")));
        all.insert(QStringLiteral("BridgeDescription"), value(QStringLiteral("BridgeDescription")));
        Send(message.createReply(all));
        return;
    }
    if (message.member() == QLatin1String("Set") && message.signature() == QLatin1String("ssv")) {
        Send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                                      QStringLiteral("%1 is read-only").arg(args[1].toString())));
        return;
    }
    Send(message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("not a property call of this object")));
}

// ---- The calls ---------------------------------------------------------------

namespace {

QDBusMessage Error(const QDBusMessage& call, const char* name, const QString& text) {
    return call.createErrorReply(QString::fromLatin1(name), text);
}

template <class T>
QList<T> Demarshal(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) return qdbus_cast<QList<T>>(v.value<QDBusArgument>());
    return v.value<QList<T>>();
}

}  // namespace

void PanelBus::Serve(const QDBusMessage& call) {
    const QString member = call.member();
    const QVariantList args = call.arguments();
    auto reply = [&](const QDBusMessage& answer) {
        Send(answer);
        CheckBridgeChanged();
        busyWithCall_ = false;
        QMetaObject::invokeMethod(
            this, [this] { ServeNext(); }, Qt::QueuedConnection);
    };

    // ---- Bridge calls: the panel's own buttons, on the GUI thread ----
    if (member == QLatin1String("ListBridges")) {
        dlg_->RefreshDeviceList(true);
        const auto* list = dlg_->Item<QComboBox>(IDC_CMB_DEVICE_LIST);
        QList<BusBridge> bridges;
        for (int i = 0; i < list->count(); ++i) bridges.append({list->itemData(i).toInt(), list->itemText(i)});
        reply(call.createReply(QVariant::fromValue(bridges)));
        return;
    }
    if (member == QLatin1String("OpenBridge")) {
        const int bridge = args[0].toInt();
        auto* list = dlg_->Item<QComboBox>(IDC_CMB_DEVICE_LIST);
        const int index = list->findData(bridge);
        if (index < 0) {
            reply(Error(call, panelbus::kErrorInvalidArgument, QStringLiteral("bridge %1 is not listed").arg(bridge)));
            return;
        }
        if (OpenBridge() == bridge) {
            reply(call.createReply());
            return;
        }
        if (DeviceOpen()) {
            // The close button closes the entry chosen in the list: choose the open one.
            list->setCurrentIndex(list->findData(dlg_->m_nDevIndex.load()));
            dlg_->CloseSelectedDevice();
        }
        list->setCurrentIndex(index);
        dlg_->OpenSelectedDevice();
        if (!DeviceOpen()) {
            reply(Error(call, panelbus::kErrorTransactionFailed,
                        QStringLiteral("bridge %1 could not be opened").arg(bridge)));
            return;
        }
        // The reply waits for the read-back, so the caller finds the controls filled.
        auto waitReadBack = std::make_shared<std::function<void()>>();
        *waitReadBack = [this, call, reply, waitReadBack] {
            if (dlg_->m_bReadBackRunning) {
                QTimer::singleShot(5, this, *waitReadBack);
                return;
            }
            dlg_->FinishReadDeviceParamsThread();
            Send(call.createReply());
            CheckBridgeChanged();
            busyWithCall_ = false;
            QMetaObject::invokeMethod(
                this, [this] { ServeNext(); }, Qt::QueuedConnection);
            *waitReadBack = nullptr;  // breaks the cycle
        };
        (*waitReadBack)();
        return;
    }
    if (!DeviceOpen()) {
        reply(Error(call, panelbus::kErrorNotOpen, QStringLiteral("no bridge is open")));
        return;
    }
    if (member == QLatin1String("CloseBridge")) {
        auto* list = dlg_->Item<QComboBox>(IDC_CMB_DEVICE_LIST);
        const int index = list->findData(dlg_->m_nDevIndex.load());
        if (index >= 0) list->setCurrentIndex(index);
        dlg_->CloseSelectedDevice();
        reply(call.createReply());
        return;
    }

    // ---- Chip calls: checked here, run on the worker ----
    if (member == QLatin1String("GetFeatures")) {
        const QStringList names = args[0].toStringList();
        if (names.size() > panelbus::kMaxEntries) {
            reply(Error(call, panelbus::kErrorInvalidArgument,
                        QStringLiteral("more than %1 names").arg(panelbus::kMaxEntries)));
            return;
        }
        std::vector<const features::Feature*> wanted;
        for (const QString& name : names) {
            const features::Feature* f = features::Find(name.toStdString());
            if (f == nullptr) {
                reply(Error(call, panelbus::kErrorInvalidArgument, QStringLiteral("unknown feature \"%1\"").arg(name)));
                return;
            }
            if (!f->readable) {
                reply(Error(call, panelbus::kErrorInvalidArgument, QStringLiteral("%1 cannot be read").arg(name)));
                return;
            }
            wanted.push_back(f);
        }
        if (wanted.empty())
            for (const features::Feature& f : features::Table())
                if (f.readable) wanted.push_back(&f);
        RunOnWorker(call, [call, wanted](unsigned long device) {
            QList<BusFeature> values;
            bool first = true;
            for (const features::Feature* f : wanted) {
                if (!first) WexSleep(1);
                first = false;
                unsigned int v = 0;
                if (!features::Read(device, *f, v))
                    return Outcome{Error(call, panelbus::kErrorTransactionFailed,
                                         QStringLiteral("reading %1 failed").arg(f->name))};
                values.append({QString::fromLatin1(f->name), QString::fromStdString(features::FormatValue(*f, v))});
            }
            return Outcome{call.createReply(QVariant::fromValue(values))};
        });
        return;
    }
    if (member == QLatin1String("SetFeatures")) {
        const QList<BusFeature> pairs = Demarshal<BusFeature>(args[0]);
        if (pairs.size() > panelbus::kMaxEntries) {
            reply(Error(call, panelbus::kErrorInvalidArgument,
                        QStringLiteral("more than %1 values").arg(panelbus::kMaxEntries)));
            return;
        }
        std::vector<features::Assignment> assignments;
        for (const BusFeature& pair : pairs) {
            features::Assignment a;
            std::string error;
            if (!features::CheckAssignment(pair.name.toStdString(), pair.value.toStdString(), a, error)) {
                reply(Error(call, panelbus::kErrorInvalidArgument, QString::fromStdString(error)));
                return;
            }
            assignments.push_back(a);
        }
        CTunedeskDlg* dlg = dlg_;
        RunOnWorker(call, [call, assignments, dlg](unsigned long device) {
            std::vector<std::string> done;
            for (size_t i = 0; i < assignments.size(); ++i) {
                const features::Assignment& a = assignments[i];
                if (i > 0) WexSleep(1);
                const ControlRoute* route = RouteOf(*a.feature);
                const bool header = route != nullptr && route->header != nullptr;
                if (header) CTunedeskDlg::AddLog(route->header(a.value));
                const bool ok =
                    features::Write(device, a, {.logCurrent = route == nullptr || route->logCurrent, .traceRaw = true});
                if (header) CTunedeskDlg::AddLog(u"");
                if (!ok)
                    return Outcome{Error(call, panelbus::kErrorTransactionFailed,
                                         QStringLiteral("writing %1 failed; %2").arg(a.feature->name, Written(done)))};
                ShowOnControl(dlg, *a.feature, a.value);
                done.push_back(std::string(a.feature->name) + "=" + features::FormatValue(*a.feature, a.value));
            }
            return Outcome{call.createReply()};
        });
        return;
    }
    if (member == QLatin1String("ReadRegisters")) {
        const QList<uint> addresses = Demarshal<uint>(args[0]);
        if (addresses.size() > panelbus::kMaxEntries) {
            reply(Error(call, panelbus::kErrorInvalidArgument,
                        QStringLiteral("more than %1 addresses").arg(panelbus::kMaxEntries)));
            return;
        }
        RunOnWorker(call, [call, addresses](unsigned long device) {
            QList<BusRegister> values;
            for (uint address : addresses) {
                unsigned int v = 0;
                if (!ReadRegister(device, address, v, kReadCommand))
                    return Outcome{Error(call, panelbus::kErrorTransactionFailed,
                                         QStringLiteral("reading register %1 failed").arg(Hex32(address)))};
                values.append({address, v});
            }
            return Outcome{call.createReply(QVariant::fromValue(values))};
        });
        return;
    }
    if (member == QLatin1String("WriteRegisters")) {
        const QList<BusRegister> writes = Demarshal<BusRegister>(args[0]);
        if (writes.size() > panelbus::kMaxEntries) {
            reply(Error(call, panelbus::kErrorInvalidArgument,
                        QStringLiteral("more than %1 values").arg(panelbus::kMaxEntries)));
            return;
        }
        CTunedeskDlg* dlg = dlg_;
        RunOnWorker(call, [call, writes, dlg](unsigned long device) {
            std::vector<std::string> done;
            for (const BusRegister& w : writes) {
                // As the register console writes: the default command pair, a blank
                // line and a 1 ms pause after each register.
                if (!WriteRegister(device, w.address, w.value, spirw::kCmdPairs[0].write))
                    return Outcome{
                        Error(call, panelbus::kErrorTransactionFailed,
                              QStringLiteral("writing register %1 failed; %2").arg(Hex32(w.address), Written(done)))};
                CTunedeskDlg::AddLog(u"");
                WexSleep(1);
                done.push_back(Hex32(w.address).toStdString() + "=" + Hex32(w.value).toStdString());
            }
            // The controls of the features in those registers show what the chip took.
            for (const features::Feature& f : features::Table()) {
                const ControlRoute* route = RouteOf(f);
                if (route == nullptr || !f.readable) continue;
                bool touched = false;
                for (const BusRegister& w : writes) touched = touched || LivesIn(*route, w.address);
                if (!touched) continue;
                unsigned int v = 0;
                if (!features::Read(device, f, v))
                    return Outcome{Error(call, panelbus::kErrorTransactionFailed,
                                         QStringLiteral("reading %1 back failed; %2").arg(f.name, Written(done)))};
                ShowOnControl(dlg, f, v);
                WexSleep(1);
            }
            return Outcome{call.createReply()};
        });
        return;
    }
    if (member == QLatin1String("ReadEdid")) {
        const QString sequence = args[0].toString();
        if (sequence != QLatin1String("a") && sequence != QLatin1String("b")) {
            reply(Error(call, panelbus::kErrorInvalidArgument,
                        QStringLiteral("sequence \"%1\" is neither \"a\" nor \"b\"").arg(sequence.left(32))));
            return;
        }
        const bool b = sequence == QLatin1String("b");
        RunOnWorker(call, [call, b](unsigned long device) {
            unsigned int values[spirw::kEdidSize] = {};
            // Sequence A writes with 0x6000 and reads with 0x0600, B with 0x7000 / 0x0700.
            const bool ok = b ? spirw::RunSequenceBRead(device, 0x7000, 0x0700, values)
                              : spirw::RunSequenceARead(device, 0x6000, 0x0600, values);
            if (!ok)
                return Outcome{
                    Error(call, panelbus::kErrorTransactionFailed, QStringLiteral("the EDID read sequence failed"))};
            QByteArray edid;
            for (unsigned int v : values) edid.append(static_cast<char>(v & 0xFF));
            return Outcome{call.createReply(edid)};
        });
        return;
    }
    if (member == QLatin1String("WriteEdid")) {
        const QByteArray edid = args[0].toByteArray();
        if (edid.size() != static_cast<qsizetype>(spirw::kEdidSize)) {
            reply(Error(call, panelbus::kErrorInvalidArgument,
                        QStringLiteral("an EDID is 256 bytes, not %1").arg(edid.size())));
            return;
        }
        if (!EdidChecksumsSound(edid)) {
            reply(Error(call, panelbus::kErrorInvalidArgument, QStringLiteral("the EDID's checksums are wrong")));
            return;
        }
        RunOnWorker(call, [call, edid](unsigned long device) {
            if (!spirw::RunSequenceAWrite(device, 0x6000, reinterpret_cast<const unsigned char*>(edid.constData())))
                return Outcome{
                    Error(call, panelbus::kErrorTransactionFailed, QStringLiteral("the EDID write sequence failed"))};
            return Outcome{call.createReply()};
        });
        return;
    }
    reply(call.createErrorReply(QDBusError::UnknownMethod, member));
}

void PanelBus::RunOnWorker(const QDBusMessage& call, std::function<Outcome(unsigned long device)> job) {
    JoinWorker();
    const unsigned long device = static_cast<unsigned long>(dlg_->m_nDevIndex.load());
    auto body = [this, job = std::move(job), device] {
        Outcome outcome = job(device);
        // Through the panel's own hand-off, not a queued invokeMethod: the
        // sanitizer sees that one's ordering, not the one inside Qt's queue.
        RunOnGuiThread(
            this, [this, outcome = std::move(outcome)]() mutable { Finish(std::move(outcome)); }, false);
    };
    if (!StartWorkerThread(worker_, body, "bus call")) {
        Finish(Outcome{Error(call, panelbus::kErrorTransactionFailed, QStringLiteral("no thread to run the call"))});
    }
}

void PanelBus::Finish(Outcome outcome) {
    JoinWorker();
    // The through-display menu follows the state a call may have written.
    dlg_->UpdateThroughDispMenu();
    Send(outcome.reply);
    busyWithCall_ = false;
    ServeNext();
}

void PanelBus::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

// ---- FeaturesChanged -----------------------------------------------------------

void PanelBus::OnRegisterSeen(qulonglong device, uint address, uint value) {
    if (static_cast<long>(device) == OpenBridge()) NoteRegister(address, value);
}

void PanelBus::NoteRegister(unsigned int address, unsigned int value) {
    registers_[address] = value;
    if (changesPending_) return;
    changesPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { EmitFeatureChanges(); }, Qt::QueuedConnection);
}

void PanelBus::EmitFeatureChanges() {
    changesPending_ = false;
    QList<BusFeature> changed;
    for (const features::Feature& f : features::Table()) {
        const ControlRoute* route = RouteOf(f);
        if (route == nullptr || route->decode == nullptr) continue;
        unsigned int regs[4] = {};
        bool known = true;
        for (size_t i = 0; i < route->registers.size() && route->registers[i] != 0; ++i) {
            auto it = registers_.find(route->registers[i]);
            if (it == registers_.end()) {
                known = false;
                break;
            }
            regs[i] = it->second;
        }
        if (!known) continue;
        const unsigned int value = route->decode(regs);
        auto [it, fresh] = announced_.try_emplace(IndexOf(f), value);
        if (!fresh && it->second == value) continue;
        it->second = value;
        changed.append({QString::fromLatin1(f.name), QString::fromStdString(features::FormatValue(f, value))});
    }
    if (changed.isEmpty() || !serving_) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QString::fromLatin1(panelbus::kPath), QString::fromLatin1(panelbus::kInterface),
                                   QStringLiteral("FeaturesChanged"));
    signal << QVariant::fromValue(changed);
    Send(signal);
}
