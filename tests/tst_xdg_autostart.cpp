#include "platform/linux/xdg_autostart.h"
#include "support/test_main.h"

#include <QFile>

class TestXdgAutostart : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("autostart/korvel-agent.desktop")); }
    void write(const QByteArray& text) {
        QDir().mkpath(dir.filePath(QStringLiteral("autostart")));
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

  private Q_SLOTS:
    void cleanup() {
        QFile::remove(path());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    }

    void defaultPathIsInTheUsersConfigFolder() {
        QCOMPARE(XdgAutostart::defaultEntryPath(),
                 QString::fromUtf8(qgetenv("XDG_CONFIG_HOME")) +
                     QStringLiteral("/autostart/korvel-agent.desktop"));
    }

    void enablingWritesAnEntryThatStartsTheAgent() {
        XdgAutostart login(path(), QStringLiteral("/opt/Korvel Agent/korvel-agent"));
        QVERIFY(!login.enabled());
        QCOMPARE(login.setEnabled(true), std::nullopt);
        QVERIFY(login.enabled());
        QFile f(path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray entry = f.readAll();
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QVERIFY(entry.contains("\nType=Application\n"));
        QVERIFY(entry.contains("\nExec=\"/opt/Korvel Agent/korvel-agent\"\n"));
        QCOMPARE(login.setEnabled(false), std::nullopt);
        QVERIFY(!QFile::exists(path()));
        QCOMPARE(login.setEnabled(false), std::nullopt); // already off
    }

    void entriesSwitchedOffByTheDesktopCountAsOff_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("plain") << QByteArray("[Desktop Entry]\nExec=x\n") << true;
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nHidden=true\n") << false;
        QTest::newRow("hidden false") << QByteArray("[Desktop Entry]\nHidden=false\n") << true;
        QTest::newRow("gnome off")
            << QByteArray("[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n") << false;
        QTest::newRow("other group")
            << QByteArray("[Desktop Entry]\nExec=x\n[Desktop Action a]\nHidden=true\n") << true;
    }
    void entriesSwitchedOffByTheDesktopCountAsOff() {
        QFETCH(QByteArray, text);
        QFETCH(bool, enabled);
        write(text);
        QCOMPARE(XdgAutostart(path(), QStringLiteral("x")).enabled(), enabled);
    }

    void aFolderThatCannotBeWrittenIsReported() {
        XdgAutostart login(dir.filePath(QStringLiteral("locked/autostart/k.desktop")),
                           QStringLiteral("x"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("locked"))));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("locked")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto error = login.setEnabled(true);
        QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::ReadOwner |
                                                                          QFileDevice::WriteOwner |
                                                                          QFileDevice::ExeOwner);
        if (!error)
            QSKIP("this process can write into a read-only folder");
        QVERIFY(error->contains(QLatin1String("locked")));
        QVERIFY(!login.enabled());
    }
};

KORVEL_TEST_MAIN(TestXdgAutostart)
#include "tst_xdg_autostart.moc"
