#pragma once
// The desktop session's message bus at start-up. Where a session has no bus
// and none can be started, the bus library still forks the program to run
// the bus starter (dbus-launch), which is not there: a doomed attempt that
// costs milliseconds on every start and holds up the window meanwhile (a
// fork stops the other threads' memory requests). The first connection,
// which the accessibility bridge makes, then fails at once instead, as the
// forked attempt would have; the programs started later see the environment
// as it was.
#include <QByteArray>
#include <QString>

namespace zk {

// Whether connecting to the session bus can only fail: no bus address, no
// bus socket in the runtime folder, no bus starter in any folder of the
// search path (the caller adds the library's own folder, /usr/bin).
bool SessionBusCannotStart(const QByteArray &busAddress, const QString &runtimeDir, const QByteArray &searchPath);

class TSessionBusShortcut
{
public:
    // Decides from the environment; call before any other thread runs.
    TSessionBusShortcut();
    ~TSessionBusShortcut() { Release(); }
    TSessionBusShortcut(const TSessionBusShortcut &) = delete;
    TSessionBusShortcut &operator=(const TSessionBusShortcut &) = delete;

    bool Active() const { return m_active; }
    // Gives the environment back once the first connection was tried (the
    // library keeps what it found).
    void Release();

private:
    bool m_active = false;
};

} // namespace zk
