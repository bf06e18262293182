// The picture filters on small pictures whose results are worked out by hand
// in each case, the odd sizes and pixel depths, and ImageMagick as an
// independent judge of mirror, flip, rotate and negate.
#include "BitmapFilters.h"
#include "PixelRows.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

using namespace zk;

namespace {

struct Rgb
{
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream &operator<<(std::ostream &os, const Rgb &c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

Rgb at(const TBitmap &b, int x, int y)
{
    const QRgb c = b.PixelRgb(x, y);
    return {qRed(c), qGreen(c), qBlue(c)};
}

// Writes the bytes of a 24- or 32-bit pixel directly.
void put(TBitmap &b, int x, int y, Rgb c)
{
    const int step = b.PixelFormat() == pf32bit ? 4 : 3;
    uchar *p = b.ScanLine(y) + x * step;
    p[0] = uchar(c.b);
    p[1] = uchar(c.g);
    p[2] = uchar(c.r);
}

Rgb grey(int v)
{
    return {v, v, v};
}

TBitmap randomPicture(int w, int h, quint32 seed, TPixelFormat pf = pf24bit)
{
    TBitmap b(w, h, pf);
    QRandomGenerator gen(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            put(b, x, y, {int(gen.bounded(256)), int(gen.bounded(256)), int(gen.bounded(256))});
    return b;
}

// Every pixel of a picture, for comparing two pictures.
std::vector<Rgb> pixels(const TBitmap &b)
{
    std::vector<Rgb> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            out.push_back(at(b, x, y));
    return out;
}

// A picture from rows of values, all three channels the same.
TBitmap greyPicture(const std::vector<std::vector<int>> &rows, TPixelFormat pf = pf24bit)
{
    TBitmap b(int(rows[0].size()), int(rows.size()), pf);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            put(b, x, y, grey(rows[std::size_t(y)][std::size_t(x)]));
    return b;
}

std::vector<std::vector<int>> redRows(const TBitmap &b)
{
    std::vector<std::vector<int>> out(std::size_t(b.Height()));
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            out[std::size_t(y)].push_back(at(b, x, y).r);
    return out;
}

bool fourthBytesOpaque(TBitmap &b)
{
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.ScanLine(y)[4 * x + 3] != 0xFF)
                return false;
    return true;
}

const TPixelFormat kAllFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

// A 5 x 3 picture in the given depth whose colours every depth holds
// exactly (black and white), so the expected result can be read off the
// original through PixelRgb whatever the depth.
TBitmap blackWhitePicture(TPixelFormat pf)
{
    TBitmap b = greyPicture({{0, 255, 255, 0, 0}, {255, 0, 0, 0, 255}, {0, 0, 255, 255, 255}});
    b.SetPixelFormat(pf);
    return b;
}

} // namespace

// ------------------------------------------------------------------ mirror

TEST(BitmapFilters, MirrorHorizontalSwapsColumnsOfEveryRow)
{
    TBitmap b(3, 2);
    put(b, 0, 0, {1, 2, 3});
    put(b, 1, 0, {4, 5, 6});
    put(b, 2, 0, {7, 8, 9});
    put(b, 0, 1, {10, 11, 12});
    put(b, 1, 1, {13, 14, 15});
    put(b, 2, 1, {16, 17, 18});
    int changes = 0;
    b.OnChange = [&] { ++changes; };
    MirrorBitmapH(b);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(at(b, 0, 0), (Rgb{7, 8, 9}));
    EXPECT_EQ(at(b, 1, 0), (Rgb{4, 5, 6}));
    EXPECT_EQ(at(b, 2, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(at(b, 0, 1), (Rgb{16, 17, 18}));
    EXPECT_EQ(at(b, 2, 1), (Rgb{10, 11, 12}));
    EXPECT_GE(changes, 1);
}

TEST(BitmapFilters, MirrorVerticalSwapsRows)
{
    TBitmap b = greyPicture({{1, 2}, {3, 4}, {5, 6}});
    int changes = 0;
    b.OnChange = [&] { ++changes; };
    MirrorBitmapV(b);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{5, 6}, {3, 4}, {1, 2}}));
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_GE(changes, 1);
}

TEST(BitmapFilters, MirrorTwiceGivesBackThePictureAtOddSizes)
{
    for (QSize size : {QSize(1, 1), QSize(1, 6), QSize(6, 1), QSize(7, 5), QSize(33, 17)}) {
        const TBitmap original = randomPicture(size.width(), size.height(), 11);
        TBitmap b = original;
        MirrorBitmapH(b);
        if (size.width() > 1) {
            EXPECT_NE(pixels(b), pixels(original)) << size.width() << "x" << size.height();
        }
        MirrorBitmapH(b);
        EXPECT_EQ(pixels(b), pixels(original)) << size.width() << "x" << size.height();
        MirrorBitmapV(b);
        MirrorBitmapV(b);
        EXPECT_EQ(pixels(b), pixels(original)) << size.width() << "x" << size.height();
        EXPECT_EQ(b.Width(), size.width());
        EXPECT_EQ(b.Height(), size.height());
    }
}

TEST(BitmapFilters, MirrorBringsEveryDepthToTwentyFourBits)
{
    for (TPixelFormat pf : kAllFormats) {
        const TBitmap original = blackWhitePicture(pf);
        TBitmap h = original, v = original;
        MirrorBitmapH(h);
        MirrorBitmapV(v);
        EXPECT_EQ(h.PixelFormat(), pf24bit) << pf;
        EXPECT_EQ(v.PixelFormat(), pf24bit) << pf;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(at(h, x, y), at(original, 4 - x, y)) << pf << " " << x << "," << y;
                EXPECT_EQ(at(v, x, y), at(original, x, 2 - y)) << pf << " " << x << "," << y;
            }
    }
}

TEST(BitmapFilters, FiltersLeaveAnEmptyPictureEmpty)
{
    TBitmap b;
    MirrorBitmapH(b);
    MirrorBitmapV(b);
    InvertBitmap(b);
    GrayBitmap(b);
    BrightnessBitmap(b, 15);
    ContrastBitmap(b, 55);
    SmoothRect(b, QRect(0, 0, 10, 10));
    SoftenEdges(b, QRect(0, 0, 10, 10), 20);
    EXPECT_TRUE(ShiftRGB(b, 1, 2, 3));
    RotateBitmap90(b);
    EXPECT_TRUE(b.Empty());
    TBitmap strip(0, 4);
    RotateBitmap90(strip);
    EXPECT_EQ(strip.Width(), 4);
    EXPECT_EQ(strip.Height(), 0);
}

// ------------------------------------------------------------------ rotate

TEST(BitmapFilters, RotateTurnsThreeByTwoClockwise)
{
    // A B C        D A
    // D E F   ->   E B
    //              F C
    const Rgb A{1, 0, 0}, B{2, 0, 0}, C{3, 0, 0}, D{4, 0, 0}, E{5, 0, 0}, F{6, 0, 0};
    TBitmap b(3, 2);
    put(b, 0, 0, A);
    put(b, 1, 0, B);
    put(b, 2, 0, C);
    put(b, 0, 1, D);
    put(b, 1, 1, E);
    put(b, 2, 1, F);
    int changes = 0;
    b.OnChange = [&] { ++changes; };
    RotateBitmap90(b);
    ASSERT_EQ(b.Width(), 2);
    ASSERT_EQ(b.Height(), 3);
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    EXPECT_EQ(at(b, 0, 0), D); // the source's bottom-left pixel
    EXPECT_EQ(at(b, 1, 0), A);
    EXPECT_EQ(at(b, 0, 1), E);
    EXPECT_EQ(at(b, 1, 1), B);
    EXPECT_EQ(at(b, 0, 2), F);
    EXPECT_EQ(at(b, 1, 2), C);
    EXPECT_TRUE(fourthBytesOpaque(b));
    EXPECT_GE(changes, 1);
}

TEST(BitmapFilters, RotateMapsEveryPixelAcrossBlockBorders)
{
    // Sizes that are not multiples of any block a fast rotation might use.
    // 24 and 32 bits: each is read as it is.
    for (QSize size : {QSize(1, 1), QSize(1, 5), QSize(5, 1), QSize(70, 33), QSize(33, 70), QSize(17, 9),
                        QSize(9, 17)})
        for (TPixelFormat pf : {pf24bit, pf32bit}) {
            const TBitmap src = randomPicture(size.width(), size.height(), 5, pf);
            TBitmap b = src;
            RotateBitmap90(b);
            ASSERT_EQ(b.Width(), src.Height());
            ASSERT_EQ(b.Height(), src.Width());
            bool same = true;
            for (int r = 0; r < b.Height(); ++r)
                for (int c = 0; c < b.Width(); ++c)
                    same = same && at(b, c, r) == at(src, r, src.Height() - 1 - c);
            EXPECT_TRUE(same) << size.width() << "x" << size.height() << " pf " << pf;
            EXPECT_EQ(b.PixelFormat(), pf32bit);
        }
}

TEST(BitmapFilters, RotateFourTimesGivesBackThePicture)
{
    for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit}) {
        TBitmap b = randomPicture(9, 4, 21, pf == pf8bit ? pf24bit : pf);
        if (pf == pf8bit)
            b.SetPixelFormat(pf8bit);
        const std::vector<Rgb> before = pixels(b);
        for (int i = 0; i < 4; ++i)
            RotateBitmap90(b);
        EXPECT_EQ(b.Width(), 9);
        EXPECT_EQ(b.Height(), 4);
        EXPECT_EQ(pixels(b), before) << pf;
    }
}

// ------------------------------------------------------------------ invert

TEST(BitmapFilters, InvertComplementsColoursAndStaysOpaque)
{
    TBitmap b(3, 1, pf32bit);
    put(b, 0, 0, {10, 20, 30});
    put(b, 1, 0, {0, 0, 0});
    put(b, 2, 0, {255, 128, 1});
    int changes = 0;
    b.OnChange = [&] { ++changes; };
    InvertBitmap(b);
    EXPECT_EQ(at(b, 0, 0), (Rgb{245, 235, 225}));
    EXPECT_EQ(at(b, 1, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(b, 2, 0), (Rgb{0, 127, 254}));
    EXPECT_TRUE(fourthBytesOpaque(b));
    const QImage shown = b.ToImage();
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 255);
    EXPECT_FALSE(shown.hasAlphaChannel());
    EXPECT_GE(changes, 1);
}

TEST(BitmapFilters, InvertTwiceGivesBackThePicture)
{
    for (QSize size : {QSize(1, 1), QSize(1, 7), QSize(7, 3), QSize(31, 9)}) {
        const TBitmap original = randomPicture(size.width(), size.height(), 3);
        TBitmap b = original;
        InvertBitmap(b);
        EXPECT_EQ(b.PixelFormat(), pf32bit);
        EXPECT_NE(pixels(b), pixels(original));
        InvertBitmap(b);
        EXPECT_EQ(pixels(b), pixels(original));
        EXPECT_TRUE(fourthBytesOpaque(b));
    }
}

// ------------------------------------------------------------------ grey

TEST(BitmapFilters, GreyUsesWeightsSeventySevenHundredFiftyOneTwentyEight)
{
    TBitmap b(3, 2); // 9 bytes a row: the padding must not shift the pixels
    put(b, 0, 0, {255, 255, 255});
    put(b, 1, 0, {255, 0, 0});
    put(b, 2, 0, {0, 255, 0});
    put(b, 0, 1, {0, 0, 255});
    put(b, 1, 1, {10, 20, 30});
    put(b, 2, 1, {0, 0, 0});
    int changes = 0;
    b.OnChange = [&] { ++changes; };
    GrayBitmap(b);
    EXPECT_EQ(at(b, 0, 0), grey(255)); // (77 + 151 + 28) * 255 / 256
    EXPECT_EQ(at(b, 1, 0), grey(76));  // 77 * 255 / 256 = 76.7
    EXPECT_EQ(at(b, 2, 0), grey(150)); // 151 * 255 / 256 = 150.4
    EXPECT_EQ(at(b, 0, 1), grey(27));  // 28 * 255 / 256 = 27.9
    EXPECT_EQ(at(b, 1, 1), grey(18));  // (770 + 3020 + 840) / 256 = 18.1
    EXPECT_EQ(at(b, 2, 1), grey(0));
    EXPECT_GE(changes, 1);
}

TEST(BitmapFilters, GreyOfAPalettePictureIsTwentyFourBit)
{
    TBitmap b = blackWhitePicture(pf1bit);
    GrayBitmap(b);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(at(b, 0, 0), grey(0));
    EXPECT_EQ(at(b, 1, 0), grey(255));
}

// ------------------------------------------------------------------ brightness

TEST(BitmapFilters, BrightnessSaturatesAtBothEnds)
{
    const TBitmap original = greyPicture({{0, 10, 100, 240, 250, 255}});
    TBitmap b = original;
    BrightnessBitmap(b, 0);
    EXPECT_EQ(pixels(b), pixels(original));

    BrightnessBitmap(b, b, 15);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{15, 25, 115, 255, 255, 255}}));

    b = original;
    BrightnessBitmap(b, -15);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{0, 0, 85, 225, 235, 240}}));

    b = original;
    BrightnessBitmap(b, INT_MAX);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{255, 255, 255, 255, 255, 255}}));
    b = original;
    BrightnessBitmap(b, INT_MIN);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{0, 0, 0, 0, 0, 0}}));
}

TEST(BitmapFilters, BrightnessIntoAnotherBitmapLeavesTheSource)
{
    TBitmap source(2, 1);
    put(source, 0, 0, {1, 100, 200});
    put(source, 1, 0, {250, 5, 128});
    TBitmap dest(7, 7, pf8bit);
    BrightnessBitmap(dest, source, -10);
    ASSERT_EQ(dest.Width(), 2);
    ASSERT_EQ(dest.Height(), 1);
    EXPECT_EQ(dest.PixelFormat(), pf24bit);
    EXPECT_EQ(at(dest, 0, 0), (Rgb{0, 90, 190}));
    EXPECT_EQ(at(dest, 1, 0), (Rgb{240, 0, 118}));
    EXPECT_EQ(at(source, 0, 0), (Rgb{1, 100, 200}));
}

// ------------------------------------------------------------------ contrast

TEST(BitmapFilters, ContrastZeroChangesNothing)
{
    TBitmap b(256, 1);
    for (int i = 0; i < 256; ++i)
        put(b, i, 0, {i, 255 - i, (i * 7) % 256});
    const std::vector<Rgb> before = pixels(b);
    ContrastBitmap(b, 0);
    EXPECT_EQ(pixels(b), before);
}

TEST(BitmapFilters, ContrastFiftyRoundsHalvesToEven)
{
    // Factor 1.5: (129 - 128) * 1.5 = 1.5 -> 2; (131 - 128) * 1.5 = 4.5 -> 4;
    // (127 - 128) * 1.5 = -1.5 -> -2; (125 - 128) * 1.5 = -4.5 -> -4;
    // (133 - 128) * 1.5 = 7.5 -> 8; 0 -> -192 and 255 -> 190.5 -> 190 are
    // limited.
    TBitmap b = greyPicture({{129, 131, 127, 125, 128, 0, 255, 133}});
    ContrastBitmap(b, 50);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{130, 132, 126, 124, 128, 0, 255, 136}}));
}

TEST(BitmapFilters, ContrastFiftyFiveUsesTheSinglePrecisionFactor)
{
    // 1.55 as a float is 1.54999995...: 10 * that = 15.4999995 rounds to 15,
    // where an exact 1.55 would give 15.5 -> 16. 20 * it = 30.999999 -> 31.
    // 100 * it = 154.99999 -> 155 -> 283, limited to 255.
    TBitmap b(5, 1);
    put(b, 0, 0, {138, 118, 148});
    put(b, 1, 0, {128, 0, 255});
    put(b, 2, 0, {228, 28, 129});
    put(b, 3, 0, {130, 126, 132});
    put(b, 4, 0, {108, 168, 98});
    ContrastBitmap(b, 55);
    EXPECT_EQ(at(b, 0, 0), (Rgb{143, 113, 159}));
    EXPECT_EQ(at(b, 1, 0), (Rgb{128, 0, 255}));
    EXPECT_EQ(at(b, 2, 0), (Rgb{255, 0, 130})); // 1.5499.. -> 2
    EXPECT_EQ(at(b, 3, 0), (Rgb{131, 125, 134})); // 3.0999999 -> 3; -3.0999999 -> -3; 6.1999998 -> 6
    // -20 * f = -30.999999 -> -31; 40 * f = 61.999998 -> 62; -30 * f = -46.4999986 -> -46
    EXPECT_EQ(at(b, 4, 0), (Rgb{97, 190, 82}));
}

TEST(BitmapFilters, ContrastOfAWidePictureIsThatOfEachPixelAlone)
{
    // Wide rows go through in long runs, a single pixel through the short
    // end of a run; rows with padding (85 pixels) and without (128).
    for (int w : {85, 128})
        for (std::uint8_t amount : {std::uint8_t(50), std::uint8_t(55), std::uint8_t(255)}) {
            const TBitmap original = randomPicture(w, 3, quint32(w + amount));
            TBitmap wide = original;
            ContrastBitmap(wide, amount);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < w; ++x) {
                    TBitmap one(1, 1);
                    put(one, 0, 0, at(original, x, y));
                    ContrastBitmap(one, amount);
                    ASSERT_EQ(at(wide, x, y), at(one, 0, 0)) << w << " " << int(amount) << " " << x << "," << y;
                }
        }
}

// ------------------------------------------------------------------ smoothing

TEST(BitmapFilters, SmoothingKeepsTheFrameAndSeesItsOwnResults)
{
    // (1,1): (0+90+180 + 9+0+90 + 0+0+9) / 9 = 378 / 9 = 42.
    // (2,1) sees the new 42 on its left: (90+180+0 + 42+90+27 + 0+9+90) / 9
    //       = 528 / 9 = 58 (58.7 rounded down).
    // Green is 255 minus red: (1,1) = 1917 / 9 = 213, (2,1) = 1767 / 9 = 196.
    const std::vector<std::vector<int>> red = {{0, 90, 180, 0}, {9, 0, 90, 27}, {0, 0, 9, 90}};
    for (TPixelFormat pf : {pf24bit, pf32bit}) {
        TBitmap b(4, 3, pf);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const int v = red[std::size_t(y)][std::size_t(x)];
                put(b, x, y, {v, 255 - v, 77});
            }
        int changes = 0;
        b.OnChange = [&] { ++changes; };
        SmoothRect(b, QRect(0, 0, 4, 3));
        EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{0, 90, 180, 0}, {9, 42, 58, 27}, {0, 0, 9, 90}}))
            << pf;
        EXPECT_EQ(at(b, 1, 1).g, 213);
        EXPECT_EQ(at(b, 2, 1).g, 196);
        EXPECT_EQ(at(b, 0, 1).g, 246);
        EXPECT_EQ(at(b, 2, 1).b, 77);
        EXPECT_EQ(b.PixelFormat(), pf);
        if (pf == pf32bit) {
            EXPECT_TRUE(fourthBytesOpaque(b));
        }
        EXPECT_GE(changes, 1);
    }
}

TEST(BitmapFilters, SmoothingUnderThreeByThreeChangesNothing)
{
    for (QSize size : {QSize(1, 1), QSize(2, 2), QSize(2, 5), QSize(5, 2), QSize(1, 9)}) {
        const TBitmap original = randomPicture(size.width(), size.height(), 8);
        TBitmap b = original;
        SmoothRect(b, QRect(0, 0, size.width(), size.height()));
        EXPECT_EQ(pixels(b), pixels(original)) << size.width() << "x" << size.height();
    }
    // A rectangle too small inside a large picture as well.
    const TBitmap original = randomPicture(6, 6, 9);
    TBitmap b = original;
    SmoothRect(b, QRect(1, 1, 2, 4));
    EXPECT_EQ(pixels(b), pixels(original));
}

TEST(BitmapFilters, SmoothingStaysInsideItsRectangleAndThePicture)
{
    // Only (2,2) is inside the frame of the 3x3 rectangle at (1,1):
    // 9 * 9 + ... all nine values are 9 except the centre 90: (72 + 90) / 9 = 18.
    std::vector<std::vector<int>> rows(5, std::vector<int>(5, 9));
    rows[2][2] = 90;
    rows[0][0] = 200; // outside the rectangle: neither read nor changed
    TBitmap b = greyPicture(rows);
    SmoothRect(b, QRect(1, 1, 3, 3));
    std::vector<std::vector<int>> expected = rows;
    expected[2][2] = 18;
    EXPECT_EQ(redRows(b), expected);

    // A rectangle larger than the picture is cut to it: the picture's own
    // frame is kept, nothing outside is read.
    TBitmap whole = greyPicture({{0, 90, 180, 0}, {9, 0, 90, 27}, {0, 0, 9, 90}});
    SmoothRect(whole, QRect(-20, -20, 100, 100));
    EXPECT_EQ(redRows(whole), (std::vector<std::vector<int>>{{0, 90, 180, 0}, {9, 42, 58, 27}, {0, 0, 9, 90}}));
}

TEST(BitmapFilters, SmoothingAPalettePictureKeepsItsDepthAndPalette)
{
    // A grey palette whose index is its grey value: every mean is in it.
    QVector<QRgb> greys;
    for (int i = 0; i < 256; ++i)
        greys.append(qRgb(i, i, i));
    TBitmap b(4, 3, pf8bit);
    b.SetPalette(greys);
    const int red[3][4] = {{0, 90, 180, 0}, {9, 0, 90, 27}, {0, 0, 9, 90}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            b.ScanLine(y)[x] = uchar(red[y][x]);
    SmoothRect(b, QRect(0, 0, 4, 3));
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(b.Palette(), greys);
    EXPECT_EQ(b.ScanLine(1)[1], 42);
    EXPECT_EQ(b.ScanLine(1)[2], 58);
    EXPECT_EQ(b.ScanLine(0)[2], 180);
}

TEST(BitmapFilters, WideAndTallPicturesAreWalkedToTheirEnds)
{
    // Wider than a 16-bit counter reaches. Rows 9, 0, 9: the first interior
    // pixel is (27 + 0 + 27) / 9 = 6; each later one sees the 6 on its left:
    // (9 * 6 + 6) / 9 = 60 / 9 = 6. The frame column at the far right stays 0.
    const int w = 40000;
    TBitmap b(w, 3);
    for (int x = 0; x < w; ++x) {
        put(b, x, 0, grey(9));
        put(b, x, 1, grey(0));
        put(b, x, 2, grey(9));
    }
    put(b, w - 1, 0, grey(200));
    SmoothRect(b, QRect(0, 0, w, 3));
    EXPECT_EQ(at(b, 1, 1), grey(6));
    EXPECT_EQ(at(b, 33000, 1), grey(6));
    EXPECT_EQ(at(b, w - 2, 1).r, (9 + 9 + 200 + 6 + 0 + 0 + 9 + 9 + 9) / 9);
    EXPECT_EQ(at(b, w - 1, 1), grey(0));

    MirrorBitmapH(b);
    EXPECT_EQ(at(b, 0, 0), grey(200));
    EXPECT_EQ(at(b, w - 1, 0), grey(9));

    TBitmap tall(2, w);
    put(tall, 0, w - 1, {1, 2, 3});
    RotateBitmap90(tall);
    ASSERT_EQ(tall.Width(), w);
    EXPECT_EQ(at(tall, 0, 0), (Rgb{1, 2, 3}));
}

// ------------------------------------------------------------------ soft edges

TEST(BitmapFilters, SoftEdgesPullNeighboursTowardEachPixel)
{
    // Amount 50: divisor 100, so a neighbour moves half way.
    // x = 0: C = 100, right 200 -> 150. x = 1: C = 150, left 100 -> 125.
    TBitmap row = greyPicture({{100, 200}});
    int changes = 0;
    row.OnChange = [&] { ++changes; };
    SoftenEdges(row, QRect(0, 0, 2, 1), 50);
    EXPECT_EQ(redRows(row), (std::vector<std::vector<int>>{{125, 150}}));
    EXPECT_GE(changes, 1);

    // The same downwards.
    TBitmap column = greyPicture({{100}, {200}});
    SoftenEdges(column, QRect(0, 0, 1, 2), 50);
    EXPECT_EQ(redRows(column), (std::vector<std::vector<int>>{{125}, {150}}));

    // Only the channel that differs moves: blue 30 vs 40 -> 35, then 35 vs 30 -> 32.5 -> 32.
    TBitmap colour(2, 1);
    put(colour, 0, 0, {10, 20, 30});
    put(colour, 1, 0, {10, 20, 40});
    SoftenEdges(colour, QRect(0, 0, 2, 1), 50);
    EXPECT_EQ(at(colour, 0, 0), (Rgb{10, 20, 32}));
    EXPECT_EQ(at(colour, 1, 0), (Rgb{10, 20, 35}));
}

TEST(BitmapFilters, SoftEdgesRoundHalvesToEven)
{
    // [100, 101]: 100 + 0.5 = 100.5 -> 100; then equal, nothing more.
    TBitmap a = greyPicture({{100, 101}});
    SoftenEdges(a, QRect(0, 0, 2, 1), 50);
    EXPECT_EQ(redRows(a), (std::vector<std::vector<int>>{{100, 100}}));
    // [103, 104]: 103.5 -> 104; then C = 104, left 103 -> 103.5 -> 104.
    TBitmap b = greyPicture({{103, 104}});
    SoftenEdges(b, QRect(0, 0, 2, 1), 50);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{104, 104}}));
    // Amount 150: divisor 200, a quarter of the way. [0, 2]: 0.5 -> 0, then
    // C = 0, left 0: equal.
    TBitmap c = greyPicture({{0, 2}});
    SoftenEdges(c, QRect(0, 0, 2, 1), 150);
    EXPECT_EQ(redRows(c), (std::vector<std::vector<int>>{{0, 0}}));
    TBitmap d = greyPicture({{6, 0}});
    SoftenEdges(d, QRect(0, 0, 2, 1), 150);
    // 6 - 1.5 = 4.5 -> 4; then C = 4, left 6 -> 4 + 0.5 = 4.5 -> 4.
    EXPECT_EQ(redRows(d), (std::vector<std::vector<int>>{{4, 4}}));
}

TEST(BitmapFilters, SoftEdgesNeverPullTheEdgesTowardWhite)
{
    // A plain dark picture has no edges: nothing may change, least of all
    // the right column or the bottom row.
    for (TPixelFormat pf : {pf24bit, pf32bit}) {
        TBitmap b(5, 4, pf);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                put(b, x, y, {20, 30, 40});
        SoftenEdges(b, QRect(0, 0, 5, 4), 50);
        for (const Rgb &c : pixels(b))
            EXPECT_EQ(c, (Rgb{20, 30, 40})) << pf;
    }
    // Single pixels and single rows have no neighbours outside.
    TBitmap one = greyPicture({{0}});
    SoftenEdges(one, QRect(0, 0, 1, 1), 0);
    SoftenEdges(one, QRect(-5, -5, 20, 20), 100);
    EXPECT_EQ(at(one, 0, 0), grey(0));
}

TEST(BitmapFilters, SoftEdgesAmountZeroChangesNothingAndLargeAmountsPullHard)
{
    const TBitmap original = randomPicture(9, 7, 4);
    TBitmap b = original;
    SoftenEdges(b, QRect(0, 0, 9, 7), 0);
    EXPECT_EQ(pixels(b), pixels(original));

    // Amount 10000: divisor 10050; (200 - 0) * 50 / 10050 = 0.995 -> 1.
    TBitmap c = greyPicture({{0, 200}});
    SoftenEdges(c, QRect(0, 0, 2, 1), 10000);
    // x = 0: right -> 1. x = 1: C = 1, left 0 -> 1 - 0.005 -> 1.
    EXPECT_EQ(redRows(c), (std::vector<std::vector<int>>{{1, 1}}));
    EXPECT_NO_THROW(SoftenEdges(c, QRect(0, 0, 2, 1), INT_MAX));

    EXPECT_THROW(SoftenEdges(c, QRect(0, 0, 2, 1), -1), std::invalid_argument);
    EXPECT_THROW(SoftenEdges(c, QRect(0, 0, 2, 1), -50), std::invalid_argument);
}

TEST(BitmapFilters, SoftEdgesReachNeighboursJustOutsideTheRectangle)
{
    // Only the middle pixel is in the rectangle; its neighbours in the
    // picture are still pulled toward it: 0 -> round(-200 / 2 + 200) = 100.
    TBitmap b = greyPicture({{0, 200, 0}});
    SoftenEdges(b, QRect(1, 0, 1, 1), 50);
    EXPECT_EQ(redRows(b), (std::vector<std::vector<int>>{{100, 200, 100}}));
}

// ------------------------------------------------------------------ RGB shift

TEST(BitmapFilters, ShiftRgbAddsOnlyWhereTheSumFits)
{
    TBitmap b(3, 1);
    put(b, 0, 0, {250, 10, 255});
    put(b, 1, 0, {100, 30, 0});
    put(b, 2, 0, {245, 20, 128});
    int changes = 0;
    b.OnChange = [&] { ++changes; };
    EXPECT_TRUE(ShiftRGB(b, 10, -20, 0));
    EXPECT_EQ(at(b, 0, 0), (Rgb{250, 10, 255}));
    EXPECT_EQ(at(b, 1, 0), (Rgb{110, 10, 0}));
    EXPECT_EQ(at(b, 2, 0), (Rgb{255, 0, 128}));
    EXPECT_GE(changes, 1);

    const std::vector<Rgb> before = pixels(b);
    changes = 0;
    EXPECT_FALSE(ShiftRGB(b, 0, 0, 0));
    EXPECT_EQ(pixels(b), before);
    EXPECT_EQ(changes, 0);

    EXPECT_TRUE(ShiftRGB(b, INT_MAX, INT_MIN, 256));
    EXPECT_EQ(pixels(b), before);
}

TEST(BitmapFilters, ShiftRgbKeepsTheDepth)
{
    TBitmap b32(2, 1, pf32bit);
    put(b32, 0, 0, {1, 2, 3});
    put(b32, 1, 0, {200, 100, 50});
    EXPECT_TRUE(ShiftRGB(b32, 5, 6, 7));
    EXPECT_EQ(b32.PixelFormat(), pf32bit);
    EXPECT_EQ(at(b32, 0, 0), (Rgb{6, 8, 10}));
    EXPECT_EQ(at(b32, 1, 0), (Rgb{205, 106, 57}));
    EXPECT_TRUE(fourthBytesOpaque(b32));

    // A grey palette picture: +1 on every channel moves each pixel to the
    // next grey, which the palette holds.
    QVector<QRgb> greys;
    for (int i = 0; i < 256; ++i)
        greys.append(qRgb(i, i, i));
    TBitmap b8(3, 2, pf8bit);
    b8.SetPalette(greys);
    const uchar values[2][3] = {{0, 100, 255}, {7, 8, 254}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            b8.ScanLine(y)[x] = values[y][x];
    EXPECT_TRUE(ShiftRGB(b8, 1, 1, 1));
    EXPECT_EQ(b8.PixelFormat(), pf8bit);
    EXPECT_EQ(b8.ScanLine(0)[0], 1);
    EXPECT_EQ(b8.ScanLine(0)[1], 101);
    EXPECT_EQ(b8.ScanLine(0)[2], 255); // 256 does not fit: unchanged
    EXPECT_EQ(b8.ScanLine(1)[2], 255);
}

TEST(BitmapFilters, ShiftRgbAndSmoothingHandleEveryDepth)
{
    for (TPixelFormat pf : kAllFormats) {
        TBitmap b = blackWhitePicture(pf);
        const std::vector<Rgb> before = pixels(b);
        // Black and white plus 10 do not both fit: black becomes (10,10,10)
        // in a true-colour picture; white stays. Paletted pictures then take
        // their nearest colour, which for these palettes is black again.
        EXPECT_TRUE(ShiftRGB(b, 10, 10, 10)) << pf;
        EXPECT_EQ(b.PixelFormat(), pf);
        const std::vector<Rgb> after = pixels(b);
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i] == grey(255)) {
                EXPECT_EQ(after[i], grey(255)) << pf;
            }
        }
        SmoothRect(b, QRect(0, 0, b.Width(), b.Height()));
        SoftenEdges(b, QRect(0, 0, b.Width(), b.Height()), 30);
        EXPECT_EQ(b.PixelFormat(), pf);
        EXPECT_EQ(b.Width(), 5);
    }
}

// ------------------------------------------------------------------ tiling

namespace {

Rgb tileColour(int x, int y)
{
    return {x * 2, y * 5, 77};
}

TBitmap makeTile(int w, int h)
{
    TBitmap t(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            put(t, x, y, tileColour(x, y));
    return t;
}

} // namespace

TEST(BitmapFilters, TilingCoversThePictureFromTheTopLeft)
{
    const TBitmap tile = makeTile(100, 50);
    TBitmap target(250, 120);
    EXPECT_EQ(TileBitmap(tile, target), 9); // 3 columns, 3 rows, the last cut off
    EXPECT_EQ(target.Width(), 250);
    EXPECT_EQ(target.Height(), 120);
    bool same = true;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 250; ++x)
            same = same && at(target, x, y) == tileColour(x % 100, y % 50);
    EXPECT_TRUE(same);
    EXPECT_EQ(at(target, 249, 119), tileColour(49, 19));

    TBitmap exact(20, 20, pf32bit);
    EXPECT_EQ(TileBitmap(makeTile(10, 10), exact), 4);
    EXPECT_EQ(at(exact, 19, 19), tileColour(9, 9));
    EXPECT_TRUE(fourthBytesOpaque(exact));

    TBitmap none;
    EXPECT_EQ(TileBitmap(tile, none), 0);
}

TEST(BitmapFilters, TilingFromAFileWrittenByQt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage img(3, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            img.setPixel(x, y, qRgb(tileColour(x, y).r, tileColour(x, y).g, tileColour(x, y).b));
    const QString file = dir.filePath("tile.bmp");
    ASSERT_TRUE(img.save(file, "BMP"));
    TBitmap target(7, 5);
    EXPECT_EQ(TileBitmapFile(file, target), 9);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(at(target, x, y), tileColour(x % 3, y % 2)) << x << "," << y;
}

TEST(BitmapFilters, TilingRefusesAnEmptyTileAndUnreadableFiles)
{
    const TBitmap original = randomPicture(6, 4, 1);
    TBitmap target = original;
    EXPECT_THROW(TileBitmap(TBitmap(), target), EInvalidGraphic);
    EXPECT_THROW(TileBitmap(TBitmap(0, 5), target), EInvalidGraphic);
    EXPECT_THROW(TileBitmap(TBitmap(5, 0), target), EInvalidGraphic);
    try {
        TileBitmap(TBitmap(0, 5), target);
    } catch (const EInvalidGraphic &e) {
        EXPECT_FALSE(e.message().isEmpty());
    }
    EXPECT_EQ(pixels(target), pixels(original));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_THROW(TileBitmapFile(dir.filePath("missing.bmp"), target), EGraphicError);
    QFile text(dir.filePath("text.bmp"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a picture\n");
    text.close();
    EXPECT_THROW(TileBitmapFile(text.fileName(), target), EGraphicError);
    EXPECT_EQ(pixels(target), pixels(original));
}

// ------------------------------------------------------------------ ImageMagick

namespace {

const char *const kConvert = "/usr/bin/convert";

void writePpm(const TBitmap &b, const QString &path)
{
    QByteArray data = QByteArray("P6\n") + QByteArray::number(b.Width()) + " " +
                      QByteArray::number(b.Height()) + "\n255\n";
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const Rgb c = at(b, x, y);
            data.append(char(c.r)).append(char(c.g)).append(char(c.b));
        }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Reads a binary PPM: magic, width, height, maximum (255), one whitespace,
// then the samples.
bool readPpm(const QString &path, int &w, int &h, std::vector<Rgb> &out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray d = f.readAll();
    int pos = 0;
    auto token = [&]() {
        while (pos < d.size()) {
            if (d[pos] == '#')
                while (pos < d.size() && d[pos] != '\n')
                    ++pos;
            else if (QChar(d[pos]).isSpace())
                ++pos;
            else
                break;
        }
        const int start = pos;
        while (pos < d.size() && !QChar(d[pos]).isSpace())
            ++pos;
        return d.mid(start, pos - start);
    };
    if (token() != "P6")
        return false;
    w = token().toInt();
    h = token().toInt();
    if (token() != "255")
        return false;
    ++pos;
    if (d.size() - pos != qsizetype(w) * h * 3)
        return false;
    out.clear();
    for (int i = 0; i < w * h; ++i, pos += 3)
        out.push_back({uchar(d[pos]), uchar(d[pos + 1]), uchar(d[pos + 2])});
    return true;
}

} // namespace

TEST(BitmapFilters, AgreeWithImageMagick)
{
    if (!QFile::exists(kConvert))
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        const char *name;
        QStringList args;
        void (*filter)(TBitmap &);
    };
    const Case cases[] = {
        {"flop", {"-flop"}, MirrorBitmapH},
        {"flip", {"-flip"}, MirrorBitmapV},
        {"rotate", {"-rotate", "90"}, RotateBitmap90},
        {"negate", {"-negate"}, InvertBitmap},
    };
    // A small picture, and large ones whose rows are shared between threads
    // (the 24-bit one widened in place for the invert, the 32-bit one
    // narrowed into its flipped rows).
    const struct
    {
        int w, h;
        TPixelFormat pf;
    } pictures[] = {{7, 5, pf24bit}, {1101, 1000, pf24bit}, {1101, 1000, pf32bit}};
    for (const auto &p : pictures) {
        const TBitmap original = randomPicture(p.w, p.h, 99, p.pf);
        const QString in = dir.filePath("in.ppm");
        writePpm(original, in);
        for (const Case &c : cases) {
            const QString out = dir.filePath(QString::fromLatin1(c.name) + ".ppm");
            ASSERT_EQ(zktest::runProgram(kConvert, QStringList{in} + c.args + QStringList{out}), 0) << c.name;
            int w = 0, h = 0;
            std::vector<Rgb> expected;
            ASSERT_TRUE(readPpm(out, w, h, expected)) << c.name;
            TBitmap b = original;
            c.filter(b);
            EXPECT_EQ(b.Width(), w) << c.name << " " << p.w;
            EXPECT_EQ(b.Height(), h) << c.name << " " << p.w;
            EXPECT_TRUE(pixels(b) == expected) << c.name << " " << p.w << "x" << p.h << " pf " << p.pf;
        }
    }
}

TEST(BitmapFilters, BrightnessOfEveryByteValueAtOddWidths)
{
    // Widths around the sixteen-byte steps; every byte value in every lane.
    for (int w : {1, 5, 6, 21, 22, 67}) {
        TBitmap original(w, 9, pf24bit);
        for (int y = 0; y < original.Height(); ++y) {
            uchar *row = original.ScanLine(y);
            for (size_t i = 0; i < original.Stride(); ++i)
                row[i] = uchar((y * 131 + int(i) * 29) & 0xFF);
        }
        for (int delta : {-255, -128, -15, -1, 1, 15, 128, 255}) {
            TBitmap b = original;
            BrightnessBitmap(b, delta);
            const size_t used = size_t(w) * 3;
            for (int y = 0; y < b.Height(); ++y)
                for (size_t i = 0; i < b.Stride(); ++i) {
                    const int was = original.ScanLine(y)[i];
                    const int want = i < used ? std::clamp(was + delta, 0, 255) : was; // padding kept
                    ASSERT_EQ(int(b.ScanLine(y)[i]), want) << "w " << w << " delta " << delta << " y " << y
                                                           << " byte " << i;
                }
        }
    }
}

TEST(BitmapFilters, GreyOfRandomRowsAtWidthsAroundSixteenPixels)
{
    QRandomGenerator rng(16);
    for (int w : {1, 15, 16, 17, 32, 33, 48, 67}) {
        TBitmap b(w, 5, pf24bit);
        for (int y = 0; y < b.Height(); ++y)
            for (size_t i = 0; i < b.Stride(); ++i)
                b.ScanLine(y)[i] = uchar(rng.bounded(256));
        const TBitmap original = b;
        GrayBitmap(b);
        for (int y = 0; y < b.Height(); ++y) {
            const uchar *was = original.ScanLine(y), *now = b.ScanLine(y);
            for (int x = 0; x < w; ++x) {
                const int grey = (77 * was[3 * x + 2] + 151 * was[3 * x + 1] + 28 * was[3 * x]) / 256;
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(int(now[3 * x + c]), grey) << "w " << w << " x " << x;
            }
            for (size_t i = size_t(w) * 3; i < b.Stride(); ++i)
                EXPECT_EQ(now[i], was[i]); // padding untouched
        }
    }
}

TEST(BitmapFilters, MirrorOfRandomRowsAtWidthsAroundSixteenPixels)
{
    QRandomGenerator rng(61);
    for (int w : {1, 2, 15, 16, 17, 31, 32, 33, 50}) {
        TBitmap b(w, 3, pf24bit);
        for (int y = 0; y < b.Height(); ++y)
            for (size_t i = 0; i < b.Stride(); ++i)
                b.ScanLine(y)[i] = uchar(rng.bounded(256));
        const TBitmap original = b;
        MirrorBitmapH(b);
        for (int y = 0; y < b.Height(); ++y) {
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(0, memcmp(b.ScanLine(y) + 3 * x, original.ScanLine(y) + 3 * (w - 1 - x), 3))
                    << "w " << w << " x " << x;
            for (size_t i = size_t(w) * 3; i < b.Stride(); ++i)
                EXPECT_EQ(b.ScanLine(y)[i], original.ScanLine(y)[i]); // padding untouched
        }
    }
}

// The flip of a 32-bit picture narrows it in the same pass, through the row
// functions of every instruction path: each row must be the mirrored row's
// first three bytes of every pixel, with zero padding, also where the
// picture is only one to three rows high.
TEST(BitmapFilters, FlipOfRandomRowsAtEveryDepthWidthHeightAndPath)
{
    struct Restore
    {
        ~Restore() { LimitPixelRowPaths(PixelRowPaths::Avx512); }
    } restore;
    for (PixelRowPaths path : {PixelRowPaths::Plain, PixelRowPaths::Ssse3, PixelRowPaths::Avx512}) {
        LimitPixelRowPaths(path);
        for (TPixelFormat pf : {pf24bit, pf32bit})
            for (int h : {1, 2, 3, 5})
                for (int w : {1, 2, 3, 5, 16, 17, 63, 64, 65, 130}) {
                    const int step = pf == pf32bit ? 4 : 3;
                    const TBitmap original = randomPicture(w, h, quint32(w), pf);
                    TBitmap b = original;
                    MirrorBitmapV(b);
                    ASSERT_EQ(b.PixelFormat(), pf24bit);
                    for (int y = 0; y < h; ++y) {
                        const uchar *row = b.ScanLine(y), *from = original.ScanLine(h - 1 - y);
                        for (int x = 0; x < w; ++x)
                            ASSERT_EQ(0, memcmp(row + 3 * x, from + step * x, 3))
                                << "path " << int(path) << ", " << step * 8 << " bits, w " << w << " h " << h
                                << " x " << x;
                        for (std::size_t i = std::size_t(w) * 3; i < b.Stride(); ++i)
                            EXPECT_EQ(row[i], 0);
                    }
                }
    }
}

// The 24-bit commands narrow a 32-bit picture in their own pass: the bytes
// must be those of narrowing first and filtering after.
TEST(BitmapFilters, NarrowingInTheFiltersPassGivesTheBytesOfNarrowingFirst)
{
    const std::pair<const char *, void (*)(TBitmap &)> filters[] = {
        {"mirror", MirrorBitmapH},
        {"flip", MirrorBitmapV},
        {"grey", GrayBitmap},
        {"brightness", [](TBitmap &b) { BrightnessBitmap(b, -15); }},
        {"contrast", [](TBitmap &b) { ContrastBitmap(b, 55); }},
    };
    for (const auto &[name, filter] : filters)
        for (int w : {1, 6, 65}) {
            const TBitmap original = randomPicture(w, 4, quint32(w + 3), pf32bit);
            TBitmap inPass = original, first = original;
            filter(inPass);
            first.SetPixelFormat(pf24bit);
            filter(first);
            ASSERT_EQ(inPass.PixelFormat(), pf24bit) << name;
            for (int y = 0; y < 4; ++y)
                ASSERT_EQ(0, memcmp(inPass.ScanLine(y), first.ScanLine(y), first.Stride())) << name << " w " << w;
        }
}
