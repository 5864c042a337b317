// The support report's problems in their order, and the status reports the
// server hears of them.
#include "core/agent.h"
#include "core/settings.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

using namespace korvel::test;
using namespace std::chrono_literals;
using Change = std::function<void(DiagnosisFacts&)>;

class TestDiagnosis : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private Q_SLOTS:
    void problemsMostUrgentFirst_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("parts"); // of each problem, in order, split at "|"
        QTest::newRow("all well, scans refused")
            << Change([](auto& f) { f.lastStatus = 400; }) << QString();
        QTest::newRow("no access, scanner faults, server error")
            << Change([](auto& f) {
                   f.accessDenied = true, f.lastStatus = 500;
                   DeviceFacts& d = f.devices[0];
                   d.readable = false, d.authorized = false, d.inhibited = true;
                   d.grabbedByOther = true, d.battery = Diagnosis::kLowBattery;
               })
            << QString("may not read the keyboards|is blocked|switched off|holds|"
                       "battery is at 15 %|answers with error 500");
        QTest::newRow("not running, unplugged, server silent, scans old")
            << Change([](auto& f) {
                   f.running = false, f.lastStatus = 0, f.waiting = 3, f.oldestSeconds = 600;
                   f.devices.clear();
               })
            << QString("Korvel Agent is not running|The scanner S (05E0:1200) is not connected|"
                       "does not answer|3 scan(s) wait to be sent, the oldest for 10 minutes");
    }
    void problemsMostUrgentFirst() {
        QFETCH(Change, change);
        QFETCH(QString, parts);
        DiagnosisFacts f;
        f.running = true, f.serverURL = "s", f.lastStatus = 201;
        f.scanner = "05E0:1200", f.scannerName = "S";
        DeviceFacts& d = f.devices.emplace_back();
        d.interface = "keyboard", d.vendor = 0x05E0, d.product = 0x1200, d.readable = true;
        change(f);
        const QJsonObject report = Diagnosis::report(f);
        const QStringList problems = report["problems"].toVariant().toStringList();
        const QStringList expected = parts.split('|', Qt::SkipEmptyParts);
        QCOMPARE(problems.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(problems[i].contains(expected[i]), qPrintable(problems[i]));
        QCOMPARE(Diagnosis::summary(report), problems.value(0, "Scans arriving"));
        QCOMPARE(report["devices"][0]["connected"].toBool(), !f.devices.isEmpty());
    }

    // After registration and on the timer (a change is sent at once: tst_diagnose),
    // until the server says it does not take them (404, 405: one guard).
    void statusReportsFollowTheServer_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("server error: tried again") << 500 << true;
        QTest::newRow("not found") << 404 << true;
        QTest::newRow("switched off") << 200 << false;
    }
    void statusReportsFollowTheServer() {
        QFETCH(int, answer);
        QFETCH(bool, enabled);
        const bool more = enabled && answer != 404;
        Settings settings;
        settings.store().clear();
        settings.store().setValue("sendStatus", enabled);
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Scanner"));
        HttpStub stub;
        settings.setServerURL(stub.url());
        const QByteArray status = "/api/devices/" + settings.deviceId().toUtf8() + "/status";
        stub.script = [&](const HttpStub::Request& r) { // scans wait: retried every 20 ms
            return HttpStub::Reply{r.target == status        ? answer
                                   : r.target == "/api/scan" ? 503
                                                             : 200};
        };
        ScriptedKeyboard keyboard;
        Journal journal;
        Agent agent(settings, {keyboard, journal, journal}, dir.filePath(QTest::currentDataTag()),
                    {.tick = 50ms, .retry = 20ms, .requestTimeout = 1000ms, .statusReport = 150ms});
        agent.start();
        for (const int usage : {0x04, 0x28}) // "a", Enter
            keyboard.handler({KeyEvent::key, 7, usage, 1, 1, 0x05E0, 0x1200, "Scanner", 1});
        QTRY_VERIFY(stub.count(status) >= int(enabled)); // once registered
        if (more) {
            const int sent = stub.count(status);
            QTRY_VERIFY(stub.count(status) >= sent + 2); // the timer
        } else {
            const int at = stub.count("/api/scan"); // a clock of events: several intervals
            QTRY_VERIFY(stub.count("/api/scan") >= at + 20);
            QCOMPARE(stub.count(status), enabled ? 1 : 0);
        }
    }
};

KORVEL_TEST_MAIN(TestDiagnosis)
#include "tst_diagnosis.moc"
