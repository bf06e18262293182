#pragma once
// The byte-level pieces of PNG image data that need no picture: the chunk
// CRC, row geometry, the five row filters with their undoing, the filter
// choice on saving and the Adam7 pass table.
#include <array>
#include <cstddef>
#include <cstdint>

namespace zk::png {

// CRC-32 as PNG uses it (reflected 0xEDB88320, start all ones, complemented).
// Update keeps the running register un-complemented; Crc32 does it all.
uint32_t Crc32Update(uint32_t reg, const uint8_t *data, size_t len);
// zlib's Adler-32 of data continued from adler (1 to start), 32 bytes a
// step where the processor allows.
uint32_t Adler32(uint32_t adler, const uint8_t *data, size_t len);
inline uint32_t Crc32(const uint8_t *data, size_t len)
{
    return Crc32Update(0xFFFFFFFFu, data, len) ^ 0xFFFFFFFFu;
}

enum FilterType : uint8_t { ftNone = 0, ftSub = 1, ftUp = 2, ftAverage = 3, ftPaeth = 4 };

// Bytes of one row without its filter byte, and the byte distance to the
// left neighbour used by the filters (bytes per complete pixel, at least 1).
// Both are 0 for an unknown colour type or a depth it does not allow.
struct RowLayout
{
    int64_t rowBytes = 0;
    int bpp = 0;
};
RowLayout Layout(int colourType, int bitDepth, int64_t width);

// True for the pairs the PNG format allows.
bool ValidColourDepth(int colourType, int bitDepth);

inline uint8_t PaethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return uint8_t(a);
    if (pb <= pc)
        return uint8_t(b);
    return uint8_t(c);
}

// Undoes filter `type` in place; prior is the previous raw row (zeros for
// the first). Returns false for a type above Paeth.
bool UnfilterRow(uint8_t type, uint8_t *row, const uint8_t *prior, size_t n, int bpp);

// Undoes the filters of `count` rows that lie `stride` bytes apart, each
// its filter byte followed by stride - 1 bytes; the row above the first
// lies right before it. Returns the index of the first row of a type above
// Paeth (rows from there on are left as they were), count when none.
size_t UnfilterRows(uint8_t *first, size_t count, size_t stride, int bpp);

// Applies filter `type` (Sub..Paeth) to raw into out.
void FilterRow(uint8_t type, uint8_t *out, const uint8_t *raw, const uint8_t *prior, size_t n, int bpp);

// The choice score of one filtered row: positions x >= 4 whose byte equals
// the four bytes before it.
int64_t RunScore(const uint8_t *out, size_t n);

// The same two steps in one pass, sixteen bytes at a time: applies filter
// `type` (None..Paeth; None copies) to raw into out and returns RunScore of
// the output. Outputs and scores equal FilterRow + RunScore byte for byte.
int64_t FilterAndScore(uint8_t type, uint8_t *out, const uint8_t *raw, const uint8_t *prior, size_t n,
                       int bpp);
// Tests only: when set, FilterAndScore keeps to its sixteen-byte steps on
// processors that could take 32 bytes a step.
extern bool FilterWithoutAvx2ForTest;

// Adam7 passes.
struct Adam7Pass
{
    int startRow, startCol, rowStep, colStep;
    uint8_t colMask;
};
extern const std::array<Adam7Pass, 7> Adam7;

inline int64_t PassWidth(const Adam7Pass &p, int64_t width)
{
    return width > p.startCol ? (width - p.startCol + p.colStep - 1) / p.colStep : 0;
}

} // namespace zk::png
