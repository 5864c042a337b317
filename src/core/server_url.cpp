#include "core/server_url.h"

#include "core/delivery/transport.h"
#include "core/trim.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// With a path appended, as every request is formed.
QUrl requestURL(const QString& setting) {
    return QUrl(Transport::serverBase(trimBlanks(setting)) + QStringLiteral("/api/scan"),
                QUrl::StrictMode);
}

} // namespace

ServerURLProblem serverURLProblem(const QString& setting) {
    const QString base = Transport::serverBase(trimBlanks(setting));
    if (base.isEmpty())
        return ServerURLProblem::empty;
    // "host:3000" would read as the scheme "host": a scheme is letters before "://".
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (!scheme.match(trimBlanks(setting)).hasMatch())
        return ServerURLProblem::noScheme;
    const QUrl url = requestURL(setting);
    if (!url.isValid())
        return ServerURLProblem::malformed;
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return ServerURLProblem::wrongScheme;
    if (url.host().isEmpty())
        return ServerURLProblem::noHost;
    return ServerURLProblem::none;
}

QString serverURLWithScheme(const QString& setting) {
    if (serverURLProblem(setting) != ServerURLProblem::noScheme)
        return {};
    QString candidate = trimBlanks(setting);
    while (candidate.startsWith(QLatin1Char('/')))
        candidate.remove(0, 1);
    candidate.prepend(QStringLiteral("http://"));
    return serverURLProblem(candidate) == ServerURLProblem::none ? candidate : QString();
}

QString serverHost(const QString& setting) {
    if (serverURLProblem(setting) != ServerURLProblem::none)
        return {};
    const QUrl url = requestURL(setting);
    return url.port() < 0 ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
}
