#include "core/capture/scan_buffer.h"

#include "core/trim.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTableSize = 256;
constexpr int kLeftCtrl = 224;
constexpr int kRightCtrl = 228;
constexpr int kLeftAlt = 226;
constexpr int kRightAlt = 230;
constexpr int kKeypad1 = 89; // keypad 1..9, then keypad 0 at 98
constexpr int kKeypad0 = 98;

// Characters 128..255 of the two code pages Alt codes name; 0 where Windows-1252
// has none.
constexpr char16_t kCp1252High[32] = {
    u'\u20AC', 0,         u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', 0,         u'\u017D', 0,
    0,         u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', 0,         u'\u017E', u'\u0178'};
constexpr char16_t kCp437High[] = u"ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»"
                                  u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
                                  u"αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
static_assert(sizeof kCp437High / sizeof kCp437High[0] == 129);

struct Tables {
    std::array<bool, kTableSize> shiftKeys{};
    std::array<bool, kTableSize> enterKeys{};
    std::array<std::optional<ScanBuffer::CharPair>, kTableSize> keys{};

    Tables() {
        shiftKeys[225] = shiftKeys[229] = true;
        enterKeys[40] = enterKeys[88] = true;
        keys[44] = ScanBuffer::CharPair{' ', ' '};
        addRun(4, "abcdefghijklmnopqrstuvwxyz1234567890", "ABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*()");
        addRun(45, "-=[]\\", "_+{}|");
        addRun(51, ";'`,./", ":\"~<>?");
        addRun(84, "/*-+", "/*-+");
        addRun(89, "1234567890.", "1234567890.");
    }

    void addRun(int first, const char* plain, const char* shifted) {
        const size_t n = std::strlen(plain);
        for (size_t i = 0; i < n; ++i)
            keys[first + static_cast<int>(i)] = ScanBuffer::CharPair{plain[i], shifted[i]};
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

bool inTable(int usage) {
    return usage >= 0 && usage < kTableSize;
}

} // namespace

bool ScanBuffer::isShiftKey(int usage) {
    return inTable(usage) && tables().shiftKeys[usage];
}

bool ScanBuffer::isEnterKey(int usage) {
    return inTable(usage) && tables().enterKeys[usage];
}

std::optional<ScanBuffer::CharPair> ScanBuffer::keyFor(int usage) {
    if (!inTable(usage))
        return std::nullopt;
    return tables().keys[usage];
}

std::optional<QChar> ScanBuffer::altCodeCharacter(const QString& digits) {
    bool ok = false;
    const int code = digits.toInt(&ok);
    if (!ok || code <= 0 || code > 255)
        return std::nullopt;
    // Below 128 both code pages are ASCII, their control characters included.
    if (code < 128)
        return QChar(code);
    if (!digits.startsWith(u'0'))
        return QChar(kCp437High[code - 128]);
    if (code >= 160)
        return QChar(code); // Windows-1252 is Latin-1 from here on
    if (kCp1252High[code - 128] == 0)
        return std::nullopt;
    return QChar(kCp1252High[code - 128]);
}

void ScanBuffer::key(int usage, bool down, qint64 nowMs) {
    if (isShiftKey(usage)) {
        shift = down;
        return;
    }
    if (usage == kLeftCtrl || usage == kRightCtrl) {
        ctrl = down;
        return;
    }
    if (usage == kRightAlt && layout && layout->rightAltIsAltGr()) {
        altGr = down;
        return;
    }
    if (usage == kLeftAlt || usage == kRightAlt) {
        alt = down;
        // Releasing Alt types the code; a discard in between has forgotten it.
        if (!down && !altCode.isEmpty()) {
            if (const auto c = altCodeCharacter(std::exchange(altCode, QString())))
                text.append(*c);
        }
        return;
    }
    if (!down)
        return;
    tick(nowMs);
    if (layout && nowMs - lastKeyAt > gapMs)
        layout->reset(); // a dead key from before the pause belongs to no scan
    if (spoiled) {
        // The tail of a garbled scan is no scan of its own.
        if (nowMs - lastKeyAt <= gapMs) {
            lastKeyAt = nowMs;
            spoiled = !isEnterKey(usage);
            return;
        }
        spoiled = false;
    }
    if (text.isEmpty())
        gaps_.clear(); // a new scan
    else
        gaps_.push_back(nowMs - lastKeyAt);
    lastKeyAt = nowMs;
    if (isEnterKey(usage)) {
        finish();
        return;
    }
    if (alt && usage >= kKeypad1 && usage <= kKeypad0) {
        altCode.append(QLatin1Char(usage == kKeypad0 ? '0' : char('1' + usage - kKeypad1)));
        return;
    }
    append(usage);
}

void ScanBuffer::append(int usage) {
    char16_t c = 0;
    if (layout) {
        const QString typed = layout->type(usage, shift, altGr, !ctrl);
        if (!ctrl) {
            text.append(typed);
            return;
        }
        if (typed.size() != 1)
            return;
        c = typed[0].unicode();
    } else {
        const auto pair = keyFor(usage);
        if (!pair)
            return;
        c = static_cast<char16_t>(shift ? pair->second : pair->first);
        if (!ctrl) {
            text.append(QChar(c));
            return;
        }
    }
    // Ctrl with @ A-Z [ \ ] ^ _ (or a lower-case letter) is that control character.
    if ((c >= u'@' && c <= u'_') || (c >= u'a' && c <= u'z'))
        text.append(QChar(c & 0x1F));
}

double ScanBuffer::medianGapMs() const {
    if (gaps_.empty())
        return 0;
    std::vector<qint64> sorted = gaps_;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? double(sorted[n / 2]) : double(sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

void ScanBuffer::tick(qint64 nowMs) {
    if (text.isEmpty())
        return;
    if (nowMs - lastKeyAt > gapMs) {
        if (emitOnGap) {
            finish();
        } else {
            text.clear();
            if (layout)
                layout->reset();
        }
    }
}

void ScanBuffer::discard(qint64 nowMs) {
    text.clear();
    spoiled = true;
    shift = false; // its release may be among what was lost
    ctrl = alt = altGr = false;
    altCode.clear();
    if (layout)
        layout->reset();
    if (nowMs > lastKeyAt)
        lastKeyAt = nowMs;
}

void ScanBuffer::finish() {
    const QString scan = trimBlanks(text);
    // Cleared first: the receiver may drop this buffer. A dead key typed last ends
    // with its scan rather than changing the next one.
    text.clear();
    if (layout)
        layout->reset();
    if (scan.isEmpty())
        return;
    onScan(scan);
}
