#include "DesktopWindows.h"

#include "QtXcb.h"
#include "XcbReply.h"

#include <QByteArray>
#include <QSet>
#include <cstring>

namespace zk {

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const auto ck = xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name);
    const XReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, ck, nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t rootOf(xcb_connection_t *c)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem ? it.data->root : xcb_window_t(0);
}

// A 32-bit list property (atoms, windows), at most 4096 entries.
QList<std::uint32_t> listProperty(xcb_connection_t *c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type)
{
    QList<std::uint32_t> out;
    const auto ck = xcb_get_property(c, 0, w, prop, type, 0, 4096);
    const XReply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, ck, nullptr));
    if (!r || r->format != 32)
        return out;
    const int n = xcb_get_property_value_length(r.get()) / 4;
    const auto *v = static_cast<const std::uint32_t *>(xcb_get_property_value(r.get()));
    for (int i = 0; i < n; ++i)
        out.append(v[i]);
    return out;
}

QByteArray textProperty(xcb_connection_t *c, xcb_window_t w, xcb_atom_t prop)
{
    const auto ck = xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    const XReply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, ck, nullptr));
    if (!r || r->format != 8)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(r.get())),
                      xcb_get_property_value_length(r.get()));
}

bool isViewable(xcb_connection_t *c, xcb_window_t w)
{
    const XReply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
}

QList<xcb_window_t> children(xcb_connection_t *c, xcb_window_t w)
{
    QList<xcb_window_t> out;
    const XReply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!r)
        return out;
    const xcb_window_t *kids = xcb_query_tree_children(r.get());
    for (int i = 0, n = xcb_query_tree_children_length(r.get()); i < n; ++i)
        out.append(kids[i]);
    return out;
}

void sendRootMessage(xcb_connection_t *c, xcb_window_t window, xcb_atom_t type, std::uint32_t d0,
                     std::uint32_t d1 = 0)
{
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = type;
    ev.data.data32[0] = d0;
    ev.data.data32[1] = d1;
    xcb_send_event(c, 0, rootOf(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(c);
}

} // namespace

bool DesktopWindowsAvailable()
{
    return QtXcbConnection() != nullptr;
}

QList<TXWindow> WindowsOfType(const char *typeName, bool includeUnmapped)
{
    QList<TXWindow> found;
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return found;
    const xcb_window_t root = rootOf(c);
    const xcb_atom_t typeProp = atom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t wanted = atom(c, typeName);
    if (wanted == XCB_ATOM_NONE)
        return found;
    // Managed windows sit inside the window manager's frames; unmanaged ones
    // (and those of a missing window manager) are children of the root.
    QList<xcb_window_t> candidates = listProperty(c, root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    for (xcb_window_t top : children(c, root)) {
        candidates.append(top);
        candidates.append(children(c, top));
    }
    QSet<xcb_window_t> seen;
    for (xcb_window_t w : std::as_const(candidates)) {
        if (seen.contains(w))
            continue;
        seen.insert(w);
        if (!listProperty(c, w, typeProp, XCB_ATOM_ATOM).contains(wanted))
            continue;
        if (includeUnmapped || isViewable(c, w))
            found.append(w);
    }
    return found;
}

void UnmapWindows(const QList<TXWindow> &windows)
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return;
    const xcb_window_t root = rootOf(c);
    for (TXWindow w : windows) {
        xcb_unmap_window(c, w);
        // The withdrawal the window manager expects of a client.
        xcb_unmap_notify_event_t ev{};
        ev.response_type = XCB_UNMAP_NOTIFY;
        ev.event = root;
        ev.window = w;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char *>(&ev));
    }
    xcb_flush(c);
}

void MapWindows(const QList<TXWindow> &windows)
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return;
    for (TXWindow w : windows)
        xcb_map_window(c, w);
    xcb_flush(c);
}

TXWindow FindWindowByTitle(const QString &title)
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return 0;
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME");
    const QByteArray utf8 = title.toUtf8(), latin1 = title.toLatin1();
    for (std::uint32_t w : listProperty(c, rootOf(c), atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW)) {
        const QByteArray name = textProperty(c, w, netName);
        if (name == utf8 || (name.isEmpty() && textProperty(c, w, XCB_ATOM_WM_NAME) == latin1))
            return w;
    }
    return 0;
}

void ActivateWindow(TXWindow window)
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c || !window)
        return;
    // Source 2: a pager-like request, which window managers do not refuse
    // for focus stealing.
    sendRootMessage(c, window, atom(c, "_NET_ACTIVE_WINDOW"), 2, XCB_CURRENT_TIME);
}

bool ShowingDesktopSupported()
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return false;
    const xcb_atom_t showing = atom(c, "_NET_SHOWING_DESKTOP");
    return listProperty(c, rootOf(c), atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM).contains(showing);
}

void SetShowingDesktop(bool on)
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c)
        return;
    sendRootMessage(c, rootOf(c), atom(c, "_NET_SHOWING_DESKTOP"), on ? 1 : 0);
}

} // namespace zk
