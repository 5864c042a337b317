// What the agent keeps per user: the settings store, and start at login by the XDG
// autostart rules (an administrator's entry in a temporary XDG_CONFIG_DIRS).
#include "core/settings.h"
#include "platform/linux/desktop_layout.h"
#include "platform/linux/xdg_autostart.h"
#include "support/test_main.h"

using namespace korvel::test;

namespace {

const QByteArray Plain = "[Desktop Entry]\nType=Application\nExec=korvel-agent\n";
const QByteArray Hidden = Plain + "Hidden=true\n";

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString systemEntry() const {
        return dir.filePath(QStringLiteral("xdg/autostart/korvel-agent.desktop"));
    }

  private Q_SLOTS:
    void init() {
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(dir.filePath("none") + ':' + dir.filePath("xdg")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath(QStringLiteral("share"))));
        writeFile(systemEntry(), {});
        writeFile(XdgAutostart::userEntryPath(), {});
    }

    void absentKeysHaveDefaultsAndTheIdIsMadeOnce() {
        QString id;
        {
            Settings s([] { return QStringLiteral("Packing 1"); });
            s.store().clear();
            QCOMPARE(s.serverURL(), QStringLiteral("http://localhost:3000"));
            QCOMPARE(s.deviceName(), QStringLiteral("Packing 1"));
            QCOMPARE(Settings([] { return QString(); }).deviceName(),
                     QStringLiteral("Linux station"));
            id = s.deviceId();
            QCOMPARE(QUuid(id).version(), QUuid::Random);
            QCOMPARE(id, id.toLower());
            s.setServerURL(QString()); // empty is a value, not the default
            s.setDeviceName(QString());
        }
        Settings restarted([] { return QStringLiteral("host"); });
        QCOMPARE(restarted.deviceId(), id);
        QCOMPARE(restarted.serverURL() + restarted.deviceName(), QString());
        QCOMPARE(modeOf(restarted.store().fileName()), 0600); // whatever the umask
        QCOMPARE(modeOf(QFileInfo(restarted.store().fileName()).absolutePath()), 0700);
    }

    // An administrator's file for every user; another program rewrites one while it runs.
    void theAdministratorsFileFillsInWhatTheUsersLacks_data() {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QString>("changed"); // "user", "system" or none
        QTest::addColumn<QByteArray>("later");
        QTest::addColumn<QString>("seen"); // serverURL|deviceName|scanner|scannerName
        const QByteArray own = "[General]\nserverURL=http://own:1\nscanner=\n";
        QTest::newRow("the user has none")
            << QByteArray() << "" << QByteArray() << "http://central:3000|Counter|05E0:1200|Pre";
        QTest::newRow("the user's own wins, empty too")
            << own << "" << QByteArray() << "http://own:1|Counter||Pre";
        QTest::newRow("the user's file rewritten")
            << own << "user" << QByteArray("[General]\nserverURL=http://own:22\nscannerName=Mine\n")
            << "http://own:22|Counter|05E0:1200|Mine";
        QTest::newRow("the administrator's file rewritten")
            << QByteArray() << "system"
            << QByteArray("[General]\nserverURL=http://central2:3000\nscannerName=Front\n")
            << "http://central2:3000|host||Front";
    }
    void theAdministratorsFileFillsInWhatTheUsersLacks() {
        QFETCH(QByteArray, user);
        QFETCH(QString, changed);
        QFETCH(QByteArray, later);
        QFETCH(QString, seen);
        const QString system = dir.filePath(QStringLiteral("xdg/Korvel/Korvel Agent.conf"));
        writeFile(system, "[General]\nserverURL=http://central:3000\ndeviceName=Counter\nscanner="
                          "05E0:1200\nscannerName=Pre\ndeviceId=shared\nalertedSession=9\n");
        Settings s([] { return QStringLiteral("host"); });
        writeFile(s.store().fileName(), user);
        s.reload();
        s.setServerURL(s.serverURL()); // saved unchanged: what is not the user's stays so
        s.setScanner(s.scanner(), s.scannerName());
        if (!changed.isEmpty()) {
            writeFile(changed == "user" ? s.store().fileName() : system, later);
            QVERIFY(s.reload());
        }
        QVERIFY(!s.reload());
        QCOMPARE(QStringList({s.serverURL(), s.deviceName(), s.scanner(), s.scannerName()})
                     .join(QLatin1Char('|')),
                 seen);
        const QString id = s.deviceId(); // the user's own, made there, never the preset's
        QVERIFY(id != "shared" && s.alertedSession() == 0 &&
                readFile(s.store().fileName()).contains(id.toUtf8()));
    }

    // The desktop's own layout, which calibration prefers among layouts alike.
    void theDesktopsLayoutComesFromItsEnvironmentElseTheSystem_data() {
        QTest::addColumn<QByteArray>("layout"); // XKB_DEFAULT_LAYOUT, XKB_DEFAULT_VARIANT
        QTest::addColumn<QByteArray>("variant");
        QTest::addColumn<QByteArray>("keyboard"); // /etc/default/keyboard
        QTest::addColumn<QString>("seen");
        const QByteArray file = "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"ch,us\"\nXKBVARIANT=\"fr,\"\n";
        const QByteArray none;
        QTest::newRow("the system's first, with its variant") << none << none << file << "ch(fr)";
        QTest::newRow("the environment first")
            << QByteArray("de,us") << QByteArray("nodeadkeys") << file << "de(nodeadkeys)";
        QTest::newRow("unquoted, no variant")
            << none << none << QByteArray("XKBLAYOUT=fr # x\n") << "fr";
        QTest::newRow("neither") << none << none << none << "";
    }
    void theDesktopsLayoutComesFromItsEnvironmentElseTheSystem() {
        QFETCH(QByteArray, layout);
        QFETCH(QByteArray, variant);
        QFETCH(QByteArray, keyboard);
        QFETCH(QString, seen);
        qputenv("XKB_DEFAULT_LAYOUT", layout);
        qputenv("XKB_DEFAULT_VARIANT", variant);
        writeFile(dir.filePath(QStringLiteral("root/etc/default/keyboard")), keyboard);
        QCOMPARE(desktopKeyboardLayout(dir.filePath(QStringLiteral("root"))), seen);
    }

    void startAtLoginFollowsTheAutostartRules_data() {
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("afterToggle"); // the user's entry: none, starts, hidden
        QTest::newRow("none") << QByteArray() << QByteArray() << false << "starts";
        QTest::newRow("user's own") << QByteArray() << Plain << true << "none";
        QTest::newRow("switched off for GNOME")
            << QByteArray() << QByteArray(Plain + "X-GNOME-Autostart-enabled=false\n") << false
            << "starts";
        QTest::newRow("Hidden in another group")
            << QByteArray() << QByteArray(Plain + "[Desktop Action a]\nHidden=true\n") << true
            << "none";
        QTest::newRow("an administrator's") << Plain << QByteArray() << true << "hidden";
        QTest::newRow("hidden by the user") << Plain << Hidden << false << "none";
        QTest::newRow("an administrator's, hidden") << Hidden << QByteArray() << false << "starts";
        QTest::newRow("user's over a hidden one") << Hidden << Plain << true << "none";
    }
    void startAtLoginFollowsTheAutostartRules() {
        QFETCH(QByteArray, system);
        QFETCH(QByteArray, user);
        QFETCH(bool, enabled);
        QFETCH(QString, afterToggle);
        writeFile(systemEntry(), system);
        writeFile(XdgAutostart::userEntryPath(), user);
        XdgAutostart login(QStringLiteral("/opt/Korvel Agent/korvel-agent"));
        QCOMPARE(login.enabled(), enabled);
        QCOMPARE(login.setEnabled(!enabled), std::nullopt);
        QCOMPARE(login.enabled(), !enabled);
        const QByteArray entry = readFile(XdgAutostart::userEntryPath());
        QCOMPARE(entry.isNull()                      ? "none"
                 : entry.contains("\nHidden=true\n") ? "hidden"
                                                     : "starts",
                 afterToggle);
        QCOMPARE(readFile(systemEntry()), system); // an administrator's entry is never touched
    }

    void theEntryIsTheApplicationsOwnForThisProgram() {
        writeFile(dir.filePath(QStringLiteral("share/applications/korvel-agent.desktop")),
                  "[Desktop Entry]\nName=Site build\nExec=korvel-agent\nTryExec=korvel-agent\n");
        XdgAutostart login(QStringLiteral("/opt/Korvel Agent/korvel-agent"));
        QCOMPARE(login.setEnabled(true), std::nullopt);
        const QByteArray entry = readFile(XdgAutostart::userEntryPath());
        QVERIFY(entry.contains("\nName=Site build\n"));
        QVERIFY(entry.contains("\nExec=\"/opt/Korvel Agent/korvel-agent\"\n"));
        QVERIFY(!entry.contains("TryExec"));
        writeFile(dir.filePath(QStringLiteral("share/applications/korvel-agent.desktop")), {});
        QCOMPARE(login.setEnabled(true), std::nullopt); // the copy built in serves then
        QVERIFY(readFile(XdgAutostart::userEntryPath()).contains("\nName=Korvel Agent\n"));
        const QString folder = QFileInfo(XdgAutostart::userEntryPath()).absolutePath();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const auto error = login.setEnabled(true); // a failure is said, never hidden
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QVERIFY(error && error->contains(folder));
    }

    void execIsQuotedForEveryReservedCharacter() {
        QCOMPARE(XdgAutostart::execValue("/usr/bin/k"), QStringLiteral("/usr/bin/k"));
        QCOMPARE(XdgAutostart::execValue("/opt/100%/k"), QStringLiteral("/opt/100%%/k"));
        QCOMPARE(XdgAutostart::execValue("/opt/a b$\"\\;(%)/k"),
                 QStringLiteral("\"/opt/a b\\\\$\\\\\"\\\\\\\\;(%%)/k\""));
    }
};

KORVEL_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
