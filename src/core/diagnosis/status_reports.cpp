#include "core/diagnosis/status_reports.h"

#include "core/delivery/transport.h"
#include "core/logging.h"
#include "core/settings.h"

#include <QJsonArray>

StatusReports::StatusReports(Transport& transport, Settings& settings,
                             std::function<QJsonObject()> report,
                             std::chrono::milliseconds interval)
    : transport_(transport), settings_(settings), report_(std::move(report)) {
    timer_.setInterval(interval);
    connect(&timer_, &QTimer::timeout, this, [this] { send(report_()); });
}

void StatusReports::registered() {
    registered_ = true;
    send(report_());
}

void StatusReports::consider(const QJsonObject& report) {
    if (registered_ && essence(report) != lastSent_)
        send(report);
}

// What a change is told for: the problems, and whether the chosen scanner is there.
QJsonObject StatusReports::essence(const QJsonObject& report) {
    QJsonValue connected;
    for (const QJsonValue device : report.value(QLatin1String("devices")).toArray()) {
        if (device[QLatin1String("chosen")].toBool())
            connected = device[QLatin1String("connected")];
    }
    return {{QStringLiteral("problems"), report.value(QLatin1String("problems"))},
            {QStringLiteral("connected"), connected}};
}

void StatusReports::send(const QJsonObject& report) {
    if (refused_ || !settings_.sendStatus())
        return;
    lastSent_ = essence(report);
    timer_.start(); // the next one a whole interval after this
    transport_.post(QStringLiteral("/api/devices/") + settings_.deviceId() +
                        QStringLiteral("/status"),
                    report, [this](qint64 status, const QJsonObject&, const Transport::Failure&) {
                        if (status != 404 && status != 405)
                            return;
                        refused_ = true;
                        timer_.stop();
                        qCInfo(lcServer) << "the server takes no status reports (HTTP status"
                                         << status << "): none are sent until the next start";
                    });
}
