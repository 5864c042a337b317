#include "platform/linux/evdev_keyboard.h"
#include "platform/null_adapters.h"
#include "shell/agent.h"
#include "shell/settings.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel Agent"));

    const QString folder = Agent::defaultQueueFolder();
    if (folder.startsWith(QLatin1String("/Korvel"))) {
        std::fprintf(stderr, "korvel-agent: no per-user data folder (is HOME set?)\n");
        return 1;
    }

    Settings settings;
    EvdevKeyboard keyboard(EvdevKeyboard::inputRootFromEnvironment());
    SilentNotifier notifier;
    SilentSounds sounds;
    Agent agent(settings, {keyboard, notifier, sounds}, folder);
    agent.start();
    return app.exec();
}
