#include "FaultKit.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace faultkit {

namespace {

QProcessEnvironment childEnv(const ChildOptions &o, const Unprivileged &user)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), o.configHome);
    // The shim comes before the sanitizer's runtime; leak reports are the
    // test process's business, not the victim's.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0:detect_leaks=0"));
    QStringList preload;
    if (o.slowFsync)
        preload << QStringLiteral(ZK_SLOW_FSYNC);
    if (o.noTmpfileShim)
        preload << QStringLiteral(ZK_NO_TMPFILE_SHIM);
    if (!preload.isEmpty())
        env.insert(QStringLiteral("LD_PRELOAD"), preload.join(u':'));
    if (o.namedTemps)
        env.insert(QStringLiteral("ZK_NO_TMPFILE"), QStringLiteral("1"));
    const QString programDir = o.programDir.isEmpty() ? o.configHome + QStringLiteral("/program") : o.programDir;
    QDir().mkpath(programDir);
    env.insert(QStringLiteral("ZK_PROGRAM_DIR_OVERRIDE"), programDir);
    if (o.unprivileged && ::geteuid() == 0) {
        const QString runtime = o.configHome + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        giveTo(runtime, user);
        giveTo(programDir, user);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("HOME"), o.configHome);
    }
    return env;
}

} // namespace

std::unique_ptr<QProcess> startChild(const QStringList &args, const ChildOptions &options)
{
    auto child = std::make_unique<QProcess>();
    const Unprivileged user = options.unprivileged ? UnprivilegedUser() : Unprivileged{};
    child->setProcessEnvironment(childEnv(options, user));
    child->setProcessChannelMode(options.mergeErrors ? QProcess::MergedChannels : QProcess::ForwardedErrorChannel);
    if (options.unprivileged && ::geteuid() == 0) {
        QStringList wrapped = {QStringLiteral("--reuid=%1").arg(user.uid), QStringLiteral("--regid=%1").arg(user.gid),
                               QStringLiteral("--clear-groups"), QStringLiteral("--"), QStringLiteral(ZK_FAULT_CHILD)};
        child->start(QStringLiteral("setpriv"), wrapped + args);
    } else {
        child->start(QStringLiteral(ZK_FAULT_CHILD), args);
    }
    child->waitForStarted(10000);
    return child;
}

bool waitForLine(QProcess &child, const QString &prefix, int timeoutMs, QStringList *seen)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).trimmed();
            if (seen)
                seen->append(line);
            if (line.startsWith(prefix))
                return true;
        }
        if (child.state() == QProcess::NotRunning)
            return false;
        child.waitForReadyRead(20);
    }
    return false;
}

void killHard(QProcess &child)
{
    if (child.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    child.waitForFinished(10000);
}

int runChild(const QStringList &args, const ChildOptions &options, QStringList *lines, int timeoutMs)
{
    auto child = startChild(args, options);
    if (!child->waitForFinished(timeoutMs)) {
        killHard(*child);
        return -1;
    }
    if (lines)
        for (const QByteArray &l : child->readAllStandardOutput().split('\n'))
            if (!l.trimmed().isEmpty())
                lines->append(QString::fromUtf8(l).trimmed());
    return child->exitStatus() == QProcess::NormalExit ? child->exitCode() : -1;
}

QStringList messagesIn(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines)
        if (l.startsWith(QLatin1String("message ")))
            out.append(l.mid(8));
    return out;
}

SmallDisk::SmallDisk(int kilobytes)
{
    if (::geteuid() != 0) {
        skipReason = QStringLiteral("mounting a small disk needs root");
        return;
    }
    m_base = openScratchDir(QStringLiteral("disk"));
    const QString mountPoint = m_base + QStringLiteral("/mnt");
    QDir().mkpath(mountPoint);
    QByteArray out;
    if (zktest::runProgram(QStringLiteral("mount"),
                           {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                            QStringLiteral("size=%1k,mode=0777").arg(kilobytes), QStringLiteral("zkfull"), mountPoint},
                           &out) == 0) {
        dir = mountPoint;
        return;
    }
    // No tmpfs here: a loop file system in a file.
    m_image = m_base + QStringLiteral("/disk.img");
    const int size = std::max(kilobytes, 1024);
    if (zktest::runProgram(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("%1K").arg(size), m_image}) == 0 &&
        zktest::runProgram(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), m_image}) == 0 &&
        zktest::runProgram(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), m_image, mountPoint}) == 0) {
        ::chmod(QFile::encodeName(mountPoint).constData(), 0777);
        dir = mountPoint;
        return;
    }
    skipReason = QStringLiteral("neither a tmpfs nor a loop file system can be mounted here");
}

SmallDisk::~SmallDisk()
{
    if (!dir.isEmpty())
        zktest::runProgram(QStringLiteral("umount"), {QStringLiteral("-l"), dir});
    if (!m_base.isEmpty())
        QDir(m_base).removeRecursively();
}

void SmallDisk::Fill()
{
    QFile filler(dir + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    for (qint64 chunk = 65536; chunk >= 1; chunk /= 4) {
        const QByteArray bytes(chunk, 'x');
        while (filler.write(bytes) == chunk) {
        }
    }
}

Unprivileged UnprivilegedUser()
{
    Unprivileged u;
    if (::geteuid() != 0) {
        u.possible = true;
        u.uid = ::geteuid();
        u.gid = ::getegid();
        return u;
    }
    if (!zktest::haveProgram(QStringLiteral("setpriv"))) {
        u.skipReason = QStringLiteral("running as root and setpriv is missing");
        return u;
    }
    const passwd *pw = ::getpwnam("nobody");
    if (!pw) {
        u.skipReason = QStringLiteral("running as root and there is no user \"nobody\"");
        return u;
    }
    u.possible = true;
    u.uid = pw->pw_uid;
    u.gid = pw->pw_gid;
    return u;
}

void giveTo(const QString &path, const Unprivileged &user)
{
    if (::geteuid() == 0)
        (void)::chown(QFile::encodeName(path).constData(), user.uid, user.gid);
}

QString openScratchDir(const QString &name)
{
    static int counter = 0;
    const QString dir = QDir::tempPath() +
                        QStringLiteral("/zk-fault-%1-%2-%3").arg(::getpid()).arg(name).arg(++counter);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0755);
    return dir;
}

} // namespace faultkit
