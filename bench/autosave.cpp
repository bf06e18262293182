// The automatic save of a 1920 x 1080 capture as BMP, beside the picture
// core's own BMP file write of the same picture in the same run. Goal: the
// automatic save within 1.5 times the raw write (compare the time columns).
// Both write to the same kind of folder and both make the file durable
// before renaming it into place.
#include "BenchPictures.h"
#include "Bitmap.h"
#include "PictureFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void BM_RawBmpWrite(benchmark::State &state)
{
    zk::TBitmap b = zkbench::PatternPicture();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("raw.bmp"));
    for (auto _ : state)
        b.SaveToFile(file);
}
BENCHMARK(BM_RawBmpWrite)->Unit(benchmark::kMillisecond);

void BM_AutoSaveBmp(benchmark::State &state)
{
    const zk::TBitmap b = zkbench::PatternPicture();
    QTemporaryDir dir;
    zk::TZelkoraOptions o;
    o.PersSave = true;
    o.OutDir = dir.path();
    o.FileName = QStringLiteral("Shot");
    o.FileTyp = zk::ptBmp;
    o.BmpPixForm = zk::pf24bit;
    for (auto _ : state) {
        const QString written = zk::AutoSavePicture(b, o);
        // The raw write replaces one file; so that both leave the disk with
        // the same amount of data, each automatic save's file goes again.
        state.PauseTiming();
        QFile::remove(written);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AutoSaveBmp)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
