#include "BmpCodec.h"

#include "GraphicText.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace zk {

namespace {

enum : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5,
                       BI_ALPHABITFIELDS = 6 };

[[noreturn]] void fail(const QString &what)
{
    throw EInvalidGraphic(GraphicFault("showmsg_graphic_bmp_damaged",
                                       QStringLiteral("Die Bitmap-Datei ist beschädigt oder wird nicht unterstützt"), what));
}

inline std::uint16_t u16(const uchar *p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t u32(const uchar *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::int32_t i32(const uchar *p) { return static_cast<std::int32_t>(u32(p)); }

inline void put16(uchar *p, std::uint32_t v)
{
    p[0] = uchar(v);
    p[1] = uchar(v >> 8);
}
inline void put32(uchar *p, std::uint32_t v)
{
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

struct Header
{
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // positive; topDown tells the row order
    bool topDown = false;
    int bpp = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t colorsUsed = 0;
    int paletteEntrySize = 4;
    std::uint32_t masks[3] = {0, 0, 0};
    std::size_t masksAfterHeader = 0; // bytes of masks stored after a 40-byte header
    int xppm = 0, yppm = 0;
};

Header parseHeader(const uchar *d, std::size_t n, bool iconHeight)
{
    Header h;
    if (n < 4)
        fail(QStringLiteral("the header is cut short"));
    h.size = u32(d);
    if (h.size < 12 || (h.size > 12 && h.size < 16))
        fail(QStringLiteral("unknown header size %1").arg(h.size));
    if (h.size > n)
        fail(QStringLiteral("the header is cut short (%1 of %2 bytes)").arg(n).arg(h.size));
    std::int64_t rawHeight = 0;
    if (h.size == 12) {
        // OS/2 1.x core header: 16-bit sizes, RGB triples, always bottom-up.
        h.width = u16(d + 4);
        rawHeight = u16(d + 6);
        h.bpp = u16(d + 10);
        h.paletteEntrySize = 3;
    } else {
        h.width = i32(d + 4);
        rawHeight = i32(d + 8);
        h.bpp = u16(d + 14);
        if (h.size >= 20)
            h.compression = u32(d + 16);
        if (h.size >= 32) {
            h.xppm = i32(d + 24);
            h.yppm = i32(d + 28);
        }
        if (h.size >= 36)
            h.colorsUsed = u32(d + 32);
        // OS/2 2.x headers (16 to 64 bytes, but not the Windows 40, 52 and
        // 56) number their compressions differently from 3 on: Huffman, RLE24.
        const bool os2v2 = (h.size < 40) || h.size == 64;
        if (os2v2 && h.compression > BI_RLE4)
            fail(QStringLiteral("OS/2 compression %1 is not supported").arg(h.compression));
        if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
            if (h.size >= 52) {
                h.masks[0] = u32(d + 40);
                h.masks[1] = u32(d + 44);
                h.masks[2] = u32(d + 48);
            } else {
                const std::size_t maskBytes = h.compression == BI_ALPHABITFIELDS ? 16 : 12;
                if (n < h.size + maskBytes)
                    fail(QStringLiteral("the colour masks are cut short"));
                h.masks[0] = u32(d + h.size);
                h.masks[1] = u32(d + h.size + 4);
                h.masks[2] = u32(d + h.size + 8);
                h.masksAfterHeader = maskBytes;
            }
        }
    }
    if (rawHeight < 0) {
        h.topDown = true;
        rawHeight = -rawHeight;
    }
    h.height = rawHeight;
    if (iconHeight)
        h.height /= 2;
    if (h.width <= 0 || h.height <= 0 || h.width > INT32_MAX || h.height > INT32_MAX)
        fail(QStringLiteral("invalid size %1 x %2").arg(h.width).arg(h.height));
    switch (h.compression) {
    case BI_RGB: break;
    case BI_RLE8:
        if (h.bpp != 8)
            fail(QStringLiteral("RLE8 needs 8 bits per pixel, not %1").arg(h.bpp));
        break;
    case BI_RLE4:
        if (h.bpp != 4)
            fail(QStringLiteral("RLE4 needs 4 bits per pixel, not %1").arg(h.bpp));
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (h.bpp != 16 && h.bpp != 32)
            fail(QStringLiteral("bit fields need 16 or 32 bits per pixel, not %1").arg(h.bpp));
        break;
    case BI_JPEG: fail(QStringLiteral("JPEG-compressed bitmaps are not supported"));
    case BI_PNG: fail(QStringLiteral("PNG-compressed bitmaps are not supported"));
    default: fail(QStringLiteral("unknown compression %1").arg(h.compression));
    }
    if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
        fail(QStringLiteral("%1 bits per pixel are not supported").arg(h.bpp));
    if (h.width * h.height > TBitmap::MaxPixels())
        throw EInvalidGraphic(GraphicTooLarge(h.width, h.height, TBitmap::MaxPixels()));
    return h;
}

struct Decoded
{
    TPixelFormat pf = pf24bit;
    PixelBuffer bits;
    QVector<QRgb> palette;
    std::size_t consumed = 0; // bytes of pixel data used
};

// RLE4/RLE8 into 4- or 8-bit rows in stored order (row 0 = first stored).
std::size_t decodeRle(const uchar *p, std::size_t n, const Header &h, uchar *out, std::size_t stride)
{
    const int bpp = h.bpp;
    const std::int64_t w = h.width, rows = h.height;
    std::int64_t x = 0, y = 0;
    std::size_t i = 0;
    auto put = [&](int index) {
        if (x < w && y < rows) {
            uchar *row = out + std::size_t(y) * stride;
            if (bpp == 8)
                row[x] = uchar(index);
            else if (x & 1)
                row[x >> 1] = uchar((row[x >> 1] & 0xF0) | (index & 0x0F));
            else
                row[x >> 1] = uchar((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        }
        ++x;
    };
    while (true) {
        if (y >= rows)
            return i; // every row is filled: a missing end marker does no harm
        if (n - i < 2)
            fail(QStringLiteral("the RLE data ends before the end of the picture"));
        const int count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                put(bpp == 8 ? value : (k & 1) ? value & 0x0F : value >> 4);
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return i;
        case 2: // delta
            if (n - i < 2)
                fail(QStringLiteral("an RLE move is cut short"));
            x += p[i];
            y += p[i + 1];
            i += 2;
            break;
        default: { // absolute run, padded to a 16-bit boundary
            const std::size_t bytes = bpp == 8 ? std::size_t(value) : (std::size_t(value) + 1) / 2;
            const std::size_t padded = (bytes + 1) & ~std::size_t(1);
            if (n - i < bytes)
                fail(QStringLiteral("an RLE run is cut short"));
            for (int k = 0; k < value; ++k)
                put(bpp == 8 ? p[i + std::size_t(k)] : (k & 1) ? p[i + std::size_t(k / 2)] & 0x0F
                                                             : p[i + std::size_t(k / 2)] >> 4);
            i += std::min(padded, n - i);
            break;
        }
        }
    }
}

// Decodes everything after the header; bitsAt is where the rows start (relative
// to d), paletteAt where the colour table starts, paletteRoom how many bytes
// the table may take (SIZE_MAX: as many as it claims).
Decoded decodeBody(const uchar *d, std::size_t n, const Header &h, std::size_t paletteAt, std::size_t paletteRoom,
                   std::size_t bitsAt)
{
    Decoded out;
    // Colour table.
    if (h.bpp <= 8) {
        std::uint64_t count = h.colorsUsed ? h.colorsUsed : (1u << h.bpp);
        if (h.size == 12)
            count = 1u << h.bpp;
        if (paletteRoom != SIZE_MAX)
            count = std::min<std::uint64_t>(count, paletteRoom / std::size_t(h.paletteEntrySize));
        if (paletteAt > n || count * std::uint64_t(h.paletteEntrySize) > n - paletteAt)
            fail(QStringLiteral("the colour table is cut short"));
        const std::uint64_t keep = std::min<std::uint64_t>(count, 1u << h.bpp);
        out.palette.reserve(qsizetype(keep));
        for (std::uint64_t k = 0; k < keep; ++k) {
            const uchar *e = d + paletteAt + k * std::size_t(h.paletteEntrySize);
            out.palette.append(qRgb(e[2], e[1], e[0]));
        }
        if (bitsAt == SIZE_MAX)
            bitsAt = paletteAt + std::size_t(count) * std::size_t(h.paletteEntrySize);
    } else if (bitsAt == SIZE_MAX) {
        // A colour table before true-colour rows only helps palette displays.
        const std::uint64_t skip = std::uint64_t(h.colorsUsed) * std::uint64_t(h.paletteEntrySize);
        if (paletteAt > n || skip > n - paletteAt)
            fail(QStringLiteral("the colour table is cut short"));
        bitsAt = paletteAt + std::size_t(skip);
    }
    if (bitsAt > n)
        fail(QStringLiteral("the pixel data lies beyond the end of the file"));

    const int w = int(h.width), rows = int(h.height);
    const uchar *src = d + bitsAt;
    const std::size_t avail = n - bitsAt;

    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
        out.pf = h.bpp == 8 ? pf8bit : pf4bit;
        const std::size_t stride = BytesPerRow(w, h.bpp);
        PixelBuffer stored(stride * std::size_t(rows));
        std::memset(stored.data(), 0, stored.size());
        out.consumed = bitsAt + decodeRle(src, avail, h, stored.data(), stride);
        if (h.topDown) {
            out.bits = std::move(stored);
        } else {
            out.bits.resize(stored.size());
            for (int y = 0; y < rows; ++y)
                std::memcpy(out.bits.data() + std::size_t(rows - 1 - y) * stride,
                            stored.data() + std::size_t(y) * stride, stride);
        }
        return out;
    }

    const std::size_t srcStride = BytesPerRow(w, h.bpp);
    // The last row may lack its padding; some writers leave it off.
    const std::size_t lastRow = (std::size_t(w) * std::size_t(h.bpp) + 7) / 8;
    const std::size_t need = srcStride * std::size_t(rows - 1) + lastRow;
    if (avail < need)
        fail(QStringLiteral("the pixel data is cut short (%1 of %2 bytes)").arg(avail).arg(need));
    out.consumed = bitsAt + std::min(avail, srcStride * std::size_t(rows));

    auto srcRow = [&](int y) { // y: picture row from the top
        const int stored = h.topDown ? y : rows - 1 - y;
        return src + std::size_t(stored) * srcStride;
    };
    auto rowLen = [&](int y) {
        const int stored = h.topDown ? y : rows - 1 - y;
        return stored == rows - 1 ? lastRow : srcStride;
    };

    const TBitFields fields{h.masks[0], h.masks[1], h.masks[2]};
    bool rawCopy = false;
    switch (h.bpp) {
    case 1: out.pf = pf1bit; rawCopy = true; break;
    case 4: out.pf = pf4bit; rawCopy = true; break;
    case 8: out.pf = pf8bit; rawCopy = true; break;
    case 24: out.pf = pf24bit; rawCopy = true; break;
    case 16:
    case 32:
        if (h.compression == BI_RGB) {
            out.pf = h.bpp == 16 ? pf15bit : pf32bit;
            rawCopy = true;
        } else {
            out.pf = BitFieldsFormat(h.bpp, fields);
            rawCopy = BitFieldsAsStored(h.bpp, fields);
        }
        break;
    }
    const std::size_t stride = BytesPerRow(w, BitsPerPixel(out.pf));
    out.bits = NewPixelRows(w, rows, out.pf);
    if (rawCopy) {
        for (int y = 0; y < rows; ++y) {
            uchar *dst = out.bits.data() + std::size_t(y) * stride;
            const std::size_t len = rowLen(y);
            std::memcpy(dst, srcRow(y), len);
            if (len < stride)
                std::memset(dst + len, 0, stride - len);
        }
        return out;
    }
    for (int y = 0; y < rows; ++y) {
        uchar *dst = out.bits.data() + std::size_t(y) * stride;
        BitFieldsRow(srcRow(y), w, h.bpp, fields, dst);
        const std::size_t used = std::size_t(w) * std::size_t(BitsPerPixel(out.pf) / 8);
        std::memset(dst + used, 0, stride - used);
    }
    return out;
}

} // namespace

DibReadResult ReadDib(const uchar *data, std::size_t size, TBitmap &out, const DibReadOptions &options)
{
    const Header h = parseHeader(data, size, options.iconHeight);
    const std::size_t paletteAt = std::size_t(h.size) + h.masksAfterHeader;
    Decoded dec = decodeBody(data, size, h, paletteAt, SIZE_MAX, SIZE_MAX);
    out.Adopt(int(h.width), int(h.height), dec.pf, std::move(dec.bits), dec.palette);
    DibReadResult res;
    res.bitsEnd = dec.consumed;
    res.xPelsPerMeter = h.xppm;
    res.yPelsPerMeter = h.yppm;
    return res;
}

std::size_t ReadBmp(const uchar *data, std::size_t size, TBitmap &out)
{
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        fail(QStringLiteral("the \"BM\" signature is missing"));
    if (size < 14 + 4)
        fail(QStringLiteral("the file header is cut short"));
    const std::uint32_t fileSize = u32(data + 2);
    const std::uint32_t offBits = u32(data + 10);
    const uchar *d = data + 14;
    const std::size_t n = size - 14;
    const Header h = parseHeader(d, n, false);
    const std::size_t paletteAt = std::size_t(h.size) + h.masksAfterHeader;
    // The offset of the rows is trusted when it points past the header and
    // into the file; it also bounds the colour table, which some writers
    // declare longer than they store.
    std::size_t bitsAt = SIZE_MAX, room = SIZE_MAX;
    if (offBits >= 14 + paletteAt && offBits - 14 <= n) {
        bitsAt = offBits - 14;
        room = bitsAt - paletteAt;
    }
    Decoded dec = decodeBody(d, n, h, paletteAt, room, bitsAt);
    out.Adopt(int(h.width), int(h.height), dec.pf, std::move(dec.bits), dec.palette);
    const std::size_t used = 14 + dec.consumed;
    if (fileSize >= used && fileSize <= size)
        return fileSize;
    return used;
}

bool ReadBmpDirect(QIODevice &in, TBitmap &out, std::size_t *used)
{
    if (in.isSequential())
        return false;
    const qint64 start = in.pos();
    const qint64 total = in.size() - start;
    const QByteArray first = in.peek(18);
    if (first.size() < 18 || total < 14 + 40 || first[0] != 'B' || first[1] != 'M')
        return false;
    const auto *f = reinterpret_cast<const uchar *>(first.constData());
    const std::uint32_t fileSize = u32(f + 2), offBits = u32(f + 10), headerSize = u32(f + 14);
    // True-colour rows behind a Windows header and at most its masks.
    if (headerSize < 40 || headerSize > 124 || offBits < 14 + headerSize || offBits > 14 + 124 + 16 ||
        qint64(offBits) > total)
        return false;
    const QByteArray head = in.peek(offBits);
    if (head.size() != qint64(offBits))
        return false;
    Header h;
    try {
        h = parseHeader(reinterpret_cast<const uchar *>(head.constData()) + 14, offBits - 14, false);
    } catch (const EInvalidGraphic &) {
        return false; // the whole-file read names the fault
    }
    if (h.compression != BI_RGB || (h.bpp != 24 && h.bpp != 32))
        return false;
    const int w = int(h.width), rows = int(h.height);
    const std::size_t stride = BytesPerRow(w, h.bpp);
    const std::size_t lastRow = std::size_t(w) * std::size_t(h.bpp) / 8;
    const std::size_t avail = std::size_t(total) - offBits;
    if (avail < stride * std::size_t(rows - 1) + lastRow)
        return false;
    PixelBuffer bits = NewPixelRows(w, rows, h.bpp == 24 ? pf24bit : pf32bit);
    if (!in.seek(start + offBits))
        return false;
    for (int stored = 0; stored < rows; ++stored) {
        uchar *dst = bits.data() + std::size_t(h.topDown ? stored : rows - 1 - stored) * stride;
        const std::size_t len = stored == rows - 1 ? lastRow : stride;
        if (in.read(reinterpret_cast<char *>(dst), qint64(len)) != qint64(len)) {
            in.seek(start);
            return false;
        }
        std::memset(dst + len, 0, stride - len);
    }
    std::size_t end = offBits + std::min(avail, stride * std::size_t(rows));
    if (fileSize >= end && fileSize <= std::size_t(total))
        end = fileSize;
    out.Adopt(w, rows, h.bpp == 24 ? pf24bit : pf32bit, std::move(bits));
    in.seek(start + qint64(end));
    if (used)
        *used = end;
    return true;
}

namespace {

int colourTableEntries(TPixelFormat pf, qsizetype paletteEntries)
{
    const int bits = BitsPerPixel(pf);
    if (bits > 8)
        return 0;
    return paletteEntries == 0 ? 1 << bits : int(paletteEntries);
}

// Header, masks, colour table and bottom-up rows, after 'prefix' bytes that
// the caller fills (the file header); one allocation, one copy of the rows.
// The header, bit-field masks and colour table of a DIB; *imageBytes gets
// the size of the rows that follow.
QByteArray dibHeader(const TBitmap &bitmap, std::size_t *imageBytesOut)
{
    const TPixelFormat pf = bitmap.PixelFormat();
    const int bits = BitsPerPixel(pf);
    const int stored = bits == 15 ? 16 : bits;
    const int w = bitmap.Width(), h = bitmap.Height();
    const std::size_t stride = BytesPerRow(w, bits);
    QVector<QRgb> palette = bitmap.Palette();
    const int tableEntries = colourTableEntries(pf, palette.size());
    // Entries a missing palette leaves out read as black, as on screen.
    while (palette.size() < tableEntries)
        palette.append(qRgb(0, 0, 0));
    const std::size_t masks = pf == pf16bit ? 12 : 0;
    const std::size_t headerBytes = 40 + masks + std::size_t(tableEntries) * 4;
    const std::size_t imageBytes = stride * std::size_t(h);
    *imageBytesOut = imageBytes;
    QByteArray out(qsizetype(headerBytes), '\0');
    uchar *p = reinterpret_cast<uchar *>(out.data());
    put32(p, 40);
    put32(p + 4, std::uint32_t(w));
    put32(p + 8, std::uint32_t(h));
    put16(p + 12, 1);
    put16(p + 14, std::uint32_t(stored));
    put32(p + 16, pf == pf16bit ? BI_BITFIELDS : BI_RGB);
    put32(p + 20, imageBytes > 0xFFFFFFFFu ? 0 : std::uint32_t(imageBytes));
    put32(p + 32, bits <= 8 && !bitmap.Palette().isEmpty() ? std::uint32_t(tableEntries) : 0);
    if (pf == pf16bit) {
        put32(p + 40, 0xF800);
        put32(p + 44, 0x07E0);
        put32(p + 48, 0x001F);
    }
    for (int i = 0; i < tableEntries; ++i) {
        uchar *e = p + 40 + masks + std::size_t(i) * 4;
        e[0] = uchar(qBlue(palette[i]));
        e[1] = uchar(qGreen(palette[i]));
        e[2] = uchar(qRed(palette[i]));
        e[3] = 0;
    }
    return out;
}

// Rows first..first+count-1 of the file (bottom-up order) into dst.
void copyFileRows(const TBitmap &bitmap, int first, int count, uchar *dst)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    const std::size_t stride = BytesPerRow(w, BitsPerPixel(bitmap.PixelFormat()));
    for (int i = 0; i < count; ++i, dst += stride) {
        std::memcpy(dst, bitmap.ScanLine(h - 1 - (first + i)), stride);
        if (bitmap.PixelFormat() == pf32bit)
            for (int x = 0; x < w; ++x)
                dst[4 * x + 3] = 0; // the unused byte of BI_RGB pixels
    }
}

// The "BM" file header for a DIB header of headerBytes and rows of imageBytes.
QByteArray fileHeader(std::size_t headerBytes, std::size_t imageBytes)
{
    QByteArray out(14, '\0');
    uchar *p = reinterpret_cast<uchar *>(out.data());
    const std::uint64_t total = 14 + std::uint64_t(headerBytes) + imageBytes;
    p[0] = 'B';
    p[1] = 'M';
    // Files over 4 GiB cannot state their size; readers then use the offset.
    put32(p + 2, total > 0xFFFFFFFFu ? 0 : std::uint32_t(total));
    put32(p + 10, std::uint32_t(14 + headerBytes));
    return out;
}

QByteArray encodeDib(const TBitmap &bitmap, bool withFileHeader)
{
    std::size_t imageBytes = 0;
    const QByteArray header = dibHeader(bitmap, &imageBytes);
    QByteArray out;
    if (withFileHeader)
        out = fileHeader(std::size_t(header.size()), imageBytes);
    const qsizetype rowsAt = out.size() + header.size();
    out.reserve(rowsAt + qsizetype(imageBytes));
    out.append(header);
    out.resize(rowsAt + qsizetype(imageBytes));
    copyFileRows(bitmap, 0, bitmap.Height(), reinterpret_cast<uchar *>(out.data()) + rowsAt);
    return out;
}

} // namespace

QByteArray WriteDib(const TBitmap &bitmap)
{
    return encodeDib(bitmap, false);
}

QByteArray WriteBmp(const TBitmap &bitmap)
{
    return encodeDib(bitmap, true);
}

QByteArray BmpFileHead(const TBitmap &bitmap)
{
    std::size_t imageBytes = 0;
    const QByteArray header = dibHeader(bitmap, &imageBytes);
    return fileHeader(std::size_t(header.size()), imageBytes) + header;
}

std::size_t BmpHeadSize(TPixelFormat pf, qsizetype paletteEntries)
{
    return 14 + 40 + (pf == pf16bit ? 12 : 0) + 4 * std::size_t(colourTableEntries(pf, paletteEntries));
}

void WriteBmpStream(const TBitmap &bitmap, QIODevice &out)
{
    const auto put = [&out](const char *data, qint64 size) {
        if (out.write(data, size) != size)
            throw EGraphicFileError(QStringLiteral("Cannot write the bitmap: %1").arg(out.errorString()));
    };
    const QByteArray file = BmpFileHead(bitmap);
    put(file.constData(), file.size());
    // Rows go out in blocks of about 1 MiB rather than as one copy of the
    // whole picture.
    const int h = bitmap.Height();
    const std::size_t stride = BytesPerRow(bitmap.Width(), BitsPerPixel(bitmap.PixelFormat()));
    const int perBlock = stride ? int(std::max<std::size_t>(1, (std::size_t(1) << 20) / stride)) : 1;
    std::vector<uchar> block;
    for (int first = 0; first < h; first += perBlock) {
        const int count = std::min(perBlock, h - first);
        block.resize(std::size_t(count) * stride);
        copyFileRows(bitmap, first, count, block.data());
        put(reinterpret_cast<const char *>(block.data()), qint64(block.size()));
    }
}

namespace {

// Channel of a bit-field mask: shift, the largest value and its width. A
// channel of up to 8 bits is widened by repeating its bits below it, as 5-5-5
// and 5-6-5 pictures are shown, so a stored pixel shows the same colour
// whichever order its masks give the channels; a wider one is scaled.
struct Channel
{
    int shift = 0;
    int bits = 0;
    std::uint32_t max = 0;
    std::uint32_t mask = 0;
    inline int value(std::uint32_t px) const
    {
        if (!max)
            return 0;
        const std::uint64_t v = (px & mask) >> shift;
        if (bits > 8 || bits == 0)
            return int((v * 255 + max / 2) / max);
        std::uint32_t x = std::uint32_t(v) << (8 - bits);
        for (int s = bits; s < 8; s *= 2)
            x |= x >> s;
        return int(x & 0xFF);
    }
};

Channel channelOf(std::uint32_t mask)
{
    Channel c;
    c.mask = mask;
    if (mask) {
        c.shift = std::countr_zero(mask);
        c.max = mask >> c.shift;
        // Only an unbroken run of bits has a width to repeat.
        c.bits = (c.max & (c.max + 1)) == 0 ? std::bit_width(c.max) : 0;
    }
    return c;
}

} // namespace

bool BitFieldsSound(int bitsPerPixel, const TBitFields &masks)
{
    if (bitsPerPixel != 16 && bitsPerPixel != 32)
        return false;
    const std::uint32_t room = bitsPerPixel == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    std::uint32_t seen = 0;
    for (const std::uint32_t m : {masks.red, masks.green, masks.blue}) {
        if (m == 0 || (m & ~room) || (m & seen))
            return false;
        const std::uint32_t run = m >> std::countr_zero(m);
        if (run & (run + 1)) // a gap inside the run
            return false;
        seen |= m;
    }
    return true;
}

bool BitFieldsAsStored(int bitsPerPixel, const TBitFields &m)
{
    const TPixelFormat pf = BitFieldsFormat(bitsPerPixel, m);
    return pf == pf15bit || pf == pf16bit || (pf == pf32bit && m.red == 0xFF0000 && m.green == 0xFF00 && m.blue == 0xFF);
}

TPixelFormat BitFieldsFormat(int bitsPerPixel, const TBitFields &m)
{
    if (bitsPerPixel == 16 && m.red == 0x7C00 && m.green == 0x03E0 && m.blue == 0x001F)
        return pf15bit;
    if (bitsPerPixel == 16 && m.red == 0xF800 && m.green == 0x07E0 && m.blue == 0x001F)
        return pf16bit;
    return bitsPerPixel == 16 ? pf24bit : pf32bit;
}

void BitFieldsRow(const uchar *src, int width, int bitsPerPixel, const TBitFields &masks, uchar *dst)
{
    const Channel r = channelOf(masks.red), g = channelOf(masks.green), b = channelOf(masks.blue);
    const int outBytes = BitsPerPixel(BitFieldsFormat(bitsPerPixel, masks)) / 8;
    if (BitFieldsAsStored(bitsPerPixel, masks)) {
        std::memcpy(dst, src, std::size_t(width) * std::size_t(outBytes));
        return;
    }
    for (int x = 0; x < width; ++x, dst += outBytes) {
        const std::uint32_t px = bitsPerPixel == 16 ? u16(src + 2 * x) : u32(src + 4 * x);
        dst[0] = uchar(b.value(px));
        dst[1] = uchar(g.value(px));
        dst[2] = uchar(r.value(px));
        if (outBytes == 4)
            dst[3] = 0xFF;
    }
}

} // namespace zk
