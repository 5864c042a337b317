#pragma once

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkRequest;
class Settings;

// Requests to the scan server. Every request reports exactly once, on the thread
// of the network manager, with the HTTP status (0 for no HTTP answer) and the
// answer's top-level JSON object (empty when there is none).
class Transport {
  public:
    using Done = std::function<void(qint64 status, const QJsonObject& answer)>;

    Transport(Settings& settings, QNetworkAccessManager& network,
              std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The longest answer that is read; a longer one counts as no JSON object.
    static constexpr qint64 kMaxAnswerBytes = 1024 * 1024;

    // The serverURL setting trimmed of "/" and " " at both ends.
    static QString serverBase(const QString& serverURL);

    // POST of a compact JSON body with "Content-Type: application/json". When no
    // request can be formed from the setting, `done` runs before post returns.
    void post(const QString& path, const QJsonObject& body, Done done);
    // GET without headers of its own; nothing at all happens for an unusable URL.
    void get(const QString& path, Done done);

    std::chrono::milliseconds timeout() const { return timeout_; }

  private:
    bool makeRequest(const QString& path, QNetworkRequest& request) const;
    void watch(class QNetworkReply* reply, Done done);

    Settings& settings_;
    QNetworkAccessManager& network_;
    std::chrono::milliseconds timeout_;
};
