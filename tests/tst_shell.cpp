// The shell as the operator meets it, on an X display and a session bus of its own:
// the tray menu kept current without being asked, as a tray host reads it over
// D-Bus; the status window where there is no tray host; the dialogs, notifications.
#include "core/agent.h"
#include "core/settings.h"
#include "platform/linux/dbus_notifier.h"
#include "platform/linux/dbus_presence.h"
#include "platform/linux/sni_tray_item.h"
#include "platform/linux/xkb_layouts.h"
#include "shell/access_help.h"
#include "shell/detect_window.h"
#include "shell/presence.h"
#include "shell/settings_dialog.h"
#include "shell/status_menu.h"
#include "shell/status_window.h"
#include "shell/translation.h"
#include "shell/why_dialog.h"
#include "support/fake_input.h"
#include "support/fakes.h"
#include "support/http_stub.h"
#include "support/test_main.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextDocument>
#include <QTimer>

#include <clocale>

using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

const QString kWatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

// Runs `act` on the modal dialog of that type once it is on screen (a while on a busy
// machine), then closes it if a failed check left it open; fails if none comes in a minute.
template <typename Dialog> void whenShown(std::function<void(Dialog*)> act) {
    auto* poll = new QTimer(qApp);
    const QDeadlineTimer deadline(60s);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act, deadline] {
        auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        const bool shown =
            d && d->isVisible() && d->windowHandle() && d->windowHandle()->isExposed();
        if (!shown && !deadline.hasExpired())
            return;
        poll->stop();
        poll->deleteLater();
        shown ? act(d) : void(QTest::qFail("no dialog came up", __FILE__, __LINE__));
        if (d && d->isVisible())
            d->reject();
    });
    poll->start(10);
}

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    QStringList shown;
    QList<QStringList> actions; // of each shown
    QStringList capabilities{"body", "body-markup"};
  public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint replaces, const QString&, const QString& title,
                const QString& body, const QStringList& given, const QVariantMap&, int) {
        shown << QStringLiteral("%1|%2|%3|%4").arg(app).arg(replaces).arg(title, body);
        actions << given;
        return static_cast<uint>(shown.size());
    }
  Q_SIGNALS:
    void ActionInvoked(uint id, const QString& action);
};

// The desktop's tray host, as items see it: they register with it.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  public:
    QStringList items;
    bool host = true; // false: the panel that drew the items is gone
    bool hostRegistered() const { return host; }
  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items << service; }
  Q_SIGNALS:
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();
};

// The labels of a GetLayout answer's items, depth first, as a DBusMenu host shows
// them: "__" is "_", any other "_" marks a shortcut.
void layoutLabels(const QDBusArgument& item, QStringList& labels) {
    int id = 0;
    QVariantMap p;
    item.beginStructure();
    item >> id >> p;
    if (id != 0)
        labels << (!p.value("visible", true).toBool() ? QStringLiteral("(hidden)")
                   : p.value("type") == "separator"
                       ? QStringLiteral("---")
                       : p.value("label").toString().replace(QRegularExpression("_(_?)"), "\\1"));
    item.beginArray();
    while (!item.atEnd()) {
        QDBusVariant child;
        item >> child;
        layoutLabels(qvariant_cast<QDBusArgument>(child.variant()), labels);
    }
    item.endArray();
    item.endStructure();
}

// A call ("interface.member") as a tray host makes it, without blocking: the item
// answers on this thread. The answer, an error, or an invalid message when none came.
QDBusMessage call(const QString& service, const QString& path, const QString& method,
                  const QList<QVariant>& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, method.section('.', 0, -2),
                                                    method.section('.', -1));
    m.setArguments(args);
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(m, 30000);
    return QTest::qWaitFor([&pending] { return pending.isFinished(); }, 30000) ? pending.reply()
                                                                               : QDBusMessage();
}

QVariant itemProperty(const QString& service, const QString& name) {
    const QList<QVariant> answer =
        call(service, "/StatusNotifierItem", "org.freedesktop.DBus.Properties.Get",
             {QStringLiteral("org.kde.StatusNotifierItem"), name})
            .arguments();
    return qvariant_cast<QDBusVariant>(answer.value(0)).variant();
}

// The tooltip's title and text as a host that takes no markup shows them.
QString shownToolTip(const QString& service) {
    SniToolTip tip;
    QDBusMetaType::demarshall(qvariant_cast<QDBusArgument>(itemProperty(service, "ToolTip")),
                              QMetaType::fromType<SniToolTip>(), &tip);
    return tip.title + '\n' + tip.text;
}

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
            on = failure ? on : v;
            return failure;
        }
    } login;
    XkbLayouts layouts;
    std::unique_ptr<HttpStub> stub;
    std::unique_ptr<Settings> settings;
    QTemporaryDir dir;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<SniTrayItem> item;
    std::unique_ptr<StatusMenu> menu;
    std::unique_ptr<StatusWindow> window;
    Watcher watcher;
    std::unique_ptr<SniTrayHost> host;
    std::unique_ptr<Presence> presence;

    void startShell() {
        cleanup();
        agent = std::make_unique<Agent>(
            *settings, Agent::Ports{keyboard, journal, journal, &login, &session, &layouts},
            dir.path());
        item = std::make_unique<SniTrayItem>("Korvel Agent");
        menu = std::make_unique<StatusMenu>(*agent, item.get());
        window = std::make_unique<StatusWindow>(*menu);
        host = std::make_unique<SniTrayHost>();
        presence = std::make_unique<Presence>(*menu, *window, *host, 200ms);
        presence->onDecided = [this](bool inTray) { agent->showFirstSteps(inTray); };
        agent->start([this] {
            menu->attach();
            presence->start();
        });
        QTRY_VERIFY(presence->decided());
    }
    QDBusMessage menuCall(const QString& method, const QList<QVariant>& args) const {
        return call(item->serviceName(), "/MenuBar", "com.canonical.dbusmenu." + method, args);
    }
    QStringList texts() const { // what a tray host that never asks first would draw
        const QList<QVariant> answer = menuCall("GetLayout", {0, -1, QStringList{}}).arguments();
        QStringList labels;
        if (answer.size() == 2)
            layoutLabels(qvariant_cast<QDBusArgument>(answer[1]), labels);
        return labels;
    }
    QString status() const { return itemProperty(item->serviceName(), "Status").toString(); }
    void type(std::initializer_list<int> usages) {
        for (const int usage : usages)
            keyboard.handler({KeyEvent::key, 7, usage, 1, 0, 0x05E0, 0x1200, "Imaging & Co"});
    }
    void inSettings(std::function<void(SettingsDialog*)> act) {
        whenShown<SettingsDialog>(std::move(act));
        menu->showSettings();
    }

    // The test code as a US scanner types it, with its Ctrl+] for GS.
    void scanTestCode() {
        const QString plain = "1234567890-=[]\\;'`,./", shifted = "!@#$%^&*()_+{}|:\"~<>?";
        for (const QChar c : QStringLiteral("KV1 !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMN"
                                            "OPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"
                                            "\x1dKV1\n")) {
            const qsizetype i = shifted.indexOf(c);
            const int modifier = c.isUpper() || i >= 0 ? 225 : c == u'\x1d' ? 224 : 0;
            if (modifier)
                keyboard.handler({KeyEvent::key, 7, modifier, 1, 0, 0x05E0, 0x1200, {}});
            type({FakeInputTree::usageOf(modifier == 224 ? u']'
                                         : i >= 0        ? plain[i]
                                                         : c.toLower())});
            if (modifier)
                keyboard.handler({KeyEvent::key, 7, modifier, 0, 0, 0x05E0, 0x1200, {}});
        }
    }

  private Q_SLOTS:
    void initTestCase() { // a tray host on the session bus
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject("/StatusNotifierWatcher", &watcher,
                                   QDBusConnection::ExportAllContents));
        QVERIFY(bus.registerService(kWatcherName));
    }
    void init() {
        stub = std::make_unique<HttpStub>();
        settings = std::make_unique<Settings>([] { return QStringLiteral("Packing 1"); });
        settings->store().clear();
        settings->store().setValue("sendStatus", false); // the stub hears only what is tried
        settings->setServerURL(stub->url());
        journal.entries.clear();
        login = {};
        keyboard.granted = true;
        session.inFront = true;
        QFile::remove(dir.filePath(QStringLiteral("queue.json")));
        startShell();
        QCOMPARE(journal.entries, // on the desktop where it is
                 QStringList{"notify:Korvel Agent|Next, the scanner: click the Korvel icon in the "
                             "system tray, choose Detect scanner, then scan any barcode."});
        journal.entries.clear();
    }
    void cleanup() { // the last made goes first
        presence.reset(), host.reset(), window.reset(), menu.reset(), item.reset(), agent.reset();
    }

    // Names are shown as they are: "_", "&" and markup alike.
    void theMenuIsCurrentWithoutBeingAskedFirst() {
        settings->setDeviceName(QStringLiteral("Pack_1 & <b>Ship</b>"));
        for (const bool attention : {false, true}) // the SVG icons render
            QVERIFY(!menu->icon(attention).pixmap(22, 22).isNull());
        QVERIFY(menu->trayShown() && !window->isVisible());
        QTRY_COMPARE(
            texts(),
            (QStringList{"No scanner chosen: use Detect scanner", "Waiting to send: 0",
                         "Server: " + QUrl(stub->url()).authority() + " \u00B7 reached", "(hidden)",
                         "Why no scans?\u2026", "---", "Detect scanner (scan now)",
                         "Settings\u2026", "Start at login", "---", "Quit Korvel Agent"}));
        QVERIFY(!menu->scannerLine()->isEnabled() && !menu->queueLine()->isEnabled() &&
                !menu->serverLine()->isEnabled());
        menu->detectItem()->trigger();
        session.set(false); // another user at the station: detection ends, nothing is read
        QTRY_COMPARE(texts()[0], QStringLiteral("Paused while another user is at this station"));
        QCOMPARE(texts()[6], QStringLiteral("Detect scanner (scan now)"));
        QCOMPARE(status(), QStringLiteral("NeedsAttention"));
        QVERIFY(!menu->detectItem()->isEnabled() && !keyboard.handler);
        session.set(true);
        QVERIFY(keyboard.handler); // at once, not at the next retry
        QTRY_VERIFY(menu->detectItem()->isEnabled());
        QTRY_COMPARE(status(), QStringLiteral("Active"));
        menuCall("Event", {7, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u}); // a click
        QTRY_COMPARE(texts()[0], QStringLiteral("Scan any barcode with the scanner now\u2026"));
        type({33, 39, 39, 35, 40}); // 4006 Enter
        QCOMPARE(
            journal.entries,
            (QStringList{"sound:Glass", "notify:Scanner selected|Imaging & Co (05E0:1200)\nIt was "
                                        "chosen by the barcode \"4006\", which was not "
                                        "sent: scan it again to send it."}));
        QTRY_COMPARE(
            texts()[0],
            QStringLiteral("Scanner: Imaging & Co (05E0:1200) \u00B7 Pack_1 & <b>Ship</b>"));
        KORVEL_EXPECT_ONE_WARNING("scanner layout \"xx\" is unknown");
        settings->setScannerLayout(QStringLiteral("xx"));
        Q_EMIT menu->menu().aboutToShow();
        QVERIFY(texts()[0].endsWith(QStringLiteral(" \u00B7 Unknown layout \"xx\", read as US")));
        stub->script = [](const HttpStub::Request&) {
            return HttpStub::Reply{400, R"({"error":"<A&B>"})"};
        };
        const int accessChecks = keyboard.accessChecks;
        type({30, 40});
        const QString refused = QStringLiteral("Waiting to send: 0 \u00B7 Refused: 1 \u2013 <A&B>");
        QTRY_COMPARE(shownToolTip(item->serviceName()),
                     "Korvel Agent\nKorvel \u00B7 Imaging & Co (05E0:1200)\n" + refused);
        QCOMPARE(texts()[1], refused);
        QCOMPARE(keyboard.accessChecks, accessChecks); // no file system work per scan
        login.failure = QStringLiteral("disk full");
        QString shown;
        whenShown<QMessageBox>([&shown](QMessageBox* box) {
            shown = box->text() + QLatin1Char('|') + box->informativeText();
            box->accept();
        });
        menu->loginItem()->trigger();
        QCOMPARE(shown, QStringLiteral("Start at login could not be changed.|disk full"));
        QVERIFY(!login.on && !menu->loginItem()->isChecked());
        const auto aboutToShow = [this] { return menuCall("AboutToShow", {0}).arguments(); };
        texts(); // a host read the layout; before showing it, it asks whether to read it again
        QCOMPARE(aboutToShow(), QVariantList{false});
        keyboard.granted = false; // read as the menu is about to show: missing access first
        QCOMPARE(aboutToShow(), QVariantList{true});
        QCOMPARE(texts()[0],
                 QStringLiteral("Keyboard access is off: Korvel can't read the scanner"));
        QVERIFY(menu->permissionItem()->isVisible() && !menu->detectItem()->isEnabled());
        QCOMPARE(aboutToShow(), QVariantList{false});
        QTRY_COMPARE(status(), QStringLiteral("NeedsAttention"));
    }

    void quitEndsTheEventLoopNormally() {
        QTimer::singleShot(0, menu->menu().actions().last(), &QAction::trigger);
        QTimer never; // ends only this loop: a timer left running would end a later test's
        never.setSingleShot(true);
        connect(&never, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        never.start(60s);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // The window's Quit asks first; the tray menu's stays immediate.
    void quittingFromTheWindowAsksFirst_data() {
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("cancelled") << false;
        QTest::newRow("confirmed") << true;
    }
    void quittingFromTheWindowAsksFirst() {
        QFETCH(bool, confirmed);
        QObject::disconnect(menu->quitItem(), nullptr, qApp, nullptr); // the test goes on
        QSignalSpy quits(menu->quitItem(), &QAction::triggered);
        QString asked;
        whenShown<QMessageBox>([&asked, confirmed](QMessageBox* box) {
            asked = box->text();
            QAbstractButton* pick = box->button(QMessageBox::Cancel);
            for (QAbstractButton* b : box->buttons())
                if (confirmed && box->buttonRole(b) == QMessageBox::AcceptRole)
                    pick = b;
            pick->click();
        });
        window->buttonFor(menu->quitItem())->click();
        QCOMPARE(asked, QStringLiteral("Quit Korvel Agent?"));
        QCOMPARE(quits.count(), confirmed ? 1 : 0);
    }

    // The problems as plain text, the report's JSON copied whole.
    void whyNoScansTellsWhatToDo() {
        settings->setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Imaging <b>&</b> Co"));
        menu->whyItem()->trigger();
        QPointer<WhyDialog> why = menu->whyDialog();
        QVERIFY(why && QTest::qWaitForWindowExposed(why));
        QCOMPARE(why->problemsLabel()->textFormat(), Qt::PlainText);
        QTest::mouseClick(why->copyButton(), Qt::LeftButton);
        const QString first = QJsonDocument::fromJson(QGuiApplication::clipboard()->text().toUtf8())
                                  .object()["problems"][0]
                                  .toString();
        QVERIFY(first.startsWith("The scanner Imaging <b>&</b> Co (05E0:1200) is not connected"));
        QVERIFY(why->problemsLabel()->text().startsWith("1. " + first));
        why->close();
    }

    // Numbered steps in the order they are done, every command copied whole by its
    // button, the OK button on screen (run again at 125 % scaling).
    void accessHelpStepsCanBeFollowed_data() {
        QTest::addColumn<QString>("scanner");
        QTest::addColumn<bool>("installed"); // the package's rule is there already
        QTest::addColumn<int>("steps");
        QTest::newRow("no scanner") << QString() << false << 3;
        QTest::newRow("scanner") << QStringLiteral("05E0:1200") << false << 5;
        QTest::newRow("installed, no scanner") << QString() << true << 2;
        QTest::newRow("installed, scanner") << QStringLiteral("05E0:1200") << true << 4;
    }
    void accessHelpStepsCanBeFollowed() {
        QFETCH(QString, scanner);
        QFETCH(bool, installed);
        QFETCH(int, steps);
        QTemporaryDir rules;
        if (installed)
            QVERIFY(QFile(rules.filePath(kPackagedRuleName)).open(QIODevice::WriteOnly));
        AccessHelpDialog d(scanner, nullptr, {rules.path() + "/none", rules.path()});
        QCOMPARE(d.commands().filter("sudo cp").isEmpty(), installed); // starts from there
        QCOMPARE(d.texts().filter(rules.path()).size(), installed ? 1 : 0);
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
        QCOMPARE(d.commands().contains(udevRuleFor(scanner).trimmed().split('\n').last()),
                 !scanner.isEmpty());
        for (qsizetype i = 0; i < d.commands().size(); ++i) {
            QTest::mouseClick(d.copyButtons()[i], Qt::LeftButton);
            QCOMPARE(QGuiApplication::clipboard()->text(), d.commands()[i]);
        }
        const QRect screen = d.screen()->availableGeometry();
        QVERIFY(screen.contains(d.frameGeometry()));
        QVERIFY(screen.contains(QRect(d.okButton()->mapToGlobal(QPoint()), d.okButton()->size())));
        // The menu's help is about the chosen scanner, and this station's rule.
        if (!scanner.isEmpty() && installed == !installedUdevRule().isEmpty()) {
            settings->setScanner(scanner, QStringLiteral("Test Scanner"));
            QStringList shown;
            whenShown<AccessHelpDialog>([&shown](AccessHelpDialog* help) {
                shown = help->commands();
                help->accept();
            });
            menu->permissionItem()->trigger();
            QCOMPARE(shown, d.commands());
        }
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
        inSettings([&](SettingsDialog* d) {
            QVERIFY(QTest::qWaitForWindowActive(d));
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
        });
        QCOMPARE(settings->serverURL(), saved ? stub->url() + "/" : stub->url());
        QCOMPARE(settings->deviceName(), saved ? "Packing 2" : "Packing 1");
        QCOMPARE(settings->scannerLayout(), saved ? "ch" : "");
        QTRY_COMPARE(stub->count("/api/devices/" + settings->deviceId().toUtf8()), saved ? 2 : 1);
    }

    // Save is refused while the URL cannot work; a missing scheme is offered.
    void unusableURLsCannotBeSaved_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("offered");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("no scheme") << " scans.example.com:3000"
                                   << "http://scans.example.com:3000";
        QTest::newRow("ftp") << "ftp://scans"
                             << "";
        QTest::newRow("no host") << "https://"
                                 << "";
        QTest::newRow("a space") << "http://scans example"
                                 << "";
    }
    void unusableURLsCannotBeSaved() {
        QFETCH(QString, typed);
        QFETCH(QString, offered);
        inSettings([&](SettingsDialog* d) {
            d->urlField()->setText(typed);
            QTest::keyClick(d->nameField(), Qt::Key_Return);
            QVERIFY(d->isVisible() && !d->saveButton()->isEnabled() &&
                    !d->testButton()->isEnabled() && !d->urlHint()->isHidden());
            QCOMPARE(!d->urlFixButton()->isHidden(), !offered.isEmpty());
            if (!offered.isEmpty()) {
                d->urlFixButton()->click();
                QCOMPARE(d->urlField()->text(), offered);
                QVERIFY(d->saveButton()->isEnabled() && d->urlHint()->isHidden());
            }
        });
        QCOMPARE(settings->serverURL(), stub->url());
    }

    void testConnectionSaysWhatTheServerAnswered_data() {
        QTest::addColumn<int>("status"); // 0: nobody listening, -1: never answers
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("shown");
        QTest::newRow("reachable")
            << 201 << QByteArray("{}") << "Reachable: the server accepted this station.";
        QTest::newRow("refused") << 403 << QByteArray(R"({"error":"no"})")
                                 << "Server error 403 (no)";
        QTest::newRow("unreachable")
            << 0 << QByteArray() << "Server unreachable: Connection refused";
        QTest::newRow("silent") << -1 << QByteArray() << "Server unreachable";
    }
    void testConnectionSaysWhatTheServerAnswered() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, shown);
        stub->script = [status, body](const HttpStub::Request& r) {
            if (!r.body.contains("Packing 9"))
                return HttpStub::Reply{};
            return HttpStub::Reply{status, body, status < 0};
        };
        SettingsDialog d(settings->deviceId(), QString(), QStringLiteral("Packing 9"));
        d.setRequestTimeout(std::chrono::milliseconds(200));
        d.urlField()->setText(status ? stub->url() : QStringLiteral("http://127.0.0.1:1"));
        d.testButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(d.testResult()->text(), shown, 10000);
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
    }

    // Any process on the session bus may call the item, its menu and the agent: what
    // they cannot take is answered with an error, and the agent goes on answering.
    void wrongCallsAreAnsweredWithErrors_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("method"); // interface.member
        QTest::addColumn<QVariantList>("args");
        const auto menu = [](const char* name, const char* method, const QVariantList& args) {
            QTest::newRow(name) << "/MenuBar" << QString("com.canonical.dbusmenu.") + method
                                << args;
        };
        const QVariant none = QVariant::fromValue(QDBusVariant(0));
        menu("layout of 99", "GetLayout", {99, -1, QStringList()});
        menu("property of -1", "GetProperty", {-1, "label"});
        menu("event of 99", "Event", {99, "clicked", none, 0u});
        menu("about to show -1", "AboutToShow", {-1});
        menu("properties of none known", "GetGroupProperties",
             {QVariant::fromValue(QList<int>{-1, 99}), QStringList()});
        menu("unknown property", "GetProperty", {1, "no-such"});
        menu("unknown event", "Event", {0, "exploded", none, 0u});
        menu("no known id", "AboutToShowGroup", {QVariant::fromValue(QList<int>{-1, 99})});
        QTest::newRow("odd scroll")
            << "/StatusNotifierItem"
            << "org.kde.StatusNotifierItem.Scroll" << QVariantList{3, "diagonal"};
        QTest::newRow("agent, deleteLater")
            << "/com/korvel/Agent"
            << "org.freedesktop.Application.deleteLater" << QVariantList{};
    }
    void wrongCallsAreAnsweredWithErrors() {
        QFETCH(QString, path);
        QFETCH(QString, method);
        QFETCH(QVariantList, args);
        DbusRunningAgent running;
        QVERIFY(running.answer([] { QFAIL("activated"); }));
        QTRY_VERIFY(texts().size() > 1); // the menu is up
        const qsizetype entries = texts().size();
        const QString service =
            path.startsWith("/com/") ? QStringLiteral("com.korvel.Agent") : item->serviceName();
        QCOMPARE(call(service, path, method, args).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(texts().size(), entries); // still answering, the menu as it was
        QVERIFY(!agent->capture().detecting() && !window->isVisible()); // nothing clicked
    }

    // The classic tray: a menu of Qt's own, a QToolTip.
    void labelsAndToolTipsShowTextAsItIs_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("markup") << "Refused: <b>A&amp;B</b>";
        QTest::newRow("shortcut marks") << "Pack_1 & Co && __x_";
        QTest::newRow("leading underscore, trailing &") << "_Pack &";
    }
    void labelsAndToolTipsShowTextAsItIs() {
        QFETCH(QString, text);
        QCOMPARE(QAction(StatusMenu::label(text)).iconText(), text); // Qt's reading of "&"
        const QString tip = StatusMenu::classicToolTip(text + "\nnext");
        QTextDocument drawn; // the classic tray's tooltip renders what looks like markup
        if (Qt::mightBeRichText(tip))
            drawn.setHtml(tip);
        else
            drawn.setPlainText(tip);
        QCOMPARE(drawn.toPlainText().replace(QChar::LineSeparator, '\n'), text + "\nnext");
    }

    // No tray host (none on the bus, or a watcher whose panel crashed): a window shows
    // the menu until a host comes; the host gone, the window again.
    void withoutATrayHostAWindowShowsTheMenu_data() {
        QTest::addColumn<bool>("leftBehind");
        QTest::newRow("no watcher") << false;
        QTest::newRow("a watcher without a host") << true;
    }
    void withoutATrayHostAWindowShowsTheMenu() {
        QFETCH(bool, leftBehind);
        QDBusConnection bus = QDBusConnection::sessionBus();
        const auto back = qScopeGuard([this, bus]() mutable {
            watcher.host = true;
            bus.registerService(kWatcherName);
        });
        if (leftBehind)
            watcher.host = false;
        else
            QVERIFY(bus.unregisterService(kWatcherName));
        settings->store().remove("scanner");
        journal.entries.clear();
        startShell();
        QVERIFY(!menu->trayShown());
        QTRY_VERIFY(window->isVisible());
        QVERIFY(
            journal.entries.value(0).contains("choose Detect scanner in the Korvel Agent window"));
        QStringList lines;
        for (QLabel* line : window->lines())
            lines << line->text();
        QCOMPARE(lines, agent->menuTexts().lines());
        window->buttonFor(menu->loginItem())->click();
        QVERIFY(login.on && window->buttonFor(menu->loginItem())->isChecked());
        keyboard.granted = false;
        agent->takeSlowStates(); // as the retry timer does: the window follows by itself
        QTRY_VERIFY(window->buttonFor(menu->permissionItem())->isVisible());
        window->move(140, 90);
        QTRY_COMPARE(window->pos(), QPoint(140, 90));
        QVERIFY(window->close() || !window->isVisible()); // hidden, not ended
        startShell();                                     // the next start: where it was
        QTRY_VERIFY(window->isVisible());
        QTRY_COMPARE(window->pos(), QPoint(140, 90));
        watcher.items.clear(); // a host comes: the item registers, the icon shows
        watcher.host = true;
        if (leftBehind)
            Q_EMIT watcher.StatusNotifierHostRegistered();
        else
            QVERIFY(bus.registerService(kWatcherName));
        QTRY_VERIFY(menu->hosted());
        QTRY_COMPARE(watcher.items, QStringList{item->serviceName()});
        window->hide(); // it goes (a panel restarting or crashing): the window again
        watcher.host = false;
        if (leftBehind)
            Q_EMIT watcher.StatusNotifierHostUnregistered();
        else
            QVERIFY(bus.unregisterService(kWatcherName));
        QTRY_VERIFY(window->isVisible());
    }

    // Settings asked for again while open (from the tray) brings that one forward.
    void settingsOpensOnce() {
        int open = 0;
        inSettings([&](SettingsDialog* d) {
            QTimer::singleShot(0, d, [&open, d] { // runs in a second dialog's loop too
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* each = qobject_cast<SettingsDialog*>(w);
                    open += each && each->isVisible();
                    if (each && each != d)
                        each->reject();
                }
            });
            menu->settingsItem()->trigger();
            QCOMPARE(menu->settingsDialog(), d);
            QTRY_VERIFY(open > 0);
        });
        QCOMPARE(open, 1);
        QVERIFY(!menu->settingsDialog());
    }

    // The settings dialog's "Find from a scan…": the detect window shows the test code;
    // a US scanner scans it; Save then keeps what it told, Cancel puts back the scanner,
    // layout and pause before. "Detect scanner" from the tray works over the dialog too.
    void findFromAScanInSettings_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("saved") << true;
        QTest::newRow("cancelled") << false;
    }
    void findFromAScanInSettings() {
        QFETCH(bool, save);
        agent->capture().startCapture();
        agent->takeSlowStates();
        // A server that has not answered yet: setting up goes on to it next.
        stub->script = [](const HttpStub::Request&) { return HttpStub::Reply{200, "{}", true}; };
        agent->saveSettings(settings->serverURL(), settings->deviceName());
        settings->setScanner(QStringLiteral("0001:0002"), QStringLiteral("Old one"));
        settings->setScannerLayout(QStringLiteral("de"));
        settings->setScannerPause(170);
        const Agent::ScannerChoice before = agent->scannerChoice();
        inSettings([&](SettingsDialog* d) {
            menu->detectItem()->trigger();
            QVERIFY(agent->capture().detecting() && menu->detectWindow());
            QCOMPARE(menu->detectWindow()->parentWidget(), d); // above the modal dialog
            QTest::mouseClick(menu->detectWindow()->cancelButton(), Qt::LeftButton);
            QVERIFY(!agent->capture().detecting() && d->isVisible());
            QTest::mouseClick(d->findButton(), Qt::LeftButton);
            QVERIFY(menu->detectWindow() && menu->detectWindow()->isVisible());
            QVERIFY(!menu->detectWindow()->codeLabel()->pixmap().isNull());
            scanTestCode();
            QTRY_VERIFY(!menu->detectWindow());
            QCOMPARE(d->scannerLayout(), QString());
            QVERIFY(agent->scannerChoice() != before);
            QTest::mouseClick(d->findButton(), Qt::LeftButton); // goes with the dialog
            QTest::mouseClick(save ? d->saveButton() : d->cancelButton(), Qt::LeftButton);
        });
        QTRY_VERIFY(!agent->capture().detecting());
        QCOMPARE(agent->scannerChoice() == before, !save);
        if (save) { // what was found, then the next step of a first run: the server
            QCOMPARE(settings->scannerLayout(), QString());
            QCOMPARE(journal.entries.mid(journal.entries.size() - 2, 1),
                     {"notify:Scanner selected|Scanner Imaging & Co (05E0:1200): English (US) "
                      "layout"});
            QVERIFY(journal.entries.last().startsWith("notify:Korvel Agent|Next, the server:"));
        }
    }

    // The session's language reaches the menu and the notifications.
    void germanSessionsSeeGerman() {
        const QByteArray language = qgetenv("LANG");
        const auto restore = qScopeGuard([&language] {
            qDeleteAll(qApp->findChildren<QTranslator*>());
            qputenv("LANG", language);
        });
        qputenv("LANG", "de_DE.UTF-8");
        installTranslations();
        startShell();
        QVERIFY(journal.entries.last().startsWith("notify:Korvel Agent|Als Nächstes der Scanner:"));
        QTRY_COMPARE(texts().value(0),
                     QStringLiteral("Kein Scanner gewählt: „Scanner erkennen“ nutzen"));
    }

    void notificationsReachTheDesktopsServer() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        Notifications server;
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &server,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllSignals));
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
        QCOMPARE(server.actions[0], QStringList()); // none offered: none shown
        // A click on one of ours brings the window; one on another's does not.
        int opened = 0;
        window->hide();
        notifier.setDefaultAction(QStringLiteral("Open"), [&] {
            ++opened;
            window->bringToFront();
        });
        notifier.notify(QStringLiteral("Scanner selected"), body);
        QTRY_COMPARE(server.actions.size(), 3);
        QCOMPARE(server.actions[2], (QStringList{"default", "Open"}));
        QTRY_VERIFY(!notifier.findChildren<QDBusPendingCallWatcher*>().size());
        Q_EMIT server.ActionInvoked(2, QStringLiteral("default")); // shown without the action
        Q_EMIT server.ActionInvoked(3, QStringLiteral("default"));
        QTRY_VERIFY(window->isVisible());
        QCOMPARE(opened, 1);
    }

    // Layout names in the user's language, as xkb-data translates them (last: gettext
    // may keep the language it found).
    void layoutNamesInTheUsersLanguage() {
        if (!QFile::exists("/usr/share/locale/de/LC_MESSAGES/xkeyboard-config.mo"))
            QSKIP("xkb-data's German names are not installed (no xkeyboard-config.mo for de)");
        if (const QByteArray messages = setlocale(LC_MESSAGES, nullptr);
            messages == "C" || messages == "POSIX")
            QSKIP("the C locale: gettext takes no language from LANGUAGE there");
        const QByteArray language = qgetenv("LANGUAGE");
        const auto restore = qScopeGuard([&language] { qputenv("LANGUAGE", language); });
        qputenv("LANGUAGE", "de");
        XkbLayouts german;
        SettingsDialog d(settings->deviceId(), stub->url(), "P", "ch", &german);
        QCOMPARE(d.layoutField()->currentText(), QStringLiteral("Deutsch (Schweiz)"));
    }
};

KORVEL_TEST_MAIN_WITH(QApplication, TestShell)
#include "tst_shell.moc"
