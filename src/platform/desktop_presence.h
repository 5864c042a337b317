#pragma once

#include <functional>

// How the agent shows itself on the desktop: whether a tray host is there to hold
// its icon, and the running agent's answer to a later launch of the agent.

// A host for tray items (StatusNotifierItem) on the desktop. Panels often start
// after the agent, and a host may come and go while it runs.
class TrayHost {
  public:
    virtual ~TrayHost() = default;
    virtual bool present() const = 0;
    // A watcher for tray items is there but no host draws them (a panel that crashed
    // left it behind): items given to it, the classic tray's too, show nowhere.
    virtual bool hostless() const { return false; }
    // Called on the owner's thread after present() may have changed.
    std::function<void()> onChanged = [] {};
};

// The one running agent, reachable by later launches of the agent. The one-agent
// lock decides who runs; this only carries the request to come to the front.
class RunningAgent {
  public:
    virtual ~RunningAgent() = default;
    // For the agent that runs: answers later launches for as long as this object
    // lives, calling `onActivate` for each. False when it cannot (no session bus).
    virtual bool answer(std::function<void()> onActivate) = 0;
    // For a later launch: true once the running agent has been asked to come to
    // the front and has confirmed it.
    virtual bool activate() = 0;
};
