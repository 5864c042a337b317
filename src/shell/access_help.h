#pragma once

#include <QString>

class QWidget;

// The packaged udev rule's file name: a rule of that name in /etc/udev/rules.d
// replaces the one the package installs in /lib/udev/rules.d.
inline constexpr const char* kPackagedRuleName = "70-korvel-agent.rules";

// A udev rule that lets the user whose session is in front read one device only,
// given as "VID:PID" (hexadecimal, either case); empty when that is no VID:PID.
QString udevRuleFor(const QString& vidPid);

// How to let the agent read the keyboards on Linux, with the exact commands and,
// for a chosen scanner (its device key; empty: none), the rule for it alone.
void showInputAccessHelp(const QString& scanner, QWidget* parent = nullptr);
// The same text, for the dialog and its tests.
QString inputAccessHelpText(const QString& scanner);
