#pragma once
// Our BMP/DIB reader and writer. Reading accepts BITMAPCOREHEADER (OS/2 1.x),
// OS/2 2.x headers, BITMAPINFOHEADER and its V2/V3/V4/V5 extensions; 1, 4 and
// 8 bits uncompressed, RLE4 and RLE8; 16 and 32 bits plain or with bit fields;
// 24 bits; rows bottom-up or top-down. Writing produces BITMAPINFOHEADER
// files at every depth of TBitmap, uncompressed.
//
// Every length is checked against the bytes that are left, the pixel count
// against TBitmap::MaxPixels() before anything is allocated, and a damaged
// input raises EInvalidGraphic with a message that says what is wrong; the
// target bitmap is only touched when decoding succeeded.
#include "Bitmap.h"

#include <QByteArray>
#include <QIODevice>
#include <cstddef>
#include <cstdint>

namespace zk {

struct DibReadOptions
{
    // Icon entries: the header's height counts the colour rows and the AND
    // mask rows together; only the upper half is decoded as the picture.
    bool iconHeight = false;
};

struct DibReadResult
{
    // Bytes from the start of the header to the end of the pixel rows that
    // were read (icons find their AND mask here).
    std::size_t bitsEnd = 0;
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
};

// A DIB without file header: header, optional masks, colour table, rows.
// The rows are taken to follow the colour table directly.
DibReadResult ReadDib(const uchar *data, std::size_t size, TBitmap &out,
                      const DibReadOptions &options = {});

// A whole BMP file ("BM" file header first). Returns the bytes it used: the
// file header's size field when it is plausible, else up to the end of the
// pixel data.
std::size_t ReadBmp(const uchar *data, std::size_t size, TBitmap &out);

// The same from a seekable device for the files that are most of a batch's
// bytes, uncompressed 24- and 32-bit rows: only the head is read into memory,
// the rows go straight into the bitmap's buffer, so no copy of the whole
// file stands beside the picture. The device is left after the bytes used.
// False for any other file and for one ReadBmp would refuse (the device is
// back where it was; ReadBmp then reads it whole and names the fault).
bool ReadBmpDirect(QIODevice &in, TBitmap &out, std::size_t *used = nullptr);

// Header (+ masks + colour table) and rows bottom-up, as TBitmap::SaveToDIB.
QByteArray WriteDib(const TBitmap &bitmap);
// "BM" file header followed by WriteDib.
QByteArray WriteBmp(const TBitmap &bitmap);
// The same bytes written to a device in blocks, without a copy of the whole
// picture in memory. EGraphicFileError when the device refuses bytes.
void WriteBmpStream(const TBitmap &bitmap, QIODevice &out);

// The bytes of WriteBmp's file before the rows (file header, header, masks,
// colour table), and their count for a bitmap of this format and palette
// size, known before the bitmap exists: a converter writes rows into the
// file while they are still being decoded. The rows follow bottom-up, each
// BytesPerRow long as in the bitmap (32-bit rows with their fourth bytes 0).
QByteArray BmpFileHead(const TBitmap &bitmap);
std::size_t BmpHeadSize(TPixelFormat pf, qsizetype paletteEntries);

// Pixels of 16 or 32 bits whose red, green and blue lie under three masks
// (BI_BITFIELDS), as bitmaps and AVI frames store them.
struct TBitFields
{
    std::uint32_t red = 0, green = 0, blue = 0;
};
// Each mask one unbroken run of bits within the pixel and no two sharing a
// bit. The BMP reader takes even unsound masks (an empty one reads as 0);
// readers that want stricter input check this first.
bool BitFieldsSound(int bitsPerPixel, const TBitFields &masks);
// The depth such pixels are kept at: the 5-5-5, 5-6-5 and 8-8-8 layouts of
// TBitmap as they are (BitFieldsAsStored), any other widened to 24 bits
// (16-bit pixels) or 32 bits.
TPixelFormat BitFieldsFormat(int bitsPerPixel, const TBitFields &masks);
bool BitFieldsAsStored(int bitsPerPixel, const TBitFields &masks);
// One row of width pixels into dst at BitFieldsFormat's depth, each channel
// widened to the full 0..255 by repeating its bits (a 4-bit 15 gives 255, a
// 5-bit 1 gives 8), as the 5-5-5 and 5-6-5 depths are shown.
void BitFieldsRow(const uchar *src, int width, int bitsPerPixel, const TBitFields &masks, uchar *dst);

} // namespace zk
