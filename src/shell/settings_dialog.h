#pragma once

#include "platform/keyboard_layout.h"

#include <QDialog>

#include <chrono>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class HttpClient;
class QPushButton;

// The settings dialog: server URL, device name and the scanner's keyboard layout,
// the device identifier shown read-only. Built anew at each opening. Save takes
// only what can work: a usable server URL and a layout the system compiles.
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // serverURL: empty when none was ever set. scannerLayout: "de", "ch(fr)" or ""
    // (the US table). layouts: what the chooser offers and compiles (none: US only).
    SettingsDialog(const QString& deviceId, const QString& serverURL, const QString& deviceName,
                   const QString& scannerLayout = {}, KeyboardLayouts* layouts = nullptr,
                   QWidget* parent = nullptr);
    ~SettingsDialog() override;

    QLineEdit* urlField() const { return url_; }
    QLineEdit* nameField() const { return name_; }
    QComboBox* layoutField() const { return layout_; }
    // The row of the layout chooser, with room for another button beside it.
    QHBoxLayout* layoutRow() const { return layoutRow_; }
    QLabel* urlHint() const { return urlHint_; }
    QPushButton* urlFixButton() const { return urlFix_; }
    QPushButton* testButton() const { return test_; }
    QLabel* testResult() const { return testResult_; }
    QLabel* layoutHint() const { return layoutHint_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The layout as chosen, in the setting's form.
    QString scannerLayout() const;

    // Shows this layout as chosen (a name this system does not list is kept).
    void setScannerLayout(const QString& scannerLayout);
    QPushButton* findButton() const { return find_; }

    void accept() override;
    // How long "Test connection" waits for the server's first byte.
    void setRequestTimeout(std::chrono::milliseconds timeout) { requestTimeout_ = timeout; }

  Q_SIGNALS:
    // "Find from a scan…": the layout is to be found by scanning the test code.
    void findFromScan();

  private:
    void addLayouts(KeyboardLayouts* layouts, const QString& current);
    void checkURL();
    void checkLayout();
    void testConnection();
    // The chooser's entry that the typed text names; -1 for none.
    int chosenLayout() const;

    QString deviceId_;
    KeyboardLayouts* layouts_;
    QLineEdit* url_;
    QLineEdit* name_;
    QComboBox* layout_;
    QPushButton* find_;
    QHBoxLayout* layoutRow_;
    QLabel* urlHint_;
    QPushButton* urlFix_;
    QPushButton* test_;
    QLabel* testResult_;
    QLabel* layoutHint_;
    QPushButton* save_;
    QPushButton* cancel_;
    HttpClient* http_ = nullptr; // made by the first test
    int unknownLayout_ = -1;     // the entry of a stored layout the system does not know
    bool urlUsable_ = false;
    bool layoutUsable_ = true;
    std::chrono::milliseconds requestTimeout_{10000};
    quint64 testAttempt_ = 0; // answers to an earlier test, or after closing, are dropped
};
