// The picture filters on 1920 x 1080 and 3840 x 2160 pictures, each beside
// the floor: a plain pass that reads and writes every byte of a picture of
// the same depth. Goals (compare the times, or bytes_per_second): at most 3
// times the floor for mirror, flip, invert, grey, brightness, contrast and
// RGB shift; at most 10 times for smoothing, rotation and soft edges.
// Every run starts from a fresh copy of the picture (copied outside the
// timing), so a filter never gets an easier picture from its own last run.
#include "Bitmap.h"
#include "BitmapFilters.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>

namespace {

zk::TBitmap screenLikePicture(int w, int h, zk::TPixelFormat pf)
{
    zk::TBitmap b(w, h, pf);
    const int step = pf == zk::pf32bit ? 4 : 3;
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch)
                // Flat areas with edges, as in a screen shot.
                row[x * step + ch] = uchar(((x / 40) * 37 + (y / 25) * 91 + ch * 50) ^ ((x + y) % 7 == 0 ? 0xFF : 0));
    }
    return b;
}

std::int64_t pictureBytes(const zk::TBitmap &b)
{
    return std::int64_t(b.Stride()) * b.Height();
}

void run(benchmark::State &state, zk::TPixelFormat pf, const std::function<void(zk::TBitmap &)> &filter)
{
    const zk::TBitmap original = screenLikePicture(int(state.range(0)), int(state.range(1)), pf);
    zk::TBitmap b;
    for (auto _ : state) {
        state.PauseTiming();
        b = original;
        state.ResumeTiming();
        filter(b);
        benchmark::DoNotOptimize(b.ScanLine(0));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes(original));
}

void floorPass(zk::TBitmap &b)
{
    const std::size_t n = b.Stride() * std::size_t(b.Height());
    uchar *p = b.ScanLine(0);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = uchar(p[i] + 1);
}

void BM_Floor24(benchmark::State &s) { run(s, zk::pf24bit, floorPass); }
void BM_Floor32(benchmark::State &s) { run(s, zk::pf32bit, floorPass); }
void BM_MirrorH(benchmark::State &s) { run(s, zk::pf24bit, zk::MirrorBitmapH); }
void BM_MirrorV(benchmark::State &s) { run(s, zk::pf24bit, zk::MirrorBitmapV); }
void BM_Invert(benchmark::State &s) { run(s, zk::pf32bit, zk::InvertBitmap); }
void BM_Gray(benchmark::State &s) { run(s, zk::pf24bit, zk::GrayBitmap); }
void BM_Brightness(benchmark::State &s)
{
    run(s, zk::pf24bit, [](zk::TBitmap &b) { zk::BrightnessBitmap(b, b, 15); });
}
void BM_Contrast(benchmark::State &s)
{
    run(s, zk::pf24bit, [](zk::TBitmap &b) { zk::ContrastBitmap(b, 55); });
}
void BM_ShiftRGB(benchmark::State &s)
{
    run(s, zk::pf24bit, [](zk::TBitmap &b) { zk::ShiftRGB(b, 20, 0, -10); });
}
void BM_Rotate(benchmark::State &s) { run(s, zk::pf32bit, zk::RotateBitmap90); }
void BM_Smooth(benchmark::State &s)
{
    run(s, zk::pf24bit, [](zk::TBitmap &b) { zk::SmoothRect(b, QRect(0, 0, b.Width(), b.Height())); });
}
void BM_SoftenEdges(benchmark::State &s)
{
    run(s, zk::pf24bit, [](zk::TBitmap &b) { zk::SoftenEdges(b, QRect(0, 0, b.Width(), b.Height()), 30); });
}

#define ZK_SIZES ->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)

BENCHMARK(BM_Floor24) ZK_SIZES;
BENCHMARK(BM_MirrorH) ZK_SIZES;
BENCHMARK(BM_MirrorV) ZK_SIZES;
BENCHMARK(BM_Gray) ZK_SIZES;
BENCHMARK(BM_Brightness) ZK_SIZES;
BENCHMARK(BM_Contrast) ZK_SIZES;
BENCHMARK(BM_ShiftRGB) ZK_SIZES;
BENCHMARK(BM_Smooth) ZK_SIZES;
BENCHMARK(BM_SoftenEdges) ZK_SIZES;
BENCHMARK(BM_Floor32) ZK_SIZES;
BENCHMARK(BM_Invert) ZK_SIZES;
BENCHMARK(BM_Rotate) ZK_SIZES;

} // namespace

BENCHMARK_MAIN();
