// The agent reading scanners through HID POS (fake hidraw nodes) and USB serial
// (pseudo-terminals for ttyACM ports) on a fake device tree; detection across them.
#include "core/agent.h"
#include "core/settings.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/linux/hidpos_source.h"
#include "platform/linux/serial_source.h"
#include "support/fake_input.h"
#include "support/fakes.h"
#include "support/hid_descriptors.h"
#include "support/http_stub.h"
#include "support/test_main.h"

using namespace korvel::test;

// How many descriptors this process holds open on `path`.
static int opened(const QString& path) {
    int n = 0;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files))
        n += fd.symLinkTarget() == path;
    return n;
}

static const QString counterKey = QStringLiteral("0C2E:0B87");

class TestHidPos : public QObject {
    Q_OBJECT
    std::optional<FakeInputTree> tree; // a fresh one for each test
    Settings settings;
    Journal journal;
    HttpStub server;
    std::unique_ptr<EvdevKeyboard> keyboard;
    std::unique_ptr<HidPosSource> hidPos;
    std::unique_ptr<SerialSource> serial;
    std::unique_ptr<Agent> agent;

    QStringList queued() const { return values(agent->queue().items()); }
    // With a descriptor: hidraw0, the counter scanner's, read first.
    void startAgent(const QByteArray& descriptor = {}) {
        if (!descriptor.isNull())
            tree->addHidraw(0, descriptor);
        keyboard = std::make_unique<EvdevKeyboard>(tree->root());
        hidPos = std::make_unique<HidPosSource>(tree->root());
        serial = std::make_unique<SerialSource>(tree->root());
        agent = std::make_unique<Agent>(
            settings,
            Agent::Ports{
                *keyboard, journal, journal, {}, {}, {}, {}, {}, {hidPos.get(), serial.get()}},
            tree->root() + "/data");
        agent->start();
        QTRY_VERIFY(descriptor.isNull() || hidPos->reading(0x0C2E, 0x0B87));
    }

  private Q_SLOTS:
    void init() {
        tree.emplace();
        settings.setServerURL(QString()); // deliveries fail at once: scans stay queued
        settings.setScanner(counterKey, QStringLiteral("Counter scanner"));
        journal.entries.clear();
    }
    void cleanup() {
        agent.reset(), serial.reset(), hidPos.reset(), keyboard.reset(), tree.reset();
    }

    void reportsBecomeScans_data() {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QByteArray>("reports");
        QTest::addColumn<QString>("value");
        const QByteArray sixty = QByteArray("]C1").repeated(20);
        QTest::newRow("honeywell-style, continued, identifier kept apart")
            << honeywellStyleDescriptor()
            << honeywellReport(sixty.left(56), "]Q0", true) + honeywellReport(sixty.mid(56), "]Q0")
            << QString::fromLatin1(sixty);
        QTest::newRow("newland-style, windows-1252")
            << newlandStyleDescriptor() << newlandReport("Stra\337e\03501") << u"Straße\u001D01"_qs;
        const QByteArray plain = QByteArray("]Q3caf\xC3\xA9 42").leftJustified(36, '\0');
        QTest::newRow("plain, utf-8 up to the NUL") << plainDescriptor() << plain << u"café 42"_qs;
    }
    void reportsBecomeScans() {
        QFETCH(QByteArray, descriptor);
        QFETCH(QByteArray, reports);
        QFETCH(QString, value);
        startAgent();
        tree->addHidraw(0, descriptor); // plugged in later
        QTRY_VERIFY(hidPos->reading(0x0C2E, 0x0B87));
        tree->write("hidraw0", reports);
        QTRY_COMPARE(queued(), QStringList{value});
        QCOMPARE(agent->capture().interfaceOf(counterKey), ScannerInterface::hidPos);
    }

    // None read while no scanner is chosen; detection takes the first scan of any
    // interface, even a short one. Other hidraw devices are never opened, nor a scanner's
    // whose descriptor cannot be used (told once); the chosen scanner's keyboard
    // interface is not read beside its HID POS one, nor another scanner's.
    void detectionOpensAndReadsOnlyScanners() {
        KORVEL_EXPECT_ONE_WARNING("^HID POS scanner Counter scanner \\(0C2E:0B87\\) on hidraw2 not "
                                  "read: its report descriptor cannot be used: ");
        settings.setScanner(QString(), QString());
        tree->addHidraw(0, newlandStyleDescriptor());
        tree->addHidraw(1, keyboardDescriptor(), 0x046D, 0xC31C, "Keyboard");
        tree->addHidraw(2, honeywellStyleDescriptor().left(40));
        tree->add(1, {0x0C2E, 0x0B87, QStringLiteral("Counter scanner")});
        tree->add(2, {0x05E0, 0x1200, QStringLiteral("Keyboard scanner")});
        startAgent();
        QVERIFY(!hidPos->reading(0x0C2E, 0x0B87));
        agent->toggleDetect(); // every scanner wanted: still not the keyboard's hidraw
        QTRY_VERIFY(hidPos->reading(0x0C2E, 0x0B87));
        hidPos->follow(); // the faulty one looked at again
        // The fake tree's own writer only.
        QCOMPARE(opened(tree->root() + "/dev/hidraw1"), 1);
        QCOMPARE(opened(tree->root() + "/dev/hidraw2"), 1);
        QCOMPARE(opened(tree->root() + "/dev/hidraw0"), 2);
        tree->write("hidraw0", newlandReport("AB"));
        QTRY_COMPARE(settings.scanner(), counterKey);
        QVERIFY(journal.entries.contains(
            QStringLiteral("notify:Scanner selected|Counter scanner (0C2E:0B87)\nIt was chosen by "
                           "the barcode \"AB\", which was not sent: scan it again to send it.")));
        QCOMPARE(queued(), QStringList());
        tree->type(1, QStringLiteral("TYPED"));
        tree->type(2, QStringLiteral("4006"));
        tree->write("hidraw0", newlandReport("SENT"));
        QTRY_COMPARE(queued(), QStringList{"SENT"});
        tree->type(1, QStringLiteral("AGAIN"));
        tree->write("hidraw0", newlandReport("ONCE"));
        QTRY_COMPARE(queued(), (QStringList{"SENT", "ONCE"}));
        QVERIFY(agent->menuTexts().scannerLine.contains(QLatin1String("HID POS")));
    }

    // Dropped with a warning naming the device; the next scan is read whole.
    void badReportIsDroppedAndTold() {
        startAgent(honeywellStyleDescriptor());
        KORVEL_EXPECT_ONE_WARNING("^HID POS scanner Counter scanner \\(0C2E:0B87\\) on hidraw0 "
                                  "sent a scan that was dropped: .*a length of 60");
        QByteArray beyond = honeywellReport("abc", "]E0");
        beyond[1] = char(60);
        tree->write("hidraw0", honeywellReport("first", "]E0", true) + beyond +
                                   honeywellReport("whole", "]E0"));
        QTRY_COMPARE(queued(), QStringList{"whole"});
    }

    // The server refuses a scan: the scanner beeps its error (output report 4);
    // an accepted scan makes it do nothing.
    void refusedScanSoundsTheScannersErrorBeep_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("beep");
        QTest::newRow("refused") << 400 << QByteArray("\x04\x20", 2);
        QTest::newRow("accepted") << 200 << QByteArray();
    }
    void refusedScanSoundsTheScannersErrorBeep() {
        QFETCH(int, status);
        QFETCH(QByteArray, beep);
        server.requests.clear();
        server.queue("/api/scan", {status, "{\"message\":\"m\"}"});
        settings.setServerURL(server.url());
        startAgent(honeywellStyleDescriptor());
        tree->write("hidraw0", honeywellReport("4006381333931", "]E0"));
        QTRY_COMPARE(server.count("/api/scan"), 1);
        QTRY_VERIFY(agent->queue().items().isEmpty());
        QTRY_COMPARE(journal.entries.contains(QStringLiteral("sound:Basso")), status == 400);
        QCOMPARE(tree->read("hidraw0.out"), beep);
    }

    // Opening a port may reset a board: only the chosen scanner's ports, and during
    // detection those of scanner makers, are ever opened. Lines end by CR, LF or CR LF,
    // in pieces or several to a write; windows-1252 or utf-8.
    void serialPortsOfScannersOnlyAreRead() {
        settings.setScanner(QStringLiteral("1234:0001"), QStringLiteral("Own scanner"));
        tree->addAcm(0, 0x1234, 0x0001, QStringLiteral("Own scanner"));
        tree->addAcm(1, 0x1EAB, 0x0D10, QStringLiteral("Maker scanner"));
        tree->addAcm(2, 0x2341, 0x0043, QStringLiteral("Board"));
        startAgent();
        QTRY_COMPARE(opened(tree->acmPort(0)), 1);
        QCOMPARE(opened(tree->acmPort(1)), 0);
        agent->toggleDetect();
        QTRY_COMPARE(opened(tree->acmPort(1)), 1);
        QCOMPARE(opened(tree->acmPort(0)), 1);
        QCOMPARE(opened(tree->acmPort(2)), 0);
        tree->write("ttyACM1", "X\r");
        QTRY_COMPARE(settings.scanner(), QStringLiteral("1EAB:0D10"));
        QTRY_COMPARE(opened(tree->acmPort(0)), 0); // the former scanner let go
        QCOMPARE(opened(tree->acmPort(2)), 0);
        for (const char* bytes :
             {"12", "34", "\r", "ABC\n", "A1\r\nB2\r\n", "Stra\337e\03501\r", "caf\xC3\xA9\n"})
            tree->write("ttyACM1", bytes);
        QTRY_COMPARE(queued(),
                     (QStringList{"1234", "ABC", "A1", "B2", u"Straße\u001D01"_qs, u"café"_qs}));
        QCOMPARE(agent->capture().interfaceOf("1EAB:0D10"), ScannerInterface::serial);
    }
};

KORVEL_TEST_MAIN(TestHidPos)
#include "tst_hidpos.moc"
