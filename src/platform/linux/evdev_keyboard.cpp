#include "platform/linux/evdev_keyboard.h"

#include <QDir>
#include <QFile>
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

namespace {

constexpr quint64 kStopTag = 0;
constexpr quint64 kInotifyTag = 1;
constexpr int kKeyboardPage = 7;

// Linux key code for each HID Keyboard/Keypad usage, as the kernel's HID layer
// maps them (usage 0x00..0xFF).
constexpr std::array<unsigned char, 256> kHidToKeyCode = {
    0,   0,   0,   0,   30,  48,  46,  32,  18,  33,  34,  35,  23,  36,  37,  38,  50,  49,  24,
    25,  16,  19,  31,  20,  22,  47,  17,  45,  21,  44,  2,   3,   4,   5,   6,   7,   8,   9,
    10,  11,  28,  1,   14,  15,  57,  12,  13,  26,  27,  43,  43,  39,  40,  41,  51,  52,  53,
    58,  59,  60,  61,  62,  63,  64,  65,  66,  67,  68,  87,  88,  99,  70,  119, 110, 102, 104,
    111, 107, 109, 106, 105, 108, 103, 69,  98,  55,  74,  78,  96,  79,  80,  81,  75,  76,  77,
    71,  72,  73,  82,  83,  86,  127, 116, 117, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192,
    193, 194, 134, 138, 130, 132, 128, 129, 131, 137, 133, 135, 136, 113, 115, 114, 0,   0,   0,
    121, 0,   89,  93,  124, 92,  94,  95,  0,   0,   0,   122, 123, 90,  91,  85,  0,   0,   0,
    0,   0,   0,   0,   111, 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   179, 180, 0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
    0,   0,   0,   0,   0,   0,   0,   111, 0,   0,   0,   0,   0,   0,   0,   29,  42,  56,  125,
    97,  54,  100, 126, 164, 166, 165, 163, 161, 115, 114, 113, 150, 158, 159, 128, 136, 177, 178,
    176, 142, 152, 173, 140, 0,   0,   0,   0,
};

// Inverse of the table above; where two usages share a key code the lower wins.
const std::array<int, 256>& keyCodeToHid() {
    static const std::array<int, 256> table = [] {
        std::array<int, 256> t{};
        for (int usage = 255; usage >= 1; --usage) {
            if (kHidToKeyCode[usage] != 0)
                t[kHidToKeyCode[usage]] = usage;
        }
        return t;
    }();
    return table;
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
    delete notifier_;
    for (auto& [id, device] : devices_)
        ::close(device.fd);
    for (const int fd : {epoll_, inotify_, wake_, stop_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString EvdevKeyboard::inputRootFromEnvironment() {
    const QString root = qEnvironmentVariable("KORVEL_INPUT_ROOT");
    return root.isEmpty() ? QStringLiteral("/") : root;
}

int EvdevKeyboard::usageForKeyCode(int code) {
    return code > 0 && code < 256 ? keyCodeToHid()[code] : 0;
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

int EvdevKeyboard::openDeviceCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(devices_.size());
}

bool EvdevKeyboard::open(Handler handler) {
    if (reader_.joinable())
        return true;
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    stop_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epoll_ < 0 || inotify_ < 0 || wake_ < 0 || stop_ < 0)
        return false; // the destructor closes what was made; open() may be tried again
    handler_ = std::move(handler);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kStopTag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, stop_, &ev);
    ev.data.u64 = kInotifyTag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, inotify_, &ev);
    {
        std::lock_guard lock(mutex_);
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
    if (inputWatch_ < 0 && devWatch_ < 0) {
        // No dev/input yet (no input devices at all): wait for it to appear.
        devWatch_ = ::inotify_add_watch(
            inotify_, QFile::encodeName(root_ + QStringLiteral("/dev")).constData(),
            IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
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
    Device device;
    device.fd = fd;
    device.node = node;
    device.vendor = identity.vendor;
    device.product = identity.product;
    device.name = identity.name;
    devices_.emplace(id, std::move(device));
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = static_cast<quint64>(id);
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
}

void EvdevKeyboard::closeDevice(int id, bool discardPending) {
    const auto it = devices_.find(id);
    if (it == devices_.end())
        return;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second.fd, nullptr);
    ::close(it->second.fd);
    if (discardPending) {
        // Whatever the device had typed so far is an incomplete scan.
        KeyEvent event;
        event.kind = KeyEvent::discard;
        event.timeMs = nowMs();
        event.vendor = it->second.vendor;
        event.product = it->second.product;
        push(event);
    }
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
            if (d.dropping) {
                if (e.type == EV_SYN && e.code == SYN_REPORT)
                    d.dropping = false;
                continue;
            }
            if (e.type == EV_SYN && e.code == SYN_DROPPED) {
                // The kernel lost events of this device: the scan being typed is
                // garbled, and so is the rest of this frame.
                d.dropping = true;
                d.pendingScan = -1;
                KeyEvent event;
                event.kind = KeyEvent::discard;
                event.timeMs =
                    static_cast<qint64>(e.input_event_sec) * 1000 + e.input_event_usec / 1000;
                event.vendor = d.vendor;
                event.product = d.product;
                push(event);
                continue;
            }
            if (e.type == EV_MSC && e.code == MSC_SCAN) {
                d.pendingScan = e.value;
                continue;
            }
            if (e.type == EV_SYN && e.code == SYN_REPORT) {
                d.pendingScan = -1;
                continue;
            }
            if (e.type != EV_KEY)
                continue;
            const int scan = d.pendingScan;
            d.pendingScan = -1;
            if (e.value == 2)
                continue; // autorepeat is no change of the key
            KeyEvent event;
            if (scan >= 0 && (scan >> 16) == kKeyboardPage) {
                event.usagePage = kKeyboardPage;
                event.usage = scan & 0xFFFF;
            } else {
                const int usage = usageForKeyCode(e.code);
                if (usage == 0)
                    continue;
                event.usagePage = kKeyboardPage;
                event.usage = usage;
            }
            event.value = e.value;
            event.timeMs =
                static_cast<qint64>(e.input_event_sec) * 1000 + e.input_event_usec / 1000;
            event.vendor = d.vendor;
            event.product = d.product;
            event.name = d.name;
            push(event);
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
                    for (const auto& [id, device] : devices_) {
                        if (device.node == name) {
                            readDevice(id); // keep what it sent before it went
                            closeDevice(id, true);
                            break;
                        }
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
