#pragma once
// Picture content the codec benchmarks share, and the two 1920 x 1080 test
// pictures: a screenshot-like one (desktop, windows with text, a task bar)
// and a photo-like one, both 24 bits.
#include "Bitmap.h"

#include <QColor>
#include <QGuiApplication>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <random>

namespace zkbench {

// A 1920 x 1080 24-bit picture of cheap repeating patterns (for timing the
// file and write paths, where the content matters little).
inline zk::TBitmap PatternPicture()
{
    zk::TBitmap b(1920, 1080, zk::pf24bit);
    for (int y = 0; y < b.Height(); ++y) {
        uchar *row = b.ScanLine(y);
        for (int x = 0; x < b.Width() * 3; ++x)
            row[x] = uchar((x * 7 + y * 13) ^ (x >> 5));
    }
    return b;
}

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

inline constexpr int kWidth = 1920;
inline constexpr int kHeight = 1080;

template <class B = zk::TBitmap>
B screenshot()
{
    B b;
    b.SetSize(kWidth, kHeight);
    {
        auto c = b.Canvas();
        c->fillRect(0, 0, kWidth, kHeight, QColor(58, 110, 165)); // desktop
        QFont f = c->font();
        f.setPixelSize(13);
        c->setFont(f);
        const QRect windows[] = {{60, 40, 1100, 700}, {700, 300, 1100, 720}, {200, 600, 640, 420}};
        int n = 0;
        for (const QRect &r : windows) {
            c->fillRect(r, QColor(240, 240, 240));
            QLinearGradient g(r.topLeft(), r.topRight());
            g.setColorAt(0, QColor(10, 36, 106));
            g.setColorAt(1, QColor(166, 202, 240));
            c->fillRect(QRect(r.left(), r.top(), r.width(), 26), g);
            c->setPen(Qt::white);
            c->drawText(r.left() + 8, r.top() + 18, QStringLiteral("Zelkora - Fenster %1").arg(++n));
            c->setPen(Qt::black);
            for (int y = r.top() + 50; y < r.bottom() - 10; y += 18)
                c->drawText(r.left() + 12, y,
                            QStringLiteral("%1  Datei  Bearbeiten  Ansicht  Extras  Hilfe  0x%2")
                                .arg(y).arg(y * 2654435761u % 65536, 4, 16, QChar('0')));
            for (int x = r.left() + 10; x < r.right() - 40; x += 48)
                c->fillRect(x, r.top() + 30, 32, 14, QColor((x * 7) % 255, 120, 200 - (x % 100)));
        }
        c->fillRect(0, kHeight - 30, kWidth, 30, QColor(212, 208, 200)); // task bar
    }
    return b;
}

template <class B = zk::TBitmap>
B photo()
{
    B b;
    b.SetSize(kWidth, kHeight);
    FillPhoto(b);
    return b;
}

// main() of a benchmark over these pictures: text on the screenshot needs
// fonts, so a GUI application (offscreen).
inline int RunBenchmarks(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace zkbench
