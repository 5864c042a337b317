#include "platform/linux/poll_thread.h"

#include <array>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
constexpr quint64 kStopTag = ~quint64(0);
} // namespace

PollThread::PollThread() {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0)
        error_ = errno;
    stop_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stop_ < 0 && error_ == 0)
        error_ = errno;
    if (error_ == 0)
        error_ = add(stop_, kStopTag);
}

PollThread::~PollThread() {
    stop();
    for (const int fd : {epoll_, stop_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

int PollThread::add(int fd, quint64 tag) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = tag;
    return ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) == 0 ? 0 : errno;
}

void PollThread::remove(int fd) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
}

void PollThread::start(Ready ready) {
    ready_ = std::move(ready);
    thread_ = std::thread([this] { run(); });
}

void PollThread::stop() {
    if (!thread_.joinable())
        return;
    const quint64 one = 1;
    [[maybe_unused]] const auto n = ::write(stop_, &one, sizeof one);
    thread_.join();
}

void PollThread::run() {
    std::array<epoll_event, 16> ready{};
    for (;;) {
        const int n = ::epoll_wait(epoll_, ready.data(), static_cast<int>(ready.size()), -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.u64 == kStopTag)
                return;
        }
        for (int i = 0; i < n; ++i)
            ready_(ready[i].data.u64);
    }
}
