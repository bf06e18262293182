// Captures of the main window against a real X server with a window
// manager: the desktop through the capture command, a framed start message
// on the program's socket, the two grabbing hot keys pressed as a user
// would, the cursor stamp and a timed series into a folder. Each picture is
// compared with a grab made directly while the main window is hidden, and
// none may show the main window itself.
#include "Bitmap.h"
#include "CursorImage.h"
#include "DialogSupport.h"
#include "HistList.h"
#include "Globals.h"
#include "HotKeys.h"
#include "ImageControl.h"
#include "Jpeg.h"
#include "JpgScaleForm.h"
#include "LocalChannel.h"
#include "MainForm.h"
#include "Registry.h"
#include "ScreenGrab.h"
#include "ScreenSettle.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace zk;

namespace {

bool onX11()
{
    return std::getenv("ZK_TEST_X11") && std::getenv("DISPLAY");
}

// The main window's picture area in a colour nothing else on the test
// screen has.
constexpr QRgb kWindowColour = qRgb(0xe1, 0x17, 0xb4);
constexpr QRgb kOtherColour = qRgb(0x17, 0xb4, 0xe1);

QImage asRgb32(const TBitmap &bitmap)
{
    return bitmap.ToImage().convertToFormat(QImage::Format_RGB32);
}

int countColour(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            n += (row[x] & 0xffffff) == (colour & 0xffffff);
    }
    return n;
}

QImage grabScreenNow()
{
    TBitmap b;
    EXPECT_TRUE(GrabDesktop(b));
    return asRgb32(b);
}

void paint(QWidget *w, QRgb colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(colour));
    pal.setColor(QPalette::Base, QColor(colour));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

class CaptureX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!onX11())
            GTEST_SKIP() << "needs the test X server";
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<TMainForm>();
        form->Options.EndDlg = false;
        form->setGeometry(200, 150, 700, 500);
        paint(form->ClientScrollBoxEx->viewport(), kWindowColour);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        SettleScreen(200);
        // The window is really on the screen before each capture.
        ASSERT_GT(countColour(grabScreenNow(), kWindowColour), 10000);
    }
    void TearDown() override
    {
        if (form) {
            form->Options.TimeScanRunning = false;
            form->TimeScanTimer->stop();
            form->close();
            form.reset();
        }
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }

    QImage picture() const { return asRgb32(form->ScanImage->Picture().Bitmap()); }

    // The screen as the capture saw it: the same grab with the window hidden.
    QImage screenWithoutWindow()
    {
        const bool visible = form->isVisible();
        form->hide();
        SettleScreen(300);
        QImage screen = grabScreenNow();
        if (visible) {
            form->show();
            SettleScreen(100);
        }
        return screen;
    }

    void expectScreenWithoutWindow(const QImage &got)
    {
        ASSERT_FALSE(got.isNull());
        EXPECT_EQ(countColour(got, kWindowColour), 0) << "the main window is in the picture";
        const QImage want = screenWithoutWindow();
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want) << "the picture differs from a direct grab";
    }

    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(CaptureX11, CaptureCommandInDesktopModeTakesTheScreenWithoutTheWindow)
{
    form->Options.ScanTool = 5;
    form->UpdateCaptureCommands();
    QAction *command = form->Item("ScanMenuItem");
    ASSERT_TRUE(command->isEnabled());
    command->trigger();
    EXPECT_TRUE(form->isVisible()) << "the window comes back";
    expectScreenWithoutWindow(picture());
}

TEST_F(CaptureX11, FramedStartMessageStartsACapture)
{
    const QString path = zktest::sandboxDir() + "/x11-capture.sock";
    ASSERT_TRUE(form->StartLocalChannel(path));
    form->Options.ScanTool = 5;
    ASSERT_TRUE(form->ScanImage->Picture().Empty());
    ASSERT_TRUE(TLocalChannel::Send(MsgStartScan, {}, path));
    QTRY_VERIFY_WITH_TIMEOUT(!form->ScanImage->Picture().Empty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(form->isVisible(), 5000);
    expectScreenWithoutWindow(picture());

    form->hide();
    SettleScreen(50);
    ASSERT_TRUE(TLocalChannel::Send(MsgShowApplication, {}, path));
    QTRY_VERIFY_WITH_TIMEOUT(form->isVisible(), 5000);
}

TEST_F(CaptureX11, DesktopHotKeyPutsTheScreenIntoThePicture)
{
    ASSERT_TRUE(form->Options.SysKeys);
    ASSERT_TRUE(form->HotKeys()->IsRegistered(2)) << "Ctrl+E is the second hot key by default";
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+e"}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!form->ScanImage->Picture().Empty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(form->isVisible(), 5000);
    expectScreenWithoutWindow(picture());
}

TEST_F(CaptureX11, JpegScaleWindowIsGoneBeforeTheNextDesktopPicture)
{
    form->ScanImage->Picture().SetGraphic(std::make_unique<TJPEGImage>());
    form->JpgScaleMenuItemClick();
    ASSERT_TRUE(form->JpgScaleBMForm);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->JpgScaleBMForm.data()));
    SettleScreen(200);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+e"}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!form->ScanImage->Picture().Empty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(form->isVisible(), 5000);
    EXPECT_TRUE(form->JpgScaleBMForm.isNull());
    // Had the tool window been in the picture, a grab made now without it differs.
    expectScreenWithoutWindow(picture());
}

TEST_F(CaptureX11, ADesktopCaptureWhoseTypedNameCannotBeWrittenRecordsNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    form->Options.PersSave = true;
    form->Options.IsAutoincFileName = false;
    form->Options.IsDateTimeToFile = false;
    form->Options.IsManualInputFile = true;
    form->Options.SaveHist = true;
    form->Options.OutDir = dir.path();
    form->Options.FileName = "Shot";
    form->FFileName = QStringLiteral("/earlier/picture.bmp");
    form->FHasFileName = false;
    // A read-only folder; the administrator writes anywhere, but not into
    // the kernel's process folder.
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    const QString typed = (::geteuid() == 0 ? QStringLiteral("/proc/self") : locked) + "/typed.png";

    QStringList messages = zktest::AnswerDialogs([&] { form->DeskMenuItemClick(form->Item("DeskMenuItem")); }, typed);
    // A message held until the window is back counts as well.
    messages += zktest::AnswerDialogs([&] { zktest::waitFor([&] { return form->isVisible(); }, 5000); QTest::qWait(300); },
                                      QString());
    EXPECT_EQ(messages.size(), 1) << qPrintable(messages.join('\n'));
    EXPECT_FALSE(form->ScanImage->Picture().Empty()) << "the picture was taken";
    EXPECT_FALSE(QFileInfo::exists(typed));
    EXPECT_TRUE(QDir(locked).isEmpty());
    EXPECT_FALSE(form->FHasFileName);
    EXPECT_EQ(form->FFileName, QStringLiteral("/earlier/picture.bmp"));
    EXPECT_EQ(form->RecentList->Count(), 0);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(CaptureX11, ForegroundHotKeyTakesTheActiveWindowWithItsFrame)
{
    QWidget other;
    other.setWindowTitle("capture target");
    paint(&other, kOtherColour);
    other.setGeometry(1100, 300, 320, 240);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(other.isActiveWindow(), 5000);
    // The window manager announces the active window a moment later.
    std::optional<QRect> frame;
    QTRY_VERIFY_WITH_TIMEOUT((frame = ScreenGrabber::instance().activeWindowFrame()) &&
                                 frame->contains(QRect(1100, 300, 320, 240)),
                             5000);
    SettleScreen(200);

    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+a"}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!form->ScanImage->Picture().Empty(), 10000);
    const QImage got = picture();
    EXPECT_EQ(got.size(), frame->size());
    EXPECT_EQ(countColour(got, kWindowColour), 0);
    // Counted without the main window: once back it shows the picture, so the
    // target's colour would stand on the screen twice.
    const QImage screen = screenWithoutWindow();
    EXPECT_EQ(countColour(got, kOtherColour), countColour(screen, kOtherColour));
    // The frame's own pixels as a direct grab of that rectangle sees them.
    EXPECT_TRUE(got == screen.copy(*frame));
}

TEST_F(CaptureX11, CursorStampShowsTheServerCursorAtThePointer)
{
    form->Options.ImgWithMouse = true;
    ASSERT_EQ(zktest::runProgram("xdotool", {"mousemove", "--sync", "1500", "900"}), 0);
    const std::optional<TCursorImage> cursor = ReadCursorImage();
    ASSERT_TRUE(cursor.has_value());
    form->DeskMenuItemClick(form->Item("DeskMenuItem"));
    const QImage got = picture();
    const QImage screen = screenWithoutWindow();
    ASSERT_EQ(got.size(), screen.size());
    const QRect stamp(QPoint(1500, 900) - cursor->hotSpot, cursor->image.size());
    // Away from the cursor the picture is the screen.
    QImage gotOutside = got;
    QImage screenOutside = screen;
    for (QImage *img : {&gotOutside, &screenOutside})
        for (int y = stamp.top(); y <= stamp.bottom(); ++y)
            for (int x = stamp.left(); x <= stamp.right(); ++x)
                img->setPixel(x, y, 0);
    EXPECT_TRUE(gotOutside == screenOutside);
    // On it, the cursor's opaque pixels replace the screen's, its clear ones
    // leave them.
    int opaque = 0;
    for (int y = stamp.top(); y <= stamp.bottom(); ++y) {
        for (int x = stamp.left(); x <= stamp.right(); ++x) {
            const QRgb c = cursor->image.pixel(x - stamp.x(), y - stamp.y());
            if (qAlpha(c) == 255) {
                ASSERT_EQ(got.pixel(x, y) & 0xffffff, c & 0xffffff) << x << "," << y;
                ++opaque;
            } else if (qAlpha(c) == 0) {
                ASSERT_EQ(got.pixel(x, y), screen.pixel(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(opaque, 0);
}

TEST_F(CaptureX11, TimedSeriesWritesExactlyThreeFilesAndNamesTheLast)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    form->Options.OutDir = out.path();
    form->Options.PersSave = true;
    form->Options.IsAutoincFileName = true;
    form->Options.FileName = "serie";
    form->Options.FileTyp = 0;
    form->Options.ScanPerSec = 1;
    form->Options.TimeScanCount = 3;
    form->Item("TimeScanMenuItem")->trigger();
    ASSERT_TRUE(form->Options.TimeScanRunning);
    QTRY_VERIFY_WITH_TIMEOUT(!form->Options.TimeScanRunning, 20000);
    QTest::qWait(1500); // one more interval: nothing further is written

    const QStringList files = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(files, (QStringList{"serie1.bmp", "serie2.bmp", "serie3.bmp"}));
    EXPECT_TRUE(form->FHasFileName);
    EXPECT_EQ(form->FFileName, out.path() + "/serie3.bmp");
    EXPECT_EQ(form->StatusPanelText(6), "|bmp| - bmp");
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->TimeScanTimer->isActive());

    // An independent reader sees whole screen pictures without the window.
    for (const QString &f : files) {
        QByteArray size;
        ASSERT_EQ(zktest::runProgram("/usr/bin/identify", {"-format", "%wx%h", out.path() + "/" + f}, &size), 0);
        EXPECT_EQ(size, "1920x1080") << f.toStdString();
        QImage saved(out.path() + "/" + f);
        ASSERT_FALSE(saved.isNull());
        EXPECT_EQ(countColour(saved.convertToFormat(QImage::Format_RGB32), kWindowColour), 0) << f.toStdString();
    }
}

TEST_F(CaptureX11, AHotKeyWithSaveAsOpenLeavesTheDialogItsPicture)
{
    // The picture the dialog was opened for: odd size, two different halves.
    QImage older(37, 21, QImage::Format_RGB32);
    older.fill(qRgb(10, 120, 30));
    for (int y = 0; y < 21; ++y)
        for (int x = 19; x < 37; ++x)
            older.setPixel(x, y, qRgb(200, 40, 90));
    form->ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(TBitmap::FromImage(older)));
    form->ScanImage->PictureChanged();
    QTemporaryDir dir;
    const QString saved = dir.filePath("older.bmp");
    const QStringList messages = zktest::AnswerDialogs([&] { form->SaveAsClick(form->Item("SaveToolButton")); },
                                                       saved, [&](QFileDialog *) {
        // The desktop hot key while the dialog waits for a name.
        ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+e"}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(form->ScanImage->Picture().Width() != 37, 10000);
    });
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(QImage(saved).convertToFormat(QImage::Format_RGB32), older) << "the dialog wrote its own picture";
    const QSize screen = picture().size();
    EXPECT_GT(screen.width(), 37) << "the capture stands in the window";
    EXPECT_NE(form->FFileName, saved) << "the saved name is not the capture's";
    form->UndoMenuItemClick();
    EXPECT_EQ(picture(), older) << "undo gives the older picture back";
}
