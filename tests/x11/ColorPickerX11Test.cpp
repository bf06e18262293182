// The colour picker reads the pixel under the pointer from the X server: a
// window of random pixels is put on screen and the pointer moved over single
// pixels of it, the second time without moving (the pipelined read).
#include "SvcComponents.h"
#include "X11Support.h"

#include <gtest/gtest.h>

using namespace zk;

TEST(ColorPickerX11, ReadsThePixelUnderThePointer)
{
    REQUIRE_X11_XDOTOOL();
    const QImage picture = zktest::knownPicture(64, 48, 39);
    zktest::PictureWindow window(picture, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.move(200, 150);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));

    TsvcColorPicker picker;
    for (const QPoint p : {QPoint(3, 4), QPoint(40, 30), QPoint(63, 47)}) {
        const QPoint screen = origin + p;
        ASSERT_EQ(zktest::runProgram("xdotool", {"mousemove", "--sync", QString::number(screen.x()),
                                                  QString::number(screen.y())}), 0);
        const QRgb want = picture.pixel(p);
        const TColor expected = RGBToTColor(qRed(want), qGreen(want), qBlue(want));
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(picker.GetColor(), expected) << p.x() << "," << p.y() << " round " << round;
            EXPECT_EQ(picker.LastPointerPos(), screen);
        }
    }
}
