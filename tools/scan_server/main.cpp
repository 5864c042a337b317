#include "scan_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvel-scan-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference scan server for Korvel Agent."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port({QStringLiteral("p"), QStringLiteral("port")},
                                  QStringLiteral("Port to listen on (default 3000)."),
                                  QStringLiteral("port"), QStringLiteral("3000"));
    const QCommandLineOption address({QStringLiteral("a"), QStringLiteral("address")},
                                     QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                     QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption idle({QStringLiteral("i"), QStringLiteral("idle-close")},
                                  QStringLiteral("Close a session after this many seconds "
                                                 "without scans (default 600)."),
                                  QStringLiteral("seconds"), QStringLiteral("600"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Do not print what arrives."));
    parser.addOptions({port, address, idle, quiet});
    parser.process(app);

    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535) {
        std::fprintf(stderr, "korvel-scan-server: not a port: %s\n",
                     qPrintable(parser.value(port)));
        return 2;
    }
    const double idleSeconds = parser.value(idle).toDouble(&ok);
    if (!ok || idleSeconds <= 0) {
        std::fprintf(stderr, "korvel-scan-server: not a number of seconds: %s\n",
                     qPrintable(parser.value(idle)));
        return 2;
    }
    const QHostAddress host(parser.value(address));
    if (host.isNull()) {
        std::fprintf(stderr, "korvel-scan-server: not an address: %s\n",
                     qPrintable(parser.value(address)));
        return 2;
    }

    ScanServer::Options options;
    options.idleClose = std::chrono::milliseconds(static_cast<qint64>(idleSeconds * 1000));
    if (!parser.isSet(quiet)) {
        options.log = [](const QString& line) {
            std::printf("%s\n", qPrintable(line));
            std::fflush(stdout);
        };
    }
    ScanServer server(options);
    const quint16 bound = server.listen(host, static_cast<quint16>(portNumber));
    if (bound == 0) {
        std::fprintf(stderr, "korvel-scan-server: cannot listen on %s:%u\n",
                     qPrintable(host.toString()), portNumber);
        return 1;
    }
    std::printf("korvel-scan-server listening on http://%s:%u\n", qPrintable(host.toString()),
                bound);
    std::fflush(stdout);
    return app.exec();
}
