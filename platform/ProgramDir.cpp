#include "ProgramDir.h"

#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace zk {

namespace {

QString &overrideDir()
{
    static QString dir;
    return dir;
}

QString withSlash(QString dir)
{
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

bool isWritableDir(const QString &dir)
{
    return QFileInfo(dir).isDir() && ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

// Copies the installed Templates/ into the user's data folder, file by file,
// without overwriting anything the user already has there.
void seedTemplates(const QString &exeDir, const QString &target)
{
    // Installed layouts keep Templates beside the binary or in ../share/zelkora.
    const QStringList candidates = {exeDir + "Templates", exeDir + "../share/zelkora/Templates"};
    for (const QString &src : candidates) {
        if (!QFileInfo(src).isDir())
            continue;
        QDirIterator it(src, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString rel = QDir(src).relativeFilePath(file);
            const QString dest = target + "Templates/" + rel;
            if (QFileInfo::exists(dest))
                continue;
            QDir().mkpath(QFileInfo(dest).absolutePath());
            CopyFileSafely(file, dest, false, nullptr);
        }
        return;
    }
}

} // namespace

QString ResolveProgramDir(const QString &exeDir, const QString &dataHome, int exeDirWritable)
{
    const QString exe = withSlash(exeDir);
    const bool writable = exeDirWritable < 0 ? isWritableDir(exe) : exeDirWritable != 0;
    if (writable)
        return exe;
    const QString data = withSlash(withSlash(dataHome) + "Zelkora");
    QDir().mkpath(data);
    seedTemplates(exe, data);
    return data;
}

QString ProgramDir()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    static const QString resolved = [] {
        QString exeDir = QCoreApplication::applicationDirPath();
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        if (dataHome.isEmpty())
            dataHome = QDir::homePath() + "/.local/share";
        return ResolveProgramDir(exeDir, dataHome);
    }();
    return resolved;
}

void SetProgramDirOverride(const QString &dir)
{
    overrideDir() = dir.isEmpty() ? QString() : withSlash(dir);
}

} // namespace zk
