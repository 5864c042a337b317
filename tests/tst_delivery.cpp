// Delivery over real loopback connections: every kind of answer as the operator
// sees it, registration, the idle session watch.
#include "core/agent.h"
#include "core/delivery/http_client.h"
#include "core/settings.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSslKey>
#include <QTcpServer>

#include <algorithm>

using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

QString closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QString::number(probe.serverPort());
}

// A self-signed certificate for 127.0.0.1, made for the run with the openssl tool.
struct Certificate {
    QTemporaryDir dir;
    QString error = sh("cd " + dir.path() +
                       " && openssl req -x509 -days 2 -newkey ec -pkeyopt "
                       "ec_paramgen_curve:prime256v1 -nodes -subj /CN=127.0.0.1 -addext "
                       "subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem");
    QString file = dir.filePath(QStringLiteral("cert.pem"));
    QSslConfiguration server = [this] {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(file).value(0));
        tls.setPrivateKey(QSslKey(readFile(dir.filePath(QStringLiteral("key.pem"))), QSsl::Ec));
        return tls;
    }();
};

QJsonObject json(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

} // namespace

class TestDelivery : public QObject {
    Q_OBJECT
    HttpStub stub;
    Settings settings;
    HttpClient http;
    Transport transport{[this] { return settings.serverURL(); }, http, 2s};
    Journal journal;
    ScanDelivery delivery{settings, transport, journal, journal};
    QTemporaryDir dir;

  private Q_SLOTS:
    void init() {
        journal.entries.clear();
        stub.script = [](const HttpStub::Request&) { return HttpStub::Reply{}; }; // no locals
    }

    // A scan's body reads back as the same three members, whatever its text holds.
    void aScanBodyIsJsonOfTheScan_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("digits") << QStringLiteral("4006381333931");
        QTest::newRow("quote and backslash") << QStringLiteral("a\"b\\c\\\"");
        QTest::newRow("control characters") << QStringLiteral("2\0352\t\n\r\x01\x7f");
        QTest::newRow("non-ASCII") << QStringLiteral("Stra\u00dfe \u20ac \U0001F600");
        QTest::newRow("empty") << QString();
        // As a hand-edited queue file may hold them: each goes out as its escape.
        QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + QStringLiteral("a\"") +
                                                QChar(0xDFFF) + QChar(0xDBFF) +
                                                QStringLiteral("\U0001F600");
    }
    void aScanBodyIsJsonOfTheScan() {
        QFETCH(QString, value);
        const QByteArray body = ScanDelivery::scanBody("dev\"ice", {value, -1234567890123});
        // Strict readers refuse raw control characters, which Qt's reader takes.
        QVERIFY(std::none_of(body.begin(), body.end(), [](char c) { return uchar(c) < 0x20; }));
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(doc.object(),
                 (QJsonObject{
                     {"device_id", "dev\"ice"}, {"value", value}, {"ts", qint64(-1234567890123)}}));
    }

    // Each row: the answer, how many scans wait afterwards, then the menu's last
    // result followed by the sounds and notifications.
    void everyAnswerBecomesWhatTheOperatorSees_data() {
        QTest::addColumn<QString>("url"); // %s the stub, %t a TLS stub, %c a closed port
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("status"); // -1: the server never answers
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("left");
        QTest::addColumn<QStringList>("seen");
        const QString dash = QStringLiteral(" \u2013 ");
        const QByteArray bound(Transport::kMaxAnswerBytes - 20, 'y');
        const auto row = [](const char* name, const char* url, const char* value, int status,
                            const QByteArray& body, int left, const QStringList& seen) {
            QTest::newRow(name) << url << value << status << body << left << seen;
        };
        row("201, prefix kept, slashes and spaces trimmed", " %s/korvel/v1/// ", "é\"", 201,
            R"({"message":"Rec"})", 0, {"Rec"});
        row("200, message not a string", "%s", "A1", 200, R"({"message":5})", 0, {""});
        row("200 array", "%s", "A1", 200, "[1]", 0, {""});
        row("400", "%s", "A1", 400, R"({"error":"unknown"})", 0,
            {"Refused: A1" + dash + "unknown", "sound:Basso",
             "notify:Korvel: scan refused|A1\nunknown"});
        row("400, error a number", "%s", "KV:END", 400, R"({"error":42})", 0,
            {"Refused: KV:END" + dash, "sound:Basso", "notify:Korvel: scan refused|KV:END\n"});
        row("400 at the answer bound", "%s", "A1", 400, "{\"error\":\"" + bound + "\"}", 0,
            {"Refused: A1" + dash + bound, "sound:Basso",
             "notify:Korvel: scan refused|A1\n" + bound});
        row("200 over the bound", "%s", "A1", 200, "{\"message\":\"" + bound + bound + "\"}", 0,
            {""});
        row("KV:START accepted", "%s", "KV:START:Station 4", 200, R"({"message":"Started"})", 0,
            {"Started", "sound:Glass", "notify:Korvel|Started"});
        row("KV:END accepted", "%s", "KV:END", 201, "", 0, {"", "sound:Glass", "notify:Korvel|"});
        for (const char* v : {"KV:START", "KV:END ", "kv:end"})
            row(v, "%s", v, 200, R"({"message":"m"})", 0, {"m"});
        for (const int s : {302, 401, 404, 500, 503})
            QTest::addRow("%d", s) << "%s"
                                   << "A1" << s << QByteArray("<html>") << 1
                                   << QStringList{QStringLiteral("Server error %1").arg(s)};
        row("a silent server times out", "%s", "A1", -1, "", 1, {"Server unreachable"});
        row("nobody listening", "http://127.0.0.1:%c", "A1", 0, "", 1, {"Server unreachable"});
        for (const char* url : {"", "//", "localhost", "http://127.0.0.1:99999", "http://a b.c"})
            row(url, url, "A1", 0, "", 1, {"Server unreachable"});
        row("self-signed", "%t", "A1", 200, "", 1, {"Server certificate not trusted"});
        row("SSL_CERT_FILE", "%t", "A1", 200, "", 0, {""});
        row("SSL_CERT_DIR", "%t", "A1", 200, "", 0, {""});
        row("SSL_CERT_FILE=key.pem", "%t", "A1", 200, "", 1, {"Server certificate not trusted"});
    }
    void everyAnswerBecomesWhatTheOperatorSees() {
        QFETCH(QString, url);
        QFETCH(QString, value);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, left);
        QFETCH(QStringList, seen);
        static const Certificate certificate;
        std::unique_ptr<HttpStub> tls;
        if (url == QLatin1String("%t")) {
            if (!certificate.error.isEmpty())
                QSKIP(qPrintable(certificate.error));
            tls = std::make_unique<HttpStub>(0, &certificate.server);
            url = tls->url();
        }
        const QList<QByteArray> tag = QByteArray(QTest::currentDataTag()).split('=');
        const QByteArray variable = tag.first();
        if (tag.size() > 1) { // told once that it loaded nothing
            KORVEL_EXPECT_ONE_WARNING("SSL_CERT_FILE .*key.pem loaded no certificate");
            qputenv(variable, QFile::encodeName(certificate.dir.filePath(tag.last())));
        } else if (variable.startsWith("SSL_")) {
            qputenv(variable, QFile::encodeName(variable == "SSL_CERT_DIR" ? certificate.dir.path()
                                                                           : certificate.file));
        }
        const auto unset = qScopeGuard([variable] { qunsetenv(variable); });
        settings.setServerURL(
            url.replace(QLatin1String("%s"), stub.url()).replace("%c", closedPort()));
        HttpStub& server = tls ? *tls : stub;
        server.requests.clear();
        server.script = [&](const HttpStub::Request&) {
            return HttpStub::Reply{status, body, status < 0};
        };
        QFile::remove(dir.filePath(QStringLiteral("q.json")));
        ScanQueue queue(QueueFile(dir.filePath(QStringLiteral("q.json"))),
                        [this](const QueuedScan& s, ScanQueue::Completion d) {
                            delivery.send(s, std::move(d));
                        });
        queue.onDone = [this](const QueuedScan& s, SendOutcome o, const QString& m) {
            delivery.onDone(s, o, m);
        };
        queue.enqueue({value, 1700000000000});
        queue.flush();
        QTRY_VERIFY_WITH_TIMEOUT(!queue.flushing(), 10000);
        QCOMPARE(queue.items().size(), left);
        QCOMPARE(QStringList{delivery.lastResult()} + journal.entries, seen);
        if (status <= 0 || seen.first().startsWith("Server certificate"))
            return;
        const HttpStub::Request& r = server.requests.first();
        QCOMPARE(r.target, url.contains("/v1") ? "/korvel/v1/api/scan" : "/api/scan");
        QCOMPARE(r.contentType, "application/json");
        QCOMPARE(r.body, QJsonDocument(QJsonObject{{"device_id", settings.deviceId()},
                                                   {"ts", qint64(1700000000000)},
                                                   {"value", value}})
                             .toJson(QJsonDocument::Compact));
    }

    // The server comes up after the agent and first answers with an error: the
    // retry timer registers until a 2xx; Save registers the new name again.
    void startUpRegistersUntilAnsweredFlushesAndHints() {
        const QString port = closedPort();
        settings.setServerURL(QStringLiteral("http://127.0.0.1:") + port);
        settings.setDeviceName(QStringLiteral("Packing 1"));
        QVERIFY(QueueFile(dir.filePath(QStringLiteral("Korvel/queue.json"))).save({{"left", 3}}));
        ScriptedKeyboard keyboard;
        KORVEL_EXPECT_ONE_WARNING("unreachable"); // told once per change, not per attempt
        Agent agent(settings, {keyboard, journal, journal}, dir.filePath(QStringLiteral("Korvel")),
                    {.tick = 50ms, .retry = 20ms, .idlePoll = 60000ms, .requestTimeout = 1000ms});
        agent.start();
        QCOMPARE(journal.entries,
                 QStringList{"notify:Korvel Agent|Next, the scanner: choose Detect scanner in "
                             "the Korvel Agent window, then scan any barcode."});
        QTRY_VERIFY(agent.menuTexts().queueLine.endsWith(QLatin1String("Server unreachable")));
        const QByteArray device = "/api/devices/" + settings.deviceId().toUtf8();
        HttpStub late(static_cast<quint16>(port.toUInt()));
        late.queue(device, {503});
        QTRY_COMPARE(late.count(device), 2);
        QTRY_COMPARE(late.count("/api/scan"), 1);
        QCOMPARE(json(late.requests.first().body), (QJsonObject{{"name", "Packing 1"}}));
        agent.saveSettings(late.url() + QStringLiteral("/ "), QStringLiteral(" Packing 2\t"));
        QTRY_COMPARE(late.count(device), 3);
        const auto registration = std::find_if(late.requests.rbegin(), late.requests.rend(),
                                               [&](auto& r) { return r.target == device; });
        QCOMPARE(json(registration->body), (QJsonObject{{"name", "Packing 2"}}));
        QCOMPARE(settings.serverURL(), late.url() + QStringLiteral("/"));
        // Another program rewrites the file: the retry timer reads it afresh, and the
        // device registers at the new server.
        HttpStub moved;
        const QString file = settings.store().fileName();
        writeFile(file, readFile(file).replace(late.url().toUtf8(), moved.url().toUtf8() + "/k"));
        QTRY_COMPARE(moved.count("/k" + device), 1);
    }

    // Until the station is set up, start-up names the one step that works now; the
    // menu's server line says what the server setting is worth.
    void firstRunSaysTheNextStepThatWorks_data() {
        QTest::addColumn<bool>("access");
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<QString>("url");        // "-": never set, %s: the stub
        QTest::addColumn<QString>("hint");       // how the notification starts; empty: none
        QTest::addColumn<QString>("serverLine"); // %h: the stub's host and port
        const auto row = [](const char* name, bool access, const char* scanner, const char* url,
                            const char* hint, const char* line) {
            QTest::newRow(name) << access << QString(scanner) << QString(url) << QString(hint)
                                << QString::fromUtf8(line);
        };
        const char* notSet = "Server not set yet: see Settings…";
        row("no access", false, "", "-", "Korvel Agent may not read", notSet);
        row("no scanner", true, "", "%s", "Next, the scanner", "Server: %h · reached");
        row("no server", true, "05E0:1200", "-", "Next, the server", notSet);
        row("no scheme", true, "05E0:1200", "scans:3000", "Next, the server",
            "Server address not usable: see Settings…");
        row("unreachable", true, "05E0:1200", "http://127.0.0.1:1", "",
            "Server: 127.0.0.1:1 · not reached yet");
        row("set up", true, "05E0:1200", "%s", "", "Server: %h · reached");
    }
    void firstRunSaysTheNextStepThatWorks() {
        QFETCH(bool, access);
        QFETCH(QString, scanner);
        QFETCH(QString, url);
        QFETCH(QString, hint);
        QFETCH(QString, serverLine);
        settings.store().clear();
        if (url != u"-")
            settings.setServerURL(url.replace("%s", stub.url()));
        settings.setScanner(scanner, QStringLiteral("S"));
        ScriptedKeyboard keyboard;
        keyboard.granted = access;
        Agent agent(settings, {keyboard, journal, journal}, dir.filePath(QStringLiteral("Korvel")),
                    {.tick = 50ms, .retry = 20ms, .idlePoll = 60000ms, .requestTimeout = 1000ms});
        agent.start();
        QCOMPARE(journal.entries.size(), hint.isEmpty() ? 0 : 1);
        QVERIFY(hint.isEmpty() || journal.entries[0].startsWith("notify:Korvel Agent|" + hint));
        QTRY_COMPARE(agent.menuTexts().serverLine,
                     serverLine.replace("%h", QUrl(stub.url()).authority()));
        keyboard.granted = true; // the administrator did his part: the step after it
        agent.takeSlowStates();
        QCOMPARE(journal.entries.size(), hint.isEmpty() ? 0 : access ? 1 : 2);
        QVERIFY(access ||
                journal.entries[1].contains("Keyboard access granted. Next, the scanner"));
    }

    // A layout setting of any length is told once, shortened, never whole.
    void anUnknownLayoutIsToldOnceAndShortened() {
        settings.setServerURL(stub.url());
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("S"));
        const QString hostile(200000, u'x');
        settings.setScannerLayout(hostile);
        KORVEL_EXPECT_ONE_WARNING("^scanner layout \"x{59}\u2026\" is unknown");
        ScriptedKeyboard keyboard;
        Agent agent(settings, {keyboard, journal, journal}, dir.filePath(QStringLiteral("Korvel")));
        agent.start();
        agent.saveSettings(stub.url(), QStringLiteral("P"), hostile);
        QCOMPARE(journal.entries.size(), 1);
        QVERIFY(journal.entries[0].startsWith("notify:Korvel Agent: scanner layout unknown|"));
        QVERIFY(journal.entries[0].size() < 300 && agent.menuTexts().scannerLine.size() < 200);
    }

    void idleSessionsAreAnnouncedOncePerNumber() {
        settings.setServerURL(stub.url());
        settings.setAlertedSession(0);
        for (const char* session : {"0", "null", "\"9\"", "9.5", "17", "17", "18", "17"}) {
            stub.queue("/api/devices/" + settings.deviceId().toUtf8() + "/state",
                       {404, QByteArray("{\"idle_closed_session\":") + session + "}"});
            bool answered = false;
            delivery.checkIdleClose([&] { answered = true; });
            QTRY_VERIFY(answered);
        }
        const QString stopped = QStringLiteral("notify:Korvel recording stopped|No scans for a "
                                               "while. Scan the station QR to start again.");
        QCOMPARE(journal.entries, (QStringList{"sound:Basso", stopped, "sound:Basso", stopped,
                                               "sound:Basso", stopped}));
        QCOMPARE(Settings().alertedSession(), 17); // an announced session stays announced
    }
};

KORVEL_TEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
