#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class Agent;
class QAction;

// The tray icon and its menu. Texts are computed whenever what they show changes
// and again when the menu is about to open; the tooltip repeats the queue line.
class StatusMenu : public QObject {
    Q_OBJECT
  public:
    explicit StatusMenu(Agent& agent);

    // Gives the tray its icon and menu, and shows it.
    void attach();
    void refresh();

    QMenu& menu() { return menu_; }
    const QSystemTrayIcon& tray() const { return tray_; }
    QAction* scannerLine() const { return scannerLine_; }
    QAction* queueLine() const { return queueLine_; }
    QAction* serverLine() const { return serverLine_; }
    QAction* permissionItem() const { return permissionItem_; }
    QAction* detectItem() const { return detectItem_; }
    QAction* loginItem() const { return loginItem_; }

    void showSettings();
    void toggleLogin();

  private:
    Agent& agent_;
    QSystemTrayIcon tray_;
    QMenu menu_;
    QAction* scannerLine_;
    QAction* queueLine_;
    QAction* serverLine_;
    QAction* permissionItem_;
    QAction* detectItem_;
    QAction* loginItem_;
};
