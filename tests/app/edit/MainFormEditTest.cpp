// The picture edit commands on the real main window, offscreen: each command
// triggered through its menu item or tool button changes the picture as its
// filter says, Undo brings the picture back byte for byte and is then
// disabled, and the dialogs are answered with simulated input.
#include "Bitmap.h"
#include "DialogSupport.h"
#include "BitmapFilters.h"
#include "EditCommands.h"
#include "EditDialogs.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MainFormFixture.h"
#include "PictureTestKit.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace zk;
using zktest::RandomPicture;
using zktest::SameBytes;
using zktest::AnswerNext;

namespace {

class MainFormEditTest : public zktest::MainFormFixture
{
protected:
    QAction *Undo() { return Item("UndoMenuItem"); }
};

} // namespace

TEST_F(MainFormEditTest, FiltersChangeThePictureAndUndoRestoresItOnce)
{
    struct Case
    {
        const char *menuItem;
        const char *toolButton;
        std::function<void(TBitmap &)> expected; // the filter on a 24-bit copy
    };
    const Case cases[] = {
        {"MirrorHMenuItem", "MirrorHToolButton", [](TBitmap &b) { MirrorBitmapH(b); }},
        {"MirrorVMenuItem", "MirrorVToolButton", [](TBitmap &b) { MirrorBitmapV(b); }},
        {"RotateMenuItem", "RotateToolButton", [](TBitmap &b) { RotateBitmap90(b); }},
        {"InvertMenuItem", "InvertToolButton", [](TBitmap &b) { b.SetPixelFormat(pf32bit); InvertBitmap(b); }},
        {"GrayStepMenuItem", "GrayStepToolButton", [](TBitmap &b) { GrayBitmap(b); }},
        {"HellMenuItem", "HellToolButton", [](TBitmap &b) { BrightnessBitmap(b, 15); }},
        {"DarkMenuItem", "DarkToolButton", [](TBitmap &b) { BrightnessBitmap(b, -15); }},
        {"MoreKontrMenuItem", "MoreKontrToolButton", [](TBitmap &b) { ContrastBitmap(b, 55); }},
        {"GlttenMenuItem", "GlattToolButton", [](TBitmap &b) { SmoothRect(b, QRect(0, 0, b.Width(), b.Height())); }},
    };
    EXPECT_FALSE(Undo()->isEnabled()) << "nothing to undo at start";
    int seed = 20;
    for (const Case &c : cases) {
        for (const char *trigger : {c.menuItem, c.toolButton}) {
            SCOPED_TRACE(trigger);
            const TBitmap original = RandomPicture(23, 11, quint32(seed++));
            Load(original);
            ASSERT_TRUE(Item(trigger)->isEnabled());
            Item(trigger)->trigger();
            TBitmap want = original;
            c.expected(want);
            EXPECT_TRUE(SameBytes(Picture(), want)) << "the command runs its filter";
            ASSERT_TRUE(Undo()->isEnabled());
            Undo()->trigger();
            EXPECT_TRUE(SameBytes(Picture(), original)) << "undo restores byte for byte";
            EXPECT_FALSE(Undo()->isEnabled()) << "one level only";
        }
    }
    // Rotation lays the picture control out anew.
    Load(RandomPicture(30, 10, 99));
    Item("RotateMenuItem")->trigger();
    EXPECT_EQ(form->ScanImage->size(), QSize(10, 30));
}

TEST_F(MainFormEditTest, TwoEditsThenOneUndoGiveTheStateAfterTheFirst)
{
    const TBitmap original = RandomPicture(12, 9, 1);
    Load(original);
    Item("InvertMenuItem")->trigger();
    const TBitmap afterFirst = Picture();
    Item("MirrorHMenuItem")->trigger();
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), afterFirst));
    EXPECT_FALSE(Undo()->isEnabled());
    Undo()->trigger(); // disabled: nothing happens
    EXPECT_TRUE(SameBytes(Picture(), afterFirst));
}

TEST_F(MainFormEditTest, EmptyPictureTakesNoSnapshotAndKeepsUndoAsItWas)
{
    Item("MirrorHMenuItem")->trigger();
    EXPECT_TRUE(form->ScanImage->Picture().Empty());
    EXPECT_FALSE(Undo()->isEnabled());
    form->SaveUndo();
    EXPECT_FALSE(Undo()->isEnabled());
}

TEST_F(MainFormEditTest, RGBShiftAndUserSmoothingRunAfterTheirDialogs)
{
    const TBitmap original = RandomPicture(16, 16, 2);
    Load(original);
    AnswerNext<TRGBChannelsBMForm>([](TRGBChannelsBMForm *d) {
        d->RotTrackBar->setValue(10);
        d->BlauTrackBar->setValue(200);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("RGBChanToolButton")->trigger();
    TBitmap want = original;
    ShiftRGB(want, 10, 0, 200);
    EXPECT_TRUE(SameBytes(Picture(), want));
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));

    // Cancelled: no snapshot, nothing changed.
    AnswerNext<TRGBChannelsBMForm>([](TRGBChannelsBMForm *d) {
        d->RotTrackBar->setValue(10);
        QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
    });
    Item("RGBChanMenuItem")->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));
    EXPECT_FALSE(Undo()->isEnabled());

    AnswerNext<TAntialiasing2BMForm>([](TAntialiasing2BMForm *d) {
        d->AntialiasTrackBar->setValue(30);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("GlttenMenuItem2")->trigger();
    want = original;
    SoftenEdges(want, QRect(0, 0, 16, 16), 30);
    EXPECT_TRUE(SameBytes(Picture(), want));
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));

    // The smoothing tool button follows the kind chosen in its drop-down.
    form->AntiaPopupMenu->actions().at(1)->trigger();
    EXPECT_EQ(form->SmoothKind, smUserDefined);
    AnswerNext<TAntialiasing2BMForm>([](TAntialiasing2BMForm *d) {
        d->AntialiasTrackBar->setValue(30);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("GlattToolButton")->trigger();
    EXPECT_TRUE(SameBytes(Picture(), want));
    emit form->AntiaPopupMenu->aboutToShow();
    EXPECT_TRUE(form->AntiaPopupMenu->actions().at(1)->isChecked());
    EXPECT_FALSE(form->AntiaPopupMenu->actions().at(0)->isChecked());
}

TEST_F(MainFormEditTest, TheThreeScalingsAndTheToolButtonRepeatingTheLastKind)
{
    const TBitmap original = RandomPicture(40, 20, 3);
    Load(original);

    // Persistent from the menu: position -1 halves.
    AnswerNext<TScaleBMForm>([](TScaleBMForm *d) {
        QTest::mouseClick(d->SubSpeedButton, Qt::LeftButton);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("Scale2MenuItem")->trigger();
    EXPECT_EQ(form->ScaleKind, skPersistent);
    EXPECT_EQ(Picture().Width(), 20);
    EXPECT_EQ(Picture().Height(), 10);

    // The tool button repeats it: +4 makes it five times larger.
    AnswerNext<TScaleBMForm>([](TScaleBMForm *d) {
        d->ScaleTrackBar->setValue(4);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("ScaleToolButton")->trigger();
    EXPECT_EQ(Picture().Width(), 100);
    EXPECT_EQ(Picture().Height(), 50);
    Undo()->trigger();
    EXPECT_EQ(Picture().Width(), 20);

    // Temporary: only the view changes.
    Load(original);
    AnswerNext<TGraphDimBMForm>([](TGraphDimBMForm *d) {
        EXPECT_EQ(d->PixWidth(), 40);
        EXPECT_EQ(d->PixHeight(), 20);
        d->PixWidthUpDown->SetPosition(120);
        d->PixHeightUpDown->SetPosition(60);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("TmpScaleMenuItem")->trigger();
    EXPECT_EQ(form->ScaleKind, skTemporary);
    EXPECT_TRUE(SameBytes(Picture(), original)) << "the picture keeps its size";
    EXPECT_EQ(form->ScanImage->size(), QSize(120, 60));
    EXPECT_TRUE(form->ScanImage->Stretch());

    // By value, chosen in the drop-down and run from the tool button.
    form->ScalePopupMenu->actions().at(0)->trigger();
    EXPECT_EQ(form->ScaleKind, skByValue);
    emit form->ScalePopupMenu->aboutToShow();
    EXPECT_TRUE(form->ScalePopupMenu->actions().at(0)->isChecked());
    AnswerNext<TNewDimPicBMForm>([](TNewDimPicBMForm *d) {
        EXPECT_EQ(d->NewWidth(), 40) << "the size comes from the picture, not the stretched view";
        d->GrWidthUpDown->SetPosition(64);
        d->GrHeightUpDown->SetPosition(48);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("ScaleToolButton")->trigger();
    EXPECT_EQ(Picture().Width(), 64);
    EXPECT_EQ(Picture().Height(), 48);
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));
}

TEST_F(MainFormEditTest, BorderSnapshotIsTakenEvenWhenTheDialogIsCancelled)
{
    const TBitmap original = RandomPicture(10, 10, 4);
    Load(original);
    AnswerNext<TBorderPropertyBMForm>([](TBorderPropertyBMForm *d) {
        d->BorderUpDown->SetPosition(1);
        d->BorderLeftUpDown->SetPosition(2);
        d->BorderBottomUpDown->SetPosition(3);
        d->BorderRightUpDown->SetPosition(4);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("BorderMenuItem")->trigger();
    EXPECT_EQ(Picture().Width(), 16);
    EXPECT_EQ(Picture().Height(), 14);
    EXPECT_EQ(Picture().PixelRgb(2, 1), original.PixelRgb(0, 0));
    EXPECT_EQ(Picture().PixelRgb(0, 0) | 0xFF000000u, qRgb(0, 0, 0)) << "black by default";
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));

    AnswerNext<TBorderPropertyBMForm>(
        [](TBorderPropertyBMForm *d) { QTest::mouseClick(d->CancelButton(), Qt::LeftButton); });
    Item("BorderMenuItem")->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));
    EXPECT_TRUE(Undo()->isEnabled()) << "the snapshot comes before the dialog";
}

TEST_F(MainFormEditTest, ACaptureWhileTheBorderDialogIsOpenKeepsTheCaptureAndBordersTheOlderPicture)
{
    const TBitmap older = RandomPicture(11, 7, 5);
    const TBitmap capture = RandomPicture(23, 9, 6);
    Load(older);
    AnswerNext<TBorderPropertyBMForm>([&](TBorderPropertyBMForm *d) {
        // A hot key's capture lands while the dialog waits.
        form->SetScanPicture(TBitmap(capture), QRect(0, 0, 23, 9));
        d->BorderUpDown->SetPosition(1);
        d->BorderLeftUpDown->SetPosition(2);
        d->BorderBottomUpDown->SetPosition(1);
        d->BorderRightUpDown->SetPosition(1);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("BorderMenuItem")->trigger();
    EXPECT_TRUE(SameBytes(Picture(), capture)) << "the capture stands in the window";
    ASSERT_TRUE(Undo()->isEnabled());
    Undo()->trigger();
    EXPECT_EQ(Picture().Width(), 11 + 3);
    EXPECT_EQ(Picture().Height(), 7 + 2);
    EXPECT_EQ(Picture().PixelRgb(2, 1), older.PixelRgb(0, 0)) << "the older picture, bordered";
}

TEST_F(MainFormEditTest, FootnoteAddsRowsWithTextOrTakesThemAwayOnCancel)
{
    const TBitmap original = RandomPicture(120, 20, 5);
    Load(original);
    form->Options.TxtPenWidth = 10;
    form->Options.TxtPenColr = 2;
    AnswerNext<QInputDialog>([](QInputDialog *d) {
        d->setTextValue(QStringLiteral("Zelkora"));
        d->accept();
    });
    Item("FeetLineMenuItem")->trigger();
    ASSERT_EQ(Picture().Height(), 45);
    int black = 0;
    for (int y = 20; y < 45; ++y)
        for (int x = 0; x < 120; ++x)
            black += (Picture().PixelRgb(x, y) | 0xFF000000u) == qRgb(0, 0, 0);
    EXPECT_GT(black, 10) << "black text in the new rows";
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));

    AnswerNext<QInputDialog>([](QInputDialog *d) { d->reject(); });
    Item("FeetLineMenuItem")->trigger();
    EXPECT_TRUE(SameBytes(Picture(), original));
}

TEST_F(MainFormEditTest, TilingASavedPictureTakesASnapshotAndNamesThePicture)
{
    const TBitmap tile = RandomPicture(100, 50, 6);
    Load(tile);
    const QString file = programDir.path() + "/tile.bmp";
    // The file, then the width, then the height.
    AnswerNext<QFileDialog>([file](QFileDialog *d) {
        EXPECT_EQ(d->objectName(), "KachOpenPictureDialog");
        d->selectFile(file);
        static_cast<QDialog *>(d)->accept(); // QFileDialog hides it; the dialog's own slot stays public
        AnswerNext<QInputDialog>([](QInputDialog *w) {
            w->setTextValue("250");
            w->accept();
            AnswerNext<QInputDialog>([](QInputDialog *h) {
                h->setTextValue("120");
                h->accept();
            });
        });
    });
    Item("BmpKachMenuItem")->trigger();
    ASSERT_TRUE(QFileInfo::exists(file)) << "the picture was saved as the tile first";
    ASSERT_EQ(Picture().Width(), 250);
    ASSERT_EQ(Picture().Height(), 120);
    int wrong = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 250; ++x)
            wrong += Picture().PixelRgb(x, y) != tile.PixelRgb(x % 100, y % 50);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(form->FFileName, file);
    EXPECT_TRUE(form->FHasFileName);
    EXPECT_EQ(form->StatusPanelText(6), "bmp");
    ASSERT_TRUE(Undo()->isEnabled());
    Undo()->trigger();
    EXPECT_TRUE(SameBytes(Picture(), tile));
}

TEST_F(MainFormEditTest, EditItemsAreOnAndWatermarkStaysOff)
{
    for (const char *n : {"MirrorHMenuItem", "RotateToolButton", "GlttenMenuItem2", "ValScaleMenuItem",
                          "Scale2MenuItem", "TmpScaleMenuItem", "ScaleToolButton", "BorderMenuItem",
                          "FeetLineMenuItem", "BmpKachMenuItem", "RGBChanToolButton", "GlattToolButton"})
        EXPECT_TRUE(Item(n)->isEnabled()) << n;
    EXPECT_FALSE(Item("WaterMenuItem")->isEnabled());
    EXPECT_EQ(Item("UndoMenuItem")->shortcut(), QKeySequence("Ctrl+Z"));
    EXPECT_EQ(Item("FeetLineMenuItem")->shortcut(), QKeySequence("Ctrl+Shift+F"));
    EXPECT_EQ(form->ScalePopupMenu->actions().size(), 3);
    EXPECT_EQ(form->AntiaPopupMenu->actions().size(), 2);
}

TEST_F(MainFormEditTest, TheNewItemsFollowTheLanguageFromTheStart)
{
    form.reset();
    ASSERT_TRUE(QDir().mkpath(programDir.path() + "/Templates"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"),
                            programDir.path() + "/Templates/Languages.lng"));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0\\Options"), true));
    reg.WriteInteger(QStringLiteral("Language"), 1);
    reg.CloseKey();
    form = std::make_unique<TMainForm>();
    // Items of closed menus take their texts right after the window is up.
    QCoreApplication::processEvents();
    EXPECT_EQ(Item("ValScaleMenuItem")->text(), QStringLiteral("By &value..."));
    EXPECT_EQ(form->ScalePopupMenu->actions().at(2)->text(), QStringLiteral("Temporary scaling"));
    EXPECT_EQ(Item("UndoMenuItem")->statusTip(), QStringLiteral("Undo the last action"));
    Item("GermanMenuItem")->trigger();
    EXPECT_EQ(Item("ValScaleMenuItem")->text(), QStringLiteral("Per &Wert..."));
}

TEST_F(MainFormEditTest, UndoFitsTheWindowAndScalingRenewsTheFocusFrame)
{
    int fits = 0, frames = 0, centred = 0;
    form->CaptureHooks.FitMainWindowToImage = [&] { ++fits; };
    form->CaptureHooks.CreateFocusResizer = [&] { ++frames; };
    form->CaptureHooks.CenterPicture = [&] { ++centred; };
    Load(RandomPicture(20, 10, 7));

    form->Options.AutoWinSize = false;
    Item("GrayStepMenuItem")->trigger();
    Undo()->trigger();
    EXPECT_EQ(fits, 0);
    form->Options.AutoWinSize = true;
    Item("GrayStepMenuItem")->trigger();
    Undo()->trigger();
    EXPECT_EQ(fits, 1) << "a picture smaller than the screen fits the window after undo";

    form->Options.FocusMode = true;
    AnswerNext<TScaleBMForm>([](TScaleBMForm *d) {
        d->ScaleTrackBar->setValue(1);
        QTest::mouseClick(d->OkButton(), Qt::LeftButton);
    });
    Item("Scale2MenuItem")->trigger();
    EXPECT_EQ(Picture().Width(), 40);
    EXPECT_EQ(frames, 1);
    form->Options.FocusMode = false;
    form->Options.DocCenter = true;
    Item("RotateToolButton")->trigger();
    EXPECT_EQ(centred, 1);
    EXPECT_EQ(frames, 1);
}
