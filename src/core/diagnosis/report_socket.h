#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// How `--diagnose` reaches the running agent without any session bus: a local
// socket only its user can reach (the socket 0600 in a 0700 folder of the runtime
// folder). Whoever connects gets the report, then the connection is closed.
class ReportSocket : public QObject {
    Q_OBJECT
  public:
    explicit ReportSocket(std::function<QByteArray()> report);

    // Listens at path, replacing a socket a crashed agent left (the caller holds
    // the one-agent lock). False, with a warning, when it cannot.
    bool listen(const QString& path);
    QString path() const { return server_.fullServerName(); }

    // $XDG_RUNTIME_DIR/korvel-agent/report.
    static QString defaultPath();
    // The running agent's report, or null when none answers within timeoutMs.
    static std::optional<QByteArray> ask(const QString& path, int timeoutMs);

  private:
    std::function<QByteArray()> report_;
    QLocalServer server_;
};
