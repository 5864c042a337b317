#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <utility>

// Turns the key-downs of one input device back into scan texts. Usages are HID
// Keyboard/Keypad usages, times are milliseconds of a monotonic clock.
class ScanBuffer {
  public:
    using CharPair = std::pair<char, char>; // unshifted, shifted

    qint64 gapMs = 100;
    bool emitOnGap = true;
    std::function<void(const QString&)> onScan = [](const QString&) {};
    QString text;
    bool shift = false;
    qint64 lastKeyAt = 0;
    bool spoiled = false; // inside a scan whose start was discarded

    void key(int usage, bool down, qint64 nowMs);
    void tick(qint64 nowMs);
    // The keystrokes of the scan being typed can no longer be trusted (events were
    // lost): drops the text, and the rest of that scan up to its Enter or its pause,
    // and forgets Shift.
    void discard(qint64 nowMs);
    bool assembling() const { return !text.isEmpty(); }

    // Shared, immutable after their first use.
    static bool isShiftKey(int usage);
    static bool isEnterKey(int usage);
    static std::optional<CharPair> keyFor(int usage);

  private:
    void finish(); // ends the current scan
};
