#pragma once

#include "platform/device_survey.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QStringList>

#include <map>
#include <optional>

// The support report: what the agent knows of itself, the server, the queue and
// the devices, and the problems that follow from it, in sentences a support
// person can act on, most urgent first. Built the same way by a running agent
// and by `--diagnose` without one.
struct DiagnosisFacts {
    bool running = false;
    qint64 pid = 0;
    QString version;

    QString serverURL;     // without user name and password
    bool serverSet = true; // false: nobody set one (the default is tried)
    bool serverUsable = true;
    std::optional<qint64> lastStatus; // of the last answer; 0: no HTTP answer
    std::optional<qint64> lastAnswerSeconds;

    qsizetype waiting = 0;
    std::optional<qint64> oldestSeconds;

    bool accessDenied = false;
    bool paused = false;    // another user's session is in front
    QString captureProblem; // in words, as the menu shows it

    QString scanner; // the chosen scanner's key "VVVV:PPPP"; empty: none
    QString scannerName;
    QList<DeviceFacts> devices;
    // Per device key: seconds since its last key and scans delivered since start.
    std::map<QString, qint64> lastKeySeconds;
    std::map<QString, qint64> scans;
};

class Diagnosis {
    Q_DECLARE_TR_FUNCTIONS(Diagnosis)

  public:
    static QJsonObject report(const DiagnosisFacts& facts);
    static QStringList problems(const DiagnosisFacts& facts);
    // "Scans arriving" when nothing is in the way, else the first problem.
    static QString summary(const QJsonObject& report);
    // A battery at or below this (percent) is told.
    static constexpr int kLowBattery = 15;
};
