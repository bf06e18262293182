#pragma once
// The JPEG coder itself, over libjpeg's IJG interface, on plain QImages.
// TJPEGImage (Jpeg.h) keeps the picture state; these functions only turn
// bytes into pixels and back. Every failure is thrown as EJPEG carrying
// libjpeg's own message; libjpeg never gets to call exit().
#include "Bitmap.h"
#include "Graphic.h"

#include <QByteArray>
#include <QImage>
#include <cstdint>

namespace zk {

// A JPEG stream that libjpeg refused, or a picture over the size limit.
class EJPEG : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// Largest picture the decoders accept before allocating anything (pixels).
constexpr std::int64_t kJpegDefaultMaxPixels = std::int64_t(1) << 28;

struct JpegDecodeOptions {
    int scaleDenom = 1;       // 1, 2, 4 or 8: libjpeg scales while decoding
    bool grayscale = false;   // one channel out (Indexed8 with a grey ramp)
    bool quantize = false;    // 256 colours (Indexed8 with libjpeg's palette)
    bool fast = false;        // faster DCT and upsampling, slightly worse
    std::int64_t maxPixels = kJpegDefaultMaxPixels;
};

struct JpegEncodeOptions {
    int quality = 90;          // 1..100
    bool progressive = false;
    bool grayscale = false;
};

struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
};

// Reads the frame header only.
JpegInfo JpegReadInfo(const QByteArray &data, std::int64_t maxPixels = kJpegDefaultMaxPixels);

// Colour comes out as Format_BGR888 (the 24-bit layout of TBitmap); grey and
// quantised output as Format_Indexed8 with its colour table.
QImage JpegDecode(const QByteArray &data, const JpegDecodeOptions &opt = {});

// The same pixels straight into the rows of a bitmap (pf24bit for colour,
// pf8bit with the colour table otherwise), header read once; info, when
// given, receives the stored picture's header.
TBitmap JpegDecodeBitmap(const QByteArray &data, const JpegDecodeOptions &opt = {},
                         JpegInfo *info = nullptr);

// Alpha, if any, is ignored: JPEG has no transparency. info, when given,
// receives the header of the written stream.
QByteArray JpegEncode(const QImage &image, const JpegEncodeOptions &opt = {}, JpegInfo *info = nullptr);

// The same bytes as JpegEncode(bitmap.ToImage()), reading 24- and 32-bit
// rows where they lie instead of copying the picture first.
QByteArray JpegEncodeBitmap(const TBitmap &bitmap, const JpegEncodeOptions &opt = {},
                            JpegInfo *info = nullptr);

// Output size of a scaled decode, as libjpeg computes it (rounding up).
inline int JpegScaledSize(int size, int denom) { return (size + denom - 1) / denom; }

} // namespace zk
