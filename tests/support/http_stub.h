#pragma once

// A programmable HTTP/1.1 server on loopback: records every request and answers
// each with the reply the test scripted for it.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

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

    HttpStub();
    quint16 port() const { return server_.serverPort(); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

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
    QTcpServer server_;
    QHash<QByteArray, QList<Reply>> queued_;
};

} // namespace korvel::test
