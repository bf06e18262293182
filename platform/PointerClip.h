#pragma once
// Confines the mouse pointer to a rectangle of one of our windows, the way a
// cursor clip works on other systems: an active pointer grab on the X server
// with owner events on (our widgets keep getting their events, the cursor
// keeps its shape), confined to an input-only child window that covers the
// rectangle. Without an X11 connection (offscreen tests) nothing happens.
// The grab ends with Release(), with the object, or when another grab of
// ours replaces it. Events from some input devices (XTest among them) can
// slip past the server's confinement once the toolkit has handled pointer
// events; Hold() puts such a pointer back at the nearest point inside.
#include <QRect>

#include <cstdint>

class QWindow;

namespace zk {

class TPointerClip
{
public:
    TPointerClip() = default;
    ~TPointerClip();
    TPointerClip(const TPointerClip &) = delete;
    TPointerClip &operator=(const TPointerClip &) = delete;

    // rect: in the window's own coordinates (device-independent pixels).
    // False when there is no X11 window or the server refused the grab.
    bool Confine(QWindow *window, const QRect &rect);
    void Release();
    bool Active() const { return m_clipWindow != 0; }
    // The confined area in screen coordinates (device-independent pixels).
    QRect Area() const { return m_area; }
    // A pointer seen at globalPos outside the area goes back inside; true
    // when it was moved.
    bool Hold(const QPoint &globalPos) const;

private:
    std::uint32_t m_clipWindow = 0;
    QRect m_area;
};

} // namespace zk
