#pragma once

// Raw HTTP on loopback: each request read whole gets the next of `answers`, `piece`
// bytes a millisecond. An answer ending in "<close>" closes after it, one ending in
// "<repeat>X" writes X every few ms while connected; an empty one closes unanswered.

#include <QByteArrayList>
#include <QHostAddress>
#include <QTcpServer>

namespace korvel::test {

class RawHttpServer {
  public:
    explicit RawHttpServer(const QHostAddress& address = QHostAddress::LocalHost);

    quint16 port() const { return server_.serverPort(); }
    bool listening() const { return server_.isListening(); }

    QByteArrayList answers;
    qsizetype piece = 1 << 30;
    QByteArrayList heads; // of the requests, in order
    int connections = 0;

  private:
    void read(class QTcpSocket* s);

    QTcpServer server_;
};

// A whole answer with its Content-Length.
QByteArray httpAnswer(const QByteArray& body, const QByteArray& head = "HTTP/1.1 200 OK");

} // namespace korvel::test
