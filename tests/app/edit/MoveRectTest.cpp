// The crop rectangle and the window-free rules of the mouse tools, without a
// display: orientations (equal x or y is none), hit tests, the grabber,
// moving, the colour table, the 1:1 crop at every depth and the key steps.
#include "Bitmap.h"
#include "ImageControl.h"
#include "MoveRect.h"

#include <QImage>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace zk;

namespace {

struct OrientationCase
{
    QPoint anchor, corner;
    TRectOrientation orientation;
    int grabberHit; // HitGrabber on the grabber's middle
};

const OrientationCase kOrientations[] = {
    {{10, 10}, {110, 60}, TRectOrientation::RightBelow, 1},
    {{110, 10}, {10, 60}, TRectOrientation::LeftBelow, 2},
    {{10, 60}, {110, 10}, TRectOrientation::RightAbove, 2},
    {{110, 60}, {10, 10}, TRectOrientation::LeftAbove, 1},
    {{10, 10}, {10, 60}, TRectOrientation::None, 0},
    {{10, 10}, {110, 10}, TRectOrientation::None, 0},
    {{10, 10}, {10, 10}, TRectOrientation::None, 0},
};

TBitmap RandomBitmap(int w, int h, TPixelFormat pf, quint32 seed)
{
    TBitmap b(w, h, pf24bit);
    QRandomGenerator gen(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, TColor(gen.bounded(0x1000000)));
    b.SetPixelFormat(pf);
    return b;
}

} // namespace

TEST(MoveRectTest, OrientationsAreStrictAndTheNormalFormIsTheSameArea)
{
    for (const OrientationCase &c : kOrientations) {
        SCOPED_TRACE(testing::Message() << c.anchor.x() << "," << c.anchor.y() << " -> " << c.corner.x() << ","
                                        << c.corner.y());
        EXPECT_EQ(OrientationOf(c.anchor, c.corner), c.orientation);
        const QRect r = NormalRect(c.anchor, c.corner);
        if (c.orientation == TRectOrientation::None)
            EXPECT_TRUE(r.isEmpty());
        else
            EXPECT_EQ(r, QRect(10, 10, 100, 50)) << "every orientation covers the same pixels";
    }
}

TEST(MoveRectTest, HitInsideCoversTheNormalRectangleOnlyAndSetsInside)
{
    for (const OrientationCase &c : kOrientations) {
        TMoveRect r;
        r.Anchor = c.anchor;
        r.Corner = c.corner;
        const bool area = c.orientation != TRectOrientation::None;
        EXPECT_EQ(r.HitInside({10, 10}), area) << "top-left pixel belongs to it";
        EXPECT_EQ(r.Inside, area);
        TMoveRect s = r;
        s.Inside = false;
        EXPECT_EQ(s.HitInside({109, 59}), area) << "bottom-right pixel belongs to it";
        s.Inside = false;
        EXPECT_FALSE(s.HitInside({110, 30})) << "the right edge is exclusive";
        EXPECT_FALSE(s.HitInside({50, 60})) << "the bottom edge is exclusive";
        EXPECT_FALSE(s.HitInside({9, 30}));
        EXPECT_FALSE(s.Inside) << "a miss leaves Inside alone";
    }
}

TEST(MoveRectTest, GrabberSitsOutwardAtTheCornerAndTellsTheDiagonal)
{
    for (const OrientationCase &c : kOrientations) {
        TMoveRect r;
        r.Anchor = c.anchor;
        r.Corner = c.corner;
        EXPECT_EQ(r.HitGrabber(c.corner), 0) << "no grabber before it is set";
        r.SetGrabberAtCorner();
        if (c.orientation == TRectOrientation::None) {
            EXPECT_TRUE(r.Grabber.isEmpty());
            continue;
        }
        EXPECT_EQ(r.Grabber.size(), QSize(kGrabberSize, kGrabberSize));
        EXPECT_FALSE(r.Normalized().intersects(r.Grabber)) << "outside the rectangle, away from the anchor";
        EXPECT_TRUE(r.Grabber.contains(c.corner) || r.Grabber.adjusted(0, 0, 1, 1).contains(c.corner));
        EXPECT_EQ(r.HitGrabber(r.Grabber.center()), c.grabberHit);
        EXPECT_EQ(r.HitGrabber(r.Grabber.center() + QPoint(20, 20)), 0);
    }
}

TEST(MoveRectTest, MoveToKeepsSizeAndOrientationAndFollowsThePointer)
{
    for (const OrientationCase &c : kOrientations) {
        if (c.orientation == TRectOrientation::None)
            continue;
        TMoveRect r;
        r.Anchor = c.anchor;
        r.Corner = c.corner;
        r.TakeExtent(c.corner);
        EXPECT_EQ(r.Extent, QSize(100, 50));
        const QPoint press(40, 30);
        r.StartMove(press);
        r.MoveTo(press + QPoint(17, -4));
        EXPECT_EQ(r.Orientation(), c.orientation);
        EXPECT_EQ(r.Normalized(), QRect(27, 6, 100, 50));
        EXPECT_EQ(r.Grabber.size(), QSize(kGrabberSize, kGrabberSize)) << "the grabber goes along";
        EXPECT_NE(r.HitGrabber(r.Grabber.center()), 0);
    }
    TMoveRect flat;
    flat.Anchor = {5, 5};
    flat.Corner = {5, 40};
    flat.MoveTo({50, 50});
    EXPECT_EQ(flat.Anchor, QPoint(5, 5)) << "a rectangle without area does not move";
}

TEST(MoveRectTest, CropLineColoursFollowTheTable)
{
    const std::pair<int, std::optional<TColor>> rows[] = {
        {0, 0x808080}, {1, clGrayText}, {2, clBlack}, {3, clWhite}, {4, 0x00FFFF}, {5, clInfoBk},
        {6, 0xFF0000}, {7, 0xFFFF00},   {8, 0x008080}, {9, 0x008000}, {10, 0x0000FF}, {11, 0x000080},
        {12, clBlack}, {13, std::nullopt}, {-1, std::nullopt}, {255, std::nullopt},
    };
    for (const auto &[index, colour] : rows)
        EXPECT_EQ(CropLineColor(index), colour) << index;
}

TEST(MoveRectTest, WidthsAreClampedForDrawing)
{
    EXPECT_EQ(ClampCropLineWidth(0), 1);
    EXPECT_EQ(ClampCropLineWidth(3), 3);
    EXPECT_EQ(ClampCropLineWidth(200), 5);
    EXPECT_EQ(ClampTextPoints(0), 6);
    EXPECT_EQ(ClampTextPoints(255), 72);
    EXPECT_EQ(TextPixelSize(12), 16) << "12 points are 16 pixels at 96 dpi";
    EXPECT_EQ(TextPixelSize(9), 12);
}

TEST(MoveRectTest, ReverseDragsCutTheSameAreaHeldToThePicture)
{
    const QSize picture(200, 100);
    const QRect want(10, 10, 100, 50);
    EXPECT_EQ(CutArea({10, 10}, {110, 60}, picture), want);
    EXPECT_EQ(CutArea({110, 60}, {10, 10}, picture), want);
    EXPECT_EQ(CutArea({110, 10}, {10, 60}, picture), want);
    EXPECT_EQ(CutArea({10, 60}, {110, 10}, picture), want);
    // Dragged beyond the edges: the edges count.
    EXPECT_EQ(CutArea({150, 80}, {-30, -5}, picture), QRect(0, 0, 150, 80));
    EXPECT_EQ(CutArea({150, 80}, {400, 300}, picture), QRect(150, 80, 50, 20));
    EXPECT_TRUE(CutArea({40, 40}, {40, 90}, picture).isEmpty()) << "no width: nothing to cut";
    EXPECT_TRUE(CutArea({-10, 5}, {-40, 50}, picture).isEmpty()) << "wholly beside the picture";
}

TEST(MoveRectTest, CropCopiesPixelForPixelAtEveryDepth)
{
    const QRect area(13, 7, 100, 50);
    quint32 seed = 1;
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(int(pf));
        const TBitmap source = RandomBitmap(131, 70, pf, seed++);
        const TBitmap cut = CropBitmap(source, area);
        ASSERT_EQ(cut.Width(), 100);
        ASSERT_EQ(cut.Height(), 50);
        EXPECT_EQ(cut.PixelFormat(), source.PixelFormat());
        int differing = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 100; ++x)
                differing += cut.PixelRgb(x, y) != source.PixelRgb(area.x() + x, area.y() + y);
        EXPECT_EQ(differing, 0);
    }
    const TBitmap source = RandomBitmap(20, 20, pf24bit, 9);
    EXPECT_EQ(CropBitmap(source, QRect(15, 15, 30, 30)).Width(), 5) << "held to the picture";
}

TEST(MoveRectTest, ArrowsStepOnePixelOrFifteenWithCtrl)
{
    EXPECT_EQ(ArrowStep(Qt::Key_Left, {}), QPoint(-1, 0));
    EXPECT_EQ(ArrowStep(Qt::Key_Down, {}), QPoint(0, 1));
    EXPECT_EQ(ArrowStep(Qt::Key_Right, Qt::ControlModifier), QPoint(15, 0));
    EXPECT_EQ(ArrowStep(Qt::Key_Up, Qt::ControlModifier), QPoint(0, -15));
    EXPECT_EQ(ArrowStep(Qt::Key_Up, Qt::ShiftModifier), QPoint(0, -1)) << "Shift does not change the step";
    EXPECT_TRUE(ArrowStep(Qt::Key_A, {}).isNull());
    EXPECT_TRUE(ArrowStep(Qt::Key_Return, {}).isNull());
}

TEST(MoveRectTest, FrameStripsCoverThePenAlongTheOutlineExactlyOnce)
{
    struct Case
    {
        QRect rect;
        int width;
        QRect outer; // what the pen covers
    };
    const Case cases[] = {
        {QRect(10, 10, 100, 50), 1, QRect(10, 10, 100, 50)},
        {QRect(10, 10, 100, 50), 3, QRect(9, 9, 102, 52)},
        {QRect(10, 10, 100, 50), 2, QRect(10, 10, 101, 51)},
        {QRect(10, 10, 3, 2), 2, QRect(10, 10, 4, 3)},
        {QRect(5, 5, 1, 1), 1, QRect(5, 5, 1, 1)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.width() << "x" << c.rect.height() << " pen " << c.width);
        QImage hits(200, 100, QImage::Format_Grayscale8);
        hits.fill(0);
        for (const QRect &s : TImage::FrameStrips(c.rect, c.width))
            for (int y = s.top(); y <= s.bottom(); ++y)
                for (int x = s.left(); x <= s.right(); ++x)
                    hits.scanLine(y)[x] += 1;
        int wrong = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) {
                const QPoint p(x, y);
                const QRect inner = c.outer.adjusted(c.width, c.width, -c.width, -c.width);
                const bool onPen = c.outer.contains(p) && !(inner.isValid() && inner.contains(p));
                wrong += hits.scanLine(y)[x] != (onPen ? 1 : 0);
            }
        EXPECT_EQ(wrong, 0) << "every pen pixel once (not-xor twice would erase it), nothing else";
    }
}

TEST(MoveRectTest, ThePictureControlIsOpaqueExactlyWhenItsPictureCoversIt)
{
    // Opaque, the control's parents skip painting under it; where the
    // picture leaves a margin or lets the background through, they must not.
    TImage image;
    image.SetAutoSize(false);
    image.resize(40, 30);
    image.show();
    const auto show = [&](int w, int h) {
        image.Picture().SetGraphic(std::make_unique<TBitmap>(w, h, pf24bit));
        image.PictureChanged();
        return image.testAttribute(Qt::WA_OpaquePaintEvent);
    };
    EXPECT_TRUE(show(40, 30));
    EXPECT_TRUE(show(100, 80));
    EXPECT_FALSE(show(39, 30));
    image.SetCenter(true);
    EXPECT_TRUE(show(41, 31)); // centred half a pixel off: still covers
    EXPECT_FALSE(show(20, 20));
    image.SetStretch(true);
    EXPECT_TRUE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    image.SetTransparent(true);
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    image.SetTransparent(false);
    image.SetStretch(false);
    image.SetCenter(false);
    show(40, 30);
    image.resize(50, 30);
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    image.Picture().SetGraphic(nullptr);
    image.PictureChanged();
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
}

// A new picture of the same size shows itself, not the display copy of the
// one before, whose buffer the control keeps; other depths show as well.
TEST(MoveRectTest, ThePictureControlShowsEachNewPictureOfTheSameSize)
{
    TImage image;
    image.SetAutoSize(false);
    image.resize(7, 5);
    image.show();
    const auto pattern = [](int seed) {
        QImage img(7, 5, QImage::Format_RGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                img.setPixel(x, y, qRgb((x * 40 + seed) & 255, (y * 50 + seed) & 255, (seed * 3) & 255));
        return img;
    };
    const struct
    {
        int seed;
        TPixelFormat pf;
    } cases[] = {{10, pf24bit}, {99, pf24bit}, {7, pf32bit}, {150, pf24bit}};
    for (const auto &c : cases) {
        const QImage want = pattern(c.seed);
        auto bmp = std::make_unique<TBitmap>(TBitmap::FromImage(want));
        bmp->SetPixelFormat(c.pf);
        image.Picture().SetGraphic(std::move(bmp));
        image.PictureChanged();
        const QImage shown = image.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), want.size());
        int wrong = 0;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                wrong += shown.pixel(x, y) != want.pixel(x, y);
        EXPECT_EQ(wrong, 0) << "seed " << c.seed;
    }
}
