// Requests over a real loopback connection to a scripted server.
#include "delivery/transport.h"
#include "shell/settings.h"
#include "support/http_stub.h"
#include "support/test_authority.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QThread>

using namespace korvel::test;
using namespace std::chrono_literals;

namespace {
struct Result {
    int calls = 0;
    qint64 status = -1;
    QJsonObject answer;
    Transport::Failure failure;
    bool onMainThread = false;
};
} // namespace

class TestTransport : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<Settings> settings;
    std::unique_ptr<QNetworkAccessManager> network;
    std::unique_ptr<Transport> transport;
    std::unique_ptr<HttpStub> stub;

    Transport::Done into(Result& r) {
        return [&r](qint64 status, const QJsonObject& answer, const Transport::Failure& failure) {
            ++r.calls;
            r.status = status;
            r.answer = answer;
            r.failure = failure;
            r.onMainThread = QThread::currentThread() == qApp->thread();
        };
    }
    Result postAndWait(const QJsonObject& body = {{QStringLiteral("k"), 1}}) {
        Result r;
        transport->post(QStringLiteral("/api/scan"), body, into(r));
        [&] { QTRY_COMPARE_WITH_TIMEOUT(r.calls, 1, 10000); }();
        return r;
    }

  private Q_SLOTS:
    void init() {
        settings = std::make_unique<Settings>();
        settings->store().clear();
        network = std::make_unique<QNetworkAccessManager>();
        transport = std::make_unique<Transport>(*settings, *network, 300ms);
        stub = std::make_unique<HttpStub>();
        settings->setServerURL(stub->url());
    }

    void serverBaseTrimsOnlySlashesAndSpaces() {
        QCOMPARE(Transport::serverBase(QStringLiteral(" http://h:3000// ")),
                 QStringLiteral("http://h:3000"));
        QCOMPARE(Transport::serverBase(QStringLiteral("/\thttp://h\n/")),
                 QStringLiteral("\thttp://h\n"));
        QCOMPARE(Transport::serverBase(QStringLiteral("///")), QString());
    }

    void requestCarriesJsonToTheTrimmedBaseAndPrefix_data() {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("plain") << "" << QByteArray("/api/scan");
        QTest::newRow("slashes and spaces") << "///  " << QByteArray("/api/scan");
        QTest::newRow("path prefix") << "/korvel/v1/" << QByteArray("/korvel/v1/api/scan");
    }
    void requestCarriesJsonToTheTrimmedBaseAndPrefix() {
        QFETCH(QString, suffix);
        QFETCH(QByteArray, target);
        settings->setServerURL(QStringLiteral("  ") + stub->url() + suffix);
        stub->queue(target, HttpStub::json(201, R"({"message":"ok","n":[1]})"));
        const Result r = postAndWait(
            {{QStringLiteral("value"), QStringLiteral("é\"")}, {QStringLiteral("ts"), 5}});
        QCOMPARE(r.status, 201);
        QCOMPARE(r.answer.value(QStringLiteral("message")).toString(), QStringLiteral("ok"));
        QVERIFY(r.onMainThread);
        QCOMPARE(stub->requests.size(), 1);
        const HttpStub::Request& req = stub->requests.first();
        QCOMPARE(req.method, QByteArray("POST"));
        QCOMPARE(req.target, target);
        QCOMPARE(req.headers.value("content-type"), QByteArray("application/json"));
        QVERIFY(!req.body.contains('\n'));
        QCOMPARE(QJsonDocument::fromJson(req.body).object().value(QStringLiteral("ts")).toInteger(),
                 5);
    }

    void answersThatAreNoObjectGiveAnEmptyOne_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("200 empty") << 200 << QByteArray() << QByteArray("application/json");
        QTest::newRow("200 array") << 200 << QByteArray("[1,2]") << QByteArray("application/json");
        QTest::newRow("200 scalar") << 200 << QByteArray("7") << QByteArray("application/json");
        QTest::newRow("500 html") << 500 << QByteArray("<html>oops</html>")
                                  << QByteArray("text/html");
        QTest::newRow("404 text") << 404 << QByteArray("not here") << QByteArray("text/plain");
        QTest::newRow("302 redirect is not followed")
            << 302 << QByteArray() << QByteArray("text/plain");
        const QByteArray huge =
            "{\"message\":\"" + QByteArray(Transport::kMaxAnswerBytes, 'x') + "\"}";
        QTest::newRow("200 object over the bound") << 200 << huge << QByteArray("application/json");
        QTest::newRow("400 object over the bound") << 400 << huge << QByteArray("application/json");
    }
    void answersThatAreNoObjectGiveAnEmptyOne() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, type);
        stub->queue("/api/scan", {status, body, type, false});
        const Result r = postAndWait();
        QCOMPARE(r.status, status);
        QVERIFY(r.answer.isEmpty());
        QCOMPARE(stub->requests.size(), 1);
    }

    void errorAnswersAreDecodedToo() {
        stub->queue("/api/scan", HttpStub::json(400, R"({"error":"bad"})"));
        const Result r = postAndWait();
        QCOMPARE(r.status, 400);
        QCOMPARE(r.answer.value(QStringLiteral("error")).toString(), QStringLiteral("bad"));
        // Right at the bound an answer is still read whole.
        const QByteArray filler(Transport::kMaxAnswerBytes - 20, 'y');
        stub->queue("/api/scan", HttpStub::json(400, "{\"error\":\"" + filler + "\"}"));
        QCOMPARE(postAndWait().answer.value(QStringLiteral("error")).toString().size(),
                 filler.size());
    }

    void nothingListeningIsStatusZeroLater() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        settings->setServerURL(QStringLiteral("http://127.0.0.1:%1").arg(port));
        Result r;
        transport->post(QStringLiteral("/api/scan"), {}, into(r));
        QCOMPARE(r.calls, 0); // not before post returns
        QTRY_COMPARE(r.calls, 1);
        QCOMPARE(r.status, 0);
        QVERIFY(r.answer.isEmpty());
        QCOMPARE(r.failure.kind, Transport::Failure::unreachable);
        QVERIFY(r.onMainThread);
    }

    // A server with a certificate from a private authority: untrusted, and said so,
    // until the authority is named the way OpenSSL-based programs take it.
    void aPrivateAuthorityIsTrustedOnlyWhenNamed_data() {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("not named") << QString() << false;
        QTest::newRow("SSL_CERT_FILE") << QStringLiteral("SSL_CERT_FILE") << true;
        QTest::newRow("SSL_CERT_DIR") << QStringLiteral("SSL_CERT_DIR") << true;
    }
    void aPrivateAuthorityIsTrustedOnlyWhenNamed() {
        QFETCH(QString, variable);
        QFETCH(bool, trusted);
        static const TestAuthority authority;
        if (!authority.error.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no test authority: ") + authority.error));
        HttpStub tls(0, &authority.server);
        settings->setServerURL(tls.url());
        const QString value = variable == QLatin1String("SSL_CERT_DIR")
                                  ? QFileInfo(authority.caFile).absolutePath()
                                  : authority.caFile;
        if (!variable.isEmpty())
            qputenv(variable.toLatin1(), value.toLocal8Bit());
        const auto unset = qScopeGuard([&] {
            qunsetenv("SSL_CERT_FILE");
            qunsetenv("SSL_CERT_DIR");
        });
        const Result r = postAndWait();
        if (trusted) {
            QCOMPARE(r.status, 200);
            QCOMPARE(r.failure.kind, Transport::Failure::none);
        } else {
            QCOMPARE(r.status, 0);
            QCOMPARE(r.failure.kind, Transport::Failure::certificate);
            QVERIFY(tls.requests.isEmpty());
        }
    }

    void aSilentServerTimesOutAsStatusZero() {
        stub->script = [](const HttpStub::Request&) { return HttpStub::Reply{200, {}, {}, true}; };
        const Result r = postAndWait();
        QCOMPARE(r.status, 0);
        QCOMPARE(stub->requests.size(), 1);
    }

    void unusableUrlsAnswerBeforePostReturns_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << QString();
        QTest::newRow("only slashes") << QStringLiteral("//");
        QTest::newRow("no scheme") << QStringLiteral("localhost");
        QTest::newRow("bad port") << QStringLiteral("http://127.0.0.1:99999");
        QTest::newRow("space inside") << QStringLiteral("http://exa mple.com");
    }
    void unusableUrlsAnswerBeforePostReturns() {
        QFETCH(QString, url);
        settings->setServerURL(url);
        Result r;
        transport->post(QStringLiteral("/api/scan"), {}, into(r));
        QCOMPARE(r.calls, 1);
        QCOMPARE(r.status, 0);
        Result g;
        transport->get(QStringLiteral("/api/devices/x/state"), into(g));
        QTest::qWait(0);
        QCOMPARE(g.calls, 0); // the state poll just does not happen
        QVERIFY(stub->requests.isEmpty());
    }

    void noServerURLStoredMeansTheLocalDefault() {
        settings->store().remove(QStringLiteral("serverURL"));
        QCOMPARE(Transport::serverBase(settings->serverURL()),
                 QStringLiteral("http://localhost:3000"));
    }
};

KORVEL_TEST_MAIN(TestTransport)
#include "tst_transport.moc"
