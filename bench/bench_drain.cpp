// A backlog of queued scans drained against the reference scan server, compared
// with a plain client posting the same bodies one request at a time, in one run.
#include "core/delivery/http_client.h"
#include "core/delivery/scan_delivery.h"
#include "core/delivery/transport.h"
#include "core/settings.h"
#include "platform/null/silent_adapters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QList<QueuedScan> backlog(int n, qint64 base) {
    QList<QueuedScan> scans;
    for (int i = 0; i < n; ++i)
        scans.append({QStringLiteral("4006381333931-%1").arg(i), base + i});
    return scans;
}

// A raw-socket client on one kept-alive connection, one request at a time, each
// answer read whole (headers and Content-Length body) before the next is sent.
double socketRate(quint16 port, const QString& deviceId, const QList<QueuedScan>& scans) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 0;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    QElapsedTimer timer;
    timer.start();
    std::string in;
    char chunk[65536];
    for (const QueuedScan& s : scans) {
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("device_id"), deviceId},
                                                          {QStringLiteral("value"), s.value},
                                                          {QStringLiteral("ts"), s.ts}})
                                    .toJson(QJsonDocument::Compact);
        const std::string request = "POST /api/scan HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                    "Content-Type: application/json\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body.toStdString();
        if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            return 0;
        for (;;) {
            const size_t end = in.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t length = 0;
                const size_t at = in.find("ontent-Length: ");
                if (at != std::string::npos && at < end)
                    length = std::stoul(in.substr(at + 15));
                if (in.size() >= end + 4 + length) {
                    in.erase(0, end + 4 + length);
                    break;
                }
            }
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return 0;
            in.append(chunk, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return scans.size() / (timer.nsecsElapsed() / 1e9);
}

// Scans per second of `post`, called with each scan's body in turn and a function to
// call when its answer is in: one request at a time.
double chainedRate(const QString& deviceId, const QList<QueuedScan>& scans,
                   const std::function<void(QByteArray, std::function<void()>)>& post) {
    QEventLoop loop;
    qsizetype next = 0;
    std::function<void()> step = [&] {
        if (next == scans.size()) {
            loop.quit();
            return;
        }
        const QueuedScan& s = scans[next++];
        post(QJsonDocument(QJsonObject{{QStringLiteral("device_id"), deviceId},
                                       {QStringLiteral("value"), s.value},
                                       {QStringLiteral("ts"), s.ts}})
                 .toJson(QJsonDocument::Compact),
             step);
    };
    QElapsedTimer timer;
    timer.start();
    step();
    loop.exec();
    return scans.size() / (timer.nsecsElapsed() / 1e9);
}

// Qt's own HTTP client.
double plainRate(QNetworkAccessManager& network, const QString& base, const QString& deviceId,
                 const QList<QueuedScan>& scans) {
    QNetworkRequest request(QUrl(base + QStringLiteral("/api/scan")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    return chainedRate(deviceId, scans, [&](QByteArray body, std::function<void()> next) {
        QNetworkReply* reply = network.post(request, body);
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, next] {
            reply->readAll();
            reply->deleteLater();
            next();
        });
    });
}

// The agent's HTTP client alone.
double clientRate(HttpClient& http, const QString& base, const QString& deviceId,
                  const QList<QueuedScan>& scans) {
    const QUrl url(base + QStringLiteral("/api/scan"));
    return chainedRate(deviceId, scans, [&](QByteArray body, std::function<void()> next) {
        http.send({.url = url,
                   .method = "POST",
                   .body = std::move(body),
                   .done = [next](const HttpClient::Answer&) { next(); }});
    });
}

double queueRate(Settings& settings, HttpClient& http, const QString& folder,
                 const QList<QueuedScan>& scans, qint64* accepted, quint64* writes) {
    const QString path = folder + QStringLiteral("/queue.json");
    QueueFile(path).save(scans);
    Transport transport([&settings] { return settings.serverURL(); }, http);
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
    *writes += queue.store().bytesWritten();
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
    HttpClient http;
    qint64 accepted = 0;
    quint64 writes = 0;
    // Alternate the two so that both see the same machine state; fresh texts each round.
    double plain = 0, queued = 0, raw = 0, client = 0;
    const auto port = static_cast<quint16>(QUrl(base).port());
    for (int round = 0; round < 2; ++round) {
        plain += plainRate(network, base, QStringLiteral("plain-client"),
                           backlog(n, 1000000 * (round + 1)));
        raw += socketRate(port, QStringLiteral("socket-client"), backlog(n, 1000000 * (round + 1)));
        client += clientRate(http, base, QStringLiteral("http-client"),
                             backlog(n, 1000000 * (round + 1)));
        queued += queueRate(settings, http, home.path(), backlog(n, 1000000 * (round + 1)),
                            &accepted, &writes);
    }
    plain /= 2;
    queued /= 2;
    raw /= 2;
    client /= 2;
    std::printf("raw-socket kept-alive client: %.0f scans/s\n", raw);
    std::printf("the agent's HTTP client alone: %.0f scans/s (%.2f of the raw-socket client)\n",
                client, client / raw);
    std::printf("Qt client: %.0f scans/s\nqueue drain: %.0f scans/s (%lld accepted, %.0f bytes "
                "written to the store per scan)\nratio to the Qt client: %.2f\n",
                plain, queued, static_cast<long long>(accepted),
                static_cast<double>(writes) / static_cast<double>(2 * n), queued / plain);
    std::printf("ratio to the raw-socket client: %.2f (target >= 0.95)\n", queued / raw);
    server.kill();
    server.waitForFinished();
    return accepted == 2LL * n ? 0 : 1;
}
