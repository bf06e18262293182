/* Loaded with LD_PRELOAD into a test's child process: every fsync and
 * fdatasync waits ZK_FSYNC_DELAY_MS milliseconds (default 30) before doing
 * its work, which widens the moment in which a kill lands between writing a
 * file and putting it in place. It also counts the flushes and renames, for
 * tests that check how many a command makes. */
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <time.h>

namespace {

std::atomic<long> g_fsyncs{0};
std::atomic<long> g_renames{0};

template<class Fn>
Fn next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void pauseAWhile()
{
    const char *env = std::getenv("ZK_FSYNC_DELAY_MS");
    const long delay = env ? std::atol(env) : 30;
    struct timespec ts = {delay / 1000, (delay % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

} // namespace

extern "C" {

int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    ++g_fsyncs;
    pauseAWhile();
    return real(fd);
}

int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    ++g_fsyncs;
    pauseAWhile();
    return real(fd);
}

int rename(const char *from, const char *to)
{
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    ++g_renames;
    return real(from, to);
}

long zk_slow_fsync_count()
{
    return g_fsyncs.load();
}

long zk_slow_rename_count()
{
    return g_renames.load();
}

} // extern "C"
