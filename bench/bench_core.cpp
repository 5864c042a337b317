// Throughput of the scan buffer, the cost of loading and saving the queue file, and
// of reading what a scan says about itself (the target: at most 50 us a scan).
#include "core/capture/scan_buffer.h"
#include "core/delivery/queue_file.h"
#include "core/scan_meaning/scan_meaning.h"

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

// Splitting and checking one scan, by kind: the longest labels a station sees.
void BM_ScanMeaning(benchmark::State& state) {
    const QString gs(QChar(0x1D));
    const QString scans[] = {
        "]d20109506000134352172612311012345678901234567890" + gs + "21ABCDEFGHIJ0123456789",
        "]C100106141412345678908" + QStringLiteral("0209506000134352") + "3103001250" + "3922299" +
            gs + "37120",
        QStringLiteral("]Q1https://id.gs1.org/01/09506000134352/10/ABC%2F123/21/"
                       "SER456?17=261231&3103=000189&linkType=all"),
        QStringLiteral("]E04006381333931"),
        "]C199" + QString(3998, QLatin1Char('9')), // the pathological: 4,000 digits
    };
    const QString& scan = scans[state.range(0)];
    for (auto _ : state) {
        auto meaning = scan_meaning::read(scan);
        benchmark::DoNotOptimize(meaning);
    }
}
BENCHMARK(BM_ScanMeaning)
    ->ArgName("pack_sscc_link_ean_4000")
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
