#include "core/agent.h"

#include "core/logging.h"
#include "core/private_files.h"
#include "core/settings.h"
#include "core/trim.h"
#include "platform/notifier.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Owner-only: it holds scan texts. Without it the queue lives in memory and says
// so; the agent still captures and delivers.
QueueFile queueFileIn(const QString& folder) {
    if (!makePrivateFolder(folder))
        qCWarning(lcQueue).noquote()
            << "data folder" << folder << "cannot be created or made private";
    return QueueFile(folder + QStringLiteral("/queue.json"));
}

// "Name (VVVV:PPPP)", as the operator sees a scanner everywhere.
QString describeScanner(const QString& name, const QString& key) {
    return name + QStringLiteral(" (") + key + QLatin1Char(')');
}

} // namespace

Agent::Agent(Settings& settings, Ports ports, const QString& queueFolder, Intervals intervals)
    : settings_(settings), ports_(ports),
      transport_([this] { return settings_.serverURL(); }, network_, intervals.requestTimeout),
      delivery_(settings, transport_, ports.notifier, ports.sounds),
      queue_(queueFileIn(queueFolder),
             [this](const QueuedScan& scan, ScanQueue::Completion done) {
                 delivery_.send(scan, std::move(done));
             }),
      capture_(
          ports.keyboard, [this] { return settings_.scanner(); },
          [this](const QString& text) {
              enqueueAndFlush({text, stamps_.next()});
          },
          [this](const QString& key, const QString& name) { scannerChosen(key, name); },
          ports.layouts, [this] { return settings_.scannerLayout(); }) {
    stamps_.noteUsed(queue_.items());
    stamps_.noteLast(queue_.lastStamp());
    queue_.onDone = [this](const QueuedScan& scan, SendOutcome outcome, const QString& message) {
        delivery_.onDone(scan, outcome, message);
        announceChange(); // one scan fewer waiting
    };
    tickTimer_.setInterval(intervals.tick);
    retryTimer_.setInterval(intervals.retry);
    idleTimer_.setInterval(intervals.idlePoll);
    connect(&tickTimer_, &QTimer::timeout, this, &Agent::onTick);
    connect(&retryTimer_, &QTimer::timeout, this, &Agent::onRetry);
    connect(&idleTimer_, &QTimer::timeout, this, [this] { delivery_.checkIdleClose(); });
    // The pause check only has work while some buffer holds text: an idle agent
    // does not wake for it.
    capture_.onAssembling = [this] {
        if (!tickTimer_.isActive())
            tickTimer_.start();
    };
    delivery_.onChanged = [this] { announceChange(); };
    if (ports_.session)
        ports_.session->onChanged = [this] { followSession(); };
}

void Agent::announceChange() {
    if (changePending_)
        return;
    changePending_ = true;
    // Queued behind what the current event has started, such as the POST of a scan.
    QMetaObject::invokeMethod(
        this,
        [this] {
            changePending_ = false;
            Q_EMIT changed();
        },
        Qt::QueuedConnection);
}

void Agent::takeSlowStates() {
    // While another session is in front no keyboard node is touched, not even to try.
    const bool access = capture_.paused() ? accessGranted_ : ports_.keyboard.accessGranted();
    const bool login = ports_.login && ports_.login->enabled();
    if (access == accessGranted_ && login == loginEnabled_)
        return;
    accessGranted_ = access;
    loginEnabled_ = login;
    announceChange();
}

Agent::~Agent() = default;

QString Agent::defaultQueueFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Korvel");
}

void Agent::start(const std::function<void()>& attachMenu) {
    // Nothing is opened, not even to look at access, while another user is in front.
    if (ports_.session && !ports_.session->active())
        capture_.pause();
    else
        accessGranted_ = ports_.keyboard.accessGranted();
    loginEnabled_ = ports_.login && ports_.login->enabled();
    if (attachMenu)
        attachMenu();
    const QString scanner = settings_.scanner();
    if (ports_.session && !ports_.session->unfollowedReason().isEmpty()) {
        qCInfo(lcAgent).noquote() << QStringLiteral("not following a login session (%1): the "
                                                    "keyboards are read whenever they can be")
                                         .arg(ports_.session->unfollowedReason());
    }
    qCInfo(lcAgent).noquote()
        << QStringLiteral("Korvel Agent %1 starting: server %2, scanner %3, keyboards %4")
               .arg(QCoreApplication::applicationVersion(), transport_.displayBase(),
                    scanner.isEmpty() ? QStringLiteral("none chosen")
                                      : describeScanner(settings_.scannerName(), scanner),
                    capture_.paused()
                        ? QStringLiteral("closed while another user is at this station")
                    : accessGranted_ ? QStringLiteral("readable")
                                     : QStringLiteral("not readable (no access)"));
    // Linux never asks the user for input access: nothing to request here.
    capture_.startCapture();
    shownProblems_ = problems();
    retryTimer_.start();
    idleTimer_.start();
    delivery_.registerDevice();
    queue_.flush();
    if (scanner.isEmpty()) {
        ports_.notifier.notify(QStringLiteral("Korvel Agent"),
                               QStringLiteral("Click the barcode icon in the menu bar and choose "
                                              "Detect scanner."));
    }
}

void Agent::enqueueAndFlush(const QueuedScan& scan) {
    queue_.enqueue(scan);
    queue_.flush();
    announceChange();
}

void Agent::scannerChosen(const QString& key, const QString& name) {
    settings_.setScanner(key, name);
    qCInfo(lcAgent).noquote() << "scanner chosen:" << describeScanner(name, key);
    ports_.sounds.play(Sound::glass);
    ports_.notifier.notify(QStringLiteral("Scanner selected"), describeScanner(name, key));
    announceChange();
}

void Agent::toggleDetect() {
    capture_.toggleDetect();
    announceChange();
}

void Agent::onTick() {
    if (!capture_.tick())
        tickTimer_.stop();
}

void Agent::onRetry() {
    if (settings_.reload()) { // another program changed them: server and menu hear of it
        delivery_.registerDevice();
        announceChange();
    }
    capture_.startCapture();
    // Before any save could replace a file that could not be read so far.
    if (queue_.retryLoad()) {
        stamps_.noteUsed(queue_.items());
        stamps_.noteLast(queue_.lastStamp());
    }
    queue_.saveIfBehind();
    delivery_.registerIfNeeded();
    queue_.flush();
    if (QString now = problems(); now != shownProblems_) {
        shownProblems_ = std::move(now);
        announceChange();
    }
    takeSlowStates();
}

void Agent::followSession() {
    const bool inFront = ports_.session->active();
    if (inFront != capture_.paused())
        return; // told already
    if (inFront) {
        qCInfo(lcCapture) << "this session is in front again";
        capture_.resume();
        takeSlowStates(); // what the menu says of access is what capture just found
    } else {
        qCInfo(lcCapture) << "another user is at this station: keyboards closed, keystrokes not "
                             "yet read dropped";
        capture_.pause();
    }
    announceChange();
}

QString Agent::problems() const {
    return QString::number(capture_.captureOpen()) + ports_.keyboard.problem() + QLatin1Char('\n') +
           queue_.diskProblem();
}

Agent::MenuTexts Agent::menuTexts() {
    MenuTexts m;
    const bool paused = capture_.paused();
    const bool access = paused || accessGranted_;
    const QString scanner = settings_.scanner();
    const QString problem = ports_.keyboard.problem();
    if (paused) {
        m.scannerLine = QStringLiteral("Paused while another user is at this station");
    } else if (!access) {
        m.scannerLine = QStringLiteral("Input Monitoring is off: Korvel can't read the scanner");
    } else if (!problem.isEmpty()) {
        m.scannerLine = problem; // access alone does not mean the keys can be read
    } else if (capture_.detecting()) {
        m.scannerLine = QStringLiteral("Scan any barcode with the scanner now\u2026");
    } else if (!scanner.isEmpty()) {
        m.scannerLine = QStringLiteral("Scanner: ") +
                        describeScanner(settings_.scannerName(), scanner) +
                        QStringLiteral(" \u00B7 ") + settings_.deviceName();
    } else {
        m.scannerLine = QStringLiteral("No scanner chosen: use Detect scanner");
    }
    if (const QString layout = capture_.unknownLayout();
        access && problem.isEmpty() && !layout.isEmpty()) {
        m.scannerLine += QStringLiteral(" \u00B7 Unknown layout \"%1\", read as US").arg(layout);
    }
    m.queueLine = QStringLiteral("Waiting to send: ") + QString::number(queue_.items().size());
    if (!delivery_.lastResult().isEmpty())
        m.queueLine += QStringLiteral(" \u00B7 ") + delivery_.lastResult();
    if (const QString disk = queue_.diskProblem(); !disk.isEmpty())
        m.queueLine += QStringLiteral(" \u00B7 Not saved to disk (") + disk + QLatin1Char(')');
    if (const QString aside = queue_.setAside(); !aside.isEmpty())
        m.queueLine +=
            QStringLiteral(" \u00B7 Unreadable queue file kept as ") + QFileInfo(aside).fileName();
    m.permissionVisible = !access;
    m.detectText = capture_.detecting() ? QStringLiteral("Cancel detection")
                                        : QStringLiteral("Detect scanner (scan now)");
    m.detectEnabled = access && !paused;
    m.loginChecked = loginEnabled_;
    return m;
}

std::optional<QString> Agent::toggleLogin() {
    if (!ports_.login)
        return QStringLiteral("Starting at login is not available here.");
    auto error = ports_.login->setEnabled(!ports_.login->enabled());
    takeSlowStates(); // the check mark shows the real state either way
    return error;
}

void Agent::saveSettings(const QString& serverURL, const QString& deviceName,
                         const std::optional<QString>& scannerLayout) {
    settings_.setServerURL(trimBlanks(serverURL));
    settings_.setDeviceName(trimBlanks(deviceName));
    if (scannerLayout)
        settings_.setScannerLayout(scannerLayout->trimmed());
    capture_.followLayout(); // from the next key on
    delivery_.registerDevice();
    queue_.flush();
    announceChange();
}
