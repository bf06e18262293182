// The view and screen commands and the docked explorer under a window
// manager: full screen, panel and desktop windows, minimise all, the
// inverted screen, the explorer switch, the pinned explorer and the area
// width kept over a restart.
#include "DesktopWindows.h"
#include "DirBDForm.h"
#include "FolderExplorerSetup.h"
#include "FullScreenForm.h"
#include "Graphic.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "NavBDForm.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "ScreenGrab.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;

namespace {

// One line of xwininfo's report ("Map State", "Width", ...).
QString xwininfo(quint64 window, const QString &field)
{
    QByteArray out;
    if (zktest::runProgram("xwininfo", {"-id", QString::number(window)}, &out, 5000) != 0)
        return {};
    const QRegularExpression re(QRegularExpression::escape(field) + ":\\s*(\\S+)");
    const auto m = re.match(QString::fromLatin1(out));
    return m.hasMatch() ? m.captured(1) : QString();
}

class ViewX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zktest::haveX11())
            GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";
        for (const char *p : {"xwininfo", "xprop", "xdotool"})
            if (!zktest::haveProgram(p))
                GTEST_SKIP() << "needs " << p;
        ASSERT_TRUE(programDir.isValid());
        SetProgramDirOverride(programDir.path() + "/");
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    static void setPicture(TMainForm &f, const QImage &image)
    {
        auto b = std::make_unique<TBitmap>();
        b->Assign(image);
        f.ScanImage->Picture().SetGraphic(std::move(b));
        f.ScanImage->PictureChanged();
    }
    QTemporaryDir programDir;
};

} // namespace

TEST_F(ViewX11, FullScreenCoversTheScreen)
{
    TMainForm form;
    setPicture(form, zktest::knownPicture(64, 48, 7));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Item("FullScreenMenuItem")->trigger();
    ASSERT_TRUE(form.FullScreenForm);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.FullScreenForm));
    const QRect screen = form.screen()->geometry();
    const quint64 id = form.FullScreenForm->winId();
    EXPECT_TRUE(zktest::waitFor([&] { return xwininfo(id, "Width") == QString::number(screen.width()); }, 3000));
    EXPECT_EQ(xwininfo(id, "Height"), QString::number(screen.height()));
    EXPECT_EQ(xwininfo(id, "Absolute upper-left X"), "0");
    EXPECT_EQ(xwininfo(id, "Absolute upper-left Y"), "0");
    QTest::keyClick(form.FullScreenForm, Qt::Key_Escape);
    EXPECT_TRUE(zktest::waitFor([&] { return !form.FullScreenForm; }, 3000));
}

TEST_F(ViewX11, PanelWindowsGoAndComeBackAndMinimiseAllHidesWindows)
{
    TMainForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QWidget panel;
    panel.setWindowTitle("ZkTestPanel");
    panel.resize(200, 30);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const quint64 id = panel.winId();
    ASSERT_EQ(zktest::runProgram("xprop", {"-id", QString::number(id), "-f", "_NET_WM_WINDOW_TYPE", "32a", "-set",
                                           "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DOCK"}),
              0);
    QAction *out = form.Item("TskbOutMenuItem"), *in = form.Item("TskbInMenuItem");
    ASSERT_TRUE(out->isEnabled());
    EXPECT_FALSE(in->isEnabled());
    out->trigger();
    EXPECT_TRUE(zktest::waitFor([&] { return xwininfo(id, "Map State") == "IsUnMapped"; }, 3000));
    EXPECT_FALSE(out->isEnabled());
    ASSERT_TRUE(in->isEnabled());
    in->trigger();
    EXPECT_TRUE(zktest::waitFor([&] { return xwininfo(id, "Map State") == "IsViewable"; }, 3000));
    panel.hide();

    // Minimise all: an ordinary window goes off the screen.
    QWidget other;
    other.setWindowTitle("ZkTestOther");
    other.resize(200, 100);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    QAction *minimise = form.Item("WinMinMenuItem");
    ASSERT_TRUE(minimise->isEnabled()) << "openbox offers _NET_SHOWING_DESKTOP";
    minimise->trigger();
    EXPECT_TRUE(zktest::waitFor([&] { return xwininfo(other.winId(), "Map State") != "IsViewable"; }, 3000));
    SetShowingDesktop(false);
    EXPECT_TRUE(zktest::waitFor([&] { return xwininfo(other.winId(), "Map State") == "IsViewable"; }, 3000));
}

TEST_F(ViewX11, TheInvertedScreenShowsTheInvertedGrabUntilAClick)
{
    TMainForm form;
    const QImage picture = zktest::knownPicture(80, 60, 3);
    zktest::PictureWindow window(picture, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.move(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);
    const QPoint at = window.mapToGlobal(QPoint(0, 0));
    form.Item("InvScrMenuItem")->trigger();
    QWidget *inverted = nullptr;
    ASSERT_TRUE(zktest::waitFor(
        [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == "InvertScreenForm" && w->isVisible())
                    inverted = w;
            return inverted != nullptr;
        },
        3000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(inverted));
    QTest::qWait(200);
    GrabbedPixels px;
    ASSERT_TRUE(ScreenGrabber::instance().grab(QRect(at, picture.size()), &px));
    int wrong = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t *p = px.row(y) + 4 * x;
            const QRgb want = picture.pixel(x, y);
            if (p[2] != 255 - qRed(want) || p[1] != 255 - qGreen(want) || p[0] != 255 - qBlue(want))
                ++wrong;
        }
    EXPECT_EQ(wrong, 0);
    QPointer<QWidget> guard(inverted);
    zktest::runProgram("xdotool", {"mousemove", "10", "10", "click", "1"});
    EXPECT_TRUE(zktest::waitFor([&] { return !guard; }, 3000));
}

TEST_F(ViewX11, ExplorerSwitchPinningAndTheAreaWidthOverARestart)
{
    {
        TMainForm form;
        form.Options.FileExp = true;
        CreateFolderExplorer(form);
        form.resize(800, 600);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        auto *dir = qobject_cast<QDockWidget *>(form.DirBDForm.data());
        auto *nav = qobject_cast<QDockWidget *>(form.NavBDForm.data());
        ASSERT_TRUE(dir && nav);

        // Off and on: both back in the left area, the folder window on top.
        QAction *fileEx = form.Item("FileExMenuItem");
        fileEx->trigger();
        EXPECT_TRUE(zktest::waitFor([&] { return !dir->isVisible() && !nav->isVisible(); }, 2000));
        fileEx->trigger();
        EXPECT_TRUE(zktest::waitFor([&] { return dir->isVisible() && nav->isVisible(); }, 2000));
        EXPECT_EQ(form.dockWidgetArea(dir), Qt::LeftDockWidgetArea);
        EXPECT_EQ(form.dockWidgetArea(nav), Qt::LeftDockWidgetArea);
        EXPECT_FALSE(dir->isFloating() || nav->isFloating());
        EXPECT_LT(dir->geometry().top(), nav->geometry().top());
        EXPECT_TRUE(zktest::waitFor([&] { return dir->width() == 169 && nav->width() == 169; }, 2000))
            << dir->width() << " " << nav->width();

        // Pinned: both float at the main window's left edge and follow it.
        QAction *pin = form.Item("FEMagMenuItem");
        pin->trigger();
        ASSERT_TRUE(form.Options.MagneticFE) << pin->isEnabled() << pin->isChecked() << pin->isCheckable();
        EXPECT_TRUE(zktest::waitFor([&] { return dir->isFloating() && nav->isFloating(); }, 2000));
        EXPECT_EQ(dir->allowedAreas(), Qt::NoDockWidgetArea) << "the side areas refuse them while pinned";
        zktest::runProgram("xdotool", {"windowmove", QString::number(form.winId()), "400", "150"});
        const auto glued = [&] {
            const QRect m = form.frameGeometry(), d = dir->frameGeometry(), n = nav->frameGeometry();
            return d.right() + 1 == m.left() && n.right() + 1 == m.left() && d.top() == m.top()
                   && n.top() == m.top() + d.height() && std::abs(d.height() - m.height() / 2) <= 1
                   && std::abs(n.height() - m.height() / 2) <= 1;
        };
        EXPECT_TRUE(zktest::waitFor([&] { return form.frameGeometry().left() >= 390 && glued(); }, 4000))
            << "main " << form.frameGeometry().x() << " dir " << dir->frameGeometry().x() << ","
            << dir->frameGeometry().y() << " " << dir->frameGeometry().height();

        // Back into the area, 200 wide, and closed.
        pin->trigger();
        form.ShowFileExplorer();
        QTest::qWait(100);
        form.resizeDocks({dir}, {200}, Qt::Horizontal);
        QTest::qWait(100);
        form.FormClose();
    }
    TMainForm again;
    again.Options.FileExp = true;
    CreateFolderExplorer(again);
    again.resize(800, 600);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    auto *dir = qobject_cast<QDockWidget *>(again.DirBDForm.data());
    ASSERT_TRUE(dir);
    EXPECT_TRUE(zktest::waitFor([&] { return dir->width() == 200; }, 2000)) << dir->width();
    EXPECT_EQ(again.dockWidgetArea(dir), Qt::LeftDockWidgetArea);
}

TEST_F(ViewX11, DraggingAFloatingExplorerOverTheLeftAreaDocksItUnlessPinned)
{
    TMainForm form;
    form.Options.FileExp = true;
    form.Options.MagneticFE = false;
    CreateFolderExplorer(form);
    form.resize(800, 600);
    form.move(500, 200);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ShowFileExplorer();
    auto *dir = qobject_cast<QDockWidget *>(form.DirBDForm.data());
    ASSERT_TRUE(dir);
    const auto drag = [&] {
        dir->setFloating(true);
        dir->move(form.frameGeometry().right() + 40, form.frameGeometry().top() + 80);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dir));
        QTest::qWait(200);
        const QPoint grip = dir->mapToGlobal(QPoint(40, 8));
        const QPoint target = form.mapToGlobal(QPoint(30, form.height() / 2));
        zktest::runProgram("xdotool", {"mousemove", QString::number(grip.x()), QString::number(grip.y()), "mousedown", "1"});
        QTest::qWait(100);
        for (int i = 1; i <= 10; ++i) {
            const QPoint p = grip + (target - grip) * i / 10;
            zktest::runProgram("xdotool", {"mousemove", QString::number(p.x()), QString::number(p.y())});
            QTest::qWait(40);
        }
        zktest::runProgram("xdotool", {"mouseup", "1"});
    };
    drag();
    EXPECT_TRUE(zktest::waitFor([&] { return !dir->isFloating(); }, 3000));
    EXPECT_EQ(form.dockWidgetArea(dir), Qt::LeftDockWidgetArea);

    form.Options.MagneticFE = true;
    form.ApplyDockRules();
    drag();
    QTest::qWait(500);
    EXPECT_TRUE(dir->isFloating()) << "the side areas refuse it while pinned";
}
