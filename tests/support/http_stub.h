#pragma once

// A scripted HTTP server on loopback (Qt HttpServer): records every request and
// answers each with what the test decided, or never.

#include <QHttpServer>
#include <QList>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace korvel::test {

class HttpStub {
  public:
    struct Request {
        QByteArray method; // "GET", "POST"
        QByteArray target; // the path
        QByteArray contentType;
        QByteArray body;
    };
    struct Reply {
        int status = 200;
        QByteArray body = "{}";
        QByteArray contentType = "application/json";
        bool silent = false; // read the request, never answer
    };

    // On `port` (0: a free one); with `tls`, HTTPS with its certificate and key.
    explicit HttpStub(quint16 port = 0, const QSslConfiguration* tls = nullptr);
    QString url() const;
    int count(const QByteArray& target) const;

    QList<Request> requests;
    // Every request is answered by script(request), the default 200 with "{}";
    // replies queued for a path come first, one each.
    std::function<Reply(const Request&)> script = [](const Request&) { return Reply{}; };
    void queue(const QByteArray& target, const Reply& reply) { queued_.append({target, reply}); }

  private:
    QHttpServer server_;
    quint16 port_ = 0;
    bool tls_ = false;
    QList<std::pair<QByteArray, Reply>> queued_;
    std::vector<std::unique_ptr<QHttpServerResponder>> unanswered_;
};

// A private certificate authority made for the run with the openssl tool, and a
// certificate for 127.0.0.1 signed by it.
struct TestAuthority {
    TestAuthority();
    QTemporaryDir dir;
    QString caFile;           // the authority's certificate, PEM
    QString error;            // why it could not be made; empty when it was
    QSslConfiguration server; // certificate and key for the stub
};

} // namespace korvel::test
