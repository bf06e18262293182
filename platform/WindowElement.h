#pragma once
// What the window-information tool reads about the window under the mouse
// pointer. X11 knows no controls inside another program's window (a modern
// toolkit draws them itself), so the element is always a whole top-level
// window: the client window that carries WM_STATE, found below the frame the
// window manager put around it.
//
// The tracker keeps one connection of its own: a tick whose element did not
// change costs one QueryPointer round trip; a new element costs a few more,
// each batch of requests sent before the first reply is read. Where a
// frame's client lies is remembered, so a window seen before is read in one
// batch, which also checks that the client still lies there.
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;

namespace zk {

struct TWindowElement
{
    std::uint32_t window = 0; // the client window (the frame's own id without a client below it)
    std::uint32_t frame = 0;  // the root's child that holds it
    bool hasClass = false;    // WM_CLASS was set
    QString className;        // the class part of WM_CLASS
    QString title;            // _NET_WM_NAME, else WM_NAME (whole)
    QRect bounds;             // outer bounds on the root, the window manager's frame included
};

// One look at the pointer: where it is and which child of the root window
// lies under it (0 on the bare root; windows that let input through, such as
// the tool's own frame, are never the answer).
struct TPointerHit
{
    bool valid = false;
    QPoint pos;
    std::uint32_t child = 0;
};

class TWindowTracker
{
public:
    // Connects to $DISPLAY; IsAvailable() tells whether that worked.
    TWindowTracker();
    ~TWindowTracker();
    TWindowTracker(const TWindowTracker &) = delete;
    TWindowTracker &operator=(const TWindowTracker &) = delete;

    bool IsAvailable() const { return m_c != nullptr; }
    std::uint32_t Root() const { return m_root; }

    TPointerHit QueryPointer();
    // The element held by a child of the root window; nothing when it went
    // away meanwhile.
    std::optional<TWindowElement> Describe(std::uint32_t rootChild);
    // The child of the root window that holds window (itself when it is
    // one); 0 when it is not on the screen's tree any more.
    std::uint32_t RootChildOf(std::uint32_t window);

private:
    // The windows from below the frame down to the client, the client last.
    using Path = std::vector<std::uint32_t>;
    Path findClient(const std::vector<std::uint32_t> &children);

    std::unordered_map<std::uint32_t, Path> m_paths; // by frame

    xcb_connection_t *m_c = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_wmState = 0, m_netWmName = 0, m_utf8 = 0, m_frameExtents = 0;
};

} // namespace zk
