#include "core/delivery/scan_queue.h"

#include "core/logging.h"

#include <QDateTime>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

SendOutcome sendOutcomeFromStatus(qint64 status) {
    if (static_cast<quint64>(status) - 200u < 100u)
        return SendOutcome::ok;
    if (status == 400)
        return SendOutcome::rejected;
    return SendOutcome::retry;
}

namespace {

// Queues alive now: the toolkit may end the process with exit() (a display lost at
// log-out), which skips their destructors but not exit handlers.
struct LiveQueues {
    std::mutex mutex;
    std::vector<ScanQueue*> queues;
};

LiveQueues& liveQueues() {
    static auto* live = new LiveQueues; // never destroyed: the exit handler uses it
    return *live;
}

} // namespace

ScanQueue::ScanQueue(QueueFile file, SendFn send)
    : send_(std::move(send)), writer_(std::move(file)) {
    if (auto scans = writer_.file().tryLoad(&loadError_)) {
        items_ = std::move(*scans);
    } else {
        loadPending_ = true;
        qCWarning(lcQueue).noquote()
            << "queue file" << writer_.file().path()
            << "cannot be read now (" + loadError_ +
                   "); it is kept and read again every few seconds, new scans wait in memory";
    }
    for (const QueuedScan& scan : items_)
        appendElement(scan);
    (void)lcQueue(); // made before the handler is registered, so it outlives it
    static const bool registered = std::atexit([] { lastSaveOfEveryQueue(); }) == 0;
    (void)registered;
    LiveQueues& live = liveQueues();
    std::lock_guard lock(live.mutex);
    live.queues.push_back(this);
}

void ScanQueue::appendElement(const QueuedScan& scan) {
    const qsizetype before = elements_.size();
    appendQueuedScan(elements_, scan);
    elements_.append(',');
    sizes_.push_back(elements_.size() - before);
}

ScanQueue::~ScanQueue() {
    {
        LiveQueues& live = liveQueues();
        std::lock_guard lock(live.mutex);
        std::erase(live.queues, this);
    }
    lastSave();
}

void ScanQueue::lastSaveOfEveryQueue() {
    LiveQueues& live = liveQueues();
    std::lock_guard lock(live.mutex);
    for (ScanQueue* queue : live.queues)
        queue->lastSave();
    live.queues.clear();
}

void ScanQueue::lastSave() {
    // The last chance for scans the disk refused earlier.
    writer_.waitUntilWritten();
    retryLoad();
    if (loadPending_ && !items_.isEmpty()) {
        // The file may hold older scans that were never read: it must not be
        // replaced, so what only memory holds goes beside it, for recovery by hand.
        const QueueFile beside(writer_.file().path() + QStringLiteral(".unsaved-") +
                               QString::number(QDateTime::currentMSecsSinceEpoch()));
        if (beside.save(items_)) {
            qCWarning(lcQueue).noquote() << "queue file still not read at exit;" << items_.size()
                                         << "waiting scans kept as" << beside.path();
            return;
        }
    }
    if (!saveIfBehind()) {
        qCWarning(lcQueue).noquote()
            << "quitting with" << items_.size() << "waiting scans that could not be written to"
            << writer_.file().path();
    }
}

bool ScanQueue::saveIfBehind() {
    if (loadPending_)
        return false; // the file may hold scans that memory does not
    if (writer_.behindBecause().isEmpty())
        return true;
    return writer_.saveNow(state());
}

QString ScanQueue::diskProblem() const {
    if (loadPending_)
        return tr("queue file not read yet: %1").arg(loadError_);
    return writer_.behindBecause();
}

bool ScanQueue::retryLoad() {
    if (!loadPending_)
        return false;
    auto scans = writer_.file().tryLoad(&loadError_);
    if (!scans)
        return false;
    loadPending_ = false;
    qCInfo(lcQueue).noquote() << "queue file" << writer_.file().path()
                              << "read now:" << scans->size() << "waiting scans";
    // Read before every scan still here, except one already on its way.
    items_.insert(flushing_ ? 1 : 0, scans->size(), QueuedScan());
    std::copy(scans->begin(), scans->end(), items_.begin() + (flushing_ ? 1 : 0));
    elements_.clear();
    sizes_.clear();
    from_ = 0;
    for (const QueuedScan& scan : items_)
        appendElement(scan);
    writer_.saveNow(state());
    return true;
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
    // A new scan is on disk before enqueue returns (unless the file is not read yet:
    // writing now would replace the scans it holds).
    if (!loadPending_)
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
    if (!loadPending_)
        writer_.saveLater(state());
    onDone(head, outcome, message);
    if (flushing_ || items_.isEmpty())
        return;
    startHead();
}
