#pragma once
// The arithmetic of the picture views, apart from any window: where a
// centred picture starts, the workspace colours and the coordinate grid.
#include <QColor>
#include <QPoint>
#include <QSize>
#include <optional>

class QPalette;

namespace zk {

class TBitmap;

// Top left of a picture centred in a client area. Each half is rounded
// toward zero, so odd sizes lean left and up; a picture larger than the
// area starts left of or above it (negative).
QPoint CenteredOrigin(QSize client, QSize picture);

// The workspace colour of a "BackColr" index; nothing for an index outside
// the table (the colour then stays as it is). Index 0 and 5 are the
// palette's button face and tool-tip colours.
std::optional<QColor> BackColorOf(int index, const QPalette &palette);

// The grid's spacing and pen colour.
constexpr int kGridSpacing = 20;
constexpr QRgb kGridColor = 0xFFC0C0C0;
// Lines one pixel wide across the whole bitmap at 0, 20, 40, ... in both
// directions.
void DrawCoordGrid(TBitmap &bitmap);

// Arrow keys as the scroll box reports them (virtual-key codes).
enum TVirtualKey : int { VK_TAB = 9, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40 };
// The scroll step of an arrow key: dx/dy in units of the bar's step.
QPoint ArrowScrollStep(int virtualKey);

} // namespace zk
