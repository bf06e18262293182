#include "WindowFrame.h"

#include "ScreenGrab.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace zk {

TWindowFrame::TWindowFrame() = default;

TWindowFrame::~TWindowFrame()
{
    if (!m_c)
        return;
    for (const Strip &s : m_strips)
        if (s.pixmap)
            xcb_free_pixmap(m_c, s.pixmap);
    // The strips go with their holder.
    xcb_destroy_window(m_c, m_holder);
    xcb_free_gc(m_c, m_invertGc);
    xcb_free_gc(m_c, m_copyGc);
    xcb_disconnect(m_c);
}

QList<QRect> TWindowFrame::Pieces(const QRect &bounds, bool filled, const QRect &screenRect)
{
    QList<QRect> pieces;
    if (bounds.isEmpty())
        return pieces;
    if (filled) {
        pieces << bounds;
    } else {
        const int w = std::min(kWidth, bounds.width());
        const int h = std::min(kWidth, bounds.height());
        pieces << QRect(bounds.left(), bounds.top(), bounds.width(), h)
               << QRect(bounds.left(), bounds.bottom() - h + 1, bounds.width(), h)
               << QRect(bounds.left(), bounds.top() + h, w, bounds.height() - 2 * h)
               << QRect(bounds.right() - w + 1, bounds.top() + h, w, bounds.height() - 2 * h);
    }
    QList<QRect> cut;
    for (const QRect &r : pieces) {
        const QRect c = r & screenRect;
        if (!c.isEmpty() && !cut.contains(c))
            cut << c;
    }
    return cut;
}

bool TWindowFrame::connect()
{
    if (m_c)
        return true;
    if (m_failed)
        return false;
    m_failed = true; // a server that could not be reached is not asked again
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return false;
    }
    m_c = c;
    m_failed = false;
    m_root = it.data->root;
    m_depth = it.data->root_depth;

    // Read from the root with its children included: what the screen shows.
    m_invertGc = xcb_generate_id(c);
    const std::uint32_t invertValues[] = {XCB_GX_COPY_INVERTED, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    xcb_create_gc(c, m_invertGc, m_root,
                  XCB_GC_FUNCTION | XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, invertValues);
    m_copyGc = xcb_generate_id(c);
    const std::uint32_t copyValues[] = {0};
    xcb_create_gc(c, m_copyGc, m_root, XCB_GC_GRAPHICS_EXPOSURES, copyValues);
    makeWindows();
    return true;
}

void TWindowFrame::makeWindows()
{
    // The only answer the frame ever waits for, once: whether the server
    // can let input through a window.
    const xcb_query_extension_reply_t *shape = xcb_get_extension_data(m_c, &xcb_shape_id);
    const bool canPassInput = shape && shape->present;
    // Override-redirect: no manager frames, moves, raises or focuses them.
    // The holder has no background of its own: only its strips show.
    const std::uint32_t values[] = {1};
    const auto make = [&](std::uint32_t parent) {
        const std::uint32_t w = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, parent, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
        // No input region: clicks and the pointer go to what lies beneath.
        if (canPassInput)
            xcb_shape_rectangles(m_c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, w, 0, 0, 0,
                                 nullptr);
        return w;
    };
    m_holder = make(m_root);
    // WM_HINTS with the input flag off: never to be given the focus.
    const std::uint32_t hints[9] = {1u /* InputHint */, 0u};
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_holder, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9, hints);
    for (Strip &s : m_strips)
        s.window = make(m_holder);
}

bool TWindowFrame::Show(const QRect &bounds, bool filled)
{
    if (!connect() || xcb_connection_has_error(m_c)) {
        m_shown = 0;
        m_bounds = QRect();
        return false;
    }
    // Nothing here waits for an answer, so the server's errors (a strip over
    // a screen that just shrank) are only collected, never read.
    while (xcb_generic_event_t *e = xcb_poll_for_event(m_c))
        std::free(e);
    const QList<QRect> pieces = Pieces(bounds, filled, ScreenGrabber::instance().rootRect());
    const int count = int(std::min<qsizetype>(pieces.size(), qsizetype(m_strips.size())));

    // First every new strip's picture, while the old strips still stand: the
    // screen is read inverted; where an old strip covers the area, the screen
    // shows that strip, and what lies beneath is what it kept (inverted
    // already, so it is copied as it is).
    std::array<std::uint32_t, 4> pixmaps{};
    for (int k = 0; k < count; ++k) {
        const QRect &area = pieces.at(k);
        pixmaps[k] = xcb_generate_id(m_c);
        xcb_create_pixmap(m_c, m_depth, pixmaps[k], m_root, std::uint16_t(area.width()), std::uint16_t(area.height()));
        xcb_copy_area(m_c, m_root, pixmaps[k], m_invertGc, std::int16_t(area.x()), std::int16_t(area.y()), 0, 0,
                      std::uint16_t(area.width()), std::uint16_t(area.height()));
        for (int j = 0; j < m_shown; ++j) {
            const Strip &old = m_strips[j];
            const QRect overlap = old.area & area;
            if (overlap.isEmpty())
                continue;
            xcb_copy_area(m_c, old.pixmap, pixmaps[k], m_copyGc, std::int16_t(overlap.x() - old.area.x()),
                          std::int16_t(overlap.y() - old.area.y()), std::int16_t(overlap.x() - area.x()),
                          std::int16_t(overlap.y() - area.y()), std::uint16_t(overlap.width()),
                          std::uint16_t(overlap.height()));
        }
    }
    if (!count) {
        Hide();
        return true;
    }

    // Then the holder goes over the new rectangle, on top of everything, cut
    // to the strips' shape (set again only when the rectangle's size changed).
    QRect area;
    for (int k = 0; k < count; ++k)
        area |= pieces.at(k);
    QList<QRect> shape;
    for (int k = 0; k < count; ++k)
        shape << pieces.at(k).translated(-area.topLeft());
    if (shape != m_holderShape) {
        std::array<xcb_rectangle_t, 4> rects{};
        for (int k = 0; k < count; ++k)
            rects[k] = {std::int16_t(shape.at(k).x()), std::int16_t(shape.at(k).y()),
                        std::uint16_t(shape.at(k).width()), std::uint16_t(shape.at(k).height())};
        xcb_shape_rectangles(m_c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, m_holder, 0,
                             0, std::uint32_t(count), rects.data());
        m_holderShape = shape;
    }
    if (area != m_holderArea) {
        const std::uint32_t geometry[] = {std::uint32_t(area.x()), std::uint32_t(area.y()),
                                          std::uint32_t(area.width()), std::uint32_t(area.height()),
                                          XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_c, m_holder,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                             geometry);
        m_holderArea = area;
    } else {
        const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_c, m_holder, XCB_CONFIG_WINDOW_STACK_MODE, above);
    }
    // The strips show their new pictures in their places inside it (a strip
    // that was up keeps its old picture until cleared).
    for (int k = 0; k < count; ++k) {
        Strip &s = m_strips[k];
        const std::uint32_t background[] = {pixmaps[k]};
        xcb_change_window_attributes(m_c, s.window, XCB_CW_BACK_PIXMAP, background);
        if (k >= m_shown || s.placed != shape.at(k)) {
            const QRect &r = shape.at(k);
            const std::uint32_t geometry[] = {std::uint32_t(r.x()), std::uint32_t(r.y()), std::uint32_t(r.width()),
                                              std::uint32_t(r.height())};
            xcb_configure_window(m_c, s.window,
                                 XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                     XCB_CONFIG_WINDOW_HEIGHT,
                                 geometry);
            s.placed = r;
        }
        if (k < m_shown)
            xcb_clear_area(m_c, 0, s.window, 0, 0, 0, 0);
        else
            xcb_map_window(m_c, s.window);
        if (s.pixmap)
            xcb_free_pixmap(m_c, s.pixmap);
        s.pixmap = pixmaps[k];
        s.area = pieces.at(k);
    }
    UnmapStrips(count);
    if (!m_holderMapped) {
        xcb_map_window(m_c, m_holder);
        m_holderMapped = true;
    }
    xcb_flush(m_c);
    m_shown = count;
    m_bounds = bounds;
    return true;
}

// Strips from `from` up to the shown count go away with their screen copies.
void TWindowFrame::UnmapStrips(int from)
{
    for (int k = from; k < m_shown; ++k) {
        Strip &s = m_strips[k];
        xcb_unmap_window(m_c, s.window);
        xcb_free_pixmap(m_c, s.pixmap);
        s.pixmap = 0;
        s.area = QRect();
    }
}

void TWindowFrame::Hide()
{
    if (m_c && m_shown) {
        // The holder first, so the screen beneath is drawn again once.
        xcb_unmap_window(m_c, m_holder);
        m_holderMapped = false;
        UnmapStrips(0);
        xcb_flush(m_c);
    }
    m_shown = 0;
    m_bounds = QRect();
}

QList<std::uint32_t> TWindowFrame::WindowIds() const
{
    QList<std::uint32_t> ids;
    for (int k = 0; k < m_shown; ++k)
        ids << m_strips[k].window;
    return ids;
}

bool TWindowFrame::IsOwnWindow(std::uint32_t window) const
{
    if (!m_shown || !window)
        return false;
    if (window == m_holder)
        return true;
    for (int k = 0; k < m_shown; ++k)
        if (m_strips[k].window == window)
            return true;
    return false;
}

} // namespace zk
