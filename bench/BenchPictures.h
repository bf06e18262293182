#pragma once
// Pictures the codec and conversion benchmarks share.
#include "Bitmap.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace zkbench {

// Photo-like: smooth waves of colour with a little noise, as a camera gives.
inline void paintPhoto(zk::TBitmap &b, int w, int h)
{
    b.SetPixelFormat(zk::pf24bit);
    b.SetSize(w, h);
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
