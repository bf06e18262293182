// Conversions between picture files, checked by readers that are not ours:
// ImageMagick for BMP, JPEG, PNG and ICO (compare -metric AE for lossless
// pairs, a PSNR floor where JPEG is involved), pngcheck for PNG, and the
// record layout for metafiles, which Debian's ImageMagick cannot read.
#include "GraphicConvert.h"
#include "BmpCodec.h"
#include "IconCodec.h"
#include "Jpeg.h"
#include "Metafile.h"
#include "PNGImage.h"

#include "../platform/PictureOracles.h"
#include "PngTestKit.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>
#include <vector>

using namespace zk;
using namespace zktest;

namespace {

// The reference picture every source is made from.
QImage reference()
{
    return screenshotLike(64, 48).convertToFormat(QImage::Format_RGB32);
}

QString refPng(const QString &dir)
{
    const QString p = dir + "/reference.png";
    reference().save(p, "PNG"); // Qt's own PNG writer, not our codec
    return p;
}

// Exact equality by ImageMagick's compare (exit code 0 means no differing pixel).
bool magickSame(const QString &a, const QString &b)
{
    return runProgram(QStringLiteral("/usr/bin/compare"),
                      {"-metric", "AE", a, b, "null:"}) == 0;
}

uint16_t le16(const QByteArray &b, qsizetype at)
{
    return uint16_t(uchar(b[at]) | uchar(b[at + 1]) << 8);
}
uint32_t le32(const QByteArray &b, qsizetype at)
{
    return uint32_t(le16(b, at)) | uint32_t(le16(b, at + 2)) << 16;
}

// EMF: a header record with the " EMF" signature, one EMR_STRETCHDIBITS and
// EMR_EOF last; WMF: the placeable key, then META_STRETCHDIB. Returns an
// empty string when the layout is right, else what is wrong.
QString metafileLayoutError(const QByteArray &f, bool enhanced)
{
    if (enhanced) {
        if (f.size() < 88 || le32(f, 0) != 1 || f.mid(40, 4) != " EMF")
            return "no EMF header";
        bool stretch = false;
        qsizetype at = 0;
        uint32_t type = 0;
        while (at + 8 <= f.size()) {
            type = le32(f, at);
            const uint32_t size = le32(f, at + 4);
            if (size < 8 || at + qsizetype(size) > f.size())
                return "bad record size";
            stretch |= type == 81;
            at += size;
        }
        if (!stretch)
            return "no EMR_STRETCHDIBITS";
        if (type != 14)
            return "EMR_EOF is not last";
        return {};
    }
    if (f.size() < 40 || le32(f, 0) != 0x9AC6CDD7u)
        return "no placeable key";
    for (qsizetype at = 22 + 18; at + 6 <= f.size();) {
        const uint32_t words = le32(f, at);
        const uint16_t fn = le16(f, at + 4);
        if (fn == 0x0F43)
            return {};
        if (words < 3)
            break;
        at += qsizetype(words) * 2;
    }
    return "no META_STRETCHDIB";
}

class GraphicConvert : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegisterPngGraphics(); // PNG-compressed icon entries
        dir = scratchDir(QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        src = dir + "/src";
        out = dir + "/out";
        QDir().mkpath(src);
        QDir().mkpath(out);
    }

    // A source file of the type: ImageMagick writes BMP, JPEG, PNG and ICO
    // from the reference; metafiles come from our writer (nobody else here
    // writes them).
    QString makeSource(const QString &ext)
    {
        const QString name = src + "/pic" + ext;
        if (QFile::exists(name))
            return name;
        const QString ref = refPng(dir);
        if (ext == ".wmf" || ext == ".emf") {
            TMetafile mf;
            mf.SetEnhanced(ext == ".emf");
            mf.SetBitmap(TBitmap::FromImage(reference()));
            mf.SaveToFile(name);
        } else {
            QString format = ext.mid(1).toUpper();
            if (format == "ZKG")
                format = "BMP3";
            if (format == "BMP")
                format = "BMP3";
            const QStringList args = {ref, "-type", "TrueColor", format + ":" + name};
            EXPECT_EQ(runProgram(kConvert, format == "JPG" || format == "JPEG"
                                               ? QStringList{ref, "-quality", "95", name}
                                               : args),
                      0);
        }
        return name;
    }

    QString dir, src, out;
};

// ---------------------------------------------------------------------------
// The pair table

TEST(ConversionCode, PinnedPairs)
{
    struct Row
    {
        const char *source, *target;
        int code;
    } rows[] = {
        {".bmp", ".jpg", 1},   {".jpg", ".bmp", 2},  {".jpeg", ".bmp", 2}, {".jpeg", ".png", -1},
        {".jpeg", ".ico", -1}, {".JPG", ".bmp", -1}, {".bmp", ".tif", 45}, {".tif", ".bmp", -1},
        {".gif", ".png", -1},  {".bmp", ".bmp", -1}, {".gif", ".bmp", 46}, {".bmp", ".gif", 11},
        {".ico", ".emf", 39},  {".emf", ".ico", 40}, {".zkg", ".jpg", 44}, {".bmp", ".tiff", -1},
        {".dib", ".bmp", -1},  {".bmp", ".pcx", -1}, {"bmp", "jpg", -1},   {"", "", -1},
    };
    for (const Row &r : rows)
        EXPECT_EQ(GetConversionCode(r.source, r.target), r.code) << r.source << " -> " << r.target;
}

TEST(ConversionCode, EveryCodeButTwelveHasExactlyOnePairAndJpegOnlyForTwo)
{
    const QStringList exts = {".bmp", ".jpg", ".jpeg", ".gif", ".wmf", ".emf", ".ico",
                              ".zkg", ".png", ".tif", ".dib", ".tiff", ".pcx"};
    std::map<int, int> seen;
    for (const QString &a : exts)
        for (const QString &b : exts)
            if (const int c = GetConversionCode(a, b); c != -1)
                ++seen[c];
    EXPECT_EQ(seen.size(), 45u);
    EXPECT_EQ(seen.count(12), 0u);
    for (const auto &[code, pairs] : seen) {
        EXPECT_TRUE(code >= 1 && code <= 46) << code;
        EXPECT_EQ(pairs, code == 2 ? 2 : 1) << code;
    }
}

TEST(GraphicFileExtList, TwelveExtensionsInTheirSpellingAndOrder)
{
    const QStringList want = {".Bmp", ".Jpg", ".Gif", ".Wmf", ".Emf", ".Ico",
                              ".Zkg", ".Png", ".Tif", ".Jpeg", ".Dib", ".Tiff"};
    ASSERT_EQ(GraphicFileExtCount, 12);
    for (int i = 0; i < GraphicFileExtCount; ++i)
        EXPECT_EQ(QString::fromLatin1(GraphicFileExts[i]), want[i]);
}

// ---------------------------------------------------------------------------
// Every pair on a real picture

TEST_F(GraphicConvert, EveryAvailablePairConvertsARealPicture)
{
    const QStringList exts = {".bmp", ".jpg", ".jpeg", ".wmf", ".emf", ".ico", ".zkg", ".png"};
    const QString ref = refPng(dir);
    int pairs = 0;
    for (const QString &from : exts) {
        for (const QString &to : exts) {
            if (GetConversionCode(from, to) < 0)
                continue;
            ++pairs;
            SCOPED_TRACE((from + " -> " + to).toStdString());
            const QString source = makeSource(from);
            const QString written = ConvertGraphicFileTo(source, out, from, to);
            ASSERT_EQ(written, out + "/pic" + to);
            const QByteArray bytes = readBytes(written);
            ASSERT_FALSE(bytes.isEmpty());
            if (to == ".wmf" || to == ".emf") {
                EXPECT_EQ(metafileLayoutError(bytes, to == ".emf"), QString());
                TMetafile back;
                back.LoadFromData(bytes);
                const double p = psnr(back.ToImage(), reference());
                EXPECT_GT(p, from.startsWith(".jp") ? 35.0 : 1e9);
                continue;
            }
            if (to == ".png") {
                EXPECT_EQ(runProgram("pngcheck", {"-q", written}), 0);
            }
            // ImageMagick takes ".zkg" for what it is: a BMP file.
            const QString readable = to == ".zkg" ? "BMP:" + written : written;
            if (from.startsWith(".jp") || to == ".jpg") {
                const QImage decoded = magickDecode(readable);
                ASSERT_FALSE(decoded.isNull());
                EXPECT_GT(psnr(decoded, reference()), 35.0);
            } else {
                EXPECT_TRUE(magickSame(readable, ref));
            }
        }
    }
    EXPECT_EQ(pairs, 43); // codes 1 to 44 but 11 and 12, ".jpeg" as a second source of 2
}

// ---------------------------------------------------------------------------
// Names

TEST_F(GraphicConvert, ExtensionsInAnyCaseActAsLowerCase)
{
    const QString source = makeSource(".jpg");
    for (const char *ext : {".JPG", ".Jpg"}) {
        QFile::remove(out + "/pic.bmp");
        EXPECT_TRUE(ConvertGraphicFile(source, out, ext, ".BMP", nullptr)) << ext;
        EXPECT_TRUE(QFile::exists(out + "/pic.bmp")) << ext;
    }
}

TEST_F(GraphicConvert, JpegSourceDropsFiveCharacters)
{
    const QString source = makeSource(".jpeg");
    EXPECT_EQ(ConvertGraphicFileTo(source, out, ".JPEG", ".bmp"), out + "/pic.bmp");
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"pic.bmp"});
}

// A stand-in for the GIF codec: proves codes 11 and 46 take whatever class
// the registry holds for ".gif" (it writes BMP bytes under that name).
class TStandInGif : public TBitmap
{
public:
    QString ClassName() const override { return "TStandInGif"; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TStandInGif>(*this); }
};

TEST_F(GraphicConvert, DottedNamesInDottedFoldersKeepAllButTheExtension)
{
    const QString dotted = dir + "/v1.2.folder";
    QDir().mkpath(dotted);
    QFile::copy(makeSource(".bmp"), src + "/a.b.bmp");
    // Without a GIF codec the pair says so and writes nothing.
    EXPECT_THROW(ConvertGraphicFileTo(src + "/a.b.bmp", dotted, ".bmp", ".gif"), EFormatNotAvailable);
    EXPECT_TRUE(QDir(dotted).isEmpty());

    TPicture::RegisterFileFormat<TStandInGif>("gif", "stand-in");
    EXPECT_EQ(ConvertGraphicFileTo(src + "/a.b.bmp", dotted, ".bmp", ".gif"), dotted + "/a.b.gif");
    QFile::rename(dotted + "/a.b.gif", src + "/c.d.gif");
    EXPECT_EQ(ConvertGraphicFileTo(src + "/c.d.gif", dotted, ".gif", ".bmp"), dotted + "/c.d.bmp");
    EXPECT_TRUE(magickSame(dotted + "/c.d.bmp", refPng(dir)));
    TPicture::UnregisterGraphicClass("TStandInGif");
}

TEST_F(GraphicConvert, IconToEmfWritesAnEnhancedMetafile)
{
    const QString written = ConvertGraphicFileTo(makeSource(".ico"), out, ".ico", ".emf");
    EXPECT_TRUE(written.endsWith("/pic.emf"));
    EXPECT_EQ(metafileLayoutError(readBytes(written), true), QString());
}

TEST_F(GraphicConvert, BitmapToTiffGoesThroughTheTiffWriter)
{
    for (const char *ext : {".bmp", ".BMP"}) {
        QFile::remove(out + "/pic.tif");
        const QString written = ConvertGraphicFileTo(makeSource(".bmp"), out, ext, ".TIF");
        ASSERT_EQ(written, out + "/pic.tif");
        EXPECT_EQ(runProgram("tiffinfo", {written}), 0);
        EXPECT_TRUE(magickSame(written, refPng(dir)));
    }
}

TEST_F(GraphicConvert, GifWithoutItsCodecRaisesFormatNotAvailable)
{
    QFile f(src + "/x.gif");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("GIF89a");
    f.close();
    EXPECT_THROW(ConvertGraphicFileTo(src + "/x.gif", out, ".gif", ".bmp"), EFormatNotAvailable);
    EXPECT_THROW(ConvertGraphicToBitmap(src + "/x.gif"), EFormatNotAvailable);
    EXPECT_TRUE(QDir(out).isEmpty());
}

// ---------------------------------------------------------------------------
// Bad input

TEST_F(GraphicConvert, BadSourcesAndFoldersLeaveNoTarget)
{
    // Missing and damaged sources.
    EXPECT_THROW(ConvertGraphicFileTo(src + "/none.png", out, ".png", ".bmp"), EGraphicError);
    QFile bad(src + "/bad.png");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(readBytes(makeSource(".png")).left(100));
    bad.close();
    EXPECT_THROW(ConvertGraphicFileTo(src + "/bad.png", out, ".png", ".jpg"), EGraphicError);
    EXPECT_TRUE(QDir(out).isEmpty());

    // A complete old target stays when the new one fails.
    QFile::copy(makeSource(".bmp"), src + "/bad.bmp");
    QFile old(out + "/bad.bmp");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    EXPECT_THROW(ConvertGraphicFileTo(src + "/bad.png", out, ".png", ".bmp"), EGraphicError);
    EXPECT_EQ(readBytes(out + "/bad.bmp"), QByteArray("old contents"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"bad.bmp"});

    // A folder that cannot be written is named in the error (root writes
    // everywhere, so there the check has nothing to show).
    const QString locked = dir + "/locked";
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (::geteuid() != 0) {
        try {
            ConvertGraphicFileTo(makeSource(".bmp"), locked, ".bmp", ".png");
            ADD_FAILURE() << "no error";
        } catch (const EGraphicError &e) {
            EXPECT_TRUE(e.message().contains(locked)) << e.message().toStdString();
        }
        EXPECT_TRUE(QDir(locked).isEmpty());
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // So is a folder that is not there.
    try {
        ConvertGraphicFileTo(makeSource(".bmp"), dir + "/gone", ".bmp", ".jpg");
        ADD_FAILURE() << "no error";
    } catch (const EGraphicError &e) {
        EXPECT_TRUE(e.message().contains(dir + "/gone")) << e.message().toStdString();
    }
}

// PNG to BMP writes the rows while the picture decodes: the file must be the
// one the decoded picture writes, for every depth, for pictures of many
// blocks and for interlaced ones (which are written at the end); a picture
// whose data breaks off after many rows leaves the old target alone.
TEST_F(GraphicConvert, PngToBmpWritesTheDecodedPicturesFile)
{
    const auto pngOf = [&](const QString &name, TBitmap bmp, bool interlaced) {
        TPNGImage png;
        png.Assign(bmp);
        png.SetInterlaced(interlaced);
        const QString path = src + "/" + name + ".png";
        png.SaveToFile(path);
        return path;
    };
    const auto paletted = [](int w, int h, TPixelFormat pf) {
        TBitmap b = TBitmap::FromImage(screenshotLike(w, h));
        b.SetPixelFormat(pf);
        return b;
    };
    const QString big = pngOf("big", TBitmap::FromImage(screenshotLike(1200, 700)), false);
    const QString files[] = {big, pngOf("laced", TBitmap::FromImage(screenshotLike(200, 90)), true),
                             pngOf("eight", paletted(300, 200, pf8bit), false),
                             pngOf("four", paletted(77, 31, pf4bit), false),
                             pngOf("one", paletted(99, 37, pf1bit), false)};
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        TPNGImage decoded;
        decoded.LoadFromFile(file);
        const QString written = ConvertGraphicFileTo(file, out, ".png", ".bmp");
        EXPECT_EQ(readBytes(written), WriteBmp(decoded));
    }
    EXPECT_TRUE(magickSame(out + "/big.bmp", big));

    // Image data that ends two thirds down, the chunks intact: the first
    // rows were final (and written) before the fault.
    QList<pngkit::RawChunk> chunks = pngkit::walkChunks(readBytes(big));
    for (pngkit::RawChunk &c : chunks)
        if (c.type == "IDAT") {
            const QByteArray rows = pngkit::inflateBytes(c.data);
            c.data = pngkit::deflateBytes(rows.left(rows.size() * 2 / 3));
        }
    writeBytes(src + "/cut.png", pngkit::buildPng(chunks));
    writeBytes(out + "/cut.bmp", "old contents");
    EXPECT_THROW(ConvertGraphicFileTo(src + "/cut.png", out, ".png", ".bmp"), EGraphicError);
    EXPECT_EQ(readBytes(out + "/cut.bmp"), QByteArray("old contents"));
    EXPECT_FALSE(QDir(out).entryList(QDir::Files | QDir::Hidden).join(' ').contains("cut.bmp."));
}

// ---------------------------------------------------------------------------
// The window-side wrapper

TEST_F(GraphicConvert, APairWithoutConverterClosesTheWindowAndSaysSo)
{
    QWidget progress;
    progress.show();
    QString shown;
    QTimer::singleShot(0, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->objectName() == "GraphicConvertMessage") {
                shown = box->text();
                box->accept();
            }
    });
    QPointer<QWidget> window(&progress);
    EXPECT_FALSE(ConvertGraphicFile(makeSource(".bmp"), out, ".bmp", ".tiff", window));
    EXPECT_EQ(shown, QString::fromUtf8("Konvertier-Routine steht nicht zur Verfügung (unit: GraphicConvert)!"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(progress.isVisible());
    // A window that is gone by then is no problem.
    QTimer::singleShot(0, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w))
                box->accept();
    });
    EXPECT_FALSE(ConvertGraphicFile(makeSource(".bmp"), out, ".tif", ".bmp", QPointer<QWidget>()));
    EXPECT_TRUE(QDir(out).isEmpty());
}

// ---------------------------------------------------------------------------
// In memory and at once

TEST_F(GraphicConvert, ToBitmapInMemoryMatchesTheFileConversion)
{
    for (const char *ext : {".jpg", ".jpeg", ".png", ".ico", ".wmf", ".emf", ".zkg"}) {
        SCOPED_TRACE(ext);
        const QString source = makeSource(ext);
        TBitmap mem = ConvertGraphicToBitmap(source);
        const QString file = ConvertGraphicFileTo(source, out, ext, ".bmp");
        TBitmap disk;
        disk.LoadFromFile(file);
        EXPECT_EQ(mem.SaveToBytes(), disk.SaveToBytes());
        QFile::remove(file);
    }
    EXPECT_THROW(ConvertGraphicToBitmap(makeSource(".bmp").replace(".bmp", ".txt")), ENoConverter);
}

TEST_F(GraphicConvert, EightConversionsAtOnceGiveTheBytesOfOneAtATime)
{
    struct Job
    {
        const char *from, *to;
    } jobs[8] = {{".jpg", ".ico"}, {".ico", ".jpg"}, {".bmp", ".png"}, {".png", ".jpg"},
                 {".jpg", ".bmp"}, {".emf", ".wmf"}, {".bmp", ".emf"}, {".png", ".ico"}};
    std::vector<QString> sources;
    for (const Job &j : jobs)
        sources.push_back(makeSource(j.from));
    std::vector<QByteArray> alone;
    for (int i = 0; i < 8; ++i) {
        const QString d = out + "/alone" + QString::number(i);
        QDir().mkpath(d);
        alone.push_back(readBytes(ConvertGraphicFileTo(sources[size_t(i)], d, jobs[i].from, jobs[i].to)));
    }
    for (int round = 0; round < 3; ++round) {
        std::vector<QByteArray> together(8);
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&, i] {
                const QString d = out + "/r" + QString::number(round) + "-" + QString::number(i);
                QDir().mkpath(d);
                together[size_t(i)] = readBytes(ConvertGraphicFileTo(sources[size_t(i)], d, jobs[i].from, jobs[i].to));
            });
        }
        for (std::thread &t : threads)
            t.join();
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(together[size_t(i)], alone[size_t(i)]) << jobs[i].from << " -> " << jobs[i].to;
    }
}

// ---------------------------------------------------------------------------
// Icons

TEST(IconRoutines, IconToBitmapFillsTransparentPixels)
{
    QImage img(3, 1, QImage::Format_ARGB32);
    img.setPixel(0, 0, qRgba(255, 0, 0, 255));
    img.setPixel(1, 0, qRgba(0, 0, 0, 0));
    img.setPixel(2, 0, qRgba(0, 0, 255, 128));
    TIcon icon;
    icon.SetImage(img);
    struct Row
    {
        TColor fill;
        QRgb clear, half;
    } rows[] = {{clNone, qRgb(255, 255, 255), qRgb(127, 127, 255)}, {0x00FF00, qRgb(0, 255, 0), qRgb(0, 127, 128)}};
    for (const Row &r : rows) {
        auto bmp = IconToBitmap(icon, r.fill);
        EXPECT_EQ(bmp->PixelFormat(), pf24bit);
        EXPECT_EQ(bmp->PixelRgb(0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(bmp->PixelRgb(1, 0), r.clear);
        const QRgb h = bmp->PixelRgb(2, 0);
        EXPECT_NEAR(qRed(h), qRed(r.half), 1);
        EXPECT_NEAR(qGreen(h), qGreen(r.half), 1);
        EXPECT_NEAR(qBlue(h), qBlue(r.half), 1);
    }
}

TEST(IconRoutines, GraphicToIconMasksTheColour)
{
    TBitmap bmp(2, 1);
    bmp.SetPixel(0, 0, 0x0000FF);
    bmp.SetPixel(1, 0, 0xFFFFFF);
    EXPECT_EQ(qAlpha(GraphicToIcon(bmp, clWhite)->Image().pixel(1, 0)), 0);
    EXPECT_EQ(qAlpha(GraphicToIcon(bmp, clWhite)->Image().pixel(0, 0)), 255);
    EXPECT_EQ(qAlpha(GraphicToIcon(bmp, clNone)->Image().pixel(1, 0)), 255);
}

TEST_F(GraphicConvert, IconsLargerThan256AreOnePngEntryOthersReadAtTheirSize)
{
    QImage big = screenshotLike(300, 200).convertToFormat(QImage::Format_ARGB32);
    big.setPixel(5, 5, qRgba(0, 0, 0, 0));
    const QByteArray file = IconEncode(big);
    ASSERT_GT(file.size(), 22 + 8);
    EXPECT_EQ(file.mid(22, 8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    const QString ico = out + "/big.ico";
    ASSERT_TRUE(writeBytes(ico, file));
    writeBytes(out + "/entry.png", file.mid(22));
    EXPECT_EQ(runProgram("pngcheck", {"-q", out + "/entry.png"}), 0);
    const QImage back = magickDecode(ico);
    ASSERT_EQ(back.size(), QSize(300, 200));
    EXPECT_EQ(qAlpha(back.pixel(5, 5)), 0);
    EXPECT_EQ(back.pixel(100, 100), big.pixel(100, 100));
    // Our own reader takes the entry back too.
    EXPECT_EQ(IconDecode(file), big);
    // Up to 256 pixels the entry stays a bitmap.
    EXPECT_NE(IconEncode(big.copy(0, 0, 256, 200)).mid(22, 4), QByteArray("\x89PNG", 4));
}

TEST(ShellFileIcon, TheThemesTextAndGenericIcons)
{
    const QString adwaita = "/usr/share/icons/Adwaita";
    if (!QFileInfo::exists(adwaita + "/index.theme"))
        GTEST_SKIP() << "Adwaita is not installed";
    struct Row
    {
        const char *file;
        const char *icon;
    } rows[] = {{"notes.txt", "text-x-generic"}, {"x.no-such-extension-zk", "application-x-generic"}};
    for (const Row &r : rows) {
        for (const bool small : {true, false}) {
            const int size = small ? 16 : 32;
            const QString dir = adwaita + QString("/%1x%1/mimetypes/").arg(size);
            QString want = dir + r.icon + ".png";
            if (QString(r.file).endsWith(".txt") && QFileInfo::exists(dir + "text-plain.png"))
                want = dir + "text-plain.png";
            auto icon = GetShellFileIcon(r.file, small);
            ASSERT_FALSE(icon->Empty()) << r.file;
            EXPECT_EQ(icon->Image().size(), QSize(size, size));
            // Compared premultiplied: the icon went through a pixmap, which
            // keeps its edge pixels in that form.
            EXPECT_EQ(icon->Image().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                      QImage(want).convertToFormat(QImage::Format_ARGB32_Premultiplied))
                << r.file << " " << size;
        }
    }
}

// ---------------------------------------------------------------------------
// Thumbnails

TEST(Thumbnails, GeometryFitsTheBoxAndCentres)
{
    struct Row
    {
        int sw, sh, w, h;
        QRect want;
    } rows[] = {
        {200, 100, 100, 100, QRect(0, 25, 100, 50)}, {100, 100, 100, 100, QRect(0, 0, 100, 100)},
        {199, 199, 100, 100, QRect(0, 0, 100, 100)}, {50, 30, 100, 100, QRect(0, 20, 100, 60)},
        {1, 1, 100, 100, QRect(0, 0, 100, 100)},     {100, 200, 120, 150, QRect(22, 0, 75, 150)},
        {5, 2, 5, 5, QRect(0, 1, 5, 2)},             {2, 5, 5, 5, QRect(1, 0, 2, 5)},
        {7, 2, 5, 5, QRect(0, 2, 5, 1)},             // 5 / 3.5 = 1.43 rounds to 1
        {8, 2, 6, 6, QRect(0, 2, 6, 2)},             // 6 / 4 = 1.5, half to even: 2
        {4, 3, 5, 5, QRect(0, 0, 5, 4)},             // 3.75 rounds to 4
        {10000, 1, 10, 10, QRect(0, 4, 10, 1)},      // never thinner than a pixel
    };
    for (const Row &r : rows)
        EXPECT_EQ(ThumbnailRect(r.sw, r.sh, r.w, r.h), r.want) << r.sw << "x" << r.sh;
}

TEST(Thumbnails, SizesBelowOneRaiseTheirTexts)
{
    const QString none = sandboxDir() + "/thumb-none.jpg";
    const QString target = sandboxDir() + "/thumb-target.jpg";
    struct Row
    {
        int w, h;
        const char *text;
    } rows[] = {{0, 10, "Ungültige Breite"}, {-3, 0, "Ungültige Breite"}, {10, 0, "Ungültige Höhe"}};
    for (const Row &r : rows) {
        for (int maker = 0; maker < 2; ++maker) {
            try {
                if (maker == 0)
                    MakeJpegThumbnailFile(none, target, r.w, r.h, clWhite);
                else
                    MakePictureThumbnail(none, target, r.w, r.h, clWhite);
                ADD_FAILURE() << "no error";
            } catch (const EGraphicError &e) {
                EXPECT_EQ(e.message(), QString::fromUtf8(r.text));
            }
        }
    }
    EXPECT_FALSE(QFile::exists(target));
}

TEST(Thumbnails, JpegThumbnailDrawsOnTheBackground)
{
    const QString dir = scratchDir("jpegthumb");
    struct Row
    {
        int w, h;
        QRect inside;
    } rows[] = {{200, 100, QRect(0, 25, 100, 50)}, {300, 300, QRect(0, 0, 100, 100)}, {40, 80, QRect(25, 0, 50, 100)}};
    for (const Row &r : rows) {
        QImage pic(r.w, r.h, QImage::Format_RGB32);
        pic.fill(QColor(220, 30, 30));
        const QString source = dir + "/p.jpg";
        pic.save(source, "JPEG", 95);
        const QString target = dir + "/t.jpg";
        MakeJpegThumbnailFile(source, target, 100, 100, 0xFF0000); // blue background
        const QImage t = magickDecode(target);
        ASSERT_EQ(t.size(), QSize(100, 100));
        for (int y = 2; y < 100; y += 4) {
            for (int x = 2; x < 100; x += 4) {
                const QRect core = r.inside.adjusted(3, 3, -3, -3);
                const QRect ground = r.inside.adjusted(-3, -3, 3, 3);
                const QRgb c = t.pixel(x, y);
                if (core.contains(x, y)) {
                    EXPECT_TRUE(qRed(c) > 180 && qBlue(c) < 80) << x << "," << y;
                } else if (!ground.contains(x, y)) {
                    EXPECT_TRUE(qBlue(c) > 200 && qRed(c) < 60) << x << "," << y;
                }
            }
        }
    }
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), (QStringList{"p.jpg", "t.jpg"}));
}

TEST(Thumbnails, BitmapThumbnailsKeepAspectDepthAndPalette)
{
    const QString dir = scratchDir("bmpthumb");
    struct Row
    {
        int w, h;
        TPixelFormat pf;
    } rows[] = {{199, 199, pf24bit}, {50, 30, pf8bit}, {1, 1, pf24bit}, {30, 50, pf4bit}};
    for (const Row &r : rows) {
        SCOPED_TRACE(QString("%1x%2").arg(r.w).arg(r.h).toStdString());
        TBitmap pic(r.w, r.h, r.pf);
        {
            auto c = pic.Canvas();
            c->fillRect(0, 0, r.w, r.h, Qt::red);
        }
        pic.SaveToFile(dir + "/p.bmp");
        MakePictureThumbnail(dir + "/p.bmp", dir + "/t.bmp", 100, 100, clBlue);
        TBitmap t;
        t.LoadFromFile(dir + "/t.bmp");
        EXPECT_EQ(t.PixelFormat(), r.pf);
        EXPECT_EQ(t.Palette(), pic.Palette());
        const QImage seen = magickDecode(dir + "/t.bmp");
        ASSERT_EQ(seen.size(), QSize(100, 100));
        const QRect inside = ThumbnailRect(r.w, r.h, 100, 100);
        for (int y = 0; y < 100; y += 3) {
            for (int x = 0; x < 100; x += 3) {
                // Smooth reduction may leave the last row or column a step off.
                const QRgb c = seen.pixel(x, y), want = inside.contains(x, y) ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
                EXPECT_LE(std::abs(qRed(c) - qRed(want)) + std::abs(qGreen(c) - qGreen(want)) +
                              std::abs(qBlue(c) - qBlue(want)),
                          3)
                    << x << "," << y;
            }
        }
    }
}

TEST(Thumbnails, MetafileThumbnailWritesNothing)
{
    const QString dir = scratchDir("mfthumb");
    MakeMetafileThumbnail(dir + "/x.wmf", dir + "/t.bmp", 100, 100, clWhite);
    EXPECT_TRUE(QDir(dir).isEmpty());
}

} // namespace
