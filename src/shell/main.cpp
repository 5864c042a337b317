#include "platform/linux/canberra_sounds.h"
#include "platform/linux/dbus_notifier.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/linux/xdg_autostart.h"
#include "shell/agent.h"
#include "shell/settings.h"
#include "shell/status_menu.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop normally, so that the queue file is
// brought up to date before the process ends.
void quitOnTermination(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    // Everything the agent writes (settings, queue, their folders) is its user's
    // alone: the settings may hold a server password, the queue scan texts.
    ::umask(077);
    // Without any display the agent still captures and delivers, just without a tray.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel Agent"));
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
    if (!lock.tryLock(0)) {
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
    DbusNotifier notifier;
    CanberraSounds sounds;
    XdgAutostart login(XdgAutostart::defaultEntryPath(), QCoreApplication::applicationFilePath());
    Agent agent(settings, {keyboard, notifier, sounds, &login}, folder);
    StatusMenu menu(agent);
    agent.start([&] { menu.attach(); });
    return app.exec();
}
