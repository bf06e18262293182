// The file list's thumbnail view as drawn on a real display: every
// thumbnail whole inside its cell, the right way up, with its caption under
// it, after switching views and after scrolling.
#include "DirBDForm.h"
#include "NavBDForm.h"
#include "Options.h"
#include "ProgramDir.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QApplication>
#include <QListView>
#include <QMainWindow>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace zk;

namespace {

struct Halves
{
    const char *name;
    QSize size;
    QRgb top, bottom;
    bool palette;
};

// Pictures whose halves differ, written bottom-up as every BMP writer does.
void writeHalves(const QString &path, const Halves &h)
{
    QImage image(h.size, QImage::Format_RGB32);
    image.fill(h.bottom);
    QPainter(&image).fillRect(0, 0, h.size.width(), h.size.height() / 2, QColor(h.top));
    ASSERT_TRUE((h.palette ? image.convertToFormat(QImage::Format_Indexed8) : image).save(path, "BMP"));
}

// Bounding box of the pixels of one colour inside a rectangle.
QRect boxOf(const QImage &grab, const QRect &cell, QRgb colour)
{
    QRect box;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if ((grab.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(FileListThumbsX11, EveryThumbnailWholeInItsCellWithItsCaption)
{
    if (!zktest::haveX11())
        GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";
    QTemporaryDir program, storage;
    SetProgramDirOverride(program.path() + "/");
    const Halves kinds[] = {{"wide", {61, 37}, qRgb(255, 0, 0), qRgb(0, 0, 255), false},
                            {"tall", {37, 61}, qRgb(0, 160, 0), qRgb(255, 0, 255), false},
                            {"pal", {45, 29}, qRgb(255, 255, 0), qRgb(0, 255, 255), true}};
    // Enough pictures to scroll.
    for (int i = 0; i < 24; ++i)
        writeHalves(storage.path() + QStringLiteral("/%1_%2.bmp").arg(kinds[i % 3].name).arg(i, 2, 10, QChar(u'0')),
                    kinds[i % 3]);
    QMainWindow host;
    TZelkoraOptions options;
    options.OutDir = storage.path();
    auto *explorer = new TDirBDForm(&host, &options);
    auto *nav = new TNavBDForm(&host, &options, explorer);
    host.setCentralWidget(new QWidget);
    host.addDockWidget(Qt::LeftDockWidgetArea, explorer);
    host.addDockWidget(Qt::LeftDockWidgetArea, nav);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    nav->setFloating(true);
    nav->resize(640, 560);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(nav));
    explorer->InternTreeView->setCurrentItem(explorer->InternNode(1)); // "Ablage"

    const auto checkShownCells = [&](const char *when) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(zktest::waitFor([&] { QApplication::processEvents(); return !nav->LazyWorkPending(); }, 10000));
        QTest::qWait(50);
        QListView *view = nav->FileListView;
        const QImage grab = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect shown = view->viewport()->rect();
        int checked = 0;
        for (int row = 0; row < nav->FileListModel->rowCount(); ++row) {
            const QRect cell = view->visualRect(nav->FileListModel->index(row));
            if (!shown.contains(cell))
                continue;
            const QString caption = nav->FileListModel->entry(row).caption;
            SCOPED_TRACE(caption.toStdString());
            const Halves &k = kinds[caption.section(u'_', 1, 1).left(2).toInt() % 3];
            // Scaled into 140 x 140 by the longer side, as worked out by hand.
            const QSize whole = k.size.width() >= k.size.height()
                                    ? QSize(140, qRound(140.0 * k.size.height() / k.size.width()))
                                    : QSize(qRound(140.0 * k.size.width() / k.size.height()), 140);
            const QRect top = boxOf(grab, cell, k.top), bottom = boxOf(grab, cell, k.bottom);
            ASSERT_FALSE(top.isNull() || bottom.isNull());
            const QRect picture = top | bottom;
            EXPECT_EQ(picture.size(), whole);
            EXPECT_EQ(top.bottom() + 1, bottom.top()) << "upside down or cut";
            EXPECT_NEAR(top.height(), double(whole.height()) * (k.size.height() / 2) / k.size.height(), 1.0);
            // The caption: text-coloured pixels under the picture, inside the cell.
            const QRect under(cell.left(), picture.bottom() + 1, cell.width(), cell.bottom() - picture.bottom());
            EXPECT_GE(under.height(), view->fontMetrics().height());
            const QRgb ink = view->palette().color(QPalette::Text).rgb();
            EXPECT_FALSE(boxOf(grab, under, ink).isNull()) << "no caption";
            ++checked;
        }
        EXPECT_GE(checked, 3);
    };
    nav->RepMenuItemClick(2);
    checkShownCells("thumbnails after the report view");
    nav->RepMenuItemClick(1);
    nav->RepMenuItemClick(2);
    checkShownCells("thumbnails after the icon view");
    QScrollBar *bar = nav->FileListView->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    checkShownCells("scrolled to the end");
    SetProgramDirOverride(QString());
}
