// Enter to POST: from the moment a scan with its Enter is written to the scanner's
// event node to the moment its POST has reached the server, against the floor of
// the same run: an fsync'd atomic replace of a one-scan queue file plus one POST on
// a kept-alive connection. The server is this program, timing arrivals on a thread
// of its own; the input devices are FIFOs (21 keyboards, as on a busy station).
// Then the same for a scanner in HID POS mode: from its input report written to its
// hidraw node to the POST, by an agent started again with that scanner chosen.
//   bench_latency <korvel-agent> [samples, default 200]
#include "core/delivery/queue_file.h"
#include "support/fake_input.h"
#include "support/hid_descriptors.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using korvel::test::FakeInputTree;
using Clock = std::chrono::steady_clock;

namespace {

// Answers every request with 200 on kept-alive connections and notes when each scan
// request had fully arrived.
class Server {
  public:
    Server() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        std::thread([this] {
            for (;;) {
                const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection < 0)
                    return;
                std::thread([this, connection] { serve(connection); }).detach();
            }
        }).detach();
    }
    quint16 port() const { return port_; }

    // When the scan request whose body holds `value` arrived.
    Clock::time_point arrivalOf(const std::string& value) {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [&] { return arrivals_.count(value) > 0; });
        return arrivals_[value];
    }

  private:
    void serve(int connection) {
        const int one = 1;
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string in;
        char chunk[65536];
        for (;;) {
            const size_t headerEnd = in.find("\r\n\r\n");
            size_t length = 0;
            if (headerEnd != std::string::npos) {
                const size_t at = in.find("ontent-Length: ");
                if (at != std::string::npos && at < headerEnd)
                    length = std::stoul(in.substr(at + 15));
            }
            if (headerEnd == std::string::npos || in.size() < headerEnd + 4 + length) {
                const ssize_t n = ::read(connection, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                in.append(chunk, static_cast<size_t>(n));
                continue;
            }
            const auto now = Clock::now();
            const std::string body = in.substr(headerEnd + 4, length);
            const bool scan = in.compare(0, 14, "POST /api/scan") == 0;
            in.erase(0, headerEnd + 4 + length);
            if (scan) {
                const size_t v = body.find("\"value\":\"");
                const std::string value = body.substr(v + 9, body.find('"', v + 9) - v - 9);
                std::lock_guard lock(mutex_);
                arrivals_[value] = now;
                arrived_.notify_all();
            }
            static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                         "Content-Length: 2\r\n\r\n{}";
            [[maybe_unused]] const auto w = ::write(connection, answer, sizeof answer - 1);
        }
        ::close(connection);
    }

    int listener_ = -1;
    quint16 port_ = 0;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::map<std::string, Clock::time_point> arrivals_;
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double at(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_latency <korvel-agent> [samples]\n");
        return 2;
    }
    const int samples = argc > 2 ? std::atoi(argv[2]) : 200;
    QTemporaryDir home;
    FakeInputTree tree;
    for (int n = 1; n <= 20; ++n)
        tree.add(n, {0x046D, static_cast<quint32>(0xC300 + n), QStringLiteral("USB Keyboard")});
    tree.add(21, {});
    Server server;
    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
    {
        QSettings settings(home.path() + QStringLiteral("/config/Korvel/Korvel Agent.conf"),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("serverURL"), url);
        settings.setValue(QStringLiteral("scanner"), QStringLiteral("05E0:1200"));
        settings.setValue(QStringLiteral("scannerName"), QStringLiteral("Bench"));
    }
    tree.addHidraw(0, korvel::test::honeywellStyleDescriptor());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path()); // its own one-agent lock
    env.insert(QStringLiteral("KORVEL_INPUT_ROOT"), tree.root());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess agent;
    agent.setProcessEnvironment(env);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(QString::fromLocal8Bit(argv[1]), {});
    tree.send(21,
              FakeInputTree::typed(QStringLiteral("warmup"), FakeInputTree::nowMs(), true, true));
    server.arrivalOf("warmup");

    // The floor's own queue file beside the agent's, and its own kept-alive connection.
    const QString folder = home.path() + QStringLiteral("/floor");
    QDir().mkpath(folder);
    const QueueFile floorFile(folder + QStringLiteral("/queue.json"));
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server.port());
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    std::vector<double> floor, scan;
    for (int i = 0; i < samples; ++i) {
        // A GS1-128 label as a scanner with AIM identifiers sends it: read and checked
        // on its way, as every such scan is.
        const QString value =
            QStringLiteral("]C1010950600013435221%1").arg(i, 5, 10, QLatin1Char('0'));
        const std::string floorValue = "f" + value.toStdString();
        auto start = Clock::now();
        floorFile.save({{QString::fromStdString(floorValue), 1700000000000 + i}});
        const std::string body =
            "{\"device_id\":\"bench\",\"ts\":1700000000000,\"value\":\"" + floorValue + "\"}";
        const std::string request = "POST /api/scan HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                    "Content-Type: application/json\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body;
        [[maybe_unused]] const auto w = ::write(client, request.data(), request.size());
        floor.push_back(ms(server.arrivalOf(floorValue) - start));
        char answer[256];
        [[maybe_unused]] const auto r = ::read(client, answer, sizeof answer);

        const auto events = FakeInputTree::typed(value, FakeInputTree::nowMs(), true, true);
        start = Clock::now();
        tree.send(21, events);
        scan.push_back(ms(server.arrivalOf(value.toStdString()) - start));
        QThread::msleep(30); // the answer handled, the shortened list written
    }
    agent.terminate();
    agent.waitForFinished(5000);

    {
        QSettings settings(home.path() + QStringLiteral("/config/Korvel/Korvel Agent.conf"),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("scanner"), QStringLiteral("0C2E:0B87"));
    }
    agent.start(QString::fromLocal8Bit(argv[1]), {});
    tree.write(QStringLiteral("hidraw0"), korvel::test::honeywellReport("hidwarmup", "]E0", false));
    server.arrivalOf("hidwarmup");
    std::vector<double> report;
    for (int i = 0; i < samples; ++i) {
        const QByteArray value = "40063814" + QByteArray::number(i).rightJustified(5, '0');
        const QByteArray bytes = korvel::test::honeywellReport(value, "]E0", false);
        const auto start = Clock::now();
        tree.write(QStringLiteral("hidraw0"), bytes);
        report.push_back(ms(server.arrivalOf(value.toStdString()) - start));
        QThread::msleep(30);
    }
    std::printf("Enter to POST over %d scans: median %.3f ms, p99 %.3f ms\n", samples,
                at(scan, 0.5), at(scan, 0.99));
    std::printf("HID POS report to POST over %d scans: median %.3f ms, p99 %.3f ms\n", samples,
                at(report, 0.5), at(report, 0.99));
    std::printf("floor (fsync'd atomic replace + kept-alive POST): median %.3f ms, p99 %.3f ms\n",
                at(floor, 0.5), at(floor, 0.99));
    std::printf("ratio: median %.2f, p99 %.2f\n", at(scan, 0.5) / at(floor, 0.5),
                at(scan, 0.99) / at(floor, 0.99));
    std::printf("HID POS ratio: median %.2f, p99 %.2f\n", at(report, 0.5) / at(floor, 0.5),
                at(report, 0.99) / at(floor, 0.99));
    agent.terminate();
    agent.waitForFinished(5000);
    return 0;
}
