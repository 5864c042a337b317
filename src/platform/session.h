#pragma once

#include <QString>

#include <functional>

// The login session the agent runs in, as the system's session manager sees it:
// whether it is the one in front on its seat. Several users may take turns at one
// station; only the agent of the user in front may read the keyboards.
class LoginSession {
  public:
    virtual ~LoginSession() = default;

    // Why the session cannot be followed (no system bus, no session manager, no
    // session for this process), in words; empty when it is followed.
    virtual QString unfollowedReason() const = 0;
    // True while the session is in front, and whenever that cannot be told: trouble
    // with the session manager never stops capture.
    virtual bool active() const = 0;

    // Called on the owner's thread after active() may have changed.
    std::function<void()> onChanged = [] {};
};
