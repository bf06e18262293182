// The image data chunk: inflating, unfiltering and de-interlacing the rows
// of a PNG file into the bitmap, and filtering and deflating the bitmap back.
#include "PNGImage.h"
#include "PngChunks.h"
#include "PngDeflate.h"
#include "PngRows.h"
#include "PixelRows.h"
#include "ZStreams.h"

#include <QBuffer>

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace zk {

namespace {

// Turns one unfiltered PNG row of `width` pixels into the bitmap's row
// layout. Samples of 16 bits keep their high byte, alpha is dropped, RGB
// becomes B, G, R through the gamma table.
class RowConverter
{
public:
    RowConverter(int colourType, int depth, const uint8_t *gamma)
        : fColourType(colourType), fDepth(depth), fGamma(gamma)
    {
        for (int b = 0; b < 256; ++b) {
            // Four 2-bit samples become two bytes of two 4-bit pixels.
            const int s0 = (b >> 6) & 3, s1 = (b >> 4) & 3, s2 = (b >> 2) & 3, s3 = b & 3;
            fTwoToFour[size_t(b)][0] = uint8_t(s0 << 4 | s1);
            fTwoToFour[size_t(b)][1] = uint8_t(s2 << 4 | s3);
        }
    }

    int BitmapBits() const
    {
        switch (fColourType) {
        case 0: case 3:
            return fDepth == 1 ? 1 : fDepth <= 4 ? 4 : 8;
        case 4:
            return 8;
        default:
            return 24;
        }
    }

    // dst must hold the bitmap row of `width` pixels.
    void Convert(const uint8_t *src, int64_t width, uint8_t *dst) const
    {
        const int64_t w = width;
        switch (fColourType) {
        case 0:
        case 3:
            if (fDepth == 16) {
                for (int64_t x = 0; x < w; ++x)
                    dst[x] = src[2 * x];
            } else if (fDepth == 2) {
                const int64_t outBytes = (w + 1) / 2;
                for (int64_t i = 0; i < outBytes; ++i)
                    dst[i] = fTwoToFour[src[i >> 1]][i & 1];
                if (w & 1)
                    dst[outBytes - 1] &= 0xF0;
            } else {
                const int64_t bits = w * fDepth;
                const int64_t bytes = (bits + 7) / 8;
                std::memcpy(dst, src, size_t(bytes));
                // Padding bits of the last byte may hold anything in a file.
                if (bits & 7)
                    dst[bytes - 1] &= uint8_t(0xFF << (8 - (bits & 7)));
            }
            break;
        case 4: {
            const int step = fDepth == 16 ? 4 : 2;
            for (int64_t x = 0; x < w; ++x)
                dst[x] = src[step * x];
            break;
        }
        case 2:
        case 6: {
            const int channels = fColourType == 2 ? 3 : 4;
            const int64_t step = int64_t(channels) * (fDepth / 8);
            const int64_t k = fDepth / 8; // byte distance between samples
            if (!fGamma && step == 3) {
                Row24SwapRB(dst, src, int(w));
            } else if (!fGamma) {
                for (int64_t x = 0; x < w; ++x) {
                    const uint8_t *s = src + step * x;
                    dst[3 * x] = s[2 * k];
                    dst[3 * x + 1] = s[k];
                    dst[3 * x + 2] = s[0];
                }
            } else {
                for (int64_t x = 0; x < w; ++x) {
                    const uint8_t *s = src + step * x;
                    dst[3 * x] = fGamma[s[2 * k]];
                    dst[3 * x + 1] = fGamma[s[k]];
                    dst[3 * x + 2] = fGamma[s[0]];
                }
            }
            break;
        }
        default:
            break;
        }
    }

private:
    int fColourType;
    int fDepth;
    const uint8_t *fGamma;
    uint8_t fTwoToFour[256][2];
};

// Places the `count` pixels of a converted pass row at columns start,
// start + step, ... of a bitmap row of the given bits per pixel.
void Scatter(const uint8_t *src, int64_t count, uint8_t *dst, int64_t start, int64_t step, int bits)
{
    switch (bits) {
    case 1:
        for (int64_t k = 0; k < count; ++k) {
            const int v = (src[k >> 3] >> (7 - (k & 7))) & 1;
            const int64_t c = start + k * step;
            dst[c >> 3] |= uint8_t(v << (7 - (c & 7)));
        }
        break;
    case 4:
        for (int64_t k = 0; k < count; ++k) {
            const int v = (src[k >> 1] >> ((k & 1) ? 0 : 4)) & 0xF;
            const int64_t c = start + k * step;
            dst[c >> 1] |= uint8_t(v << ((c & 1) ? 0 : 4));
        }
        break;
    case 8:
        for (int64_t k = 0; k < count; ++k)
            dst[start + k * step] = src[k];
        break;
    default:
        for (int64_t k = 0; k < count; ++k)
            std::memcpy(dst + 3 * (start + k * step), src + 3 * k, 3);
        break;
    }
}

// The alpha of one unfiltered row: the alpha samples' high bytes, or 0
// where a tRNS entry or colour matches (255 elsewhere).
class AlphaConverter
{
public:
    AlphaConverter(int colourType, int depth, const QByteArray &trns)
        : fColourType(colourType), fDepth(depth),
          fTrns(reinterpret_cast<const uint8_t *>(trns.constData())), fTrnsLen(int(trns.size()))
    {
    }

    // False when the picture has nothing transparent to keep.
    bool Active() const
    {
        switch (fColourType) {
        case 4: case 6: return true;
        case 3: return fTrnsLen > 0;
        case 0: return fTrnsLen == 2;
        case 2: return fTrnsLen == 6 || fTrnsLen == 3;
        default: return false;
        }
    }

    void Convert(const uint8_t *src, int64_t w, uint8_t *dst) const
    {
        const int k = fDepth / 8;
        switch (fColourType) {
        case 6:
            for (int64_t x = 0; x < w; ++x)
                dst[x] = src[4 * k * x + 3 * k];
            break;
        case 4:
            for (int64_t x = 0; x < w; ++x)
                dst[x] = src[2 * k * x + k];
            break;
        case 3:
            for (int64_t x = 0; x < w; ++x) {
                const int i = Sample(src, x);
                dst[x] = i < fTrnsLen ? fTrns[i] : 255;
            }
            break;
        case 0: {
            const int key = (fTrns[0] << 8 | fTrns[1]) & (fDepth == 16 ? 0xFFFF : (1 << fDepth) - 1);
            for (int64_t x = 0; x < w; ++x)
                dst[x] = Sample(src, x) == key ? 0 : 255;
            break;
        }
        case 2:
            for (int64_t x = 0; x < w; ++x) {
                bool same = true;
                for (int c = 0; c < 3 && same; ++c) {
                    const int key = fTrnsLen == 3 ? fTrns[c] : (fTrns[2 * c] << 8 | fTrns[2 * c + 1]);
                    const uint8_t *s = src + 3 * k * x + c * k;
                    same = (k == 2 ? (s[0] << 8 | s[1]) : s[0]) == key;
                }
                dst[x] = same ? 0 : 255;
            }
            break;
        default:
            break;
        }
    }

private:
    int Sample(const uint8_t *src, int64_t x) const
    {
        if (fDepth == 16)
            return src[2 * x] << 8 | src[2 * x + 1];
        if (fDepth == 8)
            return src[x];
        const int64_t bit = x * fDepth;
        return (src[bit >> 3] >> (8 - fDepth - (bit & 7))) & ((1 << fDepth) - 1);
    }

    int fColourType;
    int fDepth;
    const uint8_t *fTrns;
    int fTrnsLen;
};

// A block of filtered rows (filter byte first) as inflated: slot 0 holds
// the row above the block (zeros above the first), the rows follow.
struct RowBlock
{
    std::vector<uint8_t> bytes;
    int64_t count = 0; // rows asked for
    int64_t got = 0;   // bytes that came out
    bool failed = false;
    QString fault;
};

void FillBlock(TZDecompressionStream &z, RowBlock &block, int64_t count, int64_t stride)
{
    block.count = count;
    block.failed = false;
    const qint64 before = z.Position();
    try {
        block.got = z.Read(block.bytes.data() + stride, count * stride);
    } catch (const EZDecompressionError &e) {
        block.got = z.Position() - before;
        block.fault = e.message();
        block.failed = true;
    }
}

bool BlockEndsTheData(const RowBlock &block, int64_t stride)
{
    return block.failed || block.got < block.count * stride;
}

// Undoes the filters of a block's whole rows and hands each to take(row
// number, row). Damage shows as it would row by row: the rows that came out
// whole before a fault are undone first (an unknown filter type among them
// wins), then the fault raises. Image data that ends before the last row (a
// cut file, a stream that stops early) is damaged too: the missing rows
// would otherwise come out black without a word.
template <class Take>
void UndoBlock(RowBlock &block, int64_t y0, int64_t stride, int bpp, Take &take)
{
    // A fault raised right where a row ends belongs to that row's read.
    const int64_t got = block.got;
    const int64_t whole = block.failed ? (got > 0 ? (got - 1) / stride : 0) : got / stride;
    uint8_t *first = block.bytes.data() + stride;
    if (png::UnfilterRows(first, size_t(whole), size_t(stride), bpp) < size_t(whole))
        RaisePngError(peUnknownFilterType);
    for (int64_t k = 0; k < whole; ++k)
        take(y0 + k, first + k * stride);
    if (block.failed)
        RaisePngError(peDamagedData, block.fault);
    if (got < block.count * stride)
        RaisePngError(peDamagedData);
}

// Inflates the filtered rows of one image (or one interlace pass) in blocks
// of many rows and undoes their filters, handing each row to take(row
// number, row). Large blocks keep zlib in its fast loop and spare it copying
// every row into its window; the filters are undone while a block is still
// in the cache. Pictures of several blocks inflate on a second thread, one
// block ahead of the undoing here.
template <class Take>
void InflateRows(TZDecompressionStream &z, int64_t rowBytes, int bpp, int64_t rows, Take take)
{
    constexpr int64_t BlockBytes = 512 * 1024;
    const int64_t stride = rowBytes + 1;
    const int64_t perBlock = std::clamp<int64_t>(BlockBytes / stride, 1, std::max<int64_t>(rows, 1));
    const int64_t blocks = (rows + perBlock - 1) / perBlock;
    const auto rowsOf = [&](int64_t i) { return std::min(perBlock, rows - i * perBlock); };
    const size_t blockBytes = size_t((perBlock + 1) * stride);

    const auto oneThread = [&] {
        RowBlock block;
        block.bytes.assign(blockBytes, 0);
        for (int64_t i = 0; i < blocks; ++i) {
            FillBlock(z, block, rowsOf(i), stride);
            UndoBlock(block, i * perBlock, stride, bpp, take);
            // The last row becomes the row above the next block.
            std::memcpy(block.bytes.data(), block.bytes.data() + block.count * stride, size_t(stride));
        }
    };
    if (blocks < 3) {
        oneThread();
        return;
    }

    // Two blocks take turns: the worker fills block i + 1 while block i is
    // undone here. A block's buffer goes back to the worker once the next
    // block has taken its last row.
    RowBlock pair[2];
    for (RowBlock &b : pair)
        b.bytes.assign(blockBytes, 0);
    std::mutex lock;
    std::condition_variable changed;
    int64_t published = 0, released = 0;
    bool stop = false;
    std::exception_ptr workerFault;
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                for (int64_t i = 0; i < blocks; ++i) {
                    {
                        std::unique_lock<std::mutex> hold(lock);
                        changed.wait(hold, [&] { return stop || released >= i - 1; });
                        if (stop)
                            return;
                    }
                    RowBlock &block = pair[i % 2];
                    FillBlock(z, block, rowsOf(i), stride);
                    const bool last = BlockEndsTheData(block, stride);
                    {
                        const std::lock_guard<std::mutex> hold(lock);
                        published = i + 1;
                    }
                    changed.notify_all();
                    if (last)
                        return;
                }
            } catch (...) {
                const std::lock_guard<std::mutex> hold(lock);
                workerFault = std::current_exception();
                published = blocks; // wakes the reader, which rethrows
                changed.notify_all();
            }
        });
    } catch (const std::system_error &) {
        oneThread(); // no thread to be had
        return;
    }
    struct Joiner
    {
        std::thread &t;
        std::mutex &lock;
        std::condition_variable &changed;
        bool &stop;
        ~Joiner()
        {
            {
                const std::lock_guard<std::mutex> hold(lock);
                stop = true;
            }
            changed.notify_all();
            t.join();
        }
    } joiner{worker, lock, changed, stop};

    for (int64_t i = 0; i < blocks; ++i) {
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return published > i; });
            if (workerFault)
                std::rethrow_exception(workerFault);
        }
        RowBlock &block = pair[i % 2];
        if (i > 0) {
            const RowBlock &above = pair[(i - 1) % 2];
            std::memcpy(block.bytes.data(), above.bytes.data() + above.count * stride, size_t(stride));
            {
                const std::lock_guard<std::mutex> hold(lock);
                released = i;
            }
            changed.notify_all();
        }
        UndoBlock(block, i * perBlock, stride, bpp, take);
    }
}

} // namespace

TChunkIDAT::TChunkIDAT(TChunkList *owner) : TChunk(owner) {}

void TChunkIDAT::AfterLoad()
{
    Decode();
}

void TChunkIDAT::Decode()
{
    TChunkList *list = Owner();
    TPNGImage *img = Image();
    TChunkIHDR *ihdr = list->Find<TChunkIHDR>();
    if (!ihdr)
        RaisePngError(peMissingIHDR);
    ihdr->Validate();
    const int ct = ihdr->ColorType();
    const int depth = ihdr->BitDepth();
    const int64_t w = ihdr->Width();
    const int64_t h = ihdr->Height();
    const png::RowLayout layout = png::Layout(ct, depth, w);
    if (layout.rowBytes == 0)
        RaisePngError(peUnknownColourType);
    const int interlace = ihdr->InterlaceMethod();
    if (interlace > 1)
        RaisePngError(peUnknownInterlace);

    // Gamma counts only where the format puts it: before the image data.
    TChunkGAMA *gama = list->Find<TChunkGAMA>();
    const bool useGamma = gama && gama->Valid() && list->IndexOf(gama) < list->IndexOf(this);
    if (useGamma)
        gama->BuildTables();
    const uint8_t *gammaTable = useGamma ? gama->GammaTable().data() : nullptr;

    RowConverter conv(ct, depth, gammaTable);
    TPNGImage::DecodedPixels out;
    out.width = int(w);
    out.height = int(h);
    const int bmpBits = conv.BitmapBits();
    out.pf = bmpBits == 1 ? pf1bit : bmpBits == 4 ? pf4bit : bmpBits == 8 ? pf8bit : pf24bit;

    if (ct == 3) {
        TChunkPLTE *plte = list->Find<TChunkPLTE>();
        if (!plte)
            RaisePngError(peMissingPalette);
        out.palette = plte->Palette();
    } else if (ct == 0 || ct == 4) {
        const int entries = (ct == 4 || depth == 16) ? 256 : 1 << depth;
        for (int i = 0; i < entries; ++i) {
            int v = (i * 255 * 2 + (entries - 1)) / (2 * (entries - 1)); // rounded
            if (gammaTable)
                v = gammaTable[v];
            out.palette.append(qRgb(v, v, v));
        }
        if (depth == 2)
            for (int i = 4; i < 16; ++i)
                out.palette.append(out.palette[i % 4]);
    }

    const size_t stride = BytesPerRow(int(w), bmpBits);
    const size_t used = BytesPerRow(int(w), bmpBits, 1); // without the padding

    const TChunkTRNS *trnsChunk = list->Find<TChunkTRNS>();
    const QByteArray trns = trnsChunk ? trnsChunk->Data() : QByteArray();
    const AlphaConverter alpha(ct, depth, trns);
    const bool keepAlpha = img && img->fKeepAlpha && alpha.Active();
    if (keepAlpha)
        out.alpha.assign(size_t(w) * size_t(h), 255);
    std::vector<uint8_t> alphaRow(keepAlpha ? size_t(w) : 0);

    QBuffer source(&Data());
    source.open(QIODevice::ReadOnly);
    TZDecompressionStream z(&source);

    if (interlace == 0) {
        // Every byte of every row is written below, so no clearing first.
        out.bits = NewPixelRows(int(w), int(h), out.pf);
        InflateRows(z, layout.rowBytes, layout.bpp, h, [&](int64_t y, const uint8_t *row) {
            uint8_t *dst = out.bits.data() + size_t(y) * stride;
            conv.Convert(row + 1, w, dst);
            std::memset(dst + used, 0, stride - used);
            if (keepAlpha)
                alpha.Convert(row + 1, w, out.alpha.data() + size_t(y) * size_t(w));
            if (img && img->OnRowDone)
                img->OnRowDone(out, int(y));
            if (img && img->OnProgress)
                img->OnProgress(int(y * 100 / h));
        });
    } else {
        out.bits = NewPixelRows(int(w), int(h), out.pf);
        std::memset(out.bits.data(), 0, out.bits.size()); // passes OR their pixels in
        std::vector<uint8_t> passRow(stride + 4, 0);
        for (int p = 0; p < 7; ++p) {
            const png::Adam7Pass &pass = png::Adam7[size_t(p)];
            const int64_t pw = png::PassWidth(pass, w);
            if (pw > 0 && h > pass.startRow) {
                const png::RowLayout pl = png::Layout(ct, depth, pw);
                const int64_t passRows = (h - pass.startRow + pass.rowStep - 1) / pass.rowStep;
                InflateRows(z, pl.rowBytes, pl.bpp, passRows, [&](int64_t k, const uint8_t *row) {
                    const int64_t y = pass.startRow + k * pass.rowStep;
                    conv.Convert(row + 1, pw, passRow.data());
                    Scatter(passRow.data(), pw, out.bits.data() + size_t(y) * stride, pass.startCol,
                            pass.colStep, bmpBits);
                    if (keepAlpha) {
                        alpha.Convert(row + 1, pw, alphaRow.data());
                        Scatter(alphaRow.data(), pw, out.alpha.data() + size_t(y) * size_t(w),
                                pass.startCol, pass.colStep, 8);
                    }
                });
            }
            if (img && img->OnProgress)
                img->OnProgress(100 * p / 6);
        }
    }

    if (img)
        img->TakeDecodedPixels(std::move(out));
}

void TChunkIDAT::SaveToStream(QIODevice &stream)
{
    Encode();
    WriteChunk(stream);
}

namespace {

// Turns bitmap rows into filtered PNG rows (filter byte first): converts the
// row, scores every allowed filter by its runs of five equal bytes and keeps
// the first best, None when no output has such a run. Each band of rows gets
// its own, primed with the row above the band.
class RowFilter
{
public:
    RowFilter(const TPNGImage &img, int ct, const uint8_t *inverse, size_t n, int bpp, uint8_t filters)
        : fImg(img), fColourType(ct), fInverse(inverse), fN(n), fBpp(bpp), fFilters(filters),
          fRaw(n, 0), fPrior(n, 0)
    {
        for (int t = 1; t <= 4; ++t)
            if (filters & (1 << t))
                fOut[size_t(t)].assign(n + 1, 0);
        fNone.assign(n + 1, 0);
    }

    // Makes row y the prior of the next row (y < 0: the zero row).
    void Prime(int64_t y)
    {
        if (y < 0)
            std::fill(fPrior.begin(), fPrior.end(), uint8_t(0));
        else
            Convert(y, fPrior.data());
    }

    // Row y, filtered, with its filter byte; valid until the next call.
    const uint8_t *Next(int64_t y)
    {
        uint8_t *raw = fRaw.data();
        const uint8_t *prior = fPrior.data();
        Convert(y, raw);
        uint8_t *chosen = nullptr;
        bool noneMade = false;
        if (fFilters != fbNone) {
            // None's score through the vector pass, which leaves its row
            // ready as well.
            int64_t best = 0;
            if (fFilters & fbNone) {
                best = png::FilterAndScore(png::ftNone, fNone.data() + 1, raw, prior, fN, fBpp);
                noneMade = true;
            }
            // Every byte past the fourth ending a run is the most a row can
            // score, and only a higher score takes over: a row that has it
            // (a flat stretch of screen) needs no other filter tried.
            const int64_t most = fN > 4 ? int64_t(fN) - 4 : 0;
            for (int t = 1; t <= 4 && best < most; ++t) {
                if (!(fFilters & (1 << t)))
                    continue;
                uint8_t *o = fOut[size_t(t)].data();
                const int64_t score = png::FilterAndScore(uint8_t(t), o + 1, raw, prior, fN, fBpp);
                if (score > best) {
                    best = score;
                    chosen = o;
                    o[0] = uint8_t(t);
                }
            }
        }
        if (!chosen) {
            chosen = fNone.data();
            chosen[0] = png::ftNone;
            if (!noneMade)
                std::memcpy(chosen + 1, raw, fN);
        }
        fRaw.swap(fPrior);
        return chosen;
    }

private:
    void Convert(int64_t y, uint8_t *raw) const
    {
        const uchar *scan = fImg.ScanLine(int(y));
        if (fColourType != 2) {
            std::memcpy(raw, scan, fN);
            return;
        }
        const int64_t w = fImg.Width();
        if (fInverse) {
            for (int64_t x = 0; x < w; ++x) {
                raw[3 * x] = fInverse[scan[3 * x + 2]];
                raw[3 * x + 1] = fInverse[scan[3 * x + 1]];
                raw[3 * x + 2] = fInverse[scan[3 * x]];
            }
        } else {
            Row24SwapRB(raw, scan, int(w));
        }
    }

    const TPNGImage &fImg;
    int fColourType;
    const uint8_t *fInverse;
    size_t fN;
    int fBpp;
    uint8_t fFilters;
    std::vector<uint8_t> fRaw, fPrior, fNone;
    std::vector<uint8_t> fOut[5]; // per filter type; index 0 unused
};

} // namespace

namespace {

// What the image data of a picture is made of.
struct Plan
{
    const TPNGImage *img = nullptr;
    int colourType = 0;
    const uint8_t *inverse = nullptr;
    size_t n = 0;
    int bpp = 0;
    uint8_t filters = 0;
    int64_t height = 0;
    int bands = 0;
};

// Settles what the image data is made of; true when it is made by the rows
// pipeline (a large picture on several threads), false for the band or the
// bands that follow one another on this thread.
bool planBands(TChunkIDAT &idat, Plan &plan)
{
    TChunkList *list = idat.Owner();
    TPNGImage *img = idat.Image();
    const TChunkIHDR *ihdr = list->Find<TChunkIHDR>();
    if (!ihdr)
        RaisePngError(peMissingIHDR);
    const int ct = ihdr->ColorType();
    const int depth = ihdr->BitDepth();
    const int64_t w = img->Width();
    const int64_t h = img->Height();
    const png::RowLayout layout = png::Layout(ct, depth, w);
    if (layout.rowBytes == 0 || (ct != 2 && ct != 3))
        RaisePngError(peUnknownColourType);
    const TChunkGAMA *gama = list->Find<TChunkGAMA>();
    img->SetInterlaced(false);
    plan.img = img;
    plan.colourType = ct;
    plan.inverse = gama && gama->Valid() ? gama->InverseTable().data() : nullptr;
    plan.n = size_t(layout.rowBytes);
    plan.bpp = layout.bpp;
    plan.filters = img->Filters();
    plan.height = h;
    plan.bands = int(std::min<int64_t>(png::BandCount((plan.n + 1) * size_t(h)), h));
    return plan.bands > 1 && png::CurrentThreadLimit() != 1;
}

// The filtered rows of a plan for the rows pipeline: rows of the same
// bands as the one-thread paths, each piece filtered by a RowFilter primed
// with the row above it.
png::RowSource rowSource(const Plan &plan)
{
    png::RowSource source;
    source.rows = plan.height;
    source.rowBytes = plan.n + 1;
    source.rowsPerBand = (plan.height + plan.bands - 1) / plan.bands;
    source.make = [&plan](int64_t y0, int64_t y1, uint8_t *dst) {
        RowFilter rows(*plan.img, plan.colourType, plan.inverse, plan.n, plan.bpp, plan.filters);
        rows.Prime(y0 - 1);
        for (int64_t y = y0; y < y1; ++y, dst += plan.n + 1)
            std::memcpy(dst, rows.Next(y), plan.n + 1);
    };
    return source;
}

} // namespace

void TChunkIDAT::Encode()
{
    Plan plan;
    const bool pipeline = planBands(*this, plan);
    const TPNGImage *img = plan.img;
    const int ct = plan.colourType;
    const uint8_t *inverse = plan.inverse;
    const size_t n = plan.n;
    const int bpp = plan.bpp;
    const uint8_t filters = plan.filters;
    const int64_t h = plan.height;
    const int bands = plan.bands;

    Data().clear();
    if (pipeline) {
        QByteArray &data = Data();
        png::DeflateRows(rowSource(plan), Z_DEFAULT_COMPRESSION,
                         [&data](const char *bytes, size_t size) { data.append(bytes, qsizetype(size)); });
        return;
    }
    if (bands <= 1) {
        QBuffer dest(&Data());
        dest.open(QIODevice::WriteOnly);
        TZCompressionStream z(&dest, TZCompressionLevel::zcDefault);
        RowFilter rows(*img, ct, inverse, n, bpp, filters);
        for (int64_t y = 0; y < h; ++y)
            z.Write(rows.Next(y), qint64(n + 1));
        z.Finish();
        return;
    }

    // Large pictures under a limit of one thread: each band of rows is
    // filtered and deflated, row by row, after the one before; the filter
    // choice of a row depends only on it and the row above, so the bytes are
    // those of one band after the other, and the rows before a band give its
    // deflate the window it would have in one stream.
    const int64_t rowsPerBand = (h + bands - 1) / bands;
    const int used = int((h + rowsPerBand - 1) / rowsPerBand);
    const int64_t windowRows = int64_t((png::kWindow + n) / (n + 1));
    Data() = png::DeflateBands(used, Z_DEFAULT_COMPRESSION, [&](int band, png::BandSink &sink) {
        const int64_t y0 = band * rowsPerBand;
        const int64_t y1 = std::min(h, y0 + rowsPerBand);
        RowFilter rows(*img, ct, inverse, n, bpp, filters);
        const int64_t w0 = std::max<int64_t>(0, y0 - windowRows);
        rows.Prime(w0 - 1);
        if (y0 > 0) {
            std::vector<uint8_t> before;
            before.reserve(size_t(y0 - w0) * (n + 1));
            for (int64_t y = w0; y < y0; ++y) {
                const uint8_t *row = rows.Next(y);
                before.insert(before.end(), row, row + n + 1);
            }
            const size_t keep = std::min(before.size(), png::kWindow);
            sink.SetDictionary(before.data() + before.size() - keep, keep);
        }
        for (int64_t y = y0; y < y1; ++y)
            sink.Write(rows.Next(y), n + 1);
    });
}

void TChunkIDAT::EncodeAndWrite(QIODevice &stream)
{
    Plan plan;
    if (stream.isSequential() || !planBands(*this, plan)) {
        Encode();
        WriteChunk(stream);
        return;
    }
    const auto put = [&stream](const char *bytes, qint64 size) {
        if (stream.write(bytes, size) != size)
            throw EGraphicFileError(stream.errorString());
    };
    // Length (filled in at the end) and type, the data as it comes, the CRC
    // of type and data.
    const qint64 start = stream.pos();
    const char head[8] = {0, 0, 0, 0, 'I', 'D', 'A', 'T'};
    put(head, 8);
    uint32_t crc = png::Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t *>(head + 4), 4);
    uint64_t length = 0;
    Data().clear();
    png::DeflateRows(rowSource(plan), Z_DEFAULT_COMPRESSION, [&](const char *bytes, size_t size) {
        crc = png::Crc32Update(crc, reinterpret_cast<const uint8_t *>(bytes), size);
        length += size;
        put(bytes, qint64(size));
    });
    if (length > 0x7FFFFFFFu) // the most a chunk may hold
        RaisePngError(peDamagedData);
    crc ^= 0xFFFFFFFFu;
    const char tail[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    put(tail, 4);
    const qint64 end = stream.pos();
    const char size[4] = {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
    if (!stream.seek(start))
        throw EGraphicFileError(stream.errorString());
    put(size, 4);
    if (!stream.seek(end))
        throw EGraphicFileError(stream.errorString());
}

} // namespace zk
