// BMP reading and writing, checked against ImageMagick as an independent
// decoder and writer.
#include "Bitmap.h"
#include "BmpCodec.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

using namespace zk;

namespace {

const QString kConvert = QStringLiteral("/usr/bin/convert");

bool haveImageMagick()
{
    return zktest::haveProgram(kConvert);
}

// A deterministic, busy picture: gradients with a sprinkling of noise, so that
// every bit of every pixel format is exercised.
QImage pattern(int w, int h, unsigned seed = 1)
{
    QImage img(w, h, QImage::Format_RGB32);
    unsigned s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1103515245u + 12345u;
            img.setPixel(x, y, qRgb((x * 255 / std::max(1, w - 1)) ^ int((s >> 16) & 0x1F),
                                    (y * 255 / std::max(1, h - 1)) ^ int((s >> 8) & 0x0F), int((s >> 24) & 0xFF)));
        }
    return img;
}

// ImageMagick's own decoding of a file, as 8-bit RGB.
QImage imDecode(const QString &path, int w, int h)
{
    QByteArray raw;
    const int rc = zktest::runProgram(kConvert, {path, "-depth", "8", "rgb:-"}, &raw);
    if (rc != 0 || raw.size() != qsizetype(w) * h * 3)
        return QImage();
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uchar *p = reinterpret_cast<const uchar *>(raw.constData()) + (qsizetype(y) * w + x) * 3;
            img.setPixel(x, y, qRgb(p[0], p[1], p[2]));
        }
    return img;
}

// Writes a picture for ImageMagick to start from without our encoder: PPM is
// simple enough to spell out here.
QString writePpm(const QString &dir, const QImage &img)
{
    QByteArray data = QStringLiteral("P6\n%1 %2\n255\n").arg(img.width()).arg(img.height()).toLatin1();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            data.append(char(qRed(c)));
            data.append(char(qGreen(c)));
            data.append(char(qBlue(c)));
        }
    const QString path = dir + "/source.ppm";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Counts pixels where our decoding differs from the oracle by more than tol.
int differences(const TBitmap &ours, const QImage &oracle, int tol = 0)
{
    int bad = 0;
    for (int y = 0; y < oracle.height(); ++y)
        for (int x = 0; x < oracle.width(); ++x) {
            const QRgb a = ours.PixelRgb(x, y), b = oracle.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > tol || std::abs(qGreen(a) - qGreen(b)) > tol ||
                std::abs(qBlue(a) - qBlue(b)) > tol)
                ++bad;
        }
    return bad;
}

TBitmap loadBmp(const QByteArray &data)
{
    TBitmap b;
    ReadBmp(reinterpret_cast<const uchar *>(data.constData()), std::size_t(data.size()), b);
    return b;
}

bool samePixelBytes(const TBitmap &a, const TBitmap &b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
        return false;
    const std::size_t used = (std::size_t(a.Width()) * std::size_t(a.BitsPerPixel() == 15 ? 16 : a.BitsPerPixel()) + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), used) != 0)
            return false;
    return a.Palette() == b.Palette();
}

} // namespace

TEST(BmpCodec, EveryDepthWeWriteDecodesIdenticallyInImageMagick)
{
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    const QImage src = pattern(37, 23);
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(BitsPerPixel(pf));
        TBitmap b = TBitmap::FromImage(src);
        b.SetPixelFormat(pf);
        const QString path = dir.path() + QStringLiteral("/ours%1.bmp").arg(BitsPerPixel(pf));
        b.SaveToFile(path);
        const QImage oracle = imDecode(path, b.Width(), b.Height());
        ASSERT_FALSE(oracle.isNull());
        // ImageMagick widens 5- and 6-bit channels by rounding, we by
        // repeating the high bits: at most one step apart.
        const int tol = (pf == pf15bit || pf == pf16bit) ? 1 : 0;
        EXPECT_EQ(differences(b, oracle, tol), 0);
    }
}

TEST(BmpCodec, FilesImageMagickWritesDecodeIdenticallyAndRoundTrip)
{
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    const QImage src = pattern(37, 23, 7);
    const QString ppm = writePpm(dir.path(), src);
    // A picture with few colours for the palette variants.
    QImage few = src;
    for (int y = 0; y < few.height(); ++y)
        for (int x = 0; x < few.width(); ++x) {
            const QRgb c = few.pixel(x, y);
            few.setPixel(x, y, qRgb(qRed(c) & 0xC0, qGreen(c) & 0x80, qBlue(c) & 0xC0));
        }
    QTemporaryDir fewDir;
    const QString fewPpm = writePpm(fewDir.path(), few);

    struct Variant
    {
        const char *name;
        QStringList args;
        bool fewColours;
        int bpp;
        std::uint32_t compression;
        int headerSize;
    };
    const Variant variants[] = {
        {"BMP3 1 bit", {"-type", "bilevel", "BMP3:%1"}, false, 1, 0, 40},
        {"BMP3 4 bit", {"-colors", "16", "-compress", "none", "BMP3:%1"}, true, 4, 0, 40},
        {"BMP3 8 bit", {"-type", "palette", "-compress", "none", "BMP3:%1"}, true, 8, 0, 40},
        {"BMP3 RLE8", {"-type", "palette", "-compress", "RLE", "BMP3:%1"}, true, 8, 1, 40},
        {"BMP3 24 bit", {"-type", "truecolor", "BMP3:%1"}, false, 24, 0, 40},
        {"BMP5 24 bit", {"-type", "truecolor", "BMP:%1"}, false, 24, 0, 124},
        {"BMP5 16 bit 565", {"-define", "bmp:subtype=RGB565", "BMP:%1"}, false, 16, 3, 124},
        {"BMP5 16 bit 555", {"-define", "bmp:subtype=RGB555", "BMP:%1"}, false, 16, 3, 124},
        {"BMP5 32 bit bit fields", {"-alpha", "set", "BMP:%1"}, false, 32, 3, 124},
        {"OS/2 24 bit", {"BMP2:%1"}, false, 24, 0, 12},
        {"OS/2 8 bit", {"-type", "palette", "BMP2:%1"}, true, 8, 0, 12},
    };
    int n = 0;
    for (const Variant &v : variants) {
        SCOPED_TRACE(v.name);
        const QString path = dir.path() + QStringLiteral("/im%1.bmp").arg(n++);
        QStringList args{v.fewColours ? fewPpm : ppm};
        for (const QString &a : v.args)
            args << (a.contains("%1") ? a.arg(path) : a);
        ASSERT_EQ(zktest::runProgram(kConvert, args), 0);
        const QByteArray file = readFile(path);
        ASSERT_GT(file.size(), 30);
        // The file is the variant we mean to cover.
        const uchar *d = reinterpret_cast<const uchar *>(file.constData());
        const int headerSize = d[14] | (d[15] << 8);
        ASSERT_EQ(headerSize, v.headerSize);
        if (headerSize == 12) {
            EXPECT_EQ(d[24] | (d[25] << 8), v.bpp);
        } else {
            EXPECT_EQ(d[28] | (d[29] << 8), v.bpp);
            EXPECT_EQ(std::uint32_t(d[30]), v.compression);
        }

        const TBitmap ours = loadBmp(file);
        const QImage oracle = imDecode(path, 37, 23);
        ASSERT_FALSE(oracle.isNull());
        EXPECT_EQ(differences(ours, oracle, (v.bpp == 16) ? 1 : 0), 0);

        // Written and read again: the same pixels, byte for byte.
        TBitmap copy = ours;
        const TBitmap again = loadBmp(WriteBmp(copy));
        EXPECT_TRUE(samePixelBytes(ours, again));
        // And what we wrote is still what ImageMagick saw in the original.
        const QString rewritten = path + ".ours.bmp";
        copy.SaveToFile(rewritten);
        EXPECT_EQ(differences(ours, imDecode(rewritten, 37, 23), (v.bpp == 16) ? 1 : 0), 0);
    }
}

TEST(BmpCodec, V4HeadersAreRead)
{
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    const QString ppm = writePpm(dir.path(), pattern(11, 6, 4));
    const QString v5 = dir.path() + "/v5.bmp";
    ASSERT_EQ(zktest::runProgram(kConvert, {ppm, "-alpha", "set", "BMP:" + v5}), 0);
    QByteArray file = readFile(v5);
    ASSERT_EQ(file[14], char(124));
    // A V4 header is the V5 header without its last 16 bytes (intent and
    // colour profile); the rows move up by as much.
    QByteArray v4 = file.left(14 + 108) + file.mid(14 + 124);
    v4[14] = char(108);
    const quint32 off = quint32(uchar(file[10])) - 16;
    v4[10] = char(off & 0xFF);
    v4[11] = char(off >> 8);
    const quint32 size = quint32(v4.size());
    std::memcpy(v4.data() + 2, &size, 4);
    const QString path = dir.path() + "/v4.bmp";
    writeFile(path, v4);
    const QImage oracle = imDecode(path, 11, 6);
    ASSERT_FALSE(oracle.isNull());
    const TBitmap ours = loadBmp(v4);
    EXPECT_EQ(ours.PixelFormat(), pf32bit);
    EXPECT_EQ(differences(ours, oracle), 0);
}

TEST(BmpCodec, TopDownRowsAreReadInTheirOrder)
{
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    const QString ppm = writePpm(dir.path(), pattern(13, 9, 3));
    for (const char *type : {"truecolor", "palette"}) {
        SCOPED_TRACE(type);
        const QString path = dir.path() + "/bottomup.bmp";
        ASSERT_EQ(zktest::runProgram(kConvert, {ppm, "-type", type, "-compress", "none", "BMP3:" + path}), 0);
        QByteArray file = readFile(path);
        const uchar *d = reinterpret_cast<const uchar *>(file.constData());
        const int offBits = int(d[10] | (d[11] << 8) | (d[12] << 16));
        const int bpp = d[28];
        const int stride = int(((13 * bpp + 31) / 32) * 4);
        // Negative height, rows reversed: the same picture stored top-down.
        QByteArray flipped = file.left(offBits);
        for (int row = 8; row >= 0; --row)
            flipped.append(file.mid(offBits + row * stride, stride));
        const qint32 negative = -9;
        std::memcpy(flipped.data() + 22, &negative, 4);
        const QString topDown = dir.path() + "/topdown.bmp";
        writeFile(topDown, flipped);
        const QImage oracle = imDecode(topDown, 13, 9);
        ASSERT_FALSE(oracle.isNull());
        EXPECT_EQ(differences(loadBmp(flipped), oracle), 0);
        EXPECT_TRUE(samePixelBytes(loadBmp(flipped), loadBmp(file)));
    }
}

namespace {

QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}
QByteArray le16(std::uint32_t v)
{
    QByteArray b(2, 0);
    b[0] = char(v & 0xFF);
    b[1] = char((v >> 8) & 0xFF);
    return b;
}

// A BMP assembled by hand: file header, 40-byte header, extra (masks or
// colour table) and the pixel data as given.
QByteArray handMade(int w, int h, int bpp, std::uint32_t compression, const QByteArray &extra,
                    const QByteArray &pixels, std::uint32_t colorsUsed = 0)
{
    QByteArray info = le32(40) + le32(std::uint32_t(w)) + le32(std::uint32_t(h)) + le16(1) + le16(std::uint32_t(bpp)) +
                      le32(compression) + le32(std::uint32_t(pixels.size())) + le32(0) + le32(0) +
                      le32(colorsUsed) + le32(0);
    const std::uint32_t off = 14 + 40 + std::uint32_t(extra.size());
    return QByteArray("BM") + le32(off + std::uint32_t(pixels.size())) + le32(0) + le32(off) + info + extra + pixels;
}

QByteArray grayTable(int n)
{
    QByteArray t;
    for (int i = 0; i < n; ++i) {
        const char v = char(i * 255 / (n - 1));
        t += QByteArray(1, v) + QByteArray(1, v) + QByteArray(1, char(i * 37 & 0xFF)) + QByteArray(1, 0);
    }
    return t;
}

} // namespace

TEST(BmpCodec, RleAndUnusualBitFieldsAgreeWithImageMagick)
{
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    struct Case
    {
        const char *name;
        QByteArray file;
        int w, h;
        TPixelFormat pf;
    };
    // RLE4, 7 x 4: runs, an absolute run, a move (delta) and line ends.
    const QByteArray rle4 = QByteArray::fromHex("05120000"         // row 0: 1 2 1 2 1, line end
                                                "000334560000"     // row 1: absolute 3 4 5, line end
                                                "031200020101"     // row 2: 1 2 1, move (+1, +1)
                                                "03ab0001");       // row 3 from x = 4: a b a, end
    // RLE8, 5 x 3 with a move that skips a whole row.
    const QByteArray rle8 = QByteArray::fromHex("0309020a0000" "000200010203000000" "0001");
    // Absolute runs of odd length, each followed by its pad byte: RLE8 of
    // three pixels, RLE4 of five (three bytes), with runs after them.
    const QByteArray rle8Odd = QByteArray::fromHex("000305060700" "0208" "0000" "0109" "00030a0b0c00" "010d" "0001");
    const QByteArray rle4Odd = QByteArray::fromHex("000512345000" "0267" "0000" "01a0" "0005bcdef000" "0110" "0001");
    // 16 bits with 4-4-4 masks (after the 40-byte header), 32 bits with
    // shifted masks.
    QByteArray px16, px32;
    for (int i = 0; i < 6 * 3; ++i) {
        px16 += le16(std::uint32_t(i * 2749) & 0x0FFF); // 12 bytes a row: no padding
    }
    for (int i = 0; i < 4 * 2; ++i)
        px32 += le32(std::uint32_t(i) * 0x1F2E3D4Cu);
    const Case cases[] = {
        {"RLE4", handMade(7, 4, 4, 2, grayTable(16), rle4, 16), 7, 4, pf4bit},
        {"RLE8", handMade(5, 3, 8, 1, grayTable(16), rle8, 16), 5, 3, pf8bit},
        {"RLE8 odd absolute runs", handMade(5, 2, 8, 1, grayTable(16), rle8Odd, 16), 5, 2, pf8bit},
        {"RLE4 odd absolute runs", handMade(7, 2, 4, 2, grayTable(16), rle4Odd, 16), 7, 2, pf4bit},
        {"16 bit 4-4-4", handMade(6, 3, 16, 3, le32(0x0F00) + le32(0x00F0) + le32(0x000F), px16), 6, 3, pf24bit},
        {"32 bit shifted", handMade(4, 2, 32, 3, le32(0xFF000000u) + le32(0x00FF0000) + le32(0x0000FF00), px32), 4, 2,
         pf32bit},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.path() + QStringLiteral("/hand%1.bmp").arg(n++);
        writeFile(path, c.file);
        const QImage oracle = imDecode(path, c.w, c.h);
        ASSERT_FALSE(oracle.isNull());
        const TBitmap ours = loadBmp(c.file);
        EXPECT_EQ(ours.PixelFormat(), c.pf);
        if (c.pf == pf24bit) {
            // 4-bit channels: ImageMagick widens 0xD to 0xD0, we scale to the
            // full range (0xDD) so that 0xF is white. The channel bits agree.
            int bad = 0;
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    bad += (ours.PixelRgb(x, y) & 0xF0F0F0) != (oracle.pixel(x, y) & 0xF0F0F0);
            EXPECT_EQ(bad, 0);
            EXPECT_EQ(ours.Pixel(0, 2), clBlack); // stored first: 0x000
            continue;
        }
        EXPECT_EQ(differences(ours, oracle), 0);
    }
}

TEST(BmpCodec, OurFilesReadBackByteIdenticalAtEveryDepth)
{
    const QImage src = pattern(29, 11, 5);
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(BitsPerPixel(pf));
        TBitmap b = TBitmap::FromImage(src);
        b.SetPixelFormat(pf);
        const QByteArray first = b.SaveToBytes();
        EXPECT_EQ(first, WriteBmp(b)); // written in blocks or at once: the same file
        TBitmap back;
        back.LoadFromBytes(first);
        EXPECT_TRUE(samePixelBytes(b, back));
        EXPECT_EQ(back.SaveToBytes(), first);
        // The DIB form alone reads back the same.
        TBitmap fromDib;
        fromDib.LoadFromDIB(b.SaveToDIB());
        EXPECT_TRUE(samePixelBytes(b, fromDib));
    }
}

TEST(BmpCodec, PicturesOfSeveralBlocksStreamTheSameFile)
{
    // 1.4 MiB of rows: written in two blocks, the second one partial.
    TBitmap b = TBitmap::FromImage(pattern(1201, 401, 9));
    b.SetPixelFormat(pf24bit);
    const QByteArray whole = WriteBmp(b);
    EXPECT_EQ(b.SaveToBytes(), whole);
    TBitmap back;
    back.LoadFromBytes(whole);
    EXPECT_TRUE(samePixelBytes(b, back));
}

TEST(BmpCodec, StreamPositionEndsAfterThePicture)
{
    TBitmap a = TBitmap::FromImage(pattern(5, 4, 2));
    TBitmap b = TBitmap::FromImage(pattern(3, 7, 9));
    QByteArray both = a.SaveToBytes() + b.SaveToBytes();
    QBuffer buf(&both);
    buf.open(QIODevice::ReadOnly);
    TBitmap ra, rb;
    ra.LoadFromStream(buf);
    rb.LoadFromStream(buf);
    EXPECT_TRUE(samePixelBytes(a, ra));
    EXPECT_TRUE(samePixelBytes(b, rb));
    EXPECT_TRUE(buf.atEnd());
}

TEST(BmpCodec, IconDibsDecodeTheUpperHalfAndReportWhereTheMaskStarts)
{
    // 2 x 2 at 24 bits with the doubled height of icon entries, followed by
    // the AND mask.
    QByteArray info = le32(40) + le32(2) + le32(4) + le16(1) + le16(24) + le32(0) + le32(0) + le32(0) + le32(0) +
                      le32(0) + le32(0);
    const QByteArray rows = QByteArray::fromHex("0000ff00ff000000" "ff0000ffffff0000");
    const QByteArray mask = QByteArray::fromHex("4000000080000000");
    const QByteArray dib = info + rows + mask;
    TBitmap b;
    const DibReadResult r =
        ReadDib(reinterpret_cast<const uchar *>(dib.constData()), std::size_t(dib.size()), b, DibReadOptions{true});
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(r.bitsEnd, std::size_t(40 + 16));
    EXPECT_EQ(b.Pixel(0, 1), clRed);   // bottom row first: red, lime
    EXPECT_EQ(b.Pixel(1, 1), clLime);
    EXPECT_EQ(b.Pixel(0, 0), clBlue);  // then blue, white
    EXPECT_EQ(b.Pixel(1, 0), clWhite);
}

// ---------------------------------------------------------------- bad input

namespace {

void expectCleanFailure(const QByteArray &data, const char *what)
{
    SCOPED_TRACE(what);
    TBitmap target(3, 2, pf24bit);
    target.SetPixel(1, 1, clRed);
    const QByteArray before = target.SaveToBytes();
    EXPECT_THROW(target.LoadFromBytes(data), EInvalidGraphic);
    EXPECT_EQ(target.SaveToBytes(), before); // unchanged
}

} // namespace

TEST(BmpCodec, KnownBadFilesFailCleanly)
{
    const QDir bad(QStringLiteral(ZK_SOURCE_DIR "/tests/data/bad/bmp"));
    const QStringList files = bad.entryList({"*.bmp"}, QDir::Files);
    ASSERT_GE(files.size(), 8);
    for (const QString &f : files)
        expectCleanFailure(readFile(bad.filePath(f)), qPrintable(f));
}

TEST(BmpCodec, EveryTruncationOfValidFilesFailsCleanly)
{
    const QImage src = pattern(9, 5, 11);
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap b = TBitmap::FromImage(src);
        b.SetPixelFormat(pf);
        const QByteArray full = b.SaveToBytes();
        // The padding of the last stored row may be missing; anything shorter
        // lacks pixels.
        const int bits = BitsPerPixel(pf) == 15 ? 16 : BitsPerPixel(pf);
        const qsizetype padding = qsizetype(BytesPerRow(9, bits)) - (9 * bits + 7) / 8;
        for (qsizetype cut = 0; cut < full.size() - padding; ++cut)
            expectCleanFailure(full.left(cut), qPrintable(QStringLiteral("%1 bit cut at %2").arg(BitsPerPixel(pf)).arg(cut)));
    }
    // RLE: every cut before the end marker leaves rows unfilled.
    const QByteArray rle8 = handMade(5, 3, 8, 1, grayTable(16), QByteArray::fromHex("0309020a0000" "0301" "0000" "0204" "0001"), 16);
    const qsizetype dataStart = 14 + 40 + 64;
    for (qsizetype cut = 0; cut < rle8.size(); ++cut) {
        if (cut >= dataStart)
            expectCleanFailure(rle8.left(cut), qPrintable(QStringLiteral("RLE8 cut at %1").arg(cut)));
    }
}

TEST(BmpCodec, PicturesOverThePixelLimitAreRefusedBeforeAllocating)
{
    // 100000 x 100000 pixels declared in a file of a few bytes.
    const QByteArray huge = handMade(100000, 100000, 24, 0, {}, QByteArray(16, 0));
    expectCleanFailure(huge, "huge");
    // Under the limit but far more rows than the file holds: refused for
    // being short, before the 800 MB of rows are set aside.
    const QByteArray declared = handMade(16384, 16383, 24, 0, {}, QByteArray(1024 - 54, 0));
    ASSERT_LE(declared.size(), 1024);
    expectCleanFailure(declared, "16384 x 16383 in 1 KB");
    try {
        TBitmap b;
        b.LoadFromBytes(declared);
    } catch (const EInvalidGraphic &e) {
        EXPECT_TRUE(e.message().contains("cut short")) << e.what();
    }
    // The limit is adjustable: a small one refuses a small picture.
    TBitmap small = TBitmap::FromImage(pattern(20, 20));
    const QByteArray data = small.SaveToBytes();
    TBitmap::SetMaxPixels(399);
    expectCleanFailure(data, "over an adjusted limit");
    TBitmap::SetMaxPixels(0);
    TBitmap ok;
    EXPECT_NO_THROW(ok.LoadFromBytes(data));
}

// A seekable stream reads uncompressed true-colour rows straight into the
// bitmap: the pixels, the stream's position after the picture and the
// faults are those of the whole-file read.
TEST(BmpCodec, RowsReadStraightFromAStreamMatchTheWholeFileRead)
{
    TBitmap b24 = TBitmap::FromImage(pattern(9, 5, 4));
    b24.SetPixelFormat(pf24bit); // rows of 27 bytes, padded to 28
    TBitmap b32 = TBitmap::FromImage(pattern(7, 3, 5));
    b32.SetPixelFormat(pf32bit);
    const QByteArray file24 = b24.SaveToBytes(), file32 = b32.SaveToBytes();
    QByteArray topDown = file24.left(54);
    for (int row = 4; row >= 0; --row)
        topDown.append(file24.mid(54 + row * 28, 28));
    const qint32 negative = -5;
    std::memcpy(topDown.data() + 22, &negative, 4);
    QByteArray sizeTooLarge = file24;
    sizeTooLarge[2] = char(0xFF); // the file header's size beyond the file
    const QByteArray withTable =
        handMade(2, 2, 24, 0, QByteArray(8, '\x11'), QByteArray::fromHex("0102030405060000" "0708090a0b0c0000"), 2);
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool valid;
    } cases[] = {
        {"24 bit bottom-up", file24, true},
        {"32 bit", file32, true},
        {"24 bit top-down", topDown, true},
        {"last row without padding", file24.left(file24.size() - 1), true},
        {"size field beyond the file", sizeTooLarge, true},
        {"colour table before true-colour rows", withTable, true},
        {"cut in the last row", file24.left(file24.size() - 3), false},
        {"cut in the header", file24.left(40), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // Bytes after a valid picture stay for the next reader; an invalid
        // one ends the stream so that nothing after it fills the gap.
        QByteArray stream = QByteArray("xy") + c.bytes + QByteArray(c.valid ? "tail" : "");
        QBuffer buf(&stream);
        buf.open(QIODevice::ReadOnly);
        buf.seek(2);
        TBitmap viaStream;
        TBitmap whole;
        if (!c.valid) {
            EXPECT_THROW(viaStream.LoadFromStream(buf), EInvalidGraphic);
            EXPECT_THROW(loadBmp(c.bytes), EInvalidGraphic);
            EXPECT_EQ(buf.pos(), 2);
            continue;
        }
        const QByteArray rest = stream.mid(2); // what the whole-file read gets
        const std::size_t used =
            ReadBmp(reinterpret_cast<const uchar *>(rest.constData()), std::size_t(rest.size()), whole);
        viaStream.LoadFromStream(buf);
        EXPECT_TRUE(samePixelBytes(viaStream, whole));
        EXPECT_EQ(buf.pos(), 2 + qint64(used));
    }
    // The first two: the pixels written, not only the same as the other path.
    TBitmap back;
    back.LoadFromBytes(file24);
    EXPECT_TRUE(samePixelBytes(back, b24));
    back.LoadFromBytes(file32);
    EXPECT_TRUE(samePixelBytes(back, b32));
}
