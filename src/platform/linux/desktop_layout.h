#pragma once

#include <QString>

// The desktop's own keyboard layout in the form "de" or "de(nodeadkeys)" (the first
// of several): the XKB_DEFAULT_LAYOUT and XKB_DEFAULT_VARIANT environment, else the
// system's keyboard configuration (/etc/default/keyboard under `root`). Empty when
// neither names one.
QString desktopKeyboardLayout(const QString& root = QStringLiteral("/"));
