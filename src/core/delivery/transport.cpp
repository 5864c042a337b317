#include "core/delivery/transport.h"

#include "core/delivery/http_client.h"
#include "core/trim.h"

#include <QJsonDocument>
#include <QUrl>

Transport::Transport(std::function<QString()> serverURL, HttpClient& client,
                     std::chrono::milliseconds timeout, std::chrono::milliseconds limit)
    : serverURL_(std::move(serverURL)), client_(client), timeout_(timeout), limit_(limit) {}

QString Transport::serverBase(const QString& serverURL) {
    return trimmedBy(serverURL, [](QChar c) { return c == u'/' || c == u' '; });
}

QUrl Transport::requestURL(const QString& path) const {
    const QString setting = serverURL_();
    if (setting == urlSetting_ && path == urlPath_ && !urlSetting_.isNull())
        return url_; // a drained backlog asks for the same URL thousands of times
    urlSetting_ = setting;
    urlPath_ = path;
    url_ = checkedURL(serverBase(setting) + path);
    return url_;
}

QUrl Transport::checkedURL(const QString& text) {
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QUrl();
    return url;
}

bool Transport::usable() const {
    return requestURL(QString()).isValid();
}

QString Transport::displayBase() const {
    const QUrl url(serverBase(serverURL_()), QUrl::StrictMode);
    if (!url.isValid())
        return QStringLiteral("(not a URL)");
    return url.toDisplayString(QUrl::RemoveUserInfo);
}

void Transport::post(const QString& path, const QJsonObject& body, Done done) {
    post(path, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(done));
}

void Transport::post(const QString& path, const QByteArray& bytes, Done done) {
    const QUrl url = requestURL(path);
    if (!url.isValid()) {
        done(0, {}, {Failure::unreachable, QStringLiteral("the server URL is not usable")});
        return;
    }
    send(url, "POST", bytes, std::move(done));
}

void Transport::get(const QString& path, Done done) {
    const QUrl url = requestURL(path);
    if (url.isValid())
        send(url, "GET", {}, std::move(done));
}

void Transport::send(const QUrl& url, const QByteArray& method, const QByteArray& body, Done done) {
    HttpClient::Request request{url, method, body, timeout_, limit_, {}};
    request.done = [done = std::move(done)](const HttpClient::Answer& a) {
        QJsonObject answer;
        if (a.status != 0 && !a.tooLong) {
            const QJsonDocument doc = QJsonDocument::fromJson(a.body);
            if (doc.isObject())
                answer = doc.object();
        }
        Failure failure;
        if (a.status == 0)
            failure = {a.certificate ? Failure::certificate
                       : a.silent    ? Failure::silent
                                     : Failure::unreachable,
                       a.error};
        done(a.status, answer, failure);
    };
    client_.send(std::move(request));
}
