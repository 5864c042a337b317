#include "platform/linux/xdg_autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

XdgAutostart::XdgAutostart(QString entryPath, QString exec)
    : path_(std::move(entryPath)), exec_(std::move(exec)) {}

QString XdgAutostart::defaultEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/korvel-agent.desktop");
}

bool XdgAutostart::enabled() {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed().toLower();
        if (key == "Hidden" && value == "true")
            return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false")
            return false;
    }
    return true;
}

std::optional<QString> XdgAutostart::setEnabled(bool on) {
    if (!on) {
        if (!QFile::exists(path_) || QFile::remove(path_))
            return std::nullopt;
        return QStringLiteral("Could not remove %1.").arg(path_);
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not create the folder %1.").arg(folder);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not write %1: %2").arg(path_, file.errorString());
    QString exec = exec_;
    if (exec.contains(QLatin1Char(' ')))
        exec = QLatin1Char('"') + exec + QLatin1Char('"');
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Korvel Agent\n"
                                         "Comment=Delivers barcode scans to the scan server\n"
                                         "Exec=%1\n"
                                         "Icon=korvel-agent\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(exec);
    file.write(entry.toUtf8());
    if (!file.commit())
        return QStringLiteral("Could not write %1: %2").arg(path_, file.errorString());
    return std::nullopt;
}
