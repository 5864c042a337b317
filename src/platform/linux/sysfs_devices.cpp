#include "platform/linux/sysfs_devices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Null when the file is missing or unreadable.
std::optional<QByteArray> attribute(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.read(64).trimmed();
}

std::optional<bool> flag(const QString& path) {
    const auto value = attribute(path);
    if (!value)
        return std::nullopt;
    return *value != "0";
}

} // namespace

SysfsDevices::SysfsDevices(QString root, GrabCheck grabbed)
    : tree_(std::move(root)), grabbed_(std::move(grabbed)) {}

QList<DeviceFacts> SysfsDevices::devices() {
    QList<DeviceFacts> found;
    for (const QString& node : tree_.keyboards()) {
        const InputTree::Identity identity = tree_.identity(node);
        const QString folder = tree_.sysInput() + node + QStringLiteral("/device");
        DeviceFacts facts;
        facts.interface = QStringLiteral("keyboard");
        facts.node = QDir::cleanPath(tree_.devInput() + node);
        if (!QFileInfo::exists(facts.node))
            continue; // not made yet, or going away: not connected

        facts.vendor = identity.vendor;
        facts.product = identity.product;
        facts.name = identity.name;
        const int fd =
            ::open(QFile::encodeName(facts.node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        facts.readable = fd >= 0;
        if (fd >= 0)
            ::close(fd);
        facts.inhibited = flag(folder + QStringLiteral("/inhibited")).value_or(false);
        facts.authorized = authorized(folder);
        facts.battery = battery(folder);
        if (grabbed_)
            facts.grabbedByOther = grabbed_(node);
        found << facts;
    }
    return found;
}

std::optional<bool> SysfsDevices::authorized(const QString& deviceFolder) const {
    // Up the real tree (the `device` link resolved) to sys/devices: the USB interface
    // and the USB device above it each have a say.
    const QString top =
        QFileInfo(tree_.root() + QStringLiteral("/sys/devices")).canonicalFilePath();
    QString folder = QFileInfo(deviceFolder).canonicalFilePath();
    if (top.isEmpty() || !folder.startsWith(top + QLatin1Char('/')))
        return std::nullopt;
    std::optional<bool> verdict;
    for (; folder.size() > top.size(); folder = QFileInfo(folder).path()) {
        const auto here = flag(folder + QStringLiteral("/authorized"));
        if (here == false)
            return false;
        if (here)
            verdict = true;
    }
    return verdict;
}

std::optional<int> SysfsDevices::battery(const QString& deviceFolder) {
    // The kernel puts a HID device's battery under the HID device, the input
    // device's parent.
    const QDir supplies(deviceFolder + QStringLiteral("/device/power_supply"));
    for (const QString& supply : supplies.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const auto capacity = attribute(supplies.filePath(supply) + QStringLiteral("/capacity"));
        const int percent = capacity ? capacity->toInt(&ok) : 0;
        if (ok)
            return percent;
    }
    return std::nullopt;
}
