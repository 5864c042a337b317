#include "support/fake_input.h"

#include "support/test_main.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::test {

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
    for (const auto& [node, fd] : fds_)
        ::close(fd);
}

void FakeInputTree::place(const QString& node, int mode, bool fifo) {
    const QByteArray staged = QFile::encodeName(root() + QStringLiteral("/staged"));
    if (fifo)
        ::mkfifo(staged, 0600);
    fds_[node] = ::open(staged, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_CREAT, 0600);
    ::chmod(staged, mode_t(mode));
    ::rename(staged, QFile::encodeName(dev(node)));
}

void FakeInputTree::addHidraw(int n, const QByteArray& descriptor, quint32 vendor, quint32 product,
                              const QString& name) {
    const QString sys = root() + QStringLiteral("/sys/class/hidraw/hidraw%1/device/").arg(n);
    writeFile(sys + "report_descriptor", descriptor);
    const QString id = QString::asprintf("HID_ID=0003:%08X:%08X\n", vendor, product);
    writeFile(sys + "uevent", ("DRIVER=hid-generic\n" + id + "HID_NAME=" + name + '\n').toUtf8());
    place(QStringLiteral("hidraw%1.out").arg(n));
    place(QStringLiteral("hidraw%1").arg(n));
}

void FakeInputTree::addAcm(int n, quint32 vendor, quint32 product, const QString& name) {
    const QString sys = root() + QStringLiteral("/sys/class/tty/ttyACM%1/device/").arg(n);
    const QString id = QString::asprintf("PRODUCT=%x/%x/100\n", vendor, product);
    writeFile(sys + "uevent", ("DEVTYPE=usb_interface\n" + id + "INTERFACE=2/2/1\n").toUtf8());
    writeFile(sys + "interface", name.toUtf8() + '\n');
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    fds_[QStringLiteral("ttyACM%1").arg(n)] = master;
    QVERIFY(QFile::link(acmPort(n), dev(QStringLiteral("ttyACM%1").arg(n))));
}

QString FakeInputTree::acmPort(int n) const {
    return QString::fromLocal8Bit(::ptsname(fds_.at(QStringLiteral("ttyACM%1").arg(n))));
}

void FakeInputTree::write(const QString& node, const QByteArray& bytes) {
    const int fd = fds_.at(node);
    for (qsizetype done = 0; done < bytes.size();) { // a full pipe waits for its reader
        const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        QVERIFY2(w > 0 || errno == EAGAIN, qPrintable(node + ": " + qt_error_string(errno)));
        done += std::max<ssize_t>(w, 0);
    }
}

QByteArray FakeInputTree::read(const QString& node) {
    QByteArray bytes(4096, '\0');
    bytes.truncate(std::max<ssize_t>(::read(fds_.at(node), bytes.data(), size_t(bytes.size())), 0));
    return bytes;
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
    place(event(n), device.readable ? 0600 : 0, device.fifo);
}

void FakeInputTree::setReadable(int n) {
    ::chmod(QFile::encodeName(dev(event(n))), 0600);
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
    ::unlink(QFile::encodeName(dev(event(n))));
    ::close(fds_[event(n)]);
    fds_.erase(event(n));
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
