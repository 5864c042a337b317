#pragma once

// A scripted HTTP server on loopback (Qt HttpServer): records every request and
// answers each with what the test decided, or never.

#include <QHttpServer>
#include <QSslConfiguration>

#include <functional>
#include <memory>
#include <vector>

namespace korvel::test {

class HttpStub {
  public:
    struct Request {
        QByteArray target; // the path
        QByteArray contentType;
        QByteArray body;
    };
    struct Reply {
        int status = 200;
        QByteArray body = "{}";
        bool silent = false; // read the request, never answer
    };

    // On `port` (0: a free one); with `tls`, HTTPS with its certificate and key.
    explicit HttpStub(quint16 port = 0, const QSslConfiguration* tls = nullptr);
    QString url() const;
    int count(const QByteArray& target) const;

    QList<Request> requests;
    // Replies queued for a path come first, one each; then script's, by default 200 "{}".
    std::function<Reply(const Request&)> script = [](const Request&) { return Reply{}; };
    void queue(const QByteArray& target, const Reply& reply) { queued_.append({target, reply}); }

  private:
    QHttpServer server_;
    QString url_;
    QList<std::pair<QByteArray, Reply>> queued_;
    std::vector<std::unique_ptr<QHttpServerResponder>> unanswered_;
};

} // namespace korvel::test
