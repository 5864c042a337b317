#include "shell/translation.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// "de_DE.UTF-8@euro", "de_AT", "de" -> "de".
QString languageOf(const QString& locale) {
    qsizetype end = 0;
    while (end < locale.size() && locale[end] != u'_' && locale[end] != u'.' && locale[end] != u'@')
        ++end;
    return locale.left(end);
}

bool shipped(const QString& language) {
    return language == u"en" ||
           (!language.isEmpty() &&
            QFile::exists(QStringLiteral(":/i18n/korvel-agent_%1.qm").arg(language)));
}

void install(const QString& name, const QString& folder) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(name, folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

QString uiLanguage() {
    QString locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty())
            break;
    }
    const QString language = languageOf(locale);
    if (language.isEmpty() || language == u"C" || language == u"POSIX")
        return QStringLiteral("en");
    // As with gettext, LANGUAGE replaces the locale's language when set: a list of
    // languages in order of preference.
    const QString preferred = qEnvironmentVariable("LANGUAGE");
    const QStringList wanted =
        preferred.isEmpty() ? QStringList{language} : preferred.split(u':', Qt::SkipEmptyParts);
    for (const QString& entry : wanted) {
        if (shipped(languageOf(entry)))
            return languageOf(entry);
    }
    return QStringLiteral("en");
}

void installTranslations() {
    const QString language = uiLanguage();
    if (language == u"en")
        return;
    install(QStringLiteral("korvel-agent_") + language, QStringLiteral(":/i18n"));
    // Without the distribution's Qt translations, standard buttons stay English.
    install(QStringLiteral("qtbase_") + language,
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
