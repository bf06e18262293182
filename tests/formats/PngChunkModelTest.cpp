// The chunk list, the chunk class registry, what survives a load and a
// save, and the picture's place in the program's picture registry.
#include "IconCodec.h"
#include "PNGImage.h"
#include "PngTestKit.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

using namespace zk;
using namespace pngkit;

namespace {

QByteArray greyRows(int w, int h)
{
    QByteArray raw;
    for (int y = 0; y < h; ++y) {
        raw.append(char(0));
        for (int x = 0; x < w; ++x)
            raw.append(char((x * 31 + y * 7) & 0xFF));
    }
    return raw;
}

QByteArray save(TPNGImage &img)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.SaveToStream(b);
    return out;
}

QStringList typesOf(const TChunkList &list)
{
    QStringList t;
    for (int i = 0; i < list.Count(); ++i)
        t << ChunkNameText(list.Item(i)->ChunkType());
    return t;
}

int errorId(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EPNGImageException &e) {
        return e.Id();
    }
    return 0;
}

} // namespace

TEST(PngChunkModel, ANewPictureHoldsTheResetListAndDefaultFilters)
{
    TPNGImage img;
    EXPECT_EQ(img.Filters(), 27);
    EXPECT_FALSE(img.Interlaced());
    EXPECT_EQ(typesOf(img.Chunks()), QStringList({"IHDR", "IDAT", "IEND"}));
    const auto *ihdr = img.Chunks().Find<TChunkIHDR>();
    EXPECT_EQ(ihdr->Width(), 0u);
    EXPECT_EQ(ihdr->BitDepth(), 2);
    EXPECT_EQ(ihdr->ColorType(), 3);
    img.SetFilters(fbPaeth);
    EXPECT_EQ(img.Filters(), fbPaeth | fbNone);
}

TEST(PngChunkModel, RegistryHoldsTheCodecsClassesInOrder)
{
    const char *const expected[] = {"IEND", "IHDR", "gAMA", "IDAT", "PLTE", "tEXt", "tRNS"};
    ASSERT_GE(TChunkClasses::Count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ChunkNameText(TChunkClasses::Item(i).ChunkType), expected[i]);
    EXPECT_EQ(TChunkClasses::IndexOfType(ChunkName("gAMA")), 2);
    EXPECT_EQ(TChunkClasses::IndexOfType(ChunkName("GAMA")), -1); // all four bytes count
    EXPECT_EQ(TChunkClasses::IndexOfClass(&CreateChunk<TChunkPLTE>), 4);
    EXPECT_EQ(errorId([] { TChunkClasses::Item(TChunkClasses::Count()); }), peChunkClassIndex);
    EXPECT_EQ(errorId([] { TChunkClasses::Item(-1); }), peChunkClassIndex);

    // New chunks take their registered type and initial data.
    TChunkList list(nullptr);
    EXPECT_EQ(list.AddClass(&CreateChunk<TChunkIHDR>)->Data().size(), 13);
    EXPECT_EQ(list.AddClass(&CreateChunk<TChunkGAMA>)->Data(), u32(1));
    EXPECT_EQ(list.AddClass(&CreateChunk<TChunkTEXT>)->Data(), QByteArray(2, '\0'));
    EXPECT_EQ(ChunkNameText(list.AddClass(&CreateChunk<TChunk>)->ChunkType()), QString(QChar(0)).repeated(4));
    EXPECT_EQ(typesOf(list).mid(0, 3), QStringList({"IHDR", "gAMA", "tEXt"}));
}

TEST(PngChunkModel, ListOperationsCheckTheirIndicesAndOwnership)
{
    TPNGImage img;
    TChunkList &list = img.Chunks();
    TChunk *gama = list.AddClass(&CreateChunk<TChunkGAMA>);
    EXPECT_EQ(list.IndexOf(gama), 3);
    list.Move(3, 1);
    EXPECT_EQ(typesOf(list), QStringList({"IHDR", "gAMA", "IDAT", "IEND"}));
    EXPECT_EQ(list.ItemFromClass(&CreateChunk<TChunkIEND>), 3);
    EXPECT_EQ(list.ItemFromClass(&CreateChunk<TChunkTRNS>), -1);
    EXPECT_EQ(errorId([&] { list.Item(4); }), peChunkIndex);
    EXPECT_EQ(errorId([&] { list.Move(0, 9); }), peChunkIndex);
    TPNGImage other;
    TChunk *foreign = other.Chunks().Item(0);
    EXPECT_EQ(errorId([&] { list.Remove(foreign); }), peChunkNotInList);
    EXPECT_EQ(other.Chunks().Count(), 3);
    list.Remove(gama);
    EXPECT_EQ(list.Count(), 3);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(PngChunkModel, SplitImageDataJoinsAndUnknownChunksFollowTheirLetters)
{
    const QByteArray z = deflateBytes(greyRows(10, 7));
    const int cut = int(z.size()) / 3;
    const QByteArray file = buildPng({{"IHDR", ihdrData(10, 7, 8, 0)},
                                      {"IDAT", z.left(cut)},
                                      {"tIME", QByteArray("\x07\xE6\x01\x02\x03\x04\x05", 7)},
                                      {"IDAT", z.mid(cut, cut)},
                                      {"IDAT", z.mid(2 * cut)},
                                      {"tEXt", QByteArray("Title\0Zelkora", 13)},
                                      {"abcd", QByteArray("lower fourth letter")},
                                      {"IEND", {}}});
    TPNGImage img;
    img.LoadFromBytes(file);
    EXPECT_EQ(typesOf(img.Chunks()), QStringList({"IHDR", "IDAT", "tIME", "tEXt", "abcd", "IEND"}));
    EXPECT_EQ(img.Chunks().Find<TChunkIDAT>()->Data(), z);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 10; ++x) {
            const int v = (x * 31 + y * 7) & 0xFF;
            ASSERT_EQ(img.PixelRgb(x, y), qRgb(v, v, v));
        }

    const QByteArray out = save(img);
    QStringList written;
    int idats = 0;
    for (const RawChunk &c : walkChunks(out)) {
        written << QString::fromLatin1(c.type);
        idats += c.type == "IDAT";
    }
    EXPECT_EQ(idats, 1);
    EXPECT_TRUE(written.contains("tIME"));
    EXPECT_FALSE(written.contains("tEXt")); // read and kept, never written
    EXPECT_FALSE(written.contains("abcd"));
    EXPECT_TRUE(img.Chunks().Find<TChunkTEXT>() != nullptr);
}

TEST(PngChunkModel, AFileWithoutIendLoads)
{
    const QByteArray file = buildPng({{"IHDR", ihdrData(3, 2, 8, 0)}, {"IDAT", deflateBytes(greyRows(3, 2))}});
    TPNGImage img;
    img.LoadFromBytes(file);
    EXPECT_EQ(img.Width(), 3);
    EXPECT_EQ(typesOf(img.Chunks()), QStringList({"IHDR", "IDAT"}));
    // Saving adds the IEND.
    const QList<RawChunk> written = walkChunks(save(img));
    EXPECT_EQ(written.last().type, "IEND");
}

TEST(PngChunkModel, CopiesAndAssignmentsCarryChunksAndSettings)
{
    const QByteArray file = buildPng({{"IHDR", ihdrData(4, 3, 8, 0)},
                                      {"gAMA", u32(50000)},
                                      {"IDAT", deflateBytes(greyRows(4, 3))},
                                      {"sRGB", QByteArray(1, '\0')},
                                      {"IEND", {}}});
    TPNGImage a;
    a.LoadFromBytes(file);
    a.SetFilters(fbSub);
    a.SetInterlaced(true);

    TPNGImage b;
    b.Assign(a);
    EXPECT_EQ(typesOf(b.Chunks()), typesOf(a.Chunks()));
    EXPECT_EQ(b.Filters(), a.Filters());
    EXPECT_TRUE(b.Interlaced());
    const auto *ga = a.Chunks().Find<TChunkGAMA>();
    const auto *gb = b.Chunks().Find<TChunkGAMA>();
    ASSERT_TRUE(ga && gb);
    EXPECT_EQ(gb->GammaTable(), ga->GammaTable());
    EXPECT_EQ(gb->InverseTable(), ga->InverseTable());
    EXPECT_EQ(b.Chunks().Item(3)->ClassType(), &CreateChunk<TChunk>); // sRGB stays plain
    EXPECT_EQ(b.PixelRgb(3, 2), a.PixelRgb(3, 2));
    // The copies are independent.
    b.Chunks().Clear();
    EXPECT_EQ(a.Chunks().Count(), 5);

    std::unique_ptr<TGraphic> clone = a.Clone();
    auto *c = dynamic_cast<TPNGImage *>(clone.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(typesOf(c->Chunks()), typesOf(a.Chunks()));
    EXPECT_EQ(c->Chunks().Item(0)->Owner(), &c->Chunks());

    // A plain bitmap can be assigned: pixels only.
    TBitmap plain(5, 4, pf24bit);
    TPNGImage d;
    d.Assign(plain);
    EXPECT_EQ(d.Width(), 5);
    EXPECT_EQ(typesOf(d.Chunks()), QStringList({"IHDR", "IDAT", "IEND"}));
}

TEST(PngChunkModel, ProgressIsReportedWhileDecoding)
{
    const QByteArray file = buildPng({{"IHDR", ihdrData(6, 5, 8, 0)}, {"IDAT", deflateBytes(greyRows(6, 5))}, {"IEND", {}}});
    TPNGImage img;
    QList<int> seen;
    img.OnProgress = [&seen](int p) { seen << p; };
    img.LoadFromBytes(file);
    EXPECT_EQ(seen, QList<int>({0, 20, 40, 60, 80}));
    // Interlaced: once a pass.
    QByteArray passes;
    for (int p = 0; p < 7; ++p) {
        // 6x5 Adam7: passes hold 1, 1, 2, 2, 3, 9 and 12 pixels.
        static const int rows[7] = {1, 1, 1, 2, 1, 3, 2};
        static const int cols[7] = {1, 1, 2, 1, 3, 3, 6};
        for (int r = 0; r < rows[p]; ++r)
            passes += QByteArray(1, '\0') + QByteArray(cols[p], char(p * 30));
    }
    seen.clear();
    img.LoadFromBytes(buildPng({{"IHDR", ihdrData(6, 5, 8, 0, 1)}, {"IDAT", deflateBytes(passes)}, {"IEND", {}}}));
    EXPECT_EQ(seen, QList<int>({0, 16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(img.PixelRgb(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.PixelRgb(5, 3), qRgb(180, 180, 180)); // odd rows: pass 7
    EXPECT_EQ(img.PixelRgb(4, 4), qRgb(60, 60, 60));    // pass 3
    EXPECT_EQ(img.PixelRgb(1, 0), qRgb(150, 150, 150)); // pass 6
    EXPECT_EQ(img.Width(), 6);
}

TEST(PngChunkModel, RegisteredForPngFilesTheClipboardAndIcons)
{
    RegisterPngGraphics();
    RegisterPngGraphics(); // once is enough; twice does no harm
    const TFileFormat *f = TPicture::FindFileFormat(".PNG");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->description, "Portable Network Graphics");
    EXPECT_EQ(f->className, "TPNGImage");

    const QString path = workDir() + "/registered.png";
    ASSERT_TRUE(writeFile(path, buildPng({{"IHDR", ihdrData(6, 5, 8, 0)},
                                          {"IDAT", deflateBytes(greyRows(6, 5))},
                                          {"IEND", {}}})));
    TPicture pic;
    pic.LoadFromFile(path);
    ASSERT_NE(dynamic_cast<TPNGImage *>(pic.Graphic()), nullptr);
    EXPECT_EQ(pic.Width(), 6);

    // Copy and paste through the clipboard in PNG form.
    pic.SaveToClipboard();
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    ASSERT_TRUE(mime->hasFormat("image/png"));
    {
        EXPECT_TRUE(mime->data("image/png").startsWith(signature()));
        TPicture pasted;
        pasted.LoadFromClipboard();
        ASSERT_NE(dynamic_cast<TPNGImage *>(pasted.Graphic()), nullptr);
        EXPECT_EQ(pasted.Width(), 6);
    }

    // Icon entries stored as PNG decode through us.
    ASSERT_NE(GetIconPngDecoder(), nullptr);
    const QImage icon = GetIconPngDecoder()(readFile(path));
    EXPECT_EQ(icon.size(), QSize(6, 5));
    const int v = (5 * 31 + 4 * 7) & 0xFF;
    EXPECT_EQ(QColor(icon.pixel(5, 4)).red(), v);
    if (haveMagick()) {
        // ImageMagick stores 256-pixel icon entries as PNG.
        const QString ico = workDir() + "/big.ico";
        ASSERT_TRUE(magick({"-size", "256x256", "gradient:red-blue", ico}));
        int chosen = -1;
        const QByteArray icoBytes = readFile(ico);
        const auto entries = IconListEntries(icoBytes);
        ASSERT_FALSE(entries.empty());
        EXPECT_TRUE(entries[0].png);
        const QImage img = IconDecode(icoBytes, &chosen);
        EXPECT_EQ(img.size(), QSize(256, 256));
        EXPECT_GT(QColor(img.pixel(128, 0)).red(), 200);
        EXPECT_GT(QColor(img.pixel(128, 255)).blue(), 200);
    }
}
