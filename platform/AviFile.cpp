#include "AviFile.h"
#include "SafeFile.h"

#include "LeBytes.h"
#include "GraphicText.h"
#include "PixelRows.h"


#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include <algorithm>
#include <cstring>
#include <limits>

namespace zk {

namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAviifKeyFrame = 0x10;
constexpr int kStrfSize = 40 + 256 * 4;
// RIFF header, hdrl list with avih and strl (strh, strf), movi list header.
constexpr qint64 kHeaderBytes = 12 + (8 + 4 + (8 + 56) + (8 + 4 + (8 + 56) + (8 + kStrfSize))) + 12;

void putTag(QByteArray &b, const char *tag) { b.append(tag, 4); }

// The table's index of a colour: its top five bits per channel.
std::size_t key555(int r, int g, int b)
{
    return std::size_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

std::uint32_t tagOf(const char *tag) { return rdU32(reinterpret_cast<const unsigned char *>(tag)); }

// A FourCC for a message: its letters when printable, else its number.
QString fourCCText(std::uint32_t v)
{
    QString s;
    for (int i = 0; i < 4; ++i) {
        const char c = char((v >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E)
            return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0'));
        s += QLatin1Char(c);
    }
    return s;
}

// True when every one of the count index entries at e is a chunk of tag db
// or dc of at least need bytes whose offset lies in [lowest, highest] and
// whose data ends by highest. One pass in 32-bit arithmetic without
// branches, which the compiler widens (lowest <= offset <= highest as one
// unsigned comparison, then size <= highest - offset); AVX-512, where the
// processor has it, takes sixteen lanes at a time.
template <typename = void>
inline __attribute__((always_inline)) bool onlyWholeFramesBody(const unsigned char *e, qint64 count,
                                                               std::uint32_t db, std::uint32_t dc, std::uint32_t need,
                                                               std::uint32_t lowest, std::uint32_t highest)
{
    std::uint32_t stray = 0;
    for (qint64 i = 0; i < count; ++i) {
        const unsigned char *p = e + 16 * i;
        const std::uint32_t tag = rdU32(p), offset = rdU32(p + 8), size = rdU32(p + 12);
        stray |= std::uint32_t(tag != db) & std::uint32_t(tag != dc);
        stray |= std::uint32_t(size < need) | std::uint32_t(offset - lowest > highest - lowest) |
                 std::uint32_t(size > highest - offset);
    }
    return stray == 0;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx512f,avx512bw,avx512vl"))) bool onlyWholeFramesAvx512(
    const unsigned char *e, qint64 count, std::uint32_t db, std::uint32_t dc, std::uint32_t need,
    std::uint32_t lowest, std::uint32_t highest)
{
    return onlyWholeFramesBody(e, count, db, dc, need, lowest, highest);
}
#endif

bool onlyWholeFrames(const unsigned char *e, qint64 count, std::uint32_t db, std::uint32_t dc, std::uint32_t need,
                     std::uint32_t lowest, std::uint32_t highest)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                               __builtin_cpu_supports("avx512vl");
    if (avx512)
        return onlyWholeFramesAvx512(e, count, db, dc, need, lowest, highest);
#endif
    return onlyWholeFramesBody(e, count, db, dc, need, lowest, highest);
}

} // namespace

const QVector<QRgb> &AviPalette()
{
    static const QVector<QRgb> palette = TBitmap::DefaultPalette(pf8bit);
    return palette;
}

const std::array<std::uint8_t, 32768> &AviColorTable()
{
    static const std::array<std::uint8_t, 32768> table = [] {
        std::array<std::uint8_t, 32768> t{};
        const QVector<QRgb> &pal = AviPalette();
        for (int key = 0; key < 32768; ++key) {
            const int r = (((key >> 10) & 31) << 3) | 4;
            const int g = (((key >> 5) & 31) << 3) | 4;
            const int b = ((key & 31) << 3) | 4;
            int best = 0;
            int bestDist = std::numeric_limits<int>::max();
            for (int i = 0; i < pal.size(); ++i) {
                const int dr = qRed(pal[i]) - r, dg = qGreen(pal[i]) - g, db = qBlue(pal[i]) - b;
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDist) {
                    bestDist = d;
                    best = i;
                }
            }
            t[std::size_t(key)] = std::uint8_t(best);
        }
        // The cube's own colours (black, white, the pure colours) come back
        // exactly: their cell belongs to them even where a grey lies nearer
        // the cell's centre.
        for (int i = 0; i < 216; ++i)
            t[key555(qRed(pal[i]), qGreen(pal[i]), qBlue(pal[i]))] = std::uint8_t(i);
        return t;
    }();
    return table;
}

qint64 AviFrameBytes(int width, int height)
{
    return qint64(((qint64(width) * 8 + 31) / 32) * 4) * height;
}

qint64 AviFileSize(int width, int height, qint64 frameCount)
{
    return kHeaderBytes + frameCount * (8 + AviFrameBytes(width, height)) + 8 + 16 * frameCount;
}

void AviFrameRows(const TBitmap &frame, int width, int height, std::uint8_t *out)
{
    const std::size_t stride = std::size_t(((qint64(width) * 8 + 31) / 32) * 4);
    const auto &table = AviColorTable();
    const int w = std::min(width, frame.Width());
    const int h = std::min(height, frame.Height());
    std::uint8_t lut[256] = {};
    if (frame.PixelFormat() == pf8bit) {
        const QVector<QRgb> pal = frame.Palette();
        for (int i = 0; i < pal.size() && i < 256; ++i)
            lut[i] = table[key555(qRed(pal[i]), qGreen(pal[i]), qBlue(pal[i]))];
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t *dst = out + std::size_t(height - 1 - y) * stride;
        std::memset(dst, 0, stride);
        if (y >= h)
            continue;
        const uchar *src = frame.ScanLine(y);
        switch (frame.PixelFormat()) {
        case pf24bit:
        case pf32bit: {
            const int step = frame.PixelFormat() == pf24bit ? 3 : 4;
            for (int x = 0; x < w; ++x, src += step)
                dst[x] = table[key555(src[2], src[1], src[0])];
            break;
        }
        case pf15bit:
            for (int x = 0; x < w; ++x, src += 2)
                dst[x] = table[std::size_t((src[0] | (src[1] << 8)) & 0x7FFF)];
            break;
        case pf16bit:
            for (int x = 0; x < w; ++x, src += 2) {
                const int v = src[0] | (src[1] << 8);
                dst[x] = table[std::size_t(((v >> 11) << 10) | (((v >> 6) & 31) << 5) | (v & 31))];
            }
            break;
        case pf8bit:
            for (int x = 0; x < w; ++x)
                dst[x] = lut[src[x]];
            break;
        default:
            for (int x = 0; x < w; ++x) {
                const QRgb c = frame.PixelRgb(x, y);
                dst[x] = table[key555(qRed(c), qGreen(c), qBlue(c))];
            }
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Writer

TAviFileWriter::TAviFileWriter() = default;

TAviFileWriter::~TAviFileWriter() { Cancel(); }

void TAviFileWriter::Open(const QString &fileName, int width, int height, int framesPerSec, int frameCount)
{
    Cancel();
    auto file = std::make_unique<TSafeFile>(fileName);
    if (!file->open(QIODevice::WriteOnly))
        throw EAviError(QStringLiteral("Cannot create \"%1\": %2").arg(fileName, file->errorString()));
    m_file = std::move(file);
    m_dev = m_file.get();
    try {
        start(width, height, framesPerSec, frameCount);
    } catch (...) {
        Cancel();
        throw;
    }
}

void TAviFileWriter::Open(QIODevice &device, int width, int height, int framesPerSec, int frameCount)
{
    Cancel();
    m_dev = &device;
    start(width, height, framesPerSec, frameCount);
}

void TAviFileWriter::start(int width, int height, int framesPerSec, int frameCount)
{
    if (width <= 0 || height <= 0 || qint64(width) * height > TBitmap::MaxPixels())
        throw EAviError(QStringLiteral("Invalid frame size %1 x %2").arg(width).arg(height));
    if (framesPerSec <= 0)
        throw EAviError(QStringLiteral("Invalid frame rate %1").arg(framesPerSec));
    if (frameCount < 0 || AviFileSize(width, height, frameCount) > kAviMaxFileSize)
        throw EAviError(QStringLiteral("%1 frames of %2 x %3 pass the 1 GB limit of an AVI file")
                            .arg(frameCount)
                            .arg(width)
                            .arg(height));
    m_width = width;
    m_height = height;
    m_rate = framesPerSec;
    m_planned = frameCount;
    m_offsets.clear();
    m_base = m_dev->pos();
    const std::uint32_t frameBytes = std::uint32_t(AviFrameBytes(width, height));
    m_rows.assign(frameBytes, 0);

    QByteArray h;
    h.reserve(int(kHeaderBytes));
    putTag(h, "RIFF");
    wrU32(h, 0); // patched at Finish
    putTag(h, "AVI ");
    putTag(h, "LIST");
    wrU32(h, 4 + (8 + 56) + (8 + 4 + (8 + 56) + (8 + kStrfSize)));
    putTag(h, "hdrl");
    putTag(h, "avih");
    wrU32(h, 56);
    wrU32(h, std::uint32_t(1000000 / framesPerSec));
    wrU32(h, std::uint32_t(std::min<qint64>(qint64(frameBytes) * framesPerSec, 0xFFFFFFFF)));
    wrU32(h, 0);             // padding granularity
    wrU32(h, kAvifHasIndex); // flags
    wrU32(h, std::uint32_t(frameCount));
    wrU32(h, 0); // initial frames
    wrU32(h, 1); // streams
    wrU32(h, frameBytes);
    wrU32(h, std::uint32_t(width));
    wrU32(h, std::uint32_t(height));
    for (int i = 0; i < 4; ++i)
        wrU32(h, 0);
    putTag(h, "LIST");
    wrU32(h, 4 + (8 + 56) + (8 + kStrfSize));
    putTag(h, "strl");
    putTag(h, "strh");
    wrU32(h, 56);
    putTag(h, "vids");
    wrU32(h, 0); // no compressor
    wrU32(h, 0); // flags
    wrU16(h, 0); // priority
    wrU16(h, 0); // language
    wrU32(h, 0); // initial frames
    wrU32(h, 1); // scale
    wrU32(h, std::uint32_t(framesPerSec));
    wrU32(h, 0); // start
    wrU32(h, std::uint32_t(frameCount));
    wrU32(h, frameBytes);
    wrU32(h, 0); // quality
    wrU32(h, 0); // sample size: one frame a chunk
    wrI16(h, 0);
    wrI16(h, 0);
    wrI16(h, std::min(width, 32767));
    wrI16(h, std::min(height, 32767));
    putTag(h, "strf");
    wrU32(h, kStrfSize);
    wrU32(h, 40);
    wrI32(h, width);
    wrI32(h, height);
    wrU16(h, 1); // planes
    wrU16(h, 8); // bits per pixel
    wrU32(h, 0); // BI_RGB
    wrU32(h, frameBytes);
    wrU32(h, 0);
    wrU32(h, 0);
    wrU32(h, 256);
    wrU32(h, 0);
    for (QRgb c : AviPalette()) {
        h.append(char(qBlue(c)));
        h.append(char(qGreen(c)));
        h.append(char(qRed(c)));
        h.append(char(0));
    }
    putTag(h, "LIST");
    wrU32(h, 0); // patched at Finish
    m_moviTag = m_base + h.size();
    putTag(h, "movi");
    Q_ASSERT(h.size() == kHeaderBytes);
    put(h);
}

void TAviFileWriter::put(const QByteArray &bytes)
{
    if (m_dev->write(bytes) != bytes.size())
        throw EAviError(QStringLiteral("Cannot write the AVI file: %1").arg(m_dev->errorString()));
}

void TAviFileWriter::putAt(qint64 pos, std::uint32_t value)
{
    QByteArray b;
    wrU32(b, value);
    if (!m_dev->seek(pos))
        throw EAviError(QStringLiteral("Cannot write the AVI file: %1").arg(m_dev->errorString()));
    put(b);
}

void TAviFileWriter::WriteFrame(const TBitmap &frame)
{
    if (!m_dev)
        throw EAviError(QStringLiteral("No AVI file is open"));
    if (AviFileSize(m_width, m_height, qint64(m_offsets.size()) + 1) > kAviMaxFileSize)
        throw EAviError(QStringLiteral("The AVI file would pass its 1 GB limit"));
    AviFrameRows(frame, m_width, m_height, m_rows.data());
    m_offsets.push_back(std::uint32_t(m_dev->pos() - m_moviTag));
    QByteArray head;
    putTag(head, "00db");
    wrU32(head, std::uint32_t(m_rows.size()));
    put(head);
    // Rows are padded to 4 bytes, so the chunk never needs a pad byte.
    put(QByteArray::fromRawData(reinterpret_cast<const char *>(m_rows.data()), qsizetype(m_rows.size())));
}

void TAviFileWriter::Finish()
{
    if (!m_dev)
        throw EAviError(QStringLiteral("No AVI file is open"));
    try {
        const qint64 moviEnd = m_dev->pos();
        const std::uint32_t frameBytes = std::uint32_t(m_rows.size());
        QByteArray idx;
        idx.reserve(int(8 + 16 * m_offsets.size()));
        putTag(idx, "idx1");
        wrU32(idx, std::uint32_t(16 * m_offsets.size()));
        for (std::uint32_t off : m_offsets) {
            putTag(idx, "00db");
            wrU32(idx, kAviifKeyFrame);
            wrU32(idx, off);
            wrU32(idx, frameBytes);
        }
        put(idx);
        const qint64 end = m_dev->pos();
        putAt(m_base + 4, std::uint32_t(end - m_base - 8));
        putAt(m_moviTag - 4, std::uint32_t(moviEnd - m_moviTag));
        if (int(m_offsets.size()) != m_planned) {
            putAt(m_base + 48, std::uint32_t(m_offsets.size()));  // avih total frames
            putAt(m_base + 140, std::uint32_t(m_offsets.size())); // strh length
        }
        if (!m_dev->seek(end))
            throw EAviError(m_dev->errorString());
        if (m_file && !m_file->commit())
            throw EAviError(QStringLiteral("Cannot write \"%1\": %2").arg(m_file->fileName(), m_file->errorString()));
    } catch (...) {
        Cancel();
        throw;
    }
    m_file.reset();
    m_dev = nullptr;
}

void TAviFileWriter::Cancel()
{
    if (m_file)
        m_file->cancelWriting();
    m_file.reset(); // the temporary file goes with it
    m_dev = nullptr;
}

// ---------------------------------------------------------------------------
// Reader

TAviFileReader::TAviFileReader() = default;

TAviFileReader::~TAviFileReader() { closeFile(); }

void TAviFileReader::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_dev = nullptr;
}

void TAviFileReader::Open(const QString &fileName)
{
    closeFile();
    // Read by position through the bare descriptor: a frame goes from the
    // system straight into its picture. A FIFO or a device in the file's
    // place is refused instead of hanging the reader.
    QString why;
    m_fd = OpenRegularFd(fileName, &why, &m_size);
    if (m_fd < 0)
        throw EAviError(GraphicCannotOpen(fileName, why));
    parse();
}

void TAviFileReader::Open(QIODevice &device)
{
    closeFile();
    m_dev = &device;
    m_size = device.size();
    parse();
}

int TAviFileReader::FrameIntervalMs() const
{
    if (m_rate == 0)
        return 100;
    return int(std::clamp<qint64>(qint64(1000) * std::max<std::uint32_t>(m_scale, 1) / m_rate, 1, 60000));
}

const char *TAviFileReader::cached(qint64 pos, qint64 size) const
{
    if (pos + size <= m_head.size())
        return m_head.constData() + pos;
    if (m_aheadPos >= 0 && pos >= m_aheadPos && pos + size <= m_aheadPos + m_ahead.size())
        return m_ahead.constData() + (pos - m_aheadPos);
    return nullptr;
}

QByteArray TAviFileReader::readAt(qint64 pos, qint64 size)
{
    if (pos < 0 || size < 0 || pos + size > m_size)
        throw EAviError(QStringLiteral("The AVI file is truncated"));
    if (const char *c = cached(pos, size))
        return QByteArray(c, size);
    QByteArray b(size, Qt::Uninitialized);
    iovec piece{b.data(), std::size_t(size)};
    if (!readPieces(pos, &piece, 1))
        throw EAviError(QStringLiteral("The AVI file is truncated"));
    return b;
}

void TAviFileReader::readSmall(qint64 pos, int size, uchar *to, bool readAhead)
{
    if (pos < 0 || size < 0 || pos + size > m_size)
        throw EAviError(QStringLiteral("The AVI file is truncated"));
    if (readAhead && !cached(pos, size)) {
        // What follows a top-level chunk header is mostly the index: read
        // with it, the index costs no read of its own.
        m_ahead = readAt(pos, std::min<qint64>(m_size - pos, 65536));
        m_aheadPos = pos;
    }
    if (const char *c = cached(pos, size)) {
        std::memcpy(to, c, std::size_t(size));
        return;
    }
    iovec piece{to, std::size_t(size)};
    if (!readPieces(pos, &piece, 1))
        throw EAviError(QStringLiteral("The AVI file is truncated"));
}

bool TAviFileReader::readPieces(qint64 pos, iovec *pieces, std::size_t count)
{
    if (m_fd < 0) {
        if (!m_dev->seek(pos))
            throw EAviError(QStringLiteral("Cannot read the AVI file: %1").arg(m_dev->errorString()));
        for (std::size_t i = 0; i < count; ++i)
            if (m_dev->read(static_cast<char *>(pieces[i].iov_base), qint64(pieces[i].iov_len)) !=
                qint64(pieces[i].iov_len))
                return false;
        return true;
    }
    // The system takes at most IOV_MAX pieces a call and may stop early;
    // each call goes on where the last one ended.
    while (count > 0) {
        const ssize_t got = ::preadv(m_fd, pieces, int(std::min<std::size_t>(count, IOV_MAX)), off_t(pos));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        pos += got;
        std::size_t left = std::size_t(got);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (left > 0) {
            pieces->iov_base = static_cast<char *>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}

void TAviFileReader::parse()
{
    m_frames.clear();
    m_index.clear();
    m_frameCount = 0;
    m_palette.clear();
    m_width = m_height = m_bits = 0;
    m_rate = m_scale = 0;
    m_masked = false;
    m_masks = {};
    m_head.clear();
    m_ahead.clear();
    m_aheadPos = -1;
    // The headers lie in the first few kilobytes: one read serves them all.
    m_head = readAt(0, std::min<qint64>(m_size, 4096));

    uchar r[12];
    readSmall(0, 12, r);
    if (rdU32(r) != tagOf("RIFF") || rdU32(r + 8) != tagOf("AVI "))
        throw EAviError(QStringLiteral("Not an AVI file"));
    const qint64 riffEnd = 8 + qint64(rdU32(r + 4));
    if (riffEnd > m_size + 1) // the last pad byte may be missing
        throw EAviError(QStringLiteral("The AVI file is truncated"));

    // Walks the chunks of [begin, end); visit(tag, dataPos, size, listType).
    const auto walk = [this](qint64 begin, qint64 end, auto &&visit, bool topLevel = false) {
        qint64 pos = begin;
        while (pos + 8 <= end) {
            uchar p[12];
            readSmall(pos, int(std::min<qint64>(12, end - pos)), p, topLevel);
            const std::uint32_t tag = rdU32(p);
            const qint64 size = rdU32(p + 4);
            if (pos + 8 + size > end)
                throw EAviError(QStringLiteral("A chunk of the AVI file runs past its end"));
            std::uint32_t listType = 0;
            if (tag == tagOf("LIST") || tag == tagOf("RIFF")) {
                if (size < 4)
                    throw EAviError(QStringLiteral("A list of the AVI file is damaged"));
                listType = rdU32(p + 8);
            }
            if (!visit(tag, pos + 8, size, listType))
                return;
            pos += 8 + size + (size & 1);
        }
    };

    const qint64 end = std::min(riffEnd, m_size);
    int streamNo = -1;
    int strlIndex = 0;
    qint64 moviBegin = -1, moviEnd = -1;
    qint64 indexPos = -1, indexSize = 0;
    std::uint32_t compression = 0;
    walk(12, end, [&](std::uint32_t tag, qint64 data, qint64 size, std::uint32_t listType) {
        if (tag == tagOf("LIST") && listType == tagOf("hdrl")) {
            walk(data + 4, data + size, [&](std::uint32_t t, qint64 d, qint64 s, std::uint32_t lt) {
                if (t != tagOf("LIST") || lt != tagOf("strl"))
                    return true;
                const int thisStream = strlIndex++;
                if (streamNo >= 0)
                    return true;
                bool video = false;
                QByteArray strf;
                walk(d + 4, d + s, [&](std::uint32_t st, qint64 sd, qint64 ss, std::uint32_t) {
                    if (st == tagOf("strh")) {
                        if (ss < 32)
                            throw EAviError(QStringLiteral("The AVI stream header is damaged"));
                        const QByteArray b = readAt(sd, 32);
                        const auto *p = reinterpret_cast<const unsigned char *>(b.constData());
                        video = rdU32(p) == tagOf("vids");
                        if (video) {
                            m_scale = rdU32(p + 20);
                            m_rate = rdU32(p + 24);
                        }
                    } else if (st == tagOf("strf") && video) {
                        strf = readAt(sd, std::min<qint64>(ss, 65536));
                    }
                    return true;
                });
                if (!video)
                    return true;
                if (strf.size() < 40)
                    throw EAviError(QStringLiteral("The AVI video format is missing or damaged"));
                const auto *p = reinterpret_cast<const unsigned char *>(strf.constData());
                const std::uint32_t hdrSize = rdU32(p);
                const std::int32_t w = rdI32(p + 4);
                const std::int32_t h = rdI32(p + 8);
                m_bits = rdU16(p + 14);
                compression = rdU32(p + 16);
                const std::uint32_t used = rdU32(p + 32);
                if (hdrSize < 40)
                    throw EAviError(QStringLiteral("The AVI video format is damaged"));
                constexpr std::uint32_t kBiBitFields = 3;
                if (compression != 0 && compression != kBiBitFields)
                    throw EAviError(QStringLiteral("The AVI video is compressed (%1); only uncompressed video can be read")
                                        .arg(fourCCText(compression)));
                if (m_bits != 8 && m_bits != 16 && m_bits != 24 && m_bits != 32)
                    throw EAviError(QStringLiteral("AVI video of %1 bits per pixel cannot be read").arg(m_bits));
                if (compression == kBiBitFields) {
                    if (m_bits != 16 && m_bits != 32)
                        throw EAviError(
                            QStringLiteral("AVI video of %1 bits per pixel cannot have colour masks").arg(m_bits));
                    // A header of 52 bytes or more holds the masks; after a
                    // shorter one they follow it.
                    const qint64 at = hdrSize >= 52 ? 40 : qint64(hdrSize);
                    if (strf.size() < at + 12)
                        throw EAviError(QStringLiteral("The AVI video's colour masks are missing"));
                    m_masks = {rdU32(p + at), rdU32(p + at + 4), rdU32(p + at + 8)};
                    if (!BitFieldsSound(m_bits, m_masks))
                        throw EAviError(QStringLiteral("The AVI video's colour masks are damaged (%1, %2, %3)")
                                            .arg(m_masks.red, 0, 16)
                                            .arg(m_masks.green, 0, 16)
                                            .arg(m_masks.blue, 0, 16));
                    m_masked = true;
                }
                if (w <= 0 || h == 0 || h == std::numeric_limits<std::int32_t>::min() ||
                    qint64(w) * std::abs(qint64(h)) > TBitmap::MaxPixels())
                    throw EAviError(QStringLiteral("Invalid AVI frame size %1 x %2").arg(w).arg(h));
                m_width = w;
                m_height = std::abs(h);
                m_topDown = h < 0;
                if (m_bits == 8) {
                    const qint64 avail = hdrSize < std::uint32_t(strf.size()) ? (strf.size() - hdrSize) / 4 : 0;
                    const qint64 n = std::min<qint64>(used == 0 ? 256 : std::min<std::uint32_t>(used, 256), avail);
                    if (n <= 0)
                        throw EAviError(QStringLiteral("The AVI video has no palette"));
                    m_palette.resize(n);
                    QRgb *pal = m_palette.data();
                    for (qint64 i = 0; i < n; ++i) {
                        const auto *c = p + hdrSize + 4 * i;
                        pal[i] = qRgb(c[2], c[1], c[0]);
                    }
                }
                streamNo = thisStream;
                return true;
            });
        } else if (tag == tagOf("LIST") && listType == tagOf("movi") && moviBegin < 0) {
            moviBegin = data + 4;
            moviEnd = data + size;
        } else if (tag == tagOf("idx1") && indexPos < 0) {
            indexPos = data;
            indexSize = size;
        }
        return true;
    }, true);
    if (streamNo < 0)
        throw EAviError(QStringLiteral("The AVI file holds no video stream"));
    if (moviBegin < 0)
        throw EAviError(QStringLiteral("The AVI file holds no frame list"));

    if (m_masked)
        m_pf = BitFieldsFormat(m_bits, m_masks);
    else
        m_pf = m_bits == 8 ? pf8bit : m_bits == 16 ? pf15bit : m_bits == 24 ? pf24bit : pf32bit;

    const char digits[3] = {char('0' + (streamNo / 10) % 10), char('0' + streamNo % 10), 0};
    m_tagDb = tagOf((QByteArray(digits) + "db").constData());
    m_tagDc = tagOf((QByteArray(digits) + "dc").constData());
    const qint64 need = qint64(BytesPerRow(m_width, m_bits)) * m_height;
    if (indexPos >= 0 && useIndex(indexPos, indexSize, moviBegin, moviEnd, m_tagDb, m_tagDc, need))
        return;
    m_frames.clear();
    const auto collect = [&](auto &&self, qint64 b, qint64 e) -> void {
        walk(b, e, [&](std::uint32_t tag, qint64 data, qint64 size, std::uint32_t listType) {
            if (tag == tagOf("LIST") && listType == tagOf("rec ")) {
                self(self, data + 4, data + size);
            } else if (tag == m_tagDb || tag == m_tagDc) {
                if (size == 0) {
                    // An empty chunk repeats the frame before it.
                    if (m_frames.empty())
                        throw EAviError(QStringLiteral("The first AVI frame is empty"));
                    m_frames.push_back(m_frames.back());
                } else {
                    if (size < need)
                        throw EAviError(QStringLiteral("AVI frame %1 is too short").arg(m_frames.size() + 1));
                    m_frames.push_back({data, std::uint32_t(size)});
                }
                if (m_frames.size() > 10'000'000)
                    throw EAviError(QStringLiteral("The AVI file holds too many frames"));
            }
            return true;
        });
    };
    collect(collect, moviBegin, moviEnd);
    m_frameCount = qint64(m_frames.size());
    if (m_frames.empty())
        throw EAviError(QStringLiteral("The AVI file holds no frames"));
}

// The frames from the index, when every entry of the stream lies inside the
// frame list and the first and last point at chunks of their tag and size
// (the last one's chunk may instead end exactly where the list ends).
// Entries count from the 'movi' tag or, as some writers have it, from the
// start of the file. False leaves the frames to the walk.
bool TAviFileReader::useIndex(qint64 indexPos, qint64 indexSize, qint64 moviBegin, qint64 moviEnd,
                              std::uint32_t db, std::uint32_t dc, qint64 need)
{
    const qint64 count = indexSize / 16;
    if (count <= 0 || count > 10'000'000)
        return false;
    // Mostly the index came with the read-ahead: kept there, not copied.
    QByteArray index;
    qint64 entriesAt = 0;
    if (m_aheadPos >= 0 && indexPos >= m_aheadPos && indexPos + count * 16 <= m_aheadPos + m_ahead.size()) {
        index = m_ahead;
        entriesAt = indexPos - m_aheadPos;
    } else {
        index = readAt(indexPos, count * 16);
    }
    const auto *e = reinterpret_cast<const unsigned char *>(index.constData()) + entriesAt;
    const auto isFrame = [&](qint64 i) {
        const std::uint32_t tag = rdU32(e + 16 * i);
        return (tag == db || tag == dc) && rdU32(e + 16 * i + 12) != 0;
    };
    qint64 first = 0, last = count - 1;
    while (first < count && !isFrame(first))
        ++first;
    if (first == count)
        return false;
    while (!isFrame(last))
        --last;
    const auto entryAgrees = [&](qint64 base, qint64 i) {
        const unsigned char *p = e + 16 * i;
        const qint64 at = base + rdU32(p + 8);
        const std::uint32_t size = rdU32(p + 12);
        if (at < moviBegin || at + 8 + qint64(size) > moviEnd)
            return false;
        uchar hd[8];
        readSmall(at, 8, hd);
        return rdU32(hd) == rdU32(p) && rdU32(hd + 4) == size;
    };
    qint64 base = moviBegin - 4;
    if (!entryAgrees(base, first)) {
        base = 0;
        if (!entryAgrees(base, first))
            return false;
    }
    // The last entry's chunk ending exactly where the frame list ends agrees
    // with the list's own size, as the chunks of a file written in one go
    // do; its header is then left to the check when that frame is read, and
    // opening costs no read for it. Anywhere else it is read here.
    const unsigned char *lastEntry = e + 16 * last;
    const qint64 lastSize = rdU32(lastEntry + 12);
    const bool endsTheList = base + rdU32(lastEntry + 8) + 8 + lastSize + (lastSize & 1) == moviEnd;
    if (!endsTheList && !entryAgrees(base, last))
        return false;
    const qint64 lowest = moviBegin - base;    // an entry's offset may not lie before this
    const qint64 highest = moviEnd - base - 8; // nor may its data end after this
    // Most indexes hold nothing but whole frames of the one stream: then
    // entry n is frame n and is looked up when it is read.
    const bool fits = lowest <= highest && highest <= qint64(UINT32_MAX);
    const bool stray = !fits || !onlyWholeFrames(e, count, db, dc, std::uint32_t(need), std::uint32_t(lowest),
                                                 std::uint32_t(highest));
    if (!stray) {
        m_index = index;
        m_indexAt = entriesAt;
        m_indexBase = base;
        m_frameCount = count;
        return true;
    }
    // Otherwise the frames are listed one by one. A stray entry is noted and
    // judged at the end rather than at each one.
    std::vector<Chunk> frames(static_cast<std::size_t>(count));
    Chunk *out = frames.data();
    bool outside = false, tooShort = false;
    for (qint64 i = 0; i < count; ++i) {
        const unsigned char *p = e + 16 * i;
        const std::uint32_t tag = rdU32(p);
        if (tag != db && tag != dc)
            continue;
        const qint64 offset = rdU32(p + 8);
        const std::uint32_t size = rdU32(p + 12);
        outside |= offset < lowest || offset + qint64(size) > highest;
        if (size == 0) {
            // An empty chunk repeats the frame before it; one before the
            // first frame leaves the frames to the walk.
            if (out == frames.data())
                return false;
            *out = out[-1];
        } else {
            tooShort |= size < need;
            *out = {base + offset + 8, size};
        }
        ++out;
    }
    if (outside)
        return false;
    frames.resize(std::size_t(out - frames.data()));
    if (tooShort)
        for (std::size_t i = 0; i < frames.size(); ++i)
            if (frames[i].size < need)
                throw EAviError(QStringLiteral("AVI frame %1 is too short").arg(i + 1));
    m_frames = std::move(frames);
    m_frameCount = qint64(m_frames.size());
    return true;
}

TAviFileReader::Chunk TAviFileReader::chunkOf(int index) const
{
    if (m_index.isEmpty())
        return m_frames[std::size_t(index)];
    const auto *p = reinterpret_cast<const unsigned char *>(m_index.constData()) + m_indexAt + 16 * qint64(index);
    return {m_indexBase + rdU32(p + 8) + 8, rdU32(p + 12)};
}

TBitmap TAviFileReader::Frame(int index)
{
    TBitmap b;
    ReadFrame(index, b);
    return b;
}

void TAviFileReader::ReadFrame(int index, TBitmap &into)
{
    if ((m_fd < 0 && !m_dev) || index < 0 || index >= FrameCount())
        throw EAviError(QStringLiteral("The AVI file has no frame %1").arg(index + 1));
    const Chunk c = chunkOf(index);
    const std::size_t srcStride = BytesPerRow(m_width, m_bits);
    const qint64 need = qint64(srcStride) * m_height;
    const std::size_t stride = BytesPerRow(m_width, BitsPerPixel(m_pf));
    PixelBuffer bits(stride * std::size_t(m_height)); // every byte is written over
    const bool convert = m_masked && !BitFieldsAsStored(m_bits, m_masks);

    // One read from the chunk's header to the frame's end. Rows that need
    // no conversion go straight into the picture; converted ones go through
    // the scratch rows. A bottom-up frame's rows of 1.5 KB or more are read
    // each into its place, the last stored row into the picture's first;
    // below that the system's cost for each piece of a vector read passes
    // that of reading them in stored order and swapping them afterwards.
    constexpr std::size_t kRowPieceMinimum = 1536;
    uchar hd[8];
    m_pieces.clear();
    m_pieces.push_back({hd, 8});
    const bool swapRows = !convert && !m_topDown && srcStride < kRowPieceMinimum;
    if (convert) {
        m_scratch.resize(std::size_t(need));
        m_pieces.push_back({m_scratch.data(), std::size_t(need)});
    } else if (m_topDown || swapRows) {
        m_pieces.push_back({bits.data(), std::size_t(need)});
    } else {
        for (int y = m_height - 1; y >= 0; --y)
            m_pieces.push_back({bits.data() + std::size_t(y) * stride, srcStride});
    }
    if (!readPieces(c.pos - 8, m_pieces.data(), m_pieces.size()))
        throw EAviError(QStringLiteral("AVI frame %1 is truncated").arg(index + 1));
    // The chunk must still be what the index said it is.
    if ((rdU32(hd) != m_tagDb && rdU32(hd) != m_tagDc) || rdU32(hd + 4) != c.size || c.size < need)
        throw EAviError(QStringLiteral("AVI frame %1 is damaged").arg(index + 1));

    if (swapRows)
        FlipRows(bits.data(), stride, m_height);
    if (convert) {
        const std::size_t used = std::size_t(m_width) * std::size_t(BitsPerPixel(m_pf) / 8);
        for (int y = 0; y < m_height; ++y) {
            uchar *dst = bits.data() + std::size_t(y) * stride;
            const int stored = m_topDown ? y : m_height - 1 - y;
            BitFieldsRow(m_scratch.data() + std::size_t(stored) * srcStride, m_width, m_bits, m_masks, dst);
            std::memset(dst + used, 0, stride - used);
        }
    } else if (m_pf == pf15bit) {
        for (int y = 0; y < m_height; ++y) { // the unused top bit stays clear
            uchar *row = bits.data() + std::size_t(y) * stride;
            for (int x = 0; x < m_width; ++x)
                row[std::size_t(x) * 2 + 1] &= 0x7F;
        }
    }
    // 32-bit pixels are made opaque by the bitmap itself.
    into.Adopt(m_width, m_height, m_pf, std::move(bits), m_palette);
}

} // namespace zk
