// The mouse tools on the real main window under Xvfb and openbox, driven by
// xdotool like a user: a cutter drag and a crop rectangle drawn, moved and
// sized by its grabber and applied with Enter give exactly the expected area
// of a known picture; with the text tool armed the pointer cannot leave the
// picture's view, and after the click, Escape or a focus change another
// program can grab the pointer again.
#include "Bitmap.h"
#include "DialogSupport.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MoveRect.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QScrollArea>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace zk;
using zktest::knownPicture;
using zktest::waitFor;

namespace {

// Another program's connection, which tries to take the pointer.
bool OtherClientCanGrabPointer()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_grab_pointer_reply_t *reply = xcb_grab_pointer_reply(
        c,
        xcb_grab_pointer(c, 0, root, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                         XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool ok = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    xcb_disconnect(c);
    return ok;
}

QPoint PointerPosition()
{
    QByteArray out;
    if (zktest::runProgram("xdotool", {"getmouselocation", "--shell"}, &out) != 0)
        return {-1, -1};
    QPoint p;
    for (const QByteArray &line : out.split('\n')) {
        if (line.startsWith("X="))
            p.setX(line.mid(2).toInt());
        else if (line.startsWith("Y="))
            p.setY(line.mid(2).toInt());
    }
    return p;
}

class MouseToolsX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zktest::haveX11() || !zktest::haveProgram("xdotool"))
            GTEST_SKIP() << "needs the test X server and xdotool";
        TRegistry().DeleteKey("Software\\Tarvendo");
        form = std::make_unique<TMainForm>();
        form->Options.EndDlg = false;
        form->Options.AutoWinSize = false;
        form->Options.AutoWinCenter = false;
        form->Options.CRLineColr = 2;
        form->Options.CRLineWidth = 1;
        form->resize(640, 480);
        form->move(40, 40);
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 5000));
        picture = knownPicture(300, 200, 17);
        form->ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(TBitmap::FromImage(picture)));
        form->ScanImage->PictureChanged();
        QTest::qWait(100);
    }
    void TearDown() override
    {
        form.reset();
        TRegistry().DeleteKey("Software\\Tarvendo");
    }

    QPoint Screen(QPoint picturePixel) const { return form->ScanImage->mapToGlobal(picturePixel); }
    void Xdo(const QStringList &args)
    {
        ASSERT_EQ(zktest::runProgram("xdotool", args), 0) << args.join(' ').toStdString();
        QTest::qWait(60);
    }
    void MoveTo(QPoint picturePixel)
    {
        const QPoint s = Screen(picturePixel);
        Xdo({"mousemove", QString::number(s.x()), QString::number(s.y())});
    }
    void Drag(QPoint from, QPoint to)
    {
        MoveTo(from);
        Xdo({"mousedown", "1"});
        MoveTo((from + to) / 2);
        MoveTo(to);
        Xdo({"mouseup", "1"});
    }
    QImage Shown() const { return form->ScanImage->Picture().Bitmap().ToImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<TMainForm> form;
    QImage picture;
};

} // namespace

TEST_F(MouseToolsX11, CutterDragGivesTheDraggedArea)
{
    form->Item("CutterMenuItem")->trigger();
    Drag({110, 60}, {10, 10});
    ASSERT_TRUE(waitFor([this] { return !form->CutterActive; }, 3000));
    EXPECT_EQ(Shown(), picture.copy(10, 10, 100, 50));
}

TEST_F(MouseToolsX11, CropRectangleDrawnMovedSizedAndAppliedWithEnter)
{
    form->Item("CutterEnterMenuItem")->trigger();
    Drag({20, 20}, {120, 70});
    ASSERT_TRUE(waitFor([this] { return form->CutRect && !form->CutRect->Drawing; }, 3000));
    Drag({50, 40}, {75, 55}); // moved by (+25, +15)
    ASSERT_TRUE(waitFor([this] { return form->CutRect->Normalized() == QRect(45, 35, 100, 50); }, 3000))
        << form->CutRect->Normalized().x() << "," << form->CutRect->Normalized().y();
    Drag(form->CutRect->Grabber.center(), {185, 125});
    ASSERT_TRUE(waitFor([this] { return form->CutRect->Normalized() == QRect(45, 35, 140, 90); }, 3000));
    Xdo({"key", "Return"});
    ASSERT_TRUE(waitFor([this] { return !form->CutRect; }, 3000));
    EXPECT_EQ(Shown(), picture.copy(45, 35, 140, 90));
}

TEST_F(MouseToolsX11, CropRectangleSizedFromItsGrabberByKeyboard)
{
    form->Item("CutterEnterMenuItem")->trigger();
    Drag({20, 20}, {121, 73});
    ASSERT_TRUE(waitFor([this] { return form->CutRect && !form->CutRect->Drawing; }, 3000));
    ASSERT_EQ(form->CutRect->Normalized(), QRect(20, 20, 101, 53));
    // Shift held on the grabber, Ctrl+Right and Ctrl+Down: 15 pixels each way.
    MoveTo(form->CutRect->Corner);
    Xdo({"keydown", "shift"});
    Xdo({"key", "ctrl+Right"});
    Xdo({"key", "ctrl+Down"});
    Xdo({"keyup", "shift"});
    ASSERT_TRUE(waitFor([this] { return form->CutRect->Normalized() == QRect(20, 20, 116, 68); }, 3000))
        << form->CutRect->Normalized().width() << "x" << form->CutRect->Normalized().height();
    Xdo({"key", "Return"});
    ASSERT_TRUE(waitFor([this] { return !form->CutRect; }, 3000));
    EXPECT_EQ(Shown(), picture.copy(20, 20, 116, 68));
}

TEST_F(MouseToolsX11, ArmedTextHoldsThePointerInTheViewUntilClickEscapeOrFocusChange)
{
    const auto arm = [this] {
        zktest::AnswerNext<QInputDialog>([](QInputDialog *d) {
            d->setTextValue(QStringLiteral("Zelkora"));
            d->accept();
        });
        form->Item("TxtInpMenuItem")->trigger();
        QTest::qWait(100);
    };
    QWidget *view = form->ClientScrollBoxEx->viewport();
    const QRect clip(view->mapToGlobal(QPoint(0, 0)), view->size());

    // Ended by the click.
    arm();
    ASSERT_TRUE(form->TextArmed);
    EXPECT_FALSE(OtherClientCanGrabPointer()) << "the pointer belongs to the armed tool";
    for (const QStringList &to : {QStringList{"1", "1"}, QStringList{"1900", "1000"}}) {
        Xdo(QStringList{"mousemove"} + to);
        QPoint held;
        EXPECT_TRUE(waitFor([&] { return clip.contains(held = PointerPosition()); }, 2000))
            << "the pointer stays in the view: " << held.x() << "," << held.y();
    }
    MoveTo({30, 30});
    Xdo({"click", "1"});
    ASSERT_TRUE(waitFor([this] { return !form->TextArmed; }, 3000));
    EXPECT_TRUE(OtherClientCanGrabPointer());
    EXPECT_NE(Shown(), picture) << "the text was written";

    // Ended by Escape.
    arm();
    ASSERT_TRUE(form->TextArmed);
    Xdo({"key", "Escape"});
    ASSERT_TRUE(waitFor([this] { return !form->TextArmed; }, 3000));
    EXPECT_TRUE(OtherClientCanGrabPointer());

    // A focus change lets go of the pointer (the tool stays armed).
    arm();
    ASSERT_TRUE(form->TextArmed);
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&other] { return other.isActiveWindow(); }, 5000));
    EXPECT_TRUE(OtherClientCanGrabPointer());
    Xdo({"mousemove", "1", "1"});
    EXPECT_EQ(PointerPosition(), QPoint(1, 1));
}
