// Files we write: pngcheck must pass them and ImageMagick (libpng) must read
// back the pixels the bitmap holds.
#include "PNGImage.h"
#include "PngDeflate.h"
#include "PngTestKit.h"
#include "ZStreams.h"

#include <QBuffer>
#include <QPainter>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

using namespace zk;
using namespace pngkit;

namespace {

QByteArray encode(TPNGImage &img)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.SaveToStream(b);
    return out;
}

TPNGImage decodeBytes(const QByteArray &bytes)
{
    TPNGImage img;
    img.LoadFromBytes(bytes);
    return img;
}

// A screenshot-like picture: flat areas, lines, text.
void paintScreenshot(TBitmap &bmp, int w, int h)
{
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(w, h);
    auto c = bmp.Canvas();
    c->fillRect(0, 0, w, h, QColor(236, 236, 236));
    c->fillRect(0, 0, w, 24, QColor(40, 90, 160));
    for (int i = 0; i < h; i += 17)
        c->fillRect(8, 30 + i, w - 16, 1, QColor(200, 200, 210));
    c->setPen(Qt::black);
    for (int y = 40; y < h - 10; y += 19)
        c->drawText(12, y, QStringLiteral("Zelkora  %1  Datei Bearbeiten Ansicht").arg(y));
}

// A photo-like picture: smooth gradients with noise.
void paintPhoto(TBitmap &bmp, int w, int h, unsigned seed = 3)
{
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        uchar *row = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const int n = int(rng() % 9) - 4;
            row[3 * x] = uchar(std::clamp(x * 255 / std::max(1, w - 1) + n, 0, 255));
            row[3 * x + 1] = uchar(std::clamp(y * 255 / std::max(1, h - 1) + n, 0, 255));
            row[3 * x + 2] = uchar(std::clamp((x + y) * 128 / std::max(1, w + h) + 60 + n, 0, 255));
        }
    }
}

// A window on a black desktop: the black rows filter to zeros, in runs long
// enough for blocks of their own.
void paintDarkDesktop(TBitmap &bmp, int w, int h)
{
    paintScreenshot(bmp, w, h);
    auto c = bmp.Canvas();
    c->fillRect(w / 2, 0, w - w / 2, h, Qt::black);
    c->fillRect(0, h / 3, w, h - h / 3, Qt::black);
}

// Writes the picture to a file, checks it with pngcheck and compares what
// ImageMagick reads with the bitmap's colours.
void expectValidAndSame(TPNGImage &img, const QString &name)
{
    const QString path = workDir() + "/" + name + ".png";
    const QByteArray bytes = encode(img);
    ASSERT_TRUE(writeFile(path, bytes));
    QByteArray report;
    EXPECT_TRUE(pngcheckOk(path, &report)) << report.toStdString();
    const QByteArray ref = magickRgb16(path);
    ASSERT_EQ(ref.size(), qsizetype(img.Width()) * img.Height() * 6);
    int bad = 0;
    const auto *p = reinterpret_cast<const uint8_t *>(ref.constData());
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const size_t at = (size_t(y) * img.Width() + x) * 6;
            const QRgb c = img.PixelRgb(x, y);
            bad += qRed(c) != p[at] || qGreen(c) != p[at + 2] || qBlue(c) != p[at + 4];
        }
    EXPECT_EQ(bad, 0) << name.toStdString();
}

class PngEncode : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveMagick() || !zktest::haveProgram("pngcheck"))
            GTEST_SKIP() << "ImageMagick or pngcheck is not installed";
    }
};

} // namespace

TEST_F(PngEncode, EveryDepthWeWritePassesPngcheckAndReadsBackInLibpng)
{
    // True colour at every depth the bitmap knows; all become 8-bit RGB.
    for (TPixelFormat pf : {pf15bit, pf16bit, pf24bit, pf32bit}) {
        TPNGImage img;
        paintPhoto(img, 61, 37);
        img.SetPixelFormat(pf);
        const QByteArray bytes = encode(img);
        const QList<RawChunk> chunks = walkChunks(bytes);
        ASSERT_GE(chunks.size(), 3);
        EXPECT_EQ(int(uint8_t(chunks[0].data[8])), 8);
        EXPECT_EQ(int(uint8_t(chunks[0].data[9])), 2);
        EXPECT_EQ(img.PixelFormat(), pf24bit); // left 24-bit afterwards
        expectValidAndSame(img, QStringLiteral("tc_%1").arg(int(pf)));
    }
    // Palettes: 1, 4 and 8 bits, with full and with short palettes.
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit}) {
        TPNGImage img;
        paintPhoto(img, 45, 29, 9);
        img.SetPixelFormat(pf);
        const QByteArray bytes = encode(img);
        const QList<RawChunk> chunks = walkChunks(bytes);
        const int bits = pf == pf1bit ? 1 : pf == pf4bit ? 4 : 8;
        EXPECT_EQ(int(uint8_t(chunks[0].data[8])), bits);
        EXPECT_EQ(int(uint8_t(chunks[0].data[9])), 3);
        expectValidAndSame(img, QStringLiteral("pal_%1").arg(bits));

        TPNGImage shortPal;
        paintPhoto(shortPal, 45, 29, 9);
        shortPal.SetPixelFormat(pf);
        QVector<QRgb> few = shortPal.Palette().mid(0, 2);
        shortPal.SetPalette(few); // higher indices now read as black
        expectValidAndSame(shortPal, QStringLiteral("shortpal_%1").arg(bits));
    }
}

TEST_F(PngEncode, ScreenshotsAndPhotosRoundTripExactly)
{
    for (int kind = 0; kind < 2; ++kind) {
        TPNGImage img;
        if (kind == 0)
            paintScreenshot(img, 320, 200);
        else
            paintPhoto(img, 320, 200);
        expectValidAndSame(img, kind == 0 ? "screenshot" : "photo");
        TPNGImage back = decodeBytes(encode(img));
        ASSERT_EQ(back.PixelFormat(), pf24bit);
        for (int y = 0; y < img.Height(); ++y)
            ASSERT_EQ(0, memcmp(back.ScanLine(y), img.ScanLine(y), size_t(img.Width()) * 3)) << y;
    }
}

TEST_F(PngEncode, TransparentPicturesGetTheTrnsTheFormatDefines)
{
    TPNGImage img;
    paintPhoto(img, 20, 10);
    img.SetTransparentColor(RGBToTColor(0x12, 0x34, 0x56));
    img.SetTransparent(true);
    const QByteArray bytes = encode(img);
    const QString path = workDir() + "/trns_rgb.png";
    ASSERT_TRUE(writeFile(path, bytes));
    QByteArray report;
    EXPECT_TRUE(pngcheckOk(path, &report)) << report.toStdString();
    const QList<RawChunk> chunks = walkChunks(bytes);
    int trnsAt = -1;
    for (int i = 0; i < chunks.size(); ++i)
        if (chunks[i].type == "tRNS")
            trnsAt = i;
    ASSERT_GE(trnsAt, 1);
    EXPECT_EQ(chunks[trnsAt].data, QByteArray("\x00\x12\x00\x34\x00\x56", 6));
    TPNGImage back = decodeBytes(bytes);
    EXPECT_TRUE(back.Transparent());
    EXPECT_EQ(back.TransparentColor(), RGBToTColor(0x12, 0x34, 0x56));

    // A transparent palette picture writes no tRNS at all.
    TPNGImage pal;
    paintPhoto(pal, 20, 10);
    pal.SetPixelFormat(pf8bit);
    pal.SetTransparent(true);
    for (const RawChunk &c : walkChunks(encode(pal)))
        EXPECT_NE(c.type, "tRNS");
}

TEST_F(PngEncode, ChunksAreWrittenInAnOrderEveryDecoderAccepts)
{
    // A palette picture loaded with gAMA, tRNS, tIME and an unknown
    // ancillary chunk, some of them in odd places.
    TPNGImage src;
    paintPhoto(src, 12, 9);
    src.SetPixelFormat(pf4bit);
    const QList<RawChunk> original = walkChunks(encode(src));
    QList<RawChunk> odd;
    odd << original[0]; // IHDR
    odd << RawChunk{"tIME", QByteArray("\x07\xE6\x01\x02\x03\x04\x05", 7)};
    odd << RawChunk{"gAMA", u32(45455)};
    for (const RawChunk &c : original)
        if (c.type == "PLTE" || c.type == "IDAT")
            odd << c;
    odd << RawChunk{"zzZZ", QByteArray("kept")} << RawChunk{"tEXt", QByteArray("Title\0x", 7)}
        << RawChunk{"IEND", {}};
    TPNGImage img = decodeBytes(buildPng(odd));
    img.SetTransparent(true); // keeps the list's own tRNS handling honest
    const QByteArray bytes = encode(img);
    const QString path = workDir() + "/order.png";
    ASSERT_TRUE(writeFile(path, bytes));
    QByteArray report;
    EXPECT_TRUE(pngcheckOk(path, &report)) << report.toStdString();
    QStringList types;
    for (const RawChunk &c : walkChunks(bytes))
        types << QString::fromLatin1(c.type);
    EXPECT_EQ(types, QStringList({"IHDR", "gAMA", "PLTE", "tIME", "zzZZ", "IDAT", "IEND"}));
}

TEST_F(PngEncode, FilterChoiceFollowsTheRunHeuristic)
{
    // Rows that repeat the row above: Up would win, but it is not among the
    // default filters.
    TPNGImage img;
    img.SetSize(64, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            uchar *p = img.ScanLine(y) + 3 * x;
            p[0] = uchar(x * 37);
            p[1] = uchar(x * 11);
            p[2] = uchar(x * 5);
        }
    QByteArray raw = imageData(encode(img));
    const int stride = 64 * 3 + 1;
    ASSERT_EQ(raw.size(), stride * 16);
    for (int y = 0; y < 16; ++y)
        EXPECT_NE(int(raw[y * stride]), 2) << y;
    // With Up allowed, it is taken from the second row on.
    img.SetFilters(fbUp);
    EXPECT_EQ(img.Filters(), fbUp | fbNone);
    raw = imageData(encode(img));
    for (int y = 1; y < 16; ++y)
        EXPECT_EQ(int(raw[y * stride]), 2) << y;
    // None alone: every row unfiltered.
    img.SetFilters(0);
    raw = imageData(encode(img));
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(int(raw[y * stride]), 0) << y;

    // A one-column picture scores 0 on every row: all None.
    TPNGImage thin;
    thin.SetSize(1, 30);
    raw = imageData(encode(thin));
    ASSERT_EQ(raw.size(), 4 * 30);
    for (int y = 0; y < 30; ++y)
        EXPECT_EQ(int(raw[y * 4]), 0);
    expectValidAndSame(thin, "thin");
}

TEST_F(PngEncode, ReadingAndWritingKeepsWhatLibpngSees)
{
    // 2-bit grey loads as a 4-bit bitmap and is written as 4-bit palette;
    // 16-bit RGB and RGBA load as 24-bit and write as 8-bit RGB.
    struct Case { QStringList args; int ct, depth; TPixelFormat pf; int outCt, outDepth; };
    const QList<Case> cases = {
        {{"-colorspace", "Gray", "-define", "png:color-type=0", "-define", "png:bit-depth=2"}, 0, 2, pf4bit, 3, 4},
        {{"-define", "png:color-type=2", "-define", "png:bit-depth=16"}, 2, 16, pf24bit, 2, 8},
        {{"-alpha", "set", "-channel", "A", "-evaluate", "set", "60%", "+channel", "-define",
          "png:color-type=6", "-define", "png:bit-depth=8"}, 6, 8, pf24bit, 2, 8},
    };
    int n = 0;
    for (const Case &c : cases) {
        const QString in = workDir() + QStringLiteral("/rw_%1.png").arg(n);
        ASSERT_TRUE(magick(QStringList{"-size", "23x17", "-seed", "2", "plasma:fractal"} + c.args + QStringList{in}));
        TPNGImage img = decodeBytes(readFile(in));
        EXPECT_EQ(img.PixelFormat(), c.pf);
        const QByteArray out = encode(img);
        const QList<RawChunk> chunks = walkChunks(out);
        EXPECT_EQ(int(uint8_t(chunks[0].data[9])), c.outCt);
        EXPECT_EQ(int(uint8_t(chunks[0].data[8])), c.outDepth);
        // The written pixels are libpng's reading of the input (high bytes).
        const QString outPath = workDir() + QStringLiteral("/rw_%1_out.png").arg(n);
        ASSERT_TRUE(writeFile(outPath, out));
        QByteArray report;
        EXPECT_TRUE(pngcheckOk(outPath, &report)) << report.toStdString();
        const QByteArray a = magickRgb16(in), b = magickRgb16(outPath);
        ASSERT_EQ(a.size(), b.size());
        for (qsizetype i = 0; i < a.size(); i += 2)
            ASSERT_EQ(a[i], b[i]) << "case " << n << " byte " << i;
        ++n;
    }
}

TEST_F(PngEncode, EachFilterAloneIsTakenAndDecodesInLibpng)
{
    // A grey linear gradient: each filter turns it into runs of equal
    // bytes, so each is chosen when it is the only one besides None.
    TPNGImage img;
    img.SetSize(97, 41);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 97; ++x) {
            uchar *p = img.ScanLine(y) + 3 * x;
            p[0] = p[1] = p[2] = uchar(2 * x + 3 * y);
        }
    for (uint8_t type = 1; type <= 4; ++type) {
        img.SetFilters(uint8_t(1 << type));
        const QByteArray raw = imageData(encode(img));
        const int stride = 97 * 3 + 1;
        ASSERT_EQ(raw.size(), stride * 41);
        int taken = 0;
        for (int y = 0; y < 41; ++y)
            taken += raw[y * stride] == char(type);
        EXPECT_GE(taken, 39) << "filter " << int(type);
        expectValidAndSame(img, QStringLiteral("filter_%1").arg(type));
    }
}

TEST(PngEncodeEdges, AnEmptyPictureRaisesAndWritesNothing)
{
    TPNGImage img;
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    try {
        img.SaveToStream(b);
        FAIL() << "an empty picture was written";
    } catch (const EPNGImageException &e) {
        EXPECT_EQ(e.Id(), peEmptyImage);
        EXPECT_TRUE(e.message().startsWith("Portable Network Graphics format handler error\r\n\r\n"));
    }
    EXPECT_TRUE(out.isEmpty());
}

// Black areas leave zlib's stream for blocks of their own: libpng reads the
// pixels back at odd sizes and any band count, and one band is no larger
// than zlib's deflate of the same rows.
TEST_F(PngEncode, BlackAreasReadBackInLibpngAndCostNoMoreThanZlibsStream)
{
    for (const QSize size : {QSize(1283, 517), QSize(997, 389), QSize(4001, 97)}) {
        TPNGImage img;
        paintDarkDesktop(img, size.width(), size.height());
        for (int bands : {1, 3, 0}) {
            png::ForcedBandsForTest = bands;
            const QString name = QStringLiteral("dark_%1x%2_%3").arg(size.width()).arg(size.height()).arg(bands);
            expectValidAndSame(img, name);
            if (bands != 1)
                continue;
            const QByteArray file = encode(img);
            qsizetype idat = 0;
            for (const RawChunk &c : walkChunks(file))
                idat += c.type == "IDAT" ? c.data.size() : 0;
            EXPECT_LE(idat, deflateBytes(imageData(file)).size()) << qPrintable(name);
        }
    }
    png::ForcedBandsForTest = 0;
}

// The same for the deflate alone: whatever a run's length, and however the
// input is cut into pieces, the stream inflates to the input, its bytes do
// not depend on the cuts, and it is no larger than zlib's.
TEST(PngEncodeEdges, LongZeroRunsInflateToTheInputWhereverThePiecesAreCut)
{
    const size_t shortest = 128 * 1024; // the shortest run with a block of its own
    const size_t copies = 258 * 600;    // whole copies of 258 after the first zero
    const size_t runs[] = {shortest - 1, shortest, copies + 1, copies + 2, copies + 3,
                           copies + 4,   copies + 131, copies + 258, 3000000};
    for (size_t run : runs) {
        QByteArray input;
        for (int i = 0; i < 5000; ++i)
            input.append(char('a' + i * 7 % 26));
        input.append(QByteArray(qsizetype(run), '\0'));
        for (int i = 0; i < 3000; ++i)
            input.append(char(i % 251 + 1));
        input.append(QByteArray(qsizetype(run), '\0')); // up to the end
        const auto *bytes = reinterpret_cast<const uint8_t *>(input.constData());
        std::optional<QByteArray> first;
        for (qsizetype piece : {input.size(), qsizetype(65536), qsizetype(4093)}) {
            const QByteArray z = png::DeflateBands(1, Z_DEFAULT_COMPRESSION, [&](int, png::BandSink &sink) {
                for (qsizetype at = 0; at < input.size(); at += piece)
                    sink.Write(bytes + at, size_t(std::min(piece, input.size() - at)));
            });
            EXPECT_TRUE(inflateBytes(z) == input) << run << " in pieces of " << piece;
            if (!first)
                first = z;
            EXPECT_TRUE(z == *first) << run << " in pieces of " << piece;
        }
        EXPECT_LE(first->size(), deflateBytes(input).size()) << run;
    }
}

// Large pictures are deflated in bands on several cores: the file must stay
// a standard PNG whose filtered rows are exactly those of the one-stream path.
TEST_F(PngEncode, BandedDeflateGivesTheSameRowsAsOneStream)
{
    struct Case
    {
        const char *name;
        TPixelFormat pf;
        int w, h;
        bool interlacedSource;
    };
    const Case cases[] = {
        {"small24", pf24bit, 90, 70, false},      // below the band threshold
        {"large24", pf24bit, 420, 260, false},    // above it
        {"large24i", pf24bit, 420, 260, true},    // read from an interlaced file
        {"large8", pf8bit, 900, 330, false},
        {"large4", pf4bit, 1400, 400, false},
        {"large1", pf1bit, 3000, 720, true},
        {"tiny1", pf1bit, 5, 3, false},           // fewer rows than bands
    };
    for (const Case &c : cases) {
        TPNGImage img;
        paintScreenshot(img, c.w, c.h);
        img.SetPixelFormat(c.pf);
        if (c.interlacedSource) {
            // Through an interlaced file that libpng writes, and back.
            const QString src = workDir() + "/" + c.name + "_src.png";
            const QString inter = workDir() + "/" + c.name + "_adam7.png";
            ASSERT_TRUE(writeFile(src, encode(img)));
            ASSERT_TRUE(magick({src, "-interlace", "PNG", inter}));
            img.LoadFromBytes(readFile(inter));
            ASSERT_EQ(img.PixelFormat(), c.pf) << c.name;
        }
        png::ForcedBandsForTest = 1;
        const QByteArray single = encode(img);
        png::ForcedBandsForTest = 7;
        const QByteArray banded = encode(img);
        png::ForcedBandsForTest = 0;
        const QByteArray automatic = encode(img);
        EXPECT_EQ(imageData(banded), imageData(single)) << c.name;
        EXPECT_EQ(imageData(automatic), imageData(single)) << c.name;
        // Each cut costs a flush and the matches it hides; tiny outputs feel it most.
        EXPECT_LE(banded.size(), single.size() * 1.03 + 7 * 64) << c.name;
        expectValidAndSame(img, QString::fromLatin1(c.name)); // the automatic path, checked by libpng
        const QString path = workDir() + "/" + c.name + "_banded.png";
        ASSERT_TRUE(writeFile(path, banded));
        QByteArray report;
        EXPECT_TRUE(pngcheckOk(path, &report)) << report.toStdString();
        TPNGImage back = decodeBytes(banded);
        ASSERT_EQ(back.PixelFormat(), img.PixelFormat()) << c.name;
        for (int y = 0; y < img.Height(); ++y)
            ASSERT_EQ(0, memcmp(back.ScanLine(y), img.ScanLine(y), BytesPerRow(img.Width(), img.BitsPerPixel(), 1)))
                << c.name << " row " << y;
    }
}

// A job that already runs a picture per core limits each encoder's threads:
// the bands, and so every byte of the file, stay those of the unlimited run,
// and a failing band still writes nothing.
TEST(PngEncodeEdges, AThreadLimitKeepsTheBytesAndWritesNothingOnFailure)
{
    TPNGImage img;
    paintPhoto(img, 420, 260);
    png::ForcedBandsForTest = 7;
    const QByteArray unlimited = encode(img);
    for (int limit : {1, 3, 100}) {
        const png::ThreadLimit hold(limit);
        EXPECT_EQ(encode(img), unlimited) << "limit " << limit;
        png::BandFaultForTest = [](int band) {
            if (band == 5)
                throw EZCompressionError(QStringLiteral("band failed"));
        };
        QByteArray out;
        QBuffer b(&out);
        b.open(QIODevice::WriteOnly);
        EXPECT_THROW(img.SaveToStream(b), EZCompressionError) << "limit " << limit;
        png::BandFaultForTest = nullptr;
        EXPECT_TRUE(out.isEmpty()) << "limit " << limit;
    }
    png::ForcedBandsForTest = 0;
    const TPNGImage back = decodeBytes(unlimited);
    for (int y = 0; y < img.Height(); ++y)
        ASSERT_EQ(0, memcmp(back.ScanLine(y), img.ScanLine(y), size_t(img.Width()) * 3)) << "row " << y;
}

// Every index runs once, on no more threads than the limit allows, the
// caller's among them.
TEST(PngEncodeEdges, RunInParallelKeepsToTheThreadLimit)
{
    const struct
    {
        int limit, count, threads;
    } cases[] = {{1, 10, 1}, {3, 10, 3}, {4, 2, 2}, {3, 0, 0}};
    for (const auto &c : cases) {
        const png::ThreadLimit hold(c.limit);
        std::mutex lock;
        std::vector<int> runs(size_t(c.count), 0);
        std::set<std::thread::id> ids;
        std::condition_variable started;
        png::RunInParallel(c.count, [&](int i) {
            std::unique_lock<std::mutex> guard(lock);
            ++runs[size_t(i)];
            ids.insert(std::this_thread::get_id());
            started.notify_all();
            // Each runner holds on until all are running, so no thread is
            // free to take a second runner.
            started.wait_for(guard, std::chrono::seconds(10), [&] { return int(ids.size()) >= c.threads; });
        });
        EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), c.count) << "limit " << c.limit;
        EXPECT_EQ(int(ids.size()), c.threads) << "limit " << c.limit;
        EXPECT_EQ(ids.count(std::this_thread::get_id()), c.count > 0 ? 1u : 0u) << "limit " << c.limit;
    }
}

// The file written while later bands still deflate holds exactly the bytes
// of the one-thread encoder (bands one after the other, row by row), for any
// band and thread count; the bitmap lent to it comes back with its rows
// where they were. Every file passes pngcheck.
TEST_F(PngEncode, WritingWhileEncodingGivesTheBytesOfTheOneThreadEncoder)
{
    const struct
    {
        const char *name;
        TPixelFormat pf;
        int w, h, bands; // bands 0: as many as the machine gives
        bool photo;
        bool dark = false;
    } cases[] = {
        {"screen", pf24bit, 1920, 1080, 0, false}, // pieces of 11 rows, 13 to a band
        {"photo", pf24bit, 420, 260, 7, true},
        {"tiny", pf24bit, 5, 3, 7, true},           // one row to a band
        {"palette", pf8bit, 900, 330, 5, false},
        {"narrow", pf24bit, 40, 3000, 3, true},     // the window reaches over several pieces
        {"dark", pf24bit, 1283, 517, 3, false, true}, // black runs across pieces and bands
    };
    for (const auto &c : cases) {
        TPNGImage img;
        if (c.photo)
            paintPhoto(img, c.w, c.h);
        else if (c.dark)
            paintDarkDesktop(img, c.w, c.h);
        else
            paintScreenshot(img, c.w, c.h);
        img.SetPixelFormat(c.pf);
        png::ForcedBandsForTest = c.bands;
        QByteArray plain;
        {
            const png::ThreadLimit one(1);
            plain = encode(img);
        }
        for (int limit : {0, 2, 3}) {
            const QString where = QStringLiteral("%1 limit %2").arg(c.name).arg(limit);
            TBitmap lent(img);
            const uchar *rows = lent.ScanLine(0);
            const QString path = workDir() + "/streamed_" + c.name + QString::number(limit) + ".png";
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            std::optional<png::ThreadLimit> hold;
            if (limit > 0)
                hold.emplace(limit);
            SavePngWhileEncoding(lent, file);
            file.close();
            EXPECT_TRUE(readFile(path) == plain) << qPrintable(where);
            EXPECT_TRUE(encode(img) == plain) << qPrintable(where) << " (in memory)";
            hold.reset();
            ASSERT_EQ(lent.ScanLine(0), rows) << qPrintable(where);
            ASSERT_EQ(lent.PixelFormat(), c.pf);
            for (int y = 0; y < c.h; ++y)
                ASSERT_EQ(0, memcmp(lent.ScanLine(y), img.ScanLine(y), BytesPerRow(c.w, img.BitsPerPixel(), 1)))
                    << qPrintable(where) << " row " << y;
            QByteArray report;
            EXPECT_TRUE(pngcheckOk(path, &report)) << report.toStdString();
        }
    }
    png::ForcedBandsForTest = 0;
}

// A stream that refuses a band ends the deflate with its own error, under
// any thread count, and is handed nothing after it; every band before it
// went out in order.
TEST(PngEncodeEdges, ARefusedBandStopsTheStreamWithItsOwnError)
{
    png::RowSource source;
    source.rows = 600;
    source.rowBytes = 1001;
    source.rowsPerBand = 100;
    source.make = [](int64_t y0, int64_t y1, uint8_t *dst) {
        for (int64_t y = y0; y < y1; ++y, dst += 1001)
            for (int x = 0; x < 1001; ++x)
                dst[x] = uint8_t(x * y);
    };
    for (int limit : {0, 1, 3}) {
        std::optional<png::ThreadLimit> hold;
        if (limit > 0)
            hold.emplace(limit);
        int pieces = 0;
        const auto refuseThird = [&](const char *, size_t) {
            // The header, bands 0 and 1, then band 2 is refused.
            if (++pieces == 4)
                throw EZCompressionError(QStringLiteral("disk full"));
        };
        try {
            png::DeflateRows(source, Z_DEFAULT_COMPRESSION, refuseThird);
            ADD_FAILURE() << "no error, limit " << limit;
        } catch (const EZCompressionError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("disk full")) << "limit " << limit;
        }
        EXPECT_EQ(pieces, 4) << "limit " << limit;
    }
}
