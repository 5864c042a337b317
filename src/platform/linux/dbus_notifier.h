#pragma once

#include "platform/notifier.h"

#include <QDBusConnection>

// Notifications over org.freedesktop.Notifications on the session bus. Each is a
// new one (replaces_id 0). Without a bus or a notification server nothing shows.
class DbusNotifier final : public Notifier {
  public:
    explicit DbusNotifier(QDBusConnection bus = QDBusConnection::sessionBus());
    void notify(const QString& title, const QString& body) override;

  private:
    QDBusConnection bus_;
};
