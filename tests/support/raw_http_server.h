#pragma once

// A server of raw HTTP on loopback, for answers no proper server would give: each
// request, once read whole, is answered with the next of `answers` as it is written,
// `piece` bytes a millisecond. In an answer, "<close>" at the end closes the
// connection after it, and "<repeat>X" at the end writes X again every few
// milliseconds for as long as the connection lasts; an empty answer closes the
// connection unanswered.

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
