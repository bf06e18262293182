#pragma once
// The arithmetic of the capture overlay, kept apart from any window so it can
// be checked without a display: the dragged shapes and their bounds, the masks
// painted outside non-rectangular shapes, where the loupe and the coordinate
// hint go, what the keys do, the checks of the typed-coordinates dialog and
// the size and place of the main window after a capture.
#include "Colors.h"

#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

namespace zk {

class TBitmap;

// The shapes of capture modes 0..4 (the option ScanTool).
enum class TScanShape { Rectangle = 0, Triangle = 1, RoundRect = 2, Ellipse = 3, Window = 4 };
// Modes outside 0..4 are no overlay modes; they count as the rectangle here.
TScanShape ScanShapeOf(int scanTool);

// Rounded corners are quarter ellipses 40 pixels wide and high.
constexpr int kRoundCornerSize = 40;

// ---- the dragged area

// The rectangle between press point and end point, whichever way the drag
// went: top-left at the smaller coordinates, width |dx| and height |dy|.
QRect NormalizedDrag(const QPoint &press, const QPoint &end);

// The apex of the dragged triangle lies midway between the x of the press
// and end points (rounded toward zero).
int TriangleApexX(int x1, int x2);
// The triangle drawn while dragging: base along the end point's y, apex at
// the press point's y.
std::array<QPoint, 3> DragTriangle(const QPoint &press, const QPoint &end);
// A triangle dragged upward (or level) has its apex at the bottom of the
// captured picture; one dragged downward at the top.
bool TriangleApexAtBottom(int pressY, int endY);
// The triangle inside a picture of size w x h.
std::array<QPoint, 3> MaskTriangle(const QSize &size, bool apexAtBottom);

// The outline drawn on the overlay for a drag from press to end.
QPainterPath ShapeOutline(TScanShape shape, const QPoint &press, const QPoint &end);
// Everything a pen of penWidth touches when drawing that outline (what must
// be repainted to remove it again).
QRect ShapeDirtyBounds(TScanShape shape, const QPoint &press, const QPoint &end, int penWidth);
// The same for the crosshair lines through (x, y) across an area of size.
QRect CrossVerticalBounds(int x, const QSize &area, int penWidth);
QRect CrossHorizontalBounds(int y, const QSize &area, int penWidth);

// The pen of the rubber band: solid with SBorder on, dotted otherwise; 1, 2
// or 3 pixels wide for SBForce 0, 1, 2 (other values clamped).
Qt::PenStyle RubberPenStyle(int sBorder);
int RubberPenWidth(int sBForce);

// ---- masks outside non-rectangular shapes

// The mask colours by the option ShapeColorBg (0..11); clNone otherwise.
TColor MaskColorByIndex(int index);

// Fill everything of the picture outside the shape with colour. clNone
// leaves the picture as it is. Inside pixels keep their values exactly.
void MaskPolygonOutside(TBitmap &bitmap, const std::array<QPoint, 3> &triangle, TColor colour);
void MaskEllipseOutside(TBitmap &bitmap, TColor colour);
void MaskRoundRectOutside(TBitmap &bitmap, TColor colour);
// The mask of a capture mode; nothing for the rectangle and the window.
void MaskShapeOutside(TBitmap &bitmap, TScanShape shape, bool apexAtBottom, TColor colour);

// ---- loupe

constexpr int kLoupeClientWidth = 176;
constexpr int kLoupeClientHeight = 225;
constexpr int kLoupeImageSize = 170;

// The enlargement factor LFaktor, held to 1..10 whatever the store says.
int ClampLoupeFactor(int factor);
// The side of the square of the screen the loupe enlarges.
int LoupeSourceSize(int factor);
// The square enlarged for the cursor at (x, y): its lower-right corner is the
// cursor.
QRect LoupeSourceRect(const QPoint &cursor, int factor);

// Where the loupe goes: into the quarter of the screen diagonally opposite
// the cursor. A cursor exactly on a half line leaves it at current.
QPoint PlaceMagnifier(const QPoint &cursor, const QSize &screen, const QPoint &current);

// ---- coordinate hint

// "x, y".
QString CoordHintText(int x, int y);
// The hint's bounds for its anchor point (the cursor's point moved down by
// the cursor's height) and the size of its text.
QRect CoordHintRect(const QPoint &anchor, const QSize &textSize);

// The hint follows the cursor only after it has moved two pixels or more in
// x or in y since the last update, so it does not flicker on every pixel.
class TCoordHintTracker
{
public:
    // True (and the position remembered) when the hint should move.
    bool Moved(const QPoint &cursor);
    void Reset(const QPoint &cursor = {}) { m_last = cursor; }
    QPoint Last() const { return m_last; }

private:
    QPoint m_last;
};

// ---- keyboard

struct TScanKeyAction
{
    enum Kind {
        None,
        WindowCapture, // capture the window under the cursor and end
        StartKeyDrag,  // a press at the cursor; the drag runs while Shift is held
        MoveCursor,    // move the cursor by delta
        KeyDragMove,   // move the cursor by delta, then a drag move there
    };
    Kind kind = None;
    QPoint delta;
    bool operator==(const TScanKeyAction &) const = default;
};

TScanKeyAction ScanKeyDown(int key, Qt::KeyboardModifiers modifiers, TScanShape shape, bool keyDragRunning);
// Letting Shift go ends a keyboard drag with a release at the cursor.
bool ScanKeyUpReleases(int key, bool keyDragRunning);

// ---- window under the cursor

// What a window capture copies: the window's outer bounds clipped to the
// screen; the whole screen when no window was found there.
QRect WindowCaptureRect(const std::optional<QRect> &windowBounds, const QSize &screen);

// ---- typed coordinates

// The message key that refuses the rectangle, or an empty string when it is
// acceptable: W and H at least 1, and the rectangle within the screen.
QString ValidateCoordRect(int x, int y, int w, int h, const QSize &screen);
// Closing the dialog is allowed after a cancel, or when the rectangle passes.
bool CoordCloseAllowed(bool cancelled, int x, int y, int w, int h, const QSize &screen);

// ---- main window after a capture

struct TFitLayout
{
    QSize picture;
    bool fileExp = false;     // the explorer windows are docked beside the picture
    int leftDockWidth = 0;
    int rightDockWidth = 0;
    int controlBarHeight = 0; // the docked tool bars and the menu
    int statusBarHeight = 0;
    int bottomDockHeight = 0;
};
// The client size that shows the whole picture, no larger than maxClient
// (the part of the screen a client area can use; an invalid size means no
// limit).
QSize FitClientSize(const TFitLayout &layout, const QSize &maxClient = {});
// The top-left of a window of frameSize in the middle of the desktop.
QPoint CenteredTopLeft(const QSize &frameSize, const QRect &desktop);

} // namespace zk
