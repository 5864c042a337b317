#pragma once

#include <QtGlobal>

#include <algorithm>
#include <array>

// USB vendor ids of bar code scanner makers: their serial ports may be opened during
// detection, and the packaged udev rule lets the user in front read their hidraw and
// tty devices (packaging/70-korvel-agent.rules lists the same ids).
inline constexpr std::array<quint16, 8> kScannerMakers = {
    0x0536, // Hand Held Products (Honeywell)
    0x0C2E, // Metrologic (Honeywell)
    0x05E0, // Symbol (Zebra)
    0x0A5F, // Zebra
    0x05F9, // PSC (Datalogic)
    0x080C, // Datalogic
    0x1EAB, // Newland
    0x065A, // Opticon
};

inline bool isScannerMaker(quint32 vendor) {
    return std::find(kScannerMakers.begin(), kScannerMakers.end(), vendor) != kScannerMakers.end();
}
