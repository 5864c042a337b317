// The language the agent speaks, chosen from the environment as gettext programs
// choose it, shown by its --help and by Qt's standard buttons.
#include "shell/translation.h"
#include "support/test_main.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>

using namespace korvel::test;

class TestLanguages : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void helpSpeaksTheUsersLanguage_data() {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("opening");
        const QString en = "Usage: ", de = "Aufruf: ", fr = "Utilisation : ", es = "Uso: ";
        QTest::newRow("German") << "LANG=de_DE.UTF-8" << de;
        QTest::newRow("C") << "LANG=C.UTF-8" << en;
        QTest::newRow("nothing set") << "" << en;
        QTest::newRow("a country of its own") << "LANG=es_MX" << es;
        QTest::newRow("LC_MESSAGES before LANG")
            << "LC_MESSAGES=fr_FR.UTF-8 LANG=de_DE.UTF-8" << fr;
        QTest::newRow("LC_ALL before all")
            << "LC_ALL=es_ES.UTF-8 LC_MESSAGES=fr_FR LANG=de_DE" << es;
        QTest::newRow("a language not shipped") << "LC_ALL=it_IT.UTF-8 LANG=de_DE.UTF-8" << en;
        QTest::newRow("LANGUAGE in order") << "LANGUAGE=it:fr_FR:de LANG=de_DE.UTF-8" << fr;
        QTest::newRow("LANGUAGE unheard in C") << "LANGUAGE=de LC_ALL=C LANG=fr_FR.UTF-8" << en;
    }
    void helpSpeaksTheUsersLanguage() {
        QFETCH(QString, environment);
        QFETCH(QString, opening);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            env.remove(QLatin1String(variable));
        for (const QString& setting : environment.split(u' ', Qt::SkipEmptyParts))
            env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        ChildProcess agent(QStringLiteral(KORVEL_AGENT_BIN), {QStringLiteral("--help")}, env);
        QCOMPARE(agent.exitCode(), 0);
        QVERIFY2(agent.out.startsWith(opening + "korvel-agent [--help"), qPrintable(agent.out));
    }

    // Standard buttons come with Qt's own translations (qt6-translations-l10n).
    void standardButtonsToo_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("German") << QByteArray("de_DE.UTF-8") << "Abbrechen";
        QTest::newRow("French") << QByteArray("fr_FR.UTF-8") << "Annuler";
        QTest::newRow("Spanish") << QByteArray("es_ES.UTF-8") << "Cancelar";
        QTest::newRow("C") << QByteArray("C.UTF-8") << "Cancel";
    }
    void standardButtonsToo() {
        QFETCH(QByteArray, locale);
        QFETCH(QString, cancel);
        qputenv("LANG", locale);
        installTranslations();
        const QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        const QString shown = buttons.button(QDialogButtonBox::Cancel)->text();
        qDeleteAll(qApp->findChildren<QTranslator*>());
        qputenv("LANG", "C.UTF-8");
        QCOMPARE(shown, cancel);
    }
};

KORVEL_TEST_MAIN_WITH(QApplication, TestLanguages)
#include "tst_languages.moc"
