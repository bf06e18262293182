// libFuzzer target for the resource walker of Windows program files and the
// version block read through it.
#include "FileInfo.h"
#include "PeResources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype total = 0;
    for (const zk::TPeResource &r : zk::ReadPeResources(image))
        total += r.Data.size();
    if (const auto bytes = zk::PeFixedVersionBytes(image)) {
        zk::TFileInfo info;
        if (const auto block = zk::DecodeVersionBlock(*bytes))
            info.SetBlock(*block);
    }
    return total < 0;
}
