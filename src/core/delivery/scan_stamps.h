#pragma once

#include "core/delivery/queued_scan.h"

#include <QList>

#include <functional>

// The wall-clock stamps of one agent's scans. Servers take a repeated ("value",
// "ts") for the same scan sent again, so no two scans may share a stamp, also not
// across a restart or a clock stepped back: a stamp never goes back. One taken at or
// before the previous stamp becomes the previous stamp + 1.
class ScanStamps {
  public:
    using Clock = std::function<qint64()>; // milliseconds since 1970

    explicit ScanStamps(Clock wallClock = defaultClock());

    // Stamps already given out, e.g. by an earlier run (the store keeps the last).
    void noteUsed(const QList<QueuedScan>& scans);
    void noteLast(qint64 stamp);
    qint64 next();

    static Clock defaultClock();

  private:
    Clock clock_;
    qint64 last_ = 0; // the last stamp given out
    bool any_ = false;
};
