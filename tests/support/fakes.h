#pragma once

// The one set of fakes: what this machine lacks (an operator's ears and eyes, a
// keyboard under the test's control) and a window on the diagnostics.

#include "platform/keyboard.h"
#include "platform/notifier.h"

#include <QStringList>

namespace korvel::test {

// Notifications and sounds in the order they were made: "sound:Glass",
// "notify:<title>|<body>".
struct Journal final : Notifier, SoundPlayer {
    QStringList entries;
    void notify(const QString& title, const QString& body) override {
        entries.append(QStringLiteral("notify:") + title + QLatin1Char('|') + body);
    }
    void play(Sound sound) override {
        entries.append(sound == Sound::glass ? QStringLiteral("sound:Glass")
                                             : QStringLiteral("sound:Basso"));
    }
};

// Keyboard access whose answers a test sets; events reach the code under test
// through `handler`, or from `onDrain` when it drains.
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

// Warnings (and worse) of one logging category while an instance lives.
struct LogCapture {
    QStringList lines;
    explicit LogCapture(const char* category) {
        current() = this;
        name() = category;
        previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                              const QString& message) {
            if (type != QtDebugMsg && type != QtInfoMsg && qstrcmp(context.category, name()) == 0)
                current()->lines.append(message);
        });
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

  private:
    static LogCapture*& current() {
        static LogCapture* c = nullptr;
        return c;
    }
    static const char*& name() {
        static const char* n = nullptr;
        return n;
    }
    QtMessageHandler previous_;
};

} // namespace korvel::test
