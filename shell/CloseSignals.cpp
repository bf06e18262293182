#include "CloseSignals.h"

#include <QSocketNotifier>
#include <QtDebug>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zk {

const int TCloseSignals::Signals[3] = {SIGTERM, SIGINT, SIGHUP};

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onCloseSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    // A full pipe already holds a signal the loop has yet to read.
    (void)::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TCloseSignals::TCloseSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Termination signals cannot be caught: the program closes without saving on them");
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TCloseSignals::readPipe);
    struct sigaction sa = {};
    sa.sa_handler = onCloseSignal;
    sigemptyset(&sa.sa_mask);
    // SA_RESETHAND: a second signal finds the default action again, so a
    // close that hangs can still be ended the ordinary way.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Signals[i], &sa, &m_old[i]);
    m_installed = true;
}

TCloseSignals::~TCloseSignals()
{
    if (!m_installed)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Signals[i], &m_old[i], nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TCloseSignals::readPipe()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        last = byte;
    if (last && m_onSignal)
        m_onSignal(last);
}

} // namespace zk
