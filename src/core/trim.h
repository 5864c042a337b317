#pragma once

#include <QString>

// `s` without the characters at either end for which drop(c) holds.
template <typename Drop> QString trimmedBy(const QString& s, Drop drop) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && drop(s[begin]))
        ++begin;
    while (end > begin && drop(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

// Tab and the Unicode space separators are trimmed from both ends; line breaks stay.
inline QString trimBlanks(const QString& s) {
    return trimmedBy(s,
                     [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; });
}

// `s` as it may be shown or logged: at most `max` characters, a longer value cut
// (never inside a surrogate pair) and marked with "…". A setting can be of any
// length; a window or a log line is not.
inline QString elided(const QString& s, qsizetype max = 60) {
    if (s.size() <= max)
        return s;
    qsizetype keep = max - 1;
    if (keep > 0 && s[keep - 1].isHighSurrogate())
        --keep;
    return s.left(keep) + QChar(0x2026);
}
