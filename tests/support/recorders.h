#pragma once

#include "platform/keyboard.h"
#include "platform/notifier.h"

#include <QStringList>

namespace korvel::test {

// Notifications and sounds in the order they were made: "sound:Glass",
// "notify:<title>|<body>".
struct Journal {
    QStringList entries;
    QStringList notifications() const { return entries.filter(QStringLiteral("notify:")); }
};

class RecordingNotifier final : public Notifier {
  public:
    explicit RecordingNotifier(Journal& journal) : journal_(journal) {}
    void notify(const QString& title, const QString& body) override {
        journal_.entries.append(QStringLiteral("notify:") + title + QLatin1Char('|') + body);
    }

  private:
    Journal& journal_;
};

class RecordingSounds final : public SoundPlayer {
  public:
    explicit RecordingSounds(Journal& journal) : journal_(journal) {}
    void play(const QString& name) override {
        journal_.entries.append(QStringLiteral("sound:") + name);
    }

  private:
    Journal& journal_;
};

// Keyboard access whose answers a test sets; events are fed to the code under test
// directly, or through `handler` from `onDrain`.
struct ScriptedKeyboard final : KeyboardSource {
    bool granted = true;
    int opens = 0;
    qint64 now = 0;
    Handler handler;
    std::function<void()> onDrain;
    bool accessGranted() override { return granted; }
    bool open(Handler h) override {
        handler = std::move(h);
        return ++opens, true;
    }
    void drain() override {
        if (onDrain)
            onDrain();
    }
    qint64 nowMs() override { return now; }
};

} // namespace korvel::test
