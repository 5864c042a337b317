#pragma once

// A private desktop for end-to-end tests: its own D-Bus session bus, an Xvfb
// display, a panel that hosts StatusNotifierItems and a notification server that
// records every Notify.

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace korvel::test {

class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
  public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }
  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items_.append(service); }
    void RegisterStatusNotifierHost(const QString&) {}
  Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

  private:
    QStringList items_;
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Shown {
        QString app;
        uint replaces = 0;
        QString title;
        QString body;
    };
    QList<Shown> shown;
    QStringList titles() const {
        QStringList t;
        for (const auto& s : shown)
            t << s.title;
        return t;
    }
  public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& title,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout);
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);
};

// One entry of a com.canonical.dbusmenu layout.
struct MenuEntry {
    int id = 0;
    QVariantMap props;
    QList<MenuEntry> children;
    QString label() const { return props.value(QStringLiteral("label")).toString(); }
    bool enabled() const { return props.value(QStringLiteral("enabled"), true).toBool(); }
    bool visible() const { return props.value(QStringLiteral("visible"), true).toBool(); }
    bool separator() const {
        return props.value(QStringLiteral("type")).toString() == QLatin1String("separator");
    }
    int toggleState() const { return props.value(QStringLiteral("toggle-state"), -1).toInt(); }
};

class DesktopSession {
  public:
    DesktopSession();
    ~DesktopSession();
    bool ready() const { return bus.isConnected() && !display.isEmpty(); }

    QString busAddress;
    QString display; // ":N"
    QDBusConnection bus{QStringLiteral("none")};
    FakeWatcher watcher;
    FakeNotifications notifications;

    // The tray item's menu, as a panel reads it: GetLayout, after AboutToShow only
    // when the panel is one that asks first (many draw the last layout at once).
    QList<MenuEntry> openMenu(const QString& itemService);
    bool asksBeforeShowing = false;
    // The tray item's tooltip title.
    QString toolTip(const QString& itemService);
    bool click(const QString& itemService, int id);
    QString menuPath(const QString& itemService);

  private:
    QProcess daemon_;
    QProcess xvfb_;
};

} // namespace korvel::test
