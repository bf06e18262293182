// Window placement and dock states: the 44-byte record, keeping windows on
// a screen, tool-bar rows, and the values stored in the registry.
#include "Placement.h"
#include "Registry.h"

#include <QApplication>
#include <QTest>
#include <QMainWindow>
#include <QToolBar>
#include <QWidget>
#include <gtest/gtest.h>

using namespace zk;

namespace {

const QString kKey = QStringLiteral("Software\\ZkPlacementTest");

QByteArray le32(std::int32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((std::uint32_t(v) >> (8 * i)) & 0xff);
    return b;
}

class PlacementStore : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(kKey); }
    void TearDown() override { TRegistry().DeleteKey(kKey); }
};

} // namespace

TEST(Placement, RecordHasTheFixedLittleEndianLayout)
{
    TWindowPlacement p;
    p.showCmd = TWindowPlacement::ShowMaximized;
    p.normal = QRect(-20, 30, 640, 480);
    const QByteArray expected = le32(44) + le32(0) + le32(3) + le32(-1) + le32(-1) + le32(-1) + le32(-1) +
                                le32(-20) + le32(30) + le32(620) + le32(510);
    EXPECT_EQ(p.Encode(), expected);

    const auto back = TWindowPlacement::Decode(expected);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->showCmd, 3u);
    EXPECT_EQ(back->normal, QRect(-20, 30, 640, 480));
    EXPECT_EQ(back->minPosition, QPoint(-1, -1));
}

TEST(Placement, DamagedRecordsAreRefused)
{
    TWindowPlacement p;
    p.normal = QRect(0, 0, 100, 100);
    const QByteArray good = p.Encode();
    EXPECT_FALSE(TWindowPlacement::Decode(good.left(43)));
    EXPECT_FALSE(TWindowPlacement::Decode(good + '\0'));
    EXPECT_FALSE(TWindowPlacement::Decode(QByteArray()));
    QByteArray wrongLength = good;
    wrongLength.replace(0, 4, le32(40));
    EXPECT_FALSE(TWindowPlacement::Decode(wrongLength));
    QByteArray inverted = good;
    inverted.replace(36, 8, le32(-5) + le32(50));
    EXPECT_FALSE(TWindowPlacement::Decode(inverted));
    QByteArray huge = good;
    huge.replace(36, 4, le32(0x7fffffff));
    EXPECT_FALSE(TWindowPlacement::Decode(huge));
}

TEST(Placement, WindowsComeBackOnAScreen)
{
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_EQ(KeepOnScreens(QRect(100, 100, 800, 600), screens), QRect(100, 100, 800, 600));
    EXPECT_EQ(KeepOnScreens(QRect(2000, 500, 800, 600), screens), QRect(2000, 500, 800, 600));
    // Hanging off the right edge but grippable stays.
    EXPECT_EQ(KeepOnScreens(QRect(3100, 10, 800, 600), screens), QRect(3100, 10, 800, 600));
    // On a monitor that is gone: centred on the first screen.
    EXPECT_EQ(KeepOnScreens(QRect(5000, 100, 800, 600), screens), QRect(560, 240, 800, 600));
    // Title bar above every screen: the window could not be grabbed.
    EXPECT_EQ(KeepOnScreens(QRect(100, -700, 800, 600), screens), QRect(560, 240, 800, 600));
    // Bigger than the screen it lands on: shrunk to fit.
    EXPECT_EQ(KeepOnScreens(QRect(-9000, 0, 4000, 3000), screens), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(KeepOnScreens(QRect(-9000, 0, 10, 10), {}), QRect(-9000, 0, 10, 10));
}

TEST(Placement, ToolBarRowsFollowTopsThenLefts)
{
    const QList<QRect> bounds = {QRect(300, 27, 100, 29), QRect(0, 27, 300, 29), QRect(0, 56, 50, 29),
                                 QRect(400, 30, 80, 29), QRect(60, 57, 40, 29)};
    const QList<QList<int>> rows = ToolBarRows(bounds);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], (QList<int>{1, 0, 3}));
    EXPECT_EQ(rows[1], (QList<int>{2, 4}));
    EXPECT_TRUE(ToolBarRows({}).isEmpty());
}

TEST_F(PlacementStore, WindowPositionRoundTripsThroughTheRegistry)
{
    QWidget form;
    form.resize(420, 310);
    form.move(33, 44);
    EXPECT_FALSE(LoadWindowPos(kKey, &form)) << "nothing stored yet";
    EXPECT_EQ(form.pos(), QPoint(33, 44));
    ASSERT_TRUE(SaveWindowPos(kKey, &form));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
        EXPECT_EQ(reg.GetDataType("WindowPos"), RegDataType::Binary);
        const QByteArray stored = reg.ReadBinaryData("WindowPos");
        EXPECT_EQ(stored, le32(44) + le32(0) + le32(1) + le32(-1) + le32(-1) + le32(-1) + le32(-1) + le32(33) +
                              le32(44) + le32(453) + le32(354));
    }
    QWidget other;
    other.resize(100, 100);
    ASSERT_TRUE(LoadWindowPos(kKey, &other));
    EXPECT_EQ(other.pos(), QPoint(33, 44));
    EXPECT_EQ(other.size(), QSize(420, 310));

    // A stored record of the wrong size leaves the window alone.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteBinaryData("WindowPos", QByteArray(40, '\x01'));
    }
    QWidget third;
    third.move(5, 6);
    EXPECT_FALSE(LoadWindowPos(kKey, &third));
    EXPECT_EQ(third.pos(), QPoint(5, 6));
}

TEST_F(PlacementStore, AWindowClosedRightAfterItsRestoreWritesBackWhatWasRead)
{
    // A frame of 500 x 300 at (40, 50), stored by an earlier run.
    const QByteArray stored = le32(44) + le32(0) + le32(1) + le32(-1) + le32(-1) + le32(-1) + le32(-1) + le32(40) +
                              le32(50) + le32(540) + le32(350);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteBinaryData("WindowPos", stored);
    }
    QMainWindow main;
    auto *bar = new QToolBar("bar", &main);
    bar->addAction("a");
    main.addToolBar(Qt::TopToolBarArea, bar);
    ASSERT_TRUE(LoadWindowPos(kKey, &main));
    main.show();
    // No event has run since the show: the frame is given back now, and the
    // bar filling the row has the final inside's width at once.
    ASSERT_TRUE(SettlePlacement(&main));
    const QSize inside = main.size();
    EXPECT_EQ(main.frameGeometry().size(), QSize(500, 300));
    EXPECT_EQ(bar->width(), inside.width());
    ASSERT_TRUE(SaveWindowPos(kKey, &main));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
        EXPECT_EQ(reg.ReadBinaryData("WindowPos"), stored);
    }
    // Nothing moves on a later tick.
    QTest::qWait(120);
    EXPECT_EQ(main.size(), inside);
    EXPECT_EQ(bar->width(), inside.width());
}

TEST_F(PlacementStore, DockStateOfADockedToolBar)
{
    QMainWindow main;
    main.resize(600, 400);
    auto *bar = new QToolBar("bar", &main);
    bar->addAction("One");
    main.addToolBar(bar);
    main.show();
    QApplication::processEvents();

    const QString key = kKey + "\\Bar";
    ASSERT_TRUE(SaveDockState(key, bar, {&main}));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(key));
    const QRect g = bar->geometry();
    EXPECT_EQ(reg.ReadInteger("Left"), g.left());
    EXPECT_EQ(reg.ReadInteger("Top"), g.top());
    EXPECT_EQ(reg.ReadInteger("Right"), g.left() + g.width());
    EXPECT_EQ(reg.ReadInteger("Bottom"), g.top() + g.height());
    EXPECT_EQ(reg.ReadInteger("DockSiteIndex"), 0);
    EXPECT_EQ(reg.ReadInteger("DockSiteWidth"), 600);
    EXPECT_EQ(reg.ReadInteger("DockSiteHeight"), 400);
    EXPECT_FALSE(reg.ValueExists("ScreenLeft"));

    // Not among the sites: stored as floating with its screen rectangle.
    QWidget elsewhere;
    ASSERT_TRUE(SaveDockState(key, bar, {&elsewhere}));
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKeyReadOnly(key));
    EXPECT_EQ(reg.ReadInteger("DockSiteIndex"), -1);
    EXPECT_EQ(reg.ReadInteger("ScreenLeft"), bar->mapToGlobal(QPoint(0, 0)).x());
    EXPECT_EQ(reg.ReadInteger("ScreenRight") - reg.ReadInteger("ScreenLeft"), bar->width());

    const auto state = ReadDockState(key);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->bounds, g);
    EXPECT_EQ(state->dockSiteIndex, -1);
    ASSERT_TRUE(state->screen);
    EXPECT_EQ(state->screen->size(), bar->size());
}

TEST_F(PlacementStore, ReadingStopsAtTheFirstMissingValue)
{
    const QString key = kKey + "\\Partial";
    EXPECT_FALSE(ReadDockState(key)) << "no key";
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteInteger("Bottom", 80);
        reg.WriteInteger("Right", 120);
        reg.WriteInteger("Top", 20);
        reg.WriteInteger("Left", 10);
        reg.WriteInteger("UndockWidth", 90);
    }
    const auto state = ReadDockState(key);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->bounds, QRect(10, 20, 110, 60));
    EXPECT_EQ(state->undockWidth, 90);
    EXPECT_EQ(state->undockHeight, 0);
    EXPECT_EQ(state->dockSiteIndex, -2) << "never read";

    // A form is only positioned by its stored bounds.
    QWidget form;
    LoadDockState(key, &form, {});
    EXPECT_EQ(form.pos(), QPoint(10, 20));
    EXPECT_EQ(form.size(), QSize(110, 60));
}
