#pragma once

#include "core/delivery/scan_queue.h"
#include "core/delivery/transport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

class Notifier;
class Settings;
class SoundPlayer;

// Delivers queued scans to "/api/scan", reports decided scans to the operator,
// registers the workstation and watches for sessions the server closed.
class ScanDelivery {
    Q_DECLARE_TR_FUNCTIONS(ScanDelivery)

  public:
    ScanDelivery(Settings& settings, Transport& transport, Notifier& notifier, SoundPlayer& sounds);

    void send(const QueuedScan& scan, ScanQueue::Completion done);
    // The compact JSON body of one scan: "device_id", "ts", "value"; with `details`,
    // what the scan says about itself too: "symbology", and "gs1" or "gs1Error".
    static QByteArray scanBody(const QString& deviceId, const QueuedScan& scan,
                               bool details = true);
    void onDone(const QueuedScan& scan, SendOutcome outcome, const QString& message);
    // Announces the device; until the server has answered it with a 2xx,
    // registerIfNeeded() (the retry timer) sends it again.
    void registerDevice();
    void registerIfNeeded();
    // Whether the server has answered the last registration with a 2xx.
    bool registered() const { return registered_; }
    // The registration request alone, to any server: the settings dialog tries a
    // server with it before it is saved.
    static void sendRegistration(Transport& transport, const QString& deviceId,
                                 const QString& deviceName, Transport::Done done);
    // `answered` runs once the server's answer has been dealt with.
    void checkIdleClose(std::function<void()> answered = {});
    // Announces a session the server closed for idleness, once per session number.
    void announceIdleClose(qint64 session);

    const QString& lastResult() const { return lastResult_; }
    // False while the server's last answer, or the lack of one, keeps scans waiting
    // (unreachable, a server error, an untrusted certificate).
    bool answering() const {
        return reachability_.isEmpty() || reachability_ == QLatin1String("reachable");
    }
    // The status of the server's last answer (0: none came), null before the first.
    std::optional<qint64> lastStatus() const { return lastStatus_; }
    // Seconds since that answer, or since the request that got none.
    std::optional<qint64> secondsSinceAnswer() const;
    // Called once each time a registration is answered with a 2xx.
    std::function<void()> onRegistered = [] {};
    // Called whenever lastResult changes or a registration is answered.
    std::function<void()> onChanged = [] {};

    // The words for an answer that keeps scans waiting, the same wherever it is shown:
    // none for a 2xx.
    static QString answerText(qint64 status, const Transport::Failure& failure);

    static bool isSessionCommand(const QString& value);

  private:
    void setLastResult(const QString& text);
    // Tells standard error when the server's reachability changes, once per change.
    void noteAnswer(qint64 status, const Transport::Failure& failure);

    Settings& settings_;
    Transport& transport_;
    Notifier& notifier_;
    SoundPlayer& sounds_;
    QString lastResult_;
    QString reachability_; // the last state told
    std::optional<qint64> lastStatus_;
    QElapsedTimer lastAnswer_;
    bool registered_ = false;
    bool registering_ = false;
    quint64 registration_ = 0; // answers of superseded registrations do not count
};
