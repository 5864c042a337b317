#include "core/capture/scan_capture.h"

#include "core/logging.h"

#include <QStringList>

namespace {
constexpr int kKeyboardPage = 7;
constexpr int kMinDetectLength = 4;
// Scanners type a key every 1-20 ms; people, even fast typists, take 80 ms or more
// between most keys. A keyboard chosen as "the scanner" would send everything typed
// on it, passwords included, to the server: only scanner speed may choose.
constexpr double kMaxDetectMedianGapMs = 30;
} // namespace

ScanCapture::ScanCapture(KeyboardSource& keyboard, std::function<QString()> chosenScanner,
                         std::function<void(const QString&)> deliver,
                         std::function<void(const QString&, const QString&)> chosen,
                         KeyboardLayouts* layouts, std::function<QString()> layoutName)
    : keyboard_(keyboard), chosenScanner_(std::move(chosenScanner)), deliver_(std::move(deliver)),
      chosen_(std::move(chosen)), layouts_(layouts), layoutName_(std::move(layoutName)) {}

QString ScanCapture::deviceKey(quint32 vendor, quint32 product) {
    return QString::asprintf("%04X:%04X", vendor, product);
}

void ScanCapture::startCapture() {
    followLayout();
    if (open_ || paused_)
        return;
    const Access access = this->access();
    if (access != accessTold_) {
        accessTold_ = access;
        if (access == Access::denied) {
            qCWarning(lcAgent) << "no read access to the keyboards: nothing is captured until "
                                  "it is granted (see \"Allow Input Monitoring\")";
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
    open_ = false;
    paused_ = true;
    detecting_ = false;
    dropBuffers();
}

void ScanCapture::resume() {
    paused_ = false;
    startCapture();
}

void ScanCapture::onValue(const KeyEvent& event) {
    retired_.clear();
    const bool discard = event.kind != KeyEvent::key;
    if (!discard && (event.usagePage != kKeyboardPage || event.usage < 4 || event.usage > 231))
        return;
    const QString key = deviceKey(event.vendor, event.product);
    // Outside detection nothing but the chosen scanner's keys is ever kept.
    if (!detecting_ && key != chosenScanner_())
        return;
    const std::pair<quint64, QString> id{event.device, key};
    auto it = buffers_.find(id);
    if (event.kind == KeyEvent::gone) {
        // Its pending scan is lost with it; a device plugged in again is a new one.
        if (it != buffers_.end()) {
            retired_.push_back(std::move(it->second));
            buffers_.erase(it);
        }
        return;
    }
    if (it == buffers_.end()) {
        // Even a discard needs the buffer: it spoils the rest of a scan whose start
        // was lost, and that may be the device's very first scan.
        auto buffer = std::make_unique<ScanBuffer>();
        const QString name = event.name.isNull() ? QStringLiteral("Scanner") : event.name;
        buffer->layout = layoutDecoder();
        buffer->onScan = [this, key, name, b = buffer.get()](const QString& text) {
            onScan(key, name, text, b->medianGapMs());
        };
        it = buffers_.emplace(id, std::move(buffer)).first;
    }
    ScanBuffer& buffer = *it->second;
    buffer.emitOnGap = !detecting_;
    if (discard) {
        buffer.discard(event.timeMs);
        return;
    }
    buffer.key(event.usage, event.value != 0, event.timeMs);
    if (assembling())
        onAssembling();
}

void ScanCapture::onScan(const QString& deviceKey, const QString& deviceName, const QString& text,
                         double medianGapMs) {
    if (!detecting_) {
        deliver_(text);
        return;
    }
    if (text.size() < kMinDetectLength || medianGapMs > kMaxDetectMedianGapMs)
        return;
    detecting_ = false;
    dropBuffers();
    chosen_(deviceKey, deviceName);
}

void ScanCapture::toggleDetect() {
    detecting_ = !detecting_;
    dropBuffers();
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
                   .arg(layout_);
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
}
