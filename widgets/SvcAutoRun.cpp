#include "SvcAutoRun.h"

#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace zk {

namespace {

bool onceKind(int kind)
{
    return kind == aekMachineRunOnce || kind == aekUserRunOnce;
}

// The file-name part of a path, as the value name was taken after the last
// "\", ":" or "/".
QString baseName(const QString &path)
{
    const qsizetype cut = std::max({path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'), path.lastIndexOf(u':')});
    return path.mid(cut + 1);
}

} // namespace

QString AutoRunEntryText(const QString &fileName);

namespace {

bool writeEntry(const QString &path, const QString &executable)
{
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    TSafeFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(AutoRunEntryText(executable).toUtf8());
    return file.commit();
}

} // namespace

QString DesktopExecQuote(const QString &path)
{
    QString quoted;
    for (QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        // A lone "%" would start a field code.
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    // The entry format escapes the backslash once more for the whole value.
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return u'"' + quoted + u'"';
}

QString AutoRunFolder(int kind)
{
    switch (kind) {
    case aekUserRun:
    case aekUserRunOnce:
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
    case aekMachineRun:
    case aekMachineRunOnce: {
        QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
        QString first = dirs.split(u':', Qt::SkipEmptyParts).value(0);
        if (first.isEmpty())
            first = QStringLiteral("/etc/xdg");
        return first + QStringLiteral("/autostart");
    }
    default:
        return {};
    }
}

QString AutoRunEntryPath(int kind, const QString &fileName)
{
    const QString folder = AutoRunFolder(kind);
    const QString name = baseName(fileName);
    if (folder.isEmpty() || name.isEmpty())
        return {};
    return folder + u'/' + name + (onceKind(kind) ? QStringLiteral("-runonce.desktop") : QStringLiteral(".desktop"));
}

QString AutoRunEntryText(const QString &fileName)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Zelkora 5.0\n"
                          "Comment=Screen-Capture\n"
                          "Exec=%1\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(DesktopExecQuote(fileName));
}

bool AutoRunWrite(int kind, const QString &fileName)
{
    return writeEntry(AutoRunEntryPath(kind, fileName), fileName);
}

bool AutoRunRemove(int kind, const QString &fileName)
{
    const QString path = AutoRunEntryPath(kind, fileName);
    if (path.isEmpty() || !QFileInfo(QFileInfo(path).absolutePath()).isDir())
        return false;
    const QFileInfo entry(path);
    if (!entry.exists() && !entry.isSymLink())
        return true;
    return QFile::remove(path);
}

QString RunOnceEntryPath()
{
    return AutoRunEntryPath(aekUserRunOnce, QStringLiteral("zelkora"));
}

bool WriteRunOnceEntry(const QString &executable)
{
    // The entry keeps the name start-up removes, whatever the program file is called.
    return writeEntry(RunOnceEntryPath(), executable);
}

void RemoveRunOnceEntry()
{
    AutoRunRemove(aekUserRunOnce, QStringLiteral("zelkora"));
}

TsvcAutoRun::TsvcAutoRun(QObject *owner)
    : TsvcComponent(owner)
    , m_fileName(QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString())
{
}

void TsvcAutoRun::SetAutoRun(bool on)
{
    if (on == m_autoRun)
        return;
    Unregister();
    m_autoRun = on;
    Register();
}

void TsvcAutoRun::SetFileName(const QString &fileName)
{
    if (fileName == m_fileName)
        return;
    Unregister();
    m_fileName = fileName;
    Register();
}

void TsvcAutoRun::SetKind(TsvcAutoExecKind kind)
{
    if (kind == m_kind)
        return;
    Unregister();
    m_kind = kind;
    Register();
}

void TsvcAutoRun::Loaded()
{
    m_loading = false;
    Register();
}

void TsvcAutoRun::Register()
{
    if (m_loading)
        return;
    Unregister();
    if (m_autoRun)
        AutoRunWrite(m_kind, m_fileName);
}

void TsvcAutoRun::Unregister()
{
    if (m_loading)
        return;
    AutoRunRemove(m_kind, m_fileName);
}

} // namespace zk
