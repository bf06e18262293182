#pragma once
// The crop rectangle on the picture and the window-free rules of the mouse
// tools: orientations, hit tests, moving, the pen colours, the 1:1 crop, the
// text placement and what an arrow key does. The main window's handlers
// (edit/MainFormMouse.cpp) keep only the state machine and the drawing.
#include "Bitmap.h"
#include "Colors.h"
#include "SvcRoutines.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace zk {

// Which way the moving corner lies from the anchor. Equal x or equal y is
// none of the four: such a rectangle has no area.
enum class TRectOrientation { None, RightBelow, LeftBelow, RightAbove, LeftAbove };
TRectOrientation OrientationOf(const QPoint &anchor, const QPoint &corner);

// The rectangle between two corners with its top-left at the smaller
// coordinates (right and bottom exclusive, as a drag from (10, 10) to
// (110, 60) is 100 x 50 pixels); an empty rectangle without orientation.
QRect NormalRect(const QPoint &anchor, const QPoint &corner);

constexpr int kGrabberSize = 6;

class TMoveRect
{
public:
    QPoint Anchor;     // where the rectangle was started
    QPoint Corner;     // the opposite, moving corner
    QSize Extent;      // absolute size, taken at each mouse-up
    QPoint GrabOffset; // anchor to pointer when a move starts, in the rectangle's orientation
    QPoint UpPoint;    // pointer at the last mouse-up
    bool Dragging = false;
    bool Drawing = false;
    bool Active = false;
    bool Inside = false;
    QRect Grabber;     // the square at the moving corner
    bool Sizing = false;
    bool KeyDragStarted = false;
    bool KeysOn = false;

    TRectOrientation Orientation() const { return OrientationOf(Anchor, Corner); }
    QRect Normalized() const { return NormalRect(Anchor, Corner); }

    // True when p lies inside the normalised rectangle; then Inside := true.
    bool HitInside(const QPoint &p);
    // 1 on the grabber of a rectangle along the main diagonal (right-below
    // or left-above), 2 along the other diagonal, 0 otherwise.
    int HitGrabber(const QPoint &p) const;
    // The grabber from the corner outward, away from the anchor.
    void SetGrabberAtCorner();
    // A move begins with the pointer at p: remembers its offset from the anchor.
    void StartMove(const QPoint &p);
    // The rectangle follows the pointer, keeping Extent and orientation.
    void MoveTo(const QPoint &p);
    // Mouse-up after drawing or sizing: the size is taken.
    void TakeExtent(const QPoint &up);
    // Clears Active, Dragging, Drawing, Inside and Sizing.
    void Deactivate();
};

// ---- pens and text

// The rubber-frame colour by CRLineColr; nothing for an index outside the
// table (the pen keeps its colour).
std::optional<TColor> CropLineColor(int index);
// CRLineWidth held to 1..5 for drawing.
int ClampCropLineWidth(int width);
// TxtPenWidth held to 6..72 points.
int ClampTextPoints(int points);
// Points as pixels at 96 dpi, so a picture looks the same on every display.
int TextPixelSize(int points);

// Writes one line of text with the top-left of its text box at origin, in
// the font (a missing font falls back to the system font) at the points
// size and the colour of the text colour table; transparent background.
// Nothing for an empty text or picture.
void DrawTextAt(TBitmap &bitmap, const QPoint &origin, const QString &text, const QString &fontName,
                int points, int colorIndex);

// ---- cutting

// The area to copy for a drag between two points, held to the picture.
QRect CutArea(const QPoint &start, const QPoint &end, const QSize &picture);
// A copy of area (within the bitmap) pixel for pixel, in the bitmap's own
// depth and palette.
TBitmap CropBitmap(const TBitmap &source, const QRect &area);

// ---- keys

// The distance an arrow key moves the pointer: 1 pixel, 15 with Ctrl; a
// null point for other keys.
QPoint ArrowStep(int key, Qt::KeyboardModifiers modifiers);

} // namespace zk
