#pragma once

// A stand-in for /sys/class/input and /dev/input under a temporary root: sysfs-like
// folders and FIFO event nodes fed with real input_event records.

#include <QString>
#include <QTemporaryDir>

#include <linux/input.h>
#include <map>
#include <vector>

namespace korvel::test {

struct RawEvent {
    quint16 type;
    quint16 code;
    qint32 value;
    qint64 timeMs; // CLOCK_MONOTONIC milliseconds
};

class FakeInputTree {
  public:
    FakeInputTree();
    ~FakeInputTree();

    QString root() const { return dir_.path(); }
    static qint64 nowMs();

    struct Device {
        quint32 vendor = 0x05E0;
        quint32 product = 0x1200;
        QString name = QStringLiteral("Test Scanner");
        bool keyboard = true; // key bits 1..31 present
        bool readable = true; // node created with permissions, else mode 000
        bool fifo = true;     // else a plain file, which cannot be polled
    };
    // Creates eventN's sysfs folder, then its node (moved into place whole), and keeps
    // a writer open so the node stays alive until remove().
    void add(int n, const Device& device);
    void setReadable(int n);
    void remove(int n);

    void send(int n, const std::vector<RawEvent>& events);
    // Press and release of a key code with SYN_REPORT frames, optionally with the
    // MSC_SCAN a HID keyboard sends before each key.
    static std::vector<RawEvent> tap(int code, qint64 t, int scanUsage = -1);
    // Key taps for an ASCII text (letters, digits, '-', ':', ' ') then Enter, `step` ms apart.
    static std::vector<RawEvent> typed(const QString& text, qint64 t, qint64 step,
                                       bool withScanCodes = false, bool enter = true);

  private:
    QTemporaryDir dir_;
    std::map<int, int> writers_;
};

} // namespace korvel::test
