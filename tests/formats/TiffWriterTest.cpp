// The TIFF writer: exact bytes of the fixed layouts, read by a directory
// walker of the test's own, and every depth checked by libtiff's tools and
// ImageMagick as independent readers.
#include "Bmp2Tiff.h"

#include "Bitmap.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sys/resource.h>

using namespace zk;

namespace {

struct Field
{
    unsigned type = 0, count = 0, value = 0;
};

struct Parsed
{
    unsigned ifdOffset = 0;
    unsigned entryCount = 0;
    std::map<unsigned, Field> fields;
};

unsigned le16(const QByteArray &b, qsizetype at)
{
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}

unsigned le32(const QByteArray &b, qsizetype at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

Parsed parse(const QByteArray &f)
{
    Parsed p;
    EXPECT_GE(f.size(), 8);
    EXPECT_EQ(f.left(4), QByteArray("II*\0", 4));
    p.ifdOffset = le32(f, 4);
    EXPECT_LE(qsizetype(p.ifdOffset) + 2, f.size());
    p.entryCount = le16(f, p.ifdOffset);
    EXPECT_EQ(qsizetype(p.ifdOffset + 2 + p.entryCount * 12 + 4), f.size()) << "the directory ends the file";
    unsigned lastTag = 0;
    for (unsigned i = 0; i < p.entryCount; ++i) {
        const qsizetype at = p.ifdOffset + 2 + i * 12;
        Field fl{le16(f, at + 2), le32(f, at + 4), 0};
        fl.value = fl.type == 3 && fl.count == 1 ? le16(f, at + 8) : le32(f, at + 8);
        const unsigned tag = le16(f, at);
        EXPECT_GT(tag, lastTag) << "tags ascend";
        lastTag = tag;
        p.fields[tag] = fl;
    }
    EXPECT_EQ(le32(f, p.ifdOffset + 2 + p.entryCount * 12), 0u);
    return p;
}

QByteArray tiffBytes(const TBitmap &bmp)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    WriteTiffStream(bmp, buf);
    return out;
}

// Indices laid out so that every row differs and padding bits would show.
TBitmap indexed(int w, int h, TPixelFormat pf, const QVector<QRgb> &palette)
{
    TBitmap b(w, h, pf);
    b.SetPalette(palette);
    const int bits = BitsPerPixel(pf);
    const int colours = 1 << bits;
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        std::fill(row, row + b.Stride(), 0xFF); // padding bits set on purpose
        for (int x = 0; x < w; ++x) {
            const int v = (x * 7 + y * 3) % colours;
            const int bit = x * bits;
            uchar &byte = row[bit / 8];
            const int shift = 8 - bits - bit % 8;
            byte = uchar((byte & ~(((1 << bits) - 1) << shift)) | (v << shift));
        }
    }
    return b;
}

QImage colourful(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 37 + y) & 0xFF, (y * 59 + x * 3) & 0xFF, (x * y * 11) & 0xFF));
    return img;
}

QVector<QRgb> greyRamp(int n)
{
    QVector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.append(qRgb(i * 255 / qMax(1, n - 1), (i * 97) & 0xFF, 255 - i * 255 / qMax(1, n - 1)));
    return p;
}

// ------------------------------------------------------------ exact layouts

TEST(TiffLayout, RgbThreeByTwoIsTheFixedFile)
{
    TBitmap b(3, 2, pf24bit);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            uchar *p = b.ScanLine(y) + x * 3; // B, G, R
            p[0] = uchar(10 * x + y);
            p[1] = uchar(100 + x);
            p[2] = uchar(200 + y);
        }
    const QByteArray f = tiffBytes(b);
    const QByteArray head = QByteArray::fromHex("49492a003a000000"   // II 42, IFD at 58
                                                "6d0300000a000000"   // 877/10
                                                "6d0300000a000000"   // 877/10
                                                "080008000800"       // 8,8,8
                                                "54656c6c69766f72616e"); // Tellivoran
    ASSERT_EQ(f.left(40), head);
    // Rows are written from the top down; each pixel as R, G, B.
    EXPECT_EQ(f.mid(40, 9), QByteArray::fromHex("c86400c8650ac86614"));
    EXPECT_EQ(f.mid(49, 9), QByteArray::fromHex("c96401c9650bc96615"));
    const Parsed p = parse(f);
    EXPECT_EQ(p.ifdOffset, 58u);
    EXPECT_EQ(p.entryCount, 15u);
    const std::map<unsigned, Field> want = {
        {254, {4, 1, 0}},  {256, {3, 1, 3}},  {257, {3, 1, 2}},  {258, {3, 3, 24}}, {259, {3, 1, 1}},
        {262, {3, 1, 2}},  {273, {4, 1, 40}}, {277, {3, 1, 3}},  {278, {4, 1, 2}},  {279, {4, 1, 18}},
        {282, {5, 1, 8}},  {283, {5, 1, 16}}, {284, {3, 1, 1}},  {296, {3, 1, 2}},  {305, {2, 10, 30}},
    };
    for (const auto &[tag, fl] : want) {
        ASSERT_TRUE(p.fields.count(tag)) << tag;
        EXPECT_EQ(p.fields.at(tag).type, fl.type) << tag;
        EXPECT_EQ(p.fields.at(tag).count, fl.count) << tag;
        EXPECT_EQ(p.fields.at(tag).value, fl.value) << tag;
    }
}

TEST(TiffLayout, ThirtyTwoBitsWriteTheTwentyFourBitFile)
{
    const TBitmap b32 = TBitmap::FromImage(colourful(17, 9));
    ASSERT_EQ(b32.PixelFormat(), pf32bit);
    TBitmap b24(b32);
    b24.SetPixelFormat(pf24bit);
    EXPECT_EQ(tiffBytes(b32), tiffBytes(b24));
}

struct LayoutCase
{
    const char *name;
    int width, height;
    TPixelFormat pf;
    QVector<QRgb> palette;
    unsigned entries, photometric, stripOffset, rowBytes, colorMapCount; // colorMapCount 0: none
};

class TiffLayoutTable : public ::testing::TestWithParam<LayoutCase>
{
};

TEST_P(TiffLayoutTable, DirectoryAndStripMatch)
{
    const LayoutCase &c = GetParam();
    const TBitmap b = indexed(c.width, c.height, c.pf, c.palette);
    const QByteArray f = tiffBytes(b);
    const Parsed p = parse(f);
    EXPECT_EQ(p.entryCount, c.entries);
    EXPECT_EQ(p.ifdOffset % 2, 0u) << "the directory starts at an even offset";
    EXPECT_EQ(p.fields.at(256).value, unsigned(c.width));
    EXPECT_EQ(p.fields.at(257).value, unsigned(c.height));
    EXPECT_EQ(p.fields.at(258).value, unsigned(BitsPerPixel(c.pf)));
    EXPECT_EQ(p.fields.at(262).value, c.photometric);
    EXPECT_EQ(p.fields.at(273).value, c.stripOffset);
    EXPECT_EQ(p.fields.at(279).value, c.rowBytes * c.height);
    EXPECT_EQ(p.fields.at(278).value, unsigned(c.height));
    for (unsigned tag : {282u, 283u, 305u})
        EXPECT_EQ(p.fields.at(tag).value % 2, 0u) << "value of tag " << tag << " at an even offset";
    EXPECT_EQ(f.mid(p.fields.at(305).value, 10), QByteArray("Tellivoran"));
    EXPECT_EQ(le32(f, p.fields.at(282).value), 877u);
    EXPECT_EQ(le32(f, p.fields.at(282).value + 4), 10u);
    if (c.colorMapCount) {
        ASSERT_TRUE(p.fields.count(320));
        EXPECT_EQ(p.fields.at(320).count, c.colorMapCount);
        EXPECT_EQ(p.fields.at(320).value, 8u);
        const unsigned n = c.colorMapCount / 3;
        for (unsigned i = 0; i < n; ++i) {
            const QRgb want = i < unsigned(c.palette.size()) ? c.palette[i] : qRgb(0, 0, 0);
            EXPECT_EQ(le16(f, 8 + 2 * i), unsigned(qRed(want)) << 8) << i;
            EXPECT_EQ(le16(f, 8 + 2 * (n + i)), unsigned(qGreen(want)) << 8) << i;
            EXPECT_EQ(le16(f, 8 + 2 * (2 * n + i)), unsigned(qBlue(want)) << 8) << i;
        }
    } else {
        EXPECT_FALSE(p.fields.count(320));
    }
    // The strip holds the rows top down, without padding, bits beyond the
    // width cleared.
    const int bits = BitsPerPixel(c.pf);
    for (int y = 0; y < c.height; ++y) {
        const QByteArray row = f.mid(c.stripOffset + y * c.rowBytes, c.rowBytes);
        for (int x = 0; x < int(c.rowBytes) * 8 / bits; ++x) {
            const int bit = x * bits;
            const int v = (uchar(row[bit / 8]) >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
            const int want = x < c.width ? (x * 7 + y * 3) % (1 << bits) : 0;
            ASSERT_EQ(v, want) << "row " << y << " pixel " << x;
        }
    }
}

const QVector<QRgb> kBlackWhite = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
const QVector<QRgb> kWhiteBlack = {qRgb(255, 255, 255), qRgb(0, 0, 0)};

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffLayoutTable,
    ::testing::Values(
        LayoutCase{"Bilevel10", 10, 5, pf1bit, kBlackWhite, 14, 1, 8, 2, 0},
        LayoutCase{"WhiteIsZero", 10, 5, pf1bit, kWhiteBlack, 14, 0, 8, 2, 0},
        LayoutCase{"TwoColours", 9, 3, pf1bit, {qRgb(255, 0, 0), qRgb(0, 0, 255)}, 15, 3, 8 + 12 + 26, 2, 6},
        LayoutCase{"OneColourPaddedBlack", 9, 3, pf1bit, {qRgb(255, 0, 0)}, 15, 3, 8 + 12 + 26, 2, 6},
        LayoutCase{"Nibbles1", 1, 3, pf4bit, greyRamp(16), 15, 3, 8 + 96 + 26, 1, 48},
        LayoutCase{"Nibbles3", 3, 3, pf4bit, greyRamp(16), 15, 3, 8 + 96 + 26, 2, 48},
        LayoutCase{"Nibbles13", 13, 3, pf4bit, greyRamp(5), 15, 3, 8 + 96 + 26, 7, 48},
        LayoutCase{"Bytes", 7, 3, pf8bit, greyRamp(256), 15, 3, 1570, 7, 768},
        LayoutCase{"ShortPalette", 5, 2, pf8bit, greyRamp(20), 15, 3, 1570, 5, 768}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TiffLayout, OddStripsArePaddedBeforeTheDirectory)
{
    TBitmap one(1, 1, pf24bit);
    one.ScanLine(0)[0] = 1;
    one.ScanLine(0)[1] = 2;
    one.ScanLine(0)[2] = 3;
    const QByteArray f = tiffBytes(one);
    EXPECT_EQ(f.mid(40, 3), QByteArray("\x03\x02\x01", 3));
    EXPECT_EQ(parse(f).ifdOffset, 44u);
    // 1 bit, 3 rows of 1 byte: resolution values after one pad byte.
    const Parsed p = parse(tiffBytes(indexed(8, 3, pf1bit, kBlackWhite)));
    EXPECT_EQ(p.fields.at(282).value, 12u);
    EXPECT_EQ(p.ifdOffset, 12u + 26);
}

TEST(TiffLayout, WideAndTallSizesAreLong)
{
    TBitmap wide(70000, 1, pf8bit);
    std::fill(wide.ScanLine(0), wide.ScanLine(0) + wide.Stride(), 0);
    const Parsed p = parse(tiffBytes(wide));
    EXPECT_EQ(p.fields.at(256).type, 4u);
    EXPECT_EQ(p.fields.at(256).value, 70000u);
    EXPECT_EQ(p.fields.at(257).type, 3u);
    EXPECT_EQ(p.fields.at(279).value, 70000u);
}

TEST(TiffLayout, EmptyBitmapIsRefusedWithoutBytes)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    EXPECT_THROW(WriteTiffStream(TBitmap(), buf), EGraphicError);
    EXPECT_TRUE(out.isEmpty());

    QTemporaryDir dir;
    const QString file = dir.filePath("none.tif");
    EXPECT_THROW(SaveBitmapAsTiff(TBitmap(), file), EInvalidGraphicOperation);
    EXPECT_FALSE(QFile::exists(file));
}

// A device that takes only so many bytes.
class ShortDevice : public QIODevice
{
public:
    explicit ShortDevice(qint64 room) : m_room(room) { open(WriteOnly); }
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 n) override
    {
        if (m_room <= 0) {
            setErrorString("device full");
            return -1;
        }
        const qint64 take = qMin(n, m_room);
        m_room -= take;
        return take;
    }

private:
    qint64 m_room;
};

TEST(TiffLayout, DeviceErrorsRaise)
{
    const TBitmap b = TBitmap::FromImage(colourful(300, 200));
    for (qint64 room : {0, 7, 40, 5000, 180039}) {
        ShortDevice dev(room);
        try {
            WriteTiffStream(b, dev);
            ADD_FAILURE() << "no error with room for " << room << " bytes";
        } catch (const EGraphicFileError &e) {
            EXPECT_TRUE(e.message().contains("device full")) << e.what();
        }
    }
}

TEST(TiffLayout, FailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("keep.tif");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    // Even root cannot write past the file size limit.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        SaveBitmapAsTiff(TBitmap::FromImage(colourful(200, 100)), file);
    } catch (const EGraphicFileError &) {
        raised = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(raised);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.tif"});

    // And a save that works replaces it.
    SaveBitmapAsTiff(TBitmap::FromImage(colourful(20, 10)), file);
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), tiffBytes(TBitmap::FromImage(colourful(20, 10))));
}

// ------------------------------------------------------------ outside readers

// Exit code and standard output plus error of a program.
int run(const QString &program, const QStringList &args, QByteArray *out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return -1;
    *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

struct DepthCase
{
    const char *name;
    TPixelFormat pf;
    QVector<QRgb> palette = {}; // 1 bit only
};

class TiffReaders : public ::testing::TestWithParam<DepthCase>
{
};

TEST_P(TiffReaders, LibtiffAndImageMagickReadThePicture)
{
    for (const char *tool : {"tiffinfo", "tiffdump", "tiff2rgba", "tiffcp", "tiffcmp"}) {
        if (!zktest::haveProgram(tool))
            GTEST_SKIP() << tool << " missing (libtiff-tools)";
    }
    if (!zktest::haveProgram("/usr/bin/compare"))
        GTEST_SKIP() << "ImageMagick missing";

    const TPixelFormat pf = GetParam().pf;
    TBitmap b = TBitmap::FromImage(colourful(45, 23));
    b.SetPixelFormat(pf);
    if (pf == pf1bit)
        b.SetPalette(GetParam().palette);
    QTemporaryDir dir;
    const QString tif = dir.filePath("pic.tif"), src = dir.filePath("src.png");
    SaveBitmapAsTiff(b, tif);
    ASSERT_TRUE(b.ToImage().convertToFormat(QImage::Format_RGB32).save(src));

    QByteArray out;
    ASSERT_EQ(run("tiffinfo", {tif}, &out), 0) << out.constData();
    int messages = 0;
    for (const QByteArray &line : out.split('\n')) {
        if (line.contains("Warning") || line.contains("Error") || line.contains("warning")) {
            ++messages;
            EXPECT_TRUE(line.contains("does not end in null byte")) << line.constData();
        }
    }
    EXPECT_EQ(messages, 1) << "only the Software value's missing zero is reported";
    EXPECT_TRUE(out.contains("Image Width: 45 Image Length: 23")) << out.constData();

    ASSERT_EQ(run("tiffdump", {tif}, &out), 0);
    EXPECT_TRUE(out.contains("Software (305) ASCII (2) 10<Tellivoran")) << out.constData();
    EXPECT_TRUE(out.contains("XResolution (282) RATIONAL (5) 1<87.7")) << out.constData();

    const QString rgba = dir.filePath("rgba.tif"), copy = dir.filePath("copy.tif");
    ASSERT_EQ(run("tiff2rgba", {tif, rgba}, &out), 0) << out.constData();
    ASSERT_EQ(run("/usr/bin/compare", {"-metric", "AE", rgba, src, "null:"}, &out), 0) << out.constData();
    EXPECT_EQ(out.trimmed(), QByteArray("0"));

    ASSERT_EQ(run("tiffcp", {tif, copy}, &out), 0) << out.constData();
    EXPECT_EQ(run("tiffcmp", {tif, copy}, &out), 0) << out.constData();
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffReaders,
                         ::testing::Values(DepthCase{"Bits1", pf1bit, kBlackWhite},
                                           DepthCase{"Bits1WhiteBlack", pf1bit, kWhiteBlack},
                                           DepthCase{"Bits1TwoColours", pf1bit, {qRgb(200, 10, 30), qRgb(5, 250, 90)}},
                                           DepthCase{"Bits4", pf4bit},
                                           DepthCase{"Bits8", pf8bit}, DepthCase{"Bits15", pf15bit},
                                           DepthCase{"Bits16", pf16bit}, DepthCase{"Bits24", pf24bit},
                                           DepthCase{"Bits32", pf32bit}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
