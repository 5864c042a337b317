#pragma once

#include <QList>
#include <QString>

#include <memory>

// What the keys of one device type through a national keyboard layout. Each device
// has its own: a dead key waits here for the key it combines with.
class LayoutDecoder {
  public:
    virtual ~LayoutDecoder() = default;
    // The text of a key-down (a HID Keyboard/Keypad usage) at the level that Shift,
    // AltGr and the level keys held down (see levelKey) choose; empty for none. With `compose`, a
    // dead key gives nothing but changes what the next key gives (a space: the accent itself);
    // without it, a dead key gives nothing and a waiting one is forgotten.
    virtual QString type(int usage, bool shift, bool altGr, bool compose) = 0;
    // Forgets a dead key waiting for its partner.
    virtual void reset() = 0;
    // Whether Right Alt is this layout's AltGr (the third-level key) rather than Alt.
    virtual bool rightAltIsAltGr() const = 0;
    // Whether the key chooses a level on this layout (its AltGr, a Level 5 key)
    // rather than typing or being Shift, Ctrl or Alt. The decoder then holds that
    // level itself from this key's key-down to its key-up.
    virtual bool levelKey(int usage, bool down) {
        (void)usage, (void)down;
        return false;
    }
    // Forgets the level keys held down: their key-ups may be among lost events.
    virtual void releaseLevelKeys() {}
    // Whether the key types something of its own at the level AltGr chooses (a
    // third level), with Shift or without.
    virtual bool typesWithAltGr(int usage, bool shift) {
        (void)usage, (void)shift;
        return false;
    }
};

// The keyboard layouts of the system, by the names desktop keyboard settings use:
// "de", "fr", "de(nodeadkeys)" (a layout and an optional variant).
class KeyboardLayouts {
  public:
    struct Choice {
        QString name;        // "de"
        QString description; // "German"
    };
    virtual ~KeyboardLayouts() = default;
    // A decoder for one device; none when the layout is unknown or cannot be compiled.
    virtual std::unique_ptr<LayoutDecoder> decoder(const QString& layout) = 0;
    // The layouts on offer, in the order to show them.
    virtual QList<Choice> available() = 0;
    // The description of a layout the system lists ("German (no dead keys)" for
    // "de(nodeadkeys)"); empty for a name it does not list.
    virtual QString description(const QString& layout) {
        for (const Choice& choice : available()) {
            if (choice.name == layout)
                return choice.description;
        }
        return {};
    }
    // Lets go of compiled layouts that no decoder uses any more: a calibration
    // compiles every layout of the system, which are not to stay in memory after.
    virtual void forgetUnused() {}
};
