#pragma once

#include "core/agent.h"
#include "platform/tray_item.h"

#include "shell/detect_window.h"
#include "shell/settings_dialog.h"
#include "shell/why_dialog.h"
#include <QIcon>

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>

class QAction;
class QWidget;

// The tray icon and its menu: a tray item drawn by the tray host where there is
// one, else the classic tray's icon with a menu of Qt's own. Texts are computed
// whenever what they show changes and again when the menu is about to open. The
// icon turns to its attention form while something keeps scans from arriving; the
// tooltip names the scanner and that trouble.
class StatusMenu : public QObject {
    Q_OBJECT
  public:
    // item: the tray host's item, none where only the classic tray may be.
    explicit StatusMenu(Agent& agent, TrayItem* item = nullptr);
    ~StatusMenu() override;

    // Builds the menu; the tray icon comes with showTray().
    void attach();
    // Puts the icon in the tray: the tray host's item when `hosted`, else the
    // classic tray's.
    void showTray(bool hosted);
    bool trayShown() const { return hosted_ || tray_; }
    bool hosted() const { return hosted_; }
    void refresh();

    QMenu& menu() { return menu_; }
    const QSystemTrayIcon* classicTray() const { return tray_.get(); }
    QAction* scannerLine() const { return lines_.value(0); }
    QAction* queueLine() const { return lines_.value(1); }
    QAction* serverLine() const { return lines_.value(2); }
    QAction* permissionItem() const { return permissionItem_; }
    QAction* detectItem() const { return detectItem_; }
    QAction* settingsItem() const { return settingsItem_; }
    QAction* loginItem() const { return loginItem_; }
    QAction* quitItem() const { return quitItem_; }
    QAction* whyItem() const { return whyItem_; }
    QIcon icon(bool attention) const { return attention ? attentionIcon_ : icon_; }

    // Settings, one dialog at a time: asked again, the open one comes to the front.
    void showSettings();
    SettingsDialog* settingsDialog() const { return settingsDialog_; }
    void toggleLogin();
    // "Why no scans?": the support report for people, one window at a time.
    void showWhy();
    WhyDialog* whyDialog() const { return whyDialog_; }
    // Starts or cancels detection; its window opens over `parent` (none: over the
    // Settings dialog when one is open, else alone).
    void toggleDetect(QWidget* parent = nullptr);
    DetectWindow* detectWindow() const { return detectWindow_; }

    // An action's text that Qt's menus draw as `text`: "&" marks a shortcut there.
    static QString label(const QString& text);
    // A tooltip that the classic tray shows as `text`, markup included.
    static QString classicToolTip(const QString& text);

  Q_SIGNALS:
    // The texts just shown, for the status window.
    void refreshed(const Agent::MenuTexts& texts);
    // The operator clicked the tray host's icon itself.
    void activated();

  private:
    void updateItem(const Agent::MenuTexts& texts);

    Agent& agent_;
    TrayItem* item_;
    bool hosted_ = false;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QIcon icon_;
    QIcon attentionIcon_;
    QMenu menu_;
    QList<QAction*> lines_;
    QAction* permissionItem_;
    QAction* detectItem_;
    QAction* settingsItem_;
    QAction* loginItem_;
    QAction* quitItem_;
    QAction* whyItem_;
    QPointer<WhyDialog> whyDialog_;
    QPointer<SettingsDialog> settingsDialog_; // open while its exec() runs
    QPointer<DetectWindow> detectWindow_;     // open while detecting
};
