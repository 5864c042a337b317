#include "core/agent.h"

#include "core/logging.h"
#include "core/private_files.h"
#include "core/scan_meaning/scan_meaning.h"
#include "core/server_url.h"
#include "core/settings.h"
#include "core/trim.h"
#include "platform/notifier.h"

#include <QCoreApplication>
#include <QDateTime>
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

// Control characters a scanner adds are shown in caret notation ("^]" for GS).
QString visible(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            shown += QLatin1Char('^') + QChar(c.unicode() + 0x40);
        else
            shown += c;
    }
    return shown;
}

// "Name (VVVV:PPPP)", as the operator sees a scanner everywhere.
QString describeScanner(const QString& name, const QString& key) {
    return name + QStringLiteral(" (") + key + QLatin1Char(')');
}

} // namespace

Agent::Agent(Settings& settings, Ports ports, const QString& queueFolder, Intervals intervals)
    : settings_(settings), ports_(ports), http_([this] { return settings_.proxyURL(); }),
      transport_([this] { return settings_.serverURL(); }, http_, intervals.requestTimeout,
                 intervals.requestLimit),
      delivery_(settings, transport_, ports.notifier, ports.sounds),
      queue_(queueFileIn(queueFolder),
             [this](const QueuedScan& scan, ScanQueue::Completion done) {
                 delivery_.send(scan, std::move(done));
             }),
      capture_(
          ports.keyboard, [this] { return settings_.scanner(); },
          [this](const QString& text, const QString& symbology) {
              ++scans_[settings_.scanner()];
              const QueuedScan scan{text, stamps_.next(), symbology};
              enqueueAndFlush(scan);
              // Checked once its POST is under way: the check costs the delivery nothing.
              if (const auto meaning = scan_meaning::read(scan.value, scan.symbology);
                  meaning.fault)
                  badScan(scan, meaning.fault);
          },
          [this](const QString& key, const QString& name, const QString& text) {
              scannerChosen(key, name, text);
          },
          ports.layouts, [this] { return settings_.scannerLayout(); }),
      statusReports_(
          transport_, settings, [this] { return diagnosis(); }, intervals.statusReport) {
    scan_meaning::prepare();
    stamps_.noteUsed(queue_.items());
    stamps_.noteLast(queue_.lastStamp());
    queue_.onDone = [this](const QueuedScan& scan, SendOutcome outcome, const QString& message) {
        delivery_.onDone(scan, outcome, message);
        if (outcome == SendOutcome::rejected)
            scannerError();
        announceChange(); // one scan fewer waiting
    };
    for (ScanSource* source : ports_.scanSources)
        capture_.addSource(*source);
    tickTimer_.setInterval(intervals.tick);
    retryTimer_.setInterval(intervals.retry);
    idleTimer_.setInterval(intervals.idlePoll);
    connect(&tickTimer_, &QTimer::timeout, this, &Agent::onTick);
    connect(&retryTimer_, &QTimer::timeout, this, &Agent::onRetry);
    connect(&idleTimer_, &QTimer::timeout, this, [this] { delivery_.checkIdleClose(); });
    // A few layouts per turn of the event loop: the menu and windows stay responsive,
    // and a scan of the test code soon finds every layout ready.
    prepareTimer_.setInterval(10);
    connect(&prepareTimer_, &QTimer::timeout, this, [this] {
        if (!capture_.prepareCalibration(20))
            prepareTimer_.stop();
    });
    // A detect window forgotten open would take the next parcel's barcode.
    detectTimer_.setSingleShot(true);
    detectTimer_.setInterval(intervals.detectIdle);
    connect(&detectTimer_, &QTimer::timeout, this, [this] {
        if (!capture_.detecting())
            return;
        qCInfo(lcAgent) << "no scan during detection for" << detectTimer_.interval()
                        << "ms: detection ended";
        toggleDetect();
    });
    // The pause check only has work while some buffer holds text: an idle agent
    // does not wake for it.
    capture_.onAssembling = [this] {
        if (!tickTimer_.isActive())
            tickTimer_.start();
        if (detectTimer_.isActive()) // someone is scanning
            detectTimer_.start();
    };
    if (ports_.workerLayouts) {
        capture_.recheck = [this](const std::vector<KeyStroke>& keys) { recheckLayouts(keys); };
    }
    delivery_.onChanged = [this] { announceChange(); };
    delivery_.onRegistered = [this] { statusReports_.registered(); };
    reviewTimer_.setSingleShot(true);
    reviewTimer_.setInterval(1000);
    connect(&reviewTimer_, &QTimer::timeout, this, &Agent::review);
    capture_.onCalibrated = [this](const QString& key, const QString& name,
                                   const Calibration::Result& result) {
        scannerCalibrated(key, name, result);
    };
    capture_.onTooSlow = [this](const QString& key, const QString& name) {
        qCInfo(lcAgent).noquote() << describeScanner(name, key)
                                  << "typed a barcode too slowly for a scanner: not chosen";
        ports_.notifier.notify(tr("Scanner too slow to detect"),
                               tr("%1 types too slowly to be told from a keyboard. To choose it, "
                                  "scan the test code in the Detect scanner window.")
                                   .arg(describeScanner(name, key)));
    };
    capture_.scannerPause = [this] { return settings_.scannerPause(); };
    // The scanner's line follows plug-in at once, not at the next retry.
    capture_.onDevicesChanged = [this] { takeSlowStates(); };
    if (ports_.desktopLayout)
        capture_.desktopLayout = ports_.desktopLayout;
    if (ports_.session)
        ports_.session->onChanged = [this] { followSession(); };
}

void Agent::scannerError() {
    const QString scanner = settings_.scanner();
    const quint32 vendor = scanner.section(QLatin1Char(':'), 0, 0).toUInt(nullptr, 16);
    const quint32 product = scanner.section(QLatin1Char(':'), 1).toUInt(nullptr, 16);
    for (ScanSource* source : ports_.scanSources) {
        if (source->errorBeep(vendor, product))
            return;
    }
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
            if (!reviewTimer_.isActive())
                reviewTimer_.start();
            Q_EMIT changed();
        },
        Qt::QueuedConnection);
}

void Agent::takeSlowStates() {
    // While another session is in front no keyboard node is touched, not even to try.
    const ScanCapture::Access access = capture_.paused() ? access_ : capture_.access();
    const bool login = ports_.login && ports_.login->enabled();
    if (access == access_ && login == loginEnabled_)
        return;
    const bool granted =
        access != ScanCapture::Access::denied && access_ == ScanCapture::Access::denied;
    access_ = access;
    loginEnabled_ = login;
    if (granted && settingUp_ && !hintedDetect_ && settings_.scanner().isEmpty()) {
        hintedDetect_ = true; // what the first hint asked for is done: the step after it
        ports_.notifier.notify(tr("Korvel Agent"),
                               tr("Keyboard access granted. %1").arg(stepText(Step::detect)));
    }
    announceChange();
}

Agent::~Agent() {
    if (recheckThread_)
        recheckThread_->wait(); // it reads layouts of its own; its answer goes nowhere now
}

QString Agent::defaultQueueFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Korvel");
}

void Agent::start(const std::function<void()>& attachMenu) {
    // Nothing is opened, not even to look at access, while another user is in front.
    if (ports_.session && !ports_.session->active())
        capture_.pause();
    else
        access_ = capture_.access();
    loginEnabled_ = ports_.login && ports_.login->enabled();
    if (attachMenu)
        attachMenu();
    const QString scanner = settings_.scanner();
    if (ports_.session && !ports_.session->unfollowedReason().isEmpty()) {
        qCWarning(lcAgent).noquote()
            << QStringLiteral("not following a login session (%1): the keyboards are read "
                              "whenever they can be")
                   .arg(ports_.session->unfollowedReason());
    }
    qCInfo(lcAgent).noquote()
        << QStringLiteral("Korvel Agent %1 starting: server %2, scanner %3, keyboards %4")
               .arg(QCoreApplication::applicationVersion(), transport_.displayBase(),
                    scanner.isEmpty() ? QStringLiteral("none chosen")
                                      : describeScanner(settings_.scannerName(), scanner),
                    capture_.paused()
                        ? QStringLiteral("closed while another user is at this station")
                    : access_ == ScanCapture::Access::granted ? QStringLiteral("readable")
                    : access_ == ScanCapture::Access::scannerAbsent
                        ? QStringLiteral("watched for the scanner (not connected)")
                        : QStringLiteral("not readable (no access)"));
    // Linux never asks the user for input access: nothing to request here.
    capture_.startCapture();
    shownProblems_ = problems();
    retryTimer_.start();
    idleTimer_.start();
    delivery_.registerDevice();
    queue_.flush();
    if (!attachMenu)
        hintNextStep();
    tellUnknownLayout();
    if (ports_.service)
        ports_.service->ready();
    review();
}

void Agent::showFirstSteps(bool inTray) {
    inTray_ = inTray;
    hintNextStep();
}

QString Agent::stepText(Step step) const {
    switch (step) {
    case Step::access:
        return inTray_ ? tr("Korvel Agent may not read the keyboards yet. Ask an administrator to "
                            "grant keyboard access: the tray menu's help shows the steps.")
                       : tr("Korvel Agent may not read the keyboards yet. Ask an administrator to "
                            "grant keyboard access: the Korvel Agent window's help shows the "
                            "steps.");
    case Step::detect:
        return inTray_ ? tr("Next, the scanner: click the Korvel icon in the system tray, choose "
                            "Detect scanner, then scan any barcode.")
                       : tr("Next, the scanner: choose Detect scanner in the Korvel Agent window, "
                            "then scan any barcode.");
    case Step::server:
        break;
    }
    return inTray_ ? tr("Next, the server: choose Settings\u2026 in the tray menu and enter the "
                        "scan server's address. Until it is reached, scans wait on this station.")
                   : tr("Next, the server: choose Settings\u2026 in the Korvel Agent window and "
                        "enter the scan server's address. Until it is reached, scans wait on this "
                        "station.");
}

bool Agent::serverSet() const {
    // The stored default only stands in for a server nobody has set.
    return settings_.store().contains(QStringLiteral("serverURL")) &&
           serverURLProblem(settings_.serverURL()) == ServerURLProblem::none;
}

void Agent::hintNextStep() {
    if (!settings_.scanner().isEmpty() && serverSet())
        return;
    settingUp_ = true;
    Step step = Step::server;
    // Without keyboard access neither detection nor scanning works: that comes first.
    if (!capture_.paused() && access_ == ScanCapture::Access::denied) {
        step = Step::access;
    } else if (settings_.scanner().isEmpty()) {
        hintedDetect_ = true;
        step = Step::detect;
    }
    const QString body = stepText(step);
    ports_.notifier.notify(tr("Korvel Agent"), body);
}

void Agent::tellUnknownLayout() {
    const QString layout = capture_.unknownLayout();
    if (layout.isEmpty() || layout == toldLayout_)
        return;
    toldLayout_ = layout;
    ports_.notifier.notify(tr("Korvel Agent: scanner layout unknown"),
                           tr("The scanner layout \"%1\" is not known to this system: scans are "
                              "read as US. Choose the scanner's layout in Settings\u2026.")
                               .arg(elided(layout)));
}

void Agent::enqueueAndFlush(const QueuedScan& scan) {
    queue_.enqueue(scan);
    queue_.flush();
    announceChange();
}

void Agent::recheckLayouts(const std::vector<KeyStroke>& keys) {
    if (recheckThread_)
        recheckThread_->wait(); // done: it told its answer before it ended
    auto found = std::make_shared<std::optional<Calibration::Result>>();
    recheckThread_.reset(
        QThread::create([keys, found, make = ports_.workerLayouts,
                         desktop = ports_.desktopLayout ? ports_.desktopLayout() : QString()] {
            const std::unique_ptr<KeyboardLayouts> layouts = make();
            *found = Calibration::calibrate(keys, layouts.get(), desktop);
        }));
    connect(recheckThread_.get(), &QThread::finished, this,
            [this, found] { capture_.recheckDone(*found); });
    recheckThread_->start();
}

void Agent::badScan(const QueuedScan& scan, const scan_meaning::Fault& fault) {
    ports_.sounds.play(Sound::basso);
    scannerError(); // the operator hears it at the scanner too
    ports_.notifier.notify(tr("Korvel: barcode data faulty"),
                           fault.translated() + QLatin1Char('\n') + visible(scan.value));
}

void Agent::scannerChosen(const QString& key, const QString& name, const QString& text) {
    // Another scanner's pace is not this one's; the same one keeps its own.
    if (key != settings_.scanner())
        settings_.setScannerPause(Calibration::kMinPauseMs);
    settings_.setScanner(key, name);
    qCInfo(lcAgent).noquote() << "scanner chosen:" << describeScanner(name, key);
    ports_.sounds.play(Sound::glass);
    // The barcode that chose it is not sent: the operator must know, or a parcel
    // scanned into a forgotten detect window goes missing unnoticed.
    ports_.notifier.notify(
        tr("Scanner selected"),
        text == Calibration::testText()
            ? describeScanner(name, key)
            : describeScanner(name, key) + QLatin1Char('\n') +
                  tr("It was chosen by the barcode \"%1\", which was not sent: scan it again to "
                     "send it.")
                      .arg(elided(visible(text), 80)));
    if (settingUp_ && !delivery_.registered())
        ports_.notifier.notify(tr("Korvel Agent"), stepText(Step::server));
    takeSlowStates(); // whether this scanner is plugged in, not the one chosen before
    announceChange();
}

void Agent::scannerCalibrated(const QString& key, const QString& name,
                              const Calibration::Result& result) {
    settings_.setScanner(key, name);
    settings_.setScannerLayout(result.layout);
    settings_.setScannerPause(result.pauseMs);
    qCInfo(lcAgent).noquote()
        << QStringLiteral("scanner calibrated: %1, layout \"%2\" (%3), GS as %4, %5 characters "
                          "as Alt codes, prefix \"%6\", suffix \"%7\", slowest gap %8 ms, "
                          "pause %9 ms")
               .arg(describeScanner(name, key), result.layout, result.description,
                    result.gsAsAltCode ? QStringLiteral("an Alt code")
                                       : QStringLiteral("a Ctrl combination"))
               .arg(result.altCodes)
               .arg(visible(result.prefix), visible(result.suffix))
               .arg(result.slowestGapMs)
               .arg(result.pauseMs);
    QStringList body{
        tr("Scanner %1: %2 layout").arg(describeScanner(name, key), result.description)};
    if (!result.prefix.isEmpty())
        body << tr("It adds %1 before each barcode.").arg(visible(result.prefix));
    if (!result.suffix.isEmpty())
        body << tr("It adds %1 after each barcode.").arg(visible(result.suffix));
    if (result.gsAsAltCode)
        body << tr("It sends control characters as Alt codes.");
    ports_.sounds.play(Sound::glass);
    ports_.notifier.notify(tr("Scanner selected"), body.join(QLatin1Char('\n')));
    if (settingUp_ && !delivery_.registered())
        ports_.notifier.notify(tr("Korvel Agent"), stepText(Step::server));
    Q_EMIT calibrated();
    takeSlowStates();
    announceChange();
}

void Agent::toggleDetect() {
    capture_.toggleDetect();
    if (capture_.detecting()) {
        prepareTimer_.start();
        detectTimer_.start();
    } else {
        detectTimer_.stop();
    }
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
        tellUnknownLayout();
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
    review(); // devices may have changed without an event of ours
}

void Agent::review() {
    const QJsonObject report = diagnosis();
    statusReports_.consider(report);
    if (!ports_.service)
        return;
    if (QString now = Diagnosis::summary(report); now != serviceStatus_) {
        serviceStatus_ = std::move(now);
        ports_.service->status(serviceStatus_);
    }
}

DiagnosisFacts Agent::diagnosisFacts() {
    DiagnosisFacts f;
    f.running = true;
    f.pid = QCoreApplication::applicationPid();
    f.version = QCoreApplication::applicationVersion();
    f.serverURL = transport_.displayBase();
    f.serverSet = settings_.store().contains(QStringLiteral("serverURL"));
    f.serverUsable = transport_.usable();
    f.lastStatus = delivery_.lastStatus();
    f.lastAnswerSeconds = delivery_.secondsSinceAnswer();
    const QList<QueuedScan>& items = queue_.items();
    f.waiting = items.size();
    if (!items.isEmpty())
        f.oldestSeconds =
            std::max<qint64>(0, (QDateTime::currentMSecsSinceEpoch() - items.first().ts) / 1000);
    f.paused = capture_.paused();
    f.accessDenied = !f.paused && access_ == ScanCapture::Access::denied;
    f.captureProblem = ports_.keyboard.problem();
    f.scanner = settings_.scanner();
    f.scannerName = settings_.scannerName();
    for (DeviceSurvey* survey : ports_.devices)
        f.devices += survey->devices();
    const qint64 now = ports_.keyboard.nowMs();
    for (const auto& [key, at] : capture_.lastKeyMs())
        f.lastKeySeconds[key] = std::max<qint64>(0, (now - at) / 1000);
    f.scans = scans_;
    return f;
}

QJsonObject Agent::diagnosis() {
    return Diagnosis::report(diagnosisFacts());
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
    // The scanner not plugged in says nothing against access: a rule for it alone
    // shows only once it is there.
    const bool access = paused || access_ != ScanCapture::Access::denied;
    const QString scanner = settings_.scanner();
    const QString problem = ports_.keyboard.problem();
    QString described =
        scanner.isEmpty() ? QString() : describeScanner(settings_.scannerName(), scanner);
    switch (scanner.isEmpty() ? ScannerInterface::keyboard : capture_.interfaceOf(scanner)) {
    case ScannerInterface::hidPos:
        described += tr(" \u00B7 HID POS");
        break;
    case ScannerInterface::serial:
        described += tr(" \u00B7 USB serial");
        break;
    case ScannerInterface::keyboard:
        break;
    }
    if (paused) {
        m.scannerLine = tr("Paused while another user is at this station");
        m.trouble = m.scannerLine;
    } else if (!access) {
        m.scannerLine = tr("Keyboard access is off: Korvel can't read the scanner");
        m.trouble = m.scannerLine;
    } else if (!problem.isEmpty()) {
        m.scannerLine = problem; // access alone does not mean the keys can be read
        m.trouble = problem;
    } else if (capture_.detecting()) {
        m.scannerLine = tr("Scan any barcode with the scanner now\u2026");
    } else if (!scanner.isEmpty() && access_ == ScanCapture::Access::scannerAbsent) {
        m.scannerLine = tr("Scanner not connected: %1").arg(described);
        m.trouble = m.scannerLine;
    } else if (!scanner.isEmpty()) {
        m.scannerLine = tr("Scanner: %1 \u00B7 %2").arg(described, settings_.deviceName());
    } else {
        m.scannerLine = tr("No scanner chosen: use Detect scanner");
    }
    if (const QString layout = capture_.unknownLayout();
        access && problem.isEmpty() && !layout.isEmpty()) {
        m.scannerLine += tr(" \u00B7 Unknown layout \"%1\", read as US").arg(elided(layout));
    }
    const qsizetype waiting = queue_.items().size();
    m.queueLine = tr("Waiting to send: %1").arg(waiting);
    if (!delivery_.lastResult().isEmpty())
        m.queueLine += QStringLiteral(" \u00B7 ") + delivery_.lastResult();
    if (const QString disk = queue_.diskProblem(); !disk.isEmpty())
        m.queueLine += tr(" \u00B7 Not saved to disk (%1)").arg(disk);
    if (const QString aside = queue_.setAside(); !aside.isEmpty())
        m.queueLine +=
            tr(" \u00B7 Unreadable queue file kept as %1").arg(QFileInfo(aside).fileName());
    if (m.trouble.isEmpty() && !transport_.usable())
        m.trouble = tr("The server URL is not usable: correct it in Settings");
    if (m.trouble.isEmpty() && waiting > 0 && !delivery_.answering())
        m.trouble = tr("Scans are waiting for the server: %1").arg(delivery_.lastResult());
    m.toolTip =
        tr("Korvel \u00B7 %1").arg(described.isEmpty() ? tr("no scanner chosen") : described) +
        QLatin1Char('\n') + (m.trouble.isEmpty() ? m.queueLine : m.trouble);
    if (const QString host = serverHost(settings_.serverURL()); host.isEmpty()) {
        m.serverLine = tr("Server address not usable: see Settings\u2026");
    } else if (!settings_.store().contains(QStringLiteral("serverURL"))) {
        // The default answering is a server on this station, not a setting to trust.
        m.serverLine = delivery_.registered()
                           ? tr("Server: %1 (the default) \u00B7 reached").arg(host)
                           : tr("Server not set yet: see Settings\u2026");
    } else if (delivery_.registered()) {
        m.serverLine = tr("Server: %1 \u00B7 reached").arg(host);
    } else {
        m.serverLine = tr("Server: %1 \u00B7 not reached yet").arg(host);
    }
    m.permissionVisible = !access;
    m.detectText = capture_.detecting() ? tr("Cancel detection") : tr("Detect scanner (scan now)");
    m.detectEnabled = access && !paused;
    m.loginChecked = loginEnabled_;
    return m;
}

std::optional<QString> Agent::toggleLogin() {
    if (!ports_.login)
        return tr("Starting at login is not available here.");
    auto error = ports_.login->setEnabled(!ports_.login->enabled());
    takeSlowStates(); // the check mark shows the real state either way
    return error;
}

Agent::ScannerChoice Agent::scannerChoice() const {
    return {settings_.scanner(), settings_.scannerName(), settings_.scannerLayout(),
            settings_.scannerPause()};
}

void Agent::restoreScannerChoice(const ScannerChoice& choice) {
    if (choice == scannerChoice())
        return;
    settings_.setScanner(choice.key, choice.name);
    settings_.setScannerLayout(choice.layout);
    settings_.setScannerPause(choice.pause);
    qCInfo(lcAgent).noquote() << "scanner choice put back:"
                              << describeScanner(choice.name, choice.key);
    capture_.followLayout(); // the layout and pause from the next key on
    takeSlowStates();
    announceChange();
}

void Agent::saveSettings(const QString& serverURL, const QString& deviceName,
                         const std::optional<QString>& scannerLayout) {
    settings_.setServerURL(trimBlanks(serverURL));
    settings_.setDeviceName(trimBlanks(deviceName));
    if (scannerLayout)
        settings_.setScannerLayout(scannerLayout->trimmed());
    capture_.followLayout(); // from the next key on
    tellUnknownLayout();
    delivery_.registerDevice();
    queue_.flush();
    announceChange();
}
