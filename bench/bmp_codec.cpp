// BMP write and read of the 1920 x 1080 desktop capture and the photo, both
// 24-bit, beside a memcpy of the same bytes into a buffer kept between
// rounds, taking turns in one run. Goal: each within 2 x the copy.
#include "BenchKit.h"
#include "Bitmap.h"
#include "BmpCodec.h"

#include <QGuiApplication>

#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const int rounds = zkbench::Rounds(31);
    const struct
    {
        const char *name;
        zk::TBitmap picture;
    } pictures[] = {{"desktop", zkbench::Desktop()}, {"photo", zkbench::Photo()}};
    for (const auto &p : pictures) {
        const std::size_t bytes = p.picture.Stride() * std::size_t(p.picture.Height());
        const uchar *pixels = p.picture.ScanLine(0);
        std::vector<uchar> copy(bytes);
        const auto memcpyPeer = [&] {
            std::memcpy(copy.data(), pixels, bytes);
            asm volatile("" : : "r"(copy.data()) : "memory");
        };
        QByteArray file;
        const zkbench::Result write = zkbench::Turns([&] { file = zk::WriteBmp(p.picture); }, memcpyPeer, rounds);
        zk::TBitmap back;
        const zkbench::Result read = zkbench::Turns(
            [&] { zk::ReadBmp(reinterpret_cast<const uchar *>(file.constData()), std::size_t(file.size()), back); },
            memcpyPeer, rounds);
        if (back.PixelFormat() != zk::pf24bit || std::memcmp(back.ScanLine(0), pixels, bytes) != 0) {
            std::fprintf(stderr, "%s: the BMP read back differs\n", p.name);
            return 1;
        }
        char name[64];
        std::snprintf(name, sizeof name, "BMP write, %s", p.name);
        zkbench::Print(name, write, 2.0);
        std::snprintf(name, sizeof name, "BMP read, %s", p.name);
        zkbench::Print(name, read, 2.0);
    }
    return 0;
}
