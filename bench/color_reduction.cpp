// Colour reduction of the 1920 x 1080 screenshot-like (kind:0) and photo-like
// (kind:1) pictures by every method with nearest colour (dither:0) and
// Floyd-Steinberg (dither:1), each with its PSNR against the 24-bit original;
// beside ImageMagick's "convert in.bmp -dither None -colors 256 ppm:-"
// (dither:0) and "convert in.bmp -colors 256 ppm:-" (its default dithering,
// dither:1) in the same run.
// Goals: method 7 with nearest colour at most 0.25 x convert's -dither None
// time, method 7 with Floyd-Steinberg at most 0.5 x its default-dither time.
// The ratios and both tools' PSNR are printed at the end.
#include "BenchPictures.h"
#include "ColorReduction.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

const QString kConvert = QStringLiteral("/usr/bin/convert");

struct Fixture
{
    zk::TBitmap pictures[2];
    QTemporaryDir dir;
    QString bmp[2];
    QVector<QRgb> callerPalette[2]; // method 9: the octree palette of the picture
};

Fixture &fixture()
{
    static Fixture *f = [] {
        auto *fx = new Fixture;
        fx->pictures[0] = zkbench::screenshot();
        fx->pictures[1] = zkbench::photo();
        for (int k = 0; k < 2; ++k) {
            fx->bmp[k] = fx->dir.filePath(QStringLiteral("kind%1.bmp").arg(k));
            QFile file(fx->bmp[k]);
            if (file.open(QIODevice::WriteOnly))
                fx->pictures[k].SaveToStream(file);
            zk::TBitmap copy = fx->pictures[k];
            fx->callerPalette[k] = zk::BuildOctreePalette(copy, 256, 8, false);
        }
        return fx;
    }();
    return *f;
}

double psnr(const zk::TBitmap &original, const uchar *rgb, int stride, bool paletted, const zk::TBitmap *reduced)
{
    double se = 0;
    const int w = original.Width(), h = original.Height();
    for (int y = 0; y < h; ++y) {
        const uchar *o = original.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            int r, g, b;
            if (paletted) {
                const QRgb c = reduced->Palette()[reduced->ScanLine(y)[x]];
                r = qRed(c), g = qGreen(c), b = qBlue(c);
            } else {
                const uchar *p = rgb + size_t(y) * size_t(stride) + 3 * size_t(x);
                r = p[0], g = p[1], b = p[2];
            }
            se += double(r - o[3 * x + 2]) * (r - o[3 * x + 2]) + double(g - o[3 * x + 1]) * (g - o[3 * x + 1]) +
                  double(b - o[3 * x]) * (b - o[3 * x]);
        }
    }
    return se == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * 3.0 * w * h / se);
}

struct Result
{
    double seconds = 0;
    double psnr = 0;
};
std::map<std::string, Result> results;

void BM_Ours(benchmark::State &state)
{
    Fixture &f = fixture();
    const int method = int(state.range(0)), dither = int(state.range(1)), kind = int(state.range(2));
    zk::TBitmap result;
    double total = 0;
    for (auto _ : state) {
        zk::TBitmap src = f.pictures[kind];
        const auto t0 = std::chrono::steady_clock::now();
        result = zk::ReduceBitmapColors(src, method, dither, f.callerPalette[kind], 8);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    // Method 0 copies the picture: nothing is lost.
    const double p = method == 0 ? 99.0 : psnr(f.pictures[kind], nullptr, 0, true, &result);
    state.counters["psnr_dB"] = p;
    results["ours/" + std::to_string(method) + "/" + std::to_string(dither) + "/" + std::to_string(kind)] = {
        total / double(state.iterations()), p};
}

QByteArray runConvert(const QString &bmp, bool dither, const QString &out)
{
    QStringList args{bmp};
    if (!dither)
        args << QStringLiteral("-dither") << QStringLiteral("None");
    args << QStringLiteral("-colors") << QStringLiteral("256") << out;
    QProcess p;
    p.start(kConvert, args);
    p.waitForFinished(-1);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

void BM_Magick(benchmark::State &state)
{
    Fixture &f = fixture();
    const bool dither = state.range(1) != 0;
    const int kind = int(state.range(2));
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (runConvert(f.bmp[kind], dither, QStringLiteral("ppm:-")).isEmpty()) {
            state.SkipWithError("convert failed");
            return;
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        total += s;
        state.SetIterationTime(s);
    }
    const QByteArray ppm = runConvert(f.bmp[kind], dither, QStringLiteral("ppm:-"));
    // "P6\n1920 1080\n255\n" then the pixels.
    int fields = 0;
    qsizetype pos = 0;
    while (fields < 4 && pos < ppm.size()) {
        while (pos < ppm.size() && std::isspace(uchar(ppm[pos])))
            ++pos;
        while (pos < ppm.size() && !std::isspace(uchar(ppm[pos])))
            ++pos;
        ++fields;
    }
    ++pos;
    const double p = ppm.size() - pos >= qsizetype(zkbench::kWidth) * zkbench::kHeight * 3
                         ? psnr(f.pictures[kind], reinterpret_cast<const uchar *>(ppm.constData() + pos),
                                zkbench::kWidth * 3, false, nullptr)
                         : 0;
    state.counters["psnr_dB"] = p;
    results["magick/" + std::to_string(dither) + "/" + std::to_string(kind)] = {total / double(state.iterations()),
                                                                                p};
}

void OursArgs(benchmark::internal::Benchmark *b)
{
    for (int kind = 0; kind < 2; ++kind)
        for (int dither = 0; dither < 2; ++dither)
            for (int method = 0; method <= 9; ++method)
                b->Args({method, dither, kind});
}

BENCHMARK(BM_Ours)
    ->ArgNames({"method", "dither", "kind"})
    ->Apply(OursArgs)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Magick)
    ->ArgNames({"", "dither", "kind"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({0, 0, 1})
    ->Args({0, 1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const char *kinds[2] = {"screenshot", "photo"};
    for (int kind = 0; kind < 2; ++kind)
        for (int dither = 0; dither < 2; ++dither) {
            const auto o = results.find("ours/7/" + std::to_string(dither) + "/" + std::to_string(kind));
            const auto m = results.find("magick/" + std::to_string(dither) + "/" + std::to_string(kind));
            if (o == results.end() || m == results.end())
                continue;
            std::printf("%-10s %-15s method 7: %7.1f ms, %5.2f dB | convert: %7.1f ms, %5.2f dB | ratio %.3f "
                        "(goal %.2f)\n",
                        kinds[kind], dither ? "Floyd-Steinberg" : "nearest", o->second.seconds * 1e3,
                        o->second.psnr, m->second.seconds * 1e3, m->second.psnr,
                        o->second.seconds / m->second.seconds, dither ? 0.5 : 0.25);
        }
    return 0;
}
