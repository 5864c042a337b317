// Routing of key events to buffers and scanner detection, fed event by event.
#include "capture/scan_capture.h"
#include "shell/settings.h"
#include "support/recorders.h"
#include "support/test_main.h"

using namespace korvel::test;

namespace {

constexpr quint32 ScannerVendor = 0x00FF, ScannerProduct = 0x000A;
constexpr quint32 KeyboardVendor = 0x046D, KeyboardProduct = 0xC31C;

KeyEvent key(int usage, int value, qint64 t, quint32 vendor = ScannerVendor,
             quint32 product = ScannerProduct, QString name = QStringLiteral("Barcode Reader")) {
    KeyEvent e;
    e.usagePage = 7;
    e.usage = usage;
    e.value = value;
    e.timeMs = t;
    e.vendor = vendor;
    e.product = product;
    e.name = name;
    return e;
}

// Usages of "1".."9","0" are 30..39; letters a.. are 4..
int usageOf(QChar c) {
    if (c == u'0')
        return 39;
    if (c.isDigit())
        return 30 + (c.toLatin1() - '1');
    return 4 + (c.toLatin1() - 'a');
}

} // namespace

class TestScanCapture : public QObject {
    Q_OBJECT
  private:
    Journal journal;
    RecordingNotifier notifier{journal};
    RecordingSounds sounds{journal};
    ScriptedKeyboard keyboard;
    QList<QueuedScan> delivered;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<ScanCapture> capture;

    void type(const QString& text, qint64 t, quint32 vendor = ScannerVendor,
              quint32 product = ScannerProduct, bool enter = true) {
        for (const QChar c : text) {
            capture->onValue(key(usageOf(c), 1, t, vendor, product));
            capture->onValue(key(usageOf(c), 0, t + 1, vendor, product));
            t += 5;
        }
        if (enter)
            capture->onValue(key(40, 1, t, vendor, product));
    }
    QStringList values() const {
        QStringList v;
        for (const auto& s : delivered)
            v << s.value;
        return v;
    }

  private Q_SLOTS:
    void init() {
        journal.entries.clear();
        delivered.clear();
        keyboard = ScriptedKeyboard{};
        settings = std::make_unique<Settings>();
        settings->store().clear();
        capture = std::make_unique<ScanCapture>(
            *settings, keyboard, notifier, sounds,
            [this](const QueuedScan& s) { delivered.append(s); }, [] { return 1700000000123; });
    }

    void captureOpensOnceAndOnlyWithAccess() {
        keyboard.granted = false;
        capture->startCapture();
        QVERIFY(!capture->captureOpen());
        QCOMPARE(keyboard.opens, 0);
        keyboard.granted = true;
        capture->startCapture();
        capture->startCapture();
        QVERIFY(capture->captureOpen());
        QCOMPARE(keyboard.opens, 1);
    }

    void withoutAChosenScannerNothingIsKept() {
        type(QStringLiteral("12345"), 0);
        type(QStringLiteral("abc"), 100, KeyboardVendor, KeyboardProduct);
        QVERIFY(capture->buffers().empty());
        QVERIFY(delivered.isEmpty());
    }

    void onlyTheChosenScannerFeedsABuffer() {
        settings->setScanner(QStringLiteral("00FF:000A"), QStringLiteral("Barcode Reader"));
        type(QStringLiteral("secret"), 0, KeyboardVendor, KeyboardProduct, false);
        QVERIFY(capture->buffers().empty()); // never buffered
        type(QStringLiteral("4006381"), 100);
        QCOMPARE(values(), QStringList{QStringLiteral("4006381")});
        QCOMPARE(delivered.first().ts, 1700000000123);
        QCOMPARE(capture->buffers().size(), 1u);
        // A one-character scan is a scan outside detection.
        type(QStringLiteral("7"), 300);
        QCOMPARE(values().last(), QStringLiteral("7"));
        QVERIFY(journal.entries.isEmpty()); // delivery is silent here
    }

    void usagesOutsideTheKeyRangeOrPageAreIgnored() {
        settings->setScanner(QStringLiteral("00FF:000A"), QString());
        capture->onValue(key(3, 1, 0));
        capture->onValue(key(232, 1, 1));
        KeyEvent consumer = key(30, 1, 2);
        consumer.usagePage = 12;
        capture->onValue(consumer);
        QVERIFY(capture->buffers().empty());
    }

    void detectionChoosesTheFirstKeyboardWithALongEnoughScan() {
        capture->toggleDetect();
        QVERIFY(capture->detecting());
        type(QStringLiteral("abc"), 0, KeyboardVendor, KeyboardProduct);
        QVERIFY(capture->detecting()); // three characters are not enough
        QVERIFY(journal.entries.isEmpty());
        type(QStringLiteral("4006"), 100);
        QVERIFY(!capture->detecting());
        QVERIFY(capture->buffers().empty());
        QCOMPARE(settings->scanner(), QStringLiteral("00FF:000A"));
        QCOMPARE(settings->scannerName(), QStringLiteral("Barcode Reader"));
        QCOMPARE(
            journal.entries,
            (QStringList{QStringLiteral("sound:Glass"),
                         QStringLiteral("notify:Scanner selected|Barcode Reader (00FF:000A)")}));
        QVERIFY(delivered.isEmpty()); // the choosing scan is never queued
        // The keyboard that typed during detection is dropped again.
        type(QStringLiteral("abcd"), 200, KeyboardVendor, KeyboardProduct);
        QVERIFY(delivered.isEmpty());
    }

    void aPauseDuringDetectionDiscardsText() {
        capture->toggleDetect();
        type(QStringLiteral("40"), 0, ScannerVendor, ScannerProduct, false);
        type(QStringLiteral("06"), 200); // 190 ms after the last key-down
        QVERIFY(capture->detecting());
        QVERIFY(settings->scanner().isEmpty());
        capture->toggleDetect(); // cancel: nothing chosen, buffers dropped
        QVERIFY(!capture->detecting());
        QVERIFY(capture->buffers().empty());
        QVERIFY(settings->scanner().isEmpty());
    }

    void aNamelessDeviceIsCalledScanner() {
        capture->toggleDetect();
        for (const QChar c : QStringLiteral("1234"))
            capture->onValue(key(usageOf(c), 1, 0, 0x1234, 0xABCD, QString()));
        capture->onValue(key(40, 1, 1, 0x1234, 0xABCD, QString()));
        QCOMPARE(settings->scanner(), QStringLiteral("1234:ABCD"));
        QCOMPARE(settings->scannerName(), QStringLiteral("Scanner"));
        QCOMPARE(journal.notifications(),
                 QStringList{QStringLiteral("notify:Scanner selected|Scanner (1234:ABCD)")});
    }

    void tickEndsAPausedScanAndReportsWhetherTextRemains() {
        settings->setScanner(QStringLiteral("00FF:000A"), QString());
        int armed = 0;
        capture->onAssembling = [&] { ++armed; };
        type(QStringLiteral("123"), 1000, ScannerVendor, ScannerProduct, false);
        QVERIFY(armed > 0);
        keyboard.now = 1050;
        QVERIFY(capture->tick());
        keyboard.now = 1200;
        QVERIFY(!capture->tick());
        QCOMPARE(values(), QStringList{QStringLiteral("123")});
    }

    // The main thread comes to the pause check late, and a keystroke arrives while
    // it drains: the pause is judged on the clock read before the drain, so the
    // keystroke stays in the scan it belongs to.
    void thePauseIsNeverJudgedAheadOfKeysAlreadyReceived() {
        settings->setScanner(QStringLiteral("00FF:000A"), QString());
        capture->startCapture();
        type(QStringLiteral("12"), 1000, ScannerVendor, ScannerProduct, false); // last at 1005
        std::vector<KeyEvent> waiting;
        keyboard.now = 1010;
        keyboard.onDrain = [&] {
            for (const KeyEvent& e : std::exchange(waiting, {}))
                keyboard.handler(e);
            if (keyboard.now == 1010) { // time passes while draining
                keyboard.now = 1160;
                waiting.push_back(key(usageOf(u'3'), 1, 1100));
            }
        };
        capture->tick();
        capture->tick();
        capture->onValue(key(40, 1, 1110));
        QCOMPARE(values(), QStringList{QStringLiteral("123")});
    }

    void aDiscardDropsTheGarbledScanAndItsTail() {
        settings->setScanner(QStringLiteral("00FF:000A"), QString());
        type(QStringLiteral("400"), 0, ScannerVendor, ScannerProduct, false);
        KeyEvent lost;
        lost.kind = KeyEvent::discard;
        lost.vendor = ScannerVendor;
        lost.product = ScannerProduct;
        lost.timeMs = 16;
        capture->onValue(lost);
        type(QStringLiteral("6381"), 20); // the rest of the same scan
        QVERIFY(delivered.isEmpty());
        type(QStringLiteral("5901234"), 500); // the next scan is whole again
        QCOMPARE(values(), QStringList{QStringLiteral("5901234")});
    }
};

KORVEL_TEST_MAIN(TestScanCapture)
#include "tst_scan_capture.moc"
