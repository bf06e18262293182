// The command surface against a real X server: paste follows a picture that
// another program puts on the clipboard (before the window's first frame
// too, and whether anybody holds the clipboard is seen without asking the
// holder), and a tool bar dragged out of the
// window floats, hides with its menu item, wraps its buttons when narrowed
// and floats again after a restart.
#include "FirstFrame.h"
#include "MainForm.h"
#include "QtXcb.h"
#include "Registry.h"
#include "TestSupport.h"
#include "ToolBarFlow.h"
#include "X11Support.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QSizeGrip>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace zk;

namespace {

class CommandSurfaceX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zktest::haveX11())
            GTEST_SKIP() << "needs the X server of scripts/test.sh";
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    void TearDown() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
};

// Hands data to xclip, which owns the clipboard until someone else takes it.
void clipboardFromOtherProgram(const QString &type, const QByteArray &data)
{
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard", "-t", type, "-i"});
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write(data);
    xclip.closeWriteChannel();
    // xclip forks a server that keeps the selection; the parent returns.
    ASSERT_TRUE(xclip.waitForFinished(10000));
}

bool mapped(WId window)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    auto *reply = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, xcb_window_t(window)), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    free(reply);
    xcb_disconnect(c);
    return viewable;
}

// Runs xdotool while this program keeps handling its events.
void xdotool(const QStringList &args)
{
    QProcess p;
    p.start("xdotool", args);
    zktest::waitFor([&] { return p.state() == QProcess::NotRunning; }, 5000);
    QTest::qWait(20);
}

// Drags a docked bar by its handle well below the main window.
void dragOut(QToolBar *bar)
{
    ASSERT_TRUE(bar->isMovable());
    const QPoint handle = bar->mapToGlobal(QPoint(4, bar->height() / 2));
    xdotool({"mousemove", QString::number(handle.x()), QString::number(handle.y())});
    QTest::qWait(100);
    xdotool({"mousedown", "1"});
    QTest::qWait(100);
    for (int step = 1; step <= 10; ++step) {
        xdotool({"mousemove", QString::number(handle.x() + step * 20), QString::number(handle.y() + step * 40)});
        QTest::qWait(30);
    }
    xdotool({"mouseup", "1"});
    ASSERT_TRUE(zktest::waitFor([&] { return bar->isFloating(); }, 3000)) << "the drag did not float the bar";
    ASSERT_TRUE(zktest::waitFor([&] { return mapped(bar->winId()); }, 3000));
}

} // namespace

TEST_F(CommandSurfaceX11, PasteFollowsAPictureAnotherProgramPutsOnTheClipboard)
{
    if (!zktest::haveProgram("xclip"))
        GTEST_SKIP() << "xclip is missing";
    QImage img = zktest::knownPicture(12, 9, 7);
    QByteArray png;
    {
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        img.save(&buf, "PNG");
    }
    // Taken and given up: nobody holds the clipboard.
    QGuiApplication::clipboard()->setText("mine");
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(zktest::waitFor([] { return !ClipboardHeld(); }, 3000));
    // A picture put there before the window is built: the window's first
    // look finds it before the first frame (held here until the end).
    clipboardFromOtherProgram("image/png", png);
    EXPECT_TRUE(ClipboardHeld());
    {
        HoldUntilFirstFrame();
        TMainForm early;
        early.show();
        EXPECT_TRUE(zktest::waitFor([&] { return early.Item("PasteToolButton")->isEnabled(); }, 5000));
        ReleaseAfterFirstFrame(nullptr, 0);
        QTest::qWait(20);
    }
    clipboardFromOtherProgram("UTF8_STRING", "only words");

    TMainForm form;
    form.show();
    EXPECT_TRUE(zktest::waitFor([&] { return !form.Item("PasteToolButton")->isEnabled(); }, 5000));
    clipboardFromOtherProgram("image/png", png);
    EXPECT_TRUE(zktest::waitFor([&] { return form.Item("PasteMenuItem")->isEnabled(); }, 5000));
    EXPECT_TRUE(form.Item("PasteToolButton")->isEnabled());

    clipboardFromOtherProgram("UTF8_STRING", "only words");
    EXPECT_TRUE(zktest::waitFor([&] { return !form.Item("PasteMenuItem")->isEnabled(); }, 5000));
    EXPECT_FALSE(form.Item("PasteToolButton")->isEnabled());
    // Taking the clipboard back ends the xclip that served it.
    QGuiApplication::clipboard()->setText("done");
    QTest::qWait(50);
}

TEST_F(CommandSurfaceX11, FloatingBarHidesItsWindowAndFloatsAgainAfterARestart)
{
    QRect floatedAt;
    {
        TMainForm form;
        form.move(100, 100);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QToolBar *bar = form.CutterToolBar;
        ASSERT_TRUE(zktest::waitFor([&] { return bar->isVisible() && bar->width() > 0; }, 3000));
        ASSERT_NO_FATAL_FAILURE(dragOut(bar));
        floatedAt = bar->frameGeometry();

        // Its item hides the bar's own window and brings it back.
        QAction *item = form.Item("CutterMenuItem2");
        item->trigger();
        EXPECT_TRUE(zktest::waitFor([&] { return !mapped(bar->winId()); }, 3000));
        EXPECT_FALSE(form.PaletteFlags[2]);
        item->trigger();
        EXPECT_TRUE(zktest::waitFor([&] { return mapped(bar->winId()); }, 3000));
        EXPECT_TRUE(bar->isFloating());

        // With the floating bar active, the main menu's short cuts still work.
        form.Item("StandardMenuItem")->setShortcut(QKeySequence("Ctrl+Shift+F11"));
        bar->activateWindow();
        zktest::waitFor([&] { return bar->isActiveWindow(); }, 2000);
        xdotool({"key", "ctrl+shift+F11"});
        EXPECT_TRUE(zktest::waitFor([&] { return form.StandardToolBar->isHidden(); }, 3000));
        form.Options.EndDlg = false;
        form.close();
    }
    TMainForm again;
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    QToolBar *bar = again.CutterToolBar;
    EXPECT_TRUE(bar->isFloating());
    EXPECT_TRUE(zktest::waitFor([&] { return mapped(bar->winId()); }, 3000));
    EXPECT_LE((bar->frameGeometry().topLeft() - floatedAt.topLeft()).manhattanLength(), 40);
    // The other bars stayed docked.
    EXPECT_FALSE(again.StandardToolBar->isFloating());

    // A place off every screen comes back onto one.
    bar->move(-5000, -5000);
    again.Options.EndDlg = false;
    again.close();
    TMainForm third;
    third.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&third));
    ASSERT_TRUE(third.CutterToolBar->isFloating());
    EXPECT_TRUE(QGuiApplication::primaryScreen()->geometry().intersects(third.CutterToolBar->frameGeometry()))
        << third.CutterToolBar->frameGeometry().x() << "," << third.CutterToolBar->frameGeometry().y();
}

TEST_F(CommandSurfaceX11, FloatingBarWrapsItsButtonsWhenNarrowedAndKeepsItsRowsAfterARestart)
{
    const auto flowOf = [](QToolBar *bar) { return bar->findChild<TToolBarFlow *>(); };
    QRect narrowed;
    int rows = 0;
    {
        TMainForm form;
        form.move(100, 100);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QToolBar *bar = form.StandardToolBar;
        ASSERT_TRUE(zktest::waitFor([&] { return bar->isVisible() && bar->width() > 0; }, 3000));
        ASSERT_FALSE(flowOf(bar)->Wrapping());
        ASSERT_NO_FATAL_FAILURE(dragOut(bar));
        TToolBarFlow *flow = flowOf(bar);
        ASSERT_TRUE(flow->Wrapping());
        // The window manager may hand the new window its final width a
        // moment after it maps; the rows follow that width.
        EXPECT_TRUE(zktest::waitFor([&] { return flow->Rows() == 1; }, 3000)) << flow->Rows();
        const int oneRowHeight = bar->height();

        // The user narrows the frameless window by its grip to about a third.
        auto *grip = flow->findChild<QSizeGrip *>();
        ASSERT_TRUE(grip && grip->isVisible());
        const QPoint from = grip->mapToGlobal(grip->rect().center());
        xdotool({"mousemove", QString::number(from.x()), QString::number(from.y())});
        xdotool({"mousedown", "1"});
        const int by = bar->width() * 2 / 3;
        for (int step = 1; step <= 8; ++step) {
            xdotool({"mousemove", QString::number(from.x() - step * by / 8), QString::number(from.y())});
            QTest::qWait(50);
        }
        QTest::qWait(200);
        xdotool({"mouseup", "1"});
        ASSERT_TRUE(zktest::waitFor([&] { return flow->Rows() >= 3; }, 3000)) << bar->width();
        QTest::qWait(100);
        EXPECT_GT(bar->height(), oneRowHeight);

        // The rows show the bar's own actions, in order, all inside the window.
        QList<QAction *> own;
        for (QAction *a : bar->actions())
            if (!a->isSeparator())
                own.append(a);
        ASSERT_EQ(flow->Buttons().size(), own.size());
        for (qsizetype i = 0; i < own.size(); ++i) {
            QToolButton *b = flow->Buttons()[i];
            EXPECT_EQ(b->defaultAction(), own[i]);
            EXPECT_TRUE(b->isVisible());
            EXPECT_TRUE(bar->rect().contains(QRect(b->mapTo(bar, QPoint()), b->size()))) << i;
        }
        // Enabling follows the shared action.
        QAction *save = form.Item("SaveToolButton");
        const qsizetype saveAt = own.indexOf(save);
        save->setEnabled(!save->isEnabled());
        EXPECT_EQ(flow->Buttons()[saveAt]->isEnabled(), save->isEnabled());

        narrowed = bar->frameGeometry();
        rows = flow->Rows();
        form.Options.EndDlg = false;
        form.close();
    }
    TMainForm again;
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    QToolBar *bar = again.StandardToolBar;
    ASSERT_TRUE(bar->isFloating());
    EXPECT_TRUE(zktest::waitFor([&] { return mapped(bar->winId()); }, 3000));
    EXPECT_TRUE(flowOf(bar)->Wrapping());
    EXPECT_EQ(flowOf(bar)->Rows(), rows);
    EXPECT_LE(std::abs(bar->width() - narrowed.width()), 4) << bar->width() << " " << narrowed.width();
    EXPECT_LE((bar->frameGeometry().topLeft() - narrowed.topLeft()).manhattanLength(), 40);

    // "Zurücksetzen" docks it again as one line of its own buttons.
    again.Item("SetMPUndoMenuItem")->trigger();
    ASSERT_TRUE(zktest::waitFor([&] { return !bar->isWindow(); }, 3000));
    EXPECT_FALSE(flowOf(bar)->Wrapping());
    EXPECT_FALSE(flowOf(bar)->isVisible());
    EXPECT_LT(bar->height(), narrowed.height() / 2);
    again.Options.EndDlg = false;
    again.close();
}
