#pragma once

#include <QString>

#include <optional>

// Starting the agent when the user logs in.
class LoginItem {
  public:
    virtual ~LoginItem() = default;
    virtual bool enabled() = 0;
    // nullopt on success, else what went wrong, in words for the operator.
    virtual std::optional<QString> setEnabled(bool on) = 0;
};
