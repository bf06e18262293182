// Peak memory of opening a large picture through the main window's open
// path (conversion to a bitmap on, as by default), beside the bare decode of
// the same file by its picture class. Each measurement runs in a child
// process of its own: the peak resident size is taken from the kernel
// (VmHWM after the peak was reset with clear_refs), above the memory the
// process held just before. The goal: at most 2.5 times the picture's 24-bit
// pixel bytes above the idle main window. Build without sanitizers. The
// verdict per picture type is printed after the benchmarks.
#include "BenchKit.h"
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "PictureClasses.h"
#include "PictureFiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

constexpr int kSide = 8000;
std::string g_self;
QTemporaryDir *g_dir = nullptr;

// The child: prints "idle_kb peak_kb" and leaves without tearing down.
int child(const QString &mode, const QString &file)
{
    int argc = 1;
    char name[] = "open_memory";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    zk::RegisterPictureCodecs();
    std::unique_ptr<zk::TMainForm> form;
    if (mode == QLatin1String("open")) {
        form = std::make_unique<zk::TMainForm>();
        form->Options.OAsBmp = true;
    }
    QApplication::processEvents();
    const long idle = zkbench::StatusKb("VmRSS:");
    zkbench::ResetPeak();
    bool ok = false;
    if (form) {
        form->OpenPictureFile(file);
        QApplication::processEvents();
        ok = form->ScanImage->Picture().Width() == kSide;
    } else {
        auto g = zk::LoadPictureGraphic(file);
        ok = g && g->Width() == kSide;
    }
    const long peak = zkbench::StatusKb("VmHWM:");
    std::printf("%ld %ld %d\n", idle, peak, ok ? 1 : 0);
    std::fflush(stdout);
    _exit(0);
}

// Peak above idle in MB, as measured by one child run.
double measure(const QString &mode, const QString &file, bool *ok)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), g_dir->filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), g_dir->filePath(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(g_self), {QStringLiteral("--child"), mode, file});
    p.waitForFinished(600000);
    const QList<QByteArray> v = p.readAllStandardOutput().trimmed().split(' ');
    *ok = v.size() == 3 && v[2] == "1";
    return v.size() == 3 ? double(v[1].toLong() - v[0].toLong()) / 1024.0 : 0.0;
}

QString pictureFile(const char *ext)
{
    const QString path = g_dir->filePath(QStringLiteral("big.") + QString::fromLatin1(ext));
    if (QFile::exists(path))
        return path;
    QImage img(kSide, kSide, QImage::Format_RGB888);
    for (int y = 0; y < kSide; ++y) {
        uchar *row = img.scanLine(y);
        for (int x = 0; x < kSide; ++x) {
            row[3 * x] = uchar(x * 7 + y);
            row[3 * x + 1] = uchar(y * 3);
            row[3 * x + 2] = uchar((x ^ y) & 0xFF);
        }
    }
    zk::TZelkoraOptions o;
    o.BmpPixForm = 6; // 24 bits, as the pixels are
    const zk::TBitmap bmp = zk::TBitmap::FromImage(img);
    const int type = std::strcmp(ext, "png") == 0 ? zk::ptPng : std::strcmp(ext, "jpg") == 0 ? zk::ptJpg : zk::ptBmp;
    zk::WriteFileReplacing(path, zk::EncodePicture(bmp, type, o, zk::TSaveOrigin::SaveDialog));
    return path;
}

struct Measured
{
    std::string name;
    double open = 0, pixels = 0;
};
std::vector<Measured> g_measured;

void BM_OpenPeakMemory(benchmark::State &state, const char *ext)
{
    const QString file = pictureFile(ext);
    const double pixelMb = double(kSide) * kSide * 3 / (1024.0 * 1024.0);
    for (auto _ : state) {
        bool openOk = false, decodeOk = false;
        const double open = measure(QStringLiteral("open"), file, &openOk);
        const double decode = measure(QStringLiteral("decode"), file, &decodeOk);
        if (!openOk || !decodeOk)
            state.SkipWithError("the picture did not open");
        state.counters["open_MB"] = open;
        state.counters["decode_MB"] = decode;
        state.counters["pixels_MB"] = pixelMb;
        state.counters["open_per_pixels"] = open / pixelMb; // goal: <= 2.5
        state.counters["open_per_decode"] = decode > 0 ? open / decode : 0;
        if (openOk && decodeOk)
            g_measured.push_back({std::string("open peak above idle / 24-bit pixels, ") + ext, open, pixelMb});
    }
}

} // namespace

BENCHMARK_CAPTURE(BM_OpenPeakMemory, png, "png")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenPeakMemory, jpg, "jpg")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenPeakMemory, bmp, "bmp")->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    g_self = argv[0];
    int qargc = 1;
    QCoreApplication app(qargc, argv);
    zk::RegisterPictureCodecs(); // the writers of the test pictures
    QTemporaryDir dir;
    g_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const Measured &m : g_measured)
        zkbench::Print(m.name.c_str(), zkbench::Result{m.open, m.pixels}, 2.5, "MB");
    return 0;
}
