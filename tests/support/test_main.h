#pragma once

// What every test shares: a main that keeps it off the real home folder (fresh
// temporary XDG folders), without root's override of file permissions and in a
// mount namespace of its own, where disk faults are made the way they happen; file
// helpers; a child process whose output is collected as it arrives.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// Waits on the event itself with a generous bound: on a busy machine an answer may
// take far longer than Qt's default 5 s, and the bound costs nothing when it comes.
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 60000)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, messageExpression)                                                      \
    QTRY_VERIFY2_WITH_TIMEOUT(expr, messageExpression, 60000)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 60000)

namespace korvel::test {

void prepareProcess(const QString& home);
QString mountsWhyNot(); // empty where this process may mount
// Runs a shell command (mount, umount, ...) in this mount namespace; empty on
// success, else what it said.
QString sh(const QString& command);
int modeOf(const QString& path);          // permission bits as chmod writes them
QByteArray readFile(const QString& path); // null when it cannot be read
void writeFile(const QString& path, const QByteArray& bytes); // null bytes: removed

// Killed (after a SIGCONT, in case a test stopped it) when it goes out of scope.
struct ChildProcess {
    ChildProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += QString::fromUtf8(process.readAllStandardOutput()); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += QString::fromUtf8(process.readAllStandardError()); });
        process.start(program, args);
    }
    ~ChildProcess() {
        signal(SIGCONT);
        process.kill();
        process.waitForFinished(5000);
    }
    void signal(int sig) {
        if (process.state() == QProcess::Running)
            ::kill(static_cast<pid_t>(process.processId()), sig);
    }
    // Once it ended (-1 when it does not within 10 s), with all its output read.
    int exitCode() {
        const bool ended = process.waitForFinished(10000);
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
        return ended ? process.exitCode() : -1;
    }
    QProcess process;
    QString out, err;
};

} // namespace korvel::test

#define KORVEL_REQUIRE_MOUNTS()                                                                    \
    if (!korvel::test::mountsWhyNot().isEmpty())                                                   \
    QSKIP(qPrintable("cannot mount: " + korvel::test::mountsWhyNot()))

#define KORVEL_TEST_MAIN_WITH(AppClass, TestObject)                                                \
    int main(int argc, char** argv) {                                                              \
        QTemporaryDir home;                                                                        \
        korvel::test::prepareProcess(home.path());                                                 \
        AppClass app(argc, argv);                                                                  \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define KORVEL_TEST_MAIN(TestObject) KORVEL_TEST_MAIN_WITH(QCoreApplication, TestObject)
