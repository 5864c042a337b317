#include "support/raw_http_server.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

namespace korvel::test {

RawHttpServer::RawHttpServer(const QHostAddress& address) {
    server_.listen(address);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            ++connections;
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
        }
    });
}

void RawHttpServer::read(QTcpSocket* s) {
    QByteArray buffer = s->property("in").toByteArray() + s->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        static const QRegularExpression length("content-length: *(\\d+)",
                                               QRegularExpression::CaseInsensitiveOption);
        const QByteArray head = buffer.left(end);
        const qsizetype size = end + 4 + length.match(head).captured(1).toLongLong();
        if (buffer.size() < size)
            break;
        buffer.remove(0, size);
        heads.append(head);
        QByteArray answer = answers.value(heads.size() - 1);
        const bool close = answer.isEmpty() || answer.endsWith("<close>");
        answer.chop(answer.endsWith("<close>") ? 7 : 0);
        const qsizetype repeat = answer.indexOf("<repeat>");
        const QByteArray again = repeat < 0 ? QByteArray() : answer.mid(repeat + 8);
        answer.truncate(repeat < 0 ? answer.size() : repeat);
        qsizetype n = 1;
        for (qsizetype at = 0; at < answer.size(); at += piece, ++n)
            QTimer::singleShot(n, s, [s, part = answer.mid(at, piece)] { s->write(part); });
        if (close)
            QTimer::singleShot(n + 1, s, &QTcpSocket::disconnectFromHost);
        if (!again.isEmpty()) {
            auto* timer = new QTimer(s);
            QObject::connect(timer, &QTimer::timeout, s, [s, again] { s->write(again); });
            QTimer::singleShot(n, timer, [timer] { timer->start(5); });
        }
    }
    s->setProperty("in", buffer);
}

QByteArray httpAnswer(const QByteArray& body, const QByteArray& head) {
    return head + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace korvel::test
