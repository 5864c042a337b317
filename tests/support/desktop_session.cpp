#include "support/desktop_session.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDateTime>

namespace korvel::test {

uint FakeNotifications::Notify(const QString& app, uint replaces, const QString&,
                               const QString& title, const QString& body, const QStringList&,
                               const QVariantMap&, int) {
    shown.append({app, replaces, title, body});
    return static_cast<uint>(shown.size());
}

QString FakeNotifications::GetServerInformation(QString& vendor, QString& version,
                                                QString& specVersion) {
    vendor = QStringLiteral("korvel-test");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("fake");
}

namespace {

QString firstLine(QProcess& p) {
    QByteArray out;
    while (!out.contains('\n')) {
        if (!p.waitForReadyRead(10000))
            return {};
        out += p.readAllStandardOutput();
    }
    return QString::fromUtf8(out.left(out.indexOf('\n'))).trimmed();
}

MenuEntry readEntry(const QDBusArgument& arg) {
    MenuEntry e;
    arg.beginStructure();
    arg >> e.id >> e.props;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        e.children.append(readEntry(child.variant().value<QDBusArgument>()));
    }
    arg.endArray();
    arg.endStructure();
    return e;
}

} // namespace

DesktopSession::DesktopSession() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    busAddress = firstLine(daemon_);
    xvfb_.start(QStringLiteral("Xvfb"),
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                 QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                 QStringLiteral("1024x768x24")});
    const QString n = firstLine(xvfb_);
    if (!n.isEmpty())
        display = QLatin1Char(':') + n;
    if (busAddress.isEmpty())
        return;
    bus = QDBusConnection::connectToBus(busAddress, QStringLiteral("korvel-desktop"));
    bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                           QDBusConnection::ExportAllProperties);
    bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                       QDBusConnection::ExportAllSlots);
    bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

DesktopSession::~DesktopSession() {
    QDBusConnection::disconnectFromBus(QStringLiteral("korvel-desktop"));
    for (QProcess* p : {&daemon_, &xvfb_}) {
        p->kill();
        p->waitForFinished(5000);
    }
}

QString DesktopSession::menuPath(const QString& itemService) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        itemService, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments()
        .value(0)
        .value<QDBusVariant>()
        .variant()
        .value<QDBusObjectPath>()
        .path();
}

QList<MenuEntry> DesktopSession::openMenu(const QString& itemService) {
    const QString path = menuPath(itemService);
    const QString iface = QStringLiteral("com.canonical.dbusmenu");
    if (asksBeforeShowing) {
        QDBusMessage about =
            QDBusMessage::createMethodCall(itemService, path, iface, QStringLiteral("AboutToShow"));
        about << 0;
        bus.call(about, QDBus::Block, 10000);
    }
    QDBusMessage layout =
        QDBusMessage::createMethodCall(itemService, path, iface, QStringLiteral("GetLayout"));
    layout << 0 << -1 << QStringList();
    const QDBusMessage reply = bus.call(layout, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return {};
    return readEntry(reply.arguments().at(1).value<QDBusArgument>()).children;
}

QString DesktopSession::toolTip(const QString& itemService) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        itemService, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("ToolTip");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    // (icon name, pixmaps a(iiay), title, description)
    const QDBusArgument arg =
        reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    QString icon, title, description;
    arg.beginStructure();
    arg >> icon;
    arg.beginArray();
    while (!arg.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        arg.beginStructure();
        arg >> width >> height >> pixels;
        arg.endStructure();
    }
    arg.endArray();
    arg >> title >> description;
    arg.endStructure();
    return title;
}

bool DesktopSession::click(const QString& itemService, int id) {
    QDBusMessage event = QDBusMessage::createMethodCall(itemService, menuPath(itemService),
                                                        QStringLiteral("com.canonical.dbusmenu"),
                                                        QStringLiteral("Event"));
    event << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
          << static_cast<uint>(QDateTime::currentSecsSinceEpoch());
    return bus.call(event, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

} // namespace korvel::test
