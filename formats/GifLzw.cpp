#include "GifLzw.h"

#include <algorithm>
#include <cstring>

namespace zk {

std::vector<int> FrameRowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    rows.reserve(std::size_t(std::max(0, height)));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static const int start[4] = {0, 4, 2, 1};
    static const int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            rows.push_back(y);
    return rows;
}

// ------------------------------------------------------------------ decoder

namespace {

// The frame's data sub-blocks joined into one run of bytes (plus zeroed
// padding, so a code can always be read as one 32-bit word), which lets a
// code span any number of short sub-blocks.
struct CodeBytes
{
    std::vector<uint8_t> bytes;
    qint64 size = 0;
    bool terminated = false; // a zero-length block ended the data
};

CodeBytes GatherSubBlocks(TGIFSubImage &frame, TGIFInStream &stream)
{
    CodeBytes cb;
    // First pass: the total, so the bytes are copied once.
    const qint64 start = stream.Position();
    qint64 total = 0;
    uint8_t len = 0;
    while (stream.Get(len) && len != 0) {
        const qint64 take = std::min<qint64>(len, stream.Left());
        total += take;
        stream.Skip(take);
    }
    stream.SetPosition(start);
    cb.bytes.assign(std::size_t(total) + 8, 0);
    uint8_t *out = cb.bytes.data();
    while (stream.Get(len)) {
        if (len == 0) {
            cb.terminated = true;
            break;
        }
        qint64 take = len;
        if (take > stream.Left()) {
            frame.Warning(1, TGIFMsg::PrematureEOF);
            take = stream.Left();
        }
        stream.Read(out, take);
        out += take;
    }
    cb.size = out - cb.bytes.data();
    return cb;
}

} // namespace

void DecodeFrameLZW(TGIFSubImage &frame, TGIFInStream &stream)
{
    const TGIFGraphicControlExtension *gce = frame.GraphicControlExtension();
    const uint8_t fill = gce && gce->Transparent() ? gce->TransparentColorIndex() : 0;
    frame.AllocateData(fill);

    uint8_t n = 0;
    if (!stream.Get(n))
        return;
    if (n < 1 || n > 8)
        RaiseGIFError(TGIFMsg::BadCodeSize);
    const CodeBytes cb = GatherSubBlocks(frame, stream);

    const qint64 total = frame.DataSize();
    if (total == 0)
        return;
    const bool interlaced = frame.Interlaced() && frame.Height() > 1;
    std::vector<uint8_t> linear;
    if (interlaced)
        linear.assign(std::size_t(total), fill);
    uint8_t *const begin = interlaced ? linear.data() : frame.Data();
    uint8_t *out = begin;
    uint8_t *const end = begin + total;

    const int clear = 1 << n;
    const int eoi = clear + 1;
    uint16_t prefix[4096];
    uint8_t suffix[4096];
    uint16_t length[4096];
    uint8_t overflow[4096];
    for (int i = 0; i < clear; ++i) {
        prefix[i] = 0;
        suffix[i] = uint8_t(i);
        length[i] = 1;
    }
    int codeSize = n + 1;
    int codeMask = (1 << codeSize) - 1;
    int maxCode = 1 << codeSize;
    int freeCode = clear + 2;
    int prev = -1;

    const uint8_t *bits = cb.bytes.data();
    const qint64 totalBits = cb.size * 8;
    qint64 bitPos = 0;

    // Writes the string of `code` (length `len`) at out; only what fits
    // before the end of the frame is kept. Returns its first character.
    const auto emitString = [&](int code, int len) -> uint8_t {
        const qint64 room = end - out;
        uint8_t *p = len <= room ? out + len - 1 : overflow + len - 1;
        uint8_t *const base = len <= room ? out : overflow;
        while (code >= clear) {
            *p-- = suffix[code];
            code = prefix[code];
        }
        *p = uint8_t(code);
        if (base == overflow) {
            std::memcpy(out, overflow, std::size_t(room));
            out = end;
        } else {
            out += len;
        }
        return uint8_t(code);
    };

    while (out < end) {
        if (bitPos + codeSize > totalBits) {
            if (cb.terminated)
                frame.Warning(1, TGIFMsg::DecoderUnderrun);
            break;
        }
        const uint8_t *w = bits + (bitPos >> 3);
        const uint32_t word = uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16;
        const int code = int((word >> (bitPos & 7)) & uint32_t(codeMask));
        bitPos += codeSize;

        if (code == clear) {
            codeSize = n + 1;
            codeMask = (1 << codeSize) - 1;
            maxCode = 1 << codeSize;
            freeCode = clear + 2;
            prev = -1;
            continue;
        }
        if (code == eoi)
            break;
        if (prev < 0) {
            // The first code after a clear (or at the start) must be a root.
            if (code > clear) {
                frame.Warning(1, TGIFMsg::BadCode);
                break;
            }
            *out++ = uint8_t(code);
            prev = code;
            continue;
        }
        uint8_t first;
        if (code < freeCode) {
            first = emitString(code, length[code]);
        } else if (code == freeCode) {
            // The string of the previous code plus its own first character.
            first = emitString(prev, length[prev]);
            if (out < end)
                *out++ = first;
        } else {
            // A code the table cannot hold yet: the data is damaged here.
            frame.Warning(1, TGIFMsg::BadCode);
            break;
        }
        if (freeCode < 4096) {
            prefix[freeCode] = uint16_t(prev);
            suffix[freeCode] = first;
            length[freeCode] = uint16_t(length[prev] + 1);
            ++freeCode;
            if (freeCode >= maxCode && codeSize < 12) {
                ++codeSize;
                codeMask = (1 << codeSize) - 1;
                maxCode <<= 1;
            }
        }
        prev = code;
    }

    if (interlaced) {
        const std::vector<int> rows = FrameRowOrder(frame.Height(), true);
        const int w = frame.Width();
        for (std::size_t i = 0; i < rows.size(); ++i)
            std::memcpy(frame.Data() + std::size_t(rows[i]) * std::size_t(w), linear.data() + i * std::size_t(w),
                        std::size_t(w));
    }
}

// ------------------------------------------------------------------ writers

qint64 TGIFStream::Read(void *, qint64) { throw EGIFStreamError(); }
qint64 TGIFStream::Write(const void *, qint64) { throw EGIFStreamError(); }
qint64 TGIFStream::Seek(qint64, int) { throw EGIFStreamError(); }

TGIFWriter::~TGIFWriter()
{
    if (fDataPending)
        FlushBuffer();
}

qint64 TGIFWriter::Write(const void *buffer, qint64 count)
{
    const auto *p = static_cast<const uint8_t *>(buffer);
    for (qint64 i = 0; i < count; ++i)
        WriteByte(p[i]);
    return count;
}

void TGIFWriter::FlushBuffer()
{
    if (fBufferCount > 1) {
        fBuffer[0] = uint8_t(fBufferCount - 1);
        fTarget.Write(fBuffer, fBufferCount);
    }
    fBufferCount = 1;
    fDataPending = false;
}

// ----------------------------------------------------------------- encoders

void TGIFEncoder::ColorNotInTable() { RaiseGIFError(TGIFMsg::ColorNotInTable); }

void TGIFEncoder::Output(int code)
{
    if (fAccumulatorBits > 0)
        fAccumulator |= uint32_t(code) << fAccumulatorBits;
    else
        fAccumulator = uint32_t(code);
    fAccumulatorBits += fCodeSize;
    while (fAccumulatorBits >= 8) {
        fWriter->WriteByte(uint8_t(fAccumulator & 0xFF));
        fAccumulator >>= 8;
        fAccumulatorBits -= 8;
    }
    if (code == fEOFCode && fAccumulatorBits > 0) {
        fWriter->WriteByte(uint8_t(fAccumulator & 0xFF));
        fAccumulator = 0;
        fAccumulatorBits = 0;
    }
}

void TGIFEncoder::Clear()
{
    fClearFlag = true;
    Output(fClearCode);
}

void EncodeFrameData(TGIFEncoder &encoder, TGIFOutStream &stream, int bits, int colors, const uint8_t *data,
                     bool interlaced, int height, int width)
{
    bits = std::clamp(bits, 2, 8);
    stream.Put(uint8_t(bits));
    encoder.fBitsPerPixel = bits;
    encoder.fColorCount = colors;
    encoder.fInitCodeSize = bits + 1;
    encoder.fCodeSize = encoder.fInitCodeSize;
    encoder.fMaxCode = (1 << encoder.fCodeSize) - 1;
    encoder.fClearCode = 1 << bits;
    encoder.fEOFCode = encoder.fClearCode + 1;
    encoder.fBaseCode = encoder.fClearCode + 2;
    encoder.fAccumulator = 0;
    encoder.fAccumulatorBits = 0;
    encoder.fClearFlag = false;
    encoder.fWidth = width;
    encoder.fHeight = height;
    encoder.fInterlaced = interlaced;
    encoder.fData = data;
    encoder.fRows = FrameRowOrder(height, interlaced);
    {
        TGIFWriter writer(stream);
        encoder.fWriter = &writer;
        if (data && width >= 1 && height >= 1)
            encoder.Compress();
        encoder.Output(encoder.fEOFCode);
    }
    encoder.fWriter = nullptr;
    stream.Put(0);
}

void CompressFrame(TGIFSubImage &frame, TGIFOutStream &stream)
{
    TGIFImage *image = frame.Image();
    int bits;
    int colors;
    if (frame.ColorMap().Count() > 0) {
        colors = frame.ColorMap().Count();
        bits = frame.ColorMap().BitsPerPixel();
    } else {
        bits = image ? image->Header().ColorMap().BitsPerPixel() : 0;
        if (image)
            for (int i = 0; i < image->Images().Count(); ++i)
                bits = std::max(bits, image->Images()[i]->ColorMap().BitsPerPixel());
        colors = 1 << bits;
    }
    std::unique_ptr<TGIFEncoder> encoder;
    if (image && image->Compression == gcRLE)
        encoder = std::make_unique<TRLEEncoder>(image);
    else
        encoder = std::make_unique<TLZWEncoder>(image);
    EncodeFrameData(*encoder, stream, bits, colors, frame.Data(), frame.Interlaced(), frame.Height(),
                    frame.Width());
}

// ---- string table

THashTable::THashTable() : fSlots(new uint32_t[kSize])
{
    Clear();
}

void THashTable::Clear() { std::fill(fSlots.get(), fSlots.get() + kSize, kFree); }

void THashTable::Insert(int key, int code)
{
    uint32_t h = Hash(key);
    while (fSlots[h] != kFree)
        h = (h + 1) & kMask;
    fSlots[h] = uint32_t(key) << 12 | uint32_t(code);
}

// ---- LZW

void TLZWEncoder::Output(int code)
{
    TGIFEncoder::Output(code);
    if (fClearFlag) {
        fCodeSize = fInitCodeSize;
        fMaxCode = (1 << fCodeSize) - 1;
        fClearFlag = false;
    } else if (fFreeCode > fMaxCode) {
        ++fCodeSize;
        fMaxCode = fCodeSize >= 12 ? 4096 : (1 << fCodeSize) - 1;
    }
}

void TLZWEncoder::Clear()
{
    TGIFEncoder::Clear();
    fHashTable->Clear();
    fFreeCode = fClearCode + 2;
}

void TLZWEncoder::Compress()
{
    fHashTable = std::make_unique<THashTable>();
    Clear();
    const int colors = fColorCount;
    bool first = true;
    int prefix = 0;
    for (int row : fRows) {
        const uint8_t *p = fData + std::size_t(row) * std::size_t(fWidth);
        const uint8_t *const rowEnd = p + fWidth;
        if (first) {
            prefix = *p++;
            if (prefix >= colors)
                ColorNotInTable();
            first = false;
        }
        for (; p < rowEnd; ++p) {
            const int c = *p;
            if (c >= colors)
                ColorNotInTable();
            const int key = (prefix << 8) | c;
            const int code = fHashTable->Lookup(key);
            if (code >= 0) {
                prefix = code;
                continue;
            }
            Output(prefix);
            prefix = c;
            if (fFreeCode >= 4095) {
                Clear();
            } else {
                fHashTable->Insert(key, fFreeCode);
                ++fFreeCode;
            }
        }
    }
    Output(prefix);
    fHashTable.reset();
}

// ---- run-length

int TRLEEncoder::IntegerSqrt(int x)
{
    if (x < 2)
        return x;
    int k = 0;
    for (int v = x; v > 0; v /= 4)
        ++k;
    // k counts the divisions until 0; the start is a power of two at or
    // above the root.
    int r = 1 << k;
    for (;;) {
        const int next = (x / r + r) / 2;
        if (next == r || next == r + 1)
            return r;
        r = next;
    }
}

int TRLEEncoder::Triangle(int count, int maxCodes)
{
    int cost = 0;
    const qint64 full = qint64(maxCodes) * (maxCodes + 1) / 2;
    while (full > 0 && count >= full) {
        cost += maxCodes;
        count -= int(full);
    }
    if (count > 0) {
        int r = IntegerSqrt(count);
        while (r > 0 && qint64(r) * (r + 1) >= 2 * qint64(count))
            --r;
        while (qint64(r) * (r + 1) < 2 * qint64(count))
            ++r;
        cost += r;
    }
    return cost;
}

void TRLEEncoder::Clear()
{
    TGIFEncoder::Clear();
    fOutCount = 0;
    fBumpThreshold = fInitBump;
    fClearThreshold = fInitClear;
    fRunTableMax = 0;
    fCodeSize = fInitCodeSize;
}

void TRLEEncoder::PlainOutput(int code)
{
    fClearFlag = false;
    Output(code);
    ++fOutCount;
    if (fOutCount == fBumpThreshold) {
        ++fCodeSize;
        fBumpThreshold += 1 << (fCodeSize - 1);
    }
    if (fOutCount >= fClearThreshold)
        Clear();
}

void TRLEEncoder::ResetClearThreshold()
{
    fClearThreshold = fInitClear;
    if (fOutCount >= fClearThreshold)
        Clear();
}

void TRLEEncoder::FlushFromClear(int count)
{
    fClearThreshold = fMaxOutCodes;
    fRunTablePixel = fRunPixel;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            fRunTableMax = 1;
            PlainOutput(fRunPixel);
            count -= 1;
        } else if (count >= n) {
            fRunTableMax = n;
            PlainOutput(fBaseCode + n - 2);
            count -= n;
        } else if (count == 1) {
            ++fRunTableMax;
            PlainOutput(fRunPixel);
            count = 0;
        } else {
            ++fRunTableMax;
            PlainOutput(fBaseCode + count - 2);
            count = 0;
        }
        n = fOutCount == 0 ? 1 : n + 1;
    }
    ResetClearThreshold();
}

void TRLEEncoder::FlushClearOrRepeat(int count)
{
    if (1 + Triangle(count, fMaxOutCodes) < count) {
        Clear();
        FlushFromClear(count);
    } else {
        for (int i = 0; i < count; ++i)
            PlainOutput(fRunPixel);
    }
}

void TRLEEncoder::FlushWithTable(int count)
{
    int repeats = count / fRunTableMax;
    int leftover = count % fRunTableMax;
    int extra = leftover > 0 ? 1 : 0;
    if (fOutCount + repeats + extra > fMaxOutCodes) {
        repeats = std::max(0, fMaxOutCodes - fOutCount);
        leftover = count - repeats * fRunTableMax;
        extra = 1 + Triangle(leftover, fMaxOutCodes);
    }
    if (1 + Triangle(count, fMaxOutCodes) < repeats + extra) {
        Clear();
        FlushFromClear(count);
        return;
    }
    fClearThreshold = fMaxOutCodes;
    const int runCode = fBaseCode + fRunTableMax - 2;
    for (int i = 0; i < repeats; ++i)
        PlainOutput(runCode);
    if (leftover > 0) {
        if (fClearFlag)
            FlushFromClear(leftover);
        else if (leftover == 1)
            PlainOutput(fRunPixel);
        else
            PlainOutput(fBaseCode + leftover - 2);
    }
    ResetClearThreshold();
}

void TRLEEncoder::FlushRun(int count)
{
    if (count == 1)
        PlainOutput(fRunPixel);
    else if (fClearFlag)
        FlushFromClear(count);
    else if (fRunTableMax < 2 || fRunTablePixel != fRunPixel)
        FlushClearOrRepeat(count);
    else
        FlushWithTable(count);
}

void TRLEEncoder::Compress()
{
    fInitBump = fClearCode - 1;
    fInitClear = fBitsPerPixel >= 4 ? fInitBump - 1 : 9;
    fMaxOutCodes = 4095 - fBaseCode;
    Clear();
    fRunPixel = -1;
    fRunCount = 0;
    fRunTablePixel = -1;
    const int colors = fColorCount;
    for (int row : fRows) {
        const uint8_t *p = fData + std::size_t(row) * std::size_t(fWidth);
        const uint8_t *const rowEnd = p + fWidth;
        for (; p < rowEnd; ++p) {
            const int c = *p;
            if (c >= colors)
                ColorNotInTable();
            if (fRunCount > 0 && c != fRunPixel) {
                FlushRun(fRunCount);
                fRunCount = 0;
            }
            if (c == fRunPixel && fRunCount > 0) {
                ++fRunCount;
            } else {
                fRunPixel = c;
                fRunCount = 1;
            }
        }
    }
    if (fRunCount > 0)
        FlushRun(fRunCount);
}

} // namespace zk
