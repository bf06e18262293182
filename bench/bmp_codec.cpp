// BMP write and read of a 1920 x 1080 24-bit picture, beside a plain memcpy
// of the same bytes in the same run. Goal: each at least half of memcpy's
// speed (compare the bytes_per_second columns).
#include "BenchPictures.h"
#include "Bitmap.h"
#include "BmpCodec.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

using zkbench::kHeight;
using zkbench::kWidth;

std::int64_t pictureBytes()
{
    return std::int64_t(zk::BytesPerRow(kWidth, 24)) * kHeight;
}

void BM_Memcpy(benchmark::State &state)
{
    const std::vector<uchar> src(std::size_t(pictureBytes()), 0x5A);
    std::vector<uchar> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes());
}

void BM_BmpWrite(benchmark::State &state)
{
    const zk::TBitmap b = zkbench::PatternPicture();
    for (auto _ : state) {
        QByteArray file = zk::WriteBmp(b);
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes());
}

void BM_BmpRead(benchmark::State &state)
{
    const QByteArray file = zk::WriteBmp(zkbench::PatternPicture());
    zk::TBitmap b;
    for (auto _ : state) {
        zk::ReadBmp(reinterpret_cast<const uchar *>(file.constData()), std::size_t(file.size()), b);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes());
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpRead)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
