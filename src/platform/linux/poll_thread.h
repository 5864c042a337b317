#pragma once

#include <QtGlobal>

#include <functional>
#include <thread>

// A thread that waits for any of a set of descriptors to become readable and
// reports each by the tag it was added with. Descriptors may be added and removed
// from any thread, also while it waits.
class PollThread {
  public:
    using Ready = std::function<void(quint64 tag)>;

    PollThread();
    ~PollThread(); // stops
    PollThread(const PollThread&) = delete;
    PollThread& operator=(const PollThread&) = delete;

    // errno when the thread's own descriptors could not be made.
    int error() const { return error_; }
    // 0, or errno (a plain file cannot be waited on).
    int add(int fd, quint64 tag);
    void remove(int fd);
    // `ready` runs on the thread, once for each readable descriptor, level-triggered:
    // it must read what waits.
    void start(Ready ready);
    // Once: returns when the thread has ended, and `ready` will not run again.
    void stop();

  private:
    void run();

    int error_ = 0;
    int epoll_ = -1;
    int stop_ = -1;
    Ready ready_;
    std::thread thread_;
};
