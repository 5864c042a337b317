// The real korvel-agent and korvel-scan-server processes, the agent reading a fake
// device tree and delivering to the server over loopback.
#include "shell/settings.h"
#include "support/child_process.h"
#include "support/fake_input.h"
#include "support/test_main.h"

#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

using namespace korvel::test;

class TestAgentEndToEnd : public QObject {
    Q_OBJECT
  private:
    FakeInputTree tree;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<ChildProcess> server;
    quint16 port = 0;

    void startServer(quint16 onPort) {
        server = std::make_unique<ChildProcess>(
            QStringLiteral(KORVEL_SERVER_BIN),
            QStringList{QStringLiteral("--port"), QString::number(onPort)}, env);
        QTRY_VERIFY(server->out.contains(QLatin1String("listening on")));
        const auto m = QRegularExpression(QStringLiteral(":(\\d+)\\n")).match(server->out);
        port = static_cast<quint16>(m.captured(1).toUInt());
    }
    QStringList scansAtServer(const QString& id) const {
        QStringList values;
        for (const QString& l : server->lines(QStringLiteral("scan ") + id + QLatin1Char(' ')))
            values << l.section(QLatin1Char(' '), 1);
        return values;
    }

  private Q_SLOTS:
    void initTestCase() {
        env.insert(QStringLiteral("KORVEL_INPUT_ROOT"), tree.root());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        tree.add(1, {0x046D, 0xC31C, QStringLiteral("USB Keyboard"), true, true});
        tree.add(2, {});
    }

    void scansTravelFromTheDeviceToTheServerInOrder() {
        startServer(0);
        Settings settings;
        settings.setServerURL(QStringLiteral("http://127.0.0.1:%1/").arg(port));
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        const QString id = settings.deviceId();
        ChildProcess agent(QStringLiteral(KORVEL_AGENT_BIN), {}, env);
        // Registration comes after capture has started.
        QTRY_COMPARE(
            server->lines(QStringLiteral("device ")),
            QStringList{id + QStringLiteral(" is \"") + settings.deviceName() + QLatin1Char('"')});

        tree.send(1, FakeInputTree::typed(QStringLiteral("private"), FakeInputTree::nowMs(), 2));
        tree.send(2, FakeInputTree::typed(QStringLiteral("4006381333931"), FakeInputTree::nowMs(),
                                          2, true));
        QTRY_COMPARE(scansAtServer(id), QStringList{QStringLiteral("4006381333931")});

        // Stopped mid-scan for longer than any pause: the scan still arrives whole.
        qint64 t = FakeInputTree::nowMs();
        tree.send(2, FakeInputTree::typed(QStringLiteral("590"), t, 2, true, false));
        agent.signal(SIGSTOP);
        t = FakeInputTree::nowMs();
        tree.send(2, FakeInputTree::typed(QStringLiteral("1234"), t, 2, true));
        QThread::msleep(300); // the stall under test
        agent.signal(SIGCONT);
        QTRY_COMPARE(scansAtServer(id).last(), QStringLiteral("5901234"));

        // The server goes away: scans wait in the queue file and arrive in order later.
        const quint16 samePort = port;
        server.reset();
        for (const char* code : {"111", "222", "333"}) {
            tree.send(2, FakeInputTree::typed(QString::fromLatin1(code), FakeInputTree::nowMs(), 2,
                                              true));
        }
        const QString queueFile =
            QString::fromUtf8(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Korvel/queue.json");
        const auto waitingInFile = [&] {
            QFile f(queueFile);
            return f.open(QIODevice::ReadOnly) ? f.readAll().count("\"value\"") : -1;
        };
        QTRY_COMPARE(waitingInFile(), 3);
        startServer(samePort);
        tree.send(2, FakeInputTree::typed(QStringLiteral("444"), FakeInputTree::nowMs(), 2, true));
        QTRY_COMPARE(scansAtServer(id),
                     (QStringList{QStringLiteral("111"), QStringLiteral("222"),
                                  QStringLiteral("333"), QStringLiteral("444")}));
        QVERIFY2(agent.err.isEmpty(), qPrintable(agent.err));
        QCOMPARE(agent.process.state(), QProcess::Running);

        // A second agent of the same user leaves the queue alone and says why.
        QTRY_COMPARE(waitingInFile(), 0);
        QFile before(queueFile);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        const QDateTime modified = QFileInfo(queueFile).lastModified();
        ChildProcess second(QStringLiteral(KORVEL_AGENT_BIN), {}, env);
        QVERIFY(second.process.waitForFinished(10000));
        QCOMPARE(second.process.exitCode(), 1);
        QTRY_VERIFY(second.err.contains(QLatin1String("already running")));
        QFile after(queueFile);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
        QCOMPARE(QFileInfo(queueFile).lastModified(), modified);

        // SIGTERM ends the agent normally.
        agent.signal(SIGTERM);
        QVERIFY(agent.process.waitForFinished(10000));
        QCOMPARE(agent.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.process.exitCode(), 0);
    }
};

KORVEL_TEST_MAIN(TestAgentEndToEnd)
#include "tst_agent_e2e.moc"
