#include "core/delivery/transport.h"

#include "core/delivery/http_connection.h"

#include "core/logging.h"
#include "core/trim.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QUrl>

namespace {

constexpr qint64 kReadChunk = 64 * 1024;

// The system's authorities, plus those named the way OpenSSL-based programs take
// them, so that a station can trust a private authority without code changes.
// Loaded again only when the variables change.
QSslConfiguration tlsConfiguration() {
    static QString loadedFrom;
    static QSslConfiguration configuration;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString dirs = qEnvironmentVariable("SSL_CERT_DIR");
    const QString from = file + QLatin1Char('\n') + dirs;
    if (configuration.isNull() || from != loadedFrom) {
        loadedFrom = from;
        configuration = QSslConfiguration::defaultConfiguration();
        // Told once per setting: otherwise a mistyped path only ever shows as an
        // untrusted server.
        if (!file.isEmpty() && !configuration.addCaCertificates(file, QSsl::Pem))
            qCWarning(lcServer).noquote() << "SSL_CERT_FILE" << file << "loaded no certificate";
        for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
            if (!configuration.addCaCertificates(dir + QStringLiteral("/*"), QSsl::Pem,
                                                 QSslCertificate::PatternSyntax::Wildcard))
                qCWarning(lcServer).noquote()
                    << "SSL_CERT_DIR folder" << dir << "loaded no certificate";
        }
    }
    return configuration;
}

} // namespace

Transport::Transport(std::function<QString()> serverURL, QNetworkAccessManager& network,
                     std::chrono::milliseconds timeout)
    : serverURL_(std::move(serverURL)), network_(network),
      plain_(network.findChild<HttpConnection*>(QString(), Qt::FindDirectChildrenOnly)),
      timeout_(timeout) {
    // Owned by the network manager, so that a transport made for one request (the
    // settings dialog's test) needs not outlive it, and its connection is kept.
    if (!plain_)
        plain_ = new HttpConnection(kMaxAnswerBytes, &network);
}

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

QNetworkRequest Transport::networkRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setSslConfiguration(tlsConfiguration());
    request.setTransferTimeout(static_cast<int>(timeout_.count()));
    // A redirect is an answer that neither accepts nor refuses; following it could
    // turn the POST into a GET and lose the body.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    return request;
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
    if (url.scheme() == QLatin1String("http")) {
        sendPlain(url, "POST", bytes, std::move(done));
        return;
    }
    QNetworkRequest request = networkRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    watch(network_.post(request, bytes), std::move(done));
}

void Transport::get(const QString& path, Done done) {
    const QUrl url = requestURL(path);
    if (!url.isValid())
        return;
    if (url.scheme() == QLatin1String("http"))
        sendPlain(url, "GET", {}, std::move(done));
    else
        watch(network_.get(networkRequest(url)), std::move(done));
}

void Transport::sendPlain(const QUrl& url, const QByteArray& method, const QByteArray& body,
                          Done done) {
    HttpConnection::Request request{url, method, {}, body, timeout_, {}};
    if (method == "POST")
        request.contentType = "application/json";
    request.done = [done = std::move(done)](const HttpConnection::Answer& a) {
        QJsonObject answer;
        if (a.status != 0 && !a.tooLong) {
            const QJsonDocument doc = QJsonDocument::fromJson(a.body);
            if (doc.isObject())
                answer = doc.object();
        }
        Failure failure;
        if (a.status == 0)
            failure = {Failure::unreachable, a.error};
        done(a.status, answer, failure);
    };
    plain_->send(std::move(request));
}

void Transport::watch(QNetworkReply* reply, Done done) {
    // Only the start of an answer is read, and Qt is asked to hold little more than
    // that: a server answering with hundreds of megabytes cannot take the memory of
    // the station with it. A longer answer is no JSON object, and the rest of it is
    // not waited for: its status, which came first, decides.
    struct Body {
        QByteArray bytes;
        bool tooLarge = false;
        qint64 status = 0;
    };
    auto body = std::make_shared<Body>();
    reply->setReadBufferSize(kReadChunk);
    const auto take = [reply, body] {
        while (!body->tooLarge && reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(kReadChunk);
            if (chunk.isEmpty())
                break;
            if (body->bytes.size() + chunk.size() > kMaxAnswerBytes) {
                body->tooLarge = true;
                body->bytes = QByteArray();
                body->status =
                    reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toLongLong();
                reply->abort();
                return;
            }
            body->bytes.append(chunk);
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);
    // Verification is never skipped; the errors are only kept to say what failed.
    auto sslErrors = std::make_shared<QStringList>();
    QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                     [sslErrors](const QList<QSslError>& errors) {
                         for (const QSslError& e : errors)
                             sslErrors->append(e.errorString());
                     });
    QObject::connect(
        reply, &QNetworkReply::finished, reply,
        [reply, body, take, sslErrors, done = std::move(done)] {
            reply->deleteLater();
            take();
            const QNetworkReply::NetworkError error = reply->error();
            // Errors below 100 are failures of the connection itself (refused, reset,
            // timed out): whatever part of an answer came, it is no answer.
            const bool connectionFailed = error != QNetworkReply::NoError && error < 100;
            const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            const qint64 status = body->tooLarge                          ? body->status
                                  : (!connectionFailed && code.isValid()) ? code.toLongLong()
                                                                          : 0;
            QJsonObject answer;
            if (status != 0 && !body->tooLarge) {
                const QJsonDocument doc = QJsonDocument::fromJson(body->bytes);
                if (doc.isObject())
                    answer = doc.object();
            }
            Failure failure;
            if (status == 0 &&
                (!sslErrors->isEmpty() || error == QNetworkReply::SslHandshakeFailedError)) {
                failure = {Failure::certificate, sslErrors->isEmpty()
                                                     ? reply->errorString()
                                                     : sslErrors->join(QStringLiteral("; "))};
            } else if (status == 0) {
                // Connection-level texts name at most the host, never the whole URL.
                failure = {Failure::unreachable, reply->errorString()};
            }
            done(status, answer, failure);
        });
}
