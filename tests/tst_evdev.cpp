// The agent reading a fake device tree of FIFO event nodes through the evdev
// adapter: which nodes are keyboards, nodes that come and go, descriptors that run out, nodes that
// cannot be watched or read yet.
#include "core/agent.h"
#include "core/settings.h"
#include "platform/linux/evdev_keyboard.h"
#include "support/fake_input.h"
#include "support/fakes.h"
#include "support/test_main.h"

#include <set>
#include <sys/resource.h>

using namespace korvel::test;

namespace {

std::set<int> openDescriptors() {
    std::set<int> fds;
    for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files))
        fds.insert(name.toInt());
    fds.erase(*fds.rbegin()); // the listing's own
    return fds;
}

const FakeInputTree::Device keyboard{0x046D, 0xC31C, QStringLiteral("USB Keyboard")};

} // namespace

class TestEvdev : public QObject {
    Q_OBJECT
    FakeInputTree tree;
    Settings settings;
    Journal journal;
    QTemporaryDir data;
    std::unique_ptr<EvdevKeyboard> input;
    std::unique_ptr<Agent> agent;

    QStringList queued() const { return values(agent->queue().items()); }

  private Q_SLOTS:
    void init() {
        settings.setServerURL(QString()); // deliveries fail at once: scans stay queued
        settings.setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        QFile::remove(data.filePath(QStringLiteral("queue.json")));
        tree.add(1, {});
        input = std::make_unique<EvdevKeyboard>(tree.root());
        agent =
            std::make_unique<Agent>(settings, Agent::Ports{*input, journal, journal}, data.path());
    }
    void cleanup() {
        agent.reset();
        input.reset();
        tree.remove(1);
    }

    // Hubs and docks make nodes come and go; a node that vanishes is read to its end
    // and closed exactly once (the sanitizer run catches a second look at it).
    void nodesComingAndGoingByTheThousandLoseNoScan() {
        settings.setScanner(QString(), QString());
        tree.add(2, {0x1111, 0x2222, QStringLiteral("Mouse"), false});
        agent->start();
        agent->toggleDetect();
        tree.type(2, QStringLiteral("9999")); // no keyboard: never read
        tree.type(1, QStringLiteral("4006"));
        QTRY_VERIFY( // then the server's step: no usable one is set
            journal.entries.contains(
                QStringLiteral("notify:Scanner selected|Test Scanner (05E0:1200)\nIt was chosen by "
                               "the barcode \"4006\", which was not sent: scan it again to "
                               "send it.")));
        tree.remove(2);
        QStringList expected;
        for (int round = 0; round < 80; ++round) {
            for (int i = 0; i < 25; ++i)
                tree.add(100 + i, keyboard);
            tree.type(1, QString::number(100000 + round));
            expected << QString::number(100000 + round);
            QTRY_COMPARE(queued(), expected); // read while the new nodes were opened
            for (int i = 0; i < 25; ++i)
                tree.remove(100 + i);
        }
        tree.type(1, QStringLiteral("2222"), false);
        tree.remove(1); // unplugged mid-scan: the half scan is dropped
        tree.add(1, {});
        tree.send(1, FakeInputTree::typed(QStringLiteral("333"), FakeInputTree::nowMs() + 150));
        QTRY_COMPARE(queued().last(), QStringLiteral("333"));
    }

    // Out of descriptors: every retry fails the same way, leaves none behind, and
    // the operator learns of it once, not every five seconds.
    void captureThatCannotStartSaysSoOnceAndLeaksNothing() {
        rlimit normal{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &normal), 0);
        const std::set<int> before = openDescriptors();
        rlimit tight = normal; // room for two more descriptors; capture needs four
        tight.rlim_cur = 0;
        for (int room = 0; room < 2; ++tight.rlim_cur)
            room += before.count(static_cast<int>(tight.rlim_cur)) ? 0 : 1;
        KORVEL_EXPECT_ONE_WARNING("^Can't read the keyboards: ");
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        agent->start();
        for (int retry = 0; retry < 10; ++retry)
            agent->capture().startCapture(); // what the retry timer does
        const std::set<int> after = openDescriptors();
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &normal), 0);
        QCOMPARE(after, before);
        QVERIFY(agent->menuTexts().scannerLine.startsWith("Can't read the keyboards: "));
        agent->capture().startCapture(); // descriptors to spare again
        QVERIFY(agent->menuTexts().scannerLine.startsWith(QLatin1String("Scanner: Test Scanner")));
        tree.type(1, QStringLiteral("42"));
        QTRY_COMPARE(queued(), QStringList{"42"});
    }

    void nodesThatCannotBeWatchedOrReadYetAreToldAndTakenLater() {
        FakeInputTree::Device plain = keyboard;
        plain.fifo = false; // epoll refuses a plain file
        tree.add(4, plain);
        tree.add(5, {0x05E0, 0x1200, QStringLiteral("Test Scanner"), true, false});
        if (QFile(tree.root() + QStringLiteral("/dev/input/event5")).open(QIODevice::ReadOnly))
            QSKIP("this process reads nodes without read permission");
        agent->start();
        QVERIFY(!agent->menuTexts().permissionVisible); // a readable keyboard is access
        QVERIFY2(agent->menuTexts().scannerLine.startsWith("Can't watch keyboard event4"),
                 qPrintable(agent->menuTexts().scannerLine));
        tree.remove(4);
        QTRY_VERIFY(input->problem().isEmpty());
        tree.setReadable(5); // permissions come after the node
        tree.type(5, QStringLiteral("55"));
        QTRY_COMPARE(queued(), QStringList{"55"});
        tree.remove(5);
    }

    // A rule for the scanner alone, the scanner unplugged: only a keyboard that cannot
    // be read is there. Not said as missing access; the scanner is read from its first
    // scan once plugged in, with no retry to open it.
    void theScannerAloneReadableIsReadOnceConnected() {
        tree.remove(1);
        tree.add(3, {0x046D, 0xC31C, QStringLiteral("USB Keyboard"), true, false});
        agent =
            std::make_unique<Agent>(settings, Agent::Ports{*input, journal, journal}, data.path(),
                                    Agent::Intervals{.retry = std::chrono::hours(1)});
        agent->start();
        QCOMPARE(agent->menuTexts().scannerLine, "Scanner not connected: Test Scanner (05E0:1200)");
        QVERIFY(!agent->menuTexts().permissionVisible);
        tree.add(1, {}); // told by the plug-in itself: the next retry is an hour away
        QTRY_VERIFY(
            agent->menuTexts().scannerLine.startsWith(QLatin1String("Scanner: Test Scanner")));
        tree.type(1, QStringLiteral("4006"));
        QTRY_COMPARE(queued(), QStringList{"4006"});
        tree.remove(3);
    }
};

KORVEL_TEST_MAIN(TestEvdev)
#include "tst_evdev.moc"
