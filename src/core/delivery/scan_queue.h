#pragma once

#include "core/delivery/queue_file.h"
#include "core/delivery/queue_store.h"
#include "core/delivery/queued_scan.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <deque>
#include <functional>

// What became of one delivery attempt.
enum class SendOutcome { ok, rejected, retry };

// 200..299 ok, exactly 400 rejected, everything else (0 for no answer) retry.
SendOutcome sendOutcomeFromStatus(qint64 status);

// Waiting scans in reading order, handed one at a time to `send`. At most one
// attempt is outstanding; nothing overtakes the head. Every change goes to the store
// in order without waiting for the disk: a new scan's POST starts while it is being
// written, and an attempt's outcome is acted on (the scan removed, the operator told)
// only once the scan is on disk.
class ScanQueue {
    Q_DECLARE_TR_FUNCTIONS(ScanQueue)

  public:
    using Completion = std::function<void(SendOutcome, const QString& message)>;
    using SendFn = std::function<void(const QueuedScan&, Completion)>;
    using DoneFn = std::function<void(const QueuedScan&, SendOutcome, const QString& message)>;

    // Loads the store beside the file; sends and writes nothing. A store that cannot
    // be read just now is left as it is and read again by retryLoad() before anything
    // is written.
    ScanQueue(QueueFile file, SendFn send);
    // The store is brought up to date first, as it is at exit() without a clean quit.
    ~ScanQueue();

    void enqueue(const QueuedScan& scan);
    void flush();
    // Writes the current list again if the store fell behind it (a full disk, a
    // read-only folder). True when the store is up to date.
    bool saveIfBehind();
    // Why scans are kept in memory only; empty while the store holds the list.
    QString diskProblem() const;
    // Reads the store again if it could not be read so far. True when its scans were
    // taken in just now (before the newer ones still waiting) and the store holds them.
    bool retryLoad();
    bool loadPending() const { return loadPending_; }
    // Where an unreadable file was moved, if it was.
    const QString& setAside() const { return setAside_; }

    const QList<QueuedScan>& items() const { return items_; }
    bool flushing() const { return flushing_; }
    const QueueFile& file() const { return file_; }
    // The newest stamp this queue's store ever saw, also of scans long delivered.
    qint64 lastStamp() const { return lastStamp_; }
    // Returns once the store holds the current list.
    void waitUntilSaved() { store_.waitUntilWritten(); }
    const QueueStore& store() const { return store_; }

    // Told of every attempt that ended in ok or rejected, never retry.
    DoneFn onDone = [](const QueuedScan&, SendOutcome, const QString&) {};

  private:
    void lastSave();
    static void lastSaveOfEveryQueue();
    void startHead();
    void completed(const QueuedScan& head, SendOutcome outcome, const QString& message);
    void took(QueueStore::Contents& contents);
    // Hands one change to the store, or the whole list when the store needs it;
    // returns the number of what was handed (0: nothing).
    quint64 store(const std::function<quint64()>& change);

    SendFn send_;
    QueueFile file_;
    QueueStore store_;
    QList<QueuedScan> items_;
    bool flushing_ = false;
    // Beside each of items_: the store's change that puts it on disk, the one an
    // answer about it waits for (not a newer scan's, which may be slow to come).
    std::deque<quint64> changes_;
    qint64 lastStamp_ = 0;
    bool loadPending_ = false;
    QString loadError_;
    QString setAside_;
};
