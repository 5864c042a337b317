#pragma once

// A programmable HTTP/1.1 server on loopback: records every request and answers
// each with the reply the test scripted for it.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>

#include <functional>

namespace korvel::test {

class HttpStub : public QObject {
    Q_OBJECT
  public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QHash<QByteArray, QByteArray> headers; // lower-case names
        QByteArray body;
    };
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool silent = false; // accept, read, never answer
    };
    using Script = std::function<Reply(const Request&)>;

    // On `port` (0: any free one); with `tls`, HTTPS with that certificate and key.
    explicit HttpStub(quint16 port = 0, const QSslConfiguration* tls = nullptr);
    quint16 port() const { return server_->serverPort(); }
    QString url() const {
        return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? "https" : "http").arg(port());
    }

    // Every request gets script(request); the default answers 200 with {}.
    Script script;
    QList<Request> requests;
    // Replies by target, used before `script` (each entry answers one request).
    void queue(const QByteArray& target, const Reply& reply) { queued_[target].append(reply); }
    static Reply json(int status, const QByteArray& body) {
        return {status, body, "application/json", false};
    }

  private:
    void serve(class QTcpSocket* socket);
    std::unique_ptr<QTcpServer> server_;
    bool tls_ = false;
    QHash<QByteArray, QList<Reply>> queued_;
};

} // namespace korvel::test
