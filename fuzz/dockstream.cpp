// The stored dock-area layout decoder on arbitrary bytes: whatever it
// accepts must encode back to the same bytes.
#include "DockStream.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto s = zk::TDockPanelStream::Decode(bytes)) {
        if (s->Encode() != bytes)
            std::abort();
    }
    return 0;
}
