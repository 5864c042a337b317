// Keystrokes from FIFO event nodes to finished scans: throughput, and the latency
// from writing a scan's Enter to the scan being reported; beside them, in the same
// run, the decoder alone and the decoder feeding scan routing, without descriptors;
// and key events through scan routing read with the US table and with a layout.
#include "core/capture/scan_capture.h"
#include "core/settings.h"
#include "platform/linux/evdev_decoder.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/linux/xkb_layouts.h"
#include "support/fake_input.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>

using korvel::test::FakeInputTree;

namespace {
qint64 nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    Settings settings;
    settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Bench"));

    FakeInputTree tree;
    tree.add(1, {});
    EvdevKeyboard keyboard(tree.root());
    qint64 scans = 0;
    qint64 lastScanNs = 0;
    QEventLoop* waiting = nullptr;
    ScanCapture capture(
        keyboard, [&settings] { return settings.scanner(); },
        [&](const QString&, const QString&) {
            ++scans;
            lastScanNs = nowNs();
            if (waiting)
                waiting->quit();
        },
        [](const QString&, const QString&, const QString&) {});
    capture.startCapture();

    const QString code = QStringLiteral("4006381333931");
    const int eventsPerScan = static_cast<int>(FakeInputTree::typed(code, 0).size());

    // Latency: the body of a scan is written first, then its Enter alone.
    std::vector<double> latencyUs;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    for (int i = 0; i < rounds; ++i) {
        const qint64 t = FakeInputTree::nowMs();
        tree.send(1, FakeInputTree::typed(code, t, false, true, 0));
        const auto enter = FakeInputTree::typed(QString(), t, true, true, 0);
        QEventLoop loop;
        waiting = &loop;
        const qint64 before = scans;
        const qint64 start = nowNs();
        tree.send(1, enter);
        if (scans == before)
            loop.exec();
        waiting = nullptr;
        latencyUs.push_back(static_cast<double>(lastScanNs - start) / 1000.0);
    }
    std::sort(latencyUs.begin(), latencyUs.end());

    // Throughput: a writer thread types scans back to back as fast as the FIFO takes them.
    const int bulk = 20000;
    const qint64 before = scans;
    const qint64 start = nowNs();
    std::thread writer([&] {
        qint64 t = FakeInputTree::nowMs();
        for (int i = 0; i < bulk; ++i)
            tree.send(1, FakeInputTree::typed(code, t, true, true, 0));
    });
    QEventLoop loop;
    waiting = &loop;
    while (scans - before < bulk)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    waiting = nullptr;
    writer.join();
    const double seconds = static_cast<double>(lastScanNs - start) / 1e9;

    // The decoder alone, then feeding scan routing: the same records, in memory.
    const std::vector<input_event> records = FakeInputTree::typed(code, 0, true, true, 0);
    const int decodeScans = 200000;
    qint64 reports = 0;
    EvdevDecoder counting(1, 0x05E0, 0x1200, QStringLiteral("Bench"), {},
                          [&](const KeyEvent&) { ++reports; });
    qint64 t0 = nowNs();
    for (int i = 0; i < decodeScans; ++i) {
        for (const input_event& r : records)
            counting.feed(r);
    }
    const double decodeSeconds = static_cast<double>(nowNs() - t0) / 1e9;
    const qint64 routedBefore = scans;
    EvdevDecoder routing(2, 0x05E0, 0x1200, QStringLiteral("Bench"), {},
                         [&](const KeyEvent& e) { capture.onValue(e); });
    t0 = nowNs();
    for (int i = 0; i < decodeScans; ++i) {
        for (const input_event& r : records)
            routing.feed(r);
    }
    const double routeSeconds = static_cast<double>(nowNs() - t0) / 1e9;
    const double events = static_cast<double>(decodeScans) * static_cast<double>(records.size());

    // Key events (Shift, and Ctrl for a GS) read with the US table, then with a German layout
    // through libxkbcommon: by a scan buffer alone, and through scan routing, which
    // reads the two settings at every event as the agent does.
    std::vector<KeyEvent> keys;
    EvdevDecoder collecting(3, 0x05E0, 0x1200, QStringLiteral("Bench"), {},
                            [&](const KeyEvent& e) { keys.push_back(e); });
    for (const input_event& r : FakeInputTree::typed(QStringLiteral("KV:START:Packing-07\x1d"
                                                                    "10"),
                                                     0))
        collecting.feed(r);
    XkbLayouts layouts;
    double buffered[2] = {}, routedRate[2] = {};
    qint64 layoutScans[2] = {};
    const int keyRounds = 200000;
    const auto perSecond = [&](qint64 start) {
        return static_cast<double>(keyRounds) * static_cast<double>(keys.size()) /
               (static_cast<double>(nowNs() - start) / 1e9);
    };
    for (const int withLayout : {0, 1}) {
        settings.setScannerLayout(withLayout ? QStringLiteral("de") : QString());
        ScanBuffer buffer;
        buffer.layout = withLayout ? layouts.decoder(QStringLiteral("de")) : nullptr;
        buffer.onScan = [&](const QString&) { ++layoutScans[withLayout]; };
        t0 = nowNs();
        for (int i = 0; i < keyRounds; ++i) {
            for (const KeyEvent& e : keys)
                buffer.key(e.usage, e.value != 0, e.timeMs);
        }
        buffered[withLayout] = perSecond(t0);
        ScanCapture routed(
            keyboard, [&settings] { return settings.scanner(); },
            [&](const QString&, const QString&) { ++layoutScans[withLayout]; },
            [](const QString&, const QString&, const QString&) {}, &layouts,
            [&settings] { return settings.scannerLayout(); });
        t0 = nowNs();
        for (int i = 0; i < keyRounds; ++i) {
            for (const KeyEvent& e : keys)
                routed.onValue(e);
        }
        routedRate[withLayout] = perSecond(t0);
    }

    std::printf(
        "latency Enter write -> scan (%d scans): median %.1f us, p99 %.1f us, max %.1f us\n",
        rounds, latencyUs[latencyUs.size() / 2], latencyUs[latencyUs.size() * 99 / 100],
        latencyUs.back());
    std::printf("throughput: %d scans, %d events in %.3f s: %.0f events/s, %.0f scans/s\n", bulk,
                bulk * eventsPerScan, seconds, bulk * eventsPerScan / seconds, bulk / seconds);
    std::printf("decoder alone: %.0f events/s (%lld key reports)\n", events / decodeSeconds,
                static_cast<long long>(reports));
    std::printf("decoder + scan routing: %.0f events/s, %lld scans\n", events / routeSeconds,
                static_cast<long long>(scans - routedBefore));
    std::printf("key events read by a scan buffer: US table %.0f/s, layout de %.0f/s\n",
                buffered[0], buffered[1]);
    std::printf("key events through scan routing: US table %.0f/s, layout de %.0f/s (%lld, %lld "
                "scans)\n",
                routedRate[0], routedRate[1], static_cast<long long>(layoutScans[0]),
                static_cast<long long>(layoutScans[1]));
    return 0;
}
