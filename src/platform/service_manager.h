#pragma once

#include <QString>

// The service manager that started the agent, where there is one: it hears when
// the agent is ready and a one-line status (what `systemctl --user status` shows).
class ServiceManager {
  public:
    virtual ~ServiceManager() = default;
    virtual void ready() = 0;
    virtual void status(const QString& line) = 0;
};
