// The recorder on a real X server with the tools module: a frame taken by
// the button and one by the Print key, each exactly the picture inside the
// recording frame.
#include "Bitmap.h"
#include "DLLImport.h"
#include "MainForm.h"
#include "RecorderForm.h"
#include "RecorderLogic.h"
#include "X11Support.h"

#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

using namespace zk;

TEST(RecorderX11, ButtonAndPrintEachTakeTheAreaInsideTheFrame)
{
    REQUIRE_X11_XDOTOOL();
    FreeOutsideModules();
    LoadOutsideModules(QStringLiteral(ZK_PROGRAM_DIR));
    ASSERT_TRUE(ToolsModuleLoaded());

    TMainForm form;
    form.Options.EndDlg = false;
    form.Options.SysKeys = false;
    form.Options.VdoPixVal = 0;
    form.Options.AviFrameInit = 1;
    form.Options.MoveGrabber = false;
    form.Options.BmpPixForm = pf24bit;
    form.Options.TmpAviPath = zktest::sandboxDir() + "/x11frames";
    QDir(form.Options.TmpAviPath).removeRecursively();
    QDir().mkpath(form.Options.TmpAviPath);
    form.show();

    // The picture lies where the centred 300 x 240 frame will stand.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QPoint origin(CenterOffset(screen.width(), 300), CenterOffset(screen.height(), 240));
    const QImage picture = zktest::knownPicture(300, 240, 29);
    zktest::PictureWindow window(picture, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.move(origin);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    form.AviVdoMenuItemClick();
    ASSERT_TRUE(form.RecorderForm);
    TRecorderForm *rec = form.RecorderForm;
    rec->move(0, 0);
    ASSERT_TRUE(zktest::waitFor([&] { return rec->AreaOrigin == origin; }, 3000))
        << rec->AreaOrigin.x() << "," << rec->AreaOrigin.y();
    QTest::qWait(200);

    rec->AviManPicButton->click();
    const QString dir = form.Options.TmpAviPath;
    zktest::runProgram("xdotool", {"key", "Print"});
    ASSERT_TRUE(zktest::waitFor([&] { return FrameNumbers(dir).size() >= 2; }, 3000));
    QTest::qWait(300);
    EXPECT_EQ(FrameNumbers(dir), (std::vector<std::uint32_t>{0, 1})) << "one frame per press";

    const QImage inside = picture.copy(3, 3, 294, 234).convertToFormat(QImage::Format_RGB32);
    for (std::uint32_t n : {0u, 1u}) {
        TBitmap frame;
        frame.LoadFromFile(FrameFileName(dir, n));
        EXPECT_EQ(frame.ToImage().convertToFormat(QImage::Format_RGB32), inside) << "frame " << n;
    }
    rec->close();
    FreeOutsideModules();
}
