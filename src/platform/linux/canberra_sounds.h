#pragma once

#include "platform/notifier.h"

struct ca_context;

// Event sounds of the freedesktop sound theme through libcanberra: "Glass" plays
// "complete", "Basso" plays "dialog-error". Without a sound device nothing plays
// and nothing is printed.
class CanberraSounds final : public SoundPlayer {
  public:
    CanberraSounds();
    ~CanberraSounds() override;
    void play(const QString& name) override;

  private:
    ca_context* context_ = nullptr;
    bool failed_ = false;
};
