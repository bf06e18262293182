// Each picture command as the main window runs it (the pixel-format change
// the command asks for, then the filter) on the real desktop capture held in
// 24 and in 32 bits, beside a word-wise pass that reads and writes every byte
// of the same picture. Every run starts from a fresh copy of its own side,
// made untimed right before it (a copy made for the other side in between
// would leave one side's input colder in the caches than the other's). The
// copy is a new picture, as the program's own copies, decoders and grabs
// make one: copied into the buffer of the previous round, it would keep
// whatever room that buffer had grown to, which a picture the user works on
// need not have.
// Goals: every command and the format change alone <= 1.5 x the pass; the
// rotation by 90 degrees, which walks one of its two pictures across the
// rows, <= 3 x. Not the same thread count: the widening (alone and inside
// invert), the flip of a 32-bit picture and the rotation share the rows
// with up to three helper threads, as the program does; the pass runs on
// one thread, the floor of one core.
#include "BenchKit.h"
#include "BitmapFilters.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstring>

namespace {

// The floor: every byte of the picture read and written, eight at a time.
void wordPass(zk::TBitmap &b)
{
    const std::size_t n = b.Stride() * std::size_t(b.Height());
    uchar *p = b.ScanLine(0);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        v ^= 0x0101010101010101ull;
        std::memcpy(p + i, &v, 8);
    }
    for (; i < n; ++i)
        p[i] ^= 1;
    asm volatile("" : : "r"(p) : "memory");
}

struct Command
{
    const char *name;
    zk::TPixelFormat format; // what the main window sets first (pfCustom: the filter does)
    void (*filter)(zk::TBitmap &);
    double goal;
};

const Command commands[] = {
    {"format change only to 24", zk::pf24bit, nullptr, 1.5},
    {"format change only to 32", zk::pf32bit, nullptr, 1.5},
    {"invert", zk::pfCustom, zk::InvertBitmap, 1.5},
    {"grey", zk::pfCustom, zk::GrayBitmap, 1.5},
    {"brightness +15", zk::pfCustom, [](zk::TBitmap &b) { zk::BrightnessBitmap(b, 15); }, 1.5},
    {"brightness -15", zk::pfCustom, [](zk::TBitmap &b) { zk::BrightnessBitmap(b, -15); }, 1.5},
    {"contrast 55", zk::pfCustom, [](zk::TBitmap &b) { zk::ContrastBitmap(b, 55); }, 1.5},
    {"mirror", zk::pfCustom, zk::MirrorBitmapH, 1.5},
    {"flip", zk::pfCustom, zk::MirrorBitmapV, 1.5},
    {"rotate 90", zk::pfCustom, zk::RotateBitmap90, 3},
};

} // namespace

int main(int argc, char **argv)
{
    // An argument keeps only the lines whose name holds it ("rotate", say).
    const char *only = argc > 1 ? argv[1] : nullptr;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const int rounds = zkbench::Rounds(15);
    for (zk::TPixelFormat depth : {zk::pf24bit, zk::pf32bit}) {
        zk::TBitmap original = zkbench::Desktop();
        original.SetPixelFormat(depth);
        for (const Command &c : commands) {
            if (!c.filter && c.format == depth)
                continue; // no change to time
            char name[96];
            std::snprintf(name, sizeof name, "%s on %d-bit", c.name, depth == zk::pf24bit ? 24 : 32);
            if (only && !std::strstr(name, only))
                continue;
            zk::TBitmap ours, peer;
            const zkbench::Result r = zkbench::Turns(
                [&] {
                    if (c.format != zk::pfCustom)
                        ours.SetPixelFormat(c.format);
                    if (c.filter)
                        c.filter(ours);
                },
                [&] { wordPass(peer); }, rounds, [&] { ours = zk::TBitmap(original); }, [&] { peer = zk::TBitmap(original); });
            zkbench::Print(name, r, c.goal);
        }
    }
    return 0;
}
