// The row functions pick their instructions by what the processor offers, so
// a build machine and a user's machine may run different code. Every wider
// path must give the plain path's bytes, at every length that ends inside or
// between its blocks and in place where the function allows it.
#include "PixelRows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace zk;

namespace {

using Bytes = std::vector<uchar>;

Bytes randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (uchar &c : b)
        c = uchar(gen());
    return b;
}

// Every function's output for n pixels, under the paths allowed now.
std::vector<Bytes> runAll(int n)
{
    const Bytes in24 = randomBytes(std::size_t(3 * n), unsigned(n));
    const Bytes in32 = randomBytes(std::size_t(4 * n), unsigned(n + 1000));
    std::vector<Bytes> out;

    Bytes a(std::size_t(3 * n) + 1, 0xAB); // one guard byte past the row
    Row32To24(a.data(), in32.data(), n);
    out.push_back(a);
    Bytes inPlace = in32;
    Row32To24(inPlace.data(), inPlace.data(), n);
    out.push_back(inPlace);

    Bytes b(std::size_t(4 * n) + 1, 0xAB);
    Row24To32(b.data(), in24.data(), n);
    out.push_back(b);
    Bytes widened(std::size_t(4 * n));
    std::copy(in24.begin(), in24.end(), widened.begin());
    Row24To32Backward(widened.data(), widened.data(), n);
    out.push_back(widened);
    // The invert command's widening: colour bits flipped on the way.
    Bytes flipped(std::size_t(4 * n) + 1, 0xAB);
    Row24To32(flipped.data(), in24.data(), n, 0xFFFFFF);
    out.push_back(flipped);
    std::fill(widened.begin(), widened.end(), 0);
    std::copy(in24.begin(), in24.end(), widened.begin());
    Row24To32Backward(widened.data(), widened.data(), n, 0xFFFFFF);
    out.push_back(widened);

    uchar table[256];
    const Bytes t = randomBytes(256, 7);
    std::copy(t.begin(), t.end(), table);
    Bytes narrowedLookup = in32; // in place, as the commands run it
    Row32To24Lookup(narrowedLookup.data(), narrowedLookup.data(), n, table);
    out.push_back(narrowedLookup);
    Bytes narrowedGrey = in32;
    Row32To24Grey(narrowedGrey.data(), narrowedGrey.data(), n);
    out.push_back(narrowedGrey);

    Bytes inverted = in32;
    Row32Invert(inverted.data(), std::size_t(n));
    out.push_back(inverted);

    Bytes looked = in32;
    LookupBytes(looked.data(), looked.size(), table);
    out.push_back(looked);

    for (int d : {-255, -15, 15, 255}) {
        Bytes added = in32;
        AddSaturated(added.data(), added.size(), d);
        out.push_back(added);
    }

    Bytes grey = in24;
    Row24Grey(grey.data(), n);
    out.push_back(grey);

    Bytes mirrored(std::size_t(3 * n) + 1, 0xAB);
    Row24Mirror(mirrored.data(), in24.data(), n);
    out.push_back(mirrored);

    Bytes narrowedMirror(std::size_t(3 * n) + 1, 0xAB);
    Row32To24Mirror(narrowedMirror.data(), in32.data(), n);
    out.push_back(narrowedMirror);

    Bytes swapped(std::size_t(3 * n) + 1, 0xAB);
    Row24SwapRB(swapped.data(), in24.data(), n);
    out.push_back(swapped);

    // An n x 17 picture turned: both sizes cross the eight-pixel steps, the
    // source rows come in two groups of eight and a rest, and the widest
    // rows span several bands of destination rows.
    constexpr int h = 17;
    for (int bytes : {3, 4}) {
        const Bytes &src = bytes == 3 ? in24 : in32; // repeated, each repeat shifted
        Bytes picture(std::size_t(bytes * n * h));
        for (std::size_t i = 0; i < picture.size(); ++i)
            picture[i] = uchar(src.empty() ? 0 : src[i % src.size()] + i / src.size());
        Bytes turned(std::size_t(4 * h * n) + 1, 0xAB);
        Rotate32Clockwise(turned.data(), 4 * h, picture.data(), std::size_t(bytes * n), n, h, bytes);
        out.push_back(turned);
    }

    // Three rows of 3n + 1 bytes turned upside down (the middle one stays).
    Bytes rows = randomBytes(std::size_t(3 * (3 * n + 1)), unsigned(n + 2000));
    FlipRows(rows.data(), std::size_t(3 * n + 1), 3);
    out.push_back(rows);
    return out;
}

struct RestorePaths
{
    ~RestorePaths() { LimitPixelRowPaths(PixelRowPaths::Avx512); }
};

} // namespace

TEST(PixelRows, EveryPathGivesThePlainBytes)
{
    RestorePaths restore;
    const char *names[] = {"32->24", "32->24 in place", "24->32", "24->32 widened in place", "24->32 inverted",
                           "24->32 inverted in place", "32->24 looked up in place", "32->24 grey in place",
                           "invert 32", "lookup",
                           "add -255", "add -15", "add 15", "add 255", "grey", "mirror", "32->24 mirrored", "swap",
                           "turn 24", "turn 32", "flip rows"};
    std::vector<int> lengths;
    for (int n = 0; n <= 70; ++n)
        lengths.push_back(n);
    for (int n : {127, 128, 129, 1919, 1920})
        lengths.push_back(n);
    for (int n : lengths) {
        LimitPixelRowPaths(PixelRowPaths::Plain);
        const std::vector<Bytes> want = runAll(n);
        for (PixelRowPaths p : {PixelRowPaths::Ssse3, PixelRowPaths::Avx2, PixelRowPaths::Avx512}) {
            LimitPixelRowPaths(p);
            const std::vector<Bytes> got = runAll(n);
            for (std::size_t f = 0; f < want.size(); ++f)
                ASSERT_EQ(got[f], want[f]) << names[f] << ", " << n << " pixels, path " << int(p);
        }
    }
}

TEST(PixelRows, PlainRowsFollowTheirRules)
{
    RestorePaths restore;
    LimitPixelRowPaths(PixelRowPaths::Plain);
    // B, G, R of three pixels; grey weighs red 77, green 151, blue 28.
    Bytes row = {10, 20, 30, 0, 0, 255, 255, 255, 255};
    Row24Grey(row.data(), 3);
    const uchar g0 = uchar((77 * 30 + 151 * 20 + 28 * 10) >> 8);
    EXPECT_EQ(row, (Bytes{g0, g0, g0, 76, 76, 76, 255, 255, 255}));
    const Bytes src = {1, 2, 3, 4, 5, 6};
    Bytes wide(8);
    Row24To32(wide.data(), src.data(), 2);
    EXPECT_EQ(wide, (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
    Row24To32(wide.data(), src.data(), 2, 0xFF00FF00u); // only colour bits flip
    EXPECT_EQ(wide, (Bytes{1, 253, 3, 255, 4, 250, 6, 255}));
    Bytes mirrored(6);
    Row24Mirror(mirrored.data(), src.data(), 2);
    EXPECT_EQ(mirrored, (Bytes{4, 5, 6, 1, 2, 3}));
    const Bytes src32 = {1, 2, 3, 9, 4, 5, 6, 9};
    Bytes narrowedMirror(6);
    Row32To24Mirror(narrowedMirror.data(), src32.data(), 2);
    EXPECT_EQ(narrowedMirror, (Bytes{4, 5, 6, 1, 2, 3}));
    Bytes px = {0, 100, 255, 0, 1, 2, 3, 77};
    Row32Invert(px.data(), 2); // the fourth byte always ends up 0xFF
    EXPECT_EQ(px, (Bytes{255, 155, 0, 255, 254, 253, 252, 255}));
    Bytes rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    FlipRows(rows.data(), 3, 4);
    EXPECT_EQ(rows, (Bytes{10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3}));
    // Pixels A B C over D E F turn into rows D A, E B, F C.
    const Bytes abc = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6};
    Bytes turned(24);
    Rotate32Clockwise(turned.data(), 8, abc.data(), 9, 3, 2, 3);
    EXPECT_EQ(turned, (Bytes{4, 4, 4, 255, 1, 1, 1, 255, 5, 5, 5, 255, 2, 2, 2, 255, 6, 6, 6, 255, 3, 3, 3, 255}));
    // Four-byte pixels A B over C D: rows C A, D B, and whatever the source's
    // fourth bytes held, the turned pixels are opaque.
    const Bytes abcd = {1, 1, 1, 0, 2, 2, 2, 9, 3, 3, 3, 128, 4, 4, 4, 255};
    Bytes turned32(16);
    Rotate32Clockwise(turned32.data(), 8, abcd.data(), 8, 2, 2, 4);
    EXPECT_EQ(turned32, (Bytes{3, 3, 3, 255, 1, 1, 1, 255, 4, 4, 4, 255, 2, 2, 2, 255}));
}
