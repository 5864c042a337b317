#pragma once

#include <QList>
#include <QString>

#include <optional>

// What the system says about one device that may be the scanner, read when asked.
// Facts the system does not give are left empty (null in a report).
struct DeviceFacts {
    QString interface; // how it is read: "keyboard" (evdev key events), ...
    QString node;      // the device node the agent reads
    quint32 vendor = 0;
    quint32 product = 0;
    QString name;
    bool readable = false;              // this user may open the node
    std::optional<bool> inhibited;      // the kernel delivers none of its events
    std::optional<bool> authorized;     // false: its bus keeps it switched off
    std::optional<int> battery;         // percent
    std::optional<bool> grabbedByOther; // another program holds it exclusively
};

// The devices of one interface, looked at afresh on every call (never a cached
// answer: support asks because something changed).
class DeviceSurvey {
  public:
    virtual ~DeviceSurvey() = default;
    virtual QList<DeviceFacts> devices() = 0;
};
