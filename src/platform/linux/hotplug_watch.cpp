#include "platform/linux/hotplug_watch.h"

#include "platform/linux/input_tree.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

HotplugWatch::HotplugWatch(QString devInput, bool (*isNode)(const QString&))
    : devInput_(std::move(devInput)), isNode_(isNode ? isNode : InputTree::isEventNode) {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0)
        error_ = errno;
}

HotplugWatch::~HotplugWatch() {
    if (inotify_ >= 0)
        ::close(inotify_);
}

int HotplugWatch::watch() {
    if (inputWatch_ < 0) {
        inputWatch_ = ::inotify_add_watch(inotify_, QFile::encodeName(devInput_).constData(),
                                          IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO |
                                              IN_MOVED_FROM | IN_ONLYDIR);
    }
    if (inputWatch_ >= 0)
        return 0;
    int error = errno;
    if (error == ENOENT && devWatch_ < 0) {
        devWatch_ = ::inotify_add_watch(
            inotify_,
            QFile::encodeName(QDir::cleanPath(devInput_ + QStringLiteral("/.."))).constData(),
            IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        if (devWatch_ < 0)
            error = errno;
    }
    if (error == ENOENT && devWatch_ >= 0)
        return 0; // told when it appears
    return error;
}

std::vector<HotplugWatch::Change> HotplugWatch::read() {
    std::vector<Change> changes;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_, buf, sizeof buf);
        if (n <= 0)
            return changes;
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            const QString name = e->len ? QFile::decodeName(e->name) : QString();
            if (e->mask & IN_Q_OVERFLOW ||
                (e->wd == devWatch_ && name == QDir(devInput_).dirName()))
                changes.push_back({Change::rescan, {}});
            else if (e->wd == inputWatch_ && isNode_(name))
                changes.push_back(
                    {e->mask & (IN_DELETE | IN_MOVED_FROM) ? Change::gone : Change::changed, name});
        }
    }
}
