// Capture: key events to scan texts (the buffer), raw evdev records to key events
// (the decoder), and the routing of scans to delivery or to choosing the scanner.
#include "core/capture/scan_capture.h"
#include "platform/linux/evdev_decoder.h"
#include "support/fake_input.h"
#include "support/fakes.h"
#include "support/test_main.h"

using namespace korvel::test;

namespace {

// "key@ms" tokens: a character is its key on a US keyboard, '_' space; S/s and R/r
// left and right Shift down/up, E Enter, K keypad Enter, P keypad 1, C Caps Lock,
// T Tab, '~' a tick, '!' a discard.
QStringList runBuffer(const QString& script, bool emitOnGap) {
    ScanBuffer buffer;
    QStringList scans;
    buffer.onScan = [&](const QString& s) { scans.append(s); };
    buffer.emitOnGap = emitOnGap;
    const QString specials = QStringLiteral("SsRrEKPCT_");
    const int usages[] = {225, 225, 229, 229, 40, 88, 89, 57, 43, 44};
    for (const QString& token : script.split(QLatin1Char(' '))) {
        const QChar c = token[0];
        const qint64 t = token.section(QLatin1Char('@'), 1).toLongLong();
        const qsizetype special = specials.indexOf(c);
        if (c == u'~')
            buffer.tick(t);
        else if (c == u'!')
            buffer.discard(t);
        else
            buffer.key(special < 0 ? FakeInputTree::usageOf(c) : usages[special],
                       special < 0 || special % 2 == 0 || special > 3, t);
    }
    return scans;
}

RawEvents operator+(RawEvents a, const RawEvents& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
RawEvents typed(const char* text, qint64 t, bool enter = true, bool scanCodes = false) {
    return FakeInputTree::typed(QString::fromLatin1(text), t, enter, scanCodes);
}
RawEvents shift(int value, qint64 t) {
    return {record(EV_KEY, KEY_LEFTSHIFT, value, t), record(EV_SYN, SYN_REPORT, 0, t)};
}
RawEvents dropped(qint64 t) { // the kernel's marker, then the rest of the broken frame
    return {record(EV_SYN, SYN_DROPPED, 0, t), record(EV_KEY, KEY_9, 1, t),
            record(EV_SYN, SYN_REPORT, 0, t)};
}
const RawEvents gone = {record(0xFFFF, 0, 0, 10)}; // not a record: the device went away

KeyEvent key(int usage, int value, qint64 t, quint32 vendor = 0x00FF,
             const QString& name = QStringLiteral("Barcode Reader")) {
    KeyEvent e;
    e.usagePage = 7, e.usage = usage, e.value = value, e.timeMs = t;
    e.vendor = vendor, e.product = 0x000A, e.name = name;
    return e;
}

} // namespace

Q_DECLARE_METATYPE(RawEvents)

class TestCapture : public QObject {
    Q_OBJECT
    QString chosen;
    QStringList delivered, choices;
    ScriptedKeyboard keyboard;
    std::unique_ptr<ScanCapture> capture;

    void type(const QString& text, qint64 t, quint32 vendor = 0x00FF, bool enter = true) {
        for (const QChar c : text + (enter ? QStringLiteral("\n") : QString())) {
            capture->onValue(key(FakeInputTree::usageOf(c), 1, t, vendor));
            capture->onValue(key(FakeInputTree::usageOf(c), 0, t += 5, vendor));
        }
    }

  private Q_SLOTS:
    void init() {
        chosen.clear();
        delivered.clear();
        choices.clear();
        keyboard = ScriptedKeyboard{};
        capture = std::make_unique<ScanCapture>(
            keyboard, [this] { return chosen; }, [this](const QString& s) { delivered << s; },
            [this](const QString& k, const QString& n) { choices << k + QLatin1Char(' ') + n; });
    }

    void keysBecomeScans_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("emitOnGap");
        QTest::addColumn<QStringList>("scans");
        QTest::newRow("shift: letters, top row, punctuation; not the keypad")
            << "a@0 S@5 b@10 1@20 P@30 '@40 /@41 s@45 c@50 ;@51 E@60" << true
            << QStringList{"aB!1\"?c;"};
        QTest::newRow("both enters end a scan; nothing or blanks pending is none")
            << "a@0 E@1 b@100 K@101 E@200 _@300 _@301 E@302" << true << QStringList{"a", "b"};
        QTest::newRow("blanks trimmed, inner kept")
            << "_@0 1@1 2@2 _@3 3@4 _@5 _@6 E@7" << true << QStringList{"12 3"};
        QTest::newRow("a pause of exactly the gap keeps the scan")
            << "1@1000 2@1100 3@1200 ~@1300 E@1300" << true << QStringList{"123"};
        QTest::newRow("101 ms splits it")
            << "1@1000 2@1101 E@1102" << true << QStringList{"1", "2"};
        QTest::newRow("tick ends a scan once; a time before the last key does nothing")
            << "1@0 2@10 3@20 ~@70 ~@170 ~@300 a@9000 ~@8000 E@9001" << true
            << QStringList{"123", "a"};
        QTest::newRow("a late Enter finds the scan delivered by the pause check")
            << "1@0 2@10 E@510" << true << QStringList{"12"};
        QTest::newRow("detection: a pause discards")
            << "1@0 2@10 3@20 ~@121 E@122" << false << QStringList();
        QTest::newRow("detection: a late Enter delivers nothing")
            << "1@0 2@10 E@510" << false << QStringList();
        QTest::newRow("unmapped keys add nothing but keep the scan alive, and run the pause check")
            << "1@0 #@90 T@180 C@270 a@360 E@450 2@600 T@701 E@702" << true
            << QStringList{"1a", "2"};
        QTest::newRow("both shifts are one flag")
            << "S@0 R@1 r@2 a@3 E@4" << true << QStringList{"a"};
        QTest::newRow("a discard drops the scan, its tail, and Shift")
            << "S@0 1@2 !@4 2@6 3@8 E@10 1@300 E@302" << true << QStringList{"1"};
    }
    void keysBecomeScans() {
        QFETCH(QString, script);
        QFETCH(bool, emitOnGap);
        QFETCH(QStringList, scans);
        QCOMPARE(runBuffer(script, emitOnGap), scans);
    }

    // What one scanner sends, then what a second of the same model sends.
    void rawRecordsBecomeWholeScansOrNone_data() {
        QTest::addColumn<RawEvents>("first");
        QTest::addColumn<RawEvents>("second");
        QTest::addColumn<int>("held"); // what EVIOCGKEY answers: -1 it fails, else a held key
        QTest::addColumn<QStringList>("scans");
        QTest::newRow("shift spans frames, scan codes win, autorepeat adds nothing")
            << shift(1, 0) + FakeInputTree::tap(KEY_A, 2) + FakeInputTree::tap(KEY_A, 4, 5) +
                   shift(0, 5) + FakeInputTree::tap(KEY_1, 6, 30) +
                   RawEvents{record(EV_KEY, KEY_2, 1, 8), record(EV_KEY, KEY_2, 2, 8),
                             record(EV_KEY, KEY_2, 2, 9)} +
                   FakeInputTree::tap(KEY_KPENTER, 10)
            << RawEvents{} << -1 << QStringList{"AB12"};
        QTest::newRow("lost shift release, state unknown")
            << shift(1, 0) + dropped(4) + typed("123", 300) << RawEvents{} << -1
            << QStringList{"123"};
        QTest::newRow("lost shift release, device says released")
            << shift(1, 0) + dropped(4) + typed("123", 300) << RawEvents{} << 0
            << QStringList{"123"};
        QTest::newRow("shift held across the drop, device says so")
            << shift(1, 0) + dropped(4) + typed("a", 300) + shift(0, 304) + typed("b", 600)
            << RawEvents{} << int(KEY_LEFTSHIFT) << QStringList{"A", "b"};
        QTest::newRow("drop at the very start of the first scan: its tail is no scan")
            << dropped(0) + typed("6381", 2) + typed("777", 300) << RawEvents{} << -1
            << QStringList{"777"};
        QTest::newRow("drop mid-scan: neither start nor tail")
            << typed("400", 0, false, true) + dropped(6) + typed("6381", 8, true, true) +
                   typed("777", 300, true, true)
            << RawEvents{} << -1 << QStringList{"777"};
        QTest::newRow("unplugged mid-scan")
            << typed("2222", 0, false) + gone << typed("333", 300) << -1 << QStringList{"333"};
        QTest::newRow("unplugged with shift down")
            << shift(1, 0) + gone << typed("123", 300) << -1 << QStringList{"123"};
        QTest::newRow("two scanners of one model share one scan")
            << typed("12", 0, false) << typed("34", 4) << -1 << QStringList{"1234"};
    }
    void rawRecordsBecomeWholeScansOrNone() {
        QFETCH(RawEvents, first);
        QFETCH(RawEvents, second);
        QFETCH(int, held);
        QFETCH(QStringList, scans);
        chosen = QStringLiteral("05E0:1200");
        const auto ask = [held](EvdevDecoder::Keys& keys) {
            if (held > 0)
                keys.set(static_cast<size_t>(held));
            return held >= 0;
        };
        const auto route = [this](const KeyEvent& e) { capture->onValue(e); };
        for (const RawEvents& events : {first, second}) {
            EvdevDecoder device(0x05E0, 0x1200, QStringLiteral("S"), ask, route);
            for (const input_event& e : events) {
                keyboard.now = EvdevDecoder::timeMsOf(e) + 1000; // pending scans have paused
                if (e.type == 0xFFFF)
                    device.gone(EvdevDecoder::timeMsOf(e));
                else
                    device.feed(e);
            }
        }
        capture->tick();
        QCOMPARE(delivered, scans);
    }

    void onlyTheChosenScannerIsKeptAndDetectionChoosesIt() {
        keyboard.granted = false;
        capture->startCapture();
        keyboard.granted = true;
        capture->startCapture();
        capture->startCapture();
        QCOMPARE(keyboard.opens, 1); // once, and only with access
        type("12345", 0);            // no scanner chosen: nothing is kept
        capture->toggleDetect();
        type("abc", 100, 0x046D); // three characters choose nothing
        type("40", 200, 0x00FF, false);
        type("06", 400); // a pause during detection throws "40" away
        QCOMPARE(choices, QStringList());
        type("4006", 600);
        QCOMPARE(choices, QStringList{"00FF:000A Barcode Reader"});
        QVERIFY(!capture->detecting());
        QCOMPARE(delivered, QStringList()); // the choosing scan is not delivered
        chosen = QStringLiteral("00FF:000A");
        type("secret", 700, 0x046D); // another keyboard is never kept
        type("7", 800);              // one character is a scan outside detection
        capture->onValue(key(232, 1, 900));
        capture->onValue(key(3, 1, 901));
        capture->onValue(key(40, 1, 902));
        QCOMPARE(delivered, QStringList{"7"});
        capture->toggleDetect();
        capture->onValue(key(30, 1, 1000, 0x1234, QString()));
        type("234", 1001, 0x1234);
        QCOMPARE(choices.last(), QStringLiteral("1234:000A Scanner")); // nameless device
    }

    // The main thread comes to the pause check late, and a keystroke arrives while
    // it drains: judged on the clock read before the drain, it stays in its scan.
    void thePauseIsNeverJudgedAheadOfKeysAlreadyReceived() {
        chosen = QStringLiteral("00FF:000A");
        capture->startCapture();
        type("12", 1000, 0x00FF, false);
        std::optional<KeyEvent> waiting; // typed while the first drain ran
        keyboard.now = 1010;
        keyboard.onDrain = [&] {
            if (waiting)
                keyboard.handler(*std::exchange(waiting, std::nullopt));
            else if (std::exchange(keyboard.now, 1160) == 1010)
                waiting = key(32, 1, 1100);
        };
        capture->tick();
        capture->tick();
        capture->onValue(key(40, 1, 1110));
        QCOMPARE(delivered, QStringList{"123"});
    }
};

KORVEL_TEST_MAIN(TestCapture)
#include "tst_capture.moc"
