// TIFF writing of a 1920 x 1080 screenshot (32 bit, as grabs come), a photo
// (24 bit) and an 8-bit palette picture, beside libtiff writing the same
// pixels uncompressed in one strip to memory in the same run.
// Goals: our time at most 1.2 x libtiff's, our file at most 1.2 x its size.
#include "Bmp2Tiff.h"

#include "BenchPictures.h"

#include "Bitmap.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

zk::TBitmap screenshot()
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(QColor(58, 110, 165));
    QPainter c(&img);
    const QRect windows[] = {{60, 40, 1100, 700}, {700, 300, 1100, 720}, {200, 600, 640, 420}};
    for (const QRect &r : windows) {
        c.fillRect(r, QColor(240, 240, 240));
        QLinearGradient g(r.topLeft(), r.topRight());
        g.setColorAt(0, QColor(10, 36, 106));
        g.setColorAt(1, QColor(166, 202, 240));
        c.fillRect(QRect(r.left(), r.top(), r.width(), 26), g);
        for (int y = r.top() + 50; y < r.bottom() - 10; y += 18)
            c.drawText(r.left() + 12, y, QStringLiteral("%1  Datei  Bearbeiten  Ansicht  Extras").arg(y));
    }
    c.end();
    return zk::TBitmap::FromImage(img); // 32 bits
}

zk::TBitmap photo()
{
    zk::TBitmap b(kWidth, kHeight, zk::pf24bit);
    zkbench::FillPhoto(b);
    return b;
}

const zk::TBitmap &picture(int kind)
{
    static const zk::TBitmap shot = screenshot();
    static const zk::TBitmap pic = photo();
    static const zk::TBitmap pal = [] {
        zk::TBitmap b(pic);
        b.SetPixelFormat(zk::pf8bit);
        return b;
    }();
    return kind == 0 ? shot : kind == 1 ? pic : pal;
}

// ------------------------------------------------------------ libtiff to memory

struct Mem
{
    std::vector<unsigned char> bytes;
    toff_t pos = 0;
};

tsize_t memRead(thandle_t, tdata_t, tsize_t)
{
    return 0;
}

tsize_t memWrite(thandle_t h, tdata_t data, tsize_t n)
{
    auto *m = static_cast<Mem *>(h);
    if (m->pos + toff_t(n) > m->bytes.size())
        m->bytes.resize(m->pos + toff_t(n));
    std::memcpy(m->bytes.data() + m->pos, data, size_t(n));
    m->pos += toff_t(n);
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence)
{
    auto *m = static_cast<Mem *>(h);
    const toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : m->bytes.size();
    m->pos = base + off;
    return m->pos;
}

int memClose(thandle_t)
{
    return 0;
}

toff_t memSize(thandle_t h)
{
    return static_cast<Mem *>(h)->bytes.size();
}

int memMap(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void memUnmap(thandle_t, tdata_t, toff_t) {}

size_t libtiffWrite(const zk::TBitmap &b)
{
    Mem mem;
    mem.bytes.reserve(size_t(kWidth) * kHeight * 3 + 4096);
    TIFF *t = TIFFClientOpen("mem", "w", &mem, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
    const bool palette = b.PixelFormat() == zk::pf8bit;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(b.Width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(b.Height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, palette ? 1 : 3);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(b.Height()));
    std::vector<uint16_t> map(3 * 256, 0);
    if (palette) {
        const QVector<QRgb> pal = b.Palette();
        for (int i = 0; i < pal.size(); ++i) {
            map[size_t(i)] = uint16_t(qRed(pal[i]) << 8);
            map[size_t(256 + i)] = uint16_t(qGreen(pal[i]) << 8);
            map[size_t(512 + i)] = uint16_t(qBlue(pal[i]) << 8);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    }
    const int px = b.PixelFormat() == zk::pf32bit ? 4 : 3;
    std::vector<unsigned char> row(size_t(b.Width()) * 3);
    for (int y = 0; y < b.Height(); ++y) {
        const uchar *s = b.ScanLine(y);
        if (palette) {
            TIFFWriteScanline(t, const_cast<uchar *>(s), uint32_t(y), 0);
            continue;
        }
        for (int x = 0; x < b.Width(); ++x) {
            row[3 * size_t(x)] = s[px * x + 2];
            row[3 * size_t(x) + 1] = s[px * x + 1];
            row[3 * size_t(x) + 2] = s[px * x];
        }
        TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
    TIFFClose(t);
    return mem.bytes.size();
}

void BM_Ours(benchmark::State &state)
{
    const zk::TBitmap &b = picture(int(state.range(0)));
    qint64 size = 0;
    for (auto _ : state) {
        QByteArray out;
        out.reserve(qsizetype(kWidth) * kHeight * 3 + 4096);
        QBuffer buf(&out);
        buf.open(QIODevice::WriteOnly);
        zk::WriteTiffStream(b, buf);
        size = out.size();
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["file_bytes"] = double(size);
}

void BM_Libtiff(benchmark::State &state)
{
    const zk::TBitmap &b = picture(int(state.range(0)));
    size_t size = 0;
    for (auto _ : state)
        size = libtiffWrite(b);
    state.counters["file_bytes"] = double(size);
}

// Alternating order keeps both sides under the same conditions.
BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libtiff)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Collects the results for the ratio lines at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const auto it = r.counters.find("file_bytes");
            results[r.benchmark_name()] = {r.GetAdjustedRealTime(), it == r.counters.end() ? 0.0 : double(it->second)};
        }
    }
    std::map<std::string, std::pair<double, double>> results;
};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv); // the screenshot draws text
    TIFFSetWarningHandler(nullptr);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char *names[] = {"screenshot 32 bit", "photo 24 bit", "8-bit palette"};
    for (int k = 0; k < 3; ++k) {
        const auto ours = reporter.results["BM_Ours/" + std::to_string(k)];
        const auto peer = reporter.results["BM_Libtiff/" + std::to_string(k)];
        if (peer.first > 0 && peer.second > 0)
            std::printf("%-18s time ratio %.2f (goal <= 1.2), size ratio %.3f (goal <= 1.2)\n", names[k],
                        ours.first / peer.first, ours.second / peer.second);
    }
    benchmark::Shutdown();
    return 0;
}
