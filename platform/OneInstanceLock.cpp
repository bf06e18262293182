#include "OneInstanceLock.h"

#include "ChannelModule.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zk {

namespace {

enum class TLockResult { Taken, Held, Failed };

// Opens (creating) the lock file and tries to lock it without waiting.
TLockResult lockFile(const QString &path, int *fd, QString *error)
{
    *fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (*fd < 0) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return TLockResult::Failed;
    }
    if (::flock(*fd, LOCK_EX | LOCK_NB) == 0)
        return TLockResult::Taken;
    const int err = errno;
    ::close(*fd);
    *fd = -1;
    if (err == EWOULDBLOCK)
        return TLockResult::Held;
    *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
    return TLockResult::Failed;
}

} // namespace

TInstanceLock TestOneInstanceLock(const QString &folder, const QString &title)
{
    TInstanceLock result;
    if (folder.isEmpty()) {
        result.exists = true;
        result.error = QStringLiteral("no private runtime folder ($XDG_RUNTIME_DIR or %1/zelkora-%2)")
                           .arg(QDir::tempPath())
                           .arg(::geteuid());
        return result;
    }
    const QString stem = folder + u'/' + title + QStringLiteral(".OneInstance.");
    int critical = -1;
    if (lockFile(stem + QStringLiteral("CriticalSection"), &critical, &result.error) != TLockResult::Taken) {
        result.exists = true; // another copy is testing right now, or no lock can be had
        return result;
    }
    const TLockResult second = lockFile(stem + QStringLiteral("Default"), &result.fd, &result.error);
    ::close(critical); // closing frees the first lock
    result.exists = second != TLockResult::Taken;
    return result;
}

QStringList AbsoluteFileArguments(const QStringList &arguments, const QString &folder)
{
    QStringList files;
    for (const QString &a : arguments)
        if (!a.isEmpty())
            files << QDir::cleanPath(QDir(folder).absoluteFilePath(a));
    return files;
}

bool HandOverToRunningCopy(const QStringList &files, const QString &path, int timeoutMs, QString *error)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The files and "show" go through one connection, costing one connect;
    // a refused connection sends them all again.
    QList<TChannelFrame> frames;
    for (const QString &file : files)
        frames << TChannelFrame{MsgLoadFile, file.toUtf8()};
    frames << TChannelFrame{MsgShowApplication, {}};
    // Without the channel's module no attempt can succeed.
    if (const QString problem = ChannelModuleProblem(); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    while (true) {
        if (SendChannelFrames(frames, path, int(std::max<qint64>(1, deadline.remainingTime())), error))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(25);
    }
}

} // namespace zk
