#include "support/http_stub.h"

#include <QSslServer>
#include <QTcpSocket>

namespace korvel::test {

HttpStub::HttpStub(quint16 port, const QSslConfiguration* tls) : tls_(tls != nullptr) {
    script = [](const Request&) { return Reply{200, "{}", "application/json", false}; };
    if (tls) {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(*tls);
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    server_->listen(QHostAddress::LocalHost, port);
    connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection())
            serve(socket);
    });
}

void HttpStub::serve(QTcpSocket* socket) {
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        for (;;) {
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            Request request;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.target = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                           lines[i].mid(colon + 1).trimmed());
            }
            const qsizetype length = request.headers.value("content-length", "0").toLongLong();
            if (buffer->size() < end + 4 + length)
                return;
            request.body = buffer->mid(end + 4, length);
            buffer->remove(0, end + 4 + length);
            requests.append(request);
            QList<Reply>& queued = queued_[request.target];
            const Reply reply = queued.isEmpty() ? script(request) : queued.takeFirst();
            if (reply.silent)
                continue;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " Stub\r\n";
            out += "Content-Type: " + reply.contentType + "\r\n";
            out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n";
            out += reply.body;
            socket->write(out);
        }
    });
}

} // namespace korvel::test
