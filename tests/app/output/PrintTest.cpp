// Printing to PDF files read back with poppler: the embedded picture pixel
// for pixel, the blue frame where the layout puts it, header and footer only
// when asked for, landscape pages, a screen-sized picture inside its band;
// and the printer wrapper's unit arithmetic.
#include "Bitmap.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "QuietForm.h"
#include "PrintReport.h"
#include "Registry.h"
#include "TestSupport.h"
#include "XPrint.h"
#include "X11Support.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;
using zktest::QuietForm;

namespace {

#define REQUIRE_POPPLER()                                                    \
    do {                                                                     \
        if (!zktest::haveProgram("pdfimages") || !zktest::haveProgram("pdftoppm")) \
            GTEST_SKIP() << "needs poppler-utils";                          \
    } while (0)

void setPicture(TMainForm &form, const QImage &img)
{
    form.ScanImage->Picture().Bitmap().Assign(img);
    form.ScanImage->PictureChanged();
}

QString pdfText(const QString &pdf)
{
    QByteArray out;
    zktest::runProgram("pdftotext", {pdf, "-"}, &out);
    return QString::fromUtf8(out);
}

QImage embeddedPicture(const QString &pdf, const QString &dir)
{
    if (zktest::runProgram("pdfimages", {"-png", pdf, dir + "/img"}) != 0)
        return {};
    return QImage(dir + "/img-000.png").convertToFormat(QImage::Format_RGB32);
}

QImage pageAt96(const QString &pdf, const QString &dir)
{
    if (zktest::runProgram("pdftoppm", {"-r", "96", "-png", "-singlefile", pdf, dir + "/page"}) != 0)
        return {};
    return QImage(dir + "/page.png").convertToFormat(QImage::Format_RGB32);
}

// The page size pdfinfo reports, in points; empty when it cannot say.
QSizeF pageSizePt(const QString &pdf)
{
    QByteArray info;
    if (zktest::runProgram("pdfinfo", {pdf}, &info) != 0)
        return {};
    const QRegularExpressionMatch m =
        QRegularExpression(R"(Page size:\s+([\d.]+) x ([\d.]+))").match(QString::fromUtf8(info));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

bool blueish(QRgb c) { return qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60; }

class PrintTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
};

} // namespace

TEST_F(PrintTest, PictureFramedLeftOrCentredWithHeaderAndFooterOnlyWhenAsked)
{
    REQUIRE_POPPLER();
    QTemporaryDir dir;
    const QImage source = zktest::knownPicture(200, 150, 7);
    for (bool centred : {false, true}) {
        QuietForm form;
        setPicture(form, source);
        form.Options.PrGrBorderWidth = 4;
        form.Options.PrGraphicAlign = centred ? 1 : 0;
        form.Options.PrintText = centred ? QStringLiteral("Kopfzeile Zelkora") : QString();
        form.Options.PrintUser = centred;
        const QString pdf = dir.filePath(QStringLiteral("page%1.pdf").arg(centred));
        form.PrintToFileName = pdf;
        form.PrintClick();
        ASSERT_TRUE(QFileInfo(pdf).size() > 0);

        const QString sub = dir.filePath(QStringLiteral("x%1").arg(centred));
        QDir().mkpath(sub);
        EXPECT_EQ(embeddedPicture(pdf, sub), source.convertToFormat(QImage::Format_RGB32));

        // The frame where the layout puts it, at 96 dots per inch.
        const QImage page = pageAt96(pdf, sub);
        ASSERT_FALSE(page.isNull());
        const TPrintReport::TLayout l =
            form.PrintReport->Layout(QSizeF(page.width(), page.height()), 96.0, 16.0);
        const int fx = qRound(l.frame.left()) + 2, fy = qRound(l.image.top() + 40);
        bool found = false;
        for (int dx = -1; dx <= 1; ++dx)
            found = found || blueish(page.pixel(fx + dx, fy));
        EXPECT_TRUE(found) << "frame at " << fx << "," << fy;
        EXPECT_FALSE(blueish(page.pixel(qRound(l.frame.left()) - 3, fy)));
        if (centred) {
            EXPECT_NEAR(l.image.center().x(), l.detail.center().x(), 1.0);
        }

        const QString text = pdfText(pdf);
        EXPECT_EQ(text.contains("Kopfzeile Zelkora"), centred);
        EXPECT_EQ(text.contains(GetLoginUserName()), centred);
    }
}

TEST_F(PrintTest, LandscapeAndAScreenSizedPictureStayInsideTheBand)
{
    REQUIRE_POPPLER();
    QTemporaryDir dir;
    QuietForm form;
    const QImage big = zktest::knownPicture(1920, 1080, 3);
    setPicture(form, big);
    form.Options.PrPrintDocAlign = 1;
    form.Options.PrGrBorderWidth = 2;
    form.PrintToFileName = dir.filePath("land.pdf");
    form.PrintClick();
    const QSizeF pt = pageSizePt(form.PrintToFileName);
    ASSERT_FALSE(pt.isEmpty());
    EXPECT_GT(pt.width(), pt.height());
    // The picture is scaled into the band, not resampled in the file.
    EXPECT_EQ(embeddedPicture(form.PrintToFileName, dir.path()), big.convertToFormat(QImage::Format_RGB32));
    const TPrintReport::TLayout l = form.PrintReport->Layout(QSizeF(3508, 2480), 300.0, 50.0);
    EXPECT_TRUE(l.detail.contains(l.frame)) << l.frame.width() << "x" << l.frame.height();
    EXPECT_NEAR(l.image.width() / l.image.height(), 1920.0 / 1080.0, 0.01);
}

TEST(XPrint, UnitArithmeticAndTheStateWithoutPrinters)
{
    EXPECT_EQ(PrintExtents(600, UnitsPerInch(pscMetric100)).window, 30480);
    EXPECT_EQ(PrintExtents(600, UnitsPerInch(pscMetric100)).viewport, 7200);
    const TExtents halved = PrintExtents(100, 2540); // 182880 halved three times
    EXPECT_EQ(halved.window, 22860);
    EXPECT_EQ(halved.viewport, 900);
    EXPECT_EQ(NormalizeAngle10(3700), 100);
    EXPECT_EQ(NormalizeAngle10(-3700), -100);

    TXPrint xp;
    xp.MarginLeft = 300; // dots at the starting 300 dpi
    xp.SetScaling(pscMil);
    EXPECT_EQ(xp.MarginLeft, 1000);
    xp.SetScaling(pscMetric10);
    EXPECT_EQ(xp.MarginLeft, 254);
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        EXPECT_FALSE(xp.PrinterExists());
        EXPECT_EQ(xp.Copies(), 1);
        EXPECT_TRUE(xp.Title().isEmpty());
        EXPECT_EQ(xp.Orientation(), xpoPortrait);
        EXPECT_FALSE(xp.Aborted());
        EXPECT_FALSE(xp.BeginDoc());
    }
}

TEST(XPrint, MillimetreUnitsLandOnThePdfPageAndFontsKeepTheirPointSize)
{
    REQUIRE_POPPLER();
    QTemporaryDir dir;
    const QString pdf = dir.filePath("units.pdf");
    TXPrint xp;
    xp.SetOutputFile(pdf);
    xp.SetScaling(pscMetric10);
    xp.MarginLeft = 180;
    xp.MarginTop = 20;
    xp.MarginRight = 180;
    xp.MarginBottom = 180;
    ASSERT_TRUE(xp.BeginDoc());
    xp.SetFontSize(-12);
    EXPECT_NEAR(xp.Canvas().font().pointSizeF(), 12.0 * 254 / xp.LogPixelsY(), 1e-6);
    // 50 mm right of and 30 mm below the margin box's corner.
    xp.Canvas().drawText(QPointF(500, 300), QStringLiteral("Messpunkt"));
    xp.EndDoc();
    QByteArray out;
    ASSERT_EQ(zktest::runProgram("pdftotext", {"-bbox", pdf, "-"}, &out), 0);
    const QRegularExpressionMatch m =
        QRegularExpression(R"re(xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">Messpunkt)re")
            .match(QString::fromUtf8(out));
    ASSERT_TRUE(m.hasMatch()) << out.constData();
    const double mmPt = 72.0 / 25.4;
    EXPECT_NEAR(m.captured(1).toDouble(), (18 + 50) * mmPt, 1.5);
    // The baseline sits at 32 mm from the top; the box's height is the 12 pt font's.
    EXPECT_NEAR(m.captured(3).toDouble() - m.captured(2).toDouble(), 12.0, 4.0);
}

TEST_F(PrintTest, LongStripsFillTheMarginBoxAndStayInsideIt)
{
    // The page's margins are 15 mm left and right, 20 mm top and bottom; a
    // picture wider or taller than the box between them is made to fit it,
    // keeping its shape. Worked out in millimetres from the page size that
    // pdfinfo reports, and checked on the page drawn at 96 dots per inch.
    REQUIRE_POPPLER();
    QTemporaryDir dir;
    for (const QSize size : {QSize(3001, 101), QSize(101, 3001)}) {
        SCOPED_TRACE(size.width());
        QImage strip(size, QImage::Format_RGB32);
        strip.fill(qRgb(200, 0, 0));
        for (int y = 0; y < size.height(); ++y) // the far half blue
            for (int x = 0; x < size.width(); ++x)
                if (size.width() > size.height() ? x > size.width() / 2 : y > size.height() / 2)
                    strip.setPixel(x, y, qRgb(0, 0, 200));
        QuietForm form;
        setPicture(form, strip);
        form.Options.PrGrBorderWidth = 0;
        form.PrintToFileName = dir.filePath(QStringLiteral("strip%1.pdf").arg(size.width()));
        form.PrintClick();
        const QSizeF pt = pageSizePt(form.PrintToFileName);
        ASSERT_FALSE(pt.isEmpty());
        const double pageW = pt.width() / 72.0 * 96.0, pageH = pt.height() / 72.0 * 96.0;
        const double mm = 96.0 / 25.4;
        const QRectF box(15 * mm, 20 * mm, pageW - 30 * mm, pageH - 40 * mm);
        const QImage page = pageAt96(form.PrintToFileName, dir.path());
        ASSERT_FALSE(page.isNull());
        QRect ink;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (qGray(page.pixel(x, y)) < 200)
                    ink |= QRect(x, y, 1, 1);
        ASSERT_FALSE(ink.isEmpty());
        // Top-left corner at the margins, the long side filling the box.
        EXPECT_NEAR(ink.left(), box.left(), 1.5);
        EXPECT_NEAR(ink.top(), box.top(), 1.5);
        if (size.width() > size.height()) {
            EXPECT_NEAR(ink.right() + 1, box.right(), 1.5);
            EXPECT_NEAR(ink.height(), box.width() * 101 / 3001, 1.5);
        } else {
            EXPECT_NEAR(ink.bottom() + 1, box.bottom(), 1.5);
            EXPECT_NEAR(ink.width(), box.height() * 101 / 3001, 1.5);
        }
        // The near half red, the far half blue: not turned or mirrored.
        const QRgb nearEnd = page.pixel(ink.left() + 2, ink.top() + 2);
        const QRgb farEnd = page.pixel(ink.right() - 2, ink.bottom() - 2);
        EXPECT_GT(qRed(nearEnd), qBlue(nearEnd));
        EXPECT_GT(qBlue(farEnd), qRed(farEnd));
    }
}
