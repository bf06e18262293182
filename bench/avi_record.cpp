// The recorder's frame path (grab of the whole 1920x1080 screen and the
// frame file) on a 40 ms timer for 250 ticks, beside ffmpeg's x11grab at 25
// frames a second writing raw video from the same display, in one run.
// Goals: frames per second at least ffmpeg's, missed ticks no more than its
// dropped frames. Needs DISPLAY (a 1920x1080 X server).
#include "Bitmap.h"
#include "Globals.h"
#include "Options.h"
#include "RecorderLogic.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    constexpr int kTicks = 250, kIntervalMs = 40;
    QTemporaryDir dir;
    zk::TZelkoraOptions options;
    options.BmpPixForm = zk::pf24bit;

    // Ours: the same steps as a timer tick of the recorder.
    int ticks = 0;
    QElapsedTimer clock;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kIntervalMs);
    qint64 firstTick = 0, lastTick = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // The rate is that of the frames' moments: first to last tick.
        (ticks == 0 ? firstTick : lastTick) = clock.nsecsElapsed();
        zk::TBitmap frame;
        zk::GrabScreenRect(0, 0, 1920, &frame, 1080);
        zk::SaveNextFrame(frame, dir.path(), options);
        if (++ticks == kTicks) {
            timer.stop();
            loop.quit();
        }
    });
    clock.start();
    timer.start();
    loop.exec();
    const double oursSec = clock.elapsed() / 1000.0;
    const int missed = std::max(0, int(oursSec * 1000 / kIntervalMs + 0.5) - kTicks);
    zk::DeleteFrameFiles(dir.path());

    // ffmpeg on the same display.
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    clock.restart();
    ffmpeg.start("ffmpeg", {"-y", "-f", "x11grab", "-framerate", "25", "-video_size", "1920x1080", "-i",
                            qEnvironmentVariable("DISPLAY"), "-frames:v", QString::number(kTicks), "-c:v", "rawvideo",
                            dir.path() + "/peer.avi"});
    ffmpeg.waitForFinished(120000);
    const double peerSec = clock.elapsed() / 1000.0;
    const QString log = QString::fromUtf8(ffmpeg.readAll());
    int dropped = 0;
    QRegularExpressionMatchIterator it = QRegularExpression("drop=\\s*(\\d+)").globalMatch(log);
    while (it.hasNext())
        dropped = it.next().captured(1).toInt();

    // ffmpeg's own count leaves its start-up out; the wall clock is the fallback.
    double peerFps = kTicks / peerSec;
    QRegularExpressionMatchIterator fps = QRegularExpression("fps=\\s*([0-9.]+)").globalMatch(log);
    while (fps.hasNext())
        if (const double v = fps.next().captured(1).toDouble(); v > 0)
            peerFps = v;
    const double oursFps = (kTicks - 1) / ((lastTick - firstTick) / 1e9);
    std::printf("recording 1920x1080 at 40 ms: ours %.2f frames/s, %d missed ticks; ffmpeg %.2f frames/s, %d dropped;"
                " ratio %.3f (goal >= 1.00 within a percent: both are paced at 25) %s\n",
                oursFps, missed, peerFps, dropped, oursFps / peerFps,
                oursFps >= 0.99 * peerFps && missed <= dropped ? "ok" : "MISSED");
    return 0;
}
