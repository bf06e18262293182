// PNG encode and decode of a 1920 x 1080 screenshot-like (kind:0) and
// photo-like (kind:1) picture, beside libpng in the same run (same zlib
// level, libpng's own filter heuristic; both decoders read the file libpng
// wrote).
// Goals: our encode time at most 1.0 x libpng's with a file at most 1.02 x
// its size (the "file_bytes" counter); our decode time at most 1.2 x
// libpng's. Without libpng at build time, zlib's deflate/inflate of the same
// raw rows is the reference instead.
#include "BenchPictures.h"
#include "PNGImage.h"

#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>
#include <zlib.h>

#ifdef ZK_BENCH_LIBPNG
#include <png.h>
#endif

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

zk::TPNGImage screenshot()
{
    zk::TPNGImage b;
    b.SetSize(kWidth, kHeight);
    {
        auto c = b.Canvas();
        c->fillRect(0, 0, kWidth, kHeight, QColor(58, 110, 165)); // desktop
        QFont f = c->font();
        f.setPixelSize(13);
        c->setFont(f);
        const QRect windows[] = {{60, 40, 1100, 700}, {700, 300, 1100, 720}, {200, 600, 640, 420}};
        int n = 0;
        for (const QRect &r : windows) {
            c->fillRect(r, QColor(240, 240, 240));
            QLinearGradient g(r.topLeft(), r.topRight());
            g.setColorAt(0, QColor(10, 36, 106));
            g.setColorAt(1, QColor(166, 202, 240));
            c->fillRect(QRect(r.left(), r.top(), r.width(), 26), g);
            c->setPen(Qt::white);
            c->drawText(r.left() + 8, r.top() + 18, QStringLiteral("Zelkora - Fenster %1").arg(++n));
            c->setPen(Qt::black);
            for (int y = r.top() + 50; y < r.bottom() - 10; y += 18)
                c->drawText(r.left() + 12, y,
                            QStringLiteral("%1  Datei  Bearbeiten  Ansicht  Extras  Hilfe  0x%2")
                                .arg(y).arg(y * 2654435761u % 65536, 4, 16, QChar('0')));
            for (int x = r.left() + 10; x < r.right() - 40; x += 48)
                c->fillRect(x, r.top() + 30, 32, 14, QColor((x * 7) % 255, 120, 200 - (x % 100)));
        }
        c->fillRect(0, kHeight - 30, kWidth, 30, QColor(212, 208, 200)); // task bar
    }
    return b;
}

zk::TPNGImage photo()
{
    zk::TPNGImage b;
    b.SetSize(kWidth, kHeight);
    zkbench::FillPhoto(b);
    return b;
}

const zk::TPNGImage &picture(int kind)
{
    static const zk::TPNGImage shot = screenshot();
    static const zk::TPNGImage pic = photo();
    return kind == 0 ? shot : pic;
}

void BM_OurEncode(benchmark::State &state)
{
    zk::TPNGImage img(picture(int(state.range(0))));
    qint64 size = 0;
    for (auto _ : state) {
        const QByteArray out = img.SaveToBytes();
        size = out.size();
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["file_bytes"] = double(size);
}

#ifdef ZK_BENCH_LIBPNG

struct MemOut
{
    std::vector<unsigned char> bytes;
};

void writeToMem(png_structp p, png_bytep d, png_size_t n)
{
    auto *m = static_cast<MemOut *>(png_get_io_ptr(p));
    m->bytes.insert(m->bytes.end(), d, d + n);
}

void flushNothing(png_structp) {}

std::vector<unsigned char> libpngEncode(const zk::TPNGImage &img)
{
    MemOut mem;
    mem.bytes.reserve(size_t(kWidth) * kHeight);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &mem, writeToMem, flushNothing);
    png_set_compression_level(png, Z_DEFAULT_COMPRESSION);
    png_set_IHDR(png, info, png_uint_32(img.Width()), png_uint_32(img.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < img.Height(); ++y)
        png_write_row(png, const_cast<png_bytep>(img.ScanLine(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::move(mem.bytes);
}

struct MemIn
{
    const unsigned char *data;
    size_t size, pos;
};

void readFromMem(png_structp p, png_bytep d, png_size_t n)
{
    auto *m = static_cast<MemIn *>(png_get_io_ptr(p));
    if (n > m->size - m->pos)
        png_error(p, "read past the end");
    std::memcpy(d, m->data + m->pos, n);
    m->pos += n;
}

bool libpngDecode(const std::vector<unsigned char> &file, std::vector<unsigned char> &pixels)
{
    MemIn in{file.data(), file.size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &in, readFromMem);
    png_read_info(png, info);
    png_set_bgr(png);
    const size_t stride = png_get_rowbytes(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    pixels.resize(stride * h);
    for (png_uint_32 y = 0; y < h; ++y)
        png_read_row(png, pixels.data() + stride * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

const std::vector<unsigned char> &referenceFile(int kind)
{
    static const std::vector<unsigned char> files[2] = {libpngEncode(picture(0)), libpngEncode(picture(1))};
    return files[kind];
}

void BM_LibpngEncode(benchmark::State &state)
{
    const zk::TPNGImage &img = picture(int(state.range(0)));
    size_t size = 0;
    for (auto _ : state) {
        const std::vector<unsigned char> out = libpngEncode(img);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_bytes"] = double(size);
}

void BM_OurDecode(benchmark::State &state)
{
    const std::vector<unsigned char> &f = referenceFile(int(state.range(0)));
    const QByteArray bytes(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
    for (auto _ : state) {
        zk::TPNGImage img;
        img.LoadFromBytes(bytes);
        benchmark::DoNotOptimize(img.ScanLine(0));
    }
}

void BM_LibpngDecode(benchmark::State &state)
{
    const std::vector<unsigned char> &f = referenceFile(int(state.range(0)));
    for (auto _ : state) {
        std::vector<unsigned char> pixels;
        if (!libpngDecode(f, pixels))
            state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}

BENCHMARK(BM_LibpngEncode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngDecode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);

#else

// zlib alone on the raw rows (filter byte 0 + RGB) as the reference.
QByteArray rawRows(const zk::TPNGImage &img)
{
    QByteArray raw;
    raw.reserve(qsizetype(img.Height()) * (img.Width() * 3 + 1));
    for (int y = 0; y < img.Height(); ++y) {
        raw.append(char(0));
        raw.append(reinterpret_cast<const char *>(img.ScanLine(y)), img.Width() * 3);
    }
    return raw;
}

void BM_ZlibDeflate(benchmark::State &state)
{
    const QByteArray raw = rawRows(picture(int(state.range(0))));
    uLongf n = 0;
    std::vector<Bytef> out(compressBound(uLong(raw.size())));
    for (auto _ : state) {
        n = uLongf(out.size());
        compress2(out.data(), &n, reinterpret_cast<const Bytef *>(raw.constData()), uLong(raw.size()),
                  Z_DEFAULT_COMPRESSION);
    }
    state.counters["file_bytes"] = double(n);
}

void BM_OurDecode(benchmark::State &state)
{
    zk::TPNGImage img(picture(int(state.range(0))));
    const QByteArray bytes = img.SaveToBytes();
    for (auto _ : state) {
        zk::TPNGImage d;
        d.LoadFromBytes(bytes);
        benchmark::DoNotOptimize(d.ScanLine(0));
    }
}

BENCHMARK(BM_ZlibDeflate)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);

#endif

BENCHMARK(BM_OurEncode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurDecode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // Text on the screenshot needs fonts, so a GUI application (offscreen).
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
