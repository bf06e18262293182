// NextFreeNumber over a folder of 10,000 numbered pictures (plus some files
// of other names). Goal: under 20 ms a call, which needs one pass over the
// folder without looking at each file's attributes.
#include "PictureFiles.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kFiles = 10000;

struct Folder
{
    Folder()
    {
        for (int i = 1; i <= kFiles; ++i)
            QFile(dir.filePath(QStringLiteral("Shot%1.bmp").arg(i))).open(QIODevice::WriteOnly);
        for (int i = 1; i <= 500; ++i)
            QFile(dir.filePath(QStringLiteral("Other%1.jpg").arg(i))).open(QIODevice::WriteOnly);
    }
    QTemporaryDir dir;
};

void BM_NextFreeNumber(benchmark::State &state)
{
    static Folder folder;
    for (auto _ : state) {
        const int n = zk::NextFreeNumber(folder.dir.path(), QStringLiteral("Shot"), QStringLiteral(".bmp"));
        if (n != kFiles + 1)
            state.SkipWithError("wrong number");
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_NextFreeNumber)->Unit(benchmark::kMillisecond);

void BM_NextAutoFileName(benchmark::State &state)
{
    static Folder folder;
    for (auto _ : state) {
        QString name = zk::NextAutoFileName(folder.dir.path(), QStringLiteral("Shot"), QStringLiteral(".bmp"));
        benchmark::DoNotOptimize(name);
    }
}
BENCHMARK(BM_NextAutoFileName)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
