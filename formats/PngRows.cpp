#include "PngRows.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zk::png {

uint32_t Crc32Update(uint32_t reg, const uint8_t *data, size_t len)
{
    // zlib's CRC is the same polynomial, many bytes a step; it takes and
    // gives the complemented register.
    return ~uint32_t(crc32_z(uLong(~reg), data, len));
}

bool ValidColourDepth(int colourType, int bitDepth)
{
    switch (colourType) {
    case 0:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6:
        return bitDepth == 8 || bitDepth == 16;
    default:
        return false;
    }
}

RowLayout Layout(int colourType, int bitDepth, int64_t width)
{
    int channels = 0;
    switch (colourType) {
    case 0: case 3: channels = 1; break;
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return {};
    }
    if (!ValidColourDepth(colourType, bitDepth) || width < 0)
        return {};
    const int64_t bitsPerPixel = int64_t(channels) * bitDepth;
    RowLayout l;
    l.rowBytes = (bitsPerPixel * width + 7) / 8;
    l.bpp = int(bitsPerPixel / 8);
    if (l.bpp < 1)
        l.bpp = 1;
    return l;
}

namespace {

// Undoing Average and Paeth runs pixel after pixel (each needs its decoded
// left neighbour), but the three or four bytes of one pixel are independent:
// they go together in one small vector. Returns the first byte left to the
// plain loop (the last pixel, whose four-byte load would leave the row).
using U4 = uint8_t __attribute__((vector_size(4)));
using V16 = uint8_t __attribute__((vector_size(16)));
using I4 = int16_t __attribute__((vector_size(8)));

inline I4 load4(const uint8_t *p)
{
    U4 v;
    std::memcpy(&v, p, 4);
    return __builtin_convertvector(v, I4);
}

template <bool Paeth>
size_t unfilterPixels(uint8_t *row, const uint8_t *prior, size_t n, size_t b)
{
    size_t x = b;
    if (b < 3 || b > 4 || n < b + 4)
        return x;
    I4 a = load4(row); // the decoded left neighbour
    for (; x + 4 <= n; x += b) {
        const I4 up = load4(prior + x);
        I4 pred;
        if (Paeth) {
            const I4 c = load4(prior + x - b);
            const I4 pa = up - c, pb = a - c, pc = a + up - c - c;
            const I4 aa = (pa ^ (pa >> 15)) - (pa >> 15);
            const I4 ab = (pb ^ (pb >> 15)) - (pb >> 15);
            const I4 ac = (pc ^ (pc >> 15)) - (pc >> 15);
            const I4 takeA = (aa <= ab) & (aa <= ac);
            const I4 takeB = ~takeA & (ab <= ac);
            pred = (a & takeA) | (up & takeB) | (c & ~takeA & ~takeB);
        } else {
            pred = (a + up) >> 1;
        }
        a = (load4(row + x) + pred) & 0xFF;
        const U4 out = __builtin_convertvector(a, U4);
        std::memcpy(row + x, &out, b);
    }
    return x;
}

} // namespace

bool UnfilterRow(uint8_t type, uint8_t *row, const uint8_t *prior, size_t n, int bpp)
{
    const size_t b = size_t(bpp);
    switch (type) {
    case ftNone:
        return true;
    case ftSub:
        for (size_t x = b; x < n; ++x)
            row[x] = uint8_t(row[x] + row[x - b]);
        return true;
    case ftUp: {
        // Sixteen bytes a step (row and prior are separate buffers, which
        // the compiler cannot know).
        size_t x = 0;
        for (; x + 16 <= n; x += 16) {
            V16 r, u;
            std::memcpy(&r, row + x, 16);
            std::memcpy(&u, prior + x, 16);
            r += u;
            std::memcpy(row + x, &r, 16);
        }
        for (; x < n; ++x)
            row[x] = uint8_t(row[x] + prior[x]);
        return true;
    }
    case ftAverage: {
        const size_t head = b < n ? b : n;
        for (size_t x = 0; x < head; ++x)
            row[x] = uint8_t(row[x] + (prior[x] >> 1));
        for (size_t x = unfilterPixels<false>(row, prior, n, b); x < n; ++x)
            row[x] = uint8_t(row[x] + ((unsigned(row[x - b]) + prior[x]) >> 1));
        return true;
    }
    case ftPaeth: {
        const size_t head = b < n ? b : n;
        // With no left or upper-left neighbour, Paeth picks the upper byte.
        for (size_t x = 0; x < head; ++x)
            row[x] = uint8_t(row[x] + prior[x]);
        for (size_t x = unfilterPixels<true>(row, prior, n, b); x < n; ++x)
            row[x] = uint8_t(row[x] + PaethPredictor(row[x - b], prior[x], prior[x - b]));
        return true;
    }
    default:
        return false;
    }
}

void FilterRow(uint8_t type, uint8_t *out, const uint8_t *raw, const uint8_t *prior, size_t n, int bpp)
{
    const size_t b = size_t(bpp);
    const size_t head = b < n ? b : n;
    switch (type) {
    case ftSub:
        std::memcpy(out, raw, head);
        for (size_t x = b; x < n; ++x)
            out[x] = uint8_t(raw[x] - raw[x - b]);
        break;
    case ftUp:
        for (size_t x = 0; x < n; ++x)
            out[x] = uint8_t(raw[x] - prior[x]);
        break;
    case ftAverage:
        for (size_t x = 0; x < head; ++x)
            out[x] = uint8_t(raw[x] - (prior[x] >> 1));
        for (size_t x = b; x < n; ++x)
            out[x] = uint8_t(raw[x] - ((unsigned(raw[x - b]) + prior[x]) >> 1));
        break;
    case ftPaeth:
        for (size_t x = 0; x < head; ++x)
            out[x] = uint8_t(raw[x] - prior[x]);
        for (size_t x = b; x < n; ++x)
            out[x] = uint8_t(raw[x] - PaethPredictor(raw[x - b], prior[x], prior[x - b]));
        break;
    default:
        std::memcpy(out, raw, n);
        break;
    }
}

int64_t RunScore(const uint8_t *out, size_t n)
{
    int64_t score = 0;
    for (size_t x = 4; x < n; ++x) {
        const uint8_t v = out[x];
        score += (v == out[x - 1]) & (v == out[x - 2]) & (v == out[x - 3]) & (v == out[x - 4]);
    }
    return score;
}

namespace {

// The compiler's vector types: SSE2 or NEON where the target has them, plain
// code where it does not.
using H8 = uint8_t __attribute__((vector_size(8)));
using I8 = int16_t __attribute__((vector_size(16)));

inline V16 load16(const uint8_t *p)
{
    V16 v;
    std::memcpy(&v, p, 16);
    return v;
}

inline void store16(uint8_t *p, V16 v)
{
    std::memcpy(p, &v, 16);
}

inline I8 widen8(const uint8_t *p)
{
    H8 h;
    std::memcpy(&h, p, 8);
    return __builtin_convertvector(h, I8);
}

inline I8 absI8(I8 v)
{
    const I8 neg = v < 0;
    return (v ^ neg) - neg;
}

// Paeth predictions of eight bytes: a left, b above, c above-left.
inline H8 paeth8(const uint8_t *a, const uint8_t *b, const uint8_t *c)
{
    const I8 va = widen8(a), vb = widen8(b), vc = widen8(c);
    const I8 pa = absI8(vb - vc);
    const I8 pb = absI8(va - vc);
    const I8 pc = absI8(va + vb - vc - vc);
    const I8 takeA = (pa <= pb) & (pa <= pc);
    const I8 takeB = ~takeA & (pb <= pc);
    const I8 takeC = ~takeA & ~takeB;
    return __builtin_convertvector((va & takeA) | (vb & takeB) | (vc & takeC), H8);
}

inline V16 filter16(uint8_t type, const uint8_t *raw, const uint8_t *prior, size_t x, size_t b)
{
    const V16 r = load16(raw + x);
    switch (type) {
    case ftSub:
        return r - load16(raw + x - b);
    case ftUp:
        return r - load16(prior + x);
    case ftAverage: {
        const V16 a = load16(raw + x - b), u = load16(prior + x);
        return r - ((a & u) + ((a ^ u) >> 1)); // (a + u) / 2 without overflow
    }
    case ftPaeth: {
        const H8 lo = paeth8(raw + x - b, prior + x, prior + x - b);
        const H8 hi = paeth8(raw + x + 8 - b, prior + x + 8, prior + x + 8 - b);
        V16 p;
        std::memcpy(&p, &lo, 8);
        std::memcpy(reinterpret_cast<uint8_t *>(&p) + 8, &hi, 8);
        return r - p;
    }
    default:
        return r;
    }
}

uint8_t filterByte(uint8_t type, const uint8_t *raw, const uint8_t *prior, size_t x, size_t b)
{
    const bool left = x >= b;
    const int a = left ? raw[x - b] : 0;
    const int c = left ? prior[x - b] : 0;
    switch (type) {
    case ftSub: return uint8_t(raw[x] - a);
    case ftUp: return uint8_t(raw[x] - prior[x]);
    case ftAverage: return uint8_t(raw[x] - ((a + prior[x]) >> 1));
    case ftPaeth: return uint8_t(raw[x] - PaethPredictor(a, prior[x], c));
    default: return raw[x];
    }
}

// The 16 bytes that end K bytes before the end of `next`, when `prev` comes
// right before it: prev's last K bytes, then next's first 16 - K.
template <int K>
inline V16 joinShifted(V16 prev, V16 next)
{
#ifdef __SSE2__
    return V16(_mm_or_si128(_mm_srli_si128(__m128i(prev), 16 - K), _mm_slli_si128(__m128i(next), K)));
#else
    V16 out;
    for (int i = 0; i < 16; ++i)
        out[i] = i < K ? prev[16 - K + i] : next[i - K];
    return out;
#endif
}

inline bool runEnds(const uint8_t *out, size_t x)
{
    const uint8_t v = out[x];
    return (v == out[x - 1]) & (v == out[x - 2]) & (v == out[x - 3]) & (v == out[x - 4]);
}

} // namespace

int64_t FilterAndScore(uint8_t type, uint8_t *out, const uint8_t *raw, const uint8_t *prior, size_t n,
                       int bpp)
{
    const size_t b = size_t(bpp);
    // Scalar start: the bytes without a left neighbour, and up to the first
    // byte that has four bytes before it.
    const size_t head = std::min(n, std::max<size_t>(b, 4));
    int64_t score = 0;
    size_t x = 0;
    for (; x < head; ++x) {
        out[x] = filterByte(type, raw, prior, x, b);
        if (x >= 4)
            score += runEnds(out, x);
    }
    // Sixteen bytes a step; equal-lane counts gather in bytes and are summed
    // before any lane could wrap past 255. The four bytes before each lane
    // come from this step's and the last step's outputs held in registers:
    // reading them back from `out` right after storing them would make
    // every load wait for the store.
    V16 counts = {};
    V16 prev = {}; // lanes 12..15: the four output bytes before x
    if (x + 16 <= n)
        for (int i = 0; i < 4; ++i)
            prev[12 + i] = out[x - 4 + size_t(i)];
    int steps = 0;
    for (; x + 16 <= n; x += 16) {
        const V16 o = filter16(type, raw, prior, x, b);
        store16(out + x, o);
        const V16 back1 = joinShifted<1>(prev, o), back2 = joinShifted<2>(prev, o);
        const V16 back3 = joinShifted<3>(prev, o), back4 = joinShifted<4>(prev, o);
        const V16 same = V16(o == back1) & V16(o == back2) & V16(o == back3) & V16(o == back4);
        prev = o;
        counts -= same; // each match is 0xFF, i.e. minus one
        if (++steps == 255) {
            for (int i = 0; i < 16; ++i)
                score += counts[i];
            counts = V16{};
            steps = 0;
        }
    }
    for (int i = 0; i < 16; ++i)
        score += counts[i];
    for (; x < n; ++x) {
        out[x] = filterByte(type, raw, prior, x, b);
        score += runEnds(out, x);
    }
    return score;
}

const std::array<Adam7Pass, 7> Adam7 = {{
    {0, 0, 8, 8, 0x80},
    {0, 4, 8, 8, 0x08},
    {4, 0, 8, 4, 0x88},
    {0, 2, 4, 4, 0x22},
    {2, 0, 4, 2, 0xAA},
    {0, 1, 2, 2, 0x55},
    {1, 0, 2, 1, 0xFF},
}};

} // namespace zk::png
