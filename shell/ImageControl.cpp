#include "ImageControl.h"

#include "Bitmap.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace zk {

TImage::TImage(QWidget *parent)
    : QWidget(parent)
{
}

TImage::~TImage() = default;

void TImage::PictureChanged()
{
    if (TGraphic *g = m_picture.Graphic())
        g->SetTransparent(m_transparent);
    RenewDisplayCopy();
    if (m_autoSize)
        resize(sizeHint());
    updateGeometry();
    update();
}

void TImage::PictureAreaChanged(const QRect &area)
{
    const TGraphic *g = m_picture.Graphic();
    const auto *bmp = dynamic_cast<const TBitmap *>(g);
    if (!bmp || g != m_displayOf || m_display.isNull() || m_display.size() != QSize(g->Width(), g->Height())) {
        PictureChanged();
        return;
    }
    const QRect part = area.intersected(QRect(QPoint(0, 0), m_display.size()));
    for (int y = part.top(); y <= part.bottom(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(m_display.scanLine(y));
        for (int x = part.left(); x <= part.right(); ++x)
            row[x] = bmp->PixelRgb(x, y);
    }
    update(MapFromPicture(part));
}

void TImage::RenewDisplayCopy()
{
    const TGraphic *g = m_picture.Graphic();
    m_displayOf = g;
    m_display = QImage();
    if (!g || g->Empty() || g->Transparent())
        return;
    m_display = g->ToImage().convertToFormat(QImage::Format_RGB32);
}

void TImage::SetAutoSize(bool on)
{
    m_autoSize = on;
    PictureChanged();
}

void TImage::SetStretch(bool on)
{
    m_stretch = on;
    update();
}

void TImage::SetCenter(bool on)
{
    m_center = on;
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
    // The pen reaches half its width past the outline; a pixel more covers
    // the rounding of scaled views.
    const int m = std::max(1, frame.pen.width()) / 2 + 2;
    const QRect outer = MapFromPicture(frame.rect.adjusted(-m, -m, m, m)).adjusted(-1, -1, 1, 1);
    const QRect innerPic = frame.rect.adjusted(m, m, -m, -m);
    QRegion region(outer);
    if (innerPic.width() > 0 && innerPic.height() > 0)
        region -= MapFromPicture(innerPic).adjusted(1, 1, -1, -1);
    return region;
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

void TImage::paintEvent(QPaintEvent *event)
{
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
        const qreal sx = m_display.width() / target.width(), sy = m_display.height() / target.height();
        for (const QRect &exposed : event->region()) {
            const QRectF part = target.intersected(QRectF(exposed));
            if (part.isEmpty())
                continue;
            const QRectF source((part.x() - target.x()) * sx, (part.y() - target.y()) * sy, part.width() * sx,
                                part.height() * sy);
            painter.drawImage(part, m_display, source);
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
            painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
            painter.setPen(f->pen);
            painter.drawRect(QRectF(f->rect).adjusted(0.5, 0.5, -0.5, -0.5));
        }
    }
}

} // namespace zk
