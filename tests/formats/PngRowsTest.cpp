#include "PngRows.h"
#include "PixelRows.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

using namespace zk::png;
using zk::LimitPixelRowPaths;
using zk::PixelRowPaths;

TEST(PngRows, CrcMatchesZlibAndTheKnownIendValue)
{
    // Every PNG file ends in IEND with this CRC.
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t *>("IEND"), 4), 0xAE426082u);
    std::mt19937 rng(1);
    for (size_t len : {0u, 1u, 3u, 4u, 5u, 63u, 1000u, 65537u}) {
        std::vector<uint8_t> d(len);
        for (auto &b : d)
            b = uint8_t(rng());
        const uLong ref = crc32(crc32(0L, Z_NULL, 0), d.data(), uInt(len));
        EXPECT_EQ(Crc32(d.data(), len), uint32_t(ref)) << len;
        // Running in two parts gives the same.
        const uint32_t reg = Crc32Update(0xFFFFFFFFu, d.data(), len / 2);
        EXPECT_EQ(Crc32Update(reg, d.data() + len / 2, len - len / 2) ^ 0xFFFFFFFFu, uint32_t(ref));
    }
}

TEST(PngRows, RowGeometryForEveryLegalPair)
{
    struct Case { int ct, depth; int64_t w, rowBytes; int bpp; };
    const Case cases[] = {
        {0, 1, 17, 3, 1},  {0, 2, 17, 5, 1},  {0, 4, 17, 9, 1}, {0, 8, 17, 17, 1},
        {0, 16, 17, 34, 2}, // two bytes make one grey pixel
        {3, 1, 8, 1, 1},   {3, 2, 5, 2, 1},   {3, 4, 3, 2, 1},  {3, 8, 3, 3, 1},
        {2, 8, 5, 15, 3},  {2, 16, 5, 30, 6}, {4, 8, 5, 10, 2}, {4, 16, 5, 20, 4},
        {6, 8, 5, 20, 4},  {6, 16, 5, 40, 8},
    };
    for (const Case &c : cases) {
        const RowLayout l = Layout(c.ct, c.depth, c.w);
        EXPECT_EQ(l.rowBytes, c.rowBytes) << c.ct << "/" << c.depth;
        EXPECT_EQ(l.bpp, c.bpp) << c.ct << "/" << c.depth;
        EXPECT_TRUE(ValidColourDepth(c.ct, c.depth));
    }
    for (auto [ct, d] : {std::pair{1, 8}, {5, 8}, {7, 8}, {2, 4}, {3, 16}, {4, 4}, {6, 1}, {0, 3}}) {
        EXPECT_FALSE(ValidColourDepth(ct, d)) << ct << "/" << d;
        EXPECT_EQ(Layout(ct, d, 10).rowBytes, 0);
    }
    // Sizes beyond 32 bits do not wrap.
    EXPECT_EQ(Layout(6, 16, int64_t(1) << 31).rowBytes, int64_t(8) << 31);
}

// Undoing runs through vector code for three and four bytes a pixel where
// the processor has it; FilterRow is plain code, so each path is checked
// against it.
TEST(PngRows, EveryFilterUndoesItselfForEveryPixelDistance)
{
    struct RestorePaths
    {
        ~RestorePaths() { LimitPixelRowPaths(PixelRowPaths::Avx512); }
    } restore;
    for (PixelRowPaths path : {PixelRowPaths::Plain, PixelRowPaths::Avx512}) {
        LimitPixelRowPaths(path);
        std::mt19937 rng(2);
        for (int bpp : {1, 2, 3, 4, 6, 8}) {
            for (size_t n : {size_t(1), size_t(bpp), size_t(bpp + 3), size_t(bpp + 4), size_t(bpp + 5),
                             size_t(3 * bpp + 1), size_t(257), size_t(5760)}) {
                std::vector<uint8_t> prior(n), raw(n), out(n), back(n);
                for (size_t i = 0; i < n; ++i) {
                    prior[i] = uint8_t(rng());
                    raw[i] = uint8_t(rng() % 3 ? prior[i] + (rng() % 5) : rng());
                }
                for (uint8_t t = 1; t <= 4; ++t) {
                    FilterRow(t, out.data(), raw.data(), prior.data(), n, bpp);
                    back = out;
                    ASSERT_TRUE(UnfilterRow(t, back.data(), prior.data(), n, bpp));
                    EXPECT_EQ(back, raw) << "type " << int(t) << " bpp " << bpp << " n " << n
                                         << " path " << int(path);
                }
                back = raw;
                EXPECT_TRUE(UnfilterRow(0, back.data(), prior.data(), n, bpp));
                EXPECT_EQ(back, raw);
                EXPECT_FALSE(UnfilterRow(5, back.data(), prior.data(), n, bpp));
            }
        }
    }
}

// Whole blocks of rows, where runs of Paeth rows are undone two at a time:
// the same bytes as one row after another on the plain path, and a bad
// type stops the block at its row.
TEST(PngRows, BlocksOfRowsUndoLikeSingleRows)
{
    struct RestorePaths
    {
        ~RestorePaths() { LimitPixelRowPaths(PixelRowPaths::Avx512); }
    } restore;
    std::mt19937 rng(20);
    for (int bpp : {1, 3, 4, 6}) {
        for (size_t n : {size_t(bpp), size_t(bpp + 4), size_t(97), size_t(1000)}) {
            const size_t stride = n + 1, count = 23;
            std::vector<uint8_t> rows(stride * (count + 1));
            for (uint8_t &b : rows)
                b = uint8_t(rng());
            std::fill(rows.begin(), rows.begin() + long(stride), uint8_t(0)); // the row above
            for (size_t k = 0; k < count; ++k)
                rows[stride * (k + 1)] = uint8_t(k % 9 < 5 ? unsigned(ftPaeth) : rng() % 5);
            LimitPixelRowPaths(PixelRowPaths::Plain);
            std::vector<uint8_t> want = rows;
            for (size_t k = 1; k <= count; ++k)
                ASSERT_TRUE(UnfilterRow(want[stride * k], &want[stride * k + 1], &want[stride * (k - 1) + 1], n, bpp));
            LimitPixelRowPaths(PixelRowPaths::Avx512);
            std::vector<uint8_t> got = rows;
            EXPECT_EQ(UnfilterRows(&got[stride], count, stride, bpp), count);
            EXPECT_EQ(got, want) << "bpp " << bpp << " n " << n;

            got = rows;
            got[stride * 8] = 5; // row 7: after rows 5 and 6, a Paeth pair
            EXPECT_EQ(UnfilterRows(&got[stride], count, stride, bpp), 7u);
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + long(8 * stride), want.begin()));
        }
    }
}

TEST(PngRows, PaethPicksTheNearestNeighbourWithTiesToTheLeftThenAbove)
{
    // Brute force over a grid of byte triples against the predictor's
    // definition written out here.
    for (int a = 0; a < 256; a += 15)
        for (int b = 0; b < 256; b += 17)
            for (int c = 0; c < 256; c += 13) {
                const int p = a + b - c;
                const int da = std::abs(p - a), db = std::abs(p - b), dc = std::abs(p - c);
                const int want = (da <= db && da <= dc) ? a : (db <= dc ? b : c);
                ASSERT_EQ(PaethPredictor(a, b, c), want) << a << "," << b << "," << c;
            }
}

TEST(PngRows, RunScoreCountsFiveEqualBytes)
{
    const uint8_t none[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(RunScore(none, sizeof none), 0);
    const uint8_t run[] = {9, 9, 9, 9, 9, 9, 9, 1};
    EXPECT_EQ(RunScore(run, sizeof run), 3); // positions 4, 5, 6
    EXPECT_EQ(RunScore(run, 4), 0);          // rows of up to 4 bytes score 0
}

TEST(PngRows, Adam7PassesCoverEveryPixelExactlyOnce)
{
    for (int w = 1; w <= 19; ++w)
        for (int h = 1; h <= 11; ++h) {
            std::set<std::pair<int, int>> seen;
            size_t total = 0;
            for (const Adam7Pass &p : Adam7) {
                const int64_t pw = PassWidth(p, w);
                for (int y = p.startRow; y < h; y += p.rowStep)
                    for (int64_t k = 0; k < pw; ++k) {
                        const int x = int(p.startCol + k * p.colStep);
                        ASSERT_LT(x, w);
                        // The column mask marks the same columns.
                        EXPECT_TRUE(p.colMask & (0x80 >> (x % 8)));
                        seen.insert({x, y});
                        ++total;
                    }
            }
            EXPECT_EQ(total, size_t(w * h));
            EXPECT_EQ(seen.size(), size_t(w * h));
        }
}

// Rows of the kinds pictures hold: noise, flat runs of repeated pixels
// (screens), slow gradients (photos), and mixtures of all three.
static std::vector<uint8_t> sampleRow(std::mt19937 &rng, size_t n, int bpp, int kind)
{
    std::vector<uint8_t> r(n);
    size_t x = 0;
    while (x < n) {
        const int k = kind == 3 ? int(rng() % 3) : kind;
        const size_t len = std::min(n - x, size_t(1 + rng() % 97));
        const uint8_t base = uint8_t(rng());
        for (size_t i = 0; i < len; ++i, ++x) {
            if (k == 0)
                r[x] = uint8_t(rng());
            else if (k == 1)
                r[x] = uint8_t(base + (i % size_t(bpp)) * 40);
            else
                r[x] = uint8_t(base + i / size_t(bpp) + rng() % 3);
        }
    }
    return r;
}

TEST(PngRows, VectorFilterChoiceMatchesThePlainFiltersAndScore)
{
  // Both vector widths: 32 bytes a step where the processor has them, and
  // the sixteen-byte steps every processor takes.
  for (bool narrow : {false, true}) {
    FilterWithoutAvx2ForTest = narrow;
    std::mt19937 rng(16);
    for (int bpp : {1, 2, 3, 4, 6, 8}) {
        for (int round = 0; round < 400; ++round) {
            const size_t n = round < 40 ? size_t(round + 1) : size_t(1 + rng() % 1200);
            const int kind = round % 4;
            const std::vector<uint8_t> raw = sampleRow(rng, n, bpp, kind);
            const std::vector<uint8_t> prior = round % 5 == 0 ? std::vector<uint8_t>(n, 0)
                                                              : sampleRow(rng, n, bpp, kind);
            int plainChoice = 0, wideChoice = 0;
            int64_t plainBest = 0, wideBest = 0;
            for (uint8_t t = ftNone; t <= ftPaeth; ++t) {
                std::vector<uint8_t> plain(n + 16, 0xAB), wide(n + 16, 0xCD);
                FilterRow(t, plain.data(), raw.data(), prior.data(), n, bpp);
                const int64_t plainScore = RunScore(t == ftNone ? raw.data() : plain.data(), n);
                const int64_t wideScore = FilterAndScore(t, wide.data(), raw.data(), prior.data(), n, bpp);
                ASSERT_EQ(wideScore, plainScore) << "bpp " << bpp << " n " << n << " type " << int(t);
                ASSERT_TRUE(std::equal(plain.begin(), plain.begin() + ptrdiff_t(n), wide.begin()))
                        << "bpp " << bpp << " n " << n << " type " << int(t);
                EXPECT_EQ(wide[n], 0xCD); // nothing written past the row
                if (plainScore > plainBest) {
                    plainBest = plainScore;
                    plainChoice = t;
                }
                if (wideScore > wideBest) {
                    wideBest = wideScore;
                    wideChoice = t;
                }
            }
            EXPECT_EQ(wideChoice, plainChoice);
        }
    }
  }
  FilterWithoutAvx2ForTest = false;
}

// The checksum of the image data equals zlib's: lengths around the 32-byte
// steps and the blocks between reductions, bytes of 0xFF (the largest sums),
// and a checksum carried on from an earlier part.
TEST(PngRows, Adler32MatchesZlib)
{
    std::mt19937 rng(37);
    std::vector<uint8_t> noise(1 << 20), full(1 << 20, 0xFF);
    for (uint8_t &b : noise)
        b = uint8_t(rng());
    for (size_t len : {0, 1, 31, 32, 33, 5535, 5536, 5537, 5568, 100001, 1 << 20}) {
        for (const std::vector<uint8_t> *data : {&noise, &full}) {
            EXPECT_EQ(Adler32(1, data->data(), len), adler32_z(1, data->data(), len)) << "length " << len;
            const uLong start = adler32_z(1, data->data() + 7, 999);
            EXPECT_EQ(Adler32(uint32_t(start), data->data(), len), adler32_z(start, data->data(), len))
                << "carried on, length " << len;
        }
    }
}
