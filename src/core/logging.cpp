#include "core/logging.h"

Q_LOGGING_CATEGORY(lcQueue, "korvel.queue", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServer, "korvel.server", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAgent, "korvel.agent", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCapture, "korvel.input", QtInfoMsg)
