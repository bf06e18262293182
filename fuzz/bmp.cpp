// BMP and DIB reading from arbitrary bytes. The first byte chooses how the
// rest is read (a whole file, a bare DIB, an icon entry's DIB); whatever
// decodes must write and read back to the same pixels.
#include "Bitmap.h"
#include "BmpCodec.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // Big enough for every interesting layout, small enough to stay in memory.
    zk::TBitmap::SetMaxPixels(1 << 22);
    const int mode = data[0] % 3;
    ++data;
    --size;
    zk::TBitmap b;
    try {
        if (mode == 0)
            zk::ReadBmp(data, size, b);
        else
            zk::ReadDib(data, size, b, zk::DibReadOptions{mode == 2});
    } catch (const zk::EGraphicError &) {
        return 0;
    }
    const QByteArray out = zk::WriteBmp(b);
    zk::TBitmap again;
    zk::ReadBmp(reinterpret_cast<const uchar *>(out.constData()), std::size_t(out.size()), again);
    if (again.Width() != b.Width() || again.Height() != b.Height() || again.PixelFormat() != b.PixelFormat())
        std::abort();
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (again.PixelRgb(x, y) != b.PixelRgb(x, y))
                std::abort();
    return 0;
}
