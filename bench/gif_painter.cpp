// Playing an animated GIF in a window: our picture control (the painter
// composing the frames) beside Qt's QMovie in a QLabel, same file, same run.
// The file: 640 x 480, 50 frames at 10 fps (frames cut from the real photo
// under bench/data, a window sliding over it, made into a GIF by ImageMagick).
// Each side plays in turns (order flipped every round) for 10 s in all; the
// process CPU time (user + system) of each side's turns is summed, from
// before the file is opened (both decode inside the clock) to the end of
// the turn. Our player waits 12 ms per 1/100 s unit, so it shows about 83
// frames where QMovie shows 100: the goal is per frame shown, ours at most
// 1.5 x QMovie's CPU time a frame. Run under an X server (Xvfb).
#include "GIFImage.h"
#include "GIFPainter.h"
#include "ImageControl.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Builds the animation; empty on failure.
QString makeAnimation(const QTemporaryDir &dir)
{
    QImage photo(QStringLiteral(ZK_BENCH_DATA "/coffee-600x400.png"));
    if (photo.isNull())
        return {};
    photo = photo.scaled(1280, 853, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    QStringList args{QStringLiteral("-delay"), QStringLiteral("10"), QStringLiteral("-loop"), QStringLiteral("0")};
    for (int i = 0; i < 50; ++i) {
        const QString name = dir.filePath(QStringLiteral("f%1.png").arg(i, 2, 10, QLatin1Char('0')));
        photo.copy(i * 12, i * 7, 640, 480).save(name);
        args << name;
    }
    const QString gif = dir.filePath(QStringLiteral("anim.gif"));
    args << gif;
    return QProcess::execute(QStringLiteral("/usr/bin/convert"), args) == 0 ? gif : QString();
}

// Plays for ms milliseconds in the event loop; returns the CPU time used.
double play(int ms, const std::function<void()> &start, const std::function<void()> &stop)
{
    const double c0 = cpuMs();
    start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuMs() - c0;
    stop();
    QApplication::processEvents();
    return used;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "needs an X server (DISPLAY)\n");
        return 2;
    }
    zk::RegisterGifGraphics();
    QTemporaryDir dir;
    const QString gif = makeAnimation(dir);
    if (gif.isEmpty()) {
        std::fprintf(stderr, "could not build the animation (ImageMagick, bench/data)\n");
        return 2;
    }
    const char *env = std::getenv("ZK_BENCH_ROUNDS");
    const int rounds = env && std::atoi(env) > 0 ? std::atoi(env) : 2;
    const int turnMs = 10000 / rounds;

    int oursFrames = 0, peerFrames = 0;
    zk::TImage *view = nullptr;
    const auto startOurs = [&] {
        view = new zk::TImage;
        view->SetAutoSize(true);
        view->Picture().LoadFromFile(gif);
        if (auto *g = dynamic_cast<zk::TGIFImage *>(view->Picture().Graphic()))
            g->OnAfterPaint = [&](zk::TGIFPainter &) { ++oursFrames; };
        view->PictureChanged();
        view->move(10, 10);
        view->show();
    };
    const auto stopOurs = [&] {
        delete view;
        view = nullptr;
    };
    QLabel *label = nullptr;
    QMovie *movie = nullptr;
    const auto startPeer = [&] {
        label = new QLabel;
        movie = new QMovie(gif, QByteArray(), label);
        QObject::connect(movie, &QMovie::frameChanged, [&] { ++peerFrames; });
        label->setMovie(movie);
        label->move(10, 10);
        label->show();
        movie->start();
    };
    const auto stopPeer = [&] {
        movie->stop();
        delete label;
        label = nullptr;
    };

    // A short warm-up of each (plugins, fonts, first allocations).
    play(500, startOurs, stopOurs);
    play(500, startPeer, stopPeer);
    oursFrames = peerFrames = 0;
    double ours = 0, peer = 0;
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            ours += play(turnMs, startOurs, stopOurs);
            peer += play(turnMs, startPeer, stopPeer);
        } else {
            peer += play(turnMs, startPeer, stopPeer);
            ours += play(turnMs, startOurs, stopOurs);
        }
    }
    const double oursPerFrame = ours / std::max(oursFrames, 1), peerPerFrame = peer / std::max(peerFrames, 1);
    const double ratio = peerPerFrame > 0 ? oursPerFrame / peerPerFrame : 0;
    std::printf("GIF 640x480 50 frames 10 fps, %d ms each   ours CPU %8.1f ms (%d frames, %.2f ms/frame)  QMovie CPU "
                "%8.1f ms (%d frames, %.2f ms/frame)  ratio a frame %5.2f  (goal <= 1.50) %s\n",
                rounds * turnMs, ours, oursFrames, oursPerFrame, peer, peerFrames, peerPerFrame, ratio,
                ratio <= 1.5 ? "ok" : "MISSED");
    return 0;
}
