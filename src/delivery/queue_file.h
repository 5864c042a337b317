#pragma once

#include "delivery/queued_scan.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

// Compact JSON array of {"value": string, "ts": integer}, oldest first.
QByteArray encodeQueue(const QList<QueuedScan>& scans);
// nullopt when the bytes are not such an array (one bad element spoils the whole file).
std::optional<QList<QueuedScan>> decodeQueue(const QByteArray& bytes);

// A JSON number that is a whole number within the signed 64-bit range.
std::optional<qint64> jsonInteger(const QJsonValue& v);

// The queue's copy on disk.
class QueueFile {
public:
    explicit QueueFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The scans in the file, or an empty list. A file that exists but cannot be read
    // or decoded is moved aside to "<path>.unreadable-<ms>" first, so that the next
    // save does not destroy what may still be recovered from it.
    QList<QueuedScan> load() const;
    // Replaces the file atomically (owner-only permissions) and makes the new name
    // durable. False when anything failed; the previous file is then untouched.
    bool save(const QList<QueuedScan>& scans) const;

    // The name a disregarded file was moved to by the last load, if any.
    const QString& setAside() const { return setAside_; }

private:
    QString path_;
    mutable QString setAside_;

    void putAside() const;
};
