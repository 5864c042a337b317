#pragma once

#include <QString>

// Desktop notifications: shown at once or not at all; never blocks, never reports.
class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& title, const QString& body) = 0;
};

// Named event sounds ("Glass", "Basso"): played or not; never blocks, never reports.
class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& name) = 0;
};
