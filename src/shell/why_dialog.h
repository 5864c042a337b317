#pragma once

#include <QDialog>
#include <QJsonObject>

class QLabel;
class QPushButton;

// "Why no scans?": the support report for people. What keeps scans from arriving
// comes first, each with what to do, then the details; Copy puts the report's JSON
// on the clipboard for whoever helps.
class WhyDialog : public QDialog {
    Q_OBJECT
  public:
    explicit WhyDialog(const QJsonObject& report, QWidget* parent = nullptr);

    QLabel* problemsLabel() const { return problems_; }
    QLabel* detailsLabel() const { return details_; }
    QPushButton* copyButton() const { return copy_; }

  private:
    static QString detailsText(const QJsonObject& report);

    QJsonObject report_;
    QLabel* problems_;
    QLabel* details_;
    QPushButton* copy_;
};
