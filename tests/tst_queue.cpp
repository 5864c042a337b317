// The scan queue and its file: order, outcomes, what reaches the disk, and what a
// full disk does (a small tmpfs filled to the last byte).
#include "core/agent.h"
#include "core/settings.h"
#include "support/fakes.h"
#include "support/test_main.h"

#include <sys/resource.h>
#include <sys/wait.h>

using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

// A delivery function whose attempts the test decides by hand.
struct Server {
    QStringList sent;
    QList<ScanQueue::Completion> open;
    std::optional<SendOutcome> atOnce; // completes before send returns
    ScanQueue::SendFn fn() {
        return [this](const QueuedScan& scan, ScanQueue::Completion done) {
            sent.append(scan.value);
            if (atOnce)
                done(*atOnce, QStringLiteral("now"));
            else
                open.append(std::move(done));
        };
    }
    void answer(SendOutcome outcome) { open.takeFirst()(outcome, {}); }
};

// Holds the queue's writer at its warning about a removed journal until the test lets
// it go (10 s at most), while it is about to write the whole list again.
QSemaphore writerMayGoOn;
std::atomic<bool> writerHeldTooLong = false;
QtMessageHandler testHandler = nullptr;
void holdWriter(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("was removed; written again")))
        writerHeldTooLong = !writerMayGoOn.tryAcquire(1, 10000);
    testHandler(type, context, text);
}

} // namespace

class TestQueue : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("queue.json")); }
    // What the store holds, as a tool reads it beside a running agent.
    QStringList onDisk() const {
        const auto contents = QueueStore::read(path());
        return contents ? values(contents->scans) : QStringList{"(unreadable)"};
    }

  private Q_SLOTS:
    void init() {
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(f));
    }

    void everyTextSurvivesTheFileAndAnyReaderReadsIt() {
        const QList<QueuedScan> scans{{"quote \" backslash \\ slash /", 1700000000123},
                                      {"line\nfeed\r\ttab \x01", -5},
                                      {"Grüße 日本 \U0001F600", 9223372036854775807LL},
                                      {"same", 1},
                                      {"same", 1}};
        QVERIFY(QueueFile(path()).save(scans));
        QCOMPARE(QueueFile(path()).load(), scans);
        QVERIFY(readFile(path()).startsWith("[{\"value\":\"quote")); // compact, value first
        QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadOther);
        QVERIFY(QueueFile(path()).save({}));
        QCOMPARE(readFile(path()), QByteArray("[]"));
        QCOMPARE(modeOf(path()), 0600); // a wider file is narrowed
        writeFile(path(), R"( [{"ts":2, "value":"b", "x":[1]}, {"value":"c","ts":3e0}] )");
        QCOMPARE(onDisk(), (QStringList{"b", "c"}));
    }

    void aFileThatCannotBeReadIsKeptAsideByteForByte_data() {
        QTest::addColumn<QByteArray>("bytes");
        for (const char* bytes :
             {R"([{"value":"a","ts":1})", R"({"value":"a","ts":1})", R"([{"value":"a","ts":1}, 5])",
              R"([{"value":"a","ts":"1"}])", R"([{"value":"a","ts":1},{"ts":2}])",
              R"([{"value":"a","ts":1.5}])", R"([{"value":"a","ts":1e19}])", ""})
            QTest::newRow(*bytes ? bytes : "empty") << QByteArray(bytes);
        QTest::newRow("no read permission") << QByteArray(R"([{"value":"old","ts":1}])");
    }
    void aFileThatCannotBeReadIsKeptAsideByteForByte() {
        QFETCH(QByteArray, bytes);
        writeFile(path(), bytes);
        if (QByteArray(QTest::currentDataTag()) == "no read permission")
            QFile::setPermissions(path(), {});
        QueueFile file(path());
        QVERIFY(file.load().isEmpty());
        QVERIFY(file.save({{"new", 9}}));
        QCOMPARE(onDisk(), QStringList{"new"});
        QFile::setPermissions(file.setAside(), QFileDevice::ReadOwner);
        QCOMPARE(readFile(file.setAside()), bytes);
    }

    void stampsNeverRepeatAndFollowAClockSteppedBack_data() {
        QTest::addColumn<qint64>("loaded"); // the newest stamp in the queue file, 0: none
        QTest::addColumn<QList<qint64>>("clock");
        QTest::addColumn<QList<qint64>>("stamps");
        const auto row = [](const char* name, qint64 loaded, const QList<qint64>& clock,
                            const QList<qint64>& stamps) {
            QTest::newRow(name) << loaded << clock << stamps;
        };
        row("burst", 0, {1000, 1000, 999, 1003}, {1000, 1001, 1002, 1003});
        row("restart", 5000, {4000, 6000}, {5001, 6000});
        row("slewed back", 0, {90000, 89000}, {90000, 90001});
        // A stamp given before the step would come again if the clock were followed.
        row("stepped back", 0, {90000, 30000, 30000}, {90000, 90001, 90002});
        row("stepped back between runs", 90000, {30000}, {90001});
        QList<qint64> burst(5002, 1000), stamps;
        for (qsizetype i = 0; i < burst.size(); ++i)
            stamps << 1000 + i;
        row("a long burst is no step back", 0, burst, stamps);
    }
    void stampsNeverRepeatAndFollowAClockSteppedBack() {
        QFETCH(qint64, loaded);
        QFETCH(QList<qint64>, clock);
        QFETCH(QList<qint64>, stamps);
        ScanStamps stamper([&clock] { return clock.takeFirst(); });
        if (loaded)
            stamper.noteUsed({{"a", loaded - 9}, {"b", loaded}, {"c", 1}});
        QList<qint64> given;
        while (!clock.isEmpty())
            given << stamper.next();
        QCOMPARE(given, stamps);
    }

    // A burst of one barcode after a restart, with the file readable, undecodable or
    // not readable just now; a copy left by an interrupted save beside it.
    void aQueueFileIsSetAsideOnlyWhenItCanNeverBeRead_data() {
        QTest::addColumn<QByteArray>("bytes"); // null: a good file
        QTest::addColumn<bool>("passing");     // too many open files while the agent starts
        QTest::newRow("readable") << QByteArray() << false;
        QTest::newRow("undecodable") << QByteArray(R"([{"value":"old","ts":1},])") << false;
        QTest::newRow("too many open files") << QByteArray() << true;
    }
    void aQueueFileIsSetAsideOnlyWhenItCanNeverBeRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, passing);
        const qint64 ahead = QDateTime::currentMSecsSinceEpoch() + 3000; // the last run's stamps
        const QByteArray good = "[{\"value\":\"old\",\"ts\":" + QByteArray::number(ahead) + "}]";
        writeFile(path(), bytes.isNull() ? good : bytes);
        const QString leftover = path() + QStringLiteral(".saving-Ab12Cd");
        writeFile(leftover, good);
        Settings settings;
        settings.setServerURL(QString());
        settings.setScanner(QStringLiteral("S"), QString());
        ScriptedKeyboard keyboard;
        Journal journal;
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlim_t was = limit.rlim_cur;
        limit.rlim_cur = static_cast<rlim_t>(::dup(0)); // the lowest free descriptor
        ::close(static_cast<int>(limit.rlim_cur));
        if (passing)
            ::setrlimit(RLIMIT_NOFILE, &limit);
        Agent agent(settings, {keyboard, journal, journal}, dir.path(),
                    {.tick = 50ms, .retry = 20ms, .idlePoll = 60000ms, .requestTimeout = 1000ms});
        limit.rlim_cur = was;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        agent.start();
        for (int i = 0; i < 3; ++i)
            agent.capture().onScan(QStringLiteral("S"), {}, QStringLiteral("same"));
        if (passing) { // kept as it is, and said
            QCOMPARE(readFile(path()), good);
            QVERIFY(agent.menuTexts().queueLine.endsWith(
                "Not saved to disk (queue file not read yet: Too many open files)"));
        }
        const QStringList expected =
            QStringList{"old"}.mid(bytes.isNull() ? 0 : 1) + QStringList{"same", "same", "same"};
        QTRY_COMPARE(onDisk(), expected);
        QCOMPARE(values(agent.queue().items()), expected);
        QVERIFY(!QFile::exists(leftover));
        const QList<QueuedScan> scans = agent.queue().items().mid(expected.size() - 3);
        QVERIFY(scans[0].ts < scans[1].ts && scans[1].ts < scans[2].ts);
        QCOMPARE(scans[0].ts > ahead, !passing && bytes.isNull());
        QCOMPARE(agent.menuTexts().queueLine.contains(
                     QRegularExpression(" \u00B7 Unreadable queue file kept as "
                                        "queue\\.json\\.unreadable-\\d+$")),
                 !bytes.isNull());
    }

    // A torn last record (cut anywhere, or zeros after) is ignored and the next follows the
    // last whole one; damage before the end keeps the scans before it and a copy.
    void aTornLastRecordIsIgnoredAndDamageIsKeptAside_data() {
        QTest::addColumn<QByteArray>("tail"); // put after the cut
        QTest::addColumn<bool>("damage");     // one byte of the first record changed
        QTest::addColumn<bool>("full");       // no room for the copy at first
        QTest::newRow("cut") << QByteArray() << false << false;
        QTest::newRow("cut, zeros after") << QByteArray(300, '\0') << false << false;
        QTest::newRow("damaged first record") << QByteArray() << true << false;
        QTest::newRow("damaged, no room for the copy") << QByteArray() << true << true;
    }
    void aTornLastRecordIsIgnoredAndDamageIsKeptAside() {
        QFETCH(QByteArray, tail);
        QFETCH(bool, damage);
        QFETCH(bool, full);
        if (full) {
            KORVEL_REQUIRE_MOUNTS();
            QCOMPARE(sh("mount -t tmpfs -o size=64k,mode=0700 tmpfs " + dir.path()), QString());
        }
        const auto cleanup = qScopeGuard([&] {
            if (full)
                sh("umount -l " + dir.path());
        });
        const QString journal = dir.filePath(QStringLiteral("queue.journal"));
        {
            QueueStore store(path());
            QVERIFY(store.load());
            store.waitFor(store.rewrite({{"a", 1}, {"b", 2}}, 2));
            store.waitFor(store.append({"c", 3}));
        }
        const QByteArray whole = readFile(journal);
        const qsizetype last = whole.size() - journal::appendRecord({"c", 3}).size();
        for (qsizetype cut = damage ? whole.size() : last; cut <= whole.size(); ++cut) {
            QByteArray bytes = whole.left(cut) + tail;
            if (damage) // the stamp of "a", the first record after the header
                bytes[last - journal::appendRecord({"b", 2}).size() -
                      journal::appendRecord({"a", 1}).size() + 10] ^= 1;
            writeFile(journal, bytes);
            QueueStore store(path());
            if (full) { // left whole, and read again once there is room
                sh("cat /dev/zero >" + dir.filePath("filler"));
                QVERIFY(!store.load());
                QCOMPARE(readFile(journal), bytes);
                QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                         (QStringList{"filler", "queue.journal", "queue.json"}));
                QFile::remove(dir.filePath("filler"));
            }
            const auto contents = store.load();
            QVERIFY(contents);
            const QStringList kept = QStringList{"a", "b", "c"}.mid(0, damage               ? 0
                                                                       : cut < whole.size() ? 2
                                                                                            : 3);
            QCOMPARE(values(contents->scans), kept);
            QCOMPARE(!contents->setAside.isEmpty(), damage);
            if (damage)
                QCOMPARE(readFile(contents->setAside), bytes);
            store.waitFor(store.append({"d", 4}));
            QCOMPARE(onDisk(), values(contents->scans) + QStringList{"d"});
            for (const QString& f : QDir(dir.path()).entryList({"*.unreadable-*"}))
                QFile::remove(dir.filePath(f));
        }
    }

    // Compacted while removals come, every record is copied whole wherever a chunk ends.
    void aLargeJournalIsCompactedWhole() {
        QList<QueuedScan> scans;
        for (int i = 0; i < 60000; ++i)
            scans.append({QStringLiteral("4006381%1").arg(i, 6, 10, QLatin1Char('0')), i});
        QueueStore store(path());
        QVERIFY(store.load());
        store.waitFor(store.rewrite(scans, 0));
        for (int i = 0; i < 30000; ++i)
            store.removeFront(1);
        store.waitFor(store.compact());
        QVERIFY(store.compactions() >= 2);
        const auto contents = QueueStore::read(path());
        QVERIFY(contents);
        QCOMPARE(contents->scans, scans.mid(30000));
        QCOMPARE(QueueFile(path()).load(), scans.mid(30000)); // queue.json as well
    }

    // A journal that cannot be read to its end is never compacted into a shorter list:
    // both files stay as they are, it is said once, and tried again with later changes.
    void aJournalReadOnlyInPartIsNotCompacted_data() {
        QTest::addColumn<bool>("removal"); // the damaged record: a removal, else a scan
        QTest::newRow("a scan") << false;
        QTest::newRow("a removal") << true;
    }
    void aJournalReadOnlyInPartIsNotCompacted() {
        QFETCH(bool, removal);
        KORVEL_EXPECT_ONE_WARNING("not rewritten: the journal is damaged before its end");
        QueueStore store(path());
        QVERIFY(store.load());
        store.waitFor(store.rewrite({{"a", 1}, {"b", 2}}, 2));
        store.waitFor(store.append({"c", 3}));
        store.waitFor(store.removeFront(1));
        const QByteArray json = readFile(path());
        QFile journal(dir.filePath(QStringLiteral("queue.journal")));
        QByteArray bytes = readFile(journal.fileName());
        const qsizetype at =
            removal ? bytes.size() - 2 : bytes.indexOf(journal::appendRecord({"b", 2})) + 10;
        QVERIFY(journal.open(QIODevice::ReadWrite));
        const auto change = [&] { // in place, under the open journal
            bytes[at] = static_cast<char>(bytes[at] ^ 1);
            QVERIFY(journal.seek(at) && journal.write(bytes.mid(at, 1)) == 1 && journal.flush());
        };
        change();
        const QString big(300000, QLatin1Char('9')); // the journal outgrows the list
        for (int i = 0; i < 5; ++i) {
            store.waitFor(store.append({big, 4 + i}));
            store.waitUntilWritten();
        }
        QCOMPARE(store.compactions(), quint64(1)); // the first write only
        QCOMPARE(readFile(path()), json);
        change(); // mended
        store.waitFor(store.append({"d", 9}));
        store.waitUntilWritten();
        QCOMPARE(store.compactions(), quint64(2));
        const QStringList list = values(QueueFile(path()).load());
        QCOMPARE(list.mid(0, 2) + list.mid(7), (QStringList{"b", "c", "d"}));
    }

    // A writer killed at random holds the last state it was told is on disk, or the next.
    void aKillAtAnyMomentLeavesAWrittenState() {
        const auto stateAfter = [](int ops) {
            QStringList list;
            for (int i = 0; i < ops; ++i) {
                if (i % 7 == 6)
                    continue; // a compaction
                if (i % 3 == 2 && !list.isEmpty())
                    list.removeFirst();
                else if (i % 3 != 2)
                    list << QString::number(i);
            }
            return list;
        };
        QRandomGenerator random(7);
        for (int round = 0; round < 8; ++round) {
            init();
            int acks[2];
            QCOMPARE(::pipe(acks), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                ::close(acks[0]);
                QueueStore store(path());
                store.load();
                int size = 0;
                for (int i = 0;; ++i) {
                    if (i % 7 == 6)
                        store.waitFor(store.compact());
                    else if (i % 3 == 2 && size > 0 && --size >= 0)
                        store.waitFor(store.removeFront(1));
                    else if (i % 3 != 2 && ++size)
                        store.waitFor(i == 0 ? store.rewrite({{"0", 0}}, 0)
                                             : store.append({QString::number(i), i}));
                    if (::write(acks[1], &i, sizeof i) != sizeof i)
                        ::_exit(1);
                }
            }
            ::close(acks[1]);
            const int wanted = static_cast<int>(random.bounded(20, 150));
            int done = -1;
            while (done + 1 < wanted && ::read(acks[0], &done, sizeof done) == sizeof done) {
            }
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            for (int more = 0; ::read(acks[0], &more, sizeof more) == sizeof more;)
                done = more; // told before it died
            ::close(acks[0]);
            const QStringList stored = onDisk();
            QVERIFY2(stored == stateAfter(done + 1) || stored == stateAfter(done + 2),
                     qPrintable(QStringLiteral("after %1: %2 instead of %3")
                                    .arg(done)
                                    .arg(stored.join(','), stateAfter(done + 1).join(','))));
        }
    }

    void scansLeaveInReadingOrderOneAttemptAtATime() {
        QVERIFY(QueueFile(path()).save({{"a", 1}}));
        Server server;
        QStringList done;
        std::optional<ScanQueue> made(std::in_place, QueueFile(path()), server.fn());
        ScanQueue& queue = *made;
        queue.onDone = [&](const QueuedScan& s, SendOutcome, const QString&) {
            done << s.value;
            if (s.value == QLatin1String("b")) {
                queue.enqueue({"d", 4}); // the observer may enqueue and flush
                queue.flush();
            }
        };
        QVERIFY(server.sent.isEmpty()); // loading sends nothing
        queue.enqueue({"b", 2});
        queue.enqueue({"c", 3});
        queue.waitUntilSaved(); // written beside the requests, not before them
        QCOMPARE(onDisk(), (QStringList{"a", "b", "c"}));
        queue.flush();
        queue.flush();
        for (int i = 0; i < 3; ++i) { // a head that keeps failing holds back the rest
            server.answer(SendOutcome::retry);
            queue.flush();
        }
        QCOMPARE(server.sent, (QStringList{"a", "a", "a", "a"}));
        QVERIFY(done.isEmpty());        // never told of a retry
        server.answer(SendOutcome::ok); // one decision: the rest follow back to back
        server.answer(SendOutcome::rejected);
        server.answer(SendOutcome::ok);
        server.answer(SendOutcome::ok);
        QCOMPARE(server.sent.mid(4), (QStringList{"b", "c", "d"}));
        QCOMPARE(done, (QStringList{"a", "b", "c", "d"}));
        QVERIFY(server.open.isEmpty());
        queue.waitUntilSaved();
        QCOMPARE(onDisk(), QStringList());
        made.reset(); // nothing waits: the last stamp given is kept even so
        QCOMPARE(ScanQueue(QueueFile(path()), server.fn()).lastStamp(), 4);
    }

    void completionsInsideSendAndSecondReportsAreSafe() {
        Server server;
        server.atOnce = SendOutcome::ok;
        ScanQueue queue(QueueFile(path()), server.fn());
        QStringList toldWhileOnDisk; // the store holds a scan before anyone hears of it
        queue.onDone = [&](const QueuedScan& s, SendOutcome, const QString&) {
            if (readFile(dir.filePath("queue.journal")).contains(journal::appendRecord(s)))
                toldWhileOnDisk << s.value;
        };
        queue.enqueue({"a", 1});
        queue.enqueue({"b", 2});
        queue.flush();
        QCOMPARE(server.sent, (QStringList{"a", "b"}));
        QCOMPARE(toldWhileOnDisk, (QStringList{"a", "b"}));
        server.atOnce.reset();
        queue.enqueue({"c", 3});
        queue.enqueue({"d", 4});
        queue.flush();
        ScanQueue::Completion first = server.open.takeFirst();
        first(SendOutcome::ok, {});
        first(SendOutcome::ok, {}); // would otherwise drop d unsent
        QCOMPARE(values(queue.items()), QStringList{"d"});
    }

    // An answer waits for the head's own record only, not a newer one the writer is slow to.
    void anAnswerWaitsOnlyForTheHeadsOwnRecord() {
        Server server;
        ScanQueue queue(QueueFile(path()), server.fn());
        queue.enqueue({"a", 1});
        queue.enqueue({"b", 2});
        queue.waitUntilSaved();
        queue.flush();
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("queue.journal"))));
        testHandler = qInstallMessageHandler(holdWriter);
        const auto restore = qScopeGuard([] { qInstallMessageHandler(testHandler); });
        queue.enqueue({"c", 3});
        server.answer(SendOutcome::ok); // a: b becomes the head after c was handed over
        server.answer(SendOutcome::ok);
        writerMayGoOn.release();
        queue.waitUntilSaved();
        QVERIFY(!writerHeldTooLong);
        QCOMPARE(onDisk(), QStringList{"c"});
    }

    // After any crash the file holds every scan not yet decided.
    void theFileNeverLosesAnUndecidedScan() {
        Server server;
        {
            ScanQueue queue(QueueFile(path()), server.fn());
            for (int i = 0; i < 200; ++i)
                queue.enqueue({QString::number(i), i});
            queue.flush();
            for (int i = 0; i < 150; ++i) {
                server.answer(SendOutcome::ok);
                QVERIFY(onDisk().contains(QString::number(i + 1)));
            }
        } // destroyed right after a decision: brought up to date
        QCOMPARE(onDisk().size(), 50);
        QCOMPARE(onDisk().first(), QStringLiteral("150"));
    }

    void aFullDiskKeepsThePreviousFileAndTheScansInMemoryUntilThereIsRoom() {
        KORVEL_REQUIRE_MOUNTS();
        const QString disk = dir.filePath(QStringLiteral("small"));
        QDir().mkpath(disk);
        QCOMPARE(sh("mount -t tmpfs -o size=64k,mode=0700 tmpfs " + disk), QString());
        const auto cleanup = qScopeGuard([&] { sh("umount -l " + disk); });
        Settings settings;
        settings.setServerURL(QString()); // nothing is ever delivered
        settings.setScanner(QStringLiteral("S"), QString());
        ScriptedKeyboard keyboard;
        Journal journal;
        const QString folder = disk + QStringLiteral("/Korvel");
        Agent agent(settings, {keyboard, journal, journal}, folder,
                    {.tick = 50ms, .retry = 20ms, .idlePoll = 60000ms, .requestTimeout = 1000ms});
        agent.start();
        const auto scan = [&](const QString& text) { agent.capture().onScan("S", {}, text); };
        scan(QStringLiteral("4006381333931"));
        agent.queue().waitUntilSaved();
        const QByteArray before = readFile(folder + QStringLiteral("/queue.json"));
        sh("cat /dev/zero >" + disk + "/filler"); // until no byte is left
        for (int i = 0; i < 300; ++i) {           // a short write and a long one both fail whole
            scan(QStringLiteral("59012341%1").arg(i, 5, 10, QLatin1Char('0')));
            agent.queue().waitUntilSaved();
        }
        QCOMPARE(readFile(folder + QStringLiteral("/queue.json")), before);
        // Records that still fit are kept; the store never holds a mixture.
        const QList<QueuedScan> stored = QueueStore::read(folder + "/queue.json")->scans;
        QVERIFY(stored.size() < 301);
        QCOMPARE(stored, agent.queue().items().mid(0, stored.size()));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"queue.journal", "queue.json"}));
        QVERIFY2(agent.menuTexts().queueLine.endsWith(
                     "Not saved to disk (cannot write: No space left on device)"),
                 qPrintable(agent.menuTexts().queueLine));
        QFile::remove(disk + "/filler");
        // The retry timer writes what only memory held, without a new scan.
        QTRY_COMPARE(QueueStore::read(folder + QStringLiteral("/queue.json"))->scans.size(), 301);
        QVERIFY(!agent.menuTexts().queueLine.contains(QLatin1String("Not saved")));
    }
};

KORVEL_TEST_MAIN(TestQueue)
#include "tst_queue.moc"
