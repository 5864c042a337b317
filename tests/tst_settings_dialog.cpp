// The settings dialog and the input access help, as real widgets on a display.
#include "shell/access_help.h"
#include "shell/agent.h"
#include "shell/settings.h"
#include "shell/settings_dialog.h"
#include "shell/status_menu.h"
#include "support/http_stub.h"
#include "support/recorders.h"
#include "support/test_main.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace korvel::test;

namespace {

// Runs `act` on the modal dialog once it is up.
template <typename Dialog> void whenShown(std::function<void(Dialog*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(dialog);
    });
}

void screenshot(QWidget* w, const char* name) {
    const QString dir = qEnvironmentVariable("KORVEL_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

QStringList labelTexts(QWidget* w) {
    QStringList texts;
    for (QLabel* l : w->findChildren<QLabel*>())
        texts << l->text();
    return texts;
}

} // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT
  private:
    Journal journal;
    RecordingNotifier notifier{journal};
    RecordingSounds sounds{journal};
    ScriptedKeyboard keyboard;
    std::unique_ptr<HttpStub> stub;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<StatusMenu> menu;

  private Q_SLOTS:
    void init() {
        stub = std::make_unique<HttpStub>();
        settings = std::make_unique<Settings>([] { return QStringLiteral("host-7"); });
        settings->store().clear();
        dir = std::make_unique<QTemporaryDir>();
        agent = std::make_unique<Agent>(*settings, Agent::Ports{keyboard, notifier, sounds},
                                        dir->path());
        menu = std::make_unique<StatusMenu>(*agent);
    }
    void cleanup() {
        menu.reset();
        agent.reset();
    }

    void showsTheSettingsWithTheUrlFieldFocused() {
        SettingsDialog dialog(QStringLiteral("0f1e2d3c-0000-4000-8000-000000000000"),
                              QStringLiteral("http://localhost:3000"), QStringLiteral("Packing 1"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QStringList labels = labelTexts(&dialog);
        for (const char* text :
             {"Korvel Agent settings", "Device ID: 0f1e2d3c-0000-4000-8000-000000000000",
              "Server URL", "Device name"})
            QVERIFY2(labels.contains(QLatin1String(text)), text);
        QCOMPARE(dialog.urlField()->text(), QStringLiteral("http://localhost:3000"));
        QCOMPARE(dialog.urlField()->width(), 240);
        QVERIFY(dialog.urlField()->placeholderText().startsWith(QLatin1String("http://")));
        QVERIFY(dialog.urlField()->placeholderText().endsWith(QLatin1String(":3000")));
        QCOMPARE(dialog.nameField()->text(), QStringLiteral("Packing 1"));
        QCOMPARE(dialog.saveButton()->text(), QStringLiteral("Save"));
        QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
        QVERIFY(dialog.saveButton()->isDefault());
        QCOMPARE(dialog.focusWidget(), dialog.urlField());
        // Enter in a field is Save.
        QTest::keyClick(dialog.urlField(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        screenshot(&dialog, "settings-dialog.png");
    }

    void saveStoresTrimmedValuesThenRegistersAndFlushes() {
        agent->start();
        agent->queue()->enqueue({QStringLiteral("waiting"), 1});
        const QString id = settings->deviceId();
        stub->requests.clear();
        whenShown<SettingsDialog>([this, id](SettingsDialog* d) {
            QCOMPARE(d->urlField()->text(), QStringLiteral("http://localhost:3000"));
            QCOMPARE(d->nameField()->text(), QStringLiteral("host-7"));
            screenshot(d, "settings-dialog.png");
            d->urlField()->setText(QStringLiteral(" \t") + stub->url() + QStringLiteral("/ "));
            d->nameField()->setText(QStringLiteral("  Packing 2\t"));
            QTest::mouseClick(d->saveButton(), Qt::LeftButton);
        });
        menu->showSettings();
        QCOMPARE(settings->serverURL(), stub->url() + QStringLiteral("/"));
        QCOMPARE(settings->deviceName(), QStringLiteral("Packing 2"));
        QTRY_COMPARE(stub->requests.size(), 2);
        QCOMPARE(stub->requests[0].target, ("/api/devices/" + id).toUtf8());
        QCOMPARE(QJsonDocument::fromJson(stub->requests[0].body)["name"].toString(),
                 QStringLiteral("Packing 2"));
        QCOMPARE(stub->requests[1].target, QByteArray("/api/scan"));
        QTRY_VERIFY(agent->queue()->items().isEmpty());
    }

    void cancelStoresNothingAndSendsNothing() {
        settings->setServerURL(stub->url());
        whenShown<SettingsDialog>([](SettingsDialog* d) {
            d->urlField()->setText(QStringLiteral("http://elsewhere:3000"));
            QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
        });
        menu->showSettings();
        QCOMPARE(settings->serverURL(), stub->url());
        QVERIFY(!settings->store().contains(QStringLiteral("deviceName")));
        // A registration sent now arrives as the only request: Cancel sent none.
        agent->delivery().registerDevice();
        QTRY_COMPARE(stub->requests.size(), 1);
        QCOMPARE(QJsonDocument::fromJson(stub->requests[0].body)["name"].toString(),
                 QStringLiteral("host-7"));
        QVERIFY(!agent->queue() || agent->queue()->items().isEmpty());
    }

    void openingOnAFirstRunCreatesTheDeviceId() {
        QString shown;
        whenShown<SettingsDialog>([&shown](SettingsDialog* d) {
            for (const QString& t : labelTexts(d)) {
                if (t.startsWith(QLatin1String("Device ID: ")))
                    shown = t.mid(11);
            }
            d->reject();
        });
        menu->showSettings();
        QCOMPARE(shown.size(), 36);
        QCOMPARE(settings->store().value(QStringLiteral("deviceId")).toString(), shown);
    }

    void theMenuHasItsIconAndEntriesInOrder() {
        menu->attach();
        const QIcon icon = menu->tray().icon();
        QVERIFY(!icon.isNull());
        const QImage image = icon.pixmap(22, 22).toImage();
        QCOMPARE(image.size(), QSize(22, 22)); // rendered, so the SVG engine is there
        QCOMPARE(menu->tray().toolTip(), QStringLiteral("Korvel \u00B7 Waiting to send: 0"));
        // Current from the start: a tray host may draw it without asking first.
        QStringList texts;
        for (QAction* a : menu->menu().actions())
            texts << (a->isSeparator() ? QStringLiteral("---") : a->text());
        QCOMPARE(texts,
                 (QStringList{QStringLiteral("No scanner chosen: use Detect scanner"),
                              QStringLiteral("Waiting to send: 0"),
                              QStringLiteral("Allow Input Monitoring\u2026"), QStringLiteral("---"),
                              QStringLiteral("Detect scanner (scan now)"),
                              QStringLiteral("Settings\u2026"), QStringLiteral("Start at login"),
                              QStringLiteral("---"), QStringLiteral("Quit Korvel Agent")}));
        QVERIFY(!menu->scannerLine()->isEnabled());
        QVERIFY(!menu->queueLine()->isEnabled());
        QVERIFY(!menu->permissionItem()->isVisible());
        QCOMPARE(menu->detectItem()->text(), QStringLiteral("Detect scanner (scan now)"));
        QVERIFY(!menu->loginItem()->isChecked()); // no login service given: never on
    }

    void aFailedLoginChangeIsShown() {
        struct BrokenLogin final : LoginItem {
            bool enabled() override { return false; }
            std::optional<QString> setEnabled(bool) override { return QStringLiteral("disk full"); }
        } login;
        Agent withLogin(*settings, Agent::Ports{keyboard, notifier, sounds, &login}, dir->path());
        StatusMenu loginMenu(withLogin);
        QString shown;
        whenShown<QMessageBox>([&shown](QMessageBox* box) {
            shown = box->text() + QLatin1Char('|') + box->informativeText();
            box->accept();
        });
        loginMenu.toggleLogin();
        QCOMPARE(shown, QStringLiteral("Start at login could not be changed.|disk full"));
    }

    void inputAccessHelpGivesTheCommands() {
        whenShown<QMessageBox>([](QMessageBox* box) {
            QCOMPARE(box->windowTitle(), QStringLiteral("Allow Input Monitoring"));
            const QString text = box->informativeText();
            QVERIFY(text.contains(QLatin1String("sudo usermod -aG input $USER")));
            QVERIFY(text.contains(QLatin1String("70-korvel-agent.rules")));
            QVERIFY(text.contains(QLatin1String("udevadm trigger")));
            screenshot(box, "input-access-help.png");
            box->accept();
        });
        showInputAccessHelp();
    }
};

KORVEL_TEST_MAIN_WITH(QApplication, TestSettingsDialog)
#include "tst_settings_dialog.moc"
