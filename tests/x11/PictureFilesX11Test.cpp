// The picture-file dialogs and messages of a shown main window under the
// test server's window manager: what the user sees when an open fails, and
// what "Save as" writes for a typed name.
#include "MainForm.h"

#include "Bitmap.h"
#include "DialogSupport.h"
#include "ImageControl.h"
#include "PictureFiles.h"
#include "Progress.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "X11Support.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zk;

namespace {

class PictureFilesX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zktest::haveX11())
            GTEST_SKIP() << "needs the test X server";
        ASSERT_TRUE(programDir.isValid() && files.isValid());
        SetProgramDirOverride(programDir.path());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<TMainForm>();
        form->Options.EndDlg = false;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override
    {
        if (form)
            form->close();
        form.reset();
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    QString file(const QString &name) const { return files.filePath(name); }

    QTemporaryDir programDir;
    QTemporaryDir files;
    std::unique_ptr<TMainForm> form;
};

// The titles of this process's windows the server shows.
QStringList ourWindowsOnServer()
{
    QByteArray ids;
    zktest::runProgram("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                   QString::number(QCoreApplication::applicationPid()), "--name", "."},
                       &ids);
    QStringList titles;
    for (const QByteArray &id : ids.split('\n')) {
        QByteArray title;
        if (!id.trimmed().isEmpty() && zktest::runProgram("xdotool", {"getwindowname", QString::fromLatin1(id.trimmed())}, &title) == 0)
            titles << QString::fromUtf8(title).trimmed();
    }
    return titles;
}

} // namespace

TEST_F(PictureFilesX11, AFailedOpenShowsItsMessageWithoutAProgressWindowOverIt)
{
    ASSERT_TRUE(zktest::haveProgram("xdotool"));
    form->Options.OAsBmp = true; // the road with the progress window
    TZelkoraOptions options;
    const QByteArray jpg =
        EncodePicture(TBitmap::FromImage(zktest::knownPicture(300, 200, 23)), ptJpg, options, TSaveOrigin::SaveDialog);
    {
        QFile f(file("cut.jpg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(jpg.left(jpg.size() / 2) + QByteArray("\xFF\xD9", 2));
    }
    bool looked = false, progressInQt = true;
    QStringList onServer;
    QString text;
    zktest::WithModal([&] { form->OpenPictureFile(file("cut.jpg")); }, [&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box) {
            w->close();
            return;
        }
        // Once the window manager shows the message, nothing of ours but it
        // and the main window is on the screen.
        looked = QTest::qWaitForWindowExposed(box);
        zktest::waitFor([&] { onServer = ourWindowsOnServer(); return onServer.size() >= 2; }, 3000);
        progressInQt = false;
        for (QWidget *top : QApplication::topLevelWidgets())
            progressInQt |= qobject_cast<TProgressForm *>(top) && top->isVisible();
        text = box->text();
        box->accept();
    });
    ASSERT_TRUE(looked) << "the message showed";
    EXPECT_FALSE(progressInQt);
    EXPECT_EQ(onServer.join(" | ").toStdString(), QStringList({form->windowTitle(), form->windowTitle()}).join(" | ").toStdString())
        << "the main window and the message";
    // A sentence in the UI language first, libjpeg's own words after it.
    EXPECT_TRUE(text.startsWith(form->Text("showmsg_file_damaged"))) << qPrintable(text);
    EXPECT_TRUE(text.contains("remature end")) << qPrintable(text);
}

TEST_F(PictureFilesX11, SaveAsWritesTheTypeItsExtensionNamesAndStartsBesideThePicture)
{
    ASSERT_TRUE(zktest::haveProgram("pngcheck"));
    form->Options.FileTyp = ptBmp; // the dialog starts on the BMP entry
    form->Options.OutDir = QString();
    const QString sub = file("pictures");
    ASSERT_TRUE(QDir().mkpath(sub));
    form->FHasFileName = true;
    form->FFileName = sub + "/earlier.bmp";
    const QImage picture = zktest::knownPicture(33, 22, 22);
    form->ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(TBitmap::FromImage(picture)));
    form->ScanImage->PictureChanged();

    QString folder, filter;
    zktest::AnswerDialogs([&] { form->SaveAsClick(form->Item("SaveToolButton")); }, sub + "/x.png",
                          [&](QFileDialog *d) {
                              folder = d->directory().absolutePath();
                              filter = d->selectedNameFilter();
                          });
    EXPECT_EQ(folder, QDir(sub).absolutePath());
    EXPECT_EQ(filter, SaveDialogFilters()[0].QtFilter());
    const QString saved = sub + "/x.png";
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(zktest::runProgram(QStringLiteral("pngcheck"), {QStringLiteral("-q"), saved}), 0)
        << "x.png holds a PNG picture";
    EXPECT_EQ(QImage(saved, "PNG").convertToFormat(QImage::Format_RGB32), picture);
    EXPECT_EQ(form->StatusPanelText(6), QString("|bmp| - png"));

    // Without a picture file or output folder the dialog starts in the
    // user's pictures folder (or home), never in the working folder.
    form->FHasFileName = false;
    const QString xdgPictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString expected = QFileInfo(xdgPictures).isDir() ? xdgPictures : QDir::homePath();
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(files.path());
    zktest::AnswerDialogs([&] { form->SaveAsClick(nullptr); }, QString(), [&](QFileDialog *d) {
        folder = d->directory().absolutePath();
        d->reject();
    });
    QDir::setCurrent(cwd);
    EXPECT_EQ(folder, QDir(expected).absolutePath());
}
