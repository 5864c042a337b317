#include "shell/settings_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(const QString& deviceId, const QString& serverURL,
                               const QString& deviceName, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Korvel Agent"));
    auto* message = new QLabel(QStringLiteral("Korvel Agent settings"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* informative = new QLabel(QStringLiteral("Device ID: ") + deviceId);
    informative->setTextInteractionFlags(Qt::TextSelectableByMouse);

    url_ = new QLineEdit(serverURL);
    url_->setPlaceholderText(QStringLiteral("http://192.168.1.20:3000"));
    url_->setFixedWidth(240);
    name_ = new QLineEdit(deviceName);
    auto* grid = new QWidget;
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(new QLabel(QStringLiteral("Server URL")), 0, 0);
    gridLayout->addWidget(url_, 0, 1);
    gridLayout->addWidget(new QLabel(QStringLiteral("Device name")), 1, 0);
    gridLayout->addWidget(name_, 1, 1);
    grid->setMinimumSize(340, 56);

    auto* buttons = new QDialogButtonBox;
    save_ = buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    save_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addWidget(grid);
    layout->addWidget(buttons);
    url_->setFocus(); // typed into first
}
