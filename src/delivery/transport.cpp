#include "delivery/transport.h"

#include "shell/settings.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

Transport::Transport(Settings& settings, QNetworkAccessManager& network,
                     std::chrono::milliseconds timeout)
    : settings_(settings), network_(network), timeout_(timeout) {}

QString Transport::serverBase(const QString& serverURL) {
    const auto trimmed = [](QChar c) { return c == u'/' || c == u' '; };
    qsizetype begin = 0;
    qsizetype end = serverURL.size();
    while (begin < end && trimmed(serverURL[begin]))
        ++begin;
    while (end > begin && trimmed(serverURL[end - 1]))
        --end;
    return serverURL.mid(begin, end - begin);
}

bool Transport::makeRequest(const QString& path, QNetworkRequest& request) const {
    const QUrl url(serverBase(settings_.serverURL()) + path, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    request.setUrl(url);
    request.setTransferTimeout(static_cast<int>(timeout_.count()));
    // A redirect is an answer that neither accepts nor refuses; following it could
    // turn the POST into a GET and lose the body.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    return true;
}

void Transport::post(const QString& path, const QJsonObject& body, Done done) {
    QNetworkRequest request;
    if (!makeRequest(path, request)) {
        done(0, {});
        return;
    }
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    watch(network_.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)),
          std::move(done));
}

void Transport::get(const QString& path, Done done) {
    QNetworkRequest request;
    if (!makeRequest(path, request))
        return;
    watch(network_.get(request), std::move(done));
}

void Transport::watch(QNetworkReply* reply, Done done) {
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
        reply->deleteLater();
        const QNetworkReply::NetworkError error = reply->error();
        // Errors below 100 are failures of the connection itself (refused, reset,
        // timed out): whatever part of an answer came, it is no answer.
        const bool connectionFailed = error != QNetworkReply::NoError && error < 100;
        const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const qint64 status = (!connectionFailed && code.isValid()) ? code.toLongLong() : 0;
        QJsonObject answer;
        if (status != 0) {
            const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
            if (doc.isObject())
                answer = doc.object();
        }
        done(status, answer);
    });
}
