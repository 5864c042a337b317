// The real korvel-agent as a desktop runs it: a private session bus, an Xvfb
// display, a panel hosting its tray item and driving the menu over DBusMenu (one
// that never sends AboutToShow: every text must already be current), a
// notification server, the reference scan server and a fake device tree.
#include "shell/settings.h"
#include "support/child_process.h"
#include "support/desktop_session.h"
#include "support/fake_input.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QRegularExpression>

using namespace korvel::test;

class TestDesktopEndToEnd : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<DesktopSession> desktop;
    FakeInputTree tree;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<ChildProcess> server;
    quint16 port = 0;
    QString item;
    QTemporaryDir systemConfig; // stands in for /etc/xdg

    void startServer(quint16 onPort) {
        server = std::make_unique<ChildProcess>(
            QStringLiteral(KORVEL_SERVER_BIN),
            QStringList{QStringLiteral("--port"), QString::number(onPort)}, env);
        QTRY_VERIFY(server->out.contains(QLatin1String("listening on")));
        port = static_cast<quint16>(QRegularExpression(QStringLiteral(":(\\d+)\\n"))
                                        .match(server->out)
                                        .captured(1)
                                        .toUInt());
    }
    QStringList scansAtServer(const QString& id) const {
        QStringList values;
        for (const QString& l : server->lines(QStringLiteral("scan ") + id + QLatin1Char(' ')))
            values << l.section(QLatin1Char(' '), 1);
        return values;
    }
    QStringList labels() {
        QStringList l;
        for (const MenuEntry& e : desktop->openMenu(item)) {
            if (e.visible())
                l << (e.separator() ? QStringLiteral("---") : e.label());
        }
        return l;
    }
    MenuEntry entry(const QString& label) {
        for (const MenuEntry& e : desktop->openMenu(item)) {
            if (e.label() == label)
                return e;
        }
        return {};
    }
    void scan(const QString& text) {
        tree.send(2, FakeInputTree::typed(text, FakeInputTree::nowMs(), 2, true));
    }

  private Q_SLOTS:
    void initTestCase() {
        desktop = std::make_unique<DesktopSession>();
        QVERIFY2(desktop->ready(), "dbus-daemon and Xvfb are needed");
        env.insert(QStringLiteral("KORVEL_INPUT_ROOT"), tree.root());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), desktop->busAddress);
        env.insert(QStringLiteral("DISPLAY"), desktop->display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), systemConfig.path());
        tree.add(1, {0x046D, 0xC31C, QStringLiteral("USB Keyboard"), true, true});
        tree.add(2, {});
    }
    void cleanupTestCase() { desktop.reset(); }

    void anOperatorsDayThroughTheTrayMenu() {
        startServer(0);
        Settings settings;
        settings.setServerURL(QStringLiteral("http://127.0.0.1:%1").arg(port));
        settings.setDeviceName(QStringLiteral("Packing 1"));
        const QString id = settings.deviceId();
        ChildProcess agent(QStringLiteral(KORVEL_AGENT_BIN), {}, env);
        QTRY_COMPARE_WITH_TIMEOUT(desktop->watcher.items().size(), 1, 15000);
        item = desktop->watcher.items().first();

        // First run: the hint, and a menu that says no scanner is chosen.
        QTRY_COMPARE(desktop->notifications.titles(), QStringList{QStringLiteral("Korvel Agent")});
        const auto& hint = desktop->notifications.shown.first();
        QCOMPARE(
            hint.body,
            QStringLiteral("Click the barcode icon in the menu bar and choose Detect scanner."));
        QCOMPARE(hint.app, QStringLiteral("Korvel Agent"));
        QCOMPARE(hint.replaces, 0u);
        QCOMPARE(labels(),
                 (QStringList{QStringLiteral("No scanner chosen: use Detect scanner"),
                              QStringLiteral("Waiting to send: 0"), QStringLiteral("---"),
                              QStringLiteral("Detect scanner (scan now)"),
                              QStringLiteral("Settings\u2026"), QStringLiteral("Start at login"),
                              QStringLiteral("---"), QStringLiteral("Quit Korvel Agent")}));
        QVERIFY(!entry(QStringLiteral("Waiting to send: 0")).enabled());
        QVERIFY(entry(QStringLiteral("Allow Input Monitoring\u2026")).id != 0);
        QVERIFY(!entry(QStringLiteral("Allow Input Monitoring\u2026")).visible());

        // Detection by scanning.
        QVERIFY(desktop->click(item, entry(QStringLiteral("Detect scanner (scan now)")).id));
        QTRY_COMPARE(labels().value(0),
                     QStringLiteral("Scan any barcode with the scanner now\u2026"));
        QVERIFY(labels().contains(QStringLiteral("Cancel detection")));
        scan(QStringLiteral("4006"));
        QTRY_COMPARE(desktop->notifications.titles().last(), QStringLiteral("Scanner selected"));
        QCOMPARE(desktop->notifications.shown.last().body,
                 QStringLiteral("Test Scanner (05E0:1200)"));
        QCOMPARE(labels().value(0),
                 QStringLiteral("Scanner: Test Scanner (05E0:1200) \u00B7 Packing 1"));
        QVERIFY(scansAtServer(id).isEmpty()); // the choosing scan is not delivered

        // A scan is delivered with its body; the menu shows the server's message.
        tree.send(1, FakeInputTree::typed(QStringLiteral("typing"), FakeInputTree::nowMs(), 2));
        scan(QStringLiteral("4006381333931"));
        QTRY_COMPARE(scansAtServer(id), QStringList{QStringLiteral("4006381333931")});
        QTRY_COMPARE(labels().value(1),
                     QStringLiteral("Waiting to send: 0 \u00B7 Recorded 4006381333931"));
        const QString ts = server->lines(QStringLiteral("scan ") + id + QLatin1Char(' '))
                               .first()
                               .section(QLatin1Char(' '), 0, 0);
        QVERIFY(qAbs(ts.toLongLong() - QDateTime::currentMSecsSinceEpoch()) < 60000);

        // The server goes away and comes back: nothing lost, order kept.
        const quint16 samePort = port;
        server.reset();
        scan(QStringLiteral("111"));
        scan(QStringLiteral("222"));
        QTRY_COMPARE(labels().value(1),
                     QStringLiteral("Waiting to send: 2 \u00B7 Server unreachable"));
        QTRY_COMPARE(desktop->toolTip(item),
                     QStringLiteral("Korvel \u00B7 Waiting to send: 2 \u00B7 Server unreachable"));
        startServer(samePort);
        scan(QStringLiteral("333"));
        QTRY_COMPARE(scansAtServer(id), (QStringList{QStringLiteral("111"), QStringLiteral("222"),
                                                     QStringLiteral("333")}));
        QTRY_COMPARE(labels().value(1), QStringLiteral("Waiting to send: 0 \u00B7 Recorded 333"));

        // A refused scan: its own notification.
        scan(QStringLiteral("KV:END"));
        QTRY_COMPARE(desktop->notifications.titles().last(),
                     QStringLiteral("Korvel: scan refused"));
        QCOMPARE(desktop->notifications.shown.last().body,
                 QStringLiteral("KV:END\nNo recording session is open"));
        QCOMPARE(
            labels().value(1),
            QStringLiteral(
                "Waiting to send: 0 \u00B7 Refused: KV:END \u2013 No recording session is open"));

        // Start at login, on and off again.
        const QString autostart = QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) +
                                  QStringLiteral("/autostart/korvel-agent.desktop");
        QCOMPARE(entry(QStringLiteral("Start at login")).toggleState(), 0);
        QVERIFY(desktop->click(item, entry(QStringLiteral("Start at login")).id));
        QTRY_VERIFY(QFile::exists(autostart));
        QFile file(autostart);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(
            file.readAll().contains("Exec=" + QFile::encodeName(QStringLiteral(KORVEL_AGENT_BIN))));
        file.close();
        QCOMPARE(entry(QStringLiteral("Start at login")).toggleState(), 1);
        QVERIFY(desktop->click(item, entry(QStringLiteral("Start at login")).id));
        QTRY_VERIFY(!QFile::exists(autostart));
        QCOMPARE(entry(QStringLiteral("Start at login")).toggleState(), 0);
        // An administrator starts it for everyone; this user switches it off.
        QVERIFY(QDir().mkpath(systemConfig.filePath(QStringLiteral("autostart"))));
        QFile system(systemConfig.filePath(QStringLiteral("autostart/korvel-agent.desktop")));
        QVERIFY(system.open(QIODevice::WriteOnly));
        system.write("[Desktop Entry]\nType=Application\nExec=korvel-agent\n");
        system.close();
        // Nothing in the agent changed: a panel that asks before showing sees it.
        desktop->asksBeforeShowing = true;
        QCOMPARE(entry(QStringLiteral("Start at login")).toggleState(), 1);
        QVERIFY(desktop->click(item, entry(QStringLiteral("Start at login")).id));
        QTRY_COMPARE(entry(QStringLiteral("Start at login")).toggleState(), 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\nHidden=true\n"));
        file.close();

        // Quit ends the process normally.
        desktop->click(item, entry(QStringLiteral("Quit Korvel Agent")).id);
        QVERIFY(agent.process.waitForFinished(10000));
        QCOMPARE(agent.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.process.exitCode(), 0);
        QVERIFY2(!agent.err.contains(QLatin1String("ALSA")), qPrintable(agent.err));
    }
};

KORVEL_TEST_MAIN(TestDesktopEndToEnd)
#include "tst_desktop_e2e.moc"
