// Against the real X server: a sizing frame around the main window's picture
// dragged by xdotool, and the tray menu opened by a right click on the icon
// in trayer, read back from the screen with its side bar.
#include "BarPopupMenu.h"
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "QuietForm.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace zk;
using zktest::QuietForm;
using zktest::haveX11;
using zktest::waitFor;

namespace {

void xdotool(const QStringList &args)
{
    ASSERT_EQ(zktest::runProgram("xdotool", args), 0) << args.join(' ').toStdString();
    QTest::qWait(50);
}

} // namespace

TEST(BarMenuResizerX11, CornerDragSizesThePictureDownToSeventeenPixels)
{
    REQUIRE_X11_XDOTOOL();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    QuietForm form;
    form.ScanImage->Picture().Bitmap().SetSize(300, 200);
    form.ScanImage->PictureChanged();
    form.resize(700, 500);
    form.show();
    ASSERT_TRUE(waitFor([&] { return form.isVisible() && form.ScanImage->isVisible(); }, 5000));
    QTest::qWait(300);

    TContResizer frame;
    frame.SetControl(form.ScanImage);
    ASSERT_TRUE(waitFor([&] { return frame.isVisible(); }, 2000));
    QTest::qWait(200);
    const QPoint corner = frame.mapToGlobal(QPoint(frame.width() - 2, frame.height() - 2));
    xdotool({"mousemove", QString::number(corner.x()), QString::number(corner.y()), "mousedown", "1"});
    for (int step = 1; step <= 5; ++step)
        xdotool({"mousemove", QString::number(corner.x() - step * 80), QString::number(corner.y() - step * 60)});
    xdotool({"mouseup", "1"});
    ASSERT_TRUE(waitFor([&] { return form.ScanImage->size() == QSize(17, 17); }, 3000))
        << form.ScanImage->width() << "x" << form.ScanImage->height();
    EXPECT_EQ(frame.geometry(), form.ScanImage->geometry().adjusted(-1, -1, 1, 1));
    form.hide();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}

TEST(BarMenuResizerX11, TrayMenuShowsItsGradientBar)
{
    REQUIRE_X11_XDOTOOL();
    if (!zktest::haveProgram("trayer"))
        GTEST_SKIP() << "needs trayer";
    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                          "--height", "32", "--SetDockType", "true"});
    ASSERT_TRUE(tray.waitForStarted(5000));
    const bool trayUp = waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 8000);
    if (!trayUp) {
        tray.kill();
        tray.waitForFinished();
        GTEST_SKIP() << "trayer did not offer a system tray";
    }

    TBarPopupMenu menu;
    menu.GradientStart = clBlue;
    menu.GradientEnd = clBlack;
    menu.VerticalText.clear();
    for (int i = 0; i < 8; ++i)
        menu.addAction(QStringLiteral("Eintrag %1").arg(i));
    QPixmap pm(22, 22);
    pm.fill(Qt::red);
    QSystemTrayIcon icon{QIcon(pm)};
    QObject::connect(&icon, &QSystemTrayIcon::activated, &menu, [&](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Context)
            menu.Popup(QCursor::pos().x(), QCursor::pos().y());
    });
    icon.show();
    ASSERT_TRUE(waitFor([&] { return icon.geometry().isValid() && !icon.geometry().isEmpty(); }, 5000));
    QTest::qWait(300);
    const QPoint c = icon.geometry().center();
    xdotool({"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "3"});
    ASSERT_TRUE(waitFor([&] { return menu.isVisible(); }, 5000));
    QTest::qWait(400);

    const QRect first = menu.actionGeometry(menu.actions().first());
    const int total = menu.TotalHeight();
    const QPoint origin = menu.mapToGlobal(QPoint(first.left() - menu.BarWidth(), first.top()));
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    int matched = 0, checked = 0;
    for (int y = 0; y < total; y += 3)
        for (int x = 0; x < menu.BarWidth() - 2; x += 4) {
            ++checked;
            const QRgb want = BarGradientRow(clBlue, clBlack, y, total);
            const QRgb got = shot.pixel(origin + QPoint(x, y));
            if (qAbs(qBlue(got) - qBlue(want)) <= 2 && qRed(got) <= 2 && qGreen(got) <= 2)
                ++matched;
        }
    EXPECT_EQ(matched, checked);
    menu.hide();
    icon.hide();
    tray.kill();
    tray.waitForFinished();
}
