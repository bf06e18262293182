#include "IconCodec.h"

#include "GraphicText.h"
#include "Bitmap.h"
#include "BmpCodec.h"
#include "LeBytes.h"

#include <atomic>
#include <cstring>
#include <string>

namespace zk {
namespace {

std::atomic<IconPngDecoder> g_pngDecoder{nullptr};
std::atomic<IconPngEncoder> g_pngEncoder{nullptr};

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

[[noreturn]] void bad(const QString &why)
{
    throw EInvalidGraphic(GraphicFault("showmsg_graphic_ico_damaged",
                                       QStringLiteral("Die Symboldatei ist beschädigt oder wird nicht unterstützt"), why));
}

[[noreturn]] void noMemory()
{
    throw EInvalidGraphic(GraphicText("showmsg_graphic_no_memory", QStringLiteral("Nicht genug Speicher für das Bild")));
}

std::uint32_t rdBE32(const unsigned char *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

int pngDepth(int colorType, int bitDepth)
{
    switch (colorType) {
    case 2: return 3 * bitDepth;
    case 4: return 2 * bitDepth;
    case 6: return 4 * bitDepth;
    default: return bitDepth;
    }
}

void checkLimit(std::int64_t w, std::int64_t h)
{
    if (w * h > TBitmap::MaxPixels())
        throw EInvalidGraphic(GraphicTooLarge(w, h, TBitmap::MaxPixels()));
}

// 32-bit entries carry their own alpha, which TBitmap (opaque by design)
// would drop, so they are read here. Old 32-bit icons leave the fourth byte
// zero and rely on the AND mask like the paletted ones.
QImage decode32(const unsigned char *p, std::size_t n, int w, int h, std::uint32_t headerSize,
                std::uint32_t compression, bool *needMask, std::size_t *bitsEnd)
{
    if (compression != 0)
        bad(QStringLiteral("32-bit icon pictures with bit fields are not supported"));
    const std::uint64_t bytes = std::uint64_t(w) * std::uint64_t(h) * 4;
    if (headerSize + bytes > n)
        bad(QStringLiteral("Icon picture rows are cut short"));
    QImage out(w, h, QImage::Format_ARGB32);
    if (out.isNull())
        noMemory();
    bool anyAlpha = false;
    const unsigned char *bits = p + headerSize;
    for (int y = 0; y < h; ++y) {
        const unsigned char *src = bits + std::size_t(w) * 4 * std::size_t(h - 1 - y);
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const unsigned char *s = src + 4 * x;
            dst[x] = qRgba(s[2], s[1], s[0], s[3]);
            anyAlpha = anyAlpha || s[3];
        }
    }
    if (!anyAlpha) {
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
            for (int x = 0; x < w; ++x)
                row[x] |= 0xFF000000u;
        }
    }
    *needMask = !anyAlpha;
    *bitsEnd = std::size_t(headerSize + bytes);
    return out;
}

QImage decodeDibEntry(const unsigned char *p, std::size_t n)
{
    if (n < 40)
        bad(QStringLiteral("Icon picture header is cut short"));
    const std::uint32_t headerSize = rdU32(p);
    const std::int32_t w = rdI32(p + 4), h2 = rdI32(p + 8);
    const int bitCount = rdU16(p + 14);
    if (headerSize < 40 || headerSize > n)
        bad(QStringLiteral("Icon picture header is damaged"));
    if (w <= 0 || h2 <= 0 || h2 % 2)
        bad(QStringLiteral("Icon picture has an impossible size (%1 x %2)").arg(w).arg(h2));
    const int h = h2 / 2;
    checkLimit(w, h);

    QImage out;
    bool needMask = true;
    std::size_t bitsEnd = 0;
    if (bitCount == 32) {
        out = decode32(p, n, w, h, headerSize, rdU32(p + 16), &needMask, &bitsEnd);
    } else {
        // Uncompressed colour rows and the mask rows after them must all be
        // in the entry before room for the picture is set aside: a few bytes
        // declaring a huge icon would otherwise cost gigabytes first.
        const std::uint32_t compression = rdU32(p + 16);
        if ((compression == 0 || compression == 3) && bitCount > 0 && bitCount <= 32) {
            const std::uint64_t colourStride = (std::uint64_t(w) * std::uint64_t(bitCount) + 31) / 32 * 4;
            const std::uint64_t lastColourRow = (std::uint64_t(w) * std::uint64_t(bitCount) + 7) / 8;
            const std::uint64_t maskStride = (std::uint64_t(w) + 31) / 32 * 4;
            const std::uint64_t least =
                headerSize + colourStride * std::uint64_t(h - 1) + lastColourRow + maskStride * std::uint64_t(h);
            if (least > n)
                bad(QStringLiteral("Icon picture rows are cut short (%1 of at least %2 bytes)").arg(n).arg(least));
        }
        TBitmap bmp;
        DibReadOptions opt;
        opt.iconHeight = true;
        bitsEnd = ReadDib(p, n, bmp, opt).bitsEnd;
        out = bmp.ToImage().convertToFormat(QImage::Format_ARGB32);
        if (out.isNull())
            noMemory();
    }
    if (needMask) {
        const std::size_t maskStride = ((std::size_t(w) + 31) / 32) * 4;
        if (bitsEnd > n || maskStride * std::size_t(h) > n - bitsEnd)
            bad(QStringLiteral("Icon mask is cut short"));
        const unsigned char *mask = p + bitsEnd;
        for (int y = 0; y < h; ++y) {
            const unsigned char *m = mask + maskStride * std::size_t(h - 1 - y);
            auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
            // Set mask bits are transparent; pixels that would invert the
            // screen cannot be shown on a picture and are transparent too.
            for (int x = 0; x < w; ++x)
                if (m[x / 8] & (0x80 >> (x % 8)))
                    row[x] = 0;
        }
    }
    return out;
}

} // namespace

void SetIconPngDecoder(IconPngDecoder decoder) { g_pngDecoder.store(decoder); }
IconPngDecoder GetIconPngDecoder() { return g_pngDecoder.load(); }
void SetIconPngEncoder(IconPngEncoder encoder) { g_pngEncoder.store(encoder); }
IconPngEncoder GetIconPngEncoder() { return g_pngEncoder.load(); }

std::vector<IconEntry> IconListEntries(const QByteArray &file)
{
    const auto *p = reinterpret_cast<const unsigned char *>(file.constData());
    const std::size_t n = std::size_t(file.size());
    if (n < 6)
        bad(QStringLiteral("Icon file is cut short"));
    const std::uint16_t reserved = rdU16(p), type = rdU16(p + 2), count = rdU16(p + 4);
    if (reserved != 0 || (type != 1 && type != 2))
        bad(QStringLiteral("Not an icon file"));
    if (count == 0)
        bad(QStringLiteral("Icon file holds no pictures"));
    if (6 + std::size_t(count) * 16 > n)
        bad(QStringLiteral("Icon directory is cut short"));

    std::vector<IconEntry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const unsigned char *d = p + 6 + 16 * i;
        IconEntry e;
        e.size = rdU32(d + 8);
        e.offset = rdU32(d + 12);
        if (std::uint64_t(e.offset) + e.size > n || e.size < 8)
            bad(QStringLiteral("Icon picture %1 lies outside the file").arg(i + 1));
        const unsigned char *img = p + e.offset;
        if (std::memcmp(img, kPngSignature, 8) == 0) {
            // Signature, IHDR length and type, then width, height, depth, colour type.
            if (e.size < 26 || std::memcmp(img + 12, "IHDR", 4) != 0)
                bad(QStringLiteral("Icon picture %1 is a damaged PNG").arg(i + 1));
            e.png = true;
            const std::uint32_t w = rdBE32(img + 16), h = rdBE32(img + 20);
            if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF)
                bad(QStringLiteral("Icon picture %1 has an impossible size").arg(i + 1));
            e.width = int(w);
            e.height = int(h);
            e.bitCount = pngDepth(img[25], img[24]);
        } else {
            if (e.size < 40)
                bad(QStringLiteral("Icon picture %1 is cut short").arg(i + 1));
            const std::int32_t w = rdI32(img + 4), h2 = rdI32(img + 8);
            if (w <= 0 || h2 <= 0 || h2 % 2)
                bad(QStringLiteral("Icon picture %1 has an impossible size (%2 x %3)").arg(i + 1).arg(w).arg(h2));
            e.width = w;
            e.height = h2 / 2;
            e.bitCount = rdU16(img + 14);
        }
        entries.push_back(e);
    }
    return entries;
}

int IconChooseEntry(const std::vector<IconEntry> &entries)
{
    const bool pngOk = GetIconPngDecoder() != nullptr;
    int best = -1;
    for (int i = 0; i < int(entries.size()); ++i) {
        const IconEntry &e = entries[std::size_t(i)];
        if (e.png && !pngOk)
            continue;
        if (best < 0) {
            best = i;
            continue;
        }
        const IconEntry &b = entries[std::size_t(best)];
        const std::int64_t area = std::int64_t(e.width) * e.height, bestArea = std::int64_t(b.width) * b.height;
        if (area > bestArea || (area == bestArea && e.bitCount > b.bitCount))
            best = i;
    }
    return best;
}

QImage IconDecodeEntry(const QByteArray &file, const std::vector<IconEntry> &entries, int index)
{
    if (index < 0 || index >= int(entries.size()))
        bad(QStringLiteral("The icon holds no picture number %1").arg(index + 1));
    const IconEntry &e = entries[std::size_t(index)];
    checkLimit(e.width, e.height);
    QImage img;
    if (e.png) {
        if (!GetIconPngDecoder())
            bad(QStringLiteral("The icon holds only PNG-compressed pictures, which cannot be read yet"));
        img = GetIconPngDecoder()(file.mid(e.offset, e.size));
        if (img.isNull())
            bad(QStringLiteral("PNG icon picture could not be read"));
        img = img.convertToFormat(QImage::Format_ARGB32);
    } else {
        img = decodeDibEntry(reinterpret_cast<const unsigned char *>(file.constData()) + e.offset, e.size);
    }
    return img;
}

QImage IconDecode(const QByteArray &file, int *chosen)
{
    const std::vector<IconEntry> entries = IconListEntries(file);
    const int index = IconChooseEntry(entries);
    if (index < 0)
        bad(QStringLiteral("The icon holds only PNG-compressed pictures, which cannot be read yet"));
    QImage img = IconDecodeEntry(file, entries, index);
    if (chosen)
        *chosen = index;
    return img;
}

QByteArray IconEncode(const QImage &source)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0)
        throw EInvalidGraphicOperation(QStringLiteral("Cannot write an empty picture as an icon"));
    // The header stores twice the height in a signed 32-bit field.
    if (std::int64_t(source.width()) * source.height() > (std::int64_t(1) << 28) || source.height() > 0x3FFFFFFF)
        throw EInvalidGraphicOperation(QStringLiteral("Picture too large for an icon"));
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    if (img.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory to write the icon"));
    const int w = img.width(), h = img.height();
    if ((w > 256 || h > 256) && GetIconPngEncoder()) {
        // A BMP entry this large sits under a directory size of 256 that
        // other programs believe; a PNG entry carries its own size.
        const QByteArray png = GetIconPngEncoder()(img);
        QByteArray out;
        out.reserve(22 + png.size());
        wrU16(out, 0);
        wrU16(out, 1);
        wrU16(out, 1);
        out.append('\0'); // 0 stands for 256 and more; the PNG holds the size
        out.append('\0');
        out.append('\0');
        out.append('\0');
        wrU16(out, 1);
        wrU16(out, 32);
        wrU32(out, std::uint32_t(png.size()));
        wrU32(out, 22);
        out.append(png);
        return out;
    }
    const std::uint32_t colorBytes = std::uint32_t(w) * std::uint32_t(h) * 4;
    const std::uint32_t maskStride = ((std::uint32_t(w) + 31) / 32) * 4;
    const std::uint32_t maskBytes = maskStride * std::uint32_t(h);
    const std::uint32_t imageBytes = 40 + colorBytes + maskBytes;

    QByteArray out;
    out.reserve(qsizetype(22 + imageBytes));
    wrU16(out, 0);
    wrU16(out, 1);
    wrU16(out, 1);
    // Directory bytes hold 1..255, and 0 for 256; larger pictures keep their
    // true size in the bitmap header, which is what readers go by.
    out.append(char(w >= 256 ? 0 : w));
    out.append(char(h >= 256 ? 0 : h));
    out.append('\0'); // colour count: none for true colour
    out.append('\0');
    wrU16(out, 1);  // planes
    wrU16(out, 32); // bits per pixel
    wrU32(out, imageBytes);
    wrU32(out, 22);

    wrU32(out, 40);
    wrU32(out, std::uint32_t(w));
    wrU32(out, std::uint32_t(h) * 2);
    wrU16(out, 1);
    wrU16(out, 32);
    wrU32(out, 0);
    wrU32(out, colorBytes + maskBytes);
    wrU32(out, 0);
    wrU32(out, 0);
    wrU32(out, 0);
    wrU32(out, 0);

    const qsizetype colorStart = out.size();
    out.resize(colorStart + qsizetype(colorBytes) + qsizetype(maskBytes));
    auto *color = reinterpret_cast<unsigned char *>(out.data()) + colorStart;
    unsigned char *mask = color + colorBytes;
    std::memset(mask, 0, maskBytes);
    for (int y = 0; y < h; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        unsigned char *c = color + std::size_t(h - 1 - y) * std::size_t(w) * 4;
        unsigned char *m = mask + std::size_t(h - 1 - y) * maskStride;
        for (int x = 0; x < w; ++x) {
            const QRgb v = src[x];
            c[4 * x + 0] = uchar(qBlue(v));
            c[4 * x + 1] = uchar(qGreen(v));
            c[4 * x + 2] = uchar(qRed(v));
            c[4 * x + 3] = uchar(qAlpha(v));
            if (qAlpha(v) == 0)
                m[x / 8] |= uchar(0x80 >> (x % 8));
        }
    }
    return out;
}

} // namespace zk
