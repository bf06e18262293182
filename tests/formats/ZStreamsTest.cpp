#include "PngTestKit.h"
#include "ZStreams.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <random>

using namespace zk;

namespace {

QByteArray sampleBytes(int n, unsigned seed = 7)
{
    // Compressible but not trivial: runs and noise mixed.
    std::mt19937 rng(seed);
    QByteArray b;
    b.reserve(n);
    while (b.size() < n) {
        const int run = int(rng() % 40) + 1;
        const char v = char(rng() % 8 == 0 ? rng() : 'a' + rng() % 4);
        b.append(QByteArray(std::min(run, n - int(b.size())), v));
    }
    return b;
}

QByteArray compressWith(const QByteArray &raw, TZCompressionLevel level, int *progressCalls = nullptr)
{
    QByteArray out;
    QBuffer dest(&out);
    dest.open(QIODevice::WriteOnly);
    {
        TZCompressionStream z(&dest, level);
        if (progressCalls)
            z.OnProgress = [progressCalls](TCustomZStream &) { ++*progressCalls; };
        // Odd slice sizes so buffer boundaries fall mid-write.
        for (qsizetype at = 0; at < raw.size(); at += 7777)
            EXPECT_EQ(z.Write(raw.constData() + at, std::min<qsizetype>(7777, raw.size() - at)),
                      std::min<qsizetype>(7777, raw.size() - at));
    } // the destructor finishes the stream
    return out;
}

} // namespace

TEST(ZStreams, CompressedOutputInflatesWithZlibAtEveryLevel)
{
    const QByteArray raw = sampleBytes(300000);
    QByteArray none, max;
    for (auto level : {TZCompressionLevel::zcNone, TZCompressionLevel::zcFastest,
                       TZCompressionLevel::zcDefault, TZCompressionLevel::zcMax}) {
        const QByteArray z = compressWith(raw, level);
        EXPECT_EQ(pngkit::inflateBytes(z), raw);
        if (level == TZCompressionLevel::zcNone)
            none = z;
        if (level == TZCompressionLevel::zcMax)
            max = z;
    }
    // Level "none" stores, level "max" really compresses.
    EXPECT_GT(none.size(), raw.size());
    EXPECT_LT(max.size(), raw.size() / 3);
}

TEST(ZStreams, DecompressionReadsZlibOutputInAnySliceSize)
{
    const QByteArray raw = sampleBytes(200000, 3);
    QByteArray z = pngkit::deflateBytes(raw);
    for (int slice : {1, 13, 4096, 65536, 1 << 20}) {
        QBuffer src(&z);
        src.open(QIODevice::ReadOnly);
        TZDecompressionStream d(&src);
        QByteArray got;
        QByteArray buf(slice, '\0');
        qint64 n;
        while ((n = d.Read(buf.data(), slice)) > 0)
            got.append(buf.constData(), n);
        EXPECT_EQ(got, raw) << "slice " << slice;
        EXPECT_TRUE(d.StreamEnded());
        EXPECT_EQ(d.Position(), raw.size());
    }
}

TEST(ZStreams, WrongDirectionAndBackwardSeeksRaise)
{
    QByteArray sink;
    QBuffer dest(&sink);
    dest.open(QIODevice::WriteOnly);
    TZCompressionStream c(&dest);
    char b[4] = {1, 2, 3, 4};
    try {
        c.Read(b, 4);
        FAIL() << "Read on a compression stream succeeded";
    } catch (const EZCompressionError &e) {
        EXPECT_EQ(e.message(), "Invalid ZStream operation!");
    }
    c.Write(b, 4);
    EXPECT_EQ(c.Seek(0, TSeekOrigin::soCurrent), 4);
    EXPECT_THROW(c.Seek(1, TSeekOrigin::soCurrent), EZCompressionError);
    EXPECT_THROW(c.Seek(0, TSeekOrigin::soBeginning), EZCompressionError);
    // Through QIODevice as well: the call reaches us and raises.
    EXPECT_THROW(c.read(b, 4), EZCompressionError);

    QByteArray z = pngkit::deflateBytes(QByteArray("0123456789abcdef"));
    QBuffer src(&z);
    src.open(QIODevice::ReadOnly);
    TZDecompressionStream d(&src);
    EXPECT_THROW(d.Write(b, 4), EZDecompressionError);
    EXPECT_THROW(d.write(b, 4), EZDecompressionError);
    char got[4];
    ASSERT_EQ(d.Read(got, 4), 4);
    EXPECT_THROW(d.Seek(-1, TSeekOrigin::soCurrent), EZDecompressionError);
    EXPECT_THROW(d.Seek(2, TSeekOrigin::soBeginning), EZDecompressionError);
    EXPECT_THROW(d.Seek(0, TSeekOrigin::soEnd), EZDecompressionError);
}

TEST(ZStreams, SeekingRestartsOrSkipsAndThePositionOfTheSourceIsKept)
{
    const QByteArray raw = sampleBytes(150000, 11);
    QByteArray z = pngkit::deflateBytes(raw);
    QByteArray file = QByteArray("HEAD") + z;
    QBuffer src(&file);
    src.open(QIODevice::ReadOnly);
    src.seek(4);
    TZDecompressionStream d(&src);
    QByteArray a(1000, '\0');
    ASSERT_EQ(d.Read(a.data(), 1000), 1000);
    EXPECT_EQ(a, raw.left(1000));
    // Someone else moves the source between our reads: we carry on.
    src.seek(0);
    ASSERT_EQ(d.Read(a.data(), 1000), 1000);
    EXPECT_EQ(a, raw.mid(1000, 1000));
    EXPECT_EQ(d.Seek(5000, TSeekOrigin::soCurrent), 7000);
    ASSERT_EQ(d.Read(a.data(), 1000), 1000);
    EXPECT_EQ(a, raw.mid(7000, 1000));
    EXPECT_EQ(d.Seek(0, TSeekOrigin::soBeginning), 0);
    ASSERT_EQ(d.Read(a.data(), 1000), 1000);
    EXPECT_EQ(a, raw.left(1000));
    EXPECT_EQ(d.Seek(100000, TSeekOrigin::soBeginning), 100000);
    ASSERT_EQ(d.Read(a.data(), 1000), 1000);
    EXPECT_EQ(a, raw.mid(100000, 1000));
}

TEST(ZStreams, DamagedDataRaisesWithZlibsTextAndShortDataStopsShort)
{
    const QByteArray raw = sampleBytes(100000, 5);
    QByteArray z = pngkit::deflateBytes(raw);
    QByteArray bad = z;
    bad[0] = char(0x77); // not a zlib header
    {
        QBuffer src(&bad);
        src.open(QIODevice::ReadOnly);
        TZDecompressionStream d(&src);
        QByteArray buf(1000, '\0');
        try {
            d.Read(buf.data(), 1000);
            FAIL() << "a broken header was accepted";
        } catch (const EZDecompressionError &e) {
            EXPECT_EQ(e.message(), QString::fromLatin1("incorrect header check"));
        }
    }
    QByteArray cut = z.left(z.size() / 2);
    {
        QBuffer src(&cut);
        src.open(QIODevice::ReadOnly);
        TZDecompressionStream d(&src);
        QByteArray buf(raw.size(), '\0');
        const qint64 got = d.Read(buf.data(), raw.size());
        EXPECT_GT(got, 0);
        EXPECT_LT(got, raw.size());
        EXPECT_FALSE(d.StreamEnded());
        EXPECT_EQ(buf.left(got), raw.left(got));
    }
}

TEST(ZStreams, ProgressFollowsEveryFullBuffer)
{
    // Stored (level none) output is a little larger than the input, so
    // 5 * 64 KB of input fills at least five buffers.
    const QByteArray raw = sampleBytes(5 * 65536, 9);
    int calls = 0;
    const QByteArray z = compressWith(raw, TZCompressionLevel::zcNone, &calls);
    EXPECT_EQ(calls, int(z.size() / 65536));

    QByteArray zz = z;
    QBuffer src(&zz);
    src.open(QIODevice::ReadOnly);
    TZDecompressionStream d(&src);
    int reads = 0;
    d.OnProgress = [&reads](TCustomZStream &) { ++reads; };
    QByteArray all(raw.size(), '\0');
    EXPECT_EQ(d.Read(all.data(), raw.size()), raw.size());
    EXPECT_EQ(reads, int((z.size() + 65535) / 65536));
}
