// The shell as the operator meets it, on an X display and a session bus of its own:
// the tray menu kept current without being asked, the dialogs, notifications.
#include "core/agent.h"
#include "core/settings.h"
#include "platform/linux/dbus_notifier.h"
#include "platform/linux/xkb_layouts.h"
#include "shell/access_help.h"
#include "shell/settings_dialog.h"
#include "shell/status_menu.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDBusConnection>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace korvel::test;

namespace {

// Runs `act` on the modal dialog once it is up.
template <typename Dialog> void whenShown(std::function<void(Dialog*)> act) {
    QTimer::singleShot(0, [act] { act(qobject_cast<Dialog*>(QApplication::activeModalWidget())); });
}

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    QStringList shown;
    QStringList capabilities{"body", "body-markup"};
  public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint replaces, const QString&, const QString& title,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        shown << QStringLiteral("%1|%2|%3|%4").arg(app).arg(replaces).arg(title, body);
        return static_cast<uint>(shown.size());
    }
};

} // namespace

class TestShell : public QObject {
    Q_OBJECT
    ScriptedKeyboard keyboard;
    ScriptedSession session;
    Journal journal;
    struct Login final : LoginItem {
        bool on = false;
        std::optional<QString> failure;
        bool enabled() override { return on; }
        std::optional<QString> setEnabled(bool v) override {
            if (!failure)
                on = v;
            return failure;
        }
    } login;
    XkbLayouts layouts;
    std::unique_ptr<HttpStub> stub;
    std::unique_ptr<Settings> settings;
    QTemporaryDir dir;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<StatusMenu> menu;

    QStringList texts() const { // what a tray host that never asks first would draw
        QStringList t;
        for (QAction* a : menu->menu().actions())
            t << (a->isSeparator() ? QStringLiteral("---")
                  : a->isVisible() ? a->text()
                                   : "(hidden)");
        return t;
    }
    void type(std::initializer_list<int> usages) {
        for (const int usage : usages)
            keyboard.handler({KeyEvent::key, 7, usage, 1, 0, 0x05E0, 0x1200, "Imaging & Co"});
    }

  private Q_SLOTS:
    void init() {
        stub = std::make_unique<HttpStub>();
        settings = std::make_unique<Settings>([] { return QStringLiteral("Packing 1"); });
        settings->store().clear();
        settings->setServerURL(stub->url());
        journal.entries.clear();
        login.on = false;
        login.failure.reset();
        QFile::remove(dir.filePath(QStringLiteral("queue.json")));
        agent = std::make_unique<Agent>(
            *settings, Agent::Ports{keyboard, journal, journal, &login, &session, &layouts},
            dir.path());
        menu = std::make_unique<StatusMenu>(*agent);
        agent->start([this] { menu->attach(); });
        journal.entries.clear(); // the first-run hint
    }
    void cleanup() {
        menu.reset();
        agent.reset();
    }

    void theMenuIsCurrentWithoutBeingAskedFirst() {
        QVERIFY(!menu->tray().icon().pixmap(22, 22).isNull()); // the SVG icon renders
        QTRY_COMPARE(texts(),
                     (QStringList{"No scanner chosen: use Detect scanner", "Waiting to send: 0",
                                  "Server: " + QUrl(stub->url()).authority() + " \u00B7 reached",
                                  "(hidden)", "---", "Detect scanner (scan now)", "Settings\u2026",
                                  "Start at login", "---", "Quit Korvel Agent"}));
        QVERIFY(!menu->scannerLine()->isEnabled() && !menu->queueLine()->isEnabled() &&
                !menu->serverLine()->isEnabled());
        menu->detectItem()->trigger();
        session.set(false); // another user at the station: detection ends, nothing is read
        QTRY_COMPARE(texts().mid(0, 6), (QStringList{"Paused while another user is at this station",
                                                     "Waiting to send: 0", texts()[2], "(hidden)",
                                                     "---", "Detect scanner (scan now)"}));
        QVERIFY(!menu->detectItem()->isEnabled() && !keyboard.handler);
        session.set(true);
        QTRY_VERIFY(keyboard.handler && menu->detectItem()->isEnabled());
        menu->detectItem()->trigger();
        QTRY_COMPARE(texts()[0], QStringLiteral("Scan any barcode with the scanner now\u2026"));
        QCOMPARE(texts()[5], QStringLiteral("Cancel detection"));
        type({33, 39, 39, 35, 40}); // 4006 Enter
        QCOMPARE(journal.entries,
                 (QStringList{"sound:Glass", "notify:Scanner selected|Imaging & Co (05E0:1200)"}));
        QTRY_COMPARE(texts()[0],
                     QStringLiteral("Scanner: Imaging && Co (05E0:1200) \u00B7 Packing 1"));
        KORVEL_EXPECT_ONE_WARNING("scanner layout \"xx\" is unknown");
        settings->setScannerLayout(QStringLiteral("xx"));
        Q_EMIT menu->menu().aboutToShow();
        QVERIFY(texts()[0].endsWith(QStringLiteral(" \u00B7 Unknown layout \"xx\", read as US")));
        stub->script = [](const HttpStub::Request&) {
            return HttpStub::Reply{400, R"({"error":"<A&B>"})"};
        };
        const int accessChecks = keyboard.accessChecks;
        QSignalSpy changes(agent.get(), &Agent::changed);
        type({30, 40}); // one refresh when it waits, one when it is decided
        const QString refused = QStringLiteral("Waiting to send: 0 \u00B7 Refused: 1 \u2013 <A&B>");
        QTRY_COMPARE(menu->tray().toolTip(), QStringLiteral("Korvel \u00B7 ") + refused);
        QCOMPARE(texts()[1], QString(refused).replace("&", "&&"));
        QCOMPARE(changes.count(), 2);
        QCOMPARE(keyboard.accessChecks, accessChecks); // no file system work per scan
        menu->loginItem()->trigger();
        QVERIFY(login.on && menu->loginItem()->isChecked());
        login.failure = QStringLiteral("disk full");
        QString shown;
        whenShown<QMessageBox>([&shown](QMessageBox* box) {
            shown = box->text() + QLatin1Char('|') + box->informativeText();
            box->accept();
        });
        menu->loginItem()->trigger();
        QCOMPARE(shown, QStringLiteral("Start at login could not be changed.|disk full"));
        QVERIFY(login.on && menu->loginItem()->isChecked());
        keyboard.granted = false; // read at every opening: access missing comes first
        Q_EMIT menu->menu().aboutToShow();
        QCOMPARE(texts()[0],
                 QStringLiteral("Input Monitoring is off: Korvel can't read the scanner"));
        QVERIFY(menu->permissionItem()->isVisible() && !menu->detectItem()->isEnabled());
    }

    void quitEndsTheEventLoopNormally() {
        QTimer::singleShot(0, menu->menu().actions().last(), &QAction::trigger);
        QTimer::singleShot(10000, [] { QCoreApplication::exit(1); }); // never quit
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // Numbered steps in the order they are done, every command copied whole by its
    // button, the OK button on screen (run again at 125 % scaling).
    void accessHelpStepsCanBeFollowed_data() {
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<int>("steps");
        QTest::newRow("no scanner") << QString() << 3;
        QTest::newRow("scanner") << QStringLiteral("05E0:1200") << 5;
    }
    void accessHelpStepsCanBeFollowed() {
        QFETCH(QString, scanner);
        QFETCH(int, steps);
        AccessHelpDialog d(scanner);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        int step = 0;
        for (const QString& text : d.texts())
            if (text[0].isDigit())
                QCOMPARE(text.section('.', 0, 0).toInt(), ++step);
        QCOMPARE(step, steps);
        const QString packaged = QString::fromUtf8(
            readFile(QFINDTESTDATA("../packaging/70-korvel-agent.rules")).trimmed());
        QVERIFY(d.commands().contains(packaged.split('\n').last()));
        QVERIFY(d.commands().filter("udevadm trigger").size() == (scanner.isEmpty() ? 1 : 2));
        QCOMPARE(d.commands().contains(udevRuleFor(scanner).split('\n').value(3)),
                 !scanner.isEmpty());
        for (qsizetype i = 0; i < d.commands().size(); ++i) {
            QTest::mouseClick(d.copyButtons()[i], Qt::LeftButton);
            QCOMPARE(QGuiApplication::clipboard()->text(), d.commands()[i]);
        }
        const QRect screen = d.screen()->availableGeometry();
        QVERIFY(screen.contains(d.frameGeometry()));
        QVERIFY(screen.contains(QRect(d.okButton()->mapToGlobal(QPoint()), d.okButton()->size())));
    }

    // Enter saves from any field whichever button had the focus before; Escape cancels.
    void settingsKeepEveryEdit_data() {
        QTest::addColumn<QString>("field"); // where the key is pressed
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Enter in the URL") << "url" << int(Qt::Key_Return) << true;
        QTest::newRow("Enter in the name") << "name" << int(Qt::Key_Enter) << true;
        QTest::newRow("Enter in the layout") << "layout" << int(Qt::Key_Return) << true;
        QTest::newRow("Escape") << "name" << int(Qt::Key_Escape) << false;
    }
    void settingsKeepEveryEdit() {
        QFETCH(QString, field);
        QFETCH(int, key);
        QFETCH(bool, saved);
        whenShown<SettingsDialog>([&](SettingsDialog* d) {
            QVERIFY(QTest::qWaitForWindowActive(d));
            QStringList labels;
            for (QLabel* l : d->findChildren<QLabel*>())
                labels << l->text();
            QVERIFY(labels.contains("Device ID: " + settings->deviceId()));
            QCOMPARE(d->urlField()->width(), 240);
            QCOMPARE(d->focusWidget(), d->urlField());
            d->urlField()->setText(" \t" + stub->url() + "/ \u00A0");
            d->nameField()->setText(QStringLiteral("  Packing 2\t"));
            d->layoutField()->setEditText(QStringLiteral("german (switzerland)"));
            QSet<QWidget*> passed; // a Tab round through every button
            for (int i = 0; i < 20 && !passed.contains(d->urlField()); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                passed << QApplication::focusWidget();
            }
            QVERIFY(passed.contains(d->saveButton()) && passed.contains(d->cancelButton()));
            QWidget* target = field == u"url"    ? d->urlField()
                              : field == u"name" ? d->nameField()
                                                 : d->layoutField()->lineEdit();
            target->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(target, Qt::Key(key));
            if (d->isVisible())
                d->reject(); // the key did nothing
        });
        menu->showSettings();
        QCOMPARE(settings->serverURL(), saved ? stub->url() + "/" : stub->url());
        QCOMPARE(settings->deviceName(), saved ? "Packing 2" : "Packing 1");
        QCOMPARE(settings->scannerLayout(), saved ? "ch" : "");
        QTRY_COMPARE(stub->count("/api/devices/" + settings->deviceId().toUtf8()), saved ? 2 : 1);
    }

    // Save is refused while the URL cannot work; a missing scheme is offered.
    void unusableURLsCannotBeSaved_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("offered");
        const auto row = [](const char* typed, const char* offered) {
            QTest::newRow(typed) << QString(typed) << QString(offered);
        };
        row("", "");
        row(" scans.example.com:3000", "http://scans.example.com:3000");
        row("ftp://scans", "");
        row("https://", ""); // no host
        row("http://scans example", "");
    }
    void unusableURLsCannotBeSaved() {
        QFETCH(QString, typed);
        QFETCH(QString, offered);
        whenShown<SettingsDialog>([&](SettingsDialog* d) {
            d->urlField()->setText(typed);
            QTest::keyClick(d->nameField(), Qt::Key_Return);
            QVERIFY(d->isVisible() && !d->saveButton()->isEnabled() &&
                    !d->testButton()->isEnabled());
            QVERIFY(!d->urlHint()->isHidden());
            QCOMPARE(!d->urlFixButton()->isHidden(), !offered.isEmpty());
            if (!offered.isEmpty()) {
                d->urlFixButton()->click();
                QCOMPARE(d->urlField()->text(), offered);
                QVERIFY(d->saveButton()->isEnabled() && d->urlHint()->isHidden());
            }
            d->reject();
        });
        menu->showSettings();
        QCOMPARE(settings->serverURL(), stub->url());
    }

    void testConnectionSaysWhatTheServerAnswered_data() {
        QTest::addColumn<int>("status"); // 0: nobody listening
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("shown");
        QTest::newRow("reachable") << 201 << QByteArray("{}") << "Reachable: the server accepted";
        QTest::newRow("refused") << 403 << QByteArray(R"({"error":"no"})")
                                 << "Refused by the server: HTTP status 403 (no)";
        QTest::newRow("unreachable") << 0 << QByteArray() << "Unreachable: Connection refused";
    }
    void testConnectionSaysWhatTheServerAnswered() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, shown);
        stub->script = [status, body](const HttpStub::Request& r) {
            return r.body.contains("Packing 9") ? HttpStub::Reply{status, body} : HttpStub::Reply{};
        };
        SettingsDialog d(settings->deviceId(), QString(), QStringLiteral("Packing 9"));
        d.urlField()->setText(status ? stub->url() : QStringLiteral("http://127.0.0.1:1"));
        d.testButton()->click();
        QTRY_VERIFY2(d.testResult()->text().startsWith(shown), qPrintable(d.testResult()->text()));
        QVERIFY(!status || stub->requests.last().target == "/api/devices/" + settings->deviceId());
    }

    // Human names, the US default first, nothing twice, no "custom"; a name the
    // system does not know is shown as such and refused when typed.
    void theLayoutChooserOffersWhatWorks_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("unknown variant") << QStringLiteral("ch(zzz)");
        QTest::newRow("200,000 characters") << QString(200000, u'x');
    }
    void theLayoutChooserOffersWhatWorks() {
        QFETCH(QString, stored);
        SettingsDialog d(settings->deviceId(), stub->url(), "P", stored, &layouts);
        QComboBox* chooser = d.layoutField();
        QCOMPARE(chooser->itemText(0), QStringLiteral("US (default)"));
        QStringList texts, names;
        for (int i = 0; i < chooser->count(); ++i)
            texts << chooser->itemText(i), names << chooser->itemData(i).toString();
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), texts.size());
        QVERIFY(names.count("") == 1 && !names.contains("custom") && !names.contains("us"));
        QVERIFY(chooser->currentText().size() < 99 && chooser->currentText().contains("not known"));
        QVERIFY(!d.layoutHint()->isHidden() && d.saveButton()->isEnabled()); // kept if untouched
        chooser->setEditText(QStringLiteral("de(zzz)"));
        QVERIFY(!d.saveButton()->isEnabled());
        chooser->lineEdit()->setText(QStringLiteral("switz")); // found inside, any case
        QVERIFY(chooser->completer()->completionCount() >= 1);
        chooser->setEditText(QStringLiteral("German (Switzerland)"));
        QVERIFY(d.saveButton()->isEnabled() && d.layoutHint()->isHidden());
        QCOMPARE(d.scannerLayout(), QStringLiteral("ch"));
        if (!names.contains(QStringLiteral("ch(fr)")))
            QSKIP("this system's list has no variants");
        chooser->setEditText(QStringLiteral("French (Switzerland)"));
        QCOMPARE(d.scannerLayout(), QStringLiteral("ch(fr)"));
        QVERIFY(d.saveButton()->isEnabled());
    }

    void notificationsReachTheDesktopsServer() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus (run under dbus-run-session)");
        Notifications server;
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &server,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService("org.freedesktop.Notifications"));
        DbusNotifier notifier(bus);
        const QString body = QStringLiteral("<A&B>\nunknown");
        notifier.notify(QStringLiteral("Korvel: scan refused"), body);
        QTRY_COMPARE(server.shown.size(), 1);
        server.capabilities.removeLast(); // a server that shows the body as it is
        notifier.notify(QStringLiteral("Korvel: scan refused"), body);
        QTRY_COMPARE(server.shown.size(), 2); // two, neither replacing the other
        QCOMPARE(server.shown,
                 (QStringList{"Korvel Agent|0|Korvel: scan refused|&lt;A&amp;B&gt;\nunknown",
                              "Korvel Agent|0|Korvel: scan refused|" + body}));
    }
};

KORVEL_TEST_MAIN_WITH(QApplication, TestShell)
#include "tst_shell.moc"
