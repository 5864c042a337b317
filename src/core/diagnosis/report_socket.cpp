#include "core/diagnosis/report_socket.h"

#include "core/logging.h"
#include "core/private_files.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

ReportSocket::ReportSocket(std::function<QByteArray()> report) : report_(std::move(report)) {
    // The report names devices and the server: for this user alone.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            peer->write(report_());
            peer->disconnectFromServer(); // after what is written has gone
        }
    });
}

QString ReportSocket::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/korvel-agent/report");
}

bool ReportSocket::listen(const QString& path) {
    const QString folder = QFileInfo(path).path();
    if (!makePrivateFolder(folder)) {
        qCWarning(lcAgent).noquote()
            << "support report socket: folder" << folder << "cannot be created or made private";
        return false;
    }
    QLocalServer::removeServer(path);
    if (!server_.listen(path)) {
        qCWarning(lcAgent).noquote()
            << "support report socket" << path << "cannot listen:" << server_.errorString();
        return false;
    }
    // Connecting takes write access alone: nobody needs more.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

std::optional<QByteArray> ReportSocket::ask(const QString& path, int timeoutMs) {
    if (!QFileInfo::exists(path))
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path, QIODevice::ReadOnly);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    QByteArray answer;
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        answer += socket.readAll();
    }
    answer += socket.readAll();
    if (socket.state() == QLocalSocket::ConnectedState || answer.isEmpty())
        return std::nullopt; // still talking when time ran out: no whole report
    return answer;
}
