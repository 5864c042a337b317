#include "core/delivery/scan_stamps.h"

#include <QDateTime>

ScanStamps::ScanStamps(Clock wallClock) : clock_(std::move(wallClock)) {}

ScanStamps::Clock ScanStamps::defaultClock() {
    return [] { return QDateTime::currentMSecsSinceEpoch(); };
}

void ScanStamps::noteUsed(const QList<QueuedScan>& scans) {
    for (const QueuedScan& scan : scans)
        noteLast(scan.ts);
}

void ScanStamps::noteLast(qint64 stamp) {
    if (!any_ || stamp > last_)
        last_ = stamp;
    any_ = true;
}

qint64 ScanStamps::next() {
    const qint64 now = clock_();
    // A clock stepped back is not followed: a stamp given before the step could
    // otherwise come again.
    last_ = any_ ? std::max(now, last_ + 1) : now;
    any_ = true;
    return last_;
}
