#include "platform/linux/dbus_presence.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QVariantMap>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kName = QStringLiteral("com.korvel.Agent");
const QString kPath = QStringLiteral("/com/korvel/Agent");
constexpr int kActivateTimeoutMs = 5000;
constexpr int kAskTimeoutMs = 2000; // a watcher that does not answer counts as no host

QDBusMessage hostQuestion() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false);
    return get;
}

} // namespace

SniTrayHost::SniTrayHost(QDBusConnection bus)
    : bus_(std::move(bus)), watcher_(kWatcher, bus_,
                                     QDBusServiceWatcher::WatchForRegistration |
                                         QDBusServiceWatcher::WatchForUnregistration) {
    if (!bus_.isConnected() || !bus_.interface())
        return;
    // Listening first: a host that registers while we ask is not missed.
    bus_.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierHostRegistered"),
                 this, SLOT(hostRegistered()));
    bus_.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierHostUnregistered"),
                 this, SLOT(hostUnregistered()));
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        watched_ = true;
        askWatcher();
    });
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        watched_ = false;
        ++news_;
        follow(false);
    });
    // The start decides at once where the agent shows: the first answer is waited for.
    watched_ = bus_.interface()->isServiceRegistered(kWatcher).value();
    if (watched_) {
        const QDBusMessage reply = bus_.call(hostQuestion(), QDBus::Block, kAskTimeoutMs);
        present_ = reply.type() == QDBusMessage::ReplyMessage &&
                   reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    }
}

void SniTrayHost::follow(bool now) {
    if (now == present_)
        return;
    present_ = now;
    onChanged();
}

void SniTrayHost::hostRegistered() {
    ++news_;
    follow(true);
}

void SniTrayHost::hostUnregistered() {
    askWatcher(); // other hosts may still be registered
}

void SniTrayHost::askWatcher() {
    const quint64 asked = ++news_;
    auto* pending =
        new QDBusPendingCallWatcher(bus_.asyncCall(hostQuestion(), kAskTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, asked, pending] {
        pending->deleteLater();
        if (asked != news_)
            return;
        const QDBusMessage reply = pending->reply();
        follow(reply.type() == QDBusMessage::ReplyMessage &&
               reply.arguments().value(0).value<QDBusVariant>().variant().toBool());
    });
}

DbusRunningAgent::DbusRunningAgent(QDBusConnection bus) : bus_(std::move(bus)) {}

DbusRunningAgent::~DbusRunningAgent() {
    if (answering_)
        bus_.unregisterService(kName);
    if (bus_.isConnected())
        bus_.unregisterObject(kPath);
}

bool DbusRunningAgent::answer(std::function<void()> onActivate) {
    if (!bus_.isConnected())
        return false;
    onActivate_ = std::move(onActivate);
    answering_ = bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
    if (!answering_)
        return false;
    // A name left behind by an agent that no longer holds the lock is taken over.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned =
        bus_.interface()->registerService(kName, QDBusConnectionInterface::ReplaceExistingService,
                                          QDBusConnectionInterface::AllowReplacement);
    answering_ = owned.isValid() && owned.value() == QDBusConnectionInterface::ServiceRegistered;
    return answering_;
}

bool DbusRunningAgent::activate() {
    if (!bus_.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kName, kPath, QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
    call << QVariantMap{};
    call.setAutoStartService(false);
    return bus_.call(call, QDBus::Block, kActivateTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

void DbusRunningAgent::Activate(const QVariantMap&) {
    if (onActivate_)
        onActivate_();
}
