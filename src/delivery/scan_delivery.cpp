#include "delivery/scan_delivery.h"

#include "delivery/transport.h"
#include "platform/notifier.h"
#include "shell/settings.h"

#include <QJsonObject>

ScanDelivery::ScanDelivery(Settings& settings, Transport& transport, Notifier& notifier,
                           SoundPlayer& sounds)
    : settings_(settings), transport_(transport), notifier_(notifier), sounds_(sounds) {}

bool ScanDelivery::isSessionCommand(const QString& value) {
    return value.startsWith(QLatin1String("KV:START:")) || value == QLatin1String("KV:END");
}

void ScanDelivery::send(const QueuedScan& scan, ScanQueue::Completion done) {
    const QJsonObject body{{QStringLiteral("device_id"), settings_.deviceId()},
                           {QStringLiteral("value"), scan.value},
                           {QStringLiteral("ts"), scan.ts}};
    transport_.post(QStringLiteral("/api/scan"), body,
                    [this, done = std::move(done)](qint64 status, const QJsonObject& answer) {
                        const SendOutcome outcome = sendOutcomeFromStatus(status);
                        if (outcome == SendOutcome::retry) {
                            lastResult_ = status == 0 ? QStringLiteral("Server unreachable")
                                                      : QStringLiteral("Server error ") +
                                                            QString::number(status);
                        }
                        const QJsonValue member =
                            answer.value(outcome == SendOutcome::ok ? QLatin1String("message")
                                                                    : QLatin1String("error"));
                        done(outcome, member.isString() ? member.toString() : QString());
                    });
}

void ScanDelivery::onDone(const QueuedScan& scan, SendOutcome outcome, const QString& message) {
    if (outcome == SendOutcome::ok) {
        lastResult_ = message;
    } else {
        lastResult_ =
            QStringLiteral("Refused: ") + scan.value + QStringLiteral(" \u2013 ") + message;
    }
    if (outcome == SendOutcome::rejected) {
        sounds_.play(QStringLiteral("Basso"));
        notifier_.notify(QStringLiteral("Korvel: scan refused"),
                         scan.value + QLatin1Char('\n') + message);
        return;
    }
    if (isSessionCommand(scan.value)) {
        sounds_.play(QStringLiteral("Glass"));
        notifier_.notify(QStringLiteral("Korvel"), message);
    }
}

void ScanDelivery::registerDevice() {
    transport_.post(QStringLiteral("/api/devices/") + settings_.deviceId(),
                    QJsonObject{{QStringLiteral("name"), settings_.deviceName()}},
                    [](qint64, const QJsonObject&) {});
}

void ScanDelivery::checkIdleClose(std::function<void()> answered) {
    transport_.get(QStringLiteral("/api/devices/") + settings_.deviceId() +
                       QStringLiteral("/state"),
                   [this, answered = std::move(answered)](qint64, const QJsonObject& answer) {
                       // The status does not matter: only the member does.
                       const auto it = answer.find(QLatin1String("idle_closed_session"));
                       if (it != answer.end()) {
                           if (const auto session = jsonInteger(*it))
                               announceIdleClose(*session);
                       }
                       if (answered)
                           answered();
                   });
}

void ScanDelivery::announceIdleClose(qint64 session) {
    if (session == settings_.alertedSession())
        return;
    settings_.setAlertedSession(session);
    sounds_.play(QStringLiteral("Basso"));
    notifier_.notify(QStringLiteral("Korvel recording stopped"),
                     QStringLiteral("No scans for a while. Scan the station QR to start again."));
}
