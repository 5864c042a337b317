// Raw evdev records through the decoder and the scan routing to finished scans:
// one row per sequence a keyboard node can deliver, faults included.
#include "capture/scan_capture.h"
#include "platform/linux/evdev_decoder.h"
#include "shell/settings.h"
#include "support/fake_input.h"
#include "support/recorders.h"
#include "support/test_main.h"

using namespace korvel::test;

namespace {

constexpr quint16 Gone = 0xFFFF; // not a record: the device went away here

// One record (or the device's disappearance) from one of two scanners of a model.
struct Step {
    int device = 0;
    RawEvent e;
};
using Script = std::vector<Step>;

struct ScriptBuilder {
    Script script;
    ScriptBuilder& on(int device, const std::vector<RawEvent>& events) {
        for (const RawEvent& e : events)
            script.push_back({device, e});
        return *this;
    }
    ScriptBuilder& add(const std::vector<RawEvent>& events) { return on(0, events); }
    ScriptBuilder& gone(int device, qint64 t) { return on(device, {{Gone, 0, 0, t}}); }
};

std::vector<RawEvent> typed(const char* text, qint64 t, bool enter = true, bool scanCodes = false) {
    return FakeInputTree::typed(QString::fromLatin1(text), t, 2, scanCodes, enter);
}
std::vector<RawEvent> frame(quint16 code, int value, qint64 t) {
    return {{EV_KEY, code, value, t}, {EV_SYN, SYN_REPORT, 0, t}};
}
std::vector<RawEvent> dropped(qint64 t) {
    // The kernel's marker, then the rest of the broken frame up to its report.
    return {{EV_SYN, SYN_DROPPED, 0, t}, {EV_KEY, KEY_9, 1, t}, {EV_SYN, SYN_REPORT, 0, t}};
}

// What the device answers when asked which keys it holds down; unknown for a
// node that cannot be asked (EVIOCGKEY fails).
struct KeyState {
    bool known = false;
    QList<int> held;
};

} // namespace

Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(KeyState)

class TestEvdevDecoder : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void rawRecordsBecomeWholeScansOrNone_data() {
        QTest::addColumn<Script>("script");
        QTest::addColumn<KeyState>("state");
        QTest::addColumn<QStringList>("scans");
        const KeyState unknown;
        const KeyState released{true, {}};
        const KeyState shiftHeld{true, {KEY_LEFTSHIFT}};

        QTest::newRow("shift spans frames, scan codes win, autorepeat adds nothing")
            << ScriptBuilder()
                   .add(frame(KEY_LEFTSHIFT, 1, 0))
                   .add(FakeInputTree::tap(KEY_A, 2))    // key code only: 'A'
                   .add(FakeInputTree::tap(KEY_A, 4, 5)) // the scan code says b: 'B'
                   .add(frame(KEY_LEFTSHIFT, 0, 5))
                   .add(FakeInputTree::tap(KEY_1, 6, 30))
                   .add({{EV_KEY, KEY_2, 1, 8}, {EV_KEY, KEY_2, 2, 8}, {EV_KEY, KEY_2, 2, 9}})
                   .add(FakeInputTree::tap(KEY_ENTER, 10))
                   .script
            << unknown << QStringList{QStringLiteral("AB12")};
        QTest::newRow("keypad enter ends a scan") << ScriptBuilder()
                                                         .add(typed("123", 0, false))
                                                         .add(FakeInputTree::tap(KEY_KPENTER, 8))
                                                         .script
                                                  << unknown << QStringList{QStringLiteral("123")};
        QTest::newRow("lost shift release, state unknown: later digits stay digits")
            << ScriptBuilder()
                   .add(frame(KEY_LEFTSHIFT, 1, 0))
                   .add(FakeInputTree::tap(KEY_A, 2))
                   .add(dropped(4)) // the Shift release was among the lost events
                   .add(typed("123", 300))
                   .add(typed("777", 600))
                   .script
            << unknown << QStringList{QStringLiteral("123"), QStringLiteral("777")};
        QTest::newRow("lost shift release, device says released")
            << ScriptBuilder()
                   .add(frame(KEY_LEFTSHIFT, 1, 0))
                   .add(FakeInputTree::tap(KEY_A, 2))
                   .add(dropped(4))
                   .add(typed("123", 300))
                   .script
            << released << QStringList{QStringLiteral("123")};
        QTest::newRow("shift still held across the drop, device says so")
            << ScriptBuilder()
                   .add(frame(KEY_LEFTSHIFT, 1, 0))
                   .add(dropped(4))
                   .add(FakeInputTree::tap(KEY_A, 300))
                   .add(FakeInputTree::tap(KEY_ENTER, 302))
                   .add(frame(KEY_LEFTSHIFT, 0, 304))
                   .add(typed("b", 600))
                   .script
            << shiftHeld << QStringList{QStringLiteral("A"), QStringLiteral("b")};
        QTest::newRow("drop at the very start of the first scan: its tail is no scan")
            << ScriptBuilder().add(dropped(0)).add(typed("6381", 2)).add(typed("777", 300)).script
            << unknown << QStringList{QStringLiteral("777")};
        QTest::newRow("drop mid-scan: neither its start nor its tail is delivered")
            << ScriptBuilder()
                   .add(typed("400", 0, false, true))
                   .add(dropped(6))
                   .add(typed("6381", 8, true, true))
                   .add(typed("777", 300, true, true))
                   .script
            << unknown << QStringList{QStringLiteral("777")};
        QTest::newRow("unplugged mid-scan: the half scan is dropped")
            << ScriptBuilder()
                   .add(typed("2222", 0, false))
                   .gone(0, 10)
                   .on(1, typed("333", 300))
                   .script
            << unknown << QStringList{QStringLiteral("333")};
        QTest::newRow("unplugged with shift down: the next scanner of the model types digits")
            << ScriptBuilder()
                   .add(frame(KEY_LEFTSHIFT, 1, 0))
                   .gone(0, 2)
                   .on(1, typed("123", 300))
                   .script
            << unknown << QStringList{QStringLiteral("123")};
        QTest::newRow("two scanners of one model share one scan")
            << ScriptBuilder().on(0, typed("12", 0, false)).on(1, typed("34", 4)).script << unknown
            << QStringList{QStringLiteral("1234")};
    }

    void rawRecordsBecomeWholeScansOrNone() {
        QFETCH(Script, script);
        QFETCH(KeyState, state);
        QFETCH(QStringList, scans);

        Settings settings;
        settings.store().clear();
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        Journal journal;
        RecordingNotifier notifier(journal);
        RecordingSounds sounds(journal);
        ScriptedKeyboard keyboard;
        QStringList delivered;
        ScanCapture capture(
            settings, keyboard, notifier, sounds,
            [&](const QueuedScan& scan) { delivered.append(scan.value); }, [] { return 0; });

        const auto askDevice = [&state](EvdevDecoder::Keys& keys) {
            for (const int code : state.held)
                keys.set(static_cast<size_t>(code));
            return state.known;
        };
        const auto route = [&capture](const KeyEvent& event) { capture.onValue(event); };
        EvdevDecoder devices[2] = {
            {0x05E0, 0x1200, QStringLiteral("Test Scanner"), askDevice, route},
            {0x05E0, 0x1200, QStringLiteral("Test Scanner"), askDevice, route}};
        qint64 last = 0;
        for (const Step& step : script) {
            last = step.e.timeMs;
            if (step.e.type == Gone) {
                devices[step.device].gone(step.e.timeMs);
                continue;
            }
            input_event record{};
            record.input_event_sec = step.e.timeMs / 1000;
            record.input_event_usec = (step.e.timeMs % 1000) * 1000;
            record.type = step.e.type;
            record.code = step.e.code;
            record.value = step.e.value;
            devices[step.device].feed(record);
        }
        keyboard.now = last + 1000; // whatever is still pending ends by its pause
        capture.tick();
        QCOMPARE(delivered, scans);
    }
};

KORVEL_TEST_MAIN(TestEvdevDecoder)
#include "tst_evdev_decoder.moc"
