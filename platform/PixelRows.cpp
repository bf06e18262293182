#include "PixelRows.h"
#include "RowTeam.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZK_PIXEL_ROWS_X86 1
#endif

namespace zk {

namespace {

std::atomic<PixelRowPaths> pathLimit{PixelRowPaths::Avx512};

// Byte by byte, front to back, so it may run in place.
void row32To24Plain(uchar *dst, const uchar *src, int n, int x)
{
    for (; x < n; ++x) {
        dst[3 * x] = src[4 * x];
        dst[3 * x + 1] = src[4 * x + 1];
        dst[3 * x + 2] = src[4 * x + 2];
    }
}

void row24To32Plain(uchar *__restrict dst, const uchar *__restrict src, int n, int x, std::uint32_t flip)
{
    for (; x < n; ++x) {
        const std::uint32_t v = (0xFF000000u | std::uint32_t(src[3 * x]) | std::uint32_t(src[3 * x + 1]) << 8
                                 | std::uint32_t(src[3 * x + 2]) << 16)
                                ^ flip;
        std::memcpy(dst + 4 * x, &v, 4);
    }
}

// Back to front: pixel x is read before any store reaches its bytes when
// dst lies at or after src.
void row24To32BackPlain(uchar *dst, const uchar *src, int x, std::uint32_t flip)
{
    while (x-- > 0) {
        const std::uint32_t v = (0xFF000000u | std::uint32_t(src[3 * x]) | std::uint32_t(src[3 * x + 1]) << 8
                                 | std::uint32_t(src[3 * x + 2]) << 16)
                                ^ flip;
        std::memcpy(dst + 4 * x, &v, 4);
    }
}

void swapBytesPlain(uchar *__restrict a, uchar *__restrict b, std::size_t n, std::size_t i)
{
    for (; i < n; ++i)
        std::swap(a[i], b[i]);
}

void flipRowsPlain(uchar *bits, std::size_t stride, int height)
{
    for (int y = 0; y < height / 2; ++y)
        swapBytesPlain(bits + std::size_t(y) * stride, bits + std::size_t(height - 1 - y) * stride, stride, 0);
}

void row32InvertPlain(uchar *p, std::size_t n, std::size_t i)
{
    for (p += 4 * i; i < n; ++i, p += 4) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        v = (v ^ 0x00FFFFFFu) | 0xFF000000u;
        std::memcpy(p, &v, 4);
    }
}

// Eight bytes a load and a store, the lookups in between.
void lookupPlain(uchar *p, std::size_t n, const uchar (&table)[256])
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        std::uint64_t out = 0;
        for (int k = 0; k < 64; k += 8)
            out |= std::uint64_t(table[(v >> k) & 0xFF]) << k;
        std::memcpy(p + i, &out, 8);
    }
    for (; i < n; ++i)
        p[i] = table[p[i]];
}

void addSaturatedPlain(uchar *p, std::size_t n, int d, std::size_t i)
{
    for (; i < n; ++i)
        p[i] = uchar(std::clamp(int(p[i]) + d, 0, 255));
}

void row24GreyPlain(uchar *row, int n, int x)
{
    for (uchar *p = row + 3 * x; x < n; ++x, p += 3) {
        const uchar g = uchar((77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8);
        p[0] = p[1] = p[2] = g;
    }
}

void row24MirrorPlain(uchar *__restrict dst, const uchar *__restrict src, int n, int x)
{
    for (; x < n; ++x) {
        const uchar *s = src + 3 * (n - 1 - x);
        dst[3 * x] = s[0];
        dst[3 * x + 1] = s[1];
        dst[3 * x + 2] = s[2];
    }
}

void row24SwapPlain(uchar *__restrict dst, const uchar *__restrict src, int n, int x)
{
    for (; x < n; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
    }
}

// Destination rows [r0, r1), columns [c0, c1) of the turn, in square blocks
// so both pictures are walked through the cache instead of striding a whole
// source column for every destination row.
struct Turn
{
    uchar *dst;
    std::size_t dstStride;
    const uchar *src;
    std::size_t srcStride;
    int h, srcBytes;
    const uchar *srcRow(int c) const { return src + std::size_t(h - 1 - c) * srcStride; }
    uchar *dstRow(int r) const { return dst + std::size_t(r) * dstStride; }
};

void turnPlain(const Turn &t, int r0, int r1, int c0, int c1)
{
    constexpr int Block = 32;
    for (int rb = r0; rb < r1; rb += Block)
        for (int cb = c0; cb < c1; cb += Block)
            for (int r = rb; r < std::min(rb + Block, r1); ++r) {
                uchar *d = t.dstRow(r);
                const std::size_t sx = std::size_t(r) * std::size_t(t.srcBytes);
                for (int c = cb; c < std::min(cb + Block, c1); ++c) {
                    const uchar *s = t.srcRow(c) + sx;
                    std::uint32_t v = 0;
                    std::memcpy(&v, s, std::size_t(t.srcBytes));
                    v |= 0xFF000000u;
                    std::memcpy(d + std::size_t(c) * 4, &v, 4);
                }
            }
}

// Destination rows a band of the turn holds (a multiple of eight).
constexpr int kTurnBand = 256;

#ifdef ZK_PIXEL_ROWS_X86
// Eight by eight pixels a step: eight source rows loaded (three-byte pixels
// as two halves of four, or by a masked load of exactly their 24 bytes at a
// row's end, then spread to four), turned by the usual unpack ladder, stored
// as eight destination rows. The edges that do not fill a step go plain.
__attribute__((target("avx2"))) void turnAvx2(const Turn &t, int rBegin, int rEnd)
{
    const int cFull = t.h & ~7;
    const __m256i six = _mm256_setr_epi32(-1, -1, -1, -1, -1, -1, 0, 0);
    const __m256i halves = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3,
                                            4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    const bool three = t.srcBytes == 3;
    // Bands of destination rows; in each, eight source rows at a time along
    // the band: the source is read front to back as eight streams the
    // processor fetches ahead, while the destination takes 32 bytes in each
    // of the band's rows, lines that stay in the cache until the next eight
    // source rows fill them up. The band keeps those rows few enough for
    // the address cache. (Eight destination rows at a time across the whole
    // width instead reads a line from every source row per step, and was
    // about a third slower.) The processor cannot guess the destination
    // lines (each row lies in another page), so every step asks for the
    // places the next eight source rows will write, a band's sweep ahead:
    // a fifth faster than waiting for each line at its first store.
    for (int band = rBegin; band < rEnd; band += kTurnBand)
        for (int c0 = 0; c0 < cFull; c0 += 8) {
            const bool ahead = c0 + 8 < cFull;
            for (int r0 = band; r0 < std::min(band + kTurnBand, rEnd); r0 += 8) {
                if (ahead)
                    for (int k = 0; k < 8; ++k)
                        _mm_prefetch(reinterpret_cast<const char *>(t.dstRow(r0 + k) + std::size_t(c0 + 8) * 4),
                                     _MM_HINT_T0);
                // Three-byte steps whose row holds 4 bytes beyond them; the
                // others load exactly their 24 bytes.
                const bool roomy = std::size_t(r0 + 8) * 3 + 4 <= t.srcStride;
                __m256i v[8];
                for (int j = 0; j < 8; ++j) {
                    const uchar *s = t.srcRow(c0 + j) + std::size_t(r0) * std::size_t(t.srcBytes);
                    if (three && roomy) {
                        // Two loads of four pixels each, the second reaching 4
                        // bytes past the step: no lane crossing to spread them.
                        const __m256i raw = _mm256_inserti128_si256(
                            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s))),
                            _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 12)), 1);
                        v[j] = _mm256_or_si256(_mm256_shuffle_epi8(raw, spread), opaque);
                    } else if (three) {
                        const __m256i raw = _mm256_maskload_epi32(reinterpret_cast<const int *>(s), six);
                        v[j] = _mm256_or_si256(
                            _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(raw, halves), spread), opaque);
                    } else {
                        v[j] = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(s)), opaque);
                    }
                }
                __m256i a[8], b[8];
                for (int j = 0; j < 8; j += 2) {
                    a[j] = _mm256_unpacklo_epi32(v[j], v[j + 1]);
                    a[j + 1] = _mm256_unpackhi_epi32(v[j], v[j + 1]);
                }
                for (int j = 0; j < 8; j += 4) {
                    b[j] = _mm256_unpacklo_epi64(a[j], a[j + 2]);
                    b[j + 1] = _mm256_unpackhi_epi64(a[j], a[j + 2]);
                    b[j + 2] = _mm256_unpacklo_epi64(a[j + 1], a[j + 3]);
                    b[j + 3] = _mm256_unpackhi_epi64(a[j + 1], a[j + 3]);
                }
                for (int k = 0; k < 4; ++k) {
                    uchar *d = t.dstRow(r0 + k) + std::size_t(c0) * 4;
                    _mm256_storeu_si256(reinterpret_cast<__m256i *>(d),
                                        _mm256_permute2x128_si256(b[k], b[k + 4], 0x20));
                    _mm256_storeu_si256(reinterpret_cast<__m256i *>(t.dstRow(r0 + k + 4) + std::size_t(c0) * 4),
                                        _mm256_permute2x128_si256(b[k], b[k + 4], 0x31));
                }
            }
        }
}

// Shuffle masks for 16 pixels held in three registers: output register k
// takes from input register m the bytes mask[k][m] names; `from` gives the
// input byte (0..47) of each output byte.
struct Masks48
{
    alignas(16) signed char mask[3][3][16];
    template <class From>
    explicit Masks48(From from)
    {
        for (int j = 0; j < 48; ++j) {
            const int f = from(j);
            for (int m = 0; m < 3; ++m)
                mask[j / 16][m][j % 16] = f / 16 == m ? static_cast<signed char>(f % 16) : -1;
        }
    }
};

__attribute__((target("ssse3"))) inline void shuffle48(const Masks48 &masks, uchar *__restrict dst,
                                                       const uchar *__restrict src)
{
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 32));
    for (int k = 0; k < 3; ++k) {
        const auto *m = reinterpret_cast<const __m128i *>(masks.mask[k]);
        const __m128i out = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(a0, _mm_load_si128(m)), _mm_shuffle_epi8(a1, _mm_load_si128(m + 1))),
            _mm_shuffle_epi8(a2, _mm_load_si128(m + 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 16 * k), out);
    }
}

__attribute__((target("ssse3"))) void row24MirrorSsse3(uchar *__restrict dst, const uchar *__restrict src, int n)
{
    static const Masks48 masks([](int j) { return 45 - 3 * (j / 3) + j % 3; }); // pixel 15 - j/3
    int x = 0;
    for (; x + 16 <= n; x += 16)
        shuffle48(masks, dst + 3 * x, src + 3 * (n - 16 - x));
    row24MirrorPlain(dst, src, n, x);
}

__attribute__((target("ssse3"))) void row24SwapSsse3(uchar *__restrict dst, const uchar *__restrict src, int n)
{
    static const Masks48 masks([](int j) { return 3 * (j / 3) + 2 - j % 3; });
    int x = 0;
    for (; x + 16 <= n; x += 16)
        shuffle48(masks, dst + 3 * x, src + 3 * x);
    row24SwapPlain(dst, src, n, x);
}

// Sixteen pixels (48 bytes) a step: shuffles gather the blue, green and red
// bytes into one register each, the weighted sum runs in 16-bit lanes (at
// most 65280, so nothing wraps), and three more shuffles spread the grey
// values back over the pixels. VT is a 16-byte register, or a 32-byte one
// whose halves hold two such steps, HALF bytes apart (shuffles, unpacking
// and packing all stay within halves). A macro, not a function, so that it
// takes the instruction set of the function it is written in.
#define ZK_GREY_STEP(VT, OPS, P, HALF)                                                                   \
    do {                                                                                                \
        const VT b0 = OPS::bytes(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);           \
        const VT b1 = OPS::bytes(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);          \
        const VT b2 = OPS::bytes(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);          \
        const VT g0 = OPS::bytes(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);          \
        const VT g1 = OPS::bytes(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);           \
        const VT g2 = OPS::bytes(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);          \
        const VT r0 = OPS::bytes(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);          \
        const VT r1 = OPS::bytes(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);          \
        const VT r2 = OPS::bytes(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);           \
        const VT o0 = OPS::bytes(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);                       \
        const VT o1 = OPS::bytes(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);                     \
        const VT o2 = OPS::bytes(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);       \
        const VT v0 = OPS::load(P, HALF), v1 = OPS::load(P + 16, HALF), v2 = OPS::load(P + 32, HALF);   \
        const VT b = OPS::gather(v0, v1, v2, b0, b1, b2);                                               \
        const VT g = OPS::gather(v0, v1, v2, g0, g1, g2);                                               \
        const VT r = OPS::gather(v0, v1, v2, r0, r1, r2);                                               \
        const VT grey = OPS::weigh(b, g, r);                                                            \
        OPS::store(P, HALF, OPS::shuffle(grey, o0));                                                    \
        OPS::store(P + 16, HALF, OPS::shuffle(grey, o1));                                               \
        OPS::store(P + 32, HALF, OPS::shuffle(grey, o2));                                               \
    } while (false)

#define ZK_SSSE3 __attribute__((target("ssse3"), always_inline))
struct Ops128
{
    ZK_SSSE3 static __m128i bytes(char a, char b, char c, char d, char e, char f, char g, char h, char i, char j,
                                  char k, char l, char m, char n, char o, char q)
    {
        return _mm_setr_epi8(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, q);
    }
    ZK_SSSE3 static __m128i load(const uchar *p, std::size_t) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
    ZK_SSSE3 static void store(uchar *p, std::size_t, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
    ZK_SSSE3 static __m128i shuffle(__m128i v, __m128i m) { return _mm_shuffle_epi8(v, m); }
    ZK_SSSE3 static __m128i gather(__m128i v0, __m128i v1, __m128i v2, __m128i m0, __m128i m1, __m128i m2)
    {
        return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, m0), _mm_shuffle_epi8(v1, m1)), _mm_shuffle_epi8(v2, m2));
    }
    ZK_SSSE3 static __m128i sum(__m128i bb, __m128i gg, __m128i rr)
    {
        const __m128i wr = _mm_set1_epi16(77), wg = _mm_set1_epi16(151), wb = _mm_set1_epi16(28);
        return _mm_srli_epi16(
            _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(rr, wr), _mm_mullo_epi16(gg, wg)), _mm_mullo_epi16(bb, wb)), 8);
    }
    ZK_SSSE3 static __m128i weigh(__m128i b, __m128i g, __m128i r)
    {
        const __m128i zero = _mm_setzero_si128();
        return _mm_packus_epi16(sum(_mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(g, zero), _mm_unpacklo_epi8(r, zero)),
                                sum(_mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(g, zero), _mm_unpackhi_epi8(r, zero)));
    }
};
#undef ZK_SSSE3

// The high half of each 32-byte register works on the 48 bytes that lie
// `half` bytes after the low half's.
#define ZK_AVX2 __attribute__((target("avx2"), always_inline))
struct Ops256
{
    ZK_AVX2 static __m256i bytes(char a, char b, char c, char d, char e, char f, char g, char h, char i, char j,
                                 char k, char l, char m, char n, char o, char q)
    {
        const __m128i x = _mm_setr_epi8(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, q);
        return _mm256_set_m128i(x, x);
    }
    ZK_AVX2 static __m256i load(const uchar *p, std::size_t half)
    {
        return _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(p + half), reinterpret_cast<const __m128i *>(p));
    }
    ZK_AVX2 static void store(uchar *p, std::size_t half, __m256i v)
    {
        _mm256_storeu2_m128i(reinterpret_cast<__m128i *>(p + half), reinterpret_cast<__m128i *>(p), v);
    }
    ZK_AVX2 static __m256i shuffle(__m256i v, __m256i m) { return _mm256_shuffle_epi8(v, m); }
    ZK_AVX2 static __m256i gather(__m256i v0, __m256i v1, __m256i v2, __m256i m0, __m256i m1, __m256i m2)
    {
        return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v0, m0), _mm256_shuffle_epi8(v1, m1)),
                               _mm256_shuffle_epi8(v2, m2));
    }
    ZK_AVX2 static __m256i sum(__m256i bb, __m256i gg, __m256i rr)
    {
        const __m256i wr = _mm256_set1_epi16(77), wg = _mm256_set1_epi16(151), wb = _mm256_set1_epi16(28);
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(rr, wr), _mm256_mullo_epi16(gg, wg)),
                                                  _mm256_mullo_epi16(bb, wb)),
                                 8);
    }
    ZK_AVX2 static __m256i weigh(__m256i b, __m256i g, __m256i r)
    {
        const __m256i zero = _mm256_setzero_si256();
        // Unpacking and packing both work per half, so the halves stay apart.
        return _mm256_packus_epi16(
            sum(_mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(g, zero), _mm256_unpacklo_epi8(r, zero)),
            sum(_mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(g, zero), _mm256_unpackhi_epi8(r, zero)));
    }
};
#undef ZK_AVX2

__attribute__((target("ssse3"))) void row24GreySsse3(uchar *row, int n)
{
    int x = 0;
    for (; x + 16 <= n; x += 16)
        ZK_GREY_STEP(__m128i, Ops128, row + 3 * x, 0);
    row24GreyPlain(row, n, x);
}

// Thirty-two pixels a step, two 16-pixel steps side by side.
__attribute__((target("avx2"))) void row24GreyAvx2(uchar *row, int n)
{
    int x = 0;
    for (; x + 32 <= n; x += 32)
        ZK_GREY_STEP(__m256i, Ops256, row + 3 * x, 48);
    for (; x + 16 <= n; x += 16)
        ZK_GREY_STEP(__m128i, Ops128, row + 3 * x, 0);
    row24GreyPlain(row, n, x);
}

// Eight pixels a step; the flip and the opaque byte are one xor each way
// round: (v | opaque) ^ colour bits equals (v ^ colour bits) | opaque.
__attribute__((target("avx2"))) void row32InvertAvx2(uchar *p, std::size_t n)
{
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    const __m256i colour = _mm256_set1_epi32(0x00FFFFFF);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        auto *q = reinterpret_cast<__m256i *>(p + 4 * i);
        _mm256_storeu_si256(q, _mm256_xor_si256(_mm256_or_si256(_mm256_loadu_si256(q), opaque), colour));
    }
    row32InvertPlain(p, n, i);
}

__attribute__((target("avx2"))) void flipRowsAvx2(uchar *bits, std::size_t stride, int height)
{
    for (int y = 0; y < height / 2; ++y) {
        uchar *a = bits + std::size_t(y) * stride, *b = bits + std::size_t(height - 1 - y) * stride;
        std::size_t i = 0;
        for (; i + 32 <= stride; i += 32) {
            auto *p = reinterpret_cast<__m256i *>(a + i);
            auto *q = reinterpret_cast<__m256i *>(b + i);
            const __m256i x = _mm256_loadu_si256(p);
            _mm256_storeu_si256(p, _mm256_loadu_si256(q));
            _mm256_storeu_si256(q, x);
        }
        swapBytesPlain(a, b, stride, i);
    }
}

__attribute__((target("avx512f"))) void flipRowsAvx512(uchar *bits, std::size_t stride, int height)
{
    for (int y = 0; y < height / 2; ++y) {
        uchar *a = bits + std::size_t(y) * stride, *b = bits + std::size_t(height - 1 - y) * stride;
        std::size_t i = 0;
        for (; i + 64 <= stride; i += 64) {
            const __m512i x = _mm512_loadu_si512(a + i);
            _mm512_storeu_si512(a + i, _mm512_loadu_si512(b + i));
            _mm512_storeu_si512(b + i, x);
        }
        swapBytesPlain(a, b, stride, i);
    }
}

// Four pixels at a time: one shuffle drops the padding bytes. Each 16-byte
// store overlaps the next by four bytes, so it stops six pixels before the
// end; in place, a store ends below the next load's first byte.
__attribute__((target("ssse3"))) void row32To24Ssse3(uchar *dst, const uchar *src, int n, int x = 0)
{
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    for (; x + 6 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 3 * x), _mm_shuffle_epi8(v, pick));
    }
    row32To24Plain(dst, src, n, x);
}

// Four pixels a step from a 16-byte load, of which 12 bytes are used; the
// load stops where it would read past the row.
__attribute__((target("ssse3"))) void row24To32Ssse3(uchar *__restrict dst, const uchar *__restrict src, int n,
                                                     std::uint32_t flip)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const __m128i flipv = _mm_set1_epi32(int(flip));
    int x = 0;
    for (; x + 6 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * x),
                         _mm_xor_si128(_mm_or_si128(_mm_shuffle_epi8(v, spread), opaque), flipv));
    }
    row24To32Plain(dst, src, n, x, flip);
}

// Back to front, four pixels a step; the 16-byte load of a step reaches four
// bytes into the pixels after it (already written, their bytes unused), so
// the last pixels up to a multiple of four, and at least four, go plain.
__attribute__((target("ssse3"))) void row24To32BackSsse3(uchar *dst, const uchar *src, int n, std::uint32_t flip)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const __m128i flipv = _mm_set1_epi32(int(flip));
    int x = n < 8 ? 0 : (n - 4) & ~3;
    for (int tail = n; tail > x;) {
        --tail;
        const std::uint32_t v = (0xFF000000u | std::uint32_t(src[3 * tail]) | std::uint32_t(src[3 * tail + 1]) << 8
                                 | std::uint32_t(src[3 * tail + 2]) << 16)
                                ^ flip;
        std::memcpy(dst + 4 * tail, &v, 4);
    }
    while (x >= 4) {
        x -= 4;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * x),
                         _mm_xor_si128(_mm_or_si128(_mm_shuffle_epi8(v, spread), opaque), flipv));
    }
    row24To32BackPlain(dst, src, x, flip);
}

// 64 bytes a step: two 128-entry permutes (by the low seven bits) and the
// top bit choosing between them; the row's end through masked loads.
#define ZK_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
ZK_VBMI inline __m512i lookup64(__m512i v, __m512i t0, __m512i t1, __m512i t2, __m512i t3)
{
    const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

ZK_VBMI void lookupVbmi(uchar *p, std::size_t n, const uchar (&table)[256])
{
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64)
        _mm512_storeu_si512(p + i, lookup64(_mm512_loadu_si512(p + i), t0, t1, t2, t3));
    if (i < n) {
        const __mmask64 m = (1ull << (n - i)) - 1; // fewer than 64 left
        _mm512_mask_storeu_epi8(p + i, m, lookup64(_mm512_maskz_loadu_epi8(m, p + i), t0, t1, t2, t3));
    }
}

// (v | opaque) ^ flip in one instruction.
ZK_VBMI inline __m512i opaqueFlip(__m512i v, __m512i opaque, __m512i flip)
{
    return _mm512_ternarylogic_epi32(v, opaque, flip, 0x56);
}

// Sixteen pixels a step, the row's end through masks.
ZK_VBMI void row32InvertAvx512(uchar *p, std::size_t n)
{
    const __m512i opaque = _mm512_set1_epi32(int(0xFF000000u));
    const __m512i colour = _mm512_set1_epi32(0x00FFFFFF);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_si512(p + 4 * i, opaqueFlip(_mm512_loadu_si512(p + 4 * i), opaque, colour));
    if (i < n) {
        const __mmask16 m = __mmask16((1u << (n - i)) - 1); // fewer than 16 left
        _mm512_mask_storeu_epi32(p + 4 * i, m, opaqueFlip(_mm512_maskz_loadu_epi32(m, p + 4 * i), opaque, colour));
    }
}

alignas(64) constexpr signed char kSpread24[64] = {
    0,  1,  2,  -1, 3,  4,  5,  -1, 6,  7,  8,  -1, 9,  10, 11, -1, 12, 13, 14, -1, 15, 16,
    17, -1, 18, 19, 20, -1, 21, 22, 23, -1, 24, 25, 26, -1, 27, 28, 29, -1, 30, 31, 32, -1,
    33, 34, 35, -1, 36, 37, 38, -1, 39, 40, 41, -1, 42, 43, 44, -1, 45, 46, 47, -1};

// Front to back, sixteen pixels a step from a 48-byte masked load (nothing
// past the row is read), one byte permute spreading them to 64.
ZK_VBMI void row24To32Vbmi(uchar *__restrict dst, const uchar *__restrict src, int n, std::uint32_t flip)
{
    const __m512i spread = _mm512_load_si512(kSpread24);
    const __m512i opaque = _mm512_set1_epi32(int(0xFF000000u));
    const __m512i flipv = _mm512_set1_epi32(int(flip));
    const __mmask64 in48 = (1ull << 48) - 1;
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m512i v = _mm512_maskz_loadu_epi8(in48, src + 3 * x);
        _mm512_storeu_si512(dst + 4 * x, opaqueFlip(_mm512_permutex2var_epi8(v, spread, v), opaque, flipv));
    }
    if (const int rest = n - x) {
        const __mmask64 in = (1ull << (3 * rest)) - 1;
        const __mmask64 out = (1ull << (4 * rest)) - 1; // rest < 16
        const __m512i v = _mm512_maskz_loadu_epi8(in, src + 3 * x);
        _mm512_mask_storeu_epi8(dst + 4 * x, out, opaqueFlip(_mm512_permutex2var_epi8(v, spread, v), opaque, flipv));
    }
}

// Back to front, sixteen pixels a step: 48 bytes in by a masked load (it reads
// nothing past them), one byte permute spreads them to 64. The end of the row
// goes first, its part-step through masks; every load lies below the stores
// made before it when dst lies at or after src.
ZK_VBMI void row24To32BackVbmi(uchar *dst, const uchar *src, int n, std::uint32_t flip)
{
    const __m512i spread = _mm512_load_si512(kSpread24);
    const __m512i opaque = _mm512_set1_epi32(int(0xFF000000u));
    const __m512i flipv = _mm512_set1_epi32(int(flip));
    int x = n & ~15;
    if (const int rest = n - x) {
        const __mmask64 in = (1ull << (3 * rest)) - 1;
        const __mmask64 out = (1ull << (4 * rest)) - 1; // rest < 16
        const __m512i v = _mm512_maskz_loadu_epi8(in, src + 3 * x);
        _mm512_mask_storeu_epi8(dst + 4 * x, out, opaqueFlip(_mm512_permutex2var_epi8(v, spread, v), opaque, flipv));
    }
    const __mmask64 in48 = (1ull << 48) - 1;
    while (x >= 16) {
        x -= 16;
        const __m512i v = _mm512_maskz_loadu_epi8(in48, src + 3 * x);
        _mm512_storeu_si512(dst + 4 * x, opaqueFlip(_mm512_permutex2var_epi8(v, spread, v), opaque, flipv));
    }
}

// Sixty-four pixels a step: four 64-byte loads, then three 64-byte stores,
// each put together from two neighbouring loads by one two-table byte
// permute. All loads of a step come before its stores, and a step's stores
// end before the next step's loads begin whenever dst lies at or before src.
// `op` works on each 64-byte register of narrowed pixels before its store
// (a 24-bit command's byte work done in the narrowing's own pass); the
// part-step at the row's end is narrowed plain and returned as a count of
// pixels done, for the caller to finish.
template <class Op>
ZK_VBMI int row32To24VbmiOp(uchar *dst, const uchar *src, int n, Op op)
{
    // Output byte j of store k is byte 4 (j / 3) + j % 3 of the pixels,
    // counted from load k.
    alignas(64) static constexpr auto kPick = [] {
        std::array<std::array<signed char, 64>, 3> t{};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 64; ++j) {
                const int out = 64 * k + j;
                t[std::size_t(k)][std::size_t(j)] = static_cast<signed char>(4 * (out / 3) + out % 3 - 64 * k);
            }
        return t;
    }();
    const __m512i pick0 = _mm512_load_si512(kPick[0].data());
    const __m512i pick1 = _mm512_load_si512(kPick[1].data());
    const __m512i pick2 = _mm512_load_si512(kPick[2].data());
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const uchar *s = src + 4 * x;
        const __m512i a = _mm512_loadu_si512(s);
        const __m512i b = _mm512_loadu_si512(s + 64);
        const __m512i c = _mm512_loadu_si512(s + 128);
        const __m512i d = _mm512_loadu_si512(s + 192);
        uchar *o = dst + 3 * x;
        _mm512_storeu_si512(o, op(_mm512_permutex2var_epi8(a, pick0, b)));
        _mm512_storeu_si512(o + 64, op(_mm512_permutex2var_epi8(b, pick1, c)));
        _mm512_storeu_si512(o + 128, op(_mm512_permutex2var_epi8(c, pick2, d)));
    }
    return x;
}

// Sixty-four pixels a step: four 64-byte loads, then three 64-byte stores,
// each put together from two neighbouring loads by one two-table byte
// permute. All loads of a step come before its stores, and a step's stores
// end before the next step's loads begin whenever dst lies at or before src.
ZK_VBMI void row32To24Vbmi(uchar *dst, const uchar *src, int n)
{
    // (A capturing lambda: a captureless one would also make a plain
    // function of itself, without the instruction set.)
    const int x = row32To24VbmiOp(dst, src, n, [&](__m512i v) __attribute__((target("avx512f"))) { return v; });
    row32To24Ssse3(dst, src, n, x);
}

ZK_VBMI void row32To24LookupVbmi(uchar *dst, const uchar *src, int n, const uchar (&table)[256])
{
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    const int x = row32To24VbmiOp(dst, src, n, [&](__m512i v) __attribute__((target("avx512f,avx512bw,avx512vbmi"))) {
        return lookup64(v, t0, t1, t2, t3);
    });
    if (x < n) {
        row32To24Ssse3(dst, src, n, x);
        lookupVbmi(dst + 3 * x, std::size_t(3 * (n - x)), table);
    }
}

// Index tables for sixty-four 24-bit pixels in three 64-byte registers.
// kSpread64[k]: register k of four holding the pixels as 32-bit lanes
// (B, G, R, 0), from the load pair (0, 1), (0, 1), (1, 2), (2, 2).
alignas(64) constexpr auto kSpread64 = [] {
    constexpr int base[4] = {0, 0, 64, 128};
    std::array<std::array<signed char, 64>, 4> t{};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 64; ++j)
            t[std::size_t(k)][std::size_t(j)] =
                static_cast<signed char>(j % 4 == 3 ? 0 : 48 * k + 3 * (j / 4) + j % 4 - base[k]);
    return t;
}();
// kGreyOut[k]: store k of three, byte j: the second byte of the lane of
// pixel (64 k + j) / 3 (the sum divided by 256), counted from lane register k
// (spilling into k + 1).
alignas(64) constexpr auto kGreyOut = [] {
    std::array<std::array<signed char, 64>, 3> t{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 64; ++j)
            t[std::size_t(k)][std::size_t(j)] = static_cast<signed char>(4 * ((64 * k + j) / 3) + 1 - 64 * k);
    return t;
}();

ZK_VBMI inline __m512i load64(const signed char *table)
{
    return _mm512_load_si512(table);
}

// The grey of sixteen pixels held as 32-bit lanes (B, G, R, any), in the
// second byte of each lane; see row24GreyVbmi below.
ZK_VBMI inline __m512i greyLanes(__m512i lanes)
{
    const __m512i weights = _mm512_set1_epi32(int(28u | 151u << 8 | 77u << 16));
    const __m512i pairs = _mm512_maddubs_epi16(weights, _mm512_xor_si512(lanes, _mm512_set1_epi8(char(0x80))));
    return _mm512_add_epi32(_mm512_madd_epi16(pairs, _mm512_set1_epi16(1)), _mm512_set1_epi32(128 * 256));
}

// Sixty-four pixels a step. Each pixel's bytes, less 128, are weighed by
// (28, 151, 77) with pairwise byte products: 28 (B - 128) + 151 (G - 128)
// stays within 16 bits, and so does 77 (R - 128); the two sums are added in
// 32 bits and the 128s given back, which is the plain path's sum exactly.
ZK_VBMI void row24GreyVbmi(uchar *row, int n)
{
    const __m512i sp0 = load64(kSpread64[0].data()), sp1 = load64(kSpread64[1].data());
    const __m512i sp2 = load64(kSpread64[2].data()), sp3 = load64(kSpread64[3].data());
    const __m512i out0 = load64(kGreyOut[0].data()), out1 = load64(kGreyOut[1].data());
    const __m512i out2 = load64(kGreyOut[2].data());
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        uchar *p = row + 3 * x;
        const __m512i a = _mm512_loadu_si512(p);
        const __m512i b = _mm512_loadu_si512(p + 64);
        const __m512i c = _mm512_loadu_si512(p + 128);
        const __m512i g0 = greyLanes(_mm512_permutex2var_epi8(a, sp0, b));
        const __m512i g1 = greyLanes(_mm512_permutex2var_epi8(a, sp1, b));
        const __m512i g2 = greyLanes(_mm512_permutex2var_epi8(b, sp2, c));
        const __m512i g3 = greyLanes(_mm512_permutex2var_epi8(c, sp3, c));
        _mm512_storeu_si512(p, _mm512_permutex2var_epi8(g0, out0, g1));
        _mm512_storeu_si512(p + 64, _mm512_permutex2var_epi8(g1, out1, g2));
        _mm512_storeu_si512(p + 128, _mm512_permutex2var_epi8(g2, out2, g3));
    }
    if (x < n)
        row24GreyAvx2(row + 3 * x, n - x);
}

// The same weighing straight from 32-bit pixels, whose lanes need no
// spreading (the fourth byte weighs 0), into 24-bit grey pixels: four loads,
// then three stores, so it may run in place as Row32To24 does.
ZK_VBMI void row32GreyVbmi(uchar *dst, const uchar *src, int n)
{
    const __m512i out0 = load64(kGreyOut[0].data()), out1 = load64(kGreyOut[1].data());
    const __m512i out2 = load64(kGreyOut[2].data());
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const uchar *s = src + 4 * x;
        const __m512i g0 = greyLanes(_mm512_loadu_si512(s));
        const __m512i g1 = greyLanes(_mm512_loadu_si512(s + 64));
        const __m512i g2 = greyLanes(_mm512_loadu_si512(s + 128));
        const __m512i g3 = greyLanes(_mm512_loadu_si512(s + 192));
        uchar *p = dst + 3 * x;
        _mm512_storeu_si512(p, _mm512_permutex2var_epi8(g0, out0, g1));
        _mm512_storeu_si512(p + 64, _mm512_permutex2var_epi8(g1, out1, g2));
        _mm512_storeu_si512(p + 128, _mm512_permutex2var_epi8(g2, out2, g3));
    }
    if (x < n) {
        row32To24Ssse3(dst, src, n, x);
        row24GreyAvx2(dst + 3 * x, n - x);
    }
}

// One 192-byte step of a 24-bit byte shuffle: output register k is permuted
// from the two source registers at lo[k].
ZK_VBMI inline void permute192(uchar *o, const uchar *s, const int (&lo)[3], __m512i m0, __m512i m1, __m512i m2)
{
    _mm512_storeu_si512(o, _mm512_permutex2var_epi8(_mm512_loadu_si512(s + lo[0]), m0, _mm512_loadu_si512(s + lo[0] + 64)));
    _mm512_storeu_si512(o + 64,
                        _mm512_permutex2var_epi8(_mm512_loadu_si512(s + lo[1]), m1, _mm512_loadu_si512(s + lo[1] + 64)));
    _mm512_storeu_si512(o + 128,
                        _mm512_permutex2var_epi8(_mm512_loadu_si512(s + lo[2]), m2, _mm512_loadu_si512(s + lo[2] + 64)));
}

// Sixty-four pixels a step from the end of src to the start of dst. Output
// register k needs the source bytes from lo[k] on (at most 128 of them);
// two loads from there never reach past the step's 192 bytes.
ZK_VBMI void row24MirrorVbmi(uchar *__restrict dst, const uchar *__restrict src, int n)
{
    static constexpr int lo[3] = {64, 63, 0};
    alignas(64) static constexpr auto kMirror = [] {
        std::array<std::array<signed char, 64>, 3> t{};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 64; ++j) {
                const int out = 64 * k + j;
                t[std::size_t(k)][std::size_t(j)] = static_cast<signed char>(3 * (63 - out / 3) + out % 3 - lo[k]);
            }
        return t;
    }();
    const __m512i m0 = load64(kMirror[0].data()), m1 = load64(kMirror[1].data()), m2 = load64(kMirror[2].data());
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const uchar *s = src + 3 * (n - 64 - x);
        uchar *o = dst + 3 * x;
        permute192(o, s, lo, m0, m1, m2);
    }
    // The middle pixels left: the first ones of src into the end of dst.
    if (x < n)
        row24MirrorSsse3(dst + 3 * x, src, n - x);
}

// Sixty-four pixels a step, blue and red swapped: output register k takes
// the source bytes from lo[k] on (each output byte is at most two bytes from
// its source byte), so two loads from there stay within the step's 192 bytes.
ZK_VBMI void row24SwapVbmi(uchar *__restrict dst, const uchar *__restrict src, int n)
{
    static constexpr int lo[3] = {0, 62, 64};
    alignas(64) static constexpr auto kSwap = [] {
        std::array<std::array<signed char, 64>, 3> t{};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 64; ++j) {
                const int out = 64 * k + j;
                t[std::size_t(k)][std::size_t(j)] = static_cast<signed char>(3 * (out / 3) + 2 - out % 3 - lo[k]);
            }
        return t;
    }();
    const __m512i m0 = load64(kSwap[0].data()), m1 = load64(kSwap[1].data()), m2 = load64(kSwap[2].data());
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const uchar *s = src + 3 * x;
        uchar *o = dst + 3 * x;
        permute192(o, s, lo, m0, m1, m2);
    }
    if (x < n)
        row24SwapSsse3(dst + 3 * x, src + 3 * x, n - x);
}

// Sixty-four pixels a step for the widening: exactly their 192 bytes in by
// three loads, four byte permutes from neighbouring pairs of them spread the
// pixels to 256; kWiden64[k]: register k from the pair (0, 1), (0, 1),
// (1, 2), (1, 2). Fewer, fuller steps than sixteen pixels a masked load.
alignas(64) constexpr auto kWiden64 = [] {
    constexpr int base[4] = {0, 0, 64, 64};
    std::array<std::array<signed char, 64>, 4> t{};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 64; ++j)
            t[std::size_t(k)][std::size_t(j)] =
                static_cast<signed char>(j % 4 == 3 ? 0 : 3 * (16 * k + j / 4) + j % 4 - base[k]);
    return t;
}();

struct Widen64
{
    __m512i pick[4], opaque, flip;
    ZK_VBMI explicit Widen64(std::uint32_t bits)
    {
        for (std::size_t k = 0; k < 4; ++k)
            pick[k] = _mm512_load_si512(kWiden64[k].data());
        opaque = _mm512_set1_epi32(int(0xFF000000u));
        flip = _mm512_set1_epi32(int(bits));
    }
    // All three loads come before the four stores, and the stores begin at
    // or after the loads' first byte: in place, back to front, nothing is
    // overwritten before it is read.
    ZK_VBMI void step(uchar *dst, const uchar *src) const
    {
        const __m512i a = _mm512_loadu_si512(src);
        const __m512i b = _mm512_loadu_si512(src + 64);
        const __m512i c = _mm512_loadu_si512(src + 128);
        const __m512i o0 = _mm512_permutex2var_epi8(a, pick[0], b);
        const __m512i o1 = _mm512_permutex2var_epi8(a, pick[1], b);
        const __m512i o2 = _mm512_permutex2var_epi8(b, pick[2], c);
        const __m512i o3 = _mm512_permutex2var_epi8(b, pick[3], c);
        _mm512_storeu_si512(dst + 192, opaqueFlip(o3, opaque, flip));
        _mm512_storeu_si512(dst + 128, opaqueFlip(o2, opaque, flip));
        _mm512_storeu_si512(dst + 64, opaqueFlip(o1, opaque, flip));
        _mm512_storeu_si512(dst, opaqueFlip(o0, opaque, flip));
    }
};

ZK_VBMI void row24To32Vbmi64(uchar *__restrict dst, const uchar *__restrict src, int n, std::uint32_t flip)
{
    const Widen64 widen(flip);
    int x = 0;
    for (; x + 64 <= n; x += 64)
        widen.step(dst + 4 * x, src + 3 * x);
    if (x < n)
        row24To32Vbmi(dst + 4 * x, src + 3 * x, n - x, flip);
}

ZK_VBMI void row24To32BackVbmi64(uchar *dst, const uchar *src, int n, std::uint32_t flip)
{
    int x = n & ~63;
    if (x < n)
        row24To32BackVbmi(dst + 4 * x, src + 3 * x, n - x, flip);
    const Widen64 widen(flip);
    while (x >= 64) {
        x -= 64;
        widen.step(dst + 4 * x, src + 3 * x);
    }
}

// Row32To24 and Row24Mirror in one: sixty-four pixels a step from the end
// of src, four loads, then three stores, each put together from two
// neighbouring loads by one two-table byte permute. Output register k needs
// the source bytes from lo[k] on (at most 128 of them).
ZK_VBMI void row32To24MirrorVbmi(uchar *__restrict dst, const uchar *__restrict src, int n)
{
    static constexpr int lo[3] = {128, 64, 0};
    alignas(64) static constexpr auto kPick = [] {
        std::array<std::array<signed char, 64>, 3> t{};
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 64; ++j) {
                const int out = 64 * k + j;
                t[std::size_t(k)][std::size_t(j)] = static_cast<signed char>(4 * (63 - out / 3) + out % 3 - lo[k]);
            }
        return t;
    }();
    const __m512i m0 = load64(kPick[0].data()), m1 = load64(kPick[1].data()), m2 = load64(kPick[2].data());
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const uchar *s = src + 4 * (n - 64 - x);
        const __m512i a = _mm512_loadu_si512(s);
        const __m512i b = _mm512_loadu_si512(s + 64);
        const __m512i c = _mm512_loadu_si512(s + 128);
        const __m512i d = _mm512_loadu_si512(s + 192);
        uchar *o = dst + 3 * x;
        _mm512_storeu_si512(o, _mm512_permutex2var_epi8(c, m0, d));
        _mm512_storeu_si512(o + 64, _mm512_permutex2var_epi8(b, m1, c));
        _mm512_storeu_si512(o + 128, _mm512_permutex2var_epi8(a, m2, b));
    }
    // The middle pixels left, fewer than 64: the first ones of src, narrowed
    // aside, into the end of dst.
    if (x < n) {
        uchar narrowed[3 * 64];
        row32To24Ssse3(narrowed, src, n - x);
        row24MirrorSsse3(dst + 3 * x, narrowed, n - x);
    }
}

// Sixty-four bytes a step with the processor's saturating byte sums; the
// last few through a mask.
ZK_VBMI void addSaturatedAvx512(uchar *p, std::size_t n, int d)
{
    const __m512i step = _mm512_set1_epi8(char(std::abs(d)));
    const auto add = [&](__m512i v) __attribute__((target("avx512f,avx512bw"))) {
        return d >= 0 ? _mm512_adds_epu8(v, step) : _mm512_subs_epu8(v, step);
    };
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64)
        _mm512_storeu_si512(p + i, add(_mm512_loadu_si512(p + i)));
    if (i < n) {
        const __mmask64 m = (1ull << (n - i)) - 1; // fewer than 64 left
        _mm512_mask_storeu_epi8(p + i, m, add(_mm512_maskz_loadu_epi8(m, p + i)));
    }
}
#undef ZK_VBMI

bool haveAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && pathLimit >= PixelRowPaths::Avx2;
}

bool haveVbmi()
{
    static const bool vbmi = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
    return vbmi && pathLimit >= PixelRowPaths::Avx512;
}

bool haveSsse3()
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    return ssse3 && pathLimit >= PixelRowPaths::Ssse3;
}
#endif

} // namespace

void Row32To24(uchar *dst, const uchar *src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row32To24Vbmi(dst, src, n);
        return;
    }
    if (haveSsse3()) {
        row32To24Ssse3(dst, src, n);
        return;
    }
#endif
    row32To24Plain(dst, src, n, 0);
}

void Row24To32(uchar *__restrict dst, const uchar *__restrict src, int n, std::uint32_t flip)
{
    flip &= 0xFFFFFFu;
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row24To32Vbmi64(dst, src, n, flip);
        return;
    }
    if (haveSsse3()) {
        row24To32Ssse3(dst, src, n, flip);
        return;
    }
#endif
    row24To32Plain(dst, src, n, 0, flip);
}

void Row24To32Backward(uchar *dst, const uchar *src, int n, std::uint32_t flip)
{
    flip &= 0xFFFFFFu;
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row24To32BackVbmi64(dst, src, n, flip);
        return;
    }
    if (haveSsse3()) {
        row24To32BackSsse3(dst, src, n, flip);
        return;
    }
#endif
    row24To32BackPlain(dst, src, n, flip);
}

void Row32Invert(uchar *p, std::size_t n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row32InvertAvx512(p, n);
        return;
    }
    if (haveAvx2()) {
        row32InvertAvx2(p, n);
        return;
    }
#endif
    row32InvertPlain(p, n, 0);
}

void FlipRows(uchar *bits, std::size_t stride, int height)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        flipRowsAvx512(bits, stride, height);
        return;
    }
    if (haveAvx2()) {
        flipRowsAvx2(bits, stride, height);
        return;
    }
#endif
    flipRowsPlain(bits, stride, height);
}

void Row32To24Lookup(uchar *dst, const uchar *src, int n, const uchar (&table)[256])
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row32To24LookupVbmi(dst, src, n, table);
        return;
    }
#endif
    Row32To24(dst, src, n);
    LookupBytes(dst, std::size_t(3) * std::size_t(n), table);
}

void Row32To24Grey(uchar *dst, const uchar *src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row32GreyVbmi(dst, src, n);
        return;
    }
#endif
    Row32To24(dst, src, n);
    Row24Grey(dst, n);
}

void LookupBytes(uchar *p, std::size_t n, const uchar (&table)[256])
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        lookupVbmi(p, n, table);
        return;
    }
#endif
    lookupPlain(p, n, table);
}

void AddSaturated(uchar *p, std::size_t n, int d)
{
    d = std::clamp(d, -255, 255);
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        addSaturatedAvx512(p, n, d);
        return;
    }
    // SSE2 is part of every x86-64 processor.
    const __m128i step = _mm_set1_epi8(char(std::abs(d)));
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i), d >= 0 ? _mm_adds_epu8(v, step) : _mm_subs_epu8(v, step));
    }
    addSaturatedPlain(p, n, d, i);
#else
    addSaturatedPlain(p, n, d, 0);
#endif
}

void Row24Grey(uchar *row, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row24GreyVbmi(row, n);
        return;
    }
    if (haveAvx2()) {
        row24GreyAvx2(row, n);
        return;
    }
    if (haveSsse3()) {
        row24GreySsse3(row, n);
        return;
    }
#endif
    row24GreyPlain(row, n, 0);
}

void Row24Mirror(uchar *__restrict dst, const uchar *__restrict src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row24MirrorVbmi(dst, src, n);
        return;
    }
    if (haveSsse3()) {
        row24MirrorSsse3(dst, src, n);
        return;
    }
#endif
    row24MirrorPlain(dst, src, n, 0);
}

void Row32To24Mirror(uchar *__restrict dst, const uchar *__restrict src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row32To24MirrorVbmi(dst, src, n);
        return;
    }
#endif
    // Narrowed in pieces through a small buffer that stays in the cache.
    uchar narrowed[3 * 256];
    for (int done = 0; done < n;) {
        const int k = std::min(256, n - done);
        Row32To24(narrowed, src + 4 * std::size_t(n - done - k), k);
        Row24Mirror(dst + 3 * std::size_t(done), narrowed, k);
        done += k;
    }
}

void Row24SwapRB(uchar *__restrict dst, const uchar *__restrict src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveVbmi()) {
        row24SwapVbmi(dst, src, n);
        return;
    }
    if (haveSsse3()) {
        row24SwapSsse3(dst, src, n);
        return;
    }
#endif
    row24SwapPlain(dst, src, n, 0);
}

void Rotate32Clockwise(uchar *dst, std::size_t dstStride, const uchar *src, std::size_t srcStride, int w, int h,
                       int srcBytes)
{
    const Turn t{dst, dstStride, src, srcStride, h, srcBytes};
#ifdef ZK_PIXEL_ROWS_X86
    if (haveAvx2()) {
        // The bands of destination rows are shared out; the edges that do
        // not fill a step of eight go plain.
        const int rFull = w & ~7, cFull = h & ~7;
        RunBandsDescending(
            (rFull + kTurnBand - 1) / kTurnBand, std::size_t(w) * std::size_t(std::max(h, 0)) * 4,
            [](int) { return std::pair(0, -1); },
            [&](int band) { turnAvx2(t, band * kTurnBand, std::min((band + 1) * kTurnBand, rFull)); });
        turnPlain(t, 0, rFull, cFull, t.h);
        turnPlain(t, rFull, w, 0, t.h);
        return;
    }
#endif
    turnPlain(t, 0, w, 0, h);
}

void LimitPixelRowPaths(PixelRowPaths limit)
{
    pathLimit = limit;
}

bool PixelRowPathAllowed(PixelRowPaths path)
{
#ifdef ZK_PIXEL_ROWS_X86
    switch (path) {
    case PixelRowPaths::Plain: return true;
    case PixelRowPaths::Ssse3: return haveSsse3();
    case PixelRowPaths::Avx2: return haveAvx2();
    case PixelRowPaths::Avx512: return haveVbmi();
    }
    return false;
#else
    return path == PixelRowPaths::Plain;
#endif
}

} // namespace zk
