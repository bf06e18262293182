// The file list over a folder of 10,000 distinct pictures (64 x 48, 24-bit
// BMP, each with its own colours), beside a bare QListView over the same
// names whose thumbnails QImageReader::setScaledSize makes on as many pool
// threads as ours uses. Both sides list the folder themselves and make the
// thumbnails of the rows in view only when they are in view.
//   - to the list view: the report view listed and painted (goal <= 1x);
//   - to the first screen of thumbnails: the thumbnail view listed, the
//     thumbnails of every row in view made and painted (goal <= 1x);
//   - resident memory after scrolling through the whole thumbnail view,
//     above the process before the listing (goal <= 150 MB).
// What differs, and why: ours reads only the rows of a BMP its 140 x 140
// thumbnail shows and draws the picture centred on white (the list's look);
// the bare view decodes each file scaled into 140 x 140 by Qt's reader and
// keeps every thumbnail it made. A few of our thumbnails are checked by
// pixel against the colour their file was written with.
#include "BenchKit.h"
#include "DirBDForm.h"
#include "NavBDForm.h"
#include "Options.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QListView>
#include <QMainWindow>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kPictures = 10000;

QColor colourOf(int i)
{
    return QColor::fromRgb((i * 37) % 256, (i * 101) % 256, (i * 13 + 40) % 256);
}

void waitUntil(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// Whether every row in view of a view has its thumbnail.
bool screenDone(QListView *view, const std::function<bool(int)> &held)
{
    const QRect area = view->viewport()->rect();
    QModelIndex i;
    for (int y = 1; y < 176 && !i.isValid(); y += 8)
        i = view->indexAt(QPoint(90, y));
    if (!i.isValid())
        return false;
    for (int r = i.row(); r < view->model()->rowCount(); ++r) {
        if (!view->visualRect(view->model()->index(r, 0)).intersects(area))
            return true;
        if (!held(r))
            return false;
    }
    return true;
}

// The bare view: names from QDir, thumbnails by QImageReader on the pool for
// the rows in view, set into the model when they come back.
class BareView
{
public:
    BareView(const QString &folder, int threads) : m_folder(folder)
    {
        m_pool.setMaxThreadCount(threads);
        m_view.setModel(&m_model);
        QObject::connect(m_view.verticalScrollBar(), &QScrollBar::valueChanged, [this] { request(); });
    }
    QListView &view() { return m_view; }
    void list(bool thumbs)
    {
        m_thumbs = thumbs;
        m_model.clear();
        m_asked.clear();
        m_view.setViewMode(thumbs ? QListView::IconMode : QListView::ListMode);
        m_view.setMovement(QListView::Static);
        m_view.setWrapping(thumbs);
        m_view.setIconSize(thumbs ? QSize(140, 140) : QSize(16, 16));
        m_view.setGridSize(thumbs ? QSize(180, 176) : QSize());
        const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
        for (const QString &n : names)
            m_model.appendRow(new QStandardItem(n));
        request();
    }
    bool held(int row) const { return !m_model.item(row)->data(Qt::DecorationRole).isNull(); }
    bool busy() const { return m_pending > 0; }
    void request()
    {
        if (!m_thumbs || !m_view.isVisible())
            return;
        const QRect area = m_view.viewport()->rect();
        QModelIndex first;
        for (int y = 1; y < 176 && !first.isValid(); y += 8)
            first = m_view.indexAt(QPoint(90, y));
        for (int r = first.isValid() ? first.row() : 0; r < m_model.rowCount(); ++r) {
            if (!m_view.visualRect(m_model.index(r, 0)).intersects(area))
                break;
            if (m_asked.contains(r))
                continue;
            m_asked.insert(r);
            const QString path = m_folder + u'/' + m_model.item(r)->text();
            ++m_pending;
            m_pool.start([this, r, path] {
                QImageReader reader(path);
                reader.setScaledSize(QSize(140, 140));
                const QImage image = reader.read();
                QMetaObject::invokeMethod(
                    &m_view,
                    [this, r, image] {
                        --m_pending;
                        m_model.item(r)->setData(QPixmap::fromImage(image), Qt::DecorationRole);
                    },
                    Qt::QueuedConnection);
            });
        }
    }

private:
    QString m_folder;
    QThreadPool m_pool;
    QListView m_view;
    QStandardItemModel m_model;
    QSet<int> m_asked;
    bool m_thumbs = false;
    int m_pending = 0;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    zk::SetProgramDirOverride(dir.path() + "/");
    QDir(dir.path()).mkdir("Autosave");
    const QString folder = dir.filePath("pictures");
    QDir(dir.path()).mkdir("pictures");
    for (int i = 0; i < kPictures; ++i) {
        QImage img(64, 48, QImage::Format_RGB888);
        img.fill(colourOf(i));
        img.setPixelColor(i % 64, (i / 64) % 48, Qt::white); // no two files alike
        if (!img.save(QStringLiteral("%1/shot %2.bmp").arg(folder).arg(i, 5, 10, QLatin1Char('0')), "BMP"))
            return 2;
    }

    QMainWindow main;
    main.resize(1000, 800);
    zk::TZelkoraOptions options;
    zk::TDirBDForm explorer(&main, &options);
    zk::TNavBDForm list(&main, &options, &explorer);
    main.show();
    list.setFloating(true);
    list.resize(1000, 800);
    list.show();
    QCoreApplication::processEvents();
    const int threads = std::max(2, QThread::idealThreadCount()); // as the file list's pool
    BareView bare(folder, threads);
    bare.view().resize(list.FileListView->size());
    bare.view().show();
    std::printf("(views %dx%d, %d threads each)\n", list.FileListView->width(), list.FileListView->height(),
                threads);

    const int rounds = zkbench::Rounds(7);
    const long idle = zkbench::StatusKb("VmRSS:");
    const zkbench::Result listing = zkbench::Turns(
        [&] {
            list.ThumbView = false;
            list.ListFolder(folder);
            list.FileListView->viewport()->repaint();
            if (list.FileListModel->rowCount() != kPictures)
                std::abort();
        },
        [&] {
            bare.list(false);
            bare.view().viewport()->repaint();
            if (bare.view().model()->rowCount() != kPictures)
                std::abort();
        },
        rounds);
    zkbench::Print("10,000 pictures: to the list view", listing, 1.0);

    const zkbench::Result screen = zkbench::Turns(
        [&] {
            list.ThumbView = true;
            list.ListFolder(folder);
            waitUntil([&] {
                return screenDone(list.FileListView,
                                  [&](int r) { return list.ThumbImageList.Holds(list.FileListModel->entry(r).thumb); });
            });
            list.FileListView->viewport()->repaint();
        },
        [&] {
            bare.list(true);
            waitUntil([&] { return screenDone(&bare.view(), [&](int r) { return bare.held(r); }); });
            bare.view().viewport()->repaint();
        },
        rounds, [&] { waitUntil([&] { return !list.LazyWorkPending() && !bare.busy(); }); });
    zkbench::Print("10,000 pictures: to the first thumbnail screen", screen, 1.0);

    // A few thumbnails by pixel: the 64 x 48 picture fills the width, its
    // colour at the centre.
    waitUntil([&] { return !list.LazyWorkPending(); });
    for (int r : {0, 1, 7}) {
        const zk::TFileEntry &e = list.FileListModel->entry(r);
        const QImage t = list.ThumbImageList.At(e.thumb).toImage();
        if (t.isNull() || t.pixelColor(70, 70) != colourOf(r) || t.pixelColor(70, 5) != QColor(Qt::white)) {
            std::fprintf(stderr, "thumbnail of row %d is wrong\n", r);
            return 1;
        }
    }

    // Through the whole thumbnail view a screen at a time, each screen's
    // thumbnails made before the next step.
    const auto scrollThrough = [](QListView *view, const std::function<bool()> &idleNow) {
        QScrollBar *bar = view->verticalScrollBar();
        for (int v = 0; v <= bar->maximum(); v += view->viewport()->height()) {
            bar->setValue(v);
            QCoreApplication::processEvents();
            waitUntil(idleNow);
        }
    };
    scrollThrough(list.FileListView, [&] { return !list.LazyWorkPending(); });
    const long ours = zkbench::StatusKb("VmRSS:") - idle;
    scrollThrough(&bare.view(), [&] { return !bare.busy(); });
    const long both = zkbench::StatusKb("VmRSS:") - idle;
    std::printf("%-44s ours %7.1f MB  (bare view on top: %.1f MB)  (goal <= 150 MB) %s\n",
                "resident memory after scrolling through", ours / 1024.0, (both - ours) / 1024.0,
                ours <= 150 * 1024 ? "ok" : "MISSED");
    zk::SetProgramDirOverride(QString());
    return 0;
}
