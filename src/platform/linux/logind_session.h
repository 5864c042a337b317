#pragma once

#include "platform/session.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

// The logind session of this process, followed on the system bus through its
// "Active" property. Found as logind means it: "auto" (the caller's session, or
// else its user's display session, which is what a program the desktop starts as
// a user service belongs to), then by the id given, then by this process's id;
// each call bounded by `timeoutMs`. Looked up again whenever logind comes onto the
// bus, and every `retryMs` while it does not answer. While logind is away the
// last state it told holds.
class LogindSession final : public QObject, public LoginSession {
    Q_OBJECT
  public:
    // sessionId: $XDG_SESSION_ID, or empty.
    LogindSession(QDBusConnection bus, const QString& sessionId, int timeoutMs = 2000,
                  int retryMs = 5000);

    QString unfollowedReason() const override { return reason_; }
    bool active() const override { return active_; }

  private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

  private:
    // Looks the session up and, when found, follows it; `told`: a failure is warned
    // of here (at construction the owner says it).
    void find(bool told);
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args);
    void readActive();
    void setActive(bool active);

    QDBusConnection bus_;
    const QString sessionId_;
    const int timeoutMs_;
    QString path_;
    QString reason_;
    bool active_ = true;
    quint64 reads_ = 0; // only the answer to the latest question counts
    QDBusServiceWatcher watcher_;
    QTimer retry_;
};
