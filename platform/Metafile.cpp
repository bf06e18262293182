#include "Metafile.h"

#include "GraphicText.h"
#include "BmpCodec.h"
#include "LeBytes.h"

#include <QIODevice>
#include <QPainter>
#include <cmath>
#include <cstring>
#include <vector>

namespace zk {
namespace {

constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr qint64 kMaxMetafileBytes = qint64(1) << 30;

// EMF record types we write or read.
enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETMAPMODE = 17,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
};

// WMF record functions we write or read.
enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_DIBBITBLT = 0x0940,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

// Records that set state but draw nothing; playing them back changes no
// pixel of a bitmap-only metafile, so they are passed over.
bool emfHarmless(std::uint32_t t)
{
    switch (t) {
    case 13: // SETBRUSHORGEX
    case 18: case 19: case 20: case 21: case 22: // BKMODE POLYFILLMODE ROP2 STRETCHBLTMODE TEXTALIGN
    case 24: case 25: // TEXTCOLOR BKCOLOR
    case 37: case 38: case 39: case 40: // SELECTOBJECT CREATEPEN CREATEBRUSHINDIRECT DELETEOBJECT
    case 48: case 49: // SELECTPALETTE CREATEPALETTE
    case 58: // SETMITERLIMIT
    case 70: // GDICOMMENT
    case 82: case 95: // EXTCREATEFONTINDIRECTW EXTCREATEPEN
    case 98: case 115: // SETICMMODE SETLAYOUT
        return true;
    default:
        return false;
    }
}

bool wmfHarmless(std::uint16_t f)
{
    switch (f) {
    case 0x0102: case 0x0103: case 0x0104: case 0x0106: case 0x0107: // BKMODE MAPMODE ROP2 POLYFILL STRETCHBLT
    case 0x012E: case 0x0209: case 0x0201: // TEXTALIGN TEXTCOLOR BKCOLOR
    case 0x001E: case 0x0127: // SAVEDC RESTOREDC
    case 0x012D: case 0x01F0: case 0x02FA: case 0x02FC: // SELECTOBJECT DELETEOBJECT CREATEPEN CREATEBRUSH
    case 0x0626: // ESCAPE (comments)
    case 0x020D: case 0x020E: // SETVIEWPORTORG SETVIEWPORTEXT
    case 0x0231: case 0x0234: case 0x00F7: case 0x0035: case 0x0149: // MAPPERFLAGS palettes LAYOUT
        return true;
    default:
        return false;
    }
}

[[noreturn]] void bad(const QString &why)
{
    throw EInvalidGraphic(GraphicFault("showmsg_graphic_metafile_damaged",
                                       QStringLiteral("Die Metadatei ist beschädigt oder wird nicht unterstützt"), why));
}

[[noreturn]] void notBitmapOnly(const QString &record)
{
    throw EInvalidGraphic(GraphicFault(
        "showmsg_graphic_metafile_vector",
        QStringLiteral("Die Metadatei zeichnet mehr als Bilder; nur Metadateien aus Bitmaps können geöffnet werden"),
        record));
}

// One bitmap placed on the output: dest in output pixels, src in the
// bitmap's own pixels from its top-left corner.
struct Blit {
    QRectF dest;
    QRect src;
    TBitmap bitmap;
};

TBitmap readDib(const unsigned char *info, std::size_t infoSize, const unsigned char *bits, std::size_t bitsSize)
{
    QByteArray dib;
    dib.reserve(qsizetype(infoSize + bitsSize));
    dib.append(reinterpret_cast<const char *>(info), qsizetype(infoSize));
    dib.append(reinterpret_cast<const char *>(bits), qsizetype(bitsSize));
    TBitmap bmp;
    ReadDib(reinterpret_cast<const uchar *>(dib.constData()), std::size_t(dib.size()), bmp);
    return bmp;
}

bool headerBottomUp(const unsigned char *info, std::size_t n) { return n >= 12 && rdI32(info + 8) > 0; }

// The source rectangle of a DIB-to-device call, checked against its bitmap
// in 64 bits: the file's values may be anything, and a rectangle built from
// them first could overflow. Bottom-up DIBs count it from the bottom row; we
// keep source rectangles from the top.
QRect checkedSource(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, const TBitmap &bmp,
                    bool fromBottom)
{
    if (fromBottom)
        y = std::int64_t(bmp.Height()) - y - h;
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > bmp.Width() || y + h > bmp.Height())
        bad(QStringLiteral("A bitmap record of the metafile points outside its bitmap"));
    return QRect(int(x), int(y), int(w), int(h));
}

// Output size check before anything of that size is allocated.
void checkOutput(std::int64_t w, std::int64_t h)
{
    if (w <= 0 || h <= 0)
        bad(QStringLiteral("The metafile has no size"));
    // Each side first: the product of two sides read from a file can pass
    // what 64 bits hold.
    if (w > TBitmap::MaxPixels() || h > TBitmap::MaxPixels() || w * h > TBitmap::MaxPixels())
        throw EInvalidGraphic(GraphicTooLarge(w, h, TBitmap::MaxPixels()));
}

struct Mapping {
    int mapMode = 1; // MM_TEXT
    double wox = 0, woy = 0, wex = 1, wey = 1;
    double vox = 0, voy = 0, vex = 1, vey = 1;

    QPointF toDevice(double x, double y) const
    {
        if (mapMode == 1)
            return {x - wox + vox, y - woy + voy};
        return {(x - wox) * vex / wex + vox, (y - woy) * vey / wey + voy};
    }
};

struct Composition {
    int width = 0;
    int height = 0;
    std::vector<Blit> blits;
};

Composition parseEmf(const unsigned char *p, std::size_t n)
{
    if (n < 88)
        bad(QStringLiteral("The metafile header is cut short"));
    const std::uint32_t headerSize = rdU32(p + 4);
    const std::uint32_t nBytes = rdU32(p + 48);
    if (headerSize < 88 || headerSize > n || headerSize % 4)
        bad(QStringLiteral("The metafile header is damaged"));
    if (nBytes > n)
        bad(QStringLiteral("The metafile is cut short (%1 of %2 bytes)").arg(n).arg(nBytes));
    const std::size_t end = nBytes >= headerSize ? nBytes : n;

    const std::int32_t bl = rdI32(p + 8), bt = rdI32(p + 12), br = rdI32(p + 16), bb = rdI32(p + 20);
    Composition c;
    std::int64_t w = std::int64_t(br) - bl + 1, h = std::int64_t(bb) - bt + 1;
    if (w <= 0 || h <= 0) {
        // Empty bounds: take the frame (0.01 mm) at the reference device's resolution.
        const std::int32_t fl = rdI32(p + 24), ft = rdI32(p + 28), fr = rdI32(p + 32), fb = rdI32(p + 36);
        const std::int32_t devX = rdI32(p + 72), devY = rdI32(p + 76), mmX = rdI32(p + 80), mmY = rdI32(p + 84);
        if (devX <= 0 || devY <= 0 || mmX <= 0 || mmY <= 0)
            bad(QStringLiteral("The metafile has no size"));
        w = std::llround(double(std::int64_t(fr) - fl) * devX / (mmX * 100.0));
        h = std::llround(double(std::int64_t(fb) - ft) * devY / (mmY * 100.0));
    }
    checkOutput(w, h);
    c.width = int(w);
    c.height = int(h);
    const QPointF origin(w > 0 && br >= bl ? bl : 0, h > 0 && bb >= bt ? bt : 0);

    Mapping map;
    std::vector<Mapping> saved;
    bool sawEof = false;
    for (std::size_t off = headerSize; off < end;) {
        if (end - off < 8)
            bad(QStringLiteral("A metafile record is cut short"));
        const unsigned char *r = p + off;
        const std::uint32_t type = rdU32(r), size = rdU32(r + 4);
        if (size < 8 || size % 4 || size > end - off)
            bad(QStringLiteral("A metafile record has an impossible length (%1 bytes)").arg(size));
        auto need = [&](std::uint32_t bytes) {
            if (size < bytes)
                bad(QStringLiteral("Metafile record %1 is cut short").arg(type));
        };
        if (type == EMR_EOF) {
            sawEof = true;
            break;
        }
        switch (type) {
        case EMR_SETWINDOWEXTEX:
        case EMR_SETVIEWPORTEXTEX:
        case EMR_SETWINDOWORGEX:
        case EMR_SETVIEWPORTORGEX: {
            need(16);
            const double x = rdI32(r + 8), y = rdI32(r + 12);
            if (type == EMR_SETWINDOWEXTEX) {
                if (x == 0 || y == 0)
                    bad(QStringLiteral("The metafile sets an empty window"));
                map.wex = x;
                map.wey = y;
            } else if (type == EMR_SETVIEWPORTEXTEX) {
                map.vex = x;
                map.vey = y;
            } else if (type == EMR_SETWINDOWORGEX) {
                map.wox = x;
                map.woy = y;
            } else {
                map.vox = x;
                map.voy = y;
            }
            break;
        }
        case EMR_SETMAPMODE: {
            need(12);
            const std::uint32_t mode = rdU32(r + 8);
            if (mode != 1 && mode != 7 && mode != 8)
                bad(QStringLiteral("The metafile uses a mapping mode (%1) that is not supported").arg(mode));
            map.mapMode = int(mode);
            break;
        }
        case EMR_SAVEDC:
            if (saved.size() > 10000)
                bad(QStringLiteral("The metafile saves its state too often"));
            saved.push_back(map);
            break;
        case EMR_RESTOREDC: {
            need(12);
            const std::int32_t rel = rdI32(r + 8);
            std::size_t keep = rel < 0 ? (std::size_t(-std::int64_t(rel)) <= saved.size()
                                              ? saved.size() - std::size_t(-std::int64_t(rel))
                                              : saved.size() + 1)
                                       : std::size_t(rel) - 1;
            if (rel == 0 || keep >= saved.size())
                bad(QStringLiteral("The metafile restores a state it never saved"));
            map = saved[keep];
            saved.resize(keep);
            break;
        }
        case EMR_SETWORLDTRANSFORM:
        case EMR_MODIFYWORLDTRANSFORM: {
            need(type == EMR_SETWORLDTRANSFORM ? 32 : 36);
            float m[6];
            for (int i = 0; i < 6; ++i) {
                const std::uint32_t u = rdU32(r + 8 + 4 * i);
                static_assert(sizeof(float) == 4);
                std::memcpy(&m[i], &u, 4);
            }
            const bool identity = m[0] == 1 && m[1] == 0 && m[2] == 0 && m[3] == 1 && m[4] == 0 && m[5] == 0;
            // MWT_IDENTITY resets; multiplying by the identity changes nothing.
            const bool reset = type == EMR_MODIFYWORLDTRANSFORM && rdU32(r + 32) == 1;
            if (!identity && !reset)
                bad(QStringLiteral("The metafile turns or scales its drawing, which is not supported"));
            break;
        }
        case EMR_STRETCHDIBITS:
        case EMR_SETDIBITSTODEVICE:
        case EMR_BITBLT:
        case EMR_STRETCHBLT: {
            std::int32_t xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc;
            std::uint32_t offBmi, cbBmi, offBits, cbBits, usage, rop = kSrcCopy;
            bool bottomOrigin = false;
            if (type == EMR_STRETCHDIBITS || type == EMR_SETDIBITSTODEVICE) {
                need(type == EMR_STRETCHDIBITS ? 80 : 76);
                xDest = rdI32(r + 24);
                yDest = rdI32(r + 28);
                xSrc = rdI32(r + 32);
                ySrc = rdI32(r + 36);
                cxSrc = rdI32(r + 40);
                cySrc = rdI32(r + 44);
                offBmi = rdU32(r + 48);
                cbBmi = rdU32(r + 52);
                offBits = rdU32(r + 56);
                cbBits = rdU32(r + 60);
                usage = rdU32(r + 64);
                if (type == EMR_STRETCHDIBITS) {
                    rop = rdU32(r + 68);
                    cxDest = rdI32(r + 72);
                    cyDest = rdI32(r + 76);
                } else {
                    cxDest = cxSrc;
                    cyDest = cySrc;
                    if (rdU32(r + 68) != 0)
                        bad(QStringLiteral("Banded bitmap records in metafiles are not supported"));
                }
                bottomOrigin = true;
            } else {
                need(type == EMR_BITBLT ? 100 : 108);
                xDest = rdI32(r + 24);
                yDest = rdI32(r + 28);
                cxDest = rdI32(r + 32);
                cyDest = rdI32(r + 36);
                rop = rdU32(r + 40);
                xSrc = rdI32(r + 44);
                ySrc = rdI32(r + 48);
                usage = rdU32(r + 80);
                offBmi = rdU32(r + 84);
                cbBmi = rdU32(r + 88);
                offBits = rdU32(r + 92);
                cbBits = rdU32(r + 96);
                cxSrc = type == EMR_STRETCHBLT ? rdI32(r + 100) : cxDest;
                cySrc = type == EMR_STRETCHBLT ? rdI32(r + 104) : cyDest;
                if (cbBmi == 0)
                    notBitmapOnly(QStringLiteral("%1, a fill without bitmap").arg(type));
            }
            if (rop != kSrcCopy)
                bad(QStringLiteral("The metafile combines bitmaps with the screen (raster operation %1), "
                                   "which is not supported")
                        .arg(rop, 8, 16, QLatin1Char('0')));
            if (usage != 0)
                bad(QStringLiteral("Metafile bitmaps with palette indexes are not supported"));
            if (std::uint64_t(offBmi) + cbBmi > size || std::uint64_t(offBits) + cbBits > size || cbBmi < 4)
                bad(QStringLiteral("A bitmap record of the metafile points outside the record"));
            if (cxDest == 0 || cyDest == 0 || cxSrc == 0 || cySrc == 0)
                break;
            if (cxDest < 0 || cyDest < 0 || cxSrc < 0 || cySrc < 0)
                bad(QStringLiteral("Mirrored bitmaps in metafiles are not supported"));
            Blit b;
            b.bitmap = readDib(r + offBmi, cbBmi, r + offBits, cbBits);
            b.src = checkedSource(xSrc, ySrc, cxSrc, cySrc, b.bitmap,
                                  bottomOrigin && headerBottomUp(r + offBmi, cbBmi));
            const QPointF a = map.toDevice(xDest, yDest) - origin;
            const QPointF z = map.toDevice(double(xDest) + cxDest, double(yDest) + cyDest) - origin;
            b.dest = QRectF(a, z).normalized();
            c.blits.push_back(std::move(b));
            break;
        }
        default:
            if (!emfHarmless(type))
                notBitmapOnly(QString::number(type));
            break;
        }
        off += size;
    }
    if (!sawEof)
        bad(QStringLiteral("The metafile is cut short (no end record)"));
    return c;
}

Composition parseWmf(const unsigned char *p, std::size_t n, bool placeable)
{
    Composition c;
    double scale = 1, left = 0, top = 0;
    const unsigned char *q = p;
    std::size_t left_n = n;
    if (placeable) {
        if (n < 22)
            bad(QStringLiteral("The metafile header is cut short"));
        const std::int16_t l = rdI16(p + 6), t = rdI16(p + 8), r = rdI16(p + 10), b = rdI16(p + 12);
        const std::uint16_t inch = rdU16(p + 14);
        if (inch == 0)
            bad(QStringLiteral("The metafile header is damaged (no resolution)"));
        scale = 96.0 / inch;
        left = l;
        top = t;
        const std::int64_t w = std::llround((int(r) - l) * scale), h = std::llround((int(b) - t) * scale);
        checkOutput(w, h);
        c.width = int(w);
        c.height = int(h);
        q = p + 22;
        left_n = n - 22;
    }
    if (left_n < 18)
        bad(QStringLiteral("The metafile header is cut short"));
    const std::uint16_t mtType = rdU16(q), headerWords = rdU16(q + 2);
    if ((mtType != 1 && mtType != 2) || headerWords != 9)
        bad(QStringLiteral("Not a metafile"));

    double wox = 0, woy = 0;
    bool sawEof = false;
    for (std::size_t off = 18; off < left_n;) {
        if (left_n - off < 6)
            bad(QStringLiteral("A metafile record is cut short"));
        const unsigned char *r = q + off;
        const std::uint64_t bytes = std::uint64_t(rdU32(r)) * 2;
        const std::uint16_t func = rdU16(r + 4);
        if (bytes < 6 || bytes > left_n - off)
            bad(QStringLiteral("A metafile record has an impossible length (%1 bytes)").arg(bytes));
        auto need = [&](std::uint64_t b) {
            if (bytes < b)
                bad(QStringLiteral("Metafile record %1 is cut short").arg(func, 4, 16, QLatin1Char('0')));
        };
        if (func == META_EOF) {
            sawEof = true;
            break;
        }
        switch (func) {
        case META_SETWINDOWORG:
            need(10);
            woy = rdI16(r + 6);
            wox = rdI16(r + 8);
            break;
        case META_SETWINDOWEXT: {
            need(10);
            const int ey = rdI16(r + 6), ex = rdI16(r + 8);
            if (!placeable && c.width == 0) {
                checkOutput(ex, ey);
                c.width = ex;
                c.height = ey;
            }
            break;
        }
        case META_STRETCHDIB:
        case META_DIBSTRETCHBLT:
        case META_DIBBITBLT:
        case META_SETDIBTODEV: {
            // A record as long as its function's parameter count plus three
            // words carries no bitmap: a pattern fill, that is drawing.
            if (bytes == std::uint64_t((func >> 8) + 3) * 2)
                notBitmapOnly(QStringLiteral("%1, a fill without bitmap").arg(func, 4, 16, QLatin1Char('0')));
            std::uint32_t rop = kSrcCopy, usage = 0;
            int ySrc, xSrc, srcH, srcW, destH, destW, yDest, xDest;
            std::size_t dibAt;
            bool bottomOrigin = false;
            if (func == META_STRETCHDIB) {
                need(28);
                rop = rdU32(r + 6);
                usage = rdU16(r + 10);
                srcH = rdI16(r + 12);
                srcW = rdI16(r + 14);
                ySrc = rdI16(r + 16);
                xSrc = rdI16(r + 18);
                destH = rdI16(r + 20);
                destW = rdI16(r + 22);
                yDest = rdI16(r + 24);
                xDest = rdI16(r + 26);
                dibAt = 28;
                bottomOrigin = true;
            } else if (func == META_DIBSTRETCHBLT) {
                need(26);
                rop = rdU32(r + 6);
                srcH = rdI16(r + 10);
                srcW = rdI16(r + 12);
                ySrc = rdI16(r + 14);
                xSrc = rdI16(r + 16);
                destH = rdI16(r + 18);
                destW = rdI16(r + 20);
                yDest = rdI16(r + 22);
                xDest = rdI16(r + 24);
                dibAt = 26;
            } else if (func == META_DIBBITBLT) {
                need(22);
                rop = rdU32(r + 6);
                ySrc = rdI16(r + 10);
                xSrc = rdI16(r + 12);
                destH = srcH = rdI16(r + 14);
                destW = srcW = rdI16(r + 16);
                yDest = rdI16(r + 18);
                xDest = rdI16(r + 20);
                dibAt = 22;
            } else {
                need(24);
                usage = rdU16(r + 6);
                if (rdU16(r + 10) != 0)
                    bad(QStringLiteral("Banded bitmap records in metafiles are not supported"));
                ySrc = rdI16(r + 12);
                xSrc = rdI16(r + 14);
                destH = srcH = rdI16(r + 16);
                destW = srcW = rdI16(r + 18);
                yDest = rdI16(r + 20);
                xDest = rdI16(r + 22);
                dibAt = 24;
                bottomOrigin = true;
            }
            if (rop != kSrcCopy)
                bad(QStringLiteral("The metafile combines bitmaps with the screen (raster operation %1), "
                                   "which is not supported")
                        .arg(rop, 8, 16, QLatin1Char('0')));
            if (usage != 0)
                bad(QStringLiteral("Metafile bitmaps with palette indexes are not supported"));
            if (bytes <= dibAt)
                bad(QStringLiteral("A bitmap record of the metafile is cut short"));
            if (destW == 0 || destH == 0 || srcW == 0 || srcH == 0)
                break;
            if (destW < 0 || destH < 0 || srcW < 0 || srcH < 0)
                bad(QStringLiteral("Mirrored bitmaps in metafiles are not supported"));
            Blit b;
            TBitmap bmp;
            ReadDib(r + dibAt, std::size_t(bytes - dibAt), bmp);
            b.bitmap = std::move(bmp);
            b.src = checkedSource(xSrc, ySrc, srcW, srcH, b.bitmap,
                                  bottomOrigin && headerBottomUp(r + dibAt, std::size_t(bytes - dibAt)));
            if (placeable)
                b.dest = QRectF((xDest - left) * scale, (yDest - top) * scale, destW * scale, destH * scale);
            else
                b.dest = QRectF(xDest - wox, yDest - woy, destW, destH);
            c.blits.push_back(std::move(b));
            break;
        }
        default:
            if (!wmfHarmless(func))
                notBitmapOnly(QStringLiteral("%1").arg(func, 4, 16, QLatin1Char('0')));
            break;
        }
        off += std::size_t(bytes);
    }
    if (!sawEof)
        bad(QStringLiteral("The metafile is cut short (no end record)"));
    if (c.width == 0 || c.height == 0)
        bad(QStringLiteral("The metafile has no size"));
    return c;
}

// Splits TBitmap's DIB block into the header with colour table and the rows.
void splitDib(const TBitmap &bmp, QByteArray *info, QByteArray *bits)
{
    const QByteArray dib = bmp.SaveToDIB();
    const qsizetype rows = qsizetype(BytesPerRow(bmp.Width(), bmp.BitsPerPixel()) * std::size_t(bmp.Height()));
    *info = dib.left(dib.size() - rows);
    *bits = dib.right(rows);
}

} // namespace

std::unique_ptr<TGraphic> TMetafile::Clone() const { return std::make_unique<TMetafile>(*this); }

void TMetafile::SetWidth(int w)
{
    if (w < 0)
        throw EInvalidGraphicOperation(QStringLiteral("Invalid metafile width"));
    m_width = w;
    Changed();
}

void TMetafile::SetHeight(int h)
{
    if (h < 0)
        throw EInvalidGraphicOperation(QStringLiteral("Invalid metafile height"));
    m_height = h;
    Changed();
}

void TMetafile::SetDescription(const QString &createdBy, const QString &description)
{
    m_createdBy = createdBy;
    m_description = description;
}

void TMetafile::SetBitmap(const TBitmap &bitmap)
{
    m_bitmap = bitmap;
    m_width = bitmap.Width();
    m_height = bitmap.Height();
    Changed();
}

QByteArray TMetafile::saveEmf() const
{
    QByteArray info, bits;
    splitDib(m_bitmap, &info, &bits);

    QByteArray desc;
    int descChars = 0;
    if (!m_createdBy.isEmpty() || !m_description.isEmpty()) {
        const QString text = m_createdBy + QChar(0) + m_description + QChar(0) + QChar(0);
        descChars = int(text.size());
        for (QChar ch : text)
            wrU16(desc, ch.unicode());
        while (desc.size() % 4)
            desc.append('\0');
    }
    const std::uint32_t headerSize = 108 + std::uint32_t(desc.size());
    const std::uint32_t blitSize = 80 + std::uint32_t(info.size()) + std::uint32_t(bits.size());
    const std::uint64_t total = std::uint64_t(headerSize) + blitSize + 20;
    if (total > 0xFFFFFFFFu)
        throw EInvalidGraphicOperation(QStringLiteral("Picture too large for a metafile"));

    const int w = m_width, h = m_height;
    QByteArray out;
    out.reserve(qsizetype(total));
    // EMR_HEADER
    wrU32(out, EMR_HEADER);
    wrU32(out, headerSize);
    wrI32(out, 0); wrI32(out, 0); wrI32(out, w - 1); wrI32(out, h - 1);            // bounds, pixels
    wrI32(out, 0); wrI32(out, 0);                                                      // frame, 0.01 mm
    wrI32(out, std::llround(w * 2540.0 / 96) - 1); wrI32(out, std::llround(h * 2540.0 / 96) - 1);
    wrU32(out, kEmfSignature);
    wrU32(out, 0x10000);
    wrU32(out, std::uint32_t(total));
    wrU32(out, 3); // records
    wrU16(out, 1); // handles (the reserved zero entry)
    wrU16(out, 0);
    wrU32(out, std::uint32_t(descChars));
    wrU32(out, descChars ? 108 : 0);
    wrU32(out, 0); // palette entries
    // A 96 dpi reference device: 1920 x 1080 pixels on 508 x 285.75 mm.
    wrI32(out, 1920); wrI32(out, 1080);
    wrI32(out, 508); wrI32(out, 286);
    wrU32(out, 0); wrU32(out, 0); wrU32(out, 0); // no pixel format, no OpenGL
    wrI32(out, 508000); wrI32(out, 285750);
    out.append(desc);
    // EMR_STRETCHDIBITS
    wrU32(out, EMR_STRETCHDIBITS);
    wrU32(out, blitSize);
    wrI32(out, 0); wrI32(out, 0); wrI32(out, w - 1); wrI32(out, h - 1);
    wrI32(out, 0); wrI32(out, 0);                                   // dest x, y
    wrI32(out, 0); wrI32(out, 0);                                   // src x, y
    wrI32(out, m_bitmap.Width()); wrI32(out, m_bitmap.Height());   // src size
    wrU32(out, 80); wrU32(out, std::uint32_t(info.size()));
    wrU32(out, 80 + std::uint32_t(info.size())); wrU32(out, std::uint32_t(bits.size()));
    wrU32(out, 0);        // DIB_RGB_COLORS
    wrU32(out, kSrcCopy);
    wrI32(out, w); wrI32(out, h);                                   // dest size
    out.append(info);
    out.append(bits);
    // EMR_EOF
    wrU32(out, EMR_EOF);
    wrU32(out, 20);
    wrU32(out, 0);
    wrU32(out, 16);
    wrU32(out, 20);
    return out;
}

QByteArray TMetafile::saveWmf() const
{
    const int w = m_width, h = m_height;
    if (w > 32767 || h > 32767 || m_bitmap.Width() > 32767 || m_bitmap.Height() > 32767)
        throw EInvalidGraphicOperation(
            QStringLiteral("Picture too large for a Windows metafile (at most 32767 pixels a side)"));
    const QByteArray dib = m_bitmap.SaveToDIB();
    const std::uint64_t blitBytes = 28 + std::uint64_t(dib.size());
    const std::uint64_t totalWords = (18 + 10 + 10 + blitBytes + 6) / 2;
    if (totalWords > 0xFFFFFFFFu)
        throw EInvalidGraphicOperation(QStringLiteral("Picture too large for a metafile"));

    QByteArray out;
    out.reserve(qsizetype(22 + totalWords * 2));
    // Placeable header: bounding box in 1/96 inch units, XOR checksum of its first ten words.
    wrU32(out, kPlaceableKey);
    wrU16(out, 0);
    wrI16(out, 0); wrI16(out, 0); wrI16(out, w); wrI16(out, h);
    wrU16(out, 96);
    wrU32(out, 0);
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= rdU16(reinterpret_cast<const unsigned char *>(out.constData()) + 2 * i);
    wrU16(out, sum);
    // META_HEADER
    wrU16(out, 1);
    wrU16(out, 9);
    wrU16(out, 0x0300);
    wrU32(out, std::uint32_t(totalWords));
    wrU16(out, 0);
    wrU32(out, std::uint32_t(blitBytes / 2));
    wrU16(out, 0);
    // Window origin and extent, so players map one unit to one pixel.
    wrU32(out, 5); wrU16(out, META_SETWINDOWORG); wrI16(out, 0); wrI16(out, 0);
    wrU32(out, 5); wrU16(out, META_SETWINDOWEXT); wrI16(out, h); wrI16(out, w);
    // META_STRETCHDIB: parameters in reverse order, then the DIB.
    wrU32(out, std::uint32_t(blitBytes / 2));
    wrU16(out, META_STRETCHDIB);
    wrU32(out, kSrcCopy);
    wrU16(out, 0); // DIB_RGB_COLORS
    wrI16(out, m_bitmap.Height()); wrI16(out, m_bitmap.Width());
    wrI16(out, 0); wrI16(out, 0);
    wrI16(out, h); wrI16(out, w);
    wrI16(out, 0); wrI16(out, 0);
    out.append(dib);
    // META_EOF
    wrU32(out, 3);
    wrU16(out, META_EOF);
    return out;
}

QByteArray TMetafile::SaveToData() const
{
    if (Empty() || m_bitmap.Empty())
        throw EInvalidGraphicOperation(QStringLiteral("Cannot write an empty metafile"));
    return m_enhanced ? saveEmf() : saveWmf();
}

void TMetafile::SaveToStream(QIODevice &stream)
{
    const QByteArray data = SaveToData();
    if (stream.write(data) != data.size())
        throw EGraphicFileError(QStringLiteral("The metafile could not be written: %1").arg(stream.errorString()));
}

void TMetafile::LoadFromData(const QByteArray &data)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
    const std::size_t n = std::size_t(data.size());
    Composition c;
    bool enhanced = false;
    QString createdBy, description;
    if (n >= 44 && rdU32(p) == EMR_HEADER && rdU32(p + 40) == kEmfSignature) {
        c = parseEmf(p, n);
        enhanced = true;
        const std::uint32_t chars = rdU32(p + 60), off = rdU32(p + 64);
        if (chars && off >= 88 && std::uint64_t(off) + std::uint64_t(chars) * 2 <= rdU32(p + 4)) {
            QString text;
            for (std::uint32_t i = 0; i < chars; ++i)
                text.append(QChar(rdU16(p + off + 2 * i)));
            const QStringList parts = text.split(QChar(0));
            createdBy = parts.value(0);
            description = parts.value(1);
        }
    } else if (n >= 4 && rdU32(p) == kPlaceableKey) {
        c = parseWmf(p, n, true);
    } else if (n >= 18 && (rdU16(p) == 1 || rdU16(p) == 2) && rdU16(p + 2) == 9) {
        c = parseWmf(p, n, false);
    } else {
        bad(QStringLiteral("Not a metafile"));
    }

    TBitmap result;
    const QRectF whole(0, 0, c.width, c.height);
    if (c.blits.size() == 1 && c.blits[0].dest == whole &&
        c.blits[0].src == QRect(0, 0, c.blits[0].bitmap.Width(), c.blits[0].bitmap.Height())) {
        // The usual case: one bitmap over the whole picture, kept as it is
        // (depth and palette included), stretched when drawn if sizes differ.
        result = std::move(c.blits[0].bitmap);
    } else {
        result = TBitmap(c.width, c.height, pf24bit);
        auto canvas = result.Canvas();
        canvas->fillRect(QRect(0, 0, c.width, c.height), Qt::white);
        for (const Blit &b : c.blits)
            canvas->drawImage(b.dest, b.bitmap.ToImage(), QRectF(b.src));
    }
    m_bitmap = std::move(result);
    m_width = c.width;
    m_height = c.height;
    m_enhanced = enhanced;
    m_createdBy = createdBy;
    m_description = description;
    Changed();
}

void TMetafile::LoadFromStream(QIODevice &stream)
{
    LoadFromData(ReadRestCapped(stream, kMaxMetafileBytes, QStringLiteral("Metafile")));
}

void TMetafile::Assign(const TGraphic &source)
{
    if (auto *mf = dynamic_cast<const TMetafile *>(&source)) {
        if (mf != this)
            *this = *mf;
        Changed();
        return;
    }
    if (auto *bmp = dynamic_cast<const TBitmap *>(&source)) {
        SetBitmap(*bmp);
        return;
    }
    TBitmap drawn;
    drawn.Assign(source);
    SetBitmap(drawn);
}

void TMetafile::Draw(QPainter &painter, const QRect &rect) const
{
    if (Empty() || m_bitmap.Empty())
        return;
    m_bitmap.Draw(painter, rect);
}

QImage TMetafile::ToImage() const
{
    if (Empty() || m_bitmap.Empty())
        return QImage();
    QImage img = m_bitmap.ToImage();
    if (img.width() != m_width || img.height() != m_height)
        img = img.scaled(m_width, m_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return img;
}

TMetafileCanvas::TMetafileCanvas(TMetafile &metafile, const QString &createdBy, const QString &description)
    : m_metafile(metafile)
    , m_setDescription(!createdBy.isEmpty() || !description.isEmpty())
    , m_createdBy(createdBy)
    , m_description(description)
{
    if (metafile.Width() <= 0 || metafile.Height() <= 0)
        throw EInvalidGraphicOperation(QStringLiteral("The metafile needs a size before drawing on it"));
    m_bitmap = TBitmap(metafile.Width(), metafile.Height(), pf24bit);
    m_canvas = m_bitmap.Canvas();
    m_canvas->fillRect(QRect(0, 0, metafile.Width(), metafile.Height()), Qt::white);
}

TMetafileCanvas::~TMetafileCanvas()
{
    m_canvas.reset();
    if (m_setDescription)
        m_metafile.SetDescription(m_createdBy, m_description);
    m_metafile.SetBitmap(m_bitmap);
}

void RegisterMetafileGraphics()
{
    TPicture::RegisterFileFormat(QStringLiteral("wmf"), QStringLiteral("Windows Metafile"),
                                 QStringLiteral("TMetafile"), [] {
                                     auto mf = std::make_unique<TMetafile>();
                                     mf->SetEnhanced(false);
                                     return std::unique_ptr<TGraphic>(std::move(mf));
                                 });
    TPicture::RegisterFileFormat(QStringLiteral("emf"), QStringLiteral("Enhanced Windows Metafile"),
                                 QStringLiteral("TMetafile"),
                                 [] { return std::unique_ptr<TGraphic>(std::make_unique<TMetafile>()); });
}

} // namespace zk
