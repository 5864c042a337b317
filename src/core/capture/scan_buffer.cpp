#include "core/capture/scan_buffer.h"

#include "core/trim.h"

#include <cstring>

namespace {

constexpr int kTableSize = 256;

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

void ScanBuffer::key(int usage, bool down, qint64 nowMs) {
    if (isShiftKey(usage)) {
        shift = down;
        return;
    }
    if (!down)
        return;
    tick(nowMs);
    if (spoiled) {
        // The tail of a garbled scan is no scan of its own.
        if (nowMs - lastKeyAt <= gapMs) {
            lastKeyAt = nowMs;
            spoiled = !isEnterKey(usage);
            return;
        }
        spoiled = false;
    }
    lastKeyAt = nowMs;
    if (isEnterKey(usage)) {
        finish();
        return;
    }
    const auto pair = keyFor(usage);
    if (!pair)
        return;
    text.append(QLatin1Char(shift ? pair->second : pair->first));
}

void ScanBuffer::tick(qint64 nowMs) {
    if (text.isEmpty())
        return;
    if (nowMs - lastKeyAt > gapMs) {
        if (emitOnGap)
            finish();
        else
            text.clear();
    }
}

void ScanBuffer::discard(qint64 nowMs) {
    text.clear();
    spoiled = true;
    shift = false; // its release may be among what was lost
    if (nowMs > lastKeyAt)
        lastKeyAt = nowMs;
}

void ScanBuffer::finish() {
    const QString scan = trimBlanks(text);
    text.clear(); // cleared first: the receiver may drop this buffer
    if (scan.isEmpty())
        return;
    onScan(scan);
}
