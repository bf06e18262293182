// The tray icon in a real tray (trayer, started here) and the pointer stamp
// on the real main window: clicks by xdotool raise the icon's events in
// order, a right click opens its menu, cycling changes the shown icon,
// minimising without a tray leaves an ordinary minimised window, and a
// stamped pointer is the picture XFixes reports for that pointer.
#include "CursorImage.h"
#include "ImageControl.h"
#include "QuietForm.h"
#include "Registry.h"
#include "SvcTrayIcon.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QScreen>

#include <gtest/gtest.h>

using namespace zk;
using namespace zktest;

namespace {

void xdotool(const QStringList &args)
{
    ASSERT_EQ(runProgram("xdotool", args), 0) << args.join(' ').toStdString();
    QTest::qWait(50);
}

QIcon Swatch(Qt::GlobalColor c)
{
    QPixmap pm(22, 22);
    pm.fill(c);
    return QIcon(pm);
}

// The tray's picture of the icon, read back from the screen.
QRgb IconCentre(const TsvcTrayIcon &icon)
{
    const QPoint c = icon.SystemTrayIcon()->geometry().center();
    return QGuiApplication::primaryScreen()->grabWindow(0, c.x(), c.y(), 1, 1).toImage().pixel(0, 0);
}

} // namespace

TEST(TrayX11, EmbeddedIconRaisesEventsPopsUpAndCycles)
{
    REQUIRE_X11_XDOTOOL();
    if (!haveProgram("trayer"))
        GTEST_SKIP() << "needs trayer";
    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                          "--height", "32", "--SetDockType", "true"});
    ASSERT_TRUE(tray.waitForStarted(5000));
    if (!waitFor([] { return TsvcTrayIcon::TrayAvailable(); }, 8000)) {
        tray.kill();
        tray.waitForFinished();
        GTEST_SKIP() << "trayer did not offer a system tray";
    }
    QWidget owner;
    TsvcTrayIcon icon(&owner);
    icon.setObjectName("ZKsvcTrayIcon");
    icon.SetImageList({Swatch(Qt::red), Swatch(Qt::blue)});
    QMenu menu;
    menu.addAction(QStringLiteral("Eintrag"));
    icon.SetPopupMenu(&menu);
    QStringList seen;
    icon.OnMouseDown = [&](TsvcComponent *, Qt::MouseButton b, TShiftState, int, int) { seen << QStringLiteral("down%1").arg(int(b)); };
    icon.OnMouseUp = [&](TsvcComponent *, Qt::MouseButton b, TShiftState, int, int) { seen << QStringLiteral("up%1").arg(int(b)); };
    icon.OnClick = [&](TsvcComponent *) { seen << "click"; };
    icon.SetVisible(true);
    ASSERT_TRUE(waitFor([&] { return icon.SystemTrayIcon()->geometry().isValid() && !icon.SystemTrayIcon()->geometry().isEmpty(); }, 5000))
        << "the icon is embedded";
    QTest::qWait(300);
    const QPoint c = icon.SystemTrayIcon()->geometry().center();
    xdotool({"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "1"});
    ASSERT_TRUE(waitFor([&] { return seen.contains("click"); }, 3000));
    EXPECT_EQ(seen, (QStringList{"down1", "up1", "click"}));

    xdotool({"click", "3"});
    EXPECT_TRUE(waitFor([&] { return menu.isVisible(); }, 3000)) << "the right click's popup";
    menu.hide();

    ASSERT_TRUE(waitFor([&] { return qRed(IconCentre(icon)) > 200; }, 3000));
    icon.SetCycleInterval(50);
    icon.SetCycleIcons(true);
    EXPECT_TRUE(waitFor([&] { return qBlue(IconCentre(icon)) > 200; }, 3000)) << "cycling shows the next image";
    icon.SetCycleIcons(false);
    icon.SetVisible(false);
    tray.kill();
    tray.waitForFinished();
}

TEST(TrayX11, WithoutATrayMinimisingLeavesAnOrdinaryMinimisedWindow)
{
    REQUIRE_X11_XDOTOOL();
    if (TsvcTrayIcon::TrayAvailable())
        GTEST_SKIP() << "a tray is running on this display";
    QWidget owner;
    owner.resize(200, 100);
    TsvcTrayIcon icon(&owner);
    icon.MinimizeToTray = true;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    owner.showMinimized();
    QTest::qWait(300);
    EXPECT_TRUE(owner.isMinimized());
    EXPECT_TRUE(owner.isVisible()) << "not hidden beyond reach";
    icon.Minimize();
    QTest::qWait(100);
    EXPECT_TRUE(owner.isVisible());
}

TEST(StampX11, ArmedPointerSevenIsStampedAsXFixesShowsIt)
{
    REQUIRE_X11_XDOTOOL();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    QuietForm form;
    form.Options.AutoWinSize = false;
    QImage green(300, 200, QImage::Format_BGR888);
    green.fill(qRgb(0x12, 0x9a, 0x3c));
    const TBitmap white = TBitmap::FromImage(green);
    form.ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(white));
    form.ScanImage->PictureChanged();
    form.ZKApplicationEventsIdle();
    form.resize(600, 400);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(300);
    form.SetStampCursor(7);
    const QPoint click(120, 90);
    const QPoint screen = form.ScanImage->mapToGlobal(click);
    xdotool({"mousemove", "--sync", QString::number(screen.x()), QString::number(screen.y())});
    QTest::qWait(300);
    // The hourglass may be animated: every frame the server shows for it is
    // collected, and the stamp must be one of them.
    QList<QImage> frames;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        if (const std::optional<TCursorImage> c = ReadCursorImage(); c && !c->IsNull() && !frames.contains(c->image))
            frames << c->image;
        QTest::qWait(10);
    }
    ASSERT_FALSE(frames.isEmpty());
    xdotool({"click", "1"});
    ASSERT_TRUE(waitFor([&] { return !form.StampArmed; }, 3000));
    const QImage pic = form.ScanImage->Picture().Bitmap().ToImage().convertToFormat(QImage::Format_RGB32);
    const QPoint onPicture = form.ScanImage->MapToPicture(QPointF(click));
    // Blending rounds once per channel: one step either way is the same picture.
    const auto near = [](QRgb a, QRgb b) {
        return qAbs(qRed(a) - qRed(b)) <= 1 && qAbs(qGreen(a) - qGreen(b)) <= 1 && qAbs(qBlue(a) - qBlue(b)) <= 1;
    };
    int best = -1;
    for (const QImage &frame : frames) {
        QImage expected = white.ToImage().convertToFormat(QImage::Format_RGB32);
        {
            QPainter p(&expected);
            p.drawImage(onPicture - QPoint(10, 10), frame);
        }
        int differ = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x)
                differ += !near(pic.pixel(x, y), expected.pixel(x, y));
        best = best < 0 ? differ : std::min(best, differ);
    }
    EXPECT_NE(pic, white.ToImage().convertToFormat(QImage::Format_RGB32)) << "a pointer was stamped";
    EXPECT_EQ(best, 0) << frames.size() << " frames";
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}
