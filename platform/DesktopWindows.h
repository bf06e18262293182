#pragma once
// Other programs' top-level windows seen through the window manager's
// properties: the desktop (icons) and panel windows by their type, windows by
// their title, and the "show the desktop" switch. Everything goes through
// Qt's own X connection; without X11 every query is empty and every request
// does nothing.
#include <QList>
#include <QString>
#include <cstdint>

namespace zk {

using TXWindow = std::uint32_t;

// Whether an X server is there to ask.
bool DesktopWindowsAvailable();
// Top-level windows whose _NET_WM_WINDOW_TYPE holds the given type atom
// name ("_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK"), managed
// or not. Unmapped ones count only with includeUnmapped.
QList<TXWindow> WindowsOfType(const char *typeName, bool includeUnmapped = false);
// Unmaps / maps the windows (a managed window is withdrawn and comes back
// as a new one); the server is flushed.
void UnmapWindows(const QList<TXWindow> &windows);
void MapWindows(const QList<TXWindow> &windows);
// The first managed window (_NET_CLIENT_LIST) whose _NET_WM_NAME (or
// WM_NAME) equals title; 0 when none.
TXWindow FindWindowByTitle(const QString &title);
// Asks the window manager to raise and focus the window.
void ActivateWindow(TXWindow window);
// Whether the window manager offers _NET_SHOWING_DESKTOP, and the request.
bool ShowingDesktopSupported();
void SetShowingDesktop(bool on);

} // namespace zk
