#include "support/test_authority.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>

namespace korvel::test {

namespace {

QString run(const QString& dir, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("openssl %1: %2")
            .arg(args.value(0), QString::fromLocal8Bit(p.readAllStandardError()) + p.errorString());
    return {};
}

} // namespace

TestAuthority::TestAuthority() {
    const QString d = dir.path();
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                         QStringLiteral("-nodes")};
    QFile ext(d + QStringLiteral("/server.ext"));
    if (ext.open(QIODevice::WriteOnly))
        ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    for (const QStringList& args :
         {QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
              QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                          QStringLiteral("-out"), QStringLiteral("ca.pem"), QStringLiteral("-days"),
                          QStringLiteral("2"), QStringLiteral("-subj"),
                          QStringLiteral("/CN=Korvel Test Authority")},
          QStringList{QStringLiteral("req")} + ec +
              QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"),
                          QStringLiteral("-out"), QStringLiteral("server.csr"),
                          QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")},
          QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                      QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                      QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                      QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                      QStringLiteral("server.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                      QStringLiteral("-extfile"), QStringLiteral("server.ext")}}) {
        error = run(d, args);
        if (!error.isEmpty())
            return;
    }
    caFile = d + QStringLiteral("/ca.pem");
    const auto certs = QSslCertificate::fromPath(d + QStringLiteral("/server.pem"));
    QFile key(d + QStringLiteral("/server.key"));
    if (certs.isEmpty() || !key.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("the server certificate or key cannot be read");
        return;
    }
    server = QSslConfiguration::defaultConfiguration();
    server.setLocalCertificate(certs.first());
    server.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
    server.setPeerVerifyMode(QSslSocket::VerifyNone);
}

} // namespace korvel::test
