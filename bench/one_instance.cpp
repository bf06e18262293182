// A second copy handing its picture to the running one.
//
// 1. The hand-over: the second copy's lock test, then the picture and "show
//    yourself" sent through the program's channel, until the first copy has
//    the file; beside a bare QLocalSocket that connects, writes the same
//    bytes and has them read by a bare QLocalServer in another process.
//    Both receivers run in child processes of this program and report each
//    arrival through a pipe; the two take turns in one run. Goal: at most 2x.
// 2. The second copy's whole run: the real program started with a picture
//    while a first copy holds the lock, until it has exited, beside the floor
//    of the start-up benchmark (bench_startup --floor: a minimal Qt window
//    until it is mapped). Goal: at most 0.5x. Needs DISPLAY for the floor.
//
// The first copy here is the program's own lock and channel in a small
// process (not the whole main window), so what is timed is the hand-over
// itself and not the opening of the picture.
#include "BenchKit.h"
#include "BenchStart.h"
#include "LocalChannel.h"
#include "SvcOneInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <cstring>
#include <string>
#include <utility>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kReportFd = 3;

void report(char c)
{
    if (::write(kReportFd, &c, 1) != 1)
        std::_Exit(3);
}

// The first copy: the running copy's lock and the program's channel; one
// byte per file received.
int runFirstCopy(int argc, char **argv, const QString &folder)
{
    QCoreApplication app(argc, argv);
    zk::TsvcOneInstance first;
    first.LockFolder = folder;
    if (first.InstanceExists())
        return 4;
    zk::TLocalChannel channel;
    QObject::connect(&channel, &zk::TLocalChannel::MessageReceived, [](quint32 id, const QByteArray &) {
        if (id == zk::MsgLoadFile)
            report('F');
    });
    if (!channel.Listen(folder + QStringLiteral("/zelkora.sock")))
        return 5;
    report('R');
    return app.exec();
}

// The bare receiver: reads `expected` bytes of every connection, then one
// byte to the pipe.
int runBareServer(int argc, char **argv, const QString &path, qint64 expected)
{
    QCoreApplication app(argc, argv);
    QLocalServer server;
    QLocalServer::removeServer(path);
    if (!server.listen(path))
        return 5;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        while (QLocalSocket *s = server.nextPendingConnection()) {
            auto got = std::make_shared<qint64>(0);
            QObject::connect(s, &QLocalSocket::readyRead, s, [s, got, expected] {
                *got += s->readAll().size();
                if (*got >= expected) {
                    report('F');
                    s->disconnectFromServer();
                }
            });
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    report('R');
    return app.exec();
}

// The argument and environment arrays posix_spawn takes, with the strings
// they point into; the environment is ours plus the extra entries.
struct SpawnLists
{
    std::vector<std::string> args, env;
    std::vector<char *> argv, envp;
    SpawnLists(std::vector<std::string> a, const std::vector<std::string> &extraEnv) : args(std::move(a))
    {
        for (char **e = environ; *e; ++e)
            env.emplace_back(*e);
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        for (auto &x : args)
            argv.push_back(x.data());
        argv.push_back(nullptr);
        for (auto &x : env)
            envp.push_back(x.data());
        envp.push_back(nullptr);
    }
};

struct Child
{
    pid_t pid = -1;
    int readFd = -1;
};

// Starts this program in a mode, its fd 3 the write end of a pipe we read.
Child spawnSelf(const std::string &self, const std::vector<std::string> &args,
                const std::vector<std::string> &extraEnv = {})
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], kReportFd);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    std::vector<std::string> all{self};
    all.insert(all.end(), args.begin(), args.end());
    SpawnLists lists(all, extraEnv);
    Child c;
    if (posix_spawn(&c.pid, self.c_str(), &fa, nullptr, lists.argv.data(), lists.envp.data()) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    c.readFd = fds[0];
    return c;
}

bool await(const Child &c, char want)
{
    char got = 0;
    return ::read(c.readFd, &got, 1) == 1 && got == want;
}

void stop(Child &c)
{
    if (c.pid > 0) {
        ::kill(c.pid, SIGTERM);
        ::waitpid(c.pid, nullptr, 0);
    }
    if (c.readFd >= 0)
        ::close(c.readFd);
    c = {};
}

// Runs a program to its end; its exit code, or -1.
int runToEnd(const std::vector<std::string> &args, const std::vector<std::string> &extraEnv)
{
    SpawnLists lists(args, extraEnv);
    pid_t pid = 0;
    if (posix_spawn(&pid, lists.argv[0], nullptr, nullptr, lists.argv.data(), lists.envp.data()) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--first") == 0)
        return runFirstCopy(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc > 3 && std::strcmp(argv[1], "--bare") == 0)
        return runBareServer(argc, argv, QString::fromLocal8Bit(argv[2]), std::atoll(argv[3]));

    char selfPath[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", selfPath, sizeof selfPath - 1);
    const std::string self = n > 0 ? std::string(selfPath, std::size_t(n)) : std::string(argv[0]);
    const std::string binDir = self.substr(0, self.rfind('/'));
    QCoreApplication app(argc, argv);

    QTemporaryDir runtime; // owner-only, as the program wants its runtime folder
    const QString folder = runtime.path();
    const QString picture = folder + QStringLiteral("/shot.png");
    QFile(picture).open(QIODevice::WriteOnly);
    const QByteArray bytes =
        zk::EncodeChannelFrame(zk::MsgLoadFile, picture.toUtf8()) + zk::EncodeChannelFrame(zk::MsgShowApplication);
    const QString barePath = folder + QStringLiteral("/bare.sock");

    Child first = spawnSelf(self, {"--first", folder.toStdString()});
    Child bare = spawnSelf(self, {"--bare", barePath.toStdString(), std::to_string(bytes.size())});
    if (!await(first, 'R') || !await(bare, 'R')) {
        std::fprintf(stderr, "a receiver did not start\n");
        stop(first);
        stop(bare);
        return 1;
    }

    bool failed = false;
    const zkbench::Result handOver = zkbench::Turns(
        [&] {
            zk::TsvcOneInstance second;
            second.LockFolder = folder;
            second.ChannelPath = folder + QStringLiteral("/zelkora.sock");
            if (!second.InstanceExists()) {
                failed = true;
                return;
            }
            second.Files = {picture};
            second.DoInstanceFound();
            if (!second.HandedOver() || !await(first, 'F'))
                failed = true;
        },
        [&] {
            QLocalSocket s;
            s.connectToServer(barePath);
            if (!s.waitForConnected(3000)) {
                failed = true;
                return;
            }
            s.write(bytes);
            s.waitForBytesWritten(3000);
            s.disconnectFromServer();
            if (!await(bare, 'F'))
                failed = true;
        },
        zkbench::Rounds(200));
    if (failed) {
        std::fprintf(stderr, "a hand-over failed\n");
        stop(first);
        stop(bare);
        return 1;
    }
    zkbench::Print("hand-over (lock test to file received) / bare", handOver, 2.0);

    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "the whole second copy beside the start-up floor needs DISPLAY\n");
        stop(first);
        stop(bare);
        return 2;
    }
    // The program finds the first copy through its runtime folder.
    const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + folder.toStdString()};
    const std::string program = binDir + "/../Zelkora/zelkora";
    const zkbench::Result whole = zkbench::Turns(
        [&] {
            if (runToEnd({program, picture.toStdString()}, env) != 0 || !await(first, 'F'))
                failed = true;
        },
        [&] {
            QTemporaryDir home;
            if (!zkbench::startUntilShown({binDir + "/bench_startup", "--floor"}, "ZkFloor",
                                          home.path().toStdString()))
                failed = true;
        },
        zkbench::Rounds(10));
    stop(first);
    stop(bare);
    if (failed) {
        std::fprintf(stderr, "the second copy or the floor window failed\n");
        return 1;
    }
    zkbench::Print("second copy's whole run / start-up floor", whole, 0.5);
    return 0;
}
