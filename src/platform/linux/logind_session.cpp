#include "platform/linux/logind_session.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcSession, "korvel.input", QtInfoMsg)

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kActive = QStringLiteral("Active");

bool noService(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

void unknown(const QString& why) {
    qCWarning(lcSession).noquote()
        << QStringLiteral("cannot tell whether this session is in front (%1): reading the "
                          "keyboards")
               .arg(why);
}

bool noAnswer(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
}

} // namespace

LogindSession::LogindSession(QDBusConnection bus, const QString& sessionId, int timeoutMs)
    : bus_(std::move(bus)), timeoutMs_(timeoutMs) {
    if (!bus_.isConnected()) {
        reason_ = QStringLiteral("no system bus");
        return;
    }
    const QString manager = QStringLiteral("/org/freedesktop/login1");
    const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
    QDBusMessage reply;
    if (!sessionId.isEmpty())
        reply = call(manager, managerInterface, QStringLiteral("GetSession"), {sessionId});
    // An id inherited from elsewhere may name no session; the process's own counts.
    if (sessionId.isEmpty() ||
        (reply.type() != QDBusMessage::ReplyMessage && !noService(reply) && !noAnswer(reply))) {
        reply = call(manager, managerInterface, QStringLiteral("GetSessionByPID"),
                     {QVariant::fromValue(static_cast<uint>(::getpid()))});
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (noService(reply))
            reason_ = QStringLiteral("no logind on the system bus");
        else if (noAnswer(reply))
            reason_ = QStringLiteral("logind did not answer");
        else
            reason_ = QStringLiteral("no login session for this process: ") + reply.errorMessage();
        return;
    }
    path_ = reply.arguments().value(0).value<QDBusObjectPath>().path();
    // Listening first: a change between the question and the answer is not missed.
    bus_.connect(kService, path_, kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    watcher_.setConnection(bus_);
    watcher_.addWatchedService(kService);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        qCWarning(lcSession) << "logind left the system bus: the keyboards are read as if "
                                "this session were in front until it is back";
        ++reads_;
        setActive(true);
    });
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        qCInfo(lcSession) << "logind is back on the system bus";
        readActive();
    });
    reply = call(path_, kProperties, QStringLiteral("Get"), {kSessionInterface, kActive});
    if (reply.type() == QDBusMessage::ReplyMessage)
        active_ = reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    else
        unknown(reply.errorMessage());
}

QDBusMessage LogindSession::call(const QString& path, const QString& interface,
                                 const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    message.setAutoStartService(false); // a missing logind is not started by asking it
    return bus_.call(message, QDBus::Block, timeoutMs_);
}

void LogindSession::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                      const QStringList& invalidated) {
    if (interface != kSessionInterface)
        return;
    if (const auto it = changed.find(kActive); it != changed.end()) {
        ++reads_; // an answer still on its way is older than this
        setActive(it->toBool());
    } else if (invalidated.contains(kActive)) {
        readActive();
    }
}

void LogindSession::readActive() {
    const quint64 read = ++reads_;
    QDBusMessage get =
        QDBusMessage::createMethodCall(kService, path_, kProperties, QStringLiteral("Get"));
    get.setArguments({kSessionInterface, kActive});
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get, timeoutMs_), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, read, pending] {
        pending->deleteLater();
        if (read != reads_)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *pending;
        if (reply.isError()) {
            unknown(reply.error().message());
            setActive(true);
            return;
        }
        setActive(reply.value().variant().toBool());
    });
}

void LogindSession::setActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    onChanged();
}
