// Bar code scanners' report descriptors read into layouts, and their input reports
// joined into scans by those layouts alone (their bytes made text: tst_hidpos).
#include "platform/linux/hidpos_layout.h"
#include "support/hid_descriptors.h"
#include "support/test_main.h"

using namespace korvel::test;

using Offsets = QList<int>;

class TestHidPosLayout : public QObject {
    Q_OBJECT

    static HidPosLayout layoutOf(const QByteArray& descriptor) {
        const auto parsed = HidPosLayout::parse(descriptor);
        if (!parsed.layout)
            qWarning() << "refused:" << parsed.error;
        return parsed.layout.value_or(HidPosLayout{});
    }

  private Q_SLOTS:
    void parse_data() {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<Offsets>("shape"); // id, size, lengthAt, dataAt, dataSize, continuedBit
        QTest::addColumn<Offsets>("symbologyAt");
        QTest::addColumn<int>("errorBeepSize");
        QTest::newRow("honeywell-style")
            << honeywellStyleDescriptor() << Offsets{2, 64, 1, 5, 56, 63 * 8} << Offsets{2, 3, 4}
            << 2;
        QTest::newRow("newland-style")
            << newlandStyleDescriptor() << Offsets{2, 65, 1, 2, 62, 64 * 8} << Offsets{} << 0;
        QTest::newRow("plain, from the usage tables")
            << plainDescriptor() << Offsets{0, 36, -1, 3, 32, 35 * 8} << Offsets{0, 1, 2} << 0;
        // The scanner collection after a keyboard's: only its own report carries scans,
        // the keyboard's still has a size for splitting.
        QTest::newRow("behind a keyboard collection")
            << hidItems({hidItem(1, 0, 1), hidItem(2, 0, 6), hidItem(0, 0xA, 1), hidItem(1, 8, 1),
                         hidItem(1, 7, 8), hidItem(1, 9, 8), hidItem(0, 8, 0), hidItem(0, 0xC, 0),
                         honeywellStyleDescriptor()})
            << Offsets{2, 64, 1, 5, 56, 63 * 8} << Offsets{2, 3, 4} << 2;
    }
    void parse() {
        QFETCH(QByteArray, descriptor);
        QFETCH(Offsets, shape);
        QFETCH(Offsets, symbologyAt);
        QFETCH(int, errorBeepSize);
        const auto parsed = HidPosLayout::parse(descriptor);
        QVERIFY2(parsed.layout, qPrintable(parsed.error));
        QCOMPARE(parsed.layout->scans.size(), size_t(1));
        const HidPosLayout::ScanReport& r = parsed.layout->scans.front();
        QCOMPARE((Offsets{r.id, r.size, r.lengthAt, r.dataAt, r.dataSize, r.continuedBit}), shape);
        QCOMPARE(r.symbologyAt, symbologyAt);
        QCOMPARE(parsed.layout->errorBeepSize, errorBeepSize);
        QCOMPARE(parsed.layout->usesIds, r.id != 0);
        QCOMPARE(parsed.layout->inputSizes.at(r.id), r.size);
    }

    void refuse_data() {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QString>("reason");
        const QByteArray good = honeywellStyleDescriptor();
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("item cut short") << good.left(good.size() - 10) + "\x26\xFF"
                                        << "cut short";
        QTest::newRow("long item cut short") << good + "\xFE\x10\x01\x02"
                                             << "cut short";
        QTest::newRow("keyboard only")
            << hidItems({hidItem(1, 0, 1), hidItem(2, 0, 6), hidItem(0, 0xA, 1), hidItem(1, 7, 8),
                         hidItem(1, 9, 8), hidItem(0, 8, 0), hidItem(0, 0xC, 0)})
            << "no bar code scanner collection";
        QTest::newRow("report size of 64 bits")
            << hidItems({good.left(15), hidItem(1, 7, 64), good.mid(20)}) << "report size";
        QTest::newRow("report of 40000 counts")
            << hidItems({good.left(15), hidItem(1, 9, 40000)}) << "report count";
        QTest::newRow("report larger than 4096 bytes")
            << hidItems({good.left(15), hidItem(1, 7, 32), hidItem(1, 9, 2000), hidItem(0, 8, 2)})
            << "larger than";
        QTest::newRow("report ID 0") << hidItems({hidItem(1, 8, 0), good}) << "report ID 0";
        QTest::newRow("collection never closed") << good.chopped(1) << "never closed";
        QTest::newRow("end without collection") << good + hidItem(0, 0xC, 0) << "never opened";
        QTest::newRow("scanner without decoded data")
            << hidItems({hidItem(1, 0, 0x8C), hidItem(2, 0, 2), hidItem(0, 0xA, 1),
                         hidItem(1, 7, 8), hidItem(1, 9, 1), hidItem(0, 8, 2), hidItem(0, 0xC, 0)})
            << "no decoded data";
    }
    void refuse() {
        QFETCH(QByteArray, descriptor);
        QFETCH(QString, reason);
        const auto parsed = HidPosLayout::parse(descriptor);
        QVERIFY(!parsed.layout);
        QVERIFY2(parsed.error.contains(reason), qPrintable(parsed.error));
    }

    void assemble_data() {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("results"); // "data|symbology" or "!problem"
        const QByteArray h = honeywellStyleDescriptor();
        const QByteArray sixty(60, 'x');
        QTest::newRow("one report")
            << h << QList<QByteArray>{honeywellReport("4006381333931", "]E0", false)}
            << QStringList{"4006381333931|]E0"};
        QTest::newRow("continued, then joined")
            << h
            << QList<QByteArray>{honeywellReport(sixty.left(56), "]Q0", true),
                                 honeywellReport(sixty.mid(56), "]Q0", false)}
            << QStringList{sixty + "|]Q0"};
        QTest::newRow("two reports in one read")
            << h
            << QList<QByteArray>{honeywellReport("A1", "]C0", false) +
                                 honeywellReport("B2", "]C0", false)}
            << QStringList{"A1|]C0", "B2|]C0"};
        QTest::newRow("length beyond the report, then the next scan")
            << h
            << QList<QByteArray>{[] {
                                     QByteArray r = honeywellReport("abc", "]E0", false);
                                     r[1] = char(57);
                                     return r;
                                 }(),
                                 honeywellReport("next", "]E0", false)}
            << QStringList{"!a length of 57", "next|]E0"};
        QTest::newRow("short report drops the scan it continues")
            << h
            << QList<QByteArray>{honeywellReport("part", "]E0", true),
                                 honeywellReport("rest", "]E0", false).left(40),
                                 honeywellReport("whole", "]E0", false)}
            << QStringList{"!report 2 of 40 bytes", "whole|]E0"};
        QTest::newRow("unknown report ID")
            << h << QList<QByteArray>{QByteArray(64, '\x09')} << QStringList{"!report 9"};
        QTest::newRow("newland-style, no identifier")
            << newlandStyleDescriptor()
            << QList<QByteArray>{newlandReport("]C1 not an identifier", false)}
            << QStringList{"]C1 not an identifier|"};
        QByteArray plain(36, '\0');
        plain.replace(0, 3, "]d2");
        plain.replace(3, 5, "01234");
        QTest::newRow("no length byte: up to the NUL")
            << plainDescriptor() << QList<QByteArray>{plain} << QStringList{"01234|]d2"};
    }
    void assemble() {
        QFETCH(QByteArray, descriptor);
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, results);
        HidPosAssembler assembler(layoutOf(descriptor));
        QStringList got;
        for (const QByteArray& read : reads) {
            for (const auto& r : assembler.feed(read))
                got << (r.data.isNull()
                            ? QLatin1Char('!') + r.problem
                            : QString::fromLatin1(r.data) + QLatin1Char('|') + r.symbology);
        }
        QCOMPARE(got.size(), results.size());
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(results[i]), qPrintable(got[i]));
    }

    // A flag that never clears: the scan is dropped once, at the bound, and what the
    // device sends until the flag clears goes with it; then scans are read again.
    void endlessScanIsDroppedWhole() {
        HidPosAssembler assembler(layoutOf(honeywellStyleDescriptor()));
        const QByteArray chunk(56, 'y');
        QStringList problems;
        for (qsizetype sent = 0; sent < HidPosAssembler::kMaxScanBytes * 2; sent += chunk.size()) {
            for (const auto& r : assembler.feed(honeywellReport(chunk, "]E0", true))) {
                QVERIFY(r.data.isNull());
                problems << r.problem;
            }
        }
        QCOMPARE(problems.size(), 1);
        QVERIFY(assembler.feed(honeywellReport("tail", "]E0", false)).empty());
        const auto next = assembler.feed(honeywellReport("fresh", "]E0", false));
        QCOMPARE(next.size(), size_t(1));
        QCOMPARE(next[0].data, QByteArray("fresh"));
    }
};

KORVEL_TEST_MAIN(TestHidPosLayout)
#include "tst_hidpos_layout.moc"
