#include "shell/access_help.h"

#include "shell/front_when_shown.h"

#include <QMessageBox>
#include <QRegularExpression>

namespace {

// What packaging/70-korvel-agent.rules says, shown beside the narrow rule.
const char* const kPackagedRule =
    R"(SUBSYSTEM=="input", KERNEL=="event*", ENV{ID_INPUT_KEYBOARD}=="1", TAG+="uaccess")";

QString pre(const QString& text) {
    // Wrapped where the dialog ends; a copy still gets each line whole.
    return QStringLiteral("<pre style=\"white-space: pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</pre>");
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
               "# device %1:%2 (the barcode scanner, by USB or Bluetooth) and no other keyboard.\n"
               "# Save as /etc/udev/rules.d/%3, where it replaces the packaged rule,\n"
               "# then load it and apply it to the devices already plugged in:\n"
               "#   sudo udevadm control --reload\n"
               "#   sudo udevadm trigger --subsystem-match=input\n"
               "SUBSYSTEM==\"input\", KERNEL==\"event*\", ATTRS{id/vendor}==\"%1\", "
               "ATTRS{id/product}==\"%2\", TAG+=\"uaccess\"\n")
        .arg(hex(1), hex(2), QLatin1String(kPackagedRuleName));
}

QString inputAccessHelpText(const QString& scanner) {
    const QString name = QLatin1String(kPackagedRuleName);
    const QString local = QStringLiteral("/etc/udev/rules.d/") + name;
    const QString rule = udevRuleFor(scanner);
    QString text =
        QStringLiteral(
            "<p>Korvel Agent reads the key events of keyboards to see what the barcode scanner "
            "types. It only reads them: typing keeps working everywhere. An administrator "
            "grants the access with a udev rule; Korvel Agent notices it within 5 seconds.</p>"
            "<p><b>Every keyboard</b>, the rule the package installs as /lib/udev/rules.d/") +
        name +
        QStringLiteral(": whoever's session is in front at this station may read every "
                       "keyboard. Choosing the scanner by scanning needs this.</p>") +
        pre(QLatin1String(kPackagedRule)) +
        QStringLiteral("<p>For keyboards plugged in before the rule was installed (without "
                       "the package, from the source folder, first <code>sudo cp "
                       "packaging/") +
        name + QStringLiteral(" /etc/udev/rules.d/</code>):</p>") +
        pre(QStringLiteral("sudo udevadm control --reload\n"
                           "sudo udevadm trigger --subsystem-match=input"));
    if (rule.isEmpty()) {
        text += QStringLiteral("<p><b>Only the scanner</b>: once it is chosen, or with its "
                               "VID:PID as lsusb shows it, <code>korvel-agent --udev-rule "
                               "[VID:PID]</code> prints a rule that lets only that device be "
                               "read. Saved as ") +
                local +
                QStringLiteral(" it replaces the packaged rule; detection then finds only "
                               "that device.</p>");
    } else {
        text += QStringLiteral("<p><b>Only the scanner</b> ") + scanner.toHtmlEscaped() +
                QStringLiteral(": no other keyboard can be read, and detection finds only this "
                               "device. Save this rule as ") +
                local +
                QStringLiteral(", where it replaces the packaged one, then run the two "
                               "commands above:</p>") +
                pre(rule) +
                pre(QStringLiteral("korvel-agent --udev-rule ") + scanner +
                    QStringLiteral(" | sudo tee ") + local) +
                QStringLiteral("<p>Keyboards readable before may stay so until they are "
                               "plugged in again or the station restarts.</p>");
    }
    return text +
           QStringLiteral("<p>Adding the account to the <code>input</code> group is no substitute: "
                          "it lets the account read every input device, passwords typed anywhere "
                          "included, for good and from every login, remote ones too.</p>");
}

void showInputAccessHelp(const QString& scanner, QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Allow Input Monitoring"));
    box.setIcon(QMessageBox::Information);
    box.setText(QStringLiteral("Allow Korvel Agent to read the scanner"));
    box.setTextFormat(Qt::RichText);
    box.setInformativeText(inputAccessHelpText(scanner));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse); // the rule is to be copied
    box.setStandardButtons(QMessageBox::Ok);
    new FrontWhenShown(box);
    box.exec();
}
