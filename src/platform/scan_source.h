#pragma once

#include <QChar>
#include <QString>

#include <functional>

// The character of a Windows-1252 byte; bytes the code page leaves undefined keep
// their C1 control code, as browsers read them.
inline QChar windows1252(quint8 byte) {
    static constexpr char16_t high[32] = {
        u'\u20AC', 0x81,      u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
        u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', 0x8D,      u'\u017D', 0x8F,
        0x90,      u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
        u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', 0x9D,      u'\u017E', u'\u0178'};
    return byte >= 0x80 && byte < 0xA0 ? QChar(high[byte - 0x80]) : QChar(byte);
}

// How a scanner is read.
enum class ScannerInterface { keyboard, hidPos, serial };

// A whole scan from a scanner that sends its data itself (not as key strokes).
struct DeviceScan {
    quint32 vendor = 0;
    quint32 product = 0;
    QString name;      // "Scanner" when the device reports none
    QString text;      // the data exactly as sent
    QString symbology; // the AIM identifier that came apart from the data ("" for none)
    ScannerInterface interface = ScannerInterface::hidPos;
};

// Scanners read through an interface of their own (HID POS, USB serial), beside the
// keyboards. Scans are reported on the thread that called open().
class ScanSource {
  public:
    using Handler = std::function<void(const DeviceScan&)>;
    virtual ~ScanSource() = default;

    virtual ScannerInterface interface() const = 0;
    // Which devices to read: the chosen scanner, or during detection any scanner.
    enum class Wanted { no, chosen, anyScanner };
    using Wants = std::function<Wanted(quint32 vendor, quint32 product)>;

    // Starts reporting scans: of the devices `wants` accepts (asked again as devices
    // come, and at follow()). False when it could not; it may be called again later.
    virtual bool open(Handler handler, Wants wants) = 0;
    // Every device closed, none opened until open() is called again.
    virtual void close() = 0;
    // What `wants` accepts has changed (detection began or ended, a scanner was chosen).
    virtual void follow() {}
    // A device of this vendor and product is plugged in with this interface.
    virtual bool connected(quint32 vendor, quint32 product) = 0;
    // Open and being read now: its keyboard interface, if any, is not read too.
    virtual bool reading(quint32 vendor, quint32 product) const = 0;
    // Tells the scanner to sound its error indication, where it has one. False when
    // it has none or it could not be told.
    virtual bool errorBeep(quint32 vendor, quint32 product) {
        Q_UNUSED(vendor);
        Q_UNUSED(product);
        return false;
    }
};
