// File-to-file conversions (BMP->PNG, BMP->JPG, JPG->BMP, JPG->PNG, PNG->BMP)
// of a 1920x1080 screenshot-like (kind:0) and photo-like (kind:1) picture,
// beside ImageMagick's convert doing the same pair on the same file, taking
// turns in one run, with our settings (PNG zlib level 6 with adaptive
// filters, JPEG quality 90; convert's process start, which its times hold,
// is printed apart); and a 120x150 JPEG thumbnail of a 12-megapixel photo
// beside "convert -thumbnail 120x150". Goals: every one of ours at most
// 0.5 x convert's time, each output file at most 1.1 x the size of its.
//
// "--peak" measures memory instead: an 8000x8000 picture converted in a
// child process of ours and by convert, each child's peak resident size above
// its idle size, against the picture's 24-bit pixel bytes (goal: ours at
// most 2.5 x).
#include "BenchKit.h"
#include "BenchPictures.h"
#include "GraphicConvert.h"
#include "Jpeg.h"
#include "PNGImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

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

// convert with our own settings: PNG at zlib level 6 with adaptive
// filters ("-quality 65"; its default would be level 7), JPEG at quality 90.
QStringList convertArgs(const QString &source, const QString &target)
{
    QStringList args{source};
    if (target.endsWith(QLatin1String(".jpg")))
        args << QStringLiteral("-quality") << QStringLiteral("90");
    else if (target.endsWith(QLatin1String(".png")))
        args << QStringLiteral("-quality") << QStringLiteral("65");
    return args << target;
}

int runTimes()
{
    Fixture &f = fixture();
    const int rounds = zkbench::Rounds(7);
    const double t0 = zkbench::nowMs();
    runTool(kConvert, {QStringLiteral("-version")});
    std::printf("(convert's own start, held in each of its times: %.1f ms)\n", zkbench::nowMs() - t0);
    const char *kinds[2] = {"desktop", "photo"};
    for (const auto &pair : kPairs)
        for (int k = 0; k < 2; ++k) {
            const QString source = f.dir.filePath(QStringLiteral("kind%1%2").arg(k).arg(pair[0]));
            const QString ours = f.dir.filePath(QStringLiteral("ours/kind%1%2").arg(k).arg(pair[1]));
            const QString peer = f.dir.filePath(QStringLiteral("peer/kind%1%2").arg(k).arg(pair[1]));
            const QStringList args = convertArgs(source, peer);
            const zkbench::Result r = zkbench::Turns(
                [&] { zk::ConvertGraphicFileTo(source, f.dir.filePath("ours"), pair[0], pair[1]); },
                [&] {
                    if (!runTool(kConvert, args))
                        std::abort();
                },
                rounds);
            char name[64];
            std::snprintf(name, sizeof name, "%s -> %s, %s", pair[0], pair[1], kinds[k]);
            zkbench::Print(name, r, 0.5);
            const double sizeRatio = double(QFileInfo(ours).size()) / double(std::max<qint64>(1, QFileInfo(peer).size()));
            std::printf("  file size ours / convert %.3f (goal <= 1.10) %s\n", sizeRatio, sizeRatio <= 1.1 ? "ok" : "MISSED");
        }
    const QStringList thumbArgs{f.dir.filePath("big.jpg"), QStringLiteral("-thumbnail"), QStringLiteral("120x150"),
                                f.dir.filePath("peer/thumb.jpg")};
    zkbench::Print("thumbnail of 12 MP JPEG -> 120x150",
                   zkbench::Turns(
                       [&] {
                           zk::MakeJpegThumbnailFile(f.dir.filePath("big.jpg"), f.dir.filePath("ours/thumb.jpg"), 120,
                                                     150, 0xFFFFFF);
                       },
                       [&] {
                           if (!runTool(kConvert, thumbArgs))
                               std::abort();
                       },
                       rounds),
                   0.5);
    return 0;
}

// ---------------------------------------------------------------------------
// Peak memory

// Child: convert one file and print "idle peak" in kB.
int peakChild(const QString &source, const QString &targetDir, const QString &targetExt)
{
    const long idle = zkbench::StatusKb("VmRSS:");
    zk::ConvertGraphicFileTo(source, targetDir, QLatin1Char('.') + QFileInfo(source).suffix(), targetExt);
    std::printf("%ld %ld\n", idle, zkbench::StatusKb("VmHWM:"));
    return 0;
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
        const long convertIdle = zkbench::ChildPeakKb(me, {kConvert, tiny, dir.filePath("tiny.bmp")});
        const long convertPeak =
            zkbench::ChildPeakKb(me, {kConvert, source, dir.filePath(QStringLiteral("peer") + QLatin1String(pair[1]))});
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
        return zkbench::RusageOf(argv + 2);
    if (argc == 5 && std::string(argv[1]) == "--peak-child") {
        QCoreApplication app(argc, argv);
        return peakChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QString::fromLocal8Bit(argv[4]));
    }
    QGuiApplication app(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--peak")
        return peakReport(argv[0]);
    return runTimes();
}
