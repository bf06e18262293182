// The file list offscreen: its listers over generated folders, the lazy
// thumbnails and icons checked by pixel, a listing started inside another,
// and the list's commands driven on the real main window with the outside
// programs replaced by recording scripts.
#include "DirBDForm.h"
#include "FileListing.h"
#include "FolderExplorerSetup.h"
#include "GraphicConvert.h"
#include "Icon.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "NavBDForm.h"
#include "Options.h"
#include "PictureClasses.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QMessageBox>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QPushButton>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QProcess>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace zk;

namespace {

// Receives what the list hands to the desktop's opener.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl &url) { opened.append(url.toLocalFile()); }
};

// Stands in for the desktop's file manager on a private bus.
class FileManagerRecorder : public QObject
{
    Q_OBJECT
public:
    QStringList shown;
public slots:
    void ShowItemProperties(const QStringList &uris, const QString &) { shown += uris; }
};

void writeImage(const QString &path, int w, int h, QColor colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    ASSERT_TRUE(img.save(path, "BMP")) << path.toStdString();
}

void touch(const QString &path, const QDateTime &when = QDateTime::currentDateTime())
{
    QFile f(path);
    if (!f.exists()) {
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
    }
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

class NavBDFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(program.isValid() && storage.isValid());
        SetProgramDirOverride(program.path() + "/");
        QDir(program.path()).mkpath("Autosave");
        options.OutDir = storage.path();
    }
    void TearDown() override
    {
        // The main window of a test deletes them with itself.
        delete nav.data();
        delete explorer.data();
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    // The explorer pair over host; questions answered from the lists below.
    void make(QMainWindow *host)
    {
        explorer = new TDirBDForm(host, &options);
        nav = new TNavBDForm(host, &options, explorer);
        nav->SetLanguage(ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng")), 1);
        nav->Prompts.Message = [this](const QString &t) { messages.append(t); };
        nav->Prompts.Confirm = [this](const QString &t) {
            questions.append(t);
            return !answers.isEmpty() && answers.takeFirst();
        };
        explorer->ExternRootSource = [] { return QList<TExternRoot>{{QStringLiteral("/"), 1}}; };
    }
    QString autosave(const QString &name = {}) const { return program.path() + "/Autosave/" + name; }
    QString stored(const QString &name) const { return storage.path() + "/" + name; }
    QStringList captions() const
    {
        QStringList out;
        for (int r = 0; r < nav->FileListModel->rowCount(); ++r)
            out.append(nav->FileListModel->entry(r).caption);
        return out;
    }
    void select(const QString &caption)
    {
        for (int r = 0; r < nav->FileListModel->rowCount(); ++r)
            if (nav->FileListModel->entry(r).caption == caption) {
                nav->FileListView->setCurrentIndex(nav->FileListModel->index(r));
                return;
            }
        FAIL() << "no row " << caption.toStdString();
    }
    void waitLazy()
    {
        for (int i = 0; i < 500 && nav->LazyWorkPending(); ++i)
            QTest::qWait(10);
        ASSERT_FALSE(nav->LazyWorkPending());
    }
    QTemporaryDir program, storage;
    QMainWindow host;
    TZelkoraOptions options;
    QPointer<TDirBDForm> explorer;
    QPointer<TNavBDForm> nav;
    QStringList messages, questions;
    QList<bool> answers;
};

} // namespace

TEST_F(NavBDFormTest, ListersTakeTheirFilesWithTypeImages)
{
    make(&host);
    const QDateTime now = QDateTime::currentDateTime();
    for (const char *n : {"a.BMP", "b.txt", "c.jpeg", "x.png"})
        touch(stored(n));
    touch(stored("old.gif"), now.addDays(-1));
    for (const char *n : {"ZK_Scan_1.bmp", "zk_scan_2.BMP", "other.bmp", "ZK_Scan_3.png", "x.png"})
        touch(autosave(n));
    touch(autosave("y.wmf"), now.addDays(-1));
    touch(autosave("gone.emf"), now.addDays(-5));

    struct Row
    {
        const char *what;
        std::function<void()> list;
        QStringList expected;
    } rows[] = {
        {"storage", [&] { nav->ListStorageFolder(); }, {"a.bmp", "c.jpeg", "old.gif", "x.png"}},
        {"autosave", [&] { nav->ListAutosave(); }, {"zk_scan_1.bmp", "zk_scan_2.bmp"}},
        {"today", [&] { nav->ListToday(); },
         {"a.bmp", "c.jpeg", "other.bmp", "x.png", "x.png", "zk_scan_1.bmp", "zk_scan_2.bmp", "zk_scan_3.png"}},
        {"yesterday", [&] { nav->ListYesterday(); }, {"old.gif", "y.wmf"}},
        {"missing folder", [&] { nav->ListFolder(storage.path() + "/none"); }, {}},
    };
    for (const Row &row : rows) {
        row.list();
        EXPECT_EQ(captions(), row.expected) << row.what;
        EXPECT_TRUE(nav->ListingDone) << row.what;
    }
    nav->ListStorageFolder();
    EXPECT_EQ(nav->FileListModel->entry(0).image, 0); // a.bmp
    EXPECT_EQ(nav->FileListModel->entry(1).image, 1); // c.jpeg
    EXPECT_EQ(nav->FileListModel->entry(0).path, stored("a.BMP")); // its real name
    EXPECT_EQ(nav->FileListModel->columnCaption(), "4 picture files");

    // "Heute": the Autosave folder's x.png comes first and keeps its own path.
    nav->ListToday();
    const int first = static_cast<int>(captions().indexOf("x.png"));
    EXPECT_EQ(nav->FileListModel->entry(first).path, autosave("x.png"));
    EXPECT_EQ(nav->FileListModel->entry(first + 1).path, stored("x.png"));
}

TEST_F(NavBDFormTest, DateSearchFindsTheCheckedTypesOnly)
{
    make(&host);
    for (const char *n : {"a.bmp", "b.jpeg", "c.tif", "d.dib", "e.tiff"})
        touch(autosave(n), QDateTime::currentDateTime().addDays(-30));
    for (const char *n : {"f.BMP", "g.jpg"})
        touch(stored(n));
    TDateSearchRequest request;
    request.Paths = {autosave(), storage.path() + "/"};
    request.UseDate = false;
    request.Types[0] = true;
    nav->SearchByDate(request);
    EXPECT_EQ(captions(), QStringList({"a.bmp", "f.bmp"}));
    request.Types[1] = true;
    request.UseDate = true;
    request.Date = QDate::currentDate();
    nav->SearchByDate(request);
    EXPECT_EQ(captions(), QStringList({"f.bmp", "g.jpg"}));
    EXPECT_EQ(nav->ListBase, autosave());

    // The dialog's standard folders: Autosave first, then the storage folder.
    TDateFindBMForm dialog(nullptr, &options);
    dialog.show();
    dialog.DFAllCheckBox->setChecked(true);
    dialog.CheckDateCheckBox->setChecked(false);
    TDateSearchRequest asked;
    dialog.GetRequest(asked);
    EXPECT_EQ(asked.Paths, QStringList({autosave(), storage.path() + "/"}));
    EXPECT_EQ(asked.Types, (std::array<bool, 8>{true, true, true, true, true, true, true, true}));
    EXPECT_FALSE(asked.UseDate);
    EXPECT_FALSE(dialog.FindMonthCalendar->isEnabled());
    dialog.close(); // only its buttons and the close box end it
    EXPECT_TRUE(dialog.isVisible());
    dialog.DFCancButton->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(NavBDFormTest, ThumbnailsAndIconsComeLaterAndUnreadableFilesAreNamedOnce)
{
    make(&host);
    writeImage(stored("wide.bmp"), 280, 140, Qt::red);
    writeImage(stored("tall.bmp"), 70, 140, Qt::blue);
    {
        // A palette picture takes the full decoder's road.
        QImage pal(280, 140, QImage::Format_Indexed8);
        pal.setColor(0, qRgb(0, 255, 0));
        pal.fill(0);
        ASSERT_TRUE(pal.save(stored("pal.bmp"), "BMP"));
    }
    touch(stored("photo.jpg"));
    QFile(stored("empty.bmp")).open(QIODevice::WriteOnly);
    touch(stored("broken.bmp"));
    {
        QImage glyph(16, 16, QImage::Format_ARGB32);
        glyph.fill(Qt::green);
        auto icon = GraphicToIcon(TBitmap::FromImage(glyph), clNone);
        icon->SaveToFile(stored("sign.ico"));
    }

    nav->RepMenuItemClick(2); // thumbnails: lists "Ablage" again
    waitLazy();
    const auto thumbOf = [&](const QString &caption) {
        const int row = static_cast<int>(captions().indexOf(caption));
        return nav->ThumbImageList.At(nav->FileListModel->entry(row).thumb).toImage();
    };
    const struct
    {
        const char *file;
        QPoint outside, inside, insideEnd, outsideEnd;
        QColor colour;
    } cases[] = {{"wide.bmp", {70, 34}, {70, 35}, {70, 104}, {70, 105}, Qt::red},
                 {"tall.bmp", {34, 70}, {35, 70}, {104, 70}, {105, 70}, Qt::blue},
                 {"pal.bmp", {70, 34}, {70, 35}, {70, 104}, {70, 105}, Qt::green}};
    for (const auto &c : cases) {
        const QImage t = thumbOf(c.file);
        ASSERT_EQ(t.size(), QSize(140, 140)) << c.file;
        EXPECT_EQ(t.pixelColor(c.outside), QColor(Qt::white)) << c.file;
        EXPECT_EQ(t.pixelColor(c.inside), c.colour) << c.file;
        EXPECT_EQ(t.pixelColor(c.insideEnd), c.colour) << c.file;
        EXPECT_EQ(t.pixelColor(c.outsideEnd), QColor(Qt::white)) << c.file;
    }
    // Other types keep their type image, the broken ones too.
    for (const char *n : {"photo.jpg", "empty.bmp", "broken.bmp"})
        EXPECT_TRUE(thumbOf(n).isNull()) << n;
    const TFileEntry &ico = nav->FileListModel->entry(static_cast<int>(captions().indexOf("sign.ico")));
    ASSERT_GE(ico.image, 7);
    EXPECT_EQ(nav->NavSImageList.at(ico.image).pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::green));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("empty.bmp") && messages[0].contains("broken.bmp")) << messages[0].toStdString();
}

// Ten thousand small pictures (made once, three colours in turn): the list
// takes every one, and the thumbnail view makes the thumbnails of the rows
// in view and of the next screen, not of the whole folder.
TEST_F(NavBDFormTest, ATenThousandPictureFolderListsWholeAndThumbnailsItsFirstScreen)
{
    static QTemporaryDir many;
    static const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    if (!QFile::exists(many.filePath("p09999.bmp"))) {
        QByteArray bytes[3];
        for (int c = 0; c < 3; ++c) {
            QImage img(8, 8, QImage::Format_RGB32);
            img.fill(colours[c]);
            QBuffer buffer(&bytes[c]);
            ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && img.save(&buffer, "BMP"));
        }
        for (int i = 0; i < 10000; ++i) {
            QFile f(many.filePath(QString::asprintf("p%05d.bmp", i)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes[i % 3]) == bytes[i % 3].size());
        }
    }
    make(&host);
    host.resize(900, 700);
    host.show();
    nav->show();
    nav->ThumbView = true;
    nav->ListFolder(many.path());
    ASSERT_EQ(nav->FileListModel->rowCount(), 10000);
    waitLazy();
    const QRect area = nav->FileListView->viewport()->rect();
    int inView = 0;
    for (int r = 0; r < 10000; ++r) {
        if (!nav->FileListView->visualRect(nav->FileListModel->index(r)).intersects(area))
            continue;
        ++inView;
        const TFileEntry &e = nav->FileListModel->entry(r);
        ASSERT_TRUE(nav->ThumbImageList.Holds(e.thumb)) << e.caption.toStdString();
        // An 8 x 8 square fills the whole thumbnail.
        const int n = e.caption.mid(1, 5).toInt();
        EXPECT_EQ(nav->ThumbImageList.At(e.thumb).toImage().pixelColor(70, 70), colours[n % 3]) << n;
    }
    EXPECT_GT(inView, 0);
    EXPECT_LT(nav->ThumbImageList.size(), 1000);
}

// A view of about 5K pixels and the screen after it take more thumbnails
// than the usual bound holds: the bound grows with the view, so the work
// settles with every cell in view drawn and no thumbnail made twice (it used
// to drop and make them without end).
TEST_F(NavBDFormTest, AVeryLargeThumbnailViewSettles)
{
    QTemporaryDir folder;
    QByteArray bmp;
    {
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::red);
        QBuffer buffer(&bmp);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && img.save(&buffer, "BMP"));
    }
    for (int i = 0; i < 2000; ++i) {
        QFile f(folder.filePath(QString::asprintf("p%04d.bmp", i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bmp) == bmp.size());
    }
    make(&host);
    host.resize(5400, 3000);
    host.show();
    nav->show();
    nav->resize(5300, 2950);
    nav->ThumbView = true;
    nav->ListFolder(folder.path());
    ASSERT_EQ(nav->FileListModel->rowCount(), 2000);
    waitLazy();
    const QRect area = nav->FileListView->viewport()->rect();
    ASSERT_GT(area.width(), 5000);
    int inView = 0, made = 0;
    for (int r = 0; r < 2000; ++r) {
        const TFileEntry &e = nav->FileListModel->entry(r);
        made = std::max(made, e.thumb + 1);
        if (!nav->FileListView->visualRect(nav->FileListModel->index(r)).intersects(area))
            continue;
        ++inView;
        EXPECT_TRUE(nav->ThumbImageList.Holds(e.thumb)) << r;
    }
    // The rows in view and the next screen: more than 48 MB of 140 x 140
    // thumbnails (646 of them).
    EXPECT_GT(2 * inView, 646);
    EXPECT_GT(made, 646);
    EXPECT_EQ(made, nav->ThumbImageList.size());
}

// A notch of the wheel moves every view three rows, a page at most, also
// the icon views after the report view was shown first (they kept its
// one-row step in pixels: a notch moved them three pixels); the page keys
// move through the icon views whatever the dock's height.
TEST_F(NavBDFormTest, TheWheelAndThePageKeysMoveEveryViewByRows)
{
    for (int i = 0; i < 120; ++i)
        writeImage(stored(QString::asprintf("p%03d.bmp", i)), 8, 8, Qt::red);
    make(&host);
    host.resize(900, 700);
    host.show();
    nav->show();
    nav->resize(420, 400);
    nav->ListStorageFolder();
    ASSERT_EQ(nav->FileListModel->rowCount(), 120);
    QListView *view = nav->FileListView;
    const auto topOf = [&](int row) { return view->visualRect(nav->FileListModel->index(row)).top(); };
    const auto notch = [&](int delta) {
        const QPointF at(20, 20);
        QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        QApplication::processEvents();
    };
    const struct
    {
        int tag;
        const char *view;
    } views[] = {{0, "report"}, {1, "icons"}, {2, "thumbnails"}, {0, "report again"}};
    for (const auto &v : views) {
        nav->RepMenuItemClick(v.tag);
        nav->ListStorageFolder();
        ASSERT_TRUE(QTest::qWaitFor([&] { return topOf(119) > 0 && nav->FileListModel->rowCount() == 120; }, 3000))
            << v.view;
        view->scrollToTop();
        QApplication::processEvents();
        // The rows of the report view hold one file; an icon row as many as
        // share the first one's top.
        int perRow = 1;
        if (v.tag != 0)
            while (topOf(perRow) == topOf(0))
                ++perRow;
        const int rowHeight = topOf(perRow) - topOf(0);
        const int firstTop = topOf(0);
        notch(-120);
        EXPECT_EQ(topOf(0), firstTop - std::min(3 * rowHeight, view->viewport()->height())) << v.view;
        notch(120);
        EXPECT_EQ(topOf(0), firstTop) << v.view;
        if (v.tag == 0)
            continue;
        // Page Down moves the current item down the same column to one in
        // view, Page Up back; in every height of the dock.
        for (const int height : {260, 330, 400}) {
            nav->resize(420, height);
            QApplication::processEvents();
            view->setCurrentIndex(nav->FileListModel->index(0));
            QTest::keyClick(view, Qt::Key_PageDown);
            const int down = view->currentIndex().row();
            EXPECT_GT(down, 0) << v.view << " " << height;
            EXPECT_EQ(down % perRow, 0) << v.view << " " << height;
            EXPECT_TRUE(view->viewport()->rect().intersects(view->visualRect(view->currentIndex())))
                << v.view << " " << height;
            QTest::keyClick(view, Qt::Key_PageUp);
            EXPECT_EQ(view->currentIndex().row(), 0) << v.view << " " << height;
        }
        nav->resize(420, 400);
    }
}

TEST_F(NavBDFormTest, AListingStartedInsideAnotherTakesOver)
{
    make(&host);
    for (int i = 0; i < 300; ++i)
        touch(stored(QString("f%1.png").arg(i)));
    QTemporaryDir other;
    touch(other.path() + "/only.gif");
    nav->BatchMs = 0;
    int nested = 0;
    QTimer::singleShot(0, nav.data(), [&] {
        ++nested;
        EXPECT_FALSE(nav->ListingDone);
        nav->ListFolder(other.path());
    });
    nav->ListStorageFolder();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(captions(), QStringList({"only.gif"}));
    EXPECT_TRUE(nav->ListingDone);
}

namespace {

class NavBDFormActions : public NavBDFormTest
{
protected:
    void SetUp() override
    {
        NavBDFormTest::SetUp();
        QDesktopServices::setUrlHandler("file", &urls, "open");
        RegisterPictureCodecs();
        // A box the main window shows would wait forever offscreen.
        modalPoll.setInterval(20);
        QObject::connect(&modalPoll, &QTimer::timeout, [this] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                boxes.append(box ? box->text() : w->windowTitle());
                w->close();
            }
        });
        modalPoll.start();
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler("file");
        NavBDFormTest::TearDown();
    }
    // A script that writes its arguments, one a line, into log.
    QString recorder(const QString &name, const QString &log)
    {
        const QString path = bin.path() + "/" + name;
        zktest::writeBytes(path, ("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + log + "'\n").toUtf8());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    QStringList waitLines(const QString &log)
    {
        for (int i = 0; i < 300 && !QFile::exists(log); ++i)
            QTest::qWait(10);
        QTest::qWait(20);
        return QString::fromUtf8(zktest::readBytes(log)).split('\n', Qt::SkipEmptyParts);
    }
    UrlRecorder urls;
    QTemporaryDir bin;
    QTimer modalPoll;
    QStringList boxes;
};

} // namespace

TEST_F(NavBDFormActions, ClicksOpenPicturesInTheMainWindowOrHandThemOn)
{
    TMainForm main;
    options.OutDir = storage.path();
    main.Options.OutDir = storage.path();
    make(&main);
    nav->Prompts = {};
    nav->Prompts.Message = [this](const QString &t) { messages.append(t); };
    ASSERT_EQ(zktest::runProgram("/usr/bin/convert", {"-size", "640x480", "xc:red", stored("g.gif")}), 0);
    main.Options.OAsBmp = true;
    nav->ListStorageFolder();
    select("g.gif");
    nav->FileListViewClick();
    EXPECT_EQ(main.FFileName, stored("g.gif"));
    EXPECT_EQ(main.StatusPanelText(4), "Grafik: 640 x 480");
    EXPECT_EQ(main.StatusPanelText(6), "|bmp| - gif");
    main.Options.OAsBmp = false;

    // The real folder: ".tif" and ".jpeg" open here, ".tiff" and ".dib" go to
    // the desktop's opener.
    QTemporaryDir real;
    for (const char *n : {"p.tif", "q.jpeg"})
        ASSERT_EQ(zktest::runProgram("/usr/bin/convert", {"-size", "30x20", "xc:blue", real.filePath(n)}), 0);
    for (const char *n : {"r.tiff", "s.dib"})
        touch(real.filePath(n));
    explorer->DirPageControl->setCurrentIndex(1);
    nav->ListRealFolder(real.path() + "/");
    EXPECT_EQ(captions(), QStringList({"p.tif", "q.jpeg", "r.tiff", "s.dib"}));
    for (const char *n : {"p.tif", "q.jpeg", "r.tiff", "s.dib"}) {
        select(n);
        nav->FileListViewClick();
    }
    EXPECT_EQ(urls.opened, QStringList({real.filePath("r.tiff"), real.filePath("s.dib")}));
    EXPECT_EQ(main.FFileName, real.filePath("q.jpeg"));
    EXPECT_EQ(main.ScanImage->Picture().Width(), 30);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    // No reader turns a ".tif" into a bitmap yet: the main window says so.
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(NoConverterMessage())) << boxes[0].toStdString();
}

TEST_F(NavBDFormActions, WalkingTheFolderTreeWithTheKeysKeepsItsFocus)
{
    TMainForm main;
    make(&main);
    QTemporaryDir real;
    QDir(real.path()).mkpath("a/inner");
    QDir(real.path()).mkpath("b");
    touch(real.filePath("a/x.txt"));
    explorer->ExternRootSource = [&real] { return QList<TExternRoot>{{real.path(), 1}}; };
    explorer->DirPageControl->setCurrentIndex(1);
    main.show();
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QTreeWidget *tree = explorer->ExternTree();
    ASSERT_GT(tree->topLevelItemCount(), 0);
    QTreeWidgetItem *root = tree->topLevelItem(0);
    tree->setCurrentItem(root);
    tree->setFocus();
    // Open the root, step down to "a" (its files are listed), open "a".
    QTest::keyClick(tree, Qt::Key_Right);
    ASSERT_TRUE(root->isExpanded());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    ASSERT_EQ(tree->currentItem()->text(0), "a");
    EXPECT_EQ(captions(), QStringList({"x.txt"}));
    EXPECT_EQ(QApplication::focusWidget(), tree);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_TRUE(tree->currentItem()->isExpanded());
}

TEST_F(NavBDFormActions, ShellVerbsDeletingAndTheEditor)
{
    TMainForm main;
    main.Options.OutDir = storage.path();
    make(&main);
    const QString log = bin.path() + "/log";
    const QString name = stored("with space.bmp");
    writeImage(name, 8, 8, Qt::red);
    options.ExtGrafikEditor = true;
    options.ExtGrEdtPath = recorder("editor", log);
    nav->ListStorageFolder();
    select("with space.bmp");
    nav->FileListViewClick();
    EXPECT_EQ(waitLines(log), QStringList({name}));
    EXPECT_EQ(main.FFileName, name);

    // Printing through "lp -- FILE" found first on PATH.
    QFile::remove(log);
    recorder("lp", log);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ":" + path);
    nav->ShellOpenMenuItemClick(nav->ShellPrintMenuItem);
    EXPECT_EQ(waitLines(log), QStringList({"--", name}));
    qputenv("PATH", path);

    nav->ShellOpenMenuItemClick(nav->ShellOpenMenuItem);
    nav->ShellOpenMenuItemClick(nav->ShellExploreMenuItem);
    EXPECT_EQ(urls.opened, QStringList({name, storage.path()}));

    // Write-protected: the second question comes only when the one deleting
    // may not write the file (the system's own answer; root may).
    nav->ShellOpenMenuItemClick(nav->WriteProtMenuItem);
    EXPECT_FALSE(QFileInfo(name).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
    const bool protectedForUs = ::access(QFile::encodeName(name).constData(), W_OK) != 0;
    answers = {true, false};
    nav->DelFileMenuItemClick(nav->DelFileMenuItem);
    EXPECT_EQ(QFile::exists(name), protectedForUs);
    EXPECT_EQ(questions.size(), protectedForUs ? 2 : 1);
    if (protectedForUs) {
        answers = {true, true};
        select("with space.bmp");
        nav->DelFileMenuItemClick(nav->DelFileMenuItem);
    }
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_TRUE(captions().isEmpty());

    // "Alle löschen..." from the main window only says where it works.
    touch(stored("keep.png"));
    nav->ListStorageFolder();
    messages.clear();
    QAction fromMain;
    fromMain.setProperty("Tag", 1);
    nav->DelFileMenuItemClick(&fromMain);
    EXPECT_EQ(messages, QStringList({"All files of a folder can only be deleted in the file explorer."}));
    EXPECT_TRUE(QFile::exists(stored("keep.png")));
}

TEST_F(NavBDFormActions, DropsOpenTheFoldersUnlessOnlyPicturesAreShown)
{
    make(&host);
    QTemporaryDir dropped;
    touch(dropped.filePath("notes.txt"));
    options.ShowOnlyGraphTypes = true;
    nav->DropFile(dropped.filePath("notes.txt"));
    EXPECT_EQ(messages, QStringList({"Only picture files are shown."}));
    EXPECT_EQ(explorer->DirPageControl->currentIndex(), 0);
    options.ShowOnlyGraphTypes = false;
    nav->DropFile(dropped.filePath("notes.txt"));
    EXPECT_EQ(explorer->DirPageControl->currentIndex(), 1);
    EXPECT_EQ(explorer->GetNodePath(explorer->ExternTree()->currentItem()), dropped.path() + "/");
    EXPECT_EQ(captions(), QStringList({"notes.txt"}));
}

TEST_F(NavBDFormActions, TheMainWindowsShellEntriesActOnItsOwnPictureFile)
{
    TMainForm main;
    main.Options.OutDir = storage.path();
    CreateFolderExplorer(main);
    auto *list = qobject_cast<TNavBDForm *>(main.NavBDForm.data());
    ASSERT_TRUE(list);
    list->Prompts.Confirm = [this](const QString &t) {
        questions.append(t);
        return true;
    };
    list->Prompts.Message = [this](const QString &t) { messages.append(t); };
    const QString shown = stored("shown.bmp");
    writeImage(shown, 4, 4, Qt::red);
    writeImage(stored("listed.bmp"), 4, 4, Qt::blue);
    main.OpenPictureFile(shown);
    list->ListStorageFolder();
    list->FileListView->setCurrentIndex(list->FileListModel->index(0)); // listed.bmp
    main.GrEdtPopupMenuPopup();
    auto *shell = main.findChild<QMenu *>("GrEdtShellPopupMenu");
    ASSERT_TRUE(shell);
    const auto copyOf = [shell](const QAction *original) -> QAction * {
        for (QAction *a : shell->actions())
            if (a->text() == original->text())
                return a;
        return nullptr;
    };
    QAction *open = copyOf(list->ShellOpenMenuItem), *del = copyOf(list->DelFileMenuItem);
    ASSERT_TRUE(open && del);
    EXPECT_TRUE(open->isEnabled() && del->isEnabled());
    // The system-wide search is the main window's: on in both menus.
    ASSERT_TRUE(copyOf(list->Suchen1));
    EXPECT_TRUE(copyOf(list->Suchen1)->isEnabled());
    open->trigger();
    EXPECT_EQ(urls.opened, QStringList({shown}));
    del->trigger();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_FALSE(QFile::exists(shown));
    EXPECT_TRUE(QFile::exists(stored("listed.bmp")));
    // Write-protecting the file that is gone says so instead of claiming success.
    main.GrEdtPopupMenuPopup();
    QAction *protect = copyOf(list->WriteProtMenuItem);
    ASSERT_TRUE(protect);
    protect->trigger();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().endsWith(shown)) << messages.last().toStdString();
    EXPECT_FALSE(messages.last().contains(list->Text("showmsg_the_file_is_writeprot", "Die Datei ist jetzt schreibgeschützt.")));
}

TEST_F(NavBDFormActions, CopiesAsPictureOrAsFileAndNamesAClipboardFailure)
{
    make(&host);
    writeImage(stored("red.bmp"), 6, 4, Qt::red);
    touch(stored("bad.png"));
    nav->ListStorageFolder();
    select("red.bmp");
    nav->CopyToClpbMenuItemClick(0);
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(6, 4));
    EXPECT_EQ(copied.pixelColor(3, 2), QColor(Qt::red));

    nav->CopyToClpbMenuItemClick(1);
    const QMimeData *data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), QList<QUrl>({QUrl::fromLocalFile(stored("red.bmp"))}));
    EXPECT_EQ(data->data("x-special/gnome-copied-files"),
              "copy\n" + QUrl::fromLocalFile(stored("red.bmp")).toEncoded());

    select("bad.png");
    nav->CopyToClpbMenuItemClick(0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Problem with the clipboard: ")) << messages[0].toStdString();
    EXPECT_GT(messages[0].size(), QString("Problem with the clipboard: ").size());
}

TEST_F(NavBDFormActions, PropertiesGoToTheFileManagerOnTheSessionBus)
{
    // A private session bus: the list asks whoever owns the file manager's
    // name there.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QByteArray address = daemon.readLine().trimmed();
    const QByteArray old = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    {
        make(&host);
        touch(stored("shot.png"));
        nav->ListStorageFolder();
        select("shot.png");
        nav->ShellOpenMenuItemClick(nav->ShellPropMenuItem);
        for (int i = 0; i < 300 && messages.isEmpty(); ++i)
            QTest::qWait(10);
        EXPECT_EQ(messages.size(), 1); // nobody answers yet

        FileManagerRecorder manager;
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
        ASSERT_TRUE(bus.registerObject("/org/freedesktop/FileManager1", "org.freedesktop.FileManager1", &manager,
                                       QDBusConnection::ExportAllSlots));
        nav->ShellOpenMenuItemClick(nav->ShellPropMenuItem);
        for (int i = 0; i < 300 && manager.shown.isEmpty(); ++i)
            QTest::qWait(10);
        EXPECT_EQ(manager.shown, QStringList({QUrl::fromLocalFile(stored("shot.png")).toString()}));
        EXPECT_EQ(messages.size(), 1);
        bus.unregisterObject("/org/freedesktop/FileManager1");
        bus.unregisterService("org.freedesktop.FileManager1");
    }
    QDBusConnection::disconnectFromBus(QDBusConnection::sessionBus().name());
    qputenv("DBUS_SESSION_BUS_ADDRESS", old);
    daemon.kill();
    daemon.waitForFinished();
}

// A save reads the listing shown again and keeps the node; with a date
// search shown it asks nothing (the search would open its dialog again).
TEST_F(NavBDFormActions, ASaveReadsTheListingAgainWithoutAsking)
{
    TMainForm main;
    main.Options.OutDir = storage.path();
    main.Options.PersSave = true;
    main.Options.FileName = QStringLiteral("shot");
    CreateFolderExplorer(main);
    auto *explorer = qobject_cast<TDirBDForm *>(main.DirBDForm.data());
    auto *list = qobject_cast<TNavBDForm *>(main.NavBDForm.data());
    ASSERT_TRUE(explorer && list);
    int asked = 0;
    list->AskDateRequest = [&asked](QWidget *, TDateSearchRequest &) { return ++asked < 0; };
    writeImage(stored("first.bmp"), 5, 3, Qt::red);
    main.OpenPictureFile(stored("first.bmp"));
    explorer->InternTreeView->setCurrentItem(explorer->InternNode(1)); // "Ablage"
    explorer->InternTreeViewClick();
    ASSERT_EQ(list->FileListModel->rowCount(), 1);
    main.AutoSaveImage();
    EXPECT_EQ(list->FileListModel->rowCount(), 2);
    EXPECT_EQ(explorer->InternTreeView->currentItem(), explorer->InternNode(1));
    explorer->InternTreeView->setCurrentItem(explorer->InternNode(10)); // "Datum..."
    main.AutoSaveImage();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(explorer->InternTreeView->currentItem(), explorer->InternNode(10));
}

#include "NavBDFormTest.moc"
