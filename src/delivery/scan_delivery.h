#pragma once

#include "delivery/scan_queue.h"

#include <QString>

#include <functional>

class Notifier;
class Settings;
class SoundPlayer;
class Transport;

// Delivers queued scans to "/api/scan", reports decided scans to the operator,
// registers the workstation and watches for sessions the server closed.
class ScanDelivery {
  public:
    ScanDelivery(Settings& settings, Transport& transport, Notifier& notifier, SoundPlayer& sounds);

    void send(const QueuedScan& scan, ScanQueue::Completion done);
    void onDone(const QueuedScan& scan, SendOutcome outcome, const QString& message);
    void registerDevice();
    // `answered` runs once the server's answer has been dealt with.
    void checkIdleClose(std::function<void()> answered = {});
    // Announces a session the server closed for idleness, once per session number.
    void announceIdleClose(qint64 session);

    const QString& lastResult() const { return lastResult_; }

    static bool isSessionCommand(const QString& value);

  private:
    Settings& settings_;
    Transport& transport_;
    Notifier& notifier_;
    SoundPlayer& sounds_;
    QString lastResult_;
};
