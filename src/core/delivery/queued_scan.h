#pragma once

#include <QString>

#include <utility>

// One scan waiting for delivery: its text and wall-clock milliseconds since 1970.
struct QueuedScan {
    QueuedScan() = default;
    QueuedScan(QString value, qint64 ts, QString symbology = {})
        : value(std::move(value)), ts(ts), symbology(std::move(symbology)) {}

    QString value;
    qint64 ts = 0;
    // The AIM identifier a scanner gave apart from the text ("" when none: a keyboard
    // scan carries its identifier, if any, at the start of `value`).
    QString symbology;

    friend bool operator==(const QueuedScan&, const QueuedScan&) = default;
};
// Moved as bytes when a list of a million grows: copying each text would hold the
// thread that appends for a long moment.
Q_DECLARE_TYPEINFO(QueuedScan, Q_RELOCATABLE_TYPE);
