#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// The settings dialog: server URL and device name, the device identifier shown
// read-only. Built anew at each opening.
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    SettingsDialog(const QString& deviceId, const QString& serverURL, const QString& deviceName,
                   QWidget* parent = nullptr);

    QLineEdit* urlField() const { return url_; }
    QLineEdit* nameField() const { return name_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

  private:
    QLineEdit* url_;
    QLineEdit* name_;
    QPushButton* save_;
    QPushButton* cancel_;
};
