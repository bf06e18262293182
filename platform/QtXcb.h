#pragma once
// The X connection of Qt's own platform plugin, for requests that must come
// from the client that owns our windows (grabs, syncs). Null without X11
// (offscreen, Wayland).
#include <xcb/xcb.h>

namespace zk {

xcb_connection_t *QtXcbConnection();

// Whether a client holds the clipboard, asked without going through Qt's
// clipboard (which asks the holder what it has and waits for the answer).
// True where it cannot be known.
bool ClipboardHeld();

} // namespace zk
