// The object model of a GIF file: colour tables, header, extensions, frames,
// the block loop, warnings and progress.
#include "GIFImage.h"
#include "GifLzw.h"
#include "GifTestKit.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;
using namespace gifkit;

namespace {

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EGraphicError &e) {
        return e.message();
    }
    return {};
}

// A table outside an image, for the operations that need no frames.
struct LoneMap : TGIFColorMap
{
    QStringList warnings;
    int changes = 0;
    bool Optimize() override { return DoOptimize(); }
    void Warning(uint8_t, const QString &m) const override { const_cast<LoneMap *>(this)->warnings << m; }
    void BuildHistogram(std::vector<TUsageCount> &) override {}
    void MapImages(const std::vector<uint8_t> &) override {}
    void Changed() override { ++changes; }
};

TGIFSubImage &addFrame(TGIFImage &img, int w, int h, const QByteArray &indices = {})
{
    auto frame = std::make_unique<TGIFSubImage>(&img);
    frame->SetBounds(0, 0, w, h);
    if (!indices.isEmpty())
        std::memcpy(frame->Data(), indices.constData(), size_t(indices.size()));
    TGIFSubImage &ref = *frame;
    img.Images().Add(std::move(frame));
    return ref;
}

TEST(GifHelpers, BitsRowsAndWebPalette)
{
    const std::pair<int, int> bits[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {16, 4}, {17, 5}, {129, 8}, {256, 8}};
    for (auto [count, want] : bits)
        EXPECT_EQ(ColorCountToBits(count), want) << count;
    EXPECT_EQ(DibRowBytes(1, 1, 32), 4);
    EXPECT_EQ(DibRowBytes(33, 1, 32), 8);
    EXPECT_EQ(DibRowBytes(3, 24, 32), 12);
    EXPECT_EQ(DibRowBytes(5, 8, 8), 5);
    EXPECT_EQ(DibRowBytes(5, 4, 16), 4);
    const QVector<QRgb> web = CreateWebSafePalette();
    ASSERT_EQ(web.size(), 216);
    EXPECT_EQ(web[0], qRgb(0, 0, 0));
    EXPECT_EQ(web[1], qRgb(0, 0, 51));
    EXPECT_EQ(web[6], qRgb(0, 51, 0));
    EXPECT_EQ(web[36], qRgb(51, 0, 0));
    EXPECT_EQ(web[215], qRgb(255, 255, 255));
}

TEST(GifHelpers, SubBlockStrings)
{
    TGIFOutStream out;
    WriteSubBlockStrings(out, {QString(300, QLatin1Char('x')), QString(), QStringLiteral("ab")});
    const QByteArray b = out.Bytes();
    ASSERT_EQ(b.size(), 1 + 255 + 1 + 45 + 1 + 2 + 1);
    EXPECT_EQ(uint8_t(b[0]), 255);
    EXPECT_EQ(uint8_t(b[256]), 45);
    EXPECT_EQ(uint8_t(b[302]), 2);
    EXPECT_EQ(uint8_t(b[305]), 0);
    TGIFInStream in(b);
    QStringList lines{"old"};
    ReadSubBlockStrings(in, lines);
    EXPECT_EQ(lines, QStringList({QString(255, QLatin1Char('x')), QString(45, QLatin1Char('x')), "ab"}));
    // A block longer than the data left is an error, not a short read.
    const QByteArray shortBlock("\x05" "ab", 3);
    TGIFInStream cut(shortBlock);
    EXPECT_EQ(errorOf([&] { ReadSubBlockStrings(cut, lines); }), GIFMessage(TGIFMsg::PrematureEOF));
}

TEST(GifColorMap, AddIndexOfDeleteAndCapacity)
{
    LoneMap m;
    const std::pair<int, int> capacity[] = {{1, 16}, {16, 16}, {17, 32}, {33, 64}, {250, 256}, {256, 256}};
    for (auto [count, cap] : capacity) {
        m.Clear();
        for (int i = 0; i < count; ++i)
            m.Add(i);
        EXPECT_EQ(m.Capacity(), cap) << count;
    }
    EXPECT_EQ(errorOf([&] { m.Add(0); }), GIFMessage(TGIFMsg::ColorTableOverflow));
    m.Clear();
    m.Add(0x0000FF);
    m.Add(0x00FF00);
    m.Add(0x0000FF);
    EXPECT_EQ(m.IndexOf(0x0000FF), 2) << "the last entry wins while not optimised";
    m.SetOptimized(true);
    EXPECT_EQ(m.IndexOf(0x0000FF), 0) << "the first wins when optimised";
    EXPECT_EQ(m.IndexOf(0x123456), -1);
    EXPECT_EQ(m.AddUnique(0x00FF00), 1);
    EXPECT_EQ(m.AddUnique(0xABCDEF), 3);
    EXPECT_FALSE(m.Optimized());
    m.Delete(0);
    EXPECT_EQ(m.Count(), 3);
    EXPECT_EQ(m.Colors(0), 0x00FF00);
    EXPECT_EQ(errorOf([&] { m.Delete(3); }), GIFMessage(TGIFMsg::InvalidColor));
    EXPECT_EQ(m.Colors(7), 0x00FF00);
    EXPECT_EQ(m.warnings, QStringList{GIFMessage(TGIFMsg::InvalidColor)});
    m.Clear();
    EXPECT_EQ(errorOf([&] { m.Colors(0); }), GIFMessage(TGIFMsg::ColorTableEmpty));
}

TEST(GifColorMap, ImportsExportsAndStreams)
{
    LoneMap m;
    const uint8_t quads[] = {1, 2, 3, 0, 10, 20, 30, 0};
    m.ImportColorTable(quads, 2);
    EXPECT_EQ(m.ExportPalette(), (QVector<QRgb>{qRgb(3, 2, 1), qRgb(30, 20, 10)}));
    m.ImportPalette({qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9), qRgb(10, 11, 12), qRgb(13, 14, 15)});
    EXPECT_EQ(m.Colors(1), RGBToTColor(4, 5, 6));
    EXPECT_EQ(m.BitsPerPixel(), 3);
    TGIFOutStream out;
    m.SaveToStream(out);
    ASSERT_EQ(out.Size(), 8 * 3) << "5 colours as 8 triplets";
    EXPECT_EQ(out.Bytes().mid(15), QByteArray(9, '\0'));
    TGIFInStream in(out.Bytes());
    LoneMap back;
    back.LoadFromStream(in, 8);
    EXPECT_EQ(back.ExportPalette().mid(0, 5), m.ExportPalette());
    LoneMap copy;
    copy.Assign(m);
    EXPECT_EQ(copy.ExportPalette(), m.ExportPalette());
    TBitmap bmp(2, 2, pf8bit);
    bmp.SetPalette({qRgb(9, 9, 9), qRgb(8, 8, 8)});
    copy.ImportDIBColors(bmp);
    EXPECT_EQ(copy.ExportPalette(), bmp.Palette());
}

TEST(GifColorMap, OptimizeSortsByUseAndRemapsFrames)
{
    TGIFImage img;
    // Colour 2 most used, then 0; colour 1 never used; 3 once.
    TGIFSubImage &f = addFrame(img, 8, 1, QByteArray("\x02\x02\x02\x00\x00\x03\x02\x00", 8));
    for (TColor c : {0x000010, 0x000011, 0x000012, 0x000013})
        f.ColorMap().Add(c);
    auto gce = std::make_unique<TGIFGraphicControlExtension>(&f);
    gce->SetTransparentColorIndex(3);
    f.Extensions().Add(std::move(gce));
    EXPECT_TRUE(f.ColorMap().Optimize());
    EXPECT_TRUE(f.ColorMap().Optimized());
    EXPECT_EQ(f.ColorMap().Count(), 3) << "the unused colour is cut";
    EXPECT_EQ(f.ColorMap().Colors(0), 0x000012);
    EXPECT_EQ(f.ColorMap().Colors(1), 0x000010);
    EXPECT_EQ(f.ColorMap().Colors(2), 0x000013);
    EXPECT_EQ(frameBytes(f), QByteArray("\x00\x00\x00\x01\x01\x02\x00\x01", 8));
    EXPECT_EQ(f.GraphicControlExtension()->TransparentColorIndex(), 2);
    EXPECT_EQ(f.GetVersion(), gv89a);
    EXPECT_FALSE(f.ColorMap().Optimize()) << "already in order";

    TGIFImage none;
    none.Header().ColorMap().Add(1);
    none.Header().ColorMap().Add(2);
    EXPECT_FALSE(none.Header().ColorMap().Optimize());
    // The global table remaps every frame that uses it, not those with
    // their own table.
    TGIFImage two;
    two.Header().ColorMap().Add(0x10);
    two.Header().ColorMap().Add(0x20);
    TGIFSubImage &a = addFrame(two, 3, 1, QByteArray("\x01\x01\x00", 3));
    TGIFSubImage &b = addFrame(two, 2, 1, QByteArray("\x01\x01", 2));
    b.ColorMap().Add(5);
    b.ColorMap().Add(6);
    EXPECT_TRUE(two.Header().ColorMap().Optimize());
    EXPECT_EQ(frameBytes(a), QByteArray("\x00\x00\x01", 3));
    EXPECT_EQ(frameBytes(b), QByteArray("\x01\x01", 2));
}

TEST(GifHeader, WrittenFields)
{
    TGIFImage img;
    for (int i = 0; i < 5; ++i)
        img.Header().ColorMap().Add(i * 0x10101);
    TGIFSubImage &f = addFrame(img, 3, 2, QByteArray(6, '\x04'));
    f.ColorMap().Add(1); // a local table of 1 bit
    for (int i = 1; i < 20; ++i)
        f.ColorMap().Add(i);
    QByteArray bytes = img.SaveToBytes();
    EXPECT_EQ(bytes.left(6), "GIF87a");
    // Global table present, colour resolution 4 (20 local colours: 5 bits),
    // 8 entries.
    EXPECT_EQ(uint8_t(bytes[10]), 0x80 | (4 << 4) | 2);
    EXPECT_EQ(bytes.mid(13 + 15, 9), QByteArray(9, '\0'));
    EXPECT_EQ(uint8_t(bytes[13 + 24]), 0x2C);
    EXPECT_EQ(uint8_t(bytes[13 + 24 + 9]), 0x80 | 4) << "local table of 32 entries";

    auto comment = std::make_unique<TGIFCommentExtension>(&f);
    f.Extensions().Add(std::move(comment));
    img.Header().ColorMap().SetOptimized(true);
    bytes = img.SaveToBytes();
    EXPECT_EQ(bytes.left(6), "GIF89a") << "an extension needs 89a";
    EXPECT_EQ(uint8_t(bytes[10]) & 0x08, 0x08) << "sort flag";
    TGIFImage empty;
    EXPECT_EQ(errorOf([&] { empty.SaveToBytes(); }), GIFMessage(TGIFMsg::UnsupportedVersion));
}

TEST(GifExtensions, LoopBytesAndIdentifiers)
{
    TGIFImage img;
    img.Header().ColorMap().Add(0);
    TGIFSubImage &f = addFrame(img, 1, 1);
    f.Extensions().Add(std::make_unique<TGIFAppExtNSLoop>(&f));
    QByteArray bytes = img.SaveToBytes();
    const QByteArray loop("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01\x00\x00\x00", 19);
    EXPECT_EQ(bytes.mid(blockOffsets(bytes)[0], 19), loop);

    // "ANIMEXTS1.0" reads as a loop extension and keeps its identifier.
    QByteArray anim = bytes;
    anim.replace(anim.indexOf("NETSCAPE2.0"), 11, "ANIMEXTS1.0");
    anim.replace(anim.indexOf(QByteArray("\x03\x01\x00\x00\x00", 5)), 5, QByteArray("\x03\x01\x07\x00\x00", 5));
    TGIFImage back;
    ASSERT_TRUE(load(back, anim).error.isEmpty());
    auto *ns = dynamic_cast<TGIFAppExtNSLoop *>(back.Images()[0]->Extensions()[0]);
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->Loops, 7);
    EXPECT_TRUE(back.SaveToBytes().contains("ANIMEXTS1.0"));

    // Buffer size, a second sub-block.
    ns->BufferSize = 0x01020304;
    EXPECT_TRUE(back.SaveToBytes().contains(QByteArray("\x03\x01\x07\x00\x05\x02\x04\x03\x02\x01\x00", 11)));
}

TEST(GifExtensions, CommentOf300CharactersComesBackAsTwoLines)
{
    TGIFImage img;
    img.Header().ColorMap().Add(0);
    TGIFSubImage &f = addFrame(img, 1, 1);
    auto c = std::make_unique<TGIFCommentExtension>(&f);
    c->Comment = QStringList{QString(300, QLatin1Char('c'))};
    f.Extensions().Add(std::move(c));
    const QByteArray bytes = img.SaveToBytes();
    const qsizetype at = blockOffsets(bytes)[0];
    EXPECT_EQ(uint8_t(bytes[at + 2]), 255);
    EXPECT_EQ(uint8_t(bytes[at + 3 + 255]), 45);
    EXPECT_EQ(uint8_t(bytes[at + 4 + 300]), 0);
    TGIFImage back;
    ASSERT_TRUE(load(back, bytes).error.isEmpty());
    auto *rc = dynamic_cast<TGIFCommentExtension *>(back.Images()[0]->Extensions()[0]);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(rc->Comment, QStringList({QString(255, QLatin1Char('c')), QString(45, QLatin1Char('c'))}));
}

// A file of one 1x1 frame with `ext` before it.
QByteArray withExtension(const QByteArray &ext)
{
    const QByteArray data = subBlocks(packCodes({{4, 3}, {0, 3}, {5, 3}}));
    QByteArray f = fileAround(1, 1, 1, 2, data);
    f.insert(13 + 6, ext);
    return f;
}

TEST(GifExtensions, OddBlocksAreReadOrRefused)
{
    struct Case
    {
        const char *name;
        QByteArray ext;
        QString error;
        QStringList warnings;
        int extensions;
    };
    const Case cases[] = {
        {"application block of 10", QByteArray("\x21\xFF\x0A" "ABCDEFGHIJ" "\x02xy\x00", 17), {}, {}, 1},
        {"application block of 12 kept as unknown", QByteArray("\x21\xFF\x0C" "ABCDEFGHIJKL" "\x01z\x00", 18), {}, {}, 1},
        {"application block of 9", QByteArray("\x21\xFF\x09" "ABCDEFGHI" "\x00", 13),
         GIFMessage(TGIFMsg::BadAppExtensionSize), {}, 0},
        {"unknown label skipped", QByteArray("\x21\x77\x03" "abc\x02xy\x00", 10), {},
         {GIFMessage(TGIFMsg::UnknownExtension)}, 0},
        {"graphic control of 5 bytes", QByteArray("\x21\xF9\x05\x01\x10\x00\x02\x09\x00", 9), {}, {}, 1},
        {"graphic control with a trailing sub-block", QByteArray("\x21\xF9\x04\x01\x10\x00\x02\x03" "abc\x00", 12), {}, {}, 1},
        {"graphic control of 2 bytes", QByteArray("\x21\xF9\x02\x01\x10\x00", 6), {},
         {GIFMessage(TGIFMsg::PrematureEOF)}, 1},
        {"loop block too short", QByteArray("\x21\xFF\x0B" "NETSCAPE2.0" "\x02\x01\x05\x00", 18),
         GIFMessage(TGIFMsg::InvalidData), {}, 0},
        {"stray byte between extensions", QByteArray("\x21\xFE\x01x\x00\x07", 6), {},
         {GIFMessage(TGIFMsg::BadExtensionIntroducer), GIFMessage(TGIFMsg::UnknownBlockType)}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TGIFImage img;
        const Loaded l = load(img, withExtension(c.ext));
        EXPECT_EQ(l.error, c.error);
        EXPECT_EQ(l.warnings, c.warnings);
        if (!c.error.isEmpty())
            continue;
        ASSERT_GE(img.Images().Count(), 1);
        EXPECT_EQ(img.Images()[0]->Extensions().Count(), c.extensions);
    }
    // The graphic control fields come from its first four bytes.
    TGIFImage img;
    load(img, withExtension(QByteArray("\x21\xF9\x05\x09\x10\x00\x01\x09\x00", 9)));
    const TGIFGraphicControlExtension *g = img.Images()[0]->GraphicControlExtension();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->Delay(), 16);
    EXPECT_EQ(g->Disposal(), 2);
    EXPECT_TRUE(g->Transparent());
    EXPECT_EQ(g->TransparentColorIndex(), 1);
    EXPECT_TRUE(img.Images()[0]->Transparent());
    EXPECT_EQ(frameBytes(*img.Images()[0]), QByteArray(1, '\0'));
}

// A label registered later takes over from the earlier registration.
struct FirstTwo : TGIFCommentExtension
{
    static const TGIFExtensionClass Class;
    using TGIFCommentExtension::TGIFCommentExtension;
    uint8_t GetExtensionType() const override { return 0x02; }
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }
};
struct SecondTwo : FirstTwo
{
    static const TGIFExtensionClass Class;
    using FirstTwo::FirstTwo;
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }
};
const TGIFExtensionClass FirstTwo::Class = {"FirstTwo", 0x02,
                                            [](TGIFSubImage *f) -> std::unique_ptr<TGIFExtension> { return std::make_unique<FirstTwo>(f); },
                                            [](const TGIFExtensionClass *s, TGIFInStream &) { return s; }};
const TGIFExtensionClass SecondTwo::Class = {"SecondTwo", 0x02,
                                             [](TGIFSubImage *f) -> std::unique_ptr<TGIFExtension> { return std::make_unique<SecondTwo>(f); },
                                             [](const TGIFExtensionClass *s, TGIFInStream &) { return s; }};

TEST(GifExtensions, LaterRegistrationWins)
{
    TExtensionList::Instance().Add(0x02, &FirstTwo::Class);
    TExtensionList::Instance().Add(0x02, &SecondTwo::Class);
    EXPECT_EQ(TExtensionList::Instance().Find(0x02), &SecondTwo::Class);
    EXPECT_EQ(TExtensionList::Instance().Find(0xF9), &TGIFGraphicControlExtension::Class);
    TGIFImage img;
    ASSERT_TRUE(load(img, withExtension(QByteArray("\x21\x02\x02hi\x00", 6))).error.isEmpty());
    auto *e = dynamic_cast<SecondTwo *>(img.Images()[0]->Extensions()[0]);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Comment, QStringList{"hi"});
    TAppExtensionList::Instance().Add(TGIFAppIdentifier{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'},
                                      &TGIFUnknownAppExtension::Class);
    EXPECT_EQ(TAppExtensionList::Instance().Find(TGIFAppIdentifier{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}),
              &TGIFUnknownAppExtension::Class);
    TAppExtensionList::Instance().Add(TGIFAppIdentifier{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'},
                                      &TGIFAppExtNSLoop::Class);
}

TEST(GifFrame, BoundsPixelsAndWarnings)
{
    TGIFImage img;
    QStringList warnings;
    img.OnWarning = [&](TGIFImage &, uint8_t severity, const QString &m) {
        EXPECT_EQ(severity, 1);
        warnings << m;
    };
    img.Header().SetWidth(16);
    img.Header().SetHeight(16);
    auto frame = std::make_unique<TGIFSubImage>(&img);
    TGIFSubImage &f = *frame;
    img.Images().Add(std::move(frame));
    EXPECT_TRUE(f.Empty());
    EXPECT_EQ(errorOf([&] { f.Pixels(0, 0); }), GIFMessage(TGIFMsg::ImageEmpty));
    f.SetBounds(10, 10, 20, 20);
    EXPECT_EQ(img.Width(), 30);
    EXPECT_EQ(img.Height(), 30);
    EXPECT_EQ(warnings, QStringList({GIFMessage(TGIFMsg::WidthTooSmall), GIFMessage(TGIFMsg::HeightTooSmall),
                                     GIFMessage(TGIFMsg::ExceedsScreen)}));
    EXPECT_EQ(f.BoundsRect(), QRect(10, 10, 20, 20));
    EXPECT_FALSE(f.Empty());
    f.SetPixels(19, 19, 7);
    EXPECT_EQ(f.Pixels(19, 19), 7);
    EXPECT_EQ(f.ScanLine(19)[19], 7);
    for (auto [x, y] : {std::pair{20, 0}, {0, 20}, {-1, 0}, {0, -1}})
        EXPECT_EQ(errorOf([&, x = x, y = y] { f.Pixels(x, y); }), GIFMessage(TGIFMsg::BadPixelCoordinates));
    EXPECT_EQ(errorOf([&] { f.ScanLine(20); }), GIFMessage(TGIFMsg::BadPixelCoordinates));
    f.SetBounds(10, 10, 5, 5);
    EXPECT_EQ(f.Pixels(4, 4), 0) << "new size, new zeroed pixels";
    f.Clear();
    EXPECT_TRUE(f.Empty());
}

TEST(GifFrame, InterlaceSurvivesOnlyWithoutLocalTable)
{
    for (bool local : {false, true}) {
        TGIFImage img;
        img.Header().ColorMap().Add(0);
        img.Header().ColorMap().Add(0xFFFFFF);
        TGIFSubImage &f = addFrame(img, 2, 3, QByteArray("\x00\x01\x01\x00\x01\x01", 6));
        f.SetInterlaced(true);
        if (local) {
            f.ColorMap().Add(0x0000FF);
            f.ColorMap().Add(0x00FF00);
        }
        TGIFImage back;
        ASSERT_TRUE(load(back, img.SaveToBytes()).error.isEmpty());
        EXPECT_EQ(back.Images()[0]->Interlaced(), !local);
        EXPECT_EQ(frameBytes(*back.Images()[0]), QByteArray("\x00\x01\x01\x00\x01\x01", 6));
    }
}

TEST(GifFrame, ZeroSizedDescriptorTakesTheScreen)
{
    // 3x2 screen; the descriptor says 0x0; 6 pixels of data follow.
    const QByteArray data = subBlocks(packCodes({{4, 3}, {1, 3}, {1, 3}, {1, 3}, {1, 4}, {1, 4}, {1, 4}, {5, 4}}));
    QByteArray file = fileAround(3, 2, 1, 2, data);
    const qsizetype d = 13 + 6;
    file[d + 5] = 0;
    file[d + 7] = 0;
    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty()) << l.error.toStdString();
    EXPECT_EQ(l.warnings, QStringList{GIFMessage(TGIFMsg::ExceedsScreen)});
    EXPECT_EQ(img.Images()[0]->Width(), 3);
    EXPECT_EQ(img.Images()[0]->Height(), 2);
    EXPECT_EQ(frameBytes(*img.Images()[0]), QByteArray(6, '\x01'));
}

TEST(GifImage, ScreenGrowsToCoverFramesAfterLoading)
{
    const QByteArray data = subBlocks(packCodes({{4, 3}, {1, 3}, {1, 3}, {5, 3}}));
    QByteArray file = fileAround(2, 1, 1, 2, data);
    file[6] = 0; // screen 0 x 0
    file[8] = 0;
    file[13 + 6 + 1] = 5; // frame at (5, 0)
    TGIFImage img;
    const Loaded l = load(img, file);
    ASSERT_TRUE(l.error.isEmpty());
    EXPECT_EQ(img.Width(), 7);
    EXPECT_EQ(img.Height(), 1);
}

TEST(GifImage, FailedLoadKeepsThePicture)
{
    std::mt19937 rng(2);
    giforacle::Gif src;
    src.width = src.height = 8;
    src.globalMap = randomMap(rng, 4);
    src.frames.append({0, 0, 8, 8, false, {}, randomIndices(rng, 64, 4), {}});
    TGIFImage img;
    ASSERT_TRUE(load(img, giforacle::Write(src)).error.isEmpty());
    const QByteArray before = img.SaveToBytes();
    const QByteArray bad[] = {QByteArray("PNG89a\x01\x00\x01\x00\x00\x00\x00", 13), QByteArray("GIF8"),
                              withExtension(QByteArray("\x21\xFF\x03" "abc\x00", 7))};
    for (const QByteArray &b : bad) {
        EXPECT_FALSE(load(img, b).error.isEmpty());
        EXPECT_EQ(img.SaveToBytes(), before);
        EXPECT_EQ(img.Images()[0]->Image(), &img);
    }
    EXPECT_EQ(errorOf([&] { img.LoadFromBytes("GIF89a\x01"); }), GIFMessage(TGIFMsg::PrematureEOF));
    EXPECT_EQ(errorOf([&] { img.LoadFromBytes(QByteArray("xxxxGIX89a\x01\x00\x01\x00\x00\x00\x00", 17)); }),
              GIFMessage(TGIFMsg::BadSignature));
}

TEST(GifImage, FramesLargerThanTheLimitAreRefusedBeforeAllocating)
{
    TBitmap::SetMaxPixels(1000);
    QByteArray file = fileAround(100, 100, 1, 2, subBlocks(packCodes({{4, 3}, {5, 3}})));
    TGIFImage img;
    const Loaded l = load(img, file);
    TBitmap::SetMaxPixels(0);
    EXPECT_EQ(l.error, GIFMessage(TGIFMsg::ImageTooLarge));
}

TEST(GifImage, WarningsKeepTheFramesReadSoFar)
{
    std::mt19937 rng(4);
    giforacle::Gif src;
    src.width = src.height = 4;
    src.globalMap = randomMap(rng, 4);
    for (int i = 0; i < 2; ++i)
        src.frames.append({0, 0, 4, 4, false, {}, randomIndices(rng, 16, 4), {}});
    const QByteArray clean = giforacle::Write(src);
    const QList<qsizetype> blocks = blockOffsets(clean);
    struct Case
    {
        const char *name;
        QByteArray bytes;
        QStringList warnings;
        int frames;
    };
    const Case cases[] = {
        {"unknown block type", clean.left(blocks[1]) + "\x55" + clean.mid(blocks[1]), {GIFMessage(TGIFMsg::UnknownBlockType)}, 1},
        {"bad trailer", clean.left(clean.size() - 1) + "\x2B", {GIFMessage(TGIFMsg::UnknownBlockType)}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TGIFImage img;
        const Loaded l = load(img, c.bytes);
        EXPECT_TRUE(l.error.isEmpty());
        EXPECT_EQ(l.warnings, c.warnings);
        EXPECT_EQ(img.Images().Count(), c.frames);
    }
    // The trailer object itself judges the byte it is given.
    TGIFImage img;
    QStringList w;
    img.OnWarning = [&](TGIFImage &, uint8_t, const QString &m) { w << m; };
    TGIFTrailer t(&img);
    const QByteArray plus("\x2B", 1);
    TGIFInStream in(plus);
    t.LoadFromStream(in);
    EXPECT_EQ(w, QStringList{GIFMessage(TGIFMsg::BadTrailer)});
}

TEST(GifImage, ProgressStreamsAndFiles)
{
    TGIFImage img;
    img.Header().ColorMap().Add(0);
    img.Header().ColorMap().Add(0xFFFFFF);
    addFrame(img, 4, 4);
    addFrame(img, 2, 2);
    QStringList seen;
    img.OnProgress = [&](TGIFImage &sender, int percent, const QString &m) {
        EXPECT_EQ(&sender, &img);
        seen << QStringLiteral("%1 %2").arg(m).arg(percent);
    };
    const QByteArray bytes = img.SaveToBytes();
    EXPECT_EQ(seen, QStringList({"Saving... 0", "Saving... 50", "Saving... 100", "Saving... 100"}));
    seen.clear();
    // Anything after the trailer stays in the device for its next reader.
    QByteArray withTail = bytes + "TAIL";
    QBuffer buf(&withTail);
    buf.open(QIODevice::ReadOnly);
    img.LoadFromStream(buf);
    EXPECT_EQ(buf.readAll(), "TAIL");
    EXPECT_EQ(seen.first(), "Loading... 0");
    EXPECT_EQ(seen.last(), "Loading... 100");
    EXPECT_EQ(seen.size(), 4);
    EXPECT_EQ(img.Images().Count(), 2);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.gif"));
    img.SaveToFile(path);
    TGIFImage back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.SaveToBytes(), bytes);
    // A single item writes and reads itself as a file too.
    const QString cpath = dir.filePath(QStringLiteral("c.bin"));
    TGIFSubImage &f = *back.Images()[0];
    TGIFCommentExtension c(&f);
    c.Comment = QStringList{"x"};
    c.SaveToFile(cpath);
    TGIFCommentExtension d(&f);
    d.LoadFromFile(cpath);
    EXPECT_EQ(d.Comment, QStringList{"x"});
    EXPECT_EQ(GIFVersionText(gv87a), "87a");
}

} // namespace
