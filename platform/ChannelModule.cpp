#include "ChannelModule.h"

#include "ProgramModule.h"

#include <QDir>
#include <QFile>

#include <mutex>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zk {

namespace {

// A folder we may put a socket in: a real folder (not a link) of ours that
// nobody else can enter or write.
bool IsPrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

struct TChannelModule
{
    ZkChannelNewServerFn newServer = nullptr;
    ZkChannelSendFn send = nullptr;
    QString error;
};

const TChannelModule &channelModule()
{
    static TChannelModule m;
    static std::once_flag once;
    std::call_once(once, [] {
        void *lib = OpenProgramModule(channel::kModuleName, &m.error);
        if (!lib)
            return;
        m.newServer = reinterpret_cast<ZkChannelNewServerFn>(::dlsym(lib, channel::kNewServer));
        m.send = reinterpret_cast<ZkChannelSendFn>(::dlsym(lib, channel::kSend));
        if (!m.newServer || !m.send) {
            m = TChannelModule{};
            m.error = QStringLiteral("%1 lacks an entry point").arg(QLatin1String(channel::kModuleName));
        }
    });
    return m;
}

} // namespace

QString ChannelRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime))
        return runtime;
    const QString fallback = QDir::tempPath() + QStringLiteral("/zelkora-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    // Someone else may have made that name first; then it is not ours to use.
    return IsPrivateFolder(fallback) ? fallback : QString();
}

QString ChannelDefaultPath()
{
    const QString folder = ChannelRuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/zelkora.sock");
}

QString ChannelModuleProblem()
{
    return channelModule().error;
}

std::unique_ptr<IChannelServer> NewChannelServer(TChannelHandler onMessage, QString *error)
{
    const TChannelModule &m = channelModule();
    if (!m.newServer) {
        if (error)
            *error = m.error;
        return nullptr;
    }
    return std::unique_ptr<IChannelServer>(m.newServer(onMessage));
}

bool SendChannelFrames(const QList<TChannelFrame> &frames, const QString &path, int timeoutMs, QString *error)
{
    const TChannelModule &m = channelModule();
    if (!m.send) {
        if (error)
            *error = m.error;
        return false;
    }
    return m.send(frames, path, timeoutMs, error);
}

} // namespace zk
