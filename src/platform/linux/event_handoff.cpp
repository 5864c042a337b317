#include "platform/linux/event_handoff.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

EventHandoff::EventHandoff(std::function<void()> waiting) {
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) {
        error_ = errno;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(wake_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this, waiting = std::move(waiting)] {
                         quint64 count = 0;
                         [[maybe_unused]] const auto n = ::read(wake_, &count, sizeof count);
                         waiting();
                     });
}

EventHandoff::~EventHandoff() {
    notifier_.reset();
    if (wake_ >= 0)
        ::close(wake_);
}

void EventHandoff::push(const KeyEvent& event) {
    std::lock_guard lock(mutex_);
    const bool wasEmpty = pending_.empty();
    pending_.push_back(event);
    if (wasEmpty) {
        const quint64 one = 1;
        [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
    }
}

std::deque<KeyEvent> EventHandoff::take() {
    std::deque<KeyEvent> events;
    std::lock_guard lock(mutex_);
    events.swap(pending_);
    return events;
}
