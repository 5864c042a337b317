#pragma once

#include "core/delivery/queue_file.h"
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
// attempt is outstanding; nothing overtakes the head.
class ScanQueue {
    Q_DECLARE_TR_FUNCTIONS(ScanQueue)

  public:
    using Completion = std::function<void(SendOutcome, const QString& message)>;
    using SendFn = std::function<void(const QueuedScan&, Completion)>;
    using DoneFn = std::function<void(const QueuedScan&, SendOutcome, const QString& message)>;

    // Loads the file; sends and writes nothing. A file that cannot be read just now
    // is left as it is and read again by retryLoad() before anything is written.
    ScanQueue(QueueFile file, SendFn send);
    // The file is brought up to date first, as it is at exit() without a clean quit.
    ~ScanQueue();

    void enqueue(const QueuedScan& scan);
    void flush();
    // Writes the current list again if the file fell behind it (a full disk, a
    // read-only folder). True when the file is up to date.
    bool saveIfBehind();
    // Why scans are kept in memory only; empty while the file holds the list.
    QString diskProblem() const;
    // Reads the file again if it could not be read so far. True when its scans were
    // taken in just now (before the newer ones still waiting) and the file holds them.
    bool retryLoad();
    bool loadPending() const { return loadPending_; }
    // Where an unreadable file was moved, if it was.
    const QString& setAside() const { return writer_.file().setAside(); }

    const QList<QueuedScan>& items() const { return items_; }
    bool flushing() const { return flushing_; }
    const QueueFile& file() const { return writer_.file(); }
    // Returns once the file holds the current list.
    void waitUntilSaved() { writer_.waitUntilWritten(); }
    quint64 savesWritten() const { return writer_.written(); }

    // Told of every attempt that ended in ok or rejected, never retry.
    DoneFn onDone = [](const QueuedScan&, SendOutcome, const QString&) {};

  private:
    void lastSave();
    static void lastSaveOfEveryQueue();
    void startHead();
    void completed(const QueuedScan& head, SendOutcome outcome, const QString& message);

    QueueWriter::State state() const;
    void appendElement(const QueuedScan& scan);

    SendFn send_;
    QList<QueuedScan> items_;
    bool flushing_ = false;
    // The file's elements, encoded once per scan: a save after a delivery only
    // moves `from_` past the delivered element instead of encoding the rest again.
    QByteArray elements_;         // every element followed by ','
    std::deque<qsizetype> sizes_; // bytes of each element in elements_, with its ','
    qsizetype from_ = 0;
    bool loadPending_ = false;
    QString loadError_;
    QueueWriter writer_;
};
