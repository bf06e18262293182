// Building an AVI file from 300 frame files of 1152 x 864 at 24 bits, our
// streaming build against ffmpeg on the same files (goal: at least twice
// its frames per second), and showing one frame of the result against
// reading its bytes (goal: at most twice the time).
#include "AviFile.h"
#include "BenchKit.h"
#include "RecorderLogic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kFrames = 300, kW = 1152, kH = 864;
    QTemporaryDir dir;
    const QString frames = dir.path() + "/frames";
    QDir().mkpath(frames);
    // The real desktop capture, a window's worth, moved a little each frame.
    const zk::TBitmap desktop = zkbench::Desktop();
    for (int i = 0; i < kFrames; ++i) {
        zk::TBitmap f(kW, kH, zk::pf24bit);
        for (int y = 0; y < kH; ++y)
            std::memcpy(f.ScanLine(y), desktop.ScanLine((y + i) % desktop.Height()) + (i % 100) * 3, std::size_t(kW) * 3);
        f.SaveToFile(zk::FrameFileName(frames, std::uint32_t(i)));
    }
    const QString ours = dir.path() + "/ours.avi", peer = dir.path() + "/peer.avi";
    const zkbench::Result build = zkbench::Turns(
        [&] {
            if (zk::BuildAviFromFrames(frames, ours, 10).outcome != zk::TAviBuildResult::Written)
                std::exit(1);
        },
        [&] {
            QProcess::execute("ffmpeg", {"-v", "error", "-y", "-framerate", "10", "-i", frames + "/%08d.bmp", "-c:v",
                                         "rawvideo", "-pix_fmt", "pal8", peer});
        },
        zkbench::Rounds(3));
    // Frames per second: ours / peer >= 2 is time ours / peer <= 0.5.
    zkbench::Print("build 300 frames 1152x864 (time)", build, 0.5);

    zk::TAviFileReader reader;
    reader.Open(ours);
    QFile raw(ours);
    raw.open(QIODevice::ReadOnly);
    const qint64 frameBytes = zk::AviFrameBytes(kW, kH);
    std::vector<char> buffer(static_cast<std::size_t>(frameBytes));
    int n = 0;
    const zkbench::Result view = zkbench::Turns(
        [&] { reader.Frame(150 + (n++ % 50)); },
        [&] {
            // the frame's bytes: behind the headers and its chunk header
            raw.seek(zk::AviFileSize(kW, kH, 150 + n % 50) - 8 - 16 * (150 + n % 50) + 8);
            raw.read(buffer.data(), frameBytes);
        },
        zkbench::Rounds(50));
    zkbench::Print("viewer frame n of 1152x864 vs its bytes", view, 2.0);
    return 0;
}
