// What a scan says about itself: its AIM identifier, and its GS1 data read and checked.
#include "core/agent.h"
#include "core/delivery/queue_file.h"
#include "core/delivery/queue_store.h"
#include "core/scan_meaning/scan_meaning.h"
#include "core/settings.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace korvel::test;
using namespace scan_meaning;
using namespace std::chrono_literals;

namespace {

const QString GS(QChar(0x1D));

// "ai=value|ai=value" of the fields read.
QString fieldsOf(const Meaning& m) {
    QStringList out;
    for (const Field& f : m.fields)
        out << f.ai + QLatin1Char('=') + f.value;
    return out.join(QLatin1Char('|'));
}

} // namespace

class TestScanMeaning : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void readsWhatTheScanSays_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("apart");
        QTest::addColumn<QString>("symbology");
        QTest::addColumn<bool>("gs1");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("fault");
        const QString pack = QStringLiteral("0109506000134352");
        const auto row = [](const char* name, const QString& text, const char* symbology, bool gs1,
                            const char* fields, const char* fault = "", const char* apart = "") {
            QTest::newRow(name) << text << QString::fromLatin1(apart)
                                << QString::fromLatin1(symbology) << gs1
                                << QString::fromLatin1(fields) << QString::fromLatin1(fault);
        };
        // Labels as printed.
        row("pharmacy pack, DataMatrix", "]d2" + pack + "17261231" + "10ABC123" + GS + "21SER-45/6",
            "]d2", true, "01=09506000134352|17=261231|10=ABC123|21=SER-45/6");
        row("variable measure with a price", "]e0" + pack + "3922299" + GS + "3103001250", "]e0",
            true, "01=09506000134352|3922=299|3103=001250");
        row("GS1 Aztec, leap day", "]z1" + pack + "15240229", "]z1", true,
            "01=09506000134352|15=240229");
        row("a separator after a predefined length", "]C1" + pack + GS + "10X", "]C1", true,
            "01=09506000134352|10=X");
        row("EAN-13", "]E04006381333931", "]E0", true, "01=04006381333931");
        row("EAN-8", "]E496385074", "]E4", true, "01=00000096385074");
        row("Digital Link behind a resolver path, GTIN-13",
            "]Q1HTTPS://example.com/p/01/4006381333931/21/SN%2F1?linkType=gs1:pip&3103=000500",
            "]Q1", true, "01=04006381333931|21=SN/1|3103=000500");
        row("QR with another URL", "]Q1https://example.com/menu/01", "]Q1", false, "");
        row("Code 128 that only looks like AIs", "]C0" + pack, "]C0", false, "");
        row("no identifier", pack, "", false, "");
        row("identifier given apart", pack, "]C1", true, "01=09506000134352", "", "]C1");
        row("identifier given apart wins", "]C0" + pack, "]C1", true, "", "(): unknown AI", "]C1");
        // Malformed.
        row("GLN check digit", "]C1" + pack + "4149506000134351", "]C1", true, "01=09506000134352",
            "(414): the check digit is wrong");
        row("letter in a GTIN", "]C101095060001343A2", "]C1", true, "",
            "(01): only digits are allowed");
        row("GTIN cut by a separator", "]C10109506" + GS + "10A", "]C1", true, "",
            "(01): the data is too short");
        row("batch too long", "]C110ABCDEFGHIJKLMNOPQRSTU", "]C1", true, "",
            "(10): the data is too long");
        row("space in a serial", "]C121AB CD", "]C1", true, "",
            "(21): a character that is not allowed");
        row("29 February of a common year", "]C115250229", "]C1", true, "",
            "(15): not a valid date");
        row("day 00 where the month alone is no date", "]C1" + pack + "7006261200", "]C1", true,
            "01=09506000134352", "(7006): not a valid date");
        row("hour 24", "]C170032612312400", "]C1", true, "", "(7003): not a valid time");
        row("unknown AI", "]C1" + pack + "2312345", "]C1", true, "01=09506000134352",
            "(231): unknown AI");
        row("AI cut short", "]C10", "]C1", true, "", "(0): unknown AI");
        row("two separators", "]C110A" + GS + GS + pack, "]C1", true, "10=A",
            "(01): a separator where an AI should begin");
        row("EAN-13 check digit", "]E04006381333932", "]E0", true, "",
            "(01): the check digit is wrong");
        row("EAN-8 with a letter", "]E49638507X", "]E4", true, "", "(01): only digits are allowed");
        row("EAN-13 of 4,000 digits", "]E0" + QString(4000, QLatin1Char('4')), "]E0", true, "",
            "(01): the data is too long");
        row("Digital Link check digit", "]Q1https://id.gs1.org/01/09506000134353", "]Q1", true, "",
            "(01): the check digit is wrong");
        row("half an identifier", "]C", "", false, "");
        row("an identifier with nothing after it", "]C1", "]C1", false, "");
        row("a digit is no symbology letter", "]11" + pack, "", false, "");
    }
    void readsWhatTheScanSays() {
        QFETCH(QString, text);
        QFETCH(QString, apart);
        const Meaning m = read(text, apart);
        QTEST(m.symbology, "symbology");
        QTEST(m.gs1, "gs1");
        QTEST(fieldsOf(m), "fields");
        QTEST(m.fault.text(), "fault");
    }

    // The body carries the meaning unless switched off; a fault is told before any answer.
    void theScanBodyCarriesItsMeaningAndAFaultIsToldAtOnce_data() {
        QTest::addColumn<bool>("details");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("members"); // beyond device_id, ts and value
        QTest::addColumn<bool>("told");
        const QString bad = QStringLiteral("]d20109506000134353");
        QTest::newRow("faulty pack")
            << true << bad
            << QByteArray("{\"symbology\":\"]d2\","
                          "\"gs1Error\":\"(01): the check digit is wrong\"}")
            << true;
        QTest::newRow("faulty pack, details off") << false << bad << QByteArray("{}") << true;
        QTest::newRow("good pack")
            << true << "]d2010950600013435217261200" + GS + "10A"
            << QByteArray(
                   "{\"symbology\":\"]d2\",\"gs1\":[{\"ai\":\"01\",\"value\":\"09506000134352\"},"
                   "{\"ai\":\"17\",\"value\":\"261200\"},{\"ai\":\"10\",\"value\":\"A\"}]}")
            << false;
    }
    void theScanBodyCarriesItsMeaningAndAFaultIsToldAtOnce() {
        QFETCH(bool, details);
        QFETCH(QString, text);
        QFETCH(QByteArray, members);
        QFETCH(bool, told);
        // An administrator's choice for every user.
        const QString admin = qEnvironmentVariable("XDG_CONFIG_DIRS") + "/Korvel/Korvel Agent.conf";
        writeFile(admin, details ? QByteArray() : QByteArray("[General]\nsendScanDetails=false\n"));
        QTemporaryDir data;
        HttpStub stub;
        // The scan's answer never comes: what the operator is told comes before it.
        stub.script = [](const HttpStub::Request& r) {
            return HttpStub::Reply{.silent = r.target == "/api/scan"};
        };
        Settings settings;
        settings.reload();
        settings.setServerURL(stub.url());
        settings.setScanner(QStringLiteral("S"), QString());
        ScriptedKeyboard keyboard;
        Journal journal;
        Agent agent(
            settings, {keyboard, journal, journal}, data.path(),
            {.tick = 50ms, .retry = 60000ms, .idlePoll = 60000ms, .requestTimeout = 60000ms});
        agent.start();
        agent.capture().onScan(QStringLiteral("S"), QString(), text);
        QTRY_COMPARE(stub.count("/api/scan"), 1);
        const auto scan = std::find_if(stub.requests.begin(), stub.requests.end(),
                                       [](const auto& r) { return r.target == "/api/scan"; });
        QJsonObject body = QJsonDocument::fromJson(scan->body).object();
        QCOMPARE(body.take("value").toString(), text); // as scanned, identifier included
        body.remove("device_id");
        body.remove("ts");
        QCOMPARE(body, QJsonDocument::fromJson(members).object());
        const QStringList heard{"sound:Basso",
                                "notify:Korvel: barcode data faulty|(01): the check digit is "
                                "wrong\n]d20109506000134353"};
        QCOMPARE(journal.entries.filter(QRegularExpression("Basso|faulty")),
                 told ? heard : QStringList());
        writeFile(admin, {});
    }

    // An identifier given apart waits with its scan; files without one stay readable.
    void anIdentifierGivenApartSurvivesARestart() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("queue.json"));
        const QList<QueuedScan> scans{{"0109506000134352", 1, "]d2"}, {"]C1" + GS + "x", 2}};
        {
            ScanQueue queue(QueueFile(path), [](const QueuedScan&, ScanQueue::Completion) {});
            for (const QueuedScan& s : scans)
                queue.enqueue(s);
            queue.waitUntilSaved();
        }
        QCOMPARE(QueueStore::read(path)->scans, scans);
        {
            QueueStore store(path);
            QCOMPARE(store.load()->scans, scans);
            store.waitFor(store.compact()); // the list written whole
        }
        QVERIFY(readFile(path).contains("\"ts\":1,\"symbology\":\"]d2\"}"));
        QCOMPARE(QueueFile(path).load(), scans);
        QCOMPARE(ScanQueue(QueueFile(path), {}).items(), scans);
        QFile::remove(dir.filePath(QStringLiteral("queue.journal")));
        writeFile(path, "[{\"value\":\"older\",\"ts\":3}]");
        const QList<QueuedScan> older{{"older", 3}};
        QCOMPARE(ScanQueue(QueueFile(path), {}).items(), older);
    }
};

KORVEL_TEST_MAIN(TestScanMeaning)
#include "tst_scan_meaning.moc"
