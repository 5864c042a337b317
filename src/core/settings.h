#pragma once

#include <QSettings>
#include <QString>

#include <functional>

// The agent's per-user settings. Every read goes to the store, so a value written
// anywhere is what the next read returns; a default applies only to an absent key.
class Settings {
  public:
    static constexpr const char* defaultServerURL = "http://localhost:3000";

    // hostName gives the computer's name for an unset device name (empty: none).
    explicit Settings(std::function<QString()> hostName = localHostName);

    QString serverURL() const;
    QString deviceName() const;
    QString scanner() const;
    QString scannerName() const;
    // The scanner's keyboard layout, e.g. "de" or "de(nodeadkeys)"; "" for the US table.
    QString scannerLayout() const;
    // Created on the first read (lower-case UUID) and stored at once.
    QString deviceId();
    qint64 alertedSession() const;

    void setServerURL(const QString& url);
    void setDeviceName(const QString& name);
    void setScanner(const QString& key, const QString& name);
    void setScannerLayout(const QString& layout);
    void setAlertedSession(qint64 session);

    QSettings& store() { return store_; }

    // The pretty host name where the system has one, else the host name.
    static QString localHostName();

  private:
    void save();
    QString text(const char* key, const QString& fallback) const;

    mutable QSettings store_;
    std::function<QString()> hostName_;
};
