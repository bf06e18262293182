// Colour reduction of the 1920 x 1080 desktop capture and photo
// (bench/data): every method's PSNR against the 24-bit original with
// nearest colour and with Floyd-Steinberg, then method 7 beside
// ImageMagick's "convert in.bmp -dither None -colors 256 ppm:-" (nearest)
// and "convert in.bmp -colors 256 ppm:-" (its default dithering), taking
// turns in one run. Both go from the BMP file to an output of their own:
// ours reads the file, reduces and writes an 8-bit BMP; convert's time also
// holds its process start. Goals: method 7 with nearest colour at most
// 0.25 x convert's time, with Floyd-Steinberg at most 0.5 x; both files'
// PSNR is printed beside.
#include "BenchKit.h"
#include "ColorReduction.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cctype>
#include <cmath>
#include <cstdio>

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
        fx->pictures[0] = zkbench::Desktop();
        fx->pictures[1] = zkbench::Photo();
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

// convert's PPM ("P6\n1920 1080\n255\n" then the pixels) against the
// original.
double ppmPsnr(const zk::TBitmap &original, const QByteArray &ppm)
{
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
    const int w = original.Width(), h = original.Height();
    return ppm.size() - pos >= qsizetype(w) * h * 3
               ? psnr(original, reinterpret_cast<const uchar *>(ppm.constData() + pos), w * 3, false, nullptr)
               : 0;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    Fixture &f = fixture();
    const int rounds = zkbench::Rounds(5);
    const char *kinds[2] = {"desktop", "photo"};
    for (int kind = 0; kind < 2; ++kind)
        for (int dither = 0; dither < 2; ++dither) {
            // Every method once, untimed, for its quality.
            std::printf("%s, %s:", kinds[kind], dither ? "Floyd-Steinberg" : "nearest");
            for (int method = 1; method <= 9; ++method) {
                zk::TBitmap src = f.pictures[kind];
                const zk::TBitmap reduced = zk::ReduceBitmapColors(src, method, dither, f.callerPalette[kind], 8);
                std::printf(" m%d %.2f dB", method, psnr(f.pictures[kind], nullptr, 0, true, &reduced));
            }
            std::printf("\n");
            // Method 7 against convert, both from the BMP file to an output
            // of their own (ours an 8-bit BMP file, convert a PPM on a pipe).
            const QString out = f.dir.filePath(QStringLiteral("reduced.bmp"));
            QByteArray ppm;
            const zkbench::Result r = zkbench::Turns(
                [&] {
                    zk::TBitmap src;
                    src.LoadFromFile(f.bmp[kind]);
                    zk::TBitmap reduced = zk::ReduceBitmapColors(src, 7, dither, f.callerPalette[kind], 8);
                    reduced.SaveToFile(out);
                },
                [&] { ppm = runConvert(f.bmp[kind], dither != 0, QStringLiteral("ppm:-")); }, rounds);
            char name[80];
            std::snprintf(name, sizeof name, "method 7, %s, %s (file to output)", kinds[kind],
                          dither ? "Floyd-Steinberg" : "nearest");
            zkbench::Print(name, r, dither ? 0.5 : 0.25);
            zk::TBitmap ours;
            ours.LoadFromFile(out);
            std::printf("  quality: ours %.2f dB, convert %.2f dB\n", psnr(f.pictures[kind], nullptr, 0, true, &ours),
                        ppmPsnr(f.pictures[kind], ppm));
        }
    return 0;
}
