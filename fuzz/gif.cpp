// libFuzzer target for the GIF reader. The first input byte holds the
// settings: bit 0 asks for a save and a reload whose frames must equal the
// loaded ones, bit 1 saves with the run-length encoder, bit 2 sorts the
// colour tables by use first. The rest of the input is the file.
#include "GIFImage.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <vector>

// Keeps single inputs small enough that the fuzzer explores instead of
// allocating: 4 M pixels at most.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    zk::TBitmap::SetMaxPixels(qint64(1) << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    zk::TGIFImage img;
    int warnings = 0;
    img.OnWarning = [&warnings](zk::TGIFImage &, uint8_t, const QString &) { ++warnings; };
    try {
        img.LoadFromBytes(bytes);
    } catch (const zk::EGraphicError &) {
        return 0; // a clean refusal is the right answer to damage
    }
    if (!(mode & 1) || img.Images().Count() == 0)
        return 0;
    img.Compression = (mode & 2) ? zk::gcRLE : zk::gcLZW;
    if (mode & 4) {
        img.Header().ColorMap().Optimize();
        for (int i = 0; i < img.Images().Count(); ++i)
            img.Images()[i]->ColorMap().Optimize();
    }
    QByteArray saved;
    try {
        saved = img.SaveToBytes();
    } catch (const zk::GIFException &) {
        return 0; // pixels the colour table lacks cannot be written
    }
    zk::TGIFImage back;
    back.LoadFromBytes(saved); // our own output must always load
    // Frames without pixels write nothing of their own; the others must come
    // back exactly.
    const auto withPixels = [](const zk::TGIFImage &g) {
        std::vector<QByteArray> frames;
        for (int i = 0; i < g.Images().Count(); ++i)
            if (!g.Images()[i]->Empty())
                frames.emplace_back(reinterpret_cast<const char *>(g.Images()[i]->Data()),
                                    qsizetype(g.Images()[i]->DataSize()));
        return frames;
    };
    if (withPixels(img) != withPixels(back))
        std::abort();
    return 0;
}
