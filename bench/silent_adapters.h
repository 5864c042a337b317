#pragma once

#include "platform/keyboard.h"
#include "platform/notifier.h"

// Stand-ins where the desktop offers nothing: no notification server, no sound
// device, no input devices. They show, play and report nothing.
class SilentNotifier final : public Notifier {
  public:
    void notify(const QString&, const QString&) override {}
};

class SilentSounds final : public SoundPlayer {
  public:
    void play(const QString&) override {}
};
