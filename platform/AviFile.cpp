#include "AviFile.h"
#include "SafeFile.h"

#include "LeBytes.h"
#include "GraphicText.h"

#include <QFile>

#include <unistd.h>

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
TAviFileReader::~TAviFileReader() = default;

void TAviFileReader::Open(const QString &fileName)
{
    auto file = std::make_unique<QFile>(fileName);
    // Frames are read whole: a buffer in between would only copy them once more.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EAviError(GraphicCannotOpen(fileName, file->errorString()));
    m_dev = file.get();
    m_fd = file->handle();
    m_own = std::move(file);
    parse();
}

void TAviFileReader::Open(QIODevice &device)
{
    m_own.reset();
    m_fd = -1;
    m_dev = &device;
    parse();
}

int TAviFileReader::FrameIntervalMs() const
{
    if (m_rate == 0)
        return 100;
    return int(std::clamp<qint64>(qint64(1000) * std::max<std::uint32_t>(m_scale, 1) / m_rate, 1, 60000));
}

QByteArray TAviFileReader::readAt(qint64 pos, qint64 size)
{
    if (pos < 0 || size < 0 || pos + size > m_size)
        throw EAviError(QStringLiteral("The AVI file is truncated"));
    if (pos + size <= m_head.size())
        return m_head.mid(pos, size);
    if (m_fd >= 0) {
        QByteArray b(size, Qt::Uninitialized);
        if (::pread(m_fd, b.data(), std::size_t(size), off_t(pos)) != ssize_t(size))
            throw EAviError(QStringLiteral("The AVI file is truncated"));
        return b;
    }
    if (!m_dev->seek(pos))
        throw EAviError(QStringLiteral("Cannot read the AVI file: %1").arg(m_dev->errorString()));
    QByteArray b = m_dev->read(size);
    if (b.size() != size)
        throw EAviError(QStringLiteral("The AVI file is truncated"));
    return b;
}

void TAviFileReader::readInto(qint64 pos, qint64 size, uchar *to, int frameNo)
{
    if (m_fd >= 0) {
        if (::pread(m_fd, to, std::size_t(size), off_t(pos)) != ssize_t(size))
            throw EAviError(QStringLiteral("AVI frame %1 is truncated").arg(frameNo + 1));
        return;
    }
    if (!m_dev->seek(pos))
        throw EAviError(QStringLiteral("Cannot read the AVI file: %1").arg(m_dev->errorString()));
    if (m_dev->read(reinterpret_cast<char *>(to), size) != size)
        throw EAviError(QStringLiteral("AVI frame %1 is truncated").arg(frameNo + 1));
}

void TAviFileReader::parse()
{
    m_frames.clear();
    m_palette.clear();
    m_width = m_height = m_bits = 0;
    m_rate = m_scale = 0;
    m_masked = false;
    m_masks = {};
    m_head.clear();
    m_size = m_dev->size();
    // The headers lie in the first few kilobytes: one read serves them all.
    m_head = readAt(0, std::min<qint64>(m_size, 4096));

    const QByteArray riff = readAt(0, 12);
    const auto *r = reinterpret_cast<const unsigned char *>(riff.constData());
    if (rdU32(r) != tagOf("RIFF") || rdU32(r + 8) != tagOf("AVI "))
        throw EAviError(QStringLiteral("Not an AVI file"));
    const qint64 riffEnd = 8 + qint64(rdU32(r + 4));
    if (riffEnd > m_size + 1) // the last pad byte may be missing
        throw EAviError(QStringLiteral("The AVI file is truncated"));

    // Walks the chunks of [begin, end); visit(tag, dataPos, size, listType).
    const auto walk = [this](qint64 begin, qint64 end, auto &&visit) {
        qint64 pos = begin;
        while (pos + 8 <= end) {
            const QByteArray hd = readAt(pos, std::min<qint64>(12, end - pos));
            const auto *p = reinterpret_cast<const unsigned char *>(hd.constData());
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
                    for (qint64 i = 0; i < n; ++i) {
                        const auto *c = p + hdrSize + 4 * i;
                        m_palette.append(qRgb(c[2], c[1], c[0]));
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
    });
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
    if (m_frames.empty())
        throw EAviError(QStringLiteral("The AVI file holds no frames"));
}

// The frames from the index, when every entry of the stream lies inside the
// frame list and the first and last point at chunks of their tag and size.
// Entries count from the 'movi' tag or, as some writers have it, from the
// start of the file. False leaves the frames to the walk.
bool TAviFileReader::useIndex(qint64 indexPos, qint64 indexSize, qint64 moviBegin, qint64 moviEnd,
                              std::uint32_t db, std::uint32_t dc, qint64 need)
{
    const qint64 count = indexSize / 16;
    if (count <= 0 || count > 10'000'000)
        return false;
    const QByteArray index = readAt(indexPos, count * 16);
    const auto *e = reinterpret_cast<const unsigned char *>(index.constData());
    const auto chunkAgrees = [&](qint64 at, std::uint32_t tag, std::uint32_t size) {
        if (at < moviBegin || at + 8 + qint64(size) > moviEnd)
            return false;
        const QByteArray hd = readAt(at, 8);
        const auto *p = reinterpret_cast<const unsigned char *>(hd.constData());
        return rdU32(p) == tag && rdU32(p + 4) == size;
    };
    qint64 first = -1, last = -1;
    for (qint64 i = 0; i < count; ++i) {
        const std::uint32_t tag = rdU32(e + 16 * i);
        if ((tag == db || tag == dc) && rdU32(e + 16 * i + 12) != 0) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return false;
    const auto entryAgrees = [&](qint64 base, qint64 i) {
        const unsigned char *p = e + 16 * i;
        return chunkAgrees(base + rdU32(p + 8), rdU32(p), rdU32(p + 12));
    };
    qint64 base = moviBegin - 4;
    if (!entryAgrees(base, first)) {
        base = 0;
        if (!entryAgrees(base, first))
            return false;
    }
    if (!entryAgrees(base, last))
        return false;
    std::vector<Chunk> frames;
    frames.reserve(std::size_t(count));
    for (qint64 i = 0; i < count; ++i) {
        const unsigned char *p = e + 16 * i;
        const std::uint32_t tag = rdU32(p);
        if (tag != db && tag != dc)
            continue;
        const qint64 at = base + rdU32(p + 8);
        const std::uint32_t size = rdU32(p + 12);
        if (at < moviBegin || at + 8 + qint64(size) > moviEnd)
            return false;
        if (size == 0) {
            if (frames.empty())
                return false;
            frames.push_back(frames.back());
        } else {
            if (size < need)
                throw EAviError(QStringLiteral("AVI frame %1 is too short").arg(frames.size() + 1));
            frames.push_back({at + 8, size});
        }
    }
    m_frames = std::move(frames);
    return true;
}

TBitmap TAviFileReader::Frame(int index)
{
    TBitmap b;
    ReadFrame(index, b);
    return b;
}

void TAviFileReader::ReadFrame(int index, TBitmap &into)
{
    if (!m_dev || index < 0 || index >= FrameCount())
        throw EAviError(QStringLiteral("The AVI file has no frame %1").arg(index + 1));
    const Chunk &c = m_frames[std::size_t(index)];
    const std::size_t srcStride = BytesPerRow(m_width, m_bits);
    const qint64 need = qint64(srcStride) * m_height;
    // The chunk must still be what the index said it is.
    uchar hd[8];
    readInto(c.pos - 8, 8, hd, index);
    if ((rdU32(hd) != m_tagDb && rdU32(hd) != m_tagDc) || rdU32(hd + 4) != c.size || c.size < need)
        throw EAviError(QStringLiteral("AVI frame %1 is damaged").arg(index + 1));

    const std::size_t stride = BytesPerRow(m_width, BitsPerPixel(m_pf));
    PixelBuffer bits(stride * std::size_t(m_height)); // every byte is written over
    const auto storedRow = [&](int y) { return m_topDown ? y : m_height - 1 - y; };
    if (m_masked && !BitFieldsAsStored(m_bits, m_masks)) {
        m_scratch.resize(std::size_t(need));
        readInto(c.pos, need, m_scratch.data(), index);
        const std::size_t used = std::size_t(m_width) * std::size_t(BitsPerPixel(m_pf) / 8);
        for (int y = 0; y < m_height; ++y) {
            uchar *dst = bits.data() + std::size_t(y) * stride;
            BitFieldsRow(m_scratch.data() + std::size_t(storedRow(y)) * srcStride, m_width, m_bits, m_masks, dst);
            std::memset(dst + used, 0, stride - used);
        }
    } else {
        // Rows as they are stored: one read into the picture, then bottom-up
        // rows swapped into place. (A vector read of one piece a row, which
        // would put them upright at once, costs more than the swap.)
        readInto(c.pos, need, bits.data(), index);
        if (!m_topDown)
            for (int y = 0; y < m_height / 2; ++y) {
                uchar *a = bits.data() + std::size_t(y) * stride;
                std::swap_ranges(a, a + stride, bits.data() + std::size_t(m_height - 1 - y) * stride);
            }
        if (m_pf == pf15bit)
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
