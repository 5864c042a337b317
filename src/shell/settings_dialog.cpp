#include "shell/settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(const QString& deviceId, const QString& serverURL,
                               const QString& deviceName, const QString& scannerLayout,
                               const QList<KeyboardLayouts::Choice>& layouts, QWidget* parent)
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

    layout_ = new QComboBox;
    layout_->addItem(QStringLiteral("US (default)"), QString());
    for (const KeyboardLayouts::Choice& choice : layouts)
        layout_->addItem(choice.description + QStringLiteral(" (") + choice.name + QLatin1Char(')'),
                         choice.name);
    variant_ = new QLineEdit;
    variant_->setPlaceholderText(QStringLiteral("variant, e.g. nodeadkeys"));
    setScannerLayout(scannerLayout);
    find_ = new QPushButton(tr("Find from a scan\u2026"));
    find_->setAutoDefault(false);
    connect(find_, &QPushButton::clicked, this, &SettingsDialog::findFromScan);
    auto* layoutRow = new QHBoxLayout;
    layoutRow->setContentsMargins(0, 0, 0, 0);
    layoutRow->addWidget(layout_, 2);
    layoutRow->addWidget(variant_, 1);
    layoutRow->addWidget(find_);
    auto* grid = new QWidget;
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(new QLabel(QStringLiteral("Server URL")), 0, 0);
    gridLayout->addWidget(url_, 0, 1);
    gridLayout->addWidget(new QLabel(QStringLiteral("Device name")), 1, 0);
    gridLayout->addWidget(name_, 1, 1);
    gridLayout->addWidget(new QLabel(QStringLiteral("Scanner layout")), 2, 0);
    gridLayout->addLayout(layoutRow, 2, 1);
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

void SettingsDialog::setScannerLayout(const QString& scannerLayout) {
    const QRegularExpressionMatch current =
        QRegularExpression(QStringLiteral(R"(^\s*([^()\s]*)\s*(?:\((.*)\))?\s*$)"))
            .match(scannerLayout);
    const QString name = current.hasMatch() ? current.captured(1) : scannerLayout.trimmed();
    int index = layout_->findData(name);
    if (index < 0) { // a layout this system does not list is kept, not replaced
        layout_->addItem(name, name);
        index = layout_->count() - 1;
    }
    layout_->setCurrentIndex(index);
    variant_->setText(current.captured(2).trimmed());
}

QString SettingsDialog::scannerLayout() const {
    const QString name = layout_->currentData().toString();
    const QString variant = variant_->text().trimmed();
    if (name.isEmpty() || variant.isEmpty())
        return name; // the US table has no variants
    return name + QLatin1Char('(') + variant + QLatin1Char(')');
}
