// libFuzzer target for the JPEG wrapper: the first byte picks the decoding
// settings (scale, grey, 8-bit, speed) and whether to compress the result
// again; the rest is the file.
#include "Jpeg.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool limited = [] {
        zk::TBitmap::SetMaxPixels(std::int64_t(1) << 22);
        return true;
    }();
    (void)limited;
    if (size < 1)
        return 0;
    const std::uint8_t flags = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    zk::TJPEGImage jpg;
    jpg.SetScale(static_cast<zk::TJPEGScale>(flags & 3));
    jpg.SetGrayscale(flags & 4);
    jpg.SetPixelFormat(flags & 8 ? zk::jf8Bit : zk::jf24Bit);
    jpg.SetPerformance(flags & 16 ? zk::jpBestSpeed : zk::jpBestQuality);
    try {
        jpg.LoadFromData(bytes);
        if (flags & 32) {
            zk::TJPEGImage again;
            again.SetProgressiveEncoding(flags & 64);
            again.Assign(jpg.Bitmap());
            again.Compress();
        }
    } catch (const zk::EGraphicError &) {
    }
    return 0;
}
