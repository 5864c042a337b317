#include "core/capture/scan_capture.h"

#include "core/logging.h"
#include "core/trim.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>

namespace {
constexpr int kKeyboardPage = 7;
constexpr int kMinDetectLength = 4;
constexpr int kFirstModifier = 224;
constexpr size_t kMaxRecorded = 8192; // key events of one device since its last Enter
// Scanners type a key every 1-20 ms; people, even fast typists, take 80 ms or more
// between most keys. A keyboard chosen as "the scanner" would send everything typed
// on it, passwords included, to the server: only scanner speed may choose.
constexpr double kMaxDetectMedianGapMs = 30;
} // namespace

ScanCapture::ScanCapture(KeyboardSource& keyboard, std::function<QString()> chosenScanner,
                         std::function<void(const QString&, const QString&)> deliver,
                         std::function<void(const QString&, const QString&, const QString&)> chosen,
                         KeyboardLayouts* layouts, std::function<QString()> layoutName)
    : keyboard_(keyboard), chosenScanner_(std::move(chosenScanner)), deliver_(std::move(deliver)),
      chosen_(std::move(chosen)), layouts_(layouts), layoutName_(std::move(layoutName)) {}

QString ScanCapture::deviceKey(quint32 vendor, quint32 product) {
    return QString::asprintf("%04X:%04X", vendor, product);
}

void ScanCapture::addSource(ScanSource& source) {
    sources_.push_back(&source);
    sourceOpen_.push_back(false);
}

ScannerInterface ScanCapture::interfaceOf(const QString& key) const {
    for (const ScanSource* source : sources_) {
        if (source->reading(key.section(QLatin1Char(':'), 0, 0).toUInt(nullptr, 16),
                            key.section(QLatin1Char(':'), 1).toUInt(nullptr, 16)))
            return source->interface();
    }
    return ScannerInterface::keyboard;
}

void ScanCapture::openSources() {
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (sourceOpen_[i])
            continue;
        const auto wants = [this](quint32 vendor, quint32 product) {
            using Wanted = ScanSource::Wanted;
            return deviceKey(vendor, product) == chosenScanner_() ? Wanted::chosen
                   : detecting_                                   ? Wanted::anyScanner
                                                                  : Wanted::no;
        };
        sourceOpen_[i] =
            sources_[i]->open([this](const DeviceScan& scan) { onDeviceScan(scan); }, wants);
    }
}

void ScanCapture::startCapture() {
    followLayout();
    if (paused_)
        return;
    // Their access is their own: a scanner read through one needs no keyboard access.
    openSources();
    if (open_)
        return;
    const Access access = this->access();
    if (access != accessTold_) {
        accessTold_ = access;
        if (access == Access::denied) {
            qCWarning(lcAgent) << "no read access to the keyboards: nothing is captured until "
                                  "it is granted (see \"Allow keyboard access\")";
        } else if (access == Access::scannerAbsent) {
            qCInfo(lcAgent) << "the chosen scanner is not connected: it is read as soon as it "
                               "is plugged in";
        }
    }
    if (access == Access::denied)
        return;
    open_ = keyboard_.open([this](const KeyEvent& event) { onValue(event); });
    if (open_)
        qCInfo(lcAgent) << "reading the keyboards";
}

ScanCapture::Access ScanCapture::access() {
    const QString scanner = chosenScanner_();
    bool vendorOk = false, productOk = false;
    const quint32 vendor = scanner.section(QLatin1Char(':'), 0, 0).toUInt(&vendorOk, 16);
    const quint32 product = scanner.section(QLatin1Char(':'), 1).toUInt(&productOk, 16);
    // Read through an interface of its own, the scanner needs no keyboard access.
    if (vendorOk && productOk && std::any_of(sources_.begin(), sources_.end(), [&](ScanSource* s) {
            return s->connected(vendor, product);
        }))
        return Access::granted;
    if (vendorOk && productOk && !keyboard_.connected(vendor, product))
        return Access::scannerAbsent;
    return keyboard_.accessGranted() ? Access::granted : Access::denied;
}

void ScanCapture::pause() {
    // Scans finished before the switch (by Enter, or by a pause already over) are
    // the leaving user's: taken in and delivered before the rest is dropped.
    if (open_)
        tick();
    keyboard_.close();
    for (ScanSource* source : sources_)
        source->close();
    sourceOpen_.assign(sources_.size(), false);
    open_ = false;
    paused_ = true;
    detecting_ = false;
    dropBuffers();
    forgetCandidates();
}

void ScanCapture::resume() {
    paused_ = false;
    startCapture();
}

void ScanCapture::onValue(const KeyEvent& event) {
    retired_.clear();
    if (event.kind == KeyEvent::plugged || event.kind == KeyEvent::gone)
        onDevicesChanged();
    if (event.kind == KeyEvent::plugged)
        return;
    const bool discard = event.kind != KeyEvent::key;
    if (!discard && (event.usagePage != kKeyboardPage || event.usage < 4 || event.usage > 231))
        return;
    const QString key = deviceKey(event.vendor, event.product);
    if (event.kind == KeyEvent::key && event.value == 1)
        lastKeyMs_[key] = event.timeMs; // for support: which device types at all
    // Outside detection nothing but the chosen scanner's keys is ever kept.
    if (!detecting_ && key != chosenScanner_())
        return;
    // A scanner that also sends its data itself is read there only: no scan twice.
    if (std::any_of(sources_.begin(), sources_.end(),
                    [&](const ScanSource* s) { return s->reading(event.vendor, event.product); }))
        return;
    const std::pair<quint64, QString> id{event.device, key};
    auto it = buffers_.find(id);
    if (event.kind == KeyEvent::gone) {
        // Its pending scan is lost with it; a device plugged in again is a new one.
        recordings_.erase(id);
        if (it != buffers_.end()) {
            retired_.push_back(std::move(it->second));
            buffers_.erase(it);
        }
        return;
    }
    const QString name = event.name.isNull() ? QStringLiteral("Scanner") : event.name;
    if (it == buffers_.end()) {
        // Even a discard needs the buffer: it spoils the rest of a scan whose start
        // was lost, and that may be the device's very first scan.
        auto buffer = std::make_unique<ScanBuffer>();
        buffer->layout = layoutDecoder();
        buffer->onScan = [this, key, name, b = buffer.get()](const QString& text) {
            onScan(key, name, text, b->medianGapMs());
        };
        it = buffers_.emplace(id, std::move(buffer)).first;
    }
    ScanBuffer& buffer = *it->second;
    buffer.emitOnGap = !detecting_;
    // Detection judges every device by a scanner's speed; the chosen scanner has
    // its own pace.
    buffer.gapMs = detecting_ ? Calibration::kMinPauseMs : pause_;
    std::vector<KeyStroke>& recording = recordingOf(id, event);
    if (discard) {
        recording.clear();
        buffer.discard(event.timeMs);
        return;
    }
    const bool down = event.value != 0;
    if (!down || !ScanBuffer::isEnterKey(event.usage)) {
        buffer.key(event.usage, down, event.timeMs);
    } else {
        scanKeys_ = std::exchange(recording, {});
        // The test code proves a scanner whatever its speed: tried before the
        // buffer, which may have dropped a slow scanner's text at a pause.
        if (detecting_ && calibrate(key, name, scanKeys_)) {
            scanKeys_.clear();
            return;
        }
        const auto typing =
            std::count_if(scanKeys_.begin(), scanKeys_.end(), [](const KeyStroke& k) {
                return k.down && k.usage < kFirstModifier && !ScanBuffer::isEnterKey(k.usage);
            });
        buffer.key(event.usage, down, event.timeMs);
        scanKeys_.clear();
        // Still detecting: the buffer did not take the device for a scanner.
        if (detecting_ && typing >= kMinDetectLength && toldSlow_.insert(key).second)
            onTooSlow(key, name); // once a detection
    }
    if (assembling())
        onAssembling();
}

std::vector<KeyStroke>& ScanCapture::recordingOf(const std::pair<quint64, QString>& id,
                                                 const KeyEvent& e) {
    std::vector<KeyStroke>& recording = recordings_[id];
    if (!recording.empty() && e.timeMs - recording.back().timeMs > Calibration::kMaxPauseMs)
        recording.clear();
    // A key held down repeats without end: the oldest keys go, far more than a
    // test code takes are kept.
    if (recording.size() >= kMaxRecorded)
        recording.erase(recording.begin(), recording.begin() + kMaxRecorded / 2);
    if (e.kind == KeyEvent::key)
        recording.push_back({e.usage, e.value != 0, e.timeMs});
    return recording;
}

bool ScanCapture::calibrate(const QString& key, const QString& name,
                            const std::vector<KeyStroke>& keys) {
    if (!Calibration::mayBeTestCode(keys))
        return false;
    QElapsedTimer timer;
    timer.start();
    // The chosen scanner scanning it again: its layout already reads it (the text
    // said so), and trying every other one would hold up everything for seconds.
    const auto result = Calibration::calibrate(
        keys, layouts_, desktopLayout(),
        detecting_ ? std::nullopt : std::optional(unknownLayout().isEmpty() ? layout_ : QString()));
    qCInfo(lcCapture).noquote() << QStringLiteral("%1 keys of %2 (%3) read as the test code in "
                                                  "%4 ms: %5")
                                       .arg(keys.size())
                                       .arg(name, key)
                                       .arg(timer.elapsed())
                                       .arg(result ? QStringLiteral("yes") : QStringLiteral("no"));
    if (!result)
        return false;
    takeCalibration(key, name, *result);
    return true;
}

void ScanCapture::takeCalibration(const QString& key, const QString& name,
                                  const Calibration::Result& result) {
    detecting_ = false;
    dropBuffers();
    if (onCalibrated)
        onCalibrated(key, name, result);
    else
        chosen_(key, name, Calibration::testText());
    followLayout();
    forgetCandidates();
    for (ScanSource* source : sources_)
        source->follow();
}

void ScanCapture::recheckDone(const std::optional<Calibration::Result>& result) {
    if (held_.empty())
        return;
    const Held scan = std::move(held_.front());
    held_.pop_front();
    qCInfo(lcCapture).noquote()
        << QStringLiteral("%1 keys of %2 (%3) read as the test code in another layout: %4")
               .arg(scan.keys.size())
               .arg(scan.name, scan.key, result ? QStringLiteral("yes") : QStringLiteral("no"));
    if (result)
        takeCalibration(scan.key, scan.name, *result);
    else
        deliver_(scan.text, QString());
    releaseHeld();
}

void ScanCapture::releaseHeld() {
    while (!held_.empty()) {
        if (recheck && Calibration::mayBeTestCodeElsewhere(held_.front().keys)) {
            recheck(held_.front().keys);
            return;
        }
        const QString text = std::move(held_.front().text);
        held_.pop_front();
        deliver_(text, QString());
    }
}

void ScanCapture::onScan(const QString& deviceKey, const QString& deviceName, const QString& text,
                         double medianGapMs) {
    if (!detecting_) {
        // The test code is no barcode of the business: it tells the scanner's
        // settings again (after it was reprogrammed) and goes no further.
        if (text.contains(Calibration::testText())) {
            calibrate(deviceKey, deviceName, std::exchange(scanKeys_, {}));
        } else if (!held_.empty() || (recheck && Calibration::mayBeTestCodeElsewhere(scanKeys_))) {
            held_.push_back({deviceKey, deviceName, text, std::exchange(scanKeys_, {})});
            if (held_.size() == 1)
                recheck(held_.front().keys);
        } else {
            deliver_(text, QString()); // a keyboard gives no identifier apart
        }
        return;
    }
    if (text.size() < kMinDetectLength || medianGapMs > kMaxDetectMedianGapMs)
        return;
    choose(deviceKey, deviceName, text);
}

void ScanCapture::onDeviceScan(const DeviceScan& scan) {
    retired_.clear();
    const QString key = deviceKey(scan.vendor, scan.product);
    // The test code sets up keyboard reading only: from a scanner's own interface it
    // tells nothing, and it is no barcode of the business.
    const bool testCode = scan.text.contains(Calibration::testText());
    if (!detecting_) {
        if (key == chosenScanner_() && !testCode)
            deliver_(scan.text, scan.symbology);
        return;
    }
    // A scanner's own interface proves it is one: no speed or length to judge.
    choose(key, scan.name, scan.text);
}

void ScanCapture::choose(const QString& key, const QString& name, const QString& text) {
    detecting_ = false;
    dropBuffers();
    chosen_(key, name, text);
    followLayout(); // the pace of a scanner chosen before is not this one's
    forgetCandidates();
    for (ScanSource* source : sources_)
        source->follow(); // the other scanners are let go
}

void ScanCapture::toggleDetect() {
    detecting_ = !detecting_;
    dropBuffers();
    toldSlow_.clear();
    for (ScanSource* source : sources_)
        source->follow();
    if (!detecting_)
        forgetCandidates();
}

void ScanCapture::forgetCandidates() {
    toPrepare_.reset();
    prepared_ = 0;
    if (layouts_)
        layouts_->forgetUnused();
}

bool ScanCapture::prepareCalibration(qint64 budgetMs) {
    if (!detecting_ || !layouts_)
        return false;
    QElapsedTimer timer;
    timer.start();
    if (!toPrepare_)
        toPrepare_ = layouts_->available();
    while (prepared_ < toPrepare_->size() && !timer.hasExpired(budgetMs))
        layouts_->decoder((*toPrepare_)[prepared_++].name); // kept compiled by the adapter
    return prepared_ < toPrepare_->size();
}

bool ScanCapture::tick() {
    retired_.clear();
    // "Now" before the drain: every keystroke typed up to now is then taken in, and
    // the pause is never judged ahead of one.
    const qint64 now = keyboard_.nowMs();
    if (open_)
        keyboard_.drain();
    if (buffers_.empty())
        return false;
    std::vector<std::pair<quint64, QString>> keys;
    for (const auto& [key, buffer] : buffers_)
        keys.push_back(key);
    for (const auto& key : keys) {
        // A scan reported by one buffer may empty the whole map.
        if (const auto it = buffers_.find(key); it != buffers_.end())
            it->second->tick(now);
    }
    return assembling();
}

bool ScanCapture::assembling() const {
    for (const auto& [key, buffer] : buffers_) {
        if (buffer->assembling())
            return true;
    }
    return false;
}

void ScanCapture::followLayout() {
    pause_ =
        std::clamp(scannerPause(), int(Calibration::kMinPauseMs), int(Calibration::kMaxPauseMs));
    QString name = layoutName_ ? layoutName_() : QString();
    if (name == layout_)
        return;
    layout_ = std::move(name);
    for (auto& [key, buffer] : buffers_)
        buffer->layout = layoutDecoder();
    layoutKnown_ = layout_.trimmed().isEmpty() || layoutDecoder() != nullptr;
    if (!layoutKnown_) {
        qCWarning(lcAgent).noquote()
            << QStringLiteral("scanner layout \"%1\" is unknown: keys are read with the US "
                              "layout meanwhile")
                   .arg(elided(layout_));
    }
}

std::unique_ptr<LayoutDecoder> ScanCapture::layoutDecoder() {
    if (layout_.trimmed().isEmpty())
        return nullptr;
    return layouts_ ? layouts_->decoder(layout_) : nullptr;
}

QString ScanCapture::unknownLayout() {
    followLayout();
    return layoutKnown_ ? QString() : layout_;
}

void ScanCapture::dropBuffers() {
    for (auto& [key, buffer] : buffers_)
        retired_.push_back(std::move(buffer));
    buffers_.clear();
    recordings_.clear();
}
