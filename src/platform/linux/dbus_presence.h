#pragma once

#include "platform/desktop_presence.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

// A tray host is there while org.kde.StatusNotifierWatcher is owned on the session bus
// and says a host registered with it: a watcher whose panel crashed stays behind with
// no host, and an item registered there shows nowhere.
class SniTrayHost final : public QObject, public TrayHost {
    Q_OBJECT
  public:
    explicit SniTrayHost(QDBusConnection bus = QDBusConnection::sessionBus());
    bool present() const override { return present_; }
    bool hostless() const override { return watched_ && !present_; }

  private Q_SLOTS:
    void hostRegistered();
    void hostUnregistered();

  private:
    void follow(bool now);
    // Asks the watcher whether a host is registered; the answer counts unless
    // something newer came first.
    void askWatcher();

    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
    bool watched_ = false; // the watcher is on the bus
    bool present_ = false;
    quint64 news_ = 0; // counts the watcher's comings, goings, signals and questions
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
