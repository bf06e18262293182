// Saving a 1920 x 1080 picture as GIF with the default options (what the
// main window's save does), beside ImageMagick's
// "convert x.bmp -dither None x.gif", taking turns in one run, on the real
// desktop capture and the photo. Both go from the BMP file to the GIF file:
// ours reads the BMP and writes the GIF itself, as convert does; convert's
// time also holds its process start, printed apart. Goals: at most 0.5 x
// convert's time and at most 1.1 x its file size. PSNR against the 24-bit
// original is printed for both files, each decoded by ImageMagick.
#include "BenchKit.h"
#include "Bitmap.h"
#include "GIFImage.h"
#include "Options.h"
#include "PictureFiles.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

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

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    zk::RegisterGifGraphics();
    Fixture &f = fixture();
    const int rounds = zkbench::Rounds(5);
    // What convert spends before it reads a byte, shown beside the ratios.
    const double t0 = zkbench::nowMs();
    QProcess version;
    version.start(QStringLiteral("/usr/bin/convert"), {QStringLiteral("-version")});
    version.waitForFinished(60000);
    std::printf("(convert's own start: %.1f ms)\n", zkbench::nowMs() - t0);
    const char *kinds[2] = {"desktop", "photo"};
    for (int kind = 0; kind < 2; ++kind) {
        const QString ours = f.dir.filePath(QStringLiteral("ours%1.gif").arg(kind));
        const QString magick = f.dir.filePath(QStringLiteral("magick%1.gif").arg(kind));
        zk::TZelkoraOptions options;
        const zkbench::Result r = zkbench::Turns(
            [&] {
                // As convert does: the BMP read from its file, the GIF
                // written to one.
                zk::TBitmap picture;
                picture.LoadFromFile(f.bmp[kind]);
                const QByteArray file = zk::EncodePicture(picture, zk::ptGif, options, zk::TSaveOrigin::SaveDialog);
                QFile out(ours);
                if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
                    std::abort();
            },
            [&] {
                if (QProcess::execute(QStringLiteral("/usr/bin/convert"),
                                      {f.bmp[kind], QStringLiteral("-dither"), QStringLiteral("None"), magick}) != 0)
                    std::abort();
            },
            rounds);
        char name[64];
        std::snprintf(name, sizeof name, "GIF save, %s (file to file)", kinds[kind]);
        zkbench::Print(name, r, 0.5);
        const qint64 oursBytes = QFile(ours).size(), magickBytes = QFile(magick).size();
        const double sizeRatio = double(oursBytes) / double(magickBytes);
        std::printf("  ours %lld bytes %.2f dB, convert %lld bytes %.2f dB: size ratio %.3f (goal <= 1.10) %s\n",
                    (long long)oursBytes, psnr(f.pictures[kind], decodeWithMagick(ours)), (long long)magickBytes,
                    psnr(f.pictures[kind], decodeWithMagick(magick)), sizeRatio, sizeRatio <= 1.1 ? "ok" : "MISSED");
    }
    return 0;
}
