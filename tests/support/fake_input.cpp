#include "support/fake_input.h"

#include "support/test_main.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::test {

namespace {

QByteArray node(const QString& root, int n) {
    return QFile::encodeName(root + QStringLiteral("/dev/input/event%1").arg(n));
}

} // namespace

input_event record(quint16 type, quint16 code, qint32 value, qint64 ms) {
    input_event r{};
    r.input_event_sec = ms / 1000;
    r.input_event_usec = (ms % 1000) * 1000;
    r.type = type, r.code = code, r.value = value;
    return r;
}

FakeInputTree::FakeInputTree() {
    for (const char* folder : {"sys/class/input", "dev/input"})
        QDir(root()).mkpath(QLatin1String(folder));
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
    const QString sys = root() + QStringLiteral("/sys/class/input/event%1/device/").arg(n);
    const auto hex = [](quint32 v) { return QByteArray::number(v, 16).rightJustified(4, '0'); };
    writeFile(sys + QStringLiteral("name"), device.name.toUtf8() + '\n');
    writeFile(sys + QStringLiteral("id/vendor"), hex(device.vendor));
    writeFile(sys + QStringLiteral("id/product"), hex(device.product));
    writeFile(sys + QStringLiteral("capabilities/ev"), "120013\n");
    writeFile(sys + QStringLiteral("capabilities/key"),
              device.keyboard ? "1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe\n"
                              : "ff0000 0 0 0 0\n");
    const QByteArray staged = QFile::encodeName(root() + QStringLiteral("/staged"));
    if (device.fifo)
        ::mkfifo(staged, 0600);
    writers_[n] = ::open(staged, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_CREAT, 0600);
    ::chmod(staged, device.readable ? 0600 : 0);
    ::rename(staged, node(root(), n));
}

void FakeInputTree::setReadable(int n) {
    ::chmod(node(root(), n), 0600);
}

void FakeInputTree::nest(int n, const QString& at) {
    const QString link = root() + QStringLiteral("/sys/class/input/event%1/device").arg(n);
    const QString real = root() + QStringLiteral("/sys/devices/") + at;
    QDir().mkpath(QFileInfo(real).path());
    QDir(real).removeRecursively(); // from an earlier nest of a device plugged in again
    QDir().rename(link, real);
    QFile::link(real, link);
}

void FakeInputTree::remove(int n) {
    ::unlink(node(root(), n));
    ::close(writers_[n]);
    writers_.erase(n);
}

void FakeInputTree::send(int n, const RawEvents& events) {
    const char* data = reinterpret_cast<const char*>(events.data());
    size_t left = events.size() * sizeof(input_event);
    while (left > 0) {
        const ssize_t w = ::write(writers_.at(n), data, left);
        if (w <= 0 && errno != EAGAIN)
            return;
        data += std::max<ssize_t>(w, 0);
        left -= static_cast<size_t>(std::max<ssize_t>(w, 0));
    }
}

RawEvents FakeInputTree::tap(int code, qint64 t, int scanUsage) {
    RawEvents out;
    for (const int value : {1, 0}) {
        if (scanUsage >= 0)
            out.push_back(record(EV_MSC, MSC_SCAN, 0x70000 | scanUsage, t));
        out.push_back(record(EV_KEY, static_cast<quint16>(code), value, t));
        out.push_back(record(EV_SYN, SYN_REPORT, 0, t));
    }
    return out;
}

int FakeInputTree::usageOf(QChar c) {
    static const QString usages =
        QStringLiteral("abcdefghijklmnopqrstuvwxyz1234567890\n\x1b\b\t -=[]\\#;'`,./");
    const qsizetype i = usages.indexOf(c);
    return i < 0 ? -1 : static_cast<int>(i) + 4;
}

RawEvents FakeInputTree::typed(const QString& text, qint64 t, bool enter, bool scanCodes,
                               qint64 step) {
    // Linux key codes from KEY_1 (2) on; the letters of no character are placeholders.
    static const QString codes =
        QStringLiteral("1234567890-=\b\tqwertyuiop[]\nCasdfghjkl;'`S\\zxcvbnm,./");
    RawEvents out;
    for (const QChar ch : text + (enter ? QStringLiteral("\n") : QString())) {
        const bool shifted = ch.isUpper() || ch == u':';
        const int modifier = shifted                            ? KEY_LEFTSHIFT
                             : ch < u' ' && !codes.contains(ch) ? KEY_LEFTCTRL
                                                                : 0;
        const QChar base = ch == u':'                 ? QChar(u';')
                           : modifier == KEY_LEFTCTRL ? QChar(ch.unicode() + 0x40).toLower()
                                                      : ch.toLower(); // GS: Ctrl+]
        const int code = base == u' ' ? KEY_SPACE : static_cast<int>(codes.indexOf(base)) + 2;
        if (modifier)
            out.push_back(record(EV_KEY, modifier, 1, t));
        const RawEvents taps = tap(code, t, scanCodes ? usageOf(base) : -1);
        out.insert(out.end(), taps.begin(), taps.end());
        if (modifier)
            out.push_back(record(EV_KEY, modifier, 0, t));
        t += step;
    }
    return out;
}

} // namespace korvel::test
