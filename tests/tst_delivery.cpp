// Scan submission, outcomes, registration and the idle session watch, against a
// scripted server on loopback.
#include "delivery/scan_delivery.h"
#include "delivery/transport.h"
#include "shell/agent.h"
#include "shell/settings.h"
#include "support/http_stub.h"
#include "support/log_capture.h"
#include "support/recorders.h"
#include "support/test_authority.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTcpServer>

using namespace korvel::test;
using namespace std::chrono_literals;

class TestDelivery : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<HttpStub> stub;
    std::unique_ptr<Settings> settings;
    QNetworkAccessManager network;
    std::unique_ptr<Transport> transport;
    Journal journal;
    RecordingNotifier notifier{journal};
    RecordingSounds sounds{journal};
    std::unique_ptr<ScanDelivery> delivery;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScanQueue> queue;

    QString path() const { return dir->filePath(QStringLiteral("queue.json")); }
    void makeQueue() {
        queue = std::make_unique<ScanQueue>(QueueFile(path()),
                                            [this](const QueuedScan& s, ScanQueue::Completion d) {
                                                delivery->send(s, std::move(d));
                                            });
        queue->onDone = [this](const QueuedScan& s, SendOutcome o, const QString& m) {
            delivery->onDone(s, o, m);
        };
    }
    QStringList scanValues() const {
        QStringList v;
        for (const auto& r : stub->requests) {
            if (r.target == "/api/scan")
                v << QJsonDocument::fromJson(r.body)
                         .object()
                         .value(QStringLiteral("value"))
                         .toString();
        }
        return v;
    }
    static HttpStub::Reply reply(int status, const QByteArray& body) {
        return HttpStub::json(status, body);
    }
    void deliverOne(const QString& value, const HttpStub::Reply& answer) {
        stub->queue("/api/scan", answer);
        const int before = int(stub->requests.size());
        queue->enqueue({value, 1700000000000});
        queue->flush();
        QTRY_COMPARE(int(stub->requests.size()), before + 1);
        QTRY_VERIFY(!queue->flushing());
    }
    int unreachablePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

  private Q_SLOTS:
    void init() {
        stub = std::make_unique<HttpStub>();
        settings = std::make_unique<Settings>();
        settings->store().clear();
        settings->setServerURL(stub->url() + QStringLiteral("/"));
        transport = std::make_unique<Transport>(*settings, network, 2000ms);
        journal.entries.clear();
        delivery = std::make_unique<ScanDelivery>(*settings, *transport, notifier, sounds);
        dir = std::make_unique<QTemporaryDir>();
        makeQueue();
    }

    void aScanBodyCarriesTheDeviceValueAndTime() {
        deliverOne(QStringLiteral("4006381333931"), reply(201, R"({"message":"Recorded"})"));
        const QJsonObject body = QJsonDocument::fromJson(stub->requests.last().body).object();
        QCOMPARE(body.size(), 3);
        QCOMPARE(body.value(QStringLiteral("device_id")).toString(), settings->deviceId());
        QCOMPARE(body.value(QStringLiteral("value")).toString(), QStringLiteral("4006381333931"));
        QCOMPARE(body.value(QStringLiteral("ts")).toInteger(), 1700000000000);
        QCOMPARE(delivery->lastResult(), QStringLiteral("Recorded"));
        QVERIFY(journal.entries.isEmpty()); // an ordinary accepted scan is silent
        QVERIFY(queue->items().isEmpty());
    }

    void everyAnswerBecomesItsOutcomeAndText_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("left"); // scans still queued
        QTest::addColumn<QString>("lastResult");
        QTest::addColumn<QStringList>("journal");
        const QString dash = QStringLiteral(" \u2013 ");
        QTest::newRow("200 without message")
            << "A1" << 200 << QByteArray("{}") << 0 << "" << QStringList();
        QTest::newRow("200 message not a string")
            << "A1" << 200 << QByteArray(R"({"message":5})") << 0 << "" << QStringList();
        QTest::newRow("400 error string")
            << "A1" << 400 << QByteArray(R"({"error":"unknown code"})") << 0
            << "Refused: A1" + dash + "unknown code"
            << QStringList{"sound:Basso", "notify:Korvel: scan refused|A1\nunknown code"};
        QTest::newRow("400 error a number")
            << "A1" << 400 << QByteArray(R"({"error":42})") << 0 << "Refused: A1" + dash
            << QStringList{"sound:Basso", "notify:Korvel: scan refused|A1\n"};
        QTest::newRow("400 KV:END is refused like any scan")
            << "KV:END" << 400 << QByteArray(R"({"error":"no session"})") << 0
            << "Refused: KV:END" + dash + "no session"
            << QStringList{"sound:Basso", "notify:Korvel: scan refused|KV:END\nno session"};
        QTest::newRow("KV:START: accepted")
            << "KV:START:Station 4" << 200 << QByteArray(R"({"message":"Started"})") << 0
            << "Started" << QStringList{"sound:Glass", "notify:Korvel|Started"};
        QTest::newRow("KV:END accepted without message")
            << "KV:END" << 201 << QByteArray() << 0 << ""
            << QStringList{"sound:Glass", "notify:Korvel|"};
        QTest::newRow("KV:START without colon")
            << "KV:START" << 200 << QByteArray(R"({"message":"m"})") << 0 << "m" << QStringList();
        QTest::newRow("KV:END with a blank")
            << "KV:END " << 200 << QByteArray(R"({"message":"m"})") << 0 << "m" << QStringList();
        QTest::newRow("lower case")
            << "kv:end" << 200 << QByteArray(R"({"message":"m"})") << 0 << "m" << QStringList();
        for (const int s : {401, 404, 500, 503}) {
            QTest::addRow("%d keeps the scan", s)
                << "A1" << s << QByteArray(R"({"error":"x"})") << 1
                << QStringLiteral("Server error %1").arg(s) << QStringList();
        }
    }
    void everyAnswerBecomesItsOutcomeAndText() {
        QFETCH(QString, value);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, left);
        QFETCH(QString, lastResult);
        QFETCH(QStringList, journal);
        deliverOne(value, reply(status, body));
        QCOMPARE(queue->items().size(), left);
        QCOMPARE(delivery->lastResult(), lastResult);
        QCOMPARE(this->journal.entries, journal);
        queue->waitUntilSaved();
        QCOMPARE(QueueFile(path()).load().size(), left);
    }

    void unreachableServerKeepsScansAndDrainsThemInOrderLater() {
        settings->setServerURL(QStringLiteral("http://127.0.0.1:%1").arg(unreachablePort()));
        for (const char* v : {"first", "second", "third"}) {
            queue->enqueue({QString::fromUtf8(v), 1});
            queue->flush();
            QTRY_VERIFY(!queue->flushing());
        }
        QCOMPARE(delivery->lastResult(), QStringLiteral("Server unreachable"));
        QCOMPARE(queue->items().size(), 3);
        QVERIFY(journal.entries.isEmpty());

        settings->setServerURL(stub->url());
        stub->script = [](const HttpStub::Request& r) {
            const auto v =
                QJsonDocument::fromJson(r.body).object().value(QStringLiteral("value")).toString();
            return HttpStub::json(
                201, QJsonDocument(QJsonObject{{QStringLiteral("message"), v}}).toJson());
        };
        queue->flush(); // one trigger: the rest follow back to back
        QTRY_VERIFY(queue->items().isEmpty());
        QCOMPARE(scanValues(), (QStringList{QStringLiteral("first"), QStringLiteral("second"),
                                            QStringLiteral("third")}));
        QCOMPARE(delivery->lastResult(), QStringLiteral("third"));
    }

    void aFailingHeadHoldsBackEveryLaterScan() {
        stub->script = [](const HttpStub::Request&) { return HttpStub::json(500, "{}"); };
        queue->enqueue({QStringLiteral("head"), 1});
        queue->flush();
        QTRY_VERIFY(!queue->flushing());
        for (const char* v : {"b", "c"}) {
            queue->enqueue({QString::fromUtf8(v), 2});
            queue->flush();
            QTRY_VERIFY(!queue->flushing());
        }
        QCOMPARE(scanValues(), (QStringList{QStringLiteral("head"), QStringLiteral("head"),
                                            QStringLiteral("head")}));
        QCOMPARE(queue->items().size(), 3);
        QCOMPARE(delivery->lastResult(), QStringLiteral("Server error 500"));
    }

    void registrationCarriesTheIdLaterScansCarry() {
        QVERIFY(!settings->store().contains(QStringLiteral("deviceId")));
        settings->setDeviceName(QStringLiteral("Packing 1 – Süd"));
        delivery->registerDevice();
        QTRY_COMPARE(stub->requests.size(), 1);
        const QString id = settings->deviceId();
        QCOMPARE(stub->requests[0].target, ("/api/devices/" + id).toUtf8());
        QCOMPARE(QJsonDocument::fromJson(stub->requests[0].body).object(),
                 (QJsonObject{{QStringLiteral("name"), QStringLiteral("Packing 1 – Süd")}}));
        deliverOne(QStringLiteral("x"), reply(200, "{}"));
        QCOMPARE(QJsonDocument::fromJson(stub->requests.last().body)
                     .object()
                     .value(QStringLiteral("device_id"))
                     .toString(),
                 id);
    }

    // The server comes up after the agent, and first answers with an error: the
    // retry timer registers again until a 2xx, and a Save starts over.
    void registrationIsRetriedUntilTheServerHasAnsweredIt() {
        const int port = unreachablePort();
        settings->setServerURL(QStringLiteral("http://127.0.0.1:%1").arg(port));
        settings->setDeviceName(QStringLiteral("Packing 1"));
        ScriptedKeyboard keyboard;
        LogCapture log("korvel.server");
        Agent agent(*settings, {keyboard, notifier, sounds},
                    dir->filePath(QStringLiteral("Korvel")),
                    Agent::Intervals{50ms, 20ms, 60000ms, 1000ms});
        agent.start();
        QTRY_COMPARE(log.lines.size(), 1); // the first attempt found nobody
        QVERIFY2(log.lines.first().contains(QLatin1String("unreachable")),
                 qPrintable(log.lines.first()));
        QVERIFY(!agent.delivery().registered());
        const QByteArray path = "/api/devices/" + settings->deviceId().toUtf8();
        HttpStub late(static_cast<quint16>(port));
        late.queue(path, reply(503, "{}"));
        QTRY_VERIFY(agent.delivery().registered());
        QCOMPARE(late.requests.size(), 2);
        for (const auto& r : late.requests) {
            QCOMPARE(r.target, path);
            QCOMPARE(QJsonDocument::fromJson(r.body).object().value(QStringLiteral("name")),
                     QStringLiteral("Packing 1"));
        }
        late.queue(path, reply(500, "{}"));
        agent.saveSettings(late.url(), QStringLiteral("Packing 2"));
        QVERIFY(!agent.delivery().registered());
        QTRY_VERIFY(agent.delivery().registered());
        QCOMPARE(late.requests.size(), 4);
        QCOMPARE(QJsonDocument::fromJson(late.requests.last().body)
                     .object()
                     .value(QStringLiteral("name")),
                 QStringLiteral("Packing 2"));
    }

    void anUntrustedCertificateReadsAsSuch() {
        static const TestAuthority authority;
        if (!authority.error.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no test authority: ") + authority.error));
        HttpStub tls(0, &authority.server);
        settings->setServerURL(tls.url());
        LogCapture log("korvel.server");
        queue->enqueue({QStringLiteral("4006381333931"), 1});
        queue->flush();
        QTRY_VERIFY(!queue->flushing());
        QCOMPARE(delivery->lastResult(), QStringLiteral("Server certificate not trusted"));
        QCOMPARE(queue->items().size(), 1);
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.first().contains(QLatin1String("certificate not trusted")),
                 qPrintable(log.lines.first()));
    }

    void idleSessionsAreAnnouncedOncePerNumber_data() {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QByteArrayList>("bodies");
        QTest::addColumn<int>("announcements");
        QTest::addColumn<qint64>("stored");
        QTest::newRow("17 twice") << QList<int>{200, 200}
                                  << QByteArrayList{R"({"idle_closed_session":17})",
                                                    R"({"idle_closed_session":17})"}
                                  << 1 << qint64(17);
        QTest::newRow("17, 18, 17")
            << QList<int>{200, 200, 200}
            << QByteArrayList{R"({"idle_closed_session":17})", R"({"idle_closed_session":18})",
                              R"({"idle_closed_session":17})"}
            << 3 << qint64(17);
        QTest::newRow("number in a 404 body")
            << QList<int>{404} << QByteArrayList{R"({"idle_closed_session":5})"} << 1 << qint64(5);
        QTest::newRow("zero when never written")
            << QList<int>{200} << QByteArrayList{R"({"idle_closed_session":0})"} << 0 << qint64(0);
        QTest::newRow("null, text, fraction, array")
            << QList<int>{200, 200, 200, 200}
            << QByteArrayList{R"({"idle_closed_session":null})", R"({"idle_closed_session":"9"})",
                              R"({"idle_closed_session":9.5})", "[9]"}
            << 0 << qint64(0);
    }
    void idleSessionsAreAnnouncedOncePerNumber() {
        QFETCH(QList<int>, statuses);
        QFETCH(QByteArrayList, bodies);
        QFETCH(int, announcements);
        QFETCH(qint64, stored);
        const QByteArray target = "/api/devices/" + settings->deviceId().toUtf8() + "/state";
        int answered = 0;
        for (qsizetype i = 0; i < statuses.size(); ++i) {
            stub->queue(target, reply(statuses[i], bodies[i]));
            delivery->checkIdleClose([&] { ++answered; });
            QTRY_COMPARE(answered, i + 1);
        }
        QCOMPARE(journal.notifications().size(), announcements);
        QCOMPARE(settings->alertedSession(), stored);
        QCOMPARE(stub->requests.first().method, QByteArray("GET"));
        if (announcements > 0) {
            QCOMPARE(journal.entries.mid(0, 2),
                     (QStringList{QStringLiteral("sound:Basso"),
                                  QStringLiteral("notify:Korvel recording stopped|No scans for a "
                                                 "while. Scan the station QR to start again.")}));
        }
    }

    void anAnnouncedSessionStaysAnnouncedAfterARestart() {
        settings->setAlertedSession(17);
        Settings restarted; // a new process reads the same store
        ScanDelivery again(restarted, *transport, notifier, sounds);
        const QByteArray target = "/api/devices/" + restarted.deviceId().toUtf8() + "/state";
        stub->queue(target, reply(200, R"({"idle_closed_session":17})"));
        stub->queue(target, reply(200, R"({"idle_closed_session":18})"));
        again.checkIdleClose();
        again.checkIdleClose();
        QTRY_COMPARE(restarted.alertedSession(), 18);
        QCOMPARE(journal.notifications().size(), 1);
    }

    void startUpRegistersFlushesAndHints() {
        QDir().mkpath(dir->filePath(QStringLiteral("Korvel")));
        QVERIFY(QueueFile(dir->filePath(QStringLiteral("Korvel/queue.json")))
                    .save({{QStringLiteral("left over"), 3}}));
        ScriptedKeyboard keyboard;
        Agent agent(*settings, {keyboard, notifier, sounds},
                    dir->filePath(QStringLiteral("Korvel")));
        agent.start();
        QTRY_COMPARE(stub->requests.size(), 2);
        QCOMPARE(stub->requests[0].target, ("/api/devices/" + settings->deviceId()).toUtf8());
        QCOMPARE(scanValues(), QStringList{QStringLiteral("left over")});
        QCOMPARE(journal.notifications(),
                 QStringList{QStringLiteral("notify:Korvel Agent|Click the barcode icon in the "
                                            "menu bar and choose Detect scanner.")});
        QTRY_VERIFY(agent.queue()->items().isEmpty());
    }
};

KORVEL_TEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
