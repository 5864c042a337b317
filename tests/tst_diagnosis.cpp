// The support report's problems in their order, and the status reports the
// server hears of them.
#include "core/agent.h"
#include "core/settings.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

struct ScriptedDevices final : DeviceSurvey {
    QList<DeviceFacts> list;
    QList<DeviceFacts> devices() override { return list; }
};

DeviceFacts scanner() {
    DeviceFacts d;
    d.interface = QStringLiteral("keyboard");
    d.node = QStringLiteral("/dev/input/event4");
    d.vendor = 0x05E0;
    d.product = 0x1200;
    d.name = QStringLiteral("Scanner");
    d.readable = true;
    d.inhibited = false;
    d.authorized = true;
    return d;
}

// A station where all is well: running, its scanner there, the server answering.
DiagnosisFacts wellFacts() {
    DiagnosisFacts f;
    f.running = true;
    f.serverURL = QStringLiteral("http://scans.example:3000");
    f.lastStatus = 201;
    f.scanner = QStringLiteral("05E0:1200");
    f.scannerName = QStringLiteral("Scanner");
    f.devices = {scanner()};
    return f;
}

} // namespace

class TestDiagnosis : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private Q_SLOTS:
    void problemsMostUrgentFirst_data() {
        QTest::addColumn<std::function<void(DiagnosisFacts&)>>("change");
        QTest::addColumn<QStringList>("starts");
        using F = std::function<void(DiagnosisFacts&)>;
        QTest::newRow("all well") << F([](DiagnosisFacts&) {}) << QStringList();
        QTest::newRow("inhibited") << F([](DiagnosisFacts& f) { f.devices[0].inhibited = true; })
                                   << QStringList{"The system has switched off"};
        QTest::newRow("not authorised")
            << F([](DiagnosisFacts& f) { f.devices[0].authorized = false; })
            << QStringList{"The scanner Scanner (05E0:1200) is blocked"};
        QTest::newRow("battery at the limit")
            << F([](DiagnosisFacts& f) { f.devices[0].battery = Diagnosis::kLowBattery; })
            << QStringList{"The scanner Scanner (05E0:1200)'s battery is at 15 %"};
        QTest::newRow("battery above it")
            << F([](DiagnosisFacts& f) { f.devices[0].battery = Diagnosis::kLowBattery + 1; })
            << QStringList();
        QTest::newRow("grabbed") << F([](DiagnosisFacts& f) { f.devices[0].grabbedByOther = true; })
                                 << QStringList{"Another program holds"};
        QTest::newRow("unplugged, server silent, scans old")
            << F([](DiagnosisFacts& f) {
                   f.devices.clear();
                   f.lastStatus = 0;
                   f.waiting = 3;
                   f.oldestSeconds = 600;
               })
            << QStringList{"The scanner Scanner (05E0:1200) is not connected",
                           "The scan server http://scans.example:3000 does not answer",
                           "3 scan(s) wait to be sent, the oldest for 10 minutes"};
        QTest::newRow("not running, no access, server error")
            << F([](DiagnosisFacts& f) {
                   f.running = false;
                   f.accessDenied = true;
                   f.devices[0].readable = false;
                   f.lastStatus = 500;
               })
            << QStringList{"Korvel Agent is not running", "Korvel Agent may not read",
                           "The scan server http://scans.example:3000 answers with error 500"};
        QTest::newRow("refused scans are no server fault")
            << F([](DiagnosisFacts& f) { f.lastStatus = 400; }) << QStringList();
    }
    void problemsMostUrgentFirst() {
        QFETCH(std::function<void(DiagnosisFacts&)>, change);
        QFETCH(QStringList, starts);
        DiagnosisFacts facts = wellFacts();
        change(facts);
        const QStringList problems = Diagnosis::problems(facts);
        QCOMPARE(problems.size(), starts.size());
        for (qsizetype i = 0; i < starts.size(); ++i)
            QVERIFY2(problems[i].startsWith(starts[i]), qPrintable(problems[i]));
        const QJsonObject report = Diagnosis::report(facts);
        QCOMPARE(report["problems"].toVariant().toStringList(), problems);
        QCOMPARE(Diagnosis::summary(report),
                 starts.isEmpty() ? QStringLiteral("Scans arriving") : problems.first());
        const QJsonObject device = report["devices"][0].toObject();
        QCOMPARE(device["vendor"].toString() + device["product"].toString(), "05e01200");
        QCOMPARE(device["connected"].toBool(), !facts.devices.isEmpty());
    }

    // After registration, at a change and on the timer, until the server says it
    // does not take them.
    void statusReportsFollowTheServer_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("more");
        QTest::newRow("taken") << 200 << true << true;
        QTest::newRow("server error: tried again") << 500 << true << true;
        QTest::newRow("not found") << 404 << true << false;
        QTest::newRow("method not allowed") << 405 << true << false;
        QTest::newRow("switched off") << 200 << false << false;
    }
    void statusReportsFollowTheServer() {
        QFETCH(int, answer);
        QFETCH(bool, enabled);
        QFETCH(bool, more);
        Settings settings;
        settings.store().clear();
        if (!enabled)
            settings.store().setValue(QStringLiteral("sendStatus"), false);
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Scanner"));
        HttpStub stub;
        settings.setServerURL(stub.url());
        const QByteArray status = "/api/devices/" + settings.deviceId().toUtf8() + "/status";
        stub.script = [&](const HttpStub::Request& r) {
            return HttpStub::Reply{r.target == status        ? answer
                                   : r.target == "/api/scan" ? 503
                                                             : 200};
        };
        ScriptedKeyboard keyboard;
        ScriptedDevices devices;
        devices.list = {scanner()};
        Journal journal;
        Agent::Ports ports{keyboard, journal, journal};
        ports.devices = {&devices};
        Agent agent(settings, ports, dir.filePath(QString::number(answer) + (enabled ? "e" : "d")),
                    {50ms, 20ms, 60000ms, 1000ms, 150ms});
        agent.start();
        keyboard.handler({KeyEvent::key, 7, 0x04, 1, 1, 0x05E0, 0x1200, "Scanner", 1});
        keyboard.handler({KeyEvent::key, 7, 0x28, 1, 2, 0x05E0, 0x1200, "Scanner", 1});
        // Each retry posts the scan again (503): a clock of events the agent counts in.
        const auto retries = [&](int n) {
            const int at = stub.count("/api/scan");
            QTRY_VERIFY(stub.count("/api/scan") >= at + n);
        };
        if (!enabled) {
            retries(20);
            QCOMPARE(stub.count(status), 0);
            return;
        }
        const auto bodies = [&] {
            QByteArrayList all;
            for (const HttpStub::Request& r : stub.requests)
                if (r.target == status)
                    all << r.body;
            return all;
        };
        QTRY_VERIFY(stub.count(status) >= 1); // once registered
        const QJsonObject first = QJsonDocument::fromJson(bodies().first()).object();
        QCOMPARE(first["agent"]["running"], QJsonValue(true));
        QVERIFY(!bodies().first().contains("\"a\"")); // no scan text
        devices.list[0].battery = 3;
        if (more) {
            QTRY_VERIFY(bodies().last().contains("battery is at 3 %")); // the change
            const int sent = stub.count(status);
            QTRY_VERIFY(stub.count(status) >= sent + 2); // the timer
        } else {
            retries(20); // several times the interval, a change among them
            QCOMPARE(stub.count(status), 1);
        }
    }
};

KORVEL_TEST_MAIN(TestDiagnosis)
#include "tst_diagnosis.moc"
