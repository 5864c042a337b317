// Throughput of the scan buffer and the cost of loading and saving the queue file.
#include "core/capture/scan_buffer.h"
#include "core/delivery/queue_file.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QList<QueuedScan> makeScans(int n) {
    QList<QueuedScan> scans;
    scans.reserve(n);
    for (int i = 0; i < n; ++i)
        scans.append({QStringLiteral("4006381333931-%1").arg(i), 1700000000000 + i});
    return scans;
}

void BM_ScanBufferKeystrokes(benchmark::State& state) {
    ScanBuffer buffer;
    qint64 scans = 0;
    buffer.onScan = [&](const QString&) { ++scans; };
    // A 13-digit barcode with Shift noise, then Enter: 16 key-downs and 2 Shift events.
    const int usages[] = {225, 30, 225, 31, 32, 33, 34, 35, 36, 37, 38, 39, 30, 31, 32, 4, 5, 40};
    qint64 t = 0;
    for (auto _ : state) {
        for (const int u : usages) {
            buffer.key(u, true, t);
            if (u == 225)
                buffer.key(u, false, t);
            t += 2;
        }
    }
    benchmark::DoNotOptimize(scans);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::size(usages)));
    state.counters["keystrokes/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * std::size(usages)), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanBufferKeystrokes);

void BM_QueueLoad(benchmark::State& state) {
    QTemporaryDir dir;
    QueueFile file(dir.filePath(QStringLiteral("queue.json")));
    file.save(makeScans(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        auto scans = file.load();
        benchmark::DoNotOptimize(scans);
    }
}
BENCHMARK(BM_QueueLoad)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Encoding and writing only: what a save costs before the two syncs.
void BM_QueueEncode(benchmark::State& state) {
    const auto scans = makeScans(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto bytes = encodeQueue(scans);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_QueueEncode)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The whole save step: encode, write a temporary file, sync it, rename, sync the folder.
void BM_QueueSave(benchmark::State& state) {
    QTemporaryDir dir;
    QueueFile file(dir.filePath(QStringLiteral("queue.json")));
    const auto scans = makeScans(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(file.save(scans));
}
BENCHMARK(BM_QueueSave)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
