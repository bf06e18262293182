// The conversion jobs driven through their forms offscreen: the files they
// write (read back by ImageMagick, pngcheck and tiffinfo), the logs (compared
// with lines written out by hand), the checks before a run, and the host.
#include "DialogSupport.h"
#include "EditDialogs.h"
#include "HistList.h"
#include "Globals.h"
#include "KonvForms.h"
#include "KonvJobs.h"
#include "PngDeflate.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Progress.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QDropEvent>
#include <QUrl>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <condition_variable>
#include <thread>

using namespace zk;

namespace {

const QString kIM = QStringLiteral("/usr/bin/");

// What the hooks were asked, and how they answer.
struct Answers
{
    QStringList messages; // keys
    QStringList texts;
    QStringList confirms;
    bool yes = true;
    QStringList files;   // from the open dialog
    QString folder;      // from the folder dialogs
    QStringList previews;
    std::optional<QColor> color; // from the colour dialog
};

std::shared_ptr<TKonvHooks> hooksFor(Answers &a)
{
    auto h = std::make_shared<TKonvHooks>();
    h->Message = [&a](QWidget *, const QString &key, const QString &text) {
        a.messages << key;
        a.texts << text;
    };
    h->Confirm = [&a](QWidget *, const QString &key, const QString &) {
        a.confirms << key;
        return a.yes;
    };
    h->OpenFiles = [&a](QWidget *, const QStringList &, bool) { return a.files; };
    h->BrowseFolder = [&a] { return a.folder; };
    h->SelectFolder = [&a](QWidget *, const QString &) { return a.folder; };
    h->Preview = [&a](QWidget *, const QString &file) { a.previews << file; };
    h->ChooseColor = [&a](QWidget *, const QColor &) { return a.color; };
    return h;
}

bool magick(const QString &args, const QString &out)
{
    QStringList list = args.split(u' ', Qt::SkipEmptyParts);
    list << out;
    return zktest::runProgram(kIM + QStringLiteral("convert"), list) == 0;
}

// "JPEG 64 48" for a file ImageMagick reads.
QString identify(const QString &file)
{
    QByteArray out;
    if (zktest::runProgram(kIM + QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%m %w %h"), file},
                           &out) != 0)
        return QStringLiteral("unreadable");
    return QString::fromLatin1(out).trimmed();
}

// "255,0,0" for the pixel at x, y.
QString pixel(const QString &file, int x, int y)
{
    QByteArray out;
    zktest::runProgram(kIM + QStringLiteral("convert"),
                       {file, QStringLiteral("-format"), QStringLiteral("%[fx:int(255*p{%1,%2}.r)],%[fx:int(255*p{%1,%2}.g)],"
                                                                        "%[fx:int(255*p{%1,%2}.b)]").arg(x).arg(y),
                        QStringLiteral("info:")},
                       &out);
    return QString::fromLatin1(out).trimmed();
}

void waitRun(TKonvJobForm *form)
{
    for (int i = 0; i < 3000 && form->Running(); ++i)
        QTest::qWait(10);
    ASSERT_FALSE(form->Running()) << "the run ended";
}

QString logText(const TKonvJobForm *form)
{
    return QString::fromUtf8(zktest::readBytes(form->LogFilePath()));
}

class KonvJobs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        SetProgramDirOverride(dir.path() + QStringLiteral("/prog/"));
        QDir(dir.path()).mkpath(QStringLiteral("prog"));
        QDir(dir.path()).mkpath(QStringLiteral("src"));
        QDir(dir.path()).mkpath(QStringLiteral("out"));
        TKonvBatch::SetThreadCount(0);
    }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        TKonvBatch::SetThreadCount(0);
    }
    QString path(const QString &rel) const { return dir.path() + u'/' + rel; }
    // A 24-bit BMP of w x h with a gradient.
    void bmp(const QString &rel, int w = 64, int h = 48)
    {
        ASSERT_TRUE(magick(QStringLiteral("-size %1x%2 gradient:red-blue -type TrueColor").arg(w).arg(h),
                           QStringLiteral("BMP3:") + path(rel)));
    }
    void jpg(const QString &rel, int w, int h)
    {
        ASSERT_TRUE(magick(QStringLiteral("-size %1x%2 gradient:yellow-navy -quality 90").arg(w).arg(h), path(rel)));
    }
    void damaged(const QString &rel) { ASSERT_TRUE(zktest::writeBytes(path(rel), QByteArray("BM\x10\x00garbage", 12))); }

    QTemporaryDir dir;
    Answers answers;
};

TEST_F(KonvJobs, LogLinesAndNamesAsTheJobsWriteThem)
{
    EXPECT_EQ(KonvHeaderLine(TKonvJob::File, true),
              "-------------------Zelkora-Konvertierungs-LogDatei (V. 5.0)-------------------");
    EXPECT_EQ(KonvHeaderLine(TKonvJob::File, false),
              "-------------------Zelkora-Konvertierungs-LogDatei (V. 2003 (5.0))-------------------");
    EXPECT_EQ(KonvHeaderLine(TKonvJob::Dir),
              "-------------------Zelkora-Konvertierungs-LogDatei (Version 5.0)-------------------");
    EXPECT_EQ(KonvHeaderLine(TKonvJob::Thumb), KonvHeaderLine(TKonvJob::Multi));
    EXPECT_EQ(KonvResultLine(0, "a.bmp", "a.png", false), "0: a.bmp ---------> a.png ---------> STATUS: FEHLER");
    const struct { const char *name, *base; } names[] = {
        {"x.bmp", "x"}, {"x.jpeg", "x"}, {"x.JPEG", "x"}, {"a.b.png", "a.b"}, {"abc", ""},
    };
    for (const auto &n : names)
        EXPECT_EQ(KonvBaseName(n.name), n.base) << n.name;
    EXPECT_EQ(KonvFileExt("/a.b/Bild.BMP"), ".BMP");
    EXPECT_EQ(KonvFileExt("/a.b/Bild"), "");
    const struct { TKonvJob job; const char *flag, *path, *file; } stores[] = {
        {TKonvJob::File, "FCLogFile", "FCLogFilePath", "ZK_File_Konvert.log"},
        {TKonvJob::Dir, "DCLogFile", "DCLogFilePath", "ZK_Dir_Konvert.log"},
        {TKonvJob::Multi, "MCLogFile", "MCLogFilePath", "ZK_Multi_Konvert.log"},
        {TKonvJob::Thumb, "TCLogFile", "TCLogFilePath", "ZK_Thumb_Konvert.log"},
    };
    for (const auto &s : stores) {
        EXPECT_STREQ(KonvJobNames(s.job).flagName, s.flag);
        EXPECT_STREQ(KonvJobNames(s.job).pathName, s.path);
        EXPECT_STREQ(KonvJobNames(s.job).logFile, s.file);
    }
}

TEST_F(KonvJobs, TargetTypesFollowTheConversionTable)
{
    EXPECT_EQ(FileTargetTypes(".BMP"), QStringList({"Jpg", "Gif", "Wmf", "Emf", "Ico", "Zkg", "Png", "Tif"}));
    EXPECT_EQ(FileTargetTypes(".gif"), QStringList({"Bmp"}));
    EXPECT_EQ(FileTargetTypes(".jpeg"), QStringList({"Bmp"}));
    EXPECT_EQ(FileTargetTypes(".txt"), QStringList());
    EXPECT_EQ(DirTargetTypes("PNG"), QStringList({"BMP", "JPG", "WMF", "EMF", "ICO", "ZKG"}));
    EXPECT_EQ(DirTargetTypes("TIF"), QStringList());
    EXPECT_EQ(MultiTargetTypes({"/p/a.bmp", "/q/b.PNG"}), QStringList({"JPG", "GIF", "WMF", "EMF", "ICO", "ZKG", "TIF"}));
    EXPECT_EQ(MultiTargetTypes({"/p/a.jpeg"}).size(), 9) << ".jpeg is not among the nine";
}

TEST_F(KonvJobs, OneFileToJpgWritesTheFileAndItsLog)
{
    bmp("src/Bild.bmp", 64, 48);
    TFileKonvertForm form(hooksFor(answers), nullptr);
    form.LogFile.LogFilePath = path("out");
    form.KonvControlFrame->LOutPutCheckBox->click();
    ASSERT_TRUE(form.LogFile.LogFile);
    answers.files = {path("src/Bild.bmp")};
    form.SourcePathBitBtn->click();
    EXPECT_EQ(form.FTypComboBox->currentText(), "Jpg");
    answers.folder = path("out");
    form.DestPathBitBtn->click();
    EXPECT_EQ(form.DestPathEdit->text(), path("out") + u'/');
    EXPECT_TRUE(form.SPrevButton->isEnabled());
    EXPECT_FALSE(form.ResViewButton->isEnabled());
    form.KonvControlFrame->StartButton->click();
    waitRun(&form);

    EXPECT_TRUE(answers.messages.isEmpty()) << answers.messages.join(',').toStdString();
    EXPECT_EQ(identify(path("out/Bild.jpg")), "JPEG 64 48");
    EXPECT_EQ(logText(&form), "-------------------Zelkora-Konvertierungs-LogDatei (V. 5.0)-------------------\r\n"
                              "\r\n"
                              "Aktion: Datei-Konvertieren, Konvertieren von .bmp in .Jpg\r\n"
                              "\r\n"
                              "BEGIN\r\n"
                              "Bild.bmp ---------> Bild.jpg ---------> STATUS: OK\r\n"
                              "END\r\n");
    EXPECT_EQ(form.DestPathEdit->text(), path("out/Bild.jpg"));
    ASSERT_TRUE(form.ResViewButton->isEnabled());
    form.ResViewButton->click();
    EXPECT_EQ(answers.previews, QStringList{path("out/Bild.jpg")});
}

TEST_F(KonvJobs, OneFileNamesItsTargetAsWrittenAndReportsAFailure)
{
    jpg("src/x.jpeg", 40, 30);
    damaged("src/bad.bmp");
    ASSERT_TRUE(zktest::writeBytes(path("out/bad.png"), "older file"));
    TFileKonvertForm form(hooksFor(answers), nullptr);
    form.LogFile = {true, path("out")};
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(path("src/x.jpeg")), QUrl::fromLocalFile(path("src/bad.bmp"))});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject &>(form).event(&drop); // as a drag that reached the form delivers it
    EXPECT_EQ(form.SourcePathEdit->text(), path("src/x.jpeg")) << "the first file of the drop";
    EXPECT_EQ(form.DestPathEdit->text(), path("src") + u'/');
    ASSERT_EQ(form.FTypComboBox->currentText(), "Bmp");
    form.DestPathEdit->setText(path("out/"));
    form.KonvControlFrame->StartButton->click();
    waitRun(&form);
    EXPECT_EQ(identify(path("out/x.bmp")), "BMP3 40 30");
    EXPECT_EQ(form.DestPathEdit->text(), path("out/x.bmp")) << "not x..bmp";
    EXPECT_TRUE(logText(&form).contains("x.jpeg ---------> x.bmp ---------> STATUS: OK\r\n"));

    // A damaged file: the other header, a message with the reason, and the
    // older file of that name is not offered as the result.
    form.SourcePathEdit->setText(path("src/bad.bmp"));
    form.FillTypes();
    form.FTypComboBox->setCurrentText("Png");
    form.FTypComboBoxChange();
    EXPECT_EQ(form.DestPathEdit->text(), path("out/"));
    form.KonvControlFrame->StartButton->click();
    waitRun(&form);
    EXPECT_EQ(logText(&form), "-------------------Zelkora-Konvertierungs-LogDatei (V. 2003 (5.0))-------------------\r\n"
                              "\r\n"
                              "Aktion: Konvertieren von .bmp in .Png\r\n"
                              "\r\n"
                              "BEGIN\r\n"
                              "bad.bmp ---------> bad.png ---------> STATUS: FEHLER\r\n"
                              "END\r\n");
    EXPECT_EQ(answers.messages, QStringList{"showmsg_konv_failed"});
    EXPECT_FALSE(form.ResViewButton->isEnabled());
    EXPECT_EQ(zktest::readBytes(path("out/bad.png")), "older file");
}

TEST_F(KonvJobs, OneFileChecksItsInputsInOrder)
{
    bmp("src/a.bmp");
    TFileKonvertForm form(hooksFor(answers), nullptr);
    form.SourcePathEdit->setText(path("src/none.bmp"));
    form.StartButtonClick();
    form.SourcePathEdit->setText(path("src/a.bmp"));
    form.DestPathEdit->setText(path("nowhere/"));
    form.StartButtonClick();
    form.DestPathEdit->setText(path("out/"));
    form.StartButtonClick(); // no type chosen yet
    EXPECT_EQ(answers.messages,
              QStringList({"showmsg_please_corfile", "showmsg_please_cordir", "showmsg_please_desttype"}));
    EXPECT_TRUE(QDir(path("out")).isEmpty());
}

TEST_F(KonvJobs, FolderRunLogsEachFileAndOneThreadGivesTheSameAsEight)
{
    bmp("src/a.bmp", 32, 20);
    bmp("src/b.BMP", 33, 21);
    bmp("src/c.png"); // not of the type
    QByteArray logs[2];
    for (int pass = 0; pass < 2; ++pass) {
        TKonvBatch::SetThreadCount(pass == 0 ? 1 : 8);
        const QString out = path(QStringLiteral("out%1").arg(pass));
        TDirKonvertForm form(hooksFor(answers), nullptr);
        form.LogFile = {true, out};
        form.VonHistoryCombo->setEditText(path("src"));
        form.TypVonComboBox->setCurrentText("BMP");
        ASSERT_EQ(form.TypNachComboBox->currentText(), "JPG");
        form.NachHistoryCombo->setEditText(out);
        form.StartButtonClick();
        EXPECT_EQ(answers.confirms, QStringList{"err_msg_no_dest_dir_new_create"});
        answers.confirms.clear();
        waitRun(&form);
        logs[pass] = zktest::readBytes(out + "/ZK_Dir_Konvert.log");
        EXPECT_EQ(identify(out + "/a.jpg"), "JPEG 32 20");
        EXPECT_EQ(identify(out + "/b.jpg"), "JPEG 33 21");
        ASSERT_EQ(form.LogListBox->count(), 2);
        EXPECT_EQ(form.LogListBox->item(1)->text(), "2: b.BMP ---------> b.JPG ---------> STATUS: OK");
    }
    EXPECT_EQ(QString::fromUtf8(logs[0]),
              "-------------------Zelkora-Konvertierungs-LogDatei (Version 5.0)-------------------\r\n"
              "\r\n"
              "Aktion: Verzeichnis-Konvertieren, Konvertieren von .BMP in .JPG\r\n"
              "\r\n"
              "BEGIN\r\n"
              "1: a.bmp ---------> a.JPG ---------> STATUS: OK\r\n"
              "2: b.BMP ---------> b.JPG ---------> STATUS: OK\r\n"
              "END\r\n");
    EXPECT_EQ(logs[1], logs[0]);
    EXPECT_EQ(zktest::readBytes(path("out0/a.jpg")), zktest::readBytes(path("out1/a.jpg")));
    EXPECT_TRUE(answers.messages.isEmpty());
}

// With a file per core already running, a picture's encoder keeps to its
// worker's thread; with one file it may use every core.
TEST_F(KonvJobs, BatchWorkersGiveTheirEncoderOnlyTheirShareOfTheCores)
{
    const int cores = std::max(1, QThread::idealThreadCount());
    const struct
    {
        int threads, files, expected;
    } cases[] = {{cores, cores * 2, 1}, {1, 1, std::min(8, cores)}};
    for (const auto &c : cases) {
        TKonvBatch::SetThreadCount(c.threads);
        std::mutex lock;
        std::vector<int> most;
        std::vector<TKonvBatch::Item> items(size_t(c.files));
        for (TKonvBatch::Item &item : items)
            item.Work = [&] {
                std::set<std::thread::id> ids;
                std::condition_variable started;
                png::RunInParallel(8, [&](int) {
                    std::unique_lock<std::mutex> guard(lock);
                    ids.insert(std::this_thread::get_id());
                    started.notify_all();
                    // Each index holds on until as many threads as it may
                    // have are running, so no thread is free to take a
                    // second index.
                    started.wait_for(guard, std::chrono::seconds(10),
                                     [&] { return int(ids.size()) >= c.expected; });
                });
                const std::lock_guard<std::mutex> guard(lock);
                most.push_back(int(ids.size()));
            };
        TKonvBatch batch;
        batch.Start(std::move(items));
        while (batch.Running())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        ASSERT_EQ(int(most.size()), c.files);
        EXPECT_EQ(*std::max_element(most.begin(), most.end()), c.expected) << c.threads << " threads";
    }
}

TEST_F(KonvJobs, FolderChecksStopAtTheFirstFailingOneWithItsFocus)
{
    bmp("src/a.bmp");
    TDirKonvertForm form(hooksFor(answers), nullptr);
    form.show();
    QApplication::setActiveWindow(&form);
    const struct {
        const char *source, *target, *from, *to, *key, *focus;
    } rows[] = {
        {"", "out", "BMP", "JPG", "err_msg_no_source_dir", "VonHistoryCombo"},
        {"src", "", "BMP", "JPG", "err_msg_no_dest_dir", "NachHistoryCombo"},
        {"src", "out", "", "", "err_msg_no_source_type", "TypVonComboBox"},
        {"src", "out", "PNG", "", "err_msg_no_dest_type", "TypNachComboBox"},
        {"src", "out", "PNG", "PNG", "err_msg_source_is_dest", "TypVonComboBox"},
        {"nosrc", "out", "BMP", "JPG", "err_msg_no_source_dir", "VonHistoryCombo"},
        {"src", "out", "GIF", "PNG", "err_msg_incompatibel_fileformats", "TypNachComboBox"},
        {"src", "out", "EMF", "BMP", "showmsg_please_corfile", ""}, // no .emf files
    };
    for (const auto &r : rows) {
        answers.messages.clear();
        form.VonHistoryCombo->setEditText(*r.source ? path(r.source) : QString());
        form.NachHistoryCombo->setEditText(*r.target ? path(r.target) : QString());
        form.TypVonComboBox->setCurrentIndex(form.TypVonComboBox->findText(r.from));
        form.TypNachComboBox->clear();
        if (*r.to)
            form.TypNachComboBox->addItem(r.to);
        form.TypNachComboBox->setCurrentIndex(*r.to ? 0 : -1);
        form.StartButtonClick();
        EXPECT_EQ(answers.messages, QStringList{r.key}) << r.key;
        if (*r.focus) {
            EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), r.focus)
                << r.key;
        }
    }
    // A missing target folder answered No: nothing made, nothing said.
    answers.messages.clear();
    answers.yes = false;
    form.VonHistoryCombo->setEditText(path("src"));
    form.TypVonComboBox->setCurrentText("BMP");
    form.NachHistoryCombo->setEditText(path("new/deeper"));
    form.StartButtonClick();
    EXPECT_FALSE(form.Running());
    EXPECT_TRUE(answers.messages.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("new")));
    EXPECT_EQ(form.LogListBox->count(), 0);

    // Only a folder carries the name: it counts, but there is no file.
    QDir().mkpath(path("only/x.bmp"));
    form.VonHistoryCombo->setEditText(path("only"));
    form.NachHistoryCombo->setEditText(path("out"));
    answers.texts.clear();
    form.StartButtonClick();
    waitRun(&form);
    EXPECT_EQ(answers.texts.value(0), "Keine entsprechende .bmp-Datei im Quellverzeichnis vorhanden!");
}

TEST_F(KonvJobs, FolderRunToTifGivesFilesTiffinfoReads)
{
    if (!zktest::haveProgram("tiffinfo"))
        GTEST_SKIP() << "tiffinfo missing";
    bmp("src/t.bmp", 50, 10);
    TDirKonvertForm form(hooksFor(answers), nullptr);
    form.VonHistoryCombo->setEditText(path("src"));
    form.TypVonComboBox->setCurrentText("BMP");
    form.TypNachComboBox->setCurrentText("TIF");
    form.NachHistoryCombo->setEditText(path("out"));
    form.StartButtonClick();
    waitRun(&form);
    QByteArray info;
    ASSERT_EQ(zktest::runProgram("tiffinfo", {path("out/t.tif")}, &info), 0);
    EXPECT_TRUE(info.contains("Image Width: 50 Image Length: 10")) << info.constData();
    EXPECT_EQ(identify(path("out/t.tif")), "TIFF 50 10");
}

TEST_F(KonvJobs, ListOffersTheMissingTypesAndLogsADamagedFileAsFailed)
{
    bmp("src/a.bmp", 30, 20);
    damaged("src/broken.bmp");
    jpg("src/c.jpg", 25, 15);
    TMultiKonvertForm form(hooksFor(answers), nullptr);
    form.LogFile = {true, path("out")};
    EXPECT_FALSE(form.KonvControlFrame->StartButton->isEnabled());
    answers.files = {path("src/a.bmp"), path("src/c.png")};
    form.OpenBitBtnClick();
    QStringList offered;
    for (int i = 0; i < form.TypComboBox->count(); ++i)
        offered << form.TypComboBox->itemText(i);
    EXPECT_EQ(offered, QStringList({"JPG", "GIF", "WMF", "EMF", "ICO", "ZKG", "TIF"}));
    form.ListEmptyButtonClick();
    EXPECT_FALSE(form.ListEmptyButton->isEnabled());
    EXPECT_EQ(form.TypComboBox->count(), 0);
    answers.files = {path("src/c.jpg")};
    form.OpenBitBtnClick();
    EXPECT_EQ(form.TypComboBox->count(), 8);
    EXPECT_EQ(form.TypComboBox->findText("JPG"), -1);
    // Chosen files go before the ones listed.
    answers.files = {path("src/a.bmp"), path("src/broken.bmp")};
    form.OpenBitBtnClick();
    EXPECT_EQ(form.Files(), QStringList({path("src/a.bmp"), path("src/broken.bmp"), path("src/c.jpg")}));

    form.PathHistoryCombo->setEditText(path("out"));
    form.StartButtonClick();
    EXPECT_EQ(answers.messages, QStringList{"showmsg_please_corouttype"});
    answers.messages.clear();
    form.TypComboBox->setCurrentText("PNG");
    form.StartButtonClick();
    waitRun(&form);
    EXPECT_EQ(logText(&form), "-------------------Zelkora-Konvertierungs-LogDatei (V. 2003 (5.0))-------------------\r\n"
                              "\r\n"
                              "Aktion: Multi-Konvertieren, Konvertieren von Formaten in png\r\n"
                              "\r\n"
                              "BEGIN\r\n"
                              "0: a.bmp ---------> a.png ---------> STATUS: OK\r\n"
                              "1: broken.bmp ---------> broken.png ---------> STATUS: FEHLER\r\n"
                              "2: c.jpg ---------> c.png ---------> STATUS: OK\r\n"
                              "END\r\n");
    EXPECT_TRUE(answers.messages.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("out/broken.png")));
    if (zktest::haveProgram("pngcheck")) {
        for (const char *f : {"out/a.png", "out/c.png"})
            EXPECT_EQ(zktest::runProgram("pngcheck", {path(f)}), 0) << f;
    }
    EXPECT_EQ(identify(path("out/c.png")), "PNG 25 15");

    // A double click previews; a file that went away is said so.
    form.SourceListBox->setCurrentRow(2);
    form.SourceListBoxDblClick();
    EXPECT_EQ(answers.previews, QStringList{path("src/c.jpg")});
    QFile::remove(path("src/c.jpg"));
    form.SourceListBoxDblClick();
    EXPECT_EQ(answers.messages, QStringList{"showmsg_mistake_graphic"});
}

TEST_F(KonvJobs, ListPairWithoutConverterIsToldByTheConversionLayer)
{
    ASSERT_TRUE(magick("-size 8x8 xc:red", path("src/g.gif")));
    TMultiKonvertForm form(hooksFor(answers), nullptr);
    answers.files = {path("src/g.gif")};
    form.OpenBitBtnClick();
    form.TypComboBox->setCurrentText("PNG");
    form.PathHistoryCombo->setEditText(path("out"));
    QString boxName;
    zktest::AnswerNext<QMessageBox>([&boxName](QMessageBox *box) {
        boxName = box->objectName();
        box->accept();
    });
    form.StartButtonClick();
    waitRun(&form);
    EXPECT_EQ(boxName, "GraphicConvertMessage");
    EXPECT_TRUE(QDir(path("out")).isEmpty());
}

TEST_F(KonvJobs, ThumbnailsHaveTheChosenSizeAndNeverReplaceTheirSource)
{
    jpg("src/a.jpg", 400, 300);
    bmp("src/b.bmp", 90, 60);
    bmp("src/c.png", 20, 20);
    TThumbBMForm form(hooksFor(answers), nullptr);
    form.show();
    EXPECT_EQ(form.WidthUpDown->Position(), 120);
    EXPECT_EQ(form.HeightUpDown->Position(), 150);
    form.LogFile = {true, path("out")};
    answers.files = {path("src/a.jpg"), path("src/b.bmp"), path("src/c.png")};
    form.OpenBitBtnClick();
    EXPECT_TRUE(form.PrevSource1Button->isEnabled());
    EXPECT_FALSE(form.PrevDestButton->isEnabled());
    answers.color = QColor(255, 0, 0);
    QTest::mouseClick(form.ColrButton, Qt::LeftButton);
    answers.color.reset(); // cancelled: the colour stays
    form.ColrButtonClick();
    EXPECT_EQ(form.FillColor(), QColor(255, 0, 0));
    QTest::keyClicks(form.PrfxEdit, "tn_");
    form.WidthEdit->setText("80");
    form.PathHistoryCombo->setEditText(path("thumbs"));
    form.StartButtonClick(); // the folder is made on Yes
    waitRun(&form);
    EXPECT_EQ(identify(path("thumbs/tn_a.jpg")), "JPEG 80 150");
    EXPECT_EQ(identify(path("thumbs/tn_b.bmp")), "BMP3 80 150");
    // 90 x 60 drawn 80 x 53 in the middle: the band above is the fill colour.
    EXPECT_EQ(pixel(path("thumbs/tn_b.bmp"), 0, 0), "255,0,0");
    EXPECT_EQ(pixel(path("thumbs/tn_b.bmp"), 79, 149), "255,0,0");
    EXPECT_FALSE(QFileInfo::exists(path("thumbs/tn_c.png")));
    EXPECT_EQ(logText(&form), "-------------------Zelkora-Konvertierungs-LogDatei (V. 2003 (5.0))-------------------\r\n"
                              "\r\n"
                              "Aktion: Thumb-Konvertieren, Konvertieren in Thumbnail\r\n"
                              "\r\n"
                              "BEGIN\r\n"
                              "0: a.jpg ---------> tn_a.jpg ---------> STATUS: OK\r\n"
                              "1: b.bmp ---------> tn_b.bmp ---------> STATUS: OK\r\n"
                              "2: c.png ---------> tn_c.png ---------> STATUS: FEHLER\r\n"
                              "END\r\n");
    ASSERT_TRUE(form.PrevDestButton->isEnabled());
    form.SourceListBox->setCurrentRow(1);
    form.PrevDestButtonClick();
    EXPECT_EQ(answers.previews, QStringList{path("thumbs/tn_b.bmp")});

    // No prefix into the source folder: the thumbnail would be its source.
    const QByteArray original = zktest::readBytes(path("src/a.jpg"));
    form.PrfxEdit->clear();
    form.PathHistoryCombo->setEditText(path("src"));
    form.StartButtonClick();
    waitRun(&form);
    EXPECT_TRUE(logText(&form).contains("0: a.jpg ---------> a.jpg ---------> STATUS: FEHLER\r\n"));
    EXPECT_EQ(zktest::readBytes(path("src/a.jpg")), original);
}

// Two listed files of one name make two results of one name: the second is
// refused (it failed) instead of replacing the first, and no result is
// written over a listed file that is not its own source.
TEST_F(KonvJobs, ListJobsNeverWriteOverAListedFileOrAnEarlierResult)
{
    QDir(dir.path()).mkpath(QStringLiteral("other"));
    QDir(dir.path()).mkpath(QStringLiteral("thumbs"));
    bmp("src/a.bmp", 30, 20);
    jpg("src/a.jpg", 25, 15);
    TMultiKonvertForm list(hooksFor(answers), nullptr);
    list.LogFile = {true, path("out")};
    answers.files = {path("src/a.bmp"), path("src/a.jpg")};
    list.OpenBitBtnClick();
    list.TypComboBox->setCurrentText("PNG");
    list.PathHistoryCombo->setEditText(path("out"));
    list.StartButtonClick();
    waitRun(&list);
    EXPECT_TRUE(logText(&list).contains("0: a.bmp ---------> a.png ---------> STATUS: OK\r\n"
                                        "1: a.jpg ---------> a.png ---------> STATUS: FEHLER\r\n"))
        << qPrintable(logText(&list));
    EXPECT_EQ(identify(path("out/a.png")), "PNG 30 20");

    jpg("src/x.jpg", 40, 30);
    jpg("other/x.jpg", 30, 60);
    const QByteArray other = zktest::readBytes(path("other/x.jpg"));
    TThumbBMForm thumbs(hooksFor(answers), nullptr);
    thumbs.LogFile = {true, path("out")};
    answers.files = {path("src/x.jpg"), path("other/x.jpg")};
    thumbs.OpenBitBtnClick();
    const struct
    {
        const char *folder, *log;
    } runs[] = {
        // Into the second file's folder: the first one's thumbnail would be it.
        {"other", "0: x.jpg ---------> x.jpg ---------> STATUS: FEHLER\r\n"
                  "1: x.jpg ---------> x.jpg ---------> STATUS: FEHLER\r\n"},
        {"thumbs", "0: x.jpg ---------> x.jpg ---------> STATUS: OK\r\n"
                   "1: x.jpg ---------> x.jpg ---------> STATUS: FEHLER\r\n"},
    };
    for (const auto &run : runs) {
        thumbs.PathHistoryCombo->setEditText(path(run.folder));
        thumbs.StartButtonClick();
        waitRun(&thumbs);
        EXPECT_TRUE(logText(&thumbs).contains(run.log)) << run.folder << "\n" << qPrintable(logText(&thumbs));
        EXPECT_EQ(zktest::readBytes(path("other/x.jpg")), other) << run.folder;
    }
    // The thumbnail is the first, wide x.jpg's (fill above and below the
    // picture), not the tall second one's (fill left and right).
    EXPECT_EQ(pixel(path("thumbs/x.jpg"), 60, 5), pixel(path("thumbs/x.jpg"), 60, 144));
    EXPECT_NE(pixel(path("thumbs/x.jpg"), 60, 5), pixel(path("thumbs/x.jpg"), 5, 75));
}

TEST_F(KonvJobs, HostKeepsItsFormsRefusesToCloseDuringARunAndStoresTheLogSettings)
{
    TAllKonvBMForm host(nullptr, hooksFor(answers));
    EXPECT_EQ(host.windowTitle(), "Einzelne Datei konvertieren");
    EXPECT_NE(host.JobForm(0), nullptr);
    EXPECT_EQ(host.JobForm(1), nullptr);
    host.SetTabIndex(1);
    auto *dirForm = qobject_cast<TDirKonvertForm *>(host.JobForm(1));
    ASSERT_NE(dirForm, nullptr);
    dirForm->VonHistoryCombo->setEditText(path("src"));
    host.SetTabIndex(3);
    host.SetTabIndex(1);
    EXPECT_EQ(host.JobForm(1), dirForm);
    EXPECT_EQ(dirForm->VonHistoryCombo->currentText(), path("src"));
    EXPECT_EQ(host.windowTitle(), "Gesamtes Verzeichnis konvertieren");

    for (int i = 0; i < 3; ++i)
        jpg(QStringLiteral("src/p%1.jpg").arg(i), 1200, 900);
    host.SetTabIndex(3);
    auto *thumbs = qobject_cast<TThumbBMForm *>(host.JobForm(3));
    thumbs->LogFile = {true, path("logs")};
    QDir().mkpath(path("logs"));
    QStringList files;
    for (int i = 0; i < 3; ++i)
        files << path(QStringLiteral("src/p%1.jpg").arg(i));
    answers.files = files;
    thumbs->OpenBitBtnClick();
    thumbs->PathHistoryCombo->setEditText(path("out"));
    TKonvBatch::SetThreadCount(1);
    host.show();
    thumbs->StartButtonClick();
    ASSERT_TRUE(thumbs->Running());
    EXPECT_FALSE(host.KonvTabSet->isEnabled());
    host.close();
    host.reject();
    EXPECT_TRUE(host.isVisible());
    waitRun(thumbs);
    EXPECT_TRUE(host.KonvTabSet->isEnabled());
    EXPECT_TRUE(QFileInfo::exists(path("out/p2.jpg")));
    host.close();
    EXPECT_FALSE(host.isVisible());

    TLogFile stored;
    ReadLogSettings("TCLogFile", "TCLogFilePath", stored);
    EXPECT_TRUE(stored.LogFile);
    EXPECT_EQ(stored.LogFilePath, path("logs"));
    ReadLogSettings("DCLogFile", "DCLogFilePath", stored);
    EXPECT_FALSE(stored.LogFile);
}

TEST_F(KonvJobs, LogFolderDialogCancelledKeepsTheFolderAndUnusableFoldersAreNamed)
{
    bmp("src/a.bmp");
    TFileKonvertForm form(hooksFor(answers), nullptr);
    EXPECT_EQ(QDir::cleanPath(QFileInfo(form.LogFilePath()).absolutePath()), QDir::cleanPath(path("prog")))
        << "no stored folder: the program folder";
    answers.folder = path("out");
    form.KonvControlFrame->LogFileButton->click();
    answers.folder.clear();
    form.KonvControlFrame->LogFileButton->click();
    EXPECT_EQ(form.LogFile.LogFilePath, path("out"));

    // A file where the log folder should be: the log cannot be written
    // (whoever runs the test), the conversion still is, and the log is named.
    form.LogFile = {true, path("src/a.bmp")};
    form.SourcePathEdit->setText(path("src/a.bmp"));
    form.FillTypes();
    form.DestPathEdit->setText(path("out/"));
    form.StartButtonClick();
    waitRun(&form);
    EXPECT_EQ(answers.messages, QStringList{"showmsg_log_not_written"});
    EXPECT_TRUE(answers.texts.value(0).contains(path("src/a.bmp/ZK_File_Konvert.log")))
        << answers.texts.value(0).toStdString();
    EXPECT_TRUE(QFileInfo::exists(path("out/a.jpg")));

    // A target folder that cannot be made is named too, and nothing runs.
    answers.messages.clear();
    answers.texts.clear();
    TMultiKonvertForm list(hooksFor(answers), nullptr);
    answers.files = {path("src/a.bmp")};
    list.OpenBitBtnClick();
    list.TypComboBox->setCurrentText("PNG");
    list.PathHistoryCombo->setEditText(path("src/a.bmp/sub"));
    list.StartButtonClick();
    EXPECT_FALSE(list.Running());
    EXPECT_EQ(answers.messages, QStringList{"showmsg_dir_not_writable"});
    EXPECT_TRUE(answers.texts.value(0).endsWith(path("src/a.bmp/sub"))) << answers.texts.value(0).toStdString();
}

TEST_F(KonvJobs, LauncherItemsOpenTheHostOnTheirTabs)
{
    TMainForm main;
    main.Options.EndDlg = false;
    const struct { const char *item; int tab; } rows[] = {
        {"ConvertToolButton", 0}, {"EinzelnMenuItem", 0}, {"MoreMenuItem", 1}, {"ChoiceMenuItem", 2}, {"ThumbMenuItem", 3},
    };
    for (const auto &r : rows) {
        QAction *a = main.Item(QString::fromLatin1(r.item));
        ASSERT_TRUE(a->isEnabled()) << r.item;
        int tab = -1;
        QString title;
        const bool opened = zktest::WithModal([a] { a->trigger(); }, [&](QWidget *w) {
            if (auto *host = qobject_cast<TAllKonvBMForm *>(w)) {
                tab = host->TabIndex();
                title = host->windowTitle();
            }
            w->close();
        });
        EXPECT_TRUE(opened) << r.item;
        EXPECT_EQ(tab, r.tab) << r.item;
        EXPECT_FALSE(title.isEmpty());
    }
    EXPECT_TRUE(main.findChildren<TAllKonvBMForm *>().isEmpty());
}

} // namespace
