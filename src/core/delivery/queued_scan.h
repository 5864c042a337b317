#pragma once

#include <QString>

// One scan waiting for delivery: its text and wall-clock milliseconds since 1970.
struct QueuedScan {
    QString value;
    qint64 ts = 0;

    friend bool operator==(const QueuedScan&, const QueuedScan&) = default;
};
