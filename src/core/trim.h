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
