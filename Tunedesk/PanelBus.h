// The running panel as a service on the session bus: name
// io.github.tunedesk.Tunedesk, object /io/github/tunedesk/Tunedesk, interface
// io.github.tunedesk.Panel1 (dist/dbus/io.github.tunedesk.Panel1.xml).
//
// Calls are served one at a time, in the order they arrive. Their arguments
// are checked on the GUI thread before anything is written; the transactions
// of a call run on a worker thread, so the window keeps painting and its own
// controls keep working while a script sweeps a value or writes an EDID. The
// reply goes out when the call's last transaction has ended. While a modal
// dialog of the panel is open, a call waits; after 5 s it is refused as busy.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTimer>

class CTunedeskDlg;

namespace panelbus {
inline constexpr char kService[] = "io.github.tunedesk.Tunedesk";
inline constexpr char kPath[] = "/io/github/tunedesk/Tunedesk";
inline constexpr char kInterface[] = "io.github.tunedesk.Panel1";
inline constexpr char kErrorNotOpen[] = "io.github.tunedesk.Panel1.Error.NotOpen";
inline constexpr char kErrorInvalidArgument[] = "io.github.tunedesk.Panel1.Error.InvalidArgument";
inline constexpr char kErrorTransactionFailed[] = "io.github.tunedesk.Panel1.Error.TransactionFailed";
inline constexpr char kErrorBusy[] = "io.github.tunedesk.Panel1.Error.Busy";
// More entries than this in one call are refused.
inline constexpr int kMaxEntries = 4096;
}  // namespace panelbus

class PanelBus : public QDBusVirtualObject {
    Q_OBJECT

public:
    explicit PanelBus(CTunedeskDlg* dlg, QDBusConnection connection = QDBusConnection::sessionBus());
    ~PanelBus() override;
    PanelBus(const PanelBus&) = delete;
    PanelBus& operator=(const PanelBus&) = delete;

    // Takes the bus name and serves the object. False when there is no session
    // bus or another panel holds the name; the panel then runs without serving
    // and says so once in its log.
    bool Start();
    bool Serving() const { return serving_; }

    // How long a call waits for a modal dialog to close before it is refused.
    void SetBusyTimeout(std::chrono::milliseconds timeout) { busyTimeout_ = timeout; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

    // One finished call, handed from the worker back to the GUI thread.
    struct Outcome {
        QDBusMessage reply;
    };

private:
    void Enqueue(const QDBusMessage& message);
    void ServeNext();
    void Serve(const QDBusMessage& message);
    void RunOnWorker(const QDBusMessage& message, std::function<Outcome(unsigned long device)> job);
    void Finish(Outcome outcome);
    void JoinWorker();
    bool PanelBusy() const;
    bool DeviceOpen() const;
    int OpenBridge() const;
    QString BridgeDescription() const;
    void CheckBridgeChanged();
    void AnswerProperties(const QDBusMessage& message);
    void Send(const QDBusMessage& message);

    // FeaturesChanged from register values the chip gave or took. The
    // register observer queues OnRegisterSeen from the thread of the transaction.
    Q_INVOKABLE void OnRegisterSeen(qulonglong device, uint address, uint value);
    void NoteRegister(unsigned int address, unsigned int value);
    void EmitFeatureChanges();

    CTunedeskDlg* dlg_;
    QDBusConnection connection_;
    bool serving_ = false;
    std::deque<std::pair<QDBusMessage, QElapsedTimer>> queue_;
    bool busyWithCall_ = false;
    bool serveScheduled_ = false;
    std::chrono::milliseconds busyTimeout_{5000};
    std::thread worker_;
    QTimer bridgeWatch_;
    int lastBridge_ = -1;
    QString lastDescription_;
    // Last known register values and the feature values last announced.
    std::map<unsigned int, unsigned int> registers_;
    std::map<size_t, unsigned int> announced_;
    bool changesPending_ = false;
};
