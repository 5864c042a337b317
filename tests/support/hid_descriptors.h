#pragma once

// Scanners' report descriptors, item by item, and input reports that fit them.

#include <QByteArray>

namespace korvel::test {

// One short item: type 0 main, 1 global, 2 local; data in as few bytes as it takes.
QByteArray hidItem(int type, int tag, quint32 data);
// A keyboard's collection: no scans in it.
QByteArray keyboardDescriptor();

// Report ID 2: length (vendor usage), 3 symbology bytes, 56 data bytes, 2 vendor
// bytes, a flags byte whose bit 0 says more follows; output report 4 of one byte.
QByteArray honeywellStyleDescriptor();
// Report ID 2: length, then 62 data bytes; the flag in a byte of its own.
QByteArray newlandStyleDescriptor();
// No report IDs, no length byte: symbology identifier 1-3 (a usage range), 32 data
// bytes ended by a NUL, the continued bit and 7 bits of padding.
QByteArray plainDescriptor();

// Input reports for those: `data` (at most 56 bytes) with the identifier and the flag.
QByteArray honeywellReport(const QByteArray& data, const QByteArray& aim, bool more = false);
QByteArray newlandReport(const QByteArray& data, bool more = false);

} // namespace korvel::test
