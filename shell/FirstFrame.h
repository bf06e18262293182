#pragma once
// Work that can wait until the main window's first frame is on the screen.
// Work queued at start (texts of closed menus, hot keys, modules) would
// otherwise run between the window's map and its first paint, while the user
// looks at an empty frame.
#include <QObject>
#include <functional>

class QWindow;

namespace zk {

// From now on, work given to AfterFirstFrame waits (the program's start,
// before the window is built).
void HoldUntilFirstFrame();
// The held work is queued once window has been exposed and painted, or at
// the latest after fallbackMs (a window started hidden is never painted).
void ReleaseAfterFirstFrame(QWindow *window, int fallbackMs = 500);
// Queues work for context's thread: at once where nothing is held, else
// once the hold ends, in the order given. Dropped with its context.
void AfterFirstFrame(QObject *context, std::function<void()> work);

} // namespace zk
