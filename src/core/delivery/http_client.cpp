#include "core/delivery/http_client.h"

#include "core/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

// curl's global state lives as long as some client does.
int clients = 0;

// The texts Qt's own HTTP support gives for the same failures, in the translations
// Qt ships for them: what the operator reads does not depend on the HTTP stack.
QString qtText(const char* context, const char* text) {
    return QCoreApplication::translate(context, text);
}

// Authorities named the way OpenSSL-based programs take them, in PEM, to be trusted
// besides the system's: a station can trust a private authority without code
// changes. The system's own bundle and folder, often named there too, are left out
// (curl loads them anyway). Read again only when the variables change.
const QByteArray& extraAuthorities(CURL* easy) {
    static QString loadedFrom;
    static QByteArray pem;
    static bool loaded = false;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString dirs = qEnvironmentVariable("SSL_CERT_DIR");
    const QString from = file + QLatin1Char('\n') + dirs;
    if (loaded && from == loadedFrom)
        return pem;
    loaded = true;
    loadedFrom = from;
    pem.clear();
    const auto builtIn = [easy](CURLINFO what) {
        char* path = nullptr;
        curl_easy_getinfo(easy, what, &path);
        return path ? QFileInfo(QString::fromLocal8Bit(path)).canonicalFilePath() : QString();
    };
    const auto add = [](const QString& path) {
        QFile f(path);
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.read(16 << 20) : QByteArray();
        if (!bytes.contains("-----BEGIN CERTIFICATE-----"))
            return false;
        pem += bytes + '\n';
        return true;
    };
    // Told once per setting: otherwise a mistyped path only ever shows as an
    // untrusted server.
    if (!file.isEmpty() && QFileInfo(file).canonicalFilePath() != builtIn(CURLINFO_CAINFO) &&
        !add(file))
        qCWarning(lcServer).noquote() << "SSL_CERT_FILE" << file << "loaded no certificate";
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QFileInfo(dir).canonicalFilePath() == builtIn(CURLINFO_CAPATH))
            continue;
        bool any = false;
        for (const QFileInfo& entry : QDir(dir).entryInfoList(QDir::Files | QDir::Readable))
            any = add(entry.filePath()) || any;
        if (!any)
            qCWarning(lcServer).noquote()
                << "SSL_CERT_DIR folder" << dir << "loaded no certificate";
    }
    return pem;
}

// `text` without the user name and password of `url`, in any of their forms.
QString withoutUserInfo(QString text, const QUrl& url) {
    for (const QString& secret :
         {url.userInfo(QUrl::FullyEncoded), url.userInfo(QUrl::PrettyDecoded),
          url.password(QUrl::FullyEncoded), url.password(QUrl::FullyDecoded),
          url.userName(QUrl::FullyEncoded), url.userName(QUrl::FullyDecoded)})
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("\u2026"));
    return text;
}

// The server a URL names, with its user-info: Basic credentials belong to it.
QString origin(const QUrl& url) {
    return url.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

} // namespace

// A socket curl watches, kept while curl does not: the same socket is watched again
// by the next request on its connection. Its notifiers stay as they were until one
// fires unwanted: switching one costs the event loop a wake-up, twice per request.
struct HttpClient::Watch {
    QSocketNotifier* read;
    QSocketNotifier* write;
    bool idle = false; // curl does not watch the socket now
};

struct HttpClient::Transfer {
    HttpClient* client = nullptr;
    CURL* easy = nullptr;
    Request request;
    QUrl proxy;
    curl_slist* headers = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    qint64 progress = 0; // when the last byte of a real answer came (or the request started)
    // The answer being read; a new one starts with each status line.
    qint64 status = 0;
    qint64 length = -1;
    bool real = false; // not an interim 1xx answer
    bool corrupt = false;
    bool tooLong = false;
    bool basicOffered = false; // a 401 offered Basic
    QByteArray body;
};

HttpClient::HttpClient(std::function<QString()> proxyURL, QObject* parent)
    : QObject(parent), proxyURL_(std::move(proxyURL)) {
    if (clients++ == 0)
        curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &HttpClient::onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &HttpClient::onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, &HttpClient::checkStalls);
    clock_.start();
}

HttpClient::~HttpClient() {
    for (Transfer& t : transfers_) {
        curl_multi_remove_handle(multi_, t.easy);
        curl_easy_cleanup(t.easy);
        curl_slist_free_all(t.headers);
    }
    for (void* easy : idle_)
        curl_easy_cleanup(easy);
    curl_multi_cleanup(multi_);              // closes the kept connections
    for (const auto& [socket, w] : watches_) // the notifiers are children, deleted with it
        delete w;
    if (--clients == 0)
        curl_global_cleanup();
}

void* HttpClient::easyHandle() {
    if (idle_.empty())
        return curl_easy_init();
    CURL* easy = idle_.back();
    idle_.pop_back();
    curl_easy_reset(easy); // nothing of the last request is left, its server's auth included
    return easy;
}

void HttpClient::send(Request request) {
    Transfer& t = transfers_.emplace_back();
    t.client = this;
    t.easy = easyHandle();
    t.request = std::move(request);
    CURL* easy = t.easy;
    const QUrl& url = t.request.url;
    const QByteArray target = url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    curl_easy_setopt(easy, CURLOPT_URL, target.constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    // A redirect is an answer that neither accepts nor refuses; following it could
    // turn the POST into a GET and lose the body.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(t.request.limit.count()));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpClient::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpClient::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &HttpClient::onClose);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    // The system's authorities from its bundle alone (the folder holds the same): so
    // curl loads them once and keeps them, instead of for each new connection.
    const QByteArray& pem = extraAuthorities(easy);
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    if (!pem.isEmpty()) {
        curl_blob blob{const_cast<char*>(pem.constData()), static_cast<size_t>(pem.size()),
                       CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    if (t.request.method == "POST") {
        t.headers = curl_slist_append(t.headers, "Content-Type: application/json");
        t.headers = curl_slist_append(t.headers, "Expect:"); // the body follows at once
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(t.request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, t.request.body.constData());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headers);
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    if (!url.userName().isEmpty()) {
        const QByteArray user = url.userName(QUrl::FullyDecoded).toUtf8();
        const QByteArray password = url.password(QUrl::FullyDecoded).toUtf8();
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.constData());
        // Sent when the server asks for them, as the answer to a first 401 offering
        // Basic; from then on with every request to that server.
        const bool asked =
            std::find(basicFor_.begin(), basicFor_.end(), origin(url)) != basicFor_.end();
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH,
                         asked ? CURLAUTH_BASIC : (CURLAUTH_BASIC | CURLAUTH_ONLY));
    }
    const QString proxy = proxyURL_ ? proxyURL_().trimmed() : QString();
    if (!proxy.isEmpty()) { // else curl reads the environment's
        t.proxy = QUrl(proxy);
        const QByteArray bytes = proxy.toUtf8();
        curl_easy_setopt(easy, CURLOPT_PROXY, bytes.constData());
    }
    t.progress = clock_.elapsed();
    if (!stallTimer_.isActive() || stallTimer_.remainingTime() > t.request.stall.count())
        stallTimer_.start(t.request.stall);
    curl_multi_add_handle(multi_, easy);
    // On its way now, not at the event loop's next turn; what finished is told then.
    int running = 0;
    curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
    if (static_cast<size_t>(running) < transfers_.size())
        timer_.start(0); // one ended at once: told at the next turn
}

int HttpClient::onSocket(void*, int socket, int what, void* self, void* watch) {
    auto* client = static_cast<HttpClient*>(self);
    auto* w = static_cast<Watch*>(watch);
    if (what == CURL_POLL_REMOVE) {
        // Kept for the next request: a kept-alive connection is watched again soon.
        if (w)
            w->idle = true;
        curl_multi_assign(client->multi_, socket, nullptr);
        return 0;
    }
    if (!w) {
        Watch*& kept = client->watches_[socket];
        if (!kept) {
            kept = new Watch{new QSocketNotifier(socket, QSocketNotifier::Read, client),
                             new QSocketNotifier(socket, QSocketNotifier::Write, client)};
            const auto activated = [client, socket, w = kept](QSocketNotifier* n, int mask) {
                if (w->idle)
                    n->setEnabled(false); // a kept connection closed, say: curl will see
                else
                    client->act(socket, mask);
            };
            connect(kept->read, &QSocketNotifier::activated, client,
                    [activated, n = kept->read] { activated(n, CURL_CSELECT_IN); });
            connect(kept->write, &QSocketNotifier::activated, client,
                    [activated, n = kept->write] { activated(n, CURL_CSELECT_OUT); });
        }
        w = kept;
        curl_multi_assign(client->multi_, socket, w);
    }
    w->idle = false;
    w->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    w->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int HttpClient::onClose(void* self, int socket) {
    // A closed socket must not be watched: its number may belong to another file soon.
    auto* client = static_cast<HttpClient*>(self);
    if (const auto it = client->watches_.find(socket); it != client->watches_.end()) {
        it->second->idle = true;
        it->second->read->setEnabled(false);
        it->second->write->setEnabled(false);
    }
    return ::close(socket);
}

int HttpClient::onTimer(void*, long ms, void* self) {
    auto* client = static_cast<HttpClient*>(self);
    // Never called back from here: curl is within one of its own calls.
    if (ms < 0)
        client->timer_.stop();
    else
        client->timer_.start(static_cast<int>(ms));
    return 0;
}

size_t HttpClient::onHeader(char* data, size_t size, size_t count, void* transfer) {
    auto* t = static_cast<Transfer*>(transfer);
    const size_t n = size * count;
    const QByteArray line = QByteArray::fromRawData(data, static_cast<qsizetype>(n)).trimmed();
    if (line.startsWith("HTTP/")) { // a new answer: an interim one, or the real one
        const qsizetype space = line.indexOf(' ');
        t->status = space < 0 ? 0 : line.mid(space + 1, 3).toLongLong();
        t->real = t->status >= 200;
        t->length = -1;
        t->body.clear();
        t->tooLong = false;
    }
    // Interim answers are no progress: a server sending "102 Processing" for ever
    // must not hold the request (nor the connection) for good.
    if (!t->real)
        return n;
    t->progress = t->client->clock_.elapsed();
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 &&
        line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
        bool ok = false;
        const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
        if (!ok || length < 0 || (t->length >= 0 && t->length != length)) {
            t->corrupt = true; // which length is the body's? The answer cannot be read.
            return 0;
        }
        t->length = length;
    } else if (colon > 0 && t->status == 401 &&
               line.left(colon).trimmed().compare("www-authenticate", Qt::CaseInsensitive) == 0) {
        t->basicOffered =
            t->basicOffered || line.mid(colon + 1).trimmed().toLower().startsWith("basic");
    } else if (line.isEmpty() && t->length > kMaxBody) {
        t->tooLong = true; // its status decides; the rest is not waited for
        return 0;
    }
    return n;
}

size_t HttpClient::onBody(char* data, size_t size, size_t count, void* transfer) {
    auto* t = static_cast<Transfer*>(transfer);
    const size_t n = size * count;
    t->progress = t->client->clock_.elapsed();
    if (t->body.size() + static_cast<qint64>(n) > kMaxBody) {
        t->tooLong = true;
        t->body = QByteArray();
        return 0; // ends the transfer
    }
    t->body.append(data, static_cast<qsizetype>(n));
    return n;
}

void HttpClient::act(int socket, int mask) {
    int running = 0;
    curl_multi_socket_action(multi_, socket, mask, &running);
    collect();
}

void HttpClient::collect() {
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi_, &left)) {
        if (m->msg != CURLMSG_DONE)
            continue;
        Transfer* t = nullptr;
        curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, &t);
        const CURLcode result = m->data.result;
        const auto it = std::find_if(transfers_.begin(), transfers_.end(),
                                     [t](const Transfer& x) { return &x == t; });
        if (it != transfers_.end())
            finish(it, result);
    }
}

void HttpClient::checkStalls() {
    const qint64 now = clock_.elapsed();
    qint64 next = -1;
    for (auto it = transfers_.begin(); it != transfers_.end();) {
        const auto current = it++;
        const qint64 due = current->progress + current->request.stall.count();
        if (due <= now)
            finish(current, CURLE_OPERATION_TIMEDOUT); // may add transfers at the end
        else if (next < 0 || due < next)
            next = due;
    }
    if (next >= 0 && (!stallTimer_.isActive() || stallTimer_.remainingTime() > next - now))
        stallTimer_.start(static_cast<int>(next - now));
}

void HttpClient::finish(std::list<Transfer>::iterator it, int code) {
    Transfer& t = *it;
    const auto result = static_cast<CURLcode>(code);
    Answer answer;
    if (result == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
        answer.status = status;
        answer.body = std::move(t.body);
    } else if (t.tooLong && !t.corrupt) {
        answer.status = t.status;
        answer.tooLong = true;
    } else {
        switch (result) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            answer.certificate = true;
            answer.error = QString::fromUtf8(t.error);
            break;
        case CURLE_COULDNT_CONNECT:
            answer.error = qtText("QHttp", "Connection refused");
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            answer.error = qtText("QHttp", "Host %1 not found").arg(t.request.url.host());
            break;
        case CURLE_COULDNT_RESOLVE_PROXY:
            answer.error = qtText("QHttp", "Host %1 not found").arg(t.proxy.host());
            break;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            answer.error = qtText("QHttp", "Connection closed");
            break;
        case CURLE_OPERATION_TIMEDOUT:
            answer.silent = true;
            answer.error = qtText("QNetworkReplyHttpImpl", "Operation canceled");
            break;
        case CURLE_WRITE_ERROR: // an answer this client refused to read
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
            answer.error = qtText("QHttp", "Data corrupted");
            break;
        default:
            answer.error = QString::fromUtf8(t.error);
            if (answer.error.isEmpty())
                answer.error = QString::fromUtf8(curl_easy_strerror(result));
        }
        answer.error = withoutUserInfo(withoutUserInfo(answer.error, t.request.url), t.proxy);
    }
    if (t.basicOffered && !t.request.url.userName().isEmpty()) {
        const QString server = origin(t.request.url);
        if (std::find(basicFor_.begin(), basicFor_.end(), server) == basicFor_.end())
            basicFor_.push_back(server);
    }
    curl_multi_remove_handle(multi_, t.easy);
    curl_slist_free_all(t.headers);
    idle_.push_back(t.easy);
    Done done = std::move(t.request.done);
    transfers_.erase(it);
    done(answer);
}
