#include "BarPopupMenu.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QRegion>

#include <cmath>

namespace zk {

QRgb BarGradientRow(TColor start, TColor end, int y, int totalHeight)
{
    const QColor s = TColorToQColor(start);
    const QColor e = TColorToQColor(end);
    if (totalHeight <= 0)
        return s.rgb();
    // Integer division truncating toward zero, then kept to 8 bits, as the
    // bar always painted it; y never exceeds the total, so no wrap occurs.
    auto mix = [&](int a, int b) { return (a + (b - a) * y / totalHeight) & 0xFF; };
    return qRgb(mix(s.red(), e.red()), mix(s.green(), e.green()), mix(s.blue(), e.blue()));
}

int BarTextX(int barWidth, int textHeightX)
{
    const double w = barWidth - textHeightX;
    return static_cast<int>(std::nearbyint(w / 2.0 - 0.5)); // default mode: halves to even
}

int BarTextStartRow(int totalHeight, int offsetY, int bitmapHeight, TBitmapVertAlignment va)
{
    int row = totalHeight + offsetY;
    if (bitmapHeight > 0 && va == bvaBottom)
        row -= bitmapHeight;
    return row;
}

QPoint BarBitmapPos(int totalHeight, int barWidth, QSize bitmap, TBitmapVertAlignment va,
                    TBitmapHorzAlignment ha, int offsetX, int offsetY)
{
    int row = 0, col = 0;
    switch (va) {
    case bvaTop: row = offsetY; break;
    case bvaBottom: row = totalHeight + offsetY - bitmap.height(); break;
    case bvaMiddle: row = (totalHeight - bitmap.height()) / 2 + offsetY; break;
    }
    switch (ha) {
    case bhaLeft: col = offsetX; break;
    case bhaRight: col = barWidth - 2 + offsetX - bitmap.width(); break;
    case bhaCenter: col = (barWidth - 2 - bitmap.width()) / 2 + offsetX; break;
    }
    return {col, row};
}

TBarPopupMenu::TBarPopupMenu(QWidget *parent) : QMenu(parent) { init(); }

TBarPopupMenu::TBarPopupMenu(const QString &title, QWidget *parent) : QMenu(title, parent)
{
    init();
}

void TBarPopupMenu::init()
{
    // Tahoma where fontconfig has it, else its nearest sans.
    m_font = QFont(QStringLiteral("Tahoma"));
    m_font.setPointSize(14);
    m_font.setBold(true);
    m_font.setItalic(true);
    m_font.setStyleHint(QFont::SansSerif);
    VerticalText = QGuiApplication::applicationDisplayName();
    SetBarWidth(m_barWidth);
}

void TBarPopupMenu::SetBarWidth(int w)
{
    m_barWidth = qMax(0, w);
    // The items stand right of the bar: the left margin makes the room.
    QMargins m = contentsMargins();
    m.setLeft(m_barWidth);
    setContentsMargins(m);
    update();
}

QImage &TBarPopupMenu::Bitmap()
{
    if (m_bitmap.isNull())
        m_bitmap = QImage(0, 0, QImage::Format_RGB32);
    return m_bitmap;
}

void TBarPopupMenu::SetBitmap(const QImage &image)
{
    m_bitmap = image.copy();
    update();
}

void TBarPopupMenu::SetTransparent(bool on)
{
    if (HasBitmap())
        m_transparent = on;
}

void TBarPopupMenu::Popup(int x, int y)
{
    popup(QPoint(x, y));
}

int TBarPopupMenu::TotalHeight() const
{
    int top = INT_MAX, bottom = INT_MIN;
    for (QAction *a : actions()) {
        if (!a->isVisible())
            continue;
        const QRect r = actionGeometry(a);
        if (r.isEmpty())
            continue;
        top = qMin(top, r.top());
        bottom = qMax(bottom, r.bottom() + 1);
    }
    return top == INT_MAX ? 0 : bottom - top;
}

void TBarPopupMenu::paintEvent(QPaintEvent *e)
{
    QMenu::paintEvent(e);
    // The bar is painted on every paint event: a partial repaint (a changed
    // selection, an exposed strip) would otherwise leave a hole in it.
    int top = INT_MAX, left = INT_MAX;
    for (QAction *a : actions()) {
        if (!a->isVisible())
            continue;
        const QRect r = actionGeometry(a);
        if (r.isEmpty())
            continue;
        top = qMin(top, r.top());
        left = qMin(left, r.left());
    }
    if (top == INT_MAX)
        return;
    QPainter p(this);
    p.setClipRegion(e->region());
    p.translate(left - m_barWidth, top);
    paintBar(p, top, TotalHeight());
}

void TBarPopupMenu::paintBar(QPainter &p, int, int total)
{
    const int barPaint = m_barWidth - 2;
    if (barPaint > 0) {
        if (GradientStart != GradientEnd) {
            for (int y = 0; y <= total; ++y)
                p.fillRect(0, y, barPaint, 1, QColor(BarGradientRow(GradientStart, GradientEnd, y, total)));
        } else {
            p.fillRect(0, 0, barPaint, total + 1, TColorToQColor(GradientStart));
        }
    }

    const int bmpH = HasBitmap() ? m_bitmap.height() : 0;
    if (!VerticalText.isEmpty()) {
        p.save();
        p.setClipRect(QRect(0, 0, width() + m_barWidth, total + 1), Qt::IntersectClip);
        p.setFont(m_font);
        p.setPen(VerticalFontColor);
        const QFontMetrics fm(m_font);
        const int x = BarTextX(m_barWidth, fm.height());
        const int row = BarTextStartRow(total, VerticalTextOffsetY, bmpH, BitmapVertAlignment);
        // Text running upwards: its top edge faces left, its start is the
        // bottom end of the cell at (x - 1, row).
        p.translate(x - 1, row);
        p.rotate(-90);
        p.drawText(QPoint(0, fm.ascent()), VerticalText);
        p.restore();
    }

    if (HasBitmap()) {
        const QPoint at = BarBitmapPos(total, m_barWidth, m_bitmap.size(), BitmapVertAlignment,
                                       BitmapHorzAlignment, BitmapOffsetX, BitmapOffsetY);
        QImage img = m_bitmap.convertToFormat(QImage::Format_ARGB32);
        if (m_transparent) {
            // The bottom-left pixel names the colour to leave out.
            const QRgb key = img.pixel(0, img.height() - 1) | 0xFF000000u;
            for (int y = 0; y < img.height(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
                for (int x = 0; x < img.width(); ++x)
                    if ((row[x] | 0xFF000000u) == key)
                        row[x] = 0;
            }
        }
        p.drawImage(at, img);
    }
}

// --- sizing frame ---------------------------------------------------------

TResizerHit ResizerHitTest(int x, int y, int w, int h, int b)
{
    if (x <= b && y <= b)
        return rhTopLeft;
    if (x <= b && y >= h - b)
        return rhBottomLeft;
    if (x > b && x >= w - b && y <= b)
        return rhTopRight;
    if (x > b && x >= w - b && y >= h - b)
        return rhBottomRight;
    return rhMove;
}

TContResizer::TContResizer(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setCursor(MoveCursor);
    hide();
}

void TContResizer::SetControl(QWidget *control)
{
    if (m_control)
        disconnect(m_control, nullptr, this, nullptr);
    m_control = control;
    if (!control || !control->parentWidget()) {
        // Nothing to size, or nothing to lay the frame on.
        hide();
        return;
    }
    // A control that goes away takes the frame's reference with it.
    connect(control, &QObject::destroyed, this, [this] {
        m_control = nullptr;
        hide();
    });
    QWidget *parent = control->parentWidget();
    if (parentWidget() != parent)
        setParent(parent);

    const int defMin = ResizerDefaultMin(BoxSize, MoveSize, FrameSize);
    MinWidth = control->minimumWidth() > 0 ? control->minimumWidth() : defMin;
    MinHeight = control->minimumHeight() > 0 ? control->minimumHeight() : defMin;
    const int mw = control->maximumWidth(), mh = control->maximumHeight();
    MaxWidth = (mw != 0 && mw != QWIDGETSIZE_MAX) ? mw : parent->width();
    MaxHeight = (mh != 0 && mh != QWIDGETSIZE_MAX) ? mh : parent->height();

    const QRect g = control->geometry().adjusted(-FrameSize, -FrameSize, FrameSize, FrameSize);
    setGeometry(g);
    updateShape();
    show();
    raise();
}

QRect TContResizer::ClampFrame(const QRect &frame, TResizerHit anchor) const
{
    const int f2 = 2 * FrameSize;
    const int w = qBound(MinWidth + f2, frame.width(), qMax(MinWidth, MaxWidth) + f2);
    const int h = qBound(MinHeight + f2, frame.height(), qMax(MinHeight, MaxHeight) + f2);
    QRect r = frame;
    // The edge that is dragged gives way; the opposite one stays put.
    switch (anchor) {
    case rhTopLeft: r.setLeft(frame.right() - w + 1); r.setTop(frame.bottom() - h + 1); break;
    case rhTopRight: r.setWidth(w); r.setTop(frame.bottom() - h + 1); break;
    case rhBottomLeft: r.setLeft(frame.right() - w + 1); r.setHeight(h); break;
    default: r.setWidth(w); r.setHeight(h); break;
    }
    return r;
}

void TContResizer::follow()
{
    if (m_control)
        m_control->setGeometry(geometry().adjusted(FrameSize, FrameSize, -FrameSize, -FrameSize));
}

void TContResizer::updateShape()
{
    const int w = width(), h = height(), b = BoxSize;
    QRegion shape;
    shape += QRegion(0, 0, b, b);
    shape += QRegion(w - b, 0, b, b);
    shape += QRegion(0, h - b, b, b);
    shape += QRegion(w - b, h - b, b, b);
    shape += QRegion((w - MoveSize) / 2, (h - MoveSize) / 2, MoveSize, MoveSize, QRegion::Ellipse);
    setMask(shape);
}

void TContResizer::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), TColorToQColor(Color));
}

void TContResizer::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    updateShape();
    follow();
}

void TContResizer::moveEvent(QMoveEvent *e)
{
    QWidget::moveEvent(e);
    follow();
}

static Qt::CursorShape cursorFor(TResizerHit hit, Qt::CursorShape moveCursor)
{
    switch (hit) {
    case rhTopLeft:
    case rhBottomRight: return Qt::SizeFDiagCursor;
    case rhTopRight:
    case rhBottomLeft: return Qt::SizeBDiagCursor;
    default: return moveCursor;
    }
}

void TContResizer::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint pos = e->position().toPoint();
    m_drag = ResizerHitTest(pos.x(), pos.y(), width(), height(), BoxSize);
    m_dragging = true;
    m_pressGlobal = e->globalPosition().toPoint();
    m_pressGeometry = geometry();
}

void TContResizer::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    if (!m_dragging) {
        setCursor(cursorFor(ResizerHitTest(pos.x(), pos.y(), width(), height(), BoxSize), MoveCursor));
        return;
    }
    const QPoint d = e->globalPosition().toPoint() - m_pressGlobal;
    QRect g = m_pressGeometry;
    switch (m_drag) {
    case rhMove: g.translate(d); place(g); return;
    case rhTopLeft: g.setTopLeft(g.topLeft() + d); break;
    case rhTopRight: g.setTopRight(g.topRight() + d); break;
    case rhBottomLeft: g.setBottomLeft(g.bottomLeft() + d); break;
    case rhBottomRight: g.setBottomRight(g.bottomRight() + d); break;
    }
    place(ClampFrame(g, m_drag));
}

void TContResizer::place(const QRect &frame)
{
    // Move and resize events reach a hidden widget only when it is shown:
    // the control follows at once either way.
    setGeometry(frame);
    updateShape();
    follow();
}

void TContResizer::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
}

} // namespace zk
