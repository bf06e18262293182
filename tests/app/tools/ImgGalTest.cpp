// The HTML gallery: the table text, the files written, the page checked by
// HTML Tidy and drawn by a real browser.
#include "ImgGal.h"
#include "ImgGalForm.h"
#include "HistList.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zk;

namespace {

void picture(const QString &path, QColor colour, QSize size = QSize(40, 30))
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    const QString ext = QFileInfo(path).suffix().toLower();
    const char *format = ext == QLatin1String("bmp") ? "BMP" : "JPG";
    ASSERT_TRUE(img.save(path, format, 95)) << path.toStdString();
}

QString cell(const QString &link, const QString &thumb, const QString &alt)
{
    return QStringLiteral("<TH><A HREF=\"%1\"><IMG SRC=\"%2\" BORDER=\"0\" ALT=\"%3\"></a></th>").arg(link, thumb, alt);
}

class ImgGal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(program.filePath("Templates"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/TheIndexFile.htm"),
                                program.filePath("Templates/TheIndexFile.htm")));
        SetProgramDirOverride(program.path());
        out = src.filePath("out");
    }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    // The dialog with its files chosen and the output folder typed.
    std::unique_ptr<TImgGalBMForm> form(const QStringList &files)
    {
        auto f = std::make_unique<TImgGalBMForm>();
        f->Prompts.Message = [this](const QString &t) { messages << t; };
        f->Prompts.Confirm = [](const QString &) { return true; };
        f->Prompts.ChooseFiles = [files](QStringList &chosen) {
            chosen = files;
            return true;
        };
        f->ImgGalOpenButtonClick();
        f->SaveHistoryCombo->setEditText(out);
        return f;
    }
    QString template_() const
    {
        return QString::fromUtf8(zktest::readBytes(program.filePath("Templates/TheIndexFile.htm")));
    }
    QTemporaryDir program, src;
    QString out;
    QStringList messages;
};

TEST_F(ImgGal, GoldenCaseWritesTheMendedTableAndFiveFiles)
{
    picture(src.filePath("a.jpg"), Qt::red);
    picture(src.filePath("b.bmp"), Qt::blue);
    auto f = form({src.filePath("a.jpg"), src.filePath("b.bmp")});
    f->ColUpDown->setValue(2);
    f->BorderUpDown->setValue(1);
    f->TitleEdit->setText("Urlaub");
    f->GenHTMLButtonClick();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(f->FNameEdit->text(), QStringLiteral("ZK_Default"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name),
              QStringList({"ZK_Default.htm", "ZK_TN_a.jpg", "ZK_TN_b.bmp", "a.jpg", "b.bmp"}));
    const QString table = QStringLiteral("<TABLE BORDER=\"1\" CELLSPACING=\"0\" CELLPADDING=\"5\"><tr>") +
                          cell("a.jpg", "ZK_TN_a.jpg", "a.jpg") + cell("b.bmp", "ZK_TN_b.bmp", "b.bmp") +
                          QStringLiteral("</TR></TABLE>");
    QString expected = template_();
    expected.replace("*TheTitle*", "Urlaub").replace("*TheIndex*", table);
    EXPECT_EQ(QString::fromUtf8(zktest::readBytes(out + "/ZK_Default.htm")), expected);
    const QImage thumb(out + "/ZK_TN_a.jpg");
    EXPECT_EQ(thumb.size(), QSize(100, 100));
    EXPECT_LT(thumb.pixelColor(1, 1).value(), 10); // the black band above a wide picture
    EXPECT_TRUE(f->ErgHTMLButton->isEnabled());
}

TEST_F(ImgGal, TablesByColumnsAndTypes)
{
    TGallerySettings one;
    const QString head = QStringLiteral("<TABLE BORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"5\"><tr>");
    const QString R = QStringLiteral("</TR><TR>"), E = QStringLiteral("</TR></TABLE>");
    const QString a = cell("a.jpg", "ZK_TN_a.jpg", "a.jpg"), b = cell("b.JPG", "ZK_TN_b.jpg", "b.JPG");
    EXPECT_EQ(GalleryTable({"/p/a.jpg", "/p/b.JPG"}, one), head + a + R + b + E);
    TGallerySettings two;
    two.Columns = 2;
    // The .jpeg takes a place in the row but has no cell.
    EXPECT_EQ(GalleryTable({"/p/a.jpg", "/p/x.jpeg", "/p/b.JPG"}, two), head + a + R + b + E);
    EXPECT_EQ(GalleryTable({"/p/x.jpeg", "/p/a.jpg"}, one), head + a + E);
    EXPECT_EQ(GalleryTable({"/p/x.jpeg", "/p/y.png"}, two), QString());
    EXPECT_EQ(GalleryThumbName("Bild.WMF"), QStringLiteral("ZK_TN_Bild.wmf"));
}

TEST_F(ImgGal, LinksAreEncodedAndAbsoluteOnesAreFileUrls)
{
    EXPECT_EQ(GalleryLink("/x", QStringLiteral("a b&c%#ü.jpg"), false), QStringLiteral("a%20b%26c%25%23%C3%BC.jpg"));
    EXPECT_EQ(GalleryLink("/tmp/Gal erie", "a.jpg", true), QStringLiteral("file:///tmp/Gal%20erie/a.jpg"));
    TGallerySettings abs;
    abs.OutDir = "/srv/g";
    abs.AbsolutePaths = true;
    EXPECT_EQ(GalleryTable({"/p/<a>.bmp"}, abs),
              QStringLiteral("<TABLE BORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"5\"><tr>") +
                  cell("file:///srv/g/%3Ca%3E.bmp", "file:///srv/g/ZK_TN_%3Ca%3E.bmp", "&lt;a&gt;.bmp") +
                  QStringLiteral("</TR></TABLE>"));
    EXPECT_EQ(FillGalleryTemplate("<title>*thetitle*</title>*THEINDEX* *TheTitle*", "A&B *TheIndex*", "T"),
              QStringLiteral("<title>A&amp;B *TheIndex*</title>T A&amp;B *TheIndex*"));
}

TEST_F(ImgGal, JpegIsCopiedAndAPictureInTheFolderStays)
{
    QDir().mkpath(out);
    picture(src.filePath("x.jpeg"), Qt::green);
    picture(out + "/in.jpg", Qt::yellow);
    const QByteArray before = zktest::readBytes(out + "/in.jpg");
    auto f = form({src.filePath("x.jpeg"), out + "/in.jpg"});
    f->FNameEdit->setText("page");
    f->GenHTMLButtonClick();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(f->LastResult().Done.size(), 2);
    EXPECT_EQ(zktest::readBytes(out + "/in.jpg"), before);
    EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name),
              QStringList({"ZK_TN_in.jpg", "in.jpg", "page.htm", "x.jpeg"}));
}

TEST_F(ImgGal, ZeroWidthStopsWithItsMessageAndTheControlsReturn)
{
    picture(src.filePath("a.jpg"), Qt::red);
    auto f = form({src.filePath("a.jpg")});
    f->PWidthUpDown->setValue(0);
    f->GenHTMLButtonClick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Ungültige Breite"))) << messages[0].toStdString();
    EXPECT_TRUE(f->GenHTMLButton->isEnabled());
    EXPECT_TRUE(f->TitleEdit->isEnabled());
    EXPECT_TRUE(f->ImgGalOpenBitBtn->isEnabled());
    // The page stands, without the picture that failed.
    EXPECT_FALSE(QString::fromUtf8(zktest::readBytes(out + "/ZK_Default.htm")).contains("<TABLE"));
}

TEST_F(ImgGal, FolderAndTemplateFailuresWriteNothing)
{
    picture(src.filePath("a.jpg"), Qt::red);
    auto f = form({src.filePath("a.jpg")});
    f->SaveHistoryCombo->setEditText(QString());
    f->GenHTMLButtonClick();
    EXPECT_EQ(messages.value(0), QStringLiteral("Das Verzeichnis existiert nicht. Bitte ein vorhandenes Verzeichnis angeben."));
    f->SaveHistoryCombo->setEditText(out);
    f->Prompts.Confirm = [](const QString &) { return false; };
    f->GenHTMLButtonClick();
    EXPECT_FALSE(QFileInfo::exists(out));
    f->Prompts.Confirm = [](const QString &) { return true; };
    ASSERT_TRUE(QFile::remove(program.filePath("Templates/TheIndexFile.htm")));
    f->GenHTMLButtonClick();
    EXPECT_TRUE(messages.value(1).startsWith(QStringLiteral("Die Vorlage der Galerie-Seite fehlt:")));
    EXPECT_TRUE(QDir(out).isEmpty());
    f->ErgHTMLButtonClick();
    EXPECT_EQ(messages.value(2), QStringLiteral("Die Datei ist nicht vorhanden."));
    f->ClearListButtonClick();
    EXPECT_FALSE(f->GenHTMLButton->isEnabled());
    EXPECT_FALSE(f->TitleEdit->isEnabled());
}

// Every page the generation writes passes HTML Tidy without a word.
TEST_F(ImgGal, EveryPagePassesTidy)
{
    if (!zktest::haveProgram("tidy"))
        GTEST_SKIP() << "tidy is not installed";
    const QStringList odd = {"a b.jpg", "c&d.bmp", "e#f.jpg", "g%h.bmp", QStringLiteral("Grüße.jpg"), "x.jpeg",
                             "<i>.jpg"};
    for (const QString &n : odd)
        picture(src.filePath(n), Qt::cyan);
    struct Case {
        QStringList files;
        int columns;
        bool absolute;
    };
    const Case cases[] = {
        {odd.mid(0, 1), 1, false}, {odd, 1, false}, {odd, 3, true}, {{"x.jpeg"}, 3, false}, {odd, 3, false},
    };
    int n = 0;
    for (const Case &c : cases) {
        TGallerySettings s;
        s.OutDir = src.filePath(QStringLiteral("gal%1").arg(n++));
        s.Columns = c.columns;
        s.AbsolutePaths = c.absolute;
        s.Title = QStringLiteral("<Fotos & \"Grüße\">");
        QDir().mkpath(s.OutDir);
        QStringList paths;
        for (const QString &f : c.files)
            paths << src.filePath(f);
        const TGalleryResult r = GenerateGallery(paths, s, template_());
        ASSERT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
        QByteArray said;
        const int rc = zktest::runProgram("tidy", {"-q", "-e", GalleryPagePath(s)}, &said);
        EXPECT_EQ(rc, 0) << n;
        EXPECT_TRUE(said.isEmpty()) << said.toStdString();
    }
}

// A real browser draws each thumbnail in its cell: a broken link would leave
// the cell without its colour.
TEST_F(ImgGal, ChromiumDrawsEveryThumbnail)
{
    const QString browser = QStringLiteral("/usr/bin/chromium-headless-shell");
    if (!QFileInfo(browser).isExecutable())
        GTEST_SKIP() << "chromium-headless-shell is not installed";
    const QList<QPair<QString, QColor>> pics = {
        {"red.jpg", QColor(255, 0, 0)}, {"blue.bmp", QColor(0, 0, 255)}, {"green lawn.jpg", QColor(0, 255, 0)}};
    QStringList paths;
    for (const auto &[name, colour] : pics) {
        picture(src.filePath(name), colour, QSize(100, 100));
        paths << src.filePath(name);
    }
    for (bool absolute : {false, true}) {
        TGallerySettings s;
        s.OutDir = src.filePath(absolute ? "abs" : "rel");
        s.Columns = 3;
        s.AbsolutePaths = absolute;
        QDir().mkpath(s.OutDir);
        ASSERT_TRUE(GenerateGallery(paths, s, template_()).Error.isEmpty());
        const QString shot = s.OutDir + "/shot.png";
        const int rc = zktest::runProgram(
            browser,
            {"--no-sandbox", "--hide-scrollbars", "--screenshot=" + shot, "--window-size=400,200",
             "--user-data-dir=" + src.filePath("chrome"), "file://" + GalleryPagePath(s)},
            nullptr, 60000);
        ASSERT_EQ(rc, 0);
        const QImage img(shot);
        ASSERT_FALSE(img.isNull());
        // Body margin 8, padding 5, spacing 0: cell i's picture spans
        // x 13 + 110 i .. +100 and y 13 .. 113; look at its middle.
        for (int i = 0; i < pics.size(); ++i) {
            const QColor seen = img.pixelColor(63 + 110 * i, 60);
            const QColor want = pics[i].second;
            EXPECT_LT(std::abs(seen.red() - want.red()) + std::abs(seen.green() - want.green()) +
                          std::abs(seen.blue() - want.blue()),
                      60)
                << pics[i].first.toStdString() << (absolute ? " absolute " : " relative ")
                << seen.name().toStdString();
        }
    }
}

} // namespace
