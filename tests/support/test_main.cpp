#include "support/test_main.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvel::test {

namespace {

QString whyNot = QStringLiteral("not tried");

QString failure(const char* what) {
    return QLatin1String(what) + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
}

QByteArray path(const QString& p) {
    return QFile::encodeName(p);
}

} // namespace

void prepareProcess(const QString& home) {
    // Mounts made by tests must not reach the machine.
    if (::unshare(CLONE_NEWNS) != 0)
        whyNot = failure("unshare");
    else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        whyNot = failure("making / private");
    else
        whyNot.clear();
    for (const char* var :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        qputenv(var, path(home + QLatin1Char('/') + QLatin1String(var)));
    qputenv("HOME", path(home));
    QDir().mkpath(home + QStringLiteral("/XDG_RUNTIME_DIR"));
    ::chmod(path(home + QStringLiteral("/XDG_RUNTIME_DIR")), 0700);
    // Root reads and writes through any mode; every thread started later inherits
    // the narrower capabilities.
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

QString mountTmpfs(const QString& dir, qint64 bytes) {
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    return ::mount("tmpfs", path(dir), "tmpfs", 0, options.constData()) == 0
               ? QString()
               : failure("mount tmpfs");
}

QString setReadOnly(const QString& dir, bool readOnly) {
    const QByteArray p = path(dir);
    if (readOnly && ::mount(p, p, nullptr, MS_BIND, nullptr) != 0)
        return failure("bind mount");
    const unsigned long flags = MS_REMOUNT | MS_BIND | (readOnly ? MS_RDONLY : 0);
    return ::mount(nullptr, p, nullptr, flags, nullptr) == 0 ? QString() : failure("remount");
}

QString unmount(const QString& dir) {
    return ::umount2(path(dir), MNT_DETACH) == 0 ? QString() : failure("umount");
}

QString fillDisk(const QString& dir) {
    const QString filler = dir + QStringLiteral("/filler");
    const int fd = ::open(path(filler), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    static const char block[4096] = {};
    for (size_t size = sizeof block; fd >= 0 && size > 0; size /= 2) {
        while (::write(fd, block, size) == static_cast<ssize_t>(size)) {
        }
    }
    ::close(fd);
    return filler;
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
