// libFuzzer target for the resource walker of Windows program files, the
// version block and the icon groups read through it.
#include "FileInfo.h"
#include "IconExtract.h"
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
    zk::TIconExtractor icons;
    icons.LoadData(image);
    for (int i = 0; i < icons.Count() && i < 16; ++i)
        total += icons.Icon(i).width();
    return total < 0;
}
