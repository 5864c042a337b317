#include "support/mounts.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace korvel::test {

namespace {

QString whyNot = QStringLiteral("not tried");

QString failure(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

void enterPrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0) {
        whyNot = failure("unshare(CLONE_NEWNS)");
        return;
    }
    // Mounts made from here on must not propagate back to the machine.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        whyNot = failure("making / private");
        return;
    }
    whyNot.clear();
}

const QString& mountsWhyNot() {
    return whyNot;
}

QString mountTmpfs(const QString& dir, qint64 bytes) {
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    if (::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options.constData()) != 0)
        return failure("mount tmpfs");
    return {};
}

QString setReadOnly(const QString& dir, bool readOnly) {
    const QByteArray path = QFile::encodeName(dir);
    if (readOnly && ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0)
        return failure("bind mount");
    const unsigned long flags = MS_REMOUNT | MS_BIND | (readOnly ? MS_RDONLY : 0);
    if (::mount(nullptr, path.constData(), nullptr, flags, nullptr) != 0)
        return failure("remount");
    return {};
}

QString unmount(const QString& dir) {
    if (::umount2(QFile::encodeName(dir).constData(), MNT_DETACH) != 0)
        return failure("umount");
    return {};
}

QString fillDisk(const QString& dir) {
    const QString path = dir + QStringLiteral("/filler");
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    static const char block[4096] = {};
    for (size_t size = sizeof block; fd >= 0 && size > 0; size /= 2) {
        while (::write(fd, block, size) == static_cast<ssize_t>(size)) {
        }
    }
    if (fd >= 0)
        ::close(fd);
    return path;
}

} // namespace korvel::test
