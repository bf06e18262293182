#include "ScreenSettle.h"

#include "QtXcb.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdlib>

namespace zk {

bool SyncWindowSystem()
{
    xcb_connection_t *c = QtXcbConnection();
    if (!c || xcb_connection_has_error(c))
        return false;
    // A round trip: once its answer is here, every request sent before it
    // (the unmaps of our windows) has been carried out by the server.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return true;
}

void SettleScreen(int delayMs)
{
    const auto flags = QEventLoop::ExcludeUserInputEvents;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(flags);
    if (SyncWindowSystem())
        QCoreApplication::processEvents(flags);
    if (delayMs > 0)
        QThread::msleep(static_cast<unsigned long>(delayMs));
}

} // namespace zk
