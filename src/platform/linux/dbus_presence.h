#pragma once

#include "platform/desktop_presence.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

// The tray host is the owner of org.kde.StatusNotifierWatcher on the session bus.
class SniTrayHost final : public TrayHost {
  public:
    explicit SniTrayHost(QDBusConnection bus = QDBusConnection::sessionBus());
    bool present() const override { return present_; }

  private:
    QDBusServiceWatcher watcher_;
    bool present_ = false;
};

// The running agent owns the session-bus name com.korvel.Agent and answers
// org.freedesktop.Application.Activate there.
class DbusRunningAgent final : public QObject, public RunningAgent {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
  public:
    explicit DbusRunningAgent(QDBusConnection bus = QDBusConnection::sessionBus());
    ~DbusRunningAgent() override;
    bool answer(std::function<void()> onActivate) override;
    bool activate() override;

  public Q_SLOTS:
    void Activate(const QVariantMap& platformData);

  private:
    QDBusConnection bus_;
    std::function<void()> onActivate_;
    bool answering_ = false;
};
