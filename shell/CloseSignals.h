#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, a session manager, `systemctl --user
// stop`, Ctrl+C in a terminal) end the program the way its close command
// does, so the session's settings are kept. The signal handler only writes
// the signal's number into a pipe; a QSocketNotifier hands it to the event
// loop, where anything may be done. A second signal of the same kind while
// the first is handled ends the program at once, as it would without us.
#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

namespace zk {

class TCloseSignals : public QObject
{
public:
    // onSignal runs on the event loop with the signal's number. One object at
    // a time; the destructor puts the earlier handlers back.
    explicit TCloseSignals(std::function<void(int)> onSignal, QObject *parent = nullptr);
    ~TCloseSignals() override;

    static const int Signals[3];

private:
    void readPipe();

    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_old[3];
    bool m_installed = false;
};

} // namespace zk
