// The picture preview: which files a sequence holds, browsing, the slide
// show's steps and settings, and Edit handing the picture to the main window.
#include "CaptureControl.h"
#include "DialogSupport.h"
#include "ImageControl.h"
#include "ImgPreview.h"
#include "ImgPreviewForm.h"
#include "MainForm.h"
#include "PictureClasses.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zk;

namespace {

void picture(const QString &path, QColor colour = Qt::red, QSize size = QSize(30, 20))
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    const QString ext = QFileInfo(path).suffix().toLower();
    const char *format = ext.startsWith(QLatin1String("jp")) ? "JPG" : ext == QLatin1String("bmp") ? "BMP" : "PNG";
    ASSERT_TRUE(img.save(path, format)) << path.toStdString();
}

class ImgPreview : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterPictureCodecs();
        TRegistry().DeleteKey(QString::fromLatin1(ViewerKey));
    }
    void TearDown() override { TRegistry().DeleteKey(QString::fromLatin1(ViewerKey)); }

    // A preview of a folder of mode 2 with its messages noted.
    std::unique_ptr<TImgPreviewBMForm> folderPreview(const QString &folder)
    {
        auto f = std::make_unique<TImgPreviewBMForm>();
        f->SetMode(2);
        f->Prompts.ChooseFolder = [folder](const QString &) { return folder; };
        f->Prompts.Message = [this](const QString &t) { messages << t; };
        return f;
    }
    QTemporaryDir dir;
    QStringList messages;
};

TEST_F(ImgPreview, CaptureFilesOfTheAutosaveFolderShowTheFirstOfTwo)
{
    picture(dir.filePath("ZK2.bmp"));
    picture(dir.filePath("zk1.bmp"));
    picture(dir.filePath("other.bmp"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("ZKfolder.bmp"));
    TImgPreviewBMForm f;
    f.SetSources({{}, {}, {}, dir.path()});
    f.SetMode(1);
    ASSERT_TRUE(f.FormShow());
    EXPECT_EQ(f.FileList(), QStringList({"zk1.bmp", "ZK2.bmp"}));
    EXPECT_EQ(f.TopCaption(), QStringLiteral("Datei: 1 von 2 : zk1.bmp"));
    EXPECT_EQ(f.PreviewImage->Picture().Width(), 30);
    EXPECT_FALSE(f.RetBitBtn->isEnabled());
    EXPECT_TRUE(f.NextBitBtn->isEnabled());
}

TEST_F(ImgPreview, StorageFolderListsTheAutomaticNamesOfTheSaveType)
{
    for (const char *n : {"Shot3.png", "shot1.PNG", "Shot2.jpg", "Other.png"})
        picture(dir.filePath(n));
    TImgPreviewBMForm f;
    f.SetSources({dir.path(), "Shot", ".png", {}});
    f.SetMode(0);
    ASSERT_TRUE(f.FormShow());
    EXPECT_EQ(f.FileList(), QStringList({"shot1.PNG", "Shot3.png"}));
}

TEST_F(ImgPreview, EmptySequencesSaySoAndClose)
{
    TImgPreviewBMForm autosave;
    autosave.SetSources({{}, {}, {}, dir.path()});
    autosave.SetMode(1);
    autosave.Prompts.Message = [this](const QString &t) { messages << t; };
    EXPECT_FALSE(autosave.FormShow());
    auto cancelled = folderPreview(QString());
    EXPECT_FALSE(cancelled->FormShow());
    EXPECT_EQ(messages, QStringList{"Das Verzeichnis enthält keine passenden Grafikdateien."});
}

TEST_F(ImgPreview, FolderTakesExtensionsAllLowerOrAllUpper)
{
    for (const char *n : {"A.JPG", "b.png", "C.Png", "d.jpeg", "e.txt"})
        picture(dir.filePath(n));
    ASSERT_TRUE(QDir(dir.path()).mkdir("f.png"));
    auto f = folderPreview(dir.path());
    ASSERT_TRUE(f->FormShow());
    EXPECT_EQ(f->FileList(), QStringList({"A.JPG", "b.png", "d.jpeg"}));
    EXPECT_TRUE(f->NewChoiceBitBtn->isVisibleTo(f.get()));
}

TEST_F(ImgPreview, BrowseButtonsFollowThePosition)
{
    for (const char *n : {"1.png", "2.png", "3.png"})
        picture(dir.filePath(n));
    auto f = folderPreview(dir.path());
    ASSERT_TRUE(f->FormShow());
    struct Step {
        void (TImgPreviewBMForm::*press)();
        int index;
        bool back, forward;
    };
    const Step steps[] = {
        {&TImgPreviewBMForm::NextBitBtnClick, 1, true, true},
        {&TImgPreviewBMForm::NextBitBtnClick, 2, true, false},
        {&TImgPreviewBMForm::NextBitBtnClick, 2, true, false},
        {&TImgPreviewBMForm::RetBitBtnClick, 1, true, true},
        {&TImgPreviewBMForm::FirstBitBtnClick, 0, false, true},
        {&TImgPreviewBMForm::RetBitBtnClick, 0, false, true},
        {&TImgPreviewBMForm::LastBitBtnClick, 2, true, false},
    };
    for (const Step &s : steps) {
        (f.get()->*s.press)();
        SCOPED_TRACE(s.index);
        EXPECT_EQ(f->Sequence().Index(), s.index);
        EXPECT_EQ(f->FirstBitBtn->isEnabled(), s.back);
        EXPECT_EQ(f->RetBitBtn->isEnabled(), s.back);
        EXPECT_EQ(f->NextBitBtn->isEnabled(), s.forward);
        EXPECT_EQ(f->LastBitBtn->isEnabled(), s.forward);
    }
    EXPECT_EQ(f->TopCaption(), QStringLiteral("Datei: 3 von 3 : 3.png"));
}

TEST_F(ImgPreview, GoToTakesOnlyNumbersOfTheSequence)
{
    for (const char *n : {"1.png", "2.png", "3.png"})
        picture(dir.filePath(n));
    auto f = folderPreview(dir.path());
    ASSERT_TRUE(f->FormShow());
    for (const char *bad : {"", "0", "4", "99999999999"}) {
        f->GoToEdit->setText(QString::fromLatin1(bad));
        f->GoToEditEnter();
        EXPECT_EQ(f->Sequence().Index(), 0) << bad;
    }
    EXPECT_EQ(messages.size(), 4);
    EXPECT_EQ(messages.value(0), QStringLiteral("Der eingegebene Wert ist ungültig."));
    f->GoToEdit->setText("3");
    f->GoToEditEnter();
    EXPECT_EQ(f->Sequence().Index(), 2);
    EXPECT_TRUE(f->FirstBitBtn->isEnabled());
    EXPECT_FALSE(f->LastBitBtn->isEnabled());
}

TEST_F(ImgPreview, DamagedPictureSaysSoAndBrowsingGoesOn)
{
    picture(dir.filePath("1.png"));
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("2.png"), "\x89PNG\r\n\x1a\nbroken"));
    picture(dir.filePath("3.png"), Qt::blue, QSize(7, 9));
    auto f = folderPreview(dir.path());
    ASSERT_TRUE(f->FormShow());
    f->NextBitBtnClick();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(f->PreviewImage->Picture().Empty());
    EXPECT_EQ(f->TopCaption(), QStringLiteral("Datei: 2 von 3 : 2.png"));
    f->NextBitBtnClick();
    EXPECT_EQ(f->PreviewImage->Picture().Width(), 7);
}

TEST_F(ImgPreview, RepeatRunsThereAndBack)
{
    for (const char *n : {"1.png", "2.png", "3.png"})
        picture(dir.filePath(n));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(ViewerKey), true));
        reg.WriteBool("Repeat", true);
    }
    auto f = folderPreview(dir.path());
    ASSERT_TRUE(f->FormShow());
    QList<int> shown{f->Sequence().Index() + 1};
    for (int i = 0; i < 5; ++i) {
        f->SlideShowTimerTimer();
        shown << f->Sequence().Index() + 1;
    }
    EXPECT_EQ(shown, QList<int>({1, 2, 3, 2, 1, 2}));
}

TEST_F(ImgPreview, WithoutRepeatTheShowStaysAtTheEnd)
{
    TPreviewSequence seq;
    seq.Reset(2);
    TSlideShowSettings s;
    EXPECT_TRUE(seq.SlideStep(s));
    EXPECT_FALSE(seq.SlideStep(s));
    EXPECT_EQ(seq.Index(), 1);
    EXPECT_EQ(s.Direction, 1);
}

TEST_F(ImgPreview, FiveSecondsRunTheTimerEvery5000msAndAreStored)
{
    picture(dir.filePath("1.png"));
    auto f = folderPreview(dir.path());
    ASSERT_TRUE(f->FormShow());
    QString nameWhileOpen;
    zktest::AnswerNext<TSlideConfigBMForm>([&](TSlideConfigBMForm *d) {
        nameWhileOpen = OpenDialogName;
        EXPECT_FALSE(d->SCFOkButton->isEnabled());
        d->SlideTimeUpDown->setValue(5);
        d->SlideActiveCheckBox->setChecked(true);
        d->SCFOkButton->click();
    });
    f->SlideShowButtonClick();
    EXPECT_EQ(nameWhileOpen, QStringLiteral("TSlideConfigForm"));
    EXPECT_EQ(OpenDialogName, QStringLiteral("TImgPreviewForm"));
    EXPECT_TRUE(f->SlideShowRunning());
    EXPECT_EQ(f->SlideShowTimer->interval(), 5000);
    EXPECT_EQ(f->SlideShowButton->text(), QStringLiteral("Slideshow stoppen"));
    f->SlideShowButtonClick(); // stops without a dialog
    EXPECT_FALSE(f->SlideShowRunning());
    f->close();
    OpenDialogName.clear();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QString::fromLatin1(ViewerKey)));
    EXPECT_EQ(reg.ReadInteger("Intervall"), 5000);
    EXPECT_FALSE(reg.ReadBool("Repeat"));
    EXPECT_EQ(reg.ReadInteger("SlideSite"), 1);
}

TEST_F(ImgPreview, StoredIntervalsAreClampedAndDefaultsFillTheRest)
{
    EXPECT_EQ(ReadViewerSettings().Interval, 2000);
    const std::pair<int, int> cases[] = {{0, 1000}, {-5, 1000}, {7000, 7000}, {500000, 100000}};
    for (const auto &[stored, read] : cases) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(ViewerKey), true));
        reg.WriteInteger("Intervall", stored);
        EXPECT_EQ(ReadViewerSettings().Interval, read) << stored;
    }
    TSlideConfigBMForm d;
    TSlideShowSettings s{7000, true, false, 0};
    d.SetSettings(s);
    EXPECT_EQ(d.SlideTimeUpDown->value(), 7);
    EXPECT_TRUE(d.SCRBackwardRadio->isChecked());
    TSlideShowSettings back;
    d.GetSettings(back);
    EXPECT_EQ(back.Interval, 7000);
    EXPECT_TRUE(back.Repeat);
    EXPECT_EQ(back.Direction, 0);
}

TEST_F(ImgPreview, EditNoLoadsYesAlsoClosesCancelDoesNothing)
{
    picture(dir.filePath("a.png"), Qt::green, QSize(12, 8));
    TMainForm main;
    std::unique_ptr<TImgPreviewBMForm> f(main.MakePreviewForm(&main, 2));
    f->Prompts.ChooseFolder = [this](const QString &) { return dir.path(); };
    int answer = QMessageBox::Cancel;
    f->Prompts.AskYesNoCancel = [&](const QString &) { return answer; };
    main.Options.OAsBmp = false;
    f->show();
    ASSERT_TRUE(f->isVisible());
    EXPECT_TRUE(f->EditBitBtn->isVisible());
    main.FFileName.clear();
    main.FHasFileName = false;

    f->EditBitBtnClick();
    EXPECT_FALSE(main.FHasFileName);
    EXPECT_TRUE(f->isVisible());

    answer = QMessageBox::No;
    f->EditBitBtnClick();
    EXPECT_TRUE(main.FHasFileName);
    EXPECT_EQ(main.FFileName, dir.filePath("a.png"));
    EXPECT_EQ(main.ScanImage->Picture().Width(), 12);
    EXPECT_EQ(main.StatusPanelText(6), QStringLiteral("png"));
    EXPECT_TRUE(f->isVisible());
    // No temporary picture was left beside the source.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.png"});

    answer = QMessageBox::Yes;
    main.FHasFileName = false;
    main.Options.OAsBmp = true;
    f->EditBitBtnClick();
    EXPECT_TRUE(main.FHasFileName);
    EXPECT_EQ(main.StatusPanelText(6), QStringLiteral("|bmp| - png"));
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(f->result(), QDialog::Accepted);
}

TEST_F(ImgPreview, OnePictureHasNoBrowseControls)
{
    picture(dir.filePath("one.png"), Qt::red, QSize(50, 40));
    TImgPreviewBMForm f;
    f.SetMode(3);
    f.WinDimCheckBox->setChecked(true);
    ASSERT_TRUE(f.ShowPicture(dir.filePath("one.png")));
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Vorschau"));
    EXPECT_EQ(f.TopCaption(), QStringLiteral("Datei: one.png"));
    EXPECT_FALSE(f.NextBitBtn->isVisible());
    EXPECT_FALSE(f.PropPanel->findChild<QPushButton *>("EditBitBtn")->isVisible());
}

} // namespace
