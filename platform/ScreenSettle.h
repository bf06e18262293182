#pragma once
// Before a grab the program's own windows must really be gone from the
// screen. Hiding a window only queues requests: this sends them to the X
// server, waits until the server has handled them, lets the window system's
// answers (unmap, expose) run through the event loop, and then waits the
// fixed delay in which the window manager and the other programs repaint
// what lay beneath.
namespace zk {

// Flushes and syncs the program's X connection (nothing of that without
// X11), processes pending events except user input, then sleeps delayMs.
void SettleScreen(int delayMs);

// The flush and sync alone: true when an X connection was synced.
bool SyncWindowSystem();

} // namespace zk
