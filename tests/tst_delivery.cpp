// Delivery over real loopback connections: requests and answers, outcomes as the
// operator sees them, registration, the idle session watch.
#include "core/agent.h"
#include "core/settings.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QTcpServer>

using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

QString closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QString::number(probe.serverPort());
}

const TestCertificate& certificate() {
    static const TestCertificate c;
    return c;
}

QJsonObject json(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

} // namespace

class TestDelivery : public QObject {
    Q_OBJECT
    std::unique_ptr<HttpStub> stub;
    std::unique_ptr<Settings> settings;
    QNetworkAccessManager network;
    std::unique_ptr<Transport> transport;
    Journal journal;
    std::unique_ptr<ScanDelivery> delivery;
    QTemporaryDir dir;

    // One scan through a queue: how many scans are left waiting.
    int deliver(const QString& value) {
        QFile::remove(dir.filePath(QStringLiteral("q.json")));
        ScanQueue queue(QueueFile(dir.filePath(QStringLiteral("q.json"))),
                        [this](const QueuedScan& s, ScanQueue::Completion d) {
                            delivery->send(s, std::move(d));
                        });
        queue.onDone = [this](const QueuedScan& s, SendOutcome o, const QString& m) {
            delivery->onDone(s, o, m);
        };
        queue.enqueue({value, 1700000000000});
        queue.flush();
        [&] { QTRY_VERIFY(!queue.flushing()); }();
        return static_cast<int>(queue.items().size());
    }

  private Q_SLOTS:
    void init() {
        stub = std::make_unique<HttpStub>();
        settings = std::make_unique<Settings>();
        settings->store().clear();
        settings->setServerURL(stub->url());
        transport =
            std::make_unique<Transport>([this] { return settings->serverURL(); }, network, 300ms);
        journal.entries.clear();
        delivery = std::make_unique<ScanDelivery>(*settings, *transport, journal, journal);
    }

    void answersBecomeStatusObjectAndFailure_data() {
        QTest::addColumn<QString>("url"); // %s the stub, %t a TLS stub, %c a closed port
        QTest::addColumn<int>("status");  // the stub's; -1 it never answers
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("got"); // status, the answer's "message", the failure kind
        const QByteArray huge(Transport::kMaxAnswerBytes, 'x');
        const QByteArray bound(Transport::kMaxAnswerBytes - 20, 'y');
        QTest::newRow("prefix kept, slashes and spaces trimmed")
            << " %s/korvel/v1/// " << 201 << QByteArray(R"({"message":"ok"})") << "201 ok 0";
        QTest::newRow("200 empty") << "%s" << 200 << QByteArray() << "200  0";
        QTest::newRow("200 array") << "%s" << 200 << QByteArray("[1]") << "200  0";
        QTest::newRow("500 html") << "%s" << 500 << QByteArray("<html>") << "500  0";
        QTest::newRow("302 not followed") << "%s" << 302 << QByteArray() << "302  0";
        QTest::newRow("over the bound") << "%s" << 200 << "{\"message\":\"" + huge + "\"}"
                                        << "200  0";
        QTest::newRow("at the bound") << "%s" << 400 << "{\"message\":\"" + bound + "\"}"
                                      << "400 " + QString::fromLatin1(bound) + " 0";
        QTest::newRow("a silent server times out") << "%s" << -1 << QByteArray() << "0  1";
        QTest::newRow("nobody listening") << "http://127.0.0.1:%c" << 0 << QByteArray() << "0  1";
        QTest::newRow("self-signed, not trusted") << "%t" << 200 << QByteArray() << "0  2";
        QTest::newRow("SSL_CERT_FILE") << "%t" << 200 << QByteArray() << "200  0";
        QTest::newRow("SSL_CERT_DIR") << "%t" << 200 << QByteArray() << "200  0";
    }
    void answersBecomeStatusObjectAndFailure() {
        QFETCH(QString, url);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, got);
        std::unique_ptr<HttpStub> tls;
        const QByteArray variable = QTest::currentDataTag();
        if (url == QLatin1String("%t")) {
            if (!certificate().error.isEmpty())
                QSKIP(qPrintable(certificate().error));
            tls = std::make_unique<HttpStub>(0, &certificate().server);
            url = tls->url();
        }
        if (variable.startsWith("SSL_"))
            qputenv(variable,
                    QFile::encodeName(variable == "SSL_CERT_DIR" ? certificate().dir.path()
                                                                 : certificate().file));
        const auto unset = qScopeGuard([variable] { qunsetenv(variable); });
        settings->setServerURL(url.replace(QLatin1String("%s"), stub->url())
                                   .replace(QLatin1String("%c"), closedPort()));
        (tls ? *tls : *stub).script = [&](const HttpStub::Request&) {
            return HttpStub::Reply{status, body, status < 0};
        };
        QStringList calls;
        transport->post(QStringLiteral("/api/scan"), {{QStringLiteral("value"), "é\""}},
                        [&](qint64 s, const QJsonObject& a, const Transport::Failure& f) {
                            calls << QStringLiteral("%1 %2 %3")
                                         .arg(s)
                                         .arg(a.value(QStringLiteral("message")).toString(),
                                              QString::number(f.kind));
                        });
        QCOMPARE(calls.size(), 0); // always later, on this thread
        QTRY_COMPARE_WITH_TIMEOUT(calls.size(), 1, 10000);
        QCOMPARE(calls.first(), got);
        if (status == 201) {
            const HttpStub::Request& r = stub->requests.first();
            QCOMPARE(r.target, QByteArray("/korvel/v1/api/scan"));
            QCOMPARE(r.contentType, QByteArray("application/json"));
            QCOMPARE(r.body, QByteArray("{\"value\":\"é\\\"\"}")); // compact JSON
        }
    }

    void unusableUrlsAnswerBeforePostReturnsAndSendNothing() {
        for (const char* url : {"", "//", "localhost", "http://127.0.0.1:99999", "http://a b.c"}) {
            settings->setServerURL(QString::fromLatin1(url));
            int posts = 0, gets = 0;
            transport->post(
                QStringLiteral("/api/scan"), {},
                [&](qint64 s, const QJsonObject&, const Transport::Failure&) { posts += s == 0; });
            transport->get(QStringLiteral("/api/devices/x/state"),
                           [&](qint64, const QJsonObject&, const Transport::Failure&) { ++gets; });
            QCOMPARE(posts, 1);
            QTest::qWait(0);
            QCOMPARE(gets, 0);
        }
        QVERIFY(stub->requests.isEmpty());
    }

    void everyAnswerBecomesWhatTheOperatorSees_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("left");
        QTest::addColumn<QString>("lastResult");
        QTest::addColumn<QStringList>("journal");
        const QString dash = QStringLiteral(" \u2013 ");
        QTest::newRow("201 ordinary")
            << "A1" << 201 << QByteArray(R"({"message":"Rec"})") << 0 << "Rec" << QStringList();
        QTest::newRow("200 message not a string")
            << "A1" << 200 << QByteArray(R"({"message":5})") << 0 << "" << QStringList();
        QTest::newRow("400") << "A1" << 400 << QByteArray(R"({"error":"unknown"})") << 0
                             << "Refused: A1" + dash + "unknown"
                             << QStringList{"sound:Basso",
                                            "notify:Korvel: scan refused|A1\nunknown"};
        QTest::newRow("400 error a number")
            << "KV:END" << 400 << QByteArray(R"({"error":42})") << 0 << "Refused: KV:END" + dash
            << QStringList{"sound:Basso", "notify:Korvel: scan refused|KV:END\n"};
        QTest::newRow("KV:START: accepted")
            << "KV:START:Station 4" << 200 << QByteArray(R"({"message":"Started"})") << 0
            << "Started" << QStringList{"sound:Glass", "notify:Korvel|Started"};
        QTest::newRow("KV:END accepted") << "KV:END" << 201 << QByteArray() << 0 << ""
                                         << QStringList{"sound:Glass", "notify:Korvel|"};
        for (const char* v : {"KV:START", "KV:END ", "kv:end"}) {
            QTest::addRow("%s is no command", v)
                << v << 200 << QByteArray(R"({"message":"m"})") << 0 << "m" << QStringList();
        }
        for (const int s : {401, 404, 503})
            QTest::addRow("%d keeps it", s)
                << "A1" << s << QByteArray() << 1 << QStringLiteral("Server error %1").arg(s)
                << QStringList();
    }
    void everyAnswerBecomesWhatTheOperatorSees() {
        QFETCH(QString, value);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, left);
        QFETCH(QString, lastResult);
        QFETCH(QStringList, journal);
        stub->queue("/api/scan", {status, body});
        QCOMPARE(deliver(value), left);
        QCOMPARE(delivery->lastResult(), lastResult);
        QCOMPARE(this->journal.entries, journal);
        const QJsonObject sent = json(stub->requests.last().body);
        QCOMPARE(sent, (QJsonObject{{"device_id", settings->deviceId()},
                                    {"ts", qint64(1700000000000)},
                                    {"value", value}}));
    }

    void anUntrustedCertificateReadsAsSuchOncePerChange() {
        if (!certificate().error.isEmpty())
            QSKIP(qPrintable(certificate().error));
        HttpStub tls(0, &certificate().server);
        settings->setServerURL(tls.url());
        KORVEL_EXPECT_ONE_WARNING("certificate not trusted");
        QCOMPARE(deliver(QStringLiteral("1")), 1);
        QCOMPARE(deliver(QStringLiteral("2")), 1);
        QCOMPARE(delivery->lastResult(), QStringLiteral("Server certificate not trusted"));
    }

    // The server comes up after the agent and first answers with an error: the
    // retry timer registers until a 2xx; Save registers the new name again.
    void startUpRegistersUntilAnsweredFlushesAndHints() {
        const QString port = closedPort();
        settings->setServerURL(QStringLiteral("http://127.0.0.1:") + port);
        settings->setDeviceName(QStringLiteral("Packing 1"));
        QVERIFY(QueueFile(dir.filePath(QStringLiteral("Korvel/queue.json"))).save({{"left", 3}}));
        ScriptedKeyboard keyboard;
        KORVEL_EXPECT_ONE_WARNING("unreachable");
        Agent agent(*settings, {keyboard, journal, journal}, dir.filePath(QStringLiteral("Korvel")),
                    {50ms, 20ms, 60000ms, 1000ms});
        agent.start();
        QCOMPARE(journal.entries, QStringList{"notify:Korvel Agent|Click the barcode icon in the "
                                              "menu bar and choose Detect scanner."});
        QTRY_VERIFY(agent.menuTexts().queueLine.endsWith(QLatin1String("Server unreachable")));
        const QByteArray device = "/api/devices/" + settings->deviceId().toUtf8();
        HttpStub late(static_cast<quint16>(port.toUInt()));
        late.queue(device, {503});
        QTRY_COMPARE(late.count(device), 2);
        QTRY_COMPARE(late.count("/api/scan"), 1);
        QCOMPARE(json(late.requests.first().body), (QJsonObject{{"name", "Packing 1"}}));
        agent.saveSettings(late.url() + QStringLiteral("/ "), QStringLiteral(" Packing 2\t"));
        QTRY_COMPARE(late.count(device), 3);
        QCOMPARE(json(late.requests.last().body), (QJsonObject{{"name", "Packing 2"}}));
        QCOMPARE(settings->serverURL(), late.url() + QStringLiteral("/"));
    }

    void idleSessionsAreAnnouncedOncePerNumber_data() {
        QTest::addColumn<QStringList>("sessions");
        QTest::addColumn<int>("announcements");
        QTest::newRow("17 twice, 18, 17 again") << QStringList{"17", "17", "18", "17"} << 3;
        QTest::newRow("zero, null, text, fraction")
            << QStringList{"0", "null", "\"9\"", "9.5"} << 0;
    }
    void idleSessionsAreAnnouncedOncePerNumber() {
        QFETCH(QStringList, sessions);
        QFETCH(int, announcements);
        for (const QString& session : sessions) {
            stub->queue("/api/devices/" + settings->deviceId().toUtf8() + "/state",
                        {404, "{\"idle_closed_session\":" + session.toUtf8() + "}"});
            bool answered = false;
            delivery->checkIdleClose([&] { answered = true; });
            QTRY_VERIFY(answered);
        }
        QCOMPARE(journal.entries.count(QStringLiteral("sound:Basso")), announcements);
        QCOMPARE(journal.entries.count(QStringLiteral(
                     "notify:Korvel recording stopped|No scans for a while. Scan the station QR to "
                     "start again.")),
                 announcements);
        Settings restarted; // an announced session stays announced
        QCOMPARE(restarted.alertedSession(), announcements ? 17 : 0);
    }
};

KORVEL_TEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
