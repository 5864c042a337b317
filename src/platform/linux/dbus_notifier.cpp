#include "platform/linux/dbus_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

QDBusMessage notificationCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                          QStringLiteral("/org/freedesktop/Notifications"),
                                          QStringLiteral("org.freedesktop.Notifications"), method);
}

// Only these three are markup to a notification server.
QString markupEscaped(const QString& text) {
    QString out = text;
    return out.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

} // namespace

DbusNotifier::DbusNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

void DbusNotifier::notify(const QString& title, const QString& body) {
    if (!bus_.isConnected())
        return;
    // Bodies carry scan texts and server messages: a server that reads markup in the
    // body would take "<" and "&" in them for markup, one that does not would show
    // escapes as they are. Asked every time, without waiting: the server may change.
    QDBusMessage ask = notificationCall(QStringLiteral("GetCapabilities"));
    ask.setAutoStartService(true);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [bus = bus_, title, body](QDBusPendingCallWatcher* answered) mutable {
                         answered->deleteLater();
                         const QDBusPendingReply<QStringList> capabilities = *answered;
                         const bool markup =
                             capabilities.isError() ||
                             capabilities.value().contains(QLatin1String("body-markup"));
                         QDBusMessage call = notificationCall(QStringLiteral("Notify"));
                         call << QStringLiteral("Korvel Agent") << quint32(0)
                              << QStringLiteral("korvel-agent") << title
                              << (markup ? markupEscaped(body) : body) << QStringList()
                              << QVariantMap() << qint32(-1);
                         // Fire and forget: the answer (or its absence) changes nothing.
                         call.setAutoStartService(true);
                         bus.asyncCall(call);
                     });
}
