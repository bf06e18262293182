// The numbered bitmap copies for the AVI build: 100 bitmaps of 1920 x 1080
// copied by the command's routine against a bare load-and-save loop over the
// same files with the same codec (goal: at most 1.3 times its time). The
// largest memory growth within our run is printed: one picture (about 6 MB)
// may be held, never the run.
#include "BenchKit.h"
#include "ShellCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

// The resident memory now.
long rssKb()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kFiles = 100;
    QTemporaryDir dir;
    const QString src = dir.path() + "/src", ours = dir.path() + "/ours", peer = dir.path() + "/peer";
    for (const QString &d : {src, ours, peer})
        QDir().mkpath(d);
    QStringList files;
    {
        zk::TBitmap desktop = zkbench::Desktop();
        for (int i = 0; i < kFiles; ++i) {
            const QString name = src + QStringLiteral("/shot%1.bmp").arg(i, 3, 10, QLatin1Char('0'));
            desktop.SaveToFile(name);
            files << name;
        }
    }
    long base = 0, peak = 0;
    const zkbench::Result r = zkbench::Turns(
        [&] {
            base = rssKb();
            const zk::TNumberedCopyResult done = zk::NumberedBitmapCopies(
                zk::BitmapSourceFiles(src), ours, [&] { peak = std::max(peak, rssKb() - base); });
            if (done.Written != kFiles)
                std::exit(1);
        },
        [&] {
            for (int i = 0; i < kFiles; ++i) {
                zk::TBitmap b;
                b.LoadFromFile(files[i]);
                b.SaveToFile(peer + QStringLiteral("/%1.bmp").arg(i));
            }
        },
        zkbench::Rounds(3));
    zkbench::Print("numbered copies of 100 bitmaps 1920x1080", r, 1.3);
    std::printf("largest memory growth within a run: %ld KB (one picture: %d KB)\n", peak, 1920 * 1080 * 3 / 1024);
    return 0;
}
