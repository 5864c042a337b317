#pragma once

// A QtTest main that keeps every test off the real home folder: settings and the
// queue file live under fresh temporary XDG folders for the whole run.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "support/mounts.h"

#include <cstdlib>

namespace korvel::test {

// A file's permission bits as chmod writes them (0700, 0600, ...).
inline int modeOf(const QString& path) {
    const QFileDevice::Permissions p = QFileInfo(path).permissions();
    int mode = 0;
    const QFileDevice::Permission bits[9] = {
        QFileDevice::ReadUser,  QFileDevice::WriteUser,  QFileDevice::ExeUser,
        QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
        QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther};
    for (const QFileDevice::Permission bit : bits)
        mode = mode << 1 | (p.testFlag(bit) ? 1 : 0);
    return mode;
}

// Root bypasses file permissions; tests that need an unreadable file drop that
// override for the whole process (every thread started later inherits it).
void dropFileAccessOverride();

struct TempHome {
    QTemporaryDir dir;
    TempHome() {
        qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_CACHE_HOME", (dir.path() + QStringLiteral("/cache")).toUtf8());
        qputenv("HOME", dir.path().toUtf8());
        const QString runtime = dir.path() + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
};

} // namespace korvel::test

#define KORVEL_TEST_MAIN_WITH(AppClass, TestObject)                                                \
    int main(int argc, char** argv) {                                                              \
        korvel::test::enterPrivateMountNamespace();                                                \
        korvel::test::TempHome home;                                                               \
        korvel::test::dropFileAccessOverride();                                                    \
        AppClass app(argc, argv);                                                                  \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define KORVEL_TEST_MAIN(TestObject) KORVEL_TEST_MAIN_WITH(QCoreApplication, TestObject)
