// The capture overlay as part of the main window, offscreen: made once at
// start, its commands switched on, the window fitted to and centred for a
// picture, a failed capture leaving the picture and the window as they were,
// the typed-coordinates dialog opened modally from its menu item, and the
// folder explorer docked beside the picture.
#include "Bitmap.h"
#include "CoordScan.h"
#include "DirBDForm.h"
#include "DockSite.h"
#include "FolderExplorerSetup.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "Scan.h"
#include "ScreenGrab.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zk;

namespace {

class MainFormOverlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        SetProgramDirOverride(programDir.path());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<TMainForm>();
        form->Options.EndDlg = false;
    }
    void TearDown() override
    {
        if (form) {
            form->close();
            form.reset();
        }
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }

    // The window shown with the folder explorer in its left dock area.
    TDirBDForm *showWithExplorer()
    {
        form->Options.FileExp = true;
        TDirBDForm *explorer = CreateFolderExplorer(*form);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return explorer;
    }

    QTemporaryDir programDir;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(MainFormOverlay, OverlayIsMadeOnceAtStartAndItsCommandsAreOn)
{
    ASSERT_TRUE(form->ScanForm);
    EXPECT_EQ(form->ScanForm->objectName(), QStringLiteral("ScanForm"));
    EXPECT_FALSE(form->ScanForm->isVisible());
    EXPECT_EQ(form->findChildren<TScanForm *>().size(), 1);
    for (const char *name : {"RectMenuItem", "TriangleMenuItem", "RoundRectMenuItem", "EllipseMenuItem",
                             "ObjectMenuItem", "Coord3MenuItem", "CoordMenuItem", "Coord2MenuItem"}) {
        QAction *item = form->Item(QString::fromLatin1(name));
        ASSERT_TRUE(item) << name;
        EXPECT_TRUE(item->isEnabled()) << name;
    }
    for (int tool : {0, 1, 2, 3, 4, 6}) {
        form->Options.ScanTool = std::uint8_t(tool);
        form->UpdateCaptureCommands();
        EXPECT_TRUE(form->Item("ScanToolButton")->isEnabled()) << tool;
        EXPECT_TRUE(form->Item("ScanMenuItem")->isEnabled()) << tool;
    }
}

TEST_F(MainFormOverlay, WindowFitsThePictureAndGoesToTheMiddle)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // Wider than the window's menus need at the least.
    form->SetScanPicture(TBitmap(700, 400), QRect(10, 10, 700, 400));
    EXPECT_EQ(form->FCaptureArea, QRect(10, 10, 700, 400));
    form->Options.FileExp = false;
    form->FitMainWindowToImage();
    const int above = form->centralWidget()->y();
    const int status = form->ZKStatusBar->isVisible() ? form->ZKStatusBar->height() : 0;
    EXPECT_EQ(form->width(), 704);
    EXPECT_EQ(form->height(), 400 + above + status + 7);

    // A picture larger than the screen: the window stops at the screen.
    const QRect available = form->screen()->availableGeometry();
    form->SetScanPicture(TBitmap(available.width() + 500, 50), {});
    form->FitMainWindowToImage();
    EXPECT_LE(form->frameGeometry().width(), available.width());

    form->SetScanPicture(TBitmap(300, 200), {});
    form->FitMainWindowToImage();
    form->CenterMainWindow();
    const QRect frame = form->frameGeometry();
    EXPECT_LE(std::abs(frame.center().x() - available.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - available.center().y()), 1);
}

TEST_F(MainFormOverlay, CaptureWithoutAScreenPictureLeavesEverythingAsItWas)
{
    if (ScreenGrabber::instance().isAvailable())
        GTEST_SKIP() << "an X server is reachable; the x11 suite covers real captures";
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->SetScanPicture(TBitmap(40, 30), {});
    form->Options.ScanTool = 0;
    form->ScanClick(nullptr);
    EXPECT_FALSE(form->ScanForm->isVisible());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->ScanImage->Picture().Width(), 40);
}

TEST_F(MainFormOverlay, CoordinatesItemOpensTheDialogModally)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QString title;
    bool wasModal = false;
    // The tray menu's item runs the command (the capture-mode menu's only picks the mode).
    ASSERT_TRUE(form->Item("Coord2MenuItem")->isEnabled());
    QObject guard; // the answer must not outlive this test
    QTimer::singleShot(0, &guard, [&] {
        for (int i = 0; i < 200; ++i) {
            if (auto *dialog = qobject_cast<TCoordScanBMForm *>(QApplication::activeModalWidget())) {
                title = dialog->windowTitle();
                wasModal = dialog->isModal();
                QTest::mouseClick(dialog->ScCrdCancButton, Qt::LeftButton);
                return;
            }
            QTest::qWait(10);
        }
    });
    form->Item("Coord2MenuItem")->trigger();
    EXPECT_EQ(title, QStringLiteral("Koordinaten eingeben"));
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(form->findChildren<TCoordScanBMForm *>().size(), 0) << "the dialog is freed";
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormOverlay, PictureFitLeavesTheDockedExplorerItsRoom)
{
    TDirBDForm *explorer = showWithExplorer();
    ASSERT_EQ(form->DirBDForm.data(), explorer);
    EXPECT_EQ(explorer->DockTag(), 0);
    QApplication::processEvents();
    const int dock = form->LeftDockPanel->width();
    EXPECT_GT(dock, 0);
    EXPECT_EQ(form->centralWidget()->x(), dock);
    EXPECT_EQ(form->RightDockPanel->width() + form->BottomDockPanel->height(), 0);

    form->SetScanPicture(TBitmap(300, 200), {});
    form->FitMainWindowToImage();
    QApplication::processEvents();
    // The picture, the docked explorer and the margins of a shown explorer.
    EXPECT_EQ(form->width(), 300 + dock + 8);
    EXPECT_EQ(form->LeftDockPanel->width(), dock);
    EXPECT_EQ(form->centralWidget()->width(), 308);
}

TEST_F(MainFormOverlay, WindowMenuItemHidesAndShowsTheExplorer)
{
    TDirBDForm *explorer = showWithExplorer();
    QAction *dirEx = form->Item("DirExMenuItem");
    ASSERT_TRUE(dirEx);
    EXPECT_TRUE(dirEx->isEnabled());
    EXPECT_TRUE(dirEx->isChecked());
    // The file list below it goes first: while it is shown the explorer
    // switch stays on.
    ASSERT_TRUE(form->NavBDForm);
    form->NavBDForm->close();
    EXPECT_TRUE(form->Options.FileExp);

    dirEx->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(explorer->isHidden());
    EXPECT_FALSE(dirEx->isChecked());
    EXPECT_FALSE(form->Options.FileExp); // no file list shown either
    EXPECT_EQ(form->LeftDockPanel->width(), 0);
    EXPECT_EQ(form->centralWidget()->x(), 0);

    dirEx->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(explorer->isHidden());
    EXPECT_TRUE(dirEx->isChecked());
    EXPECT_TRUE(form->Options.FileExp);
    EXPECT_TRUE(form->Item("FileExMenuItem")->isChecked());
    EXPECT_EQ(explorer->DockTag(), 0);
    EXPECT_GT(form->LeftDockPanel->width(), 0);

    // Its close box keeps the menu item in line as well.
    explorer->close();
    EXPECT_FALSE(dirEx->isChecked());
}
