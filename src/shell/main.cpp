#include "platform/linux/evdev_keyboard.h"
#include "platform/null_adapters.h"
#include "shell/agent.h"
#include "shell/settings.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
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
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel Agent"));

    const QString folder = Agent::defaultQueueFolder();
    if (folder.startsWith(QLatin1String("/Korvel"))) {
        std::fprintf(stderr, "korvel-agent: no per-user data folder (is HOME set?)\n");
        return 1;
    }

    quitOnTermination(app);
    Settings settings;
    EvdevKeyboard keyboard(EvdevKeyboard::inputRootFromEnvironment());
    SilentNotifier notifier;
    SilentSounds sounds;
    Agent agent(settings, {keyboard, notifier, sounds}, folder);
    agent.start();
    return app.exec();
}
