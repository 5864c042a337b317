#include "shell/test_code.h"

#include "core/capture/calibration.h"

#include <QCoreApplication>
#include <QPageSize>
#include <QPdfWriter>

#include <memory>
#include <zint.h>

namespace {

constexpr int kQuietModules = 2; // white around the symbol, in modules

struct Symbol {
    QList<QRectF> modules; // dark rectangles, in module units
    QSizeF size;           // in module units
};

// The symbol's dark modules; empty when libzint cannot encode the text.
const Symbol& symbol() {
    static const Symbol s = [] {
        Symbol out;
        std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> z(ZBarcode_Create(), ZBarcode_Delete);
        if (!z)
            return out;
        z->symbology = BARCODE_DATAMATRIX;
        z->input_mode = DATA_MODE; // GS stays the byte it is
        const QByteArray data = Calibration::testText().toLatin1();
        if (ZBarcode_Encode_and_Buffer_Vector(z.get(),
                                              reinterpret_cast<const unsigned char*>(data.data()),
                                              int(data.size()), 0) >= ZINT_ERROR ||
            !z->vector)
            return out;
        // Vector units per module: the symbol is z->width modules wide.
        const double unit = z->width > 0 ? z->vector->width / z->width : 1;
        for (auto* r = z->vector->rectangles; r; r = r->next)
            out.modules.append(QRectF(r->x / unit, r->y / unit, r->width / unit, r->height / unit));
        out.size = QSizeF(z->vector->width / unit, z->vector->height / unit);
        return out;
    }();
    return s;
}

} // namespace

bool TestCode::paint(QPainter& painter, const QRectF& square) {
    const Symbol& s = symbol();
    if (s.modules.isEmpty())
        return false;
    const QSizeF whole = s.size + QSizeF(2 * kQuietModules, 2 * kQuietModules);
    const double module =
        std::min(square.width() / whole.width(), square.height() / whole.height());
    const QPointF origin = square.center() - QPointF(whole.width(), whole.height()) * module / 2;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(origin, whole * module), Qt::white);
    painter.translate(origin + QPointF(kQuietModules, kQuietModules) * module);
    painter.scale(module, module);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const QRectF& r : s.modules)
        painter.fillRect(r, Qt::black);
    painter.restore();
    return true;
}

QImage TestCode::image(int modulePixels) {
    const Symbol& s = symbol();
    if (s.modules.isEmpty())
        return {};
    const QSize size =
        ((s.size + QSizeF(2 * kQuietModules, 2 * kQuietModules)) * modulePixels).toSize();
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, QRectF(QPointF(0, 0), size));
    return image;
}

void TestCode::paintPage(QPainter& painter, const QRectF& page) {
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(16);
    font.setBold(true);
    painter.setFont(font);
    const double line = painter.fontMetrics().height();
    QRectF text(page.left(), page.top(), page.width(), 2 * line);
    painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop,
                     QCoreApplication::translate("TestCode", "Korvel Agent test code"));
    font.setPointSizeF(11);
    font.setBold(false);
    painter.setFont(font);
    text.translate(0, 2 * line);
    text.setHeight(4 * line);
    painter.drawText(
        text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
        QCoreApplication::translate(
            "TestCode",
            "Choose Detect scanner in Korvel Agent's tray menu or window, then scan "
            "this code with the scanner. It tells the agent which scanner it is, which keyboard "
            "layout it was programmed for and how fast it types."));
    const double side = std::min(page.width() * 0.6, page.height() * 0.5);
    const QRectF square(page.center().x() - side / 2, text.bottom() + line, side, side);
    paint(painter, square);
    QRectF below(page.left(), square.bottom() + line, page.width(), 3 * line);
    painter.drawText(below, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     QCoreApplication::translate(
                         "TestCode",
                         "Data Matrix holding KV1, a space, the printable ASCII characters from ! "
                         "to ~ in code order, GS (29), then KV1 again."));
    painter.restore();
}

QString TestCode::writePdf(const QString& path) {
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(300);
    pdf.setTitle(QCoreApplication::translate("TestCode", "Korvel Agent test code"));
    pdf.setCreator(QStringLiteral("Korvel Agent"));
    QPainter painter;
    if (!painter.begin(&pdf))
        return QCoreApplication::translate("TestCode", "%1 cannot be written.").arg(path);
    const QRectF page(QPointF(0, 0), pdf.pageLayout().paintRectPixels(pdf.resolution()).size());
    paintPage(painter, page);
    return painter.end()
               ? QString()
               : QCoreApplication::translate("TestCode", "%1 cannot be written.").arg(path);
}
