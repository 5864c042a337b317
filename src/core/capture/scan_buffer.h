#pragma once

#include "platform/keyboard_layout.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Turns the key-downs of one input device back into scan texts. Usages are HID
// Keyboard/Keypad usages, times are milliseconds of a monotonic clock. Keys are
// read with the US table unless a layout is given. Ctrl gives ASCII control
// characters (GS1's group separator is Ctrl+]), and on any layout the keys at the
// US [ \ ] places stay ESC, FS and GS, as scanners set up for Windows send them;
// Ctrl with Left Alt is AltGr on keys that have a third level. Alt held with
// keypad digits gives the character of that code (leading 0: Windows-1252, else
// code page 437).
class ScanBuffer {
  public:
    using CharPair = std::pair<char, char>; // unshifted, shifted

    qint64 gapMs = 100;
    bool emitOnGap = true;
    std::function<void(const QString&)> onScan = [](const QString&) {};
    QString text;
    bool shift = false; // either Shift key is down
    bool ctrl = false;
    bool alt = false; // an Alt that is not the layout's level key (AltGr)
    quint8 held = 0;  // bit n: usage 224 + n down (Left Ctrl … Right GUI)
    QString altCode;  // keypad digits typed while Alt is held
    qint64 lastKeyAt = 0;
    bool spoiled = false;                  // inside a scan whose start was discarded
    std::unique_ptr<LayoutDecoder> layout; // none: the US table

    void key(int usage, bool down, qint64 nowMs);
    void tick(qint64 nowMs);
    // The keystrokes of the scan being typed can no longer be trusted (events were
    // lost): drops the text, and the rest of that scan up to its Enter or its pause,
    // and forgets the modifiers, an Alt code and a dead key.
    void discard(qint64 nowMs);
    bool assembling() const { return !text.isEmpty(); }
    // The median pause between the key-downs of the last scan reported (from its
    // first character to its Enter); 0 when there was none.
    double medianGapMs() const;

    // Shared, immutable after their first use.
    static bool isShiftKey(int usage);
    static bool isEnterKey(int usage);
    static std::optional<CharPair> keyFor(int usage);
    // The character of an Alt code typed as these digits, if it names one.
    static std::optional<QChar> altCodeCharacter(const QString& digits);
    // The control character Ctrl gives with the key at this usage, with Shift or
    // not, where the layout types `own` there (0: nothing); none where it gives none.
    static std::optional<QChar> controlCharacter(int usage, bool shift, char16_t own);

  private:
    void finish(); // ends the current scan
    void append(int usage);

    std::vector<qint64> gaps_; // between the key-downs of the scan being typed
};
