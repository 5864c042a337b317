#include "platform/linux/evdev_keyboard.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcInput, "korvel.input", QtInfoMsg)

namespace {

constexpr quint64 kStopTag = 0;
constexpr quint64 kInotifyTag = 1;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray readSmall(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4096).trimmed();
}

bool isEventNode(const QString& name) {
    if (!name.startsWith(QLatin1String("event")) || name.size() == 5)
        return false;
    for (qsizetype i = 5; i < name.size(); ++i) {
        if (!name[i].isDigit())
            return false;
    }
    return true;
}

} // namespace

EvdevKeyboard::EvdevKeyboard(QString root) : root_(std::move(root)) {}

EvdevKeyboard::~EvdevKeyboard() {
    if (reader_.joinable()) {
        const quint64 one = 1;
        [[maybe_unused]] const auto n = ::write(stop_, &one, sizeof one);
        reader_.join();
    }
    closeAll();
}

void EvdevKeyboard::closeAll() {
    delete notifier_;
    notifier_ = nullptr;
    for (auto& [id, device] : devices_)
        ::close(device.fd);
    devices_.clear();
    for (int* fd : {&epoll_, &inotify_, &wake_, &stop_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    inputWatch_ = devWatch_ = -1;
}

QString EvdevKeyboard::inputRootFromEnvironment() {
    const QString root = qEnvironmentVariable("KORVEL_INPUT_ROOT");
    return root.isEmpty() ? QStringLiteral("/") : root;
}

QString EvdevKeyboard::sysInput() const {
    return root_ + QStringLiteral("/sys/class/input/");
}

QString EvdevKeyboard::devInput() const {
    return root_ + QStringLiteral("/dev/input/");
}

// The rule udev uses for keyboards: EV_KEY, and key codes 1..31 (Esc, the digits,
// Q to D) all present.
bool EvdevKeyboard::isKeyboard(const QString& node, Identity* identity) const {
    const QString device = sysInput() + node + QStringLiteral("/device/");
    bool ok = false;
    const quint64 ev = readSmall(device + QStringLiteral("capabilities/ev")).toULongLong(&ok, 16);
    if (!ok || !(ev & (1u << EV_KEY)))
        return false;
    const QList<QByteArray> words =
        readSmall(device + QStringLiteral("capabilities/key")).split(' ');
    const quint64 low = words.isEmpty() ? 0 : words.last().toULongLong(&ok, 16);
    if (!ok || (low & 0xFFFFFFFEull) != 0xFFFFFFFEull)
        return false;
    if (identity) {
        identity->vendor = readSmall(device + QStringLiteral("id/vendor")).toUInt(nullptr, 16);
        identity->product = readSmall(device + QStringLiteral("id/product")).toUInt(nullptr, 16);
        QFile nameFile(device + QStringLiteral("name"));
        if (nameFile.open(QIODevice::ReadOnly)) {
            QByteArray name = nameFile.read(4096);
            if (name.endsWith('\n'))
                name.chop(1);
            identity->name = QString::fromUtf8(name);
        }
    }
    return true;
}

QStringList EvdevKeyboard::keyboardNodes() const {
    QStringList nodes;
    const QStringList entries = QDir(sysInput()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& node : entries) {
        if (isEventNode(node) && isKeyboard(node, nullptr))
            nodes.append(node);
    }
    return nodes;
}

bool EvdevKeyboard::accessGranted() {
    const QStringList nodes = keyboardNodes();
    if (nodes.isEmpty())
        return true; // nothing is being withheld
    for (const QString& node : nodes) {
        const int fd = ::open(QFile::encodeName(devInput() + node).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}

qint64 EvdevKeyboard::nowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

QString EvdevKeyboard::problem() const {
    std::lock_guard lock(mutex_);
    return problems_.empty() ? QString() : problems_.begin()->second;
}

void EvdevKeyboard::setProblem(const QString& key, const QString& text) {
    const auto it = problems_.find(key);
    if (text.isEmpty()) {
        if (it != problems_.end()) {
            qCInfo(lcInput).noquote() << "resolved:" << it->second;
            problems_.erase(it);
        }
        return;
    }
    if (it != problems_.end() && it->second == text)
        return; // told already
    problems_[key] = text;
    qCWarning(lcInput).noquote() << text;
}

bool EvdevKeyboard::open(Handler handler) {
    if (reader_.joinable())
        return true;
    int error = 0;
    const auto made = [&error](int fd) {
        if (fd < 0 && error == 0)
            error = errno;
        return fd;
    };
    epoll_ = made(::epoll_create1(EPOLL_CLOEXEC));
    inotify_ = made(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    wake_ = made(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    stop_ = made(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (error != 0) {
        // Nothing may stay open: the retry timer calls again every few seconds.
        closeAll();
        std::lock_guard lock(mutex_);
        setProblem(QString(), QStringLiteral("Can't read the keyboards: ") + errnoText(error));
        return false;
    }
    handler_ = std::move(handler);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kStopTag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, stop_, &ev);
    ev.data.u64 = kInotifyTag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, inotify_, &ev);
    {
        std::lock_guard lock(mutex_);
        setProblem(QString(), QString());
        watchFolders();
        scanNodes();
    }
    notifier_ = new QSocketNotifier(wake_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        quint64 count = 0;
        [[maybe_unused]] const auto n = ::read(wake_, &count, sizeof count);
        drain();
    });
    reader_ = std::thread([this] { run(); });
    return true;
}

void EvdevKeyboard::watchFolders() {
    if (inputWatch_ < 0) {
        inputWatch_ = ::inotify_add_watch(inotify_, QFile::encodeName(devInput()).constData(),
                                          IN_CREATE | IN_ATTRIB | IN_DELETE | IN_MOVED_TO |
                                              IN_MOVED_FROM | IN_ONLYDIR);
    }
    if (inputWatch_ >= 0) {
        setProblem(QStringLiteral("dev/input"), QString());
        return;
    }
    const int error = errno;
    if (error == ENOENT && devWatch_ < 0) {
        // No dev/input yet (no input devices at all): wait for it to appear.
        devWatch_ = ::inotify_add_watch(
            inotify_, QFile::encodeName(root_ + QStringLiteral("/dev")).constData(),
            IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    }
    if (error != ENOENT || devWatch_ < 0) {
        setProblem(QStringLiteral("dev/input"),
                   QStringLiteral("Can't watch for keyboards being plugged in: ") +
                       errnoText(error == ENOENT ? errno : error));
    }
}

void EvdevKeyboard::scanNodes() {
    const QStringList entries = QDir(sysInput()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& node : entries) {
        if (isEventNode(node))
            openNode(node);
    }
}

void EvdevKeyboard::openNode(const QString& node) {
    for (const auto& [id, device] : devices_) {
        if (device.node == node)
            return;
    }
    Identity identity;
    if (!isKeyboard(node, &identity))
        return;
    // Read-only and never grabbed: everyone else keeps receiving these keys.
    const int fd =
        ::open(QFile::encodeName(devInput() + node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return; // permissions may come later (IN_ATTRIB)
    // Event times on the monotonic clock, like nowMs(); a FIFO refuses and its
    // writer is expected to use that clock already.
    int clock = CLOCK_MONOTONIC;
    ::ioctl(fd, EVIOCSCLOCKID, &clock);
    const int id = ++nextId_;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = static_cast<quint64>(id);
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
        const int error = errno;
        ::close(fd);
        setProblem(node, QStringLiteral("Can't watch keyboard %1 (%2): %3")
                             .arg(node, identity.name, errnoText(error)));
        return;
    }
    setProblem(node, QString());
    Device device;
    device.fd = fd;
    device.node = node;
    device.decoder = std::make_unique<EvdevDecoder>(
        static_cast<quint64>(id), identity.vendor, identity.product, identity.name,
        [fd](EvdevDecoder::Keys& keys) {
            unsigned char bits[KEY_CNT / 8 + 1] = {};
            if (::ioctl(fd, EVIOCGKEY(sizeof bits), bits) < 0)
                return false;
            for (size_t code = 0; code < keys.size(); ++code)
                keys[code] = (bits[code / 8] >> (code % 8)) & 1;
            return true;
        },
        [this](const KeyEvent& event) { push(event); });
    devices_.emplace(id, std::move(device));
}

void EvdevKeyboard::closeDevice(int id, bool gone) {
    const auto it = devices_.find(id);
    if (it == devices_.end())
        return;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second.fd, nullptr);
    ::close(it->second.fd);
    if (gone)
        it->second.decoder->gone(nowMs());
    devices_.erase(it);
}

void EvdevKeyboard::push(const KeyEvent& event) {
    const bool wasEmpty = pending_.empty();
    pending_.push_back(event);
    if (wasEmpty) {
        const quint64 one = 1;
        [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
    }
}

void EvdevKeyboard::readDevice(int id) {
    const auto it = devices_.find(id);
    if (it == devices_.end())
        return;
    Device& d = it->second;
    char buf[sizeof(input_event) * 64];
    for (;;) {
        std::memcpy(buf, d.partial, static_cast<size_t>(d.partialSize));
        const ssize_t n = ::read(d.fd, buf + d.partialSize, sizeof buf - d.partialSize);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) { // EOF or ENODEV: the device is gone
            closeDevice(id, true);
            return;
        }
        const size_t total = static_cast<size_t>(n) + static_cast<size_t>(d.partialSize);
        const size_t whole = total / sizeof(input_event);
        for (size_t i = 0; i < whole; ++i) {
            input_event e{};
            std::memcpy(&e, buf + i * sizeof(input_event), sizeof e);
            d.decoder->feed(e);
        }
        d.partialSize = static_cast<int>(total - whole * sizeof(input_event));
        std::memcpy(d.partial, buf + whole * sizeof(input_event),
                    static_cast<size_t>(d.partialSize));
    }
}

void EvdevKeyboard::readAllDevices() {
    std::vector<int> ids;
    for (const auto& [id, device] : devices_)
        ids.push_back(id);
    for (const int id : ids)
        readDevice(id);
}

void EvdevKeyboard::handleInotify() {
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_, buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            const QString name = e->len ? QFile::decodeName(e->name) : QString();
            if (e->mask & IN_Q_OVERFLOW) {
                scanNodes();
            } else if (e->wd == devWatch_) {
                if (name == QLatin1String("input")) {
                    watchFolders();
                    scanNodes();
                }
            } else if (e->wd == inputWatch_ && isEventNode(name)) {
                if (e->mask & (IN_DELETE | IN_MOVED_FROM)) {
                    setProblem(name, QString());
                    int gone = -1; // a copy: reading may close the device and erase its entry
                    for (const auto& [id, device] : devices_) {
                        if (device.node == name) {
                            gone = id;
                            break;
                        }
                    }
                    if (gone >= 0) {
                        readDevice(gone); // keep what it sent before it went
                        closeDevice(gone, true);
                    }
                } else {
                    openNode(name);
                }
            }
        }
    }
}

void EvdevKeyboard::drain() {
    std::deque<KeyEvent> events;
    {
        std::lock_guard lock(mutex_);
        readAllDevices();
        events.swap(pending_);
    }
    for (const KeyEvent& event : events)
        handler_(event);
}

void EvdevKeyboard::run() {
    std::array<epoll_event, 16> ready{};
    for (;;) {
        const int n = ::epoll_wait(epoll_, ready.data(), static_cast<int>(ready.size()), -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return;
        std::lock_guard lock(mutex_);
        for (int i = 0; i < n; ++i) {
            const quint64 tag = ready[i].data.u64;
            if (tag == kStopTag)
                return;
            if (tag == kInotifyTag)
                handleInotify();
            else
                readDevice(static_cast<int>(tag));
        }
    }
}
