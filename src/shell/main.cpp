#include "core/agent.h"
#include "core/delivery/queue_file.h"
#include "core/delivery/queue_store.h"
#include "core/diagnosis/report_socket.h"
#include "core/logging.h"
#include "core/settings.h"
#include "platform/linux/canberra_sounds.h"
#include "platform/linux/dbus_notifier.h"
#include "platform/linux/dbus_presence.h"
#include "platform/linux/desktop_layout.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/linux/hidpos_source.h"
#include "platform/linux/logind_session.h"
#include "platform/linux/serial_source.h"
#include "platform/linux/sni_tray_item.h"
#include "platform/linux/sysfs_devices.h"
#include "platform/linux/systemd_service.h"
#include "platform/linux/termination.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/linux/xkb_layouts.h"
#include "shell/access_help.h"
#include "shell/diagnose_command.h"
#include "shell/presence.h"
#include "shell/status_menu.h"
#include "shell/status_window.h"
#include "shell/translation.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLockFile>
#include <QStandardPaths>

#include <cstdio>
#include <optional>
#include <string_view>
#include <sys/stat.h>

namespace {

const char* const kUsage = QT_TRANSLATE_NOOP(
    "CommandLine",
    "Usage: korvel-agent [--help | --version | --queue | --diagnose | --udev-rule [VID:PID]]\n"
    "\n"
    "Korvel Agent reads the barcode scanner chosen in its tray menu or window and\n"
    "delivers every scan to the scan server set in its settings. Everything else\n"
    "is set there too.\n"
    "\n"
    "  -h, --help               show this text and exit\n"
    "  -v, --version            show the version and exit\n"
    "      --queue              print the scans waiting to be sent, oldest first, as\n"
    "                           a JSON array of {\"value\",\"ts\"}, and exit (safe while\n"
    "                           the agent runs)\n"
    "      --diagnose           print the support report (agent, server, queue,\n"
    "                           devices and what keeps scans from arriving) as one\n"
    "                           JSON object, and exit\n"
    "      --udev-rule [VID:PID], --udev-rule=VID:PID\n"
    "                           print a udev rule that lets the user in front read\n"
    "                           only that device (by default the chosen scanner),\n"
    "                           to be saved as /etc/udev/rules.d/70-korvel-agent.rules\n");

// given: the VID:PID on the command line, null for the chosen scanner.
int printUdevRule(const char* given) {
    const QString device = given ? QString::fromLocal8Bit(given) : Settings::storedScanner();
    if (device.isEmpty() && !given) {
        std::fputs("korvel-agent: no scanner chosen yet: give its VID:PID as lsusb shows it, "
                   "e.g. korvel-agent --udev-rule 05e0:1200\n",
                   stderr);
        return 2;
    }
    const QString rule = udevRuleFor(device);
    if (rule.isEmpty()) {
        std::fprintf(stderr, "korvel-agent: '%s' is not a VID:PID (hexadecimal, e.g. 05e0:1200)\n",
                     device.toLocal8Bit().constData());
        return 2;
    }
    std::fputs(rule.toUtf8().constData(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Read as the running agent keeps it, without its lock and without disturbing it.
int printQueue() {
    const QString snapshot = Agent::defaultQueueFolder() + QStringLiteral("/queue.json");
    QString error;
    const auto contents = QueueStore::read(snapshot, &error, true);
    if (!contents) {
        std::fprintf(stderr, "korvel-agent: the queue in %s cannot be read: %s\n",
                     qPrintable(snapshot), qPrintable(error));
        return 2;
    }
    const QByteArray json = encodeQueue(contents->scans) + '\n';
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Looked at before anything else: an unknown option touches no file, and the rule
// printer only reads the settings. Returns the exit code when the program is to
// end here.
std::optional<int> handleArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            // An application object only to hold the user's language.
            int count = 1;
            const QCoreApplication app(count, argv);
            installTranslations();
            std::fputs(QCoreApplication::translate("CommandLine", kUsage).toLocal8Bit().constData(),
                       stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--version") {
            std::printf("korvel-agent %s\n", KORVEL_VERSION);
            return 0;
        }
        if (arg == "--queue" && argc == 2)
            return printQueue();
        if (arg == "--diagnose" && argc == 2)
            return printDiagnosis(argv[0]);
        // "--udev-rule [VID:PID]" or "--udev-rule=VID:PID", with nothing after it.
        constexpr std::string_view joined = "--udev-rule=";
        const bool rule = arg == "--udev-rule" || arg.starts_with(joined);
        const int after = arg == "--udev-rule" ? i + 2 : i + 1;
        if (rule && after >= argc) {
            return printUdevRule(arg != "--udev-rule" ? argv[i] + joined.size()
                                 : i + 1 < argc       ? argv[i + 1]
                                                      : nullptr);
        }
        std::fprintf(stderr, "korvel-agent: unknown argument '%s'\nTry 'korvel-agent --help'.\n",
                     argv[rule ? after : i]);
        return 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto code = handleArguments(argc, argv))
        return *code;
    // Everything the agent writes (settings, queue, their folders) is its user's
    // alone: the settings may hold a server password, the queue scan texts.
    ::umask(077);
    // Without any display the agent still captures and delivers, just without a tray.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installTranslations();
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel Agent"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false); // closing a dialog never ends the agent

    const QString folder = Agent::defaultQueueFolder();
    if (folder.startsWith(QLatin1String("/Korvel"))) {
        std::fprintf(stderr, "korvel-agent: no per-user data folder (is HOME set?)\n");
        return 1;
    }
    // Two agents rewriting one queue file would lose scans: one per user. The lock
    // lives in the runtime folder, where deleting the data folder cannot take it
    // away, and it does not depend on the data folder being writable.
    const QString lockPath = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                             QStringLiteral("/korvel-agent.lock");
    QLockFile lock(lockPath);
    lock.setStaleLockTime(0);
    DbusRunningAgent running;
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError && running.activate()) {
            std::fputs("korvel-agent: Korvel Agent is already running for this user; its window "
                       "was brought to the front.\n",
                       stderr);
            return 0;
        }
        if (lock.error() == QLockFile::LockFailedError) {
            qint64 pid = 0;
            QString host, name;
            lock.getLockInfo(&pid, &host, &name);
            std::fprintf(stderr,
                         "korvel-agent: Korvel Agent is already running for this user (process "
                         "%lld); not starting a second one.\n",
                         static_cast<long long>(pid));
        } else {
            std::fprintf(stderr,
                         "korvel-agent: cannot take the one-agent lock %s (%s); not starting, "
                         "since a second agent could not be told apart.\n",
                         qPrintable(lockPath),
                         lock.error() == QLockFile::PermissionError ? "permission denied"
                                                                    : "unknown error");
        }
        return 1;
    }
    quitOnTermination(app);

    Settings settings;
    EvdevKeyboard keyboard(EvdevKeyboard::inputRootFromEnvironment());
    HidPosSource hidPos(EvdevKeyboard::inputRootFromEnvironment());
    SerialSource serial(EvdevKeyboard::inputRootFromEnvironment());
    DbusNotifier notifier;
    CanberraSounds sounds;
    XdgAutostart login(QCoreApplication::applicationFilePath());
    LogindSession session(QDBusConnection::systemBus(), qEnvironmentVariable("XDG_SESSION_ID"));
    XkbLayouts layouts;
    SysfsDevices keyboards(
        EvdevKeyboard::inputRootFromEnvironment(),
        [&keyboard](const QString& node) { return keyboard.grabbedByOther(node); });
    SystemdService service;
    Agent agent(settings,
                {keyboard,
                 notifier,
                 sounds,
                 &login,
                 &session,
                 &layouts,
                 [] { return desktopKeyboardLayout(); },
                 [] { return std::make_unique<XkbLayouts>(); },
                 {&hidPos, &serial},
                 {&keyboards, &hidPos, &serial},
                 &service},
                folder);
    // For korvel-agent --diagnose, which needs no session bus.
    ReportSocket reportSocket(
        [&agent] { return QJsonDocument(agent.diagnosis()).toJson(QJsonDocument::Compact); });
    reportSocket.listen(ReportSocket::defaultPath());
    SniTrayItem trayItem(QStringLiteral("Korvel Agent"));
    StatusMenu menu(agent, &trayItem);
    StatusWindow window(menu);
    QObject::connect(&menu, &StatusMenu::activated, &window, &StatusWindow::bringToFront);
    notifier.setDefaultAction(StatusWindow::tr("Open Korvel Agent"),
                              [&window] { window.bringToFront(); });
    SniTrayHost trayHost;
    Presence presence(menu, window, trayHost);
    presence.onDecided = [&agent](bool inTray) { agent.showFirstSteps(inTray); };
    presence.onMoved = [&agent](bool inTray) { agent.setShownInTray(inTray); };
    running.answer([&window] {
        qCInfo(lcAgent) << "launched again: the status window comes to the front";
        window.bringToFront();
    });
    agent.start([&] {
        menu.attach();
        presence.start();
    });
    return app.exec();
}
