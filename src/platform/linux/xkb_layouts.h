#pragma once

#include "platform/keyboard_layout.h"

#include <QHash>

#include <memory>

struct xkb_context;
struct xkb_compose_table;

// Keyboard layouts compiled by libxkbcommon from the system's keymaps (xkb-data);
// dead keys combine through the Compose table of the user's locale. Only the
// layouts and variants libxkbregistry lists count: "pc", "inet" or "empty" compile,
// but are no layout a scanner types with.
class XkbLayouts final : public KeyboardLayouts {
  public:
    XkbLayouts();
    ~XkbLayouts() override;
    XkbLayouts(const XkbLayouts&) = delete;
    XkbLayouts& operator=(const XkbLayouts&) = delete;

    std::unique_ptr<LayoutDecoder> decoder(const QString& layout) override;
    // Every layout and variant of the evdev rules' list, by description.
    QList<Choice> available() override;
    void forgetUnused() override;
    // How many layouts are held compiled: what memory they take.
    qsizetype compiledCount() const;
    QString description(const QString& layout) override;

    struct Keymap; // a compiled layout, shared by the decoders of every device

  private:
    std::shared_ptr<const Keymap> compile(const QString& layout);
    // Read from libxkbregistry once, at the first question.
    void loadRegistry();

    QHash<QString, QString> descriptions_; // "de(nodeadkeys)" -> "German (no dead keys)"
    QList<Choice> choices_;
    bool registryLoaded_ = false;

    xkb_context* context_;
    QHash<QString, std::shared_ptr<const Keymap>> keymaps_; // null: cannot be compiled
    std::shared_ptr<xkb_compose_table> compose_;            // loaded with the first keymap
    bool composeLoaded_ = false;
};
