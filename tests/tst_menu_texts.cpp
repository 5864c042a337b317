// What the status menu shows, computed from the agent's state.
#include "shell/agent.h"
#include "shell/settings.h"
#include "support/recorders.h"
#include "support/test_main.h"

using namespace korvel::test;

class TestMenuTexts : public QObject {
    Q_OBJECT
  private:
    Journal journal;
    RecordingNotifier notifier{journal};
    RecordingSounds sounds{journal};
    ScriptedKeyboard keyboard;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Agent> agent;

  private Q_SLOTS:
    void init() {
        keyboard.granted = true;
        settings = std::make_unique<Settings>([] { return QStringLiteral("Packing 1"); });
        settings->store().clear();
        settings->setServerURL(QString()); // nothing is ever delivered
        dir = std::make_unique<QTemporaryDir>();
        agent = std::make_unique<Agent>(*settings, Agent::Ports{keyboard, notifier, sounds},
                                        dir->path());
        agent->start();
    }

    void scannerLineInEachState() {
        QCOMPARE(agent->menuTexts().scannerLine,
                 QStringLiteral("No scanner chosen: use Detect scanner"));
        settings->setScanner(QStringLiteral("1234:ABCD"), QStringLiteral("Scanner"));
        QCOMPARE(agent->menuTexts().scannerLine,
                 QStringLiteral("Scanner: Scanner (1234:ABCD) \u00B7 Packing 1"));
        settings->store().remove(QStringLiteral("scannerName"));
        QCOMPARE(agent->menuTexts().scannerLine,
                 QStringLiteral("Scanner:  (1234:ABCD) \u00B7 Packing 1"));
        agent->capture().toggleDetect();
        const Agent::MenuTexts detecting = agent->menuTexts();
        QCOMPARE(detecting.scannerLine,
                 QStringLiteral("Scan any barcode with the scanner now\u2026"));
        QCOMPARE(detecting.detectText, QStringLiteral("Cancel detection"));
        QVERIFY(detecting.detectEnabled);
        QVERIFY(!detecting.permissionVisible);
    }

    void missingAccessComesFirst() {
        agent->capture().toggleDetect();
        keyboard.granted = false;
        const Agent::MenuTexts m = agent->menuTexts();
        QCOMPARE(m.scannerLine,
                 QStringLiteral("Input Monitoring is off: Korvel can't read the scanner"));
        QCOMPARE(m.detectText, QStringLiteral("Cancel detection"));
        QVERIFY(!m.detectEnabled);
        QVERIFY(m.permissionVisible);
    }

    void queueLineCountsWaitingScansAndTheLastResult() {
        QCOMPARE(agent->menuTexts().queueLine, QStringLiteral("Waiting to send: 0"));
        QCOMPARE(agent->menuTexts().detectText, QStringLiteral("Detect scanner (scan now)"));
        for (int i = 0; i < 3; ++i)
            agent->queue()->enqueue({QStringLiteral("s%1").arg(i), i});
        QCOMPARE(agent->menuTexts().queueLine, QStringLiteral("Waiting to send: 3"));
        settings->setServerURL(QStringLiteral("http://127.0.0.1:1"));
        agent->queue()->flush();
        QTRY_COMPARE(agent->menuTexts().queueLine,
                     QStringLiteral("Waiting to send: 3 \u00B7 Server unreachable"));
    }

    void savingSettingsTrimsStoresRegistersAndFlushes() {
        agent->queue()->enqueue({QStringLiteral("waiting"), 1});
        agent->saveSettings(QStringLiteral(" \thttp://127.0.0.1:1/ \u00A0"), QStringLiteral("  "));
        QCOMPARE(settings->serverURL(), QStringLiteral("http://127.0.0.1:1/"));
        QCOMPARE(settings->deviceName(), QString()); // empty, not the host's name
        // The flush tried the waiting scan at the new address.
        QTRY_COMPARE(agent->delivery().lastResult(), QStringLiteral("Server unreachable"));
    }
};

KORVEL_TEST_MAIN(TestMenuTexts)
#include "tst_menu_texts.moc"
