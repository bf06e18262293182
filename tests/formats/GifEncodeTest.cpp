// Both encoders: every file decodes in giflib to the indices we wrote, and
// the byte-level details of the written file are pinned.
#include "GIFImage.h"
#include "GifLzw.h"
#include "GifTestKit.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace zk;
using namespace gifkit;

namespace {

// A frame of `w` x `h` with the given indices, added to the image.
TGIFSubImage &addFrame(TGIFImage &img, int w, int h, const QByteArray &indices, bool interlaced = false)
{
    auto frame = std::make_unique<TGIFSubImage>(&img);
    frame->SetBounds(0, 0, w, h);
    std::memcpy(frame->Data(), indices.constData(), size_t(indices.size()));
    frame->SetInterlaced(interlaced);
    TGIFSubImage &ref = *frame;
    img.Images().Add(std::move(frame));
    return ref;
}

void fillMap(TGIFColorMap &map, std::mt19937 &rng, int colors)
{
    for (int i = 0; i < colors; ++i)
        map.Add(TColor(rng() & 0xFFFFFF));
}

// The image data of the first frame of a file we wrote: code size and the
// joined sub-blocks (with the block lengths seen).
struct ImageData
{
    int codeSize = 0;
    QByteArray bytes;
    QList<int> blockLengths;
};

ImageData firstImageData(const QByteArray &file)
{
    ImageData d;
    for (qsizetype at : blockOffsets(file)) {
        if (uint8_t(file[at]) != 0x2C)
            continue;
        const uint8_t packed = uint8_t(file[at + 9]);
        qsizetype i = at + 10 + ((packed & 0x80) ? 3 * (2 << (packed & 7)) : 0);
        d.codeSize = uint8_t(file[i++]);
        while (uint8_t(file[i]) != 0) {
            const int n = uint8_t(file[i]);
            d.blockLengths.append(n);
            d.bytes += file.mid(i + 1, n);
            i += 1 + n;
        }
        break;
    }
    return d;
}

// A plain reference reader of the code stream: the codes with their widths,
// the decoder's next free code at each clear, and the pixels in stream order.
struct CodeTrace
{
    QList<int> widths;
    QList<int> freeAtClear;
    QByteArray pixels;
};

CodeTrace traceCodes(const ImageData &d)
{
    CodeTrace t;
    const int clear = 1 << d.codeSize, eoi = clear + 1;
    std::vector<QByteArray> table;
    int size = d.codeSize + 1, prev = -1;
    qint64 bit = 0;
    const qint64 bits = d.bytes.size() * 8;
    const auto reset = [&] {
        table.clear();
        for (int i = 0; i < clear + 2; ++i)
            table.push_back(QByteArray(1, char(i < clear ? i : 0)));
        size = d.codeSize + 1;
        prev = -1;
    };
    reset();
    while (bit + size <= bits) {
        int code = 0;
        for (int k = 0; k < size; ++k, ++bit)
            code |= ((uint8_t(d.bytes[bit >> 3]) >> (bit & 7)) & 1) << k;
        t.widths.append(size);
        if (code == clear) {
            t.freeAtClear.append(int(table.size()));
            reset();
            continue;
        }
        if (code == eoi)
            break;
        QByteArray s;
        if (code < int(table.size()))
            s = table[size_t(code)];
        else if (prev >= 0)
            s = table[size_t(prev)] + table[size_t(prev)].left(1);
        else
            break;
        if (prev >= 0 && table.size() < 4096) {
            table.push_back(table[size_t(prev)] + s.left(1));
            if (int(table.size()) == (1 << size) && size < 12)
                ++size;
        }
        t.pixels += s;
        prev = code;
    }
    return t;
}

struct EncodeCase
{
    uint8_t compression;
    int colors;
    bool interlaced;
    bool local;
};

class GifEncodersDecodeInGiflib : public ::testing::TestWithParam<EncodeCase>
{
};

TEST_P(GifEncodersDecodeInGiflib, SameIndices)
{
    const EncodeCase c = GetParam();
    std::mt19937 rng(uint32_t(c.colors * 13 + c.compression * 7 + c.interlaced));
    std::uniform_int_distribution<int> dim(1, 180);
    for (int round = 0; round < 3; ++round) {
        const int w = dim(rng), h = dim(rng);
        TGIFImage img;
        img.Compression = c.compression;
        if (!c.local)
            fillMap(img.Header().ColorMap(), rng, c.colors);
        // Long runs for the run-length paths, noise for the string table.
        QByteArray idx = round == 2 ? QByteArray(w * h, char(c.colors - 1)) : randomIndices(rng, w * h, c.colors);
        TGIFSubImage &f = addFrame(img, w, h, idx, c.interlaced);
        if (c.local)
            fillMap(f.ColorMap(), rng, c.colors);
        const QByteArray file = img.SaveToBytes();
        const giforacle::Gif ref = giforacle::Read(file);
        ASSERT_TRUE(ref.ok) << ref.error.toStdString() << " " << w << "x" << h;
        ASSERT_EQ(ref.frames.size(), 1);
        EXPECT_EQ(ref.frames[0].indices, idx) << w << "x" << h;
        EXPECT_EQ(ref.frames[0].interlaced, c.interlaced && !c.local);
        const int bits = std::max(2, ColorCountToBits(c.colors));
        const ImageData d = firstImageData(file);
        EXPECT_EQ(d.codeSize, bits);
        const CodeTrace t = traceCodes(d);
        for (int wdt : t.widths)
            ASSERT_LE(wdt, 12);
        TGIFImage back;
        ASSERT_TRUE(load(back, file).error.isEmpty());
        EXPECT_EQ(frameBytes(*back.Images()[0]), idx);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, GifEncodersDecodeInGiflib,
    ::testing::Values(EncodeCase{gcLZW, 2, false, false}, EncodeCase{gcLZW, 3, true, false},
                      EncodeCase{gcLZW, 7, false, true}, EncodeCase{gcLZW, 16, true, false},
                      EncodeCase{gcLZW, 32, false, true}, EncodeCase{gcLZW, 64, true, false},
                      EncodeCase{gcLZW, 100, false, false}, EncodeCase{gcLZW, 256, true, false},
                      EncodeCase{gcLZW, 256, false, true}, EncodeCase{gcRLE, 2, false, false},
                      EncodeCase{gcRLE, 4, true, false}, EncodeCase{gcRLE, 5, false, true},
                      EncodeCase{gcRLE, 16, true, false}, EncodeCase{gcRLE, 31, false, false},
                      EncodeCase{gcRLE, 64, false, true}, EncodeCase{gcRLE, 128, true, false},
                      EncodeCase{gcRLE, 256, false, false}, EncodeCase{gcRLE, 256, true, true}));

TEST(GifEncode, TwoColoursUseCodeSizeTwo)
{
    for (uint8_t compression : {gcLZW, gcRLE}) {
        TGIFImage img;
        img.Compression = compression;
        img.Header().ColorMap().Add(0);
        img.Header().ColorMap().Add(0xFFFFFF);
        addFrame(img, 8, 2, QByteArray("\x00\x01\x01\x00\x01\x01\x01\x00\x00\x00\x01\x01\x00\x01\x00\x01", 16));
        const ImageData d = firstImageData(img.SaveToBytes());
        EXPECT_EQ(d.codeSize, 2);
        ASSERT_FALSE(d.bytes.isEmpty());
        EXPECT_EQ(uint8_t(d.bytes[0]) & 7, 4) << "a clear code of 4 in 3 bits";
        const CodeTrace t = traceCodes(d);
        EXPECT_EQ(t.widths.value(0), 3);
    }
}

TEST(GifEncode, LzwClearsWhenTheTableIsFullAndStaysAtTwelveBits)
{
    std::mt19937 rng(5);
    TGIFImage img;
    fillMap(img.Header().ColorMap(), rng, 256);
    QByteArray noise(300 * 200, '\0');
    for (char &ch : noise)
        ch = char(rng() & 0xFF);
    addFrame(img, 300, 200, noise);
    const CodeTrace t = traceCodes(firstImageData(img.SaveToBytes()));
    EXPECT_EQ(t.pixels, noise);
    ASSERT_GT(t.freeAtClear.size(), 3);
    // The first clear starts the stream; every later one comes when the next
    // free code has reached 4095.
    for (int i = 1; i < t.freeAtClear.size(); ++i)
        EXPECT_EQ(t.freeAtClear[i], 4095) << i;
    EXPECT_EQ(*std::max_element(t.widths.begin(), t.widths.end()), 12);
}

TEST(GifEncode, WriterCutsSubBlocksOf255)
{
    for (int n : {1, 254, 255, 256, 510, 511}) {
        TGIFOutStream out;
        {
            TGIFWriter w(out);
            for (int i = 0; i < n; ++i)
                w.WriteByte(uint8_t(i));
        }
        QList<int> lengths;
        qsizetype at = 0;
        QByteArray data;
        while (at < out.Size()) {
            const int len = uint8_t(out.Bytes()[at]);
            lengths.append(len);
            data += out.Bytes().mid(at + 1, len);
            at += 1 + len;
        }
        QList<int> want;
        for (int left = n; left > 0; left -= 255)
            want.append(std::min(left, 255));
        EXPECT_EQ(lengths, want) << n;
        EXPECT_EQ(data.size(), n);
    }
}

TEST(GifEncode, EncoderStreamRefusesAllButWriting)
{
    TGIFOutStream out;
    TGIFWriter w(out);
    char buf[4];
    for (const auto &op : {std::function<void()>([&] { w.Read(buf, 4); }), std::function<void()>([&] { w.Seek(0, 0); }),
                           std::function<void()>([&] { static_cast<TGIFStream &>(w).TGIFStream::Write(buf, 4); })}) {
        try {
            op();
            ADD_FAILURE() << "no exception";
        } catch (const EGIFStreamError &e) {
            EXPECT_STREQ(e.what(), "Invalid stream operation");
        }
    }
}

TEST(GifEncode, InterlacedRowsInPassOrder)
{
    EXPECT_EQ(FrameRowOrder(3, true), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(FrameRowOrder(10, true), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
    EXPECT_EQ(FrameRowOrder(1, true), (std::vector<int>{0}));
    for (uint8_t compression : {gcLZW, gcRLE}) {
        TGIFImage img;
        img.Compression = compression;
        for (int i = 0; i < 4; ++i)
            img.Header().ColorMap().Add(i * 0x111111);
        addFrame(img, 2, 3, QByteArray("\x01\x01\x02\x02\x03\x03", 6), true);
        const QByteArray file = img.SaveToBytes();
        EXPECT_EQ(traceCodes(firstImageData(file)).pixels, QByteArray("\x01\x01\x03\x03\x02\x02", 6));
        const giforacle::Gif ref = giforacle::Read(file);
        ASSERT_TRUE(ref.ok);
        EXPECT_EQ(ref.frames[0].indices, QByteArray("\x01\x01\x02\x02\x03\x03", 6));
        TGIFImage back;
        load(back, file);
        EXPECT_EQ(frameBytes(*back.Images()[0]), QByteArray("\x01\x01\x02\x02\x03\x03", 6));
    }
}

TEST(GifEncode, LongRunsFromTheRunLengthEncoder)
{
    for (int run : {2, 3, 1000, 5000, 100000}) {
        for (int colors : {2, 16, 256}) {
            TGIFImage img;
            img.Compression = gcRLE;
            std::mt19937 rng{uint32_t(run)};
            fillMap(img.Header().ColorMap(), rng, colors);
            // A run, a different pixel, the same run again (the table path).
            QByteArray idx = QByteArray(run, char(1)) + QByteArray(1, '\0') + QByteArray(run, char(1));
            const int w = std::min(int(idx.size()), 1000);
            idx += QByteArray((w - idx.size() % w) % w, char(1));
            addFrame(img, w, int(idx.size() / w), idx);
            const giforacle::Gif ref = giforacle::Read(img.SaveToBytes());
            ASSERT_TRUE(ref.ok) << run << " " << colors;
            EXPECT_EQ(ref.frames[0].indices, idx) << run << " " << colors;
        }
    }
}

TEST(GifEncode, RunLengthArithmetic)
{
    for (int x = 0; x < 100000; x += (x < 1000 ? 1 : 97))
        EXPECT_EQ(TRLEEncoder::IntegerSqrt(x), int(std::sqrt(double(x)))) << x;
    // Triangle: codes for runs 1, 2, ... of at most n, by counting.
    for (int n : {3, 10, 4000})
        for (int count = 0; count < 200; ++count) {
            int left = count, cost = 0, k = 1;
            while (left > 0) {
                left -= std::min(left, k);
                ++cost;
                k = k == n ? 1 : k + 1;
            }
            EXPECT_EQ(TRLEEncoder::Triangle(count, n), cost) << count << " " << n;
        }
}

TEST(GifEncode, PixelOutsideTheTableIsRefused)
{
    for (uint8_t compression : {gcLZW, gcRLE}) {
        TGIFImage img;
        img.Compression = compression;
        TGIFSubImage &f = addFrame(img, 3, 1, QByteArray("\x00\x01\x05", 3));
        for (int i = 0; i < 3; ++i)
            f.ColorMap().Add(i);
        try {
            img.SaveToBytes();
            ADD_FAILURE() << "saved";
        } catch (const GIFException &e) {
            EXPECT_EQ(e.message(), GIFMessage(TGIFMsg::ColorNotInTable));
        }
    }
}

// giftext and ImageMagick read what we write: comment, loop count, frames.
TEST(GifEncode, ToolsReadOurFiles)
{
    TGIFImage img;
    std::mt19937 rng(1);
    fillMap(img.Header().ColorMap(), rng, 16);
    TGIFSubImage &f1 = addFrame(img, 20, 10, randomIndices(rng, 200, 16));
    auto loop = std::make_unique<TGIFAppExtNSLoop>(&f1);
    loop->Loops = 5;
    f1.Extensions().Add(std::move(loop));
    auto comment = std::make_unique<TGIFCommentExtension>(&f1);
    comment->Comment = QStringList{"made by zelkora"};
    f1.Extensions().Add(std::move(comment));
    TGIFSubImage &f2 = addFrame(img, 7, 9, randomIndices(rng, 63, 16), true);
    f2.SetBounds(3, 1, 7, 9);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.gif"));
    img.SaveToFile(path);

    QProcess p;
    p.start(QStringLiteral("giftext"), {path});
    ASSERT_TRUE(p.waitForFinished());
    const QString text = QString::fromLatin1(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0);
    for (const char *want : {"GIF89 application block", "GIF89 comment", "Left = 3, Top = 1, Width = 7, Height = 9",
                             "Image is Interlaced", "GIF file terminated normally"})
        EXPECT_TRUE(text.contains(QLatin1String(want))) << want << "\n" << text.toStdString();

    p.start(QStringLiteral("/usr/bin/identify"), {QStringLiteral("-format"), QStringLiteral("%w %h %X %Y %[comment] %T|"), path});
    ASSERT_TRUE(p.waitForFinished());
    const QString id = QString::fromLatin1(p.readAllStandardOutput());
    EXPECT_TRUE(id.startsWith(QLatin1String("20 10 +0 +0 made by zelkora"))) << id.toStdString();
    EXPECT_TRUE(id.contains(QLatin1String("7 9 +3 +1"))) << id.toStdString();
}

// gif2rgb renders our file to the colours our indices stand for.
TEST(GifEncode, Gif2rgbSeesOurColours)
{
    for (uint8_t compression : {gcLZW, gcRLE}) {
        std::mt19937 rng(compression + 40u);
        TGIFImage img;
        img.Compression = compression;
        const QByteArray idx = randomIndices(rng, 33 * 21, 12);
        TGIFSubImage &f = addFrame(img, 33, 21, idx);
        fillMap(f.ColorMap(), rng, 12);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("c.gif"));
        img.SaveToFile(path);
        QProcess p;
        p.setStandardInputFile(path);
        p.start(QStringLiteral("gif2rgb"), {QStringLiteral("-1")});
        ASSERT_TRUE(p.waitForFinished());
        const QByteArray rgb = p.readAllStandardOutput();
        ASSERT_EQ(rgb.size(), idx.size() * 3) << p.readAllStandardError().toStdString();
        for (qsizetype i = 0; i < idx.size(); ++i) {
            const TColor c = f.ColorMap().Colors(uint8_t(idx[i]));
            ASSERT_EQ(RGBToTColor(uint8_t(rgb[i * 3]), uint8_t(rgb[i * 3 + 1]), uint8_t(rgb[i * 3 + 2])), c) << i;
        }
    }
}

} // namespace
