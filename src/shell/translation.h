#pragma once

#include <QString>

// The language the person at the station reads, chosen from the environment the
// way gettext programs choose it: the locale of LC_ALL, LC_MESSAGES or LANG (the
// first one set), or before it the preference list of LANGUAGE, unless that locale
// is C or POSIX. "en" (the texts as written) when it names no language shipped.
QString uiLanguage();

// Installs the agent's translations for uiLanguage() and Qt's own (standard
// buttons) into the running application object.
void installTranslations();
