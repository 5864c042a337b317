#include "core/capture/scan_buffer.h"

#include "core/trim.h"
#include "platform/scan_source.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTableSize = 256;
constexpr int kLeftCtrl = 224;
constexpr int kRightGui = 231;
constexpr quint8 kCtrlBits = 0x11; // Left and Right Ctrl
constexpr quint8 kShiftBits = 0x22;
constexpr quint8 kAltBits = 0x44;
constexpr int kNonUsBackslash = 50; // the ISO key beside Enter: the US backslash key
constexpr int kKeypad1 = 89;        // keypad 1..9, then keypad 0 at 98
constexpr int kKeypad0 = 98;

// Characters 128..255 of code page 437, which Alt codes without a leading 0 name.
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
    const QChar c = windows1252(static_cast<quint8>(code));
    if (c.unicode() < 0xA0)
        return std::nullopt; // a code the code page leaves undefined
    return c;
}

std::optional<QChar> ScanBuffer::controlCharacter(int usage, bool shift, char16_t own) {
    const auto controls = [](char16_t c) {
        return (c >= u'@' && c <= u'_') || (c >= u'a' && c <= u'z');
    };
    const auto latin = [](char16_t c) { return (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; };
    const auto pair = keyFor(usage == kNonUsBackslash ? usage - 1 : usage);
    const char16_t us = pair ? static_cast<char16_t>(shift ? pair->second : pair->first) : 0;
    char16_t c = us;
    // Windows layouts keep ESC, FS and GS on the US [ \ ] keys, whatever those type;
    // elsewhere the layout's own character decides where it has a control character,
    // then the US key (Ctrl+^ _ @; a letter where the layout types another script).
    if ((us == u'[' || us == u'\\' || us == u']') && !latin(own))
        c = us;
    else if (controls(own))
        c = own;
    else if (latin(us) && !QChar(own).isLetter())
        c = 0;
    if (!controls(c))
        return std::nullopt;
    return QChar(c & 0x1F);
}

void ScanBuffer::key(int usage, bool down, qint64 nowMs) {
    // AltGr or a Level 5 key: the layout holds its level. An Enter ends the scan even
    // where a layout makes it AltGr (gb(mac) does so with Keypad Enter).
    if (layout && !isEnterKey(usage) && layout->levelKey(usage, down))
        return;
    if (usage >= kLeftCtrl && usage <= kRightGui) {
        const auto bit = static_cast<quint8>(1u << (usage - kLeftCtrl));
        held = down ? held | bit : held & ~bit;
        shift = held & kShiftBits;
        ctrl = held & kCtrlBits;
        const bool wasAlt = std::exchange(alt, held & kAltBits);
        // Releasing Alt types the code; a discard in between has forgotten it.
        if (wasAlt && !alt && !altCode.isEmpty()) {
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
    // Ctrl+Alt is how Windows spells AltGr.
    const bool altGr = ctrl && alt && layout && layout->typesWithAltGr(usage, shift);
    const bool control = ctrl && !altGr;
    char16_t own = 0;
    if (layout) {
        const QString typed = layout->type(usage, shift, altGr, !control);
        if (!control) {
            text.append(typed);
            return;
        }
        own = typed.size() == 1 ? typed[0].unicode() : 0;
    } else if (const auto pair = keyFor(usage)) {
        own = static_cast<char16_t>(shift ? pair->second : pair->first);
        if (!control) {
            text.append(QChar(own));
            return;
        }
    }
    // Ctrl with @ A-Z [ \ ] ^ _ (or a lower-case letter) is that control character.
    if (const auto c = control ? controlCharacter(usage, shift, own) : std::nullopt)
        text.append(*c);
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
    held = 0;
    ctrl = alt = false;
    altCode.clear();
    if (layout) {
        layout->reset();
        layout->releaseLevelKeys();
    }
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
