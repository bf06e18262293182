// PNG encode and decode of the real desktop capture and the real photo
// (bench/data), our codec and libpng taking turns in one process: libpng at
// level 6 with its default filters and strategy, both decoders reading the
// file libpng wrote and then ours, each making its pixel rows afresh every
// round, and both checked against the picture afterwards.
// Goals: encode <= 0.5 x libpng's time on 8 cores and <= 1.0 x on one core;
// our file <= 1.005 x the size of our own one-stream output; decode
// <= 0.8 x libpng's time. The size ratio to libpng is printed too.
#include "BenchKit.h"
#include "PNGImage.h"
#include "PngDeflate.h"

#include <QGuiApplication>

#include <zlib.h>

#ifdef ZK_BENCH_LIBPNG
#include <png.h>
#endif

#include <cstring>
#include <thread>
#include <vector>

namespace {

#ifdef ZK_BENCH_LIBPNG

void writeToMem(png_structp p, png_bytep d, png_size_t n)
{
    auto *m = static_cast<std::vector<unsigned char> *>(png_get_io_ptr(p));
    m->insert(m->end(), d, d + n);
}

void flushNothing(png_structp) {}

std::vector<unsigned char> libpngEncode(const zk::TBitmap &img)
{
    std::vector<unsigned char> mem;
    mem.reserve(size_t(img.Width()) * size_t(img.Height()));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &mem, writeToMem, flushNothing);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, png_uint_32(img.Width()), png_uint_32(img.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < img.Height(); ++y)
        png_write_row(png, const_cast<png_bytep>(img.ScanLine(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return mem;
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

// Into rows laid out as our bitmap's (B, G, R, rows padded to 4 bytes).
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
    const size_t stride = (png_get_rowbytes(png, info) + 3) & ~size_t(3);
    const png_uint_32 h = png_get_image_height(png, info);
    pixels.resize(stride * h);
    for (png_uint_32 y = 0; y < h; ++y)
        png_read_row(png, pixels.data() + stride * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Our encoder beside libpng's on all cores and as one stream; leaves
// libpng's file in peerFile and our own in ourFile.
void runEncode(const char *label, const zk::TBitmap &bitmap, std::vector<unsigned char> &peerFile,
               QByteArray &ourFile, int rounds)
{
    zk::TPNGImage img;
    img.Assign(bitmap);
    char name[128];
    QByteArray ours;
    auto encodeOurs = [&] { ours = img.SaveToBytes(); };
    auto encodePeer = [&] { peerFile = libpngEncode(bitmap); };

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::snprintf(name, sizeof name, "%s encode, %u cores", label, cores);
    zkbench::Print(name, zkbench::Turns(encodeOurs, encodePeer, rounds), 0.5);
    const qsizetype banded = ours.size();
    ourFile = ours;

    zk::png::ForcedBandsForTest = 1;
    std::snprintf(name, sizeof name, "%s encode, one stream", label);
    zkbench::Print(name, zkbench::Turns(encodeOurs, encodePeer, rounds), 1.0);
    const qsizetype single = ours.size();
    zk::png::ForcedBandsForTest = 0;

    std::printf("%-44s ours %lld bytes, one stream %lld, libpng %zu: banded/one stream %.4f (goal <= 1.005), "
                "ours/libpng %.3f\n",
                (std::string(label) + " file size").c_str(), (long long)banded, (long long)single,
                peerFile.size(), double(banded) / double(single), double(banded) / double(peerFile.size()));
}

// Both decoders on one file, each into pixel rows of its own made afresh
// every round; their pixels must be the picture's. Our decoder inflates
// on a second thread beside the unfiltering of the rows (pictures of
// several blocks); libpng works on one.
bool runDecode(const char *label, const zk::TBitmap &bitmap, const QByteArray &file, int rounds)
{
    const std::vector<unsigned char> bytes(file.begin(), file.end());
    char name[128];
    std::snprintf(name, sizeof name, "%s decode (ours on 2 threads)", label);
    zkbench::Print(name,
                   zkbench::Turns([&] { zk::TPNGImage d; d.LoadFromBytes(file); },
                                  [&] {
                                      std::vector<unsigned char> pixels;
                                      libpngDecode(bytes, pixels);
                                  },
                                  rounds),
                   0.8);
    zk::TPNGImage ours;
    ours.LoadFromBytes(file);
    std::vector<unsigned char> peer;
    libpngDecode(bytes, peer);
    const std::size_t used = std::size_t(bitmap.Width()) * 3, stride = (used + 3) & ~std::size_t(3);
    for (int y = 0; y < bitmap.Height(); ++y)
        if (ours.PixelFormat() != zk::pf24bit || std::memcmp(ours.ScanLine(y), bitmap.ScanLine(y), used) != 0 ||
            std::memcmp(peer.data() + stride * std::size_t(y), bitmap.ScanLine(y), used) != 0) {
            std::fprintf(stderr, "%s: row %d decoded differently\n", label, y);
            return false;
        }
    return true;
}

bool run(const char *label, const zk::TBitmap &bitmap, bool decodeOnly)
{
    const int rounds = zkbench::Rounds(15);
    std::vector<unsigned char> peerFile;
    QByteArray ourFile;
    if (decodeOnly) {
        peerFile = libpngEncode(bitmap);
        zk::TPNGImage img;
        img.Assign(bitmap);
        ourFile = img.SaveToBytes();
    } else {
        runEncode(label, bitmap, peerFile, ourFile, rounds);
    }
    const QByteArray libpngFile(reinterpret_cast<const char *>(peerFile.data()), qsizetype(peerFile.size()));
    return runDecode((std::string(label) + ", libpng's file").c_str(), bitmap, libpngFile, rounds) &&
           runDecode((std::string(label) + ", our file").c_str(), bitmap, ourFile, rounds);
}

#endif

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
#ifdef ZK_BENCH_LIBPNG
    // "decode": only the decoding rounds.
    const bool decodeOnly = argc > 1 && std::strcmp(argv[1], "decode") == 0;
    const bool ok = run("PNG desktop", zkbench::Desktop(), decodeOnly) && run("PNG photo", zkbench::Photo(), decodeOnly);
    return ok ? 0 : 1;
#else
    std::fprintf(stderr, "built without libpng: nothing to compare with\n");
    return 1;
#endif
}
