// The icon extractor, its batch dialog and the extension-icon dialog, driven
// offscreen through their handlers with the prompts answered by the test.
#include "CaptureControl.h"
#include "ExtractForm.h"
#include "FileSplitForm.h"
#include "IconLinkExtForm.h"
#include "HistList.h"
#include "MainForm.h"
#include "OptionDlg.h"
#include "Options.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zk;
using namespace zktest;

namespace {

QImage magick(const QString &source)
{
    QByteArray png;
    if (runProgram("convert", {source, "png32:-"}, &png) != 0)
        return {};
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32);
}

// A library of ten icon groups (one 32 px picture each, a different colour
// per group), linked by the MinGW tools; empty when they are missing.
QString tenIconLibrary(const QString &dir)
{
    if (!haveProgram("x86_64-w64-mingw32-windres") || !haveProgram("x86_64-w64-mingw32-ld"))
        return {};
    QByteArray rc;
    for (int i = 0; i < 10; ++i) {
        const QString ico = dir + QString("/c%1.ico").arg(i);
        if (runProgram("convert", {"-size", "32x32", QString("xc:rgb(%1,%2,200)").arg(20 * i).arg(250 - 20 * i), ico}) != 0)
            return {};
        rc += QString("%1 ICON \"%2\"\n").arg(i + 1).arg(ico).toUtf8();
    }
    writeBytes(dir + "/ten.rc", rc);
    if (runProgram("x86_64-w64-mingw32-windres", {"--preprocessor=cpp", "-i", dir + "/ten.rc", "-o", dir + "/ten.o"}) != 0 ||
        runProgram("x86_64-w64-mingw32-ld", {"-shared", "-e", "0", "-o", dir + "/ten.dll", dir + "/ten.o"}) != 0)
        return {};
    return dir + "/ten.dll";
}

// The largest channel difference of two pictures compared premultiplied;
// 256 when their sizes differ.
int maxPremultipliedDiff(const QImage &a0, const QImage &b0)
{
    if (a0.size() != b0.size() || a0.isNull())
        return 256;
    const QImage a = a0.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = b0.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q), qAlpha(p) - qAlpha(q)})
                worst = std::max(worst, std::abs(d));
        }
    return worst;
}

struct Answers {
    QStringList messages;
    QStringList confirms;
    bool confirm = true;
};

void quiet(TToolPrompts &p, Answers &a)
{
    p.Message = [&a](const QString &t) { a.messages << t; };
    p.Confirm = [&a](const QString &t) {
        a.confirms << t;
        return a.confirm;
    };
}

} // namespace

TEST(ExtractForm, TenIconsGiveTwoRowsOfNineAndTheBatchSkipsEmptyCells)
{
    QTemporaryDir tmp;
    const QString dll = tenIconLibrary(tmp.path());
    if (dll.isEmpty())
        GTEST_SKIP() << "x86_64-w64-mingw32 binutils missing";
    TZelkoraOptions options;
    TExtractBMForm form(options);
    Answers a;
    quiet(form.Prompts, a);
    QString acceptText;
    form.Prompts.RunFileDialog = [&](QFileDialog &d) {
        acceptText = d.labelText(QFileDialog::Accept);
        d.selectFile(dll);
        return true;
    };
    form.OpenButtonClick();
    EXPECT_EQ(acceptText, "Extrahieren");
    EXPECT_EQ(form.IconDrawGrid->rowCount(), 2);
    EXPECT_EQ(form.IconDrawGrid->columnCount(), 9);
    EXPECT_TRUE(form.IconDrawGrid->isEnabled());
    EXPECT_TRUE(form.BatchButton->isEnabled());
    EXPECT_FALSE(form.SaveButton->isEnabled());
    EXPECT_EQ(form.NumLabel->text(), "Grafik-Nr.: 1");

    form.IconDrawGridClick(1, 0); // the tenth icon
    EXPECT_EQ(form.NumLabel->text(), "Grafik-Nr.: 10");
    EXPECT_TRUE(form.SaveButton->isEnabled());
    // Group 10 was made from rgb(180,70,200).
    EXPECT_EQ(form.Preview().pixel(5, 5), qRgb(180, 70, 200));
    form.IconDrawGridClick(1, 1); // past the last icon
    EXPECT_FALSE(form.SaveButton->isEnabled());

    const QString out = tmp.path() + "/out";
    form.RunBatchDialog = [&](QWidget *) {
        auto *d = new TIcoResBatchBMForm;
        d->NameEdit->setText("name");
        d->PathHistoryCombo->setEditText(out);
        return d;
    };
    QDir().mkpath(out);
    form.BatchButtonClick();
    QStringList written = QDir(out).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(written, QStringList({"name0.ico", "name1.ico", "name2.ico", "name3.ico", "name4.ico", "name5.ico",
                                    "name6.ico", "name7.ico", "name8.ico", "name9.ico"}));
    EXPECT_EQ(magick(out + "/name3.ico").pixel(0, 0), qRgb(60, 190, 200));
    EXPECT_TRUE(a.messages.isEmpty()) << a.messages.join('\n').toStdString();
}

TEST(ExtractForm, SavesTheShownIconAsIconAndBitmap)
{
    QTemporaryDir tmp;
    const QString ico = tmp.path() + "/in.ico";
    // Opaque red with a transparent corner.
    ASSERT_EQ(runProgram("convert", {"-size", "32x32", "xc:red", "-alpha", "set", "-fill", "none", "-draw",
                                     "color 0,0 point", ico}),
              0);
    TZelkoraOptions options;
    options.BmpPixForm = pf24bit;
    TExtractBMForm form(options);
    Answers a;
    quiet(form.Prompts, a);
    form.Prompts.RunFileDialog = [&](QFileDialog &d) {
        d.selectFile(ico);
        return true;
    };
    form.OpenButtonClick();
    ASSERT_EQ(form.Icons().Count(), 1);
    form.IconDrawGridClick(0, 0);

    OpenDialogName = "TExtractForm";
    QString nameWhileOpen;
    for (const auto &[filter, file] : {std::pair{0, QString("out.ico")}, std::pair{1, QString("out.bmp")}}) {
        form.Prompts.RunFileDialog = [&, filter = filter, file = file](QFileDialog &d) {
            nameWhileOpen = OpenDialogName;
            d.selectNameFilter(d.nameFilters().at(filter));
            d.selectFile(tmp.path() + "/" + file);
            return true;
        };
        form.SaveButtonClick();
        EXPECT_EQ(nameWhileOpen, "Datei speichern unter");
    }
    EXPECT_EQ(OpenDialogName, "TExtractForm");
    OpenDialogName.clear();
    const QImage backIco = magick(tmp.path() + "/out.ico");
    EXPECT_EQ(backIco.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(backIco.pixel(0, 0)), 0);
    // The bitmap takes the depth of the options and fills the transparent
    // corner with white.
    EXPECT_EQ(readBytes(tmp.path() + "/out.bmp").at(28), 24);
    const QImage backBmp = magick(tmp.path() + "/out.bmp");
    EXPECT_EQ(backBmp.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(backBmp.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(ExtractForm, FileWithoutIconsLeavesTheGridOffWithAMessage)
{
    QTemporaryDir tmp;
    writeBytes(tmp.path() + "/notes.txt", "text");
    TZelkoraOptions options;
    TExtractBMForm form(options);
    Answers a;
    quiet(form.Prompts, a);
    EXPECT_FALSE(form.LoadIconGrid(tmp.path() + "/notes.txt"));
    EXPECT_FALSE(form.IconDrawGrid->isEnabled());
    ASSERT_EQ(a.messages.size(), 1);
    EXPECT_TRUE(a.messages.first().contains("notes.txt"));
}

TEST(IcoResBatchForm, StaysOpenUntilNameAndFolderAreUsable)
{
    QTemporaryDir tmp;
    TIcoResBatchBMForm form;
    Answers a;
    quiet(form.Prompts, a);
    form.show();
    form.OkButtonClick();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(a.messages.value(0), "Bitte gültigen Dateiname eingeben!");

    form.NameEdit->setText("n");
    form.OkButtonClick();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(a.messages.value(1), "Bitte gültiges Zielverzeichnis eingeben bzw. auswählen!");

    const QString deep = tmp.path() + "/a/b/c";
    form.PathHistoryCombo->setEditText(deep);
    a.confirm = false;
    form.OkButtonClick();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(a.confirms.value(0), "Zielverzeichnis nicht vorhanden, neu erstellen?");
    EXPECT_FALSE(QFileInfo::exists(deep));

    a.confirm = true;
    form.OkButtonClick();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(IconLinkExtForm, ExtensionListsSplitAtEachSemicolon)
{
    const struct {
        const char *answer;
        QStringList want;
    } rows[] = {
        {"bmp;gif;png", {"bmp", "gif"}},
        {"bmp;gif;png;", {"bmp", "gif", "png"}},
        {"png", {}},
        {";;", {"", ""}},
    };
    for (const auto &r : rows)
        EXPECT_EQ(SplitExtensionList(r.answer), r.want) << r.answer;
}

TEST(IconLinkExtForm, DotIsRemovedAndTheThemesTextIconShown)
{
    const QString adwaita = "/usr/share/icons/Adwaita";
    if (!QFileInfo::exists(adwaita + "/index.theme"))
        GTEST_SKIP() << "Adwaita is not installed";
    QTemporaryDir tmp;
    TIconLinkExtBMForm form;
    Answers a;
    quiet(form.Prompts, a);
    for (const int item : {0, 1}) {
        const int size = item == 0 ? 16 : 32;
        form.ExtEdit->setText(".txt");
        form.IcoDimRadioGroup->SetItemIndex(item);
        form.IcoDimRadioGroupClick();
        EXPECT_EQ(form.ImgClientPanel->width(), item == 0 ? 20 : 36);
        EXPECT_EQ(a.messages.takeFirst(), "Bitte die Dateierweiterung ohne führenden Punkt eingeben.");
        EXPECT_EQ(form.ExtEdit->text(), "txt");
        QString want = adwaita + QString("/%1x%1/mimetypes/text-plain.png").arg(size);
        if (!QFileInfo::exists(want))
            want = adwaita + QString("/%1x%1/mimetypes/text-x-generic.png").arg(size);
        // The theme's picture passes through a pixmap, which keeps it
        // premultiplied: a level may go in half-transparent pixels.
        EXPECT_LE(maxPremultipliedDiff(form.ShownIcon(), magick(want)), 1);
    }
    const QString saved = tmp.path() + "/txt.ico";
    form.Prompts.RunFileDialog = [&](QFileDialog &d) {
        EXPECT_EQ(d.windowTitle(), "Icon speichern unter");
        d.selectFile(saved);
        return true;
    };
    form.ILESaveButtonClick();
    EXPECT_EQ(maxPremultipliedDiff(magick(saved), form.ShownIcon()), 0);
}

TEST(IconLinkExtForm, ListModeWalksTheListAndAnAnswerWithoutSemicolonStartsNone)
{
    TIconLinkExtBMForm form;
    Answers a;
    quiet(form.Prompts, a);
    QString answer = "png";
    QString offered;
    form.Prompts.InputQuery = [&](const QString &, const QString &, QString &value) {
        offered = value;
        value = answer;
        return true;
    };
    form.ListButtonClick();
    EXPECT_EQ(offered, "doc;txt;rtf;bmp;jpg;gif;tif;wmf;emf;zkg;ico;htm;html;xls;chm;exe;hlp;url;pas;cpp;h;dll;com;"
                       "bat;ini;msc;");
    EXPECT_FALSE(form.ListMode);
    EXPECT_EQ(a.messages.size(), 1);

    answer = "bmp;gif;png";
    form.ListButtonClick();
    EXPECT_TRUE(form.ListMode);
    EXPECT_EQ(form.ExtEdit->text(), "bmp");
    EXPECT_EQ(form.ILEFindButton->text(), ">>>");
    form.ILEFindButton->click();
    EXPECT_EQ(form.ExtEdit->text(), "gif");
    form.ILEFindButton->click(); // past the end: the list ends
    EXPECT_FALSE(form.ListMode);
    EXPECT_EQ(form.ListIndex, -1);
    EXPECT_EQ(form.ILEFindButton->text(), "&Finden");
}

TEST(IconLinkExtForm, BevelCyclesAndAMovableIconFloatsAndDocksBack)
{
    TIconLinkExtBMForm form;
    Answers a;
    quiet(form.Prompts, a);
    const QFrame::Shadow raised = QFrame::Raised;
    EXPECT_EQ(form.ImgClientPanel->frameShadow(), raised);
    form.IcoLinkImageClick();
    EXPECT_EQ(form.ImgClientPanel->frameShadow(), QFrame::Sunken);
    form.IcoLinkImageClick();
    EXPECT_EQ(form.ImgClientPanel->frameShape(), QFrame::NoFrame);
    form.IcoLinkImageClick();
    EXPECT_EQ(form.BevelState, 0);

    form.MoveableMenuItem->trigger();
    EXPECT_TRUE(form.Moveable);
    EXPECT_TRUE(form.MoveableMenuItem->isChecked());
    form.IcoLinkImageClick(); // no bevel change while movable
    EXPECT_EQ(form.BevelState, 0);
    form.FloatIcon(QPoint(300, 300));
    ASSERT_TRUE(form.FloatingWindow());
    EXPECT_TRUE(form.FloatingWindow()->isWindow());
    form.ImgClientPanelDockDrop();
    EXPECT_FALSE(form.FloatingWindow());
    EXPECT_EQ(form.ImgClientPanel->frameShadow(), raised);
}

TEST(IconToolLaunchers, ItemsAndButtonsOpenTheirDialogs)
{
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    {
        TMainForm main;
        main.Options.EndDlg = false;
        const struct {
            const char *item, *button, *cls, *title;
        } rows[] = {
            {"ExeDllExtractMenuItem", "ExtrToolButton", "zk::TExtractBMForm", "Grafik extrahieren"},
            {"FileExtIconMenuItem", "FleExtToolButton", "zk::TIconLinkExtBMForm", "Dateierweiterungs-Icon"},
            {"SplitMenuItem", "SplitToolButton", "zk::TFileSplitBMForm", "Dateien Splitten/Zusammenführen"},
        };
        for (const auto &r : rows) {
            for (const char *name : {r.item, r.button}) {
                QAction *a = main.Item(QString::fromLatin1(name));
                ASSERT_TRUE(a->isEnabled()) << name;
                QString cls, title;
                QTimer::singleShot(0, [&] {
                    for (int i = 0; i < 300; ++i) {
                        if (QWidget *w = QApplication::activeModalWidget()) {
                            cls = QString::fromLatin1(w->metaObject()->className());
                            title = w->windowTitle();
                            w->close();
                            return;
                        }
                        QTest::qWait(10);
                    }
                });
                a->trigger();
                EXPECT_EQ(cls, r.cls) << name;
                EXPECT_EQ(title, r.title) << name;
            }
        }
    }
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}
