#include "ScanGeometry.h"

#include "Bitmap.h"

#include <QPolygon>

#include <algorithm>
#include <cstdlib>

namespace zk {

TScanShape ScanShapeOf(int scanTool)
{
    if (scanTool >= 0 && scanTool <= 4)
        return static_cast<TScanShape>(scanTool);
    return TScanShape::Rectangle;
}

QRect NormalizedDrag(const QPoint &press, const QPoint &end)
{
    return QRect(std::min(press.x(), end.x()), std::min(press.y(), end.y()), std::abs(end.x() - press.x()),
                 std::abs(end.y() - press.y()));
}

int TriangleApexX(int x1, int x2)
{
    // Integer division truncates toward zero, as the apex rule wants.
    return (x1 + x2) / 2;
}

std::array<QPoint, 3> DragTriangle(const QPoint &press, const QPoint &end)
{
    return {QPoint(press.x(), end.y()), QPoint(end.x(), end.y()),
            QPoint(TriangleApexX(press.x(), end.x()), press.y())};
}

bool TriangleApexAtBottom(int pressY, int endY)
{
    return endY <= pressY;
}

std::array<QPoint, 3> MaskTriangle(const QSize &size, bool apexAtBottom)
{
    const int w = size.width(), h = size.height();
    if (apexAtBottom)
        return {QPoint(0, 0), QPoint(w, 0), QPoint(w / 2, h)};
    return {QPoint(0, h), QPoint(w, h), QPoint(w / 2, 0)};
}

QPainterPath ShapeOutline(TScanShape shape, const QPoint &press, const QPoint &end)
{
    QPainterPath path;
    const QRect r = NormalizedDrag(press, end);
    switch (shape) {
    case TScanShape::Rectangle:
        path.addRect(r);
        break;
    case TScanShape::Triangle: {
        const auto t = DragTriangle(press, end);
        path.addPolygon(QPolygon({t[0], t[1], t[2], t[0]}));
        break;
    }
    case TScanShape::RoundRect: {
        const qreal radius = kRoundCornerSize / 2.0;
        path.addRoundedRect(r, std::min(radius, r.width() / 2.0), std::min(radius, r.height() / 2.0));
        break;
    }
    case TScanShape::Ellipse:
        path.addEllipse(r);
        break;
    case TScanShape::Window:
        break;
    }
    return path;
}

QRect ShapeDirtyBounds(TScanShape shape, const QPoint &press, const QPoint &end, int penWidth)
{
    if (shape == TScanShape::Window)
        return {};
    // Every outline lies within the normalised rectangle; the pen reaches
    // half its width beyond it, and a pixel more covers the rounding of the
    // raster engine.
    const QRect r(QPoint(std::min(press.x(), end.x()), std::min(press.y(), end.y())),
                  QPoint(std::max(press.x(), end.x()), std::max(press.y(), end.y())));
    const int m = penWidth / 2 + 2;
    return r.adjusted(-m, -m, m, m);
}

QRect CrossVerticalBounds(int x, const QSize &area, int penWidth)
{
    const int m = penWidth / 2 + 2;
    return QRect(x - m, 0, 2 * m + 1, area.height());
}

QRect CrossHorizontalBounds(int y, const QSize &area, int penWidth)
{
    const int m = penWidth / 2 + 2;
    return QRect(0, y - m, area.width(), 2 * m + 1);
}

Qt::PenStyle RubberPenStyle(int sBorder)
{
    return sBorder ? Qt::SolidLine : Qt::DotLine;
}

int RubberPenWidth(int sBForce)
{
    return std::clamp(sBForce, 0, 2) + 1;
}

TColor MaskColorByIndex(int index)
{
    static constexpr TColor colours[12] = {
        clBtnFace, 0x808080, 0x000000, 0xFFFFFF, 0x00FFFF, clInfoBk,
        0xFF0000,  0xFFFF00, 0x008080, 0x008000, 0x0000FF, 0x000080,
    };
    if (index < 0 || index > 11)
        return clNone;
    return colours[index];
}

namespace {

void maskOutside(TBitmap &bitmap, const QPainterPath &inside, TColor colour)
{
    if (bitmap.Empty() || colour == clNone)
        return;
    const QColor fill = TColorToQColor(colour);
    if (!fill.isValid())
        return;
    QPainterPath outside;
    outside.addRect(QRectF(0, 0, bitmap.Width(), bitmap.Height()));
    outside = outside.subtracted(inside);
    auto canvas = bitmap.Canvas();
    // No antialiasing: a pixel is either the mask colour or untouched.
    canvas->setRenderHint(QPainter::Antialiasing, false);
    canvas->setPen(Qt::NoPen);
    canvas->setBrush(fill);
    canvas->drawPath(outside);
}

} // namespace

void MaskPolygonOutside(TBitmap &bitmap, const std::array<QPoint, 3> &triangle, TColor colour)
{
    QPainterPath inside;
    inside.setFillRule(Qt::WindingFill);
    inside.addPolygon(QPolygonF({QPointF(triangle[0]), QPointF(triangle[1]), QPointF(triangle[2])}));
    inside.closeSubpath();
    maskOutside(bitmap, inside, colour);
}

void MaskEllipseOutside(TBitmap &bitmap, TColor colour)
{
    QPainterPath inside;
    inside.addEllipse(QRectF(0, 0, bitmap.Width(), bitmap.Height()));
    maskOutside(bitmap, inside, colour);
}

void MaskRoundRectOutside(TBitmap &bitmap, TColor colour)
{
    const qreal w = bitmap.Width(), h = bitmap.Height();
    const qreal radius = kRoundCornerSize / 2.0;
    QPainterPath inside;
    inside.addRoundedRect(QRectF(0, 0, w, h), std::min(radius, w / 2), std::min(radius, h / 2));
    maskOutside(bitmap, inside, colour);
}

void MaskShapeOutside(TBitmap &bitmap, TScanShape shape, bool apexAtBottom, TColor colour)
{
    switch (shape) {
    case TScanShape::Triangle:
        MaskPolygonOutside(bitmap, MaskTriangle(QSize(bitmap.Width(), bitmap.Height()), apexAtBottom), colour);
        break;
    case TScanShape::RoundRect:
        MaskRoundRectOutside(bitmap, colour);
        break;
    case TScanShape::Ellipse:
        MaskEllipseOutside(bitmap, colour);
        break;
    case TScanShape::Rectangle:
    case TScanShape::Window:
        break;
    }
}

int ClampLoupeFactor(int factor)
{
    return std::clamp(factor, 1, 10);
}

int LoupeSourceSize(int factor)
{
    return kLoupeImageSize / ClampLoupeFactor(factor);
}

QRect LoupeSourceRect(const QPoint &cursor, int factor)
{
    const int f = LoupeSourceSize(factor);
    return QRect(cursor.x() - f, cursor.y() - f, f, f);
}

QPoint PlaceMagnifier(const QPoint &cursor, const QSize &screen, const QPoint &current)
{
    const int hw = screen.width() / 2, hh = screen.height() / 2;
    const int cx = cursor.x(), cy = cursor.y();
    const int farLeft = screen.width() - (kLoupeClientWidth + 12);
    const int farTop = screen.height() - (kLoupeClientHeight + 13);
    if (hw > cx && hh > cy)
        return QPoint(farLeft, farTop);
    if (hw < cx && hh < cy)
        return QPoint(10, 10);
    if (hw < cx && hh > cy)
        return QPoint(10, farTop);
    if (hw > cx && hh < cy)
        return QPoint(farLeft, 10);
    return current;
}

QString CoordHintText(int x, int y)
{
    return QStringLiteral("%1, %2").arg(x).arg(y);
}

QRect CoordHintRect(const QPoint &anchor, const QSize &textSize)
{
    return QRect(anchor.x() + 19, anchor.y() - 10, textSize.width() + 8, textSize.height());
}

bool TCoordHintTracker::Moved(const QPoint &cursor)
{
    if (std::abs(cursor.x() - m_last.x()) < 2 && std::abs(cursor.y() - m_last.y()) < 2)
        return false;
    m_last = cursor;
    return true;
}

TScanKeyAction ScanKeyDown(int key, Qt::KeyboardModifiers modifiers, TScanShape shape, bool keyDragRunning)
{
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool ctrl = modifiers & Qt::ControlModifier;

    if (key == Qt::Key_Return || key == Qt::Key_Enter || (key == Qt::Key_Space && shape == TScanShape::Window))
        return {TScanKeyAction::WindowCapture, {}};

    QPoint step;
    switch (key) {
    case Qt::Key_Left: step = QPoint(-1, 0); break;
    case Qt::Key_Up: step = QPoint(0, -1); break;
    case Qt::Key_Right: step = QPoint(1, 0); break;
    case Qt::Key_Down: step = QPoint(0, 1); break;
    default: break;
    }
    const bool arrow = !step.isNull();

    if ((key == Qt::Key_Shift || (shift && arrow)) && !keyDragRunning)
        return {TScanKeyAction::StartKeyDrag, {}};
    if (!arrow)
        return {};
    const int distance = ctrl ? 15 : 1;
    if (shift)
        return {TScanKeyAction::KeyDragMove, step * distance};
    return {TScanKeyAction::MoveCursor, step * distance};
}

bool ScanKeyUpReleases(int key, bool keyDragRunning)
{
    return key == Qt::Key_Shift && keyDragRunning;
}

QRect WindowCaptureRect(const std::optional<QRect> &windowBounds, const QSize &screen)
{
    const QRect whole(QPoint(0, 0), screen);
    if (!windowBounds)
        return whole;
    const QRect clipped = windowBounds->intersected(whole);
    return clipped.isEmpty() ? whole : clipped;
}

QString ValidateCoordRect(int x, int y, int w, int h, const QSize &screen)
{
    if (w < 1 || h < 1)
        return QStringLiteral("showmsg_coordscan_invalid_value");
    // 64-bit sums: the edits take any number of digits.
    if (qint64(x) + w > screen.width() || x < 0)
        return QStringLiteral("showmsg_coordscan_unlogical_widthval");
    if (qint64(y) + h > screen.height() || y < 0)
        return QStringLiteral("showmsg_coordscan_unlogical_heightval");
    return {};
}

bool CoordCloseAllowed(bool cancelled, int x, int y, int w, int h, const QSize &screen)
{
    return cancelled || ValidateCoordRect(x, y, w, h, screen).isEmpty();
}

QSize FitClientSize(const TFitLayout &layout, const QSize &maxClient)
{
    int w = layout.picture.width() + 4;
    if (layout.fileExp)
        w = layout.picture.width() + layout.rightDockWidth + layout.leftDockWidth + 8;
    int h = layout.picture.height() + layout.controlBarHeight + layout.statusBarHeight + layout.bottomDockHeight + 7;
    if (maxClient.isValid()) {
        w = std::min(w, maxClient.width());
        h = std::min(h, maxClient.height());
    }
    return QSize(w, h);
}

QPoint CenteredTopLeft(const QSize &frameSize, const QRect &desktop)
{
    return QPoint(desktop.x() + (desktop.width() - frameSize.width()) / 2,
                  desktop.y() + (desktop.height() - frameSize.height()) / 2);
}

} // namespace zk
