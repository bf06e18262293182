#include "PngRows.h"
#include "PixelRows.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZK_PNG_ROWS_X86 1
#endif

namespace zk::png {

uint32_t Crc32Update(uint32_t reg, const uint8_t *data, size_t len)
{
    // zlib's CRC is the same polynomial, many bytes a step; it takes and
    // gives the complemented register.
    return ~uint32_t(crc32_z(uLong(~reg), data, len));
}

#ifdef ZK_PNG_ROWS_X86
namespace {

constexpr uint32_t kAdlerBase = 65521;

// Blocks of whole 32-byte steps short enough that no 32-bit lane can wrap
// before the sums are reduced (zlib reduces every 5552 bytes for the same
// reason).
__attribute__((target("avx2"))) uint32_t adler32Avx2(uint32_t adler, const uint8_t *p, size_t len)
{
    uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16,
                                             15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i zero = _mm256_setzero_si256();
    constexpr size_t kStepsPerBlock = 5536 / 32;
    while (len >= 32) {
        const size_t steps = std::min(len / 32, kStepsPerBlock);
        // Per step: s2 gains 32 x s1 so far plus the bytes weighted 32..1,
        // s1 gains the bytes.
        __m256i byteSums = zero, s1Before = zero, weighted = zero;
        for (size_t k = 0; k < steps; ++k, p += 32) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
            s1Before = _mm256_add_epi32(s1Before, byteSums);
            byteSums = _mm256_add_epi32(byteSums, _mm256_sad_epu8(v, zero));
            weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(v, weights), ones));
        }
        alignas(32) uint32_t a[8], b[8], c[8];
        _mm256_store_si256(reinterpret_cast<__m256i *>(a), byteSums);
        _mm256_store_si256(reinterpret_cast<__m256i *>(b), s1Before);
        _mm256_store_si256(reinterpret_cast<__m256i *>(c), weighted);
        uint64_t bytes = 0, before = 0, w = 0;
        for (int i = 0; i < 8; ++i) {
            bytes += a[i];
            before += b[i];
            w += c[i];
        }
        s2 = uint32_t((s2 + uint64_t(s1) * 32 * steps + 32 * before + w) % kAdlerBase);
        s1 = uint32_t((s1 + bytes) % kAdlerBase);
        len -= steps * 32;
    }
    for (; len > 0; --len) {
        s1 += *p++;
        s2 += s1;
    }
    return (s2 % kAdlerBase) << 16 | (s1 % kAdlerBase);
}

} // namespace
#endif

uint32_t Adler32(uint32_t adler, const uint8_t *data, size_t len)
{
#ifdef ZK_PNG_ROWS_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return adler32Avx2(adler, data, len);
#endif
    return uint32_t(adler32_z(adler, data, len));
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

// Undoing Sub, Average and Paeth runs pixel after pixel (each needs its
// decoded left neighbour), but the three or four bytes of one pixel are
// independent: they go together in one vector register, and whatever does
// not depend on the left neighbour is worked out beside the chain that does.
// Each returns the first byte left to the plain loop (the last pixel, whose
// four-byte load would leave the row).
#ifdef ZK_PNG_ROWS_X86
#define ZK_SSE41 __attribute__((target("sse4.1")))

ZK_SSE41 inline __m128i loadBytes(const uint8_t *p)
{
    int v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

// Four bytes as four 16-bit lanes.
ZK_SSE41 inline __m128i loadWords(const uint8_t *p)
{
    return _mm_cvtepu8_epi16(loadBytes(p));
}

// The first B bytes of the low lanes (B is the pixel's size, 3 or 4).
template <size_t B>
ZK_SSE41 inline void storeBytes(uint8_t *p, __m128i v)
{
    const int bytes = _mm_cvtsi128_si32(v);
    std::memcpy(p, &bytes, B);
}

template <size_t B>
ZK_SSE41 size_t subPixels(uint8_t *row, size_t n)
{
    size_t x = B;
    if (n < B + 4)
        return x;
    __m128i a = loadBytes(row);
    for (; x + 4 <= n; x += B) {
        a = _mm_add_epi8(a, loadBytes(row + x));
        storeBytes<B>(row + x, a);
    }
    return x;
}

// (a + up) / 2 rounded down is ~avg(~a, ~up), where avg rounds up. Kept
// complemented, the decoded left neighbour na = ~a gives the next one as
// avg(na, ~up) - raw: two steps on the chain.
template <size_t B>
ZK_SSE41 size_t averagePixels(uint8_t *row, const uint8_t *prior, size_t n)
{
    size_t x = B;
    if (n < B + 4)
        return x;
    const __m128i ones = _mm_set1_epi8(-1);
    __m128i na = _mm_xor_si128(loadBytes(row), ones);
    for (; x + 4 <= n; x += B) {
        const __m128i nu = _mm_xor_si128(loadBytes(prior + x), ones);
        na = _mm_sub_epi8(_mm_avg_epu8(na, nu), loadBytes(row + x));
        storeBytes<B>(row + x, _mm_xor_si128(na, ones));
    }
    return x;
}

// One pixel of Paeth in 16-bit lanes; a becomes the decoded pixel and c
// the upper one (the next pixel's upper-left). With a the left, b the upper
// and c the upper-left byte: pa = |b - c| needs no left neighbour, pb =
// |a - c| and pc = |(a - c) + (b - c)| do. The three possible outputs raw +
// a, raw + b, raw + c are formed beforehand and the comparisons only choose.
ZK_SSE41 inline void paethStep(__m128i &a, __m128i &c, __m128i b, __m128i raw)
{
    const __m128i low = _mm_set1_epi16(0xFF);
    const __m128i e = _mm_sub_epi16(b, c);
    const __m128i pa = _mm_abs_epi16(e);
    const __m128i withB = _mm_and_si128(_mm_add_epi16(raw, b), low);
    const __m128i withC = _mm_and_si128(_mm_add_epi16(raw, c), low);
    const __m128i withA = _mm_and_si128(_mm_add_epi16(raw, a), low);
    const __m128i d = _mm_sub_epi16(a, c);
    const __m128i pb = _mm_abs_epi16(d);
    const __m128i pc = _mm_abs_epi16(_mm_add_epi16(d, e));
    const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i notB = _mm_cmpgt_epi16(pb, pc);
    a = _mm_blendv_epi8(withA, _mm_blendv_epi8(withB, withC, notB), notA);
    c = b;
}

template <size_t B>
ZK_SSE41 size_t paethPixels(uint8_t *row, const uint8_t *prior, size_t n)
{
    size_t x = B;
    if (n < B + 4)
        return x;
    __m128i a = loadWords(row), c = loadWords(prior);
    for (; x + 4 <= n; x += B) {
        paethStep(a, c, loadWords(prior + x), loadWords(row + x));
        storeBytes<B>(row + x, _mm_packus_epi16(a, a));
    }
    return x;
}

// Two Paeth rows at once, the second (row2) below the first (row1): pixel x
// of row2 needs pixels x and x - 1 of row1, which the same or the step before
// has decoded, so the two chains of left neighbours run side by side and the
// processor overlaps them.
template <size_t B>
ZK_SSE41 size_t paethTwoRows(uint8_t *row1, uint8_t *row2, const uint8_t *prior, size_t n)
{
    size_t x = B;
    if (n < B + 4)
        return x;
    __m128i a1 = loadWords(row1), c1 = loadWords(prior);
    __m128i a2 = loadWords(row2), c2 = a1;
    for (; x + 4 <= n; x += B) {
        paethStep(a1, c1, loadWords(prior + x), loadWords(row1 + x));
        storeBytes<B>(row1 + x, _mm_packus_epi16(a1, a1));
        paethStep(a2, c2, a1, loadWords(row2 + x));
        storeBytes<B>(row2 + x, _mm_packus_epi16(a2, a2));
    }
    return x;
}

bool vectorRows()
{
    static const bool sse41 = __builtin_cpu_supports("sse4.1");
    return sse41 && PixelRowPathAllowed(PixelRowPaths::Ssse3);
}
#endif

using V16 = uint8_t __attribute__((vector_size(16)));

} // namespace

bool UnfilterRow(uint8_t type, uint8_t *row, const uint8_t *prior, size_t n, int bpp)
{
    const size_t b = size_t(bpp);
#ifdef ZK_PNG_ROWS_X86
    const bool vectors = (b == 3 || b == 4) && vectorRows();
#endif
    size_t x = b; // the first byte with a left neighbour
    switch (type) {
    case ftNone:
        return true;
    case ftSub:
#ifdef ZK_PNG_ROWS_X86
        if (vectors)
            x = b == 3 ? subPixels<3>(row, n) : subPixels<4>(row, n);
#endif
        for (; x < n; ++x)
            row[x] = uint8_t(row[x] + row[x - b]);
        return true;
    case ftUp:
        // Sixteen bytes a step (row and prior are separate buffers, which
        // the compiler cannot know).
        for (x = 0; x + 16 <= n; x += 16) {
            V16 r, u;
            std::memcpy(&r, row + x, 16);
            std::memcpy(&u, prior + x, 16);
            r += u;
            std::memcpy(row + x, &r, 16);
        }
        for (; x < n; ++x)
            row[x] = uint8_t(row[x] + prior[x]);
        return true;
    case ftAverage:
        for (size_t i = 0; i < b && i < n; ++i)
            row[i] = uint8_t(row[i] + (prior[i] >> 1));
#ifdef ZK_PNG_ROWS_X86
        if (vectors)
            x = b == 3 ? averagePixels<3>(row, prior, n) : averagePixels<4>(row, prior, n);
#endif
        for (; x < n; ++x)
            row[x] = uint8_t(row[x] + ((unsigned(row[x - b]) + prior[x]) >> 1));
        return true;
    case ftPaeth:
        // With no left or upper-left neighbour, Paeth picks the upper byte.
        for (size_t i = 0; i < b && i < n; ++i)
            row[i] = uint8_t(row[i] + prior[i]);
#ifdef ZK_PNG_ROWS_X86
        if (vectors)
            x = b == 3 ? paethPixels<3>(row, prior, n) : paethPixels<4>(row, prior, n);
#endif
        for (; x < n; ++x)
            row[x] = uint8_t(row[x] + PaethPredictor(row[x - b], prior[x], prior[x - b]));
        return true;
    default:
        return false;
    }
}

size_t UnfilterRows(uint8_t *first, size_t count, size_t stride, int bpp)
{
    const size_t n = stride - 1;
    const size_t b = size_t(bpp);
#ifdef ZK_PNG_ROWS_X86
    const bool vectors = (b == 3 || b == 4) && vectorRows();
#endif
    size_t k = 0;
    while (k < count) {
        uint8_t *row = first + k * stride;
#ifdef ZK_PNG_ROWS_X86
        uint8_t *next = row + stride;
        if (vectors && k + 1 < count && row[0] == ftPaeth && next[0] == ftPaeth) {
            const uint8_t *prior = row + 1 - stride;
            uint8_t *r1 = row + 1, *r2 = next + 1;
            for (size_t i = 0; i < b && i < n; ++i) {
                r1[i] = uint8_t(r1[i] + prior[i]);
                r2[i] = uint8_t(r2[i] + r1[i]);
            }
            size_t x = b == 3 ? paethTwoRows<3>(r1, r2, prior, n) : paethTwoRows<4>(r1, r2, prior, n);
            for (; x < n; ++x) {
                r1[x] = uint8_t(r1[x] + PaethPredictor(r1[x - b], prior[x], prior[x - b]));
                r2[x] = uint8_t(r2[x] + PaethPredictor(r2[x - b], r1[x], r1[x - b]));
            }
            k += 2;
            continue;
        }
#endif
        if (!UnfilterRow(row[0], row + 1, row + 1 - stride, n, bpp))
            return k;
        ++k;
    }
    return count;
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

#ifdef ZK_PNG_ROWS_X86
#define ZK_AVX2 __attribute__((target("avx2")))

// Paeth predictions of sixteen bytes widened to words: a left, b above, c
// above-left. The first of a, b, c whose distance is the least wins.
ZK_AVX2 inline __m256i paeth16(__m256i a, __m256i b, __m256i c)
{
    const __m256i pa = _mm256_abs_epi16(_mm256_sub_epi16(b, c));
    const __m256i pb = _mm256_abs_epi16(_mm256_sub_epi16(a, c));
    const __m256i pc = _mm256_abs_epi16(_mm256_sub_epi16(_mm256_add_epi16(a, b), _mm256_add_epi16(c, c)));
    const __m256i least = _mm256_min_epi16(pa, _mm256_min_epi16(pb, pc));
    const __m256i bOrC = _mm256_blendv_epi8(c, b, _mm256_cmpeq_epi16(pb, least));
    return _mm256_blendv_epi8(bOrC, a, _mm256_cmpeq_epi16(pa, least));
}

ZK_AVX2 inline __m256i load32(const uint8_t *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}

// The low or high sixteen bytes as words.
ZK_AVX2 inline __m256i lowWords(__m256i v)
{
    return _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v));
}

ZK_AVX2 inline __m256i highWords(__m256i v)
{
    return _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1));
}

ZK_AVX2 inline __m256i filter32(uint8_t type, const uint8_t *raw, const uint8_t *prior, size_t x, size_t b)
{
    const __m256i r = load32(raw + x);
    switch (type) {
    case ftSub:
        return _mm256_sub_epi8(r, load32(raw + x - b));
    case ftUp:
        return _mm256_sub_epi8(r, load32(prior + x));
    case ftAverage: {
        // The rounded-up average less the lost half: (a + u) / 2 rounded down.
        const __m256i a = load32(raw + x - b), u = load32(prior + x);
        const __m256i odd = _mm256_and_si256(_mm256_xor_si256(a, u), _mm256_set1_epi8(1));
        return _mm256_sub_epi8(r, _mm256_sub_epi8(_mm256_avg_epu8(a, u), odd));
    }
    case ftPaeth: {
        const __m256i a = load32(raw + x - b), u = load32(prior + x), c = load32(prior + x - b);
        const __m256i lo = paeth16(lowWords(a), lowWords(u), lowWords(c));
        const __m256i hi = paeth16(highWords(a), highWords(u), highWords(c));
        // packus works within each half: put the quarters back in order.
        const __m256i p = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        return _mm256_sub_epi8(r, p);
    }
    default:
        return r;
    }
}

// FilterAndScore's middle, 32 bytes a step, from x (at least 4 and at least
// bpp) while a whole step fits; returns where it stopped and adds the
// matches to *score.
ZK_AVX2 size_t filterAndScore32(uint8_t type, uint8_t *out, const uint8_t *raw, const uint8_t *prior, size_t n,
                               size_t b, size_t x, int64_t *score)
{
    if (x + 32 > n)
        return x;
    alignas(32) uint8_t before[32] = {};
    std::memcpy(before + 28, out + x - 4, 4);
    __m256i prev = _mm256_load_si256(reinterpret_cast<const __m256i *>(before));
    __m256i sums = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi8(1);
    for (; x + 32 <= n; x += 32) {
        const __m256i o = filter32(type, raw, prior, x, b);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x), o);
        // The bytes 1..4 before each lane: prev's high half, then o.
        const __m256i joined = _mm256_permute2x128_si256(prev, o, 0x21);
        const __m256i same = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(o, _mm256_alignr_epi8(o, joined, 15)),
                             _mm256_cmpeq_epi8(o, _mm256_alignr_epi8(o, joined, 14))),
            _mm256_and_si256(_mm256_cmpeq_epi8(o, _mm256_alignr_epi8(o, joined, 13)),
                             _mm256_cmpeq_epi8(o, _mm256_alignr_epi8(o, joined, 12))));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(_mm256_and_si256(same, one), _mm256_setzero_si256()));
        prev = o;
    }
    alignas(32) int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), sums);
    *score += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    return x;
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have && !FilterWithoutAvx2ForTest;
}
#endif

} // namespace

bool FilterWithoutAvx2ForTest = false;

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
#ifdef ZK_PNG_ROWS_X86
    if (haveAvx2())
        x = filterAndScore32(type, out, raw, prior, n, b, x, &score);
#endif
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
