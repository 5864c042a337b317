#include "platform/linux/hidpos_layout.h"

#include "platform/scan_source.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

// HID report descriptor items: one prefix byte (size in bits 0-1, type in 2-3, tag
// in 4-7), then 0, 1, 2 or 4 bytes of data; 0xFE starts a long item.
constexpr quint8 kLongItem = 0xFE;
enum Type { kMain = 0, kGlobal = 1, kLocal = 2 };
enum MainTag {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC
};
enum GlobalTag {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB
};
enum LocalTag { kUsage = 0x0, kUsageMinimum = 0x1, kUsageMaximum = 0x2 };
constexpr quint32 kApplication = 0x01;
constexpr quint32 kConstant = 0x01; // of an Input/Output/Feature item's data

constexpr quint32 kBarCodeScannerPage = 0x8C;
constexpr quint32 kSymbology1 = 0xFB, kSymbology3 = 0xFD;
constexpr quint32 kDecodedData = 0xFE;
constexpr quint32 kDataContinued = 0xFF;
constexpr int kErrorBeepReport = 4;

// No HID report is larger (the kernel's own bound), and no field wider than 32 bits.
constexpr int kMaxReportBytes = 4096;
constexpr quint32 kMaxFieldBits = 32;
constexpr int kMaxDepth = 32; // collections, and pushed global states

bool onPage(quint32 usage, quint32 first, quint32 last) {
    return usage >> 16 == kBarCodeScannerPage && (usage & 0xFFFF) >= first &&
           (usage & 0xFFFF) <= last;
}

struct Globals {
    quint32 usagePage = 0;
    quint32 reportSize = 0;
    quint32 reportCount = 0;
    int reportId = 0;
};

// One field of a report: `bits` wide at `bit`, from the report's first bit after the ID.
struct Slot {
    int bit;
    int bits;
    quint32 usage; // page in the high half; 0 for padding
};

class Parser {
  public:
    explicit Parser(const QByteArray& d) : d_(d) {}

    HidPosLayout::Parsed run() {
        qsizetype pos = 0;
        while (pos < d_.size()) {
            const auto prefix = static_cast<quint8>(d_[pos]);
            if (prefix == kLongItem) {
                if (pos + 1 >= d_.size())
                    return fail(QStringLiteral("long item cut short"));
                pos += 3 + static_cast<quint8>(d_[pos + 1]);
                if (pos > d_.size())
                    return fail(QStringLiteral("long item cut short"));
                continue;
            }
            const int size = (prefix & 3) == 3 ? 4 : prefix & 3;
            if (pos + 1 + size > d_.size())
                return fail(QStringLiteral("item at byte %1 cut short").arg(pos));
            quint32 data = 0;
            for (int i = 0; i < size; ++i)
                data |= quint32(static_cast<quint8>(d_[pos + 1 + i])) << (8 * i);
            if (!item((prefix >> 2) & 3, prefix >> 4, data, size))
                return fail(error_ + QStringLiteral(" (byte %1)").arg(pos));
            pos += 1 + size;
        }
        if (!collections_.empty())
            return fail(QStringLiteral("a collection is never closed"));
        return finish();
    }

  private:
    HidPosLayout::Parsed fail(const QString& why) { return {std::nullopt, why, foundScanner_}; }

    bool bad(const QString& why) {
        error_ = why;
        return false;
    }

    bool item(int type, int tag, quint32 data, int size) {
        switch (type) {
        case kMain:
            return mainItem(tag, data);
        case kGlobal:
            return globalItem(tag, data);
        case kLocal:
            if (tag == kUsage || tag == kUsageMinimum || tag == kUsageMaximum) {
                const quint32 usage = size == 4 ? data : (globals_.usagePage << 16) | data;
                if (tag == kUsage)
                    usages_.push_back(usage);
                else
                    (tag == kUsageMinimum ? usageMin_ : usageMax_) = usage;
            }
            return true; // designators and strings say nothing about the layout
        default:
            return bad(QStringLiteral("reserved item type"));
        }
    }

    bool globalItem(int tag, quint32 data) {
        switch (tag) {
        case kUsagePage:
            globals_.usagePage = data & 0xFFFF;
            break;
        case kReportSize:
            if (data > kMaxFieldBits)
                return bad(QStringLiteral("report size of %1 bits").arg(data));
            globals_.reportSize = data;
            break;
        case kReportCount:
            if (data > quint32(kMaxReportBytes) * 8)
                return bad(QStringLiteral("report count of %1").arg(data));
            globals_.reportCount = data;
            break;
        case kReportId:
            if (data == 0 || data > 255)
                return bad(QStringLiteral("report ID %1").arg(data));
            if (sawReport_ && !usesIds_)
                return bad(QStringLiteral("reports with and without IDs"));
            usesIds_ = true;
            globals_.reportId = int(data);
            break;
        case kPush:
            if (stack_.size() >= kMaxDepth)
                return bad(QStringLiteral("global states pushed too deep"));
            stack_.push_back(globals_);
            break;
        case kPop:
            if (stack_.empty())
                return bad(QStringLiteral("pop without push"));
            globals_ = stack_.back();
            stack_.pop_back();
            break;
        default:
            break; // logical and physical ranges, units: not needed for bytes
        }
        return true;
    }

    bool mainItem(int tag, quint32 data) {
        std::vector<quint32> usages = std::exchange(usages_, {});
        const quint32 usageMin = std::exchange(usageMin_, 0);
        const quint32 usageMax = std::exchange(usageMax_, 0);
        switch (tag) {
        case kCollection: {
            if (collections_.size() >= kMaxDepth)
                return bad(QStringLiteral("collections nested too deep"));
            const quint32 usage = usages.empty() ? usageMin : usages.front();
            const bool scanner =
                (data & 0xFF) == kApplication && usage >> 16 == kBarCodeScannerPage;
            collections_.push_back(scanner);
            foundScanner_ = foundScanner_ || scanner;
            return true;
        }
        case kEndCollection:
            if (collections_.empty())
                return bad(QStringLiteral("end of a collection never opened"));
            collections_.pop_back();
            return true;
        case kInput:
        case kOutput:
        case kFeature:
            break;
        default:
            return bad(QStringLiteral("reserved main item"));
        }
        if (!usesIds_ && sawReport_ && globals_.reportId != 0)
            return bad(QStringLiteral("reports with and without IDs"));
        sawReport_ = true;
        const int id = globals_.reportId;
        int& bits = (tag == kInput ? inputBits_ : tag == kOutput ? outputBits_ : featureBits_)[id];
        const int first = bits;
        bits += int(globals_.reportSize * globals_.reportCount);
        if (bits > kMaxReportBytes * 8)
            return bad(
                QStringLiteral("report %1 larger than %2 bytes").arg(id).arg(kMaxReportBytes));
        const bool inScanner =
            std::find(collections_.begin(), collections_.end(), true) != collections_.end();
        if (tag != kInput || !inScanner)
            return true;
        for (quint32 i = 0; i < globals_.reportCount; ++i) {
            quint32 usage = 0;
            if (data & kConstant)
                usage = 0;
            else if (!usages.empty())
                usage = usages[std::min<size_t>(i, usages.size() - 1)];
            else if (usageMin != 0 || usageMax != 0)
                usage = std::min(usageMin + i, usageMax);
            slots_[id].push_back(
                {first + int(i * globals_.reportSize), int(globals_.reportSize), usage});
        }
        return true;
    }

    HidPosLayout::Parsed finish() {
        if (!foundScanner_)
            return fail(QStringLiteral("no bar code scanner collection"));
        HidPosLayout layout;
        layout.usesIds = usesIds_;
        const int idBytes = usesIds_ ? 1 : 0;
        for (const auto& [id, bits] : inputBits_)
            layout.inputSizes[id] = idBytes + (bits + 7) / 8;
        if (const auto it = outputBits_.find(kErrorBeepReport); it != outputBits_.end() && usesIds_)
            layout.errorBeepSize = idBytes + (it->second + 7) / 8;
        for (const auto& [id, fields] : slots_) {
            HidPosLayout::ScanReport report;
            report.id = id;
            report.size = layout.inputSizes[id];
            int lastData = -1;
            for (const Slot& slot : fields) {
                const bool whole = slot.bits == 8 && slot.bit % 8 == 0;
                const int at = idBytes + slot.bit / 8;
                if (onPage(slot.usage, kDecodedData, kDecodedData)) {
                    if (!whole)
                        return fail(QStringLiteral("decoded data not in whole bytes"));
                    if (lastData >= 0 && at != lastData + 1)
                        return fail(QStringLiteral("decoded data in pieces"));
                    if (lastData < 0)
                        report.dataAt = at;
                    lastData = at;
                    ++report.dataSize;
                } else if (onPage(slot.usage, kSymbology1, kSymbology3) && whole) {
                    report.symbologyAt.push_back(at);
                } else if (onPage(slot.usage, kDataContinued, kDataContinued)) {
                    report.continuedBit = idBytes * 8 + slot.bit;
                    report.continuedBits = slot.bits;
                } else if (slot.bit == 0 && whole && slot.usage != 0) {
                    // The first byte, marked with a usage of its own (makers take a
                    // vendor one): the count of data bytes.
                    report.lengthAt = at;
                }
            }
            if (report.dataSize > 0)
                layout.scans.push_back(report);
        }
        if (layout.scans.empty())
            return fail(QStringLiteral("no decoded data in the scanner's reports"));
        return {layout, {}, true};
    }

    const QByteArray& d_;
    QString error_;
    Globals globals_;
    std::vector<Globals> stack_;
    std::vector<quint32> usages_;
    quint32 usageMin_ = 0, usageMax_ = 0;
    std::vector<bool> collections_; // open ones: true for a scanner application
    bool foundScanner_ = false;
    bool usesIds_ = false;
    bool sawReport_ = false;
    std::map<int, int> inputBits_, outputBits_, featureBits_; // by report ID
    std::map<int, std::vector<Slot>> slots_; // input fields inside the scanner collection
};

} // namespace

const HidPosLayout::ScanReport* HidPosLayout::scanReport(int id) const {
    const auto it =
        std::find_if(scans.begin(), scans.end(), [id](const ScanReport& r) { return r.id == id; });
    return it == scans.end() ? nullptr : &*it;
}

HidPosLayout::Parsed HidPosLayout::parse(const QByteArray& descriptor) {
    if (descriptor.isEmpty())
        return {std::nullopt, QStringLiteral("empty report descriptor")};
    return Parser(descriptor).run();
}

std::vector<HidPosAssembler::Result> HidPosAssembler::feed(const QByteArray& bytes) {
    std::vector<Result> out;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const int id = layout_.usesIds ? static_cast<quint8>(bytes[pos]) : 0;
        const auto size = layout_.inputSizes.find(id);
        if (size == layout_.inputSizes.end()) {
            drop(QStringLiteral("report %1, which its descriptor does not have").arg(id), out);
            break; // where the next report starts is not known
        }
        if (pos + size->second > bytes.size()) {
            drop(QStringLiteral("report %1 of %2 bytes, shorter than the %3 its descriptor gives")
                     .arg(id)
                     .arg(bytes.size() - pos)
                     .arg(size->second),
                 out);
            break;
        }
        if (const HidPosLayout::ScanReport* scan = layout_.scanReport(id))
            report(bytes.mid(pos, size->second), *scan, out);
        pos += size->second;
    }
    return out;
}

void HidPosAssembler::report(const QByteArray& bytes, const HidPosLayout::ScanReport& r,
                             std::vector<Result>& out) {
    bool more = false;
    for (int bit = r.continuedBit; bit >= 0 && bit < r.continuedBit + r.continuedBits; ++bit)
        more = more || (static_cast<quint8>(bytes[bit / 8]) >> (bit % 8)) & 1;
    if (spoiled_) {
        spoiled_ = more; // the dropped scan ends with its last report
        return;
    }
    const QByteArray data = bytes.mid(r.dataAt, r.dataSize);
    qsizetype length = data.indexOf('\0');
    if (length < 0)
        length = data.size();
    if (r.lengthAt >= 0) {
        length = static_cast<quint8>(bytes[r.lengthAt]);
        if (length > r.dataSize) {
            drop(QStringLiteral("a length of %1 in %2 data bytes").arg(length).arg(r.dataSize),
                 out);
            spoiled_ = more;
            return;
        }
    }
    if (!inScan_) {
        // The identifier comes with the scan's first report; later ones repeat it.
        QByteArray id;
        for (const int at : r.symbologyAt) {
            const char c = bytes[at];
            if (c == '\0')
                break;
            id += c;
        }
        const bool printable =
            std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F; });
        if (!id.isEmpty() && !id.startsWith(']'))
            id.prepend(']');
        symbology_ = printable && id.size() >= 3 ? QString::fromLatin1(id) : QString();
    }
    inScan_ = true;
    if (pending_.size() + length > kMaxScanBytes) {
        drop(QStringLiteral("a scan of more than %1 bytes: the device never ended it")
                 .arg(kMaxScanBytes),
             out);
        spoiled_ = more;
        return;
    }
    pending_ += data.left(length);
    if (more)
        return;
    inScan_ = false;
    out.push_back({std::exchange(pending_, {}), std::exchange(symbology_, {}), {}});
    if (out.back().data.isNull())
        out.back().data = QByteArray(""); // an empty scan is still no problem
}

void HidPosAssembler::drop(const QString& why, std::vector<Result>& out) {
    pending_.clear();
    symbology_.clear();
    inScan_ = false;
    out.push_back({{}, {}, why});
}

QString scannedText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    for (const char c : bytes)
        text += windows1252(static_cast<quint8>(c));
    return text;
}
