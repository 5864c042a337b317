#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

class QTcpSocket;
class QTimer;

// Plain HTTP/1.1 requests over one kept-alive connection, one request at a time,
// the others waiting in the order they came. Answers are read in chunks as they
// arrive, and at most `maxBody` bytes of a body are kept.
class HttpConnection : public QObject {
    Q_OBJECT
  public:
    struct Answer {
        qint64 status = 0; // 0: no HTTP answer
        QByteArray body;   // the whole body, or nothing when it was too long
        bool tooLong = false;
        QString error; // without an answer: why, naming at most the host
    };
    using Done = std::function<void(const Answer&)>;
    struct Request {
        QUrl url; // http, with a host
        QByteArray method;
        QByteArray contentType; // with body: sent with Content-Type and Content-Length
        QByteArray body;
        std::chrono::milliseconds timeout{10000}; // without progress
        Done done;
    };

    HttpConnection(qint64 maxBody, QObject* parent);
    ~HttpConnection() override;

    // Runs `done` exactly once, never before send returns.
    void send(Request request);

  private:
    struct Pending {
        Request request;
        bool authorized = false; // carries the URL's user name and password
        bool retried = false;    // sent again after its connection closed unanswered
    };
    enum class Stage {
        statusLine,
        headers,
        body,
        chunkSize,
        chunkData,
        chunkEnd,
        trailers,
        toClose, // the body ends with the connection
        done,
        tooLong,
    };

    void startNext();
    void writeCurrent();
    void onReadable();
    void onClosed();
    void onTimeout();
    // The request moved on (sent, or part of its answer came): its time starts again.
    void noteProgress();
    // The bytes of `data` that belong to the answer; -1 when it is no HTTP answer.
    qint64 parse(const char* data, qint64 size);
    bool takeLine(const char*& data, const char* end, QByteArray& line);
    bool headerLine(const QByteArray& line);
    bool headersDone();
    void take(const char* data, qint64 size);
    void complete(bool wholeChunkUsed);
    void fail(const QString& error, bool mayRetry);
    void finish(Answer answer, bool keep);
    void dropSocket();
    void resetAnswer();

    const qint64 maxBody_;
    QTcpSocket* socket_ = nullptr;
    QString socketHost_;
    int socketPort_ = -1;
    int exchanges_ = 0; // answers completed on socket_
    // Runs while a request waits; it is not restarted at every sign of progress (that
    // costs more than the rest of a quick request), only checked when it fires.
    QTimer* timer_;
    QElapsedTimer progress_; // since the last sign of progress
    std::chrono::milliseconds wait_{0};
    std::deque<Pending> waiting_;
    std::optional<Pending> current_;
    bool written_ = false;
    bool sending_ = false;
    QString basicFor_; // the URL (with its user-info) whose server asked for Basic credentials

    // The answer being read.
    Stage stage_ = Stage::statusLine;
    qint64 received_ = 0; // bytes of the answer, all parts
    QByteArray line_;
    qint64 headerBytes_ = 0;
    qint64 status_ = 0;
    bool http10_ = false;
    bool close_ = false;
    bool keepAlive_ = false;
    bool chunked_ = false;
    bool transferCoded_ = false;
    bool basicOffered_ = false;
    qint64 length_ = -1; // of the body, or of the chunk being read
    QByteArray body_;
    bool tooLong_ = false;
};
