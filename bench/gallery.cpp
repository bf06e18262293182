// The HTML gallery of 100 twelve-megapixel JPEG photos at 100x100 on 8
// threads (thumbnails, copies and page), beside ImageMagick's
// "mogrify -thumbnail 100x100" on copies of the same files limited to 8
// threads, taking turns in one run. Goal: at least 4 x mogrify's files per
// second (time ratio <= 0.25). Then each side's peak resident size, measured
// in a process of its own; goal: ours at most 2 x mogrify's.
#include "BenchKit.h"
#include "BenchPictures.h"
#include "ImgGal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>

#include <cstdio>
#include <string>

namespace {

const QString kMogrify = QStringLiteral("/usr/bin/mogrify");
constexpr int kFiles = 100;
constexpr int kThreads = 8;

QString sourceDir(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("src"));
}

// 100 copies of one photo-like 4000x3000 JPEG.
void makeSources(const QString &dir)
{
    QDir().mkpath(dir);
    zk::TBitmap photo(4000, 3000, zk::pf24bit);
    zkbench::FillPhoto(photo);
    const QString first = dir + QStringLiteral("/p000.jpg");
    if (!photo.ToImage().save(first, "JPG", 90)) {
        std::fprintf(stderr, "cannot write the photo\n");
        std::exit(2);
    }
    for (int i = 1; i < kFiles; ++i)
        QFile::copy(first, dir + QStringLiteral("/p%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
}

QStringList sources(const QString &dir)
{
    QStringList out;
    for (const QString &n : QDir(dir).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        out << dir + QLatin1Char('/') + n;
    return out;
}

QString templateText()
{
    QFile f(QStringLiteral(ZK_SOURCE_DIR "/Templates/TheIndexFile.htm"));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

void ours(const QStringList &files, const QString &outDir)
{
    QThreadPool::globalInstance()->setMaxThreadCount(kThreads);
    zk::TGallerySettings s;
    s.OutDir = outDir;
    s.Columns = 5;
    const zk::TGalleryResult r = zk::GenerateGallery(files, s, templateText());
    if (!r.Error.isEmpty()) {
        std::fprintf(stderr, "gallery: %s\n", qPrintable(r.Error));
        std::exit(3);
    }
}

void peerCopies(const QStringList &files, const QString &peerDir)
{
    QDir(peerDir).removeRecursively();
    QDir().mkpath(peerDir);
    for (const QString &f : files)
        QFile::copy(f, peerDir + QLatin1Char('/') + QFileInfo(f).fileName());
}

QStringList mogrifyArgs(const QString &peerDir)
{
    QStringList args{QStringLiteral("-limit"), QStringLiteral("thread"), QString::number(kThreads),
                     QStringLiteral("-thumbnail"), QStringLiteral("100x100")};
    args << sources(peerDir);
    return args;
}

void peer(const QString &peerDir)
{
    if (QProcess::execute(kMogrify, mogrifyArgs(peerDir)) != 0) {
        std::fprintf(stderr, "mogrify failed\n");
        std::exit(3);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && std::string(argv[1]) == "--rusage-of")
        return zkbench::RusageOf(argv + 2);
    if (argc == 4 && std::string(argv[1]) == "--gallery-child") {
        QCoreApplication app(argc, argv);
        QDir().mkpath(QString::fromLocal8Bit(argv[3]));
        ours(sources(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3]));
        return 0;
    }
    QGuiApplication app(argc, argv);
    if (!QFileInfo(kMogrify).isExecutable()) {
        std::fprintf(stderr, "mogrify (ImageMagick) is missing\n");
        return 2;
    }
    QTemporaryDir dir;
    makeSources(sourceDir(dir));
    const QStringList files = sources(sourceDir(dir));
    const QString outDir = dir.filePath(QStringLiteral("gallery"));
    const QString peerDir = dir.filePath(QStringLiteral("peer"));
    QDir().mkpath(outDir);
    const zkbench::Result r = zkbench::Turns(
        [&] { ours(files, outDir); }, [&] { peer(peerDir); }, zkbench::Rounds(3),
        [&] {
            QDir(outDir).removeRecursively();
            QDir().mkpath(outDir);
        },
        [&] { peerCopies(files, peerDir); });
    zkbench::Print("gallery of 100 12-MP JPEGs at 100x100, 8 threads", r, 0.25);
    std::printf("  files per second: ours %.1f  mogrify %.1f\n", kFiles * 1000.0 / r.ours, kFiles * 1000.0 / r.peer);

    const QString self = QString::fromLocal8Bit(argv[0]);
    QDir(outDir).removeRecursively();
    const long ourPeak = zkbench::ChildPeakKb(self, {self, QStringLiteral("--gallery-child"), sourceDir(dir), outDir});
    peerCopies(files, peerDir);
    const long peerPeak = zkbench::ChildPeakKb(self, QStringList{kMogrify} + mogrifyArgs(peerDir));
    const double ratio = peerPeak > 0 ? double(ourPeak) / double(peerPeak) : 0;
    std::printf("%-44s ours %9ld kB  mogrify %9ld kB  ratio %5.2f  (goal <= 2.00) %s\n", "gallery peak resident size",
                ourPeak, peerPeak, ratio, ourPeak > 0 && ratio <= 2.0 ? "ok" : "MISSED");
    return 0;
}
