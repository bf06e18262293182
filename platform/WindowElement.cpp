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
// How many frames' clients are remembered before the memory starts afresh.
constexpr size_t kRememberedFrames = 256;

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

TWindowTracker::Path TWindowTracker::findClient(const std::vector<std::uint32_t> &children)
{
    // Level by level below the frame: first only WM_STATE of every window
    // of a level (a manager's frame holds dozens of small decoration windows
    // beside its client); their trees only when none of them is the client.
    std::vector<Path> level;
    level.reserve(children.size());
    for (xcb_window_t w : children)
        level.push_back(Path{w});
    for (int depth = 1; depth < kClientSearchDepth && !level.empty(); ++depth) {
        std::vector<xcb_get_property_cookie_t> states;
        states.reserve(level.size());
        for (const Path &p : level)
            states.push_back(xcb_get_property(m_c, 0, p.back(), m_wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
        int found = -1;
        for (size_t i = 0; i < level.size(); ++i) {
            if (found >= 0) {
                xcb_discard_reply(m_c, states[i].sequence);
                continue;
            }
            XReply<xcb_get_property_reply_t> st(xcb_get_property_reply(m_c, states[i], nullptr));
            if (st && st->type != XCB_ATOM_NONE)
                found = int(i);
        }
        if (found >= 0)
            return level[size_t(found)];
        if (depth + 1 >= kClientSearchDepth)
            break;
        std::vector<xcb_query_tree_cookie_t> trees;
        trees.reserve(level.size());
        for (const Path &p : level)
            trees.push_back(xcb_query_tree(m_c, p.back()));
        std::vector<Path> next;
        for (size_t i = 0; i < level.size(); ++i) {
            XReply<xcb_query_tree_reply_t> t(xcb_query_tree_reply(m_c, trees[i], nullptr));
            if (!t)
                continue;
            const xcb_window_t *kids = xcb_query_tree_children(t.get());
            for (int k = 0; k < xcb_query_tree_children_length(t.get()); ++k) {
                Path p = level[i];
                p.push_back(kids[k]);
                next.push_back(std::move(p));
            }
        }
        level = std::move(next);
    }
    return {};
}

namespace {

struct PropertyCookies
{
    xcb_get_property_cookie_t cls, netName, name;
};

} // namespace

std::optional<TWindowElement> TWindowTracker::Describe(std::uint32_t rootChild)
{
    if (!m_c || !rootChild)
        return std::nullopt;
    const auto propertiesOf = [this](xcb_window_t w) {
        return PropertyCookies{
            xcb_get_property(m_c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
            xcb_get_property(m_c, 0, w, m_netWmName, m_utf8, 0, 256),
            xcb_get_property(m_c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256)};
    };
    const auto discard = [this](const PropertyCookies &p) {
        xcb_discard_reply(m_c, p.cls.sequence);
        xcb_discard_reply(m_c, p.netName.sequence);
        xcb_discard_reply(m_c, p.name.sequence);
    };

    // One batch: the root child's geometry, tree and properties (it is the
    // client itself under a manager that draws no frame window), and, for a
    // frame seen before, the remembered client's properties with what
    // proves it still lies there; for a frame not seen before, which of its
    // windows the pointer is over (most often the client).
    const auto geoCk = xcb_get_geometry(m_c, rootChild);
    const auto stateCk = xcb_get_property(m_c, 0, rootChild, m_wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
    const auto treeCk = xcb_query_tree(m_c, rootChild);
    const auto extentsCk = xcb_get_property(m_c, 0, rootChild, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4);
    const PropertyCookies own = propertiesOf(rootChild);
    const auto known = m_paths.find(rootChild);
    Path path = known != m_paths.end() ? known->second : Path{};
    std::vector<xcb_query_tree_cookie_t> links;
    xcb_get_property_cookie_t knownStateCk{};
    PropertyCookies knownProps{};
    if (!path.empty()) {
        for (xcb_window_t w : path)
            links.push_back(xcb_query_tree(m_c, w));
        knownStateCk = xcb_get_property(m_c, 0, path.back(), m_wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
        knownProps = propertiesOf(path.back());
    }
    const bool askPointer = path.empty();
    xcb_query_pointer_cookie_t pointerCk{};
    if (askPointer)
        pointerCk = xcb_query_pointer(m_c, rootChild);

    XReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(m_c, geoCk, nullptr));
    XReply<xcb_get_property_reply_t> state(xcb_get_property_reply(m_c, stateCk, nullptr));
    XReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_c, treeCk, nullptr));
    XReply<xcb_get_property_reply_t> extents(xcb_get_property_reply(m_c, extentsCk, nullptr));
    XReply<xcb_query_pointer_reply_t> under(askPointer ? xcb_query_pointer_reply(m_c, pointerCk, nullptr) : nullptr);
    bool pathHolds = !path.empty();
    for (size_t i = 0; i < links.size(); ++i) {
        XReply<xcb_query_tree_reply_t> t(xcb_query_tree_reply(m_c, links[i], nullptr));
        if (!t || t->parent != (i ? path[i - 1] : rootChild))
            pathHolds = false;
    }
    if (!path.empty()) {
        XReply<xcb_get_property_reply_t> st(xcb_get_property_reply(m_c, knownStateCk, nullptr));
        if (!st || st->type == XCB_ATOM_NONE)
            pathHolds = false;
    }
    if (!geo) {
        discard(own);
        if (!path.empty())
            discard(knownProps);
        m_paths.erase(rootChild);
        return std::nullopt; // the window went away
    }

    TWindowElement e;
    e.frame = rootChild;
    PropertyCookies props = own;
    if (state && state->type != XCB_ATOM_NONE) {
        e.window = rootChild;
        if (!path.empty())
            discard(knownProps);
        m_paths.erase(rootChild);
    } else if (pathHolds) {
        e.window = path.back();
        discard(own);
        props = knownProps;
    } else {
        if (!path.empty())
            discard(knownProps);
        m_paths.erase(rootChild);
        std::vector<std::uint32_t> children;
        if (tree) {
            const xcb_window_t *kids = xcb_query_tree_children(tree.get());
            children.assign(kids, kids + xcb_query_tree_children_length(tree.get()));
        }
        path.clear();
        // The window under the pointer first, its properties asked with it;
        // only when it is not the client are all the frame's windows asked.
        const xcb_window_t hint = under && under->same_screen ? under->child : xcb_window_t(XCB_WINDOW_NONE);
        PropertyCookies hintProps{};
        if (hint) {
            const auto hintStateCk = xcb_get_property(m_c, 0, hint, m_wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
            hintProps = propertiesOf(hint);
            XReply<xcb_get_property_reply_t> st(xcb_get_property_reply(m_c, hintStateCk, nullptr));
            if (st && st->type != XCB_ATOM_NONE)
                path = Path{hint};
            else
                discard(hintProps);
        }
        const bool hintIsClient = !path.empty();
        if (!hintIsClient)
            path = findClient(children);
        if (path.empty()) {
            e.window = rootChild; // a frame without a client: named by itself
        } else {
            e.window = path.back();
            discard(own);
            props = hintIsClient ? hintProps : propertiesOf(e.window);
            // Frames come and go; a long session must not keep every one.
            if (m_paths.size() >= kRememberedFrames)
                m_paths.clear();
            m_paths.emplace(rootChild, path);
        }
    }
    XReply<xcb_get_property_reply_t> cls(xcb_get_property_reply(m_c, props.cls, nullptr));
    XReply<xcb_get_property_reply_t> netName(xcb_get_property_reply(m_c, props.netName, nullptr));
    XReply<xcb_get_property_reply_t> name(xcb_get_property_reply(m_c, props.name, nullptr));

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
