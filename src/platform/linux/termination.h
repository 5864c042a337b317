#pragma once

class QCoreApplication;

// SIGTERM, SIGINT and SIGHUP (a closed terminal) end the event loop normally (through a self-pipe:
// a signal handler may do almost nothing), so that everything is brought to disk first.
void quitOnTermination(QCoreApplication& app);
