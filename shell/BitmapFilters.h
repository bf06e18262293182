#pragma once
// The pixel routines behind the picture commands of the main window: mirror,
// flip, rotate, invert, grey, brightness, contrast, smoothing, tiling, soft
// edges and RGB shift. Each works in place on a bitmap and keeps no state.
//
// Pixel formats. The row routines work on the layout they were written for
// and bring the bitmap there first when it is in another one (the commands
// set it anyway, so this costs nothing there; it only keeps a forgotten
// conversion from walking a 1-bit row as if it held 3 bytes a pixel):
//   24 bits (B, G, R)       MirrorBitmapH, MirrorBitmapV, GrayBitmap,
//                           BrightnessBitmap, ContrastBitmap
//   32 bits (B, G, R, X)    RotateBitmap90, InvertBitmap
// A 32-bit picture given to a 24-bit routine is narrowed in the routine's
// own pass, row by row; a 24-bit one given to RotateBitmap90 or
// InvertBitmap is widened by it the same way.
// The X byte stays 0xFF: an opaque picture never turns transparent.
// SmoothRect, SoftenEdges and ShiftRGB keep the bitmap's own format: 24- and
// 32-bit pictures are changed in their rows, any other depth through a 32-bit
// working copy drawn back over the picture (palette pictures then take the
// nearest palette colour for each pixel that changed).
//
// Every routine that changes pixels calls the bitmap's OnChange afterwards,
// so a view showing it repaints. None of them lets the event loop run: a
// picture is never seen, saved or edited half-filtered.
#include "Bitmap.h"

#include <QRect>
#include <QString>

#include <cstdint>

namespace zk {

// Left-right mirror.
void MirrorBitmapH(TBitmap &bitmap);
// Top-bottom flip. The result is 24-bit; a 32-bit picture is narrowed in
// the same pass.
void MirrorBitmapV(TBitmap &bitmap);
// Rotates clockwise by 90 degrees: a w x h picture becomes h x w, its
// bottom-left pixel becomes the top-left one. The result is 32-bit and
// opaque; a 24- or 32-bit picture is read as it is, any other depth is
// brought to 24 bits first.
void RotateBitmap90(TBitmap &bitmap);
// Each colour channel c becomes 255 - c.
void InvertBitmap(TBitmap &bitmap);
// Grey := (77 red + 151 green + 28 blue) / 256, rounded down, into all
// three channels (white stays 255, pure red gives 76).
void GrayBitmap(TBitmap &bitmap);

// Adds delta to every channel of source and writes the result into dest,
// saturating at 0 and 255. The commands pass the same bitmap twice; a
// different dest first becomes a copy of source.
void BrightnessBitmap(TBitmap &dest, const TBitmap &source, int delta);
void BrightnessBitmap(TBitmap &bitmap, int delta);

// Raises contrast around 128: every channel c becomes
// round((c - 128) * factor) + 128, limited to 0..255, where factor is
// amount / 100 + 1 held in single precision and halves round to the even
// neighbour. Amount 0 leaves the picture as it is.
void ContrastBitmap(TBitmap &bitmap, std::uint8_t amount);

// A 3 x 3 mean over the rectangle (clipped to the picture). Pixels are
// visited row by row, left to right, and each result is stored at once, so a
// pixel already sees the smoothed values of its upper and left neighbours.
// The rectangle's outer one-pixel frame keeps its values; a rectangle
// narrower or lower than 3 pixels changes nothing.
void SmoothRect(TBitmap &bitmap, const QRect &rect);

// Pulls the neighbours of every pixel of the rectangle (clipped to the
// picture) toward it: for each pixel C, in rows from the top and left to
// right, its left, right, upper and lower neighbour N (only those inside the
// picture), when it differs from C, becomes per channel
// round((N - C) * 50 / (amount + 50) + C), halves to the even value. The
// changes are made in place, so later pixels read the new values. Amount 0
// changes nothing; larger amounts pull harder. A negative amount raises
// std::invalid_argument (it would push colours past 0 and 255).
void SoftenEdges(TBitmap &bitmap, const QRect &rect, int amount);

// Adds red, green and blue to the matching channel of every pixel where the
// sum stays within 0..255; where it would not, that channel keeps its value
// (no clamping). False, with nothing changed, when all three are 0.
bool ShiftRGB(TBitmap &bitmap, int red, int green, int blue);

// Covers target with copies of tile in rows and columns from the top-left
// corner; the last column and row are cut off at the edge. Returns the number
// of copies drawn. A tile of zero width or height raises EInvalidGraphic and
// leaves target unchanged.
int TileBitmap(const TBitmap &tile, TBitmap &target);
// The same with the tile loaded from a BMP file. A file that cannot be read or
// is not a bitmap raises the loader's EGraphicError; target is then unchanged.
int TileBitmapFile(const QString &fileName, TBitmap &target);

} // namespace zk
