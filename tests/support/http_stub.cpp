#include "support/http_stub.h"

#include <QHttpServerResponder>

namespace korvel::test {

namespace {

// A body of `size` bytes that exists only as far as the connection has taken it.
class MadeBody final : public QIODevice {
  public:
    MadeBody(qint64 size, qint64& taken) : size_(size), taken_(taken) { open(ReadOnly); }
    qint64 size() const override { return size_; }

  protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = std::min(max, size_ - pos());
        std::fill_n(data, n, 'x');
        taken_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    qint64 size_;
    qint64& taken_;
};

} // namespace

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
        else if (reply.made > 0)
            out.write(new MadeBody(reply.made, madeTaken), "application/json",
                      static_cast<QHttpServerResponder::StatusCode>(reply.status));
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
