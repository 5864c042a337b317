#include "core/delivery/http_connection.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
// Status line and header fields together; a server sending more is out of step.
constexpr qint64 kMaxHeaderBytes = 64 * 1024;

// The texts Qt's own HTTP support gives for the same failures, in the translations
// Qt ships for them, so that what the operator reads does not depend on the scheme.
QString qtText(const char* context, const char* text) {
    return QCoreApplication::translate(context, text);
}

bool hasToken(const QByteArray& value, const QByteArray& token) {
    for (const QByteArray& part : value.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

HttpConnection::HttpConnection(qint64 maxBody, QObject* parent)
    : QObject(parent), maxBody_(maxBody), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &HttpConnection::onTimeout);
}

HttpConnection::~HttpConnection() {
    dropSocket();
}

void HttpConnection::send(Request request) {
    waiting_.push_back({std::move(request)});
    if (!current_) {
        sending_ = true;
        startNext();
        sending_ = false;
    }
}

void HttpConnection::startNext() {
    if (current_ || waiting_.empty())
        return;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    resetAnswer();
    written_ = false;
    const QUrl& url = current_->request.url;
    current_->authorized = !url.userName().isEmpty() &&
                           basicFor_ == url.toString(QUrl::RemovePath | QUrl::RemoveQuery);
    if (current_->request.timeout != wait_) {
        wait_ = current_->request.timeout;
        timer_->stop(); // started again below with the new time
    }
    noteProgress();
    const int port = url.port(80);
    if (socket_ && (socket_->state() != QAbstractSocket::ConnectedState ||
                    socketHost_ != url.host() || socketPort_ != port))
        dropSocket();
    if (socket_) {
        writeCurrent();
        return;
    }
    auto* socket = new QTcpSocket(this);
    socket_ = socket;
    socketHost_ = url.host();
    socketPort_ = port;
    exchanges_ = 0;
    socket->setReadBufferSize(kReadChunk);
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket != socket_)
            return;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (current_ && !written_)
            writeCurrent();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket == socket_)
            onReadable();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket == socket_ && current_)
            noteProgress();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
        if (socket == socket_)
            onClosed();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket == socket_)
            onClosed();
    });
    socket->connectToHost(socketHost_, static_cast<quint16>(port));
}

void HttpConnection::writeCurrent() {
    const Request& r = current_->request;
    QByteArray target =
        r.url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/'))
        target.prepend('/');
    QByteArray host = r.url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (r.url.port() >= 0)
        host += ':' + QByteArray::number(r.url.port());
    QByteArray head = r.method + ' ' + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    if (current_->authorized)
        head += "Authorization: Basic " +
                (r.url.userName(QUrl::FullyDecoded) + QLatin1Char(':') +
                 r.url.password(QUrl::FullyDecoded))
                    .toUtf8()
                    .toBase64() +
                "\r\n";
    if (!r.contentType.isEmpty())
        head += "Content-Type: " + r.contentType +
                "\r\nContent-Length: " + QByteArray::number(r.body.size()) + "\r\n";
    head += "\r\n";
    written_ = true;
    noteProgress();
    socket_->write(head + r.body);
    socket_->flush(); // on its way now, not at the event loop's next turn
}

void HttpConnection::onReadable() {
    char buffer[kReadChunk];
    while (socket_ && socket_->bytesAvailable() > 0) {
        const qint64 n = socket_->read(buffer, kReadChunk);
        if (n <= 0)
            return;
        if (!current_ || !written_) { // nothing was asked: the server is out of step
            dropSocket();
            return;
        }
        noteProgress();
        received_ += n;
        const qint64 used = parse(buffer, n);
        if (used < 0) {
            fail(qtText("QHttp", "Data corrupted"), false);
            return;
        }
        if (stage_ == Stage::done)
            complete(used == n);
        else if (stage_ == Stage::tooLong)
            finish({status_, {}, true, {}}, false);
    }
}

void HttpConnection::onClosed() {
    QTcpSocket* socket = socket_;
    if (socket->bytesAvailable() > 0) // what came before the close is read first
        onReadable();
    if (socket != socket_) // the answer was complete, or the connection given up
        return;
    // Told of a close while still connected: its disconnection follows.
    if (socket->state() == QAbstractSocket::ConnectedState &&
        socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    if (!current_) {
        dropSocket();
        return;
    }
    if (stage_ == Stage::toClose) { // a body that ends with its connection
        stage_ = Stage::done;
        complete(false);
        return;
    }
    const QAbstractSocket::SocketError error = socket_->error();
    QString text;
    if (error == QAbstractSocket::ConnectionRefusedError)
        text = qtText("QHttp", "Connection refused");
    else if (error == QAbstractSocket::HostNotFoundError)
        text = qtText("QHttp", "Host %1 not found").arg(socketHost_);
    else if (error == QAbstractSocket::RemoteHostClosedError ||
             error == QAbstractSocket::UnknownSocketError)
        text = qtText("QHttp", "Connection closed");
    else
        text = socket_->errorString();
    // Sent again at once only when the connection had answered before and nothing of
    // this answer came: a server may close an idle kept-alive connection at any
    // moment, and the request crossed the close. Should the server have taken it all
    // the same, the copy does no harm: the scan server drops a scan identical in
    // device, value and stamp, and registering or asking for a state again changes
    // nothing. Otherwise the failure is told: part of an answer means the server had
    // the request, and the queue keeps a scan without an answer to send it later.
    fail(text, exchanges_ > 0 && received_ == 0);
}

void HttpConnection::noteProgress() {
    progress_.start();
    if (!timer_->isActive())
        timer_->start(wait_);
}

void HttpConnection::onTimeout() {
    if (!current_)
        return; // idle since it was started
    const auto left = wait_ - std::chrono::milliseconds(progress_.elapsed());
    if (left > std::chrono::milliseconds(0))
        timer_->start(left); // there was progress since
    else
        fail(qtText("QNetworkReplyHttpImpl", "Operation canceled"), false);
}

bool HttpConnection::takeLine(const char*& data, const char* end, QByteArray& line) {
    const char* newline = static_cast<const char*>(std::memchr(data, '\n', end - data));
    const char* stop = newline ? newline : end;
    line_.append(data, stop - data);
    headerBytes_ += stop - data;
    data = newline ? newline + 1 : end;
    if (!newline)
        return false;
    line = line_;
    line_.clear();
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

qint64 HttpConnection::parse(const char* data, qint64 size) {
    const char* p = data;
    const char* end = data + size;
    while (stage_ != Stage::done && stage_ != Stage::tooLong) {
        if (stage_ == Stage::body || stage_ == Stage::chunkData || stage_ == Stage::toClose) {
            const qint64 n =
                stage_ == Stage::toClose ? end - p : std::min<qint64>(length_, end - p);
            if (n == 0 && p == end)
                break;
            take(p, n);
            p += n;
            if (stage_ == Stage::tooLong)
                break;
            if (stage_ != Stage::toClose) {
                length_ -= n;
                if (length_ == 0)
                    stage_ = stage_ == Stage::body ? Stage::done : Stage::chunkEnd;
            }
            continue;
        }
        QByteArray line;
        if (!takeLine(p, end, line)) {
            if (headerBytes_ > kMaxHeaderBytes)
                return status_ > 0 ? (stage_ = Stage::tooLong, p - data) : -1;
            break;
        }
        switch (stage_) {
        case Stage::statusLine: {
            // HTTP/1.x NNN reason
            if (!line.startsWith("HTTP/1.") || line.size() < 12 || line[12 - 4] != ' ')
                return -1;
            bool ok = false;
            status_ = line.mid(9, 3).toInt(&ok);
            if (!ok || status_ < 100 || (line.size() > 12 && line[12] != ' '))
                return -1;
            http10_ = line[7] == '0';
            stage_ = Stage::headers;
            break;
        }
        case Stage::headers:
            if (line.isEmpty()) {
                if (!headersDone())
                    return -1;
            } else if (!headerLine(line)) {
                return -1;
            }
            break;
        case Stage::chunkSize: {
            const qsizetype semicolon = line.indexOf(';');
            bool ok = false;
            length_ = (semicolon < 0 ? line : line.left(semicolon)).trimmed().toLongLong(&ok, 16);
            if (!ok || length_ < 0)
                return -1;
            stage_ = length_ == 0 ? Stage::trailers : Stage::chunkData;
            headerBytes_ = 0; // the bound holds for each chunk's line, and for the trailers
            break;
        }
        case Stage::chunkEnd:
            if (!line.isEmpty())
                return -1;
            stage_ = Stage::chunkSize;
            break;
        case Stage::trailers:
            if (line.isEmpty())
                stage_ = Stage::done;
            break;
        default:
            return -1;
        }
        if (headerBytes_ > kMaxHeaderBytes && stage_ != Stage::done && stage_ != Stage::body &&
            stage_ != Stage::chunkData && stage_ != Stage::toClose)
            return status_ > 0 ? (stage_ = Stage::tooLong, p - data) : -1;
    }
    return p - data;
}

bool HttpConnection::headerLine(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        if (!ok || length < 0 || (length_ >= 0 && length_ != length))
            return false;
        length_ = length;
    } else if (name == "transfer-encoding") {
        chunked_ = value.toLower().trimmed().endsWith("chunked");
        transferCoded_ = true;
    } else if (name == "connection") {
        close_ = close_ || hasToken(value, "close");
        keepAlive_ = keepAlive_ || hasToken(value, "keep-alive");
    } else if (name == "www-authenticate") {
        basicOffered_ = basicOffered_ || value.toLower().startsWith("basic");
    }
    return true;
}

bool HttpConnection::headersDone() {
    if (status_ < 200) { // an interim answer: the real one follows
        status_ = 0;
        length_ = -1;
        chunked_ = transferCoded_ = close_ = keepAlive_ = basicOffered_ = false;
        headerBytes_ = 0;
        stage_ = Stage::statusLine;
        return true;
    }
    if (status_ == 204 || status_ == 304 || current_->request.method == "HEAD") {
        stage_ = Stage::done;
    } else if (chunked_) {
        length_ = -1;
        stage_ = Stage::chunkSize;
    } else if (transferCoded_ || length_ < 0) {
        stage_ = Stage::toClose;
    } else if (length_ > maxBody_) {
        stage_ = Stage::tooLong; // its status decides; the rest is not waited for
    } else {
        stage_ = length_ == 0 ? Stage::done : Stage::body;
    }
    return true;
}

void HttpConnection::take(const char* data, qint64 size) {
    if (body_.size() + size > maxBody_) {
        body_ = QByteArray();
        stage_ = Stage::tooLong;
        return;
    }
    body_.append(data, size);
}

void HttpConnection::complete(bool wholeChunkUsed) {
    const bool keep = wholeChunkUsed && stage_ == Stage::done && !close_ &&
                      (!http10_ || keepAlive_) && socket_ &&
                      socket_->state() == QAbstractSocket::ConnectedState &&
                      socket_->bytesAvailable() == 0; // more than one answer: out of step
    // A 401 that offers Basic is asked once more with the user name and password of
    // the URL, as Qt's own HTTP support does; later requests to it carry them at once.
    if (status_ == 401 && basicOffered_ && !current_->authorized &&
        !current_->request.url.userName().isEmpty()) {
        basicFor_ = current_->request.url.toString(QUrl::RemovePath | QUrl::RemoveQuery);
        if (!keep)
            dropSocket();
        else
            ++exchanges_;
        waiting_.push_front(std::move(*current_));
        current_.reset();
        startNext();
        return;
    }
    finish({status_, body_, false, {}}, keep);
}

void HttpConnection::fail(const QString& error, bool mayRetry) {
    dropSocket();
    if (mayRetry && !current_->retried) {
        current_->retried = true;
        waiting_.push_front(std::move(*current_));
        current_.reset();
        startNext();
        return;
    }
    finish({0, {}, false, error}, false);
}

void HttpConnection::finish(Answer answer, bool keep) {
    // The timer is left running: the next request, coming at once, is timed by it.
    if (keep)
        ++exchanges_;
    else
        dropSocket();
    Done done = std::move(current_->request.done);
    current_.reset();
    resetAnswer();
    if (sending_) // within send: told once it has returned
        QMetaObject::invokeMethod(
            this, [done = std::move(done), answer = std::move(answer)] { done(answer); },
            Qt::QueuedConnection);
    else
        done(answer);
    startNext();
}

void HttpConnection::dropSocket() {
    if (!socket_)
        return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void HttpConnection::resetAnswer() {
    stage_ = Stage::statusLine;
    received_ = 0;
    line_.clear();
    headerBytes_ = 0;
    status_ = 0;
    http10_ = close_ = keepAlive_ = chunked_ = transferCoded_ = basicOffered_ = false;
    length_ = -1;
    body_ = QByteArray();
}
