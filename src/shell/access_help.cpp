#include "shell/access_help.h"

#include <QMessageBox>

const char* inputAccessHelpText() {
    return "<p>Korvel Agent reads the key events of your keyboards to see what the barcode "
           "scanner types. It only reads them: typing keeps working everywhere.</p>"
           "<p><b>Either</b> let the person at this workstation read keyboards with the udev "
           "rule that comes with Korvel Agent:</p>"
           "<pre>sudo cp packaging/70-korvel-agent.rules /etc/udev/rules.d/\n"
           "sudo udevadm control --reload\n"
           "sudo udevadm trigger --subsystem-match=input</pre>"
           "<p>(from the source folder; an installed package has put the rule in "
           "/usr/lib/udev/rules.d: "
           "then only the last two commands are needed). Korvel Agent notices the new "
           "access within 5 seconds.</p>"
           "<p><b>Or</b> add your account to the input group, then log out and in again:</p>"
           "<pre>sudo usermod -aG input $USER</pre>";
}

void showInputAccessHelp(QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Allow Input Monitoring"));
    box.setIcon(QMessageBox::Information);
    box.setText(QStringLiteral("Allow Korvel Agent to read the scanner"));
    box.setTextFormat(Qt::RichText);
    box.setInformativeText(QString::fromUtf8(inputAccessHelpText()));
    box.setStandardButtons(QMessageBox::Ok);
    box.raise();
    box.activateWindow();
    box.exec();
}
