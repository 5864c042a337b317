#pragma once

// Diagnostics on standard error, one category per subsystem. Information and
// warnings show by default; details are switched on with QT_LOGGING_RULES, e.g.
// "korvel.*.debug=true". Never a scan text, a password or a URL's user-info.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcQueue)  // korvel.queue: the queue file and its folder
Q_DECLARE_LOGGING_CATEGORY(lcServer) // korvel.server: reaching the scan server
Q_DECLARE_LOGGING_CATEGORY(lcAgent)  // korvel.agent: start-up, scanner, settings
// korvel.input, shared with the keyboard adapter: capture paused and resumed
Q_DECLARE_LOGGING_CATEGORY(lcCapture)
