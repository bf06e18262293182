#include "PixelRows.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZK_PIXEL_ROWS_X86 1
#endif

namespace zk {

namespace {

// Byte by byte, front to back, so it may run in place.
void row32To24Plain(uchar *dst, const uchar *src, int n, int x)
{
    for (; x < n; ++x) {
        dst[3 * x] = src[4 * x];
        dst[3 * x + 1] = src[4 * x + 1];
        dst[3 * x + 2] = src[4 * x + 2];
    }
}

void row24To32Plain(uchar *__restrict dst, const uchar *__restrict src, int n, int x)
{
    for (; x < n; ++x) {
        const std::uint32_t v = 0xFF000000u | std::uint32_t(src[3 * x]) | std::uint32_t(src[3 * x + 1]) << 8
                                | std::uint32_t(src[3 * x + 2]) << 16;
        std::memcpy(dst + 4 * x, &v, 4);
    }
}

#ifdef ZK_PIXEL_ROWS_X86
// Four pixels at a time: one shuffle drops the padding bytes. Each 16-byte
// store overlaps the next by four bytes, so it stops six pixels before the
// end; in place, a store ends below the next load's first byte.
__attribute__((target("ssse3"))) void row32To24Ssse3(uchar *dst, const uchar *src, int n)
{
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 3 * x), _mm_shuffle_epi8(v, pick));
    }
    row32To24Plain(dst, src, n, x);
}

// Four pixels a step from a 16-byte load, of which 12 bytes are used; the
// load stops where it would read past the row.
__attribute__((target("ssse3"))) void row24To32Ssse3(uchar *__restrict dst, const uchar *__restrict src, int n)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    int x = 0;
    for (; x + 6 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * x),
                         _mm_or_si128(_mm_shuffle_epi8(v, spread), opaque));
    }
    row24To32Plain(dst, src, n, x);
}

bool haveSsse3()
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    return ssse3;
}
#endif

} // namespace

void Row32To24(uchar *dst, const uchar *src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveSsse3()) {
        row32To24Ssse3(dst, src, n);
        return;
    }
#endif
    row32To24Plain(dst, src, n, 0);
}

void Row24To32(uchar *__restrict dst, const uchar *__restrict src, int n)
{
#ifdef ZK_PIXEL_ROWS_X86
    if (haveSsse3()) {
        row24To32Ssse3(dst, src, n);
        return;
    }
#endif
    row24To32Plain(dst, src, n, 0);
}

} // namespace zk
