#include "Bmp2Tiff.h"
#include "SafeFile.h"
#include "PixelRows.h"

#include "Bitmap.h"
#include "Graphic.h"
#include "GraphicText.h"
#include "LeBytes.h"

#include <QIODevice>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zk {

namespace {

// Field types of the directory entries.
enum : std::uint16_t { ftAscii = 2, ftShort = 3, ftLong = 4, ftRational = 5 };

// Tags in the ascending order the directory needs.
enum : std::uint16_t {
    tagNewSubfileType = 254,
    tagImageWidth = 256,
    tagImageLength = 257,
    tagBitsPerSample = 258,
    tagCompression = 259,
    tagPhotometric = 262,
    tagStripOffsets = 273,
    tagSamplesPerPixel = 277,
    tagRowsPerStrip = 278,
    tagStripByteCounts = 279,
    tagXResolution = 282,
    tagYResolution = 283,
    tagPlanarConfig = 284,
    tagResolutionUnit = 296,
    tagSoftware = 305,
    tagColorMap = 320,
};

enum : std::uint16_t { phWhiteIsZero = 0, phBlackIsZero = 1, phRgb = 2, phPalette = 3 };

constexpr char kSoftware[] = {'T', 'e', 'l', 'l', 'i', 'v', 'o', 'r', 'a', 'n'};
constexpr std::uint32_t kResNumerator = 877, kResDenominator = 10;
constexpr std::uint32_t kResolutionBlock = 8 + 8 + sizeof kSoftware; // X, Y, Software

struct Entry
{
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

void putResolutionBlock(QByteArray &b)
{
    for (int i = 0; i < 2; ++i) {
        wrU32(b, kResNumerator);
        wrU32(b, kResDenominator);
    }
    b.append(kSoftware, sizeof kSoftware);
}

// ImageWidth/ImageLength: SHORT while the value fits, LONG beyond.
Entry sizeEntry(std::uint16_t tag, std::uint32_t v)
{
    return {tag, v > 0xFFFF ? ftLong : ftShort, 1, v};
}

void putDirectory(QByteArray &b, const std::vector<Entry> &entries)
{
    wrU16(b, std::uint16_t(entries.size()));
    for (const Entry &e : entries) {
        wrU16(b, e.tag);
        wrU16(b, e.type);
        wrU32(b, e.count);
        if (e.type == ftShort && e.count == 1) {
            wrU16(b, std::uint16_t(e.value)); // a SHORT stands left-justified
            wrU16(b, 0);
        } else {
            wrU32(b, e.value);
        }
    }
    wrU32(b, 0); // no further directory
}

class Writer
{
public:
    explicit Writer(QIODevice &out) : m_out(out) {}

    void write(const char *data, qint64 n)
    {
        while (n > 0) {
            const qint64 done = m_out.write(data, n);
            if (done <= 0)
                fail();
            data += done;
            n -= done;
        }
    }
    void write(const QByteArray &b) { write(b.constData(), b.size()); }

    [[noreturn]] void fail() const
    {
        const QString why = m_out.errorString();
        throw EGraphicFileError(GraphicFault(
            "showmsg_tiff_not_written", QStringLiteral("Die TIFF-Datei kann nicht geschrieben werden"),
            why.isEmpty() ? GraphicText("showmsg_write_error", QStringLiteral("Schreibfehler")) : why));
    }

private:
    QIODevice &m_out;
};

// Collects converted rows and hands them to the device in large pieces.
class StripSink
{
public:
    StripSink(Writer &w, std::size_t rowBytes)
        : m_w(w), m_rowBytes(rowBytes),
          m_rowsPerChunk(std::max<std::size_t>(1, (std::size_t(1) << 18) / std::max<std::size_t>(1, rowBytes)))
    {
        m_buf.resize(m_rowsPerChunk * m_rowBytes);
    }
    // Room for the next row; the caller fills exactly rowBytes bytes.
    uchar *nextRow()
    {
        if (m_used == m_rowsPerChunk)
            flush();
        return m_buf.data() + m_rowBytes * m_used++;
    }
    void flush()
    {
        if (m_used)
            m_w.write(reinterpret_cast<const char *>(m_buf.data()), qint64(m_used * m_rowBytes));
        m_used = 0;
    }

private:
    Writer &m_w;
    std::size_t m_rowBytes, m_rowsPerChunk, m_used = 0;
    PixelBuffer m_buf;
};

// Bits of the last byte of a packed row that lie beyond the picture: cleared
// so that the same picture always gives the same file.
uchar lastByteMask(int width, int bits)
{
    const int used = (width * bits) % 8;
    return used == 0 ? 0xFF : uchar(0xFF << (8 - used));
}

void writePackedStrip(Writer &w, const TBitmap &bmp, int bits, std::size_t rowBytes)
{
    StripSink sink(w, rowBytes);
    const uchar mask = lastByteMask(bmp.Width(), bits);
    for (int y = 0; y < bmp.Height(); ++y) {
        uchar *dst = sink.nextRow();
        std::memcpy(dst, bmp.ScanLine(y), rowBytes);
        dst[rowBytes - 1] &= mask;
    }
    sink.flush();
}

void writeRgbStrip(Writer &w, const TBitmap &bmp, int srcPixelBytes)
{
    const int width = bmp.Width();
    StripSink sink(w, std::size_t(width) * 3);
    // Through the shuffling row functions; 32-bit rows are narrowed into a
    // row of their own first (the swap must not work in place).
    PixelBuffer narrowed(srcPixelBytes == 4 ? std::size_t(width) * 3 : 0);
    for (int y = 0; y < bmp.Height(); ++y) {
        const uchar *s = bmp.ScanLine(y);
        if (srcPixelBytes == 4) {
            Row32To24(narrowed.data(), s, width);
            s = narrowed.data();
        }
        Row24SwapRB(sink.nextRow(), s, width);
    }
    sink.flush();
}

std::uint32_t checkedSize(quint64 v)
{
    if (v > 0xFFFFFFF0u)
        throw EInvalidGraphicOperation(
            GraphicText("showmsg_tiff_too_large", QStringLiteral("Das Bild ist für eine TIFF-Datei zu groß.")));
    return std::uint32_t(v);
}

QByteArray header(std::uint32_t ifdOffset)
{
    QByteArray b("II", 2);
    wrU16(b, 42);
    wrU32(b, ifdOffset);
    return b;
}

// The entries every layout shares, up to PhotometricInterpretation.
std::vector<Entry> leadingEntries(const TBitmap &bmp, Entry bitsPerSample, std::uint16_t photometric)
{
    return {
        {tagNewSubfileType, ftLong, 1, 0},
        sizeEntry(tagImageWidth, std::uint32_t(bmp.Width())),
        sizeEntry(tagImageLength, std::uint32_t(bmp.Height())),
        bitsPerSample,
        {tagCompression, ftShort, 1, 1},
        {tagPhotometric, ftShort, 1, photometric},
    };
}

void addStripEntries(std::vector<Entry> &e, std::uint16_t samples, std::uint32_t stripOffset, std::uint32_t height,
                     std::uint32_t stripBytes)
{
    e.push_back({tagStripOffsets, ftLong, 1, stripOffset});
    e.push_back({tagSamplesPerPixel, ftShort, 1, samples});
    e.push_back({tagRowsPerStrip, ftLong, 1, height});
    e.push_back({tagStripByteCounts, ftLong, 1, stripBytes});
}

void addResolutionEntries(std::vector<Entry> &e, std::uint32_t resOffset)
{
    e.push_back({tagXResolution, ftRational, 1, resOffset});
    e.push_back({tagYResolution, ftRational, 1, resOffset + 8});
}

// 1 bit with black and white (either way round): strip first, then the
// resolution block and the directory.
void writeBilevel(Writer &w, const TBitmap &bmp, std::uint16_t photometric)
{
    const std::size_t rowBytes = (std::size_t(bmp.Width()) + 7) / 8;
    const std::uint32_t strip = checkedSize(quint64(rowBytes) * bmp.Height());
    const std::uint32_t pad = strip & 1;
    const std::uint32_t res = checkedSize(8ull + strip + pad);
    const std::uint32_t ifd = res + kResolutionBlock;

    std::vector<Entry> e = leadingEntries(bmp, {tagBitsPerSample, ftShort, 1, 1}, photometric);
    addStripEntries(e, 1, 8, std::uint32_t(bmp.Height()), strip);
    addResolutionEntries(e, res);
    e.push_back({tagResolutionUnit, ftShort, 1, 2});
    e.push_back({tagSoftware, ftAscii, sizeof kSoftware, res + 16});

    w.write(header(ifd));
    writePackedStrip(w, bmp, 1, rowBytes);
    QByteArray tail;
    if (pad)
        tail.append('\0');
    putResolutionBlock(tail);
    putDirectory(tail, e);
    w.write(tail);
}

// 1, 4 or 8 bits with a palette: colour map, resolution block, strip,
// directory.
void writePalette(Writer &w, const TBitmap &bmp, int bits)
{
    const std::uint32_t colours = 1u << bits;
    const std::size_t rowBytes = (std::size_t(bmp.Width()) * bits + 7) / 8;
    const std::uint32_t strip = checkedSize(quint64(rowBytes) * bmp.Height());
    const std::uint32_t res = 8 + colours * 6;
    const std::uint32_t stripOffset = res + kResolutionBlock;
    const std::uint32_t pad = strip & 1;
    const std::uint32_t ifd = checkedSize(quint64(stripOffset) + strip + pad);

    std::vector<Entry> e = leadingEntries(bmp, {tagBitsPerSample, ftShort, 1, std::uint32_t(bits)}, phPalette);
    addStripEntries(e, 1, stripOffset, std::uint32_t(bmp.Height()), strip);
    addResolutionEntries(e, res);
    e.push_back({tagResolutionUnit, ftShort, 1, 2});
    e.push_back({tagSoftware, ftAscii, sizeof kSoftware, res + 16});
    e.push_back({tagColorMap, ftShort, colours * 3, 8});

    QByteArray head = header(ifd);
    QVector<QRgb> pal = bmp.Palette();
    pal.resize(qsizetype(colours), qRgb(0, 0, 0)); // too short: the rest is black
    for (int shift : {16, 8, 0}) // red, green, blue
        for (QRgb c : pal)
            wrU16(head, std::uint16_t(((c >> shift) & 0xFF) << 8));
    putResolutionBlock(head);
    w.write(head);

    writePackedStrip(w, bmp, bits, rowBytes);

    QByteArray tail;
    if (pad)
        tail.append('\0');
    putDirectory(tail, e);
    w.write(tail);
}

// 24 or 32 bits: resolution, BitsPerSample values and Software ahead of the
// strip at 40, the directory after it.
void writeRgb(Writer &w, const TBitmap &bmp, int srcPixelBytes)
{
    constexpr std::uint32_t resOffset = 8, bpsOffset = 24, softOffset = 30, stripOffset = 40;
    const std::uint32_t strip = checkedSize(quint64(bmp.Width()) * 3 * bmp.Height());
    const std::uint32_t pad = strip & 1;
    const std::uint32_t ifd = checkedSize(quint64(stripOffset) + strip + pad);

    std::vector<Entry> e = leadingEntries(bmp, {tagBitsPerSample, ftShort, 3, bpsOffset}, phRgb);
    addStripEntries(e, 3, stripOffset, std::uint32_t(bmp.Height()), strip);
    addResolutionEntries(e, resOffset);
    e.push_back({tagPlanarConfig, ftShort, 1, 1});
    e.push_back({tagResolutionUnit, ftShort, 1, 2});
    e.push_back({tagSoftware, ftAscii, sizeof kSoftware, softOffset});

    QByteArray head = header(ifd);
    wrU32(head, kResNumerator);
    wrU32(head, kResDenominator);
    wrU32(head, kResNumerator);
    wrU32(head, kResDenominator);
    for (int i = 0; i < 3; ++i)
        wrU16(head, 8);
    head.append(kSoftware, sizeof kSoftware);
    w.write(head);

    writeRgbStrip(w, bmp, srcPixelBytes);

    QByteArray tail;
    if (pad)
        tail.append('\0');
    putDirectory(tail, e);
    w.write(tail);
}

std::uint32_t rgbOf(QRgb c)
{
    return c & 0xFFFFFF;
}

void requirePixels(const TBitmap &bmp)
{
    if (bmp.Empty())
        throw EInvalidGraphicOperation(GraphicText(
            "showmsg_tiff_empty", QStringLiteral("Ein Bild ohne Bildpunkte kann nicht als TIFF gespeichert werden.")));
}

} // namespace

void WriteTiffStream(const TBitmap &bmp, QIODevice &out)
{
    requirePixels(bmp);
    Writer w(out);
    switch (bmp.PixelFormat()) {
    case pf1bit: {
        QVector<QRgb> pal = bmp.Palette();
        pal.resize(2, qRgb(0, 0, 0));
        const std::uint32_t c0 = rgbOf(pal[0]), c1 = rgbOf(pal[1]);
        if (c0 == 0 && c1 == 0xFFFFFF)
            writeBilevel(w, bmp, phBlackIsZero);
        else if (c0 == 0xFFFFFF && c1 == 0)
            writeBilevel(w, bmp, phWhiteIsZero);
        else
            writePalette(w, bmp, 1);
        break;
    }
    case pf4bit:
        writePalette(w, bmp, 4);
        break;
    case pf8bit:
        writePalette(w, bmp, 8);
        break;
    case pf24bit:
        writeRgb(w, bmp, 3);
        break;
    case pf32bit:
        writeRgb(w, bmp, 4);
        break;
    default: {
        // 15 and 16 bits have no palette layout that holds them: they go out
        // as 24-bit RGB.
        TBitmap rgb(bmp);
        rgb.SetPixelFormat(pf24bit);
        writeRgb(w, rgb, 3);
        break;
    }
    }
}

namespace {
QString notWritten(const QString &fileName, const QString &why)
{
    return GraphicText("showmsg_file_not_written", QStringLiteral("\"%1\" kann nicht geschrieben werden: %2"))
        .arg(fileName, why);
}
} // namespace

void SaveBitmapAsTiff(const TBitmap &bmp, const QString &fileName)
{
    requirePixels(bmp); // before the file is created
    TSafeFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        throw EGraphicFileError(notWritten(fileName, f.errorString()));
    WriteTiffStream(bmp, f); // an exception discards the temporary file
    if (!f.commit())
        throw EGraphicFileError(notWritten(fileName, f.errorString()));
}

} // namespace zk
