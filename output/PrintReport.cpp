#include "PrintReport.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>

namespace zk {

namespace {
constexpr double kScreenDpi = 96.0;
QFont labelFont()
{
    QFont f;
    f.setPointSize(10);
    return f;
}
} // namespace

TPrintReport::TLayout TPrintReport::Layout(const QSizeF &paper, double dpi, double textH) const
{
    const double mm = dpi / 25.4;
    const QRectF box(MarginLeft * mm, MarginTop * mm, paper.width() - (MarginLeft + MarginRight) * mm,
                     paper.height() - (MarginTop + MarginBottom) * mm);
    TLayout l;
    const double band = textH * 1.5;
    l.header = PageHeaderBand ? QRectF(box.left(), box.top(), box.width(), band) : QRectF(box.topLeft(), QSizeF(box.width(), 0));
    l.footer = PageFooterBand ? QRectF(box.left(), box.bottom() - band, box.width(), band)
                              : QRectF(QPointF(box.left(), box.bottom()), QSizeF(box.width(), 0));
    l.detail = QRectF(box.left(), l.header.bottom(), box.width(), l.footer.top() - l.header.bottom());

    const double px = dpi / kScreenDpi;
    const double fw = FrameWidth * px;
    QSizeF img(PrintPicRepImage.width() * px, PrintPicRepImage.height() * px);
    // A picture larger than the band is made to fit, keeping its shape; a
    // smaller one keeps its size at 96 dots per inch.
    const QSizeF room(qMax(1.0, l.detail.width() - 2 * fw), qMax(1.0, l.detail.height() - 2 * fw));
    if (img.width() > room.width() || img.height() > room.height())
        img.scale(room, Qt::KeepAspectRatio);
    double left = l.detail.left() + fw;
    if (CenterImage)
        left = l.detail.left() + (l.detail.width() - img.width()) / 2.0;
    l.image = QRectF(QPointF(left, l.detail.top() + fw), img);
    l.frame = l.image.adjusted(-fw, -fw, fw, fw);
    return l;
}

void TPrintReport::Prepare(QPrinter &printer) const
{
    printer.setFullPage(true);
    printer.setPageOrientation(Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TPrintReport::Paint(QPainter &p, QPrinter &printer) const
{
    const double dpi = printer.resolution();
    const QSizeF paper = printer.paperRect(QPrinter::DevicePixel).size();
    p.save();
    p.setFont(labelFont());
    const QFontMetricsF fm(p.font(), &printer);
    const TLayout l = Layout(paper, dpi, fm.height());
    p.setPen(Qt::black);
    if (PageHeaderBand)
        p.drawText(l.header, Qt::AlignLeft | Qt::AlignVCenter, OptTxtRepLabel);
    if (!PrintPicRepImage.isNull()) {
        if (FrameWidth > 0) {
            QPainterPath frame;
            frame.addRect(l.frame);
            frame.addRect(l.image);
            frame.setFillRule(Qt::OddEvenFill);
            p.fillPath(frame, TColorToQColor(FrameColor));
        }
        // Lossless: Qt's PDF engine would otherwise be free to store the
        // screenshot as a JPEG.
        p.setRenderHint(QPainter::LosslessImageRendering);
        p.drawImage(l.image, PrintPicRepImage);
    }
    if (PageFooterBand) {
        const double third = l.footer.width() / 3.0;
        const QString texts[3] = {DateRepLabel, TimeRepLabel, UserNameRepLabel};
        for (int i = 0; i < 3; ++i)
            p.drawText(QRectF(l.footer.left() + i * third, l.footer.top(), third, l.footer.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
    }
    p.restore();
}

} // namespace zk
