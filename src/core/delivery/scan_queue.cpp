#include "core/delivery/scan_queue.h"

#include "core/logging.h"

#include <memory>

SendOutcome sendOutcomeFromStatus(qint64 status) {
    if (static_cast<quint64>(status) - 200u < 100u)
        return SendOutcome::ok;
    if (status == 400)
        return SendOutcome::rejected;
    return SendOutcome::retry;
}

ScanQueue::ScanQueue(QueueFile file, SendFn send)
    : send_(std::move(send)), items_(file.load()), writer_(file) {
    for (const QueuedScan& scan : items_)
        appendElement(scan);
}

void ScanQueue::appendElement(const QueuedScan& scan) {
    const qsizetype before = elements_.size();
    appendQueuedScan(elements_, scan);
    elements_.append(',');
    sizes_.push_back(elements_.size() - before);
}

ScanQueue::~ScanQueue() {
    // A clean exit is the last chance for scans the disk refused earlier.
    writer_.waitUntilWritten();
    if (!saveIfBehind()) {
        qCWarning(lcQueue).noquote()
            << "quitting with" << items_.size() << "waiting scans that could not be written to"
            << writer_.file().path();
    }
}

bool ScanQueue::saveIfBehind() {
    if (writer_.behindBecause().isEmpty())
        return true;
    return writer_.saveNow(state());
}

QueueWriter::State ScanQueue::state() const {
    // Without the last element's ','.
    const qsizetype length = elements_.size() - from_;
    return {elements_, from_, length > 0 ? length - 1 : 0};
}

void ScanQueue::enqueue(const QueuedScan& scan) {
    items_.append(scan);
    if (from_ > 0 && from_ * 2 > elements_.size()) {
        elements_.remove(0, from_); // keep the delivered part from growing without end
        from_ = 0;
    }
    appendElement(scan);
    // A new scan is on disk before enqueue returns.
    writer_.saveNow(state());
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
    from_ += sizes_.front();
    sizes_.pop_front();
    // Written in the background, newest state first when they pile up: losing this
    // write to a crash only means the decided scan is sent once more.
    writer_.saveLater(state());
    onDone(head, outcome, message);
    if (flushing_ || items_.isEmpty())
        return;
    startHead();
}
