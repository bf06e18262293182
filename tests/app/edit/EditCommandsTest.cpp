// The edit commands without their window: the undo snapshot, the three
// scalings, border, footnote and tiling. ImageMagick writes the tile files and
// judges the pixel replication of the enlargement; Qt's own BMP reader reads
// what our codec wrote.
#include "BitmapFilters.h"
#include "EditCommands.h"
#include "PictureTestKit.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace zk;
using zktest::RandomPicture;
using zktest::SameBytes;

namespace {

const QString kConvert = QStringLiteral("/usr/bin/convert");


QRgb Opaque(QRgb c)
{
    return c | 0xFF000000u;
}

// A graphic whose copy into a bitmap always fails, as a copy does when memory
// runs out.
class UncopyableGraphic : public TGraphic
{
public:
    QString ClassName() const override { return QStringLiteral("TUncopyable"); }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<UncopyableGraphic>(); }
    bool Empty() const override { return false; }
    int Width() const override { return 4; }
    int Height() const override { return 4; }
    void LoadFromStream(QIODevice &) override {}
    void SaveToStream(QIODevice &) override {}
    bool AssignTo(TGraphic &) const override { throw std::bad_alloc(); }
    void Draw(QPainter &, const QRect &) const override { throw std::bad_alloc(); }
    QImage ToImage() const override { throw std::bad_alloc(); }
};

} // namespace

TEST(TextPenColor, TableOfTwelveColoursAndBlackOutside)
{
    const TColor expected[12] = {0x808080, 0x808080, 0x000000, 0xFFFFFF, 0x00FFFF, TColor(0x80000018),
                                 0xFF0000, 0xFFFF00, 0x008080, 0x008000, 0x0000FF, 0x000080};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(TextPenColor(i), expected[i]) << "index " << i;
    EXPECT_EQ(TextPenColor(12), 0);
    EXPECT_EQ(TextPenColor(-1), 0);
    EXPECT_EQ(TextPenColor(255), 0);
}

TEST(EditKinds, MenuTagsChooseTheKindAndOtherTagsKeepIt)
{
    EXPECT_EQ(ScaleKindForTag(skByValue, 1), skPersistent);
    EXPECT_EQ(ScaleKindForTag(skPersistent, 2), skTemporary);
    EXPECT_EQ(ScaleKindForTag(skTemporary, 0), skByValue);
    EXPECT_EQ(ScaleKindForTag(skTemporary, 3), skTemporary);
    EXPECT_EQ(ScaleKindForTag(skPersistent, -1), skPersistent);
    EXPECT_EQ(SmoothKindForTag(smStandard, 1), smUserDefined);
    EXPECT_EQ(SmoothKindForTag(smUserDefined, 0), smStandard);
    EXPECT_EQ(SmoothKindForTag(smUserDefined, 7), smUserDefined);
}

TEST(Snapshot, TakesACopyRestoresItAndSkipsAnEmptyPicture)
{
    TPicture picture;
    TBitmap undo = RandomPicture(3, 3, 1);
    const TBitmap before = undo;
    EXPECT_EQ(TakeSnapshot(picture, undo), TSnapshotResult::NoGraphic);
    EXPECT_TRUE(SameBytes(undo, before)) << "an empty picture leaves the snapshot alone";

    picture.Bitmap() = RandomPicture(17, 9, 2);
    const TBitmap original = picture.Bitmap();
    ASSERT_EQ(TakeSnapshot(picture, undo), TSnapshotResult::Taken);
    EXPECT_TRUE(SameBytes(undo, original));

    MirrorBitmapH(picture.Bitmap());
    ASSERT_FALSE(SameBytes(picture.Bitmap(), original));
    RestoreSnapshot(picture, undo);
    EXPECT_TRUE(SameBytes(picture.Bitmap(), original));
}

TEST(Snapshot, AFailedCopyEmptiesTheSnapshotInsteadOfKeepingAnOlderOne)
{
    TPicture picture;
    picture.SetGraphic(std::make_unique<UncopyableGraphic>());
    TBitmap undo = RandomPicture(5, 5, 3);
    EXPECT_EQ(TakeSnapshot(picture, undo), TSnapshotResult::Failed);
    EXPECT_TRUE(undo.Empty());
}

TEST(Snapshot, AnotherGraphicIsEditedAsABitmapOfTheSameLook)
{
    // A picture class other than the bitmap: a copy of the picture in a
    // graphic that only converts itself through AssignTo / Draw.
    class ImageGraphic : public TGraphic
    {
    public:
        explicit ImageGraphic(QImage img) : m_img(std::move(img)) {}
        QString ClassName() const override { return QStringLiteral("TImageGraphic"); }
        std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<ImageGraphic>(m_img); }
        bool Empty() const override { return m_img.isNull(); }
        int Width() const override { return m_img.width(); }
        int Height() const override { return m_img.height(); }
        void LoadFromStream(QIODevice &) override {}
        void SaveToStream(QIODevice &) override {}
        void Draw(QPainter &p, const QRect &r) const override { p.drawImage(r, m_img); }
        QImage ToImage() const override { return m_img; }

    private:
        QImage m_img;
    };
    QImage img(6, 4, QImage::Format_RGB32);
    img.fill(QColor(10, 200, 30));
    img.setPixel(2, 1, qRgb(250, 5, 6));
    TPicture picture;
    picture.SetGraphic(std::make_unique<ImageGraphic>(img));

    TBitmap undo;
    ASSERT_EQ(TakeSnapshot(picture, undo), TSnapshotResult::Taken);
    EXPECT_EQ(undo.Width(), 6);
    EXPECT_EQ(Opaque(undo.PixelRgb(2, 1)), qRgb(250, 5, 6));

    TBitmap &bmp = EditableBitmap(picture);
    EXPECT_EQ(bmp.Width(), 6);
    EXPECT_EQ(bmp.Height(), 4);
    EXPECT_EQ(Opaque(bmp.PixelRgb(2, 1)), qRgb(250, 5, 6));
    EXPECT_EQ(Opaque(bmp.PixelRgb(0, 0)), qRgb(10, 200, 30));
}

TEST(PersistentScale, SliderPositionsGiveFactorsTwoToFive)
{
    const int expected[9] = {-5, -4, -3, -2, 0, 2, 3, 4, 5};
    for (int p = -4; p <= 4; ++p)
        EXPECT_EQ(ScaleFactorForPosition(p), expected[p + 4]) << "position " << p;
    EXPECT_EQ(ScaleFactorForPosition(9), 5);
    EXPECT_EQ(ScaleFactorForPosition(-9), -5);
    EXPECT_EQ(ScaledSize(QSize(11, 7), -2), QSize(5, 3));
    EXPECT_EQ(ScaledSize(QSize(11, 7), 5), QSize(55, 35));
    EXPECT_EQ(ScaledSize(QSize(3, 2), -5), QSize(1, 1));
    EXPECT_EQ(ScaledSize(QSize(3, 2), 0), QSize(3, 2));
}

TEST(PersistentScale, EnlargingRepeatsEveryPixelAsImageMagickSamples)
{
    if (!zktest::haveProgram(kConvert))
        GTEST_SKIP() << "ImageMagick missing";
    QTemporaryDir dir;
    TBitmap bmp = RandomPicture(13, 7, 4);
    const QString in = dir.filePath("in.bmp"), out = dir.filePath("out.png");
    bmp.SaveToFile(in);
    ASSERT_EQ(zktest::runProgram(kConvert, {in, "-sample", "500%", out}), 0);
    const QImage oracle = QImage(out).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(oracle.size(), QSize(65, 35));

    ASSERT_TRUE(PersistentScaleBitmap(bmp, ScaleFactorForPosition(4)));
    ASSERT_EQ(bmp.Width(), 65);
    ASSERT_EQ(bmp.Height(), 35);
    EXPECT_EQ(bmp.PixelFormat(), pf24bit);
    int differing = 0;
    for (int y = 0; y < 35; ++y)
        for (int x = 0; x < 65; ++x)
            differing += Opaque(bmp.PixelRgb(x, y)) != Opaque(oracle.pixel(x, y));
    EXPECT_EQ(differing, 0);
}

TEST(PersistentScale, ReducingHalvesAndAveragesAndKeepsTheDepth)
{
    // 2 x 2 blocks of one colour each: halving gives the block colours.
    const QRgb blocks[2][3] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)},
                               {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(128, 64, 32)}};
    TBitmap bmp(6, 4, pf32bit);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const QRgb c = blocks[y / 2][x / 2];
            bmp.SetPixel(x, y, RGBToTColor(qRed(c), qGreen(c), qBlue(c)));
        }
    ASSERT_TRUE(PersistentScaleBitmap(bmp, ScaleFactorForPosition(-1)));
    ASSERT_EQ(bmp.Width(), 3);
    ASSERT_EQ(bmp.Height(), 2);
    EXPECT_EQ(bmp.PixelFormat(), pf32bit);
    EXPECT_FALSE(bmp.ToImage().hasAlphaChannel()) << "an opaque picture stays opaque";
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const QRgb got = bmp.PixelRgb(x, y), want = blocks[y][x];
            EXPECT_NEAR(qRed(got), qRed(want), 1) << x << "," << y;
            EXPECT_NEAR(qGreen(got), qGreen(want), 1) << x << "," << y;
            EXPECT_NEAR(qBlue(got), qBlue(want), 1) << x << "," << y;
        }

    // A palette picture keeps its palette and depth.
    TBitmap pal = RandomPicture(8, 8, 5, pf8bit);
    const QVector<QRgb> palette = pal.Palette();
    ASSERT_TRUE(PersistentScaleBitmap(pal, 3));
    EXPECT_EQ(pal.PixelFormat(), pf8bit);
    EXPECT_EQ(pal.Width(), 24);
    EXPECT_EQ(pal.Palette(), palette);
}

TEST(PersistentScale, FactorZeroChangesNothingAndTooLargeKeepsThePicture)
{
    TBitmap bmp = RandomPicture(20, 10, 6);
    const TBitmap before = bmp;
    EXPECT_FALSE(PersistentScaleBitmap(bmp, 0));
    EXPECT_TRUE(SameBytes(bmp, before));

    TBitmap::SetMaxPixels(20 * 10 * 4);
    EXPECT_THROW(PersistentScaleBitmap(bmp, 5), EEditCommandError);
    EXPECT_THROW(StretchBitmap(bmp, 1000, 1000), EEditCommandError);
    EXPECT_THROW(DrawBorder(bmp, 20, 20, clRed, 20, 20), EEditCommandError);
    TBitmap::SetMaxPixels(0);
    EXPECT_TRUE(SameBytes(bmp, before));
}

TEST(ScaleByValue, StretchesToTheSizeAndRefusesZero)
{
    TBitmap bmp(40, 30, pf24bit);
    {
        auto c = bmp.Canvas();
        c->fillRect(QRect(0, 0, 40, 30), QColor(90, 140, 210));
    }
    const TBitmap before = bmp;
    EXPECT_THROW(StretchBitmap(bmp, 0, 30), EEditCommandError);
    EXPECT_THROW(StretchBitmap(bmp, 30, 0), EEditCommandError);
    EXPECT_TRUE(SameBytes(bmp, before));

    StretchBitmap(bmp, 97, 13);
    EXPECT_EQ(bmp.Width(), 97);
    EXPECT_EQ(bmp.Height(), 13);
    EXPECT_EQ(bmp.PixelFormat(), pf24bit);
    // One colour in, the same colour out everywhere (smoothing adds none).
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 97; ++x)
            ASSERT_EQ(Opaque(bmp.PixelRgb(x, y)), qRgb(90, 140, 210)) << x << "," << y;
}

TEST(ScaleDialogLimits, FollowThePictureSoPresetsAreNeverShrunk)
{
    EXPECT_EQ(ViewScaleMaxima(QSize(800, 600)), QSize(1600, 1200));
    EXPECT_EQ(ViewScaleMaxima(QSize(3840, 2160)), QSize(3840, 2160));
    EXPECT_EQ(NewSizeMaxima(QSize(1920, 1080), QSize(640, 480)), QSize(1920, 1080));
    EXPECT_EQ(NewSizeMaxima(QSize(1920, 1080), QSize(2500, 900)), QSize(2500, 1080));
}

TEST(Border, WidthsOneTwoThreeFourAroundTenByTen)
{
    for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit, pf1bit}) {
        TBitmap bmp = RandomPicture(10, 10, 7, pf);
        const TBitmap old = bmp;
        DrawBorder(bmp, /*left*/ 2, /*top*/ 1, clRed, /*bottom*/ 3, /*right*/ 4);
        ASSERT_EQ(bmp.Width(), 16) << "depth " << pf;
        ASSERT_EQ(bmp.Height(), 14) << "depth " << pf;
        EXPECT_EQ(bmp.PixelFormat(), pf);
        int wrongInside = 0, wrongFrame = 0;
        const QRgb frame = pf == pf24bit || pf == pf32bit ? qRgb(255, 0, 0) : 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool inside = x >= 2 && x < 12 && y >= 1 && y < 11;
                if (inside)
                    wrongInside += bmp.PixelRgb(x, y) != old.PixelRgb(x - 2, y - 1);
                else if (frame)
                    wrongFrame += Opaque(bmp.PixelRgb(x, y)) != frame;
                else
                    wrongFrame += bmp.PixelRgb(x, y) != bmp.PixelRgb(0, 0);
            }
        EXPECT_EQ(wrongInside, 0) << "depth " << pf;
        EXPECT_EQ(wrongFrame, 0) << "depth " << pf;
    }
}

TEST(Border, DefaultColourIsWhiteAndSystemColoursWork)
{
    TBitmap bmp = RandomPicture(4, 4, 8);
    DrawBorder(bmp, 1, 1, clDefault, 1, 1);
    EXPECT_EQ(Opaque(bmp.PixelRgb(0, 0)), qRgb(255, 255, 255));
    DrawBorder(bmp, 1, 1, clBtnFace, 1, 1);
    EXPECT_EQ(Opaque(bmp.PixelRgb(0, 0)), Opaque(TColorToQColor(clBtnFace).rgb()));
}

TEST(Footnote, AddsTwentyFiveWhiteRowsAndWritesInTheTableColour)
{
    TBitmap bmp = RandomPicture(200, 30, 9);
    const TBitmap old = bmp;
    AddFootnoteRows(bmp);
    ASSERT_EQ(bmp.Height(), 55);
    for (int y = 30; y < 55; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(Opaque(bmp.PixelRgb(x, y)), qRgb(255, 255, 255));
    EXPECT_EQ(FootnoteTextOrigin(55, 10), QPoint(5, 33));

    auto inkOf = [&](int colorIndex) {
        TBitmap b = bmp;
        DrawFootnoteText(b, QStringLiteral("Hallo Welt"), QString(), 10, colorIndex);
        QRgb ink = 0;
        int minX = INT_MAX, changedAbove = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                if (b.PixelRgb(x, y) == bmp.PixelRgb(x, y))
                    continue;
                if (y < 30)
                    ++changedAbove;
                minX = std::min(minX, x);
                // The darkest changed pixel is the core of a glyph.
                if (!ink || qGray(b.PixelRgb(x, y)) < qGray(ink))
                    ink = b.PixelRgb(x, y);
            }
        EXPECT_EQ(changedAbove, 0) << "the text stays in the new rows";
        EXPECT_GE(minX, 5);
        EXPECT_LE(minX, 8);
        return Opaque(ink);
    };
    EXPECT_EQ(inkOf(2), qRgb(0, 0, 0));
    EXPECT_EQ(inkOf(0), qRgb(128, 128, 128));
    EXPECT_EQ(inkOf(1), qRgb(128, 128, 128));
    EXPECT_EQ(inkOf(10), qRgb(255, 0, 0));

    RemoveFootnoteRows(bmp);
    EXPECT_TRUE(SameBytes(bmp, old));
}

TEST(Tiling, AHundredByFiftyTileFillsTwoFiftyByOneTwenty)
{
    if (!zktest::haveProgram(kConvert))
        GTEST_SKIP() << "ImageMagick missing";
    QTemporaryDir dir;
    const QString tile = dir.filePath("tile.bmp");
    ASSERT_EQ(zktest::runProgram(kConvert, {"-size", "100x50", "plasma:fractal", "-seed", "3", "-type",
                                            "TrueColor", "BMP3:" + tile}),
              0);
    const QImage oracle = QImage(tile).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(oracle.size(), QSize(100, 50));

    TBitmap target = RandomPicture(7, 7, 10);
    EXPECT_EQ(TileFileOver(tile, target, 250, 120), 9);
    ASSERT_EQ(target.Width(), 250);
    ASSERT_EQ(target.Height(), 120);
    int wrong = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 250; ++x)
            wrong += Opaque(target.PixelRgb(x, y)) != Opaque(oracle.pixel(x % 100, y % 50));
    EXPECT_EQ(wrong, 0);
}

TEST(Tiling, SizesAreLimitedAndBadInputIsReported)
{
    QString error;
    EXPECT_EQ(ParseTileTargetSize(QStringLiteral(" 640 "), &error), 640);
    EXPECT_EQ(ParseTileTargetSize(QStringLiteral("0"), &error), 1);
    EXPECT_EQ(ParseTileTargetSize(QStringLiteral("-5"), &error), 1);
    EXPECT_EQ(ParseTileTargetSize(QStringLiteral("99999999999"), &error), 32767);
    EXPECT_FALSE(ParseTileTargetSize(QStringLiteral("zwölf"), &error).has_value());
    EXPECT_TRUE(error.contains(QStringLiteral("zwölf")));

    QTemporaryDir dir;
    const QString notBmp = dir.filePath("no.bmp");
    {
        QFile f(notBmp);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a bitmap");
    }
    TBitmap target = RandomPicture(5, 5, 11);
    const TBitmap before = target;
    EXPECT_THROW(TileFileOver(notBmp, target, 50, 50), EGraphicError);
    EXPECT_THROW(TileFileOver(dir.filePath("missing.bmp"), target, 50, 50), EGraphicError);
    EXPECT_TRUE(SameBytes(target, before));

    // A bitmap file of width 0: refused, one way or the other, never tiled.
    const QString zero = dir.filePath("zero.bmp");
    {
        QByteArray bmp("BM");
        const auto le32 = [&](qint32 v) { bmp.append(reinterpret_cast<const char *>(&v), 4); };
        const auto le16 = [&](qint16 v) { bmp.append(reinterpret_cast<const char *>(&v), 2); };
        le32(54); le16(0); le16(0); le32(54);
        le32(40); le32(0); le32(5); le16(1); le16(24); le32(0); le32(0); le32(2835); le32(2835); le32(0); le32(0);
        QFile f(zero);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bmp);
    }
    bool refused = false;
    try {
        TileFileOver(zero, target, 50, 50);
    } catch (const EEmptyTileError &) {
        refused = true;
    } catch (const EGraphicError &) {
        refused = true;
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(SameBytes(target, before));
}

TEST(Smoothing, WorksOnThePictureItselfAndUndoRestoresIt)
{
    TBitmap bmp = RandomPicture(30, 20, 12);
    TPicture picture;
    picture.Bitmap() = bmp;
    TBitmap undo;
    ASSERT_EQ(TakeSnapshot(picture, undo), TSnapshotResult::Taken);

    SmoothWholeBitmap(picture.Bitmap());
    const TBitmap &s = picture.Bitmap();
    // The frame stays; the inside is the 3x3 mean of already smoothed
    // upper/left neighbours, so check one inner pixel against that rule.
    for (int x = 0; x < 30; ++x) {
        EXPECT_EQ(s.PixelRgb(x, 0), bmp.PixelRgb(x, 0));
        EXPECT_EQ(s.PixelRgb(x, 19), bmp.PixelRgb(x, 19));
    }
    int sumRed = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const bool done = dy < 0 || (dy == 0 && dx < 0);
            sumRed += qRed((done ? s : bmp).PixelRgb(1 + dx, 1 + dy));
        }
    EXPECT_EQ(qRed(s.PixelRgb(1, 1)), sumRed / 9);

    RestoreSnapshot(picture, undo);
    EXPECT_TRUE(SameBytes(picture.Bitmap(), bmp));

    SoftenWholeBitmap(picture.Bitmap(), 60);
    EXPECT_FALSE(SameBytes(picture.Bitmap(), bmp));
    RestoreSnapshot(picture, undo);
    EXPECT_TRUE(SameBytes(picture.Bitmap(), bmp));
}
