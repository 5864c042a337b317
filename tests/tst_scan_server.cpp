// The reference scan server over loopback: one conversation, answer by answer.
#include "scan_server.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace std::chrono_literals;

class TestScanServer : public QObject {
    Q_OBJECT
    ScanServer server{ScanServer::Options{}};
    QNetworkAccessManager network;

    // "METHOD /path body" -> "status" or "status member=value".
    QString call(const QString& line) {
        const QString body = line.section(QLatin1Char(' '), 2);
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port) +
                                     line.section(QLatin1Char(' '), 1, 1)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply* reply = network.sendCustomRequest(
            request, line.section(QLatin1Char(' '), 0, 0).toLatin1(), body.toUtf8());
        QString result;
        connect(reply, &QNetworkReply::finished, reply, [&result, reply] {
            const QJsonObject o = QJsonDocument::fromJson(reply->readAll()).object();
            result = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString();
            for (const QString& key : o.keys())
                result +=
                    QLatin1Char(' ') + key + QLatin1Char('=') + o.value(key).toVariant().toString();
            reply->deleteLater();
        });
        [&] { QTRY_VERIFY(!result.isEmpty()); }();
        return result;
    }
    quint16 port = 0;

  private Q_SLOTS:
    void initTestCase() { port = server.listen(QHostAddress::LocalHost, 0); }

    void aConversation() {
        const QString scan =
            QStringLiteral(R"(POST /api/scan {"device_id":"d1","value":"%1","ts":%2})");
        QCOMPARE(call(scan.arg("400638").arg(17)).left(3), QStringLiteral("201"));
        QCOMPARE(call(scan.arg("400638").arg(17)).left(3), QStringLiteral("200")); // resent: once
        QCOMPARE(server.scans().size(), 1);
        for (const char* bad :
             {"not json", "[]", R"({"device_id":"d","value":"","ts":1})",
              R"({"device_id":"d","value":"x","ts":1.5})",
              R"({"device_id":"a/b","value":"x","ts":1})", R"({"value":"x","ts":1})"})
            QVERIFY2(call(QStringLiteral("POST /api/scan ") + bad).startsWith("400 error="), bad);
        QVERIFY(call(scan.arg("KV:END").arg(1)).startsWith("400 error=")); // no session open
        QVERIFY(call(scan.arg("KV:START:Packing 4").arg(2)).contains("Packing 4"));
        const qint64 first = server.openSession(QStringLiteral("d1"));
        QVERIFY(first > 0);
        QCOMPARE(call(scan.arg("KV:END").arg(4)).left(3), QStringLiteral("200"));
        QCOMPARE(server.openSession(QStringLiteral("d1")), 0);
        server.setIdleClose(30ms); // an idle session closes itself and is reported
        call(scan.arg("KV:START:Packing 4").arg(5));
        QTRY_COMPARE(server.openSession(QStringLiteral("d1")), 0);
        const QString state = call("GET /api/devices/d1/state");
        QVERIFY2(state.section(QLatin1String("idle_closed_session="), 1)
                         .section(' ', 0, 0)
                         .toLongLong() > first,
                 qPrintable(state));
        QCOMPARE(call(R"(POST /api/devices/d1 {"name":"Packing 2 – Süd"})").left(3),
                 QStringLiteral("200"));
        QVERIFY(
            call("GET /api/devices/d1/state").contains(QStringLiteral(" name=Packing 2 – Süd ")));
        QVERIFY(call(R"(POST /api/devices/d1 {"name":5})").startsWith("400"));
    }
};

KORVEL_TEST_MAIN(TestScanServer)
#include "tst_scan_server.moc"
