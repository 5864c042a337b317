#include "platform/linux/xkb_layouts.h"

#include "platform/linux/evdev_decoder.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdarg>
#include <cstdio>
#include <libintl.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbregistry.h>

Q_DECLARE_LOGGING_CATEGORY(lcInput)

namespace {

// xkb-data's own translations of its layout names.
constexpr const char* kXkbDomain = "xkeyboard-config";

// A layout's name in the user's language (the locale's messages, or LANGUAGE, as
// gettext takes them), where xkb-data has it in that language.
QString translated(const char* description) {
    return QString::fromUtf8(dgettext(kXkbDomain, description));
}

constexpr xkb_keycode_t kEvdevOffset = 8; // xkb keycode = evdev key code + 8
constexpr xkb_keycode_t kRightAlt = KEY_RIGHTALT + kEvdevOffset;
constexpr int kLastTypingUsage = 0x65; // the keys of a 105-key keyboard that type

void logToCategory(xkb_context*, xkb_log_level, const char* format, va_list args) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    qCDebug(lcInput).noquote() << "xkbcommon:" << QString::fromLocal8Bit(line).trimmed();
}

void logRegistry(rxkb_context*, rxkb_log_level, const char* format, va_list args) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    qCDebug(lcInput).noquote() << "xkbregistry:" << QString::fromLocal8Bit(line).trimmed();
}

// "de", "de(nodeadkeys)", as the registry names them; empty for no such form.
QString canonicalName(const QString& layout, QByteArray* name = nullptr,
                      QByteArray* variant = nullptr) {
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*([A-Za-z0-9_-]+)\s*(?:\(\s*([A-Za-z0-9_-]+)\s*\))?\s*$)"));
    const QRegularExpressionMatch m = form.match(layout);
    if (!m.hasMatch())
        return {};
    if (name)
        *name = m.captured(1).toUtf8();
    if (variant)
        *variant = m.captured(2).toUtf8();
    return m.captured(2).isEmpty() ? m.captured(1)
                                   : QStringLiteral("%1(%2)").arg(m.captured(1), m.captured(2));
}

using ComposeTable = std::shared_ptr<xkb_compose_table>;

// What a dead key followed by a space stands for: the accent itself, as the scanner
// means it (the Compose tables give an apostrophe for the acute, a quotation mark
// for the diaeresis). On US-International, whose dead keys are the US keys of
// ' " ` ~ ^, those characters, as that layout types them elsewhere.
char16_t spacingAccent(xkb_keysym_t dead, bool usInternational) {
    if (usInternational) {
        switch (dead) {
        case XKB_KEY_dead_acute:
            return u'\'';
        case XKB_KEY_dead_diaeresis:
            return u'"';
        default:
            break;
        }
    }
    switch (dead) {
    case XKB_KEY_dead_grave:
        return u'`';
    case XKB_KEY_dead_acute:
        return u'\u00B4';
    case XKB_KEY_dead_circumflex:
        return u'^';
    case XKB_KEY_dead_tilde:
        return u'~';
    case XKB_KEY_dead_diaeresis:
        return u'\u00A8';
    case XKB_KEY_dead_cedilla:
        return u'\u00B8';
    case XKB_KEY_dead_macron:
        return u'\u00AF';
    case XKB_KEY_dead_abovering:
        return u'\u00B0';
    case XKB_KEY_dead_caron:
        return u'\u02C7';
    case XKB_KEY_dead_breve:
        return u'\u02D8';
    case XKB_KEY_dead_abovedot:
        return u'\u02D9';
    case XKB_KEY_dead_doubleacute:
        return u'\u02DD';
    case XKB_KEY_dead_ogonek:
        return u'\u02DB';
    default:
        return 0;
    }
}

// Whether a dead acute and an e make é with this table.
bool composesDeadKeys(xkb_compose_table* table) {
    xkb_compose_state* state = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
    xkb_compose_state_feed(state, XKB_KEY_dead_acute);
    xkb_compose_state_feed(state, XKB_KEY_e);
    const bool composed = xkb_compose_state_get_status(state) == XKB_COMPOSE_COMPOSED &&
                          xkb_compose_state_get_one_sym(state) == XKB_KEY_eacute;
    xkb_compose_state_unref(state);
    return composed;
}

// The system's UTF-8 Compose table: what a scanner's dead keys type must depend
// neither on a user's own Compose file (~/.XCompose, $XCOMPOSEFILE, which the
// locale's table takes in) nor on how the session's locale was set (the C locale's
// table has no dead keys). The locale's table only where that file is missing.
ComposeTable loadCompose(xkb_context* context) {
    if (FILE* file = std::fopen("/usr/share/X11/locale/en_US.UTF-8/Compose", "re")) {
        ComposeTable table(xkb_compose_table_new_from_file(context, file, "en_US.UTF-8",
                                                           XKB_COMPOSE_FORMAT_TEXT_V1,
                                                           XKB_COMPOSE_COMPILE_NO_FLAGS),
                           xkb_compose_table_unref);
        std::fclose(file);
        if (table && composesDeadKeys(table.get()))
            return table;
    }
    QByteArray locale = qgetenv("LC_ALL");
    for (const char* name : {"LC_CTYPE", "LANG"}) {
        if (locale.isEmpty())
            locale = qgetenv(name);
    }
    if (locale.isEmpty())
        locale = "C";
    for (const QByteArray& name : {locale, QByteArray("en_US.UTF-8")}) {
        ComposeTable table(xkb_compose_table_new_from_locale(context, name.constData(),
                                                             XKB_COMPOSE_COMPILE_NO_FLAGS),
                           xkb_compose_table_unref);
        if (table && composesDeadKeys(table.get()))
            return table;
    }
    qCWarning(lcInput) << "no Compose table with dead keys: accents typed with dead keys are lost";
    return nullptr;
}

// The modifiers that holding the key with this keysym sets (DEPRESSED), or that
// pressing it once leaves locked (LOCKED).
xkb_mod_mask_t modsOf(xkb_keymap* keymap, xkb_keysym_t keysym, xkb_state_component component) {
    xkb_state* state = xkb_state_new(keymap);
    xkb_mod_mask_t mods = 0;
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap);
         code <= xkb_keymap_max_keycode(keymap); ++code) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms) == 1 && syms[0] == keysym) {
            xkb_state_update_key(state, code, XKB_KEY_DOWN);
            if (component == XKB_STATE_MODS_LOCKED)
                xkb_state_update_key(state, code, XKB_KEY_UP);
            mods = xkb_state_serialize_mods(state, component);
            break;
        }
    }
    xkb_state_unref(state);
    return mods;
}

xkb_mod_mask_t modMask(xkb_keymap* keymap, const char* name) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index < 32 ? 1u << index : 0;
}

// A keysym that makes its key a modifier (Shift, AltGr, Level 5 …) rather than text.
bool isModifierSym(xkb_keysym_t sym) {
    return (sym >= XKB_KEY_ISO_Lock && sym <= XKB_KEY_ISO_Level5_Lock) ||
           (sym >= XKB_KEY_Shift_L && sym <= XKB_KEY_Hyper_R) || sym == XKB_KEY_Mode_switch;
}

// The keysyms at a key's first two levels.
bool keyIs(xkb_keymap* keymap, int usage, xkb_keysym_t plain, xkb_keysym_t shifted) {
    const auto code = static_cast<xkb_keycode_t>(EvdevDecoder::keyCodeForUsage(usage)) + 8;
    const xkb_keysym_t* syms = nullptr;
    return xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms) == 1 && syms[0] == plain &&
           xkb_keymap_key_get_syms_by_level(keymap, code, 0, 1, &syms) == 1 && syms[0] == shifted;
}

} // namespace

struct XkbLayouts::Keymap {
    xkb_keymap* keymap = nullptr;
    ComposeTable compose;
    xkb_mod_mask_t shift = 0;
    xkb_mod_mask_t level3 = 0;
    xkb_mod_mask_t numLock = 0;
    bool rightAltIsAltGr = false;
    bool usInternational = false; // dead key + space: ' and " rather than ´ and ¨
    // By HID usage: the level modifiers (Level 3, Level 5) a key sets while down.
    std::array<xkb_mod_mask_t, 256> levelMods{};
    std::vector<int> levelKeys; // the usages with levelMods
    ~Keymap() { xkb_keymap_unref(keymap); }
    void findLevelKeys();
};

// The modifiers that choose levels are the ones the key types use, but for Shift,
// the locks, Ctrl, Alt and Super; the keys that set them are this layout's level
// keys, wherever they sit (Right Alt, Right Ctrl on ca(multix), Caps Lock …).
void XkbLayouts::Keymap::findLevelKeys() {
    const xkb_mod_mask_t others =
        modMask(keymap, XKB_MOD_NAME_SHIFT) | modMask(keymap, XKB_MOD_NAME_CAPS) |
        modMask(keymap, XKB_MOD_NAME_CTRL) | modMask(keymap, XKB_MOD_NAME_ALT) |
        modMask(keymap, XKB_MOD_NAME_NUM) | modMask(keymap, XKB_MOD_NAME_LOGO) | numLock;
    xkb_mod_mask_t chooseLevels = 0;
    for (int usage = 4; usage <= kLastTypingUsage; ++usage) {
        const auto code =
            static_cast<xkb_keycode_t>(EvdevDecoder::keyCodeForUsage(usage)) + kEvdevOffset;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, code, 0);
        for (xkb_level_index_t level = 1; level < levels; ++level) {
            xkb_mod_mask_t masks[16];
            const size_t n = xkb_keymap_key_get_mods_for_level(keymap, code, 0, level, masks, 16);
            for (size_t i = 0; i < n; ++i)
                chooseLevels |= masks[i];
        }
    }
    chooseLevels &= ~others;
    if (chooseLevels == 0)
        return;
    for (int usage = 1; usage < 256; ++usage) {
        const int key = EvdevDecoder::keyCodeForUsage(usage);
        const auto code = static_cast<xkb_keycode_t>(key) + kEvdevOffset;
        const xkb_keysym_t* syms = nullptr;
        if (key == 0 || xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms) != 1 ||
            !isModifierSym(syms[0]))
            continue;
        xkb_state* state = xkb_state_new(keymap);
        xkb_state_update_key(state, code, XKB_KEY_DOWN);
        const xkb_mod_mask_t mods =
            xkb_state_serialize_mods(state, XKB_STATE_MODS_EFFECTIVE) & chooseLevels;
        xkb_state_unref(state);
        if (mods != 0) {
            levelMods[static_cast<size_t>(usage)] = mods;
            levelKeys.push_back(usage);
        }
    }
}

namespace {

class XkbDecoder final : public LayoutDecoder {
  public:
    explicit XkbDecoder(std::shared_ptr<const XkbLayouts::Keymap> keymap)
        : keymap_(std::move(keymap)), state_(xkb_state_new(keymap_->keymap)),
          compose_(keymap_->compose
                       ? xkb_compose_state_new(keymap_->compose.get(), XKB_COMPOSE_STATE_NO_FLAGS)
                       : nullptr) {
        apply(0);
    }
    ~XkbDecoder() override {
        xkb_compose_state_unref(compose_);
        xkb_state_unref(state_);
    }
    XkbDecoder(const XkbDecoder&) = delete;
    XkbDecoder& operator=(const XkbDecoder&) = delete;

    QString type(int usage, bool shift, bool altGr, bool compose) override {
        const int code = EvdevDecoder::keyCodeForUsage(usage);
        if (code == 0)
            return {};
        const xkb_mod_mask_t mods =
            (shift ? keymap_->shift : 0) | (altGr ? keymap_->level3 : 0) | held_;
        if (mods != applied_)
            apply(mods);
        const xkb_keysym_t sym =
            xkb_state_key_get_one_sym(state_, static_cast<xkb_keycode_t>(code) + kEvdevOffset);
        if (sym == XKB_KEY_NoSymbol)
            return {};
        const xkb_keysym_t dead = std::exchange(dead_, 0);
        if (compose_ && !compose) {
            xkb_compose_state_reset(compose_);
        } else if (const char16_t accent =
                       sym == XKB_KEY_space ? spacingAccent(dead, keymap_->usInternational) : 0) {
            xkb_compose_state_reset(compose_);
            return QString(QChar(accent));
        } else if (compose_) {
            const bool fresh = xkb_compose_state_get_status(compose_) != XKB_COMPOSE_COMPOSING;
            if (xkb_compose_state_feed(compose_, sym) != XKB_COMPOSE_FEED_ACCEPTED)
                return text(sym); // a modifier, say: no part of a sequence
            switch (xkb_compose_state_get_status(compose_)) {
            case XKB_COMPOSE_COMPOSING:
                dead_ = fresh ? sym : 0; // one dead key waiting, not a longer sequence
                return {};
            case XKB_COMPOSE_COMPOSED: {
                char text[64];
                const int n = xkb_compose_state_get_utf8(compose_, text, sizeof text);
                xkb_compose_state_reset(compose_);
                return printable(QString::fromUtf8(text, std::clamp(n, 0, 63)));
            }
            case XKB_COMPOSE_CANCELLED: // the dead key is lost; this key stands for itself
                xkb_compose_state_reset(compose_);
                break;
            case XKB_COMPOSE_NOTHING:
                break;
            }
        }
        return text(sym);
    }

    void reset() override {
        dead_ = 0;
        if (compose_)
            xkb_compose_state_reset(compose_);
    }

    bool rightAltIsAltGr() const override { return keymap_->rightAltIsAltGr; }

    bool levelKey(int usage, bool down) override {
        if (usage <= 0 || usage > 255 || keymap_->levelMods[static_cast<size_t>(usage)] == 0)
            return false;
        heldKeys_.set(static_cast<size_t>(usage), down);
        held_ = 0;
        for (const int key : keymap_->levelKeys) {
            if (heldKeys_[static_cast<size_t>(key)])
                held_ |= keymap_->levelMods[static_cast<size_t>(key)];
        }
        return true;
    }

    void releaseLevelKeys() override {
        heldKeys_.reset();
        held_ = 0;
    }

    bool typesWithAltGr(int usage, bool shift) override {
        const int code = EvdevDecoder::keyCodeForUsage(usage);
        if (code == 0 || keymap_->level3 == 0)
            return false;
        const auto key = static_cast<xkb_keycode_t>(code) + kEvdevOffset;
        apply((shift ? keymap_->shift : 0) | keymap_->level3 | held_);
        // A key whose type ignores the third-level modifier stays at its own level.
        return xkb_state_key_get_level(state_, key, 0) >= 2 &&
               xkb_state_key_get_one_sym(state_, key) != XKB_KEY_NoSymbol;
    }

  private:
    // Num Lock counts as on, so the keypad gives digits as with the US table; Caps
    // Lock is never set, so it changes nothing.
    void apply(xkb_mod_mask_t mods) {
        xkb_state_update_mask(state_, mods, 0, keymap_->numLock, 0, 0, 0);
        applied_ = mods;
    }
    static QString text(xkb_keysym_t sym) {
        const char32_t c = xkb_keysym_to_utf32(sym);
        return c == 0 ? QString() : printable(QString::fromUcs4(&c, 1));
    }
    // Tab, Backspace, Escape and the like are keys, not text, as with the US table.
    static QString printable(const QString& s) {
        for (const QChar c : s) {
            if (c.category() == QChar::Other_Control)
                return {};
        }
        return s;
    }

    std::shared_ptr<const XkbLayouts::Keymap> keymap_;
    xkb_state* state_;
    xkb_compose_state* compose_;
    xkb_mod_mask_t applied_ = 0;
    xkb_keysym_t dead_ = 0;     // the dead key waiting alone for its partner
    std::bitset<256> heldKeys_; // level keys down, by usage
    xkb_mod_mask_t held_ = 0;   // the levels they choose
};

} // namespace

XkbLayouts::XkbLayouts()
    // The layout alone decides: no XKB_DEFAULT_* variables of the session.
    : context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES)) {
    if (context_)
        xkb_context_set_log_fn(context_, logToCategory);
}

XkbLayouts::~XkbLayouts() {
    keymaps_.clear();
    xkb_context_unref(context_);
}

std::shared_ptr<const XkbLayouts::Keymap> XkbLayouts::compile(const QString& layout) {
    if (const auto it = keymaps_.constFind(layout); it != keymaps_.cend())
        return it.value();
    std::shared_ptr<Keymap> compiled;
    QByteArray name;
    QByteArray variant;
    loadRegistry();
    if (context_ && descriptions_.contains(canonicalName(layout, &name, &variant))) {
        xkb_rule_names names{"evdev", "pc105", name.constData(), variant.constData(), nullptr};
        if (xkb_keymap* keymap =
                xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
            compiled = std::make_shared<Keymap>();
            compiled->keymap = keymap;
            if (!composeLoaded_) {
                compose_ = loadCompose(context_);
                composeLoaded_ = true;
            }
            compiled->compose = compose_;
            compiled->shift = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
            compiled->level3 = modsOf(keymap, XKB_KEY_ISO_Level3_Shift, XKB_STATE_MODS_DEPRESSED);
            compiled->numLock = modsOf(keymap, XKB_KEY_Num_Lock, XKB_STATE_MODS_LOCKED);
            const xkb_keysym_t* syms = nullptr;
            compiled->rightAltIsAltGr =
                xkb_keymap_key_get_syms_by_level(keymap, kRightAlt, 0, 0, &syms) == 1 &&
                syms[0] == XKB_KEY_ISO_Level3_Shift;
            compiled->usInternational =
                keyIs(keymap, 52, XKB_KEY_dead_acute, XKB_KEY_dead_diaeresis) &&
                keyIs(keymap, 53, XKB_KEY_dead_grave, XKB_KEY_dead_tilde);
            compiled->findLevelKeys();
        }
    }
    keymaps_.insert(layout, compiled);
    return compiled;
}

void XkbLayouts::forgetUnused() {
    // A keymap held only here serves no device; one that failed stays known as such.
    for (auto it = keymaps_.begin(); it != keymaps_.end();) {
        if (it.value() && it.value().use_count() == 1)
            it = keymaps_.erase(it);
        else
            ++it;
    }
}

qsizetype XkbLayouts::compiledCount() const {
    return std::count_if(keymaps_.cbegin(), keymaps_.cend(), [](const auto& k) { return !!k; });
}

std::unique_ptr<LayoutDecoder> XkbLayouts::decoder(const QString& layout) {
    const auto keymap = compile(layout);
    if (!keymap)
        return nullptr;
    return std::make_unique<XkbDecoder>(keymap);
}

void XkbLayouts::loadRegistry() {
    if (registryLoaded_)
        return;
    registryLoaded_ = true;
    // Whatever the locale's own character set: the names are taken as UTF-8.
    bind_textdomain_codeset(kXkbDomain, "UTF-8");
    rxkb_context* registry = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
    if (registry)
        rxkb_context_set_log_fn(registry, logRegistry);
    if (!registry || !rxkb_context_parse_default_ruleset(registry)) {
        qCWarning(lcInput) << "cannot read the list of keyboard layouts: every scanner layout "
                              "is unknown, keys are read with the US layout";
        if (registry)
            rxkb_context_unref(registry);
        return;
    }
    for (rxkb_layout* l = rxkb_layout_first(registry); l; l = rxkb_layout_next(l)) {
        const QString name = QString::fromUtf8(rxkb_layout_get_name(l));
        const char* variant = rxkb_layout_get_variant(l);
        const QString full = variant && *variant
                                 ? QStringLiteral("%1(%2)").arg(name, QString::fromUtf8(variant))
                                 : name;
        // "custom" stands for a file of the user's own, most often missing.
        if (name == u"custom" || canonicalName(full) != full || descriptions_.contains(full))
            continue;
        const char* description = rxkb_layout_get_description(l);
        descriptions_.insert(full, description ? translated(description) : full);
        choices_.append({full, descriptions_.value(full)});
    }
    rxkb_context_unref(registry);
    std::stable_sort(choices_.begin(), choices_.end(), [](const Choice& a, const Choice& b) {
        const int order = a.description.localeAwareCompare(b.description);
        return order != 0 ? order < 0 : a.name < b.name;
    });
}

QList<KeyboardLayouts::Choice> XkbLayouts::available() {
    loadRegistry();
    return choices_;
}

QString XkbLayouts::description(const QString& layout) {
    loadRegistry();
    return descriptions_.value(canonicalName(layout));
}
