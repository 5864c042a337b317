#pragma once

#include "platform/login_item.h"

// XDG autostart: a desktop entry in $XDG_CONFIG_HOME/autostart.
class XdgAutostart final : public LoginItem {
  public:
    // entryPath: the autostart file; exec: the program to start.
    XdgAutostart(QString entryPath, QString exec);

    // $XDG_CONFIG_HOME/autostart/korvel-agent.desktop
    static QString defaultEntryPath();

    bool enabled() override;
    std::optional<QString> setEnabled(bool on) override;

  private:
    QString path_;
    QString exec_;
};
