#pragma once
// The resources of a Windows program file (PE image): one walker over the
// resource tree, every offset checked against the data, for the readers of
// version blocks and icon groups.
#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

namespace zk {

struct TPeResource {
    std::uint32_t Type = 0;     // numeric type (16 is a version block, 14 an icon group)
    std::int64_t Id = -1;       // numeric name, -1 when the entry is named by a string
    std::uint32_t Language = 0; // numeric language, 0 when named by a string
    int NameEntry = -1;         // position of the name in its type's directory
    QByteArray Data;
};

// Every resource of the image in tree order; empty for anything that is not
// a well-formed PE image. `onlyType` keeps the walk to one type. Leaves that
// share their data are copied at most until the copies reach twice the
// image's size, and at most kMaxPeResources of them are returned, so a
// hostile tree cannot turn a small file into gigabytes.
inline constexpr int kMaxPeResources = 65536;
QList<TPeResource> ReadPeResources(const QByteArray &image, std::optional<std::uint32_t> onlyType = std::nullopt);

// The 52-byte fixed block of the image's first version resource, as stored.
std::optional<QByteArray> PeFixedVersionBytes(const QByteArray &image);

} // namespace zk
