// Capture: key events to scan texts (the buffer), raw evdev records to key events
// (the decoder), and the routing of scans to delivery or to choosing the scanner.
#include "core/capture/scan_capture.h"
#include "platform/linux/evdev_decoder.h"
#include "support/fake_input.h"
#include "support/fakes.h"
#include "support/test_main.h"

using namespace korvel::test;

namespace {

// "key@ms" tokens: a-z and 0-9 are those keys, '_' space, '\'' quote, '#' the non-US
// hash key, T Tab, B Backspace, C Caps Lock, P keypad 1, uNN usage NN, E Enter,
// K keypad Enter, S/s and R/r left and right Shift down/up, '~' a tick, '!' a discard.
QStringList runBuffer(const QString& script, bool emitOnGap) {
    ScanBuffer buffer;
    QStringList scans;
    buffer.onScan = [&](const QString& s) { scans.append(s); };
    buffer.emitOnGap = emitOnGap;
    const QString specials = QStringLiteral("_'#TBCPEKSsRr");
    const int usages[] = {44, 52, 50, 43, 42, 57, 89, 40, 88, 225, 225, 229, 229};
    for (const QString& token : script.split(QLatin1Char(' '))) {
        const QString key = token.section(QLatin1Char('@'), 0, 0);
        const qint64 t = token.section(QLatin1Char('@'), 1).toLongLong();
        const QChar c = key[0];
        if (c == u'~') {
            buffer.tick(t);
        } else if (c == u'!') {
            buffer.discard(t);
        } else if (c == u'u') {
            buffer.key(key.mid(1).toInt(), true, t);
        } else if (const qsizetype i = specials.indexOf(c); i >= 0) {
            buffer.key(usages[i], !c.isLower(), t);
        } else {
            buffer.key(c.isDigit() ? (c == u'0' ? 39 : 30 + c.digitValue() - 1)
                                   : 4 + (c.unicode() - 'a'),
                       true, t);
        }
    }
    return scans;
}

constexpr quint16 Gone = 0xFFFF; // not a record: the device went away here
struct Step {
    int device = 0;
    RawEvent e;
};
using Script = std::vector<Step>;
Script on(int device, const std::vector<RawEvent>& events, Script script = {}) {
    for (const RawEvent& e : events)
        script.push_back({device, e});
    return script;
}
Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Script typed(const char* text, qint64 t, bool enter = true, bool scanCodes = false) {
    return on(0, FakeInputTree::typed(QString::fromLatin1(text), t, 2, scanCodes, enter));
}
Script frame(quint16 code, int value, qint64 t) {
    return on(0, {{EV_KEY, code, value, t}, {EV_SYN, SYN_REPORT, 0, t}});
}
Script dropped(qint64 t) { // the kernel's marker, then the rest of the broken frame
    return on(0, {{EV_SYN, SYN_DROPPED, 0, t}, {EV_KEY, KEY_9, 1, t}, {EV_SYN, SYN_REPORT, 0, t}});
}
Script gone(int device, qint64 t) {
    return on(device, {{Gone, 0, 0, t}});
}

KeyEvent key(int usage, int value, qint64 t, quint32 vendor = 0x00FF,
             QString name = "Barcode Reader") {
    KeyEvent e;
    e.usagePage = 7;
    e.usage = usage;
    e.value = value;
    e.timeMs = t;
    e.vendor = vendor;
    e.product = 0x000A;
    e.name = name;
    return e;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestCapture : public QObject {
    Q_OBJECT
    QString chosen;
    QStringList delivered, choices;
    ScriptedKeyboard keyboard;
    std::unique_ptr<ScanCapture> capture;

    void type(const QString& text, qint64 t, quint32 vendor = 0x00FF, bool enter = true) {
        for (const QChar c : text) {
            const int usage = c == u'0'     ? 39
                              : c.isDigit() ? 30 + c.digitValue() - 1
                                            : 4 + (c.unicode() - 'a');
            capture->onValue(key(usage, 1, t, vendor));
            capture->onValue(key(usage, 0, t + 1, vendor));
            t += 5;
        }
        if (enter)
            capture->onValue(key(40, 1, t, vendor));
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
            << "a@0 S@5 b@10 1@20 P@30 '@40 s@45 c@50 E@60" << true << QStringList{"aB!1\"c"};
        QTest::newRow("the US punctuation keys")
            << "u45@0 u46@1 u47@2 u48@3 u49@4 u51@5 u52@6 u53@7 u54@8 u55@9 u56@10 S@11 u45@12 "
               "u49@13 u51@14 u53@15 u56@16 s@17 u84@18 u85@19 u99@20 E@21"
            << true << QStringList{"-=[]\\;'`,./_|:~?/*."};
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
        QTest::newRow("unmapped keys add nothing but keep the scan alive")
            << "1@0 #@90 T@180 B@270 C@360 a@450 E@540" << true << QStringList{"1a"};
        QTest::newRow("an unmapped key runs the pause check")
            << "1@0 T@200 E@201" << true << QStringList{"1"};
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

    void rawRecordsBecomeWholeScansOrNone_data() {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("held"); // what EVIOCGKEY answers: -1 it fails, else a held key
        QTest::addColumn<QStringList>("scans");
        QTest::newRow("shift spans frames, scan codes win, autorepeat adds nothing")
            << frame(KEY_LEFTSHIFT, 1, 0) + on(0, FakeInputTree::tap(KEY_A, 2)) +
                   on(0, FakeInputTree::tap(KEY_A, 4, 5)) + frame(KEY_LEFTSHIFT, 0, 5) +
                   on(0, FakeInputTree::tap(KEY_1, 6, 30)) +
                   on(0, {{EV_KEY, KEY_2, 1, 8}, {EV_KEY, KEY_2, 2, 8}, {EV_KEY, KEY_2, 2, 9}}) +
                   on(0, FakeInputTree::tap(KEY_KPENTER, 10))
            << -1 << QStringList{"AB12"};
        QTest::newRow("lost shift release, state unknown")
            << frame(KEY_LEFTSHIFT, 1, 0) + dropped(4) + typed("123", 300) << -1
            << QStringList{"123"};
        QTest::newRow("lost shift release, device says released")
            << frame(KEY_LEFTSHIFT, 1, 0) + dropped(4) + typed("123", 300) << 0
            << QStringList{"123"};
        QTest::newRow("shift held across the drop, device says so")
            << frame(KEY_LEFTSHIFT, 1, 0) + dropped(4) + on(0, FakeInputTree::tap(KEY_A, 300)) +
                   on(0, FakeInputTree::tap(KEY_ENTER, 302)) + frame(KEY_LEFTSHIFT, 0, 304) +
                   typed("b", 600)
            << int(KEY_LEFTSHIFT) << QStringList{"A", "b"};
        QTest::newRow("drop at the very start of the first scan: its tail is no scan")
            << dropped(0) + typed("6381", 2) + typed("777", 300) << -1 << QStringList{"777"};
        QTest::newRow("drop mid-scan: neither start nor tail")
            << typed("400", 0, false, true) + dropped(6) + typed("6381", 8, true, true) +
                   typed("777", 300, true, true)
            << -1 << QStringList{"777"};
        QTest::newRow("unplugged mid-scan")
            << typed("2222", 0, false) + gone(0, 10) + on(1, FakeInputTree::typed("333", 300)) << -1
            << QStringList{"333"};
        QTest::newRow("unplugged with shift down")
            << frame(KEY_LEFTSHIFT, 1, 0) + gone(0, 2) + on(1, FakeInputTree::typed("123", 300))
            << -1 << QStringList{"123"};
        QTest::newRow("two scanners of one model share one scan")
            << typed("12", 0, false) + on(1, FakeInputTree::typed("34", 4)) << -1
            << QStringList{"1234"};
    }
    void rawRecordsBecomeWholeScansOrNone() {
        QFETCH(Script, script);
        QFETCH(int, held);
        QFETCH(QStringList, scans);
        chosen = QStringLiteral("05E0:1200");
        const auto ask = [held](EvdevDecoder::Keys& keys) {
            if (held > 0)
                keys.set(static_cast<size_t>(held));
            return held >= 0;
        };
        const auto route = [this](const KeyEvent& e) { capture->onValue(e); };
        EvdevDecoder devices[2] = {{0x05E0, 0x1200, QStringLiteral("S"), ask, route},
                                   {0x05E0, 0x1200, QStringLiteral("S"), ask, route}};
        for (const Step& step : script) {
            keyboard.now = step.e.timeMs + 1000; // whatever is pending then has paused
            if (step.e.type == Gone) {
                devices[step.device].gone(step.e.timeMs);
                continue;
            }
            input_event r{};
            r.input_event_sec = step.e.timeMs / 1000;
            r.input_event_usec = (step.e.timeMs % 1000) * 1000;
            r.type = step.e.type;
            r.code = step.e.code;
            r.value = step.e.value;
            devices[step.device].feed(r);
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
        std::vector<KeyEvent> waiting;
        keyboard.now = 1010;
        keyboard.onDrain = [&] {
            for (const KeyEvent& e : std::exchange(waiting, {}))
                keyboard.handler(e);
            if (keyboard.now == 1010) {
                keyboard.now = 1160;
                waiting.push_back(key(32, 1, 1100));
            }
        };
        capture->tick();
        capture->tick();
        capture->onValue(key(40, 1, 1110));
        QCOMPARE(delivered, QStringList{"123"});
    }
};

KORVEL_TEST_MAIN(TestCapture)
#include "tst_capture.moc"
