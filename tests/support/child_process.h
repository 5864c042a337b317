#pragma once

// A child process whose output is collected as it arrives; killed (after a
// SIGCONT, in case a test stopped it) when it goes out of scope.

#include <QProcess>
#include <QStringList>

#include <csignal>

namespace korvel::test {

class ChildProcess {
  public:
    ChildProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += QString::fromUtf8(process.readAllStandardOutput()); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += QString::fromUtf8(process.readAllStandardError()); });
        process.start(program, args);
    }
    ~ChildProcess() {
        if (process.state() != QProcess::NotRunning) {
            signal(SIGCONT);
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // The rest of every output line that starts with prefix.
    QStringList lines(const QString& prefix) const {
        QStringList found;
        for (const QString& l : out.split(QLatin1Char('\n'))) {
            if (l.startsWith(prefix))
                found << l.mid(prefix.size());
        }
        return found;
    }
    void signal(int sig) { ::kill(static_cast<pid_t>(process.processId()), sig); }

    QProcess process;
    QString out;
    QString err;
};

} // namespace korvel::test
