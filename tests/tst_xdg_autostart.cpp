// Start at login over XDG autostart, with an administrator's system-wide entry in a
// temporary XDG_CONFIG_DIRS beside the user's own.
#include "platform/linux/xdg_autostart.h"
#include "support/test_main.h"

#include <QFile>

namespace {

const QByteArray Plain = "[Desktop Entry]\nType=Application\nExec=korvel-agent\n";
const QByteArray Hidden = "[Desktop Entry]\nType=Application\nExec=korvel-agent\nHidden=true\n";

} // namespace

class TestXdgAutostart : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;
    QString systemEntry() const {
        return dir.filePath(QStringLiteral("xdg/autostart/korvel-agent.desktop"));
    }
    static void put(const QString& path, const QByteArray& text) {
        QFile::remove(path);
        if (text.isNull())
            return;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

  private Q_SLOTS:
    void init() {
        qputenv("XDG_CONFIG_DIRS", (dir.filePath(QStringLiteral("other")) + QLatin1Char(':') +
                                    dir.filePath(QStringLiteral("xdg")))
                                       .toUtf8());
        qputenv("XDG_DATA_DIRS", dir.filePath(QStringLiteral("share")).toUtf8());
        put(systemEntry(), {});
        put(XdgAutostart::userEntryPath(), {});
    }

    void theUsersEntryElseTheSystemsDecides_data() {
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("none") << QByteArray() << QByteArray() << false;
        QTest::newRow("system only") << Plain << QByteArray() << true;
        QTest::newRow("system hidden") << Hidden << QByteArray() << false;
        QTest::newRow("user hides the system's") << Plain << Hidden << false;
        QTest::newRow("user over a hidden system's") << Hidden << Plain << true;
        QTest::newRow("switched off for GNOME")
            << QByteArray() << QByteArray(Plain + "X-GNOME-Autostart-enabled=false\n") << false;
        QTest::newRow("Hidden in another group")
            << QByteArray() << QByteArray(Plain + "[Desktop Action a]\nHidden=true\n") << true;
    }
    void theUsersEntryElseTheSystemsDecides() {
        QFETCH(QByteArray, system);
        QFETCH(QByteArray, user);
        QFETCH(bool, enabled);
        put(systemEntry(), system);
        put(XdgAutostart::userEntryPath(), user);
        QCOMPARE(XdgAutostart(QStringLiteral("/usr/bin/korvel-agent")).enabled(), enabled);
    }

    void switchingWritesOnlyWhatTheRulesNeed_data() {
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("userAfter"); // "none", "starts", "hidden"
        QTest::newRow("no system entry: on") << QByteArray() << QByteArray() << true << "starts";
        QTest::newRow("no system entry: off") << QByteArray() << Plain << false << "none";
        QTest::newRow("system entry: off") << Plain << QByteArray() << false << "hidden";
        QTest::newRow("system entry: on again") << Plain << Hidden << true << "none";
        QTest::newRow("hidden system entry: on") << Hidden << QByteArray() << true << "starts";
        QTest::newRow("hidden system entry: off") << Hidden << Plain << false << "none";
    }
    void switchingWritesOnlyWhatTheRulesNeed() {
        QFETCH(QByteArray, system);
        QFETCH(QByteArray, user);
        QFETCH(bool, on);
        QFETCH(QString, userAfter);
        put(systemEntry(), system);
        put(XdgAutostart::userEntryPath(), user);
        XdgAutostart login(QStringLiteral("/usr/bin/korvel-agent"));
        QCOMPARE(login.setEnabled(on), std::nullopt);
        QCOMPARE(login.enabled(), on);
        const QByteArray written = read(XdgAutostart::userEntryPath());
        const QString state = written.isNull()                      ? QStringLiteral("none")
                              : written.contains("\nHidden=true\n") ? QStringLiteral("hidden")
                                                                    : QStringLiteral("starts");
        QCOMPARE(state, userAfter);
        QCOMPARE(read(systemEntry()), system); // an administrator's entry is never touched
    }

    // The entry is the installed application entry, made to start this program
    // once the panel is there.
    void theEntryIsTheApplicationsOwnForThisProgram() {
        put(dir.filePath(QStringLiteral("share/applications/korvel-agent.desktop")),
            "[Desktop Entry]\nType=Application\nName=Korvel Agent (site build)\n"
            "Exec=korvel-agent\nTryExec=korvel-agent\nIcon=korvel-agent\n");
        XdgAutostart login(QStringLiteral("/opt/Korvel Agent/korvel-agent"));
        QCOMPARE(login.setEnabled(true), std::nullopt);
        const QByteArray entry = read(XdgAutostart::userEntryPath());
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        for (const char* line :
             {"\nName=Korvel Agent (site build)\n", "\nExec=\"/opt/Korvel Agent/korvel-agent\"\n",
              "\nX-KDE-autostart-after=panel\n", "\nX-LXQt-Need-Tray=true\n",
              "\nX-GNOME-Autostart-Delay=2\n", "\nIcon=korvel-agent\n"})
            QVERIFY2(entry.contains(line), line);
        QCOMPARE(entry.count("Exec="), 1);
        QVERIFY(!entry.contains("TryExec"));
        // Without an installed entry, the copy built into the program serves.
        put(dir.filePath(QStringLiteral("share/applications/korvel-agent.desktop")), {});
        QCOMPARE(login.setEnabled(true), std::nullopt);
        QVERIFY(read(XdgAutostart::userEntryPath()).contains("\nName=Korvel Agent\n"));
    }

    void execIsQuotedForEveryReservedCharacter_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "/usr/bin/korvel-agent"
                               << "/usr/bin/korvel-agent";
        QTest::newRow("space") << "/opt/Korvel Agent/k"
                               << "\"/opt/Korvel Agent/k\"";
        QTest::newRow("dollar") << "/opt/a$b/k"
                                << "\"/opt/a\\\\$b/k\"";
        QTest::newRow("quote") << "/opt/say \"hi\"/k"
                               << "\"/opt/say \\\\\"hi\\\\\"/k\"";
        QTest::newRow("backslash") << "/opt/a\\b/k"
                                   << "\"/opt/a\\\\\\\\b/k\"";
        QTest::newRow("semicolon and parens") << "/opt/a;(b)/k"
                                              << "\"/opt/a;(b)/k\"";
        QTest::newRow("percent") << "/opt/100%/k"
                                 << "/opt/100%%/k";
    }
    void execIsQuotedForEveryReservedCharacter() {
        QFETCH(QString, program);
        QFETCH(QString, value);
        QCOMPARE(XdgAutostart::execValue(program), value);
    }

    void aFolderThatCannotBeWrittenIsReported() {
        const QString config = QString::fromUtf8(qgetenv("XDG_CONFIG_HOME"));
        QDir(config + QStringLiteral("/autostart")).removeRecursively();
        QVERIFY(QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto error = XdgAutostart(QStringLiteral("x")).setEnabled(true);
        QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        if (!error)
            QSKIP("this process can write into a read-only folder");
        QVERIFY2(error->contains(QLatin1String("autostart")), qPrintable(*error));
        QVERIFY(!XdgAutostart(QStringLiteral("x")).enabled());
    }
};

KORVEL_TEST_MAIN(TestXdgAutostart)
#include "tst_xdg_autostart.moc"
