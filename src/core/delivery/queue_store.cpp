#include "core/delivery/queue_store.h"

#include "core/delivery/queue_file.h"
#include "core/logging.h"
#include "core/private_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Journal layout: the 8 bytes "KVQJRNL1", then records. A record is its payload's
// length and CRC-32C (both 32-bit little-endian) followed by the payload, whose
// first byte says what it is:
//   'H' size (64) crc (32): the queue.json this journal continues
//   'P' size (64) crc (32): a queue.json about to replace it, equally continued
//   'S' ts (64):            the last stamp given
//   'A' ts (64) text:       a scan appended (text in UTF-8)
//   'B' ts (64) n (8) identifier text: the same, with the AIM identifier (n bytes)
//                           its scanner gave apart
//   'R' count (64):         scans removed from the front
// A journal is only ever trusted together with a queue.json named by its 'H' or a
// 'P' record; a queue.json that no record names was written by someone else and is
// taken over instead.

namespace {

constexpr char kMagic[] = "KVQJRNL1";
constexpr qint64 kMagicSize = 8;
constexpr qint64 kFrame = 8;
constexpr quint32 kMaxPayload = 64 * 1024 * 1024;
constexpr qint64 kChunk = 1024 * 1024;

void put32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put64(QByteArray& out, quint64 v) {
    for (int i = 0; i < 8; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
quint32 get32(const char* p) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(p[i]);
    return v;
}
quint64 get64(const char* p) {
    quint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(p[i]);
    return v;
}

QByteArray frame(const QByteArray& payload) {
    QByteArray out;
    out.reserve(kFrame + payload.size());
    put32(out, static_cast<quint32>(payload.size()));
    put32(out, journal::crc32c(payload.constData(), payload.size()));
    out.append(payload);
    return out;
}

struct Identity {
    qint64 size = -1; // -1: no queue.json
    quint32 crc = 0;
    friend bool operator==(const Identity&, const Identity&) = default;
};

QByteArray identityRecord(char kind, const Identity& id) {
    QByteArray payload(1, kind);
    put64(payload, static_cast<quint64>(id.size));
    put32(payload, id.crc);
    return frame(payload);
}

QByteArray stampRecord(qint64 ts) {
    QByteArray payload(1, 'S');
    put64(payload, static_cast<quint64>(ts));
    return frame(payload);
}

// Reads a file front to back in large pieces, whatever its size.
class Reader {
  public:
    explicit Reader(int fd, qint64 from = 0) : fd_(fd), pos_(from) {}
    qint64 pos() const { return pos_; }
    void seek(qint64 pos) { pos_ = pos; }
    int error() const { return error_; }
    // Points at the next n bytes; null at the end of the file (or an error).
    const char* take(qint64 n) {
        if (pos_ < start_ || pos_ + n > start_ + buf_.size()) {
            buf_.resize(std::max(n, kChunk));
            qint64 got = 0;
            while (got < buf_.size()) {
                const ssize_t r = ::pread(fd_, buf_.data() + got,
                                          static_cast<size_t>(buf_.size() - got), pos_ + got);
                if (r < 0 && errno == EINTR)
                    continue;
                if (r < 0)
                    error_ = errno;
                if (r <= 0)
                    break;
                got += r;
            }
            buf_.resize(got);
            start_ = pos_;
            if (got < n)
                return nullptr;
        }
        const char* p = buf_.constData() + (pos_ - start_);
        pos_ += n;
        return p;
    }
    // True when nothing but zero bytes follows `from` (a power cut may leave those).
    bool onlyZerosFrom(qint64 from) {
        pos_ = from;
        start_ = from + 1; // forces a fresh read
        buf_.clear();
        while (const char* p = take(1)) {
            if (*p != 0)
                return false;
        }
        return error_ == 0;
    }

  private:
    int fd_;
    qint64 pos_;
    qint64 start_ = 0;
    QByteArray buf_;
    int error_ = 0;
};

// A scan appended: an 'A' or 'B' record's payload after its kind byte, taken apart.
struct Appended {
    qint64 ts = 0;
    const char* symbology = nullptr;
    qsizetype symbologySize = 0;
    const char* text = nullptr;
    qsizetype textSize = 0;
};

std::optional<Appended> appendedOf(char kind, const char* data, qint64 size) {
    if (size < 8 || (kind == 'B' && size < 9))
        return std::nullopt;
    Appended a;
    a.ts = static_cast<qint64>(get64(data));
    qint64 at = 8;
    if (kind == 'B') {
        a.symbologySize = static_cast<quint8>(data[at++]);
        a.symbology = data + at;
        at += a.symbologySize;
        if (at > size)
            return std::nullopt;
    }
    a.text = data + at;
    a.textSize = static_cast<qsizetype>(size - at);
    return a;
}

struct Record {
    char kind = 0;
    const char* data = nullptr; // after the kind byte
    qint64 size = 0;
    qint64 start = 0;
    qint64 end = 0; // where it ends, or would by its length
};

enum class Next { record, end, torn, damaged };

Next nextRecord(Reader& in, Record& r) {
    r.start = in.pos();
    const char* head = in.take(kFrame);
    if (!head)
        return in.pos() == r.start && in.error() == 0 && in.take(1) == nullptr ? Next::end
                                                                               : Next::torn;
    const quint32 length = get32(head);
    const quint32 crc = get32(head + 4);
    r.end = in.pos() + (length <= kMaxPayload ? length : 0);
    if (length == 0 || length > kMaxPayload)
        return Next::damaged;
    // The frame and its payload in one piece, so that the whole record can be copied.
    in.seek(r.start);
    const char* whole = in.take(kFrame + length);
    if (!whole)
        return Next::torn;
    const char* payload = whole + kFrame;
    if (journal::crc32c(payload, length) != crc)
        return Next::damaged;
    r.kind = payload[0];
    r.data = payload + 1;
    r.size = length - 1;
    return Next::record;
}

// Why a journal read record by record did not reach `end` whole (the last read gave
// `last`); empty when it did.
QString unreadBefore(const Reader& in, Next last, qint64 end) {
    if (last == Next::record && in.pos() == end)
        return {};
    return in.error() != 0 ? QStringLiteral("cannot read the journal: ") + reasonOf(in.error())
                           : QStringLiteral("the journal is damaged before its end");
}

struct Parsed {
    QList<QueuedScan> scans;
    std::vector<Identity> identities;
    qint64 lastStamp = 0;
    qint64 end = kMagicSize; // after the last whole record
    qint64 appendCount = 0;
    qint64 appendBytes = 0;
    bool damaged = false; // something other than a torn last record was skipped
};

// nullopt with errno-like `failure` set when the journal cannot be read; `bad` when
// it is not a journal at all.
std::optional<Parsed> parseJournal(int fd, int& failure, bool& bad) {
    Reader in(fd);
    const char* magic = in.take(kMagicSize);
    if (!magic || std::memcmp(magic, kMagic, kMagicSize) != 0) {
        failure = in.error();
        bad = failure == 0;
        return std::nullopt;
    }
    Parsed p;
    Record r;
    for (;;) {
        const Next next = nextRecord(in, r);
        if (next == Next::end)
            break;
        bool good = next == Next::record;
        if (good) {
            if (p.identities.empty() && r.kind != 'H') {
                bad = true; // not begun as a journal is
                return std::nullopt;
            }
            switch (r.kind) {
            case 'H':
            case 'P':
                good = r.size == 12;
                if (good)
                    p.identities.push_back({static_cast<qint64>(get64(r.data)), get32(r.data + 8)});
                break;
            case 'S':
                good = r.size == 8;
                if (good)
                    p.lastStamp = std::max(p.lastStamp, static_cast<qint64>(get64(r.data)));
                break;
            case 'A':
            case 'B': {
                const std::optional<Appended> a = appendedOf(r.kind, r.data, r.size);
                good = a.has_value();
                if (good) {
                    p.scans.append(QueuedScan{QString::fromUtf8(a->text, a->textSize), a->ts,
                                              QString::fromUtf8(a->symbology, a->symbologySize)});
                    p.lastStamp = std::max(p.lastStamp, a->ts);
                    ++p.appendCount;
                    p.appendBytes += kFrame + 1 + r.size;
                }
                break;
            }
            case 'R': {
                const quint64 count = r.size == 8 ? get64(r.data) : 0;
                good = r.size == 8 && count <= static_cast<quint64>(p.scans.size());
                if (good)
                    p.scans.remove(0, static_cast<qsizetype>(count));
                break;
            }
            default:
                good = false;
            }
        }
        if (!good) {
            if (in.error() != 0) {
                failure = in.error();
                return std::nullopt;
            }
            if (p.identities.empty()) {
                bad = true;
                return std::nullopt;
            }
            // A record cut short by a crash, with nothing or only zeros after it,
            // is the end of the journal; anything else is damage, kept aside by
            // the caller.
            p.damaged = next != Next::torn && !in.onlyZerosFrom(r.end);
            break;
        }
        p.end = in.pos();
    }
    return p;
}

// Size and checksum of queue.json; nullopt with `failure` when it cannot be read.
std::optional<Identity> identityOf(const QString& path, int& failure) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failure = errno;
        if (failure == ENOENT)
            return Identity{};
        return std::nullopt;
    }
    Identity id{0, 0};
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), static_cast<size_t>(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failure = errno;
        if (n <= 0)
            break;
        id.crc = journal::crc32c(chunk.constData(), n, id.crc);
        id.size += n;
    }
    ::close(fd);
    if (failure != 0)
        return std::nullopt;
    return id;
}

QString asideName(const QString& path) {
    return path + QStringLiteral(".unreadable-") +
           QString::number(QDateTime::currentMSecsSinceEpoch());
}

// Leftovers of interrupted writes: nothing else writes these names. Looking on
// while an agent runs, only those older than any write of its takes.
void removeLeftovers(const QString& path, bool onlyOld = false) {
    const QFileInfo info(path);
    QDir folder = info.absoluteDir();
    const QStringList leftovers = folder.entryList(
        {info.fileName() + QStringLiteral(".saving-??????")}, QDir::Files | QDir::Hidden);
    const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-600);
    for (const QString& name : leftovers) {
        if (onlyOld && QFileInfo(folder.filePath(name)).lastModified() > old)
            continue;
        if (folder.remove(name))
            qCInfo(lcQueue).noquote()
                << "removed" << folder.filePath(name) << "left by an interrupted write";
    }
}

// A temporary file beside `target`, owner-only; the folder is made again if it went.
int makeTemp(const QString& target, QByteArray& name) {
    name = QFile::encodeName(target) + ".saving-XXXXXX";
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        makePrivateFolder(QFileInfo(target).absolutePath());
        name = QFile::encodeName(target) + ".saving-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
    }
    return fd;
}

// Appends one scan as a JSON element; the text is UTF-8 already.
void appendJsonText(QByteArray& out, const char* text, qint64 size) {
    static constexpr char hex[] = "0123456789abcdef";
    out.append('"');
    for (qint64 i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.append(hex[c >> 4]);
                out.append(hex[c & 15]);
            } else {
                out.append(static_cast<char>(c));
            }
        }
    }
    out.append('"');
}

// One scan as an element of queue.json; the texts are UTF-8 already.
void appendJsonElement(QByteArray& out, const Appended& a) {
    out.append("{\"value\":");
    appendJsonText(out, a.text, a.textSize);
    out.append(",\"ts\":");
    out.append(QByteArray::number(a.ts));
    if (a.symbologySize > 0) {
        out.append(",\"symbology\":");
        appendJsonText(out, a.symbology, a.symbologySize);
    }
    out.append('}');
}

} // namespace

namespace journal {

quint32 crc32c(const char* data, qsizetype size, quint32 crc) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ static_cast<quint8>(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QByteArray appendRecord(const QueuedScan& scan) {
    const QByteArray text = scan.value.toUtf8();
    // An identifier is three characters; one that does not fit the length byte is none.
    const QByteArray symbology = scan.symbology.toUtf8().left(255);
    QByteArray payload;
    payload.reserve(10 + symbology.size() + text.size());
    payload.append(symbology.isEmpty() ? 'A' : 'B');
    put64(payload, static_cast<quint64>(scan.ts));
    if (!symbology.isEmpty()) {
        payload.append(static_cast<char>(symbology.size()));
        payload.append(symbology);
    }
    payload.append(text);
    return frame(payload);
}

} // namespace journal

QueueStore::QueueStore(QString snapshot) : snapshot_(std::move(snapshot)) {
    journalPath_ = snapshot_.endsWith(QLatin1String(".json"))
                       ? snapshot_.chopped(5) + QStringLiteral(".journal")
                       : snapshot_ + QStringLiteral(".journal");
    thread_ = std::thread([this] { run(); });
}

QueueStore::~QueueStore() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (journal_ >= 0)
        ::close(journal_);
}

QString QueueStore::snapshotPath() const {
    return snapshot_;
}

QString QueueStore::journalPath() const {
    return journalPath_;
}

namespace {

struct Loaded {
    QueueStore::Contents contents;
    qint64 appendCount = 0;
    qint64 appendBytes = 0;
    int fd = -1; // the journal, open for writing, when it is to be continued
};

// changing: the agent's own load; tidy: a look from outside that still removes old
// leftovers and sets an undecodable queue.json aside.
std::optional<Loaded> loadStore(const QString& snapshot, const QString& journalPath, bool changing,
                                bool tidy, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<Loaded> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (changing || tidy) {
        removeLeftovers(journalPath, !changing);
        removeLeftovers(snapshot, !changing);
    }
    Loaded out;
    std::optional<Parsed> parsed;
    const QByteArray journalName = QFile::encodeName(journalPath);
    const int fd = ::open(journalName.constData(), O_RDONLY | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    bool bad = false;
    if (fd >= 0) {
        parsed = parseJournal(fd, failure, bad);
        if (!parsed && !bad && !readingCanNeverWork(failure)) {
            ::close(fd);
            return fail(reasonOf(failure));
        }
    } else if (failure != ENOENT && !readingCanNeverWork(failure)) {
        return fail(reasonOf(failure));
    }
    const bool unusable = fd >= 0 ? !parsed : failure != ENOENT;
    if (changing && unusable) {
        const QString aside = asideName(journalPath);
        if (!QFile::rename(journalPath, aside) && !QFile::copy(journalPath, aside)) {
            if (fd >= 0)
                ::close(fd);
            return fail(QStringLiteral("the journal cannot be read nor kept aside"));
        }
        qCWarning(lcQueue).noquote()
            << "queue journal" << journalPath << "could not be read; kept aside as" << aside;
        out.contents.setAside = aside;
    }
    if (parsed && parsed->damaged && changing) {
        const QString aside = asideName(journalPath);
        // The journal is cut back to its last good record only once the records
        // after it are kept; until then (a full disk) it is left as it is.
        if (!QFile::copy(journalPath, aside)) {
            ::close(fd);
            return fail(QStringLiteral("the damaged journal cannot be kept aside"));
        }
        qCWarning(lcQueue).noquote()
            << "queue journal" << journalPath
            << "is damaged after its last good record; a copy is kept as" << aside;
        out.contents.setAside = aside;
    }
    int snapFailure = 0;
    const std::optional<Identity> id = identityOf(snapshot, snapFailure);
    if (!id && !readingCanNeverWork(snapFailure)) {
        if (fd >= 0)
            ::close(fd);
        return fail(reasonOf(snapFailure));
    }
    if (parsed && id &&
        std::find(parsed->identities.begin(), parsed->identities.end(), *id) !=
            parsed->identities.end()) {
        out.contents.scans = std::move(parsed->scans);
        out.contents.lastStamp = parsed->lastStamp;
        out.contents.fromJournal = true;
        out.contents.journalEnd = parsed->end;
        out.appendCount = parsed->appendCount;
        out.appendBytes = parsed->appendBytes;
        ::close(fd);
        // Continued where it can be written; else (a read-only folder) the first
        // change writes the whole list afresh, and says why it cannot.
        if (changing)
            out.fd = ::open(journalName.constData(), O_RDWR | O_CLOEXEC);
        return out;
    }
    if (fd >= 0)
        ::close(fd);
    // No journal, or one that belongs to an older queue.json: queue.json is taken over.
    const qint64 stamp = parsed ? parsed->lastStamp : 0;
    if (!changing) {
        QByteArray bytes;
        QFile file(snapshot);
        if (!file.exists())
            return out;
        if (!file.open(QIODevice::ReadOnly))
            return fail(file.errorString());
        bytes = file.readAll();
        file.close();
        auto scans = decodeQueue(bytes);
        if (!scans && tidy) {
            const QString aside = asideName(snapshot);
            if (!QFile::rename(snapshot, aside))
                return fail(QStringLiteral("%1 cannot be decoded nor kept aside").arg(snapshot));
            out.contents.setAside = aside;
            return out;
        }
        if (!scans)
            return fail(QStringLiteral("%1 cannot be decoded").arg(snapshot));
        out.contents.scans = std::move(*scans);
    } else {
        QueueFile file(snapshot);
        QString why;
        auto scans = file.tryLoad(&why);
        if (!scans)
            return fail(why);
        out.contents.scans = std::move(*scans);
        if (!file.setAside().isEmpty())
            out.contents.setAside = file.setAside();
    }
    out.contents.lastStamp = stamp;
    for (const QueuedScan& s : out.contents.scans)
        out.contents.lastStamp = std::max(out.contents.lastStamp, s.ts);
    return out;
}

} // namespace

std::optional<QueueStore::Contents> QueueStore::load(QString* error) {
    std::optional<Loaded> loaded = loadStore(snapshot_, journalPath_, true, false, error);
    if (!loaded)
        return std::nullopt;
    // Decoding a large queue.json of an older agent takes several times its list's
    // memory for a moment: given back, so the agent does not keep it while it runs.
    if (!loaded->contents.fromJournal)
        ::malloc_trim(0);
    std::lock_guard lock(mutex_);
    if (journal_ >= 0)
        ::close(journal_);
    journal_ = loaded->fd;
    lastStamp_ = loaded->contents.lastStamp;
    if (journal_ >= 0) {
        // A torn last record is cut off, so the next record follows the last good one.
        end_ = loaded->contents.journalEnd;
        if (::ftruncate(journal_, end_) != 0) {
            ::close(journal_);
            journal_ = -1;
        }
    }
    liveCount_ = loaded->contents.scans.size();
    appendCount_ = loaded->appendCount;
    appendBytes_ = loaded->appendBytes;
    // Only what lies beyond the list's own records counts towards the next compaction.
    const qint64 liveBytes = appendCount_ > 0 ? liveCount_ * (appendBytes_ / appendCount_) : 0;
    sinceWhole_ = journal_ >= 0 ? std::max<qint64>(0, end_ - kMagicSize - liveBytes) : 0;
    behind_ = journal_ < 0;
    if (behind_)
        error_.clear(); // nothing failed: there is simply nothing to continue yet
    return std::move(loaded->contents);
}

std::optional<QueueStore::Contents> QueueStore::read(const QString& snapshot, QString* error,
                                                     bool tidy) {
    const QString journalPath = snapshot.endsWith(QLatin1String(".json"))
                                    ? snapshot.chopped(5) + QStringLiteral(".journal")
                                    : snapshot + QStringLiteral(".journal");
    // A running agent may be replacing both files just now: read until two looks
    // agree on which journal is there.
    std::optional<Loaded> loaded;
    for (int attempt = 0; attempt < 10; ++attempt) {
        struct stat before {};
        const bool had = ::stat(QFile::encodeName(journalPath).constData(), &before) == 0;
        loaded = loadStore(snapshot, journalPath, false, tidy, error);
        struct stat after {};
        const bool has = ::stat(QFile::encodeName(journalPath).constData(), &after) == 0;
        if (had == has && (!had || before.st_ino == after.st_ino))
            break;
    }
    if (!loaded)
        return std::nullopt;
    return std::move(loaded->contents);
}

quint64 QueueStore::hand(Change change) {
    quint64 number = 0;
    {
        std::lock_guard lock(mutex_);
        number = change.number = ++handed_;
        waiting_.push_back(std::move(change));
    }
    changed_.notify_all();
    return number;
}

quint64 QueueStore::append(const QueuedScan& scan) {
    return hand({Change::record, journal::appendRecord(scan), scan.ts, 0});
}

quint64 QueueStore::removeFront(qsizetype count) {
    QByteArray payload(1, 'R');
    put64(payload, static_cast<quint64>(count));
    return hand({Change::record, frame(payload), count, 0});
}

quint64 QueueStore::rewrite(const QList<QueuedScan>& scans, qint64 lastStamp) {
    {
        std::lock_guard lock(mutex_);
        rewriteHanded_ = handed_ + 1;
    }
    QByteArray records;
    for (const QueuedScan& s : scans)
        records.append(journal::appendRecord(s));
    return hand({Change::rewrite, std::move(records), lastStamp, 0});
}

quint64 QueueStore::compact() {
    return hand({Change::compact, {}, 0, 0});
}

bool QueueStore::waitFor(quint64 number) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_ >= number; });
    return failed_ < number || !behind_;
}

bool QueueStore::written(quint64 number) const {
    std::lock_guard lock(mutex_);
    return done_ >= number && (failed_ < number || !behind_);
}

void QueueStore::waitUntilWritten() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_ >= handed_ && !busy_; });
}

bool QueueStore::behind() const {
    std::lock_guard lock(mutex_);
    return behind_;
}

bool QueueStore::needsRewrite() const {
    std::lock_guard lock(mutex_);
    return behind_ && rewriteHanded_ <= done_;
}

QString QueueStore::behindBecause() const {
    std::lock_guard lock(mutex_);
    return behind_ ? error_ : QString();
}

quint64 QueueStore::bytesWritten() const {
    std::lock_guard lock(mutex_);
    return bytesWritten_;
}

quint64 QueueStore::compactions() const {
    std::lock_guard lock(mutex_);
    return compactions_;
}

quint64 QueueStore::lastHanded() const {
    std::lock_guard lock(mutex_);
    return handed_;
}

void QueueStore::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !waiting_.empty() || stopping_; });
        if (waiting_.empty())
            return;
        std::vector<Change> changes = std::move(waiting_);
        waiting_.clear();
        busy_ = true;
        bool behind = behind_;
        lock.unlock();
        // Records that arrived together are written together and synced once.
        QByteArray records;
        QString error;
        quint64 lastFailed = 0;
        const auto note = [&](bool ok, quint64 number) {
            noteResult(ok, error);
            behind = !ok;
            if (!ok)
                lastFailed = number;
        };
        quint64 pendingUpTo = 0;
        const auto writePending = [&] {
            if (!records.isEmpty() && !behind)
                note(writeRecords(records, &error), pendingUpTo);
            else if (behind && pendingUpTo)
                lastFailed = pendingUpTo;
            records.clear();
            pendingUpTo = 0;
        };
        for (Change& c : changes) {
            if (c.kind == Change::record) {
                records.append(c.bytes);
                pendingUpTo = c.number;
                if (c.bytes.at(kFrame) == 'A' || c.bytes.at(kFrame) == 'B') {
                    lastStamp_ = std::max(lastStamp_, c.lastStamp);
                    ++liveCount_;
                    ++appendCount_;
                    appendBytes_ += c.bytes.size();
                } else {
                    liveCount_ = std::max<qint64>(0, liveCount_ - c.lastStamp);
                }
                continue;
            }
            writePending();
            if (c.kind == Change::rewrite) {
                lastStamp_ = std::max(lastStamp_, c.lastStamp);
                note(writeWhole(&c.bytes, lastStamp_, &error), c.number);
            } else if (!behind && sinceWhole_ > 0) {
                note(writeWhole(nullptr, lastStamp_, &error), c.number);
            }
        }
        writePending();
        lock.lock();
        behind_ = behind;
        done_ = changes.back().number;
        if (lastFailed)
            failed_ = lastFailed;
        changed_.notify_all(); // nobody waits for the compaction below
        // Now and then the list is written whole: once the journal has grown by as
        // much as the list it holds, so that each byte of a change costs a bounded
        // number of bytes written, however long the queue.
        const qint64 live = appendCount_ > 0 ? liveCount_ * (appendBytes_ / appendCount_) : 0;
        if (!behind && sinceWhole_ >= std::max<qint64>(kChunk, live)) {
            lock.unlock();
            // On failure the journal still holds it all; tried again after the next
            // changes, and said again only for another reason.
            QString why;
            if (writeWhole(nullptr, lastStamp_, &why))
                wholeFailure_.clear();
            else if (std::exchange(wholeFailure_, why) != why)
                qCWarning(lcQueue).noquote()
                    << "queue file" << snapshot_ << "not rewritten:" << why;
            lock.lock();
        }
        busy_ = false;
        changed_.notify_all();
    }
}

bool QueueStore::journalGone() const {
    struct stat st {};
    return ::fstat(journal_, &st) != 0 || st.st_nlink == 0;
}

bool QueueStore::writeRecords(const QByteArray& bytes, QString* error) {
    if (journal_ >= 0 && journalGone()) {
        // The folder was removed under the running agent: the journal still open
        // holds the list, which goes to a new folder before the new records.
        qCWarning(lcQueue).noquote()
            << "queue journal" << journalPath_ << "was removed; written again";
        if (!writeWhole(nullptr, lastStamp_, error))
            return false;
    }
    if (journal_ < 0) {
        *error = QStringLiteral("no journal open");
        return false;
    }
    const auto fail = [&](const char* step) {
        const int code = errno;
        // Cut back to the last whole record, so a later record never follows a
        // partial one; if even that fails the store stays behind until rewritten.
        if (::ftruncate(journal_, end_) != 0) {
            ::close(journal_);
            journal_ = -1;
        }
        *error = QString::fromLatin1(step) + QStringLiteral(": ") + reasonOf(code);
        return false;
    };
    if (::lseek(journal_, end_, SEEK_SET) < 0)
        return fail("cannot write");
    if (!writeAll(journal_, bytes.constData(), bytes.size()))
        return fail("cannot write");
    {
        std::lock_guard lock(mutex_);
        bytesWritten_ += static_cast<quint64>(bytes.size());
    }
    if (::fdatasync(journal_) != 0)
        return fail("cannot sync");
    end_ += bytes.size();
    sinceWhole_ += bytes.size();
    error->clear();
    return true;
}

bool QueueStore::writeWhole(const QByteArray* given, qint64 lastStamp, QString* error) {
    // The list's append records: given, or the live ones of the open journal (the
    // first `removed` appends are gone).
    qint64 removed = 0;
    if (!given) {
        if (journal_ < 0) {
            *error = QStringLiteral("no journal open");
            return false;
        }
        // A list cut short at a record that cannot be read would lose the scans after
        // it, and a removal count cut short would bring delivered scans back.
        Reader in(journal_, kMagicSize);
        Record r;
        Next last = Next::record;
        while (in.pos() < end_ && (last = nextRecord(in, r)) == Next::record) {
            if (r.kind == 'R')
                removed += static_cast<qint64>(get64(r.data));
        }
        *error = unreadBefore(in, last, end_);
        if (!error->isEmpty())
            return false;
    }
    QByteArray jsonName, journalName;
    const int json = makeTemp(snapshot_, jsonName);
    if (json < 0) {
        *error = QStringLiteral("cannot create: ") + reasonOf(errno);
        return false;
    }
    const int next = makeTemp(journalPath_, journalName);
    bool renamedJson = false;
    const auto fail = [&](const char* step) {
        const int code = errno;
        ::close(json);
        if (!renamedJson)
            ::unlink(jsonName.constData());
        if (next >= 0) {
            ::close(next);
            ::unlink(journalName.constData());
        }
        *error = QString::fromLatin1(step) + QStringLiteral(": ") + reasonOf(code);
        return false;
    };
    if (next < 0)
        return fail("cannot create");
    // The new journal: magic, 'H' (needs the JSON's checksum, so written last into
    // the room kept for it), 'S', then the list's records.
    constexpr qint64 kHead = kMagicSize + kFrame + 13 + kFrame + 9;
    QByteArray jsonOut("[");
    QByteArray body;
    quint32 crc = 0;
    qint64 jsonSize = 0;
    qint64 bodySize = 0;
    qint64 count = 0;
    bool ok = true;
    const auto flush = [&](bool last) {
        if (last)
            jsonOut.append(']');
        crc = journal::crc32c(jsonOut.constData(), jsonOut.size(), crc);
        jsonSize += jsonOut.size();
        ok = ok && writeAll(json, jsonOut.constData(), jsonOut.size()) &&
             (body.isEmpty() || ::lseek(next, kHead + bodySize, SEEK_SET) >= 0) &&
             writeAll(next, body.constData(), body.size());
        bodySize += body.size();
        jsonOut.clear();
        body.clear();
    };
    const auto take = [&](const char* record, qint64 size) {
        const char* payload = record + kFrame;
        const std::optional<Appended> scan = appendedOf(payload[0], payload + 1, size - kFrame - 1);
        if (!scan)
            return; // loading has set such a journal aside already
        if (count++ > 0)
            jsonOut.append(',');
        appendJsonElement(jsonOut, *scan);
        body.append(record, size);
        if (jsonOut.size() >= kChunk || body.size() >= kChunk)
            flush(false);
    };
    QString unread;
    if (given) {
        for (qint64 at = 0; ok && at + kFrame < given->size();) {
            const char* p = given->constData() + at;
            const qint64 size = kFrame + get32(p);
            take(p, size);
            at += size;
        }
    } else {
        Reader in(journal_, kMagicSize);
        Record r;
        qint64 skip = removed;
        Next last = Next::record;
        while (ok && in.pos() < end_ && (last = nextRecord(in, r)) == Next::record) {
            if (r.kind != 'A' && r.kind != 'B')
                continue;
            if (skip > 0) {
                --skip;
                continue;
            }
            take(r.data - 1 - kFrame, kFrame + 1 + r.size);
        }
        unread = unreadBefore(in, last, end_);
    }
    flush(true);
    if (!ok)
        return fail("cannot write");
    if (!unread.isEmpty()) {
        fail("cannot read");
        *error = unread;
        return false;
    }
    if (::fsync(json) != 0)
        return fail("cannot sync");
    const Identity id{jsonSize, crc};
    QByteArray head(kMagic, kMagicSize);
    head.append(identityRecord('H', id));
    head.append(stampRecord(lastStamp));
    Q_ASSERT(head.size() == kHead);
    if (::lseek(next, 0, SEEK_SET) < 0 || !writeAll(next, head.constData(), head.size()))
        return fail("cannot write");
    if (::fsync(next) != 0)
        return fail("cannot sync");
    // The old journal learns of the new queue.json before it is in place, so a crash
    // between the two renames still finds a trusted pair.
    if (journal_ >= 0 && !journalGone()) {
        const QByteArray announce = identityRecord('P', id);
        if (::lseek(journal_, end_, SEEK_SET) < 0 ||
            !writeAll(journal_, announce.constData(), announce.size()) ||
            ::fdatasync(journal_) != 0) {
            const int code = errno;
            (void)::ftruncate(journal_, end_);
            errno = code;
            return fail("cannot write");
        }
        end_ += announce.size();
    }
    if (::rename(jsonName.constData(), QFile::encodeName(snapshot_).constData()) != 0)
        return fail("cannot replace");
    renamedJson = true;
    // From here the new journal is the one to continue, even if a sync fails.
    const bool synced =
        syncFolderOf(snapshot_) &&
        ::rename(journalName.constData(), QFile::encodeName(journalPath_).constData()) == 0 &&
        syncFolderOf(journalPath_);
    const int code = errno;
    ::close(json);
    if (!synced) {
        ::close(next);
        ::unlink(journalName.constData());
        *error = QStringLiteral("cannot replace the journal: ") + reasonOf(code);
        return false;
    }
    if (journal_ >= 0)
        ::close(journal_);
    journal_ = next;
    end_ = kHead + bodySize;
    liveCount_ = count;
    appendCount_ = count;
    appendBytes_ = bodySize;
    sinceWhole_ = 0;
    {
        std::lock_guard lock(mutex_);
        bytesWritten_ += static_cast<quint64>(jsonSize + end_);
        ++compactions_;
    }
    error->clear();
    return true;
}

void QueueStore::noteResult(bool ok, const QString& error) {
    std::lock_guard lock(mutex_);
    if (ok && !error_.isEmpty()) {
        qCInfo(lcQueue).noquote() << "queue file" << snapshot_ << "is up to date again";
    } else if (!ok && error_ != error) {
        qCWarning(lcQueue).noquote() << "queue file" << snapshot_ << error
                                     << "- scans are kept in memory until it can be written";
    }
    error_ = ok ? QString() : error;
}
