#pragma once
// The printed page of a picture: an optional header line, the picture in a
// coloured frame, and an optional footer with date, time and user name.
// It paints on any QPrinter (a queue, a PDF file or the preview's printer).
#include "Colors.h"

#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;
class QPrinter;

namespace zk {

class TPrintReport {
public:
    // Bands and their controls.
    bool PageHeaderBand = false;
    QString OptTxtRepLabel;
    QImage PrintPicRepImage;
    TColor FrameColor = clBlue;
    int FrameWidth = 0;          // in screen pixels (96 per inch)
    bool PageFooterBand = false;
    QString DateRepLabel, TimeRepLabel, UserNameRepLabel;
    // Page margins in millimetres.
    double MarginTop = 20.0, MarginBottom = 20.0, MarginLeft = 15.0, MarginRight = 15.0;
    bool CenterImage = false;    // PrGraphicAlign 1
    bool Landscape = false;      // PrPrintDocAlign 1
    int PrinterIndex = 0;

    // Geometry of one page in device pixels of a printer at `dpi`, with the
    // paper's top-left corner at (0, 0).
    struct TLayout {
        QRectF header, detail, footer;
        QRectF image; // where the picture lands (scaled down only if too large)
        QRectF frame; // outer edge of the frame around it
    };
    TLayout Layout(const QSizeF &paperPx, double dpi, double textHeightPx) const;

    // Paints the page; the painter's origin must be the paper's corner
    // (QPrinter::setFullPage(true)).
    void Paint(QPainter &p, QPrinter &printer) const;
    // Sets up the printer's orientation and full-page mode for Paint.
    void Prepare(QPrinter &printer) const;
};

} // namespace zk
