#pragma once

// A private certificate authority made for one test run with the openssl tool, and
// a server certificate for 127.0.0.1 signed by it.

#include <QSslConfiguration>
#include <QString>
#include <QTemporaryDir>

namespace korvel::test {

struct TestAuthority {
    TestAuthority();
    QTemporaryDir dir;
    QString caFile;           // the authority's certificate, PEM
    QString error;            // why it could not be made; empty when it was
    QSslConfiguration server; // certificate and key for a server on 127.0.0.1
};

} // namespace korvel::test
