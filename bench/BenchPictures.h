#pragma once
// Picture content the codec benchmarks share.
#include "Bitmap.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace zkbench {

// Fills a 24-bit bitmap with photo-like content: smooth waves plus a little
// noise, so no codec finds long runs.
inline void FillPhoto(zk::TBitmap &b)
{
    const int w = b.Width(), h = b.Height();
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const double s = std::sin(x / 97.0) * std::cos(y / 61.0);
            const int noise = int(rng() % 7) - 3;
            const int r = int(128 + 90 * s + x * 40 / w) + noise;
            const int g = int(100 + 60 * std::sin((x + y) / 143.0) + y * 50 / h) + noise;
            const int bl = int(90 + 70 * std::cos(x / 211.0 - y / 173.0)) + noise;
            row[3 * x] = uchar(std::clamp(bl, 0, 255));
            row[3 * x + 1] = uchar(std::clamp(g, 0, 255));
            row[3 * x + 2] = uchar(std::clamp(r, 0, 255));
        }
    }
}

} // namespace zkbench
