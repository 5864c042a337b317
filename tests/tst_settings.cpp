#include "shell/settings.h"
#include "support/test_main.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

class TestSettings : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void init() {
        Settings s;
        s.store().clear();
        s.store().sync();
    }

    void absentKeysReadAsTheirDefaults() {
        Settings s([] { return QStringLiteral("Packing 1"); });
        QCOMPARE(s.serverURL(), QStringLiteral("http://localhost:3000"));
        QCOMPARE(s.deviceName(), QStringLiteral("Packing 1"));
        QCOMPARE(s.scanner(), QString());
        QCOMPARE(s.scannerName(), QString());
        QCOMPARE(s.alertedSession(), 0);
        Settings nameless([] { return QString(); });
        QCOMPARE(nameless.deviceName(), QStringLiteral("Mac"));
    }

    void emptyButPresentValuesStayEmpty() {
        Settings s([] { return QStringLiteral("host"); });
        s.setServerURL(QString());
        s.setDeviceName(QString());
        QCOMPARE(s.serverURL(), QString());
        QCOMPARE(s.deviceName(), QString());
    }

    void valuesLiveInTheUsersConfigFile() {
        Settings s;
        s.setScanner(QStringLiteral("00FF:000A"), QStringLiteral("Barcode Reader"));
        s.setAlertedSession(17);
        const QString file = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
                             QStringLiteral("/Korvel/Korvel Agent.conf");
        QCOMPARE(s.store().fileName(), file);
        QVERIFY(QFile::exists(file));
        Settings again;
        QCOMPARE(again.scanner(), QStringLiteral("00FF:000A"));
        QCOMPARE(again.scannerName(), QStringLiteral("Barcode Reader"));
        QCOMPARE(again.alertedSession(), 17);
    }

    void deviceIdIsCreatedOnceAndKept() {
        QString id;
        {
            Settings s;
            QVERIFY(!s.store().contains(QStringLiteral("deviceId")));
            id = s.deviceId();
            QVERIFY(
                QRegularExpression(
                    QStringLiteral(
                        "^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"))
                    .match(id)
                    .hasMatch());
            QCOMPARE(s.deviceId(), id);
        }
        Settings later; // as after a restart
        QCOMPARE(later.deviceId(), id);
    }
};

KORVEL_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
