#include "platform/linux/evdev_decoder.h"

#include <array>

namespace {

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

} // namespace

EvdevDecoder::EvdevDecoder(quint64 device, quint32 vendor, quint32 product, QString name,
                           KeyState keyState, Sink sink)
    : device_(device), vendor_(vendor), product_(product), name_(std::move(name)),
      keyState_(std::move(keyState)), sink_(std::move(sink)) {}

int EvdevDecoder::usageForKeyCode(int code) {
    return code > 0 && code < 256 ? keyCodeToHid()[code] : 0;
}

int EvdevDecoder::keyCodeForUsage(int usage) {
    return usage > 0 && usage < 256 ? kHidToKeyCode[usage] : 0;
}

qint64 EvdevDecoder::timeMsOf(const input_event& e) {
    return static_cast<qint64>(e.input_event_sec) * 1000 + e.input_event_usec / 1000;
}

void EvdevDecoder::feed(const input_event& e) {
    if (dropping_) {
        // The rest of a broken frame is as unreliable as what was lost before it.
        if (e.type == EV_SYN && e.code == SYN_REPORT) {
            dropping_ = false;
            resync(timeMsOf(e));
        }
        return;
    }
    if (e.type == EV_SYN && e.code == SYN_DROPPED) {
        dropping_ = true;
        pendingScan_ = -1;
        discard(timeMsOf(e));
        return;
    }
    if (e.type == EV_MSC && e.code == MSC_SCAN) {
        pendingScan_ = e.value;
        return;
    }
    if (e.type == EV_SYN && e.code == SYN_REPORT) {
        pendingScan_ = -1;
        return;
    }
    if (e.type != EV_KEY)
        return;
    const int scan = pendingScan_;
    pendingScan_ = -1;
    if (e.value == 2 || e.code >= KEY_CNT)
        return; // autorepeat is no change of the key
    down_[e.code] = e.value != 0;
    const int usage = scan >= 0 && (scan >> 16) == kKeyboardPage ? (scan & 0xFFFF) : 0;
    report(e.code, e.value, timeMsOf(e), usage);
}

void EvdevDecoder::gone(qint64 timeMs) {
    discard(timeMs, KeyEvent::gone);
    pendingScan_ = -1;
    dropping_ = false;
    down_.reset();
}

void EvdevDecoder::discard(qint64 timeMs, KeyEvent::Kind kind) {
    KeyEvent event;
    event.kind = kind;
    event.timeMs = timeMs;
    event.vendor = vendor_;
    event.product = product_;
    event.name = name_;
    event.device = device_;
    sink_(event);
}

// After lost events the keys we believe are down may long have been released (a
// lost Shift release would turn every later digit into a symbol): ask the device.
void EvdevDecoder::resync(qint64 timeMs) {
    Keys now;
    if (!keyState_ || !keyState_(now))
        now.reset();
    const Keys released = down_ & ~now;
    for (size_t code = 0; code < released.size(); ++code) {
        if (released[code])
            report(static_cast<int>(code), 0, timeMs);
    }
    // The discard made the scan buffer forget its modifiers: tell it again.
    for (const int modifier :
         {KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_LEFTALT, KEY_RIGHTALT}) {
        if (now[static_cast<size_t>(modifier)])
            report(modifier, 1, timeMs);
    }
    down_ = now;
}

void EvdevDecoder::report(int code, int value, qint64 timeMs, int usage) {
    if (usage == 0)
        usage = usageForKeyCode(code);
    if (usage == 0)
        return;
    KeyEvent event;
    event.usagePage = kKeyboardPage;
    event.usage = usage;
    event.value = value;
    event.timeMs = timeMs;
    event.vendor = vendor_;
    event.product = product_;
    event.name = name_;
    event.device = device_;
    sink_(event);
}
