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

// Linux key code and HID usage of a character typed on a US keyboard.
std::pair<int, int> keyOf(QChar c) {
    static const int letters[] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                  49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
    const char a = c.toLatin1();
    if (a >= 'a' && a <= 'z')
        return {letters[a - 'a'], 4 + (a - 'a')};
    if (a >= '1' && a <= '9')
        return {2 + (a - '1'), 30 + (a - '1')};
    switch (a) {
    case '0':
        return {KEY_0, 39};
    case '-':
        return {KEY_MINUS, 45};
    case ';':
        return {KEY_SEMICOLON, 51};
    default:
        return {KEY_SPACE, 44};
    }
}

} // namespace

FakeInputTree::FakeInputTree() {
    for (const char* folder : {"sys/class/input", "dev/input", "staging"})
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
    const QString node = QStringLiteral("event%1").arg(n);
    const QString sys = root() + QStringLiteral("/sys/class/input/%1/device/").arg(node);
    QDir().mkpath(sys + QStringLiteral("id"));
    QDir().mkpath(sys + QStringLiteral("capabilities"));
    const auto hex = [](quint32 v) {
        return QByteArray::number(v, 16).rightJustified(4, '0') + '\n';
    };
    writeText(sys + QStringLiteral("name"), device.name.toUtf8() + '\n');
    writeText(sys + QStringLiteral("id/vendor"), hex(device.vendor));
    writeText(sys + QStringLiteral("id/product"), hex(device.product));
    writeText(sys + QStringLiteral("capabilities/ev"), "120013\n");
    writeText(sys + QStringLiteral("capabilities/key"),
              device.keyboard ? "1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe\n"
                              : "ff0000 0 0 0 0\n");
    const QByteArray staged = QFile::encodeName(root() + QStringLiteral("/staging/") + node);
    if (device.fifo)
        ::mkfifo(staged.constData(), 0600);
    writers_[n] = ::open(staged.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_CREAT, 0600);
    if (!device.readable)
        ::chmod(staged.constData(), 0);
    ::rename(staged.constData(),
             QFile::encodeName(root() + QStringLiteral("/dev/input/") + node).constData());
}

void FakeInputTree::setReadable(int n) {
    ::chmod(QFile::encodeName(root() + QStringLiteral("/dev/input/event%1").arg(n)).constData(),
            0600);
}

void FakeInputTree::remove(int n) {
    ::unlink(QFile::encodeName(root() + QStringLiteral("/dev/input/event%1").arg(n)).constData());
    ::close(writers_[n]);
    writers_.erase(n);
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
                                           bool scanCodes, bool enter) {
    std::vector<RawEvent> out;
    const auto add = [&out](const std::vector<RawEvent>& more) {
        out.insert(out.end(), more.begin(), more.end());
    };
    for (const QChar ch : text) {
        const bool shifted = ch.isUpper() || ch == u':';
        const auto [code, usage] = keyOf(ch == u':' ? QChar(u';') : ch.toLower());
        if (shifted)
            out.push_back({EV_KEY, KEY_LEFTSHIFT, 1, t});
        add(tap(code, t, scanCodes ? usage : -1));
        if (shifted)
            out.push_back({EV_KEY, KEY_LEFTSHIFT, 0, t});
        t += step;
    }
    if (enter)
        add(tap(KEY_ENTER, t, scanCodes ? 40 : -1));
    return out;
}

} // namespace korvel::test
