// Saving as GIF with the colour options, read back by giflib and ImageMagick,
// and the conversion pairs to and from GIF.
#include "ColorReduction.h"
#include "GIFImage.h"
#include "GifOracle.h"
#include "GraphicConvert.h"
#include "ImageControl.h"
#include "PictureClasses.h"
#include "PictureFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace zk;

namespace {

// Screen-like content: gradients (thousands of colours), flat areas, text.
TBitmap screenLike(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 255 / (w - 1), y * 255 / (h - 1), (x ^ y) & 0xFF));
    QPainter p(&img);
    p.fillRect(QRect(5, 5, w / 3, h / 4), QColor(0, 84, 227));
    p.setPen(Qt::white);
    p.drawText(QRect(0, h / 2, w, h / 2), QStringLiteral("Zelkora 123"));
    p.end();
    return TBitmap::FromImage(img);
}

// giflib's colours of the first frame, pixel by pixel.
QImage decoded(const QByteArray &file)
{
    const giforacle::Gif g = giforacle::Read(file);
    if (!g.ok || g.frames.isEmpty())
        return QImage();
    const giforacle::Frame &f = g.frames[0];
    const QVector<QRgb> &map = f.localMap.isEmpty() ? g.globalMap : f.localMap;
    QImage out(f.width, f.height, QImage::Format_RGB32);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            out.setPixel(x, y, map.value(uchar(f.indices[y * f.width + x])) | 0xFF000000);
    return out;
}

bool imageMagickReads(const QByteArray &file)
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("x.gif")));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(file);
    f.close();
    QProcess p;
    p.start(QStringLiteral("/usr/bin/identify"), {QStringLiteral("-regard-warnings"), f.fileName()});
    p.waitForFinished(20000);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class GifSave : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterGifGraphics(); }
};

TEST_F(GifSave, ManyColoursUnderDefaultsBecomeTheOctreeReduction)
{
    const TBitmap pic = screenLike(200, 120);
    ASSERT_TRUE(BitmapHasMoreColors(pic, 256));
    TZelkoraOptions o;
    const QByteArray file = EncodePicture(pic, ptGif, o, TSaveOrigin::SaveDialog);
    ASSERT_TRUE(imageMagickReads(file));
    TBitmap copy(pic);
    const QImage want = ReduceBitmapColors(copy, 7, 0, {}, 8).ToImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(decoded(file), want);
}

TEST_F(GifSave, FewColoursRoundTripExactly)
{
    TBitmap pic(90, 40, pf24bit);
    {
        auto c = pic.Canvas();
        for (int i = 0; i < 200; ++i)
            c->fillRect(QRect((i % 30) * 3, (i / 30) * 6, 3, 6), QColor(i, 255 - i, (i * 7) & 0xFF));
    }
    ASSERT_FALSE(BitmapHasMoreColors(pic, 256));
    TZelkoraOptions o;
    const QByteArray file = EncodePicture(pic, ptGif, o, TSaveOrigin::SaveDialog);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("x.gif")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    const QString png = dir.filePath(QStringLiteral("x.png"));
    ASSERT_TRUE(pic.ToImage().save(png));
    QProcess p;
    p.start(QStringLiteral("/usr/bin/compare"), {QStringLiteral("-metric"), QStringLiteral("AE"), f.fileName(), png,
                                                 QStringLiteral("null:")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()).trimmed(), QStringLiteral("0"));
    EXPECT_EQ(decoded(file), pic.ToImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(GifSave, EveryColourOptionGivesAFileGiflibReads)
{
    const TBitmap pic = screenLike(48, 32);
    for (int method = 0; method <= 6; ++method)
        for (int dith = 0; dith <= 1; ++dith)
            for (int comp = 0; comp <= 1; ++comp) {
                SCOPED_TRACE(QStringLiteral("%1 %2 %3").arg(method).arg(dith).arg(comp).toStdString());
                TZelkoraOptions o;
                o.GifColOpt = uint8_t(method);
                o.GifDith = uint8_t(dith);
                o.GifComp = uint8_t(comp);
                const QImage img = decoded(EncodePicture(pic, ptGif, o, TSaveOrigin::SaveDialog));
                EXPECT_EQ(img.size(), QSize(48, 32));
            }
}

TEST_F(GifSave, ConversionPairsToAndFromGif)
{
    QTemporaryDir dir;
    const TBitmap pic = screenLike(40, 30);
    ASSERT_TRUE(pic.ToImage().save(dir.filePath(QStringLiteral("a.bmp"))));
    const QString gif = ConvertGraphicFileTo(dir.filePath(QStringLiteral("a.bmp")), dir.path(), QStringLiteral(".bmp"),
                                             QStringLiteral(".gif"));
    QFile f(gif);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QImage fromGif = decoded(f.readAll());
    ASSERT_EQ(fromGif.size(), QSize(40, 30));
    const TBitmap back = ConvertGraphicToBitmap(gif);
    EXPECT_EQ(back.ToImage().convertToFormat(QImage::Format_RGB32), fromGif);
}

namespace {

QByteArray twoColourAnimation()
{
    giforacle::Gif g;
    g.width = 16;
    g.height = 8;
    g.globalMap = {qRgb(255, 0, 0), qRgb(0, 0, 255)};
    for (int i = 0; i < 2; ++i) {
        giforacle::Frame f;
        f.width = 16;
        f.height = 8;
        f.indices = QByteArray(16 * 8, char(i));
        QByteArray gce("\x04\x03\x00\x00", 4); // disposal 1, delay 3 units
        f.exts = {{0xF9, gce}};
        g.frames << f;
    }
    return giforacle::Write(g);
}

} // namespace

TEST_F(GifSave, AnAnimationPlaysInThePictureControl)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("anim.gif"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(twoColourAnimation());
    f.close();
    TImage view;
    view.Picture().LoadFromFile(file);
    view.PictureChanged();
    view.show();
    QSet<QRgb> seen;
    QElapsedTimer t;
    t.start();
    while (seen.size() < 2 && t.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        seen << view.grab().toImage().pixel(4, 4);
    }
    EXPECT_TRUE(seen.contains(qRgb(255, 0, 0)));
    EXPECT_TRUE(seen.contains(qRgb(0, 0, 255)));

    // A damaged file leaves the shown picture as it was.
    QFile bad(dir.filePath(QStringLiteral("bad.gif")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(twoColourAnimation().left(20));
    bad.close();
    TGraphic *before = view.Picture().Graphic();
    EXPECT_THROW(view.Picture().LoadFromFile(bad.fileName()), EGraphicError);
    EXPECT_EQ(view.Picture().Graphic(), before);
    EXPECT_EQ(view.Picture().Width(), 16);
}

namespace {

QString runMagick(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/") + tool, args);
    p.waitForFinished(20000);
    return p.exitCode() == 0 ? QStringLiteral("ok") : QString::fromUtf8(p.readAllStandardError());
}

// A 16-colour icon written by ImageMagick (a 32 x 32 and a 16 x 16 entry,
// 4 bits per pixel, each with its mask) from a picture of 15 colours and a
// transparent disc edge. Along the rows a colour comes back before black
// first shows (white, red, blue, red, black, ...), and the halves differ.
QString sixteenColourIcon(const QTemporaryDir &dir)
{
    static const QRgb colours[15] = {0xFF0000, 0x0000FF, 0x000000, 0x808000, 0x008000, 0x800080, 0x008080, 0xC0C0C0,
                                     0x808080, 0x00FF00, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x000080};
    static const int rowStart[4] = {0, 1, 0, 2};
    QImage big(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int dx = x - 16, dy = y - 16;
            const int k = x < 16 ? rowStart[x % 4] : 3 + (x + y / 3) % 12;
            big.setPixel(x, y, dx * dx + dy * dy > 15 * 15 ? qRgba(0, 0, 0, 0) : colours[k] | 0xFF000000);
        }
    const QString a = dir.filePath(QStringLiteral("a.png")), b = dir.filePath(QStringLiteral("b.png"));
    big.save(a);
    big.scaled(16, 16).save(b);
    const QString ico = dir.filePath(QStringLiteral("sixteen.ico"));
    EXPECT_EQ(runMagick(QStringLiteral("convert"), {a, b, QStringLiteral("-colors"), QStringLiteral("16"),
                                                    QStringLiteral("-type"), QStringLiteral("PaletteAlpha"), ico}),
              QStringLiteral("ok"));
    return ico;
}

} // namespace

TEST_F(GifSave, ASixteenColourIconOpenedAsBitmapSavesUnderDefaults)
{
    RegisterPictureCodecs();
    RegisterPictureFileClasses();
    QTemporaryDir dir;
    const QString ico = sixteenColourIcon(dir);
    QFile icoFile(ico);
    ASSERT_TRUE(icoFile.open(QIODevice::ReadOnly));
    const QByteArray icoBytes = icoFile.readAll();
    // Two directory entries, both of 4 bits per pixel, stored as bitmaps.
    ASSERT_GE(icoBytes.size(), 38);
    ASSERT_EQ(icoBytes[4], 2);
    for (int e = 0; e < 2; ++e) {
        ASSERT_EQ(icoBytes[6 + 16 * e + 6], 4);
        const int offset = int(quint8(icoBytes[6 + 16 * e + 12])) | int(quint8(icoBytes[6 + 16 * e + 13])) << 8;
        ASSERT_EQ(icoBytes[offset], 40);
    }
    // What the opened picture has to look like: ImageMagick's first entry
    // over white.
    const QString want = dir.filePath(QStringLiteral("want.png"));
    ASSERT_EQ(runMagick(QStringLiteral("convert"), {ico + QStringLiteral("[0]"), QStringLiteral("-background"),
                                                    QStringLiteral("white"), QStringLiteral("-flatten"), want}),
              QStringLiteral("ok"));
    for (const bool asBitmap : {true, false}) {
        SCOPED_TRACE(asBitmap);
        std::unique_ptr<TGraphic> opened =
            asBitmap ? std::unique_ptr<TGraphic>(ConvertToBmp(ico)) : LoadPictureGraphic(ico);
        TBitmap bmp;
        bmp.Assign(*opened);
        ASSERT_EQ(bmp.Width(), 32);
        TZelkoraOptions o;
        QByteArray gif;
        ASSERT_NO_THROW(gif = EncodePicture(bmp, ptGif, o, TSaveOrigin::SaveDialog));
        QFile out(dir.filePath(QStringLiteral("sixteen.gif")));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(gif);
        out.close();
        QProcess giftext;
        giftext.start(QStringLiteral("giftext"), {out.fileName()});
        ASSERT_TRUE(giftext.waitForFinished(20000));
        EXPECT_EQ(giftext.exitCode(), 0) << giftext.readAllStandardError().constData();
        EXPECT_TRUE(giftext.readAllStandardOutput().contains("Width = 32, Height = 32"));
        if (asBitmap) {
            QProcess cmp;
            cmp.start(QStringLiteral("/usr/bin/compare"),
                      {QStringLiteral("-metric"), QStringLiteral("AE"), out.fileName(), want, QStringLiteral("null:")});
            ASSERT_TRUE(cmp.waitForFinished(20000));
            EXPECT_EQ(QString::fromUtf8(cmp.readAllStandardError()).trimmed(), QStringLiteral("0"));
        }
    }
}

TEST_F(GifSave, IndicesPastAShortBmpPaletteSaveAsTheBlackTheyShow)
{
    RegisterPictureCodecs();
    RegisterPictureFileClasses();
    // 7 x 3, 4 bits per pixel, five palette entries declared and used; the
    // pixel at (x, y) is index (x + 2y) mod 10, so half of them lie past
    // the palette.
    static const QRgb palette[5] = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0xFFFFFF};
    auto le = [](QByteArray &b, quint32 v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    QByteArray bmp("BM");
    le(bmp, 14 + 40 + 20 + 12, 4), le(bmp, 0, 4), le(bmp, 14 + 40 + 20, 4);
    le(bmp, 40, 4), le(bmp, 7, 4), le(bmp, 3, 4), le(bmp, 1, 2), le(bmp, 4, 2), le(bmp, 0, 4), le(bmp, 12, 4);
    le(bmp, 2835, 4), le(bmp, 2835, 4), le(bmp, 5, 4), le(bmp, 0, 4);
    for (QRgb c : palette)
        le(bmp, c, 4);
    for (int y = 2; y >= 0; --y) { // bottom-up
        QByteArray row(4, '\0');
        for (int x = 0; x < 7; ++x)
            row[x / 2] = char(uchar(row[x / 2]) | ((x + 2 * y) % 10) << (x % 2 ? 0 : 4));
        bmp += row;
    }
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("short.bmp")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bmp);
    f.close();
    TBitmap opened;
    opened.Assign(*LoadPictureGraphic(f.fileName()));
    QByteArray gif;
    ASSERT_NO_THROW(gif = EncodePicture(opened, ptGif, TZelkoraOptions{}, TSaveOrigin::SaveDialog));
    const QImage back = decoded(gif);
    ASSERT_EQ(back.size(), QSize(7, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            const int index = (x + 2 * y) % 10;
            EXPECT_EQ(back.pixel(x, y), (index < 5 ? palette[index] : 0u) | 0xFF000000u) << x << "," << y;
        }
}
