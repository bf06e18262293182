#pragma once
// Like-for-like timing: our code and its peer take turns round by round in
// one run, so both meet the same cache, clock and machine load; each side's
// median is printed with the ratio ours / peer and the goal it is held to.
// Inputs are the real pictures under bench/data (see its README).
#include "Bitmap.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

#ifndef ZK_BENCH_DATA
#define ZK_BENCH_DATA "bench/data"
#endif

namespace zkbench {

inline double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

struct Result
{
    double ours = 0, peer = 0;
    double Ratio() const { return peer > 0 ? ours / peer : 0; }
};

// One warm-up call each, then `rounds` rounds of ours-then-peer (the order
// flips every round so neither always runs second). `prepareOurs` and
// `preparePeer`, when given, run untimed right before every timed call of
// their side (a fresh copy of the input, say), so each side meets its input
// as freshly touched as the other does.
inline Result Turns(const std::function<void()> &ours, const std::function<void()> &peer, int rounds,
                    const std::function<void()> &prepareOurs, const std::function<void()> &preparePeer)
{
    const auto run = [&](bool runOurs) {
        const std::function<void()> &prepare = runOurs ? prepareOurs : preparePeer;
        if (prepare)
            prepare();
        const double t0 = nowMs();
        (runOurs ? ours : peer)();
        return nowMs() - t0;
    };
    run(true);
    run(false);
    std::vector<double> a, b;
    for (int r = 0; r < rounds; ++r) {
        const bool oursFirst = r % 2 == 0;
        for (int k = 0; k < 2; ++k) {
            const bool runOurs = (k == 0) == oursFirst;
            (runOurs ? a : b).push_back(run(runOurs));
        }
    }
    return {median(a), median(b)};
}

// The same with one preparation for both sides.
inline Result Turns(const std::function<void()> &ours, const std::function<void()> &peer, int rounds,
                    const std::function<void()> &prepare = {})
{
    return Turns(ours, peer, rounds, prepare, prepare);
}

// "name  ours 12.34 ms  peer 10.00 ms  ratio 1.23  (goal <= 1.00) ok"
inline void Print(const char *name, const Result &r, double goal)
{
    std::printf("%-44s ours %9.3f ms  peer %9.3f ms  ratio %5.2f  (goal <= %.2f) %s\n", name, r.ours, r.peer,
                r.Ratio(), goal, r.Ratio() <= goal ? "ok" : "MISSED");
    std::fflush(stdout);
}

// The same for quantities other than time: "ours 12.3 MB  peer 10.0 MB".
inline void Print(const char *name, const Result &r, double goal, const char *unit)
{
    std::printf("%-44s ours %9.3f %s  peer %9.3f %s  ratio %5.2f  (goal <= %.2f) %s\n", name, r.ours, unit, r.peer,
                unit, r.Ratio(), goal, r.Ratio() <= goal ? "ok" : "MISSED");
    std::fflush(stdout);
}

// A quantity held to a limit of its own rather than to a peer's:
// "name  3.100 ms  (goal <= 5.000 ms) ok".
inline void PrintAtMost(const char *name, double value, double limit, const char *unit)
{
    std::printf("%-44s %9.3f %s  (goal <= %.3f %s) %s\n", name, value, unit, limit, unit,
                value <= limit ? "ok" : "MISSED");
    std::fflush(stdout);
}

inline int Rounds(int fallback)
{
    const char *env = std::getenv("ZK_BENCH_ROUNDS");
    return env && std::atoi(env) > 0 ? std::atoi(env) : fallback;
}

// The real desktop capture, 24-bit.
inline zk::TBitmap Desktop()
{
    const QImage img(QStringLiteral(ZK_BENCH_DATA "/desktop-1920x1080.png"));
    if (img.isNull()) {
        std::fprintf(stderr, "missing %s/desktop-1920x1080.png\n", ZK_BENCH_DATA);
        std::exit(2);
    }
    return zk::TBitmap::FromImage(img.convertToFormat(QImage::Format_BGR888));
}

// The real photo, scaled to 1920 wide and cut to 1920x1080, 24-bit.
inline zk::TBitmap Photo()
{
    const QImage img(QStringLiteral(ZK_BENCH_DATA "/coffee-600x400.png"));
    if (img.isNull()) {
        std::fprintf(stderr, "missing %s/coffee-600x400.png\n", ZK_BENCH_DATA);
        std::exit(2);
    }
    const QImage big = img.scaledToWidth(1920, Qt::SmoothTransformation);
    return zk::TBitmap::FromImage(
        big.copy(0, (big.height() - 1080) / 2, 1920, 1080).convertToFormat(QImage::Format_BGR888));
}

// One field of /proc/self/status in kB ("VmRSS:" now, "VmHWM:" the peak
// since the last ResetPeak()); -1 when it cannot be read.
inline long StatusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Sets the peak resident size back to the current one.
inline void ResetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The child side of ChildPeakKb: runs the program argv names and prints its
// peak resident size in kB (ru_maxrss); 0 when it ran and ended well. A
// process of its own, because Qt reaps the children of a process that has
// used QProcess before wait4 can see them.
inline int RusageOf(char **argv)
{
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0)
        return 1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}

// The peak resident size in kB of command, run through this bench itself
// (self, whose main hands "--rusage-of" to RusageOf); -1 when it failed.
inline long ChildPeakKb(const QString &self, const QStringList &command)
{
    QProcess p;
    p.start(self, QStringList{QStringLiteral("--rusage-of")} + command);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return p.readAllStandardOutput().trimmed().toLong();
}

} // namespace zkbench
