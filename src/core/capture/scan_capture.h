#pragma once

#include "core/capture/scan_buffer.h"
#include "platform/keyboard.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <vector>

// Routes key events to one ScanBuffer per physical device and decides what each
// scan is for: delivery (only the chosen scanner's keys, outside detection) or
// choosing the scanner (any keyboard, during detection).
class ScanCapture {
  public:
    // What stands between the keyboards and capture. scannerAbsent: the chosen
    // scanner is not plugged in, so whether it could be read is not known yet (with
    // a rule for it alone, nothing can be read until it is).
    enum class Access { granted, scannerAbsent, denied };

    // chosenScanner: the chosen scanner's device key ("" for none), read at every
    // key event. deliver: each scan of the chosen scanner outside detection.
    // chosen: detection picked the device with this key and name. layoutName: the
    // scanner's keyboard layout ("" for the US table), read by followLayout() and
    // decoded through `layouts` (none: the US table only).
    ScanCapture(KeyboardSource& keyboard, std::function<QString()> chosenScanner,
                std::function<void(const QString& text)> deliver,
                std::function<void(const QString& key, const QString& name)> chosen,
                KeyboardLayouts* layouts = nullptr, std::function<QString()> layoutName = {});

    // Also follows the layout setting: called at start and every few seconds.
    // Opens unless access is denied: while it is not known to work, the devices
    // being plugged in are watched, so that the scanner is read from its first scan.
    void startCapture();
    // Looks at the devices (file system work: not per key).
    Access access();
    // Another user is in front: every device closed, scans being typed dropped,
    // detection cancelled, and nothing opened again until resume().
    void pause();
    // Capture as at start-up.
    void resume();
    // Reads the layout setting; every buffer decodes with it from the next key on.
    void followLayout();
    void onValue(const KeyEvent& event);
    // medianGapMs: the scan's median pause between key-downs (ScanBuffer).
    void onScan(const QString& deviceKey, const QString& deviceName, const QString& text,
                double medianGapMs = 0);
    void toggleDetect();
    // Takes in every keystroke already received, then ends scans whose pause has
    // run out. True while some buffer still holds text.
    bool tick();

    bool captureOpen() const { return open_; }
    bool paused() const { return paused_; }
    bool detecting() const { return detecting_; }
    // The layout setting when it names no layout that can be used; else empty.
    QString unknownLayout();

    // Called whenever a buffer holds text after a key event, so the owner can make
    // sure tick() runs.
    std::function<void()> onAssembling = [] {};

    static QString deviceKey(quint32 vendor, quint32 product);

  private:
    bool assembling() const;
    void dropBuffers();
    std::unique_ptr<LayoutDecoder> layoutDecoder();

    KeyboardSource& keyboard_;
    std::function<QString()> chosenScanner_;
    std::function<void(const QString&)> deliver_;
    std::function<void(const QString&, const QString&)> chosen_;
    bool open_ = false;
    bool paused_ = false;
    Access accessTold_ = Access::granted; // each change said once
    bool detecting_ = false;
    KeyboardLayouts* layouts_;
    std::function<QString()> layoutName_;
    QString layout_; // the setting the buffers decode with
    bool layoutKnown_ = true;
    // By physical device, then device key: devices that report no identity of
    // their own are still told apart by model.
    std::map<std::pair<quint64, QString>, std::unique_ptr<ScanBuffer>> buffers_;
    // Dropped buffers live until the call that dropped them has unwound: the buffer
    // that reported the scan may still be on the stack.
    std::vector<std::unique_ptr<ScanBuffer>> retired_;
};
