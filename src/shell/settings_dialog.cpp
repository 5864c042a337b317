#include "shell/settings_dialog.h"

#include "core/delivery/http_client.h"
#include "core/delivery/scan_delivery.h"
#include "core/delivery/transport.h"
#include "core/server_url.h"
#include "core/settings.h"
#include "core/trim.h"

#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace {

QLabel* hintLabel() {
    auto* label = new QLabel;
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->hide();
    return label;
}

void showHint(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
    // A wrapped hint needs more height than the dialog's minimum accounts for: the
    // dialog grows to show it whole, and shrinks back once it is gone.
    QWidget* dialog = label->window();
    if (QLayout* layout = dialog->layout(); layout && dialog->isVisible()) {
        layout->activate();
        const int height = layout->hasHeightForWidth()
                               ? layout->totalHeightForWidth(dialog->width())
                               : layout->totalSizeHint().height();
        dialog->resize(dialog->width(), qMax(height, layout->totalMinimumSize().height()));
    }
}

} // namespace

SettingsDialog::SettingsDialog(const QString& deviceId, const QString& serverURL,
                               const QString& deviceName, const QString& scannerLayout,
                               KeyboardLayouts* layouts, QWidget* parent)
    : QDialog(parent), deviceId_(deviceId), layouts_(layouts) {
    setWindowTitle(tr("Korvel Agent"));
    auto* message = new QLabel(tr("Korvel Agent settings"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    auto* informative = new QLabel(tr("Device ID: %1").arg(deviceId));
    informative->setTextInteractionFlags(Qt::TextSelectableByMouse);

    url_ = new QLineEdit(serverURL);
    url_->setPlaceholderText(QStringLiteral("http://192.168.1.20:3000"));
    url_->setFixedWidth(240);
    test_ = new QPushButton(tr("Test connection"));
    urlHint_ = hintLabel();
    urlFix_ = new QPushButton;
    urlFix_->hide();
    testResult_ = hintLabel();
    testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    name_ = new QLineEdit(deviceName);

    layout_ = new QComboBox;
    layout_->setEditable(true);
    layout_->setInsertPolicy(QComboBox::NoInsert); // typed text only finds, never adds
    layout_->setMinimumContentsLength(24);
    layout_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    addLayouts(layouts, scannerLayout.trimmed());
    auto* completer = new QCompleter(layout_->model(), layout_);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    layout_->setCompleter(completer);
    layoutHint_ = hintLabel();
    layoutRow_ = new QHBoxLayout;
    layoutRow_->setContentsMargins(0, 0, 0, 0);
    layoutRow_->addWidget(layout_, 1);
    find_ = new QPushButton(tr("Find from a scan\u2026"));
    find_->setAutoDefault(false);
    connect(find_, &QPushButton::clicked, this, &SettingsDialog::findFromScan);
    layoutRow_->addWidget(find_);

    auto* urlRow = new QHBoxLayout;
    urlRow->setContentsMargins(0, 0, 0, 0);
    urlRow->addWidget(url_);
    urlRow->addWidget(test_);
    urlRow->addStretch();

    auto* grid = new QWidget;
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    const auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    gridLayout->addWidget(label(tr("&Server URL"), url_), 0, 0);
    gridLayout->addLayout(urlRow, 0, 1);
    gridLayout->addWidget(urlHint_, 1, 1);
    gridLayout->addWidget(urlFix_, 2, 1, Qt::AlignLeft);
    gridLayout->addWidget(testResult_, 3, 1);
    gridLayout->addWidget(label(tr("Device &name"), name_), 4, 0);
    gridLayout->addWidget(name_, 4, 1);
    gridLayout->addWidget(label(tr("Scanner &layout"), layout_), 5, 0);
    gridLayout->addLayout(layoutRow_, 5, 1);
    gridLayout->addWidget(layoutHint_, 6, 1);
    gridLayout->setColumnStretch(1, 1);
    grid->setMinimumSize(340, 56);

    // In the dialog before Save is made the default: only then does the dialog
    // know it as the button Enter returns to once another button had the focus.
    auto* buttons = new QDialogButtonBox(this);
    save_ = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addWidget(grid);
    layout->addWidget(buttons);
    save_->setDefault(true);
    // Neither helper button takes Enter from the fields when it had the focus once.
    for (QPushButton* button : {test_, urlFix_})
        button->setAutoDefault(false);

    connect(url_, &QLineEdit::textChanged, this, &SettingsDialog::checkURL);
    connect(urlFix_, &QPushButton::clicked, this,
            [this] { url_->setText(serverURLWithScheme(url_->text())); });
    connect(test_, &QPushButton::clicked, this, &SettingsDialog::testConnection);
    connect(layout_, &QComboBox::currentIndexChanged, this, &SettingsDialog::checkLayout);
    connect(layout_, &QComboBox::editTextChanged, this, &SettingsDialog::checkLayout);
    checkURL();
    checkLayout();
    url_->setFocus(); // typed into first
}

SettingsDialog::~SettingsDialog() {
    ++testAttempt_; // a test still under way reports to nobody
    delete http_;
}

void SettingsDialog::addLayouts(KeyboardLayouts* layouts, const QString& current) {
    // The US table is what an empty setting reads with; "us" is the same table.
    layout_->addItem(tr("US (default)"), current == u"us" ? current : QString());
    QSet<QString> seen{QString(), QStringLiteral("us")};
    QList<KeyboardLayouts::Choice> choices;
    for (KeyboardLayouts::Choice choice :
         layouts ? layouts->available() : QList<KeyboardLayouts::Choice>{}) {
        choice.name = choice.name.trimmed();
        if (seen.contains(choice.name)) // the adapter leaves out "custom" already
            continue;
        seen.insert(choice.name);
        choices.append(choice);
    }
    QHash<QString, int> described;
    for (const KeyboardLayouts::Choice& choice : choices)
        ++described[choice.description];
    for (const KeyboardLayouts::Choice& choice : choices) {
        // Every entry is found by its text: two of one description show their names.
        const QString text = choice.description.isEmpty() ? choice.name
                             : described.value(choice.description) > 1
                                 ? tr("%1 (%2)").arg(choice.description, choice.name)
                                 : choice.description;
        layout_->addItem(text, choice.name);
        layout_->setItemData(layout_->count() - 1, choice.name, Qt::ToolTipRole);
    }
    int index = layout_->findData(current);
    if (index < 0) {
        // Kept as it is stored, not replaced; said plainly when it cannot be used.
        const bool known = layouts && layouts->decoder(current);
        layout_->addItem(known ? elided(current)
                               : tr("%1 (not known to this system)").arg(elided(current)),
                         current);
        index = layout_->count() - 1;
        if (!known)
            unknownLayout_ = index;
    }
    layout_->setCurrentIndex(index);
}

int SettingsDialog::chosenLayout() const {
    const QString typed = layout_->currentText().trimmed();
    if (layout_->currentIndex() >= 0 && layout_->itemText(layout_->currentIndex()) == typed)
        return layout_->currentIndex();
    const int byText = layout_->findText(typed, Qt::MatchFixedString);
    return byText >= 0 ? byText : layout_->findData(typed); // "ch(fr)" is found too
}

QString SettingsDialog::scannerLayout() const {
    const int index = chosenLayout();
    return index < 0 ? QString() : layout_->itemData(index).toString();
}

void SettingsDialog::checkURL() {
    QString hint;
    QString fix;
    switch (serverURLProblem(url_->text())) {
    case ServerURLProblem::none:
        break;
    case ServerURLProblem::empty:
        hint = tr("Enter the scan server's address, e.g. http://192.168.1.20:3000.");
        break;
    case ServerURLProblem::noScheme:
        hint = tr("The address needs http:// or https:// in front.");
        fix = serverURLWithScheme(url_->text());
        break;
    case ServerURLProblem::wrongScheme:
        hint = tr("Only http:// and https:// addresses work.");
        break;
    case ServerURLProblem::noHost:
        hint = tr("The address lacks the server's name.");
        break;
    case ServerURLProblem::malformed:
        hint = tr("This is not a usable address.");
        break;
    }
    urlUsable_ = hint.isEmpty();
    showHint(urlHint_, hint);
    urlFix_->setText(tr("Use %1").arg(elided(fix, 40)));
    urlFix_->setVisible(!fix.isEmpty());
    test_->setEnabled(urlUsable_);
    showHint(testResult_, {}); // said of another address
    ++testAttempt_;
    save_->setEnabled(urlUsable_ && layoutUsable_);
}

void SettingsDialog::checkLayout() {
    const int index = chosenLayout();
    QString hint;
    if (index < 0) {
        hint = tr("No layout of that name: choose one from the list.");
    } else if (index == unknownLayout_) {
        hint = tr("This layout is not known to this system: scans are read as US until another "
                  "is chosen.");
    } else {
        // Compiled before it can be saved: a name the system lists may still fail.
        const QString name = layout_->itemData(index).toString();
        if (!name.isEmpty() && name != u"us" && !(layouts_ && layouts_->decoder(name)))
            hint = tr("This layout cannot be used on this system: choose another.");
    }
    layoutUsable_ = index >= 0 && (index == unknownLayout_ || hint.isEmpty());
    showHint(layoutHint_, hint);
    save_->setEnabled(urlUsable_ && layoutUsable_);
}

void SettingsDialog::accept() {
    if (save_->isEnabled()) // Enter in a field must not save what Save refuses
        QDialog::accept();
}

void SettingsDialog::testConnection() {
    if (!urlUsable_)
        return;
    if (!http_) // through the proxy the agent uses
        http_ = new HttpClient([] { return Settings().proxyURL(); });
    const quint64 attempt = ++testAttempt_;
    showHint(testResult_, tr("Testing\u2026"));
    Transport transport([url = url_->text()] { return url; }, *http_, requestTimeout_);
    ScanDelivery::sendRegistration(
        transport, deviceId_, trimBlanks(name_->text()),
        [this, attempt](qint64 status, const QJsonObject& answer,
                        const Transport::Failure& failure) {
            if (attempt != testAttempt_)
                return;
            // The menu's words, with what only this test can add: why nothing came, or
            // what the server said. A time-out's own words ("canceled") would mislead.
            QString text = ScanDelivery::answerText(status, failure);
            const QString error = answer.value(QLatin1String("error")).toString();
            if (text.isEmpty())
                text = tr("Reachable: the server accepted this station.");
            else if (status == 0 && failure.kind != Transport::Failure::silent &&
                     !failure.detail.isEmpty())
                text = tr("%1: %2").arg(text, elided(failure.detail, 160));
            else if (status != 0 && !error.isEmpty())
                text = tr("%1 (%2)").arg(text, elided(error, 160));
            showHint(testResult_, text);
        });
}

void SettingsDialog::setScannerLayout(const QString& scannerLayout) {
    const QString name = scannerLayout.trimmed();
    int index = name.isEmpty() ? 0 : layout_->findData(name);
    if (index < 0) { // a layout found by a scan that the list lacks is kept, not replaced
        layout_->addItem(elided(name), name);
        index = layout_->count() - 1;
    }
    layout_->setCurrentIndex(index);
    checkLayout();
}
