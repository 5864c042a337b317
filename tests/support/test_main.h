#pragma once

// A QtTest main that keeps every test off the real home folder (fresh temporary XDG
// folders), without root's override of file permissions, and in a mount namespace
// of its own, where a test may make disk faults the way they happen: a small tmpfs
// that fills up, a folder bind mounted read-only.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

namespace korvel::test {

void useTemporaryHome(const QString& dir);
void dropFileAccessOverride();
void enterPrivateMountNamespace();
// Empty where this process may mount, else why not.
const QString& mountsWhyNot();
// Each returns an empty text on success, else why it failed.
QString mountTmpfs(const QString& dir, qint64 bytes);
QString setReadOnly(const QString& dir, bool readOnly); // a bind mount of dir onto itself
QString unmount(const QString& dir);
// Fills the file system holding dir until no byte is left; returns the filler's path.
QString fillDisk(const QString& dir);
// A file's permission bits as chmod writes them (0700, 0600, ...).
int modeOf(const QString& path);
// A file's bytes; null when it cannot be read.
QByteArray readFile(const QString& path);

} // namespace korvel::test

#define KORVEL_REQUIRE_MOUNTS()                                                                    \
    do {                                                                                           \
        if (!korvel::test::mountsWhyNot().isEmpty())                                               \
            QSKIP(qPrintable(QStringLiteral("cannot mount: ") + korvel::test::mountsWhyNot()));    \
    } while (false)

#define KORVEL_TEST_MAIN_WITH(AppClass, TestObject)                                                \
    int main(int argc, char** argv) {                                                              \
        korvel::test::enterPrivateMountNamespace();                                                \
        QTemporaryDir home;                                                                        \
        korvel::test::useTemporaryHome(home.path());                                               \
        korvel::test::dropFileAccessOverride();                                                    \
        AppClass app(argc, argv);                                                                  \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define KORVEL_TEST_MAIN(TestObject) KORVEL_TEST_MAIN_WITH(QCoreApplication, TestObject)
