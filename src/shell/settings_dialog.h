#pragma once

#include "platform/keyboard_layout.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

// The settings dialog: server URL, device name and the scanner's keyboard layout,
// the device identifier shown read-only. Built anew at each opening.
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // scannerLayout: "de", "de(nodeadkeys)" or "" (the US table); layouts: the
    // choices besides the US table.
    SettingsDialog(const QString& deviceId, const QString& serverURL, const QString& deviceName,
                   const QString& scannerLayout = {},
                   const QList<KeyboardLayouts::Choice>& layouts = {}, QWidget* parent = nullptr);

    QLineEdit* urlField() const { return url_; }
    QLineEdit* nameField() const { return name_; }
    QComboBox* layoutField() const { return layout_; }
    QLineEdit* variantField() const { return variant_; }
    // The layout as chosen, in the setting's form.
    QString scannerLayout() const;
    // Shows this layout as chosen (a name this system does not list is kept).
    void setScannerLayout(const QString& scannerLayout);
    QPushButton* findButton() const { return find_; }

    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

  Q_SIGNALS:
    // "Find from a scan…": the layout is to be found by scanning the test code.
    void findFromScan();

  private:
    QLineEdit* url_;
    QLineEdit* name_;
    QComboBox* layout_;
    QLineEdit* variant_;
    QPushButton* find_;
    QPushButton* save_;
    QPushButton* cancel_;
};
