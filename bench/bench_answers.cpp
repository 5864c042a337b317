// The agent's memory while the server answers every scan with a huge body: its idle
// resident memory, then the peak while six scans are answered with 200 MB each.
//   bench_answers <korvel-agent> [megabytes per answer, default 200]
#include "support/fake_input.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using korvel::test::FakeInputTree;

namespace {

qint64 statusKb(qint64 pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// Answers each request with 200 and a JSON object of `bodyBytes`, written in chunks
// as the socket takes them so that this process stays small too.
class BigAnswers : public QObject {
  public:
    qint64 bigBytes = 0;
    int bigFrom = 0, bigTo = -1; // scan requests (counted from 1) answered with bigBytes
    int scans = 0;
    qint64 sent = 0; // body bytes handed to the sockets

    BigAnswers() {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                serve(s);
        });
    }
    quint16 port() const { return server_.serverPort(); }

  private:
    void serve(QTcpSocket* socket) {
        auto in = std::make_shared<QByteArray>();
        auto left = std::make_shared<qint64>(0);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const auto pump = [this, socket, left] {
            static const QByteArray chunk(1 << 20, 'x');
            while (*left > 0 && socket->bytesToWrite() < (4 << 20)) {
                const qint64 n = std::min<qint64>(*left, chunk.size());
                socket->write(chunk.constData(), n - (*left == n ? 2 : 0));
                if (*left == n)
                    socket->write("\"}");
                *left -= n;
                sent += n;
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, pump);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, in, left, pump] {
            in->append(socket->readAll());
            const qsizetype end = in->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const qsizetype lengthAt = in->toLower().indexOf("content-length:");
            const qint64 length =
                lengthAt < 0 ? 0
                             : in->mid(lengthAt + 15, in->indexOf('\r', lengthAt) - lengthAt - 15)
                                   .trimmed()
                                   .toLongLong();
            if (in->size() < end + 4 + length)
                return;
            const bool scan = in->startsWith("POST /api/scan");
            scans += scan ? 1 : 0;
            in->remove(0, end + 4 + length);
            const bool big = scan && scans >= bigFrom && scans <= bigTo;
            const qint64 total = big ? bigBytes : 16;
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                          QByteArray::number(total) + "\r\n\r\n{\"message\":\"");
            *left = total - 12;
            pump();
        });
    }
    QTcpServer server_;
};

void waitUntil(const std::function<bool()>& done, int ms, const std::function<void()>& each = {}) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (each)
            each();
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_answers <korvel-agent> [megabytes]\n");
        return 2;
    }
    const qint64 megabytes = argc > 2 ? std::atoll(argv[2]) : 200;
    QTemporaryDir home;
    FakeInputTree tree;
    tree.add(2, {});
    BigAnswers server;
    {
        QSettings settings(home.path() + QStringLiteral("/config/Korvel/Korvel Agent.conf"),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("serverURL"),
                          QStringLiteral("http://127.0.0.1:%1").arg(server.port()));
        settings.setValue(QStringLiteral("scanner"), QStringLiteral("05E0:1200"));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("KORVEL_INPUT_ROOT"), tree.root());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    QProcess agent;
    agent.setProcessEnvironment(env);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start(QString::fromLocal8Bit(argv[1]), {});
    agent.waitForStarted();
    const qint64 pid = agent.processId();

    // Idle: one small scan delivered, then a second to settle.
    tree.send(2, FakeInputTree::typed(QStringLiteral("1000"), FakeInputTree::nowMs()));
    waitUntil([&] { return server.scans == 1; }, 20000);
    waitUntil([] { return false; }, 1000);
    const qint64 idleKb = statusKb(pid, "VmRSS:");

    server.bigBytes = megabytes << 20;
    server.bigFrom = 2;
    server.bigTo = 7;
    qint64 peakKb = idleKb;
    const auto sample = [&] { peakKb = std::max(peakKb, statusKb(pid, "VmRSS:")); };
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 7; ++i) {
        tree.send(2,
                  FakeInputTree::typed(QStringLiteral("%1").arg(2000 + i), FakeInputTree::nowMs()));
    }
    // The last request comes only after six huge answers were read to their end.
    waitUntil([&] { return server.scans >= 8; }, 600000, sample);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("idle resident memory: %.1f MB\n", idleKb / 1024.0);
    std::printf("peak resident memory while answered with %lld MB bodies: %.1f MB (+%.1f MB), "
                "VmHWM %.1f MB, %.1f s for %.0f MB of answers\n",
                static_cast<long long>(megabytes), peakKb / 1024.0, (peakKb - idleKb) / 1024.0,
                statusKb(pid, "VmHWM:") / 1024.0, seconds, server.sent / 1048576.0);
    agent.terminate();
    agent.waitForFinished(5000);
    return server.scans >= 8 ? 0 : 1;
}
