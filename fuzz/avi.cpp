// AVI reading from arbitrary bytes: every frame the reader accepts must
// decode, and writing the frames again must read back to the same size and
// count.
#include "AviFile.h"
#include "Bitmap.h"

#include <QBuffer>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zk::TBitmap::SetMaxPixels(1 << 20);
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    zk::TAviFileReader reader;
    std::vector<zk::TBitmap> frames;
    try {
        reader.Open(in);
        for (int i = 0; i < reader.FrameCount() && i < 8; ++i)
            frames.push_back(reader.Frame(i));
    } catch (const zk::EGraphicError &) {
        return 0;
    }
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    zk::TAviFileWriter writer;
    writer.Open(out, reader.Width(), reader.Height(), 10, int(frames.size()));
    for (const zk::TBitmap &f : frames)
        writer.WriteFrame(f);
    writer.Finish();
    zk::TAviFileReader again;
    again.Open(out);
    if (again.FrameCount() != int(frames.size()) || again.Width() != reader.Width() ||
        again.Height() != reader.Height())
        std::abort();
    for (int i = 0; i < again.FrameCount(); ++i)
        if (again.Frame(i).Width() != reader.Width())
            std::abort();
    return 0;
}
