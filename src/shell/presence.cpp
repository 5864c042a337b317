#include "shell/presence.h"

#include "shell/status_menu.h"
#include "shell/status_window.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

Presence::Presence(StatusMenu& menu, StatusWindow& window, TrayHost& host,
                   std::chrono::milliseconds grace)
    : menu_(menu), window_(window), host_(host) {
    grace_.setSingleShot(true);
    grace_.setInterval(grace);
    connect(&grace_, &QTimer::timeout, this, &Presence::decide);
}

void Presence::start() {
    host_.onChanged = [this] {
        if (!decided_)
            decide();
        else if (host_.present() && !menu_.classicTray())
            menu_.showTray(true); // a host that came late, or again
        else if (!host_.present() && menu_.hosted())
            window_.bringToFront(); // the icon went with its host
        if (decided_)               // an item whose host went is in no tray
            onMoved((host_.present() && menu_.hosted()) || menu_.classicTray());
    };
    if (host_.present() || QGuiApplication::platformName() == QLatin1String("offscreen") ||
        classicTrayAvailable())
        decide();
    else
        grace_.start();
}

void Presence::decide() {
    if (decided_)
        return;
    decided_ = true;
    grace_.stop();
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        // without a display there is neither tray nor window
    } else if (host_.present()) {
        menu_.showTray(true);
    } else if (classicTrayAvailable()) {
        menu_.showTray(false);
    } else {
        window_.bringToFront();
    }
    onDecided(menu_.trayShown());
}

bool Presence::classicTrayAvailable() const {
    // Qt's tray takes a watcher without a host for a tray: its icon would show nowhere.
    return !host_.hostless() && QSystemTrayIcon::isSystemTrayAvailable();
}
