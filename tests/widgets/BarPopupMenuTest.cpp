// The bar menu's arithmetic and paint, and the sizing frame driven by mouse
// events: hit zones, limits, the control following, a control that goes away.
#include "BarPopupMenu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

using namespace zk;

TEST(BarPopupMenu, GradientRowsUseTruncatingIntegerSteps)
{
    // Blue to black over 100 rows: 255 + (0 - 255) * 50 / 100 truncates to 128.
    EXPECT_EQ(BarGradientRow(clBlue, clBlack, 0, 100), qRgb(0, 0, 255));
    EXPECT_EQ(BarGradientRow(clBlue, clBlack, 50, 100), qRgb(0, 0, 128));
    EXPECT_EQ(BarGradientRow(clBlue, clBlack, 100, 100), qRgb(0, 0, 0));
    EXPECT_EQ(BarGradientRow(RGBToTColor(10, 200, 30), RGBToTColor(250, 0, 30), 1, 3), qRgb(90, 134, 30));
    // An empty menu has a total of 0: the start colour, no division.
    EXPECT_EQ(BarGradientRow(clRed, clBlack, 0, 0), qRgb(255, 0, 0));
}

TEST(BarPopupMenu, TextColumnRoundsHalvesToEvenAndStartsAboveABottomBitmap)
{
    EXPECT_EQ(BarTextX(31, 16), 7); // 7.0
    EXPECT_EQ(BarTextX(31, 15), 8); // 7.5 -> 8
    EXPECT_EQ(BarTextX(31, 17), 6); // 6.5 -> 6
    EXPECT_EQ(BarTextStartRow(300, -6, 0, bvaBottom), 294);
    EXPECT_EQ(BarTextStartRow(300, -6, 40, bvaBottom), 254);
    EXPECT_EQ(BarTextStartRow(300, -6, 40, bvaTop), 294);
}

TEST(BarPopupMenu, BitmapPositionForEveryAlignmentPair)
{
    // Total 200, bar 31, picture 20x30, offsets (1, 2).
    const struct {
        TBitmapVertAlignment v;
        TBitmapHorzAlignment h;
        QPoint at;
    } cases[] = {
        {bvaTop, bhaLeft, {1, 2}},     {bvaTop, bhaRight, {10, 2}},     {bvaTop, bhaCenter, {5, 2}},
        {bvaBottom, bhaLeft, {1, 172}}, {bvaBottom, bhaRight, {10, 172}}, {bvaBottom, bhaCenter, {5, 172}},
        {bvaMiddle, bhaLeft, {1, 87}},  {bvaMiddle, bhaRight, {10, 87}},  {bvaMiddle, bhaCenter, {5, 87}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BarBitmapPos(200, 31, QSize(20, 30), c.v, c.h, 1, 2), c.at) << c.v << "," << c.h;
}

TEST(BarPopupMenu, PaintsTheBarLeftOfTheItemsInEveryPaint)
{
    TBarPopupMenu menu;
    menu.VerticalText.clear();
    for (int i = 0; i < 15; ++i)
        menu.addAction(QStringLiteral("Item %1").arg(i));
    menu.GradientStart = clRed;
    menu.GradientEnd = clBlack;
    menu.adjustSize();
    const QRect first = menu.actionGeometry(menu.actions().first());
    EXPECT_GE(first.left(), menu.BarWidth());
    const int x0 = first.left() - menu.BarWidth();
    const int total = menu.TotalHeight();
    ASSERT_GT(total, 0);

    QImage shot = menu.grab().toImage();
    EXPECT_EQ(shot.pixel(x0, first.top()), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(x0 + menu.BarWidth() - 3, first.top() + total / 2),
              BarGradientRow(clRed, clBlack, total / 2, total));
    // The last two columns of the reserved width stay the menu's own.
    EXPECT_NE(shot.pixel(x0 + menu.BarWidth() - 1, first.top() + total / 2),
              BarGradientRow(clRed, clBlack, total / 2, total));

    // Equal colours paint one solid bar, also when painted a second time.
    menu.GradientEnd = clRed;
    for (int round = 0; round < 2; ++round) {
        shot = menu.grab().toImage();
        for (int y = first.top(); y < first.top() + total; y += 7)
            ASSERT_EQ(shot.pixel(x0 + 3, y), qRgb(255, 0, 0)) << y;
    }
}

TEST(ContResizer, HitZonesOfAFortyPixelFrame)
{
    EXPECT_EQ(ResizerHitTest(5, 5, 40, 40, 5), rhTopLeft);
    EXPECT_EQ(ResizerHitTest(6, 5, 40, 40, 5), rhMove);
    EXPECT_EQ(ResizerHitTest(35, 35, 40, 40, 5), rhBottomRight);
    EXPECT_EQ(ResizerHitTest(35, 5, 40, 40, 5), rhTopRight);
    EXPECT_EQ(ResizerHitTest(5, 35, 40, 40, 5), rhBottomLeft);
    EXPECT_EQ(ResizerHitTest(20, 20, 40, 40, 5), rhMove);
    EXPECT_EQ(ResizerDefaultMin(5, 9, 1), 17);
}

namespace {
void drag(QWidget *w, QPoint from, QPoint to)
{
    const QPoint g0 = w->mapToGlobal(from);
    QMouseEvent press(QEvent::MouseButtonPress, from, g0, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    const QPoint g1 = g0 + (to - from);
    QMouseEvent move(QEvent::MouseMove, to, g1, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, g1, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}
} // namespace

TEST(ContResizer, ControlFollowsWithinItsLimitsAndLetsGoWhenRemoved)
{
    QWidget parent;
    parent.resize(200, 150);
    auto *control = new QWidget(&parent);
    control->setGeometry(20, 20, 100, 80);
    TContResizer frame;
    frame.SetControl(control);
    EXPECT_EQ(frame.parentWidget(), &parent);
    EXPECT_EQ(frame.geometry(), QRect(19, 19, 102, 82));
    EXPECT_FALSE(frame.isHidden());

    // The move disc in the middle drags the control along.
    drag(&frame, QPoint(51, 41), QPoint(61, 46));
    EXPECT_EQ(control->geometry(), QRect(30, 25, 100, 80));

    // Shrinking through a corner stops at 17x17, growing at the parent.
    const QPoint br(frame.width() - 2, frame.height() - 2);
    drag(&frame, br, br - QPoint(500, 500));
    EXPECT_EQ(control->size(), QSize(17, 17));
    EXPECT_EQ(control->pos(), QPoint(30, 25));
    const QPoint br2(frame.width() - 2, frame.height() - 2);
    drag(&frame, br2, br2 + QPoint(900, 900));
    EXPECT_EQ(control->size(), QSize(200, 150));
    // The top-left corner keeps the bottom-right edge in place.
    const QRect before = control->geometry();
    drag(&frame, QPoint(1, 1), QPoint(40, 30));
    EXPECT_EQ(control->geometry().bottomRight(), before.bottomRight());
    EXPECT_EQ(control->geometry().topLeft(), before.topLeft() + QPoint(39, 29));

    delete control;
    EXPECT_EQ(frame.Control(), nullptr);
    EXPECT_TRUE(frame.isHidden());

    QWidget orphan;
    frame.SetControl(&orphan); // no parent to lie on
    EXPECT_TRUE(frame.isHidden());
}
