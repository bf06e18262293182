// GIF decode and encode of the 1920 x 1080 desktop capture and the photo
// (bench/data) as 256-colour indices (3-3-2 bits), beside giflib, taking
// turns in one run. Both decoders read the file giflib wrote, and ours must
// read back the indices written; both LZW encoders get the same indices and
// write a whole file to memory.
// Goals: our decode at most 1.2 x DGifSlurp's time; our LZW encode at most
// 1.2 x EGifPutLine's time with a file at most 1.02 x its size. The
// run-length encoder is reported beside them.
#include "BenchKit.h"
#include "GIFImage.h"

#include <QGuiApplication>

#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// 3-3-2 bits of red, green and blue: 256 colours, no dithering.
struct Indexed
{
    std::vector<uint8_t> indices;
    std::vector<GifColorType> colors;
};

Indexed reduce(const zk::TBitmap &b)
{
    Indexed out;
    out.indices.resize(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const uchar *row = b.ScanLine(y);
        for (int x = 0; x < kWidth; ++x)
            out.indices[size_t(y) * kWidth + size_t(x)] =
                uint8_t((row[3 * x + 2] & 0xE0) | ((row[3 * x + 1] >> 3) & 0x1C) | (row[3 * x] >> 6));
    }
    for (int i = 0; i < 256; ++i)
        out.colors.push_back({GifByteType((i & 0xE0) * 255 / 0xE0), GifByteType(((i >> 2) & 7) * 255 / 7),
                              GifByteType((i & 3) * 255 / 3)});
    return out;
}

const Indexed &picture(int kind)
{
    static const Indexed shot = reduce(zkbench::Desktop());
    static const Indexed pic = reduce(zkbench::Photo());
    return kind == 0 ? shot : pic;
}

int toVector(GifFileType *gif, const GifByteType *buf, int n)
{
    auto *v = static_cast<std::vector<uint8_t> *>(gif->UserData);
    v->insert(v->end(), buf, buf + n);
    return n;
}

std::vector<uint8_t> giflibEncode(const Indexed &p)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(kWidth) * kHeight);
    int err = 0;
    GifFileType *gif = EGifOpen(&out, toVector, &err);
    ColorMapObject *map = GifMakeMapObject(256, p.colors.data());
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
    for (int y = 0; y < kHeight; ++y)
        EGifPutLine(gif, const_cast<GifPixelType *>(p.indices.data() + size_t(y) * kWidth), kWidth);
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

struct MemIn
{
    const std::vector<uint8_t> *data;
    size_t pos;
};

int fromVector(GifFileType *gif, GifByteType *buf, int n)
{
    auto *in = static_cast<MemIn *>(gif->UserData);
    const size_t take = std::min(size_t(n), in->data->size() - in->pos);
    std::memcpy(buf, in->data->data() + in->pos, take);
    in->pos += take;
    return int(take);
}

const std::vector<uint8_t> &referenceFile(int kind)
{
    static const std::vector<uint8_t> files[2] = {giflibEncode(picture(0)), giflibEncode(picture(1))};
    return files[kind];
}

void ourImage(zk::TGIFImage &img, const Indexed &p)
{
    for (const GifColorType &c : p.colors)
        img.Header().ColorMap().Add(zk::RGBToTColor(c.Red, c.Green, c.Blue));
    auto frame = std::make_unique<zk::TGIFSubImage>(&img);
    frame->SetBounds(0, 0, kWidth, kHeight);
    std::memcpy(frame->Data(), p.indices.data(), p.indices.size());
    img.Images().Add(std::move(frame));
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const int rounds = zkbench::Rounds(15);
    const char *names[] = {"GIF desktop", "GIF photo"};
    for (int kind = 0; kind < 2; ++kind) {
        const Indexed &p = picture(kind);
        const std::vector<uint8_t> &f = referenceFile(kind);
        const QByteArray bytes(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
        char name[96];

        std::snprintf(name, sizeof name, "%s decode", names[kind]);
        zkbench::Print(name,
                       zkbench::Turns(
                           [&] {
                               zk::TGIFImage img;
                               img.LoadFromBytes(bytes);
                           },
                           [&] {
                               MemIn in{&f, 0};
                               int err = 0;
                               GifFileType *gif = DGifOpen(&in, fromVector, &err);
                               if (DGifSlurp(gif) != GIF_OK)
                                   std::abort();
                               DGifCloseFile(gif, &err);
                           },
                           rounds),
                       1.2);
        zk::TGIFImage decoded;
        decoded.LoadFromBytes(bytes);
        if (std::memcmp(decoded.Images()[0]->Data(), p.indices.data(), p.indices.size()) != 0) {
            std::fprintf(stderr, "%s: our decoder read other indices than were written\n", names[kind]);
            return 1;
        }

        zk::TGIFImage img;
        ourImage(img, p);
        QByteArray ours;
        std::vector<uint8_t> peer;
        const auto peerEncode = [&] { peer = giflibEncode(p); };
        img.Compression = zk::gcLZW;
        std::snprintf(name, sizeof name, "%s LZW encode", names[kind]);
        zkbench::Print(name, zkbench::Turns([&] { ours = img.SaveToBytes(); }, peerEncode, rounds), 1.2);
        const double sizeRatio = double(ours.size()) / double(peer.size());
        std::printf("%-44s ours %lld bytes, giflib %zu: ratio %.3f (goal <= 1.02) %s\n",
                    (std::string(names[kind]) + " LZW file size").c_str(), (long long)ours.size(), peer.size(),
                    sizeRatio, sizeRatio <= 1.02 ? "ok" : "MISSED");
        img.Compression = zk::gcRLE;
        const zkbench::Result rle = zkbench::Turns([&] { ours = img.SaveToBytes(); }, peerEncode, rounds);
        std::printf("%-44s ours %9.3f ms  giflib's LZW %9.3f ms  (%lld bytes; reported, no goal)\n",
                    (std::string(names[kind]) + " run-length encode").c_str(), rle.ours, rle.peer,
                    (long long)ours.size());
    }
    return 0;
}
