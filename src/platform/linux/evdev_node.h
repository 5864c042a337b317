#pragma once

#include "platform/linux/evdev_decoder.h"
#include "platform/linux/input_tree.h"

#include <linux/input.h>
#include <memory>
#include <optional>

// One open keyboard node, read-only and never grabbed (everyone else keeps
// receiving its keys), non-blocking. Its records go to its own decoder.
class EvdevNode {
  public:
    // Null, with errno in *error, when the node cannot be opened. device: the
    // identity its events carry (KeyEvent::device), unique per opened node.
    static std::unique_ptr<EvdevNode> open(const QString& path, const QString& name, quint64 device,
                                           const InputTree::Identity& identity,
                                           EvdevDecoder::Sink sink, int* error);
    ~EvdevNode();
    EvdevNode(const EvdevNode&) = delete;
    EvdevNode& operator=(const EvdevNode&) = delete;

    int fd() const { return fd_; }
    const QString& name() const { return name_; } // "eventN"
    // Decodes every whole record waiting. False when the device is gone (end of
    // file, or no such device): the caller closes it.
    bool read();
    void gone(qint64 timeMs) { decoder_.gone(timeMs); }
    // Whether another program holds the device exclusively, judged passively: the
    // kernel's key state (EVIOCGKEY) differs from what the events read so far said,
    // and no event explains it. The verdict holds until the next event arrives.
    // Null when the node cannot tell (no key state to ask, as on a FIFO) or is gone.
    std::optional<bool> grabbedByOther();

    // The keys down in an EVIOCGKEY answer: an array of unsigned long in which key
    // n is bit n % BITS_PER_LONG of word n / BITS_PER_LONG, whatever the byte order.
    static void unpackKeys(const unsigned long* words, size_t count, EvdevDecoder::Keys& keys);

  private:
    EvdevNode(int fd, QString name, quint64 device, const InputTree::Identity& identity,
              EvdevDecoder::Sink sink);

    int fd_;
    QString name_;
    EvdevDecoder decoder_;
    char partial_[sizeof(input_event)] = {};
    size_t partialSize_ = 0;
    quint64 records_ = 0;               // whole records read so far
    std::optional<quint64> grabSeenAt_; // records_ when a grab was last seen
};
