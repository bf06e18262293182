#pragma once
// TIFF writer: a bitmap as an uncompressed, little-endian, single-strip TIFF
// file. Write only; the program reads no TIFF files.
//
// Layouts by depth (every number little-endian, one strip holding all rows
// from the top row down, rows not padded, the IFD at the end):
//   1 bit        bilevel: black/white palettes as BlackIsZero, white/black
//                as WhiteIsZero; any other two colours as a 2-entry palette
//                picture (the 4/8-bit layout with BitsPerSample 1).
//   4 and 8 bit  palette: ColorMap at offset 8 (all red, then green, then
//                blue values, component * 256), then XResolution,
//                YResolution, Software, strip, IFD. 4-bit rows hold
//                (width + 1) / 2 bytes. Short palettes are padded with black.
//   15 and 16 bit converted to 24 bits first.
//   24 and 32 bit RGB: XResolution at 8, YResolution at 16, BitsPerSample
//                8,8,8 at 24, Software at 30, strip at 40, IFD after it.
// Resolution is 87.7 dpi (877/10), ResolutionUnit inch, Software the ten
// characters "Tellivoran" without a terminating zero. Width and height above
// 65535 are written as LONG. The IFD always starts at an even offset (one pad
// byte after an odd-sized strip).
#include <QString>

class QIODevice;

namespace zk {

class TBitmap;

// Writes the whole file at the device's current position; the offsets in the
// file count from that position, so the TIFF begins there. The bytes go out
// in order without seeking, so any writable device will do.
// EInvalidGraphicOperation for a bitmap without pixels, EGraphicFileError
// when the device refuses bytes.
void WriteTiffStream(const TBitmap &bmp, QIODevice &out);

// Writes the file to a temporary name in the same folder and renames it over
// fileName only when everything was written; on failure (EGraphicFileError,
// or the errors of WriteTiffStream) an existing file stays as it was and no
// empty file is left behind.
void SaveBitmapAsTiff(const TBitmap &bmp, const QString &fileName);

} // namespace zk
