#include "core/settings.h"

#include "core/private_files.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QUuid>

namespace {
const QString kOrganization = QStringLiteral("Korvel");
const QString kApplication = QStringLiteral("Korvel Agent");
} // namespace

Settings::Settings(std::function<QString()> hostName)
    : store_(QSettings::NativeFormat, QSettings::UserScope, kOrganization, kApplication),
      hostName_(std::move(hostName)) {
    makePrivateFolder(QFileInfo(store_.fileName()).absolutePath());
    makePrivateFile(store_.fileName());
}

void Settings::save() {
    store_.sync();
    makePrivateFile(store_.fileName()); // a first write creates it with the umask's mode
}

QString Settings::text(const char* key, const QString& fallback) const {
    const QVariant v = store_.value(QLatin1String(key));
    return v.isValid() ? v.toString() : fallback;
}

QVariant Settings::own(const char* key) const {
    // One file copied to every station must not give them all one identity.
    store_.setFallbacksEnabled(false);
    const QVariant v = store_.value(QLatin1String(key));
    store_.setFallbacksEnabled(true);
    return v;
}

bool Settings::reload() {
    const auto values = [this] {
        QVariantHash all;
        for (const QString& key : store_.allKeys())
            all.insert(key, store_.value(key));
        return all;
    };
    const QVariantHash before = values();
    store_.sync();
    host_.reset();
    return values() != before;
}

QString Settings::storedScanner() {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, kOrganization,
                          kApplication);
    return store.value(QStringLiteral("scanner")).toString();
}

QString Settings::serverURL() const {
    return text("serverURL", QLatin1String(defaultServerURL));
}

QString Settings::proxyURL() const {
    return text("proxyURL", QString());
}

QString Settings::deviceName() const {
    const QVariant v = store_.value(QStringLiteral("deviceName"));
    if (v.isValid())
        return v.toString();
    // Asked once, and again only when the settings are looked at afresh (every few
    // seconds), never for each scan that shows the menu's lines.
    if (!host_)
        host_ = hostName_ ? hostName_() : QString();
    return host_->isEmpty() ? QStringLiteral("Linux station") : *host_;
}

QString Settings::scanner() const {
    return text("scanner", QString());
}

QString Settings::scannerName() const {
    return text("scannerName", QString());
}

QString Settings::scannerLayout() const {
    return text("scannerLayout", QString());
}

bool Settings::sendScanDetails() const {
    return store_.value(QStringLiteral("sendScanDetails"), true).toBool();
}

int Settings::scannerPause() const {
    bool ok = false;
    const int ms = text("scannerPause", QString()).toInt(&ok);
    return ok && ms > 0 ? ms : 100;
}

QString Settings::deviceId() {
    const QVariant v = own("deviceId");
    if (v.isValid())
        return v.toString();
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    store_.setValue(QStringLiteral("deviceId"), id);
    save(); // the identifier names this workstation for good
    return id;
}

bool Settings::sendStatus() const {
    const QString value = text("sendStatus", QString()).trimmed().toLower();
    return value != QLatin1String("false") && value != QLatin1String("0") &&
           value != QLatin1String("no") && value != QLatin1String("off");
}

qint64 Settings::alertedSession() const {
    bool ok = false;
    const qint64 n = own("alertedSession").toLongLong(&ok); // announced for this identity
    return ok ? n : 0;
}

void Settings::setText(const char* key, const QString& value) {
    // An administrator's value saved unchanged stays the administrator's: later
    // changes to it still reach this user.
    if (own(key).isValid() || store_.value(QLatin1String(key)) != QVariant(value))
        store_.setValue(QLatin1String(key), value);
}

void Settings::setServerURL(const QString& url) {
    setText("serverURL", url);
    save();
}

void Settings::setDeviceName(const QString& name) {
    setText("deviceName", name);
    save();
}

void Settings::setScanner(const QString& key, const QString& name) {
    setText("scanner", key);
    setText("scannerName", name);
    save();
}

void Settings::setScannerLayout(const QString& layout) {
    setText("scannerLayout", layout);
    save();
}

void Settings::setScannerPause(int ms) {
    setText("scannerPause", QString::number(ms));
    save();
}

void Settings::setAlertedSession(qint64 session) {
    store_.setValue(QStringLiteral("alertedSession"), session);
    save();
}

QString Settings::localHostName() {
    QFile info(QStringLiteral("/etc/machine-info"));
    if (info.open(QIODevice::ReadOnly)) {
        while (!info.atEnd()) {
            const QByteArray line = info.readLine().trimmed();
            if (!line.startsWith("PRETTY_HOSTNAME="))
                continue;
            QByteArray value = line.mid(16);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
                value = value.mid(1, value.size() - 2);
            if (!value.isEmpty())
                return QString::fromUtf8(value);
        }
    }
    return QSysInfo::machineHostName();
}
