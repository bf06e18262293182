// The folder explorer inside the real main window, offscreen: it sits in the
// left dock area, the picture fit leaves it its room, and the window menu's
// "Verzeichnis-Explorer" hides and shows it.
#include "Bitmap.h"
#include "DirBDForm.h"
#include "DockSite.h"
#include "FolderExplorerSetup.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Registry.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zk;

namespace {

class FolderExplorerSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        SetProgramDirOverride(programDir.path());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<TMainForm>();
        form->Options.EndDlg = false;
        form->Options.FileExp = true;
        explorer = CreateFolderExplorer(*form);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override
    {
        form->close();
        form.reset();
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }

    QTemporaryDir programDir;
    std::unique_ptr<TMainForm> form;
    TDirBDForm *explorer = nullptr;
};

} // namespace

TEST_F(FolderExplorerSetup, PictureFitLeavesTheDockedExplorerItsRoom)
{
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

TEST_F(FolderExplorerSetup, WindowMenuItemHidesAndShowsTheExplorer)
{
    QAction *dirEx = form->Item("DirExMenuItem");
    ASSERT_TRUE(dirEx);
    EXPECT_TRUE(dirEx->isEnabled());
    EXPECT_TRUE(dirEx->isChecked());

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
