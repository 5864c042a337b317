#include "core/delivery/scan_text.h"

QByteArray scanTextBytes(QStringView text) {
    if (text.isValidUtf16())
        return text.toUtf8();
    QByteArray out;
    out.reserve(text.size() * 3);
    qsizetype run = 0; // start of the valid text not copied yet
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!QChar::isSurrogate(c))
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i; // a pair: plain UTF-8
            continue;
        }
        out.append(text.sliced(run, i - run).toUtf8());
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
        run = i + 1;
    }
    out.append(text.sliced(run).toUtf8());
    return out;
}

char16_t loneSurrogateAt(const char* at, const char* end) {
    if (end - at < 3)
        return 0;
    const auto b0 = static_cast<unsigned char>(at[0]);
    const auto b1 = static_cast<unsigned char>(at[1]);
    const auto b2 = static_cast<unsigned char>(at[2]);
    if (b0 != 0xED || b1 < 0xA0 || b1 > 0xBF || (b2 & 0xC0) != 0x80)
        return 0;
    return static_cast<char16_t>(0xD000 | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
}

QString scanTextFromBytes(const char* bytes, qsizetype size) {
    const char* end = bytes + size;
    QString out;
    const char* run = bytes;
    for (const char* p = bytes; p < end; ++p) {
        const char16_t lone = loneSurrogateAt(p, end);
        if (!lone)
            continue;
        if (out.isNull())
            out.reserve(size);
        out.append(QString::fromUtf8(run, p - run));
        out.append(QChar(lone));
        p += 2;
        run = p + 1;
    }
    if (run == bytes)
        return QString::fromUtf8(bytes, size);
    out.append(QString::fromUtf8(run, end - run));
    return out;
}
