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
#include <QComboBox>
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
        QCOMPARE(texts(),
                 (QStringList{"No scanner chosen: use Detect scanner", "Waiting to send: 0",
                              "(hidden)", "---", "Detect scanner (scan now)", "Settings\u2026",
                              "Start at login", "---", "Quit Korvel Agent"}));
        QVERIFY(!menu->scannerLine()->isEnabled() && !menu->queueLine()->isEnabled());
        menu->detectItem()->trigger();
        session.set(false); // another user at the station: detection ends, nothing is read
        QTRY_COMPARE(texts().mid(0, 5), (QStringList{"Paused while another user is at this station",
                                                     "Waiting to send: 0", "(hidden)", "---",
                                                     "Detect scanner (scan now)"}));
        QVERIFY(!menu->detectItem()->isEnabled() && !keyboard.handler);
        session.set(true);
        QTRY_VERIFY(keyboard.handler && menu->detectItem()->isEnabled());
        menu->detectItem()->trigger();
        QTRY_COMPARE(texts()[0], QStringLiteral("Scan any barcode with the scanner now\u2026"));
        QCOMPARE(texts()[4], QStringLiteral("Cancel detection"));
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

    void inputHelpGivesTheCommands() {
        settings->setScanner(QStringLiteral("05E0:1200"), QStringLiteral("Test Scanner"));
        QString shown;
        whenShown<QMessageBox>([&shown](QMessageBox* box) {
            shown = box->windowTitle() + box->informativeText();
            box->accept();
        });
        menu->permissionItem()->trigger();
        // The packaged rule as shipped, beside the chosen scanner's own; no input group.
        const QStringList packaged =
            QString::fromUtf8(
                readFile(QFINDTESTDATA("../packaging/70-korvel-agent.rules")).trimmed())
                .split('\n');
        for (const QString& text :
             {QStringLiteral("Allow Input Monitoring"),
              QStringLiteral("/lib/udev/rules.d/70-korvel-agent.rules"), packaged.last(),
              udevRuleFor(QStringLiteral("05E0:1200")).trimmed().split('\n').last(),
              QStringLiteral("udevadm trigger")})
            QVERIFY2(shown.contains(text.toHtmlEscaped()), qPrintable(text));
        QVERIFY(!shown.contains(QLatin1String("usermod")));
    }

    void settingsCancelDoesNothingAndEnterSavesTrimmedValues() {
        settings->setServerURL(QStringLiteral("http://127.0.0.1:1"));
        whenShown<SettingsDialog>([](SettingsDialog* d) {
            d->urlField()->setText(QStringLiteral("http://elsewhere:3000"));
            QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
        });
        menu->showSettings();
        QCOMPARE(settings->serverURL(), QStringLiteral("http://127.0.0.1:1"));
        QVERIFY(!settings->store().contains(QStringLiteral("deviceName")));
        whenShown<SettingsDialog>([&](SettingsDialog* d) {
            QStringList labels;
            for (QLabel* l : d->findChildren<QLabel*>())
                labels << l->text();
            QVERIFY(labels.contains("Device ID: " + settings->deviceId()));
            QCOMPARE(d->urlField()->width(), 240);
            QCOMPARE(d->nameField()->text(), QStringLiteral("Packing 1"));
            QCOMPARE(d->focusWidget(), d->urlField());
            d->urlField()->setText(QStringLiteral(" \t") + stub->url() +
                                   QStringLiteral("/ \u00A0"));
            d->nameField()->setText(QStringLiteral("  Packing 2\t"));
            QCOMPARE(d->layoutField()->itemText(0), QStringLiteral("US (default)"));
            d->layoutField()->setCurrentIndex(d->layoutField()->findData(QStringLiteral("de")));
            d->variantField()->setText(QStringLiteral(" nodeadkeys"));
            QTest::keyClick(d->urlField(), Qt::Key_Return); // Enter is Save
        });
        menu->showSettings();
        QCOMPARE(settings->serverURL(), stub->url() + QStringLiteral("/"));
        QCOMPARE(settings->deviceName(), QStringLiteral("Packing 2"));
        QCOMPARE(settings->scannerLayout(), QStringLiteral("de(nodeadkeys)"));
        QTRY_COMPARE(stub->count("/api/devices/" + settings->deviceId().toUtf8()), 2);
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
