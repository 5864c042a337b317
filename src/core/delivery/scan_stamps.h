#pragma once

#include "core/delivery/queued_scan.h"

#include <QList>

#include <functional>

// The wall-clock stamps of one agent's scans. Servers take a repeated ("value",
// "ts") for the same scan sent again, so no two scans may share a stamp: one taken
// at or before the previous stamp becomes the previous stamp + 1. A clock stepped
// back by more than kStepBackMs is followed rather than waited out.
class ScanStamps {
  public:
    static constexpr qint64 kStepBackMs = 5000;
    using Clock = std::function<qint64()>; // milliseconds since 1970

    explicit ScanStamps(Clock wallClock = defaultClock());

    // Stamps already given out, e.g. by an earlier run whose scans still wait.
    void noteUsed(const QList<QueuedScan>& scans);
    qint64 next();

    static Clock defaultClock();

  private:
    Clock clock_;
    qint64 last_ = 0;      // the last stamp given out
    qint64 lastClock_ = 0; // the clock when it was given out
    bool any_ = false;
};
