// Where a stamped cursor goes in a captured picture, without a display.
#include "CursorImage.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace zk;

TEST(CursorStampOrigin, RelativeToTheCapturedAreaAndBackByTheHotSpot)
{
    EXPECT_EQ(CursorStampOrigin({300, 200}, {0, 0}, QRect(0, 0, 1920, 1080)), QPoint(300, 200));
    EXPECT_EQ(CursorStampOrigin({300, 200}, {4, 7}, QRect(100, 50, 400, 300)), QPoint(196, 143));
    EXPECT_FALSE(CursorStampOrigin({99, 200}, {0, 0}, QRect(100, 50, 400, 300)).has_value());
    EXPECT_FALSE(CursorStampOrigin({500, 200}, {0, 0}, QRect(100, 50, 400, 300)).has_value());
    EXPECT_TRUE(CursorStampOrigin({499, 349}, {0, 0}, QRect(100, 50, 400, 300)).has_value());
}

TEST(CursorStampOrigin, EmptyCursorDrawsNothing)
{
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    EXPECT_FALSE(StampCursor(painter, TCursorImage{}, {5, 5}, QRect(0, 0, 10, 10)));
}
