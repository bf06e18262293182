#pragma once
// A frame's image data: the LZW decoder used when a frame is read, and the
// two encoders used when it is written (a true LZW encoder, and a run-length
// encoder that sends only codes a decoder builds from runs of one value and
// keeps no string table). Both write through TGIFWriter, which cuts the
// output into data sub-blocks of at most 255 bytes.
#include "GIFImage.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zk {

// Reads the code size byte and the sub-blocks of one frame's image data
// (up to and including their terminator) into the frame's pixels.
void DecodeFrameLZW(TGIFSubImage &frame, TGIFInStream &stream);

class TGIFEncoder;
// Writes the code size byte, the sub-blocks and the terminator of one
// frame's pixels (width x height bytes, rows top to bottom).
void EncodeFrameData(TGIFEncoder &encoder, TGIFOutStream &stream, int bits, int colors,
                     const uint8_t *data, bool interlaced, int height, int width);
// Chooses the table and the encoder for a frame and writes its data.
void CompressFrame(TGIFSubImage &frame, TGIFOutStream &stream);

// Row order of a frame: top to bottom, or the four interlace passes (from
// row 0 every 8th, from 4 every 8th, from 2 every 4th, from 1 every 2nd).
std::vector<int> FrameRowOrder(int height, bool interlaced);

// A stream the encoders write through; anything but writing raises
// "Invalid stream operation".
class TGIFStream
{
public:
    explicit TGIFStream(TGIFOutStream &target) : fTarget(target) {}
    virtual ~TGIFStream() = default;
    virtual qint64 Read(void *buffer, qint64 count);
    virtual qint64 Write(const void *buffer, qint64 count);
    virtual qint64 Seek(qint64 offset, int origin);

protected:
    TGIFOutStream &fTarget;
    uint8_t fBuffer[256];
    int fBufferCount = 1; // byte 0 is the length of the sub-block
};

class TGIFWriter : public TGIFStream
{
public:
    using TGIFStream::TGIFStream;
    // Flushes a last, shorter sub-block.
    ~TGIFWriter() override;
    qint64 Write(const void *buffer, qint64 count) override;
    void WriteByte(uint8_t b)
    {
        fDataPending = true;
        fBuffer[fBufferCount++] = b;
        if (fBufferCount == 256)
            FlushBuffer();
    }
    void FlushBuffer();

private:
    bool fDataPending = false;
};

class TGIFEncoder
{
public:
    explicit TGIFEncoder(TGIFImage *image = nullptr) : fImage(image) {}
    virtual ~TGIFEncoder() = default;

    virtual void Output(int code);
    virtual void Clear();
    virtual void Compress() = 0;

protected:
    friend void EncodeFrameData(TGIFEncoder &, TGIFOutStream &, int, int, const uint8_t *, bool, int, int);
    [[noreturn]] static void ColorNotInTable();

    TGIFImage *fImage;
    int fColorCount = 0;
    int fBitsPerPixel = 0;
    int fWidth = 0, fHeight = 0;
    bool fInterlaced = false;
    const uint8_t *fData = nullptr;
    TGIFWriter *fWriter = nullptr;
    uint32_t fAccumulator = 0;
    int fAccumulatorBits = 0;
    bool fClearFlag = false;
    int fCodeSize = 0, fInitCodeSize = 0;
    int fMaxCode = 0, fClearCode = 0, fEOFCode = 0, fBaseCode = 0;
    // Scan order of the rows.
    std::vector<int> fRows;
};

// Exact map of key (prefix code x 256 + pixel) -> code, open addressing in
// 16384 slots: at most 4096 entries keep the probes short, and the 64 KB stay
// in the cache. A slot holds key << 12 | code; all ones is free.
class THashTable
{
public:
    THashTable();
    void Clear();
    void Insert(int key, int code);
    // The code, or -1.
    int Lookup(int key) const
    {
        for (uint32_t h = Hash(key);; h = (h + 1) & kMask) {
            const uint32_t slot = fSlots[h];
            if (slot == kFree)
                return -1;
            if ((slot >> 12) == uint32_t(key))
                return int(slot & 0xFFF);
        }
    }

private:
    static constexpr uint32_t kSize = 16384;
    static constexpr uint32_t kMask = kSize - 1;
    static constexpr uint32_t kFree = 0xFFFFFFFF;
    static uint32_t Hash(int key) { return (uint32_t(key) * 2654435761u) >> 18; }
    std::unique_ptr<uint32_t[]> fSlots;
};

class TLZWEncoder : public TGIFEncoder
{
public:
    using TGIFEncoder::TGIFEncoder;
    void Output(int code) override;
    void Clear() override;
    void Compress() override;

private:
    int fFreeCode = 0;
    std::unique_ptr<THashTable> fHashTable;
};

class TRLEEncoder : public TGIFEncoder
{
public:
    using TGIFEncoder::TGIFEncoder;
    void Clear() override;
    void Compress() override;

    // Codes needed to send `count` pixels of one value from a fresh table,
    // with runs n = 1, 2, ... each one code.
    static int Triangle(int count, int maxCodes);
    static int IntegerSqrt(int x);

private:
    void PlainOutput(int code);
    void FlushRun(int count);
    void FlushFromClear(int count);
    void FlushClearOrRepeat(int count);
    void FlushWithTable(int count);
    void ResetClearThreshold();

    int fMaxOutCodes = 0;
    int fInitBump = 0;
    int fInitClear = 0;
    int fRunPixel = -1;
    int fRunCount = 0;
    int fRunTableMax = 0;
    int fRunTablePixel = -1;
    int fOutCount = 0;
    int fClearThreshold = 0;
    int fBumpThreshold = 0;
};

} // namespace zk
