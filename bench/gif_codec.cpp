// GIF decode and encode of the 1920 x 1080 screenshot-like (kind:0) and
// photo-like (kind:1) pictures as 256-colour indices, beside giflib in the
// same run. Both decoders read the file giflib wrote; both LZW encoders get
// the same indices and write a whole file to memory.
// Goals: our decode at most 1.2 x DGifSlurp's time; our LZW encode at most
// 1.2 x EGifPutLine's time with a file at most 1.02 x its size (the
// "file_bytes" counter). The run-length encoder is reported beside them.
#include "BenchPictures.h"
#include "GIFImage.h"


#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <vector>

namespace {

using zkbench::kHeight;
using zkbench::kWidth;

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
    static const Indexed shot = reduce(zkbench::screenshot());
    static const Indexed pic = reduce(zkbench::photo());
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

void BM_GiflibDecode(benchmark::State &state)
{
    const std::vector<uint8_t> &f = referenceFile(int(state.range(0)));
    for (auto _ : state) {
        MemIn in{&f, 0};
        int err = 0;
        GifFileType *gif = DGifOpen(&in, fromVector, &err);
        if (DGifSlurp(gif) != GIF_OK)
            state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &err);
    }
}

void BM_OurDecode(benchmark::State &state)
{
    const std::vector<uint8_t> &f = referenceFile(int(state.range(0)));
    const QByteArray bytes(reinterpret_cast<const char *>(f.data()), qsizetype(f.size()));
    for (auto _ : state) {
        zk::TGIFImage img;
        img.LoadFromBytes(bytes);
        benchmark::DoNotOptimize(img.Images()[0]->Data());
    }
}

void BM_GiflibEncode(benchmark::State &state)
{
    const Indexed &p = picture(int(state.range(0)));
    size_t size = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> out = giflibEncode(p);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_bytes"] = double(size);
}

void ourEncode(benchmark::State &state, uint8_t compression)
{
    zk::TGIFImage img;
    ourImage(img, picture(int(state.range(0))));
    img.Compression = compression;
    qint64 size = 0;
    for (auto _ : state) {
        const QByteArray out = img.SaveToBytes();
        size = out.size();
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["file_bytes"] = double(size);
}

void BM_OurEncodeLZW(benchmark::State &state) { ourEncode(state, zk::gcLZW); }
void BM_OurEncodeRLE(benchmark::State &state) { ourEncode(state, zk::gcRLE); }

BENCHMARK(BM_GiflibDecode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurDecode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GiflibEncode)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurEncodeLZW)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurEncodeRLE)->Arg(0)->Arg(1)->ArgName("kind")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) { return zkbench::RunBenchmarks(argc, argv); }
