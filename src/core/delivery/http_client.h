#pragma once

#include "core/delivery/transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <list>
#include <unordered_map>
#include <vector>

// HTTP and HTTPS requests through one libcurl multi handle, driven by the event
// loop of the thread that made it: its connections are kept alive and used again by
// every request to the same server. Redirects are never followed; the proxy is the
// one the proxy setting names, else the one the environment names (http_proxy,
// https_proxy, no_proxy).
class HttpClient : public QObject {
    Q_OBJECT
  public:
    struct Answer {
        qint64 status = 0;        // 0: no HTTP answer
        QByteArray body;          // the whole body, or nothing when it was too long
        bool tooLong = false;     // the answer's status came, its body was over the bound
        bool certificate = false; // without an answer: the server's certificate failed
        bool silent = false;      // without an answer: the server said nothing in time
        QString error;            // without an answer: why, never with a URL's user-info
    };
    using Done = std::function<void(const Answer&)>;
    struct Request {
        QUrl url;          // http or https, with a host
        QByteArray method; // "GET" or "POST"
        QByteArray body;   // POST: sent as application/json
        // Given up when no byte of the real answer (interim 1xx answers do not count)
        // came for `stall`, and in any case after `limit`.
        std::chrono::milliseconds stall{10000};
        std::chrono::milliseconds limit{30000};
        Done done;
    };

    // The longest body kept.
    static constexpr qint64 kMaxBody = Transport::kMaxAnswerBytes;

    // proxyURL: read for every request; empty for the environment's proxy.
    explicit HttpClient(std::function<QString()> proxyURL = {}, QObject* parent = nullptr);
    ~HttpClient() override;

    // Runs `done` exactly once, never before send returns (unless the client is
    // destroyed first: then never).
    void send(Request request);

  private:
    struct Transfer;
    struct Watch;
    static int onSocket(void* easy, int socket, int what, void* self, void* watch);
    static int onClose(void* self, int socket);
    static int onTimer(void* multi, long ms, void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* transfer);
    static size_t onBody(char* data, size_t size, size_t count, void* transfer);
    void act(int socket, int mask);
    void collect();
    void checkStalls();
    void finish(std::list<Transfer>::iterator t, int result);
    void* easyHandle();

    std::function<QString()> proxyURL_;
    void* multi_;
    QTimer timer_;      // when curl wants to be called again
    QTimer stallTimer_; // the earliest time a transfer without progress gives up
    QElapsedTimer clock_;
    std::list<Transfer> transfers_;
    std::vector<void*> idle_;                 // easy handles to use again
    std::vector<QString> basicFor_;           // servers (with their user-info) that asked for Basic
    std::unordered_map<int, Watch*> watches_; // by socket, kept once made
};
