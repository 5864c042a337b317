#pragma once

// A stand-in for sysfs and /dev under a temporary root (what the agent reads through
// KORVEL_INPUT_ROOT): sysfs-like folders, FIFO event nodes fed with real input_event
// records, FIFO hidraw nodes and pseudo-terminals for ttyACM ports.

#include <QTemporaryDir>

#include <linux/input.h>
#include <map>
#include <vector>

namespace korvel::test {

using RawEvents = std::vector<input_event>;
// One record at `ms` milliseconds of CLOCK_MONOTONIC.
input_event record(quint16 type, quint16 code, qint32 value, qint64 ms);

class FakeInputTree {
  public:
    struct Device {
        quint32 vendor = 0x05E0;
        quint32 product = 0x1200;
        QString name = QStringLiteral("Test Scanner");
        bool keyboard = true; // key bits 1..31 present
        bool readable = true; // else mode 000 until setReadable()
        bool fifo = true;     // else a plain file, which cannot be polled
    };

    FakeInputTree();
    ~FakeInputTree();
    QString root() const { return dir_.path(); }
    static qint64 nowMs();

    // eventN's sysfs folder, then its node moved into place whole; a writer is kept
    // open until remove(), since a FIFO without one reads as a device gone.
    void add(int n, const Device& device);
    void setReadable(int n);
    // eventN's device folder moved to sys/devices/<at>, as the kernel nests it, linked back.
    void nest(int n, const QString& at);
    void remove(int n);
    void send(int n, const RawEvents& events) {
        write(event(n), QByteArray::fromRawData(reinterpret_cast<const char*>(events.data()),
                                                qsizetype(events.size() * sizeof(input_event))));
    }
    void type(int n, const QString& text, bool enter = true) {
        send(n, typed(text, nowMs(), enter));
    }

    // hidrawN's sysfs folder (report descriptor, uevent), then its FIFO node and the
    // FIFO dev/hidrawN.out that output reports go to.
    void addHidraw(int n, const QByteArray& descriptor, quint32 vendor = 0x0C2E,
                   quint32 product = 0x0B87,
                   const QString& name = QStringLiteral("Counter scanner"));
    // ttyACMN's sysfs folder, then dev/ttyACMN: a link to acmPort(n), a pseudo-terminal.
    void addAcm(int n, quint32 vendor, quint32 product, const QString& name);
    QString acmPort(int n) const;
    // To, or what waits in, a node under dev/: "hidraw0", "hidraw0.out", "ttyACM0".
    void write(const QString& node, const QByteArray& bytes);
    QByteArray read(const QString& node);

    // Press and release of a key code in SYN_REPORT frames, each after the MSC_SCAN
    // a HID keyboard sends when scanUsage is given.
    static RawEvents tap(int code, qint64 t, int scanUsage = -1);
    // Taps for a text (US layout; capitals and ':' with Shift held, control
    // characters with Ctrl), `step` ms apart, then Enter.
    static RawEvents typed(const QString& text, qint64 t, bool enter = true, bool scanCodes = false,
                           qint64 step = 2);
    // The HID usage of a character on a US keyboard ('\n' Enter), -1 for none.
    static int usageOf(QChar c);

  private:
    static QString event(int n) { return QStringLiteral("input/event%1").arg(n); }
    QString dev(const QString& node) const { return root() + QStringLiteral("/dev/") + node; }
    // A file made aside and moved to dev/<node> whole, held open here.
    void place(const QString& node, int mode = 0600, bool fifo = true);

    QTemporaryDir dir_;
    std::map<QString, int> fds_; // of nodes under dev/: held open, or a pseudo-terminal's master
};

} // namespace korvel::test
