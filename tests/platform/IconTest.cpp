// TIcon against ImageMagick as the independent icon reader and writer.
#include "Icon.h"
#include "PictureOracles.h"

#include <gtest/gtest.h>

using namespace zk;
using namespace zktest;

namespace {

// A picture with opaque, half-transparent and fully transparent parts.
QImage iconPicture(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int a = (x + y) % 5 == 0 ? 0 : (x < w / 2 ? 255 : 40 + (y * 200) / h);
            img.setPixel(x, y, qRgba((x * 255) / w, (y * 255) / h, (x ^ y) & 0xFF, a));
        }
    return img;
}

// Pixels equal where visible; transparent pixels need only agree on that.
::testing::AssertionResult sameVisible(const QImage &a0, const QImage &b0)
{
    const QImage a = a0.convertToFormat(QImage::Format_ARGB32), b = b0.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAlpha(p) == 0 && qAlpha(q) == 0)
                continue;
            if (p != q)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << ": " << std::hex << p << " vs " << q;
        }
    return ::testing::AssertionSuccess();
}

class IconTest : public ::testing::Test {
protected:
    void SetUp() override { dir = scratchDir(QStringLiteral("icon")); }
    void TearDown() override { SetIconPngDecoder(nullptr); }
    QString dir;
};

TEST_F(IconTest, OurIconsReadBackPixelIdenticalHereAndInImageMagick)
{
    for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(33, 17), QSize(256, 256)}) {
        const QImage src = iconPicture(size.width(), size.height());
        TIcon icon;
        icon.SetImage(src);
        const QByteArray data = icon.SaveToBytes();

        TIcon back;
        back.LoadFromBytes(data);
        EXPECT_EQ(back.Image(), src) << size.width();
        EXPECT_EQ(back.ChosenEntry(), 0);

        if (!haveProgram(kConvert))
            continue;
        ASSERT_TRUE(writeBytes(dir + "/ours.ico", data));
        const QImage theirs = magickDecode(dir + "/ours.ico");
        ASSERT_FALSE(theirs.isNull()) << size.width();
        EXPECT_TRUE(sameVisible(theirs, src)) << size.width();
    }
}

TEST_F(IconTest, ImageMagickIconsOfSeveralSizesAndDepthsPickTheLargestThenDeepest)
{
    if (!haveProgram(kConvert))
        GTEST_SKIP() << "ImageMagick is not installed";
    // Entries: 16x16 true colour, 32x32 with 16 colours, 32x32 true colour,
    // 24x24 two colours. The 32x32 true colour entry is the one to show.
    const QString a = dir + "/a.png", b = dir + "/b.png", c = dir + "/c.png", d = dir + "/d.png";
    ASSERT_TRUE(iconPicture(16, 16).save(a));
    ASSERT_TRUE(iconPicture(32, 32).save(c));
    QImage pal = iconPicture(32, 32).convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(pal.save(b));
    ASSERT_TRUE(iconPicture(24, 24).save(d));
    const QString ico = dir + "/multi.ico";
    ASSERT_EQ(runProgram(kConvert, {a, QStringLiteral("("), b, QStringLiteral("-colors"), QStringLiteral("16"),
                                    QStringLiteral(")"), c, QStringLiteral("("), d, QStringLiteral("-monochrome"),
                                    QStringLiteral(")"), ico}),
              0);

    const QByteArray data = readBytes(ico);
    const std::vector<IconEntry> entries = IconListEntries(data);
    ASSERT_EQ(entries.size(), 4u);
    // Every entry we decode matches ImageMagick's decoding of it.
    for (int i = 0; i < 4; ++i) {
        QByteArray one;
        // A one-entry file around entry i, so TIcon must take exactly that one.
        const IconEntry &e = entries[std::size_t(i)];
        one.append(data.left(4));
        one.append(char(1));
        one.append(char(0));
        QByteArray dirent = data.mid(6 + 16 * i, 16);
        const quint32 off = 22;
        for (int k = 0; k < 4; ++k)
            dirent[12 + k] = char((off >> (8 * k)) & 0xFF);
        one.append(dirent);
        one.append(data.mid(int(e.offset), int(e.size)));
        TIcon single;
        single.LoadFromBytes(one);
        EXPECT_TRUE(sameVisible(single.Image(), magickDecode(ico + QStringLiteral("[%1]").arg(i))))
            << "entry " << i << " (" << e.width << "x" << e.height << ", " << e.bitCount << " bits)";
    }

    TIcon icon;
    icon.LoadFromFile(ico);
    ASSERT_GE(icon.ChosenEntry(), 0);
    const IconEntry &chosen = entries[std::size_t(icon.ChosenEntry())];
    EXPECT_EQ(chosen.width, 32);
    for (const IconEntry &e : entries) {
        if (e.width * e.height == 32 * 32) {
            EXPECT_GE(chosen.bitCount, e.bitCount);
        }
    }
    EXPECT_TRUE(sameVisible(icon.Image(), iconPicture(32, 32)));
}

TEST_F(IconTest, PngEntriesWaitForAPngDecoder)
{
    if (!haveProgram(kConvert))
        GTEST_SKIP() << "ImageMagick is not installed";
    // ImageMagick stores 256x256 entries PNG-compressed.
    const QString big = dir + "/big.png", small = dir + "/small.png", ico = dir + "/png.ico";
    ASSERT_TRUE(iconPicture(256, 256).save(big));
    ASSERT_TRUE(iconPicture(32, 32).save(small));
    ASSERT_EQ(runProgram(kConvert, {small, big, ico}), 0);
    const QByteArray data = readBytes(ico);
    const std::vector<IconEntry> entries = IconListEntries(data);
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(entries[1].png) << "ImageMagick wrote the large entry uncompressed";

    TIcon icon;
    icon.LoadFromBytes(data);
    EXPECT_EQ(icon.Width(), 32);

    // Qt's PNG reader stands in for our PNG codec here.
    SetIconPngDecoder([](const QByteArray &png) { return QImage::fromData(png, "PNG"); });
    icon.LoadFromBytes(data);
    EXPECT_EQ(icon.Width(), 256);
    EXPECT_TRUE(sameVisible(icon.Image(), iconPicture(256, 256)));

    // An icon of PNG entries only, without a decoder, is refused clearly.
    SetIconPngDecoder(nullptr);
    QByteArray onlyPng = data.left(6) + data.mid(22, 16) + data.mid(int(entries[1].offset));
    onlyPng[4] = 1;
    for (int k = 0; k < 4; ++k)
        onlyPng[6 + 12 + k] = char((22 >> (8 * k)) & 0xFF);
    TIcon keep;
    keep.SetImage(iconPicture(8, 8));
    try {
        keep.LoadFromBytes(onlyPng);
        ADD_FAILURE() << "PNG-only icon loaded without a decoder";
    } catch (const EInvalidGraphic &e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("PNG")));
    }
    EXPECT_EQ(keep.Width(), 8);
}

TEST_F(IconTest, AMaskColourBecomesTransparent)
{
    QImage img(20, 10, QImage::Format_RGB32);
    img.fill(qRgb(255, 0, 255));
    for (int x = 5; x < 15; ++x)
        img.setPixel(x, 5, qRgb(10, 20, 30));
    const TBitmap bmp = TBitmap::FromImage(img);

    TIcon masked;
    masked.AssignBitmap(bmp, RGBToTColor(255, 0, 255));
    EXPECT_EQ(qAlpha(masked.Image().pixel(0, 0)), 0);
    EXPECT_EQ(masked.Image().pixel(7, 5), qRgba(10, 20, 30, 255));

    TIcon opaque;
    opaque.AssignBitmap(bmp, clNone);
    EXPECT_EQ(opaque.Image().pixel(0, 0), qRgba(255, 0, 255, 255));

    // The written mask carries the transparency to other readers too.
    if (haveProgram(kConvert)) {
        ASSERT_TRUE(writeBytes(dir + "/mask.ico", masked.SaveToBytes()));
        const QImage theirs = magickDecode(dir + "/mask.ico");
        EXPECT_EQ(qAlpha(theirs.pixel(0, 0)), 0);
        EXPECT_EQ(theirs.pixel(7, 5), qRgba(10, 20, 30, 255));
    }
}

TEST_F(IconTest, DamagedFilesRaiseAClearMessageAndChangeNothing)
{
    TIcon icon;
    icon.SetImage(iconPicture(8, 8));
    const QImage before = icon.Image();
    const QByteArray good = [] {
        TIcon t;
        t.SetImage(iconPicture(16, 16));
        return t.SaveToBytes();
    }();

    auto patched = [&](int at, quint32 value, int bytes) {
        QByteArray d = good;
        for (int k = 0; k < bytes; ++k)
            d[at + k] = char((value >> (8 * k)) & 0xFF);
        return d;
    };
    const struct {
        const char *name;
        QByteArray data;
    } cases[] = {
        {"empty", QByteArray()},
        {"no pictures", patched(4, 0, 2)},
        {"not an icon", patched(2, 7, 2)},
        {"directory cut short", good.left(12)},
        {"entry beyond the end", patched(6 + 12, 0x7FFFFFF0, 4)},
        {"entry size too large", patched(6 + 8, 0x7FFFFFF0, 4)},
        {"mask cut short", good.left(good.size() - 10)},
        {"odd height", patched(22 + 8, 33, 4)},
        {"huge picture", patched(22 + 4, 0x40000000, 4)},
        {"unknown depth", patched(22 + 14, 7, 2)},
    };
    for (int cut = 0; cut < good.size(); cut += 37) {
        EXPECT_THROW(icon.LoadFromBytes(good.left(cut)), EInvalidGraphic) << "cut at " << cut;
    }
    for (const auto &c : cases) {
        try {
            icon.LoadFromBytes(c.data);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EInvalidGraphic &e) {
            EXPECT_FALSE(e.message().isEmpty()) << c.name;
        }
        EXPECT_EQ(icon.Image(), before) << c.name;
    }

    // A two-colour entry of 4096 x 4096 whose colour rows are all there but
    // whose mask rows are missing: refused before the picture's room (64 MB
    // of colour) is set aside, not after.
    const int side = 4096, rowBytes = side / 8;
    QByteArray huge(6 + 16 + 40 + 8 + rowBytes * side, '\0');
    const auto put = [&huge](int at, quint32 value, int bytes) {
        for (int k = 0; k < bytes; ++k)
            huge[at + k] = char((value >> (8 * k)) & 0xFF);
    };
    put(2, 1, 2);                         // an icon file
    put(4, 1, 2);                         // of one picture
    put(6 + 8, quint32(huge.size() - 22), 4);
    put(6 + 12, 22, 4);
    put(22, 40, 4);                       // the picture's header
    put(22 + 4, side, 4);
    put(22 + 8, 2 * side, 4);             // colour rows and mask rows
    put(22 + 12, 1, 2);
    put(22 + 14, 1, 2);
    try {
        icon.LoadFromBytes(huge);
        ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic &e) {
        EXPECT_TRUE(e.message().contains("rows are cut short")) << e.what();
    }
}

TEST_F(IconTest, LargerThan256KeepsItsTrueSize)
{
    const QImage src = iconPicture(300, 40);
    TIcon icon;
    icon.SetImage(src);
    TIcon back;
    back.LoadFromBytes(icon.SaveToBytes());
    EXPECT_EQ(back.Image(), src);
}

TEST_F(IconTest, RegisteredForIcoFiles)
{
    RegisterIconGraphics();
    TIcon icon;
    icon.SetImage(iconPicture(24, 24));
    icon.SaveToFile(dir + "/reg.ICO");
    TPicture pic;
    pic.LoadFromFile(dir + "/reg.ICO");
    ASSERT_NE(pic.Graphic(), nullptr);
    EXPECT_EQ(pic.Graphic()->ClassName(), QStringLiteral("TIcon"));
    EXPECT_TRUE(pic.Graphic()->Transparent());
    // A bitmap made from an icon shows it on white.
    TBitmap bmp;
    bmp.Assign(*pic.Graphic());
    EXPECT_EQ(bmp.Width(), 24);
}

} // namespace
