#pragma once
// Test-side tools for PNG files that do not use the codec under test: a
// chunk walker and builder (CRC by zlib), zlib in and out, and ImageMagick
// (which reads and writes PNG through libpng) as the reference.
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <zlib.h>

#include <cstdint>

namespace pngkit {

inline const QString Convert = QStringLiteral("/usr/bin/convert");

struct RawChunk
{
    QByteArray type;
    QByteArray data;
};

inline uint32_t be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | uint32_t(u[3]);
}

inline QByteArray u32(uint32_t v)
{
    QByteArray b(4, '\0');
    b[0] = char(v >> 24);
    b[1] = char(v >> 16);
    b[2] = char(v >> 8);
    b[3] = char(v);
    return b;
}

inline QByteArray signature()
{
    return QByteArray("\x89PNG\r\n\x1a\n", 8);
}

// Chunks of a well-formed file; stops at the first inconsistency.
inline QList<RawChunk> walkChunks(const QByteArray &file)
{
    QList<RawChunk> out;
    if (!file.startsWith(signature()))
        return out;
    qsizetype at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t len = be32(file.constData() + at);
        if (qsizetype(len) > file.size() - at - 12)
            break;
        out.append({file.mid(at + 4, 4), file.mid(at + 8, len)});
        at += 12 + len;
    }
    return out;
}

inline QByteArray chunkBytes(const QByteArray &type, const QByteArray &data)
{
    QByteArray body = type + data;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(body.constData()),
                            uInt(body.size()));
    return u32(uint32_t(data.size())) + body + u32(uint32_t(crc));
}

inline QByteArray buildPng(const QList<RawChunk> &chunks)
{
    QByteArray f = signature();
    for (const RawChunk &c : chunks)
        f += chunkBytes(c.type, c.data);
    return f;
}

inline QByteArray ihdrData(uint32_t w, uint32_t h, int depth, int colourType, int interlace = 0,
                           int compression = 0, int filter = 0)
{
    QByteArray d = u32(w) + u32(h);
    d.append(char(depth));
    d.append(char(colourType));
    d.append(char(compression));
    d.append(char(filter));
    d.append(char(interlace));
    return d;
}

inline QByteArray deflateBytes(const QByteArray &raw, int level = Z_DEFAULT_COMPRESSION)
{
    uLongf n = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(n), '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &n,
              reinterpret_cast<const Bytef *>(raw.constData()), uLong(raw.size()), level);
    out.resize(qsizetype(n));
    return out;
}

inline QByteArray inflateBytes(const QByteArray &z)
{
    z_stream s{};
    inflateInit(&s);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(z.constData()));
    s.avail_in = uInt(z.size());
    QByteArray out;
    char buf[65536];
    int rc;
    do {
        s.next_out = reinterpret_cast<Bytef *>(buf);
        s.avail_out = sizeof buf;
        rc = inflate(&s, Z_NO_FLUSH);
        out.append(buf, qsizetype(sizeof buf - s.avail_out));
    } while (rc == Z_OK);
    inflateEnd(&s);
    return out;
}

// All IDAT data of a file, inflated.
inline QByteArray imageData(const QByteArray &file)
{
    QByteArray z;
    for (const RawChunk &c : walkChunks(file))
        if (c.type == "IDAT")
            z += c.data;
    return inflateBytes(z);
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QString workDir()
{
    const QString d = zktest::sandboxDir() + QStringLiteral("/png");
    QDir().mkpath(d);
    return d;
}

inline bool haveMagick()
{
    return zktest::haveProgram(Convert);
}

inline bool magick(const QStringList &args)
{
    return zktest::runProgram(Convert, args, nullptr, 60000) == 0;
}

// The pixels of a picture file as ImageMagick (libpng) decodes them: 16-bit
// big-endian R, G, B per pixel.
inline QByteArray magickRgb16(const QString &path)
{
    QByteArray out;
    if (zktest::runProgram(Convert, {path, "-depth", "16", "-endian", "MSB", "rgb:-"}, &out, 60000) != 0)
        return {};
    return out;
}

// pngcheck's verdict: exit code 0 and its report.
inline bool pngcheckOk(const QString &path, QByteArray *report = nullptr)
{
    return zktest::runProgram(QStringLiteral("pngcheck"), {"-v", path}, report) == 0;
}

} // namespace pngkit
