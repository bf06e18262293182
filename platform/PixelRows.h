#pragma once
// Whole rows of true-colour pixels from one layout into the other, at memory
// speed: SSSE3 shuffles where the processor has them, plain code elsewhere.
// Used by the bitmap's format change, the screen grab and the AVI reader.
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace zk {

// n pixels B, G, R, X into B, G, R. dst may be src itself or lie before it
// (a row shrunk in place): every byte is read before a store reaches it.
void Row32To24(uchar *dst, const uchar *src, int n);

// Row32To24 with each byte of the result then going through table, and
// Row32To24 followed by Row24Grey: a 24-bit command's work done in the
// narrowing's own pass. dst may be src itself or lie before it.
void Row32To24Lookup(uchar *dst, const uchar *src, int n, const uchar (&table)[256]);
void Row32To24Grey(uchar *dst, const uchar *src, int n);

// n pixels B, G, R into B, G, R, 0xFF. dst and src must not overlap. The
// colour bits of flip (0x00RRGGBB) are inverted on the way: the invert
// command widens and inverts in one pass.
void Row24To32(uchar *__restrict dst, const uchar *__restrict src, int n, std::uint32_t flip = 0);

// The same, walking from the last pixel to the first, so dst may be src
// itself or lie after it (a row widened in place).
void Row24To32Backward(uchar *dst, const uchar *src, int n, std::uint32_t flip = 0);

// n pixels B, G, R, X in place: blue, green and red become 255 minus
// themselves, X becomes 0xFF (an inverted picture stays opaque).
void Row32Invert(uchar *p, std::size_t n);

// The height rows of stride bytes at bits turned upside down in place: the
// first row changes places with the last, and so on inwards.
void FlipRows(uchar *bits, std::size_t stride, int height);

// Each of the n bytes at p becomes table[byte].
void LookupBytes(uchar *p, std::size_t n, const uchar (&table)[256]);

// Each of the n bytes at p plus d, held within 0..255 (d is limited to
// -255..255 first).
void AddSaturated(uchar *p, std::size_t n, int d);

// n pixels B, G, R in place: each channel becomes
// (77 red + 151 green + 28 blue) / 256, rounded down.
void Row24Grey(uchar *row, int n);

// n pixels of B, G, R in reverse order: dst's first pixel is src's last.
// dst and src must not overlap.
void Row24Mirror(uchar *__restrict dst, const uchar *__restrict src, int n);

// Row32To24 and Row24Mirror in one pass: dst's first pixel is src's last,
// narrowed. dst and src must not overlap.
void Row32To24Mirror(uchar *__restrict dst, const uchar *__restrict src, int n);

// n pixels with their first and third bytes swapped (B, G, R <-> R, G, B).
// dst and src must not overlap.
void Row24SwapRB(uchar *__restrict dst, const uchar *__restrict src, int n);

// The w x h picture at src (srcBytes 3: B, G, R; 4: B, G, R, X) turned
// clockwise by 90 degrees into the h x w 32-bit picture at dst: destination
// pixel (c, r) is source pixel (r, h - 1 - c). Every destination pixel has
// 0xFF as its fourth byte, whatever a four-byte source pixel held there: the
// turn of a 32-bit picture gives what narrowing it to 24 bits first would.
void Rotate32Clockwise(uchar *dst, std::size_t dstStride, const uchar *src, std::size_t srcStride, int w, int h,
                       int srcBytes);

// The widest instructions the row functions may use (the processor's own
// limit still holds). Tests walk every path a machine has; the program never
// calls it.
enum class PixelRowPaths { Plain, Ssse3, Avx2, Avx512 };
void LimitPixelRowPaths(PixelRowPaths limit);

// True when row code elsewhere (the PNG rows) may take the path: the
// processor has it and the limit allows it.
bool PixelRowPathAllowed(PixelRowPaths path);

} // namespace zk
