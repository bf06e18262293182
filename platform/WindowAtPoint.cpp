#include "WindowAtPoint.h"
#include "XcbReply.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace zk {

namespace {

struct Connection
{
    xcb_connection_t *c = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;

    Connection()
    {
        int screenNumber = 0;
        c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            c = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem) {
            xcb_disconnect(c);
            c = nullptr;
            return;
        }
        root = it.data->root;
    }
    ~Connection()
    {
        if (c)
            xcb_disconnect(c);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
};

// True when window or one of its descendants is listed in exclude.
bool holdsExcluded(xcb_connection_t *c, xcb_window_t window, const std::vector<std::uint32_t> &exclude, int depth)
{
    if (std::find(exclude.begin(), exclude.end(), window) != exclude.end())
        return true;
    if (depth > 4) // frames nest a client two or three levels down; deeper is the client's own business
        return false;
    XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return false;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int n = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < n; ++i)
        if (holdsExcluded(c, children[i], exclude, depth + 1))
            return true;
    return false;
}

} // namespace

std::optional<TWindowAtPoint> TopLevelWindowAt(const QPoint &point, const std::vector<std::uint32_t> &exclude)
{
    Connection conn;
    if (!conn.c)
        return std::nullopt;
    xcb_connection_t *c = conn.c;

    XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, conn.root), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int n = xcb_query_tree_children_length(tree.get());

    // Ask for every child's attributes and geometry at once: one round trip
    // for the lot instead of two per window.
    std::vector<xcb_get_window_attributes_cookie_t> attrCookies(n);
    std::vector<xcb_get_geometry_cookie_t> geoCookies(n);
    for (int i = 0; i < n; ++i) {
        attrCookies[i] = xcb_get_window_attributes(c, children[i]);
        geoCookies[i] = xcb_get_geometry(c, children[i]);
    }
    std::vector<std::optional<TWindowAtPoint>> candidates(n);
    for (int i = 0; i < n; ++i) {
        XReply<xcb_get_window_attributes_reply_t> attr(xcb_get_window_attributes_reply(c, attrCookies[i], nullptr));
        XReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(c, geoCookies[i], nullptr));
        if (!attr || !geo)
            continue; // went away meanwhile
        if (attr->map_state != XCB_MAP_STATE_VIEWABLE || attr->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        const QRect bounds(geo->x, geo->y, geo->width + 2 * geo->border_width,
                           geo->height + 2 * geo->border_width);
        if (bounds.contains(point))
            candidates[i] = TWindowAtPoint{children[i], bounds};
    }
    // The children come bottom first: the topmost one that holds the point wins.
    for (int i = n - 1; i >= 0; --i) {
        if (!candidates[i])
            continue;
        if (!exclude.empty() && holdsExcluded(c, candidates[i]->window, exclude, 0))
            continue;
        return candidates[i];
    }
    return std::nullopt;
}

} // namespace zk
