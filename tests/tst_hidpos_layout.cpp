// Scanners' report descriptors read into layouts, and their input reports joined into
// scans by those layouts alone (their bytes made text: tst_hidpos).
#include "platform/linux/hidpos_layout.h"
#include "support/hid_descriptors.h"
#include "support/test_main.h"

using namespace korvel::test;

using Offsets = QList<int>;
using Reads = QList<QByteArray>;

class TestHidPosLayout : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    // shape: id, size, lengthAt, dataAt, dataSize, continuedBit, then symbologyAt, then
    // errorBeepSize; or none, and the reason it is refused.
    void parse_data() {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<Offsets>("shape");
        QTest::addColumn<QString>("refusal");
        const QByteArray good = honeywellStyleDescriptor();
        const auto row = [](const char* name, const QByteArray& descriptor, const Offsets& shape,
                            const char* refusal = "") {
            QTest::newRow(name) << descriptor << shape << QString(refusal);
        };
        const Offsets honeywell{2, 64, 1, 5, 56, 504, 2, 3, 4, 2};
        row("honeywell-style", good, honeywell);
        row("newland-style", newlandStyleDescriptor(), {2, 65, 1, 2, 62, 512, 0});
        row("plain", plainDescriptor(), {0, 36, -1, 3, 32, 280, 0, 1, 2, 0});
        // Only the scanner's report carries scans; the keyboard's still has a size.
        row("behind a keyboard", hidItem(1, 8, 1) + keyboardDescriptor() + good, honeywell);
        row("empty", {}, {}, "empty");
        row("item cut short", good.left(good.size() - 10) + "\x26\xFF", {}, "cut short");
        row("long item cut short", good + "\xFE\x10\x01\x02", {}, "cut short");
        row("keyboard only", keyboardDescriptor(), {}, "no bar code scanner collection");
        row("size of 64 bits", good.left(15) + hidItem(1, 7, 64) + good.mid(20), {}, "report size");
        row("40000 counts", good.left(15) + hidItem(1, 9, 40000), {}, "report count");
        row("over 4096 bytes",
            good.left(15) + hidItem(1, 7, 32) + hidItem(1, 9, 2000) + hidItem(0, 8, 2), {},
            "larger than");
        row("report ID 0", hidItem(1, 8, 0) + good, {}, "report ID 0");
        row("never closed", good.chopped(1), {}, "never closed");
        row("never opened", good + hidItem(0, 0xC, 0), {}, "never opened");
        row("no decoded data",
            hidItem(1, 0, 0x8C) + hidItem(2, 0, 2) + hidItem(0, 0xA, 1) + hidItem(1, 7, 8) +
                hidItem(1, 9, 1) + hidItem(0, 8, 2) + hidItem(0, 0xC, 0),
            {}, "no decoded data");
    }
    void parse() {
        QFETCH(QByteArray, descriptor);
        QFETCH(Offsets, shape);
        QFETCH(QString, refusal);
        const auto parsed = HidPosLayout::parse(descriptor);
        QVERIFY2(bool(parsed.layout) == refusal.isEmpty(), qPrintable(parsed.error));
        QVERIFY2(parsed.error.contains(refusal), qPrintable(parsed.error));
        if (!parsed.layout)
            return;
        QCOMPARE(parsed.layout->scans.size(), size_t(1));
        const HidPosLayout::ScanReport& r = parsed.layout->scans.front();
        QCOMPARE((Offsets{r.id, r.size, r.lengthAt, r.dataAt, r.dataSize, r.continuedBit}) +
                     r.symbologyAt + Offsets{parsed.layout->errorBeepSize},
                 shape);
        QCOMPARE(parsed.layout->usesIds, r.id != 0);
        QCOMPARE(parsed.layout->inputSizes.at(r.id), r.size);
    }

    void assemble_data() {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<Reads>("reads");
        QTest::addColumn<QStringList>("results"); // "data|symbology" or "!problem"
        const QByteArray h = honeywellStyleDescriptor();
        const QByteArray sixty(60, 'x');
        const auto report = [](const QByteArray& data, bool more = false) {
            return honeywellReport(data, "]E0", more);
        };
        QTest::newRow("one report")
            << h << Reads{report("4006381333931")} << QStringList{"4006381333931|]E0"};
        QTest::newRow("continued, then joined")
            << h << Reads{report(sixty.left(56), true), report(sixty.mid(56))}
            << QStringList{sixty + "|]E0"};
        QTest::newRow("two reports in one read")
            << h << Reads{report("A1") + honeywellReport("B2", "]C0", false)}
            << QStringList{"A1|]E0", "B2|]C0"};
        QByteArray beyond = report("abc");
        beyond[1] = char(57);
        QTest::newRow("length beyond the report, then the next scan")
            << h << Reads{beyond, report("next")} << QStringList{"!a length of 57", "next|]E0"};
        QTest::newRow("short report drops the scan it continues")
            << h << Reads{report("part", true), report("rest").left(40), report("whole")}
            << QStringList{"!report 2 of 40 bytes", "whole|]E0"};
        // A flag that never clears: the scan is dropped once, at the bound, with what
        // follows until the flag clears; then scans are read again.
        Reads endless(2 * HidPosAssembler::kMaxScanBytes / 56, report(QByteArray(56, 'y'), true));
        QTest::newRow("endless scan dropped whole")
            << h << endless + Reads{report("tail"), report("fresh")}
            << QStringList{"!", "fresh|]E0"};
        QTest::newRow("unknown report ID")
            << h << Reads{QByteArray(64, '\x09')} << QStringList{"!report 9"};
        QTest::newRow("newland-style, no identifier")
            << newlandStyleDescriptor() << Reads{newlandReport("]C1 not an identifier")}
            << QStringList{"]C1 not an identifier|"};
        const QByteArray plain = QByteArray("]d201234").leftJustified(36, '\0');
        QTest::newRow("no length byte: up to the NUL")
            << plainDescriptor() << Reads{plain} << QStringList{"01234|]d2"};
    }
    void assemble() {
        QFETCH(QByteArray, descriptor);
        QFETCH(Reads, reads);
        QFETCH(QStringList, results);
        const auto parsed = HidPosLayout::parse(descriptor);
        QVERIFY2(parsed.layout, qPrintable(parsed.error));
        HidPosAssembler assembler(*parsed.layout);
        QStringList got;
        for (const QByteArray& read : reads) {
            for (const auto& r : assembler.feed(read))
                got << (r.data.isNull() ? '!' + r.problem
                                        : QString::fromLatin1(r.data) + '|' + r.symbology);
        }
        QCOMPARE(got.size(), results.size());
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(results[i]), qPrintable(got[i]));
    }
};

KORVEL_TEST_MAIN(TestHidPosLayout)
#include "tst_hidpos_layout.moc"
