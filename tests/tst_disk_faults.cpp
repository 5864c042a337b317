// The agent's queue when the disk misbehaves: a small tmpfs that fills up, a folder
// bind mounted read-only, a folder removed under the running agent. The server is
// unreachable throughout, so every scan must stay in the queue and reach the file.
#include "shell/agent.h"
#include "shell/settings.h"
#include "support/recorders.h"
#include "support/test_main.h"

#include <QDir>
#include <QFile>

using namespace korvel::test;
using namespace std::chrono_literals;

class TestDiskFaults : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<QTemporaryDir> dir;
    QString disk; // a mount point inside dir
    QString folder;
    Settings settings;
    Journal journal;
    RecordingNotifier notifier{journal};
    RecordingSounds sounds{journal};
    ScriptedKeyboard keyboard;

    std::unique_ptr<Agent> startAgent() {
        auto agent = std::make_unique<Agent>(settings, Agent::Ports{keyboard, notifier, sounds},
                                             folder, Agent::Intervals{50ms, 20ms, 60000ms, 1000ms});
        agent->start();
        return agent;
    }
    static void scan(Agent& agent, const QString& text) {
        agent.capture().onScan(QStringLiteral("05E0:1200"), QStringLiteral("Scanner"), text);
    }
    QStringList inFile() const {
        QStringList values;
        for (const QueuedScan& s : QueueFile(folder + QStringLiteral("/queue.json")).load())
            values << s.value;
        return values;
    }

  private Q_SLOTS:
    void init() {
        KORVEL_REQUIRE_MOUNTS();
        dir = std::make_unique<QTemporaryDir>();
        disk = dir->filePath(QStringLiteral("disk"));
        folder = disk + QStringLiteral("/Korvel");
        QVERIFY(QDir().mkpath(disk));
        settings.store().clear();
        settings.setServerURL(QString()); // nothing is ever delivered
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Scanner"));
    }
    void cleanup() {
        if (!disk.isEmpty())
            unmount(disk);
    }

    void aFullDiskKeepsScansInMemoryAndWritesThemWhenThereIsRoomAgain() {
        QVERIFY(mountTmpfs(disk, 64 * 1024).isEmpty());
        auto agent = startAgent();
        scan(*agent, QStringLiteral("4006381333931"));
        QCOMPARE(inFile(), QStringList{QStringLiteral("4006381333931")});
        const QString filler = fillDisk(disk);
        for (int i = 0; i < 300; ++i) // more than the disk's last free bytes could take
            scan(*agent, QStringLiteral("59012341234%1").arg(i, 3, 10, QLatin1Char('0')));
        QCOMPARE(agent->queue()->items().size(), 301);
        QCOMPARE(inFile(), QStringList{QStringLiteral("4006381333931")}); // as it was
        QVERIFY2(agent->menuTexts().queueLine.contains(
                     QLatin1String("Not saved to disk (cannot write: No space left on device)")),
                 qPrintable(agent->menuTexts().queueLine));
        QFile::remove(filler);
        // The retry timer writes what only memory held, without a new scan.
        QTRY_COMPARE(inFile().size(), 301);
        QVERIFY(!agent->menuTexts().queueLine.contains(QLatin1String("Not saved")));
    }

    void aReadOnlyFolderAtStartStillCapturesAndAQuitWritesWhatWaits() {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QueueFile(folder + QStringLiteral("/queue.json"))
                    .save({{QStringLiteral("from yesterday"), 1}}));
        QVERIFY(setReadOnly(folder, true).isEmpty());
        auto agent = startAgent();
        QCOMPARE(agent->queue()->items().size(), 1); // what was there is read
        scan(*agent, QStringLiteral("111"));
        scan(*agent, QStringLiteral("222"));
        QCOMPARE(agent->queue()->items().size(), 3);
        QVERIFY(agent->menuTexts().queueLine.contains(QLatin1String("Read-only file system")));
        agent->queue()->saveIfBehind(); // still read-only: nothing to do but wait
        QCOMPARE(inFile(), QStringList{QStringLiteral("from yesterday")});
        // Writable again, and the agent quits before its retry timer fires.
        QVERIFY(setReadOnly(folder, false).isEmpty());
        QVERIFY(unmount(folder).isEmpty());
        agent.reset();
        QCOMPARE(inFile(), (QStringList{QStringLiteral("from yesterday"), QStringLiteral("111"),
                                        QStringLiteral("222")}));
    }

    void aRemovedFolderIsMadeAgainPrivateAtTheNextSave() {
        auto agent = startAgent();
        scan(*agent, QStringLiteral("111"));
        QVERIFY(QDir(folder).removeRecursively());
        scan(*agent, QStringLiteral("222"));
        QCOMPARE(inFile(), (QStringList{QStringLiteral("111"), QStringLiteral("222")}));
        QCOMPARE(modeOf(folder), 0700);
        QCOMPARE(modeOf(folder + QStringLiteral("/queue.json")), 0600);
    }
};

KORVEL_TEST_MAIN(TestDiskFaults)
#include "tst_disk_faults.moc"
