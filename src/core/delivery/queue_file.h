#pragma once

#include "core/delivery/queued_scan.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>

// Compact JSON array of {"value": string, "ts": integer}, oldest first.
QByteArray encodeQueue(const QList<QueuedScan>& scans);
// One element of that array.
void appendQueuedScan(QByteArray& out, const QueuedScan& scan);
// nullopt when the bytes are not such an array (one bad element spoils the whole file).
std::optional<QList<QueuedScan>> decodeQueue(const QByteArray& bytes);

// A JSON number that is a whole number within the signed 64-bit range.
std::optional<qint64> jsonInteger(const QJsonValue& v);

// The queue's copy on disk.
class QueueFile {
  public:
    explicit QueueFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The scans in the file (none when there is no file). A file whose content cannot
    // be decoded, or that can never be read (no read permission), is moved aside to
    // "<path>.unreadable-<ms>" first, so that the next save does not destroy what may
    // still be recovered from it. nullopt, with the reason in `error`, when it cannot
    // be read just now (too many open files, an I/O error, a stale network folder),
    // or that could not be moved aside: the file stays as it is, to be read again later. Copies
    // left by interrupted saves are removed first.
    std::optional<QList<QueuedScan>> tryLoad(QString* error = nullptr) const;
    // The same, with no scans when the file cannot be read just now.
    QList<QueuedScan> load() const { return tryLoad().value_or(QList<QueuedScan>()); }
    // Replaces the file atomically (owner-only permissions) and makes the new name
    // durable; a folder that went away is made again. False, with the reason in
    // `error`, when anything failed; the previous file is then untouched.
    bool save(const QList<QueuedScan>& scans, QString* error = nullptr) const;
    // The same with the array already encoded, given as its pieces in order.
    bool saveEncoded(std::initializer_list<QByteArrayView> pieces, QString* error = nullptr) const;

    // The name a disregarded file was moved to by the last load, if any.
    const QString& setAside() const { return setAside_; }

  private:
    QString path_;
    mutable QString setAside_;

    bool putAside() const; // false when the file is still where it was
    void removeLeftovers() const;
};

// Writes successive states of the queue to its file in order, never an older state
// over a newer one. saveNow() returns once its state is on disk; saveLater() hands
// the state to a writer thread and returns at once, and when states arrive faster
// than the disk takes them only the newest waiting one is written.
class QueueWriter {
  public:
    // The array is "[" + elements.mid(from, length) + "]".
    struct State {
        QByteArray elements;
        qsizetype from = 0;
        qsizetype length = 0;
    };

    explicit QueueWriter(QueueFile file);
    ~QueueWriter(); // writes what is still waiting first

    bool saveNow(const State& state);
    void saveLater(State state);
    // Returns once every state handed over so far is on disk (or failed).
    void waitUntilWritten();

    const QueueFile& file() const { return file_; }
    // How many states were written to disk (the rest were superseded while waiting).
    quint64 written() const { return written_; }
    // Why the file is behind the newest state handed over; empty while it is not.
    QString behindBecause() const;

  private:
    bool write(const State& state, quint64 generation);
    void noteResult(bool ok, const QString& error);
    void run();

    QueueFile file_;
    std::mutex mutex_; // guards the fields below
    std::condition_variable changed_;
    std::optional<State> waiting_;
    quint64 waitingGeneration_ = 0;
    quint64 nextGeneration_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    std::mutex diskMutex_; // one write at a time; guards writtenGeneration_
    quint64 writtenGeneration_ = 0;
    mutable std::mutex errorMutex_; // guards error_
    QString error_;
    std::atomic<quint64> written_{0};
    std::thread thread_;
};
