#pragma once
// Like-for-like timing: our code and its peer take turns round by round in
// one run, so both meet the same cache, clock and machine load; each side's
// median is printed with the ratio ours / peer and the goal it is held to.
// Inputs are the real pictures under bench/data (see its README).
#include "Bitmap.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

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

} // namespace zkbench
