#pragma once

// Disk faults made the way they happen: a small tmpfs that fills up, a folder bind
// mounted read-only. Everything is mounted in this process's own mount namespace
// (entered once, before any thread starts), so nothing outside the test sees it and
// it all goes away with the process.

#include <QString>

namespace korvel::test {

// Called by the test main. Afterwards `mountsWhyNot()` is empty where mounting works.
void enterPrivateMountNamespace();
const QString& mountsWhyNot();

// Each returns an empty text on success, else why it failed.
QString mountTmpfs(const QString& dir, qint64 bytes);
QString setReadOnly(const QString& dir, bool readOnly); // a bind mount of dir onto itself
QString unmount(const QString& dir);
// Fills the file system holding `dir` with one file until no byte is left; returns
// the file's path.
QString fillDisk(const QString& dir);

} // namespace korvel::test

// Skips the current test where the machine cannot mount.
#define KORVEL_REQUIRE_MOUNTS()                                                                    \
    do {                                                                                           \
        if (!korvel::test::mountsWhyNot().isEmpty())                                               \
            QSKIP(                                                                                 \
                qPrintable(QStringLiteral("cannot mount here: ") + korvel::test::mountsWhyNot())); \
    } while (false)
