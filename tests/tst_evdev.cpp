// The real agent reading a fake device tree of FIFO event nodes through the evdev
// adapter: which nodes are keyboards, nodes that come and go, descriptors that run
// out, a main thread that stalls.
#include "core/agent.h"
#include "core/settings.h"
#include "platform/linux/evdev_keyboard.h"
#include "support/fake_input.h"
#include "support/fakes.h"
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

const FakeInputTree::Device keyboard{0x046D, 0xC31C, QStringLiteral("USB Keyboard")};

} // namespace

class TestEvdev : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeInputTree> tree;
    std::unique_ptr<Settings> settings;
    Journal journal;
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<EvdevKeyboard> input;
    std::unique_ptr<Agent> agent;

    void startAgent(bool start = true) {
        input = std::make_unique<EvdevKeyboard>(tree->root());
        agent = std::make_unique<Agent>(*settings, Agent::Ports{*input, journal, journal},
                                        data->path());
        if (start)
            agent->start();
    }
    QStringList queued() const {
        QStringList v;
        for (const auto& s : agent->queue().items())
            v << s.value;
        return v;
    }
    void scan(int node, const QString& text) {
        tree->send(node, FakeInputTree::typed(text, FakeInputTree::nowMs()));
    }

  private Q_SLOTS:
    void init() {
        tree = std::make_unique<FakeInputTree>();
        settings = std::make_unique<Settings>();
        settings->store().clear();
        settings->setServerURL(QString()); // deliveries fail at once: scans stay queued
        settings->setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        journal.entries.clear();
        data = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        agent.reset();
        input.reset();
    }

    void keyboardsAreFoundNamedAndOnlyTheScannerIsKept() {
        tree->add(1, keyboard);
        tree->add(2, {0x1111, 0x2222, QStringLiteral("Mouse"), false});
        tree->add(3, {});
        settings->setScanner(QString(), QString());
        startAgent();
        agent->toggleDetect();
        scan(2, QStringLiteral("9999")); // no keyboard: never read
        scan(3, QStringLiteral("4006"));
        QTRY_COMPARE(journal.entries.last(),
                     QStringLiteral("notify:Scanner selected|Test Scanner (05E0:1200)"));
        scan(1, QStringLiteral("password"));
        scan(3, QStringLiteral("4006381333931"));
        QTRY_COMPARE(queued(), QStringList{"4006381333931"});
    }

    // Hubs and docks make nodes come and go; a node that vanishes is read to its end
    // and closed exactly once (the sanitizer run catches a second look at it).
    void nodesComingAndGoingByTheThousandLoseNoScan() {
        tree->add(1, {});
        startAgent();
        QStringList expected;
        for (int round = 0; round < 80; ++round) {
            for (int i = 0; i < 25; ++i)
                tree->add(100 + i, keyboard);
            scan(1, QString::number(100000 + round));
            expected << QString::number(100000 + round);
            QTRY_COMPARE(queued(), expected); // read while the new nodes were opened
            for (int i = 0; i < 25; ++i)
                tree->remove(100 + i);
        }
        tree->send(1, FakeInputTree::typed(QStringLiteral("2222"), FakeInputTree::nowMs(), 2, false,
                                           false));
        tree->remove(1); // unplugged mid-scan: the half scan is dropped
        tree->add(1, {});
        tree->send(1, FakeInputTree::typed(QStringLiteral("333"), FakeInputTree::nowMs() + 150));
        QTRY_COMPARE(queued().last(), QStringLiteral("333"));
    }

    // Out of descriptors: every retry fails the same way, leaves none behind, and
    // the operator learns of it once, not every five seconds.
    void captureThatCannotStartSaysSoOnceAndLeaksNothing() {
        tree->add(1, {});
        startAgent(false);
        rlimit normal{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &normal), 0);
        std::set<int> before = openDescriptors();
        rlimit tight = normal; // room for two more descriptors; capture needs four
        tight.rlim_cur = 0;
        for (int room = 0; room < 2; ++tight.rlim_cur)
            room += before.count(static_cast<int>(tight.rlim_cur)) ? 0 : 1;
        LogCapture log("korvel.input");
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        agent->start();
        for (int retry = 0; retry < 10; ++retry)
            agent->capture().startCapture(); // what the retry timer does
        std::set<int> after = openDescriptors();
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &normal), 0);
        before.erase(*before.rbegin()); // the listing's own
        after.erase(*after.rbegin());
        QCOMPARE(after, before);
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.first().startsWith(QLatin1String("Can't read the keyboards: ")));
        QCOMPARE(agent->menuTexts().scannerLine, log.lines.first());
        agent->capture().startCapture(); // descriptors to spare again
        QVERIFY(agent->menuTexts().scannerLine.startsWith(QLatin1String("Scanner: Test Scanner")));
        scan(1, QStringLiteral("42"));
        QTRY_COMPARE(queued(), QStringList{"42"});
    }

    void nodesThatCannotBeWatchedOrReadYetAreToldAndTakenLater() {
        FakeInputTree::Device plain = keyboard;
        plain.fifo = false; // epoll refuses a plain file
        tree->add(4, plain);
        tree->add(5, {0x05E0, 0x1200, QStringLiteral("Test Scanner"), true, false});
        if (QFile(tree->root() + QStringLiteral("/dev/input/event5")).open(QIODevice::ReadOnly))
            QSKIP("this process reads nodes without read permission");
        startAgent();
        QVERIFY(!agent->menuTexts().permissionVisible); // a readable keyboard is access
        QVERIFY2(agent->menuTexts().scannerLine.startsWith("Can't watch keyboard event4"),
                 qPrintable(agent->menuTexts().scannerLine));
        tree->remove(4);
        QTRY_VERIFY(input->problem().isEmpty());
        tree->setReadable(5); // permissions come after the node
        scan(5, QStringLiteral("55"));
        QTRY_COMPARE(queued(), QStringList{"55"});
    }

    // Keystrokes 2 ms apart by their own times stay one scan even when the main
    // thread gets to them long after they were typed.
    void aStalledMainThreadNeitherSplitsNorDropsAScan() {
        tree->add(2, {});
        startAgent();
        const QString code = QStringLiteral("40063813339310123456789012345678901234567890");
        tree->send(2, FakeInputTree::typed(code.left(2), FakeInputTree::nowMs(), 2, true, false));
        agent->capture().tick(); // taken in: the pause check now has a scan to judge
        std::thread typist([&] {
            for (const QChar c : code.mid(2)) {
                tree->send(2, FakeInputTree::typed(c, FakeInputTree::nowMs(), 0, true, false));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            tree->send(2, FakeInputTree::typed({}, FakeInputTree::nowMs(), 0, true, true));
        });
        QThread::msleep(300); // the stall under test, longer than any pause limit
        typist.join();
        agent->capture().tick(); // the pause check comes first after the stall
        QTRY_COMPARE(queued(), QStringList{code});
    }
};

KORVEL_TEST_MAIN(TestEvdev)
#include "tst_evdev.moc"
