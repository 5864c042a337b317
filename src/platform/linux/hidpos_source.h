#pragma once

#include "platform/device_survey.h"
#include "platform/linux/hidpos_layout.h"
#include "platform/scan_source.h"

#include <QString>

#include <map>
#include <memory>

class NodeWatch;

// Bar code scanners in HID POS mode, read through their hidraw nodes under `root`
// (normally "/"). A node is opened only when the descriptor sysfs gives for it has a
// scanner's application collection, and only for devices `wants` accepts; its input
// reports are joined into scans by that descriptor's layout. Reads on the thread that
// called open(): a scan is one report or a few, not a stream of key strokes.
class HidPosSource final : public ScanSource, public DeviceSurvey {
  public:
    explicit HidPosSource(QString root);
    ~HidPosSource() override;

    ScannerInterface interface() const override { return ScannerInterface::hidPos; }
    bool open(Handler handler, Wants wants) override;
    void close() override;
    void follow() override;
    bool connected(quint32 vendor, quint32 product) override;
    bool reading(quint32 vendor, quint32 product) const override;
    bool errorBeep(quint32 vendor, quint32 product) override;
    // Every HID POS scanner plugged in, for support: "hidPos" devices.
    QList<DeviceFacts> devices() override;

    // "hidrawN", nothing else.
    static bool isHidrawNode(const QString& name);

  private:
    struct Device {
        quint32 vendor = 0;
        quint32 product = 0;
        QString name;
    };
    struct Node;

    QString sysHidraw() const { return root_ + QStringLiteral("/sys/class/hidraw/"); }
    QString dev() const { return root_ + QStringLiteral("/dev/"); }
    Device device(const QString& node) const;
    // The node's layout when it is a scanner's; a faulty scanner descriptor is told once.
    std::optional<HidPosLayout> layoutOf(const QString& node, const Device& device);
    void scanNodes();
    void openNode(const QString& node);
    void closeNode(const QString& node);
    void readNode(const QString& node);

    const QString root_;
    Handler handler_;
    Wants wants_;
    bool wanted(const Device& device) const;
    std::unique_ptr<NodeWatch> watch_;
    std::map<QString, std::unique_ptr<Node>> nodes_;
    std::map<QString, QString> toldFaulty_; // by node: the descriptor fault told
};
