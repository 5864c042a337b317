#pragma once

// The one set of fakes: what this machine lacks, an operator's ears and eyes and a
// keyboard under the test's control.

#include "core/delivery/queued_scan.h"
#include "platform/keyboard.h"
#include "platform/notifier.h"
#include "platform/session.h"

#include <QStringList>

namespace korvel::test {

// The texts of scans, oldest first.
inline QStringList values(const QList<QueuedScan>& scans) {
    QStringList v;
    for (const QueuedScan& s : scans)
        v << s.value;
    return v;
}

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
    bool plugged = true; // every device asked about
    int opens = 0;
    int accessChecks = 0;
    qint64 now = 0;
    Handler handler;
    std::function<void()> onDrain = [] {};
    bool accessGranted() override { return ++accessChecks, granted; }
    bool connected(quint32, quint32) override { return ++accessChecks, plugged; }
    bool open(Handler h) override {
        handler = std::move(h);
        return ++opens, true;
    }
    void close() override { handler = {}; }
    void drain() override { onDrain(); }
    qint64 nowMs() override { return now; }
};

// A login session that the test sends away and brings back to the front.
struct ScriptedSession final : LoginSession {
    bool inFront = true;
    QString unfollowedReason() const override { return {}; }
    bool active() const override { return inFront; }
    void set(bool now) {
        inFront = now;
        onChanged();
    }
};

} // namespace korvel::test

// The test fails unless exactly one warning matching `pattern` comes before it ends.
#define KORVEL_EXPECT_ONE_WARNING(pattern)                                                         \
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(pattern));                               \
    QTest::failOnWarning(QRegularExpression(pattern))
