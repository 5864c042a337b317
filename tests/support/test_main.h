#pragma once

// A QtTest main that keeps every test off the real home folder: settings and the
// queue file live under fresh temporary XDG folders for the whole run.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

namespace korvel::test {

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
        korvel::test::TempHome home;                                                               \
        korvel::test::dropFileAccessOverride();                                                    \
        AppClass app(argc, argv);                                                                  \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define KORVEL_TEST_MAIN(TestObject) KORVEL_TEST_MAIN_WITH(QCoreApplication, TestObject)
