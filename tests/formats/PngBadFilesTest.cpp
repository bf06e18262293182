// Damaged and malicious files: each fails with its own error id and leaves
// the picture that was loaded before exactly as it was.
#include "PNGImage.h"
#include "PixelRows.h"
#include "PngRows.h"
#include "PngTestKit.h"
#include "ZStreams.h"

#include <QBuffer>
#include <QDir>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace zk;
using namespace pngkit;

namespace {

// A valid 8x6 RGB picture with a recognisable gradient, built by hand.
QByteArray rgbRows(int w, int h)
{
    QByteArray raw;
    for (int y = 0; y < h; ++y) {
        raw.append(char(0));
        for (int x = 0; x < w; ++x) {
            raw.append(char(x * 30));
            raw.append(char(y * 40));
            raw.append(char(100));
        }
    }
    return raw;
}

QList<RawChunk> goodChunks()
{
    return {{"IHDR", ihdrData(8, 6, 8, 2)}, {"IDAT", deflateBytes(rgbRows(8, 6))}, {"IEND", {}}};
}

QList<RawChunk> paletteChunks()
{
    QByteArray rows;
    for (int y = 0; y < 4; ++y)
        rows += QByteArray(1, '\0') + QByteArray("\x00\x01\x02\x01", 4);
    return {{"IHDR", ihdrData(4, 4, 8, 3)},
            {"PLTE", QByteArray("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF", 9)},
            {"IDAT", deflateBytes(rows)},
            {"IEND", {}}};
}

struct Snapshot
{
    int w, h, count;
    TPixelFormat pf;
    QVector<QRgb> pixels;
};

Snapshot snap(const TPNGImage &img)
{
    Snapshot s{img.Width(), img.Height(), img.Chunks().Count(), img.PixelFormat(), {}};
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x)
            s.pixels.append(img.PixelRgb(x, y));
    return s;
}

// Loads `bytes` into a picture that already holds another one; returns the
// error id (0 for success, -1 for a zlib error) and checks nothing changed
// on failure.
int loadOver(const QByteArray &bytes, bool *unchanged = nullptr)
{
    TPNGImage img;
    img.LoadFromBytes(buildPng(paletteChunks()));
    const Snapshot before = snap(img);
    int id = 0;
    try {
        QByteArray copy = bytes;
        QBuffer b(&copy);
        b.open(QIODevice::ReadOnly);
        img.LoadFromStream(b);
    } catch (const EPNGImageException &e) {
        id = e.Id();
    } catch (const EZDecompressionError &) {
        id = -1;
    }
    if (unchanged) {
        const Snapshot after = snap(img);
        *unchanged = after.w == before.w && after.h == before.h && after.count == before.count
                     && after.pf == before.pf && after.pixels == before.pixels;
    }
    return id;
}

struct BadCase
{
    const char *name;
    int id;
    std::function<QByteArray()> make;
};

QByteArray replaced(QList<RawChunk> c, int index, const RawChunk &with)
{
    c[index] = with;
    return buildPng(c);
}

QList<BadCase> badCases()
{
    QList<BadCase> cases;
    cases.append({"bad-signature", peInvalidHeader, [] {
                      QByteArray f = buildPng(goodChunks());
                      f[1] = 'X';
                      return f;
                  }});
    cases.append({"empty-file", peInvalidHeader, [] { return QByteArray(); }});
    cases.append({"bad-crc", peDamagedData, [] {
                      QByteArray f = buildPng(goodChunks());
                      f[8 + 8 + 13] = char(f[8 + 8 + 13] ^ 1); // IHDR's CRC
                      return f;
                  }});
    cases.append({"truncated-idat", peDamagedData, [] {
                      const QByteArray f = buildPng(goodChunks());
                      return f.left(8 + 25 + 20);
                  }});
    cases.append({"truncated-inside-header", peDamagedData, [] { return buildPng(goodChunks()).left(8 + 5); }});
    cases.append({"huge-chunk-length", peDamagedData, [] {
                      QByteArray f = buildPng(goodChunks());
                      f.replace(8 + 25, 4, u32(0xFFFFFFF0u)); // IDAT length
                      return f;
                  }});
    cases.append({"length-beyond-file", peDamagedData, [] {
                      QByteArray f = buildPng(goodChunks());
                      f.replace(8 + 25, 4, u32(0x7FFFFFF0u));
                      return f;
                  }});
    cases.append({"chunk-type-not-letters", peDamagedData, [] {
                      return replaced(goodChunks(), 2, {QByteArray("IE\x01D", 4), {}});
                  }});
    cases.append({"ihdr-short", peMissingIHDR, [] {
                      return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 8, 2).left(12)});
                  }});
    cases.append({"ihdr-long", peMissingIHDR, [] {
                      return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 8, 2) + "x"});
                  }});
    cases.append({"zero-width", peMissingIHDR, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(0, 6, 8, 2)}); }});
    cases.append({"zero-height", peMissingIHDR, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 0, 8, 2)}); }});
    cases.append({"oversized", peImageTooLarge, [] {
                      return replaced(goodChunks(), 0, {"IHDR", ihdrData(0x7FFFFFFF, 0x7FFFFFFF, 8, 2)});
                  }});
    cases.append({"width-above-format-limit", peImageTooLarge, [] {
                      return replaced(goodChunks(), 0, {"IHDR", ihdrData(0x80000000u, 1, 8, 2)});
                  }});
    cases.append({"colour-type-5", peUnknownColourType, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 8, 5)}); }});
    cases.append({"rgb-depth-4", peUnknownColourType, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 4, 2)}); }});
    cases.append({"palette-depth-16", peUnknownColourType, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 16, 3)}); }});
    cases.append({"compression-method-1", peMissingIHDR, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 8, 2, 0, 1)}); }});
    cases.append({"filter-method-1", peUnknownFilterType, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 8, 2, 0, 0, 1)}); }});
    cases.append({"interlace-2", peUnknownInterlace, [] { return replaced(goodChunks(), 0, {"IHDR", ihdrData(8, 6, 8, 2, 2)}); }});
    cases.append({"ihdr-not-first", peMissingIHDR, [] {
                      QList<RawChunk> c = goodChunks();
                      c.prepend({"tIME", QByteArray(7, '\1')});
                      return buildPng(c);
                  }});
    cases.append({"no-chunks", peMissingIHDR, [] { return signature(); }});
    cases.append({"no-idat", peNoImageData, [] {
                      QList<RawChunk> c = goodChunks();
                      c.removeAt(1);
                      return buildPng(c);
                  }});
    cases.append({"missing-plte", peMissingPalette, [] {
                      QList<RawChunk> c = paletteChunks();
                      c.removeAt(1);
                      return buildPng(c);
                  }});
    cases.append({"plte-not-whole-entries", peInvalidPalette, [] {
                      return replaced(paletteChunks(), 1, {"PLTE", QByteArray(7, '\x10')});
                  }});
    cases.append({"plte-over-256-entries", peInvalidPalette, [] {
                      return replaced(paletteChunks(), 1, {"PLTE", QByteArray(257 * 3, '\x10')});
                  }});
    cases.append({"plte-empty", peInvalidPalette, [] { return replaced(paletteChunks(), 1, {"PLTE", {}}); }});
    cases.append({"unknown-critical-chunk", peUnknownCriticalChunk, [] {
                      QList<RawChunk> c = goodChunks();
                      c.insert(1, {"ZZZZ", QByteArray("x")});
                      return buildPng(c);
                  }});
    cases.append({"filter-type-7", peUnknownFilterType, [] {
                      QByteArray rows = rgbRows(8, 6);
                      rows[25 * 2] = 7;
                      return replaced(goodChunks(), 1, {"IDAT", deflateBytes(rows)});
                  }});
    cases.append({"broken-zlib-stream", peDamagedData, [] {
                      QByteArray z = deflateBytes(rgbRows(8, 6));
                      z[0] = char(0x78 ^ 0x0F);
                      return replaced(goodChunks(), 1, {"IDAT", z});
                  }});
    return cases;
}

} // namespace

TEST(PngBadFiles, EachFailsWithItsIdAndLeavesThePictureUnchanged)
{
    // The valid base file loads (so each case fails for its own reason).
    EXPECT_EQ(loadOver(buildPng(goodChunks())), 0);
    for (const BadCase &c : badCases()) {
        bool unchanged = false;
        EXPECT_EQ(loadOver(c.make(), &unchanged), c.id) << c.name;
        EXPECT_TRUE(unchanged) << c.name;
    }
}

TEST(PngBadFiles, TheCommittedFolderOfBadFilesFailsCleanly)
{
    // Files others may add to the folder: every one must fail, none may crash.
    const QDir dir(QStringLiteral(ZK_SOURCE_DIR "/tests/data/bad/png"));
    const QStringList files = dir.entryList({"*.png"}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString &name : files) {
        bool unchanged = false;
        EXPECT_NE(loadOver(readFile(dir.filePath(name)), &unchanged), 0) << name.toStdString();
        EXPECT_TRUE(unchanged) << name.toStdString();
    }
}

TEST(PngBadFiles, ImageDataThatEndsEarlyIsDamaged)
{
    const int w = 8, h = 6;
    const QByteArray rows = rgbRows(w, h);
    const auto fileWith = [&](const QByteArray &idat, int interlace = 0) {
        return buildPng({{"IHDR", ihdrData(w, h, 8, 2, interlace)}, {"IDAT", idat}, {"IEND", {}}});
    };
    struct Case
    {
        const char *name;
        QByteArray file;
    };
    const QByteArray z = deflateBytes(rows, 0);
    const QList<Case> cases = {
        // A complete zlib stream that ends two rows before IHDR's height.
        {"stream-two-rows-short", fileWith(deflateBytes(rows.left(25 * (h - 2))))},
        // ... and one that ends half way through a row.
        {"stream-inside-a-row", fileWith(deflateBytes(rows.left(25 * 3 + 13)))},
        // An interlaced picture whose later passes are missing (all rows
        // unfiltered and black as far as they go).
        {"interlaced-short", fileWith(deflateBytes(QByteArray(40, '\0')), 1)},
        // The file cut inside the zlib stream (IDAT and IEND then complete).
        {"cut-inside-zlib", fileWith(z.left(z.size() / 2))},
    };
    for (const Case &c : cases) {
        bool unchanged = false;
        EXPECT_EQ(loadOver(c.file, &unchanged), peDamagedData) << c.name;
        EXPECT_TRUE(unchanged) << c.name;
    }
}

TEST(PngBadFiles, ZlibErrorsAreThePngDamagedDataErrorWithZlibsText)
{
    // A fixed-code block whose first match reaches back before the start.
    const QByteArray tooFarBack = QByteArray::fromHex("7801030200");
    const QByteArray f = buildPng({{"IHDR", ihdrData(8, 6, 8, 2)}, {"IDAT", tooFarBack}, {"IEND", {}}});
    TPNGImage img;
    try {
        img.LoadFromBytes(f);
        FAIL() << "loaded";
    } catch (const EPNGImageException &e) {
        EXPECT_EQ(e.Id(), peDamagedData);
        EXPECT_TRUE(e.message().contains(PngErrorText(peDamagedData))) << e.what();
        EXPECT_TRUE(e.message().contains("invalid distance too far back")) << e.what();
    }
}

TEST(PngBadFiles, ShortPalettesOfTwoBitPicturesArePaddedWithBlack)
{
    // Two entries for a 2-bit picture whose pixels use all four indices.
    QByteArray rows = QByteArray(1, '\0') + QByteArray(1, char(0x1B)); // 0,1,2,3
    const QByteArray f = buildPng({{"IHDR", ihdrData(4, 1, 2, 3)},
                                   {"PLTE", QByteArray("\x10\x20\x30\x40\x50\x60", 6)},
                                   {"IDAT", deflateBytes(rows)},
                                   {"IEND", {}}});
    TPNGImage img;
    img.LoadFromBytes(f);
    EXPECT_EQ(img.PixelFormat(), pf4bit);
    EXPECT_EQ(img.Palette().size(), 16);
    EXPECT_EQ(img.PixelRgb(0, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(img.PixelRgb(1, 0), qRgb(0x40, 0x50, 0x60));
    EXPECT_EQ(img.PixelRgb(2, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.PixelRgb(3, 0), qRgb(0, 0, 0));
}

// Rows are inflated many at a time, large pictures on a second thread; damage
// must still show as it would row by row. Each row of a 1000x600 picture
// (four blocks of 174 rows) sits in its own stored block, so a broken block
// header raises zlib's error right after the row before it; a bad filter
// byte in a row before that fault wins, one in that row or later does not.
TEST(PngBadFiles, FaultsInLargePicturesKeepTheirOrder)
{
    const int w = 1000, h = 600, stride = 3 * w + 1;
    QByteArray rows(stride * h, '\0');
    for (int i = 0; i < rows.size(); ++i)
        rows[i] = i % stride == 0 ? "\0\1\2\3\4\4\4"[i / stride % 7] : char(i * 7 % 251);
    const auto storedRows = [&](const QByteArray &raw, int brokenRow) {
        QByteArray z("\x78\x01", 2);
        for (int y = 0; y < h; ++y) {
            const uint16_t len = uint16_t(stride), nlen = y == brokenRow ? len : uint16_t(~len);
            z.append(char(y == h - 1 ? 1 : 0));
            z.append(char(len & 0xFF)).append(char(len >> 8)).append(char(nlen & 0xFF)).append(char(nlen >> 8));
            z.append(raw.mid(qsizetype(y) * stride, stride));
        }
        const uLong adler = adler32(1, reinterpret_cast<const Bytef *>(raw.constData()), uInt(raw.size()));
        for (int s = 24; s >= 0; s -= 8)
            z.append(char(adler >> s & 0xFF));
        return buildPng({{"IHDR", ihdrData(w, h, 8, 2)}, {"IDAT", z}, {"IEND", {}}});
    };
    struct Case
    {
        int badFilterRow, brokenRow, id;
    };
    const Case cases[] = {
        {-1, -1, 0},                           // intact
        {250, -1, peUnknownFilterType},        // a bad filter type, nothing else
        {-1, 270, peDamagedData},              // a broken block
        {268, 270, peUnknownFilterType},       // bad row two before the fault
        {269, 270, peDamagedData},             // the fault comes right after that row
        {280, 270, peDamagedData},             // bad row after the fault
        {346, 350, peUnknownFilterType},       // across the end of a block
        {349, 350, peDamagedData},
        {346, 348, peUnknownFilterType},       // the fault where a block ends
        {347, 348, peDamagedData},
        {150, 599, peUnknownFilterType},       // the fault in the last row
    };
    for (const Case &c : cases) {
        QByteArray raw = rows;
        if (c.badFilterRow >= 0)
            raw[qsizetype(c.badFilterRow) * stride] = char(7);
        EXPECT_EQ(loadOver(storedRows(raw, c.brokenRow)), c.id) << c.badFilterRow << " " << c.brokenRow;
    }
    // The intact picture gives the rows undone one after another by the plain
    // code, with and without vectors.
    LimitPixelRowPaths(PixelRowPaths::Plain);
    QByteArray want = rows;
    auto *p = reinterpret_cast<uint8_t *>(want.data());
    const std::vector<uint8_t> zeros(size_t(stride), 0);
    for (int y = 0; y < h; ++y) {
        uint8_t *row = p + qsizetype(y) * stride;
        ASSERT_TRUE(png::UnfilterRow(row[0], row + 1, y ? row + 1 - stride : zeros.data(), size_t(3 * w), 3));
    }
    const QByteArray intact = storedRows(rows, -1);
    TPNGImage plain, vector;
    plain.LoadFromBytes(intact);
    LimitPixelRowPaths(PixelRowPaths::Avx512);
    vector.LoadFromBytes(intact);
    ASSERT_EQ(vector.Height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t *rgb = p + qsizetype(y) * stride + 1 + 3 * x;
            const QRgb expected = qRgb(rgb[0], rgb[1], rgb[2]);
            ASSERT_EQ(plain.PixelRgb(x, y), expected) << x << "," << y;
            ASSERT_EQ(vector.PixelRgb(x, y), expected) << x << "," << y;
        }
}
