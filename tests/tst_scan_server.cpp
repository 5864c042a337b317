// The reference scan server, over loopback.
#include "scan_server.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace std::chrono_literals;

class TestScanServer : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<ScanServer> server;
    QNetworkAccessManager network;
    QString base;

    std::pair<int, QJsonObject> call(const QByteArray& method, const QString& path,
                                     const QByteArray& body = {}) {
        QNetworkRequest request(QUrl(base + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply* reply = network.sendCustomRequest(request, method, body);
        std::pair<int, QJsonObject> result{-1, {}};
        connect(reply, &QNetworkReply::finished, reply, [&result, reply] {
            result = {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      QJsonDocument::fromJson(reply->readAll()).object()};
            reply->deleteLater();
        });
        [&] { QTRY_VERIFY(result.first != -1); }();
        return result;
    }
    std::pair<int, QJsonObject> scan(const QString& value, qint64 ts,
                                     const QString& device = QStringLiteral("dev-1")) {
        return call("POST", QStringLiteral("/api/scan"),
                    QJsonDocument(QJsonObject{{QStringLiteral("device_id"), device},
                                              {QStringLiteral("value"), value},
                                              {QStringLiteral("ts"), ts}})
                        .toJson(QJsonDocument::Compact));
    }

  private Q_SLOTS:
    void init() {
        server = std::make_unique<ScanServer>(ScanServer::Options{});
        const quint16 port = server->listen(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);
        base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    }

    void acceptsScansOnceAndRefusesMalformedOnes() {
        auto [status, answer] = scan(QStringLiteral("4006381333931"), 17);
        QCOMPARE(status, 201);
        QVERIFY(!answer.value(QStringLiteral("message")).toString().isEmpty());
        std::tie(status, answer) = scan(QStringLiteral("4006381333931"), 17); // resent
        QCOMPARE(status, 200);
        QCOMPARE(server->scans().size(), 1);
        for (const QByteArray& bad : {QByteArray("not json"), QByteArray("[]"),
                                      QByteArray(R"({"device_id":"d","value":"","ts":1})"),
                                      QByteArray(R"({"device_id":"d","value":"x","ts":1.5})"),
                                      QByteArray(R"({"device_id":"a/b","value":"x","ts":1})"),
                                      QByteArray(R"({"value":"x","ts":1})")}) {
            std::tie(status, answer) = call("POST", QStringLiteral("/api/scan"), bad);
            QCOMPARE(status, 400);
            QVERIFY2(answer.value(QStringLiteral("error")).isString(), bad.constData());
        }
        QCOMPARE(server->scans().size(), 1);
    }

    void sessionsOpenCloseAndCloseThemselves() {
        QCOMPARE(scan(QStringLiteral("KV:END"), 1).first, 400); // none open
        auto [status, answer] = scan(QStringLiteral("KV:START:Packing 4"), 2);
        QCOMPARE(status, 200);
        QVERIFY(answer.value(QStringLiteral("message"))
                    .toString()
                    .contains(QLatin1String("Packing 4")));
        const qint64 first = server->openSession(QStringLiteral("dev-1"));
        QVERIFY(first > 0);
        scan(QStringLiteral("123"), 3);
        QCOMPARE(server->scans().last().session, first);
        QCOMPARE(scan(QStringLiteral("KV:END"), 4).first, 200);
        QCOMPARE(server->openSession(QStringLiteral("dev-1")), 0);

        // An idle session is closed by the server and reported in the state.
        server->setIdleClose(30ms);
        scan(QStringLiteral("KV:START:Packing 4"), 5);
        const qint64 second = server->openSession(QStringLiteral("dev-1"));
        QTRY_COMPARE(server->openSession(QStringLiteral("dev-1")), 0);
        std::tie(status, answer) = call("GET", QStringLiteral("/api/devices/dev-1/state"));
        QCOMPARE(status, 200);
        QCOMPARE(answer.value(QStringLiteral("idle_closed_session")).toInteger(), second);
    }

    void remembersDeviceNames() {
        auto [status, answer] =
            call("POST", QStringLiteral("/api/devices/dev-2"), R"({"name":"Packing 2 – Süd"})");
        QCOMPARE(status, 200);
        QCOMPARE(server->deviceName(QStringLiteral("dev-2")), QStringLiteral("Packing 2 – Süd"));
        std::tie(status, answer) = call("GET", QStringLiteral("/api/devices/dev-2/state"));
        QCOMPARE(answer.value(QStringLiteral("name")).toString(),
                 QStringLiteral("Packing 2 – Süd"));
        QVERIFY(answer.value(QStringLiteral("idle_closed_session")).isNull());
        QCOMPARE(call("POST", QStringLiteral("/api/devices/dev-2"), R"({"name":5})").first, 400);
    }
};

KORVEL_TEST_MAIN(TestScanServer)
#include "tst_scan_server.moc"
