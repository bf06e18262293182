// Colour reduction: the lookups' boundaries, the ditherers against a plain
// two-dimensional error diffusion, the octree against a floating-point one,
// the threaded nearest-colour mapping against the one-thread walk, and every
// method's result read back by ImageMagick.
#include "ColorReduction.h"
#include "GIFImage.h"

#include "../platform/PictureOracles.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cmath>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

using namespace zk;

namespace {

// A 24-bit bitmap of the given colours, row by row.
TBitmap picture(int w, int h, const std::vector<QRgb> &colors)
{
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const QRgb c = colors[size_t(y * w + x)];
            row[3 * x] = uchar(qBlue(c));
            row[3 * x + 1] = uchar(qGreen(c));
            row[3 * x + 2] = uchar(qRed(c));
        }
    }
    return b;
}

TBitmap randomPicture(int w, int h, unsigned seed, int levels = 256)
{
    std::mt19937 rng(seed);
    std::vector<QRgb> c(size_t(w * h));
    for (QRgb &p : c)
        p = qRgb(int(rng() % levels) * 255 / (levels - 1), int(rng() % levels) * 255 / (levels - 1),
                 int(rng() % levels) * 255 / (levels - 1));
    return picture(w, h, c);
}

uchar index(const TBitmap &b, int x, int y) { return b.ScanLine(y)[x]; }

QRgb resultColor(const TBitmap &b, int x, int y) { return b.Palette()[index(b, x, y)] | 0xFF000000u; }

// ---- a plain error diffusion over a whole-picture error array

struct Kernel
{
    int mode;
    int divisor;
    std::vector<std::tuple<int, int, int>> taps; // (columns ahead, rows down, weight)
};

const std::vector<Kernel> &kernels()
{
    static const std::vector<Kernel> k = {
        {dmFloydSteinberg, 16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
        {dmStucki, 42, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
                        {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}},
        {dmSierra, 32, {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
                        {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}},
        {dmJaJuNi, 48, {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
                        {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}},
        {dmSteveArche, 200, {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12},
                             {0, 2, 26}, {2, 2, 12}, {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}},
        {dmBurkes, 32, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
    };
    return k;
}

// Indices by error diffusion in serpentine order, the error of each pixel
// added to the cells of the whole-picture array it reaches.
std::vector<int> referenceDiffusion(const TBitmap &src, const Kernel &k, const QVector<QRgb> &palette)
{
    const int w = src.Width(), h = src.Height();
    std::vector<int> err(size_t(w * h * 3), 0), out(size_t(w * h));
    TFastColorLookup lookup(palette);
    for (int y = 0; y < h; ++y) {
        const int dir = y % 2 == 0 ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = dir > 0 ? i : w - 1 - i;
            const uchar *p = src.ScanLine(y) + 3 * x;
            const int in[3] = {p[2], p[1], p[0]};
            int v[3], o[3];
            for (int c = 0; c < 3; ++c)
                v[c] = std::clamp(in[c] + (err[size_t((y * w + x) * 3 + c)] + k.divisor / 2) / k.divisor, 0, 255);
            out[size_t(y * w + x)] = lookup.Lookup(v[0], v[1], v[2], o[0], o[1], o[2]);
            for (const auto &[dx, dy, weight] : k.taps) {
                const int tx = x + dx * dir, ty = y + dy;
                if (tx < 0 || tx >= w || ty >= h)
                    continue;
                for (int c = 0; c < 3; ++c)
                    err[size_t((ty * w + tx) * 3 + c)] += weight * (v[c] - o[c]);
            }
        }
    }
    return out;
}

std::vector<int> indices(const TBitmap &b)
{
    std::vector<int> v;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            v.push_back(index(b, x, y));
    return v;
}

const QVector<QRgb> kEight = {qRgb(0, 0, 0),     qRgb(255, 255, 255), qRgb(200, 30, 30),  qRgb(30, 200, 30),
                              qRgb(30, 30, 200), qRgb(128, 128, 128), qRgb(240, 220, 90), qRgb(90, 60, 40)};

} // namespace

// ------------------------------------------------------------------ lookups

TEST(ColorReduction, MonochromeSplitsAtTheWeightedSum)
{
    TBitmap b = picture(2, 1, {qRgb(127, 127, 127), qRgb(128, 128, 128)});
    const TBitmap r = ReduceBitmapColors(b, rmMonochrome, dmNearest);
    EXPECT_EQ(resultColor(r, 0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(resultColor(r, 1, 0), qRgb(255, 255, 255));
}

TEST(ColorReduction, WebSafeTakesTheNearestLevel)
{
    const std::vector<std::pair<int, int>> cases = {{0, 0},   {24, 0},  {25, 0},   {26, 51},   {47, 51},  {48, 51},
                                                    {76, 51}, {77, 102}, {229, 204}, {230, 255}, {255, 255}};
    // Each level in each channel once: (c, 0, 255), (255, c, 0), (0, 255, c).
    std::vector<QRgb> colors;
    for (const auto &[c, level] : cases)
        colors.insert(colors.end(), {qRgb(c, 0, 255), qRgb(255, c, 0), qRgb(0, 255, c)});
    TBitmap b = picture(int(colors.size()), 1, colors);
    const TBitmap r = ReduceBitmapColors(b, rmNetscape, dmNearest);
    ASSERT_EQ(r.Palette(), CreateWebSafePalette());
    for (size_t i = 0; i < cases.size(); ++i) {
        const int c = cases[i].first, l = cases[i].second;
        EXPECT_EQ(resultColor(r, int(3 * i), 0), qRgb(l, 0, 255)) << "component " << c;
        EXPECT_EQ(resultColor(r, int(3 * i + 1), 0), qRgb(255, l, 0)) << "component " << c;
        EXPECT_EQ(resultColor(r, int(3 * i + 2), 0), qRgb(0, 255, l)) << "component " << c;
    }
}

TEST(ColorReduction, FourGreysSendPureRedToBlack)
{
    TBitmap b = picture(1, 1, {qRgb(255, 0, 0)});
    const TBitmap r = ReduceBitmapColors(b, rmGrayscale4, dmNearest);
    EXPECT_EQ(r.Palette().size(), 4);
    EXPECT_EQ(resultColor(r, 0, 0), qRgb(0, 0, 0));
}

TEST(ColorReduction, GreyScaleUsesTheWeightedMean)
{
    TBitmap b = picture(3, 1, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(10, 20, 30)});
    const TBitmap r = ReduceBitmapColors(b, rmGrayscale256, dmNearest);
    EXPECT_EQ(index(r, 0, 0), 255 * 77 / 256);
    EXPECT_EQ(index(r, 1, 0), 255 * 150 / 256);
    EXPECT_EQ(index(r, 2, 0), (10 * 77 + 20 * 150 + 30 * 29) / 256);
}

TEST(ColorReduction, FixedPalettesKeepTheirOwnColours)
{
    // Windows colours under method 1, the cube and every entry under method 2.
    for (const auto &[method, pal] : {std::pair{int(rmWindows20), WindowsDefaultPalette()},
                                      std::pair{int(rmHalftone), HalftonePalette()}}) {
        TBitmap b = picture(pal.size(), 1, std::vector<QRgb>(pal.begin(), pal.end()));
        const TBitmap r = ReduceBitmapColors(b, method, dmNearest);
        for (int x = 0; x < pal.size(); ++x)
            EXPECT_EQ(resultColor(r, x, 0), pal[x] | 0xFF000000u) << "method " << method << " entry " << x;
    }
    EXPECT_EQ(HalftonePalette().size(), 256);
}

TEST(ColorReduction, FastLookupKeepsTheFirstEntryOfAKeyAndTiesGoLow)
{
    // Entries 0 and 1 share the 15-bit key of (8, 8, 8): entry 0 claimed it.
    TFastColorLookup lookup({qRgb(8, 8, 8), qRgb(15, 15, 15), qRgb(90, 50, 0), qRgb(10, 50, 0)});
    int r, g, b;
    EXPECT_EQ(lookup.Lookup(15, 15, 15, r, g, b), 0);
    EXPECT_EQ(qRgb(r, g, b), qRgb(8, 8, 8));
    // (50, 50, 0): 40 from entry 2 and from entry 3; the lower wins.
    EXPECT_EQ(lookup.Lookup(50, 50, 0, r, g, b), 2);
    // The answer is cached for the whole key: (48, 55, 0) lies nearer entry 3
    // but shares the key, so it gets 2 as well.
    EXPECT_EQ(lookup.Lookup(48, 55, 0, r, g, b), 2);
    EXPECT_EQ(lookup.Nearest(48, 55, 0), 3);
}

// ------------------------------------------------------------------ ditherers

TEST(ColorReduction, RowsAlternateDirection)
{
    struct Recorder : TColorLookup
    {
        Recorder() : TColorLookup(256) {}
        int Lookup(int red, int, int, int &r, int &g, int &b) override
        {
            order.push_back(red);
            r = g = b = red;
            return red;
        }
        std::vector<int> order;
    } recorder;
    TBitmap src = picture(3, 3, {qRgb(1, 0, 0), qRgb(2, 0, 0), qRgb(3, 0, 0), qRgb(4, 0, 0), qRgb(5, 0, 0),
                                 qRgb(6, 0, 0), qRgb(7, 0, 0), qRgb(8, 0, 0), qRgb(9, 0, 0)});
    TDIBReader reader(src, pf24bit);
    TBitmap out;
    TDIBWriter writer(out, pf8bit, 3, 3, {});
    TDitherEngine engine(3, recorder);
    DitherRows(reader, engine, writer);
    writer.Finish();
    EXPECT_EQ(recorder.order, (std::vector<int>{1, 2, 3, 6, 5, 4, 7, 8, 9}));
    EXPECT_EQ(index(out, 0, 1), 4);
    EXPECT_EQ(engine.Direction(), -1);
    EXPECT_EQ(engine.Column(), 2);
}

TEST(ColorReduction, FloydSteinbergWorkedByHand)
{
    // Black and white only. Row 0 left to right: 100 -> black (error 100),
    // 255 + (700 + 8) div 16 -> white with error 0, 100 -> black (100).
    // Next row receives 500, 100 + 0 + 300 and 500 in columns 0-2 (the zero
    // error stores its sums as well; skipping them would give 0, 800, 600).
    // Row 1 right to left, inputs 60: 60 + 31 = 91 black (error 91, 637
    // carried), 60 + (400 + 637 + 8) div 16 = 125 black (error 125, 875
    // carried), 60 + (500 + 875 + 8) div 16 = 146 white.
    TBitmap src = picture(3, 2, {qRgb(100, 100, 100), qRgb(255, 255, 255), qRgb(100, 100, 100),
                                 qRgb(60, 60, 60), qRgb(60, 60, 60), qRgb(60, 60, 60)});
    const TBitmap r = ReduceBitmapColors(src, rmPalette, dmFloydSteinberg, {qRgb(0, 0, 0), qRgb(255, 255, 255)});
    EXPECT_EQ(indices(r), (std::vector<int>{0, 1, 0, 1, 0, 0}));
}

TEST(ColorReduction, DitherersMatchAPlainErrorDiffusion)
{
    const std::vector<std::pair<int, int>> sizes = {{4, 3}, {7, 5}, {1, 4}, {13, 9}};
    for (const Kernel &k : kernels())
        for (const auto &[w, h] : sizes)
            for (unsigned seed = 1; seed <= 3; ++seed) {
                TBitmap src = randomPicture(w, h, seed * 31 + unsigned(w));
                const TBitmap r = ReduceBitmapColors(src, rmPalette, k.mode, kEight);
                const std::vector<int> expected = referenceDiffusion(src, k, kEight);
                EXPECT_EQ(indices(r), expected) << "mode " << k.mode << " size " << w << "x" << h << " seed " << seed;

                // The same through the base class.
                TFastColorLookup lookup(kEight);
                std::unique_ptr<TDitherEngine> engine;
                switch (k.mode) {
                case dmFloydSteinberg: engine = std::make_unique<TFloydSteinbergDitherer>(w, lookup); break;
                case dmStucki: engine = std::make_unique<TStuckiDitherer>(w, lookup); break;
                case dmSierra: engine = std::make_unique<TSierraDitherer>(w, lookup); break;
                case dmJaJuNi: engine = std::make_unique<TJaJuNiDitherer>(w, lookup); break;
                case dmSteveArche: engine = std::make_unique<TSteveArcheDitherer>(w, lookup); break;
                default: engine = std::make_unique<TBurkesDitherer>(w, lookup); break;
                }
                TDIBReader reader(src, pf24bit);
                TBitmap out;
                TDIBWriter writer(out, pf8bit, w, h, kEight);
                DitherRows(reader, *engine, writer);
                writer.Finish();
                EXPECT_EQ(indices(out), expected) << "mode " << k.mode << " through DitherRows";
            }
}

TEST(ColorReduction, ErrorsStayInsideThePicture)
{
    // A grey that lies between the two colours: its error keeps being carried
    // right to the edges; the margins must swallow it without clamping
    // artefacts, so the share of white stays near the grey's level.
    std::vector<QRgb> grey(64 * 64, qRgb(64, 64, 64));
    for (const Kernel &k : kernels()) {
        TBitmap src = picture(64, 64, grey);
        const TBitmap r = ReduceBitmapColors(src, rmMonochrome, k.mode);
        int white = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                white += index(r, x, y);
        EXPECT_NEAR(white / 4096.0, 64 / 255.0, 0.02) << "mode " << k.mode;
    }
}

// ------------------------------------------------------------------ octree

namespace {

// A plain octree with pointers and floating-point means: the same insertion
// and reduction rule, mapped afterwards by the exact nearest colour.
struct FloatOctree
{
    struct Node
    {
        bool leaf = false;
        double n = 0, r = 0, g = 0, b = 0;
        std::unique_ptr<Node> child[8];
        Node *next = nullptr;
    };
    std::unique_ptr<Node> root;
    Node *lists[8] = {};
    int leaves = 0, maxColors;

    explicit FloatOctree(int maxColors_) : maxColors(maxColors_) { root = make(0); }
    std::unique_ptr<Node> make(int level)
    {
        auto n = std::make_unique<Node>();
        if (level == 8) {
            n->leaf = true;
            ++leaves;
        } else {
            n->next = lists[level];
            lists[level] = n.get();
        }
        return n;
    }
    void add(int r, int g, int b)
    {
        Node *n = root.get();
        for (int level = 0; !n->leaf; ++level) {
            const int bit = 7 - level;
            const int i = ((r >> bit) & 1) * 4 + ((g >> bit) & 1) * 2 + ((b >> bit) & 1);
            if (!n->child[i])
                n->child[i] = make(level + 1);
            n = n->child[i].get();
        }
        n->n += 1;
        n->r += r;
        n->g += g;
        n->b += b;
        while (leaves > maxColors) {
            int level = 7;
            while (level > 0 && !lists[level])
                --level;
            Node *m = lists[level];
            lists[level] = m->next;
            int kids = 0;
            for (auto &c : m->child)
                if (c) {
                    m->n += c->n;
                    m->r += c->r;
                    m->g += c->g;
                    m->b += c->b;
                    c.reset();
                    ++kids;
                }
            m->leaf = true;
            leaves += 1 - kids;
        }
    }
    void colors(const Node *n, std::vector<std::array<double, 3>> &out) const
    {
        if (n->leaf) {
            out.push_back({n->r / n->n, n->g / n->n, n->b / n->n});
            return;
        }
        for (const auto &c : n->child)
            if (c)
                colors(c.get(), out);
    }
};

double psnrOf(const std::vector<std::array<double, 3>> &a, const std::vector<std::array<double, 3>> &b)
{
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < 3; ++c)
            se += (a[i][size_t(c)] - b[i][size_t(c)]) * (a[i][size_t(c)] - b[i][size_t(c)]);
    return 10 * std::log10(255.0 * 255.0 / (se / (3.0 * double(a.size()))));
}

std::vector<std::array<double, 3>> pixels(const TBitmap &b, bool paletted)
{
    std::vector<std::array<double, 3>> v;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const QRgb c = paletted ? resultColor(b, x, y) : b.PixelRgb(x, y);
            v.push_back({double(qRed(c)), double(qGreen(c)), double(qBlue(c))});
        }
    return v;
}

} // namespace

TEST(ColorReduction, OctreeKeepsFewDistinctColoursExactly)
{
    // 40 colours that differ in their top five bits: under 2^6 entries each
    // keeps its own leaf and its own cache key.
    std::vector<QRgb> colors;
    for (int i = 0; i < 40; ++i)
        colors.push_back(qRgb((i * 8) % 256, (i * 48 + 8) % 256, 255 - i * 6));
    std::vector<QRgb> pix;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            pix.push_back(colors[size_t((x * 7 + y * 3) % 40)]);
    TBitmap src = picture(12, 10, pix);
    const TBitmap r = ReduceBitmapColors(src, rmQuantize, dmNearest, {}, 6);
    EXPECT_EQ(r.Palette().size(), 64);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(resultColor(r, x, y), pix[size_t(y * 12 + x)]) << x << "," << y;
}

TEST(ColorReduction, OctreeFindsColourClusters)
{
    const QRgb centres[4] = {qRgb(200, 40, 40), qRgb(40, 180, 60), qRgb(30, 50, 210), qRgb(230, 230, 120)};
    std::mt19937 rng(5);
    std::vector<QRgb> pix;
    for (int i = 0; i < 64 * 64; ++i) {
        const QRgb c = centres[rng() % 4];
        auto jitter = [&](int v) { return std::clamp(v + int(rng() % 7) - 3, 0, 255); };
        pix.push_back(qRgb(jitter(qRed(c)), jitter(qGreen(c)), jitter(qBlue(c))));
    }
    TBitmap src = picture(64, 64, pix);
    const QVector<QRgb> pal = BuildOctreePalette(src, 4, 8, false);
    ASSERT_EQ(pal.size(), 4);
    for (const QRgb c : centres) {
        int best = 1000;
        for (const QRgb p : pal)
            best = std::min(best, std::abs(qRed(p) - qRed(c)) + std::abs(qGreen(p) - qGreen(c)) +
                                      std::abs(qBlue(p) - qBlue(c)));
        EXPECT_LE(best, 6) << std::hex << c;
    }
}

TEST(ColorReduction, OctreeWithWindowsColoursFramesItsOwn)
{
    TBitmap src = randomPicture(40, 30, 9);
    const TBitmap r = ReduceBitmapColors(src, rmQuantizeWindows, dmNearest);
    const QVector<QRgb> pal = r.Palette();
    ASSERT_EQ(pal.size(), 256);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(pal[i], WindowsDefaultColors[size_t(i)]);
        EXPECT_EQ(pal[246 + i], WindowsDefaultColors[size_t(10 + i)]);
    }
}

TEST(ColorReduction, ShortOptimisedPalettesRepeatTheFirstColour)
{
    // Three colours asked into 16 entries: the rest repeat entry 0 and no
    // pixel maps to them.
    TBitmap src = picture(3, 2, {qRgb(10, 20, 30), qRgb(200, 100, 0), qRgb(0, 250, 0), qRgb(10, 20, 30),
                                 qRgb(200, 100, 0), qRgb(0, 250, 0)});
    const TBitmap r = ReduceBitmapColors(src, rmQuantize, dmFloydSteinberg, {}, 4);
    ASSERT_EQ(r.Palette().size(), 16);
    for (int i = 3; i < 16; ++i)
        EXPECT_EQ(r.Palette()[i], r.Palette()[0]);
    for (int v : indices(r))
        EXPECT_LT(v, 3);
}

TEST(ColorReduction, OctreeMatchesAFloatingPointOctree)
{
    // 300 colours spread over the cube, in blocks.
    std::mt19937 rng(11);
    std::vector<QRgb> colors;
    for (int i = 0; i < 300; ++i)
        colors.push_back(qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256)));
    std::vector<QRgb> pix;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            pix.push_back(colors[size_t((y / 3) * 15 + x / 7) % 300]);
    TBitmap src = picture(100, 60, pix);
    const auto original = pixels(src, false);
    const TBitmap r = ReduceBitmapColors(src, rmQuantize, dmNearest, {}, 8);
    QSet<int> used;
    for (int v : indices(r))
        used.insert(v);
    EXPECT_LE(used.size(), 256);

    FloatOctree tree(256);
    for (const auto &p : original)
        tree.add(int(p[0]), int(p[1]), int(p[2]));
    std::vector<std::array<double, 3>> pal, mapped;
    tree.colors(tree.root.get(), pal);
    for (const auto &p : original) {
        double best = 1e18;
        std::array<double, 3> pick{};
        for (const auto &c : pal) {
            const double d = (c[0] - p[0]) * (c[0] - p[0]) + (c[1] - p[1]) * (c[1] - p[1]) +
                             (c[2] - p[2]) * (c[2] - p[2]);
            if (d < best) {
                best = d;
                pick = c;
            }
        }
        mapped.push_back(pick);
    }
    const double ours = psnrOf(original, pixels(r, true)), reference = psnrOf(original, mapped);
    EXPECT_GE(ours, reference - 0.2) << "ours " << ours << " dB, floating point " << reference << " dB";
}

TEST(ColorReduction, OctreeSumsDoNotOverflow)
{
    // 17 million white pixels: their red sum exceeds 32 bits.
    TBitmap src(4200, 4100, pf24bit);
    for (int y = 0; y < src.Height(); ++y)
        std::memset(src.ScanLine(y), 0xFF, src.Stride());
    const QVector<QRgb> pal = BuildOctreePalette(src, 2, 8, false);
    EXPECT_EQ(pal[0], qRgb(255, 255, 255));
}

// ------------------------------------------------------------------ driver

TEST(ColorReduction, ThreadedNearestEqualsTheSerpentineWalk)
{
    // Large enough to be split over threads; 4-level colours so that many
    // pixels share a 15-bit key with different nearest answers.
    TBitmap src = randomPicture(301, 520, 3, 24);
    for (const int method : {int(rmQuantize), int(rmWindows20), int(rmHalftone)}) {
        TBitmap copy = src;
        const TBitmap r = ReduceBitmapColors(copy, method, dmNearest);
        TDIBReader reader(copy, pf24bit);
        TFastColorLookup lookup(r.Palette());
        TBitmap serial;
        TDIBWriter writer(serial, pf8bit, src.Width(), src.Height(), r.Palette());
        TDitherEngine engine(src.Width(), lookup);
        DitherRows(reader, engine, writer);
        writer.Finish();
        EXPECT_EQ(indices(r), indices(serial)) << "method " << method;
    }
}

TEST(ColorReduction, SourceIsAt24BitsAfterEveryMethodButNone)
{
    for (int method = 0; method <= 9; ++method) {
        TBitmap src = randomPicture(9, 7, unsigned(method));
        src.SetPixelFormat(pf8bit);
        const TBitmap r = ReduceBitmapColors(src, method, dmNearest, kEight);
        EXPECT_EQ(src.PixelFormat(), method == 0 ? pf8bit : pf24bit) << "method " << method;
        EXPECT_EQ(r.PixelFormat(), method == 0 ? pf24bit : pf8bit) << "method " << method;
        EXPECT_EQ(r.Width(), 9);
        EXPECT_EQ(r.Height(), 7);
    }
}

TEST(ColorReduction, InvalidArgumentsGiveAnEmptyBitmap)
{
    const std::vector<std::tuple<int, int, QVector<QRgb>>> cases = {
        {10, 0, kEight}, {-1, 0, kEight}, {7, 7, {}}, {1, -1, {}}, {9, 0, {}}};
    for (const auto &[method, mode, pal] : cases) {
        TBitmap src = randomPicture(5, 5, 1);
        src.SetPixelFormat(pf32bit);
        const TBitmap r = ReduceBitmapColors(src, method, mode, pal);
        EXPECT_TRUE(r.Empty()) << method << "/" << mode;
        EXPECT_EQ(src.PixelFormat(), pf24bit);
    }
}

TEST(ColorReduction, ReductionBitsAreClamped)
{
    TBitmap src = randomPicture(40, 40, 4);
    EXPECT_EQ(ReduceBitmapColors(src, rmQuantize, dmNearest, {}, 12).Palette().size(), 256);
    EXPECT_EQ(ReduceBitmapColors(src, rmQuantize, dmNearest, {}, 0).Palette().size(), 2);
    const QVector<QRgb> big(300, qRgb(1, 2, 3));
    EXPECT_EQ(ReduceBitmapColors(src, rmPalette, dmNearest, big).Palette().size(), 256);
}

TEST(ColorReduction, BadDimensionsRaiseBeforeTouchingTheSource)
{
    TBitmap empty;
    try {
        ReduceBitmapColors(empty, rmQuantize, dmNearest);
        FAIL() << "no exception";
    } catch (const GIFException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid image dimensions"));
    }
    TBitmap src = randomPicture(50, 50, 2);
    src.SetPixelFormat(pf8bit);
    TBitmap::SetMaxPixels(2000);
    EXPECT_THROW(ReduceBitmapColors(src, rmNetscape, dmNearest), GIFException);
    TBitmap::SetMaxPixels(0);
    EXPECT_EQ(src.PixelFormat(), pf8bit);
}

TEST(ColorReduction, DibWriterChecksAndStoresOnlyWhenComplete)
{
    TBitmap target;
    auto message = [&](TPixelFormat pf, int w, int h) {
        try {
            TDIBWriter writer(target, pf, w, h);
        } catch (const EGraphicError &e) {
            return e.message();
        }
        return QString();
    };
    EXPECT_EQ(message(pf4bit, 4, 4), "Unsupported PixelFormat");
    EXPECT_EQ(message(pf32bit, 4, 4), "Unsupported PixelFormat");
    EXPECT_EQ(message(pf8bit, 0, 4), "Invalid image dimensions");
    EXPECT_EQ(message(pf24bit, 4, -1), "Invalid image dimensions");
    EXPECT_TRUE(target.Empty());

    {
        TDIBWriter writer(target, pf24bit, 3, 2);
        EXPECT_THROW(writer.ScanLine(2), EInvalidGraphicOperation);
        EXPECT_THROW(writer.ScanLine(-1), EInvalidGraphicOperation);
        std::memset(writer.ScanLine(1), 0x7F, 9);
        std::memset(writer.ScanLine(0), 0x10, 9);
    } // stored on destruction
    ASSERT_EQ(target.Width(), 3);
    EXPECT_EQ(target.PixelFormat(), pf24bit);
    EXPECT_EQ(target.PixelRgb(2, 1), qRgb(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(target.PixelRgb(0, 0), qRgb(0x10, 0x10, 0x10));

    try {
        TDIBWriter writer(target, pf8bit, 5, 5, kEight);
        throw std::runtime_error("stop");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(target.Width(), 3); // the half-built pixels were dropped
}

TEST(ColorReduction, EveryMethodReadsBackThroughImageMagick)
{
    if (!zktest::haveProgram(zktest::kConvert))
        GTEST_SKIP() << "ImageMagick missing";
    const QString dir = zktest::scratchDir(QStringLiteral("colorreduction"));
    const QImage shot = zktest::screenshotLike(120, 90);
    for (int method = 0; method <= 9; ++method)
        for (const int mode : {int(dmNearest), int(dmFloydSteinberg), int(dmSteveArche)}) {
            TBitmap src = TBitmap::FromImage(shot);
            const TBitmap r = ReduceBitmapColors(src, method, mode, kEight, 5);
            ASSERT_FALSE(r.Empty());
            const QString file = dir + QStringLiteral("/m%1d%2.bmp").arg(method).arg(mode);
            {
                QFile f(file);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                TBitmap copy = r;
                copy.SaveToStream(f);
            }
            const QImage back = zktest::magickDecode(file);
            ASSERT_EQ(back.size(), QSize(120, 90));
            int bad = 0;
            for (int y = 0; y < 90; ++y)
                for (int x = 0; x < 120; ++x)
                    bad += (back.pixel(x, y) | 0xFF000000u) != r.PixelRgb(x, y);
            EXPECT_EQ(bad, 0) << "method " << method << " mode " << mode;
            if (method == 0)
                break;
        }
}
