// The tray icon's rules without a tray: the hint's length, the animation's
// wrap, the events one activation unfolds into and the double click's
// default item.
#include "SvcTrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QWidget>

using namespace zk;

namespace {

struct Probe : TsvcTrayIcon
{
    using TsvcTrayIcon::TsvcTrayIcon;
    using TsvcTrayIcon::Timer;
};

QIcon Swatch(Qt::GlobalColor c)
{
    QPixmap pm(4, 4);
    pm.fill(c);
    return QIcon(pm);
}

} // namespace

TEST(SvcTrayIcon, DefaultsAndHintCutTo63)
{
    Probe icon;
    EXPECT_FALSE(icon.CycleIcons());
    EXPECT_EQ(icon.CycleInterval(), 200u);
    EXPECT_TRUE(icon.Enabled());
    EXPECT_TRUE(icon.ShowHint());
    EXPECT_FALSE(icon.Visible());
    icon.SetHint(QString(70, QLatin1Char('h')));
    EXPECT_EQ(icon.Hint().size(), 63);
    EXPECT_EQ(icon.SystemTrayIcon()->toolTip().size(), 63);
    icon.SetShowHint(false);
    EXPECT_TRUE(icon.SystemTrayIcon()->toolTip().isEmpty());
}

TEST(SvcTrayIcon, AnimationWrapsAtOrPastTheLastImage)
{
    Probe icon;
    const QList<QIcon> images = {Swatch(Qt::red), Swatch(Qt::green), Swatch(Qt::blue)};
    icon.SetImageList(images);
    int cycles = 0;
    icon.OnCycleIcons = [&cycles](TsvcComponent *) { ++cycles; };
    for (const auto &[from, next] : {std::pair{0, 1}, std::pair{1, 2}, std::pair{2, 0}, std::pair{5, 0}}) {
        icon.SetImageIndex(from);
        icon.Timer();
        EXPECT_EQ(icon.ImageIndex(), next) << from;
        EXPECT_EQ(icon.Icon().cacheKey(), images[next].cacheKey());
    }
    EXPECT_EQ(cycles, 4);
    icon.SetImageIndex(7);
    EXPECT_TRUE(icon.Icon().isNull()) << "no range check: nothing to show";
    icon.SetCycleIcons(true);
    EXPECT_TRUE(icon.Running()) << "the animation runs on the timer";
}

TEST(SvcTrayIcon, ActivationsUnfoldIntoTheEventsOfAClick)
{
    Probe icon;
    QStringList seen;
    const auto button = [](Qt::MouseButton b) {
        return b == Qt::LeftButton ? "left" : b == Qt::RightButton ? "right" : "middle";
    };
    icon.OnMouseDown = [&](TsvcComponent *, Qt::MouseButton b, TShiftState s, int, int) {
        seen << QStringLiteral("down %1").arg(button(b));
        EXPECT_EQ(s.buttons, b);
    };
    icon.OnMouseUp = [&](TsvcComponent *, Qt::MouseButton b, TShiftState, int, int) {
        seen << QStringLiteral("up %1").arg(button(b));
    };
    icon.OnClick = [&](TsvcComponent *) { seen << "click"; };
    icon.OnPopupMenu = [&](TsvcComponent *) { seen << "popup"; };
    icon.OnMouseMove = [&](TsvcComponent *, TShiftState, int, int) { seen << "move"; };
    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    icon.SetPopupMenu(&menu);

    struct Case { QSystemTrayIcon::ActivationReason reason; QStringList events; };
    for (const Case &c : {Case{QSystemTrayIcon::Trigger, {"down left", "up left", "click"}},
                          Case{QSystemTrayIcon::Context, {"down right", "up right", "popup"}},
                          Case{QSystemTrayIcon::MiddleClick, {"down middle", "up middle"}}}) {
        seen.clear();
        icon.Activated(c.reason);
        EXPECT_EQ(seen, c.events) << int(c.reason);
        menu.hide();
    }
    seen.clear();
    icon.ButtonMessage(Qt::LeftButton, false);
    EXPECT_EQ(seen, QStringList{"up left"}) << "a release without its press is no click";
    icon.SetEnabled(false);
    seen.clear();
    icon.Activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(seen.isEmpty()) << "switched off: mouse events ignored";
}

TEST(SvcTrayIcon, DoubleClickRunsOnlyTheDefaultItem)
{
    QWidget owner;
    Probe icon(&owner);
    icon.MinimizeToTray = true;
    QMenu menu;
    QAction *first = menu.addAction(QStringLiteral("first"));
    QAction *chosen = menu.addAction(QStringLiteral("default"));
    menu.setDefaultAction(chosen);
    icon.SetPopupMenu(&menu);
    int firstRuns = 0, chosenRuns = 0, dbl = 0;
    QObject::connect(first, &QAction::triggered, [&] { ++firstRuns; });
    QObject::connect(chosen, &QAction::triggered, [&] { ++chosenRuns; });
    icon.OnDblClick = [&](TsvcComponent *) { ++dbl; };
    icon.Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(chosenRuns, 1);
    EXPECT_EQ(firstRuns, 0);
    EXPECT_FALSE(owner.isVisible()) << "neither shown nor hidden";

    // Without a default item the double click shows the owner.
    menu.setDefaultAction(nullptr);
    icon.Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(owner.isVisible());
}
