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

void unknown(const QString& why, bool active) {
    qCWarning(lcSession).noquote()
        << QStringLiteral("cannot tell whether this session is in front (%1): the keyboards %2")
               .arg(why, active ? QStringLiteral("are read") : QStringLiteral("stay closed"));
}

bool noAnswer(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
}

} // namespace

LogindSession::LogindSession(QDBusConnection bus, const QString& sessionId, int timeoutMs,
                             int retryMs)
    : bus_(std::move(bus)), sessionId_(sessionId), timeoutMs_(timeoutMs) {
    if (!bus_.isConnected()) {
        reason_ = QStringLiteral("no system bus");
        return;
    }
    // Watching first: logind coming onto the bus during the look-up is not missed.
    watcher_.setConnection(bus_);
    watcher_.addWatchedService(kService);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++reads_; // an answer still on its way is not waited for
        retry_.stop();
        // A restart (a package upgrade) must not hand the keyboards to this user
        // while another one is in front: what logind said last holds.
        qCWarning(lcSession).noquote()
            << QStringLiteral("logind left the system bus: the keyboards %1 until it is back")
                   .arg(active_ ? QStringLiteral("are read as before")
                                : QStringLiteral("stay closed"));
    });
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        qCInfo(lcSession) << "logind is on the system bus";
        find(true);
    });
    retry_.setSingleShot(true);
    retry_.setInterval(retryMs);
    connect(&retry_, &QTimer::timeout, this, [this] { find(true); });
    find(false);
}

void LogindSession::find(bool told) {
    retry_.stop();
    const QString manager = QStringLiteral("/org/freedesktop/login1");
    const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
    QStringList refusals;
    QDBusMessage reply;
    // False when not found; `reply` then says why. Once logind is missing or silent,
    // asking it again is no use.
    const auto ask = [&](const QString& method, const QVariant& arg, const QString& what) {
        if (noService(reply) || noAnswer(reply))
            return false;
        reply = call(manager, managerInterface, method, {arg});
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        refusals << what + QStringLiteral(": ") + reply.errorMessage();
        return false;
    };
    const bool found =
        ask(QStringLiteral("GetSession"), QStringLiteral("auto"), QStringLiteral("auto")) ||
        (!sessionId_.isEmpty() &&
         ask(QStringLiteral("GetSession"), sessionId_, QStringLiteral("session ") + sessionId_)) ||
        ask(QStringLiteral("GetSessionByPID"), QVariant::fromValue(static_cast<uint>(::getpid())),
            QStringLiteral("process %1").arg(::getpid()));
    if (!found) {
        QString reason;
        if (noService(reply)) {
            reason = QStringLiteral("no logind on the system bus"); // followed once it comes
        } else if (noAnswer(reply)) {
            reason = QStringLiteral("logind did not answer");
            retry_.start();
        } else {
            reason = QStringLiteral("no login session for this process or its user (") +
                     refusals.join(QStringLiteral("; ")) + QLatin1Char(')');
        }
        if (told && reason != reason_) {
            qCWarning(lcSession).noquote()
                << QStringLiteral("still not following a login session (%1)").arg(reason);
        }
        reason_ = reason;
        return;
    }
    const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (path != path_) {
        if (!path_.isEmpty()) {
            bus_.disconnect(kService, path_, kProperties, QStringLiteral("PropertiesChanged"), this,
                            SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        }
        path_ = path;
        // Listening first: a change between the question and the answer is not missed.
        bus_.connect(kService, path_, kProperties, QStringLiteral("PropertiesChanged"), this,
                     SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    }
    if (told && !reason_.isEmpty())
        qCInfo(lcSession).noquote() << "following login session" << path_ << "from now on";
    reason_.clear();
    ++reads_;
    reply = call(path_, kProperties, QStringLiteral("Get"), {kSessionInterface, kActive});
    if (reply.type() == QDBusMessage::ReplyMessage)
        setActive(reply.arguments().value(0).value<QDBusVariant>().variant().toBool());
    else
        unknown(reply.errorMessage(), active_);
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
            unknown(reply.error().message(), active_);
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
