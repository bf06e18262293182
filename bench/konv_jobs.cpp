// The conversion jobs on all cores beside ImageMagick's mogrify on the same
// files, taking turns:
//   - the folder job over 100 BMPs of 1920 x 1080 (20 each of five pictures:
//     two desktops and three photos) to PNG and to JPG, beside
//     "mogrify -format png" and "mogrify -format jpg -quality 90" on a fresh
//     copy of the folder; goal: at least 4x mogrify's files per second on 8
//     threads (ratio ours / peer <= 0.25); the same on 2 threads is reported;
//   - the thumbnail job over 100 JPEG photos of 4000 x 3000 into 120 x 150,
//     beside "mogrify -path OUT -thumbnail 120x150"; the same goal.
// Peak resident memory of each run is printed beside mogrify's: ours above
// the idle process (the peak is reset before each run), mogrify's as its
// own peak; the goal is at most threads x 2.5 x one picture's 24-bit bytes.
// The files are rewritten for every timed run of either side.
#include "BenchKit.h"
#include "BenchPictures.h"
#include "HistList.h"
#include "KonvForms.h"
#include "KonvJobs.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTransform>

#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFiles = 100;

// Runs a program to its end; its peak resident size (kB) in *peakKb.
void runPeer(const QString &program, const QStringList &args, long *peakKb)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        std::exit(2);
    }
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru); // the largest child so far: only peers run as children
    *peakKb = std::max(*peakKb, long(ru.ru_maxrss));
}

void clearFolder(const QString &dir)
{
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
}

void copyFolder(const QString &from, const QString &to)
{
    clearFolder(to);
    for (const QString &name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + u'/' + name, to + u'/' + name);
}

QImage toImage(const zk::TBitmap &b)
{
    return b.ToImage().convertToFormat(QImage::Format_RGB888);
}

// Five 1920 x 1080 pictures: two desktops, three photos.
QList<QImage> fivePictures()
{
    const QImage desktop = toImage(zkbench::Desktop());
    const QImage photo = toImage(zkbench::Photo());
    zk::TBitmap waves(1920, 1080, zk::pf24bit);
    zkbench::FillPhoto(waves);
    return {desktop, desktop.mirrored(true, false), photo, photo.mirrored(true, true), toImage(waves)};
}

struct Run
{
    double ms = 0;
    long peakKb = 0;
};

// One folder or thumbnail job from the form, waited for.
template <class Form>
void runJob(Form &form)
{
    form.KonvControlFrame->StartButton->setEnabled(true);
    form.StartButtonClick();
    while (form.Running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

void report(const char *name, const zkbench::Result &r, int threads, long oursKb, long peerKb, long pictureBytes)
{
    char label[96];
    std::snprintf(label, sizeof label, "%s, %d threads", name, threads);
    zkbench::Print(label, r, threads == 8 ? 0.25 : 1e9);
    const double oursFps = kFiles / (r.ours / 1000), peerFps = kFiles / (r.peer / 1000);
    const long goalKb = long(threads * 2.5 * pictureBytes / 1024);
    std::printf("    %.1f files/s (mogrify %.1f, %.1fx); peak memory above idle %ld MB (mogrify %ld MB, goal <= %ld "
                "MB) %s\n",
                oursFps, peerFps, oursFps / peerFps, oursKb / 1024, peerKb / 1024, goalKb / 1024,
                oursKb <= goalKb ? "ok" : "MISSED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString base = tmp.path();
    zk::SetProgramDirOverride(base + QStringLiteral("/prog/"));
    QDir().mkpath(base + QStringLiteral("/prog"));
    const QString mogrify = QStringLiteral("/usr/bin/mogrify");
    const int rounds = zkbench::Rounds(1);
    std::printf("cores: %d; rounds: %d\n", QThread::idealThreadCount(), rounds);

    // The BMP folder.
    const QString bmps = base + QStringLiteral("/bmps");
    QDir().mkpath(bmps);
    const QList<QImage> pictures = fivePictures();
    for (int i = 0; i < kFiles; ++i)
        pictures[i % 5].save(bmps + QStringLiteral("/shot%1.bmp").arg(i, 3, 10, QLatin1Char('0')), "BMP");
    const long bmpBytes = 1920L * 1080 * 3;

    auto hooks = std::make_shared<zk::TKonvHooks>();
    hooks->Confirm = [](QWidget *, const QString &, const QString &) { return true; };
    hooks->Message = [](QWidget *, const QString &key, const QString &) {
        std::fprintf(stderr, "message %s\n", qPrintable(key));
    };

    const QString out = base + QStringLiteral("/out"), copy = base + QStringLiteral("/copy");
    for (const char *type : {"PNG", "JPG"}) {
        for (int threads : {8, 2}) {
            zk::TKonvBatch::SetThreadCount(threads);
            zk::TDirKonvertForm form(hooks, nullptr);
            form.VonHistoryCombo->setEditText(bmps);
            form.TypVonComboBox->setCurrentText(QStringLiteral("BMP"));
            form.TypNachComboBox->setCurrentText(QString::fromLatin1(type));
            form.NachHistoryCombo->setEditText(out);
            long oursKb = 0, peerKb = 0;
            const QStringList args = QString::fromLatin1(type) == QLatin1String("PNG")
                                         ? QStringList{"-format", "png"}
                                         : QStringList{"-format", "jpg", "-quality", "90"};
            const zkbench::Result r = zkbench::Turns(
                [&] {
                    const long idle = zkbench::StatusKb("VmRSS:");
                    zkbench::ResetPeak();
                    runJob(form);
                    oursKb = std::max(oursKb, zkbench::StatusKb("VmHWM:") - idle);
                },
                [&] { runPeer(mogrify, args + QStringList{copy + QStringLiteral("/*.bmp")}, &peerKb); }, rounds,
                [&] { clearFolder(out); }, [&] { copyFolder(bmps, copy); });
            if (QDir(out).entryList(QDir::Files).size() != kFiles) {
                std::fprintf(stderr, "the folder job wrote %d files\n", int(QDir(out).entryList(QDir::Files).size()));
                return 2;
            }
            report(type[0] == 'P' ? "folder job BMP -> PNG vs mogrify" : "folder job BMP -> JPG vs mogrify", r,
                   threads, oursKb, peerKb, bmpBytes);
        }
    }
    QDir(bmps).removeRecursively();
    QDir(copy).removeRecursively();

    // The photos: five 4000 x 3000 JPEGs, 20 of each.
    const QString photos = base + QStringLiteral("/photos");
    QDir().mkpath(photos);
    for (int k = 0; k < 5; ++k) {
        const QImage big = pictures[k].scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString first = photos + QStringLiteral("/photo%1.jpg").arg(k, 3, 10, QLatin1Char('0'));
        big.save(first, "JPG", 90);
        for (int i = k + 5; i < kFiles; i += 5)
            QFile::copy(first, photos + QStringLiteral("/photo%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    }
    const long photoBytes = 4000L * 3000 * 3;
    QStringList list;
    for (const QString &name : QDir(photos).entryList(QDir::Files))
        list << photos + u'/' + name;
    const QString peerOut = base + QStringLiteral("/peerthumbs");
    for (int threads : {8, 2}) {
        zk::TKonvBatch::SetThreadCount(threads);
        auto thumbHooks = std::make_shared<zk::TKonvHooks>(*hooks);
        thumbHooks->OpenFiles = [&list](QWidget *, const QStringList &, bool) { return list; };
        zk::TThumbBMForm form(thumbHooks, nullptr);
        form.OpenBitBtnClick();
        form.PathHistoryCombo->setEditText(out);
        long oursKb = 0, peerKb = 0;
        const zkbench::Result r = zkbench::Turns(
            [&] {
                const long idle = zkbench::StatusKb("VmRSS:");
                zkbench::ResetPeak();
                runJob(form);
                oursKb = std::max(oursKb, zkbench::StatusKb("VmHWM:") - idle);
            },
            [&] {
                runPeer(mogrify, {"-path", peerOut, "-thumbnail", "120x150", photos + QStringLiteral("/*.jpg")},
                        &peerKb);
            },
            rounds, [&] { clearFolder(out); }, [&] { clearFolder(peerOut); });
        if (QDir(out).entryList(QDir::Files).size() != kFiles) {
            std::fprintf(stderr, "the thumbnail job wrote %d files\n", int(QDir(out).entryList(QDir::Files).size()));
            return 2;
        }
        report("thumbnail job 4000x3000 JPEG -> 120x150 vs mogrify", r, threads, oursKb, peerKb, photoBytes);
    }
    return 0;
}
