#include "QtXcb.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace zk {

xcb_connection_t *QtXcbConnection()
{
    auto *app = qGuiApp;
    if (!app)
        return nullptr;
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace zk
