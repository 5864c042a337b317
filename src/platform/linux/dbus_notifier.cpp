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

namespace {
constexpr qsizetype kKeptIds = 64; // a server that never tells of closing grows nothing
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

DbusNotifier::DbusNotifier(QDBusConnection bus) : bus_(std::move(bus)) {
    if (!bus_.isConnected())
        return;
    // From the notification server only: the bus tells its owner's signals apart.
    bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
}

void DbusNotifier::setDefaultAction(const QString& label, std::function<void()> open) {
    label_ = label;
    open_ = std::move(open);
}

void DbusNotifier::notify(const QString& title, const QString& body) {
    if (!bus_.isConnected())
        return;
    // Bodies carry scan texts and server messages: a server that reads markup in the
    // body would take "<" and "&" in them for markup, one that does not would show
    // escapes as they are. Asked every time, without waiting: the server may change.
    QDBusMessage ask = notificationCall(QStringLiteral("GetCapabilities"));
    ask.setAutoStartService(true);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
    const QStringList actions =
        open_ ? QStringList{QStringLiteral("default"), label_} : QStringList();
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, title, body, actions](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusPendingReply<QStringList> capabilities = *answered;
                const bool markup = capabilities.isError() ||
                                    capabilities.value().contains(QLatin1String("body-markup"));
                QDBusMessage call = notificationCall(QStringLiteral("Notify"));
                call << QStringLiteral("Korvel Agent") << quint32(0)
                     << QStringLiteral("korvel-agent") << title
                     << (markup ? markupEscaped(body) : body) << actions << QVariantMap()
                     << qint32(-1);
                call.setAutoStartService(true);
                if (actions.isEmpty()) {
                    bus_.asyncCall(call); // nothing to hear back: fire and forget
                    return;
                }
                // The id it is shown under is what a click names.
                auto* shown = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
                connect(shown, &QDBusPendingCallWatcher::finished, this,
                        [this](QDBusPendingCallWatcher* answer) {
                            answer->deleteLater();
                            const QDBusPendingReply<uint> id = *answer;
                            if (id.isError())
                                return;
                            ours_.append(id.value());
                            if (ours_.size() > kKeptIds)
                                ours_.removeFirst();
                        });
            });
}

void DbusNotifier::actionInvoked(uint id, const QString& action) {
    // Other programs' notifications come from the same server.
    if (action == QLatin1String("default") && ours_.contains(id) && open_)
        open_();
}

void DbusNotifier::notificationClosed(uint id, uint) {
    ours_.removeOne(id);
}
