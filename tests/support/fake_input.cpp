#include "support/fake_input.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::test {

namespace {

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

int keyCodeFor(QChar c, int* usage) {
    static const char* letters = "abcdefghijklmnopqrstuvwxyz";
    static const int letterCodes[] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                      49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
    const char a = c.toLatin1();
    for (int i = 0; i < 26; ++i) {
        if (letters[i] == a) {
            *usage = 4 + i;
            return letterCodes[i];
        }
    }
    if (a >= '1' && a <= '9') {
        *usage = 30 + (a - '1');
        return 2 + (a - '1');
    }
    switch (a) {
    case '0':
        *usage = 39;
        return 11;
    case '-':
        *usage = 45;
        return 12;
    case ' ':
        *usage = 44;
        return 57;
    case ';':
        *usage = 51;
        return 39;
    default:
        *usage = 0;
        return 0;
    }
}

} // namespace

FakeInputTree::FakeInputTree() {
    QDir(root()).mkpath(QStringLiteral("sys/class/input"));
    QDir(root()).mkpath(QStringLiteral("dev/input"));
    QDir(root()).mkpath(QStringLiteral("staging"));
}

FakeInputTree::~FakeInputTree() {
    for (const auto& [n, fd] : writers_)
        ::close(fd);
}

qint64 FakeInputTree::nowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void FakeInputTree::add(int n, const Device& device) {
    const QString node = QStringLiteral("event%1").arg(n);
    const QString sys =
        root() + QStringLiteral("/sys/class/input/") + node + QStringLiteral("/device/");
    QDir().mkpath(sys + QStringLiteral("id"));
    QDir().mkpath(sys + QStringLiteral("capabilities"));
    writeText(sys + QStringLiteral("name"), device.name.toUtf8() + '\n');
    writeText(sys + QStringLiteral("id/vendor"),
              QByteArray::number(device.vendor, 16).rightJustified(4, '0') + '\n');
    writeText(sys + QStringLiteral("id/product"),
              QByteArray::number(device.product, 16).rightJustified(4, '0') + '\n');
    writeText(sys + QStringLiteral("capabilities/ev"), "120013\n");
    writeText(sys + QStringLiteral("capabilities/key"),
              device.keyboard ? "1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe\n"
                              : "ff0000 0 0 0 0\n");

    const QByteArray staged = QFile::encodeName(root() + QStringLiteral("/staging/") + node);
    if (device.fifo)
        ::mkfifo(staged.constData(), 0600);
    // The writer end is opened first: a FIFO without one reads as a device gone.
    writers_[n] = ::open(staged.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_CREAT, 0600);
    if (!device.readable)
        ::chmod(staged.constData(), 0);
    const QByteArray target = QFile::encodeName(root() + QStringLiteral("/dev/input/") + node);
    ::rename(staged.constData(), target.constData());
}

void FakeInputTree::setReadable(int n) {
    ::chmod(QFile::encodeName(root() + QStringLiteral("/dev/input/event%1").arg(n)).constData(),
            0600);
}

void FakeInputTree::remove(int n) {
    ::unlink(QFile::encodeName(root() + QStringLiteral("/dev/input/event%1").arg(n)).constData());
    if (const auto it = writers_.find(n); it != writers_.end()) {
        ::close(it->second);
        writers_.erase(it);
    }
}

void FakeInputTree::send(int n, const std::vector<RawEvent>& events) {
    std::vector<input_event> records;
    for (const RawEvent& e : events) {
        input_event r{};
        r.input_event_sec = e.timeMs / 1000;
        r.input_event_usec = (e.timeMs % 1000) * 1000;
        r.type = e.type;
        r.code = e.code;
        r.value = e.value;
        records.push_back(r);
    }
    const char* data = reinterpret_cast<const char*>(records.data());
    size_t left = records.size() * sizeof(input_event);
    while (left > 0) {
        const ssize_t w = ::write(writers_.at(n), data, left);
        if (w < 0 && errno == EAGAIN)
            continue;
        if (w <= 0)
            return;
        data += w;
        left -= static_cast<size_t>(w);
    }
}

std::vector<RawEvent> FakeInputTree::tap(int code, qint64 t, int scanUsage) {
    std::vector<RawEvent> out;
    for (const int value : {1, 0}) {
        if (scanUsage >= 0)
            out.push_back({EV_MSC, MSC_SCAN, 0x70000 | scanUsage, t});
        out.push_back({EV_KEY, static_cast<quint16>(code), value, t});
        out.push_back({EV_SYN, SYN_REPORT, 0, t});
    }
    return out;
}

std::vector<RawEvent> FakeInputTree::typed(const QString& text, qint64 t, qint64 step,
                                           bool withScanCodes, bool enter) {
    std::vector<RawEvent> out;
    for (const QChar ch : text) {
        // Upper case and ':' are typed with Shift held, as a scanner does.
        const bool shifted = ch.isUpper() || ch == u':';
        const QChar c = ch == u':' ? QChar(u';') : ch.toLower();
        int usage = 0;
        const int code = keyCodeFor(c, &usage);
        if (shifted)
            out.push_back({EV_KEY, KEY_LEFTSHIFT, 1, t});
        const auto e = tap(code, t, withScanCodes ? usage : -1);
        out.insert(out.end(), e.begin(), e.end());
        if (shifted)
            out.push_back({EV_KEY, KEY_LEFTSHIFT, 0, t});
        t += step;
    }
    if (enter) {
        const auto e = tap(KEY_ENTER, t, withScanCodes ? 40 : -1);
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

} // namespace korvel::test
