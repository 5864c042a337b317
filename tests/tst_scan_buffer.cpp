#include "capture/scan_buffer.h"
#include "support/test_main.h"

namespace {

// HID usages used below.
constexpr int A = 4, B = 5, C = 6, One = 30, Two = 31, Three = 32, Enter = 40, KpEnter = 88,
              Space = 44, LShift = 225, RShift = 229, Tab = 43, Backspace = 42, CapsLock = 57,
              NonUsHash = 50, Kp1 = 89, Quote = 52;

struct Recorder {
    ScanBuffer buffer;
    QStringList scans;
    Recorder() {
        buffer.onScan = [this](const QString& s) { scans.append(s); };
    }
    // Key-downs 10 ms apart starting at t, then returns the time of the last one.
    qint64 type(std::initializer_list<int> usages, qint64 t, qint64 step = 10) {
        for (const int u : usages) {
            buffer.key(u, true, t);
            buffer.key(u, false, t + 1);
            t += step;
        }
        return t - step;
    }
};

} // namespace

class TestScanBuffer : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void shiftChangesOnlyTheKeysItShould();
    void enterAndKeypadEnterEndAScan();
    void blanksAreTrimmedAndInnerSpacesKept();
    void pauseOfExactlyGapKeepsTheScanOpen();
    void pauseOneMillisecondLongerSplitsIt();
    void tickEndsAScanWithoutEnter();
    void discardModeDropsTextAfterAPause();
    void lateEnterDeliversOnceThroughThePauseCheck();
    void unmappedKeysAddNothingButCountForTiming();
    void bothShiftsAreOneFlag();
    void receiverMayDropTheBufferWhileItReports();
    void keyTableIsTheUsLayout_data();
    void keyTableIsTheUsLayout();
};

void TestScanBuffer::shiftChangesOnlyTheKeysItShould() {
    Recorder r;
    r.buffer.key(A, true, 0);
    r.buffer.key(LShift, true, 5);
    r.buffer.key(B, true, 10);
    r.buffer.key(One, true, 20);
    r.buffer.key(Kp1, true, 30);
    r.buffer.key(Quote, true, 40);
    r.buffer.key(LShift, false, 45);
    r.buffer.key(C, true, 50);
    r.buffer.key(Enter, true, 60);
    QCOMPARE(r.scans, QStringList{QStringLiteral("aB!1\"c")});
    QVERIFY(r.buffer.text.isEmpty());
    // Shift events are no keystrokes for the timing.
    QCOMPARE(r.buffer.lastKeyAt, 60);
}

void TestScanBuffer::enterAndKeypadEnterEndAScan() {
    Recorder r;
    r.type({A, Enter}, 0);
    r.type({B, KpEnter}, 100);
    r.type({Enter}, 200);               // nothing pending
    r.type({Space, Space, Enter}, 300); // only blanks pending
    QCOMPARE(r.scans, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QVERIFY(r.buffer.text.isEmpty());
}

void TestScanBuffer::blanksAreTrimmedAndInnerSpacesKept() {
    Recorder r;
    r.type({Space, One, Two, Space, Three, Space, Space, Enter}, 0);
    QCOMPARE(r.scans, QStringList{QStringLiteral("12 3")});
    QCOMPARE(trimBlanks(QStringLiteral("\t\u00A0x y\u2003 ")), QStringLiteral("x y"));
    QCOMPARE(trimBlanks(QStringLiteral("\nx\n")), QStringLiteral("\nx\n"));
}

void TestScanBuffer::pauseOfExactlyGapKeepsTheScanOpen() {
    Recorder r;
    r.type({One, Two, Three}, 1000, 100);
    r.buffer.tick(1300); // exactly 100 after the last key-down
    QVERIFY(r.scans.isEmpty());
    r.buffer.key(Enter, true, 1300);
    QCOMPARE(r.scans, QStringList{QStringLiteral("123")});
}

void TestScanBuffer::pauseOneMillisecondLongerSplitsIt() {
    Recorder r;
    r.type({One, Two}, 1000, 101);
    // The first part is delivered when the second key-down arrives, before it is added.
    QCOMPARE(r.scans, QStringList{QStringLiteral("1")});
    QCOMPARE(r.buffer.text, QStringLiteral("2"));
}

void TestScanBuffer::tickEndsAScanWithoutEnter() {
    Recorder r;
    const qint64 last = r.type({One, Two, Three}, 5000);
    r.buffer.tick(last + 50);
    QVERIFY(r.scans.isEmpty());
    r.buffer.tick(last + 150);
    QCOMPARE(r.scans, QStringList{QStringLiteral("123")});
    r.buffer.tick(last + 300); // never twice
    QCOMPARE(r.scans.size(), 1);
    // A time before the last key-down is a negative pause: no action.
    r.type({A}, 9000);
    r.buffer.tick(8000);
    QCOMPARE(r.buffer.text, QStringLiteral("a"));
}

void TestScanBuffer::discardModeDropsTextAfterAPause() {
    Recorder r;
    r.buffer.emitOnGap = false;
    const qint64 last = r.type({One, Two, Three}, 0);
    r.buffer.tick(last + 101);
    QVERIFY(r.buffer.text.isEmpty());
    r.buffer.key(Enter, true, last + 102);
    QVERIFY(r.scans.isEmpty());
}

void TestScanBuffer::lateEnterDeliversOnceThroughThePauseCheck() {
    Recorder r;
    qint64 last = r.type({One, Two}, 0);
    r.buffer.key(Enter, true, last + 500);
    QCOMPARE(r.scans, QStringList{QStringLiteral("12")});

    Recorder d;
    d.buffer.emitOnGap = false;
    last = d.type({One, Two}, 0);
    d.buffer.key(Enter, true, last + 500);
    QVERIFY(d.scans.isEmpty());
}

void TestScanBuffer::unmappedKeysAddNothingButCountForTiming() {
    Recorder r;
    // Each unmapped key-down keeps the scan alive: 90 ms steps over 450 ms.
    r.type({One, NonUsHash, Tab, Backspace, CapsLock, A, Enter}, 0, 90);
    QCOMPARE(r.scans, QStringList{QStringLiteral("1a")});

    Recorder p;
    p.type({One}, 0);
    p.buffer.key(Tab, true, 200); // the pause check runs for an unmapped key too
    QCOMPARE(p.scans, QStringList{QStringLiteral("1")});
    QCOMPARE(p.buffer.lastKeyAt, 200);
}

void TestScanBuffer::bothShiftsAreOneFlag() {
    Recorder r;
    r.buffer.key(LShift, true, 0);
    r.buffer.key(RShift, true, 1);
    r.buffer.key(RShift, false, 2);
    r.type({A, Enter}, 3);
    QCOMPARE(r.scans, QStringList{QStringLiteral("a")});
}

void TestScanBuffer::receiverMayDropTheBufferWhileItReports() {
    auto buffer = std::make_unique<ScanBuffer>();
    QString got;
    buffer->onScan = [&](const QString& s) {
        QVERIFY(buffer->text.isEmpty()); // cleared before the call
        got = s;
        buffer.reset();
    };
    buffer->key(A, true, 0);
    buffer->key(Enter, true, 1);
    QCOMPARE(got, QStringLiteral("a"));
    QVERIFY(!buffer);
}

void TestScanBuffer::keyTableIsTheUsLayout_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("shifted");
    QTest::newRow("letters and digits") << 4 << "abcdefghijklmnopqrstuvwxyz1234567890"
                                        << "ABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*()";
    QTest::newRow("space") << 44 << " "
                           << " ";
    QTest::newRow("punctuation 45") << 45 << "-=[]\\"
                                    << "_+{}|";
    QTest::newRow("punctuation 51") << 51 << ";'`,./"
                                    << ":\"~<>?";
    QTest::newRow("keypad operators") << 84 << "/*-+"
                                      << "/*-+";
    QTest::newRow("keypad digits") << 89 << "1234567890."
                                   << "1234567890.";
}

void TestScanBuffer::keyTableIsTheUsLayout() {
    QFETCH(int, first);
    QFETCH(QString, plain);
    QFETCH(QString, shifted);
    for (int i = 0; i < plain.size(); ++i) {
        const auto pair = ScanBuffer::keyFor(first + i);
        QVERIFY2(pair, qPrintable(QString::number(first + i)));
        QCOMPARE(QChar(pair->first), plain[i]);
        QCOMPARE(QChar(pair->second), shifted[i]);
    }
    int mapped = 0;
    for (int u = -5; u < 300; ++u)
        mapped += ScanBuffer::keyFor(u) ? 1 : 0;
    QCOMPARE(mapped, 63);
    QVERIFY(!ScanBuffer::keyFor(50));
}

KORVEL_TEST_MAIN(TestScanBuffer)
#include "tst_scan_buffer.moc"
