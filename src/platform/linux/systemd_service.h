#pragma once

#include "platform/service_manager.h"

// sd_notify: READY=1 and STATUS=. Started by anything but a systemd unit of type
// notify ($NOTIFY_SOCKET unset) it says nothing and costs nothing.
class SystemdService final : public ServiceManager {
  public:
    void ready() override;
    void status(const QString& line) override;
};
