// Calibration from one scan of the test code, over every layout and variant of
// xkb-data: with the keymaps compiled on the way, and with them readied while the
// detect window was open (what an operator meets). Also the time to rule out a
// long barcode that is not the test code.
#include "core/capture/calibration.h"
#include "platform/linux/xkb_layouts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

// The keys of a scanner set to the US layout typing `text`, then Enter.
std::vector<KeyStroke> usKeys(const QString& text) {
    const QString plain = QStringLiteral("abcdefghijklmnopqrstuvwxyz1234567890 -=[]\\;'`,./");
    const QString shifted = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*() _+{}|:\"~<>?");
    const int usages[] = {4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                          20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35,
                          36, 37, 38, 39, 44, 45, 46, 47, 48, 49, 51, 52, 53, 54, 55, 56};
    std::vector<KeyStroke> keys;
    qint64 t = 0;
    const auto tap = [&](int usage, int modifier) {
        if (modifier)
            keys.push_back({modifier, true, t});
        keys.push_back({usage, true, t});
        keys.push_back({usage, false, t + 1});
        if (modifier)
            keys.push_back({modifier, false, t + 1});
        t += 5;
    };
    for (const QChar c : text) {
        if (c == QChar(0x1D)) {
            tap(48, 224); // Ctrl+]
        } else if (const auto i = plain.indexOf(c); i >= 0) {
            tap(usages[i], 0);
        } else if (const auto j = shifted.indexOf(c); j >= 0) {
            tap(usages[j], 225);
        }
    }
    keys.push_back({40, true, t});
    return keys;
}

// Every layout and variant of xkb-data's rules, decoded by the system's adapter:
// what calibration meets where the adapter offers them all.
struct EveryLayout final : KeyboardLayouts {
    XkbLayouts& xkb;
    QList<Choice> all;
    explicit EveryLayout(XkbLayouts& x) : xkb(x) {
        QFile file(QStringLiteral("/usr/share/X11/xkb/rules/evdev.xml"));
        if (!file.open(QIODevice::ReadOnly))
            return;
        QXmlStreamReader xml(&file);
        QString layout, name;
        int depth = 0, layoutDepth = -1;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                ++depth;
                if (xml.name() == u"layout")
                    layoutDepth = depth, layout.clear();
                else if (xml.name() == u"variant")
                    name.clear();
                else if (layoutDepth > 0 && xml.name() == u"name")
                    name = xml.readElementText(), --depth;
                else if (layoutDepth > 0 && xml.name() == u"description") {
                    const QString description = xml.readElementText();
                    --depth;
                    if (layout.isEmpty()) {
                        layout = name;
                        all.append({name, description});
                    } else {
                        all.append({layout + u'(' + name + u')', description});
                    }
                }
            } else if (xml.isEndElement()) {
                if (xml.name() == u"layout")
                    layoutDepth = -1;
                --depth;
            }
        }
    }
    std::unique_ptr<LayoutDecoder> decoder(const QString& layout) override {
        return xkb.decoder(layout);
    }
    QList<Choice> available() override { return all; }
};

double timeMs(const std::function<void()>& run) {
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    XkbLayouts xkb;
    EveryLayout layouts(xkb);
    const std::vector<KeyStroke> code = usKeys(Calibration::testText());
    QString other = Calibration::testText();
    other[60] = u'x';
    const std::vector<KeyStroke> notCode = usKeys(other);
    std::optional<Calibration::Result> found;
    const double first = timeMs([&] { found = Calibration::calibrate(code, &layouts, {}); });
    const double again = timeMs([&] { found = Calibration::calibrate(code, &layouts, {}); });
    const double refused = timeMs([&] { Calibration::calibrate(notCode, &layouts, {}); });
    std::printf("candidates: %lld layouts and variants of xkb-data, and the US table\n",
                static_cast<long long>(layouts.all.size()));
    std::printf("test code, keymaps compiled on the way: %.0f ms\n", first);
    std::printf("test code, keymaps readied in detection: %.0f ms (limit 2000 ms)\n", again);
    std::printf("a long barcode that is not the test code: %.0f ms\n", refused);
    std::printf("found: \"%s\" (%s), pause %d ms\n", found ? qPrintable(found->layout) : "none",
                found ? qPrintable(found->description) : "", found ? found->pauseMs : 0);
    return found && again < 2000 ? 0 : 1;
}
