// TJPEGImage against libjpeg-turbo's own tools (djpeg, cjpeg) as oracles.
#include "Jpeg.h"
#include "PictureOracles.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <algorithm>
#include <cstdlib>

using namespace zk;
using namespace zktest;

namespace {

// djpeg's reading of a file, as a Qt image (PPM/PGM parsed by Qt).
QImage djpeg(const QString &file, const QStringList &extra = {})
{
    QByteArray out;
    if (runProgram(QStringLiteral("djpeg"), extra + QStringList{QStringLiteral("-pnm"), file}, &out) != 0)
        return QImage();
    return QImage::fromData(out);
}

// The frame header as written in the file: progressive flag and components.
struct Sof {
    bool found = false;
    bool progressive = false;
    int components = 0;
};
Sof readSof(const QByteArray &d)
{
    Sof s;
    for (int i = 2; i + 9 < d.size(); ++i) {
        if (uchar(d[i]) != 0xFF)
            continue;
        const uchar m = uchar(d[i + 1]);
        if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
            s.found = true;
            s.progressive = m == 0xC2;
            s.components = uchar(d[i + 9]);
            return s;
        }
    }
    return s;
}

QByteArray encodeWith(const QImage &img, int quality, bool progressive, bool grey)
{
    TJPEGImage jpg;
    jpg.Assign(TBitmap::FromImage(img));
    jpg.SetCompressionQuality(quality);
    jpg.SetProgressiveEncoding(progressive);
    jpg.SetGrayscale(grey);
    return jpg.SaveToBytes();
}

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram(QStringLiteral("djpeg")) || !haveProgram(QStringLiteral("cjpeg")))
            GTEST_SKIP() << "djpeg/cjpeg (libjpeg-turbo-progs) are not installed";
        dir = scratchDir(QStringLiteral("jpeg"));
    }
    QString dir;
};

TEST_F(JpegTest, QualityNinetyKeepsAScreenshotAboveFortyDecibels)
{
    const QImage shot = screenshotLike(800, 500);
    const QByteArray data = encodeWith(shot, 90, false, false);
    ASSERT_TRUE(writeBytes(dir + "/q90.jpg", data));

    const QImage theirs = djpeg(dir + "/q90.jpg");
    ASSERT_FALSE(theirs.isNull());
    EXPECT_GT(psnr(shot, theirs), 40.0);

    // Our decoder gives libjpeg's pixels exactly.
    TJPEGImage back;
    back.LoadFromBytes(data);
    EXPECT_EQ(back.Bitmap().PixelFormat(), pf24bit);
    EXPECT_EQ(psnr(back.ToImage(), theirs), INFINITY);
    // The stream is kept: saving a loaded picture writes it unchanged.
    EXPECT_EQ(back.SaveToBytes(), data);
}

TEST_F(JpegTest, WriterSettingsReachTheFile)
{
    const QImage shot = screenshotLike(320, 200);
    const QByteArray plain = encodeWith(shot, 90, false, false);
    const QByteArray prog = encodeWith(shot, 90, true, false);
    const QByteArray grey = encodeWith(shot, 90, false, true);
    const QByteArray low = encodeWith(shot, 20, false, false);

    const Sof sp = readSof(plain), sg = readSof(prog), sy = readSof(grey);
    ASSERT_TRUE(sp.found && sg.found && sy.found);
    EXPECT_FALSE(sp.progressive);
    EXPECT_EQ(sp.components, 3);
    EXPECT_TRUE(sg.progressive);
    EXPECT_EQ(sy.components, 1);
    EXPECT_LT(low.size(), plain.size());

    ASSERT_TRUE(writeBytes(dir + "/plain.jpg", plain));
    ASSERT_TRUE(writeBytes(dir + "/prog.jpg", prog));
    ASSERT_TRUE(writeBytes(dir + "/low.jpg", low));
    // Progressive order changes the file, not the quantised picture.
    EXPECT_EQ(psnr(djpeg(dir + "/plain.jpg"), djpeg(dir + "/prog.jpg")), INFINITY);
    const double lowPsnr = psnr(shot, djpeg(dir + "/low.jpg"));
    EXPECT_GT(lowPsnr, 20.0);
    EXPECT_LT(lowPsnr, 40.0);
}

TEST_F(JpegTest, ScaledLoadsHaveTheExpectedSizes)
{
    const QImage shot = screenshotLike(1001, 603);
    const QByteArray data = encodeWith(shot, 90, false, false);
    ASSERT_TRUE(writeBytes(dir + "/odd.jpg", data));

    const struct {
        TJPEGScale scale;
        int denom;
    } cases[] = {{jsFullSize, 1}, {jsHalf, 2}, {jsQuarter, 4}, {jsEighth, 8}};
    TJPEGImage jpg;
    jpg.LoadFromBytes(data);
    for (const auto &c : cases) {
        jpg.SetScale(c.scale);
        const int w = (1001 + c.denom - 1) / c.denom, h = (603 + c.denom - 1) / c.denom;
        EXPECT_EQ(jpg.Width(), w) << c.denom;
        EXPECT_EQ(jpg.Height(), h) << c.denom;
        EXPECT_EQ(jpg.Bitmap().Width(), w);
        EXPECT_EQ(jpg.Bitmap().Height(), h);
        // djpeg scaled the same way gives the same pixels.
        const QImage theirs = djpeg(dir + "/odd.jpg", {QStringLiteral("-scale"), QStringLiteral("1/%1").arg(c.denom)});
        ASSERT_EQ(theirs.size(), QSize(w, h));
        EXPECT_EQ(psnr(jpg.ToImage(), theirs), INFINITY) << c.denom;
    }
}

TEST_F(JpegTest, GreyOutputHasOneChannel)
{
    const QImage shot = screenshotLike(300, 180);
    ASSERT_TRUE(writeBytes(dir + "/colour.jpg", encodeWith(shot, 90, false, false)));
    TJPEGImage jpg;
    jpg.SetGrayscale(true);
    jpg.LoadFromFile(dir + "/colour.jpg");
    const TBitmap &bmp = jpg.Bitmap();
    EXPECT_EQ(bmp.PixelFormat(), pf8bit);
    const QImage ours = jpg.ToImage();
    EXPECT_EQ(ours.depth(), 8);
    EXPECT_TRUE(ours.allGray());

    QByteArray pgm;
    ASSERT_EQ(runProgram(QStringLiteral("djpeg"), {QStringLiteral("-grayscale"), QStringLiteral("-pnm"), dir + "/colour.jpg"}, &pgm), 0);
    ASSERT_TRUE(pgm.startsWith("P5"));
    EXPECT_EQ(psnr(ours, QImage::fromData(pgm)), INFINITY);

    // Switching grey off decodes the held stream in colour again.
    jpg.SetGrayscale(false);
    EXPECT_EQ(jpg.Bitmap().PixelFormat(), pf24bit);
    EXPECT_FALSE(jpg.ToImage().allGray());
}

TEST_F(JpegTest, EightBitOutputUsesAPaletteOfAtMost256Colours)
{
    const QImage shot = screenshotLike(300, 180);
    TJPEGImage jpg;
    jpg.SetPixelFormat(jf8Bit);
    jpg.LoadFromBytes(encodeWith(shot, 90, false, false));
    EXPECT_EQ(jpg.Bitmap().PixelFormat(), pf8bit);
    EXPECT_LE(jpg.Bitmap().Palette().size(), 256);
    EXPECT_GT(psnr(shot, jpg.ToImage()), 25.0);
}

TEST_F(JpegTest, FilesFromCjpegDecodeAsDjpegDecodesThem)
{
    const QImage shot = screenshotLike(400, 250);
    ASSERT_TRUE(shot.convertToFormat(QImage::Format_RGB888).save(dir + "/src.ppm", "PPM"));
    for (const QStringList &opts : {QStringList{}, QStringList{QStringLiteral("-progressive")},
                                    QStringList{QStringLiteral("-grayscale")},
                                    QStringList{QStringLiteral("-quality"), QStringLiteral("50"), QStringLiteral("-optimize")}}) {
        QByteArray jpeg;
        ASSERT_EQ(runProgram(QStringLiteral("cjpeg"), opts + QStringList{dir + "/src.ppm"}, &jpeg), 0);
        ASSERT_TRUE(writeBytes(dir + "/c.jpg", jpeg));
        TJPEGImage jpg;
        jpg.LoadFromBytes(jpeg);
        EXPECT_EQ(psnr(jpg.ToImage(), djpeg(dir + "/c.jpg")), INFINITY) << opts.join(' ').toStdString();
    }
}

TEST_F(JpegTest, DamagedStreamsRaiseLibjpegsMessageAndChangeNothing)
{
    const QByteArray good = encodeWith(screenshotLike(200, 120), 90, false, false);
    TJPEGImage jpg;
    jpg.LoadFromBytes(encodeWith(screenshotLike(64, 48), 90, false, false));
    const QImage before = jpg.ToImage();

    const struct {
        const char *name;
        QByteArray data;
        const char *expect; // part of libjpeg's message
    } cases[] = {
        {"truncated in the scan", good.left(good.size() / 2), "Premature end"},
        // Cut at half and closed with an end marker: the scan stops at it.
        {"cut and ended", good.left(good.size() / 2) + QByteArray("\xFF\xD9", 2), "premature end of data segment"},
        {"truncated in the header", good.left(40), ""},
        {"garbage", QByteArray(500, 'x'), "Not a JPEG file"},
        {"empty", QByteArray(), "0 bytes"},
        {"png signature", QByteArray("\x89PNG\r\n\x1a\n0000000000000000", 24), "Not a JPEG file"},
    };
    for (const auto &c : cases) {
        try {
            jpg.LoadFromBytes(c.data);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EJPEG &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String(c.expect))) << c.name << ": " << e.what();
            EXPECT_FALSE(e.message().isEmpty());
        }
        EXPECT_EQ(jpg.Width(), 64) << c.name;
        EXPECT_EQ(psnr(jpg.ToImage(), before), INFINITY) << c.name;
    }
    // A corrupt byte inside the entropy data still decodes (libjpeg resyncs)
    // or fails cleanly; either way nothing crashes and the size is kept.
    QByteArray flipped = good;
    for (int i = good.size() / 2; i < good.size() / 2 + 20; ++i)
        flipped[i] = char(0xFF);
    try {
        jpg.LoadFromBytes(flipped);
        EXPECT_EQ(jpg.Width(), 200);
    } catch (const EJPEG &) {
        EXPECT_EQ(jpg.Width(), 64);
    }
}

TEST_F(JpegTest, CmykFilesOpenAsImageMagickConvertsThem)
{
    const QString rgb = dir + QStringLiteral("/cmyk-source.png");
    ASSERT_TRUE(screenshotLike(96, 64).save(rgb));
    // Plain and progressive: both come out of libjpeg as four inks.
    for (const bool progressive : {false, true}) {
        const QString cmyk = dir + (progressive ? QStringLiteral("/p-cmyk.jpg") : QStringLiteral("/cmyk.jpg"));
        QStringList args{rgb, QStringLiteral("-colorspace"), QStringLiteral("CMYK"), QStringLiteral("-quality"),
                         QStringLiteral("92")};
        if (progressive)
            args << QStringLiteral("-interlace") << QStringLiteral("JPEG");
        ASSERT_EQ(runProgram(kConvert, args << cmyk), 0);
        ASSERT_EQ(JpegReadInfo(readBytes(cmyk)).components, 4) << "ImageMagick wrote four components";
        const QImage oracle = magickDecode(cmyk);
        ASSERT_FALSE(oracle.isNull());

        TJPEGImage jpg;
        jpg.LoadFromBytes(readBytes(cmyk));
        const QImage ours = jpg.ToImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(ours.size(), oracle.size());
        int worst = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x) {
                const QRgb a = ours.pixel(x, y), b = oracle.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        EXPECT_LE(worst, 3) << (progressive ? "progressive" : "baseline");

        // Grey output works on the converted colours too.
        const QImage grey = JpegDecode(readBytes(cmyk), {1, true});
        EXPECT_EQ(grey.format(), QImage::Format_Indexed8);
        const QImage quarter = JpegDecode(readBytes(cmyk), {4});
        EXPECT_EQ(quarter.size(), QSize(24, 16));
    }
}

TEST_F(JpegTest, PicturesOverTheLimitAreRefusedBeforeDecoding)
{
    const QByteArray data = encodeWith(screenshotLike(200, 100), 90, false, false);
    TBitmap::SetMaxPixels(200 * 100 - 1);
    TJPEGImage jpg;
    EXPECT_THROW(jpg.LoadFromBytes(data), EInvalidGraphic);
    EXPECT_TRUE(jpg.Empty());
    TBitmap::SetMaxPixels(0);
    jpg.LoadFromBytes(data);
    EXPECT_EQ(jpg.Width(), 200);
}

TEST_F(JpegTest, BitmapsAreCompressedOnlyWhenNeeded)
{
    TJPEGImage jpg;
    EXPECT_TRUE(jpg.Empty());
    EXPECT_THROW(jpg.Compress(), EInvalidGraphicOperation);
    const TBitmap bmp = TBitmap::FromImage(screenshotLike(120, 80));
    jpg.Assign(bmp);
    EXPECT_TRUE(jpg.Data().isEmpty());
    EXPECT_EQ(jpg.Width(), 120);
    // Until compressed, the picture is the bitmap itself.
    EXPECT_EQ(psnr(jpg.ToImage(), bmp.ToImage()), INFINITY);
    jpg.Compress();
    EXPECT_TRUE(readSof(jpg.Data()).found);

    // A bitmap takes the held picture; after loading, the decoded one.
    TBitmap out;
    out.Assign(jpg);
    EXPECT_EQ(out.PixelFormat(), bmp.PixelFormat());
    EXPECT_EQ(psnr(out.ToImage(), bmp.ToImage()), INFINITY);
    TJPEGImage loaded;
    loaded.LoadFromBytes(jpg.Data());
    out.Assign(loaded);
    EXPECT_EQ(out.Width(), 120);
    EXPECT_EQ(out.PixelFormat(), pf24bit);
    EXPECT_GT(psnr(out.ToImage(), bmp.ToImage()), 35.0);
}

TEST_F(JpegTest, BothExtensionsOpenThroughThePictureRegistry)
{
    RegisterJpegGraphics();
    const QByteArray data = encodeWith(screenshotLike(90, 60), 90, false, false);
    for (const QString &name : {QStringLiteral("a.jpg"), QStringLiteral("b.JPEG")}) {
        ASSERT_TRUE(writeBytes(dir + "/" + name, data));
        TPicture pic;
        pic.LoadFromFile(dir + "/" + name);
        ASSERT_NE(pic.Graphic(), nullptr);
        EXPECT_EQ(pic.Graphic()->ClassName(), QStringLiteral("TJPEGImage"));
        EXPECT_EQ(pic.Width(), 90);
    }
}

} // namespace

// Encoding from the bitmap's own rows and decoding into them give the bytes
// and pixels that the copying road through QImage gives.
TEST(JpegRows, RowsRoadMatchesTheImageRoadByteForByte)
{
    const QImage shot = screenshotLike(333, 127); // odd width: padded rows
    for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit, pf1bit}) {
        TBitmap b = TBitmap::FromImage(shot);
        b.SetPixelFormat(pf);
        for (bool grey : {false, true}) {
            JpegEncodeOptions o;
            o.grayscale = grey;
            const QByteArray viaImage = JpegEncode(b.ToImage(), o);
            EXPECT_EQ(JpegEncodeBitmap(b, o), viaImage) << "pf " << int(pf) << " grey " << grey;
            for (bool quantize : {false, true})
                for (int denom : {1, 2}) {
                    JpegDecodeOptions d;
                    d.grayscale = grey;
                    d.quantize = quantize;
                    d.scaleDenom = denom;
                    const TBitmap copied = TBitmap::FromImage(JpegDecode(viaImage, d));
                    JpegInfo info;
                    const TBitmap direct = JpegDecodeBitmap(viaImage, d, &info);
                    ASSERT_EQ(direct.PixelFormat(), copied.PixelFormat());
                    ASSERT_EQ(direct.Width(), copied.Width());
                    EXPECT_EQ(direct.Palette(), copied.Palette());
                    const size_t used = BytesPerRow(direct.Width(), direct.BitsPerPixel(), 1);
                    for (int y = 0; y < direct.Height(); ++y)
                        ASSERT_EQ(0, memcmp(direct.ScanLine(y), copied.ScanLine(y), used)) << y;
                    EXPECT_EQ(info.width, 333);
                    EXPECT_EQ(info.components, grey ? 1 : 3);
                }
        }
    }
}
