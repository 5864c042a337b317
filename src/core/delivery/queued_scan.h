#pragma once

#include <QString>

// One scan waiting for delivery: its text and wall-clock milliseconds since 1970.
struct QueuedScan {
    QString value;
    qint64 ts = 0;

    friend bool operator==(const QueuedScan&, const QueuedScan&) = default;
};
// Moved as bytes when a list of a million grows: copying each text would hold the
// thread that appends for a long moment.
Q_DECLARE_TYPEINFO(QueuedScan, Q_RELOCATABLE_TYPE);
