#include "PNGImage.h"

#include "IconCodec.h"
#include "PngRows.h"
#include "ZStreams.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zk {

namespace {

const uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Largest chunk the format allows (2^31-1); any length above is damage.
constexpr uint32_t MaxChunkLength = 0x7FFFFFFFu;
// Chunk data is read in slices of this size so a length that promises more
// than a stream really holds never allocates more than the stream gives.
constexpr qint64 ReadSlice = 1 << 20;

uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool readExact(QIODevice &s, void *buf, qint64 n)
{
    qint64 done = 0;
    while (done < n) {
        const qint64 got = s.read(static_cast<char *>(buf) + done, n - done);
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void copyChunks(const TChunkList &from, TChunkList &to)
{
    to.Clear();
    for (int i = 0; i < from.Count(); ++i) {
        const TChunk *src = from.Item(i);
        const int k = TChunkClasses::IndexOfType(src->ChunkType());
        const TChunkClass cls = k >= 0 ? TChunkClasses::Item(k).ChunkClass : &CreateChunk<TChunk>;
        to.AddClass(cls)->Assign(*src);
    }
}

// Where a chunk goes in a file we write: the order every decoder accepts.
int saveRank(const TChunk *c)
{
    const TChunkName &t = c->ChunkType();
    if (t == ChunkName("IHDR"))
        return 0;
    if (t == ChunkName("gAMA") || t == ChunkName("cHRM") || t == ChunkName("sRGB")
        || t == ChunkName("iCCP"))
        return 1;
    if (t == ChunkName("PLTE"))
        return 2;
    if (t == ChunkName("tRNS"))
        return 3;
    if (t == ChunkName("IDAT"))
        return 5;
    if (t == ChunkName("IEND"))
        return 6;
    return 4;
}

// Chunks that describe the pixels as the file we read stored them (sample
// depths, background in its colour type, histogram of its palette, further
// animation frames). The bitmap is written anew, so they would be wrong.
bool describesOldPixels(const TChunkName &t)
{
    return t == ChunkName("bKGD") || t == ChunkName("sBIT") || t == ChunkName("hIST")
           || t == ChunkName("acTL") || t == ChunkName("fcTL") || t == ChunkName("fdAT");
}

} // namespace

TPNGImage::TPNGImage() : fChunkList(std::make_unique<TChunkList>(this))
{
    ResetChunkList();
}

TPNGImage::TPNGImage(const TPNGImage &other)
    : TBitmap(other), fFilters(other.fFilters), fInterlaced(other.fInterlaced),
      fChunkList(std::make_unique<TChunkList>(this))
{
    copyChunks(*other.fChunkList, *fChunkList);
}

TPNGImage &TPNGImage::operator=(const TPNGImage &other)
{
    if (this != &other) {
        TBitmap::operator=(other);
        fFilters = other.fFilters;
        fInterlaced = other.fInterlaced;
        copyChunks(*other.fChunkList, *fChunkList);
    }
    return *this;
}

TPNGImage::~TPNGImage() = default;

std::unique_ptr<TGraphic> TPNGImage::Clone() const
{
    return std::make_unique<TPNGImage>(*this);
}

void TPNGImage::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *png = dynamic_cast<const TPNGImage *>(&source)) {
        copyChunks(*png->fChunkList, *fChunkList);
        fFilters = png->fFilters;
        fInterlaced = png->fInterlaced;
    }
    TBitmap::Assign(source);
}

void TPNGImage::ResetChunkList()
{
    // Unlike a fresh image, a reset never touches the bitmap's palette: it
    // also runs before saving a picture whose list was emptied.
    fChunkList->Clear();
    auto *ihdr = static_cast<TChunkIHDR *>(fChunkList->AddClass(&CreateChunk<TChunkIHDR>));
    ihdr->SetWidth(0);
    ihdr->SetHeight(0);
    ihdr->SetField(0, 2);
    ihdr->SetField(1, 3);
    ihdr->SetField(2, 0);
    ihdr->SetField(3, 0);
    ihdr->SetField(4, 0);
    fChunkList->AddClass(&CreateChunk<TChunkIDAT>);
    fChunkList->AddClass(&CreateChunk<TChunkIEND>);
}

void TPNGImage::TakeDecodedPixels(DecodedPixels &&pixels)
{
    if (fLoading) {
        fDecoded = std::move(pixels);
        return;
    }
    Adopt(pixels.width, pixels.height, pixels.pf, std::move(pixels.bits), pixels.palette);
    Changed();
}

void TPNGImage::ReadChunks(QIODevice &stream)
{
    ResetChunkList();
    fChunkList->Clear();

    uint8_t sig[8];
    if (!readExact(stream, sig, 8) || std::memcmp(sig, Signature, 8) != 0)
        RaisePngError(peInvalidHeader);

    TChunkIDAT *firstIdat = nullptr;
    for (;;) {
        if (!stream.isSequential() && stream.atEnd())
            break; // a file without IEND ends where the stream does
        uint8_t head[8];
        const qint64 got = stream.read(reinterpret_cast<char *>(head), 8);
        if (got == 0 && stream.isSequential())
            break;
        if (got < 8 && !(got > 0 && readExact(stream, head + got, 8 - got)))
            RaisePngError(peDamagedData);
        const uint32_t length = be32(head);
        TChunkName type;
        std::memcpy(type.data(), head + 4, 4);
        if (length > MaxChunkLength)
            RaisePngError(peDamagedData);
        if (!stream.isSequential() && qint64(length) + 4 > stream.size() - stream.pos())
            RaisePngError(peDamagedData);
        if (!std::all_of(type.begin(), type.end(), isLetter))
            RaisePngError(peDamagedData);

        const int k = TChunkClasses::IndexOfType(type);
        if (k < 0 && !(type[0] & 0x20))
            RaisePngError(peUnknownCriticalChunk);
        std::unique_ptr<TChunk> chunk =
            k >= 0 ? TChunkClasses::Item(k).ChunkClass(fChunkList.get())
                   : CreateChunk<TChunk>(fChunkList.get());
        chunk->SetChunkType(type);

        // An IDAT after the first joins the first one's data.
        const bool joinIdat = firstIdat && type == ChunkName("IDAT");
        QByteArray &data = joinIdat ? firstIdat->Data() : chunk->Data();
        const qint64 start = joinIdat ? data.size() : 0;
        if (!joinIdat)
            data.clear();
        qint64 left = length;
        while (left > 0) {
            const qint64 slice = std::min(left, ReadSlice);
            const qint64 at = data.size();
            data.resize(at + slice);
            if (!readExact(stream, data.data() + at, slice))
                RaisePngError(peDamagedData);
            left -= slice;
        }
        uint8_t crcBytes[4];
        if (!readExact(stream, crcBytes, 4))
            RaisePngError(peDamagedData);
        uint32_t reg = png::Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t *>(type.data()), 4);
        reg = png::Crc32Update(reg, reinterpret_cast<const uint8_t *>(data.constData()) + start,
                               size_t(length));
        if ((reg ^ 0xFFFFFFFFu) != be32(crcBytes))
            RaisePngError(peDamagedData);

        const bool isEnd = type == ChunkName("IEND");
        if (!joinIdat) {
            TChunk *added = fChunkList->Add(std::move(chunk));
            if (!firstIdat && type == ChunkName("IDAT"))
                firstIdat = static_cast<TChunkIDAT *>(added);
        }
        if (isEnd)
            break;
    }

    if (fChunkList->Count() == 0 || !dynamic_cast<TChunkIHDR *>(fChunkList->Item(0)))
        RaisePngError(peMissingIHDR);
    if (!firstIdat)
        RaisePngError(peNoImageData);
}

void TPNGImage::LoadFromStream(QIODevice &stream)
{
    // Everything happens on a scratch image; this one changes only when the
    // whole file has been read and decoded.
    TPNGImage scratch;
    scratch.fLoading = true;
    scratch.OnProgress = OnProgress;
    scratch.OnRowDone = OnRowDone;
    scratch.fKeepAlpha = fKeepAlpha;
    scratch.ReadChunks(stream);
    TChunkList &list = *scratch.fChunkList;
    for (int i = 0; i < list.Count(); ++i)
        list.Item(i)->AfterLoad();
    if (!scratch.fDecoded)
        RaisePngError(peNoImageData);

    DecodedPixels &px = *scratch.fDecoded;
    Adopt(px.width, px.height, px.pf, std::move(px.bits), px.palette);
    fAlpha = std::move(px.alpha);
    fChunkList->Swap(list);

    const TChunkIHDR *ihdr = fChunkList->Find<TChunkIHDR>();
    const TChunkTRNS *trns = fChunkList->Find<TChunkTRNS>();
    if (trns && ihdr->ColorType() == 2 && (trns->Data().size() == 6 || trns->Data().size() == 3)) {
        const QRgb c = trns->TransparentColor();
        SetTransparentColor(RGBToTColor(qRed(c), qGreen(c), qBlue(c)));
        SetTransparent(true);
    }
    Changed();
}

void TPNGImage::PrepareChunksForSaving()
{
    TChunkList &list = *fChunkList;
    if (list.Count() == 0)
        ResetChunkList();

    const int ihdr = list.ItemFromClass(&CreateChunk<TChunkIHDR>);
    if (ihdr < 0) {
        list.AddClass(&CreateChunk<TChunkIHDR>);
        list.Move(list.Count() - 1, 0);
    } else if (ihdr != 0) {
        list.Move(ihdr, 0);
    }

    const TPixelFormat pf = PixelFormat();
    if ((pf == pf1bit || pf == pf4bit || pf == pf8bit) && !list.Find<TChunkPLTE>()) {
        list.AddClass(&CreateChunk<TChunkPLTE>);
        list.Move(list.Count() - 1, 1);
    }

    if (!Transparent()) {
        while (TChunkTRNS *t = list.Find<TChunkTRNS>())
            list.Remove(t);
    } else if (!list.Find<TChunkTRNS>()) {
        list.AddClass(&CreateChunk<TChunkTRNS>);
        list.Move(list.Count() - 1, 1);
    }

    if (!list.Find<TChunkIEND>())
        list.AddClass(&CreateChunk<TChunkIEND>);
    if (!list.Find<TChunkIDAT>()) {
        list.AddClass(&CreateChunk<TChunkIDAT>);
        list.Move(list.Count() - 1, 1);
    }

    // One chunk of each kind the codec writes itself, and none that the new
    // pixels would contradict.
    for (int i = list.Count() - 1; i >= 0; --i) {
        TChunk *c = list.Item(i);
        const bool single = c->ClassType() != &CreateChunk<TChunk>
                            && c->ClassType() != &CreateChunk<TChunkTEXT>;
        const bool duplicate = single && list.ItemFromClass(c->ClassType()) < i;
        if (duplicate || describesOldPixels(c->ChunkType()))
            list.Remove(c);
    }

    // Canonical order: IHDR, the chunks that must precede PLTE, PLTE, tRNS,
    // the rest, IDAT, IEND. A stable selection keeps the list order within
    // each group.
    for (int pos = 0; pos < list.Count(); ++pos) {
        int best = pos;
        for (int j = pos + 1; j < list.Count(); ++j)
            if (saveRank(list.Item(j)) < saveRank(list.Item(best)))
                best = j;
        if (best != pos)
            list.Move(best, pos);
    }
}

void TPNGImage::SaveWhileEncoding(QIODevice &stream)
{
    if (Empty())
        RaisePngError(peEmptyImage);
    PrepareChunksForSaving();
    // Each chunk goes out as it is made; the ones before the image data
    // first, since they settle how it is encoded.
    if (stream.write(reinterpret_cast<const char *>(Signature), 8) != 8)
        throw EGraphicFileError(stream.errorString());
    for (int i = 0; i < fChunkList->Count(); ++i) {
        TChunk *chunk = fChunkList->Item(i);
        if (auto *idat = dynamic_cast<TChunkIDAT *>(chunk))
            idat->EncodeAndWrite(stream);
        else
            chunk->SaveToStream(stream);
    }
    fInterlaced = false;
}

void SavePngWhileEncoding(TBitmap &bitmap, QIODevice &stream)
{
    TPNGImage png;
    const TPixelFormat pf = bitmap.PixelFormat();
    if (pf != pf1bit && pf != pf4bit && pf != pf8bit && pf != pf24bit) {
        // Made 24-bit on the way: a copy, so the picture stays as it is.
        png.Assign(bitmap);
        png.SaveWhileEncoding(stream);
        return;
    }
    // Lent and given back by moving: the rows never move in memory.
    struct Lend
    {
        TBitmap &owner;
        TPNGImage &png;
        ~Lend() { owner = std::move(static_cast<TBitmap &>(png)); }
    };
    static_cast<TBitmap &>(png) = std::move(bitmap);
    if (!bitmap.Empty()) {
        // A picture being drawn on hands over a copy: nothing to give back.
        png.SaveWhileEncoding(stream);
        return;
    }
    const Lend back{bitmap, png};
    png.SaveWhileEncoding(stream);
}

void TPNGImage::SaveToStream(QIODevice &stream)
{
    if (Empty())
        RaisePngError(peEmptyImage);
    PrepareChunksForSaving();
    // Everything is encoded before the first byte goes out, so a failure
    // writes nothing. The small chunks are gathered in memory; the image
    // data, most of the file, goes to the stream from where it lies rather
    // than through a second buffer of the whole file.
    QByteArray before, after;
    QBuffer out(&before);
    out.open(QIODevice::WriteOnly);
    out.write(reinterpret_cast<const char *>(Signature), 8);
    TChunkIDAT *idat = nullptr;
    for (int i = 0; i < fChunkList->Count(); ++i) {
        TChunk *chunk = fChunkList->Item(i);
        if (!idat && (idat = dynamic_cast<TChunkIDAT *>(chunk))) {
            // The chunks before it (the header above all) are written, so
            // the image data is encoded as they say.
            idat->Encode();
            out.close();
            out.setBuffer(&after);
            out.open(QIODevice::WriteOnly);
            continue;
        }
        chunk->SaveToStream(out);
    }
    fInterlaced = false;
    out.close();
    if (stream.write(before) != before.size())
        throw EGraphicFileError(stream.errorString());
    if (idat)
        idat->WriteEncoded(stream);
    if (stream.write(after) != after.size())
        throw EGraphicFileError(stream.errorString());
}

QImage PngToArgbImage(const QByteArray &png)
{
    TPNGImage img;
    img.fKeepAlpha = true;
    img.LoadFromBytes(png);
    QImage out = img.ToImage().convertToFormat(QImage::Format_ARGB32);
    if (img.fAlpha.size() == size_t(img.Width()) * size_t(img.Height())) {
        for (int y = 0; y < out.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
            const uint8_t *a = img.fAlpha.data() + size_t(y) * size_t(img.Width());
            for (int x = 0; x < out.width(); ++x)
                row[x] = (row[x] & 0x00FFFFFFu) | (QRgb(a[x]) << 24);
        }
    }
    return out;
}

namespace {

void appendChunk(QByteArray &out, const char type[4], const QByteArray &data)
{
    const auto be32 = [&out](uint32_t v) {
        out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    };
    be32(uint32_t(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    be32(png::Crc32(reinterpret_cast<const uint8_t *>(out.constData() + start), size_t(out.size() - start)));
}

} // namespace

QByteArray ArgbImageToPng(const QImage &image)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        RaisePngError(peEmptyImage);
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    bool opaque = true;
    for (int y = 0; y < h && opaque; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(row[x]) != 255) {
                opaque = false;
                break;
            }
    }
    if (opaque) {
        TPNGImage png;
        png.Assign(img.convertToFormat(QImage::Format_RGB32));
        return png.SaveToBytes();
    }

    QByteArray ihdr;
    const auto be32 = [&ihdr](uint32_t v) {
        ihdr.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    };
    be32(uint32_t(w));
    be32(uint32_t(h));
    ihdr.append(char(8)).append(char(6)).append('\0').append('\0').append('\0');

    QByteArray idat;
    {
        QBuffer dest(&idat);
        dest.open(QIODevice::WriteOnly);
        TZCompressionStream z(&dest, TZCompressionLevel::zcDefault);
        const size_t n = size_t(w) * 4;
        std::vector<uint8_t> raw(n), prior(n, 0), out(n + 1);
        for (int y = 0; y < h; ++y) {
            const auto *src = reinterpret_cast<const QRgb *>(img.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                raw[4 * size_t(x)] = uint8_t(qRed(src[x]));
                raw[4 * size_t(x) + 1] = uint8_t(qGreen(src[x]));
                raw[4 * size_t(x) + 2] = uint8_t(qBlue(src[x]));
                raw[4 * size_t(x) + 3] = uint8_t(qAlpha(src[x]));
            }
            out[0] = png::ftPaeth;
            png::FilterRow(png::ftPaeth, out.data() + 1, raw.data(), prior.data(), n, 4);
            z.Write(out.data(), qint64(n + 1));
            std::swap(raw, prior);
        }
        z.Finish();
    }

    QByteArray file(reinterpret_cast<const char *>(Signature), 8);
    appendChunk(file, "IHDR", ihdr);
    appendChunk(file, "IDAT", idat);
    appendChunk(file, "IEND", QByteArray());
    return file;
}

void RegisterPngGraphics()
{
    static const bool done = [] {
        TPicture::RegisterFileFormat<TPNGImage>(QStringLiteral("png"),
                                                QStringLiteral("Portable Network Graphics"));
        TPicture::RegisterClipboardFormat(QStringLiteral("image/png"), QStringLiteral("TPNGImage"),
                                          [] { return std::unique_ptr<TGraphic>(new TPNGImage()); });
        SetIconPngDecoder(&PngToArgbImage);
        SetIconPngEncoder(&ArgbImageToPng);
        return true;
    }();
    (void)done;
}

} // namespace zk
