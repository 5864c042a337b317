#pragma once

#include <QString>

#include <vector>

// Watches a dev/input folder for event nodes that come, change (permissions often
// arrive after the node) and go; where the folder does not exist yet (no input
// device at all), waits for it to appear. Not thread-safe: one caller at a time.
class HotplugWatch {
  public:
    struct Change {
        enum Kind { changed, gone, rescan } kind;
        QString node; // "eventN" (or the node watched); empty for rescan (events lost, or the
                      // folder appeared)
    };

    // devInput: ".../dev/input/" (or another folder of device nodes); isNode tells
    // the nodes watched by name.
    explicit HotplugWatch(QString devInput, bool (*isNode)(const QString&) = nullptr);
    ~HotplugWatch();
    HotplugWatch(const HotplugWatch&) = delete;
    HotplugWatch& operator=(const HotplugWatch&) = delete;

    // errno when the watch could not be made at all.
    int error() const { return error_; }
    // Readable when changes wait.
    int fd() const { return inotify_; }
    // Watches the folder, or its parent while it is missing. 0, or the errno that
    // keeps new keyboards from being noticed.
    int watch();
    // Every change waiting now.
    std::vector<Change> read();

  private:
    const QString devInput_;
    bool (*isNode_)(const QString&);
    int error_ = 0;
    int inotify_ = -1;
    int inputWatch_ = -1;
    int devWatch_ = -1;
};
