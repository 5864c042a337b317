#include "shell/diagnose_command.h"

#include "core/agent.h"
#include "core/delivery/http_client.h"
#include "core/delivery/queue_store.h"
#include "core/diagnosis/report.h"
#include "core/diagnosis/report_socket.h"
#include "core/settings.h"
#include "platform/linux/evdev_keyboard.h"
#include "platform/linux/hidpos_source.h"
#include "platform/linux/serial_source.h"
#include "platform/linux/sysfs_devices.h"
#include "shell/translation.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>

namespace {

// What can be told without the agent: its settings, its queue file, the devices.
QJsonObject reportWithoutAgent() {
    Settings settings;
    HttpClient client;
    const Transport transport([&settings] { return settings.serverURL(); }, client);
    DiagnosisFacts f;
    f.version = QStringLiteral(KORVEL_VERSION);
    f.serverURL = transport.displayBase();
    f.serverSet = settings.store().contains(QStringLiteral("serverURL"));
    f.serverUsable = transport.usable();
    if (const auto queue =
            QueueStore::read(Agent::defaultQueueFolder() + QStringLiteral("/queue.json"))) {
        f.waiting = queue->scans.size();
        if (!queue->scans.isEmpty())
            f.oldestSeconds = std::max<qint64>(
                0, (QDateTime::currentMSecsSinceEpoch() - queue->scans.first().ts) / 1000);
    }
    const QString root = EvdevKeyboard::inputRootFromEnvironment();
    f.accessDenied = !EvdevKeyboard(root).accessGranted();
    f.scanner = settings.scanner();
    f.scannerName = settings.scannerName();
    f.devices = SysfsDevices(root).devices(); // nothing open: a grab cannot be told
    f.devices += HidPosSource(root).devices();
    f.devices += SerialSource(root).devices();
    return Diagnosis::report(f);
}

} // namespace

int printDiagnosis(char* program) {
    int count = 1;
    const QCoreApplication app(count, &program);
    installTranslations();
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel Agent"));
    QJsonObject report;
    if (const auto answer = ReportSocket::ask(ReportSocket::defaultPath(), 5000)) {
        report = QJsonDocument::fromJson(*answer).object();
        if (report.isEmpty())
            std::fputs("korvel-agent: the running agent's report could not be read; this one is "
                       "made without it\n",
                       stderr);
    }
    if (report.isEmpty())
        report = reportWithoutAgent();
    const QByteArray json = QJsonDocument(report).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
