#pragma once

#include "capture/scan_capture.h"
#include "delivery/scan_delivery.h"
#include "delivery/scan_queue.h"
#include "delivery/transport.h"
#include "platform/login_item.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

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
        LoginItem* login = nullptr; // none: starting at login is not offered
    };
    // What the status menu shows, computed when it is about to open.
    struct MenuTexts {
        QString scannerLine;
        QString queueLine;
        bool permissionVisible = false;
        QString detectText;
        bool detectEnabled = false;
        bool loginChecked = false;
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

    MenuTexts menuTexts();
    // Starts or cancels scanner detection.
    void toggleDetect();
    // Switches starting at login; the error in words when that failed.
    std::optional<QString> toggleLogin();
    // The settings dialog's Save: both values trimmed and stored, then the device is
    // registered again and waiting scans are tried at once.
    void saveSettings(const QString& serverURL, const QString& deviceName);

    Settings& settings() { return settings_; }
    ScanCapture& capture() { return capture_; }
    ScanDelivery& delivery() { return delivery_; }
    Transport& transport() { return transport_; }
    ScanQueue* queue() { return queue_.get(); }
    const QString& queueFolder() const { return queueFolder_; }
    bool tickArmed() const { return tickTimer_.isActive(); }

    static QString defaultQueueFolder();

  Q_SIGNALS:
    // Something the status menu shows may have changed: tray hosts that draw the
    // menu from its last layout must not show stale texts.
    void changed();

  private:
    void enqueueAndFlush(const QueuedScan& scan);
    void onTick();
    void onRetry();
    // What the retry timer may find changed without being told: capture and disk.
    QString problems() const;

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
    QString shownProblems_; // capture and disk trouble as last announced by changed()
};
