#include "support/hid_descriptors.h"

namespace korvel::test {

enum { kMain = 0, kGlobal = 1, kLocal = 2 };
const QByteArray scannerPage = hidItem(kGlobal, 0x0, 0x8C);
const QByteArray vendorPage = hidItem(kGlobal, 0x0, 0xFF66);
const auto usage = [](quint32 u) { return hidItem(kLocal, 0x0, u); };
const auto reportId = [](int id) { return hidItem(kGlobal, 0x8, id); };
const auto field = [](int bits, int count) {
    return hidItem(kGlobal, 0x7, bits) + hidItem(kGlobal, 0x9, count);
};
const QByteArray input = hidItem(kMain, 0x8, 0x02); // data, variable, absolute
const QByteArray padding = hidItem(kMain, 0x8, 0x01);
const QByteArray output = hidItem(kMain, 0x9, 0x02);
const QByteArray application = hidItem(kMain, 0xA, 0x01);
const QByteArray logical = hidItem(kMain, 0xA, 0x02);
const QByteArray end = hidItem(kMain, 0xC, 0);
const QByteArray opening = scannerPage + usage(0x02) + application + usage(0x12) + logical +
                           hidItem(kGlobal, 0x1, 0) + hidItem(kGlobal, 0x2, 0xFF);

QByteArray hidItem(int type, int tag, quint32 data) {
    const int size = data > 0xFFFF ? 3 : data > 0xFF ? 2 : data > 0 ? 1 : 0;
    const int bytes = size == 3 ? 4 : size;
    QByteArray item(1, char(tag << 4 | type << 2 | size));
    for (int i = 0; i < bytes; ++i)
        item += char(data >> (8 * i));
    return item;
}

QByteArray keyboardDescriptor() {
    return hidItem(kGlobal, 0, 1) + usage(6) + application + field(8, 8) + hidItem(kMain, 8, 0) +
           end;
}

QByteArray honeywellStyleDescriptor() {
    return opening + reportId(2) + field(8, 1) + vendorPage + usage(0x04) + input + scannerPage +
           usage(0xFB) + usage(0xFC) + usage(0xFD) + field(8, 3) + input + usage(0xFE) +
           field(8, 56) + input + vendorPage + usage(0x05) + usage(0x06) + field(8, 2) + input +
           scannerPage + usage(0xFF) + field(1, 1) + input + field(7, 1) + padding + end +
           reportId(4) + vendorPage + usage(0x07) + field(8, 1) + output + end;
}

QByteArray newlandStyleDescriptor() {
    return opening + reportId(2) + vendorPage + usage(0x01) + field(8, 1) + input + scannerPage +
           usage(0xFE) + field(8, 62) + input + usage(0xFF) + field(8, 1) + input + end + end;
}

QByteArray plainDescriptor() {
    return opening + hidItem(kLocal, 0x1, 0xFB) + hidItem(kLocal, 0x2, 0xFD) + field(8, 3) + input +
           usage(0xFE) + field(8, 32) + input + usage(0xFF) + field(1, 1) + input + field(7, 1) +
           padding + end + end;
}

QByteArray honeywellReport(const QByteArray& data, const QByteArray& aim, bool more) {
    QByteArray r = newlandReport(aim + data, more).left(64);
    r[1] = char(data.size());
    r[63] = more;
    return r;
}

QByteArray newlandReport(const QByteArray& data, bool more) {
    QByteArray r = '\x02' + QByteArray(1, char(data.size())) + data;
    r.resize(65, '\0');
    r[64] = more;
    return r;
}

} // namespace korvel::test
