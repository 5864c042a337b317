#include "platform/linux/dbus_presence.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kName = QStringLiteral("com.korvel.Agent");
const QString kPath = QStringLiteral("/com/korvel/Agent");
constexpr int kActivateTimeoutMs = 5000;

} // namespace

SniTrayHost::SniTrayHost(QDBusConnection bus)
    : watcher_(kWatcher, bus,
               QDBusServiceWatcher::WatchForRegistration |
                   QDBusServiceWatcher::WatchForUnregistration) {
    if (bus.isConnected() && bus.interface())
        present_ = bus.interface()->isServiceRegistered(kWatcher).value();
    const auto follow = [this](bool now) {
        if (now == present_)
            return;
        present_ = now;
        onChanged();
    };
    QObject::connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, &watcher_,
                     [follow] { follow(true); });
    QObject::connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, &watcher_,
                     [follow] { follow(false); });
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
