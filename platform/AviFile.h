#pragma once
// Uncompressed AVI 1.0 files (RIFF "AVI "), written and read by our own code.
//
// Writing: one video stream of 8-bit frames through one fixed palette (the
// 6x6x6 cube and 40 greys of TBitmap::DefaultPalette(pf8bit)). Each colour is
// mapped through a 32,768-entry table on its top five bits per channel, so a
// frame converts with one lookup a pixel. Frames of another size are cut or
// padded with black to the first frame's size. The layout:
//   RIFF 'AVI '
//     LIST 'hdrl'  avih (56)  LIST 'strl' { strh (56) 'vids', strf (40 + 1024) }
//     LIST 'movi'  '00db' per frame (rows bottom-up, padded to 4 bytes)
//     idx1         one 16-byte entry per frame, every one a key frame,
//                  offsets counted from the 'movi' tag
// The file goes to a temporary name and is renamed only when complete, and
// its final size is known before the first byte is written (AviFileSize), so
// the caller can refuse a file past AVI 1.0's 1 GiB before writing.
//
// Reading: the first video stream of an uncompressed file (BI_RGB at 8 bits
// with its palette, 16 bits as 5-5-5, 24 and 32 bits; BI_BITFIELDS at 16 and
// 32 bits with their three colour masks, inside a longer header or after a
// 40-byte one; rows bottom-up or, with a negative height, top-down). Frame
// chunks come from the 'idx1' index when it agrees with the chunks it points
// at, so a late frame costs no more than an early one; without a usable
// index they are found by walking the 'movi' list. Every length is checked
// against the file, and a frame's own chunk header is checked when it is read.
// A file opened by name is read by position: the headers with one read, the
// index with the read that meets its chunk header, and a frame with one read
// that puts its rows straight into the new picture (rows stored bottom-up
// are then swapped into place, or read each into its place when they are
// long enough for that to cost less).
#include "Bitmap.h"
#include "BmpCodec.h"
#include "Graphic.h"

#include <QString>
#include <QVector>
#include <array>
#include <cstdint>
#include <memory>
#include <sys/uio.h>
#include <vector>

class QIODevice;

namespace zk {

class TSafeFile;

// A damaged, truncated or unsupported AVI file, or one that cannot be written.
class EAviError : public EGraphicError
{
public:
    using EGraphicError::EGraphicError;
};

// AVI 1.0 keeps every offset below 1 GiB.
inline constexpr qint64 kAviMaxFileSize = qint64(1) << 30;

// The fixed palette of written files, 256 entries.
const QVector<QRgb> &AviPalette();
// Palette index of every 15-bit colour (RRRRRGGGGGBBBBB): the entry nearest
// the centre of its cell, except that the cube's 216 colours keep their own.
const std::array<std::uint8_t, 32768> &AviColorTable();

// Bytes of one 8-bit frame: rows padded to 4 bytes.
qint64 AviFrameBytes(int width, int height);
// The size of the finished file with frameCount frames of width x height.
qint64 AviFileSize(int width, int height, qint64 frameCount);

// The frame as 8-bit rows, bottom row first, cut or padded (index 0, black)
// to width x height. out must hold AviFrameBytes(width, height) bytes.
void AviFrameRows(const TBitmap &frame, int width, int height, std::uint8_t *out);

// Writes one file. Open, WriteFrame for each frame, Finish; anything else
// (an exception, Cancel, destruction) leaves no file behind and an existing
// one unchanged. Errors raise EAviError with the system's reason.
class TAviFileWriter
{
public:
    TAviFileWriter();
    ~TAviFileWriter();
    TAviFileWriter(const TAviFileWriter &) = delete;
    TAviFileWriter &operator=(const TAviFileWriter &) = delete;

    // frameCount is how many frames will follow (the headers are written
    // with it and corrected at Finish if fewer came).
    void Open(const QString &fileName, int width, int height, int framesPerSec, int frameCount);
    // The same into a device opened for writing and seeking (tests, fuzzing);
    // Finish then leaves the device open.
    void Open(QIODevice &device, int width, int height, int framesPerSec, int frameCount);
    void WriteFrame(const TBitmap &frame);
    void Finish();
    void Cancel();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int FramesWritten() const { return int(m_offsets.size()); }

private:
    void start(int width, int height, int framesPerSec, int frameCount);
    void put(const QByteArray &bytes);
    void putAt(qint64 pos, std::uint32_t value);

    std::unique_ptr<TSafeFile> m_file;
    QIODevice *m_dev = nullptr;
    qint64 m_base = 0; // where the RIFF starts in the device
    int m_width = 0;
    int m_height = 0;
    int m_rate = 0;
    int m_planned = 0;
    qint64 m_moviTag = 0; // position of the 'movi' tag
    std::vector<std::uint32_t> m_offsets;
    std::vector<std::uint8_t> m_rows;
};

// Reads the frames of one file. Open throws EAviError when the file is not
// an AVI file we can show; Frame throws for a frame that is damaged.
class TAviFileReader
{
public:
    TAviFileReader();
    ~TAviFileReader();
    TAviFileReader(const TAviFileReader &) = delete;
    TAviFileReader &operator=(const TAviFileReader &) = delete;

    void Open(const QString &fileName);
    // The device must stay open and readable while the reader is used.
    void Open(QIODevice &device);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitCount() const { return m_bits; }
    // The depth Frame gives: the file's own, or 24/32 bits for colour masks
    // that no TBitmap depth stores as they are.
    TPixelFormat FramePixelFormat() const { return m_pf; }
    int FrameCount() const { return int(m_frameCount); }
    // Frames per second as the stream gives them (rate / scale).
    std::uint32_t Rate() const { return m_rate; }
    std::uint32_t Scale() const { return m_scale; }
    // Milliseconds a frame is shown (at least 1).
    int FrameIntervalMs() const;
    QVector<QRgb> Palette() const { return m_palette; }

    // Frame index (0-based) as a bitmap of the file's depth.
    TBitmap Frame(int index);
    void ReadFrame(int index, TBitmap &into);

private:
    void parse();
    bool useIndex(qint64 indexPos, qint64 indexSize, qint64 moviBegin, qint64 moviEnd, std::uint32_t db,
                  std::uint32_t dc, qint64 need);
    // Bytes already read (the head, the read-ahead), else nullptr.
    const char *cached(qint64 pos, qint64 size) const;
    QByteArray readAt(qint64 pos, qint64 size);
    // readAhead: fill the read-ahead from pos when it misses.
    void readSmall(qint64 pos, int size, uchar *to, bool readAhead = false);
    // Fills the pieces in turn from pos on; false when the data ends first.
    bool readPieces(qint64 pos, iovec *pieces, std::size_t count);

    void closeFile();

    QIODevice *m_dev = nullptr; // the device given to Open(QIODevice &)
    int m_fd = -1;              // or the file Open(name) opened, ours to close
    qint64 m_size = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_topDown = false;
    int m_bits = 0;
    TPixelFormat m_pf = pf24bit;
    bool m_masked = false; // BI_BITFIELDS
    TBitFields m_masks;
    std::uint32_t m_tagDb = 0, m_tagDc = 0;
    QByteArray m_head; // the file's first bytes, where the headers lie
    QByteArray m_ahead; // read ahead from a top-level chunk past the head (mostly the index)
    qint64 m_aheadPos = -1;
    PixelBuffer m_scratch; // stored rows of a frame that is converted
    std::vector<iovec> m_pieces; // where the bytes of one frame go
    std::uint32_t m_rate = 0;
    std::uint32_t m_scale = 0;
    QVector<QRgb> m_palette;
    struct Chunk
    {
        qint64 pos;
        std::uint32_t size;
    };
    Chunk chunkOf(int index) const;

    // Where the frames lie: the index as read, when its entry n is frame n,
    // or else a list of every frame's chunk.
    QByteArray m_index;
    qint64 m_indexAt = 0;   // where in m_index the entries start
    qint64 m_indexBase = 0; // what the index's offsets count from
    std::vector<Chunk> m_frames;
    qint64 m_frameCount = 0;
};

} // namespace zk
