#pragma once

#include "capture/scan_capture.h"
#include "delivery/scan_delivery.h"
#include "delivery/scan_queue.h"
#include "delivery/transport.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class Settings;

// The agent's state and start-up, without any user interface: the shell adds the
// tray menu and dialogs on top.
class Agent : public QObject {
    Q_OBJECT
  public:
    struct Ports {
        KeyboardSource& keyboard;
        Notifier& notifier;
        SoundPlayer& sounds;
    };
    struct Intervals {
        std::chrono::milliseconds tick{50};
        std::chrono::milliseconds retry{5000};
        std::chrono::milliseconds idlePoll{60000};
        std::chrono::milliseconds requestTimeout{10000};
    };

    Agent(Settings& settings, Ports ports, QString queueFolder, Intervals intervals);
    Agent(Settings& settings, Ports ports, QString queueFolder)
        : Agent(settings, ports, std::move(queueFolder), Intervals{}) {}
    ~Agent() override;

    // The start-up sequence, once. attachMenu runs where the status menu belongs.
    void start(const std::function<void()>& attachMenu = {});

    Settings& settings() { return settings_; }
    ScanCapture& capture() { return capture_; }
    ScanDelivery& delivery() { return delivery_; }
    Transport& transport() { return transport_; }
    ScanQueue* queue() { return queue_.get(); }
    const QString& queueFolder() const { return queueFolder_; }
    bool tickArmed() const { return tickTimer_.isActive(); }

    static QString defaultQueueFolder();

  private:
    void enqueueAndFlush(const QueuedScan& scan);
    void onTick();
    void onRetry();

    Settings& settings_;
    Ports ports_;
    QString queueFolder_;
    QNetworkAccessManager network_;
    Transport transport_;
    ScanDelivery delivery_;
    ScanCapture capture_;
    std::unique_ptr<ScanQueue> queue_;
    QTimer tickTimer_;
    QTimer retryTimer_;
    QTimer idleTimer_;
};
