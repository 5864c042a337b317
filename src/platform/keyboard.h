#pragma once

#include <QString>

#include <functional>

// One report from the keyboard layer. `key` carries a HID Keyboard/Keypad usage
// (page 7) with value 1 for a press and 0 for a release; `discard` says that the
// device's pending keystrokes can no longer be trusted (events were lost); `gone`
// that the device went away, with whatever it was typing; `plugged` that a device
// came (or became readable), told as it is opened.
struct KeyEvent {
    enum Kind { key, discard, gone, plugged };
    Kind kind = key;
    int usagePage = 0;
    int usage = 0;
    int value = 0;
    qint64 timeMs = 0; // the event's own time, on the clock of KeyboardSource::nowMs
    quint32 vendor = 0;
    quint32 product = 0;
    QString name; // null when the device reports none
    // Which physical device, unique per opened device: two of one model (same vendor
    // and product) are still told apart.
    quint64 device = 0;
};

// Passive access to the key events of every keyboard-class device.
class KeyboardSource {
  public:
    using Handler = std::function<void(const KeyEvent&)>;
    virtual ~KeyboardSource() = default;

    // True when key events may be read: some keyboard can be, or none is plugged in.
    virtual bool accessGranted() = 0;
    // True when a keyboard with this vendor and product is plugged in, whether it
    // can be read or not.
    virtual bool connected(quint32 vendor, quint32 product) = 0;
    // Starts reporting events to `handler`, on the caller's thread. False when it
    // could not; it may be called again later.
    virtual bool open(Handler handler) = 0;
    // Stops reporting: every device is closed and none is opened until open() is
    // called again. Events not yet reported are dropped.
    virtual void close() = 0;
    // Reports at once every event already received from the devices, so that a
    // pause is never judged ahead of keystrokes that have already happened.
    virtual void drain() = 0;
    // Now, in milliseconds of the clock the events' times are taken on.
    virtual qint64 nowMs() = 0;
    // What keeps key events from being read although access is granted (capture
    // could not start, a keyboard cannot be watched), in words; empty when nothing.
    virtual QString problem() const { return {}; }
};
