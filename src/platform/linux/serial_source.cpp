#include "platform/linux/serial_source.h"

#include "platform/linux/device_nodes.h"
#include "platform/linux/hidpos_layout.h"
#include "platform/linux/scanner_makers.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcInput) // korvel.input, with the keyboards

struct SerialSource::Port {
    Identity identity;
    std::unique_ptr<OpenNode> open;
    QByteArray line;       // the scan being sent
    bool overlong = false; // dropped up to its end
};

SerialSource::SerialSource(QString root) : root_(std::move(root)) {}

SerialSource::~SerialSource() {
    close();
}

bool SerialSource::isAcmNode(const QString& name) {
    return isNumberedNode(name, QLatin1String("ttyACM"));
}

SerialSource::Identity SerialSource::identity(const QString& node) const {
    Identity id;
    const QString device = sysTty() + node + QStringLiteral("/device/");
    QFile uevent(device + QStringLiteral("uevent"));
    if (uevent.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : uevent.read(4096).split('\n')) {
            // PRODUCT=vendor/product/bcd, lower-case hex without leading zeros.
            if (line.startsWith("PRODUCT=")) {
                const QList<QByteArray> parts = line.mid(8).split('/');
                id.vendor = parts.value(0).toUInt(nullptr, 16);
                id.product = parts.value(1).toUInt(nullptr, 16);
            }
        }
    }
    QFile name(device + QStringLiteral("interface"));
    if (name.open(QIODevice::ReadOnly))
        id.name = QString::fromUtf8(name.read(4096).trimmed());
    if (id.name.isEmpty())
        id.name = QStringLiteral("Scanner");
    return id;
}

bool SerialSource::wanted(const Identity& identity) const {
    switch (wants_(identity.vendor, identity.product)) {
    case Wanted::chosen:
        return true;
    case Wanted::anyScanner:
        return isScannerMaker(identity.vendor); // never a modem or a board
    case Wanted::no:
        break;
    }
    return false;
}

bool SerialSource::open(Handler handler, Wants wants) {
    if (watch_)
        return true;
    auto watch = std::make_unique<NodeWatch>(
        dev(), &SerialSource::isAcmNode, [this](const HotplugWatch::Change& change) {
            if (change.kind == HotplugWatch::Change::gone)
                ports_.erase(change.node);
            else
                scanPorts(); // a link to its port is made after the sysfs folder
        });
    if (watch->error() != 0)
        return false;
    handler_ = std::move(handler);
    wants_ = std::move(wants);
    watch_ = std::move(watch);
    scanPorts();
    return true;
}

void SerialSource::close() {
    ports_.clear();
    watch_.reset();
}

void SerialSource::follow() {
    if (!watch_)
        return;
    for (auto it = ports_.begin(); it != ports_.end();)
        it = wanted(it->second->identity) ? std::next(it) : ports_.erase(it);
    scanPorts();
}

void SerialSource::scanPorts() {
    for (const QString& node : QDir(sysTty()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (isAcmNode(node) && !ports_.count(node))
            openPort(node);
    }
}

bool SerialSource::connected(quint32 vendor, quint32 product) {
    const QStringList nodes = QDir(sysTty()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return std::any_of(nodes.begin(), nodes.end(), [&](const QString& node) {
        const Identity id = identity(node);
        return isAcmNode(node) && id.vendor == vendor && id.product == product &&
               QFile::exists(dev() + node);
    });
}

QList<DeviceFacts> SerialSource::devices() {
    QList<DeviceFacts> found;
    for (const QString& node : QDir(sysTty()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = QDir::cleanPath(dev() + node);
        if (!isAcmNode(node) || !QFile::exists(path))
            continue;
        const Identity id = identity(node);
        DeviceFacts facts;
        facts.interface = QStringLiteral("serial");
        facts.node = path;
        facts.vendor = id.vendor;
        facts.product = id.product;
        facts.name = id.name;
        facts.readable = ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
        found << facts;
    }
    return found;
}

bool SerialSource::reading(quint32 vendor, quint32 product) const {
    return std::any_of(ports_.begin(), ports_.end(), [&](const auto& entry) {
        return entry.second->identity.vendor == vendor && entry.second->identity.product == product;
    });
}

void SerialSource::openPort(const QString& node) {
    Identity id = identity(node);
    if (!wanted(id))
        return;
    const int fd = ::open(QFile::encodeName(dev() + node).constData(),
                          O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return; // permissions may come later
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        // Bytes as they come: no echo, no line editing, no CR/LF translation; the
        // speed stays what the port has.
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    auto port = std::make_unique<Port>();
    port->identity = std::move(id);
    port->open = std::make_unique<OpenNode>(fd, [this, node] { readPort(node); });
    qCInfo(lcInput).noquote() << "reading serial scanner" << port->identity.name << "on" << node;
    ports_.emplace(node, std::move(port));
}

void SerialSource::readPort(const QString& node) {
    const auto it = ports_.find(node);
    if (it == ports_.end())
        return;
    Port& port = *it->second;
    char buf[4096];
    const ssize_t got = ::read(port.open->fd(), buf, sizeof buf);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        ports_.erase(it); // unplugged (EIO), with the scan it was sending
        return;
    }
    const Identity identity = port.identity; // a copy: the handler may close the port
    std::vector<QByteArray> scans;
    for (ssize_t i = 0; i < got; ++i) {
        const char c = buf[i];
        if (c != '\r' && c != '\n') {
            if (port.line.size() < HidPosAssembler::kMaxScanBytes)
                port.line += c;
            else if (!std::exchange(port.overlong, true))
                qCWarning(lcInput).noquote()
                    << "serial scanner" << identity.name << "on" << node
                    << "sent a scan that was dropped: more than" << HidPosAssembler::kMaxScanBytes
                    << "bytes without an end";
            continue;
        }
        // CR LF ends one scan: the empty line between the two is no scan.
        if (!port.line.isEmpty() && !port.overlong)
            scans.push_back(port.line);
        port.line.clear();
        port.overlong = false;
    }
    for (const QByteArray& bytes : scans)
        handler_({identity.vendor,
                  identity.product,
                  identity.name,
                  scannedText(bytes),
                  {},
                  ScannerInterface::serial});
}
