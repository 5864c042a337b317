#pragma once

#include "platform/device_survey.h"
#include "platform/scan_source.h"

#include <QString>

#include <map>
#include <memory>

class NodeWatch;

// Bar code scanners in USB serial mode (CDC ACM, ttyACMN under `root`, normally "/"):
// each scan is its bytes, then CR, LF or CR LF. Only the chosen scanner's ports are
// opened, and during detection those of known scanner makers: opening a port resets
// some boards, and other programs own theirs. Raw mode, at the speed the port has.
class SerialSource final : public ScanSource, public DeviceSurvey {
  public:
    explicit SerialSource(QString root);
    ~SerialSource() override;

    ScannerInterface interface() const override { return ScannerInterface::serial; }
    bool open(Handler handler, Wants wants) override;
    void close() override;
    void follow() override;
    bool connected(quint32 vendor, quint32 product) override;
    bool reading(quint32 vendor, quint32 product) const override;
    // Every USB serial port plugged in, for support: "serial" devices. No port is
    // opened to look (opening resets some boards).
    QList<DeviceFacts> devices() override;

    // "ttyACMN", nothing else.
    static bool isAcmNode(const QString& name);

  private:
    struct Port;
    struct Identity {
        quint32 vendor = 0;
        quint32 product = 0;
        QString name;
    };

    QString sysTty() const { return root_ + QStringLiteral("/sys/class/tty/"); }
    QString dev() const { return root_ + QStringLiteral("/dev/"); }
    Identity identity(const QString& node) const;
    bool wanted(const Identity& identity) const;
    void scanPorts();
    void openPort(const QString& node);
    void readPort(const QString& node);

    const QString root_;
    Handler handler_;
    Wants wants_;
    std::unique_ptr<NodeWatch> watch_;
    std::map<QString, std::unique_ptr<Port>> ports_;
};
