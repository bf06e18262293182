// The overlay's arithmetic without any window: dragged shapes, masks on a
// known picture (checked against the shapes' own equations), loupe and hint
// placement, keys, the typed-rectangle checks and the window fit.
#include "Bitmap.h"
#include "ScanGeometry.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace zk;

namespace {

TBitmap randomPicture(int w, int h, quint32 seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator gen(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(int(gen.bounded(256)), int(gen.bounded(256)), int(gen.bounded(256))));
    TBitmap b;
    b.Assign(img);
    b.SetPixelFormat(pf24bit);
    return b;
}

// Signed distance-like test: > 0 clearly inside, < 0 clearly outside, 0 on
// the boundary band the rasteriser may decide either way.
using Classifier = std::function<int(double px, double py)>;

struct MaskCount
{
    int inside = 0, outside = 0;
};

MaskCount checkMask(const TBitmap &before, const TBitmap &after, TColor mask, const Classifier &where)
{
    MaskCount n;
    for (int y = 0; y < after.Height(); ++y)
        for (int x = 0; x < after.Width(); ++x) {
            const int c = where(x + 0.5, y + 0.5);
            if (c > 0) {
                EXPECT_EQ(after.Pixel(x, y), before.Pixel(x, y)) << "inside pixel changed at " << x << "," << y;
                ++n.inside;
            } else if (c < 0) {
                EXPECT_EQ(after.Pixel(x, y), mask) << "outside pixel not masked at " << x << "," << y;
                ++n.outside;
            }
        }
    return n;
}

int band(double value, double margin = 1.0)
{
    return value > margin ? 1 : value < -margin ? -1 : 0;
}

} // namespace

TEST(ScanGeometry, DraggingUpLeftGivesTheSameRectangleAsDownRight)
{
    EXPECT_EQ(NormalizedDrag({10, 20}, {110, 70}), QRect(10, 20, 100, 50));
    EXPECT_EQ(NormalizedDrag({110, 70}, {10, 20}), QRect(10, 20, 100, 50));
    EXPECT_EQ(NormalizedDrag({110, 20}, {10, 70}), QRect(10, 20, 100, 50));
    EXPECT_EQ(NormalizedDrag({10, 70}, {110, 20}), QRect(10, 20, 100, 50));
    // A click, or a drag along one line only, has no area.
    EXPECT_TRUE(NormalizedDrag({5, 5}, {5, 5}).isEmpty());
    EXPECT_TRUE(NormalizedDrag({5, 5}, {50, 5}).isEmpty());
    EXPECT_TRUE(NormalizedDrag({5, 5}, {5, 50}).isEmpty());
}

TEST(ScanGeometry, TriangleApexLiesMidwayAndPointsAwayFromTheDrag)
{
    EXPECT_EQ(TriangleApexX(10, 21), 15);
    EXPECT_EQ(TriangleApexX(21, 10), 15);
    EXPECT_EQ(TriangleApexX(-3, 0), -1); // toward zero, not toward minus infinity
    const auto t = DragTriangle({10, 100}, {50, 20});
    EXPECT_EQ(t[0], QPoint(10, 20));
    EXPECT_EQ(t[1], QPoint(50, 20));
    EXPECT_EQ(t[2], QPoint(30, 100));

    // Dragged upward (or level): apex at the bottom of the picture.
    EXPECT_TRUE(TriangleApexAtBottom(100, 20));
    EXPECT_TRUE(TriangleApexAtBottom(100, 100));
    EXPECT_FALSE(TriangleApexAtBottom(20, 100));
    const auto down = MaskTriangle({80, 60}, true);
    EXPECT_EQ(down[2], QPoint(40, 60));
    const auto up = MaskTriangle({80, 60}, false);
    EXPECT_EQ(up[2], QPoint(40, 0));
    EXPECT_EQ(up[0], QPoint(0, 60));
}

TEST(ScanGeometry, MaskColoursFollowTheTwelveIndices)
{
    EXPECT_EQ(MaskColorByIndex(0), clBtnFace);
    EXPECT_EQ(MaskColorByIndex(1), 0x808080);
    EXPECT_EQ(MaskColorByIndex(2), 0x000000);
    EXPECT_EQ(MaskColorByIndex(3), 0xFFFFFF);
    EXPECT_EQ(MaskColorByIndex(4), 0x00FFFF);
    EXPECT_EQ(MaskColorByIndex(5), static_cast<TColor>(0x80000018u));
    EXPECT_EQ(MaskColorByIndex(6), 0xFF0000);
    EXPECT_EQ(MaskColorByIndex(7), 0xFFFF00);
    EXPECT_EQ(MaskColorByIndex(8), 0x008080);
    EXPECT_EQ(MaskColorByIndex(9), 0x008000);
    EXPECT_EQ(MaskColorByIndex(10), 0x0000FF);
    EXPECT_EQ(MaskColorByIndex(11), 0x000080);
    EXPECT_EQ(MaskColorByIndex(12), clNone);
    EXPECT_EQ(MaskColorByIndex(-1), clNone);
}

TEST(ScanGeometry, EllipseMaskPaintsOnlyOutsideTheEllipse)
{
    const int w = 161, h = 97;
    const TBitmap before = randomPicture(w, h, 7);
    TBitmap after = before;
    MaskEllipseOutside(after, 0x0000FF);
    const double a = w / 2.0, b = h / 2.0;
    const MaskCount n = checkMask(before, after, 0x0000FF, [&](double px, double py) {
        // Scaled radial distance from the centre, in pixels along the normal.
        const double dx = (px - a) / a, dy = (py - b) / b;
        const double r = std::sqrt(dx * dx + dy * dy);
        return band((1.0 - r) * std::min(a, b));
    });
    EXPECT_GT(n.inside, w * h / 2);
    EXPECT_GT(n.outside, w * h / 8);
    // The corners are outside, the centre and the middles of the edges inside.
    EXPECT_EQ(after.Pixel(0, 0), 0x0000FF);
    EXPECT_EQ(after.Pixel(w - 1, h - 1), 0x0000FF);
    EXPECT_EQ(after.Pixel(w / 2, 2), before.Pixel(w / 2, 2));
}

TEST(ScanGeometry, RoundRectMaskCutsCornersOfRadiusTwenty)
{
    const int w = 120, h = 90;
    const TBitmap before = randomPicture(w, h, 11);
    TBitmap after = before;
    MaskRoundRectOutside(after, 0x000000);
    const double r = 20.0;
    const MaskCount n = checkMask(before, after, 0x000000, [&](double px, double py) {
        // Distance to the nearest corner centre, where a corner applies.
        const double cx = px < r ? r : px > w - r ? w - r : px;
        const double cy = py < r ? r : py > h - r ? h - r : py;
        if (cx == px || cy == py) {
            // Along the straight edges: inside up to the border.
            const double edge = std::min({px, py, w - px, h - py});
            return band(edge, 0.6);
        }
        return band(r - std::hypot(px - cx, py - cy));
    });
    EXPECT_GT(n.outside, 4 * 40); // (1 - pi/4) * 400 = 86 per corner, minus the band
    EXPECT_EQ(after.Pixel(0, 0), 0x000000);
    EXPECT_EQ(after.Pixel(4, 4), 0x000000); // 22.6 from the corner centre
    EXPECT_EQ(after.Pixel(10, 10), before.Pixel(10, 10)); // 13.4 from it
    EXPECT_EQ(after.Pixel(w / 2, 0), before.Pixel(w / 2, 0));
}

TEST(ScanGeometry, TriangleMaskFollowsTheApexRule)
{
    const int w = 100, h = 80;
    const TBitmap before = randomPicture(w, h, 23);
    for (bool apexAtBottom : {true, false}) {
        TBitmap after = before;
        MaskShapeOutside(after, TScanShape::Triangle, apexAtBottom, 0x808080);
        const MaskCount n = checkMask(before, after, 0x808080, [&](double px, double py) {
            // Depth from the base toward the apex, 0..1; the triangle's half
            // width there shrinks linearly from w/2 to 0.
            const double t = apexAtBottom ? py / h : 1.0 - py / h;
            const double halfWidth = (1.0 - t) * w / 2.0;
            const double dist = halfWidth - std::abs(px - w / 2.0);
            // Scale to a distance along the slanted edge's normal.
            const double slope = (w / 2.0) / h;
            return band(dist / std::sqrt(1.0 + slope * slope));
        });
        EXPECT_GT(n.inside, w * h / 3);
        EXPECT_GT(n.outside, w * h / 3);
        const int apexRow = apexAtBottom ? h - 3 : 2;
        EXPECT_EQ(after.Pixel(2, apexRow), 0x808080);
        EXPECT_EQ(after.Pixel(w / 2, apexRow), before.Pixel(w / 2, apexRow));
    }
}

TEST(ScanGeometry, MasksLeaveRectanglesAndUnknownColoursAlone)
{
    const TBitmap before = randomPicture(40, 30, 3);
    TBitmap a = before;
    MaskShapeOutside(a, TScanShape::Rectangle, true, 0x0000FF);
    MaskShapeOutside(a, TScanShape::Window, true, 0x0000FF);
    MaskShapeOutside(a, TScanShape::Ellipse, true, MaskColorByIndex(99));
    EXPECT_EQ(a.ToImage(), before.ToImage());
    TBitmap empty;
    MaskEllipseOutside(empty, 0x0000FF); // nothing to do, nothing to crash on
    EXPECT_TRUE(empty.Empty());
}

TEST(ScanGeometry, SystemColourMaskTakesThePaletteColour)
{
    TBitmap b = randomPicture(30, 30, 5);
    MaskEllipseOutside(b, MaskColorByIndex(0));
    EXPECT_EQ(b.Pixel(0, 0), QColorToTColor(TColorToQColor(clBtnFace)));
}

TEST(ScanGeometry, LoupeGoesToTheQuarterOppositeTheCursor)
{
    const QSize screen(1920, 1080);
    const QPoint current(123, 456);
    EXPECT_EQ(PlaceMagnifier({100, 100}, screen, current), QPoint(1920 - 188, 1080 - 238));
    EXPECT_EQ(PlaceMagnifier({1800, 1000}, screen, current), QPoint(10, 10));
    EXPECT_EQ(PlaceMagnifier({1800, 100}, screen, current), QPoint(10, 1080 - 238));
    EXPECT_EQ(PlaceMagnifier({100, 1000}, screen, current), QPoint(1920 - 188, 10));
    // On a half line the loupe stays.
    EXPECT_EQ(PlaceMagnifier({960, 100}, screen, current), current);
    EXPECT_EQ(PlaceMagnifier({100, 540}, screen, current), current);
    // A 16:9 screen whose width the old table knew with a 4:3 height: the
    // loupe still lands inside the real screen.
    const QSize wide(1280, 720);
    const QPoint p = PlaceMagnifier({10, 10}, wide, current);
    EXPECT_TRUE(QRect(QPoint(0, 0), wide).contains(QRect(p, QSize(178, 227))));
}

TEST(ScanGeometry, LoupeFactorIsClampedWithoutDivisionByZero)
{
    EXPECT_EQ(ClampLoupeFactor(0), 1);
    EXPECT_EQ(ClampLoupeFactor(-7), 1);
    EXPECT_EQ(ClampLoupeFactor(11), 10);
    EXPECT_EQ(ClampLoupeFactor(4), 4);
    EXPECT_EQ(LoupeSourceSize(0), 170);
    EXPECT_EQ(LoupeSourceSize(3), 56);
    EXPECT_EQ(LoupeSourceSize(1000), 17);
    EXPECT_EQ(LoupeSourceRect({300, 200}, 2), QRect(215, 115, 85, 85));
}

TEST(ScanGeometry, HintShowsCoordinatesAndMovesOnlyAfterTwoPixels)
{
    EXPECT_EQ(CoordHintText(12, 345), QStringLiteral("12, 345"));
    EXPECT_EQ(CoordHintRect({100, 232}, {40, 14}), QRect(119, 222, 48, 14));

    TCoordHintTracker t;
    t.Reset({0, 0});
    EXPECT_FALSE(t.Moved({1, 1}));
    EXPECT_TRUE(t.Moved({2, 0}));
    EXPECT_EQ(t.Last(), QPoint(2, 0));
    EXPECT_FALSE(t.Moved({3, 1}));
    EXPECT_TRUE(t.Moved({3, 2}));
    EXPECT_TRUE(t.Moved({1, 2}));
}

TEST(ScanGeometry, KeysOfTheOverlay)
{
    using A = TScanKeyAction;
    const auto rect = TScanShape::Rectangle, window = TScanShape::Window;
    // Enter captures the window under the cursor in every mode, Space only in
    // window mode.
    EXPECT_EQ(ScanKeyDown(Qt::Key_Return, {}, rect, false).kind, A::WindowCapture);
    EXPECT_EQ(ScanKeyDown(Qt::Key_Enter, Qt::KeypadModifier, rect, false).kind, A::WindowCapture);
    EXPECT_EQ(ScanKeyDown(Qt::Key_Space, {}, window, false).kind, A::WindowCapture);
    EXPECT_EQ(ScanKeyDown(Qt::Key_Space, {}, rect, false).kind, A::None);
    // Shift starts a keyboard drag once.
    EXPECT_EQ(ScanKeyDown(Qt::Key_Shift, Qt::ShiftModifier, rect, false).kind, A::StartKeyDrag);
    EXPECT_EQ(ScanKeyDown(Qt::Key_Left, Qt::ShiftModifier, rect, false).kind, A::StartKeyDrag);
    EXPECT_EQ(ScanKeyDown(Qt::Key_Shift, Qt::ShiftModifier, rect, true).kind, A::None);
    // Arrows move the cursor by 1, with Ctrl by 15.
    EXPECT_EQ(ScanKeyDown(Qt::Key_Left, {}, rect, false), (A{A::MoveCursor, {-1, 0}}));
    EXPECT_EQ(ScanKeyDown(Qt::Key_Up, {}, rect, false), (A{A::MoveCursor, {0, -1}}));
    EXPECT_EQ(ScanKeyDown(Qt::Key_Right, Qt::ControlModifier, rect, false), (A{A::MoveCursor, {15, 0}}));
    EXPECT_EQ(ScanKeyDown(Qt::Key_Down, Qt::ControlModifier, rect, false), (A{A::MoveCursor, {0, 15}}));
    // During a keyboard drag Shift+arrow drags.
    EXPECT_EQ(ScanKeyDown(Qt::Key_Right, Qt::ShiftModifier, rect, true), (A{A::KeyDragMove, {1, 0}}));
    EXPECT_EQ(ScanKeyDown(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier, rect, true),
              (A{A::KeyDragMove, {0, -15}}));
    EXPECT_EQ(ScanKeyDown(Qt::Key_A, {}, rect, false).kind, A::None);
    EXPECT_EQ(ScanKeyDown(Qt::Key_Escape, {}, rect, false).kind, A::None);
    // Letting Shift go ends the keyboard drag only.
    EXPECT_TRUE(ScanKeyUpReleases(Qt::Key_Shift, true));
    EXPECT_FALSE(ScanKeyUpReleases(Qt::Key_Shift, false));
    EXPECT_FALSE(ScanKeyUpReleases(Qt::Key_Control, true));
}

TEST(ScanGeometry, WindowCaptureIsClippedToTheScreen)
{
    const QSize screen(800, 600);
    EXPECT_EQ(WindowCaptureRect(QRect(100, 50, 200, 100), screen), QRect(100, 50, 200, 100));
    EXPECT_EQ(WindowCaptureRect(QRect(-20, -10, 200, 100), screen), QRect(0, 0, 180, 90));
    EXPECT_EQ(WindowCaptureRect(QRect(700, 550, 200, 100), screen), QRect(700, 550, 100, 50));
    EXPECT_EQ(WindowCaptureRect(std::nullopt, screen), QRect(0, 0, 800, 600));
    EXPECT_EQ(WindowCaptureRect(QRect(900, 700, 10, 10), screen), QRect(0, 0, 800, 600));
}

TEST(ScanGeometry, TypedRectangleChecks)
{
    const QSize screen(1024, 768);
    EXPECT_EQ(ValidateCoordRect(0, 0, 1024, 768, screen), QString());
    EXPECT_EQ(ValidateCoordRect(1, 0, 1024, 10, screen), QStringLiteral("showmsg_coordscan_unlogical_widthval"));
    EXPECT_EQ(ValidateCoordRect(0, 1, 10, 768, screen), QStringLiteral("showmsg_coordscan_unlogical_heightval"));
    EXPECT_EQ(ValidateCoordRect(0, 0, 0, 10, screen), QStringLiteral("showmsg_coordscan_invalid_value"));
    EXPECT_EQ(ValidateCoordRect(0, 0, 10, 0, screen), QStringLiteral("showmsg_coordscan_invalid_value"));
    // Sums that overflow 32 bits are still refused.
    EXPECT_EQ(ValidateCoordRect(2147483000, 0, 2000, 10, screen),
              QStringLiteral("showmsg_coordscan_unlogical_widthval"));
    EXPECT_TRUE(CoordCloseAllowed(true, 1, 0, 1024, 10, screen));
    EXPECT_FALSE(CoordCloseAllowed(false, 1, 0, 1024, 10, screen));
    EXPECT_TRUE(CoordCloseAllowed(false, 0, 0, 1024, 10, screen));
}

TEST(ScanGeometry, MainWindowFitsAndCentres)
{
    TFitLayout l;
    l.picture = QSize(300, 200);
    l.controlBarHeight = 50;
    l.statusBarHeight = 20;
    l.bottomDockHeight = 0;
    EXPECT_EQ(FitClientSize(l), QSize(304, 277));
    l.fileExp = true;
    l.leftDockWidth = 150;
    l.rightDockWidth = 100;
    EXPECT_EQ(FitClientSize(l), QSize(558, 277));
    EXPECT_EQ(FitClientSize(l, QSize(500, 250)), QSize(500, 250));
    EXPECT_EQ(CenteredTopLeft(QSize(400, 300), QRect(0, 0, 1920, 1080)), QPoint(760, 390));
    EXPECT_EQ(CenteredTopLeft(QSize(400, 300), QRect(1920, 0, 1280, 1024)), QPoint(2360, 362));
}

TEST(ScanGeometry, DirtyBoundsCoverTheWholeOutline)
{
    for (TScanShape s : {TScanShape::Rectangle, TScanShape::Triangle, TScanShape::RoundRect, TScanShape::Ellipse})
        for (int pen : {1, 2, 3}) {
            const QPoint a(300, 200), b(120, 40);
            const QRect dirty = ShapeDirtyBounds(s, a, b, pen);
            const QRectF outline = ShapeOutline(s, a, b).boundingRect();
            const qreal half = pen / 2.0;
            EXPECT_TRUE(QRectF(dirty).contains(outline.adjusted(-half, -half, half + 1, half + 1)))
                << int(s) << " pen " << pen;
            // ... and not much more.
            EXPECT_LE(dirty.width(), 180 + 2 * (pen / 2 + 2) + 1);
        }
    EXPECT_TRUE(ShapeDirtyBounds(TScanShape::Window, {0, 0}, {10, 10}, 1).isEmpty());
    EXPECT_EQ(RubberPenWidth(0), 1);
    EXPECT_EQ(RubberPenWidth(2), 3);
    EXPECT_EQ(RubberPenWidth(9), 3);
    EXPECT_EQ(RubberPenStyle(1), Qt::SolidLine);
    EXPECT_EQ(RubberPenStyle(0), Qt::DotLine);
}
