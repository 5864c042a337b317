#pragma once

#include "core/capture/scan_capture.h"
#include "core/delivery/http_client.h"
#include "core/delivery/scan_delivery.h"
#include "core/delivery/scan_queue.h"
#include "core/delivery/scan_stamps.h"
#include "core/delivery/transport.h"
#include "core/diagnosis/report.h"
#include "core/diagnosis/status_reports.h"
#include "platform/device_survey.h"
#include "platform/login_item.h"
#include "platform/service_manager.h"
#include "platform/session.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Settings;
namespace scan_meaning {
struct Fault;
}

// The agent's state and start-up, without any user interface: the shell adds the
// tray menu and dialogs on top.
class Agent : public QObject {
    Q_OBJECT
  public:
    struct Ports {
        KeyboardSource& keyboard;
        Notifier& notifier;
        SoundPlayer& sounds;
        LoginItem* login = nullptr;         // none: starting at login is not offered
        LoginSession* session = nullptr;    // none: the keyboards are read whenever they can be
        KeyboardLayouts* layouts = nullptr; // none: scanners are read with the US table
        // The desktop's own keyboard layout, preferred by calibration among equals.
        std::function<QString()> desktopLayout = {};
        // Layouts of their own for another thread, where the chosen scanner's keys are
        // read with every layout when they may be the test code for another one. None:
        // only the layout set is tried.
        std::function<std::unique_ptr<KeyboardLayouts>()> workerLayouts = {};
        // Scanners that send whole scans through an interface of their own.
        std::vector<ScanSource*> scanSources = {};
        // Where the support report finds the devices, one survey per interface.
        QList<DeviceSurvey*> devices = {};
        ServiceManager* service = nullptr; // none: no service manager hears of the state
    };
    // What the status menu shows: kept current as the state changes, and taken
    // afresh (with the input access and login states) when the menu is about to open.
    struct MenuTexts {
        QString scannerLine;
        QString queueLine;
        QString serverLine; // the server's host and whether it was reached
        bool permissionVisible = false;
        QString detectText;
        bool detectEnabled = false;
        bool loginChecked = false;
        // What keeps scans from arriving, in words; empty while all is well. The
        // tray icon shows it as an attention state.
        QString trouble;
        // The scanner, the trouble (or else the queue line), one a line.
        QString toolTip;
        // The status lines in their order: the tray menu and the status window
        // show each of them.
        QStringList lines() const { return {scannerLine, queueLine, serverLine}; }
    };
    struct Intervals {
        std::chrono::milliseconds tick{50};
        std::chrono::milliseconds retry{5000};
        std::chrono::milliseconds idlePoll{60000};
        std::chrono::milliseconds requestTimeout{10000}; // without progress
        std::chrono::milliseconds requestLimit{30000};   // in all
        // Detection ends by itself after this long without a scan.
        std::chrono::milliseconds detectIdle{120000};
        std::chrono::milliseconds statusReport{300000};
    };

    // Loads the queue file in queueFolder (made if needed); nothing is sent yet.
    Agent(Settings& settings, Ports ports, const QString& queueFolder, Intervals intervals);
    Agent(Settings& settings, Ports ports, const QString& queueFolder)
        : Agent(settings, ports, queueFolder, Intervals{}) {}
    ~Agent() override;

    // The start-up sequence, once. attachMenu runs where the status menu belongs;
    // without one the detection hint is given here, else the shell gives it.
    void start(const std::function<void()>& attachMenu = {});

    MenuTexts menuTexts();
    // Reads the states that cost file system work (input access, starting at login);
    // done by the retry timer and when the menu is about to open, never per scan.
    void takeSlowStates();
    // Starts or cancels scanner detection.
    void toggleDetect();
    // Tells a first-time operator the next step that works (keyboard access, then
    // the scanner, then the server), in the words of where the shell shows the agent:
    // the system tray, or else the status window.
    void showFirstSteps(bool inTray);
    // Where the shell shows the agent now (a tray host came or went): the steps
    // still to come name that place.
    void setShownInTray(bool inTray) { inTray_ = inTray; }
    // Switches starting at login; the error in words when that failed.
    std::optional<QString> toggleLogin();
    // The scanner as chosen and calibrated: what detection changes.
    struct ScannerChoice {
        QString key, name, layout;
        int pause = 0;
        bool operator==(const ScannerChoice&) const = default;
    };
    ScannerChoice scannerChoice() const;
    // Puts back a choice taken before: a detection the operator then cancelled.
    void restoreScannerChoice(const ScannerChoice& choice);
    // The settings dialog's Save: both values trimmed and stored, then the device is
    // registered again and waiting scans are tried at once. A scanner layout given
    // is stored too and read from the next key on.
    void saveSettings(const QString& serverURL, const QString& deviceName,
                      const std::optional<QString>& scannerLayout = std::nullopt);

    // A scan whose GS1 data fails its checks, told at once, before the server has
    // answered: the refusal sound and the fault, naming its AI. It is still delivered
    // as it was read; the server decides.
    void badScan(const QueuedScan& scan, const scan_meaning::Fault& fault);
    // The chosen scanner sounds its own error indication, where it has one: the
    // server refused a scan.
    void scannerError();
    // The support report, the devices looked at now.
    QJsonObject diagnosis();
    // The report's first problem, or that scans arrive: the one-line state.
    QString summary() { return Diagnosis::summary(diagnosis()); }

    Settings& settings() { return settings_; }
    ScanCapture& capture() { return capture_; }
    ScanQueue& queue() { return queue_; }
    KeyboardLayouts* layouts() const { return ports_.layouts; }

    static QString defaultQueueFolder();

  Q_SIGNALS:
    // Something the status menu shows may have changed: tray hosts that draw the
    // menu from its last layout must not show stale texts. Once per turn of the
    // event loop at most, after the work that caused it (a scan's POST) is under way.
    void changed();
    // A scan of the test code set the scanner up (its layout, its pace).
    void calibrated();

  private:
    void announceChange();
    DiagnosisFacts diagnosisFacts();
    // The state as a report: the server and the service manager hear of changes.
    void review();
    void enqueueAndFlush(const QueuedScan& scan);
    void scannerChosen(const QString& key, const QString& name, const QString& text);
    // Reads the keys with every layout on a thread of its own; the capture hears back.
    void recheckLayouts(const std::vector<KeyStroke>& keys);
    void scannerCalibrated(const QString& key, const QString& name,
                           const Calibration::Result& result);
    void onTick();
    void onRetry();
    // Closes or reopens capture as the login session leaves or comes to the front.
    void followSession();
    // What the retry timer may find changed without being told: capture and disk.
    QString problems() const;
    // While the station is not set up: the next step that works, by state.
    enum class Step { access, detect, server };
    QString stepText(Step step) const;
    void hintNextStep();
    bool serverSet() const;
    // A layout setting the system does not know is told once per value.
    void tellUnknownLayout();

    Settings& settings_;
    Ports ports_;
    HttpClient http_;
    Transport transport_;
    ScanDelivery delivery_;
    ScanQueue queue_;
    ScanCapture capture_;
    QTimer tickTimer_;
    QTimer retryTimer_;
    QTimer idleTimer_;
    QTimer prepareTimer_; // readies calibration while detecting
    QTimer detectTimer_;  // ends a detection that no scan came to
    std::unique_ptr<QThread> recheckThread_;
    QTimer reviewTimer_; // a change looked at within a second, not per scan
    StatusReports statusReports_;
    QString serviceStatus_;
    std::map<QString, qint64> scans_; // delivered since start, by device key
    QString shownProblems_;           // capture and disk trouble as last announced by changed()
    ScanStamps stamps_;
    ScanCapture::Access access_ = ScanCapture::Access::denied;
    bool loginEnabled_ = false;
    bool changePending_ = false;
    bool settingUp_ = false; // a first-run hint was given: the next steps follow
    bool hintedDetect_ = false;
    bool inTray_ = false; // where the first steps point: the tray, or the status window
    QString toldLayout_;
};
