// The real agent capturing from a fake device tree of FIFO event nodes.
#include "platform/linux/evdev_keyboard.h"
#include "shell/agent.h"
#include "shell/settings.h"
#include "support/fake_input.h"
#include "support/log_capture.h"
#include "support/recorders.h"
#include "support/test_main.h"

#include <QDir>
#include <QThread>

#include <set>
#include <sys/resource.h>
#include <thread>

using namespace korvel::test;

namespace {

std::set<int> openDescriptors() {
    std::set<int> fds;
    for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files))
        fds.insert(name.toInt());
    return fds;
}

} // namespace

class TestEvdevCapture : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<FakeInputTree> tree;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<EvdevKeyboard> keyboard;
    Journal journal;
    std::unique_ptr<RecordingNotifier> notifier;
    std::unique_ptr<RecordingSounds> sounds;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<Agent> agent;

    void startAgent() {
        keyboard = std::make_unique<EvdevKeyboard>(tree->root());
        agent = std::make_unique<Agent>(*settings, Agent::Ports{*keyboard, *notifier, *sounds},
                                        data->path());
        agent->start();
    }
    QStringList queued() const {
        QStringList v;
        for (const auto& s : agent->queue()->items())
            v << s.value;
        return v;
    }
    static FakeInputTree::Device scanner() { return {}; }
    static FakeInputTree::Device otherKeyboard() {
        return {0x046D, 0xC31C, QStringLiteral("USB Keyboard"), true, true};
    }

  private Q_SLOTS:
    void init() {
        tree = std::make_unique<FakeInputTree>();
        settings = std::make_unique<Settings>();
        settings->store().clear();
        settings->setServerURL(QString()); // deliveries fail at once: scans stay queued
        journal.entries.clear();
        notifier = std::make_unique<RecordingNotifier>(journal);
        sounds = std::make_unique<RecordingSounds>(journal);
        data = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        agent.reset();
        keyboard.reset();
    }

    void keyNodesAreFoundByTheKeyboardRuleAndNamedFromSysfs() {
        tree->add(3, scanner());
        tree->add(4, {0x1111, 0x2222, QStringLiteral("Mouse"), false, true});
        startAgent();
        QVERIFY(agent->capture().captureOpen());
        QCOMPARE(keyboard->openDeviceCount(), 1);
        agent->capture().toggleDetect();
        tree->send(3, FakeInputTree::typed(QStringLiteral("4006381"), FakeInputTree::nowMs(), 2));
        QTRY_COMPARE(settings->scanner(), QStringLiteral("05E0:1200"));
        QCOMPARE(settings->scannerName(), QStringLiteral("Test Scanner"));
        QCOMPARE(journal.notifications().last(),
                 QStringLiteral("notify:Scanner selected|Test Scanner (05E0:1200)"));
    }

    void theChosenScannerIsCapturedAndOtherKeyboardsNeverBuffered() {
        settings->setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        tree->add(1, otherKeyboard());
        tree->add(2, scanner());
        startAgent();
        QCOMPARE(keyboard->openDeviceCount(), 2);
        const qint64 t = FakeInputTree::nowMs();
        tree->send(1, FakeInputTree::typed(QStringLiteral("password"), t, 2));
        tree->send(2, FakeInputTree::typed(QStringLiteral("4006381333931"), t, 2));
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("4006381333931")});
        QCOMPARE(agent->capture().buffers().size(), 1u);
        QVERIFY(agent->capture().buffers().count(QStringLiteral("05E0:1200")));
        QVERIFY(!agent->capture().buffers().count(QStringLiteral("046D:C31C")));
    }

    void aScanWithoutEnterEndsAfterItsPauseAndTheTickTimerStops() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(2, scanner());
        startAgent();
        QVERIFY(!agent->tickArmed()); // idle: nothing to check
        tree->send(2, FakeInputTree::typed(QStringLiteral("12345"), FakeInputTree::nowMs(), 2,
                                           false, false));
        QTRY_VERIFY(agent->tickArmed());
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("12345")});
        QTRY_VERIFY(!agent->tickArmed());
    }

    void devicesComeAndGoWhileRunning() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(1, otherKeyboard());
        startAgent();
        tree->add(7, scanner()); // plugged in after start
        QTRY_COMPARE(keyboard->openDeviceCount(), 2);
        qint64 t = FakeInputTree::nowMs();
        tree->send(7, FakeInputTree::typed(QStringLiteral("111"), t, 2));
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("111")});
        // Unplugged mid-scan: the half scan is never delivered, the other device stays.
        t = FakeInputTree::nowMs();
        tree->send(7, FakeInputTree::typed(QStringLiteral("2222"), t, 2, false, false));
        tree->remove(7);
        QTRY_COMPARE(keyboard->openDeviceCount(), 1);
        tree->add(8, scanner()); // plugged in again, new node
        QTRY_COMPARE(keyboard->openDeviceCount(), 2);
        tree->send(8, FakeInputTree::typed(QStringLiteral("333"), FakeInputTree::nowMs() + 150, 2));
        QTRY_COMPARE(queued(), (QStringList{QStringLiteral("111"), QStringLiteral("333")}));
    }

    // Real hubs and docks make nodes come and go; a node that vanishes is read to
    // its end and closed exactly once, while the scanner keeps scanning.
    void nodesComingAndGoingByTheThousandLoseNoScan() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(1, scanner());
        startAgent();
        QStringList expected;
        const int perRound = 25;
        for (int round = 0; round < 2000 / perRound; ++round) {
            for (int i = 0; i < perRound; ++i)
                tree->add(100 + i, otherKeyboard());
            QTRY_COMPARE(keyboard->openDeviceCount(), 1 + perRound);
            for (int i = 0; i < perRound; ++i)
                tree->remove(100 + i);
            const QString code = QString::number(100000 + round);
            tree->send(1, FakeInputTree::typed(code, FakeInputTree::nowMs(), 1));
            expected.append(code);
            QTRY_COMPARE(keyboard->openDeviceCount(), 1);
        }
        QTRY_COMPARE(queued(), expected);
    }

    // Out of descriptors (the per-user inotify limit and a full descriptor table
    // look alike): every retry fails the same way, so none may leave one behind,
    // and the operator learns of it once, not every five seconds.
    void captureThatCannotStartSaysSoOnceAndLeaksNothing() {
        settings->setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        tree->add(1, scanner());
        keyboard = std::make_unique<EvdevKeyboard>(tree->root());
        agent = std::make_unique<Agent>(*settings, Agent::Ports{*keyboard, *notifier, *sounds},
                                        data->path());
        rlimit normal{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &normal), 0);
        // Room for exactly two more descriptors: capture needs four.
        std::set<int> before = openDescriptors();
        rlimit tight = normal;
        int room = 0;
        for (tight.rlim_cur = 0; room < 2; ++tight.rlim_cur)
            room += before.count(static_cast<int>(tight.rlim_cur)) ? 0 : 1;
        LogCapture log("korvel.input");
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        agent->start();
        for (int retry = 0; retry < 10; ++retry)
            agent->capture().startCapture(); // what the retry timer does
        before.erase(*before.rbegin());      // the listing's own descriptor
        std::set<int> after = openDescriptors();
        after.erase(*after.rbegin());
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &normal), 0);
        QCOMPARE(after, before);
        QVERIFY(!agent->capture().captureOpen());
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.first().startsWith(QLatin1String("Can't read the keyboards: ")),
                 qPrintable(log.lines.first()));
        QCOMPARE(agent->menuTexts().scannerLine, log.lines.first());
        agent->capture().startCapture(); // descriptors to spare again
        QVERIFY(agent->capture().captureOpen());
        QCOMPARE(agent->menuTexts().scannerLine,
                 QStringLiteral("Scanner: Test Scanner (05E0:1200) \u00B7 ") +
                     settings->deviceName());
    }

    void aKeyboardThatCannotBeWatchedIsToldAndTheOthersStillWork() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        FakeInputTree::Device plain = otherKeyboard();
        plain.fifo = false; // a plain file: epoll refuses it
        tree->add(4, plain);
        tree->add(2, scanner());
        LogCapture log("korvel.input");
        startAgent();
        QCOMPARE(keyboard->openDeviceCount(), 1);
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(keyboard->problem().startsWith(QLatin1String("Can't watch keyboard event4")),
                 qPrintable(keyboard->problem()));
        QCOMPARE(agent->menuTexts().scannerLine, keyboard->problem());
        tree->send(2, FakeInputTree::typed(QStringLiteral("42"), FakeInputTree::nowMs(), 2));
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("42")});
        tree->remove(4); // gone: nothing left to tell
        QTRY_VERIFY(keyboard->problem().isEmpty());
    }

    void aNodeBecomesReadableLater() {
        tree->add(5, {0x05E0, 0x1200, QStringLiteral("Test Scanner"), true, false});
        keyboard = std::make_unique<EvdevKeyboard>(tree->root());
        QFile probe(tree->root() + QStringLiteral("/dev/input/event5"));
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("this process can read a node without read permission");
        QVERIFY(!keyboard->accessGranted());
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        agent = std::make_unique<Agent>(*settings, Agent::Ports{*keyboard, *notifier, *sounds},
                                        data->path());
        agent->start();
        QVERIFY(!agent->capture().captureOpen()); // nothing opened without access
        tree->add(6, otherKeyboard());            // access comes with a readable keyboard
        QVERIFY(keyboard->accessGranted());
        agent->capture().startCapture(); // what the retry timer does
        QVERIFY(agent->capture().captureOpen());
        QCOMPARE(keyboard->openDeviceCount(), 1);
        tree->setReadable(5); // permissions arrive after the node
        QTRY_COMPARE(keyboard->openDeviceCount(), 2);
        tree->send(5, FakeInputTree::typed(QStringLiteral("55"), FakeInputTree::nowMs(), 2));
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("55")});
    }

    void scanCodesWinOverKeyCodesAndShiftSpansFrames() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(2, scanner());
        startAgent();
        const qint64 t = FakeInputTree::nowMs();
        std::vector<RawEvent> e;
        auto add = [&](const std::vector<RawEvent>& more) {
            e.insert(e.end(), more.begin(), more.end());
        };
        add({{EV_KEY, KEY_LEFTSHIFT, 1, t}, {EV_SYN, SYN_REPORT, 0, t}}); // a frame of its own
        add(FakeInputTree::tap(KEY_A, t + 2));                            // keycode only: 'A'
        add(FakeInputTree::tap(KEY_A, t + 4, 5));                         // scan code says b: 'B'
        add({{EV_KEY, KEY_LEFTSHIFT, 0, t + 5}, {EV_SYN, SYN_REPORT, 0, t + 5}});
        add(FakeInputTree::tap(KEY_1, t + 6, 30));
        add({{EV_KEY, KEY_2, 1, t + 8},
             {EV_KEY, KEY_2, 2, t + 8},
             {EV_KEY, KEY_2, 2, t + 9},
             {EV_SYN, SYN_REPORT, 0, t + 9}}); // autorepeat adds nothing
        add(FakeInputTree::tap(KEY_KPENTER, t + 10));
        tree->send(2, e);
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("AB12")});
    }

    void twoScannersOfOneModelFeedOneBuffer() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(2, scanner());
        tree->add(3, scanner());
        startAgent();
        const qint64 t = FakeInputTree::nowMs();
        tree->send(2, FakeInputTree::typed(QStringLiteral("12"), t, 2, false, false));
        QTRY_VERIFY(agent->capture().assembling());
        tree->send(3, FakeInputTree::typed(QStringLiteral("34"), t + 4, 2, false, true));
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("1234")});
        QCOMPARE(agent->capture().buffers().size(), 1u);
    }

    void droppedEventsNeverYieldAGarbledScan() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(2, scanner());
        startAgent();
        qint64 t = FakeInputTree::nowMs();
        auto e = FakeInputTree::typed(QStringLiteral("400"), t, 2, true, false);
        e.push_back({EV_SYN, SYN_DROPPED, 0, t + 6});
        e.push_back({EV_KEY, KEY_9, 1, t + 6}); // part of the broken frame
        e.push_back({EV_SYN, SYN_REPORT, 0, t + 6});
        const auto tail = FakeInputTree::typed(QStringLiteral("6381"), t + 8, 2, true);
        e.insert(e.end(), tail.begin(), tail.end());
        const auto next = FakeInputTree::typed(QStringLiteral("777"), t + 300, 2, true);
        e.insert(e.end(), next.begin(), next.end());
        tree->send(2, e);
        QTRY_COMPARE(queued(), QStringList{QStringLiteral("777")});
    }

    // Keystrokes 2 ms apart by their own times stay one scan even when the main
    // thread only gets to them long after they were typed.
    void aStalledMainThreadNeitherSplitsNorDropsAScan() {
        settings->setScanner(QStringLiteral("05E0:1200"), QString());
        tree->add(2, scanner());
        startAgent();
        const QString code = QStringLiteral("40063813339310123456789012345678901234567890");
        // Start a scan so the pause check is armed, then stall the main thread while
        // the rest is typed in real time.
        tree->send(2, FakeInputTree::typed(code.left(2), FakeInputTree::nowMs(), 2, true, false));
        QTRY_VERIFY(agent->tickArmed());
        std::thread typist([&] {
            qint64 t = FakeInputTree::nowMs();
            for (const QChar c : code.mid(2)) {
                tree->send(2, FakeInputTree::typed(QString(c), t, 0, true, false));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                t = FakeInputTree::nowMs();
            }
            tree->send(2, FakeInputTree::typed(QString(), t, 0, true, true));
        });
        QThread::msleep(300); // the stall under test, longer than every pause limit
        typist.join();
        // Whichever comes first after the stall, the pause check or the reader's
        // wake-up, the check must see the keystrokes already typed.
        agent->capture().tick();
        QTRY_COMPARE(queued(), QStringList{code});
    }
};

KORVEL_TEST_MAIN(TestEvdevCapture)
#include "tst_evdev_capture.moc"
