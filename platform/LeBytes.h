#pragma once
// Little-endian reads and writes for the binary picture formats (icons,
// metafiles). Callers check the bounds before reading.
#include "Graphic.h"

#include <QByteArray>
#include <QIODevice>
#include <cstdint>

namespace zk {

inline std::uint16_t rdU16(const unsigned char *p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t rdU32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::int16_t rdI16(const unsigned char *p) { return static_cast<std::int16_t>(rdU16(p)); }
inline std::int32_t rdI32(const unsigned char *p) { return static_cast<std::int32_t>(rdU32(p)); }

inline void wrU16(QByteArray &b, std::uint32_t v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
inline void wrU32(QByteArray &b, std::uint32_t v)
{
    wrU16(b, v & 0xFFFF);
    wrU16(b, v >> 16);
}
inline void wrI16(QByteArray &b, int v) { wrU16(b, std::uint32_t(std::uint16_t(std::int16_t(v)))); }
inline void wrI32(QByteArray &b, std::int64_t v) { wrU32(b, std::uint32_t(std::int32_t(v))); }

// The rest of a stream, refusing more than `limit` bytes without ever
// reserving that much (QIODevice::read(n) allocates n bytes up front).
inline QByteArray ReadRestCapped(QIODevice &stream, qint64 limit, const QString &what)
{
    if (!stream.isSequential()) {
        const qint64 left = stream.size() - stream.pos();
        if (left > limit)
            throw EInvalidGraphic(QStringLiteral("%1 too large (%2 bytes)").arg(what).arg(left));
        return stream.readAll();
    }
    QByteArray data;
    char chunk[65536];
    for (;;) {
        const qint64 got = stream.read(chunk, sizeof chunk);
        if (got <= 0)
            break;
        if (data.size() + got > limit)
            throw EInvalidGraphic(QStringLiteral("%1 too large").arg(what));
        data.append(chunk, qsizetype(got));
    }
    return data;
}

} // namespace zk
