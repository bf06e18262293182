#include "Bitmap.h"
#include "PixelRows.h"
#include "RowTeam.h"

#include "BmpCodec.h"

#include <QHash>
#include <QIODevice>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <sys/mman.h>

namespace zk {

namespace {
constexpr std::size_t kLargePage = std::size_t(2) << 20;
// Below this the rounding to whole large pages would waste too much.
constexpr std::size_t kLargePageMinimum = 2 * kLargePage;

std::size_t roundedLarge(std::size_t bytes)
{
    return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

// The last large buffer freed, kept for the next one asked for: a picture
// command that writes into a new buffer and frees the old one would
// otherwise have the system clear fresh pages every time, which costs more
// than the command's own pass. One buffer at most, up to 64 MB (a 4K
// picture in 32 bits is 33 MB).
struct SpareBuffer
{
    std::mutex lock;
    void *p = nullptr;
    std::size_t size = 0;
    bool closed = false; // pictures freed after the program's end go straight back
    ~SpareBuffer()
    {
        std::lock_guard<std::mutex> hold(lock);
        std::free(std::exchange(p, nullptr));
        closed = true;
    }
};
SpareBuffer g_spare;
constexpr std::size_t kSpareMaximum = std::size_t(64) << 20;
} // namespace

void *AllocatePixels(std::size_t bytes)
{
    void *p = nullptr;
    if (bytes >= kLargePageMinimum) {
        const std::size_t rounded = roundedLarge(bytes);
        {
            // Taken only when it is not more than twice the size wanted.
            std::lock_guard<std::mutex> hold(g_spare.lock);
            if (g_spare.p && g_spare.size >= rounded && g_spare.size / 2 <= rounded) {
                p = std::exchange(g_spare.p, nullptr);
                g_spare.size = 0;
                return p;
            }
        }
        p = std::aligned_alloc(kLargePage, rounded);
        // Only a hint: where it is refused the buffer works with small pages.
        if (p)
            madvise(p, rounded, MADV_HUGEPAGE);
    } else {
        p = std::malloc(bytes ? bytes : 1);
    }
    if (!p)
        throw std::bad_alloc();
    return p;
}

void FreePixels(void *p, std::size_t bytes) noexcept
{
    if (p && bytes >= kLargePageMinimum && bytes <= kSpareMaximum) {
        std::lock_guard<std::mutex> hold(g_spare.lock);
        if (!g_spare.closed) {
            std::free(g_spare.p);
            g_spare.p = p;
            g_spare.size = roundedLarge(bytes);
            return;
        }
    }
    std::free(p);
}

namespace {

// The capacity a buffer of `bytes` bytes for such a picture is given: see
// NewPixelRows.
std::size_t pixelRoom(std::size_t bytes, int width, int height, TPixelFormat pf)
{
    if (pf != pf24bit)
        return bytes;
    const std::size_t wide = BytesPerRow(width, 32) * std::size_t(std::max(height, 0));
    return wide >= kLargePageMinimum ? std::max(bytes, wide) : bytes;
}

} // namespace

PixelBuffer NewPixelRows(int width, int height, TPixelFormat pf)
{
    const std::size_t bytes = BytesPerRow(width, BitsPerPixel(pf)) * std::size_t(std::max(height, 0));
    PixelBuffer bits;
    bits.reserve(pixelRoom(bytes, width, height, pf));
    bits.resize(bytes);
    return bits;
}

namespace {

std::atomic<qint64> g_maxPixels{TBitmap::DefaultMaxPixels};

// 96 dpi, so that fonts set in points get the same pixel size everywhere.
constexpr int kDotsPerMeter96 = 3780;

bool isPaletted(TPixelFormat pf)
{
    return pf == pf1bit || pf == pf4bit || pf == pf8bit;
}

int paletteCapacity(TPixelFormat pf)
{
    return isPaletted(pf) ? 1 << zk::BitsPerPixel(pf) : 0;
}

QImage::Format qtFormat(TPixelFormat pf)
{
    switch (pf) {
    case pf1bit: return QImage::Format_Mono;
    case pf4bit:
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf24bit: return QImage::Format_BGR888;
    default: return QImage::Format_RGB32;
    }
}

inline int indexAt(const uchar *row, int x, int bpp)
{
    switch (bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default: return row[x];
    }
}

inline void setIndexAt(uchar *row, int x, int bpp, int index)
{
    switch (bpp) {
    case 1: {
        const uchar bit = uchar(0x80 >> (x & 7));
        if (index & 1)
            row[x >> 3] |= bit;
        else
            row[x >> 3] &= uchar(~bit);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = uchar((row[x >> 1] & 0xF0) | (index & 0x0F));
        else
            row[x >> 1] = uchar((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        break;
    default: row[x] = uchar(index);
    }
}

inline int expand5(int c) { return (c << 3) | (c >> 2); }
inline int expand6(int c) { return (c << 2) | (c >> 4); }

// Nearest palette entry by squared distance; ties go to the lower index.
class NearestColor
{
public:
    explicit NearestColor(const QVector<QRgb> &palette) : m_palette(palette) {}
    int operator()(QRgb c)
    {
        c |= 0xFF000000u;
        if (c == m_lastColor)
            return m_lastIndex;
        auto it = m_cache.constFind(c);
        int best = 0;
        if (it != m_cache.constEnd()) {
            best = it.value();
        } else {
            int bestDist = INT32_MAX;
            for (int i = 0; i < m_palette.size(); ++i) {
                const QRgb p = m_palette[i];
                const int dr = qRed(p) - qRed(c), dg = qGreen(p) - qGreen(c), db = qBlue(p) - qBlue(c);
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDist) {
                    bestDist = d;
                    best = i;
                    if (d == 0)
                        break;
                }
            }
            m_cache.insert(c, best);
        }
        m_lastColor = c;
        m_lastIndex = best;
        return best;
    }

private:
    QVector<QRgb> m_palette;
    QHash<QRgb, int> m_cache;
    QRgb m_lastColor = 0; // never matches: real lookups carry alpha 0xFF
    int m_lastIndex = 0;
};

QRgb tcolorToRgb(TColor c)
{
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor rgbToTColor(QRgb c)
{
    return RGBToTColor(qRed(c), qGreen(c), qBlue(c));
}

void writeTrueColor(uchar *row, int x, TPixelFormat pf, QRgb c)
{
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    switch (pf) {
    case pf15bit: {
        const int v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        row[2 * x] = uchar(v);
        row[2 * x + 1] = uchar(v >> 8);
        break;
    }
    case pf16bit: {
        const int v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        row[2 * x] = uchar(v);
        row[2 * x + 1] = uchar(v >> 8);
        break;
    }
    case pf24bit:
        row[3 * x] = uchar(b);
        row[3 * x + 1] = uchar(g);
        row[3 * x + 2] = uchar(r);
        break;
    default:
        row[4 * x] = uchar(b);
        row[4 * x + 1] = uchar(g);
        row[4 * x + 2] = uchar(r);
        row[4 * x + 3] = 0xFF;
        break;
    }
}

void checkSize(int w, int h)
{
    if (w < 0 || h < 0)
        throw EInvalidGraphicOperation(QStringLiteral("Invalid picture size %1 x %2").arg(w).arg(h));
    const qint64 limit = TBitmap::MaxPixels();
    if (qint64(w) * qint64(h) > limit)
        throw EInvalidGraphic(QStringLiteral("The picture is too large (%1 x %2 pixels; the limit is %3 pixels)")
                                  .arg(w)
                                  .arg(h)
                                  .arg(limit));
}

} // namespace

int BitsPerPixel(TPixelFormat pf)
{
    switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
    }
}

std::size_t BytesPerRow(int width, int bitsPerPixel, int align)
{
    const int storedBits = bitsPerPixel == 15 ? 16 : bitsPerPixel;
    const std::size_t bits = std::size_t(width < 0 ? 0 : width) * std::size_t(storedBits);
    const std::size_t alignBits = std::size_t(align) * 8;
    return (bits + alignBits - 1) / alignBits * std::size_t(align);
}

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas(TBitmap &bitmap) : m_bitmap(bitmap)
{
    if (isPaletted(bitmap.m_pf)) {
        m_original = bitmap.ToImage().convertToFormat(QImage::Format_RGB32);
        m_target = m_original.copy();
    } else {
        bitmap.MakeOpaque();
        m_target = bitmap.CanvasView();
    }
    m_target.setDotsPerMeterX(kDotsPerMeter96);
    m_target.setDotsPerMeterY(kDotsPerMeter96);
    bitmap.m_canvasOpen = true;
    if (!m_target.isNull())
        begin(&m_target);
}

TCanvas::~TCanvas()
{
    if (isActive())
        end();
    m_bitmap.m_canvasOpen = false;
    if (m_original.isNull())
        m_bitmap.m_canvasView = std::move(m_target);
    if (!m_original.isNull() && isPaletted(m_bitmap.m_pf)) {
        NearestColor nearest(m_bitmap.m_palette);
        const int bpp = m_bitmap.BitsPerPixel();
        for (int y = 0; y < m_target.height(); ++y) {
            const QRgb *now = reinterpret_cast<const QRgb *>(m_target.constScanLine(y));
            const QRgb *before = reinterpret_cast<const QRgb *>(m_original.constScanLine(y));
            uchar *row = m_bitmap.ScanLine(y);
            for (int x = 0; x < m_target.width(); ++x)
                if (now[x] != before[x])
                    setIndexAt(row, x, bpp, nearest(now[x]));
        }
    }
    m_bitmap.Changed();
}

// ---------------------------------------------------------------- TBitmap

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat pf)
{
    SetPixelFormat(pf);
    SetSize(width, height);
}

TBitmap::TBitmap(const TBitmap &other) : TGraphic()
{
    *this = other;
}

TBitmap &TBitmap::operator=(const TBitmap &other)
{
    if (this == &other)
        return *this;
    CheckNoCanvas();
    // Contents only: the change handler belongs to the object, not the picture.
    m_width = other.m_width;
    m_height = other.m_height;
    m_pf = other.m_pf;
    m_stride = other.m_stride;
    // A copy (an undo snapshot, say, which may become the picture again)
    // keeps the room for widening in place that a new picture has.
    const std::size_t room = pixelRoom(other.m_bits.size(), other.m_width, other.m_height, other.m_pf);
    if (m_bits.capacity() < room) {
        PixelBuffer bits;
        bits.reserve(room);
        m_bits = std::move(bits);
    }
    m_bits.resize(other.m_bits.size());
    if (!m_bits.empty())
        std::memcpy(m_bits.data(), other.m_bits.data(), m_bits.size());
    m_palette = other.m_palette;
    m_transparent = other.m_transparent;
    m_transparentColor = other.m_transparentColor;
    m_transparentMode = other.m_transparentMode;
    return *this;
}

TBitmap::TBitmap(TBitmap &&other) : TGraphic()
{
    *this = std::move(other);
}

TBitmap &TBitmap::operator=(TBitmap &&other)
{
    if (this == &other)
        return *this;
    CheckNoCanvas();
    // A picture with an open painter cannot hand its buffer away.
    if (other.m_canvasOpen)
        return *this = static_cast<const TBitmap &>(other);
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    m_pf = other.m_pf;
    m_stride = std::exchange(other.m_stride, 0);
    m_bits = std::move(other.m_bits);
    other.m_bits.clear();
    m_palette = other.m_palette;
    m_transparent = other.m_transparent;
    m_transparentColor = other.m_transparentColor;
    m_transparentMode = other.m_transparentMode;
    return *this;
}

TBitmap::~TBitmap() = default;

std::unique_ptr<TGraphic> TBitmap::Clone() const
{
    return std::make_unique<TBitmap>(*this);
}

qint64 TBitmap::MaxPixels()
{
    return g_maxPixels.load();
}

void TBitmap::SetMaxPixels(qint64 limit)
{
    g_maxPixels.store(limit > 0 ? limit : DefaultMaxPixels);
}

void TBitmap::CheckNoCanvas() const
{
    if (m_canvasOpen)
        throw EInvalidGraphicOperation(QStringLiteral("The bitmap is being drawn on (its canvas is still open)"));
}

int TBitmap::BitsPerPixel() const
{
    return zk::BitsPerPixel(m_pf);
}

void TBitmap::SetWidth(int w)
{
    SetSize(w, m_height);
}

void TBitmap::SetHeight(int h)
{
    SetSize(m_width, h);
}

void TBitmap::SetSize(int w, int h)
{
    CheckNoCanvas();
    checkSize(w, h);
    if (w == m_width && h == m_height)
        return;
    const std::size_t stride = BytesPerRow(w, BitsPerPixel());
    PixelBuffer bits = NewPixelRows(w, h, m_pf);
    if (!bits.empty())
        std::memset(bits.data(), 0, bits.size());
    const int cw = std::min(w, m_width), ch = std::min(h, m_height);
    if (cw > 0 && ch > 0) {
        // Whole bytes of the overlap, then the bits of a partial last byte.
        const std::size_t usedBits = std::size_t(cw) * std::size_t(BitsPerPixel() == 15 ? 16 : BitsPerPixel());
        const std::size_t whole = usedBits / 8;
        const int restBits = int(usedBits % 8);
        for (int y = 0; y < ch; ++y) {
            const uchar *src = m_bits.data() + std::size_t(y) * m_stride;
            uchar *dst = bits.data() + std::size_t(y) * stride;
            std::memcpy(dst, src, whole);
            if (restBits)
                dst[whole] = uchar(src[whole] & (0xFF00 >> restBits));
        }
    }
    m_bits = std::move(bits);
    m_stride = stride;
    m_width = w;
    m_height = h;
    if (m_pf == pf32bit)
        MakeOpaque();
    Changed();
}

void TBitmap::Clear()
{
    CheckNoCanvas();
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_width = m_height = 0;
    m_stride = 0;
    Changed();
}

void TBitmap::Adopt(int width, int height, TPixelFormat pf, PixelBuffer &&bits, const QVector<QRgb> &palette)
{
    CheckNoCanvas();
    if (pf == pfDevice)
        pf = pf32bit;
    if (zk::BitsPerPixel(pf) == 0)
        throw EInvalidGraphicOperation(QStringLiteral("Invalid pixel format"));
    if (palette.size() > paletteCapacity(pf))
        throw EInvalidGraphicOperation(QStringLiteral("Palette has too many entries for this pixel format"));
    take(width, height, pf, std::move(bits), palette, pf == pf32bit);
}

void TBitmap::AdoptOpaque32(int width, int height, PixelBuffer &&bits)
{
    take(width, height, pf32bit, std::move(bits), {}, false);
}

void TBitmap::take(int width, int height, TPixelFormat pf, PixelBuffer &&bits, const QVector<QRgb> &palette,
                   bool makeOpaque)
{
    CheckNoCanvas();
    checkSize(width, height);
    const std::size_t stride = BytesPerRow(width, zk::BitsPerPixel(pf));
    if (bits.size() < stride * std::size_t(height))
        throw EInvalidGraphicOperation(QStringLiteral("Pixel buffer too small for the picture size"));
    m_bits = std::move(bits);
    m_width = width;
    m_height = height;
    m_pf = pf;
    m_stride = stride;
    m_palette = isPaletted(pf) ? palette : QVector<QRgb>();
    if (makeOpaque)
        MakeOpaque();
    Changed();
}

uchar *TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= m_height)
        throw EInvalidGraphicOperation(QStringLiteral("Scan line index out of range"));
    return m_bits.data() + std::size_t(row) * m_stride;
}

const uchar *TBitmap::ScanLine(int row) const
{
    if (row < 0 || row >= m_height)
        throw EInvalidGraphicOperation(QStringLiteral("Scan line index out of range"));
    return m_bits.data() + std::size_t(row) * m_stride;
}

void TBitmap::MakeOpaque()
{
    if (m_pf != pf32bit)
        return;
    for (int y = 0; y < m_height; ++y) {
        uchar *row = m_bits.data() + std::size_t(y) * m_stride;
        for (int x = 0; x < m_width; ++x)
            row[4 * x + 3] = 0xFF;
    }
}

QVector<QRgb> TBitmap::QtColorTable() const
{
    QVector<QRgb> table = m_palette;
    for (QRgb &c : table)
        c |= 0xFF000000u;
    const int cap = paletteCapacity(m_pf);
    while (table.size() < cap)
        table.append(qRgb(0, 0, 0));
    return table;
}

QImage TBitmap::View()
{
    if (Empty() || m_pf == pf4bit)
        return QImage();
    QImage img(m_bits.data(), m_width, m_height, qsizetype(m_stride), qtFormat(m_pf));
    if (isPaletted(m_pf))
        img.setColorTable(QtColorTable());
    return img;
}

QImage TBitmap::CanvasView()
{
    QImage kept = std::exchange(m_canvasView, QImage());
    if (!kept.isNull() && !isPaletted(m_pf) && kept.constBits() == m_bits.data() && kept.width() == m_width &&
        kept.height() == m_height && std::size_t(kept.bytesPerLine()) == m_stride && kept.format() == qtFormat(m_pf))
        return kept;
    return View();
}

void TBitmap::ReadRow(int y, QRgb *out) const
{
    ReadPixels(0, y, m_width, out);
}

void TBitmap::ReadPixels(int x0, int y, int count, QRgb *out) const
{
    const uchar *row = m_bits.data() + std::size_t(y) * m_stride;
    const int bpp = BitsPerPixel();
    const int end = x0 + count;
    switch (m_pf) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        const int n = int(m_palette.size());
        for (int x = x0; x < end; ++x) {
            const int i = indexAt(row, x, bpp);
            *out++ = i < n ? (m_palette[i] | 0xFF000000u) : qRgb(0, 0, 0);
        }
        break;
    }
    case pf15bit:
        for (int x = x0; x < end; ++x) {
            const int v = row[2 * x] | (row[2 * x + 1] << 8);
            *out++ = qRgb(expand5((v >> 10) & 31), expand5((v >> 5) & 31), expand5(v & 31));
        }
        break;
    case pf16bit:
        for (int x = x0; x < end; ++x) {
            const int v = row[2 * x] | (row[2 * x + 1] << 8);
            *out++ = qRgb(expand5((v >> 11) & 31), expand6((v >> 5) & 63), expand5(v & 31));
        }
        break;
    case pf24bit:
        for (int x = x0; x < end; ++x)
            *out++ = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        break;
    default:
        for (int x = x0; x < end; ++x)
            *out++ = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        break;
    }
}

void TBitmap::WriteRow(int y, const QRgb *in)
{
    uchar *row = m_bits.data() + std::size_t(y) * m_stride;
    for (int x = 0; x < m_width; ++x)
        writeTrueColor(row, x, m_pf, in[x]);
}

QVector<QRgb> TBitmap::DefaultPalette(TPixelFormat pf)
{
    QVector<QRgb> p;
    switch (pf) {
    case pf1bit: p = {qRgb(0, 0, 0), qRgb(255, 255, 255)}; break;
    case pf4bit:
        p = {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
             qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
             qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
             qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
        break;
    case pf8bit:
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p.append(qRgb(r * 51, g * 51, b * 51));
        for (int i = 0; i < 40; ++i) {
            const int v = (i * 255 + 19) / 39;
            p.append(qRgb(v, v, v));
        }
        break;
    default: break;
    }
    return p;
}

void TBitmap::SetPixelFormat(TPixelFormat pf)
{
    if (pf == pfDevice)
        pf = pf32bit;
    if (zk::BitsPerPixel(pf) == 0)
        throw EInvalidGraphicOperation(QStringLiteral("Invalid pixel format"));
    if (pf == m_pf)
        return;
    CheckNoCanvas();
    const std::size_t stride = BytesPerRow(m_width, zk::BitsPerPixel(pf));
    if (m_pf == pf32bit && pf == pf24bit) {
        // Shrinking in place: every 24-bit byte lands at or before the
        // 32-bit byte it comes from. No new buffer, no page faults.
        const std::size_t w = std::size_t(m_width);
        for (int y = 0; y < m_height; ++y) {
            const uchar *src = m_bits.data() + std::size_t(y) * m_stride;
            uchar *dst = m_bits.data() + std::size_t(y) * stride;
            Row32To24(dst, src, m_width);
            std::memset(dst + 3 * w, 0, stride - 3 * w);
        }
        m_bits.resize(stride * std::size_t(m_height));
        m_stride = stride;
        m_pf = pf;
        m_palette.clear();
        Changed();
        return;
    }
    if (m_pf == pf24bit && pf == pf32bit) {
        widenTo32(0);
        return;
    }
    // Left uninitialised: every path below writes each byte, padding included.
    PixelBuffer bits = NewPixelRows(m_width, m_height, pf);
    QVector<QRgb> palette;
    const int dstBpp = zk::BitsPerPixel(pf);
    const int srcBpp = BitsPerPixel();
    if (isPaletted(pf) && isPaletted(m_pf) && m_palette.size() <= paletteCapacity(pf)) {
        // The colours fit: indices carry over unchanged.
        palette = m_palette;
        for (int y = 0; y < m_height; ++y) {
            const uchar *src = m_bits.data() + std::size_t(y) * m_stride;
            uchar *dst = bits.data() + std::size_t(y) * stride;
            std::memset(dst, 0, stride);
            for (int x = 0; x < m_width; ++x)
                setIndexAt(dst, x, dstBpp, indexAt(src, x, srcBpp));
        }
    } else {
        std::vector<QRgb> line(std::size_t(std::max(m_width, 1)));
        if (ConvertTrueColorRows(pf, stride, bits)) {
            // done word by word
        } else if (isPaletted(pf)) {
            palette = DefaultPalette(pf);
            NearestColor nearest(palette);
            for (int y = 0; y < m_height; ++y) {
                ReadRow(y, line.data());
                uchar *dst = bits.data() + std::size_t(y) * stride;
                std::memset(dst, 0, stride);
                for (int x = 0; x < m_width; ++x)
                    setIndexAt(dst, x, dstBpp, nearest(line[std::size_t(x)]));
            }
        } else {
            for (int y = 0; y < m_height; ++y) {
                ReadRow(y, line.data());
                uchar *dst = bits.data() + std::size_t(y) * stride;
                std::memset(dst, 0, stride);
                for (int x = 0; x < m_width; ++x)
                    writeTrueColor(dst, x, pf, line[std::size_t(x)]);
            }
        }
    }
    m_bits = std::move(bits);
    m_stride = stride;
    m_pf = pf;
    m_palette = palette;
    Changed();
}

namespace {

// Rows a band of a shared pass holds (see RunBandsDescending).
constexpr int kBandRows = 8;
int bandCount(int height)
{
    return (std::max(height, 0) + kBandRows - 1) / kBandRows;
}
int bandEnd(int band, int height)
{
    return std::min((band + 1) * kBandRows, height);
}

} // namespace

void TBitmap::widenTo32(std::uint32_t flip)
{
    const std::size_t stride = BytesPerRow(m_width, 32);
    const std::size_t bytes = stride * std::size_t(m_height);
    if (m_bits.capacity() >= bytes) {
        // Room enough (a picture that was 32 bits before keeps its buffer
        // when it shrinks): widened in place from the last row and pixel
        // back, each 32-bit byte at or after the 24-bit byte it comes from.
        // 32-bit rows have no padding.
        // Shared out in bands of rows: a band waits for the bands above it
        // whose 24-bit rows its 32-bit rows cover.
        const std::size_t oldStride = m_stride;
        m_bits.resize(bytes);
        uchar *const bits = m_bits.data();
        const int h = m_height, w = m_width;
        RunBandsDescending(
            bandCount(h), bytes,
            [&](int band) {
                // The 24-bit rows under the band's 32-bit rows.
                const std::size_t begin = std::size_t(band) * kBandRows * stride;
                const std::size_t end = std::size_t(bandEnd(band, h)) * stride;
                return std::pair(int(begin / oldStride) / kBandRows, int((end - 1) / oldStride) / kBandRows);
            },
            [&](int band) {
                for (int y = bandEnd(band, h) - 1; y >= band * kBandRows; --y)
                    Row24To32Backward(bits + std::size_t(y) * stride, bits + std::size_t(y) * oldStride, w, flip);
            });
    } else {
        PixelBuffer bits(bytes);
        const uchar *const from = m_bits.data();
        const std::size_t oldStride = m_stride;
        const int h = m_height, w = m_width;
        RunBandsDescending(
            bandCount(h), bytes, [](int) { return std::pair(0, -1); },
            [&](int band) {
                for (int y = band * kBandRows; y < bandEnd(band, h); ++y)
                    Row24To32(bits.data() + std::size_t(y) * stride, from + std::size_t(y) * oldStride, w, flip);
            });
        m_bits = std::move(bits);
    }
    m_stride = stride;
    m_pf = pf32bit;
    m_palette.clear();
    Changed();
}

bool TBitmap::WidenInverted()
{
    if (m_pf != pf24bit)
        return false;
    CheckNoCanvas();
    widenTo32(0xFFFFFFu);
    return true;
}

bool TBitmap::FlipNarrowed()
{
    if (m_pf != pf32bit)
        return false;
    CheckNoCanvas();
    // One pass: each row narrowed straight into its flipped place in a new
    // buffer. In place, a narrowed row would land on rows still to be read,
    // and the rows would have to move a second time. The old buffer goes
    // back as the next large buffer asked for, so a following command takes
    // no fresh pages for its result either.
    const int w = m_width, h = m_height;
    const std::size_t stride = BytesPerRow(w, 24), used = std::size_t(w) * 3;
    PixelBuffer out = NewPixelRows(w, h, pf24bit);
    const uchar *const from = m_bits.data();
    const std::size_t fromStride = m_stride;
    RunBandsDescending(
        bandCount(h), out.size(), [](int) { return std::pair(0, -1); },
        [&](int band) {
            for (int y = band * kBandRows; y < bandEnd(band, h); ++y) {
                uchar *dst = out.data() + std::size_t(y) * stride;
                Row32To24(dst, from + std::size_t(h - 1 - y) * fromStride, w);
                std::memset(dst + used, 0, stride - used);
            }
        });
    m_bits = std::move(out);
    m_stride = stride;
    m_pf = pf24bit;
    m_palette.clear();
    Changed();
    return true;
}

void TBitmap::ChangeRows24(const std::function<void(uchar *row)> &row,
                           const std::function<void(uchar *dst, const uchar *src)> &narrowRow)
{
    if (m_pf != pf32bit) {
        SetPixelFormat(pf24bit);
        for (int y = 0; y < m_height; ++y)
            row(m_bits.data() + std::size_t(y) * m_stride);
        return;
    }
    CheckNoCanvas();
    // As SetPixelFormat narrows in place, each row handed over once narrowed.
    const std::size_t stride = BytesPerRow(m_width, 24), used = std::size_t(m_width) * 3;
    for (int y = 0; y < m_height; ++y) {
        uchar *dst = m_bits.data() + std::size_t(y) * stride;
        const uchar *src = m_bits.data() + std::size_t(y) * m_stride;
        if (narrowRow) {
            narrowRow(dst, src);
        } else {
            Row32To24(dst, src, m_width);
            row(dst);
        }
        std::memset(dst + used, 0, stride - used);
    }
    m_bits.resize(stride * std::size_t(m_height));
    m_stride = stride;
    m_pf = pf24bit;
    m_palette.clear();
}

bool TBitmap::ConvertTrueColorRows(TPixelFormat pf, std::size_t stride, PixelBuffer &bits) const
{
    // 8-bit palettes to 24 or 32 bits, a whole pixel per load and store
    // (24 and 32 bits into each other go through their own paths).
    const bool to32 = pf == pf32bit;
    if ((pf != pf24bit && !to32) || (m_pf != pf24bit && m_pf != pf8bit))
        return false;
    if (m_width == 0 || m_height == 0)
        return true; // no rows to write
    const std::size_t w = std::size_t(m_width);
    const std::size_t used = w * (to32 ? 4 : 3);
    uint32_t table[256];
    if (m_pf == pf8bit)
        for (int i = 0; i < 256; ++i)
            table[i] = i < m_palette.size() ? (m_palette[i] & 0xFFFFFFu) | 0xFF000000u : 0xFF000000u;
    for (int y = 0; y < m_height; ++y) {
        const uchar *src = m_bits.data() + std::size_t(y) * m_stride;
        uchar *dst = bits.data() + std::size_t(y) * stride;
        if (m_pf == pf8bit && to32) {
            for (std::size_t x = 0; x < w; ++x)
                std::memcpy(dst + 4 * x, &table[src[x]], 4);
        } else if (m_pf == pf8bit) {
            // Four bytes a pixel, each store overlapping the next pixel's
            // first byte; the last pixel gets its three bytes alone.
            for (std::size_t x = 0; x + 1 < w; ++x)
                std::memcpy(dst + 3 * x, &table[src[x]], 4);
            std::memcpy(dst + 3 * (w - 1), &table[src[w - 1]], 3);
        } else {
            return false; // same depth: handled before
        }
        std::memset(dst + used, 0, stride - used);
    }
    return true;
}

bool TBitmap::Monochrome() const
{
    if (m_pf != pf1bit)
        return false;
    const QVector<QRgb> bw = DefaultPalette(pf1bit);
    if (m_palette.size() != 2)
        return false;
    return (m_palette[0] & 0xFFFFFF) == (bw[0] & 0xFFFFFF) && (m_palette[1] & 0xFFFFFF) == (bw[1] & 0xFFFFFF);
}

void TBitmap::SetMonochrome(bool on)
{
    if (on == Monochrome())
        return;
    if (on) {
        if (m_pf == pf1bit) {
            // Another two-colour palette: go through true colour so every
            // pixel lands on black or white by its colour.
            SetPixelFormat(pf24bit);
        }
        SetPixelFormat(pf1bit);
        if (!Monochrome()) {
            // A 1-bit palette that fit was carried over; re-map to black/white.
            SetPixelFormat(pf24bit);
            m_palette.clear();
            SetPixelFormat(pf1bit);
        }
    } else {
        SetPixelFormat(pf24bit);
    }
}

void TBitmap::SetPalette(const QVector<QRgb> &colors)
{
    if (!isPaletted(m_pf))
        return;
    if (colors.size() > paletteCapacity(m_pf))
        throw EInvalidGraphicOperation(QStringLiteral("Palette has too many entries for this pixel format (%1 > %2)")
                                           .arg(colors.size())
                                           .arg(paletteCapacity(m_pf)));
    m_palette = colors;
    for (QRgb &c : m_palette)
        c |= 0xFF000000u;
    Changed();
}

QRgb TBitmap::PixelRgb(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    const uchar *row = m_bits.data() + std::size_t(y) * m_stride;
    if (isPaletted(m_pf)) {
        const int i = indexAt(row, x, BitsPerPixel());
        return i < m_palette.size() ? (m_palette[i] | 0xFF000000u) : qRgb(0, 0, 0);
    }
    switch (m_pf) {
    case pf15bit: {
        const int v = row[2 * x] | (row[2 * x + 1] << 8);
        return qRgb(expand5((v >> 10) & 31), expand5((v >> 5) & 31), expand5(v & 31));
    }
    case pf16bit: {
        const int v = row[2 * x] | (row[2 * x + 1] << 8);
        return qRgb(expand5((v >> 11) & 31), expand6((v >> 5) & 63), expand5(v & 31));
    }
    case pf24bit: return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: return qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return -1;
    return rgbToTColor(PixelRgb(x, y));
}

void TBitmap::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    uchar *row = m_bits.data() + std::size_t(y) * m_stride;
    const QRgb c = tcolorToRgb(color);
    if (isPaletted(m_pf))
        setIndexAt(row, x, BitsPerPixel(), NearestColor(m_palette)(c));
    else
        writeTrueColor(row, x, m_pf, c);
    Changed();
}

TColor TBitmap::TransparentColor() const
{
    if (m_transparentMode == tmAuto && !Empty())
        return Pixel(0, m_height - 1);
    return m_transparentColor;
}

void TBitmap::SetTransparentColor(TColor c)
{
    m_transparentColor = c;
    m_transparentMode = tmFixed;
    Changed();
}

std::unique_ptr<TCanvas> TBitmap::Canvas()
{
    CheckNoCanvas();
    return std::unique_ptr<TCanvas>(new TCanvas(*this));
}

void TBitmap::Draw(QPainter &painter, const QRect &rect) const
{
    if (Empty())
        return;
    QImage img = ToImage();
    if (Transparent()) {
        img = img.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = tcolorToRgb(TransparentColor());
        for (int y = 0; y < img.height(); ++y) {
            QRgb *p = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if ((p[x] | 0xFF000000u) == key)
                    p[x] = 0;
        }
    }
    painter.drawImage(rect, img);
}

QImage TBitmap::ToImage() const
{
    if (Empty())
        return QImage();
    QImage img;
    if (m_pf == pf4bit) {
        img = QImage(m_width, m_height, QImage::Format_Indexed8);
        for (int y = 0; y < m_height; ++y) {
            const uchar *src = m_bits.data() + std::size_t(y) * m_stride;
            uchar *dst = img.scanLine(y);
            for (int x = 0; x < m_width; ++x)
                dst[x] = uchar(indexAt(src, x, 4));
        }
        img.setColorTable(QtColorTable());
    } else {
        const QImage view(m_bits.data(), m_width, m_height, qsizetype(m_stride), qtFormat(m_pf));
        img = view.copy();
        if (isPaletted(m_pf))
            img.setColorTable(QtColorTable());
        if (m_pf == pf32bit) {
            for (int y = 0; y < m_height; ++y) {
                uchar *row = img.scanLine(y);
                for (int x = 0; x < m_width; ++x)
                    row[4 * x + 3] = 0xFF;
            }
        }
    }
    img.setDotsPerMeterX(kDotsPerMeter96);
    img.setDotsPerMeterY(kDotsPerMeter96);
    return img;
}

void TBitmap::Assign(const QImage &image)
{
    CheckNoCanvas();
    if (image.isNull()) {
        Clear();
        return;
    }
    const int w = image.width(), h = image.height();
    checkSize(w, h);
    TPixelFormat pf;
    QImage src;
    QVector<QRgb> palette;
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        pf = pf1bit;
        src = image.convertToFormat(QImage::Format_Mono);
        palette = src.colorTable().mid(0, 2);
        break;
    case QImage::Format_Indexed8:
        pf = pf8bit;
        src = image;
        palette = src.colorTable().mid(0, 256);
        break;
    case QImage::Format_Grayscale8:
        pf = pf8bit;
        src = image;
        for (int i = 0; i < 256; ++i)
            palette.append(qRgb(i, i, i));
        break;
    case QImage::Format_RGB555: pf = pf15bit; src = image; break;
    case QImage::Format_RGB16: pf = pf16bit; src = image; break;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        pf = pf24bit;
        src = image.convertToFormat(QImage::Format_BGR888);
        break;
    default:
        pf = pf32bit;
        src = image.convertToFormat(QImage::Format_RGB32);
        break;
    }
    const std::size_t stride = BytesPerRow(w, zk::BitsPerPixel(pf));
    const std::size_t rowBytes = std::min<std::size_t>(stride, std::size_t(src.bytesPerLine()));
    PixelBuffer bits = NewPixelRows(w, h, pf);
    if (!bits.empty())
        std::memset(bits.data(), 0, bits.size());
    for (int y = 0; y < h; ++y)
        std::memcpy(bits.data() + std::size_t(y) * stride, src.constScanLine(y), rowBytes);
    Adopt(w, h, pf, std::move(bits), palette);
}

TBitmap TBitmap::FromImage(const QImage &image)
{
    TBitmap b;
    b.Assign(image);
    return b;
}

void TBitmap::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    CheckNoCanvas();
    if (const auto *b = dynamic_cast<const TBitmap *>(&source)) {
        *this = *b;
        Changed();
        return;
    }
    if (source.AssignTo(*this))
        return;
    if (source.Empty()) {
        Clear();
        return;
    }
    TBitmap tmp(source.Width(), source.Height(), pf24bit);
    {
        auto canvas = tmp.Canvas();
        canvas->fillRect(QRect(0, 0, tmp.Width(), tmp.Height()), Qt::white);
        source.Draw(*canvas, QRect(0, 0, tmp.Width(), tmp.Height()));
    }
    *this = tmp;
    Changed();
}

bool TBitmap::AssignTo(TGraphic &) const
{
    // Classes that can take a bitmap do so in their own Assign.
    return false;
}

QByteArray TBitmap::SaveToDIB() const
{
    return WriteDib(*this);
}

void TBitmap::LoadFromDIB(const QByteArray &dib)
{
    ReadDib(reinterpret_cast<const uchar *>(dib.constData()), std::size_t(dib.size()), *this);
}

void TBitmap::LoadFromStream(QIODevice &stream)
{
    CheckNoCanvas();
    if (stream.isSequential()) {
        const QByteArray data = stream.readAll();
        ReadBmp(reinterpret_cast<const uchar *>(data.constData()), std::size_t(data.size()), *this);
        return;
    }
    if (ReadBmpDirect(stream, *this))
        return;
    const qint64 start = stream.pos();
    const QByteArray data = stream.readAll();
    std::size_t used = 0;
    try {
        used = ReadBmp(reinterpret_cast<const uchar *>(data.constData()), std::size_t(data.size()), *this);
    } catch (...) {
        stream.seek(start);
        throw;
    }
    stream.seek(start + qint64(used));
}

void TBitmap::SaveToStream(QIODevice &stream)
{
    WriteBmpStream(*this, stream);
}

} // namespace zk
