#include "shell/detect_window.h"

#include "shell/test_code.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kModulePixels = 6; // large enough for a scanner held at a screen
}

DetectWindow::DetectWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Detect scanner"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* line = new QLabel(tr("Scan this code, or any barcode"));
    QFont bold = line->font();
    bold.setBold(true);
    line->setFont(bold);
    line->setAlignment(Qt::AlignHCenter);
    code_ = new QLabel;
    code_->setAlignment(Qt::AlignHCenter);
    if (const QImage image = TestCode::image(kModulePixels); !image.isNull())
        code_->setPixmap(QPixmap::fromImage(image));
    else
        code_->setText(tr("The test code cannot be drawn here."));
    auto* hint = new QLabel(tr("The test code also tells the scanner's keyboard layout and pace."));
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignHCenter);

    auto* buttons = new QDialogButtonBox;
    print_ = buttons->addButton(tr("Print\u2026"), QDialogButtonBox::ActionRole);
    pdf_ = buttons->addButton(tr("Save as PDF\u2026"), QDialogButtonBox::ActionRole);
    cancel_ = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    // The scanner types into this window: neither its Enter nor its space may
    // press a button.
    for (QPushButton* button : {print_, pdf_, cancel_}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::ClickFocus);
    }
    connect(print_, &QPushButton::clicked, this, &DetectWindow::printPage);
    connect(pdf_, &QPushButton::clicked, this, &DetectWindow::savePdf);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(line);
    layout->addWidget(code_);
    layout->addWidget(hint);
    layout->addWidget(buttons);
}

// The dialogs below have no parent and the window is checked after each: detection
// may end while one is open (a scan, "Cancel detection" from the tray, a user
// switch), and this window closes and goes away then.
void DetectWindow::printPage() {
    const QPointer<DetectWindow> self(this);
    QPrinter printer;
    printer.setDocName(tr("Korvel Agent test code"));
    QPrintDialog dialog(&printer);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        QMessageBox::warning(self, tr("Detect scanner"), tr("The page could not be printed."));
        return;
    }
    TestCode::paintPage(painter, printer.pageLayout().paintRectPixels(printer.resolution()));
}

void DetectWindow::savePdf() {
    const QPointer<DetectWindow> self(this);
    const QString title = tr("Detect scanner");
    const QString path = QFileDialog::getSaveFileName(
        nullptr, tr("Save the test code"),
        QDir::home().filePath(QStringLiteral("korvel-test-code.pdf")), tr("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (const QString error = TestCode::writePdf(path); !error.isEmpty())
        QMessageBox::warning(self, title, error);
}
