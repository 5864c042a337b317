#pragma once

#include "platform/notifier.h"

struct ca_context;

// Event sounds of the freedesktop sound theme through libcanberra: glass plays
// "complete", basso plays "dialog-error". Without a sound device nothing plays and
// nothing is printed.
class CanberraSounds final : public SoundPlayer {
  public:
    CanberraSounds() = default;
    ~CanberraSounds() override;
    void play(Sound sound) override;

  private:
    ca_context* context_ = nullptr;
    bool failed_ = false;
};
