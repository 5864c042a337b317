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
    : send_(std::move(send)), file_(std::move(file)), store_(file_.path()) {
    if (auto contents = store_.load(&loadError_)) {
        took(*contents);
    } else {
        loadPending_ = true;
        qCWarning(lcQueue).noquote()
            << "queue file" << file_.path()
            << "cannot be read now (" + loadError_ +
                   "); it is kept and read again every few seconds, new scans wait in memory";
    }
    (void)lcQueue(); // made before the handler is registered, so it outlives it
    static const bool registered = std::atexit([] { lastSaveOfEveryQueue(); }) == 0;
    (void)registered;
    LiveQueues& live = liveQueues();
    std::lock_guard lock(live.mutex);
    live.queues.push_back(this);
}

void ScanQueue::took(QueueStore::Contents& contents) {
    items_ = std::move(contents.scans);
    // Room for the scans to come, made now: growing a list of a million later would
    // hold the main thread at an Enter.
    items_.reserve(items_.size() + 4096);
    changes_.assign(items_.size(), 0); // on disk already
    lastStamp_ = std::max(lastStamp_, contents.lastStamp);
    setAside_ = contents.setAside;
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
    store_.waitUntilWritten();
    retryLoad();
    if (loadPending_ && !items_.isEmpty()) {
        // The store may hold older scans that were never read: it must not be
        // replaced, so what only memory holds goes beside it, for recovery by hand.
        const QueueFile beside(file_.path() + QStringLiteral(".unsaved-") +
                               QString::number(QDateTime::currentMSecsSinceEpoch()));
        if (beside.save(items_)) {
            qCWarning(lcQueue).noquote() << "queue file still not read at exit;" << items_.size()
                                         << "waiting scans kept as" << beside.path();
            return;
        }
    }
    if (!saveIfBehind()) {
        if (items_.isEmpty())
            qCWarning(lcQueue).noquote()
                << "quitting with" << file_.path()
                << "not brought up to date: scans it still holds were delivered and may be "
                   "sent again";
        else
            qCWarning(lcQueue).noquote()
                << "quitting with" << items_.size() << "waiting scans that could not be written to"
                << file_.path();
        return;
    }
    // queue.json, which other tools read, shows the list as it is at quit.
    store_.waitFor(store_.compact());
}

bool ScanQueue::saveIfBehind() {
    if (loadPending_)
        return false; // the store may hold scans that memory does not
    if (!store_.behind())
        return true;
    if (store_.behindBecause().isEmpty() && items_.isEmpty())
        return true; // nothing was ever stored, and nothing needs to be
    if (!store_.needsRewrite())
        return store_.waitFor(store_.lastHanded()); // one is on its way
    return store_.waitFor(store_.rewrite(items_, lastStamp_));
}

QString ScanQueue::diskProblem() const {
    if (loadPending_)
        return tr("queue file not read yet: %1").arg(loadError_);
    return store_.behindBecause();
}

bool ScanQueue::retryLoad() {
    if (!loadPending_)
        return false;
    auto contents = store_.load(&loadError_);
    if (!contents)
        return false;
    loadPending_ = false;
    qCInfo(lcQueue).noquote() << "queue file" << file_.path()
                              << "read now:" << contents->scans.size() << "waiting scans";
    // Read before every scan still here, except one already on its way.
    QList<QueuedScan> waiting = std::move(items_);
    took(*contents);
    if (flushing_ && !waiting.isEmpty())
        items_.prepend(waiting.takeFirst());
    items_.append(waiting);
    const quint64 whole = store_.rewrite(items_, lastStamp_);
    changes_.assign(items_.size(), whole);
    store_.waitFor(whole);
    return true;
}

quint64 ScanQueue::store(const std::function<quint64()>& change) {
    if (loadPending_)
        return 0; // writing now would replace the scans the store holds
    if (!store_.needsRewrite())
        return change();
    const quint64 whole = store_.rewrite(items_, lastStamp_);
    std::fill(changes_.begin(), changes_.end(), whole); // it holds every scan
    return whole;
}

void ScanQueue::enqueue(const QueuedScan& scan) {
    items_.append(scan);
    changes_.push_back(0);
    lastStamp_ = std::max(lastStamp_, scan.ts);
    // Not waited for: the scan may be sent while it is being written.
    changes_.back() = store([&] { return store_.append(scan); });
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
    // The scan is on disk before anyone hears of its outcome (or the disk refused it
    // and it lives in memory, as the menu says).
    if (!loadPending_)
        store_.waitFor(changes_.front());
    items_.removeFirst();
    changes_.pop_front();
    // Losing this record to a crash only means the decided scan is sent once more.
    store([this] { return store_.removeFront(1); });
    onDone(head, outcome, message);
    if (flushing_ || items_.isEmpty())
        return;
    startHead();
}
