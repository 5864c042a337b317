#pragma once

#include "platform/login_item.h"

#include <QByteArray>

// XDG autostart under one entry name, korvel-agent.desktop. What counts is the
// user's entry in $XDG_CONFIG_HOME/autostart if there is one, else the first in
// $XDG_CONFIG_DIRS/autostart (an administrator's, for every user).
class XdgAutostart final : public LoginItem {
  public:
    // exec: the program the entry starts.
    explicit XdgAutostart(QString exec);

    static QString userEntryPath();
    // The first system-wide entry that exists, or an empty text.
    static QString systemEntryPath();
    // A program path as the Exec key needs it: quoted where it holds a reserved
    // character, escaped as a desktop entry string.
    static QString execValue(const QString& program);

    bool enabled() override;
    // On: the system-wide entry where it starts the agent already, else a user
    // entry. Off: a user entry with Hidden=true over an enabled system-wide one,
    // else no user entry.
    std::optional<QString> setEnabled(bool on) override;

  private:
    QByteArray entryText(bool hidden) const;
    std::optional<QString> writeUserEntry(bool hidden) const;
    std::optional<QString> removeUserEntry() const;

    QString exec_;
};
