#pragma once
// SANE backends that read in a thread of their own (the test device and
// several scanner backends) ask for that thread to be cancelled
// asynchronously, and sane_cancel then stops it wherever it happens to be.
// A thread stopped inside malloc, free or the loader keeps their lock for
// ever: the program's next allocation, or the sane_exit that unloads the
// backend, then waits on it. The program answers such a request of a SANE
// backend with deferred cancelling: the reader stops at its next read,
// write or wait instead, where stopping is safe.
//
// An executable's own definition of pthread_setcanceltype comes before the
// C library's for every library it loads; so each executable that may load
// SANE carries this file's definition and exports that one symbol (see the
// link options in CMakeLists.txt). A copy inside a shared library is never
// reached: the zelkora executable carries its own beside the program
// library's hidden one, and prepares it itself.
namespace zk {

// Looks up the C library's own routine now, before any reader runs.
void PrepareSaneReaders();
// How many asynchronous cancel requests of SANE backends this executable
// turned into deferred ones.
int SaneAsyncCancelsDeferred();

} // namespace zk
