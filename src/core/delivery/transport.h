#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class HttpClient;
class QUrl;

// Requests to the scan server through an HTTP client, whose kept-alive connections
// the transports sharing it use. Every request reports exactly once, on the client's
// thread, with the HTTP status (0 for no HTTP answer), the answer's top-level JSON
// object (empty when there is none) and, without an HTTP answer, why there was none.
class Transport {
  public:
    struct Failure {
        enum Kind { none, unreachable, silent, certificate };
        Kind kind = none;
        QString detail; // in words, never with a URL's user-info
    };
    using Done =
        std::function<void(qint64 status, const QJsonObject& answer, const Failure& failure)>;

    // serverURL: the setting, read afresh for every request. A request gives up
    // after `timeout` without a byte of its answer, and after `limit` in all.
    Transport(std::function<QString()> serverURL, HttpClient& client,
              std::chrono::milliseconds timeout = std::chrono::seconds(10),
              std::chrono::milliseconds limit = std::chrono::seconds(30));

    // The longest answer that is read; a longer one counts as no JSON object.
    static constexpr qint64 kMaxAnswerBytes = 1024 * 1024;

    // The serverURL setting trimmed of "/" and " " at both ends.
    static QString serverBase(const QString& serverURL);

    // POST of a compact JSON body with "Content-Type: application/json". When no
    // request can be formed from the setting, `done` runs before post returns.
    void post(const QString& path, const QJsonObject& body, Done done);
    // The same with the body already written as compact JSON.
    void post(const QString& path, const QByteArray& json, Done done);
    // GET without headers of its own; nothing at all happens for an unusable URL.
    void get(const QString& path, Done done);

    std::chrono::milliseconds timeout() const { return timeout_; }
    // True when the setting can form a request (an http or https URL with a host).
    bool usable() const;
    // The server base as it may be shown: without user name and password.
    QString displayBase() const;

  private:
    // The URL for `path`, or an invalid one when the setting cannot form a request.
    QUrl requestURL(const QString& path) const;
    static QUrl checkedURL(const QString& text);
    void send(const QUrl& url, const QByteArray& method, const QByteArray& body, Done done);

    std::function<QString()> serverURL_;
    // The last URL formed, kept while the setting and the path stay the same.
    mutable QString urlSetting_;
    mutable QString urlPath_;
    mutable QUrl url_;
    HttpClient& client_;
    std::chrono::milliseconds timeout_;
    std::chrono::milliseconds limit_;
};
