#include "core/delivery/scan_delivery.h"

#include "core/delivery/scan_text.h"

#include "core/logging.h"
#include "core/scan_meaning/scan_meaning.h"
#include "core/settings.h"
#include "platform/notifier.h"

#include <QJsonObject>

ScanDelivery::ScanDelivery(Settings& settings, Transport& transport, Notifier& notifier,
                           SoundPlayer& sounds)
    : settings_(settings), transport_(transport), notifier_(notifier), sounds_(sounds) {}

bool ScanDelivery::isSessionCommand(const QString& value) {
    return value.startsWith(QLatin1String("KV:START:")) || value == QLatin1String("KV:END");
}

namespace {

// Appends `text` as a JSON string.
void appendJsonString(QByteArray& out, const QString& text) {
    static constexpr char hex[] = "0123456789abcdef";
    const QByteArray utf8 = scanTextBytes(text); // a lone surrogate kept, as its escape
    out.append('"');
    const char* plain = utf8.constData(); // start of the bytes taken as they are
    const char* end = utf8.constData() + utf8.size();
    for (const char* ch = plain; ch < end; ++ch) {
        const auto c = static_cast<unsigned char>(*ch);
        const char16_t lone = c == 0xED ? loneSurrogateAt(ch, end) : 0;
        if (c != '"' && c != '\\' && c >= 0x20 && !lone)
            continue;
        out.append(plain, ch - plain);
        plain = ch + 1;
        if (lone) {
            out.append("\\u").append(QByteArray::number(lone, 16));
            ch += 2;
            plain = ch + 1;
        } else if (c < 0x20) {
            out.append("\\u00").append(hex[c >> 4]).append(hex[c & 15]);
        } else {
            out.append('\\').append(*ch);
        }
    }
    out.append(plain, end - plain);
    out.append('"');
}

// ,"symbology":"]d2","gs1":[{"ai":"01","value":"…"},…] or ,"gs1Error":"(01): …"
void appendScanDetails(QByteArray& out, const scan_meaning::Meaning& meaning) {
    if (meaning.symbology.isEmpty())
        return;
    out.append(",\"symbology\":");
    appendJsonString(out, meaning.symbology);
    if (!meaning.gs1)
        return;
    if (meaning.fault) {
        out.append(",\"gs1Error\":");
        appendJsonString(out, meaning.fault.text());
        return;
    }
    out.append(",\"gs1\":[");
    for (qsizetype i = 0; i < meaning.fields.size(); ++i) {
        out.append(i > 0 ? ",{\"ai\":" : "{\"ai\":");
        appendJsonString(out, meaning.fields[i].ai);
        out.append(",\"value\":");
        appendJsonString(out, meaning.fields[i].value);
        out.append('}');
    }
    out.append(']');
}

} // namespace

QByteArray ScanDelivery::scanBody(const QString& deviceId, const QueuedScan& scan, bool details) {
    // Written directly: a document built and serialised for every scan costs more than
    // the rest of the request when a backlog is drained.
    QByteArray body;
    body.reserve(48 + deviceId.size() + 2 * scan.value.size());
    body.append("{\"device_id\":");
    appendJsonString(body, deviceId);
    body.append(",\"ts\":").append(QByteArray::number(scan.ts)).append(",\"value\":");
    appendJsonString(body, scan.value);
    if (details)
        appendScanDetails(body, scan_meaning::read(scan.value, scan.symbology));
    body.append('}');
    return body;
}

void ScanDelivery::send(const QueuedScan& scan, ScanQueue::Completion done) {
    transport_.post(QStringLiteral("/api/scan"),
                    scanBody(settings_.deviceId(), scan, settings_.sendScanDetails()),
                    [this, done = std::move(done)](qint64 status, const QJsonObject& answer,
                                                   const Transport::Failure& failure) {
                        noteAnswer(status, failure);
                        const SendOutcome outcome = sendOutcomeFromStatus(status);
                        if (outcome == SendOutcome::retry)
                            setLastResult(answerText(status, failure));
                        const QJsonValue member =
                            answer.value(outcome == SendOutcome::ok ? QLatin1String("message")
                                                                    : QLatin1String("error"));
                        done(outcome, member.isString() ? member.toString() : QString());
                    });
}

QString ScanDelivery::answerText(qint64 status, const Transport::Failure& failure) {
    if (failure.kind == Transport::Failure::certificate)
        return tr("Server certificate not trusted");
    if (status == 0)
        return tr("Server unreachable");
    if (status >= 200 && status < 300)
        return {};
    return tr("Server error %1").arg(status);
}

void ScanDelivery::onDone(const QueuedScan& scan, SendOutcome outcome, const QString& message) {
    if (outcome == SendOutcome::ok)
        setLastResult(message);
    else
        setLastResult(tr("Refused: %1 \u2013 %2").arg(scan.value, message));
    if (outcome == SendOutcome::rejected) {
        sounds_.play(Sound::basso);
        notifier_.notify(tr("Korvel: scan refused"), scan.value + QLatin1Char('\n') + message);
        return;
    }
    if (isSessionCommand(scan.value)) {
        sounds_.play(Sound::glass);
        notifier_.notify(QStringLiteral("Korvel"), message);
    }
}

void ScanDelivery::setLastResult(const QString& text) {
    const bool changed = text != lastResult_;
    lastResult_ = text;
    if (changed)
        onChanged();
}

std::optional<qint64> ScanDelivery::secondsSinceAnswer() const {
    if (!lastAnswer_.isValid())
        return std::nullopt;
    return lastAnswer_.elapsed() / 1000;
}

void ScanDelivery::noteAnswer(qint64 status, const Transport::Failure& failure) {
    lastStatus_ = status;
    lastAnswer_.start();
    QString state;
    if (failure.kind == Transport::Failure::certificate)
        state = QStringLiteral("certificate not trusted: ") + failure.detail;
    else if (status == 0)
        state = QStringLiteral("unreachable: ") + failure.detail;
    else if (sendOutcomeFromStatus(status) == SendOutcome::retry)
        state = QStringLiteral("answers with HTTP status ") + QString::number(status);
    else
        state = QStringLiteral("reachable");
    if (state == reachability_)
        return;
    reachability_ = state;
    if (state == QLatin1String("reachable"))
        qCInfo(lcServer).noquote() << "server" << transport_.displayBase() << state;
    else
        qCWarning(lcServer).noquote() << "server" << transport_.displayBase() << state;
}

void ScanDelivery::registerDevice() {
    const quint64 attempt = ++registration_;
    registered_ = false;
    registering_ = true;
    sendRegistration(
        transport_, settings_.deviceId(), settings_.deviceName(),
        [this, attempt](qint64 status, const QJsonObject&, const Transport::Failure& failure) {
            if (attempt != registration_)
                return; // a newer name or server was registered since
            registering_ = false;
            noteAnswer(status, failure);
            registered_ = sendOutcomeFromStatus(status) == SendOutcome::ok;
            if (registered_)
                qCInfo(lcServer) << "device registered";
            onChanged();
            if (registered_)
                onRegistered();
        });
}

void ScanDelivery::sendRegistration(Transport& transport, const QString& deviceId,
                                    const QString& deviceName, Transport::Done done) {
    transport.post(QStringLiteral("/api/devices/") + deviceId,
                   QJsonObject{{QStringLiteral("name"), deviceName}}, std::move(done));
}

void ScanDelivery::registerIfNeeded() {
    if (!registered_ && !registering_)
        registerDevice();
}

void ScanDelivery::checkIdleClose(std::function<void()> answered) {
    transport_.get(QStringLiteral("/api/devices/") + settings_.deviceId() +
                       QStringLiteral("/state"),
                   [this, answered = std::move(answered)](qint64, const QJsonObject& answer,
                                                          const Transport::Failure&) {
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
    sounds_.play(Sound::basso);
    notifier_.notify(tr("Korvel recording stopped"),
                     tr("No scans for a while. Scan the station QR to start again."));
}
