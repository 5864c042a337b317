#include "platform/linux/device_nodes.h"

#include <QSocketNotifier>

#include <algorithm>
#include <unistd.h>

bool isNumberedNode(const QString& name, QLatin1String prefix) {
    return name.startsWith(prefix) && name.size() > prefix.size() &&
           std::all_of(name.begin() + prefix.size(), name.end(),
                       [](QChar c) { return c.isDigit(); });
}

OpenNode::OpenNode(int fd, const std::function<void()>& readable)
    : fd_(fd), notifier_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)) {
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, readable);
}

OpenNode::~OpenNode() {
    notifier_.reset(); // before its descriptor goes
    ::close(fd_);
}

NodeWatch::NodeWatch(const QString& dev, bool (*isNode)(const QString&),
                     std::function<void(const HotplugWatch::Change&)> changed)
    : watch_(dev, isNode) {
    if (watch_.error() != 0)
        return;
    watch_.watch();
    notifier_ = std::make_unique<QSocketNotifier>(watch_.fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, changed] {
        for (const HotplugWatch::Change& change : watch_.read()) {
            if (change.kind == HotplugWatch::Change::rescan)
                watch_.watch(); // the folder appeared
            changed(change);
        }
    });
}

NodeWatch::~NodeWatch() = default;
