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
