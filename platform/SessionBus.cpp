#include "SessionBus.h"

#include <QFileInfo>
#include <QtGlobal>

namespace zk {

namespace {

const char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";

bool ExecutableIn(const QString &folder, const char *name)
{
    const QFileInfo file(folder + u'/' + QLatin1String(name));
    return file.isFile() && file.isExecutable();
}

} // namespace

bool SessionBusCannotStart(const QByteArray &busAddress, const QString &runtimeDir, const QByteArray &searchPath)
{
    if (!busAddress.isEmpty())
        return false;
    // The bus library's own guess before it tries the starter.
    if (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QLatin1String("/bus")))
        return false;
    for (const QByteArray &folder : searchPath.split(':'))
        if (!folder.isEmpty() && ExecutableIn(QString::fromLocal8Bit(folder), "dbus-launch"))
            return false;
    return true;
}

TSessionBusShortcut::TSessionBusShortcut()
{
    if (!SessionBusCannotStart(qgetenv(kAddressVariable), qEnvironmentVariable("XDG_RUNTIME_DIR"),
                                qgetenv("PATH") + ":/usr/bin"))
        return;
    // An address of no known kind: the library gives up without forking.
    qputenv(kAddressVariable, "disabled:");
    m_active = true;
}

void TSessionBusShortcut::Release()
{
    if (!m_active)
        return;
    qunsetenv(kAddressVariable);
    m_active = false;
}

} // namespace zk
