#include "core/delivery/scan_stamps.h"

#include <QDateTime>

ScanStamps::ScanStamps(Clock wallClock) : clock_(std::move(wallClock)) {}

ScanStamps::Clock ScanStamps::defaultClock() {
    return [] { return QDateTime::currentMSecsSinceEpoch(); };
}

void ScanStamps::noteUsed(const QList<QueuedScan>& scans) {
    for (const QueuedScan& scan : scans) {
        if (!any_ || scan.ts > last_) {
            // The clock of that run is unknown; its stamps ran at most a little ahead.
            last_ = lastClock_ = scan.ts;
            any_ = true;
        }
    }
}

qint64 ScanStamps::next() {
    const qint64 now = clock_();
    // Judged by the clock's own readings, so that stamps pushed ahead by a burst
    // are never taken for a clock stepped back.
    if (!any_ || now < lastClock_ - kStepBackMs)
        last_ = now;
    else
        last_ = std::max(now, last_ + 1);
    lastClock_ = now;
    any_ = true;
    return last_;
}
