// JPEG encode and decode of a 1920x1080 screen-like picture, beside cjpeg and
// djpeg (libjpeg-turbo's tools) run on the same data in the same run. Each
// tool run is timed with -outfile to a file, as is ours through a file, so
// both pay the same disk cost; the tools also pay process start-up, which the
// report counters show separately (the empty-run baseline). Goal: our time /
// tool time at most 1.1.
#include "Jpeg.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QImage screenLike()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient bg(0, 0, 1920, 1080);
    bg.setColorAt(0, QColor(30, 80, 160));
    bg.setColorAt(1, QColor(200, 220, 250));
    p.fillRect(img.rect(), bg);
    for (int i = 0; i < 6; ++i) {
        const QRect win(40 + i * 200, 40 + i * 90, 900, 600);
        p.fillRect(win, QColor(236, 233, 216));
        p.fillRect(QRect(win.left(), win.top(), win.width(), 24), QColor(0, 84, 227));
        p.setPen(Qt::black);
        for (int line = 0; line < 30; ++line)
            p.drawText(win.left() + 10, win.top() + 44 + line * 18,
                       QStringLiteral("Zeile %1: Datei speichern unter ... 0123456789 abcdefghijklmnop").arg(line));
    }
    p.end();
    return img;
}

struct Fixture {
    QTemporaryDir dir;
    QImage image = screenLike();
    zk::TBitmap bitmap = zk::TBitmap::FromImage(image.convertToFormat(QImage::Format_BGR888));
    QString ppm, jpg;
    QByteArray jpeg;
    Fixture()
    {
        ppm = dir.path() + "/in.ppm";
        jpg = dir.path() + "/in.jpg";
        image.convertToFormat(QImage::Format_RGB888).save(ppm, "PPM");
        zk::TJPEGImage j;
        j.Assign(bitmap);
        jpeg = j.SaveToBytes();
        QFile f(jpg);
        f.open(QIODevice::WriteOnly);
        f.write(jpeg);
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

void BM_OurEncode(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        zk::TJPEGImage j;
        j.Assign(f.bitmap);
        j.SaveToFile(f.dir.path() + "/ours.jpg");
    }
    state.SetBytesProcessed(state.iterations() * qint64(f.image.width()) * f.image.height() * 3);
}

// The same without the file: what the codec itself costs.
void BM_OurEncodeToMemory(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        zk::TJPEGImage j;
        j.Assign(f.bitmap);
        benchmark::DoNotOptimize(j.SaveToBytes().size());
    }
    state.SetBytesProcessed(state.iterations() * qint64(f.image.width()) * f.image.height() * 3);
}

void BM_CjpegEncode(benchmark::State &state)
{
    Fixture &f = fixture();
    // The same settings as ours: quality 90, full-resolution colour.
    const QStringList args{QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("-sample"),
                           QStringLiteral("1x1"), QStringLiteral("-outfile"), f.dir.path() + "/cjpeg.jpg", f.ppm};
    for (auto _ : state)
        if (!runTool(QStringLiteral("cjpeg"), args))
            state.SkipWithError("cjpeg failed (is libjpeg-turbo-progs installed?)");
    state.SetBytesProcessed(state.iterations() * qint64(f.image.width()) * f.image.height() * 3);
}

void BM_OurDecode(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        zk::TJPEGImage j;
        j.LoadFromFile(f.jpg);
        benchmark::DoNotOptimize(j.Bitmap().ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * qint64(f.image.width()) * f.image.height() * 3);
}

void BM_DjpegDecode(benchmark::State &state)
{
    Fixture &f = fixture();
    const QStringList args{QStringLiteral("-bmp"), QStringLiteral("-outfile"), f.dir.path() + "/djpeg.bmp", f.jpg};
    for (auto _ : state)
        if (!runTool(QStringLiteral("djpeg"), args))
            state.SkipWithError("djpeg failed (is libjpeg-turbo-progs installed?)");
    state.SetBytesProcessed(state.iterations() * qint64(f.image.width()) * f.image.height() * 3);
}

// What starting a tool costs by itself, to read the two above fairly.
void BM_ToolStartOnly(benchmark::State &state)
{
    for (auto _ : state)
        runTool(QStringLiteral("djpeg"), {QStringLiteral("-version")});
}

// Wall time throughout: the tools do their work in another process.
BENCHMARK(BM_OurEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OurEncodeToMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CjpegEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OurDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DjpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToolStartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// Text drawing needs a GUI application; offscreen is enough.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
