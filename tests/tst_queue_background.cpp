// The queue's store writing the whole list in the background (a compaction, or the
// take-over of an older agent's queue.json).
#include "core/delivery/queue_file.h"
#include "core/delivery/queue_store.h"
#include "support/test_main.h"

#include <QSemaphore>

using namespace korvel::test;

class TestQueueBackground : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private Q_SLOTS:
    void init() {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    // A scan typed while the background write is held is on disk before the write
    // ends; the folder copied at each step (a crash there) reads back as that moment's list.
    void aScanDuringABackgroundWriteIsOnDiskAtOnceAndACrashAtAnyStepLosesNothing_data() {
        QTest::addColumn<bool>("takeOver"); // an older agent's queue.json, else a compaction
        QTest::newRow("compaction") << false;
        QTest::newRow("take-over") << true;
    }
    void aScanDuringABackgroundWriteIsOnDiskAtOnceAndACrashAtAnyStepLosesNothing() {
        QFETCH(bool, takeOver);
        const QString folder = dir.filePath(QStringLiteral("store"));
        const QString path = folder + QStringLiteral("/queue.json");
        QDir().mkpath(folder);
        QSemaphore reached, mayGoOn;
        std::atomic<bool> held = false;
        QStringList steps;
        const auto hook = [&](const char* step) {
            steps << QString::fromLatin1(step);
            const QString crash = dir.filePath(QStringLiteral("crash/%1").arg(steps.size()));
            QDir().mkpath(crash); // the files as they are: what a crash just now would leave
            for (const QString& name : QDir(folder).entryList(QDir::Files))
                QFile::copy(folder + u'/' + name, crash + u'/' + name);
            if (qstrcmp(step, "building") == 0 && !held.exchange(true)) {
                reached.release();
                (void)mayGoOn.tryAcquire(1, 10000);
            }
        };
        const QString big(600000, u'7');
        QList<QueuedScan> before;
        for (int i = 0; i < 20000; ++i)
            before.append({QString::number(4006381000000 + i), i});
        if (takeOver)
            QVERIFY(QueueFile(path).save(before));
        QueueStore store(path, hook);
        QVERIFY(store.load());
        if (!takeOver) {
            // Records that outgrow the list they leave: the journal is compacted.
            QVERIFY(store.waitFor(store.rewrite(before, 0)));
            store.append({big, 20000});
            store.append({big, 20001});
            store.removeFront(20001);
            before = {{big, 20001}};
        }
        QVERIFY(reached.tryAcquire(1, 10000));
        const int stepsBefore = static_cast<int>(steps.size());
        const quint64 compactions = store.compactions();
        const QueuedScan scan{QStringLiteral("typed meanwhile"), 99999};
        const quint64 number = store.append(scan);
        QTRY_VERIFY_WITH_TIMEOUT(store.written(number), 10000);
        const QList<QueuedScan> after = before + QList<QueuedScan>{scan};
        const auto seen = QueueStore::read(path);
        mayGoOn.release();
        QVERIFY(seen);
        QCOMPARE(seen->scans, after);
        QCOMPARE(store.compactions(), compactions); // still held while the scan was written
        store.waitUntilWritten();
        QCOMPARE(store.compactions(), compactions + 1);
        if (takeOver)
            QCOMPARE(steps.value(stepsBefore - 2), QStringLiteral("taking over"));
        const QStringList wanted{"building", "built", "tail copied", "journal replaced",
                                 "snapshot replaced"};
        QCOMPARE(steps.mid(stepsBefore - 1), wanted.mid(0, takeOver ? 4 : 5));
        QCOMPARE(QueueStore::read(path)->scans, after);
        // From the take-over's own journal on, or the compaction's start.
        for (int i = stepsBefore - (takeOver ? 1 : 0); i <= steps.size(); ++i) {
            const QString copy = dir.filePath(QStringLiteral("crash/%1/queue.json").arg(i));
            QueueStore restarted(copy);
            const auto contents = restarted.load();
            QVERIFY(contents);
            QVERIFY2(contents->scans == (i <= stepsBefore ? before : after),
                     qPrintable(steps[i - 1]));
            restarted.waitUntilWritten(); // and what it takes over ends up the same
            QCOMPARE(QueueStore::read(copy)->scans, i <= stepsBefore ? before : after);
        }
        QCOMPARE(modeOf(folder + QStringLiteral("/queue.journal")), 0600);
    }

    // Texts that are not valid UTF-16 kept exactly: taken over, journalled, written whole.
    void aTextIsKeptExactlyWhateverItHolds() {
        // A pair the wrong way round: a lone low, then a lone high surrogate.
        const QString text = QString(u'a') + QChar(0xDC00) + QChar(0xD800) + u'b';
        const QByteArray json = R"(a\udc00\ud800b)";
        const QString path = dir.filePath(QStringLiteral("queue.json"));
        writeFile(path, R"([{"value":")" + json + R"(","ts":1}])");
        const QList<QueuedScan> both{{text, 1}, {text + u'!', 2}};
        {
            QueueStore store(path);
            const auto contents = store.load();
            QVERIFY(contents);
            QCOMPARE(contents->scans, both.mid(0, 1));
            QVERIFY(store.waitFor(store.append(both[1])));
        }
        for (int round = 0; round < 2; ++round) { // from the journal, then written whole
            QueueStore store(path);
            const auto contents = store.load();
            QVERIFY(contents);
            QCOMPARE(contents->scans, both);
            QVERIFY(store.waitFor(store.compact()));
        }
        QVERIFY(readFile(path).contains(R"([{"value":")" + json + R"(","ts":1},)"));
        QCOMPARE(QueueFile(path).load(), both);
    }
};

KORVEL_TEST_MAIN(TestQueueBackground)
#include "tst_queue_background.moc"
