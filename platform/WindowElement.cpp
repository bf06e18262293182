#include "WindowElement.h"

#include "XcbReply.h"

#include <QByteArray>
#include <QList>

#include <xcb/xcb.h>

#include <cstring>
#include <vector>

namespace zk {

namespace {

// Frames hold their client one or two levels down; deeper windows belong to
// the client itself.
constexpr int kClientSearchDepth = 3;

QByteArray propertyBytes(xcb_get_property_reply_t *r)
{
    if (!r || r->format != 8)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
}

} // namespace

TWindowTracker::TWindowTracker()
{
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    m_c = c;
    m_root = it.data->root;
    const char *const names[] = {"WM_STATE", "_NET_WM_NAME", "UTF8_STRING", "_NET_FRAME_EXTENTS"};
    xcb_intern_atom_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] = xcb_intern_atom(c, 0, std::uint16_t(std::strlen(names[i])), names[i]);
    std::uint32_t *targets[] = {&m_wmState, &m_netWmName, &m_utf8, &m_frameExtents};
    for (int i = 0; i < 4; ++i) {
        XReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookies[i], nullptr));
        *targets[i] = r ? r->atom : 0;
    }
}

TWindowTracker::~TWindowTracker()
{
    if (m_c)
        xcb_disconnect(m_c);
}

TPointerHit TWindowTracker::QueryPointer()
{
    TPointerHit hit;
    if (!m_c)
        return hit;
    XReply<xcb_query_pointer_reply_t> r(xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr));
    if (!r || !r->same_screen)
        return hit;
    hit.valid = true;
    hit.pos = QPoint(r->root_x, r->root_y);
    hit.child = r->child;
    return hit;
}

std::uint32_t TWindowTracker::findClient(std::uint32_t frame)
{
    // Level by level: WM_STATE of every window of a level and the trees of
    // the same windows are asked for together.
    std::vector<xcb_window_t> level{frame};
    for (int depth = 0; depth < kClientSearchDepth && !level.empty(); ++depth) {
        std::vector<xcb_get_property_cookie_t> states;
        std::vector<xcb_query_tree_cookie_t> trees;
        for (xcb_window_t w : level) {
            states.push_back(xcb_get_property(m_c, 0, w, m_wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
            trees.push_back(xcb_query_tree(m_c, w));
        }
        std::uint32_t found = 0;
        std::vector<xcb_window_t> next;
        for (size_t i = 0; i < level.size(); ++i) {
            XReply<xcb_get_property_reply_t> s(xcb_get_property_reply(m_c, states[i], nullptr));
            XReply<xcb_query_tree_reply_t> t(xcb_query_tree_reply(m_c, trees[i], nullptr));
            if (!found && s && s->type != XCB_ATOM_NONE)
                found = level[i];
            if (t) {
                const xcb_window_t *kids = xcb_query_tree_children(t.get());
                next.insert(next.end(), kids, kids + xcb_query_tree_children_length(t.get()));
            }
        }
        if (found)
            return found;
        level = std::move(next);
    }
    return 0;
}

std::optional<TWindowElement> TWindowTracker::Describe(std::uint32_t rootChild)
{
    if (!m_c || !rootChild)
        return std::nullopt;
    TWindowElement e;
    e.frame = rootChild;
    const std::uint32_t client = findClient(rootChild);
    e.window = client ? client : rootChild;

    const auto geoCk = xcb_get_geometry(m_c, rootChild);
    const auto classCk = xcb_get_property(m_c, 0, e.window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    const auto netNameCk = xcb_get_property(m_c, 0, e.window, m_netWmName, m_utf8, 0, 256);
    const auto nameCk = xcb_get_property(m_c, 0, e.window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    const auto extentsCk = xcb_get_property(m_c, 0, e.window, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4);

    XReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(m_c, geoCk, nullptr));
    XReply<xcb_get_property_reply_t> cls(xcb_get_property_reply(m_c, classCk, nullptr));
    XReply<xcb_get_property_reply_t> netName(xcb_get_property_reply(m_c, netNameCk, nullptr));
    XReply<xcb_get_property_reply_t> name(xcb_get_property_reply(m_c, nameCk, nullptr));
    XReply<xcb_get_property_reply_t> extents(xcb_get_property_reply(m_c, extentsCk, nullptr));
    if (!geo)
        return std::nullopt; // the window went away

    e.bounds = QRect(geo->x, geo->y, geo->width + 2 * geo->border_width, geo->height + 2 * geo->border_width);
    // A window manager that draws its frame without reparenting says how
    // wide it is; a reparenting one's frame is the root child itself.
    if (e.window == rootChild && extents && extents->format == 32 && xcb_get_property_value_length(extents.get()) == 16) {
        const auto *v = static_cast<const std::uint32_t *>(xcb_get_property_value(extents.get()));
        e.bounds.adjust(-int(v[0]), -int(v[2]), int(v[1]), int(v[3]));
    }
    const QByteArray classBytes = propertyBytes(cls.get());
    if (!classBytes.isEmpty()) {
        // "instance\0class\0"
        const QList<QByteArray> parts = classBytes.split('\0');
        if (parts.size() >= 2) {
            e.hasClass = true;
            e.className = QString::fromLatin1(parts.at(1));
        }
    }
    const QByteArray utf8Title = propertyBytes(netName.get());
    if (!utf8Title.isEmpty())
        e.title = QString::fromUtf8(utf8Title);
    else if (name && name->type == m_utf8)
        e.title = QString::fromUtf8(propertyBytes(name.get()));
    else
        e.title = QString::fromLatin1(propertyBytes(name.get()));
    return e;
}

std::uint32_t TWindowTracker::RootChildOf(std::uint32_t window)
{
    if (!m_c || !window)
        return 0;
    xcb_window_t w = window;
    for (int guard = 0; guard < 32; ++guard) {
        XReply<xcb_query_tree_reply_t> t(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, w), nullptr));
        if (!t)
            return 0;
        if (t->parent == m_root)
            return w;
        if (t->parent == XCB_WINDOW_NONE)
            return 0;
        w = t->parent;
    }
    return 0;
}

} // namespace zk
