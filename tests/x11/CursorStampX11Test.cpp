// The cursor stamp against a real X server: the cursor picture and the
// pointer position come from the server, and stamping puts exactly that
// picture into a captured picture with its hot spot where the pointer was,
// or nothing when the pointer lay outside the captured area.
#include "CursorImage.h"
#include "TestSupport.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace zk;

namespace {

bool onX11()
{
    return std::getenv("ZK_TEST_X11") && std::getenv("DISPLAY");
}

void movePointer(int x, int y)
{
    ASSERT_EQ(zktest::runProgram("xdotool", {"mousemove", "--sync", QString::number(x), QString::number(y)}), 0);
}

// An unusual colour no cursor uses, so every changed pixel is the cursor's.
constexpr QRgb kBackground = qRgb(0x12, 0x9a, 0x3c);

QImage background(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(kBackground);
    return image;
}

// The colour a pixel of the cursor gives over the background.
QRgb over(QRgb premultiplied, QRgb bg)
{
    const int a = qAlpha(premultiplied);
    const auto mix = [a](int c, int b) { return c + (b * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(premultiplied), qRed(bg)), mix(qGreen(premultiplied), qGreen(bg)),
                mix(qBlue(premultiplied), qBlue(bg)));
}

} // namespace

TEST(CursorStampX11, ServerCursorLandsWithItsHotSpotOnThePointer)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    movePointer(300, 200);
    QString error;
    const std::optional<TCursorImage> cursor = ReadCursorImage(&error);
    ASSERT_TRUE(cursor.has_value()) << error.toStdString();
    EXPECT_EQ(cursor->position, QPoint(300, 200));
    ASSERT_FALSE(cursor->IsNull());
    const QRect cursorRect(QPoint(0, 0), cursor->image.size());
    EXPECT_TRUE(cursorRect.contains(cursor->hotSpot));
    int opaque = 0;
    for (int y = 0; y < cursor->image.height(); ++y)
        for (int x = 0; x < cursor->image.width(); ++x)
            opaque += qAlpha(cursor->image.pixel(x, y)) == 255;
    ASSERT_GT(opaque, 0) << "a visible cursor has opaque pixels";

    // A picture of the area (100, 50) to (499, 349): the pointer is at
    // (200, 150) in it.
    const QRect area(100, 50, 400, 300);
    QImage picture = background(area.width(), area.height());
    {
        QPainter painter(&picture);
        ASSERT_TRUE(StampCursor(painter, *cursor, cursor->position, area));
    }
    const QPoint origin = QPoint(200, 150) - cursor->hotSpot;
    int compared = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QPoint inCursor = QPoint(x, y) - origin;
            const QRgb got = picture.pixel(x, y);
            if (!cursorRect.contains(inCursor)) {
                ASSERT_EQ(got, kBackground) << "outside the cursor at " << x << "," << y;
                continue;
            }
            const QRgb want = over(cursor->image.pixel(inCursor), kBackground);
            ASSERT_LE(std::abs(qRed(got) - qRed(want)), 1) << x << "," << y;
            ASSERT_LE(std::abs(qGreen(got) - qGreen(want)), 1) << x << "," << y;
            ASSERT_LE(std::abs(qBlue(got) - qBlue(want)), 1) << x << "," << y;
            ++compared;
        }
    }
    // The cursor lies wholly inside this picture.
    EXPECT_EQ(compared, cursorRect.width() * cursorRect.height());
}

TEST(CursorStampX11, PointerOutsideTheAreaStampsNothing)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    movePointer(20, 20);
    const std::optional<TCursorImage> cursor = ReadCursorImage();
    ASSERT_TRUE(cursor.has_value());
    QImage picture = background(200, 100);
    {
        QPainter painter(&picture);
        EXPECT_FALSE(StampCursor(painter, *cursor, cursor->position, QRect(100, 50, 200, 100)));
    }
    EXPECT_EQ(picture, background(200, 100));

    // Near the area's right edge the cursor is cut at the picture's border.
    movePointer(298, 60);
    const std::optional<TCursorImage> edge = ReadCursorImage();
    ASSERT_TRUE(edge.has_value());
    {
        QPainter painter(&picture);
        EXPECT_TRUE(StampCursor(painter, *edge, edge->position, QRect(100, 50, 200, 100)));
    }
    EXPECT_NE(picture, background(200, 100));
}
