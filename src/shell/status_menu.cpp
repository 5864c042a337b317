#include "shell/status_menu.h"

#include "core/settings.h"
#include "shell/access_help.h"
#include "shell/detect_window.h"
#include "shell/front_when_shown.h"
#include "shell/settings_dialog.h"
#include "shell/why_dialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextDocument>
#include <QtEndian>

namespace {

// The icon's sizes as tray hosts take them: ARGB32, in network byte order.
QList<TrayItem::Image> trayImages(const QIcon& icon) {
    QList<TrayItem::Image> images;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        const QImage image =
            icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        QByteArray argb(image.width() * image.height() * 4, Qt::Uninitialized);
        auto* out = reinterpret_cast<quint32*>(argb.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *out++ = qToBigEndian(line[x]);
        }
        images.append({image.width(), image.height(), argb});
    }
    return images;
}

// What Qt's menus draw of an action's text: "&&" is "&", another "&" marks a shortcut.
QString drawnText(const QString& text) {
    QString drawn;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&')
            drawn += text[i];
        else if (i + 1 < text.size() && text[i + 1] == u'&')
            drawn += text[++i];
    }
    return drawn;
}

} // namespace

StatusMenu::StatusMenu(Agent& agent, TrayItem* item) : agent_(agent), item_(item) {
    Q_INIT_RESOURCE(resources); // the icons live in this static library
    icon_ = QIcon(QStringLiteral(":/korvel/korvel-agent.svg"));
    attentionIcon_ = QIcon(QStringLiteral(":/korvel/korvel-agent-attention.svg"));
    permissionItem_ = new QAction(tr("Allow keyboard access\u2026"), this);
    detectItem_ = new QAction(QString(), this);
    settingsItem_ = new QAction(tr("Settings\u2026"), this);
    settingsItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    loginItem_ = new QAction(tr("Start at login"), this);
    loginItem_->setCheckable(true);
    quitItem_ = new QAction(tr("Quit Korvel Agent"), this);
    quitItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    whyItem_ = new QAction(tr("Why no scans?\u2026"), this);
    connect(whyItem_, &QAction::triggered, this, &StatusMenu::showWhy);
    connect(permissionItem_, &QAction::triggered, this,
            [this] { showInputAccessHelp(agent_.settings().scanner()); });
    connect(detectItem_, &QAction::triggered, this, [this] { toggleDetect(); });
    connect(settingsItem_, &QAction::triggered, this, &StatusMenu::showSettings);
    connect(loginItem_, &QAction::triggered, this, &StatusMenu::toggleLogin);
    connect(quitItem_, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        agent_.takeSlowStates();
        refresh();
    });
    // Some tray hosts draw the menu from its last layout without asking first.
    connect(&agent_, &Agent::changed, this, &StatusMenu::refresh);
    if (item_) {
        item_->onTriggered = [this](int index) {
            if (QAction* action = menu_.actions().value(index))
                action->trigger();
        };
        item_->onMenuOpening = [this] { Q_EMIT menu_.aboutToShow(); };
        item_->onActivated = [this] { Q_EMIT activated(); };
    }
}

StatusMenu::~StatusMenu() {
    delete detectWindow_.data(); // a window of its own: no parent takes it along
}

void StatusMenu::attach() {
    for (qsizetype i = 0; i < agent_.menuTexts().lines().size(); ++i) {
        lines_.append(new QAction(QString(), this));
        lines_.last()->setEnabled(false);
        menu_.addAction(lines_.last());
    }
    menu_.addAction(permissionItem_);
    menu_.addAction(whyItem_);
    menu_.addSeparator();
    menu_.addAction(detectItem_);
    menu_.addAction(settingsItem_);
    menu_.addAction(loginItem_);
    menu_.addSeparator();
    menu_.addAction(quitItem_);
    refresh();
}

void StatusMenu::showTray(bool hosted) {
    if (hosted && item_) {
        if (hosted_)
            return; // the item tells each new tray host of itself
        item_->setIcons(trayImages(icon_), trayImages(attentionIcon_));
        hosted_ = true;
        refresh();
        item_->show();
        return;
    }
    if (tray_)
        return;
    tray_ = std::make_unique<QSystemTrayIcon>();
    refresh();
    tray_->setContextMenu(&menu_);
    // Without a display there is no tray to show the icon in.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        tray_->show();
}

QString StatusMenu::label(const QString& text) {
    return QString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString StatusMenu::classicToolTip(const QString& text) {
    // A QToolTip takes text that looks like markup for markup: such text goes as
    // markup that shows it as it is.
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap) : text;
}

void StatusMenu::updateItem(const Agent::MenuTexts& texts) {
    QList<TrayItem::Entry> entries;
    for (const QAction* a : menu_.actions()) {
        entries.append({drawnText(a->text()), a->isSeparator(), a->isEnabled(), a->isVisible(),
                        a->isCheckable(), a->isChecked()});
    }
    item_->setMenu(entries);
    item_->setToolTip(tr("Korvel Agent"), texts.toolTip);
    item_->setAttention(!texts.trouble.isEmpty());
}

void StatusMenu::refresh() {
    const Agent::MenuTexts texts = agent_.menuTexts();
    const QStringList lines = texts.lines();
    for (qsizetype i = 0; i < lines_.size() && i < lines.size(); ++i)
        lines_[i]->setText(label(lines[i]));
    permissionItem_->setVisible(texts.permissionVisible);
    detectItem_->setText(texts.detectText);
    detectItem_->setEnabled(texts.detectEnabled);
    loginItem_->setChecked(texts.loginChecked);
    if (hosted_)
        updateItem(texts);
    if (tray_) {
        tray_->setToolTip(classicToolTip(texts.toolTip));
        const bool attention = !texts.trouble.isEmpty();
        if (tray_->icon().cacheKey() != icon(attention).cacheKey())
            tray_->setIcon(icon(attention));
    }
    Q_EMIT refreshed(texts);
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
    // Over an open Settings dialog, whose modality would otherwise leave the window
    // under it with its buttons dead.
    if (!parent)
        parent = settingsDialog_;
    detectWindow_ = new DetectWindow(parent);
    connect(detectWindow_, &QDialog::finished, this, [this] {
        if (agent_.capture().detecting())
            agent_.toggleDetect(); // closed by the user: detection cancelled
    });
    new FrontWhenShown(*detectWindow_);
    detectWindow_->show();
}

void StatusMenu::showSettings() {
    if (settingsDialog_) { // asked from the tray again while it is open
        settingsDialog_->raise();
        settingsDialog_->activateWindow();
        return;
    }
    Settings& settings = agent_.settings();
    // The stored default stands in for a server nobody set: the field shows none.
    const bool serverSet = settings.store().contains(QStringLiteral("serverURL"));
    SettingsDialog dialog(settings.deviceId(), serverSet ? settings.serverURL() : QString(),
                          settings.deviceName(), settings.scannerLayout(), agent_.layouts());
    settingsDialog_ = &dialog;
    new FrontWhenShown(dialog);
    // What a scan from within the dialog changes, Cancel puts back.
    const Agent::ScannerChoice before = agent_.scannerChoice();
    bool found = false;
    connect(&dialog, &SettingsDialog::findFromScan, this, [this, &dialog, &found] {
        found = true;
        if (!agent_.capture().detecting())
            toggleDetect(&dialog);
    });
    // What a scan of the test code finds while the dialog is open is what Save keeps.
    connect(&agent_, &Agent::calibrated, &dialog,
            [this, &dialog] { dialog.setScannerLayout(agent_.settings().scannerLayout()); });
    const int answer = dialog.exec();
    // A detect window opened over the dialog goes with it: closed first, so that its
    // detection ends as when the operator closes it.
    if (detectWindow_ && detectWindow_->parent() == &dialog)
        detectWindow_->close();
    if (answer == QDialog::Accepted) {
        agent_.saveSettings(dialog.urlField()->text(), dialog.nameField()->text(),
                            dialog.scannerLayout());
    } else if (found) {
        agent_.restoreScannerChoice(before);
    }
    // The layouts looked at in the chooser were compiled to check them.
    if (agent_.layouts() && !agent_.capture().detecting())
        agent_.layouts()->forgetUnused();
}

void StatusMenu::showWhy() {
    if (whyDialog_)
        whyDialog_->close(); // made again: the report as it is now
    whyDialog_ = new WhyDialog(agent_.diagnosis());
    whyDialog_->setAttribute(Qt::WA_DeleteOnClose);
    new FrontWhenShown(*whyDialog_);
    whyDialog_->show();
}

void StatusMenu::toggleLogin() {
    const auto error = agent_.toggleLogin();
    refresh(); // the check mark shows the real state either way
    if (!error)
        return;
    QMessageBox box(QMessageBox::Critical, tr("Korvel Agent"),
                    tr("Start at login could not be changed."), QMessageBox::Ok);
    box.setInformativeText(*error);
    new FrontWhenShown(box);
    box.exec();
}
