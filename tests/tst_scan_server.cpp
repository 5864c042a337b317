// The reference scan server over loopback: one conversation, answer by answer.
#include "scan_server.h"
#include "support/test_main.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

class TestScanServer : public QObject {
    Q_OBJECT
    QStringList printed;
    ScanServer server{ScanServer::Options{.log = [this](const QString& l) { printed << l; }}};
    quint16 port = server.listen(QHostAddress::LocalHost, 0);
    QNetworkAccessManager network;

    // "METHOD /path body" -> "status member=value ...".
    QString call(const QString& line) {
        QNetworkRequest request(QStringLiteral("http://127.0.0.1:%1").arg(port) +
                                line.section(QLatin1Char(' '), 1, 1));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply* reply =
            network.sendCustomRequest(request, line.section(QLatin1Char(' '), 0, 0).toLatin1(),
                                      line.section(QLatin1Char(' '), 2).toUtf8());
        [&] { QTRY_VERIFY(reply->isFinished()); }();
        QString result = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString();
        const QJsonObject o = QJsonDocument::fromJson(reply->readAll()).object();
        for (auto it = o.begin(); it != o.end(); ++it) {
            // A member holding an object shows its first problem.
            const QJsonValue shown = it->isObject() ? it->toObject().value("problems")[0] : *it;
            result += QLatin1Char(' ') + it.key() + QLatin1Char('=') + shown.toVariant().toString();
        }
        reply->deleteLater();
        return result;
    }

  private Q_SLOTS:
    void aConversation() {
        const QString scan = R"(POST /api/scan {"device_id":"d1","value":"%1","ts":%2})";
        QVERIFY(call(scan.arg("400638").arg(17)).startsWith("201"));
        QVERIFY(call(scan.arg("400638").arg(17)).startsWith("200")); // resent: recorded once
        QCOMPARE(server.scans().size(), 1);
        for (const char* bad :
             {"not json", "[]", R"({"device_id":"d","value":"","ts":1})",
              R"({"device_id":"d","value":"x","ts":1.5})",
              R"({"device_id":"a/b","value":"x","ts":1})", R"({"value":"x","ts":1})"})
            QVERIFY2(call(QStringLiteral("POST /api/scan ") + bad).startsWith("400 error="), bad);
        // What the station read from a scan is printed; a member of the wrong shape refused.
        const QString details =
            "POST /api/scan {\"device_id\":\"d1\",\"value\":\"]d2x\",\"ts\":9,%1}";
        QVERIFY(
            call(details.arg("\"symbology\":\"]d2\",\"gs1\":[{\"ai\":\"01\",\"value\":\"0950\"}]"))
                .startsWith("201"));
        QCOMPARE(printed.last(), "scan d1 9 ]d2x symbology ]d2 gs1 (01)0950");
        QVERIFY(call(details.arg("\"gs1\":[{\"ai\":1,\"value\":\"x\"}]")).startsWith("400 error="));
        QVERIFY(call(scan.arg("KV:END").arg(1)).startsWith("400 error=")); // no session open
        QVERIFY(call(scan.arg("KV:START:Packing 4").arg(2)).contains("Packing 4"));
        const qint64 first = server.openSession(QStringLiteral("d1"));
        QVERIFY(first > 0);
        QVERIFY(call(scan.arg("KV:END").arg(4)).startsWith("200"));
        QCOMPARE(server.openSession(QStringLiteral("d1")), 0);
        server.setIdleClose(std::chrono::milliseconds(30)); // an idle session closes itself
        call(scan.arg("KV:START:Packing 4").arg(5));
        QTRY_COMPARE(server.openSession(QStringLiteral("d1")), 0);
        const QString state = call("GET /api/devices/d1/state");
        QVERIFY2(state.section("idle_closed_session=", 1).section(' ', 0, 0).toLongLong() > first,
                 qPrintable(state));
        QVERIFY(call(R"(POST /api/devices/d1 {"name":"Packing 2 – Süd"})").startsWith("200"));
        QVERIFY(call("GET /api/devices/d1/state").contains(" name=Packing 2 – Süd"));
        QVERIFY(call(R"(POST /api/devices/d1 {"name":5})").startsWith("400"));
        // The last status report of a station is what its state shows.
        QVERIFY(call("GET /api/devices/d1/state").endsWith(" status="));
        for (const char* problems : {"[\"Scanner unplugged\"]", "[\"Battery low\"]"})
            QVERIFY(call(QStringLiteral(R"(POST /api/devices/d1/status {"problems":%1})")
                             .arg(QLatin1String(problems)))
                        .startsWith("200"));
        QVERIFY(call("POST /api/devices/d1/status [1]").startsWith("400"));
        QCOMPARE(server.lastStatus(QStringLiteral("d1")).value("problems").toArray(),
                 QJsonArray{"Battery low"});
        QCOMPARE(call("GET /api/devices/d1/state").count("status=Battery low"), 1);
    }
};

KORVEL_TEST_MAIN(TestScanServer)
#include "tst_scan_server.moc"
