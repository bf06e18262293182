// Servers whose pixels are not B, G, R, X (16-bit visuals, 24 bits packed,
// other channel orders, big-endian byte order) are converted row by row.
#include "ScreenGrab.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace zk;

namespace {

struct Rgb
{
    int r, g, b;
};

std::vector<Rgb> convert(const ServerPixelFormat &f, const std::vector<std::uint8_t> &src, int width, int height,
                         int stride)
{
    std::vector<std::uint8_t> out(std::size_t(width) * std::size_t(height) * 4, 0x55);
    ConvertServerRows(f, src.data(), width, height, stride, out.data());
    std::vector<Rgb> px;
    for (std::size_t i = 0; i < out.size(); i += 4) {
        EXPECT_EQ(out[i + 3], 0xFF);
        px.push_back({out[i + 2], out[i + 1], out[i]});
    }
    return px;
}

void expectPixels(const std::vector<Rgb> &got, const std::vector<Rgb> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].r, want[i].r) << "pixel " << i;
        EXPECT_EQ(got[i].g, want[i].g) << "pixel " << i;
        EXPECT_EQ(got[i].b, want[i].b) << "pixel " << i;
    }
}

} // namespace

TEST(ServerPixels, SixteenBitVisualsInBothByteOrders)
{
    ServerPixelFormat f;
    f.bitsPerPixel = 16;
    f.red = 0xF800;
    f.green = 0x07E0;
    f.blue = 0x001F;
    // Three pixels a row, rows padded to 32 bits (8 bytes).
    const std::array<std::uint16_t, 6> values = {0xF800, 0x07E0, 0x001F, 0x8410, 0xFFFF, 0x0000};
    // 0x8410: red 16 of 31, green 32 of 63, blue 16 of 31, rounded to 8 bits.
    const std::vector<Rgb> want = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {132, 130, 132}, {255, 255, 255}, {0, 0, 0}};
    for (bool msb : {false, true}) {
        f.msbFirst = msb;
        std::vector<std::uint8_t> src(16, 0xEE);
        for (int i = 0; i < 6; ++i) {
            const std::size_t at = std::size_t(i / 3) * 8 + std::size_t(i % 3) * 2;
            src[at + (msb ? 1 : 0)] = std::uint8_t(values[std::size_t(i)] & 0xFF);
            src[at + (msb ? 0 : 1)] = std::uint8_t(values[std::size_t(i)] >> 8);
        }
        expectPixels(convert(f, src, 3, 2, 8), want);
    }
}

TEST(ServerPixels, PackedTwentyFourAndOtherChannelOrders)
{
    ServerPixelFormat packed;
    packed.bitsPerPixel = 24;
    // Bytes B, G, R per pixel in the least-significant-first order.
    const std::vector<std::uint8_t> src = {0x10, 0x20, 0x30, 0xFF, 0x00, 0x80, 0, 0, 0, 0};
    expectPixels(convert(packed, src, 2, 1, 8), {{0x30, 0x20, 0x10}, {0x80, 0x00, 0xFF}});

    ServerPixelFormat rgbx; // red in the low byte
    rgbx.red = 0x0000FF;
    rgbx.blue = 0xFF0000;
    const std::vector<std::uint8_t> src2 = {0x11, 0x22, 0x33, 0x00, 0xAA, 0xBB, 0xCC, 0x00};
    expectPixels(convert(rgbx, src2, 2, 1, 8), {{0x11, 0x22, 0x33}, {0xAA, 0xBB, 0xCC}});

    ServerPixelFormat big; // 32 bits, big-endian: bytes X, R, G, B
    big.msbFirst = true;
    const std::vector<std::uint8_t> src3 = {0x00, 0x12, 0x34, 0x56};
    expectPixels(convert(big, src3, 1, 1, 4), {{0x12, 0x34, 0x56}});
}
