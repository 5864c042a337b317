#include "core/diagnosis/report.h"

#include "core/capture/scan_capture.h"

#include <QJsonArray>

namespace {

QJsonValue orNull(const std::optional<qint64>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonValue orNull(const std::optional<bool>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QString hex4(quint32 v) {
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

template <typename Map> QJsonValue lookup(const Map& map, const QString& key) {
    const auto it = map.find(key);
    return it == map.end() ? QJsonValue() : QJsonValue(it->second);
}

} // namespace

QStringList Diagnosis::problems(const DiagnosisFacts& f) {
    QStringList out;
    if (!f.running)
        out << tr("Korvel Agent is not running for this user: start it from the application "
                  "menu or log in again.");
    if (f.paused)
        out << tr("Another user is at this station: the scanner is read only while this "
                  "user's session is in front.");
    else if (f.accessDenied)
        out << tr("Korvel Agent may not read the keyboards: an administrator must install the "
                  "package's udev rule or the one korvel-agent --udev-rule prints.");
    else if (!f.captureProblem.isEmpty())
        out << tr("The keyboards cannot be read: %1.").arg(f.captureProblem);

    const DeviceFacts* chosen = nullptr;
    for (const DeviceFacts& d : f.devices) {
        if (ScanCapture::deviceKey(d.vendor, d.product) == f.scanner)
            chosen = &d;
    }
    const QString scanner = f.scannerName + QStringLiteral(" (") + f.scanner + QLatin1Char(')');
    if (f.scanner.isEmpty()) {
        out << tr("No scanner is chosen: choose Detect scanner in the tray menu or the Korvel "
                  "Agent window, then scan any barcode.");
    } else if (!chosen) {
        out << tr("The scanner %1 is not connected: check its cable, or that it is switched on "
                  "and paired.")
                   .arg(scanner);
    } else {
        if (chosen->authorized == false)
            out << tr("The scanner %1 is blocked by the system's USB authorisation: an "
                      "administrator must allow the device.")
                       .arg(scanner);
        if (chosen->inhibited == true)
            out << tr("The system has switched off the input of the scanner %1 (inhibited): "
                      "end the program that did so, or unplug and plug in the scanner.")
                       .arg(scanner);
        if (!chosen->readable && !f.accessDenied && !f.paused)
            out << tr("The scanner %1 may not be read by this user: an administrator must "
                      "install the package's udev rule.")
                       .arg(scanner);
        if (chosen->grabbedByOther == true)
            out << tr("Another program holds the scanner %1 exclusively: close that program.")
                       .arg(scanner);
        if (chosen->battery && *chosen->battery <= kLowBattery)
            out << tr("The scanner %1's battery is at %2 %: charge it or change its batteries.")
                       .arg(scanner)
                       .arg(*chosen->battery);
    }

    if (!f.serverUsable) {
        out << tr("The server address %1 is not usable: correct it in Settings.").arg(f.serverURL);
    } else if (f.lastStatus && *f.lastStatus == 0) {
        out << tr("The scan server %1 does not answer: check the network and that the server "
                  "runs.")
                   .arg(f.serverURL);
    } else if (f.lastStatus && (*f.lastStatus < 200 || *f.lastStatus >= 300) &&
               *f.lastStatus != 400) {
        out << tr("The scan server %1 answers with error %2: tell its administrator.")
                   .arg(f.serverURL)
                   .arg(*f.lastStatus);
    } else if (!f.serverSet) {
        out << tr("No scan server is set: enter its address in Settings.");
    }
    if (f.waiting > 0 && f.oldestSeconds && *f.oldestSeconds >= 60)
        out << tr("%n scan(s) wait to be sent, the oldest for %1 minutes.", nullptr,
                  static_cast<int>(f.waiting))
                   .arg(*f.oldestSeconds / 60);
    return out;
}

QJsonObject Diagnosis::report(const DiagnosisFacts& f) {
    QJsonObject agent{{QStringLiteral("running"), f.running},
                      {QStringLiteral("version"), f.version}};
    agent.insert(QStringLiteral("pid"), f.running ? QJsonValue(f.pid) : QJsonValue());

    QJsonObject server{{QStringLiteral("url"), f.serverURL},
                       {QStringLiteral("lastStatus"), orNull(f.lastStatus)},
                       {QStringLiteral("secondsSinceAnswer"), orNull(f.lastAnswerSeconds)}};
    server.insert(QStringLiteral("reachable"),
                  f.lastStatus ? QJsonValue(*f.lastStatus != 0) : QJsonValue());

    const QJsonObject queue{{QStringLiteral("waiting"), static_cast<qint64>(f.waiting)},
                            {QStringLiteral("oldestSeconds"), orNull(f.oldestSeconds)}};

    QJsonArray devices;
    bool chosenListed = false;
    for (const DeviceFacts& d : f.devices) {
        const QString key = ScanCapture::deviceKey(d.vendor, d.product);
        const bool chosen = !f.scanner.isEmpty() && key == f.scanner;
        chosenListed = chosenListed || chosen;
        devices.append(QJsonObject{
            {QStringLiteral("interface"), d.interface},
            {QStringLiteral("node"), d.node},
            {QStringLiteral("vendor"), hex4(d.vendor)},
            {QStringLiteral("product"), hex4(d.product)},
            {QStringLiteral("name"), d.name},
            {QStringLiteral("chosen"), chosen},
            {QStringLiteral("connected"), true},
            {QStringLiteral("readable"), d.readable},
            {QStringLiteral("inhibited"), orNull(d.inhibited)},
            {QStringLiteral("authorized"), orNull(d.authorized)},
            {QStringLiteral("battery"), d.battery ? QJsonValue(*d.battery) : QJsonValue()},
            {QStringLiteral("secondsSinceKey"), lookup(f.lastKeySeconds, key)},
            {QStringLiteral("scans"), f.running ? lookup(f.scans, key).toInteger(0) : QJsonValue()},
            {QStringLiteral("grabbedByOther"), orNull(d.grabbedByOther)},
        });
    }
    if (!f.scanner.isEmpty() && !chosenListed) {
        // Listed all the same: "not connected" is the answer support looks for.
        const QStringList ids = f.scanner.split(QLatin1Char(':'));
        devices.append(QJsonObject{
            {QStringLiteral("interface"), QJsonValue()},
            {QStringLiteral("node"), QJsonValue()},
            {QStringLiteral("vendor"), ids.value(0).toLower()},
            {QStringLiteral("product"), ids.value(1).toLower()},
            {QStringLiteral("name"), f.scannerName},
            {QStringLiteral("chosen"), true},
            {QStringLiteral("connected"), false},
            {QStringLiteral("readable"), false},
            {QStringLiteral("inhibited"), QJsonValue()},
            {QStringLiteral("authorized"), QJsonValue()},
            {QStringLiteral("battery"), QJsonValue()},
            {QStringLiteral("secondsSinceKey"), lookup(f.lastKeySeconds, f.scanner)},
            {QStringLiteral("scans"),
             f.running ? lookup(f.scans, f.scanner).toInteger(0) : QJsonValue()},
            {QStringLiteral("grabbedByOther"), QJsonValue()},
        });
    }
    return {{QStringLiteral("agent"), agent},
            {QStringLiteral("server"), server},
            {QStringLiteral("queue"), queue},
            {QStringLiteral("devices"), devices},
            {QStringLiteral("problems"), QJsonArray::fromStringList(problems(f))}};
}

QString Diagnosis::summary(const QJsonObject& report) {
    const QJsonArray problems = report.value(QLatin1String("problems")).toArray();
    return problems.isEmpty() ? tr("Scans arriving") : problems.first().toString();
}
