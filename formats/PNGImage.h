#pragma once
// TPNGImage: a bitmap that reads and writes PNG files. The pixels live in the
// bitmap; the file's chunks are kept beside them in a TChunkList. Of the
// chunks the codec does not interpret, a save writes only those whose fourth
// letter is upper case (tIME, say); those with a lower-case fourth letter,
// text chunks (tEXt, zTXt, iTXt) among them, are read but never written.
//
// Loading is all or nothing: the file is read into a fresh chunk list and
// decoded aside, and only a complete success replaces the picture. Saving
// builds the whole file in memory first, so a failure writes nothing.
#include "Bitmap.h"
#include "PngChunks.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zk {

// Filter types the encoder may choose from, bit n for filter type n.
enum TFilterBits : uint8_t {
    fbNone = 1 << 0,
    fbSub = 1 << 1,
    fbUp = 1 << 2,
    fbAverage = 1 << 3,
    fbPaeth = 1 << 4,
};

class TPNGImage : public TBitmap
{
public:
    static constexpr uint8_t DefaultFilters = fbNone | fbSub | fbAverage | fbPaeth;

    TPNGImage();
    TPNGImage(const TPNGImage &other);
    TPNGImage &operator=(const TPNGImage &other);
    ~TPNGImage() override;

    QString ClassName() const override { return QStringLiteral("TPNGImage"); }
    std::unique_ptr<TGraphic> Clone() const override;

    using TBitmap::Assign;
    // From another TPNGImage: its chunks, Filters and Interlaced as well.
    void Assign(const TGraphic &source) override;

    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;
    // The same bytes, written while the image data is still being made:
    // each band goes out once it is deflated. For a stream that is thrown
    // away when this raises (a file not yet under its name): on failure
    // part of the picture stays in it.
    void SaveWhileEncoding(QIODevice &stream);

    uint8_t Filters() const { return fFilters; }
    void SetFilters(uint8_t filters) { fFilters = uint8_t(filters | fbNone); }
    bool Interlaced() const { return fInterlaced; }
    void SetInterlaced(bool on) { fInterlaced = on; }

    TChunkList &Chunks() { return *fChunkList; }
    const TChunkList &Chunks() const { return *fChunkList; }

    // Called while the pixels are decoded: after every row, or after every
    // interlace pass, with the percentage done.
    std::function<void(int percent)> OnProgress;

    // Pixels decoded from the image data, ready to become the bitmap.
    struct DecodedPixels
    {
        int width = 0;
        int height = 0;
        TPixelFormat pf = pf24bit;
        PixelBuffer bits;
        QVector<QRgb> palette;
        std::vector<uint8_t> alpha; // width x height, only when asked for
    };
    // Takes decoded pixels: at once, or at the end of a load in progress.
    void TakeDecodedPixels(DecodedPixels &&pixels);

    // Called on the loading thread while a picture without interlacing
    // decodes, each time row y of `pixels` is final (in order from the top),
    // so a converter can write rows out while the rest still inflates. The
    // load may still fail after it; interlaced pictures never call it.
    std::function<void(const DecodedPixels &pixels, int y)> OnRowDone;

private:
    friend QImage PngToArgbImage(const QByteArray &png);
    friend class TChunkIDAT;
    void ResetChunkList();
    void ReadChunks(QIODevice &stream);
    void PrepareChunksForSaving();

    uint8_t fFilters = DefaultFilters;
    bool fInterlaced = false;
    std::unique_ptr<TChunkList> fChunkList;
    bool fLoading = false;
    std::optional<DecodedPixels> fDecoded;
    // The bitmap has no alpha; icon entries need theirs, so a load can keep
    // it aside (alpha channels and tRNS of every colour type).
    bool fKeepAlpha = false;
    std::vector<uint8_t> fAlpha;
};

// A PNG file as an ARGB32 image with its transparency (alpha samples or
// tRNS); raises like TPNGImage::LoadFromStream. The icon reader uses it for
// PNG-compressed entries.
QImage PngToArgbImage(const QByteArray &png);

// An ARGB picture as a PNG file that keeps its alpha (colour type 6, or 2
// when every pixel is opaque). The icon writer uses it for entries larger
// than 256 pixels a side. Raises EPNGImageException for an empty picture.
QByteArray ArgbImageToPng(const QImage &image);

// The file SaveWhileEncoding gives for bitmap, written to stream. A bitmap
// that a PNG keeps as it is (1, 4, 8 or 24 bits) lends its rows to the
// encoder for the call instead of being copied; it is whole again when this
// returns or raises.
void SavePngWhileEncoding(TBitmap &bitmap, QIODevice &stream);

// Registers TPNGImage for ".png" with the picture registry (once; later
// calls do nothing). Start-up calls it.
void RegisterPngGraphics();

} // namespace zk
