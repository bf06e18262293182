#include "ColorReduction.h"

#include "GIFImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

namespace zk {

// --------------------------------------------------------------- palettes

const std::array<QRgb, 20> WindowsDefaultColors = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192),
    qRgb(192, 220, 192), qRgb(166, 202, 240), qRgb(255, 251, 240), qRgb(160, 160, 164),
    qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),     qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255),
};

QVector<QRgb> WindowsDefaultPalette()
{
    return QVector<QRgb>(WindowsDefaultColors.begin(), WindowsDefaultColors.end());
}

QVector<QRgb> HalftonePalette()
{
    QVector<QRgb> pal(WindowsDefaultColors.begin(), WindowsDefaultColors.begin() + 10);
    pal += CreateWebSafePalette();
    for (int v : {12, 20, 28, 36, 44, 60, 68, 76, 84, 92, 108, 116, 140, 172, 180, 212, 220, 228, 236, 244})
        pal.append(qRgb(v, v, v));
    pal += QVector<QRgb>(WindowsDefaultColors.begin() + 10, WindowsDefaultColors.end());
    return pal;
}

namespace {

QVector<QRgb> GreyPalette(std::initializer_list<int> levels)
{
    QVector<QRgb> pal;
    for (int v : levels)
        pal.append(qRgb(v, v, v));
    return pal;
}

QVector<QRgb> Grey256()
{
    QVector<QRgb> pal(256);
    for (int i = 0; i < 256; ++i)
        pal[i] = qRgb(i, i, i);
    return pal;
}

void CheckDimensions(int width, int height)
{
    if (width <= 0 || height <= 0 || qint64(width) * height > TBitmap::MaxPixels())
        RaiseGIFError(TGIFMsg::BadImageDimensions);
}

// Runs fn(begin, end) over 0..count split into contiguous pieces, one a
// thread, the calling thread included. Pieces are numbered in order.
int PieceCount(int count, int minPiece)
{
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp(count / std::max(1, minPiece), 1, int(std::min(hw, 8u)));
}

template <class Fn>
void ParallelPieces(int count, int minPiece, Fn fn)
{
    const int pieces = PieceCount(count, minPiece);
    std::vector<std::thread> threads;
    threads.reserve(size_t(pieces - 1));
    auto bounds = [&](int k) { return int(qint64(count) * k / pieces); };
    for (int k = 1; k < pieces; ++k)
        threads.emplace_back([&, k] { fn(k, bounds(k), bounds(k + 1)); });
    fn(0, 0, bounds(1));
    for (auto &t : threads)
        t.join();
}

struct Rows
{
    std::vector<const uchar *> src;
    std::vector<uchar *> dst;
    int width = 0;
};

Rows CollectRows(const TDIBReader &reader, TDIBWriter &writer)
{
    Rows r;
    r.width = reader.Width();
    const int h = reader.Height();
    r.src.resize(size_t(h));
    r.dst.resize(size_t(h));
    for (int y = 0; y < h; ++y) {
        r.src[size_t(y)] = reader.ScanLine(y);
        r.dst[size_t(y)] = writer.ScanLine(y);
    }
    return r;
}

// Nearest colour through the fast lookup, on several threads, with the
// answers the one-thread serpentine walk gives: the cache slot of a key is
// filled by the first colour of that key in walking order, so that colour is
// found first (each piece of rows notes its own first colours; the earliest
// piece wins), then every pixel reads its slot.
void MapNearestFast(const Rows &rows, TFastColorLookup &lookup)
{
    constexpr uint32_t None = 0xFFFFFFFFu;
    const int h = int(rows.src.size()), w = rows.width;
    std::vector<std::vector<uint32_t>> first(size_t(PieceCount(h, 64)));
    ParallelPieces(h, 64, [&](int k, int y0, int y1) {
        {
            std::vector<uint32_t> &seen = first[size_t(k)];
            seen.assign(32768, None);
            for (int y = y0; y < y1; ++y) {
                const uchar *s = rows.src[size_t(y)];
                const bool forward = (y & 1) == 0;
                for (int i = 0; i < w; ++i) {
                    const int x = forward ? i : w - 1 - i;
                    const uchar *p = s + 3 * x;
                    const int key = TFastColorLookup::Key(p[2], p[1], p[0]);
                    if (seen[size_t(key)] == None && lookup.Cached(key) == TFastColorLookup::EmptySlot)
                        seen[size_t(key)] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
                }
            }
        }
    });
    ParallelPieces(32768, 1024, [&](int, int k0, int k1) {
        for (int key = k0; key < k1; ++key) {
            if (lookup.Cached(key) != TFastColorLookup::EmptySlot)
                continue;
            for (const auto &seen : first) {
                const uint32_t c = seen[size_t(key)];
                if (c != None) {
                    lookup.Fill(key, int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF));
                    break;
                }
            }
        }
    });
    ParallelPieces(h, 32, [&](int, int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const uchar *s = rows.src[size_t(y)];
            uchar *d = rows.dst[size_t(y)];
            for (int x = 0; x < w; ++x, s += 3)
                d[x] = uchar(lookup.Cached(TFastColorLookup::Key(s[2], s[1], s[0])));
        }
    });
}

// Lookups without a cache answer each colour alone: rows in any order.
void MapNearestStateless(const Rows &rows, TColorLookup &lookup)
{
    const int h = int(rows.src.size()), w = rows.width;
    ParallelPieces(h, 32, [&](int, int y0, int y1) {
        int r, g, b;
        for (int y = y0; y < y1; ++y) {
            const uchar *s = rows.src[size_t(y)];
            uchar *d = rows.dst[size_t(y)];
            for (int x = 0; x < w; ++x, s += 3)
                d[x] = uchar(lookup.Lookup(s[2], s[1], s[0], r, g, b));
        }
    });
}

// The serpentine walk; for a final ditherer class the calls are direct.
template <class Engine>
void WalkRows(const Rows &rows, Engine &engine)
{
    const int w = rows.width;
    int r, g, b;
    for (size_t y = 0; y < rows.src.size(); ++y) {
        const uchar *s = rows.src[y];
        uchar *d = rows.dst[y];
        for (int x = engine.Column(); x >= 0 && x < w; x = engine.Column())
            d[x] = uchar(engine.Dither(s[3 * x + 2], s[3 * x + 1], s[3 * x], r, g, b));
        engine.NextLine();
    }
}

template <class Engine>
void Diffuse(const Rows &rows, TColorLookup &lookup)
{
    Engine engine(rows.width, lookup);
    WalkRows(rows, engine);
}

} // namespace

// ------------------------------------------------------------------ lookups

TFastColorLookup::TFastColorLookup(const QVector<QRgb> &palette)
    : TColorLookup(int(std::min<qsizetype>(palette.size(), 256))), m_cache(32768, EmptySlot)
{
    m_palette.assign(palette.begin(), palette.begin() + m_colors);
    for (int i = 0; i < m_colors; ++i) {
        const QRgb c = m_palette[size_t(i)];
        uint16_t &slot = m_cache[size_t(Key(qRed(c), qGreen(c), qBlue(c)))];
        if (slot == EmptySlot)
            slot = uint16_t(i);
    }
}

int TFastColorLookup::Nearest(int red, int green, int blue) const
{
    int best = 0, bestDistance = 0x30000;
    for (int i = 0; i < m_colors; ++i) {
        const QRgb c = m_palette[size_t(i)];
        const int d = std::abs(qRed(c) - red) + std::abs(qGreen(c) - green) + std::abs(qBlue(c) - blue);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int TFastColorLookup::Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    if (m_colors == 0) {
        outRed = outGreen = outBlue = 0;
        return 0;
    }
    uint16_t &slot = m_cache[size_t(Key(red, green, blue))];
    if (slot == EmptySlot)
        slot = uint16_t(Nearest(red, green, blue));
    const QRgb c = m_palette[slot];
    outRed = qRed(c);
    outGreen = qGreen(c);
    outBlue = qBlue(c);
    return slot;
}

int TNetscapeColorLookup::Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    // The nearest of the six levels; (c + 3) div 51 would send 47 to 0.
    const int r = (red + 25) / 51, g = (green + 25) / 51, b = (blue + 25) / 51;
    outRed = r * 51;
    outGreen = g * 51;
    outBlue = b * 51;
    return r * 36 + g * 6 + b;
}

int TGrayScaleLookup::Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    const int v = (red * 77 + green * 150 + blue * 29) >> 8;
    outRed = outGreen = outBlue = v;
    return v;
}

int TMonochromeLookup::Lookup(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    const int index = red * 77 + green * 150 + blue * 29 < 32513 ? 0 : 1;
    outRed = outGreen = outBlue = index * 255;
    return index;
}

// --------------------------------------------------------------- ditherers

TDitherEngine::TDitherEngine(int width, TColorLookup &lookup) : m_lookup(lookup), m_width(width) {}

int TDitherEngine::Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    const int index = m_lookup.Lookup(red, green, blue, outRed, outGreen, outBlue);
    m_column += m_direction;
    return index;
}

void TDitherEngine::NextLine()
{
    m_direction = -m_direction;
    m_column = m_direction > 0 ? 0 : m_width - 1;
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup &lookup) : TDitherEngine(width, lookup)
{
    for (int c = 0; c < 3; ++c) {
        m_errors[c].assign(size_t(width) + 2, 0);
        m_ptr[c] = m_errors[c].data();
    }
}

int TFloydSteinbergDitherer::Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    int32_t error[3];
    const auto share = [&](int c) { return (m_ptr[c][m_direction] + m_carried[c] + 8) / 16; };
    const int index = LookupAdjusted(red, green, blue, share, error, outRed, outGreen, outBlue);
    for (int c = 0; c < 3; ++c) {
        const int32_t e = error[c];
        *m_ptr[c] = m_belowBehind[c] + 3 * e;
        m_belowBehind[c] = m_below[c] + 5 * e;
        m_below[c] = e;
        m_carried[c] = 7 * e;
        m_ptr[c] += m_direction;
    }
    m_column += m_direction;
    return index;
}

void TFloydSteinbergDitherer::NextLine()
{
    for (int c = 0; c < 3; ++c) {
        *m_ptr[c] = m_belowBehind[c];
        m_carried[c] = m_belowBehind[c] = m_below[c] = 0;
    }
    TDitherEngine::NextLine();
    for (int c = 0; c < 3; ++c)
        m_ptr[c] = m_errors[c].data() + (m_direction > 0 ? 0 : m_width + 1);
}

T5by3Ditherer::T5by3Ditherer(int width, TColorLookup &lookup, int divisor)
    : TDitherEngine(width, lookup), m_divisor(divisor), m_rows(width, 2)
{
}

int T5by3Ditherer::Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    int32_t error[3];
    const auto share = [&](int c) { return (*m_rows.ptr[c][0] + m_divisor / 2) / m_divisor; };
    const int index = LookupAdjusted(red, green, blue, share, error, outRed, outGreen, outBlue);
    for (int c = 0; c < 3; ++c) {
        const int32_t e = error[c];
        if (e != 0)
            Distribute(m_rows.ptr[c][0], m_rows.ptr[c][1], e, m_rows.ptr[c][2]);
        m_rows.Advance(c, m_direction);
    }
    m_column += m_direction;
    return index;
}

void T5by3Ditherer::NextLine()
{
    TDitherEngine::NextLine();
    m_direction2 = 2 * m_direction;
    m_rows.NextLine(m_direction > 0 ? 2 : size_t(m_width) + 1);
}

namespace {

// Adds weights x error at columns -2..+2 (relative, in scan direction) of a row.
inline void AddFive(int32_t *row, int d, int d2, int32_t e, int w0, int w1, int w2, int w3, int w4)
{
    row[-d2] += w0 * e;
    row[-d] += w1 * e;
    row[0] += w2 * e;
    row[d] += w3 * e;
    row[d2] += w4 * e;
}

} // namespace

void TStuckiDitherer::Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2)
{
    row0[m_direction] += 8 * error;
    row0[m_direction2] += 4 * error;
    AddFive(row1, m_direction, m_direction2, error, 2, 4, 8, 4, 2);
    AddFive(row2, m_direction, m_direction2, error, 1, 2, 4, 2, 1);
}

void TSierraDitherer::Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2)
{
    row0[m_direction] += 5 * error;
    row0[m_direction2] += 3 * error;
    AddFive(row1, m_direction, m_direction2, error, 2, 4, 5, 4, 2);
    AddFive(row2, m_direction, m_direction2, error, 0, 2, 3, 2, 0);
}

void TJaJuNiDitherer::Distribute(int32_t *row0, int32_t *row1, int32_t error, int32_t *row2)
{
    row0[m_direction] += 7 * error;
    row0[m_direction2] += 5 * error;
    AddFive(row1, m_direction, m_direction2, error, 3, 5, 7, 5, 3);
    AddFive(row2, m_direction, m_direction2, error, 1, 3, 5, 3, 1);
}

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup &lookup)
    : TDitherEngine(width, lookup), m_rows(width, 3)
{
}

int TSteveArcheDitherer::Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    int32_t error[3];
    const auto share = [&](int c) { return (*m_rows.ptr[c][0] + 100) / 200; };
    const int index = LookupAdjusted(red, green, blue, share, error, outRed, outGreen, outBlue);
    const int d = m_direction, d2 = m_direction2, d3 = m_direction3;
    for (int c = 0; c < 3; ++c) {
        const int32_t e = error[c];
        if (e != 0) {
            int32_t *r0 = m_rows.ptr[c][0], *r1 = m_rows.ptr[c][1], *r2 = m_rows.ptr[c][2], *r3 = m_rows.ptr[c][3];
            r0[d2] += 32 * e;
            r1[-d3] += 12 * e;
            r1[-d] += 26 * e;
            r1[d] += 30 * e;
            r1[d3] += 16 * e;
            r2[-d2] += 12 * e;
            r2[0] += 26 * e;
            r2[d2] += 12 * e;
            r3[-d3] += 5 * e;
            r3[-d] += 12 * e;
            r3[d] += 12 * e;
            r3[d3] += 5 * e;
        }
        m_rows.Advance(c, d);
    }
    m_column += m_direction;
    return index;
}

void TSteveArcheDitherer::NextLine()
{
    TDitherEngine::NextLine();
    m_direction2 = 2 * m_direction;
    m_direction3 = 3 * m_direction;
    m_rows.NextLine(m_direction > 0 ? 3 : size_t(m_width) + 2);
}

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup &lookup) : TDitherEngine(width, lookup), m_rows(width, 2) {}

int TBurkesDitherer::Dither(int red, int green, int blue, int &outRed, int &outGreen, int &outBlue)
{
    int32_t error[3];
    const auto share = [&](int c) { return (*m_rows.ptr[c][0] + 16) / 32; };
    const int index = LookupAdjusted(red, green, blue, share, error, outRed, outGreen, outBlue);
    for (int c = 0; c < 3; ++c) {
        const int32_t e = error[c];
        if (e != 0) {
            m_rows.ptr[c][0][m_direction] += 8 * e;
            m_rows.ptr[c][0][m_direction2] += 4 * e;
            AddFive(m_rows.ptr[c][1], m_direction, m_direction2, e, 2, 4, 8, 4, 2);
        }
        m_rows.Advance(c, m_direction);
    }
    m_column += m_direction;
    return index;
}

void TBurkesDitherer::NextLine()
{
    TDitherEngine::NextLine();
    m_direction2 = 2 * m_direction;
    m_rows.NextLine(m_direction > 0 ? 2 : size_t(m_width) + 1);
}

// ---------------------------------------------------------- pixel access

TDIBReader::TDIBReader(TBitmap &bitmap, TPixelFormat pixelFormat) : TDIB(bitmap, pixelFormat)
{
    if (bitmap.PixelFormat() != pixelFormat)
        bitmap.SetPixelFormat(pixelFormat);
}

const uchar *TDIBReader::ScanLine(int row) const
{
    return static_cast<const TBitmap &>(m_bitmap).ScanLine(row);
}

TDIBWriter::TDIBWriter(TBitmap &bitmap, TPixelFormat pixelFormat, int width, int height,
                       const QVector<QRgb> &palette)
    : TDIB(bitmap, pixelFormat), m_width(width), m_height(height), m_exceptions(std::uncaught_exceptions())
{
    if (pixelFormat != pf8bit && pixelFormat != pf24bit)
        RaiseGIFError(TGIFMsg::UnsupportedPixelFormat);
    CheckDimensions(width, height);
    const int bits = zk::BitsPerPixel(pixelFormat);
    if (pixelFormat == pf8bit)
        m_palette = palette.mid(0, 256);
    m_rowBytes = size_t(DibRowBytes(width, bits, 32));
    try {
        m_bits.resize(m_rowBytes * size_t(height));
    } catch (const std::bad_alloc &) {
        throw EOutOfMemory(GIFMessage(TGIFMsg::DibAllocFailed));
    }
    // Row padding is never written by the callers: zero it, so one picture
    // always gives the same bytes.
    const size_t used = size_t(width) * size_t(bits / 8);
    if (used < m_rowBytes)
        for (int y = 0; y < height; ++y)
            std::memset(m_bits.data() + size_t(y) * m_rowBytes + used, 0, m_rowBytes - used);
}

TDIBWriter::~TDIBWriter()
{
    if (!m_done && std::uncaught_exceptions() == m_exceptions) {
        try {
            Finish();
        } catch (...) {
            // A destructor cannot report; the bitmap keeps what it held.
        }
    }
}

uchar *TDIBWriter::ScanLine(int row)
{
    if (row < 0 || row >= m_height || m_done)
        throw EInvalidGraphicOperation(QStringLiteral("Scan line index out of range"));
    return m_bits.data() + size_t(row) * m_rowBytes;
}

void TDIBWriter::Finish()
{
    if (m_done)
        return;
    m_bitmap.Adopt(m_width, m_height, m_pixelFormat, std::move(m_bits), m_palette);
    m_done = true;
}

// ------------------------------------------------------------------ octree

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : m_maxColors(std::max(1, maxColors)), m_colorBits(std::clamp(colorBits, 1, 8))
{
    m_nodes.reserve(4096);
    m_root = NewNode(0);
}

int32_t TColorQuantizer::NewNode(int level)
{
    int32_t n;
    if (!m_free.empty()) {
        n = m_free.back();
        m_free.pop_back();
        m_nodes[size_t(n)] = TOctreeNode();
    } else {
        n = int32_t(m_nodes.size());
        m_nodes.emplace_back();
    }
    TOctreeNode &node = m_nodes[size_t(n)];
    if (level == m_colorBits) {
        node.leaf = true;
        ++m_leafCount;
    } else {
        node.next = m_reducible[level];
        m_reducible[level] = n;
    }
    return n;
}

void TColorQuantizer::FreeNode(int32_t n)
{
    for (int32_t &child : m_nodes[size_t(n)].children)
        if (child >= 0) {
            FreeNode(child);
            child = -1;
        }
    m_free.push_back(n);
}

void TColorQuantizer::AddColors(int red, int green, int blue, uint32_t count)
{
    int32_t n = m_root;
    for (int level = 0; !m_nodes[size_t(n)].leaf; ++level) {
        const int shift = 7 - level;
        const int index = ((red >> shift) & 1) << 2 | ((green >> shift) & 1) << 1 | ((blue >> shift) & 1);
        int32_t child = m_nodes[size_t(n)].children[index];
        if (child < 0) {
            child = NewNode(level + 1);
            m_nodes[size_t(n)].children[index] = child;
        }
        n = child;
    }
    TOctreeNode &leaf = m_nodes[size_t(n)];
    leaf.pixelCount += count;
    leaf.redSum += uint64_t(red) * count;
    leaf.greenSum += uint64_t(green) * count;
    leaf.blueSum += uint64_t(blue) * count;
    while (m_leafCount > m_maxColors && !m_nodes[size_t(m_root)].leaf)
        Reduce();
}

void TColorQuantizer::Reduce()
{
    int level = m_colorBits - 1;
    while (level > 0 && m_reducible[level] < 0)
        --level;
    const int32_t n = m_reducible[level];
    if (n < 0)
        return;
    m_reducible[level] = m_nodes[size_t(n)].next;
    uint32_t count = 0;
    uint64_t r = 0, g = 0, b = 0;
    int children = 0;
    for (int32_t child : m_nodes[size_t(n)].children)
        if (child >= 0) {
            const TOctreeNode &c = m_nodes[size_t(child)];
            count += c.pixelCount;
            r += c.redSum;
            g += c.greenSum;
            b += c.blueSum;
            ++children;
        }
    TOctreeNode &node = m_nodes[size_t(n)];
    node.pixelCount += count;
    node.redSum += r;
    node.greenSum += g;
    node.blueSum += b;
    for (int32_t &child : node.children)
        if (child >= 0) {
            FreeNode(child);
            child = -1;
        }
    node.leaf = true;
    m_leafCount += 1 - children;
}

void TColorQuantizer::AddRows(const TDIBReader &reader)
{
    // Runs of one colour go in as one addition; rows continue the run.
    const int w = reader.Width(), h = reader.Height();
    int pr = -1, pg = 0, pb = 0;
    uint32_t run = 0;
    for (int y = 0; y < h; ++y) {
        const uchar *p = reader.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            if (p[2] == pr && p[1] == pg && p[0] == pb) {
                ++run;
                continue;
            }
            if (run)
                AddColors(pr, pg, pb, run);
            pr = p[2];
            pg = p[1];
            pb = p[0];
            run = 1;
        }
    }
    if (run)
        AddColors(pr, pg, pb, run);
}

QVector<QRgb> TColorQuantizer::Colors() const
{
    QVector<QRgb> out;
    out.reserve(m_leafCount);
    auto walk = [&](auto &&self, int32_t n) -> void {
        const TOctreeNode &node = m_nodes[size_t(n)];
        if (node.leaf) {
            if (node.pixelCount == 0)
                out.append(qRgb(0, 0, 0));
            else
                out.append(qRgb(int(node.redSum / node.pixelCount), int(node.greenSum / node.pixelCount),
                                int(node.blueSum / node.pixelCount)));
            return;
        }
        for (int32_t child : node.children)
            if (child >= 0)
                self(self, child);
    };
    walk(walk, m_root);
    return out;
}

QVector<QRgb> BuildOctreePalette(const TDIBReader &reader, int colors, int depth, bool withWindowsColors)
{
    const int wanted = withWindowsColors ? 236 : std::clamp(colors, 1, 256);
    TColorQuantizer quantizer(wanted, depth);
    quantizer.AddRows(reader);
    const QVector<QRgb> found = quantizer.Colors();
    QVector<QRgb> pal;
    pal.reserve(withWindowsColors ? 256 : wanted);
    if (withWindowsColors)
        pal += QVector<QRgb>(WindowsDefaultColors.begin(), WindowsDefaultColors.begin() + 10);
    pal += found.mid(0, wanted);
    const QRgb filler = pal.isEmpty() ? qRgb(0, 0, 0) : pal.first();
    while (pal.size() < (withWindowsColors ? 246 : wanted))
        pal.append(filler);
    if (withWindowsColors)
        pal += QVector<QRgb>(WindowsDefaultColors.begin() + 10, WindowsDefaultColors.end());
    return pal;
}

QVector<QRgb> BuildOctreePalette(TBitmap &bitmap, int colors, int depth, bool withWindowsColors)
{
    CheckDimensions(bitmap.Width(), bitmap.Height());
    TDIBReader reader(bitmap, pf24bit);
    return BuildOctreePalette(reader, colors, depth, withWindowsColors);
}

// ------------------------------------------------------------------ driver

void DitherRows(const TDIBReader &reader, TDitherEngine &ditherer, TDIBWriter &writer)
{
    const Rows rows = CollectRows(reader, writer);
    WalkRows(rows, ditherer);
}

TBitmap ReduceBitmapColors(TBitmap &bitmap, int method, int ditherMode, const QVector<QRgb> &palette, int colorBits)
{
    CheckDimensions(bitmap.Width(), bitmap.Height());
    TBitmap result;
    if (method == rmNone) {
        result = bitmap;
        result.SetPixelFormat(pf24bit);
        return result;
    }
    TDIBReader reader(bitmap, pf24bit);
    if (method < 0 || method > rmPalette || ditherMode < 0 || ditherMode > dmBurkes)
        return result;

    QVector<QRgb> target;
    std::unique_ptr<TColorLookup> lookup;
    switch (method) {
    case rmWindows20: target = WindowsDefaultPalette(); break;
    case rmHalftone: target = HalftonePalette(); break;
    case rmGrayscale4: target = GreyPalette({0, 128, 192, 255}); break;
    case rmMonochrome:
        target = GreyPalette({0, 255});
        lookup = std::make_unique<TMonochromeLookup>();
        break;
    case rmGrayscale256:
        target = Grey256();
        lookup = std::make_unique<TGrayScaleLookup>();
        break;
    case rmNetscape:
        target = CreateWebSafePalette();
        lookup = std::make_unique<TNetscapeColorLookup>();
        break;
    case rmQuantize: target = BuildOctreePalette(reader, 1 << std::clamp(colorBits, 1, 8), 8, false); break;
    case rmQuantizeWindows: target = BuildOctreePalette(reader, 256, 8, true); break;
    case rmPalette: target = palette.mid(0, 256); break;
    default: break;
    }
    if (!lookup)
        lookup = std::make_unique<TFastColorLookup>(target);
    if (lookup->Colors() == 0)
        return result;

    TDIBWriter writer(result, pf8bit, bitmap.Width(), bitmap.Height(), target);
    const Rows rows = CollectRows(reader, writer);
    switch (ditherMode) {
    case dmNearest:
        if (auto *fast = dynamic_cast<TFastColorLookup *>(lookup.get()))
            MapNearestFast(rows, *fast);
        else
            MapNearestStateless(rows, *lookup);
        break;
    case dmFloydSteinberg: Diffuse<TFloydSteinbergDitherer>(rows, *lookup); break;
    case dmStucki: Diffuse<TStuckiDitherer>(rows, *lookup); break;
    case dmSierra: Diffuse<TSierraDitherer>(rows, *lookup); break;
    case dmJaJuNi: Diffuse<TJaJuNiDitherer>(rows, *lookup); break;
    case dmSteveArche: Diffuse<TSteveArcheDitherer>(rows, *lookup); break;
    default: Diffuse<TBurkesDitherer>(rows, *lookup); break;
    }
    writer.Finish();
    return result;
}

} // namespace zk
