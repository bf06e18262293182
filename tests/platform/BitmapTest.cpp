// TBitmap: depths, row layouts, palettes, conversions, canvas, transparency,
// and the TPicture registry and clipboard.
#include "Bitmap.h"
#include "BmpCodec.h"
#include "Graphic.h"
#include "PixelRows.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

using namespace zk;

TEST(Bitmap, ScanLinesHoldTheDeclaredRowLayout)
{
    // Expected bytes are spelled out by hand from the DIB row layouts.
    TBitmap b1(10, 2, pf1bit);
    b1.SetPalette({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    b1.SetPixel(0, 0, clWhite);
    b1.SetPixel(9, 0, clWhite);
    EXPECT_EQ(b1.Stride(), 4u);
    EXPECT_EQ(b1.ScanLine(0)[0], 0x80);
    EXPECT_EQ(b1.ScanLine(0)[1], 0x40);

    TBitmap b4(3, 1, pf4bit);
    b4.SetPixel(0, 0, clMaroon); // VGA index 1
    b4.SetPixel(1, 0, clWhite);  // index 15
    b4.SetPixel(2, 0, clBlue);   // index 12
    EXPECT_EQ(b4.ScanLine(0)[0], 0x1F);
    EXPECT_EQ(b4.ScanLine(0)[1], 0xC0);

    TBitmap b15(1, 1, pf15bit);
    b15.SetPixel(0, 0, RGBToTColor(255, 0, 8)); // 11111 00000 00001
    EXPECT_EQ(b15.ScanLine(0)[0], 0x01);
    EXPECT_EQ(b15.ScanLine(0)[1], 0x7C);

    TBitmap b16(1, 1, pf16bit);
    b16.SetPixel(0, 0, RGBToTColor(0, 255, 0)); // 00000 111111 00000
    EXPECT_EQ(b16.ScanLine(0)[0], 0xE0);
    EXPECT_EQ(b16.ScanLine(0)[1], 0x07);

    TBitmap b24(2, 1, pf24bit);
    b24.SetPixel(1, 0, RGBToTColor(1, 2, 3));
    EXPECT_EQ(b24.Stride(), 8u);
    EXPECT_EQ(b24.ScanLine(0)[3], 3);
    EXPECT_EQ(b24.ScanLine(0)[4], 2);
    EXPECT_EQ(b24.ScanLine(0)[5], 1);

    TBitmap b32(1, 1, pf32bit);
    b32.SetPixel(0, 0, RGBToTColor(10, 20, 30));
    EXPECT_EQ(b32.ScanLine(0)[0], 30);
    EXPECT_EQ(b32.ScanLine(0)[2], 10);

    EXPECT_THROW(b32.ScanLine(1), EInvalidGraphicOperation);
    EXPECT_THROW(b32.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmap, ConversionsKeepColoursAndFittingPalettes)
{
    TBitmap b(4, 1, pf24bit);
    b.SetPixel(0, 0, clRed);
    b.SetPixel(1, 0, clNavy);
    b.SetPixel(2, 0, clSilver);
    b.SetPixel(3, 0, clYellow);
    // All four are VGA colours: 4 bits keeps them exactly.
    b.SetPixelFormat(pf4bit);
    EXPECT_EQ(b.PixelFormat(), pf4bit);
    EXPECT_EQ(b.Pixel(0, 0), clRed);
    EXPECT_EQ(b.Pixel(1, 0), clNavy);
    EXPECT_EQ(b.Pixel(2, 0), clSilver);
    EXPECT_EQ(b.Pixel(3, 0), clYellow);
    const uchar row4 = b.ScanLine(0)[0];
    // 4 -> 8 bits: the palette fits, indices carry over.
    b.SetPixelFormat(pf8bit);
    EXPECT_EQ(b.Palette().size(), 16);
    EXPECT_EQ(b.ScanLine(0)[0], row4 >> 4);
    EXPECT_EQ(b.ScanLine(0)[1], row4 & 0x0F);
    b.SetPixelFormat(pf32bit);
    EXPECT_EQ(b.Pixel(3, 0), clYellow);
    EXPECT_EQ(b.ScanLine(0)[3], 0xFF);
    EXPECT_TRUE(b.Palette().isEmpty());
    b.SetPixelFormat(pfDevice);
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphicOperation);

    // Monochrome: dark to black, light to white.
    b.SetMonochrome(true);
    EXPECT_TRUE(b.Monochrome());
    EXPECT_EQ(b.Pixel(1, 0), clBlack);
    EXPECT_EQ(b.Pixel(3, 0), clWhite);
    b.SetMonochrome(false);
    EXPECT_EQ(b.PixelFormat(), pf24bit);

    TBitmap p(1, 1, pf1bit);
    EXPECT_THROW(p.SetPalette({1, 2, 3}), EInvalidGraphicOperation);
}

TEST(Bitmap, ResizingKeepsTheOverlapAndHonoursTheLimit)
{
    TBitmap b(5, 3, pf4bit);
    b.SetPixel(4, 2, clWhite);
    b.SetPixel(0, 0, clRed);
    b.SetSize(3, 3);
    b.SetSize(6, 4);
    EXPECT_EQ(b.Pixel(0, 0), clRed);
    EXPECT_EQ(b.Pixel(4, 2), clBlack); // cut off by the narrowing, then new
    EXPECT_EQ(b.Pixel(5, 3), clBlack);

    TBitmap::SetMaxPixels(100);
    EXPECT_THROW(b.SetSize(11, 10), EInvalidGraphic);
    EXPECT_EQ(b.Width(), 6); // unchanged
    TBitmap::SetMaxPixels(0);
    EXPECT_EQ(TBitmap::MaxPixels(), TBitmap::DefaultMaxPixels);
}

TEST(Bitmap, CanvasDrawsAtEveryDepth)
{
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(BitsPerPixel(pf));
        TBitmap b(8, 6, pf);
        if (pf == pf1bit)
            b.SetPalette({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        {
            auto c = b.Canvas();
            c->fillRect(QRect(0, 0, 8, 6), Qt::white);
            c->fillRect(QRect(2, 1, 3, 2), Qt::black);
            EXPECT_THROW(b.SetSize(1, 1), EInvalidGraphicOperation);
        }
        EXPECT_EQ(b.Pixel(0, 0), clWhite);
        EXPECT_EQ(b.Pixel(2, 1), clBlack);
        EXPECT_EQ(b.Pixel(4, 2), clBlack);
        EXPECT_EQ(b.Pixel(5, 2), clWhite);
        EXPECT_EQ(b.Pixel(2, 3), clWhite);
    }
}

TEST(Bitmap, LaterCanvasesDrawIntoThePictureAsItIsNow)
{
    // The second canvas reuses the first one's image; a resize, a format
    // change or an assignment in between must not leave it drawing into the
    // old buffer.
    TBitmap b(8, 6, pf24bit);
    b.Canvas()->fillRect(QRect(0, 0, 8, 6), Qt::white);
    b.Canvas()->fillRect(QRect(1, 1, 1, 1), Qt::red);
    EXPECT_EQ(b.Pixel(1, 1), clRed);
    b.SetSize(20, 10);
    b.Canvas()->fillRect(QRect(15, 8, 1, 1), Qt::blue);
    EXPECT_EQ(b.Pixel(15, 8), clBlue);
    b.SetPixelFormat(pf32bit);
    b.Canvas()->fillRect(QRect(16, 8, 1, 1), Qt::green);
    EXPECT_EQ(b.Pixel(16, 8), TColor(0x00FF00));
    TBitmap other(20, 10, pf32bit);
    b = other;
    b.Canvas()->fillRect(QRect(0, 0, 1, 1), Qt::white);
    EXPECT_EQ(b.Pixel(0, 0), clWhite);
    EXPECT_NE(other.Pixel(0, 0), clWhite);

    // ReadPixels: a span of a row as opaque colours, at every depth.
    for (TPixelFormat pf : {pf8bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap c(6, 2, pf);
        c.Canvas()->fillRect(QRect(0, 0, 6, 2), Qt::white);
        c.Canvas()->fillRect(QRect(3, 1, 2, 1), Qt::black);
        QRgb span[3] = {};
        c.ReadPixels(2, 1, 3, span);
        EXPECT_EQ(span[0], qRgb(255, 255, 255)) << BitsPerPixel(pf);
        EXPECT_EQ(span[1], qRgb(0, 0, 0)) << BitsPerPixel(pf);
        EXPECT_EQ(span[2], qRgb(0, 0, 0)) << BitsPerPixel(pf);
    }
}

TEST(Bitmap, PaletteCanvasKeepsIndicesOfUntouchedPixels)
{
    // Entries 1 and 2 are the same colour: drawing elsewhere must not move
    // pixels from index 2 to index 1.
    TBitmap b(4, 1, pf8bit);
    b.SetPalette({qRgb(0, 0, 0), qRgb(9, 9, 9), qRgb(9, 9, 9), qRgb(250, 0, 0)});
    b.ScanLine(0)[1] = 2;
    {
        auto c = b.Canvas();
        c->fillRect(QRect(3, 0, 1, 1), QColor(240, 10, 10)); // nearest: entry 3
    }
    EXPECT_EQ(b.ScanLine(0)[0], 0);
    EXPECT_EQ(b.ScanLine(0)[1], 2);
    EXPECT_EQ(b.ScanLine(0)[3], 3);
}

TEST(Bitmap, TextOnTheCanvasIsSizedAt96Dpi)
{
    TBitmap b(200, 100, pf24bit);
    auto c = b.Canvas();
    QFont f;
    f.setPointSize(12); // 16 pixels at 96 dpi
    c->setFont(f);
    EXPECT_EQ(c->fontInfo().pixelSize(), 16);
}

TEST(Bitmap, TransparencyUsesTheBottomLeftColourUnlessFixed)
{
    TBitmap b(3, 2, pf24bit);
    {
        auto c = b.Canvas();
        c->fillRect(QRect(0, 0, 3, 2), Qt::green);
        c->fillRect(QRect(1, 0, 1, 1), Qt::red);
    }
    EXPECT_EQ(b.TransparentMode(), tmAuto);
    EXPECT_EQ(b.TransparentColor(), clLime);
    b.SetTransparent(true);

    QImage target(3, 2, QImage::Format_RGB32);
    target.fill(Qt::blue);
    {
        QPainter p(&target);
        b.Draw(p, QRect(0, 0, 3, 2));
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255)); // the green was left out
    EXPECT_EQ(target.pixel(1, 0), qRgb(255, 0, 0));

    b.SetTransparentColor(clRed);
    EXPECT_EQ(b.TransparentMode(), tmFixed);
    EXPECT_EQ(b.TransparentColor(), clRed);
}

TEST(Bitmap, QImagesGoInAndOutAtTheirDepth)
{
    struct Case
    {
        QImage::Format in;
        TPixelFormat pf;
    };
    QImage src(5, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            src.setPixel(x, y, qRgb(x * 60, y * 80, (x + y) * 30));
    for (const Case &c : {Case{QImage::Format_Mono, pf1bit}, Case{QImage::Format_Indexed8, pf8bit},
                          Case{QImage::Format_RGB555, pf15bit}, Case{QImage::Format_RGB16, pf16bit},
                          Case{QImage::Format_RGB888, pf24bit}, Case{QImage::Format_ARGB32, pf32bit}}) {
        SCOPED_TRACE(int(c.in));
        const QImage img = src.convertToFormat(c.in);
        const TBitmap b = TBitmap::FromImage(img);
        EXPECT_EQ(b.PixelFormat(), c.pf);
        const QImage out = b.ToImage();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(out.pixel(x, y), img.pixel(x, y) | 0xFF000000u);
    }
    // 4 bits come out as Indexed8 with the 16 colours.
    TBitmap b4 = TBitmap::FromImage(src);
    b4.SetPixelFormat(pf4bit);
    const QImage i4 = b4.ToImage();
    EXPECT_EQ(i4.format(), QImage::Format_Indexed8);
    EXPECT_EQ(i4.colorCount(), 16);
    EXPECT_EQ(i4.pixel(4, 3), b4.PixelRgb(4, 3));
}

// ---------------------------------------------------------------- TPicture

namespace {

// A graphic of another class: a plain red square that knows how to draw.
class RedSquare : public TGraphic
{
public:
    QString ClassName() const override { return QStringLiteral("TRedSquare"); }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<RedSquare>(*this); }
    bool Empty() const override { return false; }
    int Width() const override { return 4; }
    int Height() const override { return 3; }
    void LoadFromStream(QIODevice &stream) override
    {
        if (stream.read(3) != "RSQ")
            throw EInvalidGraphic(QStringLiteral("not a red square"));
    }
    void SaveToStream(QIODevice &stream) override { stream.write("RSQ"); }
    void Draw(QPainter &p, const QRect &r) const override { p.fillRect(r, Qt::red); }
    QImage ToImage() const override
    {
        QImage i(4, 3, QImage::Format_RGB32);
        i.fill(Qt::red);
        return i;
    }
};

} // namespace

TEST(Picture, RegistryFindsClassesByExtensionWithoutCase)
{
    ASSERT_NE(TPicture::FindFileFormat("BMP"), nullptr);
    EXPECT_EQ(TPicture::FindFileFormat(".Bmp")->className, "TBitmap");
    EXPECT_EQ(TPicture::FindFileFormat("xyz"), nullptr);
    EXPECT_THROW(TPicture::CreateForExtension(".xyz"), EInvalidGraphic);

    TPicture::RegisterFileFormat<RedSquare>("RSQ", "Red squares");
    EXPECT_EQ(TPicture::FindFileFormat("rsq")->description, "Red squares");
    EXPECT_TRUE(TPicture::GraphicFilter().contains("Red squares (*.rsq)"));
    TPicture::UnregisterGraphicClass("TRedSquare");
    EXPECT_EQ(TPicture::FindFileFormat("rsq"), nullptr);
}

TEST(Picture, FilesLoadThroughTheRegisteredClassAndFailuresKeepThePicture)
{
    QTemporaryDir dir;
    TPicture pic;
    TBitmap &b = pic.Bitmap();
    b.SetSize(6, 5);
    b.SetPixel(2, 3, clTeal);
    const QString path = dir.path() + "/Picture.BMP";
    pic.SaveToFile(path);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Picture.BMP"});

    TPicture loaded;
    loaded.LoadFromFile(path);
    ASSERT_NE(dynamic_cast<TBitmap *>(loaded.Graphic()), nullptr);
    EXPECT_EQ(loaded.Bitmap().Pixel(2, 3), clTeal);

    // A damaged file under a known extension, a missing file, an unknown
    // extension: each raises and the picture keeps what it had.
    QFile bad(dir.path() + "/bad.bmp");
    bad.open(QIODevice::WriteOnly);
    bad.write("BMxxxx");
    bad.close();
    EXPECT_THROW(loaded.LoadFromFile(bad.fileName()), EInvalidGraphic);
    EXPECT_THROW(loaded.LoadFromFile(dir.path() + "/missing.bmp"), EGraphicFileError);
    EXPECT_THROW(loaded.LoadFromFile(dir.path() + "/picture.xyz"), EInvalidGraphic);
    EXPECT_EQ(loaded.Bitmap().Pixel(2, 3), clTeal);

    // Saving over an existing file that cannot be replaced leaves it alone.
    EXPECT_THROW(loaded.SaveToFile(dir.path()), EGraphicFileError);
}

TEST(Picture, AssignCopiesBetweenClasses)
{
    TPicture pic;
    RedSquare square;
    pic.Assign(&square);
    EXPECT_EQ(pic.Graphic()->ClassName(), "TRedSquare");
    // A bitmap takes any graphic by drawing it.
    TBitmap b;
    b.Assign(square);
    EXPECT_EQ(b.Width(), 4);
    EXPECT_EQ(b.Pixel(3, 2), clRed);
    // A graphic that knows nothing of bitmaps refuses them.
    RedSquare other;
    EXPECT_THROW(other.Assign(b), EInvalidGraphicOperation);
    // The picture's Bitmap replaces a graphic of another class.
    EXPECT_TRUE(pic.Bitmap().Empty());
    pic.Assign(nullptr);
    EXPECT_TRUE(pic.Empty());
}

TEST(Picture, ClipboardCarriesTheImage)
{
    TPicture pic;
    TBitmap &b = pic.Bitmap();
    b.SetSize(7, 3);
    b.SetPixel(6, 2, clPurple);
    pic.SaveToClipboard();
    ASSERT_TRUE(TPicture::ClipboardHasPicture());
    TPicture pasted;
    pasted.LoadFromClipboard();
    EXPECT_EQ(pasted.Width(), 7);
    EXPECT_EQ(pasted.Bitmap().Pixel(6, 2), clPurple);

    // A registered clipboard format wins over the plain image.
    TPicture::RegisterClipboardFormat("application/x-zk-redsquare", "TRedSquare",
                                      [] { return std::unique_ptr<TGraphic>(new RedSquare()); });
    RedSquare square;
    pic.Assign(&square);
    pic.SaveToClipboard();
    pasted.LoadFromClipboard();
    EXPECT_EQ(pasted.Graphic()->ClassName(), "TRedSquare");
    TPicture::UnregisterGraphicClass("TRedSquare");

    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(TPicture::ClipboardHasPicture());
    EXPECT_THROW(pasted.LoadFromClipboard(), EInvalidGraphic);
    EXPECT_EQ(pasted.Graphic()->ClassName(), "TRedSquare");
}

TEST(Bitmap, TrueColourChangesKeepEveryPixelAndClearThePadding)
{
    // From 24, 32 and 8 bits (full and short palettes) to 24 and 32 bits,
    // at widths with and without row padding.
    for (int w : {1, 2, 3, 5, 33, 70}) {
        TBitmap source(w, 4, pf24bit);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < w; ++x)
                source.SetPixel(x, y, TColor((x * 0x3B + y * 0x91) << 4 | (x ^ y) * 0x010101));
        TBitmap pal8 = source;
        pal8.SetPixelFormat(pf8bit);
        TBitmap short8 = pal8;
        short8.SetPalette(pal8.Palette().mid(0, 20)); // higher indices read as black
        TBitmap from32 = source;
        from32.SetPixelFormat(pf32bit);
        for (const TBitmap *from : {&source, &from32, &pal8, &short8}) {
            for (TPixelFormat to : {pf24bit, pf32bit}) {
                TBitmap b = *from;
                b.SetPixelFormat(to);
                ASSERT_EQ(b.PixelFormat(), to);
                for (int y = 0; y < 4; ++y) {
                    for (int x = 0; x < w; ++x) {
                        ASSERT_EQ(b.PixelRgb(x, y), from->PixelRgb(x, y))
                            << "w " << w << " from " << int(from->PixelFormat()) << " to " << int(to);
                        if (to == pf32bit) {
                            EXPECT_EQ(b.ScanLine(y)[4 * x + 3], 0xFF);
                        }
                    }
                    for (size_t i = size_t(w) * (to == pf32bit ? 4 : 3); i < b.Stride(); ++i)
                        EXPECT_EQ(b.ScanLine(y)[i], 0) << "padding w " << w;
                }
            }
        }
        // Shrunk from 32 bits, a picture keeps its buffer and is widened
        // again in place, to the same bytes.
        TBitmap again = from32;
        again.SetPixelFormat(pf24bit);
        const uchar *buffer = again.ScanLine(0);
        again.SetPixelFormat(pf32bit);
        EXPECT_EQ(again.ScanLine(0), buffer) << "w " << w;
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(std::memcmp(again.ScanLine(y), from32.ScanLine(y), from32.Stride()), 0) << "w " << w;
    }
}

// Widening in place (a picture with room behind its rows) walks the rows
// from the last one back, each row through the row functions of the path
// allowed: at heights 1 to 3 and widths with and without row padding, the
// bytes must be those the new buffer gets, on every path.
TEST(Bitmap, WideningInPlaceGivesTheBytesOfANewBufferOnEveryPath)
{
    struct Restore
    {
        ~Restore() { LimitPixelRowPaths(PixelRowPaths::Avx512); }
    } restore;
    for (PixelRowPaths path : {PixelRowPaths::Plain, PixelRowPaths::Ssse3, PixelRowPaths::Avx512})
        for (int h : {1, 2, 3})
            for (int w : {1, 2, 3, 5, 17, 65, 130}) {
                LimitPixelRowPaths(path);
                TBitmap fresh(w, h, pf24bit); // small: no room, widened into a new buffer
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < 3 * w; ++x)
                        fresh.ScanLine(y)[x] = uchar(x * 37 + y * 101 + w);
                // Shrunk from 32 bits, a picture keeps its buffer as room.
                TBitmap roomy(w, h, pf32bit);
                roomy.SetPixelFormat(pf24bit);
                for (int y = 0; y < h; ++y) {
                    std::memcpy(roomy.ScanLine(y), fresh.ScanLine(y), 3 * std::size_t(w));
                    std::memset(roomy.ScanLine(y) + 3 * w, 0x5A, roomy.Stride() - 3 * std::size_t(w));
                }
                const uchar *buffer = roomy.ScanLine(0);
                roomy.SetPixelFormat(pf32bit);
                LimitPixelRowPaths(PixelRowPaths::Plain);
                fresh.SetPixelFormat(pf32bit);
                ASSERT_EQ(roomy.ScanLine(0), buffer);
                for (int y = 0; y < h; ++y)
                    ASSERT_EQ(std::memcmp(roomy.ScanLine(y), fresh.ScanLine(y), 4 * std::size_t(w)), 0)
                        << "path " << int(path) << " w " << w << " h " << h << " row " << y;
            }
}

// A large 24-bit picture as the program makes one (sized, copied, taken from
// a Qt image, read from a BMP file) has room for its 32-bit form: the change
// to 32 bits keeps its buffer. One handed over in a buffer of exactly its
// rows has none and is widened into a new one. Both give the same pixels.
TEST(Bitmap, LargeNewPicturesWidenInPlaceAndOnesWithoutRoomStillWiden)
{
    const int w = 1101, h = 1000; // 4.4 MB in 32 bits; 24-bit rows padded by one byte
    TBitmap sized(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            sized.ScanLine(y)[x] = uchar(x * 7 + y * 13);
    const QImage expected = sized.ToImage().convertToFormat(QImage::Format_RGB32);

    TBitmap copied = sized;
    TBitmap fromImage = TBitmap::FromImage(sized.ToImage());
    QBuffer file;
    file.open(QIODevice::ReadWrite);
    sized.SaveToStream(file);
    file.seek(0);
    TBitmap read;
    read.LoadFromStream(file);
    PixelBuffer exact(sized.Stride() * std::size_t(h));
    std::memcpy(exact.data(), sized.ScanLine(0), exact.size());
    TBitmap adopted;
    adopted.Adopt(w, h, pf24bit, std::move(exact));

    const std::pair<const char *, TBitmap *> pictures[] = {
        {"copied", &copied}, {"from image", &fromImage}, {"read", &read}, {"adopted", &adopted}, {"sized", &sized}};
    for (const auto &[name, b] : pictures) {
        const uchar *buffer = b->ScanLine(0);
        b->SetPixelFormat(pf32bit);
        EXPECT_EQ(b->ScanLine(0) == buffer, std::strcmp(name, "adopted") != 0) << name;
        EXPECT_EQ(b->ToImage().convertToFormat(QImage::Format_RGB32), expected) << name;
        for (int y : {0, h / 2, h - 1})
            EXPECT_EQ(b->ScanLine(y)[4 * (w - 1) + 3], 0xFF) << name;
    }
}
