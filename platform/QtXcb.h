#pragma once
// The X connection of Qt's own platform plugin, for requests that must come
// from the client that owns our windows (grabs, syncs). Null without X11
// (offscreen, Wayland).
#include <xcb/xcb.h>

namespace zk {

xcb_connection_t *QtXcbConnection();

} // namespace zk
