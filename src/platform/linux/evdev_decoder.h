#pragma once

#include "platform/keyboard.h"

#include <bitset>
#include <functional>
#include <linux/input.h>

// Turns the raw input_event records of one evdev device into key reports: frames,
// MSC_SCAN, autorepeat, SYN_DROPPED and the key state it leaves behind. Holds no
// descriptor and no thread, so every sequence can be replayed in a test.
class EvdevDecoder {
  public:
    using Keys = std::bitset<KEY_CNT>;
    using Sink = std::function<void(const KeyEvent&)>;
    // Fills in the keys the device holds down now (EVIOCGKEY); false when it cannot
    // tell, and every key then counts as released.
    using KeyState = std::function<bool(Keys&)>;

    // device: the identity reported with every event (KeyEvent::device).
    EvdevDecoder(quint64 device, quint32 vendor, quint32 product, QString name, KeyState keyState,
                 Sink sink);

    void feed(const input_event& e);
    // The device went away: what it was typing is an incomplete scan, and keys held
    // down will never be released.
    void gone(qint64 timeMs);

    // HID Keyboard/Keypad usage for a Linux key code (0 when there is none).
    static int usageForKeyCode(int code);
    // Linux key code for a HID Keyboard/Keypad usage (0 when there is none).
    static int keyCodeForUsage(int usage);
    static qint64 timeMsOf(const input_event& e);
    // The keys its events said are down now.
    const Keys& down() const { return down_; }

  private:
    void discard(qint64 timeMs, KeyEvent::Kind kind = KeyEvent::discard);
    void resync(qint64 timeMs);
    void report(int code, int value, qint64 timeMs, int usage = 0);

    quint64 device_;
    quint32 vendor_;
    quint32 product_;
    QString name_;
    KeyState keyState_;
    Sink sink_;
    int pendingScan_ = -1;  // MSC_SCAN value waiting for its EV_KEY
    bool dropping_ = false; // after SYN_DROPPED, until the next SYN_REPORT
    Keys down_;
};
