#pragma once

#include "platform/keyboard.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QSocketNotifier;

// Key events passed from a reader thread to the thread that made the hand-off, in
// order. The receiving thread is woken through its event loop when the first
// event waits; it takes them all at once.
class EventHandoff {
  public:
    // `waiting` runs on the constructing thread when events wait.
    explicit EventHandoff(std::function<void()> waiting);
    ~EventHandoff();
    EventHandoff(const EventHandoff&) = delete;
    EventHandoff& operator=(const EventHandoff&) = delete;

    // errno when the wake-up descriptor could not be made.
    int error() const { return error_; }
    // Any thread.
    void push(const KeyEvent& event);
    std::deque<KeyEvent> take();

  private:
    int error_ = 0;
    int wake_ = -1;
    std::mutex mutex_;
    std::deque<KeyEvent> pending_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
