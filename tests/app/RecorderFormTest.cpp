// The recorder, the frame-editing window and the player driven by their
// buttons, offscreen (grabs give black frames here; tests/x11 checks what
// is grabbed).
#include "AviFile.h"
#include "AviViewForm.h"
#include "DirBDForm.h"
#include "FolderExplorerSetup.h"
#include "NavBDForm.h"
#include "Bitmap.h"
#include "MainForm.h"
#include "RecorderForm.h"
#include "RecorderLogic.h"
#include "SaveAviEdtForm.h"
#include "ImageControl.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QTabWidget>
#include <QTreeWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zk;

namespace {

class RecorderMain : public TMainForm
{
public:
    RecorderMain()
    {
        Options.EndDlg = false;
        Options.SysKeys = false;
        Options.VdoPixVal = 0;
        Options.BmpPixForm = pf24bit;
        Options.AviFramePerSec = 10;
        Options.TmpAviPath = zktest::sandboxDir() + "/recorder";
        QDir(Options.TmpAviPath).removeRecursively();
        QDir().mkpath(Options.TmpAviPath);
        RecorderMessage = [this](const QString &text) { messages << text; };
        // Offering the player after a build is the viewer command's, tested
        // with it; these builds ask nobody.
        RecorderHooks.OpenAviView = {};
    }
    QStringList messages;
};

class RecorderFormTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
};

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST_F(RecorderFormTest, OpensFromModeSevenTakesFramesAndCloses)
{
    RecorderMain form;
    form.show();
    form.Options.ScanTool = 7;
    form.ScanClick(nullptr);
    ASSERT_TRUE(form.RecorderForm);
    EXPECT_TRUE(form.FRecorderActive);
    EXPECT_FALSE(form.Item("AviVdoMenuItem")->isEnabled()) << "capture commands are off while recording";
    TRecorderForm *rec = form.RecorderForm;
    EXPECT_TRUE(rec->isVisible());
    EXPECT_TRUE(rec->AviManPicButton->text().contains('\n'));

    rec->AviManPicButton->click();
    rec->PrintKey(true);
    rec->PrintKey(false); // the release takes nothing
    EXPECT_EQ(FrameNumbers(form.Options.TmpAviPath), (std::vector<std::uint32_t>{0, 1}));
    TBitmap first;
    first.LoadFromFile(FrameFileName(form.Options.TmpAviPath, 0));
    EXPECT_EQ(QSize(first.Width(), first.Height()), QSize(294, 234)) << "the frame's ring stays out";

    rec->AviStartButton->click();
    EXPECT_TRUE(rec->AviTimer->isActive());
    EXPECT_FALSE(rec->CompAviButton->isEnabled());
    EXPECT_TRUE(rec->AviStopButton->isEnabled());
    rec->AviStopButton->click();
    EXPECT_TRUE(rec->CompAviButton->isEnabled());

    rec->AviEndButton->click();
    settle();
    EXPECT_FALSE(form.RecorderForm);
    EXPECT_FALSE(form.FRecorderActive);
    EXPECT_TRUE(form.Item("AviVdoMenuItem")->isEnabled());
}

TEST_F(RecorderFormTest, BuildOutcomes)
{
    RecorderMain form;
    form.show();
    const QString dir = form.Options.TmpAviPath;
    const QString avi = zktest::sandboxDir() + "/rec.avi";
    QFile::remove(avi);
    struct Case
    {
        const char *what;
        QString answer;  // the save dialog's answer
        bool damaged;    // a frame file that does not load
        bool written;
        bool copyFails = false; // the copy target is a file, not a folder
    };
    const QString notAFolder = zktest::sandboxDir() + "/copy-target-file";
    ASSERT_TRUE(zktest::writeBytes(notAFolder, "x"));
    for (const Case &c : {Case{"cancelled", QString(), false, false}, Case{"damaged frame", avi, true, false},
                          Case{"written", avi, false, true}, Case{"copy fails", avi, false, true, true}}) {
        SCOPED_TRACE(c.what);
        form.messages.clear();
        form.Options.TmpAviDel = true;
        form.Options.AVICopyDir = c.copyFails;
        form.Options.AviCopyPath = notAFolder;
        form.AviVdoMenuItemClick();
        TRecorderForm *rec = form.RecorderForm;
        ASSERT_TRUE(rec);
        DeleteFrameFiles(dir);
        rec->AviManPicButtonClick(rec->AviManPicButton);
        rec->AviManPicButtonClick(rec->AviManPicButton);
        if (c.damaged) {
            ASSERT_TRUE(zktest::writeBytes(FrameFileName(dir, 1), "BM"));
        }
        rec->AskAviFileName = [&](const QString &) { return c.answer; };
        EXPECT_EQ(rec->CompAviButtonClick(), c.written);
        settle();
        EXPECT_EQ(QFile::exists(avi), c.written);
        if (!c.written) {
            // Frames, recorder and its buttons are back as they were.
            EXPECT_EQ(FrameNumbers(dir).size(), 2u);
            ASSERT_TRUE(form.RecorderForm);
            EXPECT_TRUE(rec->isVisible());
            EXPECT_TRUE(rec->CompAviButton->isEnabled());
            EXPECT_EQ(form.messages.size(), c.damaged ? 1 : 0);
            rec->close();
            settle();
        } else if (c.copyFails) {
            EXPECT_EQ(FrameNumbers(dir).size(), 2u) << "frames whose copy failed are not deleted";
            EXPECT_EQ(form.messages.size(), 1);
            EXPECT_FALSE(form.RecorderForm);
        } else {
            EXPECT_TRUE(FrameNumbers(dir).empty()) << "TmpAviDel removes the frames after building";
            EXPECT_FALSE(form.RecorderForm);
            TAviFileReader reader;
            reader.Open(avi);
            EXPECT_EQ(reader.FrameCount(), 2);
            EXPECT_EQ(reader.Width(), 294);
        }
    }
    // Without frames the build asks for nothing.
    DeleteFrameFiles(dir);
    form.AviVdoMenuItemClick();
    form.RecorderForm->AskAviFileName = [](const QString &) -> QString {
        ADD_FAILURE() << "asked for a name";
        return {};
    };
    form.messages.clear();
    EXPECT_FALSE(form.RecorderForm->CompAviButtonClick());
    EXPECT_EQ(form.messages.size(), 1);
    // A folder that is gone ends the recorder with its message.
    form.Options.TmpAviPath = dir + "/gone";
    form.RecorderForm->AviManPicButtonClick(form.RecorderForm->AviManPicButton);
    settle();
    EXPECT_FALSE(form.RecorderForm);
    EXPECT_EQ(form.messages.size(), 2);
}

TEST_F(RecorderFormTest, PlayerStepsThroughFramesAndKeepsItsSettings)
{
    const QString file = zktest::sandboxDir() + "/play.avi";
    {
        TAviFileWriter w;
        w.Open(file, 8, 4, 10, 3);
        for (int i = 0; i < 3; ++i) {
            TBitmap b(8, 4, pf24bit);
            b.SetPixel(0, 0, TColor(i * 100));
            w.WriteFrame(b);
        }
        w.Finish();
    }
    {
        TAviViewBMForm view;
        ASSERT_TRUE(view.OpenFile(file));
        EXPECT_FALSE(view.BackButton->isEnabled());
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            view.ForwardButton->click();
            shown << view.CountDispPanel->text() + (view.BackButton->isEnabled() ? "+" : "-");
        }
        EXPECT_EQ(shown, (QStringList{"2+", "3+", "1-"})) << "after the last frame the first again";
        view.ForwardButton->click();
        view.BackButton->click();
        EXPECT_EQ(view.AviAnimate->CurrentFrame(), 0);
        EXPECT_FALSE(view.ReloadButton->isEnabled()) << "no load command yet";
        view.AutoRepCheckBox->click();
        EXPECT_EQ(view.AviAnimate->Repetitions, 0);
        view.AskColor = [](const QColor &) { return QColor(10, 20, 30); };
        view.BkColorMenuItemClick();
        view.reject();
    }
    TAviViewBMForm again;
    EXPECT_TRUE(again.AutoRepCheckBox->isChecked());
    EXPECT_EQ(again.AviAnimate->Color, QColor(10, 20, 30));
    QString error;
    EXPECT_FALSE(again.OpenFile(zktest::sandboxDir() + "/none.avi", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(RecorderFormTest, FrameEditingWritesOnlyUnderAFrameName)
{
    RecorderMain form;
    form.show();
    form.ScanImage->Picture().Bitmap().SetSize(6, 4);
    form.ScanImage->PictureChanged();
    const QString dir = form.Options.TmpAviPath;
    QString chosen;
    form.RecorderHooks.SelectedListItem = [&] { return chosen; };
    form.OpenSaveAviEdtForm();
    ASSERT_TRUE(form.SaveAviEdtForm);
    TSaveAviEdtForm *edit = form.SaveAviEdtForm;
    EXPECT_EQ(edit->pos(), QPoint(200, 200)) << "no file list to stand below";
    ASSERT_TRUE(edit->SaveAviBmpButton->isEnabled());

    struct Case
    {
        const char *name;
        bool written;
    };
    for (const Case c : {Case{"", false}, Case{"x.jpg", false}, Case{"00000001.bmp", true}}) {
        form.messages.clear();
        chosen = QString::fromLatin1(c.name);
        edit->SaveAviBmpButton->click();
        EXPECT_EQ(QFile::exists(dir + "/" + chosen) && !chosen.isEmpty(), c.written) << c.name;
        EXPECT_EQ(form.messages.size(), c.written ? 0 : 1) << c.name;
    }
    TBitmap back;
    back.LoadFromFile(dir + "/00000001.bmp");
    EXPECT_EQ(back.Width(), 6);

    // Ctrl+Shift+R goes back to recording.
    QApplication::setActiveWindow(edit);
    QTest::keyClick(edit, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    settle();
    ASSERT_TRUE(form.RecorderForm);
    EXPECT_FALSE(form.SaveAviEdtForm);
    form.RecorderForm->close();
    settle();
}

TEST_F(RecorderFormTest, TheRecorderGoesWithTheMainWindow)
{
    QPointer<TRecorderForm> rec;
    {
        RecorderMain form;
        form.show();
        form.AviVdoMenuItemClick();
        rec = form.RecorderForm;
        ASSERT_TRUE(rec);
    }
    EXPECT_FALSE(rec) << "a window without parent must not outlive the program's main window";
}

TEST_F(RecorderFormTest, RecorderUsesTheExplorersFrameEntries)
{
    RecorderMain form;
    form.Options.FileExp = true;
    form.show();
    TDirBDForm *dir = CreateFolderExplorer(form);
    dir->DirPageControl->setCurrentIndex(1);
    form.AviVdoMenuItemClick();
    ASSERT_TRUE(form.RecorderForm);
    EXPECT_EQ(dir->DirPageControl->currentIndex(), 0) << "opening shows the explorer's own entries";

    // Editing lists the frames the next build reads, not the copies an
    // earlier build left: two frames here, three old copies there.
    form.Options.AviCopyPath = zktest::sandboxDir() + "/recorder-copies";
    for (const QString &d : {form.Options.AviCopyPath, form.Options.TmpAviPath}) {
        QDir(d).removeRecursively();
        QDir().mkpath(d);
    }
    for (int i = 0; i < 3; ++i)
        TBitmap(5, 3, pf24bit).SaveToFile(FrameFileName(form.Options.AviCopyPath, i));
    for (int i = 0; i < 2; ++i)
        TBitmap(9, 5, pf24bit).SaveToFile(FrameFileName(form.Options.TmpAviPath, i));
    form.Options.MagneticFE = true;
    form.RecorderForm->AVIEditButton->click();
    settle();
    ASSERT_TRUE(dir->InternTreeView->currentItem());
    EXPECT_EQ(dir->InternTreeView->currentItem()->text(0).toStdString(), "AVI-Build");
    auto *list = qobject_cast<TNavBDForm *>(form.NavBDForm.data());
    ASSERT_TRUE(list);
    for (int i = 0; i < 200 && !list->ListingDone; ++i)
        settle();
    ASSERT_TRUE(form.SaveAviEdtForm);
    EXPECT_EQ(form.SaveAviEdtForm->pos(), list->mapToGlobal(QPoint(0, list->height()))) << "below the file list";

    // Writing back goes under the chosen row's name into the frame folder.
    ASSERT_EQ(list->FileListModel->rowCount(), 2);
    list->FileListView->setCurrentIndex(list->FileListModel->index(1));
    form.ScanImage->Picture().Bitmap().SetSize(7, 4);
    form.ScanImage->PictureChanged();
    form.messages.clear();
    form.SaveAviEdtForm->SaveAviBmpButton->click();
    EXPECT_TRUE(form.messages.isEmpty()) << form.messages.join(' ').toStdString();
    TBitmap back;
    back.LoadFromFile(FrameFileName(form.Options.TmpAviPath, 1));
    EXPECT_EQ(back.Width(), 7);
    EXPECT_EQ(QDir(form.Options.AviCopyPath).entryList(QDir::Files).size(), 3) << "old copies untouched";
    form.SaveAviEdtForm->close();
    settle();

    // The next build reads what editing showed and wrote: two frames.
    if (zktest::haveProgram("ffprobe")) {
        form.AviVdoMenuItemClick();
        ASSERT_TRUE(form.RecorderForm);
        const QString avi = zktest::sandboxDir() + "/edited.avi";
        QFile::remove(avi);
        form.RecorderForm->AskAviFileName = [&](const QString &) { return avi; };
        EXPECT_TRUE(form.RecorderForm->CompAviButtonClick());
        settle();
        QByteArray out;
        zktest::runProgram("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                       "stream=nb_read_frames,width", "-of", "default=noprint_wrappers=1", avi},
                           &out);
        EXPECT_TRUE(out.contains("nb_read_frames=2")) << out.constData();
        EXPECT_TRUE(out.contains("width=9")) << out.constData();
    }
}
