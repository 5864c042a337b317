#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Shown while the agent detects the scanner: the test code to scan (any barcode
// will do for choosing the scanner), and the same code to print or save as a PDF
// for scanners that cannot read screens. Closing it cancels detection.
class DetectWindow : public QDialog {
    Q_OBJECT
  public:
    explicit DetectWindow(QWidget* parent = nullptr);

    QLabel* codeLabel() const { return code_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* pdfButton() const { return pdf_; }
    QPushButton* cancelButton() const { return cancel_; }

    void printPage();
    void savePdf();

  private:
    QLabel* code_;
    QPushButton* print_;
    QPushButton* pdf_;
    QPushButton* cancel_;
};
