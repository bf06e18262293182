// The zelkora executable: the one-copy test first, before anything else is
// read or written. A second copy hands its picture and "show yourself" to
// the running copy and ends, having loaded only QtCore and the channel's
// module (platform/ChannelModule.h); the first copy goes on into the program
// (libzelkora.so beside this file) without Qt Network.
#include "ChannelModule.h"
#include "OneInstanceLock.h"
#include "ProgramEntry.h"
#include "ReaderCancel.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

// Opens the program beside this executable and runs it.
int RunProgram(int argc, char **argv, int start)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, std::size_t(n)) : std::string(argv[0]);
    path = path.substr(0, path.rfind('/') + 1) + "libzelkora.so";
    void *program = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    const auto entry = program ? reinterpret_cast<decltype(&ZelkoraProgramMain)>(::dlsym(program, ZK_PROGRAM_ENTRY))
                               : nullptr;
    if (!entry) {
        std::fprintf(stderr, "Zelkora kann nicht starten: %s\n", ::dlerror());
        return 1;
    }
    // The program stays loaded until the process ends: its objects' last
    // destructors run at exit.
    return entry(argc, argv, start);
}

} // namespace

int main(int argc, char **argv)
{
    // The hook SANE's reader threads meet is this executable's.
    zk::PrepareSaneReaders();
    const zk::TInstanceLock lock = zk::TestOneInstanceLock(zk::ChannelRuntimeFolder(),
                                                            QStringLiteral("Zelkora 5.0"));
    // The lock, when taken, stays open for the life of the process.
    if (!lock.exists)
        return RunProgram(argc, argv, ZelkoraFirstCopy);
    if (lock.error.isEmpty()) {
        bool handedOver = false;
        {
            QCoreApplication core(argc, argv);
            QStringList args = QCoreApplication::arguments();
            args.removeFirst();
            // Only the first argument names a picture.
            const QStringList files = zk::AbsoluteFileArguments(args.mid(0, 1), QDir::currentPath());
            QString error;
            handedOver = zk::HandOverToRunningCopy(files, zk::ChannelDefaultPath(), 3000, &error);
        }
        if (handedOver)
            return 0;
    }
    // What is left (the running copy's window, a message naming what went
    // wrong) needs the rest of the program.
    return RunProgram(argc, argv, ZelkoraHandOverFailed);
}
