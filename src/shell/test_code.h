#pragma once

#include <QImage>
#include <QPainter>
#include <QString>

// The test code as a Data Matrix (libzint), drawn crisply at any size: on screen,
// on a printed page and in a PDF.
namespace TestCode {

// Draws the symbol, its quiet zone included, centred in `square`. False when it
// cannot be encoded.
bool paint(QPainter& painter, const QRectF& square);
// The symbol with `modulePixels` pixels per module; null when it cannot be encoded.
QImage image(int modulePixels);
// A printable page: a title, how to use it, the symbol and what it holds.
void paintPage(QPainter& painter, const QRectF& page);
// The page as a one-page PDF; the error in words when it cannot be written.
QString writePdf(const QString& path);

} // namespace TestCode
