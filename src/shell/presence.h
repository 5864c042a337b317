#pragma once

#include "platform/desktop_presence.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class StatusMenu;
class StatusWindow;

// Shows the agent where the desktop can: in the tray of a tray host, else in a
// classic tray, either there at start or come within the grace time (panels often
// start after the agent), else in the status window. A tray host that comes later still
// gets the icon; when it leaves, the window comes up, so the agent never goes unseen.
class Presence : public QObject {
    Q_OBJECT
  public:
    Presence(StatusMenu& menu, StatusWindow& window, TrayHost& host,
             std::chrono::milliseconds grace = std::chrono::seconds(5));

    // After the menu is attached.
    void start();
    bool decided() const { return decided_; }

    // Once decided: whether the agent is in the tray.
    std::function<void(bool inTray)> onDecided = [](bool) {};
    // Later, whenever a tray host comes or goes.
    std::function<void(bool inTray)> onMoved = [](bool) {};

  private:
    void decide();
    bool classicTrayAvailable() const;

    StatusMenu& menu_;
    StatusWindow& window_;
    TrayHost& host_;
    QTimer grace_;
    bool decided_ = false;
};
