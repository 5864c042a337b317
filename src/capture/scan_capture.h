#pragma once

#include "capture/scan_buffer.h"
#include "delivery/queued_scan.h"
#include "platform/keyboard.h"
#include "platform/notifier.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class Settings;

// Routes key events to one ScanBuffer per device key and decides what each scan is
// for: delivery (only the chosen scanner's keys, outside detection) or choosing the
// scanner (any keyboard, during detection).
class ScanCapture {
  public:
    using Buffers = std::map<QString, std::unique_ptr<ScanBuffer>>;
    using ScanSink = std::function<void(const QueuedScan&)>;

    ScanCapture(Settings& settings, KeyboardSource& keyboard, Notifier& notifier,
                SoundPlayer& sounds, ScanSink deliver, std::function<qint64()> wallClockMs);

    void startCapture();
    void onValue(const KeyEvent& event);
    void onScan(const QString& deviceKey, const QString& deviceName, const QString& text);
    void toggleDetect();
    // Takes in every keystroke already received, then ends scans whose pause has
    // run out. True while some buffer still holds text.
    bool tick();

    bool captureOpen() const { return open_; }
    bool detecting() const { return detecting_; }
    bool assembling() const;
    const Buffers& buffers() const { return buffers_; }

    // Called whenever a buffer holds text after a key event, so the owner can make
    // sure tick() runs.
    std::function<void()> onAssembling = [] {};
    // Called once detection has chosen a scanner.
    std::function<void()> onScannerChosen = [] {};

    static QString deviceKey(quint32 vendor, quint32 product);

  private:
    void dropBuffers();

    Settings& settings_;
    KeyboardSource& keyboard_;
    Notifier& notifier_;
    SoundPlayer& sounds_;
    ScanSink deliver_;
    std::function<qint64()> wallClockMs_;
    bool open_ = false;
    bool accessTold_ = true; // warned once when access goes missing
    bool detecting_ = false;
    Buffers buffers_;
    // Dropped buffers live until the call that dropped them has unwound: the buffer
    // that reported the scan may still be on the stack.
    std::vector<std::unique_ptr<ScanBuffer>> retired_;
};
