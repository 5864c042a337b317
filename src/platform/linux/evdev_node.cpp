#include "platform/linux/evdev_node.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr size_t kBitsPerLong = sizeof(unsigned long) * CHAR_BIT;

bool readKeys(int fd, EvdevDecoder::Keys& keys) {
    unsigned long words[(KEY_CNT + kBitsPerLong - 1) / kBitsPerLong] = {};
    if (::ioctl(fd, EVIOCGKEY(sizeof words), words) < 0)
        return false;
    EvdevNode::unpackKeys(words, std::size(words), keys);
    return true;
}

} // namespace

std::unique_ptr<EvdevNode> EvdevNode::open(const QString& path, const QString& name, quint64 device,
                                           const InputTree::Identity& identity,
                                           EvdevDecoder::Sink sink, int* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return nullptr;
    }
    // Event times on the monotonic clock, like nowMs(); a FIFO refuses and its
    // writer is expected to use that clock already.
    int clock = CLOCK_MONOTONIC;
    ::ioctl(fd, EVIOCSCLOCKID, &clock);
    return std::unique_ptr<EvdevNode>(new EvdevNode(fd, name, device, identity, std::move(sink)));
}

EvdevNode::EvdevNode(int fd, QString name, quint64 device, const InputTree::Identity& identity,
                     EvdevDecoder::Sink sink)
    : fd_(fd), name_(std::move(name)),
      decoder_(
          device, identity.vendor, identity.product, identity.name,
          [fd](EvdevDecoder::Keys& keys) { return readKeys(fd, keys); }, std::move(sink)) {}

EvdevNode::~EvdevNode() {
    ::close(fd_);
}

void EvdevNode::unpackKeys(const unsigned long* words, size_t count, EvdevDecoder::Keys& keys) {
    for (size_t code = 0; code < keys.size(); ++code) {
        const size_t word = code / kBitsPerLong;
        keys[code] = word < count && (words[word] >> (code % kBitsPerLong)) & 1;
    }
}

bool EvdevNode::read() {
    char buf[sizeof(input_event) * 64];
    for (;;) {
        std::memcpy(buf, partial_, partialSize_);
        const ssize_t n = ::read(fd_, buf + partialSize_, sizeof buf - partialSize_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0)
            return false; // EOF or ENODEV
        const size_t total = static_cast<size_t>(n) + partialSize_;
        const size_t whole = total / sizeof(input_event);
        records_ += whole;
        for (size_t i = 0; i < whole; ++i) {
            input_event e{};
            std::memcpy(&e, buf + i * sizeof(input_event), sizeof e);
            decoder_.feed(e);
        }
        partialSize_ = total - whole * sizeof(input_event);
        std::memcpy(partial_, buf + whole * sizeof(input_event), partialSize_);
    }
}

std::optional<bool> EvdevNode::grabbedByOther() {
    if (!read())
        return std::nullopt;
    const quint64 seen = records_;
    EvdevDecoder::Keys kernel;
    if (!readKeys(fd_, kernel))
        return std::nullopt;
    // A key that changed between the read and the question shows up as an event now.
    if (kernel != decoder_.down() && read() && records_ == seen)
        grabSeenAt_ = seen;
    return grabSeenAt_ && *grabSeenAt_ == records_;
}
