#pragma once
// Pictures for the edit tests: random pixels from a seed, and a byte-exact
// comparison.
#include "Bitmap.h"

#include <QRandomGenerator>

#include <cstring>

namespace zktest {

// Random 24-bit pixels, then brought to pf.
inline zk::TBitmap RandomPicture(int w, int h, quint32 seed, zk::TPixelFormat pf = zk::pf24bit)
{
    zk::TBitmap b(w, h, zk::pf24bit);
    QRandomGenerator gen(seed);
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        for (int i = 0; i < w * 3; ++i)
            row[i] = uchar(gen.bounded(256));
    }
    if (pf != zk::pf24bit)
        b.SetPixelFormat(pf);
    return b;
}

// Every row's pixel bytes (without the padding) and the palettes are equal.
inline bool SameBytes(const zk::TBitmap &a, const zk::TBitmap &b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
        return false;
    const std::size_t bytes = std::size_t(a.Width()) * std::size_t(a.BitsPerPixel()) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0)
            return false;
    return a.Palette() == b.Palette();
}

} // namespace zktest
