#pragma once

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class Settings;
class Transport;

// Tells the server how the station is (the support report, which holds no scan
// text) at POST /api/devices/<id>/status: once the device is registered, whenever
// the problems or the scanner's connection change, and every `interval`. A server
// that does not know the request (404, 405) hears none until the next start; the
// setting "sendStatus" false stops them too.
class StatusReports : public QObject {
    Q_OBJECT
  public:
    StatusReports(Transport& transport, Settings& settings, std::function<QJsonObject()> report,
                  std::chrono::milliseconds interval = std::chrono::minutes(5));

    // The server answered a registration: it hears the station's state at once.
    void registered();
    // The report as it is now: sent when it differs where it matters from the last.
    void consider(const QJsonObject& report);
    // True once the server said it does not take them.
    bool refused() const { return refused_; }

  private:
    void send(const QJsonObject& report);
    static QJsonObject essence(const QJsonObject& report);

    Transport& transport_;
    Settings& settings_;
    std::function<QJsonObject()> report_;
    QTimer timer_;
    QJsonObject lastSent_; // its essence
    bool registered_ = false;
    bool refused_ = false;
};
