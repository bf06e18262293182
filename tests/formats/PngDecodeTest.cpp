// Files ImageMagick writes (through libpng), decoded by us and by
// ImageMagick: the pixels must agree for every colour type, bit depth and
// interlace method, with and without tRNS and gAMA.
#include "PNGImage.h"
#include "PngTestKit.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <cmath>

using namespace zk;
using namespace pngkit;

namespace {

struct Variant
{
    int ct;
    int depth;
};

const Variant AllVariants[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                               {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// Writes a picture of the wanted colour type and depth with ImageMagick.
QString makeFile(const Variant &v, int w, int h, bool interlaced, const QString &tag = {})
{
    const QString size = QStringLiteral("%1x%2").arg(w).arg(h);
    QStringList args{"-size", size, "-seed", "4", "plasma:fractal"};
    const QStringList alpha{"(", "-size", size, "gradient:white-black", ")", "-alpha", "off",
                            "-compose", "CopyOpacity", "-composite"};
    QString prefix = "png:";
    switch (v.ct) {
    case 0: args << "-colorspace" << "Gray"; break;
    case 3:
        args << "+dither" << "-colors" << QString::number(v.depth == 8 ? 200 : 1 << v.depth);
        prefix = "png8:";
        break;
    case 4: args << "-colorspace" << "Gray" << alpha; break;
    case 6: args << alpha; break;
    default: break;
    }
    if (v.ct != 3)
        args << "-define" << QStringLiteral("png:color-type=%1").arg(v.ct);
    args << "-define" << QStringLiteral("png:bit-depth=%1").arg(v.depth);
    args << "-interlace" << (interlaced ? "PNG" : "None");
    const QString path = workDir()
                         + QStringLiteral("/im_%1_%2_%3_%4%5.png")
                               .arg(v.ct).arg(v.depth).arg(size).arg(interlaced ? "i" : "n").arg(tag);
    args << prefix + path;
    return magick(args) ? path : QString();
}

// The file with its ancillary chunks replaced by `extra` right after IHDR
// (and tRNS after PLTE when given).
QByteArray withChunks(const QByteArray &file, const QList<RawChunk> &extra, const QByteArray &trns = {})
{
    QList<RawChunk> out;
    for (const RawChunk &c : walkChunks(file)) {
        if (c.type == "IHDR") {
            out.append(c);
            out += extra;
        } else if (c.type == "PLTE") {
            out.append(c);
        } else if (c.type == "IDAT" || c.type == "IEND") {
            if (c.type == "IDAT" && !trns.isEmpty() && (out.isEmpty() || out.last().type != "IDAT"))
                out.append({"tRNS", trns});
            out.append(c);
        }
    }
    return buildPng(out);
}

TPNGImage decode(const QByteArray &bytes)
{
    TPNGImage img;
    QByteArray copy = bytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    img.LoadFromStream(b);
    return img;
}

// Gamma as the format defines the display mapping, written out here.
std::array<int, 256> gammaCurve(uint32_t gama)
{
    std::array<int, 256> t{};
    const double e = gama / 100000.0 * 2.2;
    for (int i = 0; i < 256; ++i)
        t[size_t(i)] = int(std::nearbyint(255.0 * std::pow(i / 255.0, 1.0 / e)));
    return t;
}

// Counts pixels whose colour differs from the reference's high bytes.
int mismatches(const TPNGImage &img, const QByteArray &rgb16, const std::array<int, 256> *gamma,
               QString *first)
{
    int bad = 0;
    const auto *p = reinterpret_cast<const uint8_t *>(rgb16.constData());
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const size_t at = (size_t(y) * img.Width() + x) * 6;
            int r = p[at], g = p[at + 2], b = p[at + 4];
            if (gamma) {
                r = (*gamma)[size_t(r)];
                g = (*gamma)[size_t(g)];
                b = (*gamma)[size_t(b)];
            }
            const QRgb got = img.PixelRgb(x, y);
            if (qRed(got) != r || qGreen(got) != g || qBlue(got) != b) {
                if (!bad++ && first)
                    *first = QStringLiteral("(%1,%2) ours %3,%4,%5 ref %6,%7,%8")
                                 .arg(x).arg(y).arg(qRed(got)).arg(qGreen(got)).arg(qBlue(got))
                                 .arg(r).arg(g).arg(b);
            }
        }
    return bad;
}

TPixelFormat expectedFormat(const Variant &v)
{
    if (v.ct == 2 || v.ct == 6)
        return pf24bit;
    if (v.ct == 4 || v.depth >= 8)
        return pf8bit;
    return v.depth == 1 ? pf1bit : pf4bit;
}

class PngDecode : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!haveMagick())
            GTEST_SKIP() << "ImageMagick is not installed";
    }
};

} // namespace

TEST_F(PngDecode, EveryColourTypeAndDepthMatchesLibpngPlainAndInterlaced)
{
    for (const Variant &v : AllVariants)
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(QStringLiteral("type %1 depth %2 %3").arg(v.ct).arg(v.depth)
                             .arg(interlaced ? "Adam7" : "plain").toStdString());
            const QString path = makeFile(v, 37, 23, interlaced);
            ASSERT_FALSE(path.isEmpty());
            const QByteArray file = readFile(path);
            const QList<RawChunk> chunks = walkChunks(file);
            ASSERT_FALSE(chunks.isEmpty());
            // The generator did what was asked of it.
            ASSERT_EQ(int(uint8_t(chunks[0].data[8])), v.depth);
            ASSERT_EQ(int(uint8_t(chunks[0].data[9])), v.ct);
            ASSERT_EQ(int(uint8_t(chunks[0].data[12])), interlaced ? 1 : 0);

            const QByteArray ref = magickRgb16(path);
            ASSERT_EQ(ref.size(), 37 * 23 * 6);

            // As written (with whatever ancillary chunks ImageMagick adds).
            TPNGImage img = decode(file);
            EXPECT_EQ(img.Width(), 37);
            EXPECT_EQ(img.Height(), 23);
            EXPECT_EQ(img.PixelFormat(), expectedFormat(v));
            QString first;
            EXPECT_EQ(mismatches(img, ref, nullptr, &first), 0) << first.toStdString();

            // Stripped to the critical chunks.
            TPNGImage bare = decode(withChunks(file, {}));
            EXPECT_EQ(mismatches(bare, ref, nullptr, &first), 0) << first.toStdString();

            // With a strong gAMA: every sample or palette entry is mapped.
            const std::array<int, 256> curve = gammaCurve(100000);
            TPNGImage gam = decode(withChunks(file, {{"gAMA", u32(100000)}}));
            EXPECT_EQ(mismatches(gam, ref, &curve, &first), 0) << first.toStdString();
        }
}

TEST_F(PngDecode, TinyAdam7PicturesWithEmptyPassesLoadLikeTheirPlainTwins)
{
    for (const Variant &v : {Variant{2, 8}, Variant{0, 1}, Variant{3, 2}, Variant{0, 16}})
        for (int w = 1; w <= 4; ++w)
            for (int h = 1; h <= 4; ++h) {
                SCOPED_TRACE(QStringLiteral("type %1 depth %2 %3x%4").arg(v.ct).arg(v.depth).arg(w).arg(h)
                                 .toStdString());
                const QString plain = makeFile(v, w, h, false);
                const QString inter = makeFile(v, w, h, true);
                ASSERT_FALSE(plain.isEmpty());
                ASSERT_FALSE(inter.isEmpty());
                TPNGImage a = decode(readFile(plain));
                TPNGImage b = decode(readFile(inter));
                ASSERT_EQ(a.Width(), w);
                ASSERT_EQ(b.Height(), h);
                const QByteArray ref = magickRgb16(inter);
                QString first;
                EXPECT_EQ(mismatches(b, ref, nullptr, &first), 0) << first.toStdString();
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        EXPECT_EQ(a.PixelRgb(x, y), b.PixelRgb(x, y));
            }
}

TEST_F(PngDecode, TransparencyChunksOfEveryKind)
{
    const QString rgbPath = makeFile({2, 8}, 9, 7, false);
    const QString rgb16Path = makeFile({2, 16}, 9, 7, false);
    const QString palPath = makeFile({3, 4}, 9, 7, false);
    const QString greyPath = makeFile({0, 8}, 9, 7, false);
    ASSERT_FALSE(rgbPath.isEmpty() || rgb16Path.isEmpty() || palPath.isEmpty() || greyPath.isEmpty());

    // RGB: the six bytes the format defines, and the old three-byte form.
    const QByteArray six("\x00\x12\x00\x34\x00\x56", 6);
    TPNGImage a = decode(withChunks(readFile(rgbPath), {}, six));
    EXPECT_TRUE(a.Transparent());
    EXPECT_EQ(a.TransparentColor(), RGBToTColor(0x12, 0x34, 0x56));
    TPNGImage b = decode(withChunks(readFile(rgbPath), {}, QByteArray("\x65\x43\x21", 3)));
    EXPECT_TRUE(b.Transparent());
    EXPECT_EQ(b.TransparentColor(), RGBToTColor(0x65, 0x43, 0x21));
    // 16-bit samples keep their high byte, like the pixels.
    TPNGImage c = decode(withChunks(readFile(rgb16Path), {}, QByteArray("\xAB\xCD\x12\x34\x56\x78", 6)));
    EXPECT_EQ(c.TransparentColor(), RGBToTColor(0xAB, 0x12, 0x56));
    EXPECT_EQ(c.Chunks().Find<TChunkTRNS>()->TransparentColor(), qRgb(0xAB, 0x12, 0x56));

    // Palette and grey tRNS leave the pixels as libpng's colours; the colour
    // cannot be asked of them.
    for (const QString &path : {palPath, greyPath}) {
        const QByteArray trns = path == palPath ? QByteArray("\x00\x80\xFF", 3) : QByteArray("\x00\x10", 2);
        TPNGImage img = decode(withChunks(readFile(path), {}, trns));
        EXPECT_FALSE(img.Transparent());
        QString first;
        EXPECT_EQ(mismatches(img, magickRgb16(path), nullptr, &first), 0) << first.toStdString();
        const TChunkTRNS *t = img.Chunks().Find<TChunkTRNS>();
        ASSERT_NE(t, nullptr);
        try {
            t->TransparentColor();
            ADD_FAILURE() << "a palette or grey tRNS gave an RGB colour";
        } catch (const EPNGImageException &e) {
            EXPECT_EQ(e.Id(), peNoTransparentColour);
        }
    }
}

TEST_F(PngDecode, GammaChunksThatMeanNothingAreIgnored)
{
    const QString path = makeFile({2, 8}, 16, 8, false);
    ASSERT_FALSE(path.isEmpty());
    const QByteArray file = readFile(path);
    const QByteArray ref = magickRgb16(path);
    QString first;
    // Zero, a wrong length, and a gAMA after the image data.
    for (const QByteArray &f : {withChunks(file, {{"gAMA", u32(0)}}),
                                withChunks(file, {{"gAMA", QByteArray("\x00\x01\x86", 3)}})}) {
        TPNGImage img = decode(f);
        EXPECT_EQ(mismatches(img, ref, nullptr, &first), 0) << first.toStdString();
    }
    QList<RawChunk> late = walkChunks(withChunks(file, {}));
    late.insert(late.size() - 1, {"gAMA", u32(100000)});
    TPNGImage img = decode(buildPng(late));
    EXPECT_EQ(mismatches(img, ref, nullptr, &first), 0) << first.toStdString();

    // 0.45455 is the usual screen gamma: the table is nearly the identity.
    TChunkList list(nullptr);
    auto *g = static_cast<TChunkGAMA *>(list.AddClass(&CreateChunk<TChunkGAMA>));
    g->SetGamma(45455);
    for (int i = 0; i < 256; ++i)
        EXPECT_LE(std::abs(int(g->GammaTable()[size_t(i)]) - i), 1);
}

TEST(PngGammaTables, InverseTableHasNoHolesAndUndoesTheTable)
{
    TChunkList list(nullptr);
    auto *g = static_cast<TChunkGAMA *>(list.AddClass(&CreateChunk<TChunkGAMA>));
    for (uint32_t gama : {100000u, 45455u, 20000u, 250000u}) {
        g->SetGamma(gama);
        const auto curve = gammaCurve(gama);
        const auto &t = g->GammaTable();
        const auto &inv = g->InverseTable();
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(int(t[size_t(i)]), curve[size_t(i)]) << gama << " at " << i;
        for (int v = 1; v < 256; ++v)
            EXPECT_GE(inv[size_t(v)], inv[size_t(v - 1)]) << "not rising at " << v << " for " << gama;
        EXPECT_EQ(inv[255], 255);
        // Values the table reaches map back exactly.
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(t[inv[t[size_t(i)]]], t[size_t(i)]) << gama << " at " << i;
    }
}

TEST_F(PngDecode, IconsGetTheTransparencyOfEveryKind)
{
    // Alpha channels (plain and interlaced) and tRNS of every colour type,
    // against ImageMagick's alpha channel.
    struct Case { Variant v; bool interlaced; QByteArray trns; };
    const QList<Case> cases = {
        {{6, 8}, false, {}}, {{6, 16}, true, {}}, {{4, 8}, true, {}}, {{4, 16}, false, {}},
        {{3, 4}, false, QByteArray("\x00\x40\x80\xC0\xFF\x10", 6)},
        {{3, 8}, true, QByteArray(100, '\x20')},
        {{0, 8}, false, QByteArray()}, // key filled in below
        {{2, 16}, true, QByteArray()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("type %1 depth %2").arg(c.v.ct).arg(c.v.depth).toStdString());
        const QString src = makeFile(c.v, 23, 19, c.interlaced, "_a");
        ASSERT_FALSE(src.isEmpty());
        QByteArray file = readFile(src);
        QByteArray trns = c.trns;
        if (c.v.ct == 0 || c.v.ct == 2) {
            // Make the colour of one existing pixel the transparent one.
            const QByteArray raw = magickRgb16(src);
            trns = c.v.ct == 0 ? (c.v.depth == 16 ? raw.mid(6 * 40, 2) : QByteArray(1, '\0') + raw.mid(6 * 40, 1))
                               : raw.mid(6 * 40, 6);
        }
        if (!trns.isEmpty())
            file = withChunks(file, {}, trns);
        const QString path = workDir() + QStringLiteral("/alpha_%1_%2.png").arg(c.v.ct).arg(c.v.depth);
        ASSERT_TRUE(writeFile(path, file));
        QByteArray ref;
        ASSERT_EQ(zktest::runProgram(Convert, {path, "-depth", "16", "-endian", "MSB", "rgba:-"}, &ref), 0);
        ASSERT_EQ(ref.size(), 23 * 19 * 8);
        const QImage img = PngToArgbImage(file);
        ASSERT_EQ(img.size(), QSize(23, 19));
        int bad = 0, transparent = 0;
        const auto *p = reinterpret_cast<const uint8_t *>(ref.constData());
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < 23; ++x) {
                const uint8_t *q = p + (size_t(y) * 23 + x) * 8;
                const QRgb got = img.pixel(x, y);
                bad += qAlpha(got) != q[6] || qRed(got) != q[0] || qGreen(got) != q[2] || qBlue(got) != q[4];
                transparent += q[6] < 255;
            }
        EXPECT_EQ(bad, 0);
        EXPECT_GT(transparent, 0); // the case really has transparency
    }
}
