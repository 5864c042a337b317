#pragma once

#include "core/delivery/queued_scan.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <initializer_list>
#include <optional>

// Compact JSON array of {"value": string, "ts": integer[, "symbology": string]}, oldest
// first.
QByteArray encodeQueue(const QList<QueuedScan>& scans);
// One element of that array.
void appendQueuedScan(QByteArray& out, const QueuedScan& scan);
// nullopt when the bytes are not such an array (one bad element spoils the whole file).
std::optional<QList<QueuedScan>> decodeQueue(const QByteArray& bytes);

// A JSON number that is a whole number within the signed 64-bit range.
std::optional<qint64> jsonInteger(const QJsonValue& v);
// Writes all of data, going on after interruptions; false with errno set otherwise.
bool writeAll(int fd, const char* data, qsizetype size);
// Syncs the folder that holds `path`, so that a new name in it survives a power cut.
bool syncFolderOf(const QString& path);
// Errors after which reading the same file can never succeed; any other error may
// pass (too many open files, I/O errors, a network folder not there yet).
bool readingCanNeverWork(int error);
// An errno in words.
QString reasonOf(int error);

// queue.json on its own: the JSON array that older agents wrote and other tools read.
class QueueFile {
  public:
    explicit QueueFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The scans in the file (none when there is no file). A file whose content cannot
    // be decoded, or that can never be read (no read permission), is moved aside to
    // "<path>.unreadable-<ms>" first, so that the next save does not destroy what may
    // still be recovered from it. nullopt, with the reason in `error`, when it cannot
    // be read just now (too many open files, an I/O error, a stale network folder),
    // or that could not be moved aside: the file stays as it is, to be read again later.
    // `read`, when given, receives the bytes the scans were decoded from.
    std::optional<QList<QueuedScan>> tryLoad(QString* error = nullptr,
                                             QByteArray* read = nullptr) const;
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
};
