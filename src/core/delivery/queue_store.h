#pragma once

#include "core/delivery/queued_scan.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The waiting scans on disk, in a folder of their own: `queue.json`, the whole list
// as a JSON array that other tools may read, and `queue.journal`, which records every
// change since that list was written (a scan appended, scans removed from the front,
// the last stamp given). A change costs one record and one sync (removals share one)
// whatever the length of the queue; the list is written whole only now and then, when
// the journal has grown as large as the list, by a thread of its own from what the
// journal held at that moment, while new records go on reaching the journal at once.
// docs/queue-store.md says why a crash at any byte leaves every scan that was
// persisted, in order, once.
class QueueStore {
  public:
    // Told of each step of writing the list whole in the background, on the thread
    // that takes it: "building", "built", "tail copied", "journal replaced", "snapshot
    // replaced" (before the journal when no queue.json was in place); and "taking over" once a
    // queue.json of an older agent has a journal. A test may hold a step or look at the folder
    // there.
    using StepHook = std::function<void(const char* step)>;

    // What a folder holds.
    struct Contents {
        QList<QueuedScan> scans;
        qint64 lastStamp = 0; // the newest stamp ever given; 0 when unknown
        bool fromJournal = false;
        qint64 journalEnd = 0; // where the journal's last whole record ends
        QString setAside;      // where an undecodable file was moved, if one was
    };

    // snapshot: the queue.json path; the journal lies beside it (".json" -> ".journal").
    explicit QueueStore(QString snapshot, StepHook hook = {});
    ~QueueStore(); // what was handed over is written first

    QString snapshotPath() const;
    QString journalPath() const;

    // Reads the folder. An undecodable queue.json or journal is moved aside first,
    // copies left by interrupted writes are removed, a torn last record is ignored.
    // nullopt, with the reason in `error`, when it cannot be read just now: nothing is
    // then changed, and nothing may be written until it has been read.
    std::optional<Contents> load(QString* error = nullptr);
    // The same without disturbing an agent that may be writing the folder: nothing is
    // changed, or with `tidy` only an undecodable queue.json set aside and leftovers
    // older than any write removed.
    static std::optional<Contents> read(const QString& snapshot, QString* error = nullptr,
                                        bool tidy = false);

    // Changes, written in order by the writer thread; each returns its number. They
    // are only written while the store is not behind (see rewrite).
    quint64 append(const QueuedScan& scan);
    quint64 removeFront(qsizetype count);
    // Writes the whole list afresh (queue.json, then a new journal). Needed first when
    // the store is behind: a change failed to reach the disk, or nothing was loaded.
    quint64 rewrite(const QList<QueuedScan>& scans, qint64 lastStamp);
    // The list is written whole at once (at quit), after any compaction under way.
    quint64 compact();

    // Returns once change `number` is written (or failed); true when it is on disk.
    bool waitFor(quint64 number);
    bool written(quint64 number) const;
    // Also waits for a compaction or take-over under way.
    void waitUntilWritten();
    // True while the file is behind the changes handed over: they are kept only in
    // memory until rewrite() succeeds.
    bool behind() const;
    // Behind, and no rewrite() handed over since it fell behind.
    bool needsRewrite() const;
    // Why it is behind; empty while it is not.
    QString behindBecause() const;
    // Bytes handed to write() so far, and how many times the list was written whole.
    quint64 bytesWritten() const;
    quint64 compactions() const;
    // The number of the newest change handed over.
    quint64 lastHanded() const;

  private:
    struct Change {
        enum Kind { record, rewrite, compact, takeOver } kind = record;
        QByteArray bytes; // a record; or every append record of the list
        qint64 lastStamp = 0;
        quint64 number = 0;
    };
    quint64 hand(Change change);
    struct Background;
    void run();
    // sync false: removals, synced within kRemovalSyncDelay (or with the next record).
    bool writeRecords(const QByteArray& bytes, bool sync, QString* error);
    void syncRemovals();
    bool writeWhole(const QByteArray* records, qint64 lastStamp, QString* error);
    static bool build(Background& job, const QString& snapshot, const QString& journalPath,
                      const StepHook& hook);
    bool switchTo(Background& job, qint64 tailFrom, QString* error);
    bool placeSnapshot(const QByteArray& name);
    void placeWaitingSnapshot();
    bool beginTakeOver(QString* error);
    void startBackground();
    void finishBackground();
    void step(const char* name) const;
    void noteResult(bool ok, const QString& error);
    bool journalGone() const;

    std::optional<Contents> loadFrom(bool changing, QString* error);

    QString snapshot_;
    QString journalPath_;
    mutable std::mutex mutex_; // guards the fields up to thread_
    std::condition_variable changed_;
    std::vector<Change> waiting_;
    quint64 handed_ = 0;
    quint64 done_ = 0;   // every change up to this one was tried
    quint64 failed_ = 0; // the newest change that did not reach the disk
    quint64 rewriteHanded_ = 0;
    bool behind_ = true; // until a journal is open
    bool busy_ = false;
    bool stopping_ = false;
    bool backgroundDone_ = false; // the background write ended, to be switched in
    bool backgroundBusy_ = false; // one is under way or not switched in yet
    QString error_;
    quint64 bytesWritten_ = 0;
    quint64 compactions_ = 0;
    // Writer thread only:
    int journal_ = -1;
    static constexpr std::chrono::milliseconds kRemovalSyncDelay{500};
    std::optional<std::chrono::steady_clock::time_point> unsynced_; // the oldest unsynced write
    qint64 end_ = 0;                                                // where the next record goes
    qint64 liveCount_ = 0;                                          // scans in the list
    qint64 appendCount_ = 0; // append records ever written, and their bytes
    qint64 appendBytes_ = 0;
    qint64 sinceWhole_ = 0; // bytes appended since the list was written whole
    qint64 lastStamp_ = 0;
    QString wholeFailure_; // why the list was last not written whole on its own
    // While a taken-over queue.json is the start of the list: its append records,
    // and the journal ('B') continues that file as it is.
    bool baseMode_ = false;
    QByteArray base_;
    qint64 baseSize_ = -1;
    quint32 baseCrc_ = 0;
    quint64 generation_ = 0; // a new number whenever another journal is open
    std::unique_ptr<Background> background_;
    QByteArray snapshotToPlace_; // a new queue.json, once the records waiting are written
    StepHook hook_;
    std::thread thread_;
};

// The journal's record framing, shared by writers and readers.
namespace journal {
quint32 crc32c(const char* data, qsizetype size, quint32 crc = 0);
QByteArray appendRecord(const QueuedScan& scan);
void appendRecordTo(QByteArray& out, const QueuedScan& scan);
} // namespace journal
