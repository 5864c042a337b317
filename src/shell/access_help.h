#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QPushButton;

// The packaged udev rule's file name: a rule of that name in /etc/udev/rules.d
// replaces the one the package installs in /lib/udev/rules.d.
inline constexpr const char* kPackagedRuleName = "70-korvel-agent.rules";

// A udev rule that lets the user whose session is in front read one device only,
// given as "VID:PID" (hexadecimal, either case); empty when that is no VID:PID.
QString udevRuleFor(const QString& vidPid);

// Where the packaged rule is installed: the folders udev reads rules from.
QStringList udevRuleFolders();
// The packaged rule's path in the first of `folders` that has it; empty: none does.
QString installedUdevRule(const QStringList& folders = udevRuleFolders());

// How an administrator lets the agent read the keyboards: numbered steps in the
// order they are done, each command with a Copy button, and for a chosen scanner
// (its device key; empty: none) how to let it alone be read. Starts from applying
// the rule where one of `ruleFolders` has it installed. Scrolls where the screen is
// too small for it.
class AccessHelpDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AccessHelpDialog(const QString& scanner, QWidget* parent = nullptr,
                              const QStringList& ruleFolders = udevRuleFolders());

    // The texts of the steps and notes, in order, and the commands with their
    // Copy buttons, in order.
    const QStringList& texts() const { return texts_; }
    const QStringList& commands() const { return commands_; }
    const QList<QPushButton*>& copyButtons() const { return copyButtons_; }
    QPushButton* okButton() const { return ok_; }

  private:
    void addText(const QString& text, bool heading = false);
    void addCommand(const QString& command);

    class QVBoxLayout* content_;
    QStringList texts_;
    QStringList commands_;
    QList<QPushButton*> copyButtons_;
    QPushButton* ok_;
};

// Shows the dialog modally.
void showInputAccessHelp(const QString& scanner, QWidget* parent = nullptr);
