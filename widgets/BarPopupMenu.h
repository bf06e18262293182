#pragma once
// A popup menu with a vertical bar down its left side (gradient, text read
// from bottom to top, an optional picture), and a sizing frame laid over
// another control. The arithmetic of both lives in free functions so it can
// be checked without a display.
#include "Colors.h"

#include <QFont>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QRgb>
#include <QString>
#include <QWidget>

namespace zk {

enum TBitmapVertAlignment { bvaTop, bvaBottom, bvaMiddle };
enum TBitmapHorzAlignment { bhaLeft, bhaRight, bhaCenter };

// Colour of bar row y (0 = first item's top) between start and end over a
// total height; a total of 0 gives the start colour instead of dividing by 0.
QRgb BarGradientRow(TColor start, TColor end, int y, int totalHeight);
// Column of the bar text: (barWidth - height of "X") / 2 - 0.5, rounded to
// the nearest integer with halves going to the even neighbour.
int BarTextX(int barWidth, int textHeightX);
// Row where the bottom-to-top text starts.
int BarTextStartRow(int totalHeight, int offsetY, int bitmapHeight, TBitmapVertAlignment va);
// Top-left corner of the bar picture.
QPoint BarBitmapPos(int totalHeight, int barWidth, QSize bitmap, TBitmapVertAlignment va,
                    TBitmapHorzAlignment ha, int offsetX, int offsetY);

class TBarPopupMenu : public QMenu {
    Q_OBJECT
public:
    explicit TBarPopupMenu(QWidget *parent = nullptr);
    TBarPopupMenu(const QString &title, QWidget *parent = nullptr);

    // The picture on the bar; Bitmap() makes an empty one on first use.
    QImage &Bitmap();
    void SetBitmap(const QImage &image);
    bool HasBitmap() const { return !m_bitmap.isNull() && !m_bitmap.size().isEmpty(); }
    // Keys out the picture's bottom-left colour while there is a picture.
    bool Transparent() const { return HasBitmap() && m_transparent; }
    void SetTransparent(bool on);

    int BarWidth() const { return m_barWidth; }
    void SetBarWidth(int w);
    int BitmapOffsetX = 0;
    int BitmapOffsetY = 0;
    TBitmapVertAlignment BitmapVertAlignment = bvaBottom;
    TBitmapHorzAlignment BitmapHorzAlignment = bhaLeft;
    TColor GradientStart = clBlue;
    TColor GradientEnd = clBlack;
    QFont VerticalFont() const { return m_font; }
    void SetVerticalFont(const QFont &f) { m_font = f; update(); }
    QColor VerticalFontColor = Qt::white;
    QString VerticalText;
    int VerticalTextOffsetY = -6;

    // Opens the menu at a global position (resets the bar for this popup).
    void Popup(int x, int y);
    // Height of the visible items as laid out now; what the bar spans.
    int TotalHeight() const;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    void init();
    void paintBar(QPainter &p, int top, int total);

    QImage m_bitmap;
    bool m_transparent = true;
    int m_barWidth = 31;
    QFont m_font;
};

// Hit zones of the sizing frame: the four corner boxes size, everything else
// moves. Numbers are those window managers use for hit tests.
enum TResizerHit { rhMove = 2, rhTopLeft = 13, rhTopRight = 14, rhBottomLeft = 16, rhBottomRight = 17 };
TResizerHit ResizerHitTest(int x, int y, int w, int h, int boxSize);
// Smallest control size when the control sets none.
inline int ResizerDefaultMin(int boxSize, int moveSize, int frameSize)
{
    return 2 * boxSize + moveSize - 2 * frameSize;
}

class TContResizer : public QWidget {
    Q_OBJECT
public:
    explicit TContResizer(QWidget *parent = nullptr);

    QWidget *Control() const { return m_control; }
    void SetControl(QWidget *control);
    int BoxSize = 5;
    int MoveSize = 9;
    int FrameSize = 1;
    TColor Color = clBlack;
    Qt::CursorShape MoveCursor = Qt::SizeAllCursor;

    // Limits of the control's size, taken when Control is set.
    int MinWidth = 15, MinHeight = 15, MaxWidth = 300, MaxHeight = 50;

    // Frame geometry in the parent's coordinates clamped to the limits.
    QRect ClampFrame(const QRect &frame, TResizerHit anchor) const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void follow();
    void place(const QRect &frame);
    void updateShape();
    QPointer<QWidget> m_control;
    TResizerHit m_drag = rhMove;
    bool m_dragging = false;
    QPoint m_pressGlobal;
    QRect m_pressGeometry;
};

} // namespace zk
