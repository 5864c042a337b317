#pragma once

#include "platform/keyboard_layout.h"

#include <QString>

#include <optional>
#include <vector>

// One key event as a device sent it: a HID Keyboard/Keypad usage, down or up, and
// the milliseconds of a monotonic clock.
struct KeyStroke {
    int usage = 0;
    bool down = false;
    qint64 timeMs = 0;
};

// Finds out from one scan of the test code what a scanner was programmed for: the
// keyboard layout whose keys it presses, how it sends control characters and Alt
// codes, what it adds before and after a barcode, and how slowly it types.
class Calibration {
  public:
    struct Result {
        QString layout;           // the "scannerLayout" setting: "" for the US table
        QString description;      // "German (Switzerland)"
        QString prefix;           // what the scanner types before the barcode
        QString suffix;           // and after it
        bool gsAsAltCode = false; // GS came as an Alt code, not as a Ctrl combination
        int altCodes = 0;         // characters of the test code typed as Alt codes
        qint64 slowestGapMs = 0;  // between the key-downs of the scan, its Enter included
        int pauseMs = 0;          // the pause that ends a scan of this scanner
    };

    // The shortest and longest pause that may end a scan.
    static constexpr int kMinPauseMs = 100;
    static constexpr int kMaxPauseMs = 1000;
    // A scanner may add this much before or after the barcode (an AIM identifier
    // such as "]d1", a station name).
    static constexpr int kMaxAffix = 20;

    // The test code's content: "KV1", a space, every printable ASCII character in
    // code order, GS, "KV1".
    static const QString& testText();
    // Whether a device's keys up to its Enter could be a scan of the test code at
    // all: cheap, looked at before any layout is tried.
    static bool mayBeTestCode(const std::vector<KeyStroke>& keys);
    // Stricter, for keys that did not read as the test code with the layout set, before
    // every other layout is tried (seconds): whatever the layout, the same keys type
    // "KV1" at both ends (within a prefix and suffix), and its 94 characters take
    // many different keys. Still cheap: no layout is looked at.
    static bool mayBeTestCodeElsewhere(const std::vector<KeyStroke>& keys);
    // The pause that ends the scans of a scanner whose slowest gap is this.
    static int pauseFor(qint64 slowestGapMs);

    // keys: one device's key events, from before its first character to its Enter.
    // Every layout of `layouts` is tried, and the US table; ties go to desktopLayout,
    // then to base layouts before variants, then to the layout that types the fewest
    // keys. None when no layout reads the keys as the test code. With `only`, that
    // layout alone is tried (empty: the US table).
    static std::optional<Result> calibrate(const std::vector<KeyStroke>& keys,
                                           KeyboardLayouts* layouts,
                                           const QString& desktopLayout = {},
                                           const std::optional<QString>& only = std::nullopt);
};
