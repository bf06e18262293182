// The picture-file commands on the real main window, offscreen: opening
// (dialog, drop, the load-file message, recent entries), saving through the
// save dialog, fast saving, copy and paste, each driven as a user or another
// program would and checked on disk, in the store and against ImageMagick.
#include "MainForm.h"

#include "Bitmap.h"
#include "HistList.h"
#include "CaptureControl.h"
#include "CapturePlan.h"
#include "DialogSupport.h"
#include "ImageControl.h"
#include "JpgScaleForm.h"
#include "Jpeg.h"
#include "LocalChannel.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "Scan.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>

using namespace zk;

namespace {

const QString kGuiKey = QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0\\GUI");

QImage pattern(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 5 + seed) & 0xFF, (y * 3 + seed * 7) & 0xFF, (x ^ y ^ seed) & 0xFF));
    return img;
}

QImage shown(TMainForm &form)
{
    return form.ScanImage->Picture().Empty() ? QImage()
                                             : form.ScanImage->Picture().Graphic()->ToImage().convertToFormat(
                                                   QImage::Format_RGB32);
}

// The text of the message box that action shows (empty when none).
QString messageOf(const std::function<void()> &action)
{
    QString text;
    zktest::WithModal(action, [&](QWidget *w) {
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            text = box->text();
            box->accept();
        } else {
            w->close();
        }
    });
    return text;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray encoded(const QImage &img, int type)
{
    TZelkoraOptions o;
    o.BmpPixForm = pf24bit;
    return EncodePicture(TBitmap::FromImage(img), type, o, TSaveOrigin::SaveDialog);
}

QImage imageMagick(const QString &file, const QString &dir)
{
    const QString out = dir + QStringLiteral("/im.ppm");
    QFile::remove(out);
    if (zktest::runProgram(QStringLiteral("/usr/bin/convert"), {file, QStringLiteral("-depth"), QStringLiteral("8"), out}) != 0)
        return {};
    return QImage(out, "PPM").convertToFormat(QImage::Format_RGB32);
}

class MainFormPictureFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        ASSERT_TRUE(files.isValid());
        SetProgramDirOverride(programDir.path());
        TRegistry reg;
        reg.DeleteKey(QStringLiteral("Software\\Tarvendo"));
        RegisterJpegGraphics();
    }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry reg;
        reg.DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    QString file(const QString &name) const { return files.filePath(name); }
    void capture(TMainForm &form, const QImage &img)
    {
        form.ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(TBitmap::FromImage(img)));
        form.ScanImage->PictureChanged();
    }
    QTemporaryDir programDir;
    QTemporaryDir files;
};

} // namespace

TEST_F(MainFormPictureFiles, CommandsAreSwitchedOn)
{
    TMainForm form;
    for (const char *name : {"OpenMenuItem", "FileOptenToolButton", "SaveMenuItem", "SaveToolButton", "ASMenuItem",
                             "FastSaveToolButton", "CopyMenuItem", "CopyToolButton", "PasteMenuItem",
                             "PasteToolButton", "FileAsBmpMenuItem", "FileAsBmpToolButton", "JpgScaleMenuItem"})
        EXPECT_TRUE(form.Item(name)->isEnabled()) << name;
    EXPECT_EQ(TPicture::FindFileFormat("zkg")->className, QString("TZkgFile"));
}

TEST_F(MainFormPictureFiles, DamagedFilesLeaveTheCaptureAsItWas)
{
    TMainForm form;
    const QImage before = pattern(50, 40, 1);
    capture(form, before);
    const QByteArray bmp = encoded(pattern(30, 20, 2), ptBmp);
    writeFile(file("cut.bmp"), bmp.left(bmp.size() - 200));
    QByteArray jpg = encoded(pattern(30, 20, 3), ptJpg);
    jpg[jpg.indexOf("\xFF\xC0") + 11] = 0;
    writeFile(file("bad.jpg"), jpg);
    writeFile(file("pic.tif"), "II*");

    for (const char *name : {"cut.bmp", "bad.jpg", "pic.tif", "missing.bmp"}) {
        const QString msg = messageOf([&] { form.OpenPictureFile(file(name)); });
        EXPECT_FALSE(msg.isEmpty()) << name;
        EXPECT_EQ(shown(form), before) << name;
        EXPECT_FALSE(form.FHasFileName) << name;
    }
    EXPECT_EQ(form.RecentList->Count(), 0);
}

TEST_F(MainFormPictureFiles, OpenedFilesGoToTheRecentListNewestFirst)
{
    QStringList names;
    {
        TMainForm form;
        for (int i = 0; i < 5; ++i) {
            const QString name = file(QString("Shot_%1.%2").arg(i).arg(i % 2 ? "JPG" : "bmp"));
            writeFile(name, encoded(pattern(20 + i, 10, i), i % 2 ? ptJpg : ptBmp));
            form.OpenPictureFile(name);
            EXPECT_EQ(form.ScanImage->Picture().Width(), 20 + i);
            EXPECT_EQ(form.FFileName, name);
            names.prepend(name);
        }
        // The last one was Shot_4.bmp, 24 x 10.
        EXPECT_EQ(form.StatusPanelText(6), QString("bmp"));
        EXPECT_TRUE(form.StatusPanelText(4).endsWith("24 x 10")) << qPrintable(form.StatusPanelText(4));
        EXPECT_EQ(form.RecentList->Items(), names);
        form.Options.EndDlg = false; // no closing question
        form.close();
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kGuiKey + "\\Recent"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(reg.ReadString(QString("History%1").arg(i)), names[i]);
}

TEST_F(MainFormPictureFiles, OpenAsBitmapConvertsWithoutTouchingTheFolder)
{
    TMainForm form;
    writeFile(file("photo.jpg"), encoded(pattern(32, 16, 4), ptJpg));
    writeFile(file("photo.bmp"), "unrelated");
    form.Options.OAsBmp = false;
    form.Item("FileAsBmpMenuItem")->trigger();
    ASSERT_TRUE(form.Options.OAsBmp);
    EXPECT_TRUE(form.Item("FileAsBmpMenuItem")->isChecked());
    EXPECT_TRUE(form.Item("FileAsBmpToolButton")->isChecked());
    form.OpenPictureFile(file("photo.jpg"));
    ASSERT_NE(dynamic_cast<TBitmap *>(form.ScanImage->Picture().Graphic()), nullptr);
    EXPECT_EQ(form.ScanImage->Picture().Width(), 32);
    EXPECT_EQ(form.StatusPanelText(6), QString("|bmp| - jpg"));
    QFile f(file("photo.bmp"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("unrelated"));
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(MainFormPictureFiles, OneDroppedFileOpens)
{
    TMainForm form;
    writeFile(file("dropped.png.bmp"), encoded(pattern(44, 33, 5), ptBmp));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file("dropped.png.bmp"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    EXPECT_EQ(shown(form), pattern(44, 33, 5));
    EXPECT_EQ(form.FFileName, file("dropped.png.bmp"));
}

TEST_F(MainFormPictureFiles, TheLoadFileMessageOpensAFile)
{
    TMainForm form;
    // A long name in a deep folder: nothing cuts it.
    QString deep = files.path();
    for (int i = 0; i < 12; ++i)
        deep += QString("/a-rather-long-folder-name-%1").arg(i);
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString name = deep + "/posted.bmp";
    ASSERT_GT(name.size(), 300);
    writeFile(name, encoded(pattern(21, 12, 6), ptBmp));

    TLocalChannel channel;
    ASSERT_TRUE(channel.Listen(files.path() + "/zk.sock"));
    QObject::connect(&channel, &TLocalChannel::MessageReceived, &form, &TMainForm::ChannelMessage);
    ASSERT_TRUE(TLocalChannel::Send(MsgLoadFile, name.toUtf8(), channel.ServerPath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.FFileName == name; }, 5000));
    EXPECT_EQ(shown(form), pattern(21, 12, 6));
    // The message does not add to the recent files.
    EXPECT_EQ(form.RecentList->Count(), 0);

    // Posted by the program itself: the caller's string may be gone.
    {
        QString temporary = file("later.bmp");
        writeFile(temporary, encoded(pattern(9, 9, 7), ptBmp));
        form.PostLoadFile(temporary);
        temporary.fill('x');
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.FFileName == file("later.bmp"); }, 5000));
    EXPECT_EQ(shown(form), pattern(9, 9, 7));

    const QString msg = messageOf([&] {
        form.PostLoadFile(file("gone.bmp"));
        QTest::qWait(50);
    });
    EXPECT_TRUE(msg.contains(file("gone.bmp")));
    EXPECT_EQ(shown(form), pattern(9, 9, 7));
}

TEST_F(MainFormPictureFiles, SaveDialogWritesTheChosenType)
{
    TMainForm form;
    form.Options.SaveHist = true;
    form.Options.FileTyp = ptPng; // the dialog starts on the PNG entry
    form.Options.OutDir = files.path();
    form.Options.FileName = "Bild";
    const QImage img = pattern(40, 30, 8);
    capture(form, img);

    QString startFilter, startName;
    const bool shownDialog = zktest::WithModal([&] { form.Item("SaveToolButton")->trigger(); }, [&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->objectName(), QString("ZKSaveDialog"));
        startFilter = dlg->selectedNameFilter();
        startName = dlg->findChild<QLineEdit *>("fileNameEdit")->text();
        dlg->selectNameFilter(SaveDialogFilters()[1].QtFilter());
        emit dlg->filterSelected(SaveDialogFilters()[1].QtFilter());
        auto *edit = dlg->findChild<QLineEdit *>("fileNameEdit");
        edit->setText("Gespeichert");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    ASSERT_TRUE(shownDialog);
    EXPECT_EQ(startFilter, SaveDialogFilters()[8].QtFilter());
    EXPECT_EQ(startName, QString("Bild.png"));
    const QString saved = file("Gespeichert.jpg");
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(imageMagick(saved, files.path()).size(), QSize(40, 30));
    EXPECT_TRUE(form.FHasFileName);
    EXPECT_EQ(form.FFileName, saved);
    EXPECT_EQ(form.StatusPanelText(6), QString("|bmp| - jpg"));
    EXPECT_EQ(form.RecentList->Items().value(0), saved);

    // Cancel forgets the name.
    zktest::WithModal([&] { form.SaveAsClick(nullptr); }, [](QWidget *w) { w->close(); });
    EXPECT_FALSE(form.FHasFileName);
    EXPECT_TRUE(form.FFileName.isEmpty());
    EXPECT_EQ(form.StatusPanelText(6), QString("|bmp|"));
}

TEST_F(MainFormPictureFiles, FastSaveNeverOverwritesAfterDeletions)
{
    const QString autosave = programDir.path() + "/Autosave/";
    ASSERT_TRUE(QDir().mkpath(autosave));
    for (int i = 1; i <= 3; ++i)
        writeFile(autosave + QString("ZK_Scan_%1.bmp").arg(i), "old");
    TMainForm form;
    EXPECT_EQ(form.FFastSaveCount, 3);
    QFile::remove(autosave + "ZK_Scan_2.bmp");
    const QImage img = pattern(25, 15, 9);
    capture(form, img);
    form.Item("FastSaveToolButton")->trigger();
    const QString saved = autosave + "ZK_Scan_4.bmp";
    ASSERT_TRUE(QFileInfo::exists(saved));
    EXPECT_EQ(imageMagick(saved, files.path()), img);
    EXPECT_EQ(form.FFileName, saved);
    EXPECT_EQ(form.StatusPanelText(6), QString("bmp"));
    for (int i : {1, 3}) {
        QFile f(autosave + QString("ZK_Scan_%1.bmp").arg(i));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("old"));
    }
    form.Item("ASMenuItem")->trigger();
    EXPECT_TRUE(QFileInfo::exists(autosave + "ZK_Scan_5.bmp"));

    // No number left above the highest: the user is told, the picture keeps
    // the name it had and nothing else is written.
    writeFile(autosave + "ZK_Scan_2147483647.bmp", "last");
    const QString kept = form.FFileName;
    const QStringList messages = zktest::AnswerDialogs([&] { form.Item("FastSaveToolButton")->trigger(); }, QString());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("Kein freier Dateiname")) << qPrintable(messages[0]);
    EXPECT_EQ(form.FFileName, kept);
    EXPECT_EQ(QDir(autosave).entryList(QDir::Files).size(), 5);
}

TEST_F(MainFormPictureFiles, AutoSaveAfterACapture)
{
    TMainForm form;
    form.Options.PersSave = true;
    form.Options.OutDir = files.path();
    form.Options.FileName = "Cap";
    form.Options.FileTyp = ptPcx;
    capture(form, pattern(10, 10, 10));
    form.AutoSaveImage();
    EXPECT_TRUE(QDir(files.path()).entryList(QDir::Files).isEmpty());
    form.Options.FileTyp = ptBmp;
    form.Options.BmpPixForm = pf24bit;
    form.AutoSaveImage();
    form.AutoSaveImage();
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), (QStringList{"Cap1.bmp", "Cap2.bmp"}));
}

TEST_F(MainFormPictureFiles, CopyAndPaste)
{
    TMainForm form;
    const QImage img = pattern(12, 8, 11);
    capture(form, img);
    form.Item("CopyToolButton")->trigger();
    capture(form, pattern(5, 5, 12));
    form.FHasFileName = true;
    form.FFileName = "x";
    form.Item("PasteToolButton")->trigger();
    EXPECT_EQ(shown(form), img);
    EXPECT_FALSE(form.FHasFileName);
    EXPECT_TRUE(form.FFileName.isEmpty());
    EXPECT_EQ(form.StatusPanelText(6), QString("|bmp|"));

    // Nothing on the clipboard: a message, and the picture stays.
    QGuiApplication::clipboard()->clear();
    const QString msg = messageOf([&] { form.PasteToolButtonClick(); });
    EXPECT_FALSE(msg.isEmpty());
    EXPECT_EQ(shown(form), img);
}

TEST_F(MainFormPictureFiles, RecentPopupOffersOneDeleteItem)
{
    TMainForm form;
    const QString name = file("one.bmp");
    writeFile(name, encoded(pattern(6, 6, 13), ptBmp));
    form.OpenPictureFile(name);
    QMenu *popup = form.RecentPopupMenu;
    for (int i = 0; i < 2; ++i) {
        emit popup->aboutToShow();
    }
    QList<QAction *> deletes;
    for (QAction *a : popup->actions())
        if (a->objectName() == "DeleteListMenuItem")
            deletes << a;
    ASSERT_EQ(deletes.size(), 1);
    EXPECT_TRUE(deletes[0]->isEnabled());
    form.RecentList->SaveHistory(kGuiKey, "Recent");
    deletes[0]->trigger();
    EXPECT_EQ(form.RecentList->Count(), 0);
    EXPECT_TRUE(popup->actions().isEmpty());
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(kGuiKey + "\\Recent"));
    emit popup->aboutToShow();
    ASSERT_EQ(popup->actions().size(), 2);
    EXPECT_FALSE(popup->actions().last()->isEnabled());
}

TEST_F(MainFormPictureFiles, OpenDialogStartsInThePictureFolderAndOpens)
{
    TMainForm form;
    form.Options.VType = 0;
    form.Options.ImgPath = files.path();
    form.Options.OAsBmp = false;
    writeFile(file("Dialog.JPG"), encoded(pattern(30, 20, 14), ptJpg));

    QString title, folder, busy, chosenFilter;
    QStringList filters;
    const bool came = zktest::WithModal([&] { form.Item("FileOptenToolButton")->trigger(); }, [&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->objectName(), QString("GrafOpenPictureDialog"));
        title = dlg->windowTitle();
        folder = dlg->directory().absolutePath();
        filters = dlg->nameFilters();
        chosenFilter = dlg->selectedNameFilter();
        busy = OpenDialogName;
        auto *edit = dlg->findChild<QLineEdit *>("fileNameEdit");
        edit->setText(file("Dialog.JPG"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    ASSERT_TRUE(came);
    EXPECT_EQ(title, form.Text("opendlg_winmain_picopen", "Grafik öffnen"));
    EXPECT_EQ(folder, QDir(files.path()).absolutePath());
    ASSERT_EQ(filters.size(), 9);
    EXPECT_TRUE(filters.last().startsWith("Alle lesbaren Dateien"));
    EXPECT_EQ(chosenFilter, filters.last()) << "all readable files are offered first";
    EXPECT_EQ(busy, QString("Grafik öffnen"));
    EXPECT_TRUE(OpenDialogName.isEmpty());
    // Loaded natively as a JPEG although the extension is in capitals.
    EXPECT_NE(dynamic_cast<TJPEGImage *>(form.ScanImage->Picture().Graphic()), nullptr);
    EXPECT_EQ(form.FFileName, file("Dialog.JPG"));
    EXPECT_EQ(form.StatusPanelText(6), QString("jpg"));
    EXPECT_EQ(form.RecentList->Items().value(0), file("Dialog.JPG"));

    // The JPEG view-scale window works on it and goes when a bitmap opens.
    form.ZKApplicationEventsIdle();
    form.Item("JpgScaleMenuItem")->trigger();
    ASSERT_FALSE(form.JpgScaleBMForm.isNull());
    EXPECT_TRUE(form.JpgScaleBMForm->isVisible());
    form.JpgScaleBMForm->JpgScaleComboBox->setCurrentIndex(1);
    EXPECT_EQ(form.ScanImage->Picture().Width(), 15);
    writeFile(file("plain.bmp"), encoded(pattern(8, 8, 15), ptBmp));
    form.OpenPictureFile(file("plain.bmp"));
    EXPECT_TRUE(form.JpgScaleBMForm.isNull());
    // Not offered for another type, from the menu or the picture's context menu.
    form.ZKApplicationEventsIdle();
    EXPECT_FALSE(form.Item("JpgScaleMenuItem")->isEnabled());
    form.JpgScaleMenuItemClick();
    EXPECT_TRUE(form.JpgScaleBMForm.isNull());
}

TEST_F(MainFormPictureFiles, AFailedSaveAsInACaptureRecordsNothing)
{
    TMainForm form;
    form.Options.PersSave = true;
    form.Options.IsAutoincFileName = false;
    form.Options.IsDateTimeToFile = false;
    form.Options.IsManualInputFile = true;
    form.Options.SaveHist = true;
    form.Options.OutDir = files.path();
    form.Options.FileName = "Shot";
    form.FFileName = QStringLiteral("/earlier/picture.bmp");
    form.FHasFileName = false;
    capture(form, pattern(30, 20, 21));

    // A folder that does not exist: the typed name is not written.
    TCaptureContext context;
    context.path = TCapturePath::Desktop;
    context.outDirExists = true;
    const QStringList messages = zktest::AnswerDialogs([&] { form.AfterCapture(context); }, file("gone/typed.gif"));
    ASSERT_EQ(messages.size(), 1) << "the failure is reported once";
    EXPECT_FALSE(QFileInfo::exists(file("gone/typed.gif")));
    EXPECT_FALSE(form.FHasFileName);
    EXPECT_EQ(form.FFileName, QStringLiteral("/earlier/picture.bmp"));
    EXPECT_EQ(form.RecentList->Count(), 0);

    // The same capture with a name that can be written records it.
    const QStringList none = zktest::AnswerDialogs([&] { form.AfterCapture(context); }, file("typed.png"));
    EXPECT_TRUE(none.isEmpty()) << qPrintable(none.join('\n'));
    EXPECT_TRUE(form.FHasFileName);
    EXPECT_EQ(form.FFileName, file("typed.png"));
    EXPECT_EQ(form.RecentList->Items(), QStringList{file("typed.png")});
}

TEST_F(MainFormPictureFiles, ShowingOrHidingTheToolBarsClosesTheJpegScaleWindow)
{
    TMainForm form;
    form.ScanImage->Picture().SetGraphic(std::make_unique<TJPEGImage>());
    for (const bool visible : {false, true}) {
        form.Item("JpgScaleMenuItem")->trigger();
        ASSERT_FALSE(form.JpgScaleBMForm.isNull());
        form.ShowToolBars(visible);
        EXPECT_TRUE(form.JpgScaleBMForm.isNull()) << visible;
    }
}

TEST_F(MainFormPictureFiles, ATypedCoordinatesCaptureLeavesTheOpenedFileBehind)
{
    TMainForm form;
    form.Options.OAsBmp = false;
    writeFile(file("a.png"), encoded(pattern(12, 9, 31), ptPng));
    TScanHost *host = nullptr;
    for (QObject *child : form.children())
        if (auto *h = dynamic_cast<TScanHost *>(child))
            host = h;
    ASSERT_NE(host, nullptr);

    // Not saved by the capture: without automatic saving, and with it but
    // no output folder to save into.
    for (const bool persSave : {false, true}) {
        SCOPED_TRACE(persSave);
        form.Options.PersSave = persSave;
        form.Options.OutDir = file("missing");
        form.OpenPictureFile(file("a.png"));
        ASSERT_TRUE(form.FHasFileName);
        const QImage grabbed = pattern(20, 10, 32);
        host->CoordinatesCaptured(TBitmap::FromImage(grabbed), QRect(5, 5, 20, 10));
        ASSERT_EQ(shown(form), grabbed);
        // Otherwise the file commands (properties, delete, print, convert)
        // would take the captured picture for a.png.
        EXPECT_FALSE(form.FHasFileName) << qPrintable(form.FFileName);
    }
}

// A drop, the recent list (and another program's load message) and the
// explorer replace the picture as Open does: Undo brings the capture back.
TEST_F(MainFormPictureFiles, EveryWayOfLoadingLeavesThePictureBeforeToUndo)
{
    writeFile(file("b.bmp"), encoded(pattern(14, 11, 41), ptBmp));
    const std::pair<const char *, std::function<void(TMainForm &)>> routes[] = {
        {"drop", [&](TMainForm &f) { f.WMDropFiles({file("b.bmp")}); }},
        {"recent list", [&](TMainForm &f) {
             f.PostLoadFile(file("b.bmp"));
             EXPECT_TRUE(QTest::qWaitFor([&] { return f.FFileName == file("b.bmp"); }, 5000));
         }},
        {"explorer", [&](TMainForm &f) { f.OpenPictureFile(file("b.bmp")); }},
    };
    for (const auto &[route, load] : routes) {
        SCOPED_TRACE(route);
        TMainForm form;
        const QImage captured = pattern(20, 10, 42);
        capture(form, captured);
        load(form);
        ASSERT_EQ(shown(form), pattern(14, 11, 41));
        ASSERT_TRUE(form.Item("UndoMenuItem")->isEnabled());
        form.Item("UndoMenuItem")->trigger();
        EXPECT_EQ(shown(form), captured);
        EXPECT_FALSE(form.FHasFileName);
    }
}

TEST_F(MainFormPictureFiles, UndoAfterOpenGivesThePictureBackWithItsOwnName)
{
    TMainForm form;
    form.Options.OAsBmp = false;
    const QImage opened = pattern(12, 9, 33);
    writeFile(file("a.png"), encoded(opened, ptPng));
    const QImage captured = pattern(20, 10, 34);
    capture(form, captured);
    form.ShowSaveFormat();
    ASSERT_EQ(form.StatusPanelText(6), QString("|bmp|"));

    ASSERT_TRUE(zktest::WithModal([&] { form.Item("OpenMenuItem")->trigger(); }, [&](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(file("a.png"));
        QTest::keyClick(edit, Qt::Key_Return);
    }));
    ASSERT_EQ(form.FFileName, file("a.png"));
    form.Item("UndoMenuItem")->trigger();
    ASSERT_EQ(shown(form), captured);
    // The capture was never saved: it must not pass for a.png.
    EXPECT_FALSE(form.FHasFileName) << qPrintable(form.FFileName);
    EXPECT_EQ(form.StatusPanelText(6), QString("|bmp|"));

    // Undoing an edit of the opened file leaves it named after the file.
    form.OpenPictureFile(file("a.png"));
    form.Item("MirrorHMenuItem")->trigger();
    form.Item("UndoMenuItem")->trigger();
    ASSERT_EQ(shown(form), opened);
    EXPECT_TRUE(form.FHasFileName);
    EXPECT_EQ(form.FFileName, file("a.png"));
    EXPECT_EQ(form.StatusPanelText(6), QString("png"));
}
