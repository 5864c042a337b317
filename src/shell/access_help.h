#pragma once

class QWidget;

// How to let the agent read the keyboards on Linux, with the exact commands.
void showInputAccessHelp(QWidget* parent = nullptr);
// The same text, for the dialog and its tests.
const char* inputAccessHelpText();
