#pragma once

#include "platform/notifier.h"

// Benchmarks measure capture and delivery, not the desktop: these show and play
// nothing.
class SilentNotifier final : public Notifier {
  public:
    void notify(const QString&, const QString&) override {}
};

class SilentSounds final : public SoundPlayer {
  public:
    void play(Sound) override {}
};
