// The queue's store while it writes a million waiting scans whole in the background:
// a compaction, and the take-over of an older agent's queue.json. Shown: the time
// from handing a scan over (Enter) to its record being synced, for scans typed while
// that write runs and for the same backlog at rest; and how long the main thread of
// a running queue is kept from its events meanwhile (a 1 ms timer's longest gap, the
// longest enqueue()).
//   bench_store_background [folder on the disk to measure, default a temporary one]
#include "core/delivery/queue_file.h"
#include "core/delivery/queue_store.h"
#include "core/delivery/scan_queue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMillion = 1000000;

QList<QueuedScan> backlog(int n, int from = 0) {
    QList<QueuedScan> scans;
    scans.reserve(n);
    for (int i = from; i < from + n; ++i)
        scans.append(
            {QStringLiteral("40063813%1").arg(i, 7, 10, QLatin1Char('0')), 1700000000000 + i});
    return scans;
}

double at(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

// A folder whose journal is due for compaction at the first change (a million live
// scans behind as many removed), or an older agent's queue.json of a million.
void seed(const QString& folder, bool olderAgent) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/queue.json");
    if (const pid_t child = ::fork(); child == 0) {
        if (olderAgent) {
            QueueFile(path).save(backlog(kMillion));
        } else {
            QueueStore store(path);
            store.load();
            store.waitFor(store.rewrite(backlog(2 * kMillion), 0));
            store.waitFor(store.removeFront(kMillion));
        }
        ::_exit(0);
    } else {
        ::waitpid(child, nullptr, 0);
    }
}

struct Latency {
    std::vector<double> during, after;
    double writeMs = 0;  // from the background write's start to its switch
    double switchMs = 0; // from the list written to the new files in place
};

// Scans handed over one by one, every 5 ms, while the whole list is written and for
// as long again after it.
Latency latency(const QString& folder, bool olderAgent) {
    seed(folder, olderAgent);
    std::atomic<bool> running = false, ended = false;
    QElapsedTimer since;
    std::atomic<qint64> tookNs = 0, builtNs = 0;
    QueueStore store(folder + QStringLiteral("/queue.json"), [&](const char* step) {
        if (qstrcmp(step, "building") == 0) {
            since.start();
            running = true;
        } else if (qstrcmp(step, "built") == 0) {
            builtNs = since.nsecsElapsed();
        } else if (qstrcmp(step, "journal replaced") == 0) {
            tookNs = since.nsecsElapsed();
            running = false;
            ended = true;
        }
    });
    store.load();
    Latency out;
    int i = 0;
    const auto typeOne = [&](std::vector<double>& into) {
        QElapsedTimer t;
        t.start();
        store.waitFor(store.append(
            {QStringLiteral("5901234%1").arg(i, 6, 10, QLatin1Char('0')), 1800000000000 + i}));
        into.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        ++i;
        QThread::msleep(5);
    };
    while (!ended)
        typeOne(running ? out.during : out.after);
    out.after.clear(); // before the write began: the first change starts it
    for (size_t n = out.during.size(); out.after.size() < std::max<size_t>(n, 50);)
        typeOne(out.after);
    out.writeMs = static_cast<double>(tookNs) / 1e6;
    out.switchMs = static_cast<double>(tookNs - builtNs) / 1e6;
    store.waitUntilWritten();
    return out;
}

struct Stall {
    double startMs = 0;    // making the queue (reading the folder)
    double longestGap = 0; // between two ticks of a 1 ms timer
    double longestEnqueue = 0;
    int scans = 0;
};

// A queue on the main thread whose server does not answer: scans typed every 10 ms
// until the store has written the list whole once.
Stall mainThread(const QString& folder, bool olderAgent) {
    seed(folder, olderAgent);
    Stall out;
    QElapsedTimer t;
    t.start();
    std::vector<ScanQueue::Completion> open;
    ScanQueue queue(
        QueueFile(folder + QStringLiteral("/queue.json")),
        [&](const QueuedScan&, ScanQueue::Completion done) { open.push_back(std::move(done)); });
    out.startMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const quint64 before = queue.store().compactions();
    QEventLoop loop;
    QTimer tick, type;
    QElapsedTimer last;
    last.start();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        out.longestGap = std::max(out.longestGap, static_cast<double>(last.nsecsElapsed()) / 1e6);
        last.restart();
        if (queue.store().compactions() > before && out.scans > 0)
            loop.quit();
    });
    QObject::connect(&type, &QTimer::timeout, [&] {
        QElapsedTimer e;
        e.start();
        queue.enqueue({QStringLiteral("typed %1").arg(out.scans), 1800000000000 + out.scans});
        queue.flush();
        out.longestEnqueue =
            std::max(out.longestEnqueue, static_cast<double>(e.nsecsElapsed()) / 1e6);
        ++out.scans;
    });
    tick.start(1);
    type.start(10);
    last.restart();
    loop.exec();
    queue.waitUntilSaved();
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir temp;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const QString folder = root + QStringLiteral("/bench-store-background");
    bool met = true;
    for (const bool olderAgent : {false, true}) {
        const char* what = olderAgent ? "take-over of 1,000,000" : "compaction of 1,000,000";
        const Latency l = latency(folder, olderAgent);
        std::printf("%s: written whole in %.0f ms (switched in in %.1f ms); Enter -> record synced, %zu scans during it: "
                    "p50 %.2f ms, p99 %.2f ms, max %.2f ms (target p99 <= 20); at rest after "
                    "it: p50 %.2f ms, p99 %.2f ms\n",
                    what, l.writeMs, l.switchMs, l.during.size(), at(l.during, 0.5), at(l.during, 0.99),
                    at(l.during, 1.0), at(l.after, 0.5), at(l.after, 0.99));
        met = met && !l.during.empty() && at(l.during, 0.99) <= 20;
        const Stall s = mainThread(folder, olderAgent);
        std::printf("%s, queue on the main thread: made in %.0f ms; while written whole, "
                    "%d scans typed, longest enqueue %.2f ms, longest gap between 1 ms ticks "
                    "%.2f ms\n",
                    what, s.startMs, s.scans, s.longestEnqueue, s.longestGap);
    }
    return met ? 0 : 1;
}
