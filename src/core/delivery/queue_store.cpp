#include "core/delivery/queue_store.h"

#include "core/delivery/queue_file.h"
#include "core/delivery/scan_text.h"
#include "core/logging.h"
#include "core/private_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
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
//   'B' size (64) crc (32): instead of 'H': the queue.json, taken over from an older
//                           agent, whose scans come before this journal's
//   'P' size (64) crc (32): a queue.json about to replace it, equally continued
//   'S' ts (64):            the last stamp given
//   'A' ts (64) text:       a scan appended (text in UTF-8)
//   'I' ts (64) n (8) identifier text: the same, with the AIM identifier (n bytes)
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

// A scan appended: an 'A' or 'I' record's payload after its kind byte, taken apart.
struct Appended {
    qint64 ts = 0;
    const char* symbology = nullptr;
    qsizetype symbologySize = 0;
    const char* text = nullptr;
    qsizetype textSize = 0;
};

bool isAppend(char kind) {
    return kind == 'A' || kind == 'I';
}

std::optional<Appended> appendedOf(char kind, const char* data, qint64 size) {
    if (size < 8 || (kind == 'I' && size < 9))
        return std::nullopt;
    Appended a;
    a.ts = static_cast<qint64>(get64(data));
    qint64 at = 8;
    if (kind == 'I') {
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
    bool base = false;    // begun with 'B': the scans of queue.json come first
    qint64 removed = 0;   // with `base`: scans removed from the front of both
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
            if (p.identities.empty() && r.kind != 'H' && r.kind != 'B') {
                bad = true; // not begun as a journal is
                return std::nullopt;
            }
            switch (r.kind) {
            case 'B':
                p.base = p.identities.empty();
                [[fallthrough]];
            case 'H':
            case 'P':
                good = r.size == 12 && (r.kind != 'B' || p.base);
                if (good)
                    p.identities.push_back({static_cast<qint64>(get64(r.data)), get32(r.data + 8)});
                break;
            case 'S':
                good = r.size == 8;
                if (good)
                    p.lastStamp = std::max(p.lastStamp, static_cast<qint64>(get64(r.data)));
                break;
            case 'A':
            case 'I': {
                const std::optional<Appended> a = appendedOf(r.kind, r.data, r.size);
                good = a.has_value();
                if (good) {
                    p.scans.append(QueuedScan{scanTextFromBytes(a->text, a->textSize), a->ts,
                                              scanTextFromBytes(a->symbology, a->symbologySize)});
                    p.lastStamp = std::max(p.lastStamp, a->ts);
                    ++p.appendCount;
                    p.appendBytes += kFrame + 1 + r.size;
                }
                break;
            }
            case 'R': {
                const quint64 count = r.size == 8 ? get64(r.data) : 0;
                if (p.base) { // the front may lie in queue.json, counted there
                    good = r.size == 8 && count <= static_cast<quint64>(kMaxPayload);
                    p.removed += good ? static_cast<qint64>(count) : 0;
                    break;
                }
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

// Sends a large file's new bytes to the disk as they are written, so that its final
// sync has little left to do: the file system would otherwise make the journal's
// next sync wait for all of them.
void writeBack(int fd, qint64 from, qint64 size) {
    if (size > 0)
        (void)::sync_file_range(fd, from, size,
                                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                    SYNC_FILE_RANGE_WAIT_AFTER);
}

// Appends a JSON string; the text is in the journal's bytes already.
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
            if (const char16_t lone = loneSurrogateAt(text + i, text + size)) {
                out.append("\\u");
                for (int shift = 12; shift >= 0; shift -= 4)
                    out.append(hex[(lone >> shift) & 15]);
                i += 2;
            } else if (c < 0x20) {
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

// One scan as an element of queue.json.
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
    QByteArray out;
    appendRecordTo(out, scan);
    return out;
}

void appendRecordTo(QByteArray& out, const QueuedScan& scan) {
    const QByteArray text = scanTextBytes(scan.value);
    // An identifier is three characters; one that does not fit the length byte is none.
    const QByteArray symbology = scanTextBytes(scan.symbology).left(255);
    const qsizetype size = 9 + text.size() + (symbology.isEmpty() ? 0 : 1 + symbology.size());
    const qsizetype at = out.size();
    put32(out, static_cast<quint32>(size));
    put32(out, 0); // the checksum, once the payload is there
    out.append(symbology.isEmpty() ? 'A' : 'I');
    put64(out, static_cast<quint64>(scan.ts));
    if (!symbology.isEmpty()) {
        out.append(static_cast<char>(symbology.size()));
        out.append(symbology);
    }
    out.append(text);
    const quint32 crc = crc32c(out.constData() + at + kFrame, size);
    for (int i = 0; i < 4; ++i)
        out[at + 4 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
}

} // namespace journal

struct QueueStore::Background {
    // What to write: the scans of a taken-over queue.json (its bytes) or `given`
    // append records, then the live appends of the journal `source` up to `upTo`.
    QByteArray baseJson;
    const QByteArray* given = nullptr;
    int source = -1;
    bool ownSource = true;
    qint64 upTo = 0;
    bool keepJson = false; // the new journal continues queue.json as it is
    Identity kept;
    qint64 lastStamp = 0;
    quint64 generation = 0;
    std::thread thread;
    // What was written: files not in place yet.
    bool ok = false;
    QString error;
    QByteArray jsonName, journalName;
    int json = -1;
    int next = -1;
    Identity id;
    std::optional<Identity> previous; // the queue.json in place while it was written
    qint64 jsonSize = 0;
    qint64 end = 0;   // the new journal's size
    qint64 count = 0; // the scans it holds
    qint64 body = 0;  // the bytes of their records

    void discard() {
        if (json >= 0)
            ::close(json);
        if (!jsonName.isEmpty())
            ::unlink(jsonName.constData());
        if (next >= 0)
            ::close(next);
        if (!journalName.isEmpty())
            ::unlink(journalName.constData());
        json = next = -1;
        jsonName.clear();
        journalName.clear();
    }
    ~Background() {
        discard();
        if (ownSource && source >= 0)
            ::close(source);
    }
};

QueueStore::QueueStore(QString snapshot, StepHook hook)
    : snapshot_(std::move(snapshot)), hook_(std::move(hook)) {
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
    // A queue.json of an older agent whose scans begin the list, and its identity:
    // taken over just now, or by a journal begun with 'B'.
    QByteArray base;
    Identity baseId;
};

// queue.json's scans, for a look from outside.
std::optional<QList<QueuedScan>> decodeFile(const QString& path, QByteArray* bytes, QString* why,
                                            bool* opened = nullptr) {
    QFile file(path);
    if (opened)
        *opened = file.open(QIODevice::ReadOnly);
    if (opened ? !*opened : !file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return std::nullopt;
    }
    *bytes = file.readAll();
    auto scans = decodeQueue(*bytes);
    if (!scans)
        *why = QStringLiteral("%1 cannot be decoded").arg(path);
    return scans;
}

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
        if (parsed->base) {
            // Begun as the take-over of this queue.json: its scans come first.
            QString why;
            auto base = decodeFile(snapshot, &out.base, &why);
            if (!base) {
                ::close(fd);
                return fail(why);
            }
            base->append(parsed->scans);
            base->remove(0, std::min<qsizetype>(parsed->removed, base->size()));
            parsed->scans = std::move(*base);
            out.baseId = *id;
        }
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
        if (!QFile::exists(snapshot))
            return out;
        QString why;
        bool opened = false;
        auto scans = decodeFile(snapshot, &bytes, &why, &opened);
        if (!opened)
            return fail(why);
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
        QByteArray bytes;
        auto scans = file.tryLoad(&why, &bytes);
        if (!scans)
            return fail(why);
        out.contents.scans = std::move(*scans);
        if (!out.contents.scans.isEmpty()) {
            // Kept as it is: a journal begun with 'B' continues it at once.
            out.baseId = {bytes.size(), journal::crc32c(bytes.constData(), bytes.size())};
            out.base = std::move(bytes);
        }
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
    std::unique_lock lock(mutex_);
    if (journal_ >= 0)
        ::close(journal_);
    journal_ = loaded->fd;
    ++generation_;
    lastStamp_ = loaded->contents.lastStamp;
    // A queue.json of an older agent is continued as it is by a journal begun with
    // 'B' (made by the writer before any other change), while its list is written
    // into an ordinary journal in the background: no change waits for that.
    baseMode_ = !loaded->base.isEmpty();
    base_ = std::move(loaded->base);
    baseSize_ = loaded->baseId.size;
    baseCrc_ = loaded->baseId.crc;
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
    behind_ = journal_ < 0 && !baseMode_;
    if (journal_ < 0)
        error_.clear(); // nothing failed: there is simply nothing to continue yet
    const bool takeOver = baseMode_;
    lock.unlock();
    if (takeOver)
        hand({Change::takeOver, {}, 0, 0});
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
    changed_.wait(lock, [&] { return done_ >= handed_ && !busy_ && !backgroundBusy_; });
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
        const auto ready = [this] {
            return !waiting_.empty() || stopping_ || backgroundDone_ || !snapshotToPlace_.isEmpty();
        };
        if (unsynced_ && !changed_.wait_until(lock, *unsynced_ + kRemovalSyncDelay, ready)) {
            // Removals written since the last sync reach the disk now, when nothing else
            // needs the writer.
            lock.unlock();
            syncRemovals();
            lock.lock();
            continue;
        }
        changed_.wait(lock, ready);
        if (backgroundDone_) {
            // Between two batches: the records written meanwhile are copied over.
            busy_ = true;
            lock.unlock();
            finishBackground();
            lock.lock();
            busy_ = false;
            changed_.notify_all();
            continue;
        }
        if (waiting_.empty() && !snapshotToPlace_.isEmpty()) {
            // Once the records that came during the switch are on disk.
            busy_ = true;
            lock.unlock();
            placeWaitingSnapshot();
            lock.lock();
            busy_ = false;
            backgroundBusy_ = false;
            changed_.notify_all();
            continue;
        }
        if (waiting_.empty()) {
            lock.unlock();
            syncRemovals();
            if (background_) { // left unfinished: its files are only copies
                background_->thread.join();
                background_->discard();
                background_.reset();
            }
            return;
        }
        std::vector<Change> changes = std::move(waiting_);
        waiting_.clear();
        busy_ = true;
        bool behind = behind_;
        lock.unlock();
        // Records that arrived together are written together and synced once.
        QByteArray records;
        bool appends = false; // else only removals: their sync may wait
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
                note(writeRecords(records, appends, &error), pendingUpTo);
            else if (behind && pendingUpTo)
                lastFailed = pendingUpTo;
            records.clear();
            appends = false;
            pendingUpTo = 0;
        };
        for (Change& c : changes) {
            if (c.kind == Change::record) {
                records.append(c.bytes);
                pendingUpTo = c.number;
                if (isAppend(c.bytes.at(kFrame))) {
                    appends = true;
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
            } else if (c.kind == Change::takeOver) {
                note(beginTakeOver(&error), c.number);
            } else {
                {
                    std::lock_guard guard(mutex_);
                    behind_ = behind;
                }
                finishBackground(); // at quit: the one under way first
                if (!behind && (sinceWhole_ > 0 || baseMode_))
                    note(writeWhole(nullptr, lastStamp_, &error), c.number);
            }
        }
        writePending();
        lock.lock();
        behind_ = behind;
        done_ = changes.back().number;
        if (lastFailed)
            failed_ = lastFailed;
        // Now and then the list is written whole: once the journal has grown by as
        // much as the list it holds, so that each byte of a change costs a bounded
        // number of bytes written, however long the queue. It is written by a thread
        // of its own; records go on to the journal meanwhile.
        const qint64 live = appendCount_ > 0 ? liveCount_ * (appendBytes_ / appendCount_) : 0;
        if (!behind && !background_ && snapshotToPlace_.isEmpty() &&
            sinceWhole_ >= std::max<qint64>(kChunk, live)) {
            lock.unlock();
            startBackground();
            lock.lock();
        }
        busy_ = false;
        changed_.notify_all();
    }
}

void QueueStore::step(const char* name) const {
    if (hook_)
        hook_(name);
}

bool QueueStore::beginTakeOver(QString* error) {
    if (journal_ < 0) {
        // A journal that continues the taken-over queue.json as it is: new records
        // have a place at once, whatever the length of the list.
        QByteArray name;
        const int fd = makeTemp(journalPath_, name);
        QByteArray head(kMagic, kMagicSize);
        head.append(identityRecord('B', {baseSize_, baseCrc_}));
        head.append(stampRecord(lastStamp_));
        const bool ok =
            fd >= 0 && writeAll(fd, head.constData(), head.size()) && ::fsync(fd) == 0 &&
            ::rename(name.constData(), QFile::encodeName(journalPath_).constData()) == 0 &&
            syncFolderOf(journalPath_);
        if (!ok) {
            const int code = errno;
            if (fd >= 0) {
                ::close(fd);
                ::unlink(name.constData());
            }
            baseMode_ = false; // the whole list is written instead, as when behind
            base_.clear();
            *error = QStringLiteral("cannot write the journal: ") + reasonOf(code);
            return false;
        }
        journal_ = fd;
        end_ = head.size();
        sinceWhole_ = 0;
        ++generation_;
        std::lock_guard lock(mutex_);
        bytesWritten_ += static_cast<quint64>(head.size());
    }
    step("taking over");
    startBackground();
    error->clear();
    return true;
}

void QueueStore::startBackground() {
    if (background_ || journal_ < 0)
        return;
    auto job = std::make_unique<Background>();
    // The journal up to here never changes again: read through a descriptor of its own.
    job->source = ::fcntl(journal_, F_DUPFD_CLOEXEC, 0);
    if (job->source < 0)
        return;
    job->upTo = end_;
    job->lastStamp = lastStamp_;
    job->generation = generation_;
    if (baseMode_) {
        job->baseJson = base_;
        job->keepJson = true;
        job->kept = {baseSize_, baseCrc_};
    }
    {
        std::lock_guard lock(mutex_);
        backgroundBusy_ = true;
        backgroundDone_ = false;
    }
    Background* raw = job.get();
    job->thread = std::thread([this, raw] {
        raw->ok = build(*raw, snapshot_, journalPath_, hook_);
        std::lock_guard lock(mutex_);
        backgroundDone_ = true;
        changed_.notify_all();
    });
    background_ = std::move(job);
}

void QueueStore::finishBackground() {
    if (!background_)
        return;
    Background& job = *background_;
    job.thread.join();
    bool behind = false;
    {
        std::lock_guard lock(mutex_);
        behind = behind_;
    }
    QString why = job.error;
    bool ok = job.ok;
    if (ok && (job.generation != generation_ || journal_ < 0 || behind)) {
        job.discard(); // another journal came meanwhile: it holds the list
        why.clear();
        ok = false;
    } else if (ok) {
        ok = switchTo(job, job.upTo, &why);
    } else {
        job.discard();
    }
    // On failure the journal still holds it all; tried again after the next changes,
    // and said again only for another reason.
    if (ok)
        wholeFailure_.clear();
    else if (!why.isEmpty() && std::exchange(wholeFailure_, why) != why)
        qCWarning(lcQueue).noquote() << "queue file" << snapshot_ << "not rewritten:" << why;
    background_.reset();
    std::lock_guard lock(mutex_);
    backgroundBusy_ = !snapshotToPlace_.isEmpty(); // until that is in place
    backgroundDone_ = false;
}

bool QueueStore::journalGone() const {
    struct stat st {};
    return ::fstat(journal_, &st) != 0 || st.st_nlink == 0;
}

bool QueueStore::writeRecords(const QByteArray& bytes, bool sync, QString* error) {
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
    // A removal lost to a power cut only sends a decided scan once more: removals wait
    // for the next sync (a new scan's, or one soon after), which keeps a drained
    // backlog from costing a disk flush per scan.
    const auto now = std::chrono::steady_clock::now();
    if (!sync && (!unsynced_ || now - *unsynced_ < kRemovalSyncDelay)) {
        if (!unsynced_)
            unsynced_ = now;
    } else if (::fdatasync(journal_) != 0) {
        return fail("cannot sync");
    } else {
        unsynced_.reset();
    }
    end_ += bytes.size();
    sinceWhole_ += bytes.size();
    error->clear();
    return true;
}

void QueueStore::syncRemovals() {
    if (!unsynced_)
        return;
    unsynced_.reset();
    if (journal_ >= 0 && ::fdatasync(journal_) != 0) {
        // Written but perhaps not kept: the list is written whole again.
        const QString error = QStringLiteral("cannot sync: ") + reasonOf(errno);
        noteResult(false, error);
        std::lock_guard lock(mutex_);
        behind_ = true;
        failed_ = done_;
    }
}

bool QueueStore::build(Background& job, const QString& snapshot, const QString& journalPath,
                       const StepHook& hook) {
    if (hook)
        hook("building");
    QString* error = &job.error;
    // A list cut short at a record that cannot be read would lose the scans after it,
    // and a removal count cut short would bring delivered scans back.
    qint64 removed = 0;
    if (job.source >= 0) {
        Reader in(job.source, kMagicSize);
        Record r;
        Next last = Next::record;
        while (in.pos() < job.upTo && (last = nextRecord(in, r)) == Next::record) {
            if (r.kind == 'R')
                removed += static_cast<qint64>(get64(r.data));
        }
        *error = unreadBefore(in, last, job.upTo);
        if (!error->isEmpty())
            return false;
    }
    std::optional<QList<QueuedScan>> base;
    if (!job.baseJson.isEmpty()) {
        base = decodeQueue(job.baseJson);
        if (!base) {
            *error = QStringLiteral("the queue file taken over cannot be decoded again");
            return false;
        }
    }
    const auto fail = [&](const char* step) {
        const int code = errno;
        job.discard();
        *error = QString::fromLatin1(step) + QStringLiteral(": ") + reasonOf(code);
        return false;
    };
    if (!job.keepJson && (job.json = makeTemp(snapshot, job.jsonName)) < 0) {
        job.jsonName.clear();
        return fail("cannot create");
    }
    if ((job.next = makeTemp(journalPath, job.journalName)) < 0) {
        job.journalName.clear();
        return fail("cannot create");
    }
    // The new journal: magic, 'H' (needs the JSON's checksum, so written last into
    // the room kept for it), 'S', then the list's records.
    constexpr qint64 kHead = kMagicSize + kFrame + 13 + kFrame + 9 + kFrame + 13;
    QByteArray jsonOut("[");
    QByteArray body;
    quint32 crc = 0;
    bool ok = true;
    const auto flush = [&](bool last) {
        if (last)
            jsonOut.append(']');
        if (job.json >= 0) {
            crc = journal::crc32c(jsonOut.constData(), jsonOut.size(), crc);
            ok = ok && writeAll(job.json, jsonOut.constData(), jsonOut.size());
            writeBack(job.json, job.jsonSize, jsonOut.size());
            job.jsonSize += jsonOut.size();
        }
        ok = ok && (body.isEmpty() || ::lseek(job.next, kHead + job.body, SEEK_SET) >= 0) &&
             writeAll(job.next, body.constData(), body.size());
        writeBack(job.next, kHead + job.body, body.size());
        job.body += body.size();
        jsonOut.clear();
        body.clear();
    };
    qint64 skip = removed;
    const auto take = [&](const char* record, qint64 size) {
        if (skip > 0) {
            --skip;
            return;
        }
        if (job.json >= 0) {
            const char* payload = record + kFrame;
            const std::optional<Appended> scan =
                appendedOf(payload[0], payload + 1, size - kFrame - 1);
            if (!scan)
                return; // loading has set such a journal aside already
            if (job.count > 0)
                jsonOut.append(',');
            appendJsonElement(jsonOut, *scan);
        }
        ++job.count;
        body.append(record, size);
        if (jsonOut.size() >= kChunk || body.size() >= kChunk)
            flush(false);
    };
    if (base) {
        QByteArray record;
        for (const QueuedScan& s : *base) {
            record.clear();
            journal::appendRecordTo(record, s);
            take(record.constData(), record.size());
        }
        job.baseJson.clear();
    }
    if (job.given) {
        for (qint64 at = 0; ok && at + kFrame < job.given->size();) {
            const char* p = job.given->constData() + at;
            const qint64 size = kFrame + get32(p);
            take(p, size);
            at += size;
        }
    }
    QString unread;
    if (job.source >= 0) {
        Reader in(job.source, kMagicSize);
        Record r;
        Next last = Next::record;
        while (ok && in.pos() < job.upTo && (last = nextRecord(in, r)) == Next::record) {
            if (isAppend(r.kind))
                take(r.data - 1 - kFrame, kFrame + 1 + r.size);
        }
        unread = unreadBefore(in, last, job.upTo);
    }
    flush(true);
    if (!ok)
        return fail("cannot write");
    if (!unread.isEmpty()) {
        fail("cannot read");
        *error = unread;
        return false;
    }
    if (job.json >= 0 && ::fsync(job.json) != 0)
        return fail("cannot sync");
    job.id = job.keepJson ? job.kept : Identity{job.jsonSize, crc};
    // The new journal also continues the queue.json in place now, so that it can be
    // put in place first and the new queue.json after it, while records go on.
    if (!job.keepJson) {
        int failure = 0;
        job.previous = identityOf(snapshot, failure);
        if (job.previous && job.previous->size < 0)
            job.previous.reset(); // none: a journal naming no file would outlive a removal
    }
    QByteArray head(kMagic, kMagicSize);
    head.append(identityRecord('H', job.id));
    head.append(stampRecord(job.lastStamp));
    head.append(identityRecord('P', job.previous.value_or(job.id)));
    Q_ASSERT(head.size() == kHead);
    if (::lseek(job.next, 0, SEEK_SET) < 0 || !writeAll(job.next, head.constData(), head.size()))
        return fail("cannot write");
    if (::fsync(job.next) != 0)
        return fail("cannot sync");
    job.end = kHead + job.body;
    if (hook)
        hook("built");
    error->clear();
    return true;
}

bool QueueStore::switchTo(Background& job, qint64 tailFrom, QString* error) {
    const auto fail = [&](const char* step) {
        const int code = errno;
        job.discard();
        *error = QString::fromLatin1(step) + QStringLiteral(": ") + reasonOf(code);
        return false;
    };
    // 1. The records the journal took while the list was being written follow it in
    //    the new journal.
    QByteArray tail;
    qint64 tailAppends = 0, tailAppendBytes = 0, tailRemoved = 0;
    if (journal_ >= 0 && tailFrom < end_) {
        Reader in(journal_, tailFrom);
        Record r;
        Next last = Next::record;
        while (in.pos() < end_ && (last = nextRecord(in, r)) == Next::record) {
            tail.append(r.data - 1 - kFrame, kFrame + 1 + r.size);
            if (isAppend(r.kind)) {
                ++tailAppends;
                tailAppendBytes += kFrame + 1 + r.size;
            } else if (r.kind == 'R') {
                tailRemoved += static_cast<qint64>(get64(r.data));
            }
        }
        const QString unread = unreadBefore(in, last, end_);
        if (!unread.isEmpty()) {
            job.discard();
            *error = unread;
            return false;
        }
        if (::lseek(job.next, job.end, SEEK_SET) < 0 ||
            !writeAll(job.next, tail.constData(), tail.size()) || ::fdatasync(job.next) != 0)
            return fail("cannot write");
    }
    step("tail copied");
    if (!job.keepJson && !job.previous) {
        // No queue.json in place for the new journal to continue: the old journal
        // learns of the new queue.json before it is in place, so a crash between the
        // two renames still finds a trusted pair. Not a journal begun with 'B': the
        // new queue.json would not be the start of its list; replacing that is safe
        // as the new file holds the whole list.
        if (journal_ >= 0 && !baseMode_ && !journalGone()) {
            const QByteArray announce = identityRecord('P', job.id);
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
        if (!placeSnapshot(job.jsonName))
            return fail("cannot replace");
        job.jsonName.clear();
    }
    // 2. From here the new journal is the one to continue; it is trusted beside the
    //    queue.json in place and beside the new one.
    if (::rename(job.journalName.constData(), QFile::encodeName(journalPath_).constData()) != 0 ||
        !syncFolderOf(journalPath_))
        return fail("cannot replace the journal");
    job.journalName.clear();
    step("journal replaced");
    if (journal_ >= 0)
        ::close(journal_);
    journal_ = std::exchange(job.next, -1);
    end_ = job.end + tail.size();
    liveCount_ = std::max<qint64>(0, job.count + tailAppends - tailRemoved);
    appendCount_ = job.count + tailAppends;
    appendBytes_ = job.body + tailAppendBytes;
    sinceWhole_ = tail.size();
    ++generation_;
    if (baseMode_) {
        baseMode_ = false; // an ordinary journal now: queue.json may be replaced
        base_.clear();     // one block, given back at once: no trim, which would hold malloc
    }
    // 3. The new queue.json goes in place once the records waiting now are written.
    if (job.json >= 0)
        ::close(std::exchange(job.json, -1));
    snapshotToPlace_ = std::exchange(job.jsonName, {});
    job.discard();
    {
        std::lock_guard lock(mutex_);
        bytesWritten_ += static_cast<quint64>(job.jsonSize + end_);
        ++compactions_;
    }
    error->clear();
    return true;
}

bool QueueStore::placeSnapshot(const QByteArray& name) {
    const bool ok = ::rename(name.constData(), QFile::encodeName(snapshot_).constData()) == 0 &&
                    syncFolderOf(snapshot_);
    step("snapshot replaced");
    return ok;
}

void QueueStore::placeWaitingSnapshot() {
    if (snapshotToPlace_.isEmpty())
        return;
    // Either queue.json pairs with the journal: a failure only leaves the older one.
    if (!placeSnapshot(snapshotToPlace_)) {
        qCWarning(lcQueue).noquote()
            << "queue file" << snapshot_ << "not replaced:" << reasonOf(errno);
        ::unlink(snapshotToPlace_.constData());
    }
    snapshotToPlace_.clear();
}

bool QueueStore::writeWhole(const QByteArray* given, qint64 lastStamp, QString* error) {
    placeWaitingSnapshot(); // never after a newer one
    if (!given && journal_ < 0) {
        *error = QStringLiteral("no journal open");
        return false;
    }
    if (!given && baseMode_) {
        // First the take-over, which leaves queue.json as it is.
        Background take;
        take.ownSource = false;
        take.source = journal_;
        take.upTo = end_;
        take.baseJson = base_;
        take.keepJson = true;
        take.kept = {baseSize_, baseCrc_};
        take.lastStamp = lastStamp;
        if (!build(take, snapshot_, journalPath_, {}) || !switchTo(take, end_, &take.error)) {
            *error = take.error;
            return false;
        }
        placeWaitingSnapshot();
    }
    Background job;
    job.ownSource = false;
    job.given = given;
    job.source = given ? -1 : journal_;
    job.upTo = end_;
    job.lastStamp = lastStamp;
    if (!build(job, snapshot_, journalPath_, {})) {
        *error = job.error;
        return false;
    }
    const bool ok = switchTo(job, end_, error);
    placeWaitingSnapshot();
    return ok;
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
