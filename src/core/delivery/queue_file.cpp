#include "core/delivery/queue_file.h"

#include "core/logging.h"
#include "core/private_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Qt's JSON writer escapes the text; the element is put together here only to keep
// "value" before "ts", the order older files and readers know.
void appendJsonString(QByteArray& out, const QString& s) {
    const QByteArray array = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    out.append(QByteArrayView(array).sliced(1, array.size() - 2)); // without [ and ]
}

} // namespace

std::optional<qint64> jsonInteger(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const QVariant var = v.toVariant();
    if (var.typeId() == QMetaType::LongLong)
        return var.toLongLong();
    // A number written with a fraction part or an exponent arrives as a double:
    // accepted only when it is whole and fits.
    const double d = v.toDouble();
    if (std::trunc(d) != d || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(d);
}

bool syncFolderOf(const QString& path) {
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void appendQueuedScan(QByteArray& out, const QueuedScan& scan) {
    out.append("{\"value\":");
    appendJsonString(out, scan.value);
    out.append(",\"ts\":");
    out.append(QByteArray::number(scan.ts));
    if (!scan.symbology.isEmpty()) {
        out.append(",\"symbology\":");
        appendJsonString(out, scan.symbology);
    }
    out.append('}');
}

QByteArray encodeQueue(const QList<QueuedScan>& scans) {
    QByteArray out;
    out.reserve(2 + scans.size() * 48);
    out.append('[');
    bool first = true;
    for (const QueuedScan& s : scans) {
        if (!first)
            out.append(',');
        first = false;
        appendQueuedScan(out, s);
    }
    out.append(']');
    return out;
}

std::optional<QList<QueuedScan>> decodeQueue(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray array = doc.array();
    QList<QueuedScan> scans;
    scans.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            return std::nullopt;
        const QJsonObject object = element.toObject();
        const QJsonValue value = object.value(QLatin1String("value"));
        if (!value.isString())
            return std::nullopt;
        const auto ts = jsonInteger(object.value(QLatin1String("ts")));
        if (!ts)
            return std::nullopt;
        // Optional: absent in files of older agents and for scans without one.
        const QJsonValue symbology = object.value(QLatin1String("symbology"));
        if (!symbology.isUndefined() && !symbology.isString())
            return std::nullopt;
        scans.append(QueuedScan{value.toString(), *ts, symbology.toString()});
    }
    return scans;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0) // a write that takes nothing is a full disk
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool readingCanNeverWork(int error) {
    return error == EACCES || error == EPERM || error == EISDIR || error == ELOOP;
}

QString reasonOf(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::optional<QList<QueuedScan>> QueueFile::tryLoad(QString* error, QByteArray* read) const {
    setAside_.clear();
    // Told apart by open() itself: only a file that is not there is an empty queue.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    if (failure == ENOENT)
        return QList<QueuedScan>();
    QByteArray bytes;
    if (fd >= 0) {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failure = errno;
            if (n <= 0)
                break;
            bytes.append(chunk, n);
        }
        ::close(fd);
    }
    if (failure != 0 && !readingCanNeverWork(failure)) {
        if (error)
            *error = reasonOf(failure);
        return std::nullopt;
    }
    if (failure == 0) {
        if (auto scans = decodeQueue(bytes)) {
            if (read)
                *read = std::move(bytes);
            return *scans;
        }
    }
    if (!putAside()) {
        // Left in place it would be replaced by the first save: read again later.
        if (error)
            *error = QStringLiteral("it cannot be read nor kept aside");
        return std::nullopt;
    }
    return QList<QueuedScan>();
}

bool QueueFile::putAside() const {
    const QString aside = path_ + QStringLiteral(".unreadable-") +
                          QString::number(QDateTime::currentMSecsSinceEpoch());
    // Renaming keeps the bytes exactly and needs no read access to the file itself.
    if (QFile::rename(path_, aside) || QFile::copy(path_, aside)) {
        setAside_ = aside;
        qCWarning(lcQueue).noquote()
            << "queue file" << path_ << "could not be read; kept aside as" << aside;
    } else {
        qCWarning(lcQueue).noquote()
            << "queue file" << path_ << "could not be read, nor kept aside; it is left as it is";
    }
    syncFolderOf(path_);
    return !setAside_.isEmpty();
}

bool QueueFile::save(const QList<QueuedScan>& scans, QString* error) const {
    const QByteArray bytes = encodeQueue(scans);
    return saveEncoded({bytes}, error);
}

bool QueueFile::saveEncoded(std::initializer_list<QByteArrayView> pieces, QString* error) const {
    // Written by hand rather than through QSaveFile: every write, the sync and the
    // close are checked before the rename, so a full disk can never put a short
    // file in place of a good one.
    const QByteArray target = QFile::encodeName(path_);
    QByteArray temp = target + ".saving-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC); // owner-only: scan texts are private
    if (fd < 0 && errno == ENOENT) {
        // The folder went away under the running agent: make it again.
        makePrivateFolder(QFileInfo(path_).absolutePath());
        temp = target + ".saving-XXXXXX";
        fd = ::mkostemp(temp.data(), O_CLOEXEC);
    }
    bool tempExists = fd >= 0;
    const auto fail = [&](const char* step) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        if (tempExists)
            ::unlink(temp.constData());
        if (error)
            *error = QString::fromLatin1(step) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(std::strerror(code));
        return false;
    };
    if (fd < 0)
        return fail("cannot create");
    for (const QByteArrayView piece : pieces) {
        if (!writeAll(fd, piece.data(), piece.size()))
            return fail("cannot write");
    }
    if (::fsync(fd) != 0)
        return fail("cannot sync");
    const int closing = fd;
    fd = -1;
    if (::close(closing) != 0)
        return fail("cannot close");
    if (::rename(temp.constData(), target.constData()) != 0)
        return fail("cannot replace");
    tempExists = false;
    // The rename itself must survive a power cut, not only the data.
    if (!syncFolderOf(path_))
        return fail("cannot sync the folder");
    if (error)
        error->clear();
    return true;
}
