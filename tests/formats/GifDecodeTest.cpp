// Our decoder against giflib: files giflib wrote, hand-made code streams and
// the odd layouts real files come in.
#include "GIFImage.h"
#include "GifTestKit.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;
using namespace gifkit;

namespace {

void expectSameAsGiflib(const TGIFImage &img, const giforacle::Gif &ref)
{
    ASSERT_TRUE(ref.ok) << ref.error.toStdString();
    EXPECT_EQ(img.Width(), ref.width);
    EXPECT_EQ(img.Height(), ref.height);
    EXPECT_EQ(img.Header().ColorMap().ExportPalette(), ref.globalMap.mid(0, img.Header().ColorMap().Count()));
    ASSERT_EQ(img.Images().Count(), ref.frames.size());
    for (int i = 0; i < ref.frames.size(); ++i) {
        const TGIFSubImage &f = *img.Images()[i];
        const giforacle::Frame &r = ref.frames[i];
        EXPECT_EQ(f.Left(), r.left);
        EXPECT_EQ(f.Top(), r.top);
        EXPECT_EQ(f.Width(), r.width);
        EXPECT_EQ(f.Height(), r.height);
        EXPECT_EQ(f.Interlaced(), r.interlaced);
        EXPECT_EQ(f.ColorMap().ExportPalette(), r.localMap);
        EXPECT_EQ(frameBytes(f), r.indices) << "frame " << i;
    }
}

// Written back, giflib reads the same frames and extension blocks.
void expectSameWrittenBack(TGIFImage &img, const giforacle::Gif &ref)
{
    const giforacle::Gif again = giforacle::Read(img.SaveToBytes());
    ASSERT_TRUE(again.ok);
    ASSERT_EQ(again.frames.size(), ref.frames.size());
    for (int i = 0; i < ref.frames.size(); ++i) {
        ASSERT_EQ(again.frames[i].exts.size(), ref.frames[i].exts.size()) << i;
        for (int j = 0; j < ref.frames[i].exts.size(); ++j) {
            EXPECT_EQ(again.frames[i].exts[j].function, ref.frames[i].exts[j].function);
            EXPECT_EQ(again.frames[i].exts[j].bytes, ref.frames[i].exts[j].bytes);
        }
        EXPECT_EQ(again.frames[i].indices, ref.frames[i].indices);
    }
}

struct DecodeCase
{
    int colors;
    int width, height;
    bool interlaced;
    bool local;
    int frames;
};

class GifDecodeMatchesGiflib : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(GifDecodeMatchesGiflib, IndicesTablesAndDescriptors)
{
    const DecodeCase c = GetParam();
    std::mt19937 rng(uint32_t(c.colors * 977 + c.width * 31 + c.height + c.frames));
    giforacle::Gif src;
    src.width = c.width + 3;
    src.height = c.height + 2;
    if (!c.local)
        src.globalMap = randomMap(rng, c.colors);
    for (int i = 0; i < c.frames; ++i) {
        giforacle::Frame f;
        f.left = i;
        f.top = i % 3;
        f.width = c.width;
        f.height = c.height;
        f.interlaced = c.interlaced;
        if (c.local)
            f.localMap = randomMap(rng, c.colors);
        f.indices = randomIndices(rng, c.width * c.height, c.colors);
        src.frames.append(f);
    }
    const QByteArray file = giforacle::Write(src);
    ASSERT_FALSE(file.isEmpty());
    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    EXPECT_TRUE(l.warnings.isEmpty()) << l.warnings.join(QLatin1Char('|')).toStdString();
    const giforacle::Gif ref = giforacle::Read(file);
    expectSameAsGiflib(img, ref);
    for (int i = 0; i < c.frames; ++i)
        EXPECT_EQ(frameBytes(*img.Images()[i]), src.frames[i].indices);
}

INSTANTIATE_TEST_SUITE_P(CodeSizesLayouts, GifDecodeMatchesGiflib,
                         ::testing::Values(DecodeCase{1, 17, 5, false, false, 1}, DecodeCase{2, 40, 9, true, false, 1},
                                           DecodeCase{3, 33, 17, false, true, 2}, DecodeCase{4, 64, 64, true, true, 1},
                                           DecodeCase{5, 19, 3, true, false, 1}, DecodeCase{8, 101, 23, false, false, 3},
                                           DecodeCase{16, 200, 150, false, true, 1}, DecodeCase{17, 7, 1, true, false, 1},
                                           DecodeCase{64, 311, 97, true, false, 1},
                                           DecodeCase{100, 128, 128, false, true, 2},
                                           DecodeCase{128, 1, 200, true, true, 1},
                                           DecodeCase{255, 256, 200, false, false, 1},
                                           DecodeCase{256, 640, 480, true, true, 1}));

// A stream that keeps emitting codes after the table is full, without a
// clear: the table stays as it is and codes stay 12 bits wide. The generator
// keeps its own copy of the table to know the expected pixels.
TEST(GifDecode, DeferredClearKeepsFullTable)
{
    std::mt19937 rng(7);
    const int clear = 4, eoi = 5;
    std::vector<QByteArray> table;
    for (int i = 0; i < clear; ++i)
        table.push_back(QByteArray(1, char(i)));
    table.resize(6);
    std::vector<std::pair<int, int>> codes{{clear, 3}};
    QByteArray expected;
    int size = 3, prev = -1, after = 0;
    const int width = 256;
    while (true) {
        int code;
        if (prev < 0) {
            code = int(rng() % 4);
        } else {
            const int free = int(table.size());
            const int r = int(rng() % 10);
            if (r < 3 || free < 8)
                code = int(rng() % 4);
            else if (r == 3 && free < 4096)
                code = free; // the string being defined right now
            else
                code = 6 + int(rng() % uint32_t(free - 6));
        }
        QByteArray s = code < int(table.size()) ? table[std::size_t(code)] : table[std::size_t(prev)] + table[std::size_t(prev)].left(1);
        if (prev >= 0 && table.size() < 4096) {
            table.push_back(table[std::size_t(prev)] + s.left(1));
            if (int(table.size()) == (1 << size) && size < 12)
                ++size;
        }
        // The size that applies to this code is the one before the entry.
        codes.push_back({code, 0});
        expected += s;
        prev = code;
        if (table.size() == 4096)
            ++after;
        if (after > 300 && expected.size() % width == 0)
            break;
        if (after > 300 && expected.size() % width > width - 4) {
            // pad the row with single pixels
            while (expected.size() % width != 0) {
                codes.push_back({0, 0});
                expected += '\0';
            }
            break;
        }
    }
    codes.push_back({eoi, 0});
    // Code widths: replay the decoder's growth.
    {
        int free = 6, sz = 3;
        bool first = true;
        codes[0].second = 3;
        for (std::size_t i = 1; i < codes.size(); ++i) {
            codes[i].second = sz;
            if (codes[i].first == eoi)
                break;
            if (!first && free < 4096) {
                ++free;
                if (free == (1 << sz) && sz < 12)
                    ++sz;
            }
            first = false;
        }
    }
    ASSERT_EQ(table.size(), 4096u);
    const int height = int(expected.size() / width);
    const QByteArray file = fileAround(width, height, 2, 2, subBlocks(packCodes(codes)));
    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    EXPECT_TRUE(l.warnings.isEmpty()) << l.warnings.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(img.Images().Count(), 1);
    EXPECT_EQ(frameBytes(*img.Images()[0]), expected);
    const giforacle::Gif ref = giforacle::Read(file);
    expectSameAsGiflib(img, ref);
}

TEST(GifDecode, TheLastCodeUsedRightAfterItIsDefined)
{
    // Two-bit pixels: literals fill the table up to 4095, then code 4095
    // comes while it is being defined (the string before it plus its own
    // first pixel), and once more after it; then the table is full.
    const int clear = 4, eoi = 5, width = 37;
    std::vector<std::pair<int, int>> codes{{clear, 3}};
    QByteArray expected;
    int free = 6, size = 3, prev = -1;
    const auto put = [&](int code, const QByteArray &pixels) {
        if (prev >= 0 && free < 4096) {
            ++free;
            codes.push_back({code, size});
            if (free == (1 << size) && size < 12)
                ++size;
        } else {
            codes.push_back({code, size});
        }
        expected += pixels;
        prev = code;
    };
    // A literal that differs from the one before it: the entries are pairs
    // never used again.
    for (int i = 0; free < 4095 || prev < 0; ++i) {
        const int pixel = (i * 7 + i / 5) % 4;
        put(pixel, QByteArray(1, char(pixel)));
    }
    ASSERT_EQ(free, 4095);
    const char last = expected.back();
    const QByteArray defined = QByteArray(1, last) + last; // the previous literal, then its first pixel
    put(4095, defined);
    put(4095, defined);
    while (expected.size() % width != 0)
        put(1, QByteArray(1, '\x01'));
    codes.push_back({eoi, 12});
    const QByteArray file = fileAround(width, int(expected.size() / width), 2, 2, subBlocks(packCodes(codes)));
    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    ASSERT_EQ(img.Images().Count(), 1);
    EXPECT_EQ(frameBytes(*img.Images()[0]), expected);
    expectSameAsGiflib(img, giforacle::Read(file));
}

// Codes split over many one- and two-byte sub-blocks decode as one stream.
TEST(GifDecode, CodesAcrossShortSubBlocks)
{
    std::mt19937 rng(3);
    giforacle::Gif src;
    src.width = 50;
    src.height = 40;
    src.globalMap = randomMap(rng, 32);
    giforacle::Frame f{0, 0, 50, 40, false, {}, randomIndices(rng, 2000, 32), {}};
    src.frames.append(f);
    const QByteArray normal = giforacle::Write(src);
    const giforacle::Gif ref = giforacle::Read(normal);
    ASSERT_TRUE(ref.ok);
    // Take the image data back out and cut it into 1- and 2-byte blocks.
    const qsizetype dataStart = 13 + 32 * 3 + 10; // header, table, descriptor
    ASSERT_EQ(uint8_t(normal[dataStart - 10]), 0x2C);
    QByteArray raw;
    qsizetype at = dataStart + 1;
    while (uint8_t(normal[at]) != 0) {
        raw += normal.mid(at + 1, uint8_t(normal[at]));
        at += 1 + uint8_t(normal[at]);
    }
    for (int blockSize : {1, 2, 3}) {
        const QByteArray file = normal.left(dataStart + 1) + subBlocks(raw, blockSize) + QByteArray(1, char(0x3B));
        TGIFImage img;
        const Loaded l = load(img, file);
        ASSERT_TRUE(l.error.isEmpty());
        EXPECT_TRUE(l.warnings.isEmpty());
        expectSameAsGiflib(img, giforacle::Read(file));
        EXPECT_EQ(frameBytes(*img.Images()[0]), f.indices);
    }
}

// An end code or the end of the file before the last pixel: what was
// decoded stays, the rest keeps the fill value.
TEST(GifDecode, EarlyEndKeepsDecodedPixels)
{
    // 6x2, codes 1 2 3 then the end: 3 pixels, then zeros.
    const std::vector<std::pair<int, int>> codes{{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}};
    const QByteArray want("\x01\x02\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12);
    {
        TGIFImage img;
        const Loaded l = load(img, fileAround(6, 2, 2, 2, subBlocks(packCodes(codes))));
        ASSERT_TRUE(l.error.isEmpty());
        EXPECT_EQ(frameBytes(*img.Images()[0]), want);
    }
    {
        // The file ends inside the data: no terminator, no trailer.
        std::vector<std::pair<int, int>> cut(codes.begin(), codes.end() - 1);
        TGIFImage img;
        const Loaded l = load(img, fileAround(6, 2, 2, 2, subBlocks(packCodes(cut), 255, false), false));
        ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
        EXPECT_EQ(frameBytes(*img.Images()[0]), want);
    }
    {
        // The data ends (terminator) before the last pixel: a warning.
        std::vector<std::pair<int, int>> cut(codes.begin(), codes.end() - 1);
        TGIFImage img;
        const Loaded l = load(img, fileAround(6, 2, 2, 2, subBlocks(packCodes(cut))));
        ASSERT_TRUE(l.error.isEmpty());
        EXPECT_EQ(l.warnings, QStringList{GIFMessage(TGIFMsg::DecoderUnderrun)});
        EXPECT_EQ(frameBytes(*img.Images()[0]), want);
    }
}

// A first code that is not a clear decodes as if a clear came before it.
TEST(GifDecode, MissingInitialClear)
{
    const std::vector<std::pair<int, int>> codes{{1, 3}, {2, 3}, {6, 3}, {5, 3}};
    TGIFImage img;
    const QByteArray file = fileAround(4, 1, 2, 2, subBlocks(packCodes(codes)));
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty());
    EXPECT_EQ(frameBytes(*img.Images()[0]), QByteArray("\x01\x02\x01\x02", 4));
    expectSameAsGiflib(img, giforacle::Read(file));
}

// Layouts giflib reads only in their clean form: the same frames come out.
TEST(GifDecode, OddLayoutsLoadLikeTheCleanFile)
{
    std::mt19937 rng(11);
    giforacle::Gif src;
    src.width = 30;
    src.height = 20;
    src.globalMap = randomMap(rng, 16);
    for (int i = 0; i < 2; ++i)
        src.frames.append({0, 0, 30, 20, i == 1, {}, randomIndices(rng, 600, 16), {}});
    const QByteArray clean = giforacle::Write(src);
    const giforacle::Gif ref = giforacle::Read(clean);
    // Where the second frame starts: after the first frame's terminator.
    const QList<qsizetype> blocks = blockOffsets(clean);
    ASSERT_EQ(blocks.size(), 3);
    const qsizetype second = blocks[1];
    struct Variant
    {
        const char *name;
        QByteArray bytes;
    };
    QByteArray lower = clean;
    lower.replace(0, 3, "gif");
    const Variant variants[] = {
        {"garbage after trailer", clean + QByteArray("\x01\x02garbage\x2C\x21", 11)},
        {"zero bytes between blocks", clean.left(second) + QByteArray(5, '\0') + clean.mid(second)},
        {"four bytes before the signature", QByteArray("\x7F\x01\x02\x03", 4) + clean},
        {"lower-case signature", lower},
        {"missing trailer", clean.left(clean.size() - 1)},
    };
    for (const Variant &v : variants) {
        SCOPED_TRACE(v.name);
        TGIFImage img;
        const Loaded l = load(img, v.bytes);
        ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
        EXPECT_TRUE(l.warnings.isEmpty()) << l.warnings.join(QLatin1Char('|')).toStdString();
        expectSameAsGiflib(img, ref);
    }
}

// Comment, plain-text, application and loop extensions as gifbuild writes
// them, compared field by field with what giflib reads.
TEST(GifDecode, ExtensionsFromGifbuild)
{
    QTemporaryDir dir;
    const QByteArray script = "screen width 4\nscreen height 2\nscreen map\nrgb 0 0 0 is a\nrgb 255 255 255 is b\n"
                            "rgb 255 0 0 is c\nend\nnetscape loop 3\ncomment\nHello world\nsecond line\nend\n"
                            "image\nimage left 0\nimage top 0\nimage bits 4 by 2\nabca\ncbab\n"
                            "plaintext\n\\000\\000\\001\\000\\004\\000\\002\\000\\010\\011\\001\\002\nSome text\nend\n"
                            "extension ff\nABCDEFGHXYZ\n\\001\\002\\003\nend\n"
                            "graphics control\ndisposal mode 2\ndelay 10\ntransparent index 1\nend\n"
                            "image\nimage bits 4 by 2\naaaa\nbbbb\n";
    QProcess p;
    p.start(QStringLiteral("gifbuild"), {});
    ASSERT_TRUE(p.waitForStarted());
    p.write(script);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished());
    const QByteArray file = p.readAllStandardOutput();
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const giforacle::Gif ref = giforacle::Read(file);
    ASSERT_TRUE(ref.ok);

    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    EXPECT_TRUE(l.warnings.isEmpty()) << l.warnings.join(QLatin1Char('|')).toStdString();
    expectSameAsGiflib(img, ref);
    ASSERT_EQ(img.Images().Count(), 2);
    const TGIFExtensionList &first = img.Images()[0]->Extensions();
    ASSERT_EQ(first.Count(), 2);
    auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(first[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->Loops, 3);
    auto *comment = dynamic_cast<TGIFCommentExtension *>(first[1]);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Comment, QStringList({"Hello world", "second line"}));

    const TGIFExtensionList &second = img.Images()[1]->Extensions();
    ASSERT_EQ(second.Count(), 3);
    auto *text = dynamic_cast<TGIFTextExtension *>(second[0]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GridLeft, 0);
    EXPECT_EQ(text->GridTop, 1);
    EXPECT_EQ(text->GridWidth, 4);
    EXPECT_EQ(text->GridHeight, 2);
    EXPECT_EQ(text->CharWidth, 8);
    EXPECT_EQ(text->CharHeight, 9);
    EXPECT_EQ(text->ForegroundIndex, 1);
    EXPECT_EQ(text->BackgroundIndex, 2);
    EXPECT_EQ(text->Text, QStringList{"Some text"});
    auto *app = dynamic_cast<TGIFUnknownAppExtension *>(second[1]);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(app->Identifier.data()), 11), "ABCDEFGHXYZ");
    ASSERT_EQ(app->Blocks.size(), 1u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(app->Blocks[0]->Data.data()), 3), "\x01\x02\x03");
    auto *gce = dynamic_cast<TGIFGraphicControlExtension *>(second[2]);
    ASSERT_NE(gce, nullptr);
    EXPECT_EQ(img.Images()[1]->GraphicControlExtension(), gce);
    EXPECT_EQ(gce->Disposal(), 2);
    EXPECT_EQ(gce->Delay(), 10);
    EXPECT_TRUE(gce->Transparent());
    EXPECT_EQ(gce->TransparentColorIndex(), 1);
    EXPECT_TRUE(img.Images()[1]->Transparent());

    expectSameWrittenBack(img, ref);
}

// An animation as ImageMagick writes it: frames of their own size and place,
// delays, transparency, a loop count and a comment.
TEST(GifDecode, AnimationFromImageMagick)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("anim.gif"));
    QProcess p;
    p.start(QStringLiteral("/usr/bin/convert"),
            {"-delay", "20", "-size", "60x40", "plasma:fractal", "-page", "+10+5", "-size", "30x20",
             "gradient:red-blue", "-page", "+20+10", "-size", "25x25", "xc:none", "-fill", "green", "-draw",
             "circle 12,12 12,3", "-loop", "2", "-set", "comment", "im frames", path});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    const giforacle::Gif ref = giforacle::Read(file);
    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    EXPECT_TRUE(l.warnings.isEmpty()) << l.warnings.join(QLatin1Char('|')).toStdString();
    expectSameAsGiflib(img, ref);
    ASSERT_EQ(img.Images().Count(), 3);
    EXPECT_EQ(img.Images()[2]->BoundsRect(), QRect(20, 10, 25, 25));
    EXPECT_TRUE(img.Images()[2]->Transparent());
    EXPECT_EQ(img.Images()[1]->GraphicControlExtension()->Delay(), 20);
    int loops = -1;
    for (int i = 0; i < img.Images()[0]->Extensions().Count(); ++i)
        if (auto *ns = dynamic_cast<TGIFAppExtNSLoop *>(img.Images()[0]->Extensions()[i]))
            loops = ns->Loops;
    ASSERT_EQ(ref.frames[0].exts[3].bytes.size(), 3);
    EXPECT_EQ(loops, uint8_t(ref.frames[0].exts[3].bytes[1]) | uint8_t(ref.frames[0].exts[3].bytes[2]) << 8);
    expectSameWrittenBack(img, ref);
}

} // namespace
