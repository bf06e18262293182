#include "ImageControl.h"
#include "PixelRows.h"

#include "Bitmap.h"

#include <QPaintEvent>
#include <QPainter>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

// The raster engine hands a fill of more than about 64 rows to its thread
// pool. For the thin strips a frame move repaints, the hand-off costs more
// than the fill itself, so tall narrow areas are painted in bands.
template <class Paint>
void ForEachBand(const QRect &area, const Paint &paint)
{
    constexpr int kBandRows = 48;
    if (area.height() <= kBandRows || area.width() > 256) {
        paint(area);
        return;
    }
    for (int y = area.top(); y <= area.bottom(); y += kBandRows)
        paint(QRect(area.left(), y, area.width(), std::min(kBandRows, area.bottom() - y + 1)));
}

// The nearest-pixel scaling of a whole picture, its rows shared out among
// the processor's threads: every band paints its own rows of the target
// with the same transform, so the bands meet without a seam.
QImage ScaledInBands(const QImage &source, QSize size)
{
    QImage target(size, QImage::Format_RGB32);
    if (target.isNull() || source.isNull())
        return target;
    const int bands = std::clamp(QThread::idealThreadCount(), 1, 8);
    const int rows = (size.height() + bands - 1) / bands;
    QList<int> tops;
    for (int top = 0; top < size.height(); top += rows)
        tops.append(top);
    QtConcurrent::blockingMap(tops, [&](int top) {
        const int h = std::min(rows, size.height() - top);
        QImage band(target.scanLine(top), size.width(), h, target.bytesPerLine(), QImage::Format_RGB32);
        QPainter p(&band);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QRectF(0, -top, size.width(), size.height()), source);
    });
    return target;
}

} // namespace

TImage::TImage(QWidget *parent)
    : QWidget(parent)
{
}

TImage::~TImage() = default;

void TImage::PictureChanged()
{
    if (TGraphic *g = m_picture.Graphic())
        g->SetTransparent(m_transparent);
    // The display copy is made by the next paint, not here: a capture that
    // is saved at once then encodes without first waiting for a copy of the
    // whole picture. Its buffer stays for that paint to fill again.
    m_displayOf = nullptr;
    m_announced = m_picture.Graphic();
    m_scaled = QImage();
    ++m_generation;
    if (m_autoSize)
        resize(sizeHint());
    updateGeometry();
    UpdateOpaque();
    update();
    emit OnChange();
}

void TImage::PictureAreaChanged(const QRect &area)
{
    const TGraphic *g = m_picture.Graphic();
    const auto *bmp = dynamic_cast<const TBitmap *>(g);
    if (bmp && !m_displayOf && g == m_announced) {
        // Announced and not painted since: the whole control is already due
        // for a repaint, which makes the display copy from the picture as it
        // is now. Announcing again would put the picture's size back into
        // the status bar over the pointer position.
        ++m_generation;
        return;
    }
    if (!bmp || g != m_displayOf || m_display.isNull() || m_display.size() != QSize(g->Width(), g->Height())) {
        PictureChanged();
        return;
    }
    const QRect part = area.intersected(QRect(QPoint(0, 0), m_display.size()));
    ++m_generation;
    m_scaled = QImage();
    for (int y = part.top(); y <= part.bottom(); ++y)
        bmp->ReadPixels(part.left(), y, part.width(), reinterpret_cast<QRgb *>(m_display.scanLine(y)) + part.left());
    update(MapFromPicture(part));
}

void TImage::UpdateOpaque()
{
    // What paintEvent paints: the picture at its own size, or a copy at the
    // shown size covering the aligned picture rectangle.
    const TGraphic *g = m_picture.Graphic();
    bool covered = false;
    if (g && !g->Empty() && !g->Transparent()) {
        const QRectF target = PictureRect();
        const QSize size(g->Width(), g->Height());
        const bool scaled = target.size() != QSizeF(size);
        covered = (scaled ? target.toAlignedRect() : QRect(target.topLeft().toPoint(), size)).contains(rect());
    }
    if (testAttribute(Qt::WA_OpaquePaintEvent) != covered)
        setAttribute(Qt::WA_OpaquePaintEvent, covered);
}

void TImage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    UpdateOpaque();
}

void TImage::RenewDisplayCopy()
{
    const TGraphic *g = m_picture.Graphic();
    m_displayOf = g;
    m_scaled = QImage();
    if (!g || g->Empty() || g->Transparent()) {
        m_display = QImage();
        return;
    }
    const auto *bmp = dynamic_cast<const TBitmap *>(g);
    if (bmp && bmp->PixelFormat() == pf24bit) {
        // A capture: its rows widened straight into the copy the picture
        // before had, when the size is the same. A fresh copy of a screen
        // through an interim one cost two buffers' page clearing each time.
        const QSize size(bmp->Width(), bmp->Height());
        if (m_display.size() != size || m_display.format() != QImage::Format_RGB32)
            m_display = QImage(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            Row24To32(m_display.scanLine(y), bmp->ScanLine(y), size.width());
        return;
    }
    m_display = QImage(); // gone before the new one is made
    m_display = g->ToImage().convertToFormat(QImage::Format_RGB32);
}

void TImage::SetAutoSize(bool on)
{
    // Only the control's size follows; the picture and its display copy
    // stay as they are.
    m_autoSize = on;
    if (on)
        resize(sizeHint());
    updateGeometry();
    update();
}

void TImage::SetStretch(bool on)
{
    m_stretch = on;
    UpdateOpaque();
    update();
}

void TImage::SetCenter(bool on)
{
    m_center = on;
    UpdateOpaque();
    update();
}

void TImage::SetTransparent(bool on)
{
    m_transparent = on;
    PictureChanged();
}

QSize TImage::sizeHint() const
{
    if (m_picture.Empty())
        return QSize(0, 0);
    const qreal dpr = devicePixelRatioF();
    return QSize(int(std::ceil(m_picture.Width() / dpr)), int(std::ceil(m_picture.Height() / dpr)));
}

QRectF TImage::PictureRect() const
{
    if (m_picture.Empty())
        return {};
    if (m_stretch)
        return QRectF(rect());
    const qreal dpr = devicePixelRatioF();
    QRectF r(0, 0, m_picture.Width() / dpr, m_picture.Height() / dpr);
    if (m_center)
        r.moveCenter(QRectF(rect()).center());
    return r;
}

QPoint TImage::MapToPicture(const QPointF &pos) const
{
    const QRectF r = PictureRect();
    if (r.isEmpty())
        return pos.toPoint();
    return QPoint(int(std::floor((pos.x() - r.x()) * m_picture.Width() / r.width())),
                  int(std::floor((pos.y() - r.y()) * m_picture.Height() / r.height())));
}

QRect TImage::MapFromPicture(const QRect &pictureRect) const
{
    const QRectF r = PictureRect();
    if (r.isEmpty())
        return pictureRect;
    const qreal sx = r.width() / m_picture.Width(), sy = r.height() / m_picture.Height();
    const QPointF tl(r.x() + pictureRect.x() * sx, r.y() + pictureRect.y() * sy);
    const QPointF br(r.x() + (pictureRect.x() + pictureRect.width()) * sx,
                     r.y() + (pictureRect.y() + pictureRect.height()) * sy);
    return QRect(QPoint(int(std::floor(tl.x())), int(std::floor(tl.y()))),
                 QPoint(int(std::ceil(br.x())) - 1, int(std::ceil(br.y())) - 1));
}

QRegion TImage::FrameRegion(const TFrame &frame) const
{
    // Exactly the pixels of the strips; a scaled view rounds, so a pixel more
    // on each side there.
    const QRectF shown = PictureRect();
    const bool scaled = !shown.isEmpty() && (shown.width() != m_picture.Width() || shown.height() != m_picture.Height());
    QRegion region;
    if (frame.focus) {
        const QRect r = MapFromPicture(frame.rect);
        region = QRegion(r) - QRegion(r.adjusted(1, 1, -1, -1));
    } else {
        for (const QRect &strip : FrameStrips(frame.rect, frame.pen.width()))
            if (!strip.isEmpty())
                region += MapFromPicture(strip);
    }
    if (!scaled)
        return region;
    QRegion grown;
    for (const QRect &r : region)
        grown += r.adjusted(-1, -1, 1, 1);
    return grown;
}

void TImage::SetFrame(TFrameSlot slot, const std::optional<TFrame> &frame)
{
    if (m_frames[slot] == frame)
        return;
    QRegion dirty;
    if (m_frames[slot])
        dirty += FrameRegion(*m_frames[slot]);
    m_frames[slot] = frame;
    if (frame)
        dirty += FrameRegion(*frame);
    update(dirty);
}

void TImage::ClearFrames()
{
    for (int i = 0; i < FrameSlotCount; ++i)
        SetFrame(TFrameSlot(i), std::nullopt);
}

std::array<QRect, 4> TImage::FrameStrips(const QRect &rect, int penWidth)
{
    // The pen is centred on the outline through the outermost pixels of rect.
    const int lw = std::max(1, penWidth);
    const int before = (lw - 1) / 2, after = lw - 1 - before;
    const QRect outer(QPoint(rect.left() - before, rect.top() - before),
                      QPoint(rect.right() + after, rect.bottom() + after));
    const int side = std::max(0, outer.height() - 2 * lw);
    return {QRect(outer.left(), outer.top(), outer.width(), lw),
            QRect(outer.left(), std::max(outer.top() + lw, outer.bottom() - lw + 1), outer.width(),
                  std::min(lw, std::max(0, outer.height() - lw))),
            QRect(outer.left(), outer.top() + lw, std::min(lw, outer.width()), side),
            QRect(std::max(outer.left() + lw, outer.right() - lw + 1), outer.top() + lw,
                  std::min(lw, std::max(0, outer.width() - lw)), side)};
}

void TImage::paintEvent(QPaintEvent *event)
{
    UpdateOpaque();
    const TGraphic *g = m_picture.Graphic();
    if (!g || g->Empty())
        return;
    if (g != m_displayOf || (!g->Transparent() && m_display.size() != QSize(g->Width(), g->Height())))
        RenewDisplayCopy();
    QPainter painter(this);
    const QRectF target = PictureRect();
    if (m_display.isNull()) {
        g->Draw(painter, target.toRect());
    } else {
        // A scaled view paints from one copy at the shown size, made once per
        // size: every later repaint copies only what is exposed.
        const QRect shown = target.toAlignedRect();
        const bool scaled = target != QRectF(target.topLeft(), QSizeF(m_display.size()));
        if (scaled && m_scaled.size() != shown.size())
            m_scaled = ScaledInBands(m_display, shown.size());
        else if (!scaled)
            m_scaled = QImage();
        const QImage &source = scaled ? m_scaled : m_display;
        const QPoint origin = scaled ? shown.topLeft() : target.topLeft().toPoint();
        for (const QRect &exposed : event->region()) {
            const QRect part = QRect(origin, source.size()).intersected(exposed);
            if (part.isEmpty())
                continue;
            ForEachBand(part, [&](const QRect &band) {
                painter.drawImage(band.topLeft(), source, band.translated(-origin));
            });
        }
    }

    // The frames: scaled like the picture, hard edges.
    const qreal scaleX = target.width() / g->Width(), scaleY = target.height() / g->Height();
    painter.setTransform(QTransform(scaleX, 0, 0, scaleY, target.x(), target.y()));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    for (const std::optional<TFrame> &f : m_frames) {
        if (!f || f->rect.isEmpty())
            continue;
        if (f->focus) {
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
            painter.drawRect(QRectF(f->rect).adjusted(0.5, 0.5, -0.5, -0.5));
        } else {
            // Four strips instead of a stroked outline: the raster engine
            // strokes a large rectangle far more slowly than it fills a few
            // thin rectangles, and a move repaints this on every step. The
            // strips do not overlap, so not-xor touches each pixel once.
            painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
            painter.setPen(Qt::NoPen);
            const QBrush brush(f->pen.color(), f->pen.style() == Qt::SolidLine ? Qt::SolidPattern : Qt::Dense4Pattern);
            for (const QRect &strip : FrameStrips(f->rect, f->pen.width()))
                ForEachBand(strip, [&](const QRect &band) { painter.fillRect(band, brush); });
        }
    }
}

} // namespace zk
