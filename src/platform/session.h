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
    // session for this process), in words; empty when it is followed. It may be
    // followed later, once the session manager answers.
    virtual QString unfollowedReason() const = 0;
    // True while the session is in front, and as long as that was never told.
    // Once told, the session manager's last word holds while it cannot be asked:
    // its going away never hands the keyboards to a user who is not in front.
    virtual bool active() const = 0;

    // Called on the owner's thread after active() may have changed.
    std::function<void()> onChanged = [] {};
};
