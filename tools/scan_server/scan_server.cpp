#include "scan_server.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <optional>

namespace {

using Status = QHttpServerResponder::StatusCode;

QHttpServerResponse answer(Status status, const char* member, const QString& text) {
    return QHttpServerResponse(QJsonObject{{QLatin1String(member), text}}, status);
}

QHttpServerResponse refuse(const QString& error) {
    return answer(Status::BadRequest, "error", error);
}

std::optional<QJsonObject> jsonBody(const QHttpServerRequest& request) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

bool validDeviceId(const QString& id) {
    if (id.isEmpty() || id.size() > 128)
        return false;
    for (const QChar c : id) {
        if (!(c.isLetterOrNumber() || c == u'-' || c == u'_'))
            return false;
    }
    return true;
}

// Control characters (a GS1 group separator, a line feed) as JSON writes them: one
// scan stays one line, and a terminal shows them rather than obeying them.
QString printable(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            out += QString::asprintf("\\u%04x", c.unicode());
        else
            out += c;
    }
    return out;
}

// What the station read from the scan, "" when it sent nothing of it:
// " symbology ]d2 gs1 (01)09506000134352(10)ABC" or " symbology ]d2 gs1Error (01): …".
// nullopt when a member is there with the wrong shape.
std::optional<QString> scanDetails(const QJsonObject& body) {
    QString out;
    const QJsonValue symbology = body.value(QLatin1String("symbology"));
    const QJsonValue gs1 = body.value(QLatin1String("gs1"));
    const QJsonValue error = body.value(QLatin1String("gs1Error"));
    if (!symbology.isUndefined()) {
        if (!symbology.isString())
            return std::nullopt;
        out += QStringLiteral(" symbology ") + printable(symbology.toString());
    }
    if (!gs1.isUndefined()) {
        if (!gs1.isArray())
            return std::nullopt;
        out += QStringLiteral(" gs1 ");
        for (const QJsonValue field : gs1.toArray()) {
            const QJsonValue ai = field.toObject().value(QLatin1String("ai"));
            const QJsonValue value = field.toObject().value(QLatin1String("value"));
            if (!ai.isString() || !value.isString())
                return std::nullopt;
            out += QLatin1Char('(') + printable(ai.toString()) + QLatin1Char(')') +
                   printable(value.toString());
        }
    }
    if (!error.isUndefined()) {
        if (!error.isString())
            return std::nullopt;
        out += QStringLiteral(" gs1Error ") + printable(error.toString());
    }
    return out;
}

} // namespace

ScanServer::ScanServer(Options options) : options_(std::move(options)) {
    using Method = QHttpServerRequest::Method;
    http_.route(QStringLiteral("/api/scan"), Method::Post,
                [this](const QHttpServerRequest& request) { return scan(request); });
    http_.route(QStringLiteral("/api/devices/<arg>"), Method::Post,
                [this](const QString& id, const QHttpServerRequest& request) {
                    return registerDevice(id, request);
                });
    http_.route(QStringLiteral("/api/devices/<arg>/status"), Method::Post,
                [this](const QString& id, const QHttpServerRequest& request) {
                    return recordStatus(id, request);
                });
    http_.route(QStringLiteral("/api/devices/<arg>/state"), Method::Get,
                [this](const QString& id) { return state(id); });
    connect(&idleTimer_, &QTimer::timeout, this, &ScanServer::closeIdleSessions);
    setIdleClose(options_.idleClose);
}

void ScanServer::setIdleClose(std::chrono::milliseconds limit) {
    options_.idleClose = limit;
    // Checked often enough that a session closes within a quarter of its limit.
    idleTimer_.start(std::clamp<std::chrono::milliseconds>(limit / 4, std::chrono::milliseconds(1),
                                                           std::chrono::seconds(5)));
}

quint16 ScanServer::listen(const QHostAddress& address, quint16 port) {
    return http_.listen(address, port);
}

qint64 ScanServer::openSession(const QString& deviceId) const {
    const auto it = sessions_.find(deviceId);
    return it == sessions_.end() ? 0 : it->number;
}

QHttpServerResponse ScanServer::scan(const QHttpServerRequest& request) {
    const auto body = jsonBody(request);
    if (!body)
        return refuse(QStringLiteral("body is not a JSON object"));
    const QJsonValue id = body->value(QLatin1String("device_id"));
    const QJsonValue value = body->value(QLatin1String("value"));
    const QJsonValue ts = body->value(QLatin1String("ts"));
    if (!id.isString() || !validDeviceId(id.toString()))
        return refuse(QStringLiteral("device_id must be a device identifier"));
    if (!value.isString() || value.toString().isEmpty())
        return refuse(QStringLiteral("value must be a non-empty string"));
    const QVariant tsVar = ts.toVariant();
    if (!ts.isDouble() || tsVar.typeId() != QMetaType::LongLong)
        return refuse(QStringLiteral("ts must be an integer (milliseconds since 1970)"));

    const std::optional<QString> details = scanDetails(*body);
    if (!details)
        return refuse(QStringLiteral("symbology and gs1Error must be strings, gs1 a list of "
                                     "{\"ai\", \"value\"} strings"));

    const QString device = id.toString();
    const QString text = value.toString();
    const qint64 time = tsVar.toLongLong();
    options_.log(
        QStringLiteral("scan %1 %2 %3").arg(device, QString::number(time), printable(text)) +
        *details);

    // The agent repeats a scan whose answer it lost: record it once.
    const QString key =
        device + QLatin1Char('\n') + QString::number(time) + QLatin1Char('\n') + text;
    if (seen_.contains(key))
        return answer(Status::Ok, "message", QStringLiteral("Already recorded: ") + text);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (text.startsWith(QLatin1String("KV:START:"))) {
        const QString station = text.mid(9).trimmed();
        if (station.isEmpty())
            return refuse(QStringLiteral("KV:START: needs a station name"));
        seen_.insert(key);
        Session session{++lastSession_, station, 0, now};
        sessions_.insert(device, session);
        return answer(Status::Ok, "message",
                      QStringLiteral("Recording started at %1 (session %2)")
                          .arg(station, QString::number(session.number)));
    }
    if (text == QLatin1String("KV:END")) {
        const auto it = sessions_.find(device);
        if (it == sessions_.end())
            return refuse(QStringLiteral("No recording session is open"));
        seen_.insert(key);
        const QString message =
            QStringLiteral("Recording stopped at %1 (session %2, %3 scans)")
                .arg(it->station, QString::number(it->number), QString::number(it->scans));
        sessions_.erase(it);
        return answer(Status::Ok, "message", message);
    }
    seen_.insert(key);
    qint64 number = 0;
    if (auto it = sessions_.find(device); it != sessions_.end()) {
        number = it->number;
        ++it->scans;
        it->lastActivity = now;
    }
    scans_.append({device, text, time, number});
    return answer(Status::Created, "message", QStringLiteral("Recorded ") + text);
}

QHttpServerResponse ScanServer::registerDevice(const QString& id,
                                               const QHttpServerRequest& request) {
    if (!validDeviceId(id))
        return refuse(QStringLiteral("not a device identifier"));
    const auto body = jsonBody(request);
    if (!body || !body->value(QLatin1String("name")).isString())
        return refuse(QStringLiteral("name must be a string"));
    const QString name = body->value(QLatin1String("name")).toString();
    names_.insert(id, name);
    options_.log(QStringLiteral("device %1 is \"%2\"").arg(id, name));
    return answer(Status::Ok, "message", QStringLiteral("Device registered"));
}

QHttpServerResponse ScanServer::recordStatus(const QString& id, const QHttpServerRequest& request) {
    const auto body = jsonBody(request);
    if (!body)
        return refuse(QStringLiteral("body is not a JSON object"));
    statuses_.insert(id, *body);
    const QJsonArray problems = body->value(QLatin1String("problems")).toArray();
    options_.log(QStringLiteral("status %1 %2")
                     .arg(id, problems.isEmpty() ? QStringLiteral("fine")
                                                 : printable(problems.first().toString())));
    return answer(Status::Ok, "message", QStringLiteral("Status recorded"));
}

QHttpServerResponse ScanServer::state(const QString& id) const {
    QJsonObject state{{QStringLiteral("device_id"), id}};
    state.insert(QStringLiteral("name"),
                 names_.contains(id) ? QJsonValue(names_.value(id)) : QJsonValue());
    const qint64 open = openSession(id);
    state.insert(QStringLiteral("session"), open ? QJsonValue(open) : QJsonValue());
    state.insert(QStringLiteral("idle_closed_session"),
                 idleClosed_.contains(id) ? QJsonValue(idleClosed_.value(id)) : QJsonValue());
    // The station's last status report, as it sent it.
    state.insert(QStringLiteral("status"),
                 statuses_.contains(id) ? QJsonValue(statuses_.value(id)) : QJsonValue());
    return QHttpServerResponse(state);
}

void ScanServer::closeIdleSessions() {
    const QDateTime limit = QDateTime::currentDateTimeUtc().addMSecs(-options_.idleClose.count());
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->lastActivity < limit) {
            options_.log(QStringLiteral("session %1 of %2 closed: no scans for a while")
                             .arg(QString::number(it->number), it.key()));
            idleClosed_.insert(it.key(), it->number);
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
}
