#include "shell/access_help.h"

#include "shell/front_when_shown.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// What packaging/70-korvel-agent.rules says.
const char* const kPackagedRule =
    R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="0536|0c2e|05e0|0a5f|05f9|080c|1eab|065a", TAG+="uaccess"
SUBSYSTEM=="tty", KERNEL=="ttyACM*", ATTRS{idVendor}=="0536|0c2e|05e0|0a5f|05f9|080c|1eab|065a", TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1"
SUBSYSTEM=="input", KERNEL=="event*", ENV{ID_INPUT_KEYBOARD}=="1", TAG+="uaccess")";

const char* const kApplyCommand = "sudo udevadm control --reload && sudo udevadm trigger "
                                  "--subsystem-match=input --subsystem-match=hidraw "
                                  "--subsystem-match=tty";

// The rule lines of a rule file's text, without its comments.
QStringList ruleLines(const QString& rules) {
    QStringList lines = rules.trimmed().split(QLatin1Char('\n'));
    lines.removeIf([](const QString& line) { return line.startsWith(QLatin1Char('#')); });
    return lines;
}

} // namespace

QString udevRuleFor(const QString& vidPid) {
    static const QRegularExpression form(QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})$"));
    const QRegularExpressionMatch m = form.match(vidPid);
    if (!m.hasMatch())
        return {};
    // udev compares attributes as text: the input device's id/vendor and id/product
    // are four lower-case digits. The input device has them whatever its bus (USB,
    // Bluetooth), unlike the USB device above it.
    const auto hex = [&m](int i) { return m.captured(i).toLower().rightJustified(4, u'0'); };
    return QStringLiteral(
               "# Korvel Agent: lets the user whose session is in front at the seat read the\n"
               "# device %1:%2 (the barcode scanner, by USB or Bluetooth, in keyboard, HID POS\n"
               "# or USB serial mode) and no other keyboard.\n"
               "# Save as /etc/udev/rules.d/%3, where it replaces the packaged rule,\n"
               "# then load it and apply it to the devices already plugged in:\n"
               "#   sudo udevadm control --reload\n"
               "#   sudo udevadm trigger --subsystem-match=input --subsystem-match=hidraw "
               "--subsystem-match=tty\n"
               "SUBSYSTEM==\"input\", KERNEL==\"event*\", ATTRS{id/vendor}==\"%1\", "
               "ATTRS{id/product}==\"%2\", TAG+=\"uaccess\"\n"
               // The same scanner in HID POS or USB serial mode: the USB device's ids.
               "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\", "
               "TAG+=\"uaccess\"\n"
               "SUBSYSTEM==\"tty\", KERNEL==\"ttyACM*\", ATTRS{idVendor}==\"%1\", "
               "ATTRS{idProduct}==\"%2\", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n")
        .arg(hex(1), hex(2), QLatin1String(kPackagedRuleName));
}

QStringList udevRuleFolders() {
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/lib/udev/rules.d"),
            QStringLiteral("/usr/lib/udev/rules.d")};
}

QString installedUdevRule(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(QLatin1String(kPackagedRuleName));
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

AccessHelpDialog::AccessHelpDialog(const QString& scanner, QWidget* parent,
                                   const QStringList& ruleFolders)
    : QDialog(parent) {
    setWindowTitle(tr("Allow keyboard access"));
    auto* page = new QWidget;
    content_ = new QVBoxLayout(page);
    const QString name = QLatin1String(kPackagedRuleName);
    const QString local = QStringLiteral("/etc/udev/rules.d/") + name;

    addText(tr("Let Korvel Agent read the scanner"), true);
    addText(tr("Korvel Agent reads the key events of keyboards to see what the barcode scanner "
               "types. It only reads them: typing keeps working everywhere. An administrator of "
               "this station grants the access with a udev rule, in these steps."));
    // Installed (by the package, or copied already): what is left is applying it.
    const QString installed = installedUdevRule(ruleFolders);
    const QString lets =
        tr("It lets whoever's session is in front at this station read every keyboard (read "
           "only), which choosing the scanner by scanning needs, and scanners of known makers "
           "in HID POS or USB serial mode:");
    if (installed.isEmpty()) {
        addText(tr("1. Install the rule. The korvel-agent package installs it as "
                   "/lib/udev/rules.d/%1; without the package, copy it from the source folder:")
                    .arg(name));
        addCommand(QStringLiteral("sudo cp packaging/%1 /etc/udev/rules.d/").arg(name));
        addText(lets);
    } else {
        addText(tr("The rule is installed already, as %1.").arg(installed));
        addText(lets);
    }
    for (const QString& line : ruleLines(QLatin1String(kPackagedRule)))
        addCommand(line);
    int step = installed.isEmpty() ? 2 : 1;
    const int applyStep = step;
    addText(tr("%1. Apply it to the keyboards plugged in already:").arg(step++));
    addCommand(QLatin1String(kApplyCommand));
    addText(tr("%1. Wait up to 5 seconds: Korvel Agent notices the access by itself, and its menu "
               "or window shows the scanner instead. If it does not, plug the scanner in again.")
                .arg(step++));

    addText(tr("Only the scanner (optional)"), true);
    const QString rule = udevRuleFor(scanner);
    if (rule.isEmpty()) {
        addText(tr("Once the scanner is chosen, this help gives the commands that let only it be "
                   "read. Or give its VID:PID as lsusb shows it: korvel-agent --udev-rule "
                   "VID:PID prints that rule; saved as %1 it replaces the packaged one.")
                    .arg(local));
    } else {
        // udevRuleFor took only hexadecimal digits: the command holds nothing else.
        const QString device = scanner.toLower();
        addText(
            tr("%1. Replace the rule with one for the scanner %2 alone:").arg(step++).arg(device));
        addCommand(QStringLiteral("korvel-agent --udev-rule %1 | sudo tee %2").arg(device, local));
        addText(tr("That writes these rules (keyboard, HID POS and USB serial mode):"));
        for (const QString& line : ruleLines(rule))
            addCommand(line);
        addText(tr("%1. Apply it as in step %2:").arg(step++).arg(applyStep));
        addCommand(QLatin1String(kApplyCommand));
        addText(tr("No other keyboard can then be read, and detection finds only this device. "
                   "Keyboards readable before may stay so until they are plugged in again or the "
                   "station restarts."));
    }
    addText(tr("Adding the account to the input group is no substitute: it lets the account read "
               "every input device, passwords typed anywhere included, for good and from every "
               "login, remote ones too."));
    content_->addStretch();

    auto* scroll = new QScrollArea;
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);

    // As large as the steps need, but never larger than the screen: the rest scrolls,
    // and the OK button stays in reach.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const int width = qMin(640, available.width() * 9 / 10);
    const int pageWidth = width - 60; // the dialog's margins and a scroll bar
    const int wanted =
        page->hasHeightForWidth() ? page->heightForWidth(pageWidth) : page->sizeHint().height();
    resize(width, qMin(wanted + buttons->sizeHint().height() + 60, available.height() * 85 / 100));
}

void AccessHelpDialog::addText(const QString& text, bool heading) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (heading) {
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
    }
    content_->addWidget(label);
    texts_.append(text);
}

void AccessHelpDialog::addCommand(const QString& command) {
    auto* text = new QLabel(command);
    text->setWordWrap(true); // a copy still gets the line whole
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setFrameShape(QFrame::StyledPanel);
    text->setMargin(4);
    text->setAutoFillBackground(true);
    text->setBackgroundRole(QPalette::Base);
    auto* copy = new QPushButton(tr("Copy"));
    copy->setAutoDefault(false); // Enter still means OK
    copy->setToolTip(tr("Copy this line, to paste it into a terminal"));
    connect(copy, &QPushButton::clicked, this, [copy, command] {
        QGuiApplication::clipboard()->setText(command);
        copy->setText(tr("Copied"));
        QTimer::singleShot(2000, copy, [copy] { copy->setText(tr("Copy")); });
    });
    auto* row = new QHBoxLayout;
    row->addWidget(text, 1);
    row->addWidget(copy, 0, Qt::AlignTop);
    content_->addLayout(row);
    commands_.append(command);
    copyButtons_.append(copy);
}

void showInputAccessHelp(const QString& scanner, QWidget* parent) {
    AccessHelpDialog dialog(scanner, parent);
    new FrontWhenShown(dialog);
    dialog.exec();
}
