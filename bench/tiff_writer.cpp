// TIFF writing of the 1920 x 1080 desktop capture (32 bit, as grabs come),
// the photo (24 bit) and the photo as an 8-bit palette picture, beside
// libtiff writing the same pixels uncompressed in one strip to memory,
// taking turns in one run. libtiff is handed its rows already in its own
// order (red first, prepared untimed), so its time is its writing alone;
// ours turns the bitmap's rows around on the way, as the program does.
// Both files are uncompressed, so their sizes are printed without a goal;
// our file is read back with libtiff and compared by pixel instead.
// Goal: our time at most 1.2 x libtiff's.
#include "BenchKit.h"
#include "Bmp2Tiff.h"

#include <QBuffer>
#include <QGuiApplication>

#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// ------------------------------------------------------------ libtiff to memory

struct Mem
{
    std::vector<unsigned char> bytes;
    toff_t pos = 0;
};

tsize_t memRead(thandle_t h, tdata_t data, tsize_t n)
{
    auto *m = static_cast<Mem *>(h);
    const toff_t left = m->pos < m->bytes.size() ? m->bytes.size() - m->pos : 0;
    const toff_t take = std::min<toff_t>(left, toff_t(n));
    std::memcpy(data, m->bytes.data() + m->pos, size_t(take));
    m->pos += take;
    return tsize_t(take);
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

// The rows libtiff is given: indices for a palette picture, else R, G, B.
std::vector<unsigned char> peerRows(const zk::TBitmap &b)
{
    const bool palette = b.PixelFormat() == zk::pf8bit;
    const std::size_t w = std::size_t(b.Width()), rowBytes = palette ? w : 3 * w;
    const int px = b.PixelFormat() == zk::pf32bit ? 4 : 3;
    std::vector<unsigned char> rows(rowBytes * std::size_t(b.Height()));
    for (int y = 0; y < b.Height(); ++y) {
        const uchar *s = b.ScanLine(y);
        unsigned char *d = rows.data() + rowBytes * std::size_t(y);
        if (palette) {
            std::memcpy(d, s, w);
            continue;
        }
        for (std::size_t x = 0; x < w; ++x) {
            d[3 * x] = s[std::size_t(px) * x + 2];
            d[3 * x + 1] = s[std::size_t(px) * x + 1];
            d[3 * x + 2] = s[std::size_t(px) * x];
        }
    }
    return rows;
}

std::size_t libtiffWrite(const zk::TBitmap &b, const std::vector<unsigned char> &rows)
{
    Mem mem;
    mem.bytes.reserve(rows.size() + 4096);
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
    const std::size_t rowBytes = rows.size() / std::size_t(b.Height());
    for (int y = 0; y < b.Height(); ++y)
        TIFFWriteScanline(t, const_cast<unsigned char *>(rows.data() + rowBytes * std::size_t(y)), uint32_t(y), 0);
    TIFFClose(t);
    return mem.bytes.size();
}

// Our file's rows read back by libtiff equal the rows libtiff was given.
bool sameRows(const QByteArray &file, const std::vector<unsigned char> &rows, int height)
{
    Mem mem;
    mem.bytes.assign(file.begin(), file.end());
    TIFF *t = TIFFClientOpen("mem", "r", &mem, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
    if (!t)
        return false;
    const std::size_t rowBytes = rows.size() / std::size_t(height);
    std::vector<unsigned char> row(std::size_t(TIFFScanlineSize(t)));
    bool same = row.size() == rowBytes;
    for (int y = 0; same && y < height; ++y)
        same = TIFFReadScanline(t, row.data(), uint32_t(y), 0) == 1 &&
               std::memcmp(row.data(), rows.data() + rowBytes * std::size_t(y), rowBytes) == 0;
    TIFFClose(t);
    return same;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    TIFFSetWarningHandler(nullptr);
    zk::TBitmap desktop = zkbench::Desktop();
    desktop.SetPixelFormat(zk::pf32bit);
    const zk::TBitmap photo = zkbench::Photo();
    zk::TBitmap palette = photo;
    palette.SetPixelFormat(zk::pf8bit);
    const struct
    {
        const char *name;
        const zk::TBitmap &picture;
    } cases[] = {{"TIFF desktop 32 bit", desktop}, {"TIFF photo 24 bit", photo}, {"TIFF photo 8-bit palette", palette}};
    const int rounds = zkbench::Rounds(15);
    for (const auto &c : cases) {
        const std::vector<unsigned char> rows = peerRows(c.picture);
        QByteArray out;
        std::size_t peerSize = 0;
        const zkbench::Result r = zkbench::Turns(
            [&] {
                out = QByteArray();
                out.reserve(qsizetype(rows.size()) + 4096); // as libtiff's memory
                QBuffer buf(&out);
                buf.open(QIODevice::WriteOnly);
                zk::WriteTiffStream(c.picture, buf);
            },
            [&] { peerSize = libtiffWrite(c.picture, rows); }, rounds);
        if (!sameRows(out, rows, c.picture.Height())) {
            std::fprintf(stderr, "%s: libtiff reads other pixels from our file\n", c.name);
            return 1;
        }
        zkbench::Print(c.name, r, 1.2);
        std::printf("  file sizes: ours %lld, libtiff %zu (both uncompressed)\n", (long long)out.size(), peerSize);
    }
    return 0;
}
