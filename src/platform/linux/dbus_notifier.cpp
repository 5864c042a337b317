#include "platform/linux/dbus_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

DbusNotifier::DbusNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

void DbusNotifier::notify(const QString& title, const QString& body) {
    if (!bus_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Korvel Agent") << quint32(0) << QStringLiteral("korvel-agent") << title
         << body << QStringList() << QVariantMap() << qint32(-1);
    // Fire and forget: the answer (or its absence) changes nothing.
    call.setAutoStartService(true);
    bus_.asyncCall(call);
}
