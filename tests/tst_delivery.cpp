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

const TestAuthority& authority() {
    static const TestAuthority a;
    return a;
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

    // One scan through a queue: the outcome as the operator sees it.
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
        QTest::addColumn<QString>("url");         // %s the stub, %t a TLS stub, %c a closed port
        QTest::addColumn<QByteArray>("variable"); // names the test authority
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("got");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("failure");
        const QByteArray huge =
            "{\"message\":\"" + QByteArray(Transport::kMaxAnswerBytes, 'x') + "\"}";
        const QByteArray bound =
            "{\"message\":\"" + QByteArray(Transport::kMaxAnswerBytes - 20, 'y') + "\"}";
        QTest::newRow("prefix kept, slashes and spaces trimmed")
            << " %s/korvel/v1/// " << QByteArray() << 201 << QByteArray(R"({"message":"ok"})")
            << 201 << "ok" << 0;
        QTest::newRow("200 empty") << "%s" << QByteArray() << 200 << QByteArray() << 200 << "" << 0;
        QTest::newRow("200 array")
            << "%s" << QByteArray() << 200 << QByteArray("[1]") << 200 << "" << 0;
        QTest::newRow("500 html") << "%s" << QByteArray() << 500 << QByteArray("<html>") << 500
                                  << "" << 0;
        QTest::newRow("302 not followed")
            << "%s" << QByteArray() << 302 << QByteArray() << 302 << "" << 0;
        QTest::newRow("over the bound") << "%s" << QByteArray() << 200 << huge << 200 << "" << 0;
        QTest::newRow("at the bound") << "%s" << QByteArray() << 400 << bound << 400
                                      << QString(Transport::kMaxAnswerBytes - 20, u'y') << 0;
        QTest::newRow("a silent server times out")
            << "%s" << QByteArray() << -1 << QByteArray() << 0 << ""
            << int(Transport::Failure::unreachable);
        QTest::newRow("nobody listening")
            << "http://127.0.0.1:%c" << QByteArray() << 0 << QByteArray() << 0 << ""
            << int(Transport::Failure::unreachable);
        QTest::newRow("private authority not named")
            << "%t" << QByteArray() << 200 << QByteArray() << 0 << ""
            << int(Transport::Failure::certificate);
        QTest::newRow("SSL_CERT_FILE")
            << "%t" << QByteArray("SSL_CERT_FILE") << 200 << QByteArray() << 200 << "" << 0;
        QTest::newRow("SSL_CERT_DIR")
            << "%t" << QByteArray("SSL_CERT_DIR") << 200 << QByteArray() << 200 << "" << 0;
    }
    void answersBecomeStatusObjectAndFailure() {
        QFETCH(QString, url);
        QFETCH(QByteArray, variable);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, got);
        QFETCH(QString, message);
        QFETCH(int, failure);
        std::unique_ptr<HttpStub> tls;
        if (url.contains(QLatin1String("%t"))) {
            if (!authority().error.isEmpty())
                QSKIP(qPrintable(authority().error));
            tls = std::make_unique<HttpStub>(0, &authority().server);
            url.replace(QLatin1String("%t"), tls->url());
        }
        if (!variable.isEmpty()) {
            qputenv(variable, QFile::encodeName(variable == "SSL_CERT_DIR" ? authority().dir.path()
                                                                           : authority().caFile));
        }
        const auto unset = qScopeGuard([] {
            qunsetenv("SSL_CERT_FILE");
            qunsetenv("SSL_CERT_DIR");
        });
        settings->setServerURL(url.replace(QLatin1String("%s"), stub->url())
                                   .replace(QLatin1String("%c"), closedPort()));
        HttpStub& server = tls ? *tls : *stub;
        server.script = [&](const HttpStub::Request&) {
            return HttpStub::Reply{status, body, "application/json", status < 0};
        };
        int calls = 0;
        qint64 gotStatus = -1;
        QJsonObject answer;
        Transport::Failure gotFailure;
        transport->post(QStringLiteral("/api/scan"), {{QStringLiteral("value"), "é\""}},
                        [&](qint64 s, const QJsonObject& a, const Transport::Failure& f) {
                            ++calls, gotStatus = s, answer = a, gotFailure = f;
                        });
        QCOMPARE(calls, 0); // always later, on this thread
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);
        QCOMPARE(gotStatus, got);
        QCOMPARE(answer.value(QStringLiteral("message")).toString(), message);
        QCOMPARE(int(gotFailure.kind), failure);
        if (got == 201) {
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
        QCOMPARE(sent.keys(), (QStringList{"device_id", "ts", "value"}));
        QCOMPARE(sent.value(QStringLiteral("device_id")).toString(), settings->deviceId());
        QCOMPARE(sent.value(QStringLiteral("ts")).toInteger(), 1700000000000);
    }

    void anUntrustedCertificateReadsAsSuchOncePerChange() {
        if (!authority().error.isEmpty())
            QSKIP(qPrintable(authority().error));
        HttpStub tls(0, &authority().server);
        settings->setServerURL(tls.url());
        LogCapture log("korvel.server");
        QCOMPARE(deliver(QStringLiteral("1")), 1);
        QCOMPARE(deliver(QStringLiteral("2")), 1);
        QCOMPARE(delivery->lastResult(), QStringLiteral("Server certificate not trusted"));
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.first().contains(QLatin1String("certificate not trusted")));
    }

    // The server comes up after the agent and first answers with an error: the
    // retry timer registers until a 2xx; Save registers the new name again.
    void startUpRegistersUntilAnsweredFlushesAndHints() {
        const QString port = closedPort();
        settings->setServerURL(QStringLiteral("http://127.0.0.1:") + port);
        settings->setDeviceName(QStringLiteral("Packing 1"));
        QVERIFY(QueueFile(dir.filePath(QStringLiteral("Korvel/queue.json"))).save({{"left", 3}}));
        ScriptedKeyboard keyboard;
        LogCapture log("korvel.server");
        Agent agent(*settings, {keyboard, journal, journal}, dir.filePath(QStringLiteral("Korvel")),
                    {50ms, 20ms, 60000ms, 1000ms});
        agent.start();
        QCOMPARE(journal.entries, QStringList{"notify:Korvel Agent|Click the barcode icon in the "
                                              "menu bar and choose Detect scanner."});
        QTRY_COMPARE(log.lines.size(), 1); // nobody there yet
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
        QTest::addColumn<QByteArrayList>("bodies");
        QTest::addColumn<int>("announcements");
        QTest::newRow("17 twice, 18, 17 again")
            << QByteArrayList{R"({"idle_closed_session":17})", R"({"idle_closed_session":17})",
                              R"({"idle_closed_session":18})", R"({"idle_closed_session":17})"}
            << 3;
        QTest::newRow("zero, null, text, fraction, array")
            << QByteArrayList{R"({"idle_closed_session":0})", R"({"idle_closed_session":null})",
                              R"({"idle_closed_session":"9"})", R"({"idle_closed_session":9.5})",
                              "[9]"}
            << 0;
    }
    void idleSessionsAreAnnouncedOncePerNumber() {
        QFETCH(QByteArrayList, bodies);
        QFETCH(int, announcements);
        for (const QByteArray& body : bodies) {
            stub->queue("/api/devices/" + settings->deviceId().toUtf8() + "/state", {404, body});
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
