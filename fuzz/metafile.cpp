// libFuzzer target for the EMF/WMF reader: the first byte says whether the
// picture read is written again (as EMF or WMF) and read back; the rest is
// the file.
#include "Metafile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool limited = [] {
        zk::TBitmap::SetMaxPixels(std::int64_t(1) << 22);
        return true;
    }();
    (void)limited;
    if (size < 1)
        return 0;
    const std::uint8_t flags = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    zk::TMetafile mf;
    try {
        mf.LoadFromData(bytes);
        if (flags & 1) {
            mf.SetEnhanced(flags & 2);
            zk::TMetafile back;
            back.LoadFromData(mf.SaveToData());
        }
    } catch (const zk::EGraphicError &) {
    }
    return 0;
}
