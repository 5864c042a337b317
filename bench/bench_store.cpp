// The queue's store against the length of the queue: bytes written and the time
// from handing over a scan to its being on disk, for 40 scans added to a waiting
// backlog (none decided, as while the server refuses); then a backlog of a million
// scans: the time to read it at start and the memory it takes, and a drain of it
// through the queue in order.
//   bench_store [folder on the disk to measure, default a temporary one]
#include "core/delivery/queue_file.h"
#include "core/delivery/queue_store.h"
#include "core/delivery/scan_queue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QList<QueuedScan> backlog(int n) {
    QList<QueuedScan> scans;
    scans.reserve(n);
    for (int i = 0; i < n; ++i)
        scans.append(
            {QStringLiteral("40063813%1").arg(i, 7, 10, QLatin1Char('0')), 1700000000000 + i});
    return scans;
}

// Bytes this process handed to write() so far.
qint64 written() {
    QFile io(QStringLiteral("/proc/self/io"));
    io.open(QIODevice::ReadOnly);
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return 0;
}

qint64 residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

double at(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

struct Figures {
    double bytesPerScan = 0;
    double recordBytes = 0;
    double p50 = 0, p90 = 0;
};

Figures appendsOnto(const QString& folder, int waiting) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/queue.json");
    {
        QueueStore seed(path);
        seed.load();
        if (waiting > 0)
            seed.waitFor(seed.rewrite(backlog(waiting), 1700000000000 + waiting));
    }
    QueueStore store(path);
    const auto contents = store.load();
    if (!contents || contents->scans.size() != waiting)
        std::fprintf(stderr, "the backlog did not load\n");
    if (waiting == 0)
        store.waitFor(store.rewrite({}, 0));
    std::vector<double> ms;
    qint64 records = 0;
    const qint64 before = written();
    for (int i = 0; i < 40; ++i) {
        const QueuedScan scan{QStringLiteral("5901234123%1").arg(i, 3, 10, QLatin1Char('0')),
                              1800000000000 + i};
        records += journal::appendRecord(scan).size();
        QElapsedTimer t;
        t.start();
        store.waitFor(store.append(scan));
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        QThread::msleep(20); // scans arrive one by one, not as a batch
    }
    Figures f;
    f.bytesPerScan = static_cast<double>(written() - before) / 40;
    f.recordBytes = static_cast<double>(records) / 40;
    f.p50 = at(ms, 0.5);
    f.p90 = at(ms, 0.9);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir temp;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const QString folder = root + QStringLiteral("/bench-store");

    std::printf("backlog   written/scan  record  beyond it   persisted p50    p90\n");
    double emptyP90 = 0, bigP90 = 0, bigBeyond = 0;
    for (const int waiting : {0, 10000, 100000}) {
        const Figures f = appendsOnto(folder, waiting);
        std::printf("%7d   %9.0f B  %4.0f B  %7.0f B   %8.3f ms %7.3f ms\n", waiting,
                    f.bytesPerScan, f.recordBytes, f.bytesPerScan - f.recordBytes, f.p50, f.p90);
        if (waiting == 0)
            emptyP90 = f.p90;
        bigP90 = f.p90;
        bigBeyond = f.bytesPerScan - f.recordBytes;
    }
    std::printf("100,000 backlog: %.0f B per scan beyond its record (target <= 4096); "
                "persisted p90 %.3f ms over the empty queue's (target <= 2)\n",
                bigBeyond, bigP90 - emptyP90);

    // A million waiting scans: start-up reads them, then they drain in order.
    const int million = 1000000;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/queue.json");
    // Written by a child, so that this process's memory holds only what reading takes.
    if (const pid_t child = ::fork(); child == 0) {
        QueueStore seed(path);
        seed.load();
        seed.waitFor(seed.rewrite(backlog(million), 1700000000000 + million));
        ::_exit(0);
    } else {
        ::waitpid(child, nullptr, 0);
    }
    const qint64 rssBefore = residentKb();
    QElapsedTimer t;
    t.start();
    qint64 delivered = 0;
    bool inOrder = true;
    QString first;
    {
        std::vector<ScanQueue::Completion> open;
        ScanQueue queue(QueueFile(path), [&](const QueuedScan& s, ScanQueue::Completion done) {
            if (first.isEmpty())
                first = s.value;
            open.push_back(std::move(done));
        });
        queue.flush();
        const double firstSend = static_cast<double>(t.nsecsElapsed()) / 1e6;
        std::printf("1,000,000 waiting: first send %.0f ms after the queue was made "
                    "(target < 2000); resident memory %lld MB, %lld MB of it for the queue\n",
                    firstSend, static_cast<long long>(residentKb() / 1024),
                    static_cast<long long>((residentKb() - rssBefore) / 1024));
        queue.onDone = [&](const QueuedScan& s, SendOutcome, const QString&) {
            if (s.ts != 1700000000000 + delivered)
                inOrder = false;
            ++delivered;
        };
        t.restart();
        while (!open.empty()) {
            ScanQueue::Completion done = std::move(open.back());
            open.pop_back();
            done(SendOutcome::ok, {});
        }
        queue.waitUntilSaved();
        std::printf("drained %lld in order: %s; %.0f scans/s by the queue and its store alone; "
                    "list written whole %llu times\n",
                    static_cast<long long>(delivered), inOrder ? "yes" : "NO",
                    static_cast<double>(delivered) / (static_cast<double>(t.nsecsElapsed()) / 1e9),
                    static_cast<unsigned long long>(queue.store().compactions()));
    }
    const auto left = QueueStore::read(path);
    std::printf("left after the drain: %lld\n",
                static_cast<long long>(left ? left->scans.size() : -1));
    return inOrder && delivered == million && left && left->scans.isEmpty() ? 0 : 1;
}
