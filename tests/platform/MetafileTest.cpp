// TMetafile: bitmap metafiles written and read back, foreign bitmap-only
// metafiles read, drawing metafiles refused.
#include "Metafile.h"
#include "PictureOracles.h"

#include <gtest/gtest.h>

#include <QtEndian>

using namespace zk;
using namespace zktest;

namespace {

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray &b, qint64 v)
{
    put16(b, int(v & 0xFFFF));
    put16(b, int((v >> 16) & 0xFFFF));
}
quint32 get32(const QByteArray &b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
void set32(QByteArray &b, int at, quint32 v) { qToLittleEndian<quint32>(v, b.data() + at); }

TBitmap pictureAt(TPixelFormat pf, int w, int h)
{
    TBitmap bmp = TBitmap::FromImage(screenshotLike(w, h));
    bmp.SetPixelFormat(pf);
    return bmp;
}

// Same depth, palette and pixel bytes.
::testing::AssertionResult sameBitmap(const TBitmap &a, const TBitmap &b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return ::testing::AssertionFailure() << "size " << a.Width() << "x" << a.Height() << " vs " << b.Width()
                                             << "x" << b.Height();
    if (a.PixelFormat() != b.PixelFormat())
        return ::testing::AssertionFailure() << "format " << a.PixelFormat() << " vs " << b.PixelFormat();
    if (a.Palette() != b.Palette())
        return ::testing::AssertionFailure() << "palettes differ";
    const std::size_t used = (std::size_t(a.Width()) * std::size_t(a.BitsPerPixel()) + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        for (std::size_t i = 0; i < used; ++i) {
            uchar pa = a.ScanLine(y)[i], pb = b.ScanLine(y)[i];
            if (a.BitsPerPixel() == 32 && i % 4 == 3)
                continue; // the unused fourth byte
            if (i + 1 == used && a.BitsPerPixel() < 8 && (a.Width() * a.BitsPerPixel()) % 8) {
                const int keep = (a.Width() * a.BitsPerPixel()) % 8;
                pa &= uchar(0xFF << (8 - keep));
                pb &= uchar(0xFF << (8 - keep));
            }
            if (pa != pb)
                return ::testing::AssertionFailure() << "row " << y << " byte " << i;
        }
    return ::testing::AssertionSuccess();
}

// An EMF built by hand: header, the given records, EOF.
QByteArray emfWith(int w, int h, const QList<QByteArray> &records)
{
    QByteArray body;
    for (const QByteArray &r : records)
        body += r;
    QByteArray f;
    put32(f, 1);
    put32(f, 108);
    put32(f, 0); put32(f, 0); put32(f, w - 1); put32(f, h - 1);
    put32(f, 0); put32(f, 0); put32(f, w * 26); put32(f, h * 26);
    put32(f, 0x464D4520);
    put32(f, 0x10000);
    put32(f, 108 + body.size() + 20);
    put32(f, 2 + records.size());
    put16(f, 1); put16(f, 0);
    put32(f, 0); put32(f, 0); put32(f, 0);
    put32(f, 1920); put32(f, 1080); put32(f, 508); put32(f, 286);
    put32(f, 0); put32(f, 0); put32(f, 0);
    put32(f, 508000); put32(f, 285750);
    f += body;
    put32(f, 14); put32(f, 20); put32(f, 0); put32(f, 16); put32(f, 20);
    return f;
}

// A 24-bit DIB (header + rows) of one colour.
QByteArray solidDib(int w, int h, QRgb c, QByteArray *bitsOut)
{
    QByteArray info;
    const int stride = ((w * 24 + 31) / 32) * 4;
    put32(info, 40); put32(info, w); put32(info, h); put16(info, 1); put16(info, 24);
    put32(info, 0); put32(info, stride * h); put32(info, 0); put32(info, 0); put32(info, 0); put32(info, 0);
    QByteArray bits(stride * h, '\0');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bits[y * stride + 3 * x] = char(qBlue(c));
            bits[y * stride + 3 * x + 1] = char(qGreen(c));
            bits[y * stride + 3 * x + 2] = char(qRed(c));
        }
    *bitsOut = bits;
    return info;
}

QByteArray stretchDibits(int x, int y, int w, int h, QRgb c)
{
    QByteArray bits;
    const QByteArray info = solidDib(w, h, c, &bits);
    QByteArray r;
    put32(r, 81);
    put32(r, 80 + info.size() + bits.size());
    put32(r, x); put32(r, y); put32(r, x + w - 1); put32(r, y + h - 1);
    put32(r, x); put32(r, y); put32(r, 0); put32(r, 0); put32(r, w); put32(r, h);
    put32(r, 80); put32(r, info.size()); put32(r, 80 + info.size()); put32(r, bits.size());
    put32(r, 0); put32(r, 0x00CC0020); put32(r, w); put32(r, h);
    return r + info + bits;
}

class MetafileTest : public ::testing::Test {
protected:
    void SetUp() override { dir = scratchDir(QStringLiteral("metafile")); }
    QString dir;
};

TEST_F(MetafileTest, EnhancedAndPlaceableFilesReadBackPixelIdenticalAtEveryDepth)
{
    for (bool enhanced : {true, false})
        for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
            const TBitmap src = pictureAt(pf, 123, 77);
            TMetafile mf;
            mf.SetEnhanced(enhanced);
            mf.SetDescription(QStringLiteral("Zelkora"), QStringLiteral("Zelkora EMF-Grafik"));
            mf.Assign(src);
            const QByteArray data = mf.SaveToBytes();

            TMetafile back;
            back.LoadFromBytes(data);
            EXPECT_EQ(back.Enhanced(), enhanced);
            EXPECT_EQ(back.Width(), 123);
            EXPECT_EQ(back.Height(), 77);
            EXPECT_TRUE(sameBitmap(back.Bitmap(), src)) << (enhanced ? "emf " : "wmf ") << pf;
            if (enhanced) {
                EXPECT_EQ(back.Description(), QStringLiteral("Zelkora EMF-Grafik"));
                EXPECT_EQ(back.CreatedBy(), QStringLiteral("Zelkora"));
            }
        }
}

TEST_F(MetafileTest, FilesWeWriteHaveTheRecordsOtherPlayersExpect)
{
    TMetafile mf;
    mf.Assign(pictureAt(pf24bit, 40, 30));
    const QByteArray emf = mf.SaveToBytes();
    EXPECT_EQ(get32(emf, 0), 1u);
    EXPECT_EQ(get32(emf, 40), 0x464D4520u);
    EXPECT_EQ(get32(emf, 48), quint32(emf.size()));
    EXPECT_EQ(get32(emf, 52), 3u);
    const quint32 headerSize = get32(emf, 4);
    EXPECT_EQ(get32(emf, int(headerSize)), 81u); // EMR_STRETCHDIBITS
    EXPECT_EQ(get32(emf, emf.size() - 20), 14u); // EMR_EOF

    mf.SetEnhanced(false);
    const QByteArray wmf = mf.SaveToBytes();
    EXPECT_EQ(get32(wmf, 0), 0x9AC6CDD7u);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= qFromLittleEndian<quint16>(wmf.constData() + 2 * i);
    EXPECT_EQ(qFromLittleEndian<quint16>(wmf.constData() + 20), sum);
    EXPECT_EQ(get32(wmf, 22 + 6) * 2, quint32(wmf.size() - 22)); // size in words

    for (const auto &[ext, data] : {std::pair{QStringLiteral("EMF"), emf}, std::pair{QStringLiteral("WMF"), wmf}}) {
        if (!haveProgram(kIdentify) || !magickReads(ext))
            continue; // this ImageMagick has no metafile reader
        const QString file = dir + "/id." + ext.toLower();
        ASSERT_TRUE(writeBytes(file, data));
        QByteArray out;
        EXPECT_EQ(runProgram(kIdentify, {file}, &out), 0) << ext.toStdString();
    }
}

TEST_F(MetafileTest, MetafileCanvasRecordsWhatIsDrawn)
{
    TMetafile mf;
    EXPECT_THROW(TMetafileCanvas(mf, {}, {}), EInvalidGraphicOperation);
    mf.SetWidth(60);
    mf.SetHeight(40);
    {
        TMetafileCanvas canvas(mf, QStringLiteral("Zelkora"), QStringLiteral("Zelkora 5.0 Grafik"));
        canvas->fillRect(QRect(10, 10, 20, 20), QColor(200, 0, 0));
    }
    EXPECT_EQ(mf.Description(), QStringLiteral("Zelkora 5.0 Grafik"));
    TMetafile back;
    back.LoadFromBytes(mf.SaveToBytes());
    const QImage img = back.ToImage();
    EXPECT_EQ(img.size(), QSize(60, 40));
    EXPECT_EQ(img.pixel(15, 15) & 0xFFFFFF, 0xC80000u);
    EXPECT_EQ(img.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(MetafileTest, SeveralBitmapRecordsAreComposed)
{
    // Two 10x10 squares side by side in a 20x10 picture, written by hand.
    const QByteArray emf = emfWith(20, 10, {stretchDibits(0, 0, 10, 10, qRgb(255, 0, 0)),
                                            stretchDibits(10, 0, 10, 10, qRgb(0, 0, 255))});
    TMetafile mf;
    mf.LoadFromBytes(emf);
    const QImage img = mf.ToImage();
    ASSERT_EQ(img.size(), QSize(20, 10));
    EXPECT_EQ(img.pixel(3, 3) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(15, 7) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(MetafileTest, DrawingRecordsAreRefusedWithAClearMessage)
{
    // EMR_MOVETOEX is state, EMR_LINETO (54) draws a line.
    QByteArray move, line;
    put32(move, 27); put32(move, 16); put32(move, 0); put32(move, 0);
    put32(line, 54); put32(line, 16); put32(line, 10); put32(line, 10);
    const QByteArray emf = emfWith(20, 10, {stretchDibits(0, 0, 20, 10, qRgb(0, 255, 0)), move, line});

    // A placeable WMF with META_LINETO (0x0213) after the bitmap.
    TMetafile ok;
    ok.SetEnhanced(false);
    ok.Assign(pictureAt(pf24bit, 20, 10));
    QByteArray wmf = ok.SaveToBytes();
    wmf.chop(6); // META_EOF
    put32(wmf, 5); put16(wmf, 0x0213); put16(wmf, 5); put16(wmf, 5);
    put32(wmf, 3); put16(wmf, 0);

    for (const QByteArray &data : {emf, wmf}) {
        TMetafile mf;
        mf.Assign(pictureAt(pf24bit, 7, 7));
        try {
            mf.LoadFromBytes(data);
            ADD_FAILURE() << "a metafile with a line was accepted";
        } catch (const EInvalidGraphic &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8("zeichnet mehr als Bilder"))) << e.what();
        }
        EXPECT_EQ(mf.Width(), 7);
    }
}

TEST_F(MetafileTest, DamagedFilesRaiseAClearMessageAndChangeNothing)
{
    TMetafile source;
    source.Assign(pictureAt(pf8bit, 30, 20));
    const QByteArray emf = source.SaveToBytes();
    source.SetEnhanced(false);
    const QByteArray wmf = source.SaveToBytes();

    TMetafile mf;
    mf.Assign(pictureAt(pf24bit, 5, 5));
    for (const QByteArray &good : {emf, wmf}) {
        for (int cut = 0; cut < good.size(); cut += 13)
            EXPECT_THROW(mf.LoadFromBytes(good.left(cut)), EInvalidGraphic) << "cut at " << cut;
        EXPECT_EQ(mf.Width(), 5);
    }
    QByteArray bigBounds = emf;
    set32(bigBounds, 16, 0x7FFFFFF0);
    set32(bigBounds, 20, 0x7FFFFFF0);
    EXPECT_THROW(mf.LoadFromBytes(bigBounds), EInvalidGraphic);
    QByteArray badRecord = emf;
    set32(badRecord, int(get32(emf, 4)) + 4, 0xFFFFFFF0);
    EXPECT_THROW(mf.LoadFromBytes(badRecord), EInvalidGraphic);
    QByteArray dibOutside = emf;
    set32(dibOutside, int(get32(emf, 4)) + 56, 0x7FFFFFFF);
    EXPECT_THROW(mf.LoadFromBytes(dibOutside), EInvalidGraphic);
    EXPECT_THROW(mf.LoadFromBytes(QByteArray("plain text, not a picture")), EInvalidGraphic);
    EXPECT_EQ(mf.Width(), 5);
}

TEST_F(MetafileTest, RegisteredForBothExtensions)
{
    RegisterMetafileGraphics();
    const TBitmap bmp = pictureAt(pf24bit, 33, 22);
    TPicture pic;
    for (const QString &ext : {QStringLiteral("wmf"), QStringLiteral("emf")}) {
        auto g = TPicture::CreateForExtension(ext);
        ASSERT_NE(g, nullptr);
        g->Assign(bmp);
        g->SaveToFile(dir + "/reg." + ext);
        const QByteArray head = readBytes(dir + "/reg." + ext).left(4);
        EXPECT_EQ(get32(head, 0), ext == QLatin1String("wmf") ? 0x9AC6CDD7u : 1u);
        pic.LoadFromFile(dir + "/reg." + ext);
        EXPECT_EQ(pic.Graphic()->ClassName(), QStringLiteral("TMetafile"));
        EXPECT_EQ(pic.Width(), 33);
    }
}

} // namespace
