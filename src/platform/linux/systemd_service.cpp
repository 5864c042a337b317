#include "platform/linux/systemd_service.h"

#include <systemd/sd-daemon.h>

void SystemdService::ready() {
    sd_notify(0, "READY=1");
}

void SystemdService::status(const QString& line) {
    // One line: a status holding a line feed would end the assignment early.
    QByteArray text = line.toUtf8();
    text.replace('\n', ' ');
    sd_notify(0, ("STATUS=" + text).constData());
}
