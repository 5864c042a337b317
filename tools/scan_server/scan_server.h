#pragma once

#include <QDateTime>
#include <QHash>
#include <QHttpServer>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <functional>

// The reference scan server: receives scans, registrations and state requests,
// runs recording sessions per device and closes idle ones by itself.
class ScanServer : public QObject {
    Q_OBJECT
  public:
    struct Options {
        std::chrono::milliseconds idleClose{std::chrono::minutes(10)};
        std::function<void(const QString&)> log = [](const QString&) {};
    };

    explicit ScanServer(Options options);

    // 0 when it cannot listen there.
    quint16 listen(const QHostAddress& address, quint16 port);

    struct Scan {
        QString deviceId;
        QString value;
        qint64 ts = 0;
        qint64 session = 0; // 0: outside any session
    };
    const QList<Scan>& scans() const { return scans_; }
    QString deviceName(const QString& deviceId) const { return names_.value(deviceId); }
    qint64 openSession(const QString& deviceId) const;
    // The last status report the station sent; empty when none came.
    QJsonObject lastStatus(const QString& deviceId) const { return statuses_.value(deviceId); }

    void setIdleClose(std::chrono::milliseconds limit);
    // Closes sessions whose last scan is older than the idle limit.
    void closeIdleSessions();

  private:
    struct Session {
        qint64 number = 0;
        QString station;
        qint64 scans = 0;
        QDateTime lastActivity;
    };

    QHttpServerResponse scan(const QHttpServerRequest& request);
    QHttpServerResponse registerDevice(const QString& id, const QHttpServerRequest& request);
    QHttpServerResponse recordStatus(const QString& id, const QHttpServerRequest& request);
    QHttpServerResponse state(const QString& id) const;

    Options options_;
    QHttpServer http_;
    QTimer idleTimer_;
    QList<Scan> scans_;
    QSet<QString> seen_; // device, ts, value of every recorded scan: resends are no new scans
    QHash<QString, QString> names_;
    QHash<QString, Session> sessions_;
    QHash<QString, qint64> idleClosed_;
    QHash<QString, QJsonObject> statuses_; // the last status report of each device
    qint64 lastSession_ = 0;
};
