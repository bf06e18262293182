// The file list beside the plain work it stands on: listing a storage folder
// of 10,000 files (9,000 pictures of the twelve picture extensions, 1,000
// others) in the report view beside QDir::entryInfoList of the same folder
// (goal 3x), and the thumbnail view of 2,000 BMPs of 1920x1080 beside
// decoding the same files one after the other (goal 1.5x), with the longest
// gap between turns of the event loop beside that of an idle loop (goal 5x).
#include "Bitmap.h"
#include "DirBDForm.h"
#include "GraphicConvert.h"
#include "NavBDForm.h"
#include "Options.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include "BenchKit.h"

#include <cstdlib>
#include <unistd.h>

namespace {

// Longest gap between two ticks of a 10 ms timer while work() runs in the
// event loop until done() says so.
double longestGap(const std::function<void()> &work, const std::function<bool()> &done)
{
    QElapsedTimer clock;
    double longest = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, static_cast<double>(clock.nsecsElapsed()) / 1e6);
        clock.restart();
    });
    clock.start();
    tick.start();
    work();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return longest;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    zk::SetProgramDirOverride(dir.path() + "/");
    QDir root(dir.path());
    root.mkdir("Autosave");
    root.mkdir("store");
    root.mkdir("thumbs");
    const QString store = dir.filePath("store");
    for (int i = 0; i < 10000; ++i) {
        const QString ext = i < 9000 ? QString::fromLatin1(zk::GraphicFileExts[i % zk::GraphicFileExtCount])
                                     : QStringLiteral(".txt");
        QFile f(QStringLiteral("%1/Bild %2%3").arg(store).arg(i).arg(ext));
        f.open(QIODevice::WriteOnly);
    }

    QMainWindow main;
    zk::TZelkoraOptions options;
    options.OutDir = store;
    zk::TDirBDForm explorer(&main, &options);
    zk::TNavBDForm list(&main, &options, &explorer);
    const int rounds = zkbench::Rounds(15);
    const zkbench::Result listing = zkbench::Turns(
        [&] {
            list.ListStorageFolder();
            if (!list.ListingDone || list.FileListModel->rowCount() != 9000)
                std::abort();
        },
        [&] {
            const QFileInfoList l = QDir(store).entryInfoList(QDir::Files);
            if (l.size() != 10000)
                std::abort();
        },
        rounds);
    const double t0 = zkbench::nowMs();
    QProcess ls;
    ls.start(QStringLiteral("ls"), {QStringLiteral("-l"), store});
    ls.waitForFinished(-1);
    ls.readAllStandardOutput();
    std::printf("(ls -l of the same folder: %.3f ms)\n", zkbench::nowMs() - t0);
    zkbench::Print("list 10,000 files, report view", listing, 3.0);

    // 2,000 names of two real 1920x1080 BMPs (hard links: the same bytes
    // for both sides, without 12 GB of disk).
    const QString thumbs = dir.filePath("thumbs");
    zkbench::Desktop().SaveToFile(dir.filePath("a.bmp"));
    zkbench::Photo().SaveToFile(dir.filePath("b.bmp"));
    QStringList files;
    for (int i = 0; i < 2000; ++i) {
        const QString name = QStringLiteral("%1/shot %2.bmp").arg(thumbs).arg(i);
        if (::link(dir.filePath(i % 2 ? "a.bmp" : "b.bmp").toLocal8Bit().constData(), name.toLocal8Bit().constData()))
            return 2;
        files << name;
    }
    list.ThumbView = true;
    double gap = 0;
    const int thumbRounds = std::max(1, rounds / 5);
    const zkbench::Result thumbsResult = zkbench::Turns(
        [&] {
            gap = std::max(gap, longestGap([&] { list.ListFolder(thumbs); }, [&] { return !list.LazyWorkPending(); }));
            if (list.ThumbImageList.size() != 2000)
                std::abort();
        },
        [&] {
            for (const QString &f : std::as_const(files)) {
                zk::TBitmap b;
                b.LoadFromFile(f);
            }
        },
        thumbRounds);
    zkbench::Print("thumbnails of 2,000 BMPs 1920x1080", thumbsResult, 1.5);
    QElapsedTimer idle;
    idle.start();
    const double idleGap =
        longestGap([] {}, [&] { return idle.elapsed() > static_cast<qint64>(thumbsResult.ours); });
    zkbench::Print("longest event-loop gap while thumbnailing", {gap, idleGap}, 5.0);
    zk::SetProgramDirOverride(QString());
    return 0;
}
