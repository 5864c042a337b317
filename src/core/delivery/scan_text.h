#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Scan texts as bytes, kept exactly: a text that is not valid UTF-16 (a lone
// surrogate, as a hand-edited queue file may hold) keeps each lone surrogate as its
// own three-byte sequence, where plain UTF-8 would put '?' in its place. Valid text
// gives the same bytes as UTF-8.
QByteArray scanTextBytes(QStringView text);
QString scanTextFromBytes(const char* bytes, qsizetype size);
// The lone surrogate whose three bytes begin at `at`, or 0 when none does.
char16_t loneSurrogateAt(const char* at, const char* end);
