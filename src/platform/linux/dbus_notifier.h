#pragma once

#include "platform/notifier.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

// Notifications over org.freedesktop.Notifications on the session bus. Each is a
// new one (replaces_id 0). Without a bus or a notification server nothing shows.
class DbusNotifier final : public QObject, public Notifier {
    Q_OBJECT
  public:
    explicit DbusNotifier(QDBusConnection bus = QDBusConnection::sessionBus());
    void notify(const QString& title, const QString& body) override;
    // Notifications from now on offer their default action (a click on the
    // notification), named `label` where the server shows it; it runs `open`.
    void setDefaultAction(const QString& label, std::function<void()> open);

  private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

  private:
    QDBusConnection bus_;
    QString label_;
    std::function<void()> open_;
    QList<uint> ours_; // the server's ids of our notifications still shown, latest last
};
