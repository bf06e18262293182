#pragma once
// Colour reduction: a true-colour bitmap becomes an 8-bit bitmap with a
// palette of at most 256 colours, for GIF frames.
//
// ReduceBitmapColors picks a target palette by method, maps every pixel to it
// through a colour lookup and, by dither mode, spreads each pixel's error over
// its neighbours. Rows are walked in serpentine order: the first row left to
// right, the next right to left, and so on.
//
// Methods (TReductionMethod):
//   0 none: a copy of the source at 24 bits
//   1 the 20 colours of the Windows default palette       fast lookup
//   2 our halftone palette (HalftonePalette below)          fast lookup
//   3 four greys 0, 128, 192, 255                           fast lookup
//   4 black and white                                       monochrome lookup
//   5 256 greys                                             grey-scale lookup
//   6 the 216 web-safe colours                              web-safe lookup
//   7 octree palette of 2^colorBits colours (1..8 bits)     fast lookup
//   8 octree palette of 236 colours framed by the 20 Windows colours
//   9 the caller's palette (its first 256 entries)          fast lookup
// Dither modes (TDitherMode): 0 nearest colour, 1 Floyd-Steinberg, 2 Stucki,
// 3 Sierra, 4 Jarvis-Judice-Ninke, 5 Stevenson-Arce, 6 Burkes.
//
// An unknown method or dither mode, or method 9 without a palette, gives an
// empty bitmap (Empty() is true) and no exception; callers must refuse it.
// Every method but 0 first converts the source itself to 24 bits.
//
// Nearest-colour mapping of a whole picture runs on several threads; the
// result is the same as the one-thread walk, pixel for pixel.
#include "Bitmap.h"
#include "Graphic.h"

#include <QVector>

#include <algorithm>

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

namespace zk {

enum TReductionMethod {
    rmNone = 0,
    rmWindows20 = 1,
    rmHalftone = 2,
    rmGrayscale4 = 3,
    rmMonochrome = 4,
    rmGrayscale256 = 5,
    rmNetscape = 6,
    rmQuantize = 7,
    rmQuantizeWindows = 8,
    rmPalette = 9,
};

enum TDitherMode {
    dmNearest = 0,
    dmFloydSteinberg = 1,
    dmStucki = 2,
    dmSierra = 3,
    dmJaJuNi = 4,
    dmSteveArche = 5,
    dmBurkes = 6,
};

// The class library's out-of-memory error, for allocations that are reported
// with a message of their own.
class EOutOfMemory : public EGraphicError
{
public:
    using EGraphicError::EGraphicError;
};

// The 20 static colours of the Windows default palette, in its order: the
// first ten sit at the bottom of a system palette, the last ten at the top.
extern const std::array<QRgb, 20> WindowsDefaultColors;
QVector<QRgb> WindowsDefaultPalette();
// Our halftone palette, 256 entries: the first ten Windows colours (0-9), the
// whole 6x6x6 cube of 0, 51, ..., 255 with red outermost (10-225; its eight
// corners repeat Windows colours and, losing every tie, are never chosen),
// twenty greys (226-245) and the last ten Windows colours (246-255). The
// greys are 8k + 4 for the grey 15-bit keys k that no other entry claims, so
// the fast lookup can reach each; of the 23 such keys, the three whose grey
// lies within 5 of an existing one (124, 148, 188) are left out.
QVector<QRgb> HalftonePalette();

// ------------------------------------------------------------------ lookups

// Maps a colour to a palette index and gives that entry's colour back.
class TColorLookup
{
public:
    explicit TColorLookup(int colors) : m_colors(colors) {}
    virtual ~TColorLookup() = default;
    TColorLookup(const TColorLookup &) = delete;
    TColorLookup &operator=(const TColorLookup &) = delete;

    virtual int Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) = 0;
    int Colors() const { return m_colors; }

    // The lookup depends on nothing but the colour (no cache that fills as
    // pixels arrive): rows may then be mapped on any thread.
    virtual bool Stateless() const { return true; }

protected:
    int m_colors;
};

// Nearest colour by the sum of absolute differences, cached by the 15-bit
// colour (red shr 3 in bits 0-4, green in 5-9, blue in 10-14). Each palette
// entry claims its own key first (an earlier entry keeps a key); a miss
// searches the palette (ties go to the lower index) and caches the answer for
// every later colour of that key, so the answer can depend on which colour of
// a key came first.
class TFastColorLookup : public TColorLookup
{
public:
    explicit TFastColorLookup(const QVector<QRgb> &palette);
    int Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
    bool Stateless() const override { return false; }

    static int Key(int red, int green, int blue) { return (red >> 3) | ((green >> 3) << 5) | ((blue >> 3) << 10); }
    static constexpr uint16_t EmptySlot = 0xFFFF;
    // The cached index of a key, EmptySlot when none.
    uint16_t Cached(int key) const { return m_cache[size_t(key)]; }
    // The search a miss makes, without touching the cache.
    int Nearest(int red, int green, int blue) const;
    // Fills an empty slot with the answer for this colour (as a miss would).
    void Fill(int key, int red, int green, int blue) { m_cache[size_t(key)] = uint16_t(Nearest(red, green, blue)); }
    QRgb Entry(int index) const { return m_palette[size_t(index)]; }

private:
    std::vector<QRgb> m_palette;
    std::vector<uint16_t> m_cache;
};

// The web-safe cube: each component goes to its nearest level of 0, 51, ...,
// 255; index = red level x 36 + green level x 6 + blue level.
class TNetscapeColorLookup : public TColorLookup
{
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    int Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
};

// Index (red x 77 + green x 150 + blue x 29) shr 8, the grey of that value.
class TGrayScaleLookup : public TColorLookup
{
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    int Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
};

// Black (index 0) below a weighted sum of 32513, white (index 1) from there.
class TMonochromeLookup : public TColorLookup
{
public:
    TMonochromeLookup() : TColorLookup(2) {}
    int Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
};

// --------------------------------------------------------------- ditherers

// Nearest colour, no error diffusion. Direction +1 or -1 (starts at +1),
// column starts at 0; NextLine reverses the direction and puts the column at
// the start of the new row.
class TDitherEngine
{
public:
    TDitherEngine(int width, TColorLookup &lookup);
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine &) = delete;
    TDitherEngine &operator=(const TDitherEngine &) = delete;

    virtual int Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue);
    virtual void NextLine();

    int Direction() const { return m_direction; }
    int Column() const { return m_column; }
    int Width() const { return m_width; }

protected:
    static int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
    // Looks up the input plus each channel's share(c) of the errors, clamped
    // to 0..255; error[c] receives that value minus the chosen colour.
    template <class Share>
    int LookupAdjusted(int red, int green, int blue, Share share, int32_t error[3], int &outRed, int &outGreen,
                       int &outBlue)
    {
        const int r = Clamp(red + share(0)), g = Clamp(green + share(1)), b = Clamp(blue + share(2));
        const int index = m_lookup.Lookup(r, g, b, outRed, outGreen, outBlue);
        error[0] = r - outRed;
        error[1] = g - outGreen;
        error[2] = b - outBlue;
        return index;
    }
    int m_direction = 1;
    int m_column = 0;
    TColorLookup &m_lookup;
    int m_width;
};

// Floyd-Steinberg: 7/16 to the next pixel, 3/16 below-behind, 5/16 below,
// 1/16 below-ahead. One error row per channel of width + 2 entries: entry
// c + 1 holds what column c of the next row receives (0 and width + 1 are
// margins). The pixel reads its entry one step ahead of the pointer and
// stores the finished below-behind sum at the pointer, every pixel, also when
// its error is 0 (skipping the store would leave an old sum in the cell).
class TFloydSteinbergDitherer final : public TDitherEngine
{
public:
    TFloydSteinbergDitherer(int width, TColorLookup &lookup);
    int Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
    void NextLine() override;

private:
    std::vector<int32_t> m_errors[3];
    int32_t *m_ptr[3];
    int32_t m_carried[3] = {0, 0, 0};
    int32_t m_belowBehind[3] = {0, 0, 0};
    int32_t m_below[3] = {0, 0, 0};
};

// Error rows of the kernels that look more than one row ahead: per channel
// `Rows` rows of width + 2 x margin entries, entry c + margin for column c,
// and a pointer into each row at the current pixel.
template <int Rows>
struct TErrorRows
{
    std::vector<int32_t> rows[3][Rows]; // [channel][row], row 0 the current
    int32_t *ptr[3][Rows];

    TErrorRows(int width, int margin)
    {
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < Rows; ++r) {
                rows[c][r].assign(size_t(width) + 2 * size_t(margin), 0);
                ptr[c][r] = rows[c][r].data() + margin;
            }
    }
    void Advance(int c, int direction)
    {
        for (int r = 0; r < Rows; ++r)
            ptr[c][r] += direction;
    }
    // The current rows, zeroed, become the last; the others move up one; the
    // pointers go to entry `start`.
    void NextLine(size_t start)
    {
        for (int c = 0; c < 3; ++c) {
            std::fill(rows[c][0].begin(), rows[c][0].end(), 0);
            for (int r = 0; r + 1 < Rows; ++r)
                std::swap(rows[c][r], rows[c][r + 1]);
            for (int r = 0; r < Rows; ++r)
                ptr[c][r] = rows[c][r].data() + start;
        }
    }
};

// Kernels over the current row and the next two: three rows per channel of
// width + 4 entries, entry c + 2 for column c.
class T5by3Ditherer : public TDitherEngine
{
public:
    int Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
    void NextLine() override;

protected:
    T5by3Ditherer(int width, TColorLookup &lookup, int divisor);
    // Spreads one channel's error from the current pixel: row0 points at the
    // pixel in the current row, row1 and row2 at its column in the next rows.
    virtual void Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2) = 0;
    int m_direction2 = 2;
    int m_divisor;

private:
    TErrorRows<3> m_rows;
};

class TStuckiDitherer final : public T5by3Ditherer
{
public:
    TStuckiDitherer(int width, TColorLookup &lookup) : T5by3Ditherer(width, lookup, 42) {}

protected:
    void Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2) override;
};

class TSierraDitherer final : public T5by3Ditherer
{
public:
    TSierraDitherer(int width, TColorLookup &lookup) : T5by3Ditherer(width, lookup, 32) {}

protected:
    void Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2) override;
};

class TJaJuNiDitherer final : public T5by3Ditherer
{
public:
    TJaJuNiDitherer(int width, TColorLookup &lookup) : T5by3Ditherer(width, lookup, 48) {}

protected:
    void Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2) override;
};

// Stevenson-Arce over four rows (width + 6 entries, entry c + 3 for column c),
// divisor 200.
class TSteveArcheDitherer final : public TDitherEngine
{
public:
    TSteveArcheDitherer(int width, TColorLookup &lookup);
    int Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
    void NextLine() override;

private:
    TErrorRows<4> m_rows;
    int m_direction2 = 2;
    int m_direction3 = 3;
};

// Burkes over two rows (width + 4 entries, entry c + 2 for column c), divisor 32.
class TBurkesDitherer final : public TDitherEngine
{
public:
    TBurkesDitherer(int width, TColorLookup &lookup);
    int Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue) override;
    void NextLine() override;

private:
    TErrorRows<2> m_rows;
    int m_direction2 = 2;
};

// ---------------------------------------------------------- pixel access

// A bitmap's rows at one depth.
class TDIB
{
public:
    TDIB(TBitmap &bitmap, TPixelFormat pixelFormat) : m_bitmap(bitmap), m_pixelFormat(pixelFormat) {}
    virtual ~TDIB() = default;
    TDIB(const TDIB &) = delete;
    TDIB &operator=(const TDIB &) = delete;
    TPixelFormat PixelFormat() const { return m_pixelFormat; }
    TBitmap &Bitmap() { return m_bitmap; }

protected:
    TBitmap &m_bitmap;
    TPixelFormat m_pixelFormat;
};

// Reads a bitmap's rows; the bitmap itself is converted to the pixel format
// on creation.
class TDIBReader : public TDIB
{
public:
    TDIBReader(TBitmap &bitmap, TPixelFormat pixelFormat);
    // EInvalidGraphicOperation outside 0..height-1.
    const uchar *ScanLine(int row) const;
    int Width() const { return m_bitmap.Width(); }
    int Height() const { return m_bitmap.Height(); }
};

// Builds new pixels for a bitmap (8 bits with a palette of up to 256 colours,
// or 24 bits) and stores them into it when it is destroyed, or at Finish().
// Nothing is stored when it goes away during an exception, so a failure
// never leaves half-written pixels behind.
class TDIBWriter : public TDIB
{
public:
    // GIFException "Unsupported PixelFormat" for other depths, "Invalid image
    // dimensions" for an empty or over-limit size; EOutOfMemory "Failed to
    // allocate memory for GIF DIB" when the pixels cannot be had.
    TDIBWriter(TBitmap &bitmap, TPixelFormat pixelFormat, int width, int height,
               const QVector<QRgb> &palette = {});
    ~TDIBWriter() override;
    // Rows are padded to 4 bytes; EInvalidGraphicOperation outside
    // 0..height-1.
    uchar *ScanLine(int row);
    void Finish();
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_width;
    int m_height;
    std::size_t m_rowBytes;
    QVector<QRgb> m_palette;
    PixelBuffer m_bits;
    bool m_done = false;
    int m_exceptions;
};

// ------------------------------------------------------------------ octree

struct TOctreeNode
{
    bool leaf = false;
    uint32_t pixelCount = 0;
    // 64 bits: a picture of up to 2^28 pixels overflows 32-bit sums.
    uint64_t redSum = 0, greenSum = 0, blueSum = 0;
    int32_t next = -1;      // next reducible node of the same level
    int32_t children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

// Builds an octree palette. Colours go in pixel by pixel; whenever there are
// more leaves than the maximum, the head of the deepest non-empty list of
// reducible nodes (the node made last on that level) is merged into a leaf.
class TColorQuantizer
{
public:
    TColorQuantizer(int maxColors, int colorBits);
    void AddColor(int red, int green, int blue) { AddColors(red, green, blue, 1); }
    // The same colour `count` times in a row; the same tree as that many
    // single additions (a repeated colour creates no node, so no reduction
    // happens between the repeats).
    void AddColors(int red, int green, int blue, uint32_t count);
    void AddRows(const TDIBReader &reader);
    // Leaves depth-first, children in order 0-7.
    QVector<QRgb> Colors() const;
    int LeafCount() const { return m_leafCount; }

private:
    int32_t NewNode(int level);
    void Reduce();
    void FreeNode(int32_t n);
    std::vector<TOctreeNode> m_nodes;
    std::vector<int32_t> m_free;
    int32_t m_root;
    int m_leafCount = 0;
    int32_t m_reducible[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int m_maxColors;
    int m_colorBits; // the leaf level
};

// Without Windows colours: `colors` entries (1..256) from an octree of
// `depth` levels (1..8). With them: the 20 Windows colours at 0-9 and
// 246-255 and 236 octree colours from entry 10. When the tree gives fewer
// colours than asked, the remaining entries repeat entry 0, which wins every
// tie, so no pixel maps to them.
QVector<QRgb> BuildOctreePalette(const TDIBReader &reader, int colors, int depth, bool withWindowsColors);
// Converts the bitmap to 24 bits and reads it.
QVector<QRgb> BuildOctreePalette(TBitmap &bitmap, int colors, int depth, bool withWindowsColors);

// ------------------------------------------------------------------ driver

// See the header comment. colorBits (method 7) is clamped to 1..8.
// GIFException "Invalid image dimensions" for an empty or over-limit source,
// raised before anything is allocated or converted.
TBitmap ReduceBitmapColors(TBitmap &bitmap, int method, int ditherMode, const QVector<QRgb> &palette = {},
                           int colorBits = 8);

// Maps every row with the ditherer in serpentine order; rows of the
// reader go to the writer's 8-bit rows.
void DitherRows(const TDIBReader &reader, TDitherEngine &ditherer, TDIBWriter &writer);

} // namespace zk
