#include "MoveRect.h"

#include "EditCommands.h"
#include "ScanGeometry.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zk {

TRectOrientation OrientationOf(const QPoint &anchor, const QPoint &corner)
{
    const bool right = corner.x() > anchor.x(), left = corner.x() < anchor.x();
    const bool below = corner.y() > anchor.y(), above = corner.y() < anchor.y();
    if (right && below)
        return TRectOrientation::RightBelow;
    if (left && below)
        return TRectOrientation::LeftBelow;
    if (right && above)
        return TRectOrientation::RightAbove;
    if (left && above)
        return TRectOrientation::LeftAbove;
    return TRectOrientation::None;
}

QRect NormalRect(const QPoint &anchor, const QPoint &corner)
{
    if (OrientationOf(anchor, corner) == TRectOrientation::None)
        return QRect(anchor, QSize(0, 0));
    return NormalizedDrag(anchor, corner);
}

namespace {

bool CornerRight(TRectOrientation o)
{
    return o == TRectOrientation::RightBelow || o == TRectOrientation::RightAbove;
}

bool CornerBelow(TRectOrientation o)
{
    return o == TRectOrientation::RightBelow || o == TRectOrientation::LeftBelow;
}

} // namespace

bool TMoveRect::HitInside(const QPoint &p)
{
    if (!Normalized().contains(p))
        return false;
    Inside = true;
    return true;
}

int TMoveRect::HitGrabber(const QPoint &p) const
{
    if (!Grabber.contains(p))
        return 0;
    switch (Orientation()) {
    case TRectOrientation::RightBelow:
    case TRectOrientation::LeftAbove:
        return 1;
    case TRectOrientation::LeftBelow:
    case TRectOrientation::RightAbove:
        return 2;
    case TRectOrientation::None:
        break;
    }
    return 0;
}

void TMoveRect::SetGrabberAtCorner()
{
    const TRectOrientation o = Orientation();
    if (o == TRectOrientation::None) {
        Grabber = QRect();
        return;
    }
    const int x = CornerRight(o) ? Corner.x() : Corner.x() - kGrabberSize;
    const int y = CornerBelow(o) ? Corner.y() : Corner.y() - kGrabberSize;
    Grabber = QRect(x, y, kGrabberSize, kGrabberSize);
}

void TMoveRect::StartMove(const QPoint &p)
{
    const TRectOrientation o = Orientation();
    GrabOffset = QPoint(CornerRight(o) ? p.x() - Anchor.x() : Anchor.x() - p.x(),
                        CornerBelow(o) ? p.y() - Anchor.y() : Anchor.y() - p.y());
}

void TMoveRect::MoveTo(const QPoint &p)
{
    const TRectOrientation o = Orientation();
    if (o == TRectOrientation::None)
        return;
    const int sx = CornerRight(o) ? 1 : -1;
    const int sy = CornerBelow(o) ? 1 : -1;
    Anchor = QPoint(p.x() - sx * GrabOffset.x(), p.y() - sy * GrabOffset.y());
    Corner = QPoint(Anchor.x() + sx * Extent.width(), Anchor.y() + sy * Extent.height());
    SetGrabberAtCorner();
}

void TMoveRect::TakeExtent(const QPoint &up)
{
    Extent = QSize(std::abs(Corner.x() - Anchor.x()), std::abs(Corner.y() - Anchor.y()));
    UpPoint = up;
    SetGrabberAtCorner();
}

void TMoveRect::Deactivate()
{
    Active = Dragging = Drawing = Inside = Sizing = false;
}

// ---------------------------------------------------------------------------

std::optional<TColor> CropLineColor(int index)
{
    static constexpr TColor table[13] = {
        0x808080, clGrayText, clBlack, clWhite,  0x00FFFF, clInfoBk, 0xFF0000,
        0xFFFF00, 0x008080,   0x008000, 0x0000FF, 0x000080, clBlack,
    };
    if (index < 0 || index > 12)
        return std::nullopt;
    return table[index];
}

int ClampCropLineWidth(int width)
{
    return std::clamp(width, 1, 5);
}

int ClampTextPoints(int points)
{
    return std::clamp(points, 6, 72);
}

int TextPixelSize(int points)
{
    return int(std::lround(points * 96.0 / 72.0));
}

void DrawTextAt(TBitmap &bitmap, const QPoint &origin, const QString &text, const QString &fontName,
                int points, int colorIndex)
{
    if (bitmap.Empty() || text.isEmpty())
        return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (!fontName.isEmpty() && QFontDatabase::hasFamily(fontName))
        font.setFamily(fontName);
    font.setPixelSize(TextPixelSize(ClampTextPoints(points)));
    QColor colour = TColorToQColor(TextPenColor(colorIndex));
    if (!colour.isValid())
        colour = Qt::black;
    std::unique_ptr<TCanvas> canvas = bitmap.Canvas();
    canvas->setFont(font);
    canvas->setPen(colour);
    canvas->setBackgroundMode(Qt::TransparentMode);
    // The box reaches past the picture so a long text is cut by the picture,
    // not wrapped or elided.
    canvas->drawText(QRect(origin, QSize(1 << 20, 1 << 20)), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     text);
}

QRect CutArea(const QPoint &start, const QPoint &end, const QSize &picture)
{
    // Positions past the edges (a drag beyond the picture) count as the edge.
    const auto held = [&picture](const QPoint &p) {
        return QPoint(std::clamp(p.x(), 0, picture.width()), std::clamp(p.y(), 0, picture.height()));
    };
    return NormalRect(held(start), held(end));
}

TBitmap CropBitmap(const TBitmap &source, const QRect &area)
{
    const QRect r = area.intersected(QRect(0, 0, source.Width(), source.Height()));
    TBitmap out(std::max(r.width(), 0), std::max(r.height(), 0), source.PixelFormat());
    if (source.BitsPerPixel() <= 8)
        out.SetPalette(source.Palette());
    if (r.isEmpty())
        return out;
    const int bpp = source.BitsPerPixel();
    for (int y = 0; y < r.height(); ++y) {
        const uchar *in = source.ScanLine(r.top() + y);
        uchar *row = out.ScanLine(y);
        if (bpp >= 8) {
            const int bytes = (bpp + 7) / 8; // 15 bits take two bytes
            std::memcpy(row, in + std::size_t(r.left()) * bytes, std::size_t(r.width()) * bytes);
            continue;
        }
        // 1 and 4 bits: pixels packed from the high bits of each byte.
        const int perByte = 8 / bpp;
        const int mask = (1 << bpp) - 1;
        std::memset(row, 0, BytesPerRow(r.width(), bpp));
        for (int x = 0; x < r.width(); ++x) {
            const int sx = r.left() + x;
            const int v = (in[sx / perByte] >> ((perByte - 1 - sx % perByte) * bpp)) & mask;
            row[x / perByte] |= uchar(v << ((perByte - 1 - x % perByte) * bpp));
        }
    }
    return out;
}

QPoint ArrowStep(int key, Qt::KeyboardModifiers modifiers)
{
    // The overlay's key rules without Shift: a plain pointer move.
    const TScanKeyAction a = ScanKeyDown(key, modifiers & Qt::ControlModifier, TScanShape::Rectangle, true);
    return a.kind == TScanKeyAction::MoveCursor ? a.delta : QPoint();
}

} // namespace zk
