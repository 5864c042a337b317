#include "core/capture/calibration.h"

#include "core/capture/scan_buffer.h"
#include "core/trim.h"

#include <algorithm>
#include <limits>
#include <set>
#include <tuple>

namespace {

constexpr QChar kGroupSeparator(0x1D);
constexpr int kLeftAlt = 226;
constexpr int kRightAlt = 230;
constexpr int kFirstKey = 4;     // A
constexpr int kLastMainKey = 56; // /
constexpr int kLeftOfZ = 100;    // the 105th key

// The keys of a 105-key keyboard's main block.
bool isMainKey(int usage) {
    return (usage >= kFirstKey && usage <= kLastMainKey) || usage == kLeftOfZ;
}

bool isModifier(int usage) {
    return usage >= 224 && usage <= 231;
}

// Follows a text as it is typed and gives up as soon as it can no longer be a scan
// of the test code with at most kMaxAffix characters before and after it.
class Matcher {
  public:
    bool feed(QChar c) {
        const QString& want = Calibration::testText();
        const qsizetype at = seen_.size();
        seen_.append(c);
        if (found_ >= 0)
            return at - (found_ + want.size()) < Calibration::kMaxAffix;
        if (at <= Calibration::kMaxAffix && c == want[0])
            starts_.push_back(at);
        std::erase_if(starts_, [&](qsizetype s) { return c != want[at - s]; });
        for (const qsizetype s : starts_) {
            if (at - s + 1 == want.size()) {
                found_ = s;
                return true;
            }
        }
        return !starts_.empty() || at < Calibration::kMaxAffix;
    }
    bool found() const { return found_ >= 0; }
    QString prefix() const { return trimBlanks(seen_.left(found_)); }
    QString suffix() const {
        return trimBlanks(seen_.mid(found_ + Calibration::testText().size()));
    }

  private:
    QString seen_;
    std::vector<qsizetype> starts_; // where the test code may have begun
    qsizetype found_ = -1;
};

struct Decoded {
    QString prefix, suffix;
    bool gsAsAltCode = false;
    int altCodes = 0;
};

// Reads the keys with one layout (none: the US table), up to the first character
// that rules it out.
std::optional<Decoded> decode(const std::vector<KeyStroke>& keys,
                              std::unique_ptr<LayoutDecoder> layout) {
    ScanBuffer buffer;
    buffer.layout = std::move(layout);
    buffer.gapMs = std::numeric_limits<qint64>::max() / 4; // the keys are one scan
    bool ended = false;
    buffer.onScan = [&](const QString&) { ended = true; };
    Matcher matcher;
    Decoded decoded;
    for (const KeyStroke& k : keys) {
        const qsizetype before = buffer.text.size();
        buffer.key(k.usage, k.down, k.timeMs);
        if (ended || ScanBuffer::isEnterKey(k.usage))
            break;
        // Releasing Alt is the only key-up that types: the Alt code's character.
        const bool altCode = !k.down && (k.usage == kLeftAlt || k.usage == kRightAlt);
        for (qsizetype i = before; i < buffer.text.size(); ++i) {
            const QChar c = buffer.text[i];
            decoded.altCodes += altCode;
            if (c == kGroupSeparator)
                decoded.gsAsAltCode = altCode;
            if (!matcher.feed(c))
                return std::nullopt;
        }
    }
    if (!matcher.found())
        return std::nullopt;
    decoded.prefix = matcher.prefix();
    decoded.suffix = matcher.suffix();
    return decoded;
}

// How many key and level pairs (Shift, AltGr where the layout has one) of the main
// block of a 105-key keyboard type anything: the keypad is alike everywhere.
int typingKeys(KeyboardLayouts* layouts, const QString& layout) {
    int n = 0;
    if (layout.isEmpty()) {
        for (int usage = kFirstKey; usage <= kLeftOfZ; ++usage)
            n += isMainKey(usage) && ScanBuffer::keyFor(usage) ? 2 : 0;
        return n;
    }
    const auto decoder = layouts->decoder(layout);
    if (!decoder)
        return std::numeric_limits<int>::max();
    const int levels = decoder->rightAltIsAltGr() ? 4 : 2;
    for (int usage = kFirstKey; usage <= kLeftOfZ; ++usage) {
        for (int level = 0; level < levels && isMainKey(usage); ++level) {
            n += !decoder->type(usage, level & 1, level & 2, false).isEmpty();
            decoder->reset();
        }
    }
    return n;
}

} // namespace

const QString& Calibration::testText() {
    static const QString text = [] {
        QString t = QStringLiteral("KV1 ");
        for (char16_t c = 0x21; c <= 0x7E; ++c)
            t.append(QChar(c));
        return t + kGroupSeparator + QStringLiteral("KV1");
    }();
    return text;
}

bool Calibration::mayBeTestCode(const std::vector<KeyStroke>& keys) {
    if (keys.empty() || !keys.back().down || !ScanBuffer::isEnterKey(keys.back().usage))
        return false;
    // Every character takes at least one key of its own.
    const auto typing = std::count_if(keys.begin(), keys.end(), [](const KeyStroke& k) {
        return k.down && !isModifier(k.usage) && !ScanBuffer::isEnterKey(k.usage);
    });
    return typing >= testText().size();
}

bool Calibration::mayBeTestCodeElsewhere(const std::vector<KeyStroke>& keys) {
    // Even four levels a key type the 94 characters with no fewer keys than this.
    constexpr size_t kMinDistinctKeys = 24;
    constexpr qsizetype kFrame = 3; // "KV1"
    if (!mayBeTestCode(keys))
        return false;
    std::vector<std::pair<int, int>> typed; // a key and the modifiers held with it
    std::set<int> distinct;
    int held = 0;
    for (const KeyStroke& k : keys) {
        if (isModifier(k.usage)) {
            const int bit = 1 << (k.usage & 7);
            held = k.down ? held | bit : held & ~bit;
        } else if (k.down && !ScanBuffer::isEnterKey(k.usage)) {
            typed.emplace_back(k.usage, held);
            distinct.insert(k.usage);
        }
    }
    if (distinct.size() < kMinDistinctKeys)
        return false;
    const auto n = qsizetype(typed.size());
    for (qsizetype first = 0; first <= kMaxAffix && first + 2 * kFrame <= n; ++first) {
        const auto frame = typed.begin() + first;
        for (qsizetype last = n - kFrame; last >= std::max(first + kFrame, n - kFrame - kMaxAffix);
             --last) {
            if (std::equal(frame, frame + kFrame, typed.begin() + last))
                return true;
        }
    }
    return false;
}

int Calibration::pauseFor(qint64 slowestGapMs) {
    return int(std::clamp<qint64>(2 * slowestGapMs, kMinPauseMs, kMaxPauseMs));
}

std::optional<Calibration::Result> Calibration::calibrate(const std::vector<KeyStroke>& keys,
                                                          KeyboardLayouts* layouts,
                                                          const QString& desktopLayout,
                                                          const std::optional<QString>& only) {
    if (!mayBeTestCode(keys))
        return std::nullopt;
    QList<KeyboardLayouts::Choice> candidates;
    QString usDescription = QStringLiteral("English (US)");
    if (only && !only->isEmpty()) {
        candidates.append({*only, layouts ? layouts->description(*only) : QString()});
    } else {
        if (layouts && !only)
            candidates = layouts->available();
        if (layouts && !layouts->description(QStringLiteral("us")).isEmpty())
            usDescription = layouts->description(QStringLiteral("us"));
        candidates.prepend({QString(), usDescription}); // the US table
    }

    struct Match {
        KeyboardLayouts::Choice choice;
        Decoded decoded;
        bool desktop, variant;
        int typing = 0;
        int family = 0; // minus the variants of its layout
    };
    std::vector<Match> matches;
    for (const KeyboardLayouts::Choice& c : candidates) {
        std::unique_ptr<LayoutDecoder> decoder;
        if (!c.name.isEmpty()) {
            decoder = layouts->decoder(c.name);
            if (!decoder)
                continue;
        }
        if (auto decoded = decode(keys, std::move(decoder))) {
            // The US table stands for the desktop's "us" too.
            const QString name = c.name.isEmpty() ? QStringLiteral("us") : c.name;
            matches.push_back(
                {c, *decoded, name == desktopLayout.trimmed(), c.name.contains(u'('), 0});
        }
    }
    if (matches.empty())
        return std::nullopt;
    const auto rank = [](const Match& m) { return std::tuple{!m.desktop, m.variant}; };
    const auto first = std::min_element(matches.begin(), matches.end(),
                                        [&](auto& a, auto& b) { return rank(a) < rank(b); });
    // Only the best-placed ones are worth looking at key by key.
    std::erase_if(matches, [&, best = rank(*first)](const Match& m) { return rank(m) != best; });
    if (matches.size() > 1) {
        for (Match& m : matches) {
            m.typing = typingKeys(layouts, m.choice.name);
            // Among layouts alike, the one of a family (many variants) is the one
            // most keyboards have; the others build on it.
            const QString family = (m.choice.name.isEmpty() ? QStringLiteral("us")
                                                            : m.choice.name.section(u'(', 0, 0)) +
                                   u'(';
            m.family = -int(std::count_if(candidates.begin(), candidates.end(),
                                          [&](auto& c) { return c.name.startsWith(family); }));
        }
    }
    const Match& best = *std::min_element(matches.begin(), matches.end(), [](auto& a, auto& b) {
        return std::tuple{a.typing, a.family, a.choice.description, a.choice.name} <
               std::tuple{b.typing, b.family, b.choice.description, b.choice.name};
    });

    Result r;
    r.layout = best.choice.name;
    r.description = best.choice.description;
    r.prefix = best.decoded.prefix;
    r.suffix = best.decoded.suffix;
    r.gsAsAltCode = best.decoded.gsAsAltCode;
    r.altCodes = best.decoded.altCodes;
    std::optional<qint64> last;
    for (const KeyStroke& k : keys) {
        if (!k.down || isModifier(k.usage))
            continue; // the scan's pause is judged between the keys that type
        if (last)
            r.slowestGapMs = std::max(r.slowestGapMs, k.timeMs - *last);
        last = k.timeMs;
    }
    r.pauseMs = pauseFor(r.slowestGapMs);
    return r;
}
