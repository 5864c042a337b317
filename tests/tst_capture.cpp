// Capture: key events to scan texts (the buffer), raw evdev records to key events
// (the decoder), and the routing of scans to delivery or to choosing the scanner.
#include "core/agent.h"
#include "core/capture/scan_capture.h"
#include "core/settings.h"
#include "platform/linux/evdev_decoder.h"
#include "platform/linux/xkb_layouts.h"
#include "support/fake_input.h"
#include "support/fakes.h"
#include "support/test_main.h"

#include <xkbcommon/xkbcommon.h>

using namespace korvel::test;

namespace {

// "key@ms" tokens: a character is its key on a US keyboard, '_' space; S/s and R/r
// left and right Shift down/up, E Enter, K keypad Enter, P keypad 1, C Caps Lock,
// T Tab, '~' a tick, '!' a discard.
QStringList runBuffer(const QString& script, bool emitOnGap) {
    ScanBuffer buffer;
    QStringList scans;
    buffer.onScan = [&](const QString& s) { scans.append(s); };
    buffer.emitOnGap = emitOnGap;
    const QString specials = QStringLiteral("SsRrEKPCT_");
    const int usages[] = {225, 225, 229, 229, 40, 88, 89, 57, 43, 44};
    for (const QString& token : script.split(QLatin1Char(' '))) {
        const QChar c = token[0];
        const qint64 t = token.section(QLatin1Char('@'), 1).toLongLong();
        const qsizetype special = specials.indexOf(c);
        if (c == u'~')
            buffer.tick(t);
        else if (c == u'!')
            buffer.discard(t);
        else
            buffer.key(special < 0 ? FakeInputTree::usageOf(c) : usages[special],
                       special < 0 || special % 2 == 0 || special > 3, t);
    }
    return scans;
}

RawEvents operator+(RawEvents a, const RawEvents& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
RawEvents typed(const char* text, qint64 t, bool enter = true, bool scanCodes = false) {
    return FakeInputTree::typed(QString::fromLatin1(text), t, enter, scanCodes);
}
RawEvents shift(int value, qint64 t) {
    return {record(EV_KEY, KEY_LEFTSHIFT, value, t), record(EV_SYN, SYN_REPORT, 0, t)};
}
RawEvents dropped(qint64 t) { // the kernel's marker, then the rest of the broken frame
    return {record(EV_SYN, SYN_DROPPED, 0, t), record(EV_KEY, KEY_9, 1, t),
            record(EV_SYN, SYN_REPORT, 0, t)};
}
const RawEvents gone = {record(0xFFFF, 0, 0, 10)}; // not a record: the device went away

// Scanned during detection: KV1, a space and every other printable ASCII character.
const QString testCode = QStringLiteral("KV1\u2423!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLM"
                                        "NOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~");

KeyEvent key(int usage, int value, qint64 t, quint32 vendor = 0x00FF,
             const QString& name = QStringLiteral("Barcode Reader")) {
    KeyEvent e;
    e.usagePage = 7, e.usage = usage, e.value = value, e.timeMs = t;
    e.vendor = vendor, e.product = 0x000A, e.name = name;
    return e;
}

// The keys a scanner set to `layout` presses for a script, found through
// libxkbcommon (which key and level types each character, else which dead key and
// key). Tokens: text; "=text" text as is; "^c" c with Ctrl; "alt:..." Alt held over
// keypad digits (or other keys); "|" Enter; '!' a discard; "keys:" usages as given,
// "224+" down, "224-" up, "48" both. An Enter ends it.
std::vector<KeyEvent> keysFor(const QString& layout, const QString& script) {
    static xkb_context* context = [] {
        xkb_context* c = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        xkb_context_set_log_level(c, XKB_LOG_LEVEL_CRITICAL); // "xx" is meant to fail
        return c;
    }();
    const QByteArray name = layout.section(u'(', 0, 0).toUtf8();
    const QByteArray variant = layout.section(u'(', 1).remove(u')').toUtf8();
    xkb_rule_names names{"evdev", "pc105", name.isEmpty() ? "us" : name.data(), variant.data(),
                         nullptr};
    xkb_keymap* km = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    names.layout = "us", names.variant = "";
    km = km ? km : xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    const xkb_mod_mask_t shift = 1u << xkb_keymap_mod_get_index(km, XKB_MOD_NAME_SHIFT);
    const xkb_mod_mask_t altGr = 1u << xkb_keymap_mod_get_index(km, "Mod5"); // level three
    std::vector<KeyEvent> out;
    qint64 t = 0;
    const auto press = [&](int usage, int value) { out.push_back(key(usage, value, t)); };
    // usage, Shift, AltGr; lowest level first, the 105th key where no other has it
    const auto strokeFor = [&](xkb_keysym_t sym) {
        for (xkb_level_index_t level = 0; level < 8; ++level) {
            for (auto kc = xkb_keymap_min_keycode(km); kc <= xkb_keymap_max_keycode(km); ++kc) {
                const xkb_keysym_t* syms = nullptr;
                xkb_mod_mask_t masks[8];
                const int usage = EvdevDecoder::usageForKeyCode(int(kc) - 8);
                if (!usage || usage > 0x65 || // a scanner's keys are a 105-key keyboard's
                    (usage == 0x64) != (level >= 4) ||
                    xkb_keymap_key_get_syms_by_level(km, kc, 0, level % 4, &syms) != 1 ||
                    syms[0] != sym)
                    continue;
                const size_t n = xkb_keymap_key_get_mods_for_level(km, kc, 0, level % 4, masks, 8);
                for (size_t i = 0; i < n; ++i)
                    if ((masks[i] & ~(shift | altGr)) == 0)
                        return std::tuple{usage, masks[i] & shift, masks[i] & altGr};
            }
        }
        return std::tuple{0, 0u, 0u};
    };
    const auto tap = [&](xkb_keysym_t sym) {
        const auto [usage, withShift, withAltGr] = strokeFor(sym);
        QVERIFY2(usage, qPrintable(QStringLiteral("no key for %1").arg(sym, 0, 16)));
        for (const auto& [held, modifier] : {std::pair{withShift, 225}, {withAltGr, 230}})
            if (held)
                press(modifier, 1);
        press(usage, 1), press(usage, 0);
        for (const auto& [held, modifier] : {std::pair{withAltGr, 230}, {withShift, 225}})
            if (held)
                press(modifier, 0);
        t += 5;
    };
    static const QHash<char16_t, xkb_keysym_t> deadKeys = {
        {u'^', XKB_KEY_dead_circumflex}, {u'\u0302', XKB_KEY_dead_circumflex},
        {u'\u00B4', XKB_KEY_dead_acute}, {u'\u0301', XKB_KEY_dead_acute},
        {u'`', XKB_KEY_dead_grave},      {u'\u0300', XKB_KEY_dead_grave},
        {u'~', XKB_KEY_dead_tilde},      {u'\u0308', XKB_KEY_dead_diaeresis}};
    for (const QString& token : script.split(u' ')) {
        if (token.startsWith(QLatin1String("keys:"))) {
            for (const QString& item : token.mid(5).split(u',')) {
                const int usage = item.toInt() ? item.toInt() : item.chopped(1).toInt();
                if (!item.endsWith(u'-'))
                    press(usage, 1);
                if (!item.endsWith(u'+'))
                    press(usage, 0), t += 5;
            }
            continue;
        }
        const bool alt = token.startsWith(QLatin1String("alt:"));
        const bool ctrl = token.size() == 2 && token[0] == u'^';
        const bool literal = token.startsWith(u'='); // "!" itself, "␣" a space
        if (alt || ctrl)
            press(alt ? 226 : 224, 1);
        for (const QChar c : token.mid(alt ? 4 : ctrl || literal ? 1 : 0)) {
            const xkb_keysym_t sym = c == u'␣' ? XKB_KEY_space : xkb_utf32_to_keysym(c.unicode());
            if (token == u"|") {
                press(40, 1), press(40, 0), t += 5;
            } else if (c == u'!' && !literal) {
                out.push_back(key(0, 0, t)), out.back().kind = KeyEvent::discard;
            } else if (alt && c.isDigit()) {
                press(c == u'0' ? 98 : 88 + c.digitValue(), 1), t += 5;
            } else if (std::get<0>(strokeFor(sym))) {
                tap(sym);
            } else { // a dead key, then a space for the accent alone or the letter
                const QString nfd = QString(c).normalized(QString::NormalizationForm_D);
                tap(deadKeys.value(nfd.back().unicode()));
                tap(nfd.size() == 1 ? XKB_KEY_space : xkb_utf32_to_keysym(nfd[0].unicode()));
            }
        }
        if (alt || ctrl)
            press(alt ? 226 : 224, 0);
    }
    press(40, 1);
    xkb_keymap_unref(km);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(RawEvents)

class TestCapture : public QObject {
    Q_OBJECT
    QString chosen, scannerLayout;
    QStringList delivered, choices;
    ScriptedKeyboard keyboard;
    XkbLayouts layouts;
    std::unique_ptr<ScanCapture> capture;

    void type(const QString& text, qint64 t, quint32 vendor = 0x00FF, bool enter = true) {
        for (const QChar c : text + (enter ? QStringLiteral("\n") : QString())) {
            capture->onValue(key(FakeInputTree::usageOf(c), 1, t, vendor));
            capture->onValue(key(FakeInputTree::usageOf(c), 0, t += 5, vendor));
        }
    }

  private Q_SLOTS:
    void init() {
        chosen = scannerLayout = QString();
        delivered = choices = QStringList();
        keyboard = ScriptedKeyboard{};
        capture = std::make_unique<ScanCapture>(
            keyboard, [this] { return chosen; },
            [this](const QString& s, const QString&) { delivered << s; },
            [this](const QString& k, const QString& n, const QString&) {
                choices << k + QLatin1Char(' ') + n;
            },
            &layouts, [this] { return scannerLayout; });
    }

    void keysBecomeScans_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("emitOnGap");
        QTest::addColumn<QStringList>("scans");
        const auto row = [](const char* name, const char* script, const QStringList& scans,
                            bool emitOnGap = true) {
            QTest::newRow(name) << QString::fromLatin1(script) << emitOnGap << scans;
        };
        row("shift: letters, top row, punctuation; not the keypad",
            "a@0 S@5 b@10 1@20 P@30 '@40 /@41 s@45 c@50 ;@51 E@60", {"aB!1\"?c;"});
        row("both enters end a scan; nothing or blanks pending is none",
            "a@0 E@1 b@100 K@101 E@200 _@300 _@301 E@302", {"a", "b"});
        row("blanks trimmed, inner kept", "_@0 1@1 2@2 _@3 3@4 _@5 _@6 E@7", {"12 3"});
        row("a pause of exactly the gap keeps the scan", "1@1000 2@1100 3@1200 ~@1300 E@1300",
            {"123"});
        row("101 ms splits it", "1@1000 2@1101 E@1102", {"1", "2"});
        row("tick ends a scan once; a time before the last key does nothing",
            "1@0 2@10 3@20 ~@70 ~@170 ~@300 a@9000 ~@8000 E@9001", {"123", "a"});
        row("a late Enter finds the scan delivered by the pause check", "1@0 2@10 E@510", {"12"});
        row("detection: a pause discards", "1@0 2@10 3@20 ~@121 E@122", {}, false);
        row("detection: a late Enter delivers nothing", "1@0 2@10 E@510", {}, false);
        row("unmapped keys add nothing but keep the scan alive, and run the pause check",
            "1@0 #@90 T@180 C@270 a@360 E@450 2@600 T@701 E@702", {"1a", "2"});
        row("each Shift on its own", "S@0 R@1 r@2 a@3 s@4 R@5 S@6 s@7 b@8 r@9 c@10 E@11", {"ABc"});
        row("a discard drops the scan, its tail, and Shift", "S@0 1@2 !@4 2@6 3@8 E@10 1@300 E@302",
            {"1"});
    }
    void keysBecomeScans() {
        QFETCH(QString, script);
        QFETCH(bool, emitOnGap);
        QTEST(runBuffer(script, emitOnGap), "scans");
    }

    void everyBarcodeArrivesAsPrinted_data() {
        QTest::addColumn<QString>("layout"); // the "scannerLayout" setting
        QTest::addColumn<QString>("script"); // see keysFor()
        QTest::addColumn<QStringList>("scans");
        const auto row = [](const char* name, const QString& layout, const QString& script,
                            const QStringList& scans) {
            QTest::newRow(name) << layout << script << scans;
        };
        row("GS1: Ctrl+] is GS", "", "0109501101020917 ^] 10ABC", {"0109501101020917\03510ABC"});
        row("ISO/IEC 15434 envelope: RS, GS, EOT; other Ctrl keys nothing", "",
            "[)> ^^ 06 ^] 1PABC ^^ ^D ^1", {"[)>\03606\0351PABC\036\004"});
        row("Alt codes: leading 0 Windows-1252, else code page 437, else nothing", "",
            "alt:0029 alt:0128 alt:129 alt:0252 alt:0129 alt:256 alt:0 alt:", {"\x1d€üü"});
        row("Alt+letter unchanged; a discard forgets an Alt code", "",
            "alt:x 1 | alt:02!52 | 7 alt:66", {"x1", "7B"});
        row("German: letters, shifted digits, AltGr, Ctrl+AltGr+9 is GS", "de",
            "Zürich ÄÖÜß \"§$%&/()= @{[]}\\€~<>| ^]", {"ZürichÄÖÜß\"§$%&/()=@{[]}\\€~<>|\x1d"});
        row("French: letters, shifted digits, AltGr, dead keys", "fr",
            "HA112 &é\"'(-è_çà) @€#{}[] êï", {"HA112&é\"'(-è_çà)@€#{}[]êï"});
        row("German dead keys: with a space the accent, with a letter the letter", "de",
            "^ \u00B4 ` é ê Ò û", {"^\u00B4`éêÒû"});
        row("a variant: no dead keys", "de(nodeadkeys)", "^°\u00B4`Zü", {"^°\u00B4`Zü"});
        row("an unknown layout: the US table", "xx", "Zy[", {"Zy["});
        row("no layout, only a part of keymaps: the US table", "pc", "keys:225+,29,225-,28,47",
            {"Zy["});
        row("German set up for Windows: Ctrl + US [ \\ ] ISO-\\ ^ _ @ keys", "de",
            "A keys:224+,48,47,49,50,225+,35,45,31,225-,224- B",
            {QStringLiteral("A\x1d\x1b\x1c\x1c\x1e\x1f") + QChar(0) + "B"});
        row("Brazilian: the US ] key is GS, not the ESC of its [", "br", "1 keys:224+,48,224- 2",
            {"1\0352"});
        row("French: Ctrl + the dead key at US [ is ESC, and no accent waits", "fr",
            "1 keys:224+,47,224- e", {"1\033e"});
        row("a letter on a US [ key stays its letter; Cyrillic letters are Latin", "fr(bepo)",
            "1 keys:224+,47,224- 2", {"1\0322"});
        row("Russian: Ctrl + the US d key is EOT", "ru", "keys:224+,7,224- keys:30", {"\0041"});
        row("German: Ctrl + Left Alt is AltGr on keys with a third level", "de",
            "keys:224+,226+,20,48,226-,224- keys:224+,20,224-", {"@~\x11"});
        row("US: Ctrl + Left Alt on keys without one stays Ctrl", "us",
            "keys:224+,226+,20,226-,224-", {"\x11"});
        row("Level 5 on Right Ctrl, Level 3 on Right Alt; Left Ctrl still Ctrl", "ca(multix)",
            "keys:228+,4,225+,4,225-,228- keys:230+,48,230- keys:224+,7,224-", {"æÆ~\x04"});
        row("US-International: dead ' and \" + space are ' and \"", "us(intl)",
            "keys:52,44,225+,52,225-,44,52,8 keys:53,44", {"'\"é`"});
        row("Spanish: dead ´ and ¨ + space are the accents", "es", "keys:52,44,225+,52,225-,44",
            {"\u00B4\u00A8"});
    }
    void everyBarcodeArrivesAsPrinted() {
        QFETCH(QString, layout);
        QFETCH(QString, script);
        const bool unknown = layout == u"xx" || layout == u"pc";
        if (unknown) {
            KORVEL_EXPECT_ONE_WARNING(
                QStringLiteral("scanner layout \"%1\" is unknown").arg(layout));
        }
        chosen = QStringLiteral("00FF:000A");
        scannerLayout = layout;
        capture->startCapture();
        for (const KeyEvent& e : keysFor(layout, script))
            capture->onValue(e);
        QTEST(delivered, "scans");
        QCOMPARE(capture->unknownLayout(), unknown ? layout : QString());
    }

    // The registry's names, with their descriptions (empty: no layout).
    void layoutsAreTheRegistrys_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        for (const auto& [part, description] : {std::pair{"de", "German"},
                                                {"de(nodeadkeys)", "German (no dead keys)"},
                                                {" ch ( fr ) ", "French (Switzerland)"}})
            QTest::newRow(part) << part << description;
        for (const char* part : {"pc", "inet", "keypad", "empty", "custom", "de(xx)"})
            QTest::newRow(part) << part << "";
    }
    void layoutsAreTheRegistrys() {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QCOMPARE(layouts.description(name), description);
        QCOMPARE(layouts.decoder(name) != nullptr, !description.isEmpty());
        const QList<KeyboardLayouts::Choice> all = layouts.available();
        QStringList names;
        for (qsizetype i = 0; i < all.size(); ++i) {
            names << all[i].name;
            QVERIFY(i == 0 || all[i - 1].description.localeAwareCompare(all[i].description) <= 0);
        }
        QCOMPARE(names.contains(name.remove(u' ')), !description.isEmpty());
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        QVERIFY(names.contains(QStringLiteral("us(intl)")) && names.size() > 500);
    }

    // A scanner programmed for a layout scans the test code during detection.
    void theTestCodeTellsWhatTheScannerWasProgrammedFor_data() {
        QTest::addColumn<QString>("layout");  // what the scanner was programmed for
        QTest::addColumn<QString>("script");  // see keysFor()
        QTest::addColumn<QString>("desktop"); // the desktop's own layout
        QTest::addColumn<QStringList>("found");
        const QString code = "=" + testCode;
        const auto row = [](const char* name, const QString& layout, const QString& script,
                            const char* desktop, const QStringList& found) {
            QTest::newRow(name) << layout << script << QString::fromLatin1(desktop) << found;
        };
        const QString ctrlGS = code + " ^] =KV1";
        row("US: the US table, no layout", "", ctrlGS, "", {"", "English (US)", "", "", "ctrl 0"});
        row("German: dead keys, AltGr; ties to the first description", "de", ctrlGS, "",
            {"de", "German", "", "", "ctrl 0"});
        row("German, ties to the desktop's own layout", "de", ctrlGS, "at",
            {"at", "German (Austria)", "", "", "ctrl 0"});
        row("Swiss German", "ch", ctrlGS, "de", {"ch", "German (Switzerland)", "", "", "ctrl 0"});
        row("French with an AIM identifier before", "fr", "=]d1" + code.mid(1) + " ^] =KV1", "",
            {"fr", "French", "]d1", "", "ctrl 0"});
        row("GS and one more as Alt codes, a suffix after", "de",
            code + " alt:029 =KV1 alt:065 =!9", "", {"de", "German", "", "A!9", "alt 2"});
        row("one character off: no test code", "", code + " ^] =KV2", "", {});
    }
    void theTestCodeTellsWhatTheScannerWasProgrammedFor() {
        QFETCH(QString, layout);
        QFETCH(QString, script);
        QFETCH(QString, desktop);
        QFETCH(QStringList, found);
        QStringList told;
        capture->desktopLayout = [&] { return desktop; };
        capture->onCalibrated = [&](const QString& k, const QString&,
                                    const Calibration::Result& r) {
            told = QStringList{
                r.layout, r.description, r.prefix, r.suffix,
                QStringLiteral("%1 %2").arg(r.gsAsAltCode ? "alt" : "ctrl").arg(r.altCodes)};
            chosen = k;
        };
        capture->startCapture();
        capture->toggleDetect();
        for (const KeyEvent& e : keysFor(layout, script))
            capture->onValue(e);
        QCOMPARE(told, found);
        QCOMPARE(chosen, found.isEmpty() ? QString() : QStringLiteral("00FF:000A"));
        QCOMPARE(delivered, QStringList());
    }

    // Keys every `step` ms, one gap `peak` longer: the test code, then barcodes.
    void aScannersOwnPaceEndsItsScans_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("peak");
        QTest::addColumn<int>("pause");
        QTest::newRow("fast: the shortest pause") << 2 << 0 << 100;
        QTest::newRow("Bluetooth: 80 ms, peaks to 100") << 80 << 20 << 200;
        QTest::newRow("slower than the longest pause") << 300 << 260 << 1000;
    }
    void aScannersOwnPaceEndsItsScans() {
        QFETCH(int, step);
        QFETCH(int, peak);
        QFETCH(int, pause);
        int tooSlow = 0, told = 0;
        capture->onTooSlow = [&](const QString&, const QString&) { ++tooSlow; };
        capture->onCalibrated = [&](const QString& k, const QString&,
                                    const Calibration::Result& r) {
            told = r.pauseMs;
            chosen = k;
        };
        capture->scannerPause = [&] { return told; };
        capture->startCapture();
        capture->toggleDetect();
        qint64 t = 0;
        const auto scan = [&](const std::vector<KeyEvent>& keys) {
            qint64 last = -1;
            for (KeyEvent e : keys) {
                t += e.timeMs == last ? 0 : e.timeMs == 0 ? 1 : step + (e.usage == 40 ? peak : 0);
                last = std::exchange(e.timeMs, t);
                capture->onValue(e);
            }
            t += 2000;
        };
        scan(keysFor("", "4006"));
        QCOMPARE(tooSlow, step > 30 ? 1 : 0); // the speed rule still holds for a barcode
        QCOMPARE(choices.size(), step > 30 ? 0 : 1);
        capture->toggleDetect();
        if (!capture->detecting())
            capture->toggleDetect();
        scan(keysFor("", "=" + testCode + " ^] =KV1"));
        QCOMPARE(told, pause);
        QVERIFY(!capture->detecting());
        scan(keysFor("", "4006 | 4007"));
        capture->onValue(key(30, 1, t));
        capture->onValue(key(31, 1, t + pause + 1)); // after the pause: a scan of its own
        capture->onValue(key(40, 1, t + pause + 2));
        QCOMPARE(delivered, (QStringList{"4006", "4007", "1", "2"}));
    }

    // Scanner after scanner: the Agent keeps what each calibration found and says it.
    void theAgentKeepsWhatCalibrationFound() {
        Settings settings;
        Journal journal;
        QTemporaryDir dir;
        Agent agent(settings,
                    {keyboard, journal, journal, nullptr, nullptr, &layouts,
                     [] { return QStringLiteral("de"); },
                     [] { return std::make_unique<XkbLayouts>(); }},
                    dir.path());
        agent.capture().startCapture();
        const auto scan = [&](const QString& layout, const QString& script, quint32 vendor,
                              int slower) {
            for (KeyEvent e : keysFor(layout, script)) {
                e.vendor = vendor, e.timeMs = e.timeMs * slower + 10000 * journal.entries.size();
                keyboard.handler(e);
            }
        };
        agent.toggleDetect();
        scan("ch", "=" + testCode + " ^] =KV1", 0x00FF, 1);
        QCOMPARE((QStringList{settings.scanner(), settings.scannerLayout()}),
                 (QStringList{"00FF:000A", "ch"}));
        // Every candidate was compiled to read the scan; only the chosen one stays.
        QVERIFY2(layouts.compiledCount() < 5, qPrintable(QString::number(layouts.compiledCount())));
        QCOMPARE(settings.scannerPause(), 100);
        QCOMPARE(journal.entries, (QStringList{"sound:Glass", "notify:Scanner selected|Scanner "
                                                              "Barcode Reader (00FF:000A): German "
                                                              "(Switzerland) layout"}));
        agent.toggleDetect(); // a slow one, programmed for German, adding an AIM identifier
        scan("de", "=]C1" + testCode + " ^] =KV1", 0x1234, 30);
        QCOMPARE((QStringList{settings.scanner(), settings.scannerLayout()}),
                 (QStringList{"1234:000A", "de"}));
        QCOMPARE(settings.scannerPause(), 300);
        const QString told = "notify:Scanner selected|Scanner Barcode Reader (1234:000A): German "
                             "layout\nIt adds ]C1 before each barcode.";
        QCOMPARE(journal.entries.last(), told);
        // Scanned again by the chosen scanner: never delivered, and told again.
        scan("de", "=]C1" + testCode + " alt:029 =KV1", 0x1234, 30);
        QCOMPARE(agent.queue().items().size(), 0);
        QCOMPARE(journal.entries.size(), 6);
        QCOMPARE(journal.entries.last(), told + "\nIt sends control characters as Alt codes.");
        // Reprogrammed for US keys while "de" is set: read with every layout, still the
        // test code, nothing of it sent; a barcode typed meanwhile waits, then goes.
        qint64 t = 10'000'000;
        for (const QString& script : {"=" + testCode + " ^] =KV1", QStringLiteral("4006")}) {
            for (KeyEvent e : keysFor("", script)) {
                e.vendor = 0x1234, e.timeMs += t;
                keyboard.handler(e);
            }
            t += 100'000;
        }
        QVERIFY(agent.capture().holding());
        QCOMPARE(agent.queue().items().size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(settings.scannerLayout(), QString(), 60000);
        QCOMPARE(agent.queue().items().size(), 1);
        QCOMPARE(agent.queue().items().first().value, QStringLiteral("4006"));
        QCOMPARE(journal.entries.size(), 8);
        agent.toggleDetect(); // chosen by its speed: the last scanner's pace is not its own
        scan("", "4006", 0x00FF, 1);
        QCOMPARE(settings.scanner(), QStringLiteral("00FF:000A"));
        QCOMPARE(settings.scannerPause(), 100);
        QCOMPARE(journal.entries.last(), // the barcode that chose it was not sent
                 "notify:Scanner selected|Barcode Reader (00FF:000A)\nIt was chosen by the "
                 "barcode \"4006\", which was not sent: scan it again to send it.");
        QCOMPARE(agent.queue().items().size(), 1);
    }

    // A detect window forgotten open ends by itself: the next parcel chooses nothing.
    void detectionEndsWithoutAScan() {
        Settings settings;
        Journal journal;
        QTemporaryDir dir;
        settings.store().remove(QStringLiteral("scanner"));
        Agent agent(settings, {keyboard, journal, journal}, dir.path(),
                    {.detectIdle = std::chrono::milliseconds(300)});
        agent.capture().startCapture();
        agent.toggleDetect();
        QSignalSpy changed(&agent, &Agent::changed);
        QVERIFY(agent.capture().detecting());
        QTRY_VERIFY(!agent.capture().detecting());
        QVERIFY(changed.count() >= 1); // the menu and the detect window follow
        for (const KeyEvent& e : keysFor("", "4006"))
            keyboard.handler(e);
        QVERIFY(settings.scanner().isEmpty());
    }

    // What one scanner sends, then what a second of the same model sends.
    void rawRecordsBecomeWholeScansOrNone_data() {
        QTest::addColumn<RawEvents>("first");
        QTest::addColumn<RawEvents>("second");
        QTest::addColumn<int>("held"); // what EVIOCGKEY answers: -1 it fails, else a held key
        QTest::addColumn<QStringList>("scans");
        const auto row = [](const char* name, const RawEvents& first, int held,
                            const QStringList& scans, const RawEvents& second = {}) {
            QTest::newRow(name) << first << second << held << scans;
        };
        row("shift spans frames, scan codes win, autorepeat adds nothing",
            shift(1, 0) + FakeInputTree::tap(KEY_A, 2) + FakeInputTree::tap(KEY_A, 4, 5) +
                shift(0, 5) + FakeInputTree::tap(KEY_1, 6, 30) +
                RawEvents{record(EV_KEY, KEY_2, 1, 8), record(EV_KEY, KEY_2, 2, 8),
                          record(EV_KEY, KEY_2, 2, 9)} +
                FakeInputTree::tap(KEY_KPENTER, 10),
            -1, {"AB12"});
        row("lost shift release, state unknown", shift(1, 0) + dropped(4) + typed("123", 300), -1,
            {"123"});
        row("lost shift release, device says released",
            shift(1, 0) + dropped(4) + typed("123", 300), 0, {"123"});
        row("shift held across the drop, device says so",
            shift(1, 0) + dropped(4) + typed("a", 300) + shift(0, 304) + typed("b", 600),
            KEY_LEFTSHIFT, {"A", "b"});
        row("drop at the very start of the first scan: its tail is no scan",
            dropped(0) + typed("6381", 2) + typed("777", 300), -1, {"777"});
        row("drop mid-scan: neither start nor tail",
            typed("400", 0, false, true) + dropped(6) + typed("6381", 8, true, true) +
                typed("777", 300, true, true),
            -1, {"777"});
        row("unplugged mid-scan", typed("2222", 0, false) + gone, -1, {"333"}, typed("333", 300));
        row("unplugged with shift down", shift(1, 0) + gone, -1, {"123"}, typed("123", 300));
        row("two scanners of one model, scans overlapping: each whole", typed("1234", 0), -1,
            {"1234", "5678"}, typed("5678", 1));
    }
    void rawRecordsBecomeWholeScansOrNone() {
        QFETCH(RawEvents, first);
        QFETCH(RawEvents, second);
        QFETCH(int, held);
        chosen = QStringLiteral("05E0:1200");
        const auto ask = [held](EvdevDecoder::Keys& keys) {
            if (held > 0)
                keys.set(static_cast<size_t>(held));
            return held >= 0;
        };
        const auto route = [this](const KeyEvent& e) { capture->onValue(e); };
        EvdevDecoder devices[] = {{1, 0x05E0, 0x1200, QStringLiteral("S"), ask, route},
                                  {2, 0x05E0, 0x1200, QStringLiteral("S"), ask, route}};
        for (size_t i = 0, j = 0; i < first.size() || j < second.size();) {
            const bool one =
                j == second.size() || (i < first.size() && EvdevDecoder::timeMsOf(first[i]) <=
                                                               EvdevDecoder::timeMsOf(second[j]));
            const input_event& e = one ? first[i++] : second[j++]; // as they arrive: by time
            keyboard.now = EvdevDecoder::timeMsOf(e) + 1000;       // pending scans have paused
            EvdevDecoder& device = devices[one ? 0 : 1];
            e.type == 0xFFFF ? device.gone(EvdevDecoder::timeMsOf(e)) : device.feed(e);
        }
        capture->tick();
        QTEST(delivered, "scans");
    }

    void onlyTheChosenScannerIsKeptAndDetectionChoosesIt() {
        keyboard.granted = false;
        capture->startCapture();
        keyboard.granted = true;
        capture->startCapture();
        capture->startCapture();
        QCOMPARE(keyboard.opens, 1); // once, and only with access
        type("12345", 0);            // no scanner chosen: nothing is kept
        capture->toggleDetect();
        type("abc", 100, 0x046D); // three characters choose nothing
        type("40", 200, 0x00FF, false);
        type("06", 400); // a pause during detection throws "40" away
        QCOMPARE(choices, QStringList());
        type("4006", 600);
        QCOMPARE(choices, QStringList{"00FF:000A Barcode Reader"});
        QVERIFY(!capture->detecting());
        QCOMPARE(delivered, QStringList()); // the choosing scan is not delivered
        chosen = QStringLiteral("00FF:000A");
        type("secret", 700, 0x046D); // another keyboard is never kept
        type("7", 800);              // one character is a scan outside detection
        capture->onValue(key(232, 1, 900));
        capture->onValue(key(3, 1, 901));
        capture->onValue(key(40, 1, 902));
        QCOMPARE(delivered, QStringList{"7"});
        capture->toggleDetect();
        capture->onValue(key(30, 1, 1000, 0x1234, QString()));
        type("234", 1001, 0x1234);
        QCOMPARE(choices.last(), QStringLiteral("1234:000A Scanner")); // nameless device
        type("22", 1100, 0x00FF, false); // half typed when another user comes to the front
        capture->pause();
        capture->resume();
        type("44", 1120);
        QCOMPARE(delivered.last(), QStringLiteral("44")); // neither sent nor joined
    }

    // Key-down gaps of "4006" and its Enter, and whether detection takes the device.
    void onlyAScannersSpeedChoosesTheScanner_data() {
        QTest::addColumn<QList<int>>("gaps");
        QTest::addColumn<bool>("taken");
        QTest::newRow("a scanner") << QList<int>{5, 1, 20, 5} << true;
        QTest::newRow("a median of 30 ms") << QList<int>{5, 30, 30, 90} << true;
        QTest::newRow("a median of 30.5 ms") << QList<int>{30, 30, 31, 31} << false;
        QTest::newRow("a fast typist on a keyboard") << QList<int>{80, 95, 60, 85} << false;
    }
    void onlyAScannersSpeedChoosesTheScanner() {
        QFETCH(QList<int>, gaps);
        QFETCH(bool, taken);
        capture->toggleDetect();
        for (qsizetype i = 0, t = 0; i < 5; t += gaps.value(i++)) // no gap after Enter
            capture->onValue(key(FakeInputTree::usageOf(QStringLiteral("4006\n")[i]), 1, t));
        QCOMPARE(choices.size(), taken ? 1 : 0);
    }

    // A key arriving while a late pause check drains is judged on the clock read before.
    void thePauseIsNeverJudgedAheadOfKeysAlreadyReceived() {
        chosen = QStringLiteral("00FF:000A");
        capture->startCapture();
        type("12", 1000, 0x00FF, false);
        std::optional<KeyEvent> waiting; // typed while the first drain ran
        keyboard.now = 1010;
        keyboard.onDrain = [&] {
            if (waiting)
                keyboard.handler(*std::exchange(waiting, std::nullopt));
            else if (std::exchange(keyboard.now, 1160) == 1010)
                waiting = key(32, 1, 1100);
        };
        capture->tick();
        capture->tick();
        capture->onValue(key(40, 1, 1110));
        QCOMPARE(delivered, QStringList{"123"});
    }
};

KORVEL_TEST_MAIN(TestCapture)
#include "tst_capture.moc"
