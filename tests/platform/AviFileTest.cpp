// The AVI writer and reader against ffmpeg/ffprobe as the independent side:
// files we write must probe and decode as we meant them, files ffmpeg writes
// must read as ffmpeg decodes them, and damaged files must fail cleanly.
#include "AviFile.h"
#include "PictureOracles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>

using namespace zk;

namespace {

const QString kFfmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString kFfprobe = QStringLiteral("/usr/bin/ffprobe");

// A 24-bit frame: cube colours on even columns (they must survive exactly),
// arbitrary colours elsewhere.
TBitmap patternFrame(int w, int h, int seed)
{
    TBitmap b(w, h, pf24bit);
    const QVector<QRgb> &pal = AviPalette();
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            QRgb c;
            if (x % 2 == 0)
                c = pal[(x * 7 + y * 13 + seed * 31) % 216];
            else
                c = qRgb((x * 37 + seed * 11) & 255, (y * 53 + x) & 255, (x * y + seed * 97) & 255);
            row[x * 3] = uchar(qBlue(c));
            row[x * 3 + 1] = uchar(qGreen(c));
            row[x * 3 + 2] = uchar(qRed(c));
        }
    }
    return b;
}

// Three frames of the given size written into memory; `frame` makes frame i.
QByteArray threeFrameAvi(int w, int h, const std::function<TBitmap(int)> &frame)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    TAviFileWriter writer;
    writer.Open(out, w, h, 10, 3);
    for (int i = 0; i < 3; ++i)
        writer.WriteFrame(frame(i));
    writer.Finish();
    return out.data();
}

// ffmpeg's decoding of a file as rgb24 frames.
QByteArray ffmpegRgb(const QString &file)
{
    QByteArray out;
    const int rc = zktest::runProgram(kFfmpeg, {"-v", "error", "-i", file, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                                      &out);
    EXPECT_EQ(rc, 0) << file.toStdString();
    return out;
}

QByteArray probe(const QString &file)
{
    QByteArray out;
    zktest::runProgram(kFfprobe, {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                  "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames", "-of",
                                  "default=noprint_wrappers=1", file},
                       &out);
    return out;
}

class AviFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zktest::haveProgram(kFfmpeg) || !zktest::haveProgram(kFfprobe))
            GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh)";
    }
};

} // namespace

TEST_F(AviFileTest, WrittenFilesProbeAndDecodeToOurPixels)
{
    struct Case
    {
        int w, h;
    };
    for (const Case c : {Case{64, 48}, Case{37, 23}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        const QString dir = zktest::scratchDir("aviwrite");
        const QString file = dir + "/out.avi";
        // The third frame is smaller and the fourth larger: cut or padded
        // to the first frame's size.
        std::vector<TBitmap> frames = {patternFrame(c.w, c.h, 0), patternFrame(c.w, c.h, 1),
                                       patternFrame(c.w - 5, c.h - 4, 2), patternFrame(c.w + 9, c.h + 3, 3)};
        TAviFileWriter writer;
        writer.Open(file, c.w, c.h, 10, int(frames.size()));
        for (const TBitmap &f : frames)
            writer.WriteFrame(f);
        writer.Finish();
        EXPECT_EQ(QFileInfo(file).size(), AviFileSize(c.w, c.h, qint64(frames.size())));

        const QByteArray info = probe(file);
        for (const QByteArray &want :
             {QByteArray("codec_name=rawvideo"), QByteArray("pix_fmt=pal8"), "width=" + QByteArray::number(c.w),
              "height=" + QByteArray::number(c.h), QByteArray("r_frame_rate=10/1"), QByteArray("nb_read_frames=4")})
            EXPECT_TRUE(info.contains(want)) << want.toStdString() << " in " << info.toStdString();

        const QByteArray rgb = ffmpegRgb(file);
        ASSERT_EQ(rgb.size(), qsizetype(frames.size()) * c.w * c.h * 3);
        const QVector<QRgb> &pal = AviPalette();
        std::vector<std::uint8_t> rows(std::size_t(AviFrameBytes(c.w, c.h)));
        const std::size_t stride = rows.size() / std::size_t(c.h);
        int mismatches = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            AviFrameRows(frames[i], c.w, c.h, rows.data());
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x) {
                    const auto *p = reinterpret_cast<const uchar *>(rgb.constData()) +
                                    ((i * std::size_t(c.h) + std::size_t(y)) * std::size_t(c.w) + std::size_t(x)) * 3;
                    const QRgb got = qRgb(p[0], p[1], p[2]);
                    const QRgb ours = pal[rows[std::size_t(c.h - 1 - y) * stride + std::size_t(x)]];
                    const bool inside = x < frames[i].Width() && y < frames[i].Height();
                    // Cube colours come back exactly; padding is black.
                    const QRgb expected = !inside ? qRgb(0, 0, 0) : x % 2 == 0 ? frames[i].PixelRgb(x, y) : ours;
                    if (got != expected || ours != got)
                        ++mismatches;
                }
        }
        EXPECT_EQ(mismatches, 0);

        // Our reader gives the same frames back.
        TAviFileReader reader;
        reader.Open(file);
        EXPECT_EQ(reader.FrameCount(), 4);
        EXPECT_EQ(reader.Rate(), 10u);
        const TBitmap last = reader.Frame(3);
        ASSERT_EQ(last.PixelFormat(), pf8bit);
        EXPECT_EQ(last.Width(), c.w);
        EXPECT_EQ(last.PixelRgb(0, c.h - 1), frames[3].PixelRgb(0, c.h - 1)) << "the larger frame is cut, not scaled";
    }
}

TEST_F(AviFileTest, ReadsFfmpegRawVideoAsFfmpegDecodesIt)
{
    const int w = 36, h = 20, n = 3;
    const QString dir = zktest::scratchDir("aviread");
    QByteArray src;
    for (int i = 0; i < n; ++i)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                src.append(char((x * 7 + i * 40) & 255));
                src.append(char((y * 12 + x) & 255));
                src.append(char((x * y + i * 3) & 255));
            }
    ASSERT_TRUE(zktest::writeBytes(dir + "/in.rgb", src));
    for (const char *fmt : {"pal8", "rgb555le", "bgr24", "bgra"}) {
        SCOPED_TRACE(fmt);
        const QString file = dir + "/" + fmt + ".avi";
        ASSERT_EQ(zktest::runProgram(kFfmpeg, {"-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                                               QStringLiteral("%1x%2").arg(w).arg(h), "-r", "10", "-i", dir + "/in.rgb",
                                               "-c:v", "rawvideo", "-pix_fmt", fmt, file}),
                  0);
        const QByteArray rgb = ffmpegRgb(file);
        ASSERT_EQ(rgb.size(), n * w * h * 3);
        TAviFileReader reader;
        reader.Open(file);
        ASSERT_EQ(reader.FrameCount(), n);
        EXPECT_EQ(reader.Width(), w);
        EXPECT_EQ(reader.Height(), h);
        int mismatches = 0;
        for (int i = 0; i < n; ++i) {
            const TBitmap f = reader.Frame(i);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const auto *p = reinterpret_cast<const uchar *>(rgb.constData()) + ((i * h + y) * w + x) * 3;
                    if (f.PixelRgb(x, y) != qRgb(p[0], p[1], p[2]))
                        ++mismatches;
                }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(AviFileTest, DamagedFilesFailCleanly)
{
    const QByteArray bytes = threeFrameAvi(16, 8, [](int i) { return patternFrame(16, 8, i); });
    const qint64 moviTag = bytes.indexOf("movi");
    const qint64 strf = bytes.indexOf("strf");
    ASSERT_GT(moviTag, 0);
    const auto setU32 = [](QByteArray b, qint64 pos, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[pos + i] = char((v >> (8 * i)) & 0xFF);
        return b;
    };
    struct Case
    {
        const char *what;
        QByteArray data;
        const char *message; // part of the error text
    };
    const std::vector<Case> cases = {
        {"cut inside the frames", bytes.left(moviTag + 4 + 8 + 40), "truncated"},
        {"movi list past the end", setU32(bytes, moviTag - 4, 0x7FFFFFF0), "past"},
        {"frame chunk past the end", setU32(bytes, moviTag + 8, 0x40000000), "past"},
        {"compressed video", setU32(bytes, strf + 8 + 16, 0x47504A4D /* MJPG */), "MJPG"},
        {"no RIFF", QByteArray("RIFX") + bytes.mid(4), "Not an AVI"},
        {"header only", bytes.left(20), "truncated"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray data = c.data;
        QBuffer dev(&data);
        dev.open(QIODevice::ReadOnly);
        TAviFileReader reader;
        try {
            reader.Open(dev);
            for (int i = 0; i < reader.FrameCount(); ++i)
                reader.Frame(i);
            ADD_FAILURE() << "accepted";
        } catch (const EAviError &e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QLatin1String(c.message))) << e.what();
        }
    }
}

TEST_F(AviFileTest, FailedOrOversizedWritesLeaveTheOldFile)
{
    const QString dir = zktest::scratchDir("aviguard");
    const QString file = dir + "/keep.avi";
    ASSERT_TRUE(zktest::writeBytes(file, "old"));
    // 1152 x 864 frames: 1078 fit below 1 GiB, 1079 do not.
    EXPECT_LE(AviFileSize(1152, 864, 1078), kAviMaxFileSize);
    EXPECT_GT(AviFileSize(1152, 864, 1079), kAviMaxFileSize);
    {
        TAviFileWriter writer;
        EXPECT_THROW(writer.Open(file, 1152, 864, 10, 1079), EAviError);
    }
    {
        TAviFileWriter writer; // abandoned half way
        writer.Open(file, 16, 8, 10, 2);
        writer.WriteFrame(patternFrame(16, 8, 0));
    }
    EXPECT_EQ(zktest::readBytes(file), QByteArray("old"));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.avi"});
}

TEST_F(AviFileTest, ARecordingStoppedEarlySaysInItsHeadersWhatWasWritten)
{
    // Seven frames planned, three written: the main header's frame count and
    // the stream's length say three, and so does every reader.
    const QString file = zktest::scratchDir("avishort") + "/short.avi";
    TAviFileWriter writer;
    writer.Open(file, 37, 23, 10, 7);
    for (int i = 0; i < 3; ++i)
        writer.WriteFrame(patternFrame(37, 23, i));
    writer.Finish();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.size(), AviFileSize(37, 23, 3));
    const auto dword = [&bytes](const char *chunk, int offset) {
        const qsizetype at = bytes.indexOf(chunk);
        return at < 0 ? -1 : qFromLittleEndian<qint32>(bytes.constData() + at + 8 + offset);
    };
    EXPECT_EQ(dword("avih", 16), 3) << "total frames";
    EXPECT_EQ(dword("strh", 32), 3) << "stream length";
    QByteArray out;
    zktest::runProgram(kFfprobe, {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                  "stream=nb_frames,nb_read_frames", "-of", "default=noprint_wrappers=1", file},
                       &out);
    EXPECT_TRUE(out.contains("nb_frames=3")) << out.constData();
    EXPECT_TRUE(out.contains("nb_read_frames=3")) << out.constData();
}

namespace {

// An uncompressed AVI put together byte by byte, since ffmpeg writes no
// colour masks: one video stream, the given format block, one '00db' chunk
// per frame (rows as stored) and an idx1 index of the kind asked for.
// WithSound puts a sound entry ('01wb', pointing at the first frame) before
// each frame's entry: the frames are then listed one by one. Padded is
// FromMovi with a JUNK chunk behind the last frame, so the last entry's
// chunk does not end the frame list.
enum class Index { FromMovi, FromFileStart, Wrong, None, WithSound, Padded };

QByteArray handMadeAvi(const QByteArray &strf, const std::vector<QByteArray> &frames, Index index)
{
    const auto u32 = [](QByteArray &b, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    const auto chunk = [&](const char *tag, const QByteArray &data) {
        QByteArray c(tag, 4);
        u32(c, quint32(data.size()));
        c += data;
        if (data.size() & 1)
            c.append('\0');
        return c;
    };
    const auto list = [&](const char *type, const QByteArray &body) { return chunk("LIST", QByteArray(type, 4) + body); };
    QByteArray avih, strh;
    for (quint32 v : {200000u, 0u, 0u, 0x10u, quint32(frames.size()), 0u, 1u, 0u, 0u, 0u, 0u, 0u, 0u, 0u})
        u32(avih, v);
    strh = "vids";
    for (quint32 v : {0u, 0u, 0u, 0u, 1u, 5u, 0u, quint32(frames.size()), 0u, 0u, 0u, 0u, 0u})
        u32(strh, v);
    const QByteArray hdrl = list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
    const qint64 moviTag = 12 + hdrl.size() + 8;
    QByteArray movi, idx;
    for (const QByteArray &f : frames) {
        const quint32 at = quint32(4 + movi.size());
        const quint32 base = index == Index::FromFileStart ? quint32(moviTag) : 0;
        if (index == Index::WithSound) {
            idx += "01wb";
            u32(idx, 0);
            u32(idx, 4);
            u32(idx, 4);
        }
        idx += "00db";
        u32(idx, 0x10);
        u32(idx, index == Index::Wrong ? at + 2 : at + base);
        u32(idx, quint32(f.size()));
        movi += chunk("00db", f);
    }
    if (index == Index::Padded)
        movi += chunk("JUNK", QByteArray(6, '\0'));
    QByteArray body = "AVI " + hdrl + list("movi", movi);
    if (index != Index::None)
        body += chunk("idx1", idx);
    QByteArray file = "RIFF";
    u32(file, quint32(body.size()));
    return file + body;
}

// A BITMAPINFOHEADER of hdrSize bytes with three masks inside it (52 bytes
// or more) or behind it (40).
QByteArray maskedFormat(int w, int h, int bits, int hdrSize, quint32 r, quint32 g, quint32 b, quint32 compression = 3)
{
    QByteArray f(hdrSize, '\0');
    const auto put = [&f](int at, quint32 v) { qToLittleEndian<quint32>(v, f.data() + at); };
    put(0, quint32(hdrSize));
    put(4, quint32(w));
    put(8, quint32(h));
    put(12, 1 | (quint32(bits) << 16));
    put(16, compression);
    QByteArray masks(12, '\0');
    qToLittleEndian<quint32>(r, masks.data());
    qToLittleEndian<quint32>(g, masks.data() + 4);
    qToLittleEndian<quint32>(b, masks.data() + 8);
    if (hdrSize >= 52)
        f.replace(40, 12, masks);
    else
        f += masks;
    return f;
}

} // namespace

TEST_F(AviFileTest, FramesWithColourMasksReadAsFfmpegShowsTheirPixels)
{
    // ffmpeg packs testsrc's frames into each layout and, as the oracle,
    // shows the same packed pixels as rgb24. It widens a 4-bit channel by
    // shifting alone (15 gives 240); we repeat the bits (15 gives 255).
    struct Case
    {
        const char *pixFmt;
        int bits;
        quint32 r, g, b;
        int hdrSize;
        bool topDown;
        Index index;
        TPixelFormat pf;
        bool fourBit;
    };
    const Case cases[] = {
        {"rgb565le", 16, 0xF800, 0x07E0, 0x001F, 40, false, Index::FromMovi, pf16bit, false},
        {"rgb555le", 16, 0x7C00, 0x03E0, 0x001F, 56, true, Index::FromFileStart, pf15bit, false},
        {"bgr565le", 16, 0x001F, 0x07E0, 0xF800, 40, false, Index::Wrong, pf24bit, false},
        {"rgb444le", 16, 0x0F00, 0x00F0, 0x000F, 108, false, Index::None, pf24bit, true},
        {"bgr0", 32, 0xFF0000, 0xFF00, 0xFF, 40, true, Index::FromMovi, pf32bit, false},
        {"rgb0", 32, 0xFF, 0xFF00, 0xFF0000, 40, false, Index::FromMovi, pf32bit, false},
        {"0rgb", 32, 0xFF00, 0xFF0000, 0xFF000000, 56, false, Index::Wrong, pf32bit, false},
    };
    const int w = 37, h = 23, n = 3;
    const QString src = QStringLiteral("testsrc=size=%1x%2:rate=5").arg(w).arg(h);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pixFmt);
        QByteArray packed, oracle;
        ASSERT_EQ(zktest::runProgram(kFfmpeg, {"-v", "error", "-f", "lavfi", "-i", src, "-frames:v", QString::number(n),
                                               "-pix_fmt", c.pixFmt, "-f", "rawvideo", "-"},
                                     &packed),
                  0);
        ASSERT_EQ(zktest::runProgram(kFfmpeg, {"-v", "error", "-f", "lavfi", "-i", src, "-frames:v", QString::number(n),
                                               "-vf", QStringLiteral("format=%1").arg(c.pixFmt), "-pix_fmt", "rgb24",
                                               "-f", "rawvideo", "-"},
                                     &oracle),
                  0);
        const int rowBytes = w * c.bits / 8, stride = (rowBytes + 3) & ~3;
        ASSERT_EQ(packed.size(), n * h * rowBytes);
        ASSERT_EQ(oracle.size(), n * h * w * 3);
        std::vector<QByteArray> frames;
        for (int i = 0; i < n; ++i) {
            QByteArray f;
            for (int s = 0; s < h; ++s) {
                const int y = c.topDown ? s : h - 1 - s;
                f += packed.mid((i * h + y) * rowBytes, rowBytes) + QByteArray(stride - rowBytes, '\0');
            }
            frames.push_back(f);
        }
        QByteArray file = handMadeAvi(maskedFormat(w, c.topDown ? -h : h, c.bits, c.hdrSize, c.r, c.g, c.b), frames,
                                      c.index);
        QBuffer dev(&file);
        dev.open(QIODevice::ReadOnly);
        TAviFileReader reader;
        reader.Open(dev);
        ASSERT_EQ(reader.FrameCount(), n);
        EXPECT_EQ(reader.FramePixelFormat(), c.pf);
        int mismatches = 0;
        for (int i = n - 1; i >= 0; --i) {
            const TBitmap f = reader.Frame(i);
            EXPECT_EQ(f.PixelFormat(), c.pf);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const auto *p = reinterpret_cast<const uchar *>(oracle.constData()) + ((i * h + y) * w + x) * 3;
                    const auto full = [&](uchar v) { return c.fourBit ? v | (v >> 4) : int(v); };
                    if (f.PixelRgb(x, y) != qRgb(full(p[0]), full(p[1]), full(p[2])))
                        ++mismatches;
                }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(AviFileTest, UnsoundColourMasksAreRefused)
{
    struct Case
    {
        const char *what;
        QByteArray strf;
    };
    const int w = 8, h = 4;
    const Case cases[] = {
        {"a zero mask", maskedFormat(w, h, 16, 40, 0xF800, 0, 0x001F)},
        {"overlapping masks", maskedFormat(w, h, 16, 40, 0xF800, 0x0FE0, 0x001F)},
        {"a gap inside a mask", maskedFormat(w, h, 32, 40, 0xFF0000, 0xF00F, 0xFF)},
        {"a mask past 16 bits", maskedFormat(w, h, 16, 40, 0x1F0000, 0x07E0, 0x001F)},
        {"masks cut off", maskedFormat(w, h, 16, 40, 0xF800, 0x07E0, 0x001F).left(46)},
        {"masks on 24-bit pixels", maskedFormat(w, h, 24, 40, 0xFF0000, 0xFF00, 0xFF)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray file = handMadeAvi(c.strf, {QByteArray(w * h * 4, '\x5A')}, Index::FromMovi);
        QBuffer dev(&file);
        dev.open(QIODevice::ReadOnly);
        TAviFileReader reader;
        try {
            reader.Open(dev);
            ADD_FAILURE() << "accepted";
        } catch (const EAviError &e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QLatin1String("mask"))) << e.what();
        }
    }
}

TEST(AviFrameRows, ReadStraightIntoThePictureAsStored)
{
    // Frames read from a file by position (rows straight into the picture,
    // bottom-up ones turned upright) against the bytes as they were stored,
    // and against the same file read through a device. The tall case has
    // more rows than one vector read takes.
    struct Case
    {
        const char *what;
        int w, h, bits;
        bool topDown;
        Index index;
        bool repeat; // frame 1 is an empty chunk: frame 0 again
    };
    const Case cases[] = {
        {"8 bits bottom-up", 37, 23, 8, false, Index::FromMovi, false},
        {"8 bits top-down, no index", 37, 23, 8, true, Index::None, true},
        {"8 bits bottom-up, index with a repeat", 37, 23, 8, false, Index::FromMovi, true},
        {"8 bits bottom-up, padding behind the last frame", 37, 23, 8, false, Index::Padded, false},
        {"16 bits bottom-up, index with sound", 21, 9, 16, false, Index::WithSound, false},
        {"24 bits top-down", 37, 23, 24, true, Index::FromFileStart, false},
        {"24 bits bottom-up, wide and tall", 530, 1100, 24, false, Index::FromMovi, false},
        {"32 bits bottom-up", 19, 7, 32, false, Index::FromMovi, false},
    };
    const QString dir = zktest::scratchDir("avistraight");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int rowBytes = c.w * c.bits / 8, stride = (rowBytes + 3) & ~3;
        QByteArray strf(40, '\0');
        qToLittleEndian<quint32>(40, strf.data());
        qToLittleEndian<quint32>(quint32(c.w), strf.data() + 4);
        qToLittleEndian<qint32>(c.topDown ? -c.h : c.h, strf.data() + 8);
        qToLittleEndian<quint32>(1 | (quint32(c.bits) << 16), strf.data() + 12);
        if (c.bits == 8)
            for (int i = 0; i < 256; ++i) // grey palette: B, G, R, 0
                strf += QByteArray(3, char(i)) + QByteArray(1, '\0');
        std::vector<QByteArray> frames(3);
        for (int f = 0; f < 3; ++f) {
            if (f == 1 && c.repeat)
                continue;
            frames[std::size_t(f)].resize(stride * c.h);
            for (int i = 0; i < stride * c.h; ++i)
                frames[std::size_t(f)][i] = char((i * 7 + i / stride * 13 + f * 101) & 0xFF);
        }
        QByteArray bytes = handMadeAvi(strf, frames, c.index);
        const QString file = dir + "/straight.avi";
        ASSERT_TRUE(zktest::writeBytes(file, bytes));
        QBuffer dev(&bytes);
        dev.open(QIODevice::ReadOnly);
        TAviFileReader byPosition, byDevice;
        byPosition.Open(file);
        byDevice.Open(dev);
        ASSERT_EQ(byPosition.FrameCount(), 3);
        for (int f = 0; f < 3; ++f) {
            const QByteArray &stored = frames[std::size_t(f == 1 && c.repeat ? 0 : f)];
            const TBitmap a = byPosition.Frame(f), b = byDevice.Frame(f);
            ASSERT_EQ(a.Height(), c.h);
            int wrong = 0;
            for (int y = 0; y < c.h; ++y) {
                QByteArray want = stored.mid((c.topDown ? y : c.h - 1 - y) * stride, rowBytes);
                for (int x = 0; x < c.w; ++x) {
                    if (c.bits == 16) // the unused top bit is cleared
                        want[2 * x + 1] = char(want[2 * x + 1] & 0x7F);
                    if (c.bits == 32) // and 32-bit pixels are opaque
                        want[4 * x + 3] = char(0xFF);
                }
                const auto row = [&](const TBitmap &p) {
                    return QByteArray(reinterpret_cast<const char *>(p.ScanLine(y)), rowBytes);
                };
                wrong += row(a) != want;
                wrong += row(b) != want;
            }
            EXPECT_EQ(wrong, 0) << "frame " << f;
        }
    }
}

TEST(AviFrameRows, AFileCutAfterOpeningFailsCleanly)
{
    const QString file = zktest::scratchDir("avicut") + "/cut.avi";
    ASSERT_TRUE(zktest::writeBytes(file, threeFrameAvi(64, 40, [](int) { return TBitmap(64, 40, pf24bit); })));
    TAviFileReader reader;
    reader.Open(file);
    ASSERT_EQ(reader.FrameCount(), 3);
    // Cut halfway through the second frame's pixels while the reader holds
    // the file. They follow the first frame's chunk and their own 8-byte
    // header; a one-frame file ends there with the index (8 + 16 bytes).
    const qint64 secondPixels = AviFileSize(64, 40, 1) - 8 - 16 + 8;
    ASSERT_TRUE(QFile::resize(file, secondPixels + AviFrameBytes(64, 40) / 2));
    EXPECT_NO_THROW(reader.Frame(0));
    try {
        reader.Frame(1);
        ADD_FAILURE() << "a cut frame was read";
    } catch (const EAviError &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QLatin1String("truncated"))) << e.what();
    }
}
