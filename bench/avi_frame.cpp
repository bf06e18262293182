// One frame of an AVI saved as a bitmap (Extras, "Aus AVI..."): frame 900 of
// a 1000-frame 640 x 480 8-bit file, bottom-up rows as our recorder writes
// them.
//
// The goal lines measure the command's read part: the file opened, frame
// 900 found through its index, read into a new picture and turned upright,
// the file closed (ExtractAviFrame up to the bitmap write). The peer is a
// bare read of that frame's bytes from an open file (seek + read, as in the
// AVI build benchmark). A new picture is what the command hands on, so the
// peer reads into a new buffer too, from the same allocator; the page
// faults a call on each side are printed beside.
//
// For information only: the whole command, which ends in the bitmap written
// durably (temporary file, fsync, rename; kept on purpose, so a frame once
// reported saved survives a crash), against the same bare read, and the
// read part's two halves.
#include "AviFile.h"
#include "BenchKit.h"
#include "ShellCommands.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace {

long minorFaults()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// Page faults a call of f, over n calls.
double faultsPerCall(const std::function<void()> &f, int n)
{
    const long before = minorFaults();
    for (int i = 0; i < n; ++i)
        f();
    return double(minorFaults() - before) / n;
}

} // namespace

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
    // The frame's bytes: behind the headers and its chunk header.
    const qint64 frameAt = zk::AviFileSize(kW, kH, kFrame) - 8 - 16 * kFrame + 8;
    const auto bareRead = [&] {
        zk::PixelBuffer buffer(static_cast<std::size_t>(frameBytes));
        raw.seek(frameAt);
        raw.read(reinterpret_cast<char *>(buffer.data()), frameBytes);
    };
    // The command's read part.
    const auto readPart = [&](int frame) {
        zk::TAviFileReader reader;
        reader.Open(avi);
        zk::TBitmap picture;
        reader.ReadFrame(frame, picture);
    };
    const auto extract = [&](int frame) {
        if (!zk::ExtractAviFrame(avi, frame, bmp))
            std::exit(1);
    };
    const int rounds = zkbench::Rounds(30);
    const int readRounds = zkbench::Rounds(400);

    std::printf("goal: the command's read part (open, find, read into a new picture) vs the frame's bytes\n");
    const zkbench::Result read = zkbench::Turns([&] { readPart(kFrame); }, bareRead, readRounds);
    zkbench::Print("frame 900 of 1000 640x480 read vs its bytes", read, 2.0);
    const zkbench::Result first = zkbench::Turns([&] { readPart(kFrame); }, [&] { readPart(1); }, readRounds);
    zkbench::Print("frame 900 of 1000 640x480 read vs frame 1", first, 2.0);
    std::printf("  page faults a call: read part %.1f, bare read %.1f\n",
                faultsPerCall([&] { readPart(kFrame); }, 200), faultsPerCall(bareRead, 200));
    // The same bare read into one buffer kept warm from call to call.
    std::vector<char> kept(static_cast<std::size_t>(frameBytes));
    const zkbench::Result warm = zkbench::Turns(
        [&] {
            raw.seek(frameAt);
            raw.read(kept.data(), frameBytes);
        },
        bareRead, readRounds);
    std::printf("  bare read into a kept buffer  %9.3f ms  = %.2fx the one into a new buffer\n", warm.ours,
                warm.Ratio());

    std::printf("information: the read part's halves, and the whole command with its durable write\n");
    const zkbench::Result opened = zkbench::Turns([&] { zk::TAviFileReader r; r.Open(avi); }, bareRead, readRounds);
    std::printf("  open (headers, index)         %9.3f ms  = %.2fx the bare read\n", opened.ours, opened.Ratio());
    zk::TAviFileReader reader;
    reader.Open(avi);
    const zkbench::Result decoded = zkbench::Turns([&] { reader.Frame(kFrame); }, bareRead, readRounds);
    std::printf("  frame 900 into a new picture  %9.3f ms  = %.2fx the bare read\n", decoded.ours, decoded.Ratio());
    const zkbench::Result whole = zkbench::Turns([&] { extract(kFrame); }, bareRead, rounds);
    std::printf("  whole command, frame 900      %9.3f ms  = %.0fx the bare read\n", whole.ours, whole.Ratio());
    zk::TBitmap frame = reader.Frame(kFrame);
    const zkbench::Result written = zkbench::Turns([&] { frame.SaveToFile(bmp); }, bareRead, rounds);
    std::printf("  of which the durable write    %9.3f ms  (temporary file, fsync, rename)\n", written.ours);
    const zkbench::Result wholeFirst = zkbench::Turns([&] { extract(kFrame); }, [&] { extract(1); }, rounds);
    std::printf("  whole command, 900 vs 1       %9.3f ms vs %.3f ms = %.2fx\n", wholeFirst.ours, wholeFirst.peer,
                wholeFirst.Ratio());
    return 0;
}
