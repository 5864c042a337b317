#pragma once

#include "platform/device_survey.h"
#include "platform/linux/input_tree.h"

#include <functional>

// The keyboard-class evdev devices under a root standing in for "/", with what
// sysfs says of them: inhibited (the input device's `inhibited`), authorized (any
// `authorized` on the way up from the resolved device folder, as USB devices and
// interfaces carry it) and the battery of the HID device above it.
class SysfsDevices final : public DeviceSurvey {
  public:
    using GrabCheck = std::function<std::optional<bool>(const QString& node)>;
    // grabbed: asked per node ("eventN"); none: never known.
    explicit SysfsDevices(QString root, GrabCheck grabbed = {});

    QList<DeviceFacts> devices() override;

  private:
    std::optional<bool> authorized(const QString& deviceFolder) const;
    static std::optional<int> battery(const QString& deviceFolder);

    InputTree tree_;
    GrabCheck grabbed_;
};
