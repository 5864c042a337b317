#include "support/http_stub.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QProcess>
#include <QSslKey>

namespace korvel::test {

HttpStub::HttpStub(quint16 port, const QSslConfiguration* tls) : tls_(tls) {
    if (tls)
        server_.sslSetup(*tls);
    server_.setMissingHandler([this](const QHttpServerRequest& r, QHttpServerResponder&& out) {
        Request request{r.method() == QHttpServerRequest::Method::Get ? "GET" : "POST",
                        r.url().path().toUtf8(), r.value("Content-Type"), r.body()};
        requests.append(request);
        Reply reply;
        const auto queued = std::find_if(queued_.begin(), queued_.end(),
                                         [&](const auto& q) { return q.first == request.target; });
        if (queued != queued_.end()) {
            reply = queued->second;
            queued_.erase(queued);
        } else {
            reply = script(request);
        }
        if (reply.silent) {
            unanswered_.push_back(std::make_unique<QHttpServerResponder>(std::move(out)));
            return;
        }
        out.write(reply.body, reply.contentType.constData(),
                  static_cast<QHttpServerResponder::StatusCode>(reply.status));
    });
    port_ = server_.listen(QHostAddress::LocalHost, port);
}

QString HttpStub::url() const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? "https" : "http").arg(port_);
}

int HttpStub::count(const QByteArray& target) const {
    return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                          [&](const Request& r) { return r.target == target; }));
}

TestAuthority::TestAuthority() {
    QFile ext(dir.filePath(QStringLiteral("ext")));
    if (ext.open(QIODevice::WriteOnly))
        ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    const QString key = QStringLiteral(
        "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=%1 -keyout %2.key ");
    for (const QString& args :
         {QStringLiteral("req -x509 -days 2 ") +
              key.arg(QStringLiteral("Korvel-Test-CA"), QStringLiteral("ca")) +
              QStringLiteral("-out ca.pem"),
          QStringLiteral("req ") + key.arg(QStringLiteral("127.0.0.1"), QStringLiteral("server")) +
              QStringLiteral("-out server.csr"),
          QStringLiteral("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                         "-days 2 -extfile ext -out server.pem")}) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral("openssl"), args.split(QLatin1Char(' ')));
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            error = QStringLiteral("openssl: ") + p.errorString() + QLatin1Char(' ') +
                    QString::fromLocal8Bit(p.readAllStandardError());
            return;
        }
    }
    caFile = dir.filePath(QStringLiteral("ca.pem"));
    QFile keyFile(dir.filePath(QStringLiteral("server.key")));
    const auto certs = QSslCertificate::fromPath(dir.filePath(QStringLiteral("server.pem")));
    if (certs.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("the server certificate cannot be read");
        return;
    }
    server = QSslConfiguration::defaultConfiguration();
    server.setLocalCertificate(certs.first());
    server.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
}

} // namespace korvel::test
