// libFuzzer target for the PNG decoder. The first input byte holds the
// settings: bit 7 rewrites every chunk CRC before loading (so mutations get
// past the CRC check into the decoder), bit 0 asks for a save and a reload
// whose pixels must equal the loaded ones, bits 1-5 are the encoder's filter
// set, bit 6 also decodes with transparency (the icon path). The rest of the
// input is the file.
#include "PNGImage.h"

#include <QByteArray>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>

namespace {

void fixCrcs(QByteArray &f)
{
    qsizetype at = 8;
    while (at + 12 <= f.size()) {
        const auto *p = reinterpret_cast<const uint8_t *>(f.constData()) + at;
        const uint32_t len = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        if (qsizetype(len) > f.size() - at - 12)
            return;
        const uLong crc = crc32(0L, p + 4, uInt(len + 4));
        char *c = f.data() + at + 8 + len;
        c[0] = char(crc >> 24);
        c[1] = char(crc >> 16);
        c[2] = char(crc >> 8);
        c[3] = char(crc);
        at += 12 + qsizetype(len);
    }
}

bool samePixels(const zk::TPNGImage &a, const zk::TPNGImage &b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelRgb(x, y) != b.PixelRgb(x, y))
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Keep single inputs small enough that the fuzzer explores instead of
    // allocating: 4 M pixels at most.
    static const bool limited = [] {
        zk::TBitmap::SetMaxPixels(qint64(1) << 22);
        return true;
    }();
    (void)limited;
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (mode & 0x80)
        fixCrcs(bytes);

    zk::TPNGImage img;
    try {
        img.LoadFromBytes(bytes);
        if (mode & 0x40) {
            const QImage argb = zk::PngToArgbImage(bytes);
            if (argb.width() != img.Width() || argb.height() != img.Height())
                std::abort();
        }
    } catch (const zk::EGraphicError &) {
        return 0; // a clean refusal is the right answer to damage
    }
    if (!(mode & 1) || qint64(img.Width()) * img.Height() > (1 << 16))
        return 0;
    // Gamma maps pixels on the way in and back out; only a gamma-free
    // picture must come back exactly.
    const zk::TChunkGAMA *gama = img.Chunks().Find<zk::TChunkGAMA>();
    const bool exact = !(gama && gama->Valid());
    img.SetFilters(uint8_t((mode >> 1) & 0x1F));
    zk::TPNGImage before(img);
    const QByteArray saved = img.SaveToBytes();
    zk::TPNGImage back;
    back.LoadFromBytes(saved); // our own output must always load
    if (exact && !samePixels(before, back))
        std::abort();
    return 0;
}
