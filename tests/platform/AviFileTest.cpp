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
    QBuffer good;
    good.open(QIODevice::ReadWrite);
    {
        TAviFileWriter writer;
        writer.Open(good, 16, 8, 10, 3);
        for (int i = 0; i < 3; ++i)
            writer.WriteFrame(patternFrame(16, 8, i));
        writer.Finish();
    }
    const QByteArray bytes = good.data();
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
