#include "support/http_stub.h"

#include <QHttpServerResponder>

namespace korvel::test {

HttpStub::HttpStub(quint16 port, const QSslConfiguration* tls) {
    if (tls)
        server_.sslSetup(*tls);
    server_.setMissingHandler([this](const QHttpServerRequest& r, QHttpServerResponder&& out) {
        const Request request{r.url().path().toUtf8(), r.value("Content-Type"), r.body()};
        requests.append(request);
        const auto queued = std::find_if(queued_.begin(), queued_.end(),
                                         [&](const auto& q) { return q.first == request.target; });
        const Reply reply = queued == queued_.end() ? script(request) : queued->second;
        if (queued != queued_.end())
            queued_.erase(queued);
        if (reply.silent)
            unanswered_.push_back(std::make_unique<QHttpServerResponder>(std::move(out)));
        else
            out.write(reply.body, "application/json",
                      static_cast<QHttpServerResponder::StatusCode>(reply.status));
    });
    url_ = QStringLiteral("%1://127.0.0.1:%2")
               .arg(tls ? "https" : "http")
               .arg(server_.listen(QHostAddress::LocalHost, port));
}

QString HttpStub::url() const {
    return url_;
}

int HttpStub::count(const QByteArray& target) const {
    return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                          [&](const Request& r) { return r.target == target; }));
}

} // namespace korvel::test
