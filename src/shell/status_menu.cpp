#include "shell/status_menu.h"

#include "core/agent.h"
#include "core/settings.h"
#include "shell/access_help.h"
#include "shell/detect_window.h"
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
    permissionItem_ = new QAction(QStringLiteral("Allow Input Monitoring\u2026"), this);
    detectItem_ = new QAction(QString(), this);
    loginItem_ = new QAction(QStringLiteral("Start at login"), this);
    loginItem_->setCheckable(true);
    connect(permissionItem_, &QAction::triggered, this,
            [this] { showInputAccessHelp(agent_.settings().scanner()); });
    connect(detectItem_, &QAction::triggered, this, [this] { toggleDetect(); });
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
    menu_.addAction(scannerLine_);
    menu_.addAction(queueLine_);
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
    permissionItem_->setVisible(texts.permissionVisible);
    detectItem_->setText(texts.detectText);
    detectItem_->setEnabled(texts.detectEnabled);
    loginItem_->setChecked(texts.loginChecked);
    tray_.setToolTip(QStringLiteral("Korvel \u00B7 ") + texts.queueLine);
    // Detection ended: a scanner was chosen, or another user came to the front.
    if (detectWindow_ && !agent_.capture().detecting())
        detectWindow_->close();
}

void StatusMenu::toggleDetect(QWidget* parent) {
    agent_.toggleDetect();
    if (!agent_.capture().detecting()) {
        if (detectWindow_)
            detectWindow_->close();
        return;
    }
    // Opened again over the window that asks now; the one before cancels nothing.
    if (const QPointer<DetectWindow> before = std::exchange(detectWindow_, nullptr)) {
        before->disconnect(this);
        before->close();
    }
    detectWindow_ = new DetectWindow(parent);
    connect(detectWindow_, &QDialog::finished, this, [this] {
        if (agent_.capture().detecting())
            agent_.toggleDetect(); // closed by the user: detection cancelled
    });
    new FrontWhenShown(*detectWindow_);
    detectWindow_->show();
}

void StatusMenu::showSettings() {
    Settings& settings = agent_.settings();
    SettingsDialog dialog(
        settings.deviceId(), settings.serverURL(), settings.deviceName(), settings.scannerLayout(),
        agent_.layouts() ? agent_.layouts()->available() : QList<KeyboardLayouts::Choice>{});
    new FrontWhenShown(dialog);
    connect(&dialog, &SettingsDialog::findFromScan, this, [this, &dialog] {
        if (!agent_.capture().detecting())
            toggleDetect(&dialog);
    });
    // What a scan of the test code finds while the dialog is open is what Save keeps.
    connect(&agent_, &Agent::calibrated, &dialog,
            [this, &dialog] { dialog.setScannerLayout(agent_.settings().scannerLayout()); });
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
