#pragma once
// The inverting frame of the window-information tool. Nothing is drawn into
// another program's window: the frame is four 3-pixel strips (or, filled,
// one window over the whole rectangle), each an override-redirect window
// that lets every click through and shows the inverted grab of what lay
// beneath it. Taking the windows away shows the screen as it was, with or
// without a compositor.
//
// The whole frame lives in the X server: the windows are made once, and
// framing a new rectangle copies the screen beneath each strip, inverted, into
// a pixmap that becomes the strip's background. No pixel travels to us and no
// request waits for an answer, so following the pointer from window to window
// costs one write to the server.
//
// The strips sit in one holder window, cut to their shape, over the framed
// rectangle: the server re-reckons which window shows where across the whole
// screen once for the holder's move (and once more for its new shape when the
// rectangle's size changed) rather than once for every strip.
#include <QList>
#include <QRect>

#include <array>
#include <cstdint>

struct xcb_connection_t;

namespace zk {

class TWindowFrame
{
public:
    static constexpr int kWidth = 3;

    TWindowFrame();
    ~TWindowFrame();
    TWindowFrame(const TWindowFrame &) = delete;
    TWindowFrame &operator=(const TWindowFrame &) = delete;

    // The areas a frame around bounds covers on a screen of screenRect:
    // four strips inside the bounds, or the whole rectangle when filled;
    // cut to the screen, empty pieces left out.
    static QList<QRect> Pieces(const QRect &bounds, bool filled, const QRect &screenRect);

    // Frames bounds (removing the frame shown before); false when the X
    // server cannot be reached (nothing is shown then).
    bool Show(const QRect &bounds, bool filled);
    void Hide();
    bool Visible() const { return m_shown > 0; }
    QRect Bounds() const { return m_bounds; }
    // The X11 ids of the pieces shown.
    QList<std::uint32_t> WindowIds() const;
    // Whether window is one of the frame's, the holder included, while shown.
    bool IsOwnWindow(std::uint32_t window) const;

private:
    void UnmapStrips(int from);
    struct Strip
    {
        std::uint32_t window = 0;
        std::uint32_t pixmap = 0; // the inverted screen it shows; 0 while hidden
        QRect area;               // on the screen
        QRect placed;             // in the holder, as last configured
    };

    bool connect();
    void makeWindows();

    xcb_connection_t *m_c = nullptr;
    bool m_failed = false;
    std::uint32_t m_root = 0;
    std::uint8_t m_depth = 0;
    std::uint32_t m_invertGc = 0; // root → pixmap, inverted, child windows included
    std::uint32_t m_copyGc = 0;   // pixmap → pixmap as it is
    std::uint32_t m_holder = 0;
    QRect m_holderArea;           // on the screen, as last configured
    QList<QRect> m_holderShape;   // the strips' places in it, as last set
    bool m_holderMapped = false;
    std::array<Strip, 4> m_strips;
    int m_shown = 0;
    QRect m_bounds;
};

} // namespace zk
