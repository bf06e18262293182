// One frame of an AVI saved as a bitmap: frame 900 of a 1000-frame 640 x 480
// file against a bare read of that frame's bytes (goal: at most twice its
// time) and against frame 1 of the same file (goal: at most twice).
#include "AviFile.h"
#include "BenchKit.h"
#include "ShellCommands.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kFrames = 1000, kW = 640, kH = 480, kFrame = 900;
    QTemporaryDir dir;
    const QString avi = dir.path() + "/clip.avi", bmp = dir.path() + "/frame.bmp";
    {
        const zk::TBitmap desktop = zkbench::Desktop();
        zk::TAviFileWriter writer;
        writer.Open(avi, kW, kH, 10, kFrames);
        zk::TBitmap f(kW, kH, zk::pf24bit);
        for (int i = 0; i < kFrames; ++i) {
            for (int y = 0; y < kH; ++y)
                std::memcpy(f.ScanLine(y), desktop.ScanLine((y + i) % desktop.Height()) + (i % 400) * 3,
                            std::size_t(kW) * 3);
            writer.WriteFrame(f);
        }
        writer.Finish();
    }
    QFile raw(avi);
    raw.open(QIODevice::ReadOnly);
    const qint64 frameBytes = zk::AviFrameBytes(kW, kH);
    std::vector<char> buffer(static_cast<std::size_t>(frameBytes));
    const auto extract = [&](int frame) {
        if (!zk::ExtractAviFrame(avi, frame, bmp))
            std::exit(1);
    };
    const zkbench::Result bytes = zkbench::Turns(
        [&] { extract(kFrame); },
        [&] {
            // the frame's bytes: behind the headers and its chunk header
            raw.seek(zk::AviFileSize(kW, kH, kFrame) - 8 - 16 * kFrame + 8);
            raw.read(buffer.data(), frameBytes);
        },
        zkbench::Rounds(30));
    zkbench::Print("frame 900 of 1000 640x480 to bmp vs its bytes", bytes, 2.0);
    // Where the time goes: the file's headers and frame list with the frame
    // read, without the bitmap written.
    const zkbench::Result read = zkbench::Turns(
        [&] {
            zk::TAviFileReader reader;
            reader.Open(avi);
            reader.Frame(kFrame);
        },
        [&] {
            raw.seek(zk::AviFileSize(kW, kH, kFrame) - 8 - 16 * kFrame + 8);
            raw.read(buffer.data(), frameBytes);
        },
        zkbench::Rounds(30));
    zkbench::Print("(open + read frame 900, no bitmap written)", read, 2.0);
    const zkbench::Result first = zkbench::Turns([&] { extract(kFrame); }, [&] { extract(1); }, zkbench::Rounds(30));
    zkbench::Print("frame 900 of 1000 640x480 vs frame 1", first, 2.0);
    return 0;
}
