#pragma once

#include "platform/session.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QVariantMap>

// The logind session of this process, followed on the system bus through its
// "Active" property. Found once, at construction (each call bounded by
// `timeoutMs`): by its id where one is given, else by this process's id.
class LogindSession final : public QObject, public LoginSession {
    Q_OBJECT
  public:
    // sessionId: $XDG_SESSION_ID; empty: ask which session this process is in.
    LogindSession(QDBusConnection bus, const QString& sessionId, int timeoutMs = 2000);

    QString unfollowedReason() const override { return reason_; }
    bool active() const override { return active_; }

  private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

  private:
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args);
    void readActive();
    void setActive(bool active);

    QDBusConnection bus_;
    const int timeoutMs_;
    QString path_;
    QString reason_;
    bool active_ = true;
    quint64 reads_ = 0; // only the answer to the latest question counts
    QDBusServiceWatcher watcher_;
};
