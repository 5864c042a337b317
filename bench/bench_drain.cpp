// A backlog of queued scans drained against the reference scan server, compared
// with a plain client posting the same bodies one request at a time, in one run.
#include "core/delivery/scan_delivery.h"
#include "core/delivery/transport.h"
#include "core/settings.h"
#include "platform/null/silent_adapters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QList<QueuedScan> backlog(int n, qint64 base) {
    QList<QueuedScan> scans;
    for (int i = 0; i < n; ++i)
        scans.append({QStringLiteral("4006381333931-%1").arg(i), base + i});
    return scans;
}

// One request at a time, the next sent when the previous answer is in.
double plainRate(QNetworkAccessManager& network, const QString& base, const QString& deviceId,
                 const QList<QueuedScan>& scans) {
    QNetworkRequest request(QUrl(base + QStringLiteral("/api/scan")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QEventLoop loop;
    qsizetype next = 0;
    std::function<void()> post = [&] {
        if (next == scans.size()) {
            loop.quit();
            return;
        }
        const QueuedScan& s = scans[next++];
        const QJsonObject body{{QStringLiteral("device_id"), deviceId},
                               {QStringLiteral("value"), s.value},
                               {QStringLiteral("ts"), s.ts}};
        QNetworkReply* reply =
            network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
        QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply] {
            reply->readAll();
            reply->deleteLater();
            post();
        });
    };
    QElapsedTimer timer;
    timer.start();
    post();
    loop.exec();
    return scans.size() / (timer.nsecsElapsed() / 1e9);
}

double queueRate(Settings& settings, QNetworkAccessManager& network, const QString& folder,
                 const QList<QueuedScan>& scans, qint64* accepted, quint64* writes) {
    const QString path = folder + QStringLiteral("/queue.json");
    QueueFile(path).save(scans);
    Transport transport([&settings] { return settings.serverURL(); }, network);
    SilentNotifier notifier;
    SilentSounds sounds;
    ScanDelivery delivery(settings, transport, notifier, sounds);
    ScanQueue queue(QueueFile(path), [&](const QueuedScan& s, ScanQueue::Completion done) {
        delivery.send(s, std::move(done));
    });
    QEventLoop loop;
    queue.onDone = [&](const QueuedScan&, SendOutcome outcome, const QString&) {
        if (outcome == SendOutcome::ok)
            ++*accepted;
        if (queue.items().isEmpty())
            loop.quit();
    };
    QElapsedTimer timer;
    timer.start();
    queue.flush();
    loop.exec();
    const double rate = scans.size() / (timer.nsecsElapsed() / 1e9);
    queue.waitUntilSaved();
    *writes += queue.savesWritten();
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    const int n = argc > 2 ? std::atoi(argv[2]) : 10000;

    QProcess server;
    server.start(QString::fromLocal8Bit(argc > 1 ? argv[1] : "korvel-scan-server"),
                 {QStringLiteral("--quiet"), QStringLiteral("--port"), QStringLiteral("0")});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "scan server did not start\n");
        return 1;
    }
    const auto m = QRegularExpression(QStringLiteral("(http://\\S+)"))
                       .match(QString::fromUtf8(server.readAll()));
    const QString base = m.captured(1);

    Settings settings;
    settings.setServerURL(base);
    QNetworkAccessManager network;
    qint64 accepted = 0;
    quint64 writes = 0;
    // Alternate the two so that both see the same machine state; fresh texts each round.
    double plain = 0, queued = 0;
    for (int round = 0; round < 2; ++round) {
        plain += plainRate(network, base, QStringLiteral("plain-client"),
                           backlog(n, 1000000 * (round + 1)));
        queued += queueRate(settings, network, home.path(), backlog(n, 1000000 * (round + 1)),
                            &accepted, &writes);
    }
    plain /= 2;
    queued /= 2;
    std::printf(
        "plain client: %.0f scans/s\nqueue drain: %.0f scans/s (%lld accepted, queue file "
        "rewritten %llu times, newest state first when the disk fell behind)\nratio: %.2f\n",
        plain, queued, static_cast<long long>(accepted), static_cast<unsigned long long>(writes),
        queued / plain);
    server.kill();
    server.waitForFinished();
    return accepted == 2LL * n ? 0 : 1;
}
