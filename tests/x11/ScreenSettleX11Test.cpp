// Hiding a window and settling the screen: after SettleScreen the window is
// gone from what a grab sees, so no capture shows the program's own window.
#include "ScreenGrab.h"
#include "ScreenSettle.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace zk;

namespace {

bool onX11()
{
    return std::getenv("ZK_TEST_X11") && std::getenv("DISPLAY");
}

// Pixels of exactly this colour in the area.
int countColour(const QRect &area, QRgb colour)
{
    GrabbedPixels px;
    if (!ScreenGrabber::instance().grab(area, &px))
        return -1;
    int n = 0;
    for (int y = 0; y < px.height; ++y) {
        const std::uint8_t *row = px.row(y);
        for (int x = 0; x < px.width; ++x)
            n += row[4 * x] == qBlue(colour) && row[4 * x + 1] == qGreen(colour) && row[4 * x + 2] == qRed(colour);
    }
    return n;
}

} // namespace

TEST(ScreenSettleX11, HiddenWindowIsGoneFromTheNextGrab)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(SyncWindowSystem());
    const QRgb colour = qRgb(0xf3, 0x11, 0xc8);
    QWidget window;
    window.setWindowTitle("settle test");
    window.setAutoFillBackground(true);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(colour));
    window.setPalette(pal);
    window.setGeometry(400, 300, 240, 160);
    const QRect area(300, 200, 600, 400);

    for (int round = 0; round < 3; ++round) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Showing is not what is tested: on a busy machine the paint after
        // a second show can come later than the settle, so wait for it.
        int shown = 0;
        for (int wait = 0; wait < 100 && shown < 200 * 120; ++wait) {
            SettleScreen(50);
            shown = countColour(area, colour);
        }
        ASSERT_GE(shown, 200 * 120) << "round " << round;

        window.hide();
        SettleScreen(100);
        EXPECT_EQ(countColour(area, colour), 0) << "round " << round;
    }
}
