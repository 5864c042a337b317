#include "support/test_main.h"

#include <cstring>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvel::test {

namespace {

QString whyNot = QStringLiteral("not tried");

QByteArray path(const QString& p) {
    return QFile::encodeName(p);
}

} // namespace

void prepareProcess(const QString& home) {
    // Mounts made by tests must not reach the machine.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        whyNot = QString::fromLocal8Bit(strerror(errno));
    else
        whyNot.clear();
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                            "XDG_RUNTIME_DIR"})
        qputenv(var, path(home + QLatin1Char('/') + QLatin1String(var)));
    qputenv("HOME", path(home));
    // The texts as written, whatever the language of the machine running the tests.
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        qunsetenv(var);
    qputenv("LANG", "C.UTF-8");
    QDir().mkpath(home + QStringLiteral("/XDG_RUNTIME_DIR"));
    ::chmod(path(home + QStringLiteral("/XDG_RUNTIME_DIR")), 0700);
    // Root reads and writes through any mode; every thread started later inherits
    // the narrower capabilities (a command run by sh() gets root's back).
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::geteuid() != 0 || ::syscall(SYS_capget, &header, data) != 0)
        return;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        data[cap / 32].effective &= ~(1u << (cap % 32));
    ::syscall(SYS_capset, &header, data);
}

QString mountsWhyNot() {
    return whyNot;
}

QString sh(const QString& command) {
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    return command + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError());
}

int modeOf(const QString& p) {
    struct stat st {};
    return ::stat(path(p), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

QByteArray readFile(const QString& p) {
    QFile f(p);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& p, const QByteArray& bytes) {
    QFile::remove(p);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (!bytes.isNull() && f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

} // namespace korvel::test
