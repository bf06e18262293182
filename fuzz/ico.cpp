// libFuzzer target for the icon reader: the first byte says whether a PNG
// decoder is installed (which changes the entry chosen) and whether the
// picture is written again; the rest is the file.
#include "Icon.h"

#include <cstddef>
#include <cstdint>

namespace {
// Stands in for the PNG codec: reads nothing, so the choice logic and the
// hand-over are exercised without depending on another layer.
QImage noPng(const QByteArray &) { throw zk::EInvalidGraphic(QStringLiteral("PNG entry refused")); }
} // namespace

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
    zk::SetIconPngDecoder(flags & 1 ? noPng : nullptr);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    zk::TIcon icon;
    try {
        icon.LoadFromBytes(bytes);
        if (flags & 2) {
            zk::TIcon back;
            back.LoadFromBytes(icon.SaveToBytes());
        }
    } catch (const zk::EGraphicError &) {
    }
    return 0;
}
