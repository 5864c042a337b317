#include "shell/status_window.h"

#include "shell/front_when_shown.h"
#include "shell/status_menu.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

// Beside the settings, not in them: where a window was is no setting to preset.
struct PlaceStore : QSettings {
    PlaceStore()
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Korvel"),
                    QStringLiteral("Korvel Agent window")) {}
};

const QString kGeometryKey = QStringLiteral("statusWindow/geometry");

} // namespace

StatusWindow::StatusWindow(StatusMenu& menu) : menu_(menu) {
    setWindowTitle(tr("Korvel Agent"));
    setWindowIcon(menu.icon(false));
    auto* layout = new QVBoxLayout(this);
    linesBox_ = new QVBoxLayout;
    layout->addLayout(linesBox_);
    auto* permission = new QPushButton(this);
    bind(permission, menu.permissionItem());
    layout->addWidget(permission, 0, Qt::AlignLeft);
    auto* login = new QCheckBox(this);
    bind(login, menu.loginItem());
    layout->addWidget(login);
    auto* buttons = new QHBoxLayout;
    for (QAction* action :
         {menu.detectItem(), menu.whyItem(), menu.settingsItem(), menu.quitItem()}) {
        auto* button = new QPushButton(this);
        if (action == menu.quitItem())
            bind(button, action, [this] { return quitConfirmed(); });
        else
            bind(button, action);
        buttons->addWidget(button);
    }
    buttons->insertStretch(2);
    layout->addLayout(buttons);
    addAction(menu.settingsItem()); // its shortcut works here too
    new QShortcut(menu.quitItem()->shortcut(), this, this, [this] {
        if (quitConfirmed())
            menu_.quitItem()->trigger();
    });
    new QShortcut(QKeySequence::Cancel, this, this, &QWidget::close);
    connect(&menu, &StatusMenu::refreshed, this, &StatusWindow::show);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (isVisible())
            rememberPlace();
    });
    PlaceStore store;
    restoreGeometry(store.value(kGeometryKey).toByteArray());
}

void StatusWindow::show(const Agent::MenuTexts& texts) {
    const QStringList lines = texts.lines();
    while (lines_.size() < lines.size()) {
        auto* line = new QLabel(this);
        line->setTextFormat(Qt::PlainText); // names and scan texts as they are
        line->setWordWrap(true);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        linesBox_->addWidget(line);
        lines_.append(line);
    }
    for (qsizetype i = 0; i < lines_.size(); ++i)
        lines_[i]->setText(lines.value(i));
    setWindowIcon(menu_.icon(!texts.trouble.isEmpty()));
}

bool StatusWindow::quitConfirmed() {
    QMessageBox box(QMessageBox::Question, tr("Korvel Agent"), tr("Quit Korvel Agent?"),
                    QMessageBox::NoButton, this);
    box.setInformativeText(tr("Scans are no longer read or sent until Korvel Agent is "
                              "started again."));
    QAbstractButton* quit = box.addButton(tr("Quit"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == quit;
}

void StatusWindow::bind(QAbstractButton* button, QAction* action, std::function<bool()> asked) {
    const auto follow = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
        button->setCheckable(action->isCheckable());
        button->setChecked(action->isChecked());
    };
    follow();
    connect(action, &QAction::changed, button, follow);
    connect(button, &QAbstractButton::clicked, action, [action, follow, asked] {
        if (!asked || asked())
            action->trigger();
        follow(); // a check box shows the real state, not its own click
    });
    buttons_.append({button, action});
}

QAbstractButton* StatusWindow::buttonFor(const QAction* action) const {
    for (const auto& [button, a] : buttons_)
        if (a == action)
            return button;
    return nullptr;
}

void StatusWindow::bringToFront() {
    if (!isVisible()) {
        delete front_; // the one of an earlier showing, if the window was never exposed
        front_ = new FrontWhenShown(*this);
        QWidget::show();
    }
    raise();
    activateWindow();
}

void StatusWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide(); // the agent keeps running; a second launch shows the window again
}

void StatusWindow::hideEvent(QHideEvent* event) {
    if (!event->spontaneous())
        rememberPlace();
    QWidget::hideEvent(event);
}

void StatusWindow::rememberPlace() {
    PlaceStore store;
    store.setValue(kGeometryKey, saveGeometry());
}
