#include "BitmapFilters.h"

#include "Graphic.h"
#include "PixelRows.h"

#include <QBrush>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace zk {

namespace {

void notifyChanged(TBitmap &bitmap)
{
    if (bitmap.OnChange)
        bitmap.OnChange();
}

void ensureFormat(TBitmap &bitmap, TPixelFormat pf)
{
    if (bitmap.PixelFormat() != pf)
        bitmap.SetPixelFormat(pf);
}

// Row y of a non-empty bitmap without the range check of ScanLine; the
// callers stay inside 0..Height()-1 by construction.
struct Rows
{
    explicit Rows(TBitmap &b) : base(b.ScanLine(0)), stride(b.Stride()) {}
    uchar *operator[](int y) const { return base + std::size_t(y) * stride; }
    uchar *base;
    std::size_t stride;
};

// The rows that SmoothRect, SoftenEdges and ShiftRGB change: the bitmap's
// own for 24 and 32 bits, else a 32-bit copy that Commit() draws back.
class TrueColorWork
{
public:
    explicit TrueColorWork(TBitmap &target) : m_target(target)
    {
        const TPixelFormat pf = target.PixelFormat();
        if (pf == pf24bit || pf == pf32bit) {
            m_work = &target;
        } else {
            m_copy = target;
            m_copy.SetPixelFormat(pf32bit);
            m_work = &m_copy;
        }
    }
    TBitmap &Work() { return *m_work; }
    int Step() const { return m_work->PixelFormat() == pf24bit ? 3 : 4; }
    void Commit()
    {
        if (m_work == &m_target) {
            notifyChanged(m_target);
            return;
        }
        const QImage result = m_copy.ToImage();
        auto canvas = m_target.Canvas(); // its end maps palette pictures and signals the change
        canvas->setCompositionMode(QPainter::CompositionMode_Source);
        canvas->drawImage(0, 0, result);
    }

private:
    TBitmap &m_target;
    TBitmap m_copy;
    TBitmap *m_work = nullptr;
};

// Soft edges: entry 256 * C + N is the new value of a neighbour channel N
// pulled toward the centre channel C, round((N - C) * 50 / divisor + C) with
// halves going to the even result (the low 8 bits kept; with a divisor of 50
// or more the value always lies between C and N). Worked out exactly in
// integers, so no rounding of an inexact quotient can move a value across a
// half.
std::vector<uchar> softTable(int divisor)
{
    std::vector<uchar> t(256 * 256);
    for (int c = 0; c < 256; ++c)
        for (int n = 0; n < 256; ++n) {
            const long long num = static_cast<long long>(n - c) * 50 + static_cast<long long>(c) * divisor;
            long long q = num / divisor;
            long long rem = num % divisor;
            if (rem < 0) {
                --q;
                rem += divisor;
            }
            if (2 * rem > divisor || (2 * rem == divisor && (q & 1)))
                ++q;
            t[std::size_t(c) * 256 + std::size_t(n)] = uchar(q & 0xFF);
        }
    return t;
}

} // namespace

// ---------------------------------------------------------------- mirror

void MirrorBitmapH(TBitmap &bitmap)
{
    const int w = bitmap.Width();
    PixelBuffer buffer(std::size_t(w) * 3);
    bitmap.ChangeRows24(
        [&](uchar *row) {
            std::memcpy(buffer.data(), row, buffer.size());
            Row24Mirror(row, buffer.data(), w);
        },
        [&](uchar *dst, const uchar *src) {
            // The first rows, narrowed in place, still overlap their own
            // 32-bit source; the others are narrowed and mirrored at once.
            if (dst + 3 * std::size_t(w) <= src) {
                Row32To24Mirror(dst, src, w);
            } else {
                Row32To24(buffer.data(), src, w);
                Row24Mirror(dst, buffer.data(), w);
            }
        });
    if (!bitmap.Empty())
        notifyChanged(bitmap);
}

void MirrorBitmapV(TBitmap &bitmap)
{
    if (!bitmap.Empty() && bitmap.FlipNarrowed())
        return; // signalled
    ensureFormat(bitmap, pf24bit);
    if (bitmap.Empty())
        return;
    // Whole rows swapped through one row buffer: three block copies a pair,
    // every byte read and written once, as fast as memory moves.
    const Rows rows(bitmap);
    const std::size_t n = std::size_t(bitmap.Width()) * 3;
    PixelBuffer buffer(n);
    for (int top = 0, bottom = bitmap.Height() - 1; top < bottom; ++top, --bottom) {
        std::memcpy(buffer.data(), rows[top], n);
        std::memcpy(rows[top], rows[bottom], n);
        std::memcpy(rows[bottom], buffer.data(), n);
    }
    notifyChanged(bitmap);
}

// ---------------------------------------------------------------- rotate

void RotateBitmap90(TBitmap &bitmap)
{
    // 24- and 32-bit pictures are read as they are: the turn writes the
    // 32-bit result with an opaque fourth byte, which is what narrowing a
    // 32-bit one to 24 bits first and widening it again would give, without
    // that extra pass. Other depths become 24 bits first.
    if (bitmap.PixelFormat() != pf32bit)
        ensureFormat(bitmap, pf24bit);
    const int sw = bitmap.Width(), sh = bitmap.Height();
    if (bitmap.Empty()) {
        bitmap.SetSize(sh, sw);
        ensureFormat(bitmap, pf32bit);
        return;
    }
    const int dw = sh, dh = sw;
    const std::size_t dstStride = BytesPerRow(dw, 32);
    PixelBuffer out(dstStride * std::size_t(dh));
    Rotate32Clockwise(out.data(), dstStride, bitmap.ScanLine(0), bitmap.Stride(), sw, sh,
                      bitmap.PixelFormat() == pf24bit ? 3 : 4);
    bitmap.AdoptOpaque32(dw, dh, std::move(out)); // signals the change
}

// ---------------------------------------------------------------- invert

void InvertBitmap(TBitmap &bitmap)
{
    if (bitmap.WidenInverted()) {
        notifyChanged(bitmap);
        return;
    }
    ensureFormat(bitmap, pf32bit);
    if (bitmap.Empty())
        return;
    // 32-bit rows follow each other without gaps: one run over all pixels.
    // Only blue, green and red flip; the fourth byte stays 0xFF so the
    // picture stays opaque wherever it goes (clipboard, PNG, Qt drawing).
    Row32Invert(bitmap.ScanLine(0), std::size_t(bitmap.Width()) * std::size_t(bitmap.Height()));
    notifyChanged(bitmap);
}

// ---------------------------------------------------------------- grey

void GrayBitmap(TBitmap &bitmap)
{
    const int w = bitmap.Width();
    bitmap.ChangeRows24([w](uchar *row) { Row24Grey(row, w); },
                        [w](uchar *dst, const uchar *src) { Row32To24Grey(dst, src, w); });
    if (!bitmap.Empty())
        notifyChanged(bitmap);
}

// ---------------------------------------------------------------- brightness, contrast

void BrightnessBitmap(TBitmap &dest, const TBitmap &source, int delta)
{
    if (&dest != &source)
        dest = source;
    BrightnessBitmap(dest, delta);
}

void BrightnessBitmap(TBitmap &bitmap, int delta)
{
    // Beyond +-255 every byte saturates anyway; limiting first keeps the
    // sums below from overflowing for any int the caller passes.
    const int d = std::clamp(delta, -255, 255);
    const int w = bitmap.Width();
    const std::size_t n = std::size_t(w) * 3;
    // A 32-bit picture takes the sums as a table, looked up while narrowing.
    uchar table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = uchar(std::clamp(i + d, 0, 255));
    bitmap.ChangeRows24([n, d](uchar *row) { AddSaturated(row, n, d); },
                        [w, &table](uchar *dst, const uchar *src) { Row32To24Lookup(dst, src, w, table); });
    if (!bitmap.Empty())
        notifyChanged(bitmap);
}

void ContrastBitmap(TBitmap &bitmap, std::uint8_t amount)
{
    // The factor is kept in single precision, as the command's value always
    // was: 1.55 is then 1.54999995..., which decides how values like 138
    // round. The product of a small integer and a float is exact in double,
    // and nearbyint rounds halves to the even neighbour.
    const float factor = static_cast<float>(static_cast<long double>(amount) / 100.0L + 1.0L);
    uchar table[256];
    for (int i = 0; i < 256; ++i) {
        const double v = std::nearbyint(double(i - 128) * double(factor)) + 128.0;
        table[i] = uchar(std::clamp(v, 0.0, 255.0));
    }
    const int w = bitmap.Width();
    const std::size_t n = std::size_t(w) * 3;
    bitmap.ChangeRows24([n, &table](uchar *row) { LookupBytes(row, n, table); },
                        [w, &table](uchar *dst, const uchar *src) { Row32To24Lookup(dst, src, w, table); });
    if (!bitmap.Empty())
        notifyChanged(bitmap);
}

// ---------------------------------------------------------------- smoothing

namespace {

// Rows of r smoothed in place; S is the bytes a pixel (3 or 4), a constant
// so the compiler can unroll the channel loops.
//
// One pass a row, per channel, with the sums rolled along: for pixel i the
// nine values are the left column (its upper and lower value plus the
// left pixel just smoothed), the column of i and the column of i + 1 (both
// still unsmoothed in the middle row). The upper row is final already, as
// it must be.
template <std::size_t S>
void smoothRows(const Rows &rows, const QRect &r)
{
    const std::size_t w = std::size_t(r.width());
    const std::size_t x0 = std::size_t(r.left());
    for (int y = r.top() + 1; y < r.top() + r.height() - 1; ++y) {
        const uchar *up = rows[y - 1] + x0 * S;
        uchar *cur = rows[y] + x0 * S;
        const uchar *down = rows[y + 1] + x0 * S;
        unsigned leftOuter[3], left[3], column[3], middle[3];
        for (std::size_t ch = 0; ch < 3; ++ch) {
            leftOuter[ch] = unsigned(up[ch]) + down[ch];
            left[ch] = cur[ch];
            middle[ch] = cur[S + ch];
            column[ch] = unsigned(up[S + ch]) + middle[ch] + down[S + ch];
        }
        for (std::size_t i = 1; i + 1 < w; ++i) {
            const std::size_t next = (i + 1) * S;
            for (std::size_t ch = 0; ch < 3; ++ch) {
                const unsigned nextMiddle = cur[next + ch];
                const unsigned nextColumn = unsigned(up[next + ch]) + nextMiddle + down[next + ch];
                const unsigned v = (leftOuter[ch] + left[ch] + column[ch] + nextColumn) / 9;
                cur[i * S + ch] = uchar(v);
                leftOuter[ch] = column[ch] - middle[ch];
                left[ch] = v;
                column[ch] = nextColumn;
                middle[ch] = nextMiddle;
            }
        }
    }
}

} // namespace

void SmoothRect(TBitmap &bitmap, const QRect &rect)
{
    const QRect r = rect.normalized().intersected(QRect(0, 0, bitmap.Width(), bitmap.Height()));
    if (r.width() < 3 || r.height() < 3)
        return;
    TrueColorWork work(bitmap);
    const Rows rows(work.Work());
    if (work.Step() == 3)
        smoothRows<3>(rows, r);
    else
        smoothRows<4>(rows, r);
    work.Commit();
}

// ---------------------------------------------------------------- soft edges

namespace {

// Every pixel pulls its four neighbours. Per channel the centre value c
// picks a 256-byte row of the table, in which each neighbour value finds its
// new value. An equal channel maps to itself, so no test for "differs" is
// needed: the result is the same, and after the first pulls most neighbours
// differ a little, so a branch would mostly be guessed wrong.
template <std::size_t S>
void softenRows(const Rows &rows, int width, int height, const QRect &r, const uchar *table)
{
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar *row = rows[y];
        uchar *above = y > 0 ? rows[y - 1] : nullptr;
        uchar *below = y + 1 < height ? rows[y + 1] : nullptr;
        for (int x = r.left(); x <= r.right(); ++x) {
            const std::size_t off = std::size_t(x) * S;
            const uchar *p = row + off;
            const uchar *t0 = table + (std::size_t(p[0]) << 8);
            const uchar *t1 = table + (std::size_t(p[1]) << 8);
            const uchar *t2 = table + (std::size_t(p[2]) << 8);
            auto pull = [t0, t1, t2](uchar *n) {
                n[0] = t0[n[0]];
                n[1] = t1[n[1]];
                n[2] = t2[n[2]];
            };
            if (x > 0)
                pull(row + off - S);
            if (x + 1 < width)
                pull(row + off + S);
            if (above)
                pull(above + off);
            if (below)
                pull(below + off);
        }
    }
}

} // namespace

void SoftenEdges(TBitmap &bitmap, const QRect &rect, int amount)
{
    if (amount < 0)
        throw std::invalid_argument("SoftenEdges: the amount must not be negative");
    const int w = bitmap.Width(), h = bitmap.Height();
    const QRect r = rect.normalized().intersected(QRect(0, 0, w, h));
    if (r.isEmpty())
        return;
    // amount + 50 cannot overflow into a small divisor: beyond 2^30 every
    // quotient rounds to 0 anyway.
    const std::vector<uchar> table = softTable(std::min(amount, 1 << 30) + 50);
    TrueColorWork work(bitmap);
    const Rows rows(work.Work());
    if (work.Step() == 3)
        softenRows<3>(rows, w, h, r, table.data());
    else
        softenRows<4>(rows, w, h, r, table.data());
    work.Commit();
}

// ---------------------------------------------------------------- RGB shift

bool ShiftRGB(TBitmap &bitmap, int red, int green, int blue)
{
    if (red == 0 && green == 0 && blue == 0)
        return false;
    if (bitmap.Empty())
        return true;
    // One table per channel in byte order B, G, R. The sum is formed in
    // 64 bits so no delta, however large, can wrap into range.
    std::array<std::array<uchar, 256>, 3> table{};
    const int deltas[3] = {blue, green, red};
    for (std::size_t ch = 0; ch < 3; ++ch)
        for (int i = 0; i < 256; ++i) {
            const long long v = static_cast<long long>(i) + deltas[ch];
            table[ch][std::size_t(i)] = uchar(v >= 0 && v <= 255 ? v : i);
        }
    TrueColorWork work(bitmap);
    const Rows rows(work.Work());
    const std::size_t s = std::size_t(work.Step());
    const std::size_t w = std::size_t(work.Work().Width());
    for (int y = 0; y < work.Work().Height(); ++y) {
        uchar *p = rows[y];
        for (std::size_t x = 0; x < w; ++x, p += s) {
            p[0] = table[0][p[0]];
            p[1] = table[1][p[1]];
            p[2] = table[2][p[2]];
        }
    }
    work.Commit();
    return true;
}

// ---------------------------------------------------------------- tiling

int TileBitmap(const TBitmap &tile, TBitmap &target)
{
    if (tile.Empty())
        throw EInvalidGraphic(QStringLiteral("The tile picture has no pixels (%1 x %2); nothing was tiled")
                                  .arg(tile.Width())
                                  .arg(tile.Height()));
    if (target.Empty())
        return 0;
    const int tw = tile.Width(), th = tile.Height();
    const int columns = int((qint64(target.Width()) + tw - 1) / tw);
    const int tileRows = int((qint64(target.Height()) + th - 1) / th);
    // The tile as the picture would draw itself (transparency included),
    // then one texture fill: the copies sit at multiples of the tile size
    // from (0, 0), and a small tile on a large picture costs no more than a
    // large one.
    QImage pattern(tw, th, QImage::Format_ARGB32_Premultiplied);
    pattern.fill(Qt::transparent);
    {
        QPainter p(&pattern);
        tile.Draw(p, QRect(0, 0, tw, th));
    }
    auto canvas = target.Canvas();
    canvas->fillRect(QRect(0, 0, target.Width(), target.Height()), QBrush(pattern));
    return columns * tileRows;
}

int TileBitmapFile(const QString &fileName, TBitmap &target)
{
    TBitmap tile;
    tile.LoadFromFile(fileName);
    return TileBitmap(tile, target);
}

} // namespace zk
