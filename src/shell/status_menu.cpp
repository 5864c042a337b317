#include "shell/status_menu.h"

#include "core/agent.h"
#include "core/settings.h"
#include "shell/access_help.h"
#include "shell/front_when_shown.h"
#include "shell/settings_dialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>

namespace {

// Scanner, device and server texts are shown as they are: in an action's text "&"
// marks a shortcut.
QString shownAsIs(const QString& text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

StatusMenu::StatusMenu(Agent& agent) : agent_(agent) {
    scannerLine_ = new QAction(QString(), this);
    queueLine_ = new QAction(QString(), this);
    serverLine_ = new QAction(QString(), this);
    permissionItem_ = new QAction(QStringLiteral("Allow Input Monitoring\u2026"), this);
    detectItem_ = new QAction(QString(), this);
    loginItem_ = new QAction(QStringLiteral("Start at login"), this);
    loginItem_->setCheckable(true);
    connect(permissionItem_, &QAction::triggered, this,
            [this] { showInputAccessHelp(agent_.settings().scanner()); });
    connect(detectItem_, &QAction::triggered, this, [this] { agent_.toggleDetect(); });
    connect(loginItem_, &QAction::triggered, this, &StatusMenu::toggleLogin);
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        agent_.takeSlowStates();
        refresh();
    });
    // Some tray hosts draw the menu from its last layout without asking first.
    connect(&agent_, &Agent::changed, this, &StatusMenu::refresh);
}

void StatusMenu::attach() {
    Q_INIT_RESOURCE(resources); // the icon lives in this static library
    QIcon icon(QStringLiteral(":/korvel/korvel-agent.svg"));
    tray_.setIcon(icon);
    scannerLine_->setEnabled(false);
    queueLine_->setEnabled(false);
    serverLine_->setEnabled(false);
    menu_.addAction(scannerLine_);
    menu_.addAction(queueLine_);
    menu_.addAction(serverLine_);
    menu_.addAction(permissionItem_);
    menu_.addSeparator();
    menu_.addAction(detectItem_);
    QAction* settings = menu_.addAction(QStringLiteral("Settings\u2026"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &StatusMenu::showSettings);
    menu_.addAction(loginItem_);
    menu_.addSeparator();
    QAction* quit = menu_.addAction(QStringLiteral("Quit Korvel Agent"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    refresh();
    tray_.setContextMenu(&menu_);
    // Without a display there is no tray to show the icon in.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        tray_.show();
}

void StatusMenu::refresh() {
    const Agent::MenuTexts texts = agent_.menuTexts();
    scannerLine_->setText(shownAsIs(texts.scannerLine));
    queueLine_->setText(shownAsIs(texts.queueLine));
    serverLine_->setText(shownAsIs(texts.serverLine));
    permissionItem_->setVisible(texts.permissionVisible);
    detectItem_->setText(texts.detectText);
    detectItem_->setEnabled(texts.detectEnabled);
    loginItem_->setChecked(texts.loginChecked);
    tray_.setToolTip(QStringLiteral("Korvel \u00B7 ") + texts.queueLine);
}

void StatusMenu::showSettings() {
    Settings& settings = agent_.settings();
    // The stored default stands in for a server nobody set: the field shows none.
    const bool serverSet = settings.store().contains(QStringLiteral("serverURL"));
    SettingsDialog dialog(settings.deviceId(), serverSet ? settings.serverURL() : QString(),
                          settings.deviceName(), settings.scannerLayout(), agent_.layouts());
    new FrontWhenShown(dialog);
    if (dialog.exec() == QDialog::Accepted) {
        agent_.saveSettings(dialog.urlField()->text(), dialog.nameField()->text(),
                            dialog.scannerLayout());
    }
}

void StatusMenu::toggleLogin() {
    const auto error = agent_.toggleLogin();
    refresh(); // the check mark shows the real state either way
    if (!error)
        return;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Korvel Agent"),
                    QStringLiteral("Start at login could not be changed."), QMessageBox::Ok);
    box.setInformativeText(*error);
    new FrontWhenShown(box);
    box.exec();
}
