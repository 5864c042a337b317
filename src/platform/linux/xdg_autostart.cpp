#include "platform/linux/xdg_autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kEntryName = QStringLiteral("korvel-agent.desktop");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether an entry starts its program: not Hidden, not switched off for GNOME.
bool startsProgram(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inEntry || eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed().toLower();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

// The installed application entry, else the copy built into the program from the
// same file, so the entry's text lives in one place only.
QByteArray applicationEntry() {
    const QString installed =
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, kEntryName);
    QByteArray text = installed.isEmpty() ? QByteArray() : readAll(installed);
    if (text.isEmpty())
        text = readAll(QStringLiteral(":/korvel/") + kEntryName);
    return text;
}

} // namespace

XdgAutostart::XdgAutostart(QString exec) : exec_(std::move(exec)) {}

QString XdgAutostart::userEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + kEntryName;
}

QString XdgAutostart::systemEntryPath() {
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString path = dir + QStringLiteral("/autostart/") + kEntryName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QString XdgAutostart::execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : program)
        quote = quote || reserved.contains(c);
    QString arg = program;
    if (quote) {
        QString inner;
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                inner += QLatin1Char('\\');
            inner += c;
        }
        arg = QLatin1Char('"') + inner + QLatin1Char('"');
    }
    // Then the rules of a string value, and '%' that would start a field code.
    QString value;
    for (const QChar c : arg) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return value;
}

bool XdgAutostart::enabled() {
    const QString user = userEntryPath();
    if (QFileInfo(user).isFile())
        return startsProgram(user);
    const QString system = systemEntryPath();
    return !system.isEmpty() && startsProgram(system);
}

std::optional<QString> XdgAutostart::setEnabled(bool on) {
    const QString system = systemEntryPath();
    const bool systemStarts = !system.isEmpty() && startsProgram(system);
    if (on)
        return systemStarts ? removeUserEntry() : writeUserEntry(false);
    return systemStarts ? writeUserEntry(true) : removeUserEntry();
}

QByteArray XdgAutostart::entryText(bool hidden) const {
    QByteArray out;
    bool inEntry = false;
    for (const QByteArray& line : applicationEntry().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('['))
            inEntry = trimmed == "[Desktop Entry]";
        const QByteArray key = trimmed.left(trimmed.indexOf('=')).trimmed();
        if (inEntry && (key == "Exec" || key == "TryExec" || key == "Hidden" ||
                        key.startsWith("X-GNOME-Autostart") || key.startsWith("X-KDE-autostart") ||
                        key == "X-LXQt-Need-Tray"))
            continue; // written below, for this program
        if (trimmed.isEmpty())
            continue;
        out += line + '\n';
        if (trimmed == "[Desktop Entry]") {
            out += "Exec=" + execValue(exec_).toUtf8() + '\n';
            // The agent lives in the tray: start it once the panel is there.
            out += "X-KDE-autostart-after=panel\n"
                   "X-LXQt-Need-Tray=true\n"
                   "X-GNOME-Autostart-Delay=2\n";
            out += hidden ? "Hidden=true\n" : "X-GNOME-Autostart-enabled=true\n";
        }
    }
    return out;
}

std::optional<QString> XdgAutostart::writeUserEntry(bool hidden) const {
    const QString path = userEntryPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QCoreApplication::translate("XdgAutostart", "Could not create the folder %1.")
            .arg(folder);
    const QByteArray text = entryText(hidden);
    if (!text.contains("[Desktop Entry]"))
        return QCoreApplication::translate("XdgAutostart",
                                           "The application's desktop entry %1 was not found.")
            .arg(kEntryName);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(text) != text.size() || !file.commit())
        return QCoreApplication::translate("XdgAutostart", "Could not write %1: %2")
            .arg(path, file.errorString());
    return std::nullopt;
}

std::optional<QString> XdgAutostart::removeUserEntry() const {
    const QString path = userEntryPath();
    if (!QFileInfo::exists(path) || QFile::remove(path))
        return std::nullopt;
    return QCoreApplication::translate("XdgAutostart", "Could not remove %1.").arg(path);
}
