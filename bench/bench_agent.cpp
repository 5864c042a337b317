// The running agent: start-up time to its first delivery attempt, resident memory
// after start-up, and CPU and wake-ups while idle, without any display.
//   bench_agent <korvel-agent> <korvel-scan-server> [idle seconds, default 60]
#include "core/delivery/queue_file.h"
#include "support/fake_input.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using korvel::test::FakeInputTree;

namespace {

QByteArray readProc(qint64 pid, const QString& file) {
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(file));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 statusField(const QByteArray& status, const char* name) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// user + system clock ticks of the whole process
qint64 cpuTicks(qint64 pid) {
    const QByteArray stat = readProc(pid, QStringLiteral("stat"));
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return f.value(11).toLongLong() + f.value(12).toLongLong();
}

// context switches of every thread: each is the thread waking up or being woken
qint64 switches(qint64 pid) {
    qint64 n = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray s =
            readProc(pid, QStringLiteral("task/") + task + QStringLiteral("/status"));
        n += statusField(s, "voluntary_ctxt_switches:") +
             statusField(s, "nonvoluntary_ctxt_switches:");
    }
    return n;
}

// Keeps this process's event loop running: the fake panel must answer the agent.
bool waitFor(QProcess& p, QByteArray& out, const QByteArray& needle, int ms) {
    QElapsedTimer t;
    t.start();
    while (!out.contains(needle) && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        p.waitForReadyRead(2);
        out += p.readAllStandardOutput();
    }
    return out.contains(needle);
}

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: bench_agent <korvel-agent> <korvel-scan-server> [idle seconds]\n");
        return 2;
    }
    const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 60;
    QTemporaryDir home;
    FakeInputTree tree;
    tree.add(1, {0x046D, 0xC31C, QStringLiteral("USB Keyboard"), true, true});
    tree.add(2, {});

    QProcess server;
    server.start(QString::fromLocal8Bit(argv[2]), {QStringLiteral("--port"), QStringLiteral("0")});
    QByteArray serverOut;
    if (!waitFor(server, serverOut, "listening on", 10000))
        return 1;
    const QString url = QRegularExpression(QStringLiteral("(http://\\S+)"))
                            .match(QString::fromUtf8(serverOut))
                            .captured(1);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("KORVEL_INPUT_ROOT"), tree.root());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    {
        QSettings settings(home.path() + QStringLiteral("/config/Korvel/Korvel Agent.conf"),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("serverURL"), url);
        settings.setValue(QStringLiteral("scanner"), QStringLiteral("05E0:1200"));
        settings.setValue(QStringLiteral("scannerName"), QStringLiteral("Bench"));
    }

    // Start-up to the first delivery attempt: a scan left over from "a previous run"
    // reaches the server. Median of five starts.
    std::vector<double> startMs;
    for (int run = 0; run < 5; ++run) {
        QDir().mkpath(home.path() + QStringLiteral("/data/Korvel"));
        QueueFile(home.path() + QStringLiteral("/data/Korvel/queue.json"))
            .save({{QStringLiteral("startup-%1").arg(run), 1000 + run}});
        QProcess agent;
        agent.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        agent.start(QString::fromLocal8Bit(argv[1]), {});
        const QByteArray needle = QStringLiteral(" startup-%1").arg(run).toUtf8();
        const bool arrived = waitFor(server, serverOut, needle, 20000);
        startMs.push_back(timer.nsecsElapsed() / 1e6);
        agent.terminate();
        agent.waitForFinished(5000);
        if (!arrived) {
            std::fprintf(stderr, "the left-over scan never arrived\n");
            return 1;
        }
    }
    std::sort(startMs.begin(), startMs.end());

    QProcess agent;
    agent.setProcessEnvironment(env);
    agent.start(QString::fromLocal8Bit(argv[1]), {});
    tree.send(2, FakeInputTree::typed(QStringLiteral("4006381333931"), FakeInputTree::nowMs(), true,
                                      true));
    if (!waitFor(server, serverOut, " 4006381333931", 20000))
        return 1;
    const qint64 pid = agent.processId();
    const qint64 rssKb = statusField(readProc(pid, QStringLiteral("status")), "VmRSS:");
    idle(2000); // let start-up settle before measuring idleness
    const qint64 ticks0 = cpuTicks(pid);
    const qint64 switches0 = switches(pid);
    idle(idleSeconds * 1000);
    const qint64 ticks1 = cpuTicks(pid);
    const qint64 switches1 = switches(pid);
    const double cpuPercent =
        100.0 * (ticks1 - ticks0) / double(sysconf(_SC_CLK_TCK)) / idleSeconds;

    std::printf("start-up to first delivery: median %.1f ms (min %.1f, max %.1f, 5 starts)\n",
                startMs[2], startMs.front(), startMs.back());
    std::printf("resident memory after start-up: %.1f MB\n", rssKb / 1024.0);
    std::printf("idle over %d s: CPU %.3f%% of a core (%lld ticks of %ld/s), %.2f wake-ups/s (%lld "
                "context switches)\n",
                idleSeconds, cpuPercent, static_cast<long long>(ticks1 - ticks0),
                sysconf(_SC_CLK_TCK), double(switches1 - switches0) / idleSeconds,
                static_cast<long long>(switches1 - switches0));
    agent.terminate();
    agent.waitForFinished(5000);
    server.kill();
    server.waitForFinished();
    return 0;
}
