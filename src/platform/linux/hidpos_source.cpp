#include "platform/linux/hidpos_source.h"

#include "platform/linux/device_nodes.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcInput) // korvel.input, with the keyboards

namespace {

// Output report 4 of scanners that take one: bit 5 of its first byte sounds the
// error beep (three short beeps); the rest of the report stays zero.
constexpr quint8 kErrorBeepReport = 4;
constexpr quint8 kErrorBeepCommand = 0x20;

// A pipe's whole content at once, or a real node's report (at most 4 KB).
constexpr qsizetype kReadSize = 65536;

QByteArray readSmall(const QString& path, qint64 max = 4096) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(max);
}

QString described(const QString& name, quint32 vendor, quint32 product, const QString& node) {
    return QStringLiteral("%1 (%2) on %3")
        .arg(name, QString::asprintf("%04X:%04X", vendor, product), node);
}

} // namespace

struct HidPosSource::Node {
    Device device;
    HidPosAssembler assembler;
    std::unique_ptr<OpenNode> open;

    Node(Device d, HidPosLayout layout) : device(std::move(d)), assembler(std::move(layout)) {}
};

HidPosSource::HidPosSource(QString root) : root_(std::move(root)) {}

HidPosSource::~HidPosSource() {
    close();
}

bool HidPosSource::isHidrawNode(const QString& name) {
    return isNumberedNode(name, QLatin1String("hidraw"));
}

HidPosSource::Device HidPosSource::device(const QString& node) const {
    Device d;
    const QList<QByteArray> lines =
        readSmall(sysHidraw() + node + QStringLiteral("/device/uevent")).split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("HID_ID=")) {
            // HID_ID=bus:vendor:product, eight hex digits each of the last two.
            const QList<QByteArray> id = line.mid(7).split(':');
            if (id.size() == 3) {
                d.vendor = id[1].toUInt(nullptr, 16) & 0xFFFF;
                d.product = id[2].toUInt(nullptr, 16) & 0xFFFF;
            }
        } else if (line.startsWith("HID_NAME=")) {
            d.name = QString::fromUtf8(line.mid(9));
        }
    }
    if (d.name.isEmpty())
        d.name = QStringLiteral("Scanner");
    return d;
}

std::optional<HidPosLayout> HidPosSource::layoutOf(const QString& node, const Device& device) {
    const auto parsed = HidPosLayout::parse(
        readSmall(sysHidraw() + node + QStringLiteral("/device/report_descriptor")));
    if (parsed.layout || !parsed.scanner)
        return parsed.layout; // not a scanner's: no word about it
    if (toldFaulty_[node] != parsed.error) {
        toldFaulty_[node] = parsed.error;
        qCWarning(lcInput).noquote()
            << "HID POS scanner" << described(device.name, device.vendor, device.product, node)
            << "not read: its report descriptor cannot be used:" << parsed.error;
    }
    return std::nullopt;
}

bool HidPosSource::wanted(const Device& device) const {
    // Every HID POS device is a scanner: any of them during detection.
    return wants_(device.vendor, device.product) != Wanted::no;
}

bool HidPosSource::open(Handler handler, Wants wants) {
    if (watch_)
        return true;
    auto watch = std::make_unique<NodeWatch>(
        dev(), &HidPosSource::isHidrawNode, [this](const HotplugWatch::Change& change) {
            if (change.kind == HotplugWatch::Change::rescan) {
                scanNodes();
            } else if (change.kind == HotplugWatch::Change::gone) {
                readNode(change.node); // what it sent before it went
                closeNode(change.node);
            } else {
                openNode(change.node);
            }
        });
    if (watch->error() != 0)
        return false;
    handler_ = std::move(handler);
    wants_ = std::move(wants);
    watch_ = std::move(watch);
    scanNodes();
    return true;
}

void HidPosSource::close() {
    nodes_.clear();
    watch_.reset();
}

void HidPosSource::follow() {
    if (!watch_)
        return;
    std::vector<QString> unwanted;
    for (const auto& [name, node] : nodes_) {
        if (!wanted(node->device))
            unwanted.push_back(name);
    }
    for (const QString& name : unwanted)
        closeNode(name);
    scanNodes();
}

void HidPosSource::scanNodes() {
    for (const QString& node : QDir(sysHidraw()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (isHidrawNode(node))
            openNode(node);
    }
}

bool HidPosSource::connected(quint32 vendor, quint32 product) {
    for (const QString& node : QDir(sysHidraw()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const Device d = device(node);
        if (isHidrawNode(node) && d.vendor == vendor && d.product == product &&
            QFile::exists(dev() + node) && layoutOf(node, d))
            return true;
    }
    return false;
}

QList<DeviceFacts> HidPosSource::devices() {
    QList<DeviceFacts> found;
    for (const QString& node : QDir(sysHidraw()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const Device d = device(node);
        const QString path = QDir::cleanPath(dev() + node);
        if (!isHidrawNode(node) || !QFile::exists(path) || !layoutOf(node, d))
            continue; // another HID device's, or going away
        DeviceFacts facts;
        facts.interface = QStringLiteral("hidPos");
        facts.node = path;
        facts.vendor = d.vendor;
        facts.product = d.product;
        facts.name = d.name;
        facts.readable = ::access(QFile::encodeName(path).constData(), R_OK) == 0;
        found << facts;
    }
    return found;
}

bool HidPosSource::reading(quint32 vendor, quint32 product) const {
    return std::any_of(nodes_.begin(), nodes_.end(), [&](const auto& entry) {
        return entry.second->device.vendor == vendor && entry.second->device.product == product;
    });
}

void HidPosSource::openNode(const QString& node) {
    if (nodes_.count(node))
        return;
    Device d = device(node);
    if (!wanted(d))
        return;
    // The descriptor first: no other device's node is ever opened.
    std::optional<HidPosLayout> layout = layoutOf(node, d);
    if (!layout)
        return;
    const int fd =
        ::open(QFile::encodeName(dev() + node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return; // permissions may come later (a change of its attributes)
    auto opened = std::make_unique<Node>(std::move(d), std::move(*layout));
    opened->open = std::make_unique<OpenNode>(fd, [this, node] { readNode(node); });
    qCInfo(lcInput).noquote() << "reading HID POS scanner"
                              << described(opened->device.name, opened->device.vendor,
                                           opened->device.product, node);
    nodes_.emplace(node, std::move(opened));
}

void HidPosSource::closeNode(const QString& node) {
    nodes_.erase(node);
}

void HidPosSource::readNode(const QString& node) {
    const auto it = nodes_.find(node);
    if (it == nodes_.end())
        return;
    Node& n = *it->second;
    QByteArray bytes(kReadSize, Qt::Uninitialized);
    const ssize_t got = ::read(n.open->fd(), bytes.data(), size_t(bytes.size()));
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        closeNode(node); // gone (ENODEV), or the writer of a test's pipe went
        return;
    }
    bytes.truncate(got);
    const Device device = n.device; // a copy: the handler may close the node
    for (const HidPosAssembler::Result& r : n.assembler.feed(bytes)) {
        if (r.data.isNull()) {
            qCWarning(lcInput).noquote()
                << "HID POS scanner" << described(device.name, device.vendor, device.product, node)
                << "sent a scan that was dropped:" << r.problem;
            continue;
        }
        DeviceScan scan{device.vendor,       device.product, device.name,
                        scannedText(r.data), r.symbology,    ScannerInterface::hidPos};
        if (!scan.text.isEmpty())
            handler_(scan);
    }
}

bool HidPosSource::errorBeep(quint32 vendor, quint32 product) {
    for (const auto& [node, open] : nodes_) {
        const int size = open->assembler.layout().errorBeepSize;
        if (open->device.vendor != vendor || open->device.product != product || size < 2)
            continue;
        // A test's pipe cannot carry both ways: its output reports go to a pipe of their own.
        QString path = dev() + node + QStringLiteral(".out");
        if (!QFile::exists(path))
            path = dev() + node;
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        QByteArray report(size, '\0');
        report[0] = char(kErrorBeepReport);
        report[1] = char(kErrorBeepCommand);
        const bool written = ::write(fd, report.constData(), size_t(size)) == size;
        ::close(fd);
        return written;
    }
    return false;
}
