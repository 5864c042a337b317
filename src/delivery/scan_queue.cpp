#include "delivery/scan_queue.h"

#include <memory>

SendOutcome sendOutcomeFromStatus(qint64 status) {
    if (static_cast<quint64>(status) - 200u < 100u)
        return SendOutcome::ok;
    if (status == 400)
        return SendOutcome::rejected;
    return SendOutcome::retry;
}

ScanQueue::ScanQueue(QueueFile file, SendFn send)
    : file_(std::move(file)), send_(std::move(send)), items_(file_.load()) {}

void ScanQueue::enqueue(const QueuedScan& scan) {
    items_.append(scan);
    file_.save(items_);
}

void ScanQueue::flush() {
    if (flushing_ || items_.isEmpty())
        return;
    startHead();
}

void ScanQueue::startHead() {
    const QueuedScan head = items_.first();
    flushing_ = true; // set before send: its completion may run before send returns
    auto called = std::make_shared<bool>(false);
    send_(head, [this, head, called](SendOutcome outcome, const QString& message) {
        if (*called)
            return; // a second report of one attempt would remove a scan never sent
        *called = true;
        completed(head, outcome, message);
    });
}

void ScanQueue::completed(const QueuedScan& head, SendOutcome outcome, const QString& message) {
    flushing_ = false;
    if (outcome == SendOutcome::retry)
        return;
    items_.removeFirst();
    file_.save(items_); // the file is written before anyone is told
    onDone(head, outcome, message);
    if (flushing_ || items_.isEmpty())
        return;
    startHead();
}
