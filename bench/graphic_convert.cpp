// File-to-file conversions (BMP->PNG, BMP->JPG, JPG->BMP, JPG->PNG, PNG->BMP)
// of a 1920x1080 screenshot-like (kind:0) and photo-like (kind:1) picture,
// beside ImageMagick's convert doing the same pair on the same file in the
// same run; and a 120x150 JPEG thumbnail of a 12-megapixel photo beside
// "convert -thumbnail 120x150". Goal: every one of ours at most 0.5 x
// convert's time. The ratios are printed at the end.
//
// "--peak" measures memory instead: an 8000x8000 picture converted in a
// child process of ours and by convert, each child's peak resident size above
// its idle size, against the picture's 24-bit pixel bytes (goal: ours at
// most 2.5 x).
#include "BenchPictures.h"
#include "GraphicConvert.h"
#include "Jpeg.h"
#include "PNGImage.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

const QString kConvert = QStringLiteral("/usr/bin/convert");

zk::TBitmap screenshot(int w, int h)
{
    zk::TBitmap b(w, h, zk::pf24bit);
    auto c = b.Canvas();
    c->fillRect(0, 0, w, h, QColor(58, 110, 165));
    QFont f = c->font();
    f.setPixelSize(13);
    c->setFont(f);
    const QRect windows[] = {{60, 40, 1100, 700}, {700, 300, 1100, 720}, {200, 600, 640, 420}};
    for (const QRect &r : windows) {
        c->fillRect(r, QColor(240, 240, 240));
        c->fillRect(QRect(r.left(), r.top(), r.width(), 26), QColor(10, 36, 106));
        c->setPen(Qt::black);
        for (int y = r.top() + 50; y < r.bottom() - 10; y += 18)
            c->drawText(r.left() + 12, y, QStringLiteral("%1  Datei  Bearbeiten  Ansicht  Extras  Hilfe").arg(y));
    }
    c->fillRect(0, h - 30, w, 30, QColor(212, 208, 200));
    return b;
}

zk::TBitmap photo(int w, int h)
{
    zk::TBitmap b(w, h, zk::pf24bit);
    zkbench::FillPhoto(b);
    return b;
}

// The sources of one picture as BMP, JPG and PNG files.
void writeSources(zk::TBitmap pic, const QString &stem)
{
    pic.SaveToFile(stem + ".bmp");
    zk::TJPEGImage jpeg;
    jpeg.Assign(pic);
    jpeg.SaveToFile(stem + ".jpg");
    zk::TPNGImage png;
    png.Assign(pic);
    png.SaveToFile(stem + ".png");
}

struct Fixture
{
    QTemporaryDir dir;
    Fixture()
    {
        writeSources(screenshot(1920, 1080), dir.filePath("kind0"));
        writeSources(photo(1920, 1080), dir.filePath("kind1"));
        // 12 megapixels for the thumbnail.
        zk::TJPEGImage big;
        big.Assign(photo(4000, 3000));
        big.SaveToFile(dir.filePath("big.jpg"));
        QDir().mkpath(dir.filePath("ours"));
        QDir().mkpath(dir.filePath("peer"));
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

const char *const kPairs[][2] = {{".bmp", ".png"}, {".bmp", ".jpg"}, {".jpg", ".bmp"}, {".jpg", ".png"}, {".png", ".bmp"}};

bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void BM_Ours(benchmark::State &state)
{
    Fixture &f = fixture();
    const auto &pair = kPairs[state.range(0)];
    const QString source = f.dir.filePath(QStringLiteral("kind%1%2").arg(state.range(1)).arg(pair[0]));
    for (auto _ : state)
        zk::ConvertGraphicFileTo(source, f.dir.filePath("ours"), pair[0], pair[1]);
}

void BM_Convert(benchmark::State &state)
{
    Fixture &f = fixture();
    const auto &pair = kPairs[state.range(0)];
    const QString source = f.dir.filePath(QStringLiteral("kind%1%2").arg(state.range(1)).arg(pair[0]));
    QStringList args{source};
    if (QLatin1String(pair[1]) == QLatin1String(".jpg"))
        args << QStringLiteral("-quality") << QStringLiteral("90");
    args << f.dir.filePath(QStringLiteral("peer/kind%1%2").arg(state.range(1)).arg(pair[1]));
    for (auto _ : state)
        if (!runTool(kConvert, args))
            state.SkipWithError("convert failed");
}

void BM_OursThumbnail(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state)
        zk::MakeJpegThumbnailFile(f.dir.filePath("big.jpg"), f.dir.filePath("ours/thumb.jpg"), 120, 150, 0xFFFFFF);
}

void BM_ConvertThumbnail(benchmark::State &state)
{
    Fixture &f = fixture();
    const QStringList args{f.dir.filePath("big.jpg"), QStringLiteral("-thumbnail"), QStringLiteral("120x150"),
                           f.dir.filePath("peer/thumb.jpg")};
    for (auto _ : state)
        if (!runTool(kConvert, args))
            state.SkipWithError("convert failed");
}

void pairArgs(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"pair", "kind"});
    for (int p = 0; p < 5; ++p)
        for (int k = 0; k < 2; ++k)
            b->Args({p, k});
}

BENCHMARK(BM_Ours)->Apply(pairArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Convert)->Apply(pairArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConvertThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps every run's time so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

void printRatios(const RatioReporter &rep)
{
    std::printf("\nour time / convert's time (goal <= 0.5):\n");
    for (int p = 0; p < 5; ++p) {
        for (int k = 0; k < 2; ++k) {
            const std::string args = "/pair:" + std::to_string(p) + "/kind:" + std::to_string(k) + "/real_time";
            const auto ours = rep.times.find("BM_Ours" + args), peer = rep.times.find("BM_Convert" + args);
            if (ours != rep.times.end() && peer != rep.times.end())
                std::printf("  %s -> %s  %-10s %.3f\n", kPairs[p][0], kPairs[p][1], k ? "photo" : "screenshot",
                            ours->second / peer->second);
        }
    }
    const auto ours = rep.times.find("BM_OursThumbnail/real_time"),
               peer = rep.times.find("BM_ConvertThumbnail/real_time");
    if (ours != rep.times.end() && peer != rep.times.end())
        std::printf("  thumbnail 12 MP -> 120x150   %.3f\n", ours->second / peer->second);
}

// ---------------------------------------------------------------------------
// Peak memory

long residentKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

// Child: convert one file and print "idle peak" in kB.
int peakChild(const QString &source, const QString &targetDir, const QString &targetExt)
{
    const long idle = residentKb("VmRSS:");
    zk::ConvertGraphicFileTo(source, targetDir, QLatin1Char('.') + QFileInfo(source).suffix(), targetExt);
    std::printf("%ld %ld\n", idle, residentKb("VmHWM:"));
    return 0;
}

// Child: runs a program and prints its peak resident size in kB
// (ru_maxrss). A process of its own, because Qt reaps the children of a
// process that has used QProcess before wait4 can see them.
int rusageOf(char **argv)
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

long childPeakKb(const QString &self, const QStringList &command)
{
    QProcess p;
    p.start(self, QStringList{QStringLiteral("--rusage-of")} + command);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return p.readAllStandardOutput().trimmed().toLong();
}

int peakReport(const char *self)
{
    QTemporaryDir dir;
    const int side = 8000;
    const double pixelKb = double(side) * side * 3 / 1024;
    writeSources(photo(side, side), dir.filePath("huge"));
    QDir().mkpath(dir.filePath("ours"));
    // What the idle process of each side holds: ours started with nothing to
    // do; convert reading a 1x1 picture.
    std::printf("peak memory above idle, in units of the picture's 24-bit pixel bytes (%.0f MiB; goal <= 2.5):\n",
                pixelKb / 1024);
    for (const auto &pair : kPairs) {
        const QString source = dir.filePath(QStringLiteral("huge") + QLatin1String(pair[0]));
        QProcess child;
        child.start(QString::fromLocal8Bit(self),
                    {QStringLiteral("--peak-child"), source, dir.filePath("ours"), QLatin1String(pair[1])});
        child.waitForFinished(600000);
        const QList<QByteArray> nums = child.readAllStandardOutput().trimmed().split(' ');
        const double ours = nums.size() == 2 ? (nums[1].toDouble() - nums[0].toDouble()) / pixelKb : -1;
        const QString tiny = dir.filePath("tiny.png");
        QImage(1, 1, QImage::Format_RGB32).save(tiny);
        const QString me = QString::fromLocal8Bit(self);
        const long convertIdle = childPeakKb(me, {kConvert, tiny, dir.filePath("tiny.bmp")});
        const long convertPeak =
            childPeakKb(me, {kConvert, source, dir.filePath(QStringLiteral("peer") + QLatin1String(pair[1]))});
        if (convertIdle < 0 || convertPeak < 0)
            std::printf("  %s -> %s  ours %.2f   convert failed\n", pair[0], pair[1], ours);
        else
            std::printf("  %s -> %s  ours %.2f   convert %.2f\n", pair[0], pair[1], ours,
                        double(convertPeak - convertIdle) / pixelKb);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && std::string(argv[1]) == "--rusage-of")
        return rusageOf(argv + 2);
    if (argc == 5 && std::string(argv[1]) == "--peak-child") {
        QCoreApplication app(argc, argv);
        return peakChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QString::fromLocal8Bit(argv[4]));
    }
    QGuiApplication app(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--peak")
        return peakReport(argv[0]);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
