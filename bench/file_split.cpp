// Splitting a 1 GiB file into 100 MB parts and joining them again, beside
// GNU split -b and cat on the same file, taking turns in one run. Goals: at
// most 1.2 x their time; our resident memory grows by no more than a few
// copy blocks of 1 MiB (the peak of the peers is printed beside it).
#include "BenchKit.h"
#include "FileSplit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Peak resident set of this process in KiB since the last reset.
long peakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void sh(const QString &command)
{
    if (QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}) != 0)
        std::abort();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr qint64 kSize = qint64(1) << 30;
    constexpr qint64 kPart = 100000000;
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("source.bin"));
    {
        QFile f(src);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 131) ^ (i >> 7));
        for (qint64 done = 0; done < kSize; done += block.size())
            f.write(block);
    }
    const QString ours = dir.filePath(QStringLiteral("ours")), peer = dir.filePath(QStringLiteral("peer"));
    QDir().mkpath(ours);
    QDir().mkpath(peer);
    long ourGrowth = 0;
    const zkbench::Result r = zkbench::Turns(
        [&] {
            resetPeak();
            const long before = peakKiB();
            if (!zk::SplitFile(src, ours, kPart).Ok ||
                !zk::JoinFiles(ours + QStringLiteral("/source.001"), ours, QStringLiteral("joined")).Ok)
                std::abort();
            ourGrowth = std::max(ourGrowth, peakKiB() - before);
        },
        [&] {
            sh(QStringLiteral("split -b %1 '%2' '%3/source.' && cat '%3'/source.* > '%3/joined'")
                   .arg(kPart)
                   .arg(src, peer));
        },
        zkbench::Rounds(3));
    zkbench::Print("split 1 GiB into 100 MB parts and join", r, 1.2);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("%-44s ours +%ld KiB  split/cat peak %ld KiB  (goal <= 4096 KiB) %s\n", "resident memory growth",
                ourGrowth, children.ru_maxrss, ourGrowth <= 4096 ? "ok" : "MISSED");
    return 0;
}
