// The main window's desktop hand-offs, cut, numbered bitmap copies, the AVI
// player and single AVI frames. AVI files come from ffmpeg, and ffmpeg's own
// decoding of a frame is what an extracted frame must equal.
#include "AviViewForm.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "NavBDForm.h"
#include "FolderExplorerSetup.h"
#include "ProgramDir.h"
#include "QuietForm.h"
#include "Registry.h"
#include "ShellCommands.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstring>

using namespace zk;

namespace {

const QString kFfmpeg = QStringLiteral("/usr/bin/ffmpeg");

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QStringList files;
public slots:
    void open(const QUrl &url) { files << url.toLocalFile(); }
};

// A program on PATH that appends its arguments and working folder to log.
void writeRecorder(const QString &path, const QString &log)
{
    ASSERT_TRUE(zktest::writeBytes(path, QStringLiteral("#!/bin/sh\necho \"$PWD|$*\" >> '%1'\n").arg(log).toUtf8()));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The log's lines once the detached program wrote them.
QStringList waitForLog(const QString &log)
{
    for (int i = 0; i < 300 && !QFileInfo::exists(log); ++i)
        QTest::qWait(10);
    QTest::qWait(20);
    return QString::fromUtf8(zktest::readBytes(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// ffmpeg's decoding of frame `frame` as rgb24.
QByteArray ffmpegFrame(const QString &avi, int frame)
{
    QByteArray out;
    zktest::runProgram(kFfmpeg,
                       {"-v", "error", "-i", avi, "-vf", QStringLiteral("select=eq(n\\,%1)").arg(frame), "-frames:v", "1",
                        "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                       &out);
    return out;
}

// An AVI of n frames, w x h, in pixel format fmt, made by ffmpeg.
QString ffmpegAvi(const QString &dir, const char *fmt, int w, int h, int n)
{
    QByteArray src;
    for (int i = 0; i < n; ++i)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                src.append(char((x * 9 + i * 50) & 255)).append(char((y * 11 + i * 7) & 255)).append(char((x ^ y) * 5 & 255));
    zktest::writeBytes(dir + "/src.rgb", src);
    const QString avi = dir + "/" + QString::fromLatin1(fmt) + ".avi";
    EXPECT_EQ(zktest::runProgram(kFfmpeg, {"-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                                           QStringLiteral("%1x%2").arg(w).arg(h), "-r", "10", "-i", dir + "/src.rgb",
                                           "-c:v", "rawvideo", "-pix_fmt", QString::fromLatin1(fmt), avi}),
              0);
    return avi;
}

// Mismatching pixels between an image file and rgb24 bytes.
int pixelMismatches(const QString &bmp, const QByteArray &rgb)
{
    const QImage img = QImage(bmp).convertToFormat(QImage::Format_RGB888);
    if (img.isNull() || qsizetype(img.width()) * img.height() * 3 != rgb.size())
        return -1;
    int bad = 0;
    for (int y = 0; y < img.height(); ++y)
        bad += std::memcmp(img.constScanLine(y), rgb.constData() + qsizetype(y) * img.width() * 3, size_t(img.width()) * 3) != 0;
    return bad;
}

QImage testPicture(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 40 + seed) & 255, (y * 60 + seed * 3) & 255, (x * y + seed * 7) & 255));
    return img;
}

class ShellCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<zktest::QuietForm>();
        form->ShellPrompts.Message = [this](const QString &text) { messages << text; };
        form->ShellPrompts.Confirm = [this](const QString &text) {
            questions << text;
            return answerYes;
        };
    }
    void TearDown() override
    {
        form.reset();
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    std::unique_ptr<zktest::QuietForm> form;
    QStringList messages, questions;
    bool answerYes = true;
};

} // namespace

TEST_F(ShellCommandsTest, NumberedCopiesSkipDamagedBitmapsAndSetTheAviFolderOnlyAfterSuccess)
{
    QTemporaryDir dir;
    const QString src = dir.path() + "/src", dst = dir.path() + "/dst";
    QDir().mkpath(src);
    QDir().mkpath(dst);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(testPicture(7 + i, 5, i).save(src + QStringLiteral("/p%1.BMP").arg(i), "BMP"));
    ASSERT_TRUE(zktest::writeBytes(src + "/p1a.bmp", "BM broken"));
    ASSERT_TRUE(zktest::writeBytes(src + "/note.txt", "not a bitmap"));

    int asked = 0;
    QString target;
    form->ShellPrompts.ChooseFolder = [&](int kind, const QString &) {
        ++asked;
        return kind == 0 ? src : target;
    };
    // A cancelled target choice and the source as target write nothing.
    for (const QString &t : {QString(), src}) {
        target = t;
        form->BmpsToAviMenuItemClick();
        EXPECT_EQ(QDir(dst).entryList(QDir::Files).size(), 0);
        EXPECT_EQ(QDir(src).entryList(QDir::Files).size(), 5);
        EXPECT_TRUE(form->Options.TmpAviPath.isEmpty());
        EXPECT_FALSE(QFileInfo::exists("/00000000.bmp"));
    }
    EXPECT_EQ(asked, 4);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Der Zielordner darf nicht der Ordner der Bitmaps sein.");

    messages.clear();
    target = dst;
    form->BmpsToAviMenuItemClick();
    EXPECT_EQ(QDir(dst).entryList(QDir::Files),
              QStringList({"00000000.bmp", "00000001.bmp", "00000002.bmp"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(QImage(dst + QStringLiteral("/0000000%1.bmp").arg(i)).convertToFormat(QImage::Format_RGB888),
                  testPicture(7 + i, 5, i))
            << i;
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Diese Bitmaps konnten nicht gelesen werden und wurden übersprungen (1 von 4):\n"
                                       "p1a.bmp"))
        << messages[0].toStdString();
    EXPECT_EQ(form->Options.TmpAviPath, dst);
    EXPECT_EQ(questions.size(), 3);
}

TEST(NumberedCopies, FollowTheFramesAlreadyInTheTargetAndReplaceNone)
{
    QTemporaryDir dir;
    const QString src = dir.path() + "/src", dst = dir.path() + "/dst";
    QDir().mkpath(src);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(testPicture(6, 4, 10 + i).save(src + QStringLiteral("/p%1.bmp").arg(i), "BMP"));
    // An earlier run's frames with a gap, and a folder under the next name.
    QDir().mkpath(dst + "/00000003.bmp");
    ASSERT_TRUE(zktest::writeBytes(dst + "/00000000.bmp", "earlier frame 0"));
    ASSERT_TRUE(zktest::writeBytes(dst + "/00000002.bmp", "earlier frame 2"));

    TNumberedCopyResult r = NumberedBitmapCopies(BitmapSourceFiles(src), dst);
    EXPECT_TRUE(r.WriteError.isEmpty()) << r.WriteError.toStdString();
    EXPECT_EQ(r.Written, 2);
    EXPECT_EQ(zktest::readBytes(dst + "/00000000.bmp"), "earlier frame 0");
    EXPECT_EQ(zktest::readBytes(dst + "/00000002.bmp"), "earlier frame 2");
    EXPECT_FALSE(QFileInfo::exists(dst + "/00000001.bmp"));
    EXPECT_TRUE(QFileInfo(dst + "/00000003.bmp").isDir());
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(QImage(dst + QStringLiteral("/0000000%1.bmp").arg(4 + i)).convertToFormat(QImage::Format_RGB888),
                  testPicture(6, 4, 10 + i))
            << i;

    // Eight digits end at 99999999: the next copy must not wrap round to 00000000.
    const QString full = dir.path() + "/full";
    QDir().mkpath(full);
    ASSERT_TRUE(zktest::writeBytes(full + "/00000000.bmp", "first"));
    ASSERT_TRUE(zktest::writeBytes(full + "/99999998.bmp", "last but one"));
    r = NumberedBitmapCopies(BitmapSourceFiles(src), full);
    EXPECT_EQ(r.Written, 1);
    EXPECT_FALSE(r.WriteError.isEmpty());
    EXPECT_EQ(zktest::readBytes(full + "/00000000.bmp"), "first");
    EXPECT_EQ(QImage(full + "/99999999.bmp").convertToFormat(QImage::Format_RGB888), testPicture(6, 4, 10));
    EXPECT_EQ(QDir(full).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST_F(ShellCommandsTest, ExtractedFramesEqualFfmpegsDecoding)
{
    if (!zktest::haveProgram(kFfmpeg))
        GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh)";
    QTemporaryDir dir;
    for (const char *fmt : {"bgr24", "pal8"}) {
        SCOPED_TRACE(fmt);
        const QString avi = ffmpegAvi(dir.path(), fmt, 21, 13, 5);
        for (int frame : {0, 1, 4}) {
            const QString bmp = dir.path() + QStringLiteral("/f%1.bmp").arg(frame);
            QString error;
            ASSERT_TRUE(ExtractAviFrame(avi, frame, bmp, &error)) << error.toStdString();
            EXPECT_EQ(pixelMismatches(bmp, ffmpegFrame(avi, frame)), 0) << frame;
        }
        // Past the end, and a cut-off file: false, nothing written.
        const QString none = dir.path() + "/none.bmp";
        int count = -1;
        EXPECT_FALSE(ExtractAviFrame(avi, 5, none, nullptr, &count));
        EXPECT_EQ(count, 5);
        const QByteArray bytes = zktest::readBytes(avi);
        for (qsizetype cut : {qsizetype(100), bytes.size() / 2, bytes.size() - 7}) {
            zktest::writeBytes(dir.path() + "/cut.avi", bytes.left(cut));
            QString error;
            EXPECT_FALSE(ExtractAviFrame(dir.path() + "/cut.avi", 4, none, &error)) << cut;
            EXPECT_FALSE(error.isEmpty());
        }
        EXPECT_FALSE(QFileInfo::exists(none));
    }
}

TEST_F(ShellCommandsTest, FrameCommandCountsFromZeroAndAsksToShowOnlyAfterASave)
{
    if (!zktest::haveProgram(kFfmpeg))
        GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh)";
    QTemporaryDir dir;
    const QString avi = ffmpegAvi(dir.path(), "bgr24", 16, 8, 3);
    const QString bmp = dir.path() + "/frame.bmp";
    QString saveAs = bmp;
    form->ShellPrompts.ChooseFile = [&](const QString &name) { return name == "AviOpenDialog" ? avi : saveAs; };
    struct Case
    {
        const char *typed;
        const char *message; // "" : saved
    } cases[] = {
        {"zwei", "Die Rahmen-Nr. muss eine ganze Zahl ab 0 sein:\nzwei"},
        {"-1", "Die Rahmen-Nr. muss eine ganze Zahl ab 0 sein:\n-1"},
        {"3", "Die AVI-Datei hat nur die Rahmen 0 bis 2."},
        {" 2 ", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        messages.clear();
        questions.clear();
        form->ShellPrompts.AskFrameNumber = [&](const QString &preset) -> std::optional<QString> {
            EXPECT_EQ(preset, "1");
            return QString::fromLatin1(c.typed);
        };
        answerYes = false;
        form->AVIextrahieren1Click();
        if (*c.message) {
            EXPECT_EQ(messages, QStringList{QString::fromUtf8(c.message)});
            EXPECT_FALSE(QFileInfo::exists(bmp));
            EXPECT_TRUE(questions.isEmpty());
        } else {
            EXPECT_TRUE(messages.isEmpty());
            EXPECT_EQ(pixelMismatches(bmp, ffmpegFrame(avi, 2)), 0);
            EXPECT_EQ(questions, QStringList{"Soll das gespeicherte Einzelbild jetzt angezeigt werden?"});
        }
    }
    // A cancelled save asks nothing.
    questions.clear();
    saveAs.clear();
    form->AVIextrahieren1Click();
    EXPECT_TRUE(questions.isEmpty());
    // Yes shows the saved frame as the picture.
    saveAs = bmp;
    answerYes = true;
    form->AVIextrahieren1Click();
    EXPECT_EQ(form->ScanImage->Picture().Width(), 16);
    EXPECT_EQ(form->FFileName, bmp);
}

TEST_F(ShellCommandsTest, PlayerOpensAtTheRecordSizeAndFromTheRecordersQuestion)
{
    if (!zktest::haveProgram(kFfmpeg))
        GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh)";
    QTemporaryDir dir;
    const QString avi = ffmpegAvi(dir.path(), "pal8", 40, 30, 3);
    form->Options.VdoPixVal = 2;
    QSize client;
    QString caption;
    bool reloadOn = false;
    const auto closeViewer = [&] {
        QTimer::singleShot(0, [&] {
            for (int i = 0; i < 300 && !form->AviViewBMForm; ++i)
                QTest::qWait(10);
            ASSERT_TRUE(form->AviViewBMForm);
            QTest::qWait(20);
            client = form->AviViewBMForm->size();
            caption = form->AviViewBMForm->windowTitle();
            reloadOn = form->AviViewBMForm->ReloadButton->isEnabled();
            form->AviViewBMForm->close();
        });
    };
    closeViewer();
    form->ShellPrompts.ChooseFile = [&](const QString &) { return avi; };
    form->Item("AviLoadToolButton")->trigger();
    EXPECT_EQ(client.width(), 830);
    EXPECT_TRUE(caption.endsWith(" - [" + avi + "]")) << caption.toStdString();
    EXPECT_TRUE(reloadOn);
    EXPECT_EQ(form->AreaWidth, 800);
    EXPECT_TRUE(form->AviViewBMForm.isNull());

    // The recorder's question offers the player now that it exists.
    client = {};
    QTimer::singleShot(0, [&] {
        for (int i = 0; i < 300; ++i) {
            if (auto *ask = qobject_cast<TAskAviViewBMForm *>(QApplication::activeModalWidget())) {
                closeViewer();
                ask->PlayAviButton->click();
                return;
            }
            QTest::qWait(10);
        }
        ADD_FAILURE() << "no question";
    });
    form->OfferAviView(avi);
    EXPECT_EQ(client.width(), 830);

    // A file that is no AVI: a message, no player.
    zktest::writeBytes(dir.path() + "/bad.avi", "RIFF....AVI ");
    form->OpenAviView(dir.path() + "/bad.avi");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Die AVI-Datei kann nicht abgespielt werden:\n")) << messages[0].toStdString();
}

TEST_F(ShellCommandsTest, CutPutsThePictureOnTheClipboardAndUndoBringsItBack)
{
    const QImage img = testPicture(9, 6, 3);
    auto bmp = std::make_unique<TBitmap>();
    bmp->Assign(QImage(img));
    form->ScanImage->Picture().SetGraphic(std::move(bmp));
    form->ScanImage->PictureChanged();
    form->FHasFileName = true;
    form->FFileName = "/tmp/x.bmp";
    form->Options.FocusMode = true;

    form->CutMenuItemClick();
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), img);
    EXPECT_TRUE(form->ScanImage->Picture().Empty());
    EXPECT_EQ(form->StatusPanelText(4), "X: 0  Y: 0");
    EXPECT_EQ(form->StatusPanelText(6), "- - -");
    EXPECT_FALSE(form->FHasFileName);
    EXPECT_FALSE(form->Options.FocusMode);

    form->UndoMenuItemClick();
    EXPECT_EQ(form->ScanImage->Picture().Bitmap().ToImage().convertToFormat(QImage::Format_RGB888), img);
}

TEST_F(ShellCommandsTest, HandOffsReachTheDesktopOrGiveTheirMessages)
{
    QTemporaryDir prog, bin;
    SetProgramDirOverride(prog.path() + "/");
    const QString log = bin.path() + "/log";
    UrlRecorder urls;
    QDesktopServices::setUrlHandler("file", &urls, "open");
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);

    // Missing files, folders and programs.
    form->Options.VType = 0;
    form->Options.ImgPath = prog.path() + "/nowhere";
    form->Item("FileManagerMenuItem")->trigger();
    form->Options.VType = 1;
    form->Options.ExtProgPath = prog.path() + "/noviewer";
    form->Item("FileManagerMenuItem")->trigger();
    form->Options.Script = "none.sh";
    form->Item("ScriptMenuItem")->trigger();
    form->Item("LizenceMenuItem")->trigger();
    const QString viewerMissing = "Der eingestellte Grafikviewer ist nicht vorhanden. Bitte in den Einstellungen einen "
                                  "vorhandenen Ordner oder ein vorhandenes Programm wählen.";
    EXPECT_EQ(messages, QStringList({viewerMissing, viewerMissing,
                                     "Das gewählte Skript ist nicht vorhanden:\n" + prog.path() + "/Script/none.sh",
                                     "Die Textdatei ist nicht vorhanden:\n" + prog.path() + "/Lizenz.txt"}));
    EXPECT_TRUE(urls.files.isEmpty());
    messages.clear();

    // Present ones: the text file and the viewer folder go to the desktop,
    // programs and executable scripts start, the search runs on the home
    // folder.
    zktest::writeBytes(prog.path() + "/Readme.txt", "hello");
    form->Item("ReadmeMenuItem")->trigger();
    form->Options.VType = 0;
    form->Options.ImgPath = prog.path();
    form->Item("FileManagerMenuItem")->trigger();
    QDir().mkpath(prog.path() + "/Script");
    writeRecorder(prog.path() + "/Script/run.sh", log);
    form->Options.Script = "run.sh";
    form->Item("ScriptToolButton")->trigger();
    EXPECT_EQ(waitForLog(log), QStringList{prog.path() + "/Script|"});
    QFile::remove(log);
    writeRecorder(bin.path() + "/viewer", log);
    form->Options.VType = 1;
    form->Options.ExtProgPath = bin.path() + "/viewer";
    form->Item("FileManagerMenuItem")->trigger();
    EXPECT_EQ(waitForLog(log), QStringList{bin.path() + "|"});
    QFile::remove(log);
    writeRecorder(bin.path() + "/catfish", log);
    form->Item("FileSysFindMenuItem")->trigger();
    EXPECT_EQ(waitForLog(log), QStringList{QDir::homePath() + "|" + QDir::homePath()});
    QFile::remove(log);

    // The file list's "Suchen" and the date dialog's button run the same search.
    CreateFolderExplorer(*form);
    auto *list = qobject_cast<TNavBDForm *>(form->NavBDForm.data());
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->Suchen1->isEnabled());
    EXPECT_FALSE(list->Suchen1->property("Unavailable").toBool());
    list->Suchen1->trigger();
    EXPECT_EQ(waitForLog(log).size(), 1);
    QFile::remove(log);
    TDateFindBMForm date(form.get(), &form->Options);
    EXPECT_FALSE(date.SyswideFindButton->isEnabled());
    date.SetSyswideFind(list->FindFiles);
    date.show();
    date.SyswideFindButton->click();
    EXPECT_EQ(waitForLog(log).size(), 1);
    EXPECT_TRUE(date.isVisible());

    qputenv("PATH", oldPath);
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(urls.files, QStringList({prog.path() + "/Readme.txt", prog.path()}));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(ShellCommandsTest, TextDialogNamesItsAcceptButtonWhenShown)
{
    QFileDialog *dialog = form->TxtOpenDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(form->TxtOpenDialog(), dialog); // made once
    dialog->show();
    const auto buttons = dialog->findChild<QDialogButtonBox *>();
    ASSERT_TRUE(buttons);
    const QPushButton *accept = buttons->button(QDialogButtonBox::Open);
    ASSERT_TRUE(accept);
    EXPECT_EQ(accept->text(), "In &JPG umwandeln");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Textdateien (*.txt *.wri)"});
    EXPECT_EQ(dialog->defaultSuffix(), "txt");
    dialog->close();
}

#include "ShellCommandsTest.moc"
