#pragma once

#include "platform/linux/hotplug_watch.h"

#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

// "<prefix>N" (hidraw0, ttyACM1), nothing else.
bool isNumberedNode(const QString& name, QLatin1String prefix);

// A device node open for reading, watched on the event loop of the thread that opened
// it; closed with it.
class OpenNode {
  public:
    OpenNode(int fd, const std::function<void()>& readable);
    ~OpenNode();
    OpenNode(const OpenNode&) = delete;
    OpenNode& operator=(const OpenNode&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// Nodes of one kind coming and going in a dev folder, told on the event loop of the
// thread that made the watch.
class NodeWatch {
  public:
    NodeWatch(const QString& dev, bool (*isNode)(const QString&),
              std::function<void(const HotplugWatch::Change&)> changed);
    ~NodeWatch();
    // errno when the watch could not be made.
    int error() const { return watch_.error(); }

  private:
    HotplugWatch watch_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
