#pragma once

#include <QString>

// Whether a server URL setting can make requests at all, and if not, why: the
// settings dialog checks as it is typed, the menu says so.
enum class ServerURLProblem { none, empty, noScheme, wrongScheme, noHost, malformed };

// Judged as requests see it: trimmed of blanks, then of "/" and " " at both ends.
ServerURLProblem serverURLProblem(const QString& setting);

// For a setting without a scheme ("scans.example.com:3000"): the same with
// "http://" in front when that is usable; else empty.
QString serverURLWithScheme(const QString& setting);

// "host" or "host:port", never user name or password; empty when unusable.
QString serverHost(const QString& setting);
