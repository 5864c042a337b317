#pragma once

#include <QString>

// Desktop notifications: shown at once or not at all; never blocks, never reports.
class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& title, const QString& body) = 0;
};

// The two event sounds: glass for a scanner chosen or a session command accepted,
// basso for a scan refused or a session the server closed.
enum class Sound { glass, basso };

// Event sounds: played or not; never blocks, never reports.
class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    virtual void play(Sound sound) = 0;
};
