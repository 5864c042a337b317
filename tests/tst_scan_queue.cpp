#include "delivery/scan_queue.h"
#include "support/test_main.h"

#include <QFile>

namespace {

// A delivery function whose attempts the test decides by hand.
struct Server {
    QList<QueuedScan> sent;
    QList<ScanQueue::Completion> open;
    std::optional<SendOutcome> answerAtOnce; // completes before send returns
    ScanQueue::SendFn fn() {
        return [this](const QueuedScan& scan, ScanQueue::Completion done) {
            sent.append(scan);
            if (answerAtOnce)
                done(*answerAtOnce, QStringLiteral("now"));
            else
                open.append(std::move(done));
        };
    }
    void answer(SendOutcome outcome, const QString& message = {}) {
        QVERIFY(!open.isEmpty());
        open.takeFirst()(outcome, message);
    }
};

QueuedScan scan(const char* v, qint64 ts = 1) {
    return {QString::fromUtf8(v), ts};
}

} // namespace

class TestScanQueue : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("queue.json")); }
    QList<QueuedScan> onDisk() const { return QueueFile(path()).load(); }

  private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void outcomeFromStatus() {
        for (const qint64 s : {200, 201, 299})
            QCOMPARE(sendOutcomeFromStatus(s), SendOutcome::ok);
        QCOMPARE(sendOutcomeFromStatus(400), SendOutcome::rejected);
        for (const qint64 s : {0, -1, 100, 199, 300, 301, 401, 404, 409, 422, 500, 503, 1000})
            QCOMPARE(sendOutcomeFromStatus(s), SendOutcome::retry);
    }

    void createdFromTheFileWithoutSendingOrWriting() {
        QVERIFY(QueueFile(path()).save({scan("a"), scan("b"), scan("c")}));
        const auto before = QFileInfo(path()).lastModified();
        Server server;
        ScanQueue queue(QueueFile(path()), server.fn());
        QCOMPARE(queue.items().size(), 3);
        QVERIFY(server.sent.isEmpty());
        QCOMPARE(QFileInfo(path()).lastModified(), before);
        queue.flush();
        QCOMPARE(server.sent, QList<QueuedScan>{scan("a")}); // oldest first
    }

    void oneAttemptAtATime() {
        Server server;
        ScanQueue queue(QueueFile(path()), server.fn());
        queue.flush(); // empty: nothing
        QVERIFY(server.sent.isEmpty());
        queue.enqueue(scan("a"));
        QCOMPARE(onDisk(), QList<QueuedScan>{scan("a")}); // saved, not sent
        QVERIFY(server.sent.isEmpty());
        queue.flush();
        queue.flush();
        QCOMPARE(server.sent.size(), 1);
        QVERIFY(queue.flushing());
        queue.enqueue(scan("b")); // while sending: appended and saved
        QCOMPARE(onDisk(), (QList<QueuedScan>{scan("a"), scan("b")}));
        QCOMPARE(server.sent.size(), 1);
    }

    void retryKeepsTheHeadAndWaitsForTheNextTrigger() {
        Server server;
        QList<SendOutcome> done;
        ScanQueue queue(QueueFile(path()), server.fn());
        queue.onDone = [&](const QueuedScan&, SendOutcome o, const QString&) { done.append(o); };
        for (const char* v : {"a", "b", "c"})
            queue.enqueue(scan(v));
        for (int i = 0; i < 3; ++i) { // a head that keeps failing holds back the rest
            queue.flush();
            server.answer(SendOutcome::retry);
        }
        QCOMPARE(server.sent, (QList<QueuedScan>{scan("a"), scan("a"), scan("a")}));
        QVERIFY(done.isEmpty()); // never told of a retry
        QVERIFY(!queue.flushing());
        QCOMPARE(onDisk().size(), 3);

        // Server back: one trigger drains the rest back to back.
        queue.flush();
        server.answer(SendOutcome::ok);
        server.answer(SendOutcome::rejected);
        server.answer(SendOutcome::ok);
        QCOMPARE(server.sent.mid(3), (QList<QueuedScan>{scan("a"), scan("b"), scan("c")}));
        QCOMPARE(done,
                 (QList<SendOutcome>{SendOutcome::ok, SendOutcome::rejected, SendOutcome::ok}));
        QVERIFY(queue.items().isEmpty());
        QVERIFY(!queue.flushing());
        queue.waitUntilSaved();
        QFile f(path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("[]"));
    }

    void theFileFollowsEveryDecisionAndNeverLosesANewScan() {
        Server server;
        {
            ScanQueue queue(QueueFile(path()), server.fn());
            for (int i = 0; i < 200; ++i)
                queue.enqueue({QStringLiteral("s%1").arg(i), i});
            queue.flush();
            for (int i = 0; i < 150; ++i) {
                server.answer(SendOutcome::ok);
                if (i % 50 == 0) {
                    // Scans queued mid-drain are on disk before enqueue returns.
                    queue.enqueue({QStringLiteral("late%1").arg(i), i});
                    QCOMPARE(onDisk().last(), (QueuedScan{QStringLiteral("late%1").arg(i), i}));
                }
            }
            queue.waitUntilSaved();
            QCOMPARE(onDisk(), queue.items());
            QCOMPARE(onDisk().first(), (QueuedScan{QStringLiteral("s150"), 150}));
            server.answer(SendOutcome::rejected);
        } // destroyed right after a decision: the file is brought up to date
        const auto left = onDisk();
        QCOMPARE(left.size(), 49 + 3);
        QCOMPARE(left.first(), (QueuedScan{QStringLiteral("s151"), 151}));
        QCOMPARE(left.last(), (QueuedScan{QStringLiteral("late100"), 100}));
    }

    void observerMayFlushAndEnqueueWithoutASecondAttempt() {
        Server server;
        ScanQueue queue(QueueFile(path()), server.fn());
        int calls = 0;
        queue.onDone = [&](const QueuedScan& s, SendOutcome, const QString&) {
            ++calls;
            if (s.value == QLatin1String("a")) {
                queue.enqueue(scan("c"));
                queue.flush(); // starts b
                queue.flush();
            }
        };
        queue.enqueue(scan("a"));
        queue.enqueue(scan("b"));
        queue.flush();
        server.answer(SendOutcome::ok);
        QCOMPARE(server.open.size(), 1); // only b outstanding
        QCOMPARE(server.sent, (QList<QueuedScan>{scan("a"), scan("b")}));
        server.answer(SendOutcome::ok);
        server.answer(SendOutcome::ok);
        QCOMPARE(server.sent, (QList<QueuedScan>{scan("a"), scan("b"), scan("c")}));
        QCOMPARE(calls, 3);
    }

    void completionBeforeSendReturns() {
        Server server;
        server.answerAtOnce = SendOutcome::retry;
        ScanQueue queue(QueueFile(path()), server.fn());
        queue.enqueue(scan("a"));
        queue.flush();
        QVERIFY(!queue.flushing());
        QCOMPARE(queue.items().size(), 1);
        server.answerAtOnce = SendOutcome::ok;
        QStringList done;
        queue.onDone = [&](const QueuedScan& s, SendOutcome, const QString& m) {
            done << s.value + m;
        };
        queue.enqueue(scan("b"));
        queue.flush();
        QCOMPARE(done, (QStringList{QStringLiteral("anow"), QStringLiteral("bnow")}));
        QVERIFY(queue.items().isEmpty());
    }

    void aSecondReportOfOneAttemptIsIgnored() {
        Server server;
        ScanQueue queue(QueueFile(path()), server.fn());
        queue.enqueue(scan("a"));
        queue.enqueue(scan("b"));
        queue.flush();
        ScanQueue::Completion first = server.open.takeFirst();
        first(SendOutcome::ok, {});
        first(SendOutcome::ok, {}); // would otherwise drop b unsent
        QCOMPARE(queue.items(), QList<QueuedScan>{scan("b")});
        QCOMPARE(server.open.size(), 1);
    }
};

KORVEL_TEST_MAIN(TestScanQueue)
#include "tst_scan_queue.moc"
