#include "PointerClip.h"

#include "QtXcb.h"
#include "XcbReply.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>

namespace zk {

TPointerClip::~TPointerClip()
{
    Release();
}

bool TPointerClip::Confine(QWindow *window, const QRect &rect)
{
    Release();
    // Qt's own connection: the grab must belong to the client that owns the
    // windows, or owner events would not reach them.
    xcb_connection_t *c = QtXcbConnection();
    if (!c || !window || rect.isEmpty() || !window->isVisible())
        return false;
    const qreal dpr = window->devicePixelRatio();
    const int x = int(std::lround(rect.x() * dpr)), y = int(std::lround(rect.y() * dpr));
    const int w = std::max(1, int(std::lround(rect.width() * dpr)));
    const int h = std::max(1, int(std::lround(rect.height() * dpr)));

    // No event mask: events in it go on to our window below as before.
    const xcb_window_t clip = xcb_generate_id(c);
    xcb_create_window(c, 0, clip, xcb_window_t(window->winId()), std::int16_t(x), std::int16_t(y),
                      std::uint16_t(w), std::uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(c, clip);
    const std::uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                               XCB_EVENT_MASK_POINTER_MOTION;
    const XReply<xcb_grab_pointer_reply_t> reply(xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 1, xcb_window_t(window->winId()), mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         clip, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
        nullptr));
    if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) {
        xcb_destroy_window(c, clip);
        xcb_flush(c);
        return false;
    }
    m_clipWindow = clip;
    m_area = QRect(window->mapToGlobal(rect.topLeft()), rect.size());
    xcb_flush(c);
    return true;
}

void TPointerClip::Release()
{
    if (!m_clipWindow)
        return;
    if (xcb_connection_t *c = QtXcbConnection()) {
        xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_destroy_window(c, m_clipWindow);
        xcb_flush(c);
    }
    m_clipWindow = 0;
    m_area = QRect();
}

bool TPointerClip::Hold(const QPoint &globalPos) const
{
    if (!m_clipWindow || m_area.contains(globalPos))
        return false;
    QCursor::setPos(std::clamp(globalPos.x(), m_area.left(), m_area.right()),
                    std::clamp(globalPos.y(), m_area.top(), m_area.bottom()));
    return true;
}

} // namespace zk
