#pragma once

// Messages of one logging category at warning level or above, collected while an
// instance lives (one at a time).

#include <QStringList>
#include <QtGlobal>

namespace korvel::test {

struct LogCapture {
    QStringList lines;
    QtMessageHandler previous;
    explicit LogCapture(const char* category) {
        self() = this;
        name() = category;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context,
                                             const QString& message) {
            if (type != QtDebugMsg && type != QtInfoMsg && qstrcmp(context.category, name()) == 0)
                self()->lines.append(message);
        });
    }
    ~LogCapture() {
        qInstallMessageHandler(previous);
        self() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

  private:
    static LogCapture*& self() {
        static LogCapture* current = nullptr;
        return current;
    }
    static const char*& name() {
        static const char* current = nullptr;
        return current;
    }
};

} // namespace korvel::test
