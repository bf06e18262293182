// Saving a 1920 x 1080 picture as GIF with the default options (what the
// main window's save does), beside ImageMagick's
// "convert x.bmp -dither None x.gif" in the same run, on a real desktop
// capture and on a photo. Goals: at most 0.5 x convert's time and at most
// 1.1 x its file size. Prints both tools' times, sizes and PSNR against the
// 24-bit original, and the ratios.
#include "Bitmap.h"
#include "GIFImage.h"
#include "Options.h"
#include "PictureFiles.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

struct Result
{
    double seconds = 0;
    qint64 bytes = 0;
    double psnr = 0;
};
std::map<std::string, Result> results;

struct Fixture
{
    zk::TBitmap pictures[2];
    QTemporaryDir dir;
    QString bmp[2];
};

Fixture &fixture()
{
    static Fixture *f = [] {
        auto *fx = new Fixture;
        const QImage desktop(QStringLiteral(ZK_BENCH_DATA "/desktop-1920x1080.png"));
        QImage coffee(QStringLiteral(ZK_BENCH_DATA "/coffee-600x400.png"));
        coffee = coffee.scaled(1920, 1280, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).copy(0, 100, 1920, 1080);
        fx->pictures[0] = zk::TBitmap::FromImage(desktop.convertToFormat(QImage::Format_RGB888));
        fx->pictures[1] = zk::TBitmap::FromImage(coffee.convertToFormat(QImage::Format_RGB888));
        for (int k = 0; k < 2; ++k) {
            fx->bmp[k] = fx->dir.filePath(QStringLiteral("kind%1.bmp").arg(k));
            QFile file(fx->bmp[k]);
            if (file.open(QIODevice::WriteOnly))
                fx->pictures[k].SaveToStream(file);
        }
        return fx;
    }();
    return *f;
}

double psnr(const zk::TBitmap &original, const QImage &decoded)
{
    const QImage a = original.ToImage().convertToFormat(QImage::Format_RGB32);
    const QImage b = decoded.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return 0;
    double se = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = qRed(p[x]) - qRed(q[x]), dg = qGreen(p[x]) - qGreen(q[x]), db = qBlue(p[x]) - qBlue(q[x]);
            se += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = se / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Our file decoded by ImageMagick, so both files are judged by one reader.
QImage decodeWithMagick(const QString &gif)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/convert"), {gif + QStringLiteral("[0]"), QStringLiteral("png:-")});
    p.waitForFinished(60000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

void BM_Ours(benchmark::State &state)
{
    Fixture &f = fixture();
    const int kind = int(state.range(0));
    zk::TZelkoraOptions options;
    QByteArray file;
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        file = zk::EncodePicture(f.pictures[kind], zk::ptGif, options, zk::TSaveOrigin::SaveDialog);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(s);
        total += s;
    }
    const QString path = f.dir.filePath(QStringLiteral("ours%1.gif").arg(kind));
    QFile out(path);
    if (out.open(QIODevice::WriteOnly))
        out.write(file);
    out.close();
    Result r{total / double(state.iterations()), file.size(), psnr(f.pictures[kind], decodeWithMagick(path))};
    state.counters["bytes"] = double(r.bytes);
    state.counters["psnr_dB"] = r.psnr;
    results["ours/" + std::to_string(kind)] = r;
}

void BM_Magick(benchmark::State &state)
{
    Fixture &f = fixture();
    const int kind = int(state.range(0));
    const QString path = f.dir.filePath(QStringLiteral("magick%1.gif").arg(kind));
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = QProcess::execute(QStringLiteral("/usr/bin/convert"),
                                         {f.bmp[kind], QStringLiteral("-dither"), QStringLiteral("None"), path});
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (rc != 0)
            state.SkipWithError("convert failed");
        state.SetIterationTime(s);
        total += s;
    }
    Result r{total / double(state.iterations()), QFile(path).size(), psnr(f.pictures[kind], decodeWithMagick(path))};
    state.counters["bytes"] = double(r.bytes);
    state.counters["psnr_dB"] = r.psnr;
    results["magick/" + std::to_string(kind)] = r;
}

BENCHMARK(BM_Ours)->ArgName("kind")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Magick)->ArgName("kind")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    zk::RegisterGifGraphics();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const char *kinds[2] = {"desktop", "photo"};
    for (int kind = 0; kind < 2; ++kind) {
        const auto o = results.find("ours/" + std::to_string(kind));
        const auto m = results.find("magick/" + std::to_string(kind));
        if (o == results.end() || m == results.end())
            continue;
        std::printf("%-8s ours: %7.1f ms %8lld bytes %5.2f dB | convert: %7.1f ms %8lld bytes %5.2f dB | "
                    "time %.3f (goal 0.5) size %.3f (goal 1.1)\n",
                    kinds[kind], o->second.seconds * 1e3, (long long)o->second.bytes, o->second.psnr,
                    m->second.seconds * 1e3, (long long)m->second.bytes, m->second.psnr,
                    o->second.seconds / m->second.seconds, double(o->second.bytes) / double(m->second.bytes));
    }
    return 0;
}
