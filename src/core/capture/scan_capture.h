#pragma once

#include "core/capture/calibration.h"
#include "core/capture/scan_buffer.h"
#include "platform/keyboard.h"
#include "platform/scan_source.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
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
    // key event. deliver: each scan of the chosen scanner outside detection, with the
    // AIM identifier its scanner gave apart from the text ("" for keyboards).
    // chosen: detection picked the device with this key and name, by a scan of this
    // text (never delivered). layoutName: the scanner's keyboard layout ("" for the US
    // table), read by followLayout() and decoded through `layouts` (none: the US table
    // only).
    ScanCapture(
        KeyboardSource& keyboard, std::function<QString()> chosenScanner,
        std::function<void(const QString& text, const QString& symbology)> deliver,
        std::function<void(const QString& key, const QString& name, const QString& text)> chosen,
        KeyboardLayouts* layouts = nullptr, std::function<QString()> layoutName = {});

    // A source of whole scans (HID POS, serial), read beside the keyboards from the
    // next startCapture() on. A device it reads is never read as a keyboard too.
    void addSource(ScanSource& source);
    // How the device with this key is read now: through a source that reads it, else
    // as a keyboard.
    ScannerInterface interfaceOf(const QString& key) const;

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
    // Reads the layout and pause settings; every buffer decodes with them from the
    // next key on.
    void followLayout();
    void onValue(const KeyEvent& event);
    // A whole scan from a source: routed and detected like a keyboard's.
    void onDeviceScan(const DeviceScan& scan);
    // medianGapMs: the scan's median pause between key-downs (ScanBuffer).
    void onScan(const QString& deviceKey, const QString& deviceName, const QString& text,
                double medianGapMs = 0);
    void toggleDetect();
    // While detecting, readies the layouts calibration tries (compiling one takes
    // milliseconds, all of them seconds), for about budgetMs: true while some remain.
    bool prepareCalibration(qint64 budgetMs);
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
    // Called when a keyboard-class device came or went: whether the scanner is
    // connected may have changed.
    std::function<void()> onDevicesChanged = [] {};
    // Called instead of `chosen` when the scan that chose the device was the test
    // code, and for a scan of it from the chosen scanner: what it told.
    std::function<void(const QString& key, const QString& name, const Calibration::Result&)>
        onCalibrated;
    // A device typed a barcode during detection too slowly to be taken for a scanner.
    std::function<void(const QString& key, const QString& name)> onTooSlow = [](const QString&,
                                                                                const QString&) {};
    // The desktop's own keyboard layout ("" when unknown), preferred among layouts
    // that read the test code alike.
    std::function<QString()> desktopLayout = [] { return QString(); };
    // The chosen scanner's pause that ends a scan, in ms; read with the layout.
    std::function<int()> scannerPause = [] { return Calibration::kMinPauseMs; };

    // Outside detection, keys of the chosen scanner that did not read as the test code
    // with the layout set may still be it, typed for another layout (the scanner was
    // reprogrammed). Where they might be, `recheck` starts reading them with every layout
    // (seconds: away from the caller) and recheckDone() takes the answer; that scan and
    // any after it wait meanwhile, so nothing of it is delivered and the order holds.
    // Unset: no other layout is tried.
    std::function<void(const std::vector<KeyStroke>& keys)> recheck;
    // What the reading started by `recheck` found: the test code (the scanner is set up
    // again, nothing delivered), or none (the scan is delivered as read).
    void recheckDone(const std::optional<Calibration::Result>& result);
    // Scans wait for a reading of other layouts.
    bool holding() const { return !held_.empty(); }

    static QString deviceKey(quint32 vendor, quint32 product);
    // The time of each device's last key press (KeyboardSource::nowMs clock), by
    // device key, whether or not it is the scanner.
    const std::map<QString, qint64>& lastKeyMs() const { return lastKeyMs_; }

  private:
    struct Held {
        QString key, name, text;
        std::vector<KeyStroke> keys;
    };
    // Delivers the scans held, in order, up to one that needs reading first.
    void releaseHeld();
    void takeCalibration(const QString& key, const QString& name,
                         const Calibration::Result& result);
    // Ends detection with this device chosen, by a scan of this text.
    void choose(const QString& key, const QString& name, const QString& text);
    void openSources();
    bool assembling() const;
    void dropBuffers();
    std::unique_ptr<LayoutDecoder> layoutDecoder();
    // Reads a device's keys as a scan of the test code; true when they were one.
    bool calibrate(const QString& key, const QString& name, const std::vector<KeyStroke>& keys);
    // Detection is over: the layouts compiled for it are let go.
    void forgetCandidates();
    // A device's key events since its last Enter or a pause no scanner makes.
    std::vector<KeyStroke>& recordingOf(const std::pair<quint64, QString>& id, const KeyEvent& e);

    KeyboardSource& keyboard_;
    std::function<QString()> chosenScanner_;
    std::function<void(const QString&, const QString&)> deliver_;
    std::function<void(const QString&, const QString&, const QString&)> chosen_;
    std::deque<Held> held_; // the first is being read with every layout
    std::vector<ScanSource*> sources_;
    std::vector<bool> sourceOpen_;
    bool open_ = false;
    bool paused_ = false;
    Access accessTold_ = Access::granted; // each change said once
    bool detecting_ = false;
    KeyboardLayouts* layouts_;
    std::function<QString()> layoutName_;
    QString layout_; // the setting the buffers decode with
    bool layoutKnown_ = true;
    int pause_ = Calibration::kMinPauseMs;                    // ends the chosen scanner's scans
    std::optional<QList<KeyboardLayouts::Choice>> toPrepare_; // in the detection's turn
    qsizetype prepared_ = 0;
    std::set<QString> toldSlow_; // devices told to scan the test code instead
    // By physical device, then device key: devices that report no identity of
    // their own are still told apart by model.
    std::map<std::pair<quint64, QString>, std::unique_ptr<ScanBuffer>> buffers_;
    std::map<std::pair<quint64, QString>, std::vector<KeyStroke>> recordings_;
    std::map<QString, qint64> lastKeyMs_;
    std::vector<KeyStroke> scanKeys_; // those of the scan being reported
    // Dropped buffers live until the call that dropped them has unwound: the buffer
    // that reported the scan may still be on the stack.
    std::vector<std::unique_ptr<ScanBuffer>> retired_;
};
