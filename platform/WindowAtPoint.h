#pragma once
// Which top-level window the user points at: the topmost visible window of
// the X server at a screen point, taken with the frame the window manager
// drew around it. Child controls inside another program's window are not X
// windows of their own on a modern toolkit, so the answer is always a whole
// top-level window (or a pop-up such as an open menu).
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <optional>
#include <vector>

namespace zk {

struct TWindowAtPoint
{
    std::uint32_t window = 0; // the root's child: the frame, or the window itself without one
    QRect bounds;             // its outer bounds on the root window, frame and border included
};

// The topmost mapped, visible (InputOutput) child of the root window whose
// outer bounds contain point. Windows listed in exclude (and windows whose
// frame holds one of them) are passed over, so the program's own overlay is
// never the answer. Nothing when no X server can be reached or no window lies
// there (the point is on the bare root window).
std::optional<TWindowAtPoint> TopLevelWindowAt(const QPoint &point,
                                               const std::vector<std::uint32_t> &exclude = {});

} // namespace zk
