#pragma once
// Helpers shared by the GIF tests: loading with the warnings collected, raw
// LZW code streams built by hand, and pictures of random indices.
#include "GIFImage.h"
#include "GifOracle.h"

#include <QByteArray>
#include <QStringList>

#include <random>
#include <utility>
#include <vector>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace gifkit {

struct Loaded
{
    QStringList warnings;
    QString error; // empty when the load succeeded
};

inline Loaded load(zk::TGIFImage &img, const QByteArray &bytes)
{
    Loaded r;
    img.OnWarning = [&r](zk::TGIFImage &, uint8_t, const QString &m) { r.warnings << m; };
    try {
        img.LoadFromBytes(bytes);
    } catch (const zk::EGraphicError &e) {
        r.error = e.message();
    }
    img.OnWarning = nullptr;
    return r;
}

// Codes (value, bit width) packed least significant bit first.
inline QByteArray packCodes(const std::vector<std::pair<int, int>> &codes)
{
    QByteArray out;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        out.append(char(acc & 0xFF));
    return out;
}

// Data cut into sub-blocks of `blockSize` bytes, with or without the
// terminator.
inline QByteArray subBlocks(const QByteArray &data, int blockSize = 255, bool terminator = true)
{
    QByteArray out;
    for (qsizetype at = 0; at < data.size(); at += blockSize) {
        const qsizetype n = std::min<qsizetype>(blockSize, data.size() - at);
        out.append(char(n));
        out.append(data.mid(at, n));
    }
    if (terminator)
        out.append('\0');
    return out;
}

// A one-frame file around hand-made image data: a global table of
// 2^tableBits grey levels, the code size byte, then `imageData` as given.
inline QByteArray fileAround(int width, int height, int tableBits, int codeSize, const QByteArray &imageData,
                             bool trailer = true, bool interlaced = false)
{
    QByteArray f("GIF89a");
    const auto u16 = [&f](int v) {
        f.append(char(v & 0xFF));
        f.append(char((v >> 8) & 0xFF));
    };
    u16(width);
    u16(height);
    f.append(char(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)));
    f.append('\0');
    f.append('\0');
    const int n = 1 << tableBits;
    for (int i = 0; i < n; ++i)
        f.append(QByteArray(3, char(i * 255 / std::max(1, n - 1))));
    f.append(char(0x2C));
    u16(0);
    u16(0);
    u16(width);
    u16(height);
    f.append(char(interlaced ? 0x40 : 0));
    f.append(char(codeSize));
    f.append(imageData);
    if (trailer)
        f.append(char(0x3B));
    return f;
}

// Indices below `colors`, with runs (so long strings occur) and noise.
inline QByteArray randomIndices(std::mt19937 &rng, int count, int colors)
{
    QByteArray out(count, '\0');
    std::uniform_int_distribution<int> pick(0, colors - 1), coin(0, 9);
    int last = 0;
    for (int i = 0; i < count; ++i) {
        if (coin(rng) >= 6)
            last = pick(rng);
        out[i] = char(last);
    }
    return out;
}

inline QVector<QRgb> randomMap(std::mt19937 &rng, int colors)
{
    QVector<QRgb> m;
    for (int i = 0; i < colors; ++i)
        m.append(qRgb(int(rng() & 0xFF), int(rng() & 0xFF), int(rng() & 0xFF)));
    return m;
}

// Offsets where each block of a well-formed file starts (extensions, image
// descriptors, the trailer), found by walking its structure.
inline QList<qsizetype> blockOffsets(const QByteArray &f)
{
    QList<qsizetype> out;
    const auto at = [&f](qsizetype i) { return i < f.size() ? uint8_t(f[i]) : 0; };
    qsizetype i = 13;
    if (at(10) & 0x80)
        i += 3 * (2 << (at(10) & 7));
    const auto skipBlocks = [&] {
        while (i < f.size() && at(i) != 0)
            i += 1 + at(i);
        ++i;
    };
    while (i < f.size()) {
        out.append(i);
        const uint8_t b = at(i);
        if (b == 0x21) {
            i += 2;
            skipBlocks();
        } else if (b == 0x2C) {
            const uint8_t packed = at(i + 9);
            i += 10;
            if (packed & 0x80)
                i += 3 * (2 << (packed & 7));
            ++i; // code size
            skipBlocks();
        } else {
            break;
        }
    }
    return out;
}

inline QByteArray frameBytes(const zk::TGIFSubImage &f)
{
    return QByteArray(reinterpret_cast<const char *>(f.Data()), qsizetype(f.DataSize()));
}

} // namespace gifkit
