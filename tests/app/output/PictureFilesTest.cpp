// The picture-file rules without a window: the type table, automatic names,
// the writers (checked against ImageMagick where it reads the format), atomic
// writes, loading into a separate object and conversion in a private folder.
#include "PictureFiles.h"

#include "BmpCodec.h"
#include "Icon.h"
#include "Jpeg.h"
#include "Metafile.h"
#include "PNGImage.h"
#include "PictureClasses.h"
#include "PngDeflate.h"
#include "ZStreams.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zk;

namespace {

void registerCodecs()
{
    RegisterJpegGraphics();
    RegisterIconGraphics();
    RegisterMetafileGraphics();
    RegisterPictureFileClasses();
}

// Automatic saving on, as "Shot" of the given type into `folder`.
TZelkoraOptions autoSaveOptions(const QString &folder, int type)
{
    TZelkoraOptions o;
    o.PersSave = true;
    o.OutDir = folder;
    o.FileName = "Shot";
    o.FileTyp = std::uint8_t(type);
    return o;
}

// Screen-like content with sharp edges, soft gradients and many colours.
TBitmap samplePicture(int w = 64, int h = 48)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 255) / qMax(1, w - 1), (y * 255) / qMax(1, h - 1), (x * y) & 0xFF));
    QPainter p(&img);
    p.fillRect(QRect(4, 4, w / 3, h / 4), QColor(0, 84, 227));
    p.fillRect(QRect(w / 2, h / 2, w / 4, h / 4), Qt::white);
    p.setPen(Qt::black);
    p.drawLine(0, h - 1, w - 1, 0);
    p.end();
    return TBitmap::FromImage(img);
}

QImage rgb(const QImage &img)
{
    return img.convertToFormat(QImage::Format_RGB32);
}

int maxChannelDiff(const QImage &a0, const QImage &b0)
{
    const QImage a = rgb(a0), b = rgb(b0);
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = qMax(worst, qAbs(qRed(p) - qRed(q)));
            worst = qMax(worst, qAbs(qGreen(p) - qGreen(q)));
            worst = qMax(worst, qAbs(qBlue(p) - qBlue(q)));
        }
    return worst;
}

double psnr(const QImage &a0, const QImage &b0)
{
    const QImage a = rgb(a0), b = rgb(b0);
    double se = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const double dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
            se += dr * dr + dg * dg + db * db;
        }
    const double mse = se / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ImageMagick's reading of a file, as a PPM that Qt's own reader decodes
// (8 bits a channel: for a 4-bit picture it would otherwise write 4-bit
// samples that widen differently).
QImage decodeWithImageMagick(const QString &file, const QString &workDir)
{
    const QString out = workDir + QStringLiteral("/oracle.ppm");
    QFile::remove(out);
    if (zktest::runProgram(QStringLiteral("/usr/bin/convert"), {file + QStringLiteral("[0]"), QStringLiteral("-depth"), QStringLiteral("8"), out}) != 0)
        return {};
    return QImage(out, "PPM");
}

void touch(const QString &path, const QByteArray &content = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
    f.write(content);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class PictureFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        registerCodecs();
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

} // namespace

TEST(PictureTypeTable, ExtensionsFilterIndicesAndNativeTypes)
{
    const char *exts[] = {".bmp", ".jpg", ".gif", ".wmf", ".emf", ".ico", ".zkg", ".tif", ".png", ".pcx"};
    for (int i = 0; i < kPictureTypeCount; ++i) {
        EXPECT_EQ(PictureTypeExt(i), QString::fromLatin1(exts[i]));
        EXPECT_EQ(PictureTypeOfExt(QString::fromLatin1(exts[i]).toUpper()), i);
    }
    EXPECT_EQ(PictureTypeExt(10), QString());
    EXPECT_EQ(PictureTypeExt(-1), QString());
    EXPECT_EQ(PictureTypeOfExt("jpeg"), int(ptJpg));
    EXPECT_EQ(PictureTypeOfExt(".TIFF"), int(ptTif));
    EXPECT_EQ(PictureTypeOfExt(".dib"), int(ptBmp));
    EXPECT_EQ(PictureTypeOfExt(".xyz"), -1);

    EXPECT_EQ(SaveFilterIndexOf(ptBmp), 1);
    EXPECT_EQ(SaveFilterIndexOf(ptPng), 9);
    EXPECT_EQ(SaveFilterIndexOf(ptPcx), 0);
    EXPECT_EQ(PictureTypeOfSaveFilter(8), int(ptTif));
    EXPECT_EQ(PictureTypeOfSaveFilter(0), -1);
    EXPECT_EQ(PictureTypeOfSaveFilter(10), -1);

    for (const char *e : {".bmp", ".JPG", "jpeg", ".Gif", ".wmf", ".emf", ".ico", ".zkg", ".PNG"})
        EXPECT_TRUE(IsNativePictureExt(e)) << e;
    for (const char *e : {".tif", ".tiff", ".pcx", ".txt", "", "."})
        EXPECT_FALSE(IsNativePictureExt(e)) << e;
    EXPECT_EQ(LowerExt("/a/B.Shot.JPEG"), QString(".jpeg"));
    EXPECT_EQ(LowerExt("/a/noext"), QString());
}

TEST(PictureTypeTable, DialogFiltersReadAsTheUserSeesThem)
{
    const auto &open = OpenDialogFilters();
    ASSERT_EQ(open.size(), 9);
    EXPECT_EQ(open[0].Label(), QString("Windows Bitmap (*.bmp)"));
    EXPECT_EQ(open[1].Label(), QString("JPEG-Grafik (*.jpg, *.jpeg)"));
    EXPECT_EQ(open[7].Label(), QString("Portable Network Graphics (*.png)"));
    EXPECT_EQ(open[8].Label(), QString("Alle lesbaren Dateien (*.bmp, *.jpg, *.jpeg, *.gif, *.wmf, *.emf, "
                                       "*.ico, *.zkg, *.png)"));
    const auto &save = SaveDialogFilters();
    ASSERT_EQ(save.size(), 9);
    EXPECT_EQ(save[0].Label(), QString("Windows Bitmap (*.bmp, *.dib)"));
    EXPECT_EQ(save[7].Label(), QString("Tagged Image File (*.tif, *.tiff)"));
    EXPECT_EQ(save[8].Label(), QString("Portable Network Graphics (*.png)"));
    // Every save entry's first pattern is the extension of the type it writes.
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(save[i - 1].patterns.first(), "*" + PictureTypeExt(PictureTypeOfSaveFilter(i)));
    // Qt splits the patterns at blanks: no comma may stick to one.
    EXPECT_FALSE(QtFilterString(save).contains(','));
    EXPECT_EQ(QtFilterString(save).split(";;").size(), 9);
    EXPECT_EQ(FilterIndexOf(save, save[8].QtFilter()), 9);
    EXPECT_EQ(FilterIndexOf(save, open[1].Label()), 2);
    EXPECT_EQ(FilterIndexOf(save, "nothing"), 0);
}

TEST_F(PictureFiles, NextFreeNumberReadsTheHighestNumber)
{
    EXPECT_EQ(NextFreeNumber(dir.path(), "a", ".bmp"), 1);
    EXPECT_EQ(NextAutoFileName(dir.path(), "a", ".bmp"), QString("a1.bmp"));
    for (const char *n : {"a1.bmp", "a10.bmp", "a2.bmp"})
        touch(path(n));
    EXPECT_EQ(NextFreeNumber(dir.path(), "a", ".bmp"), 11);
    EXPECT_EQ(NextAutoFileName(dir.path(), "a", ".bmp"), QString("a4.bmp"));

    QTemporaryDir shots;
    for (const char *n : {"Shot1.bmp", "Shot7.bmp", "Shotx.bmp", "shot99.bmp", "Shot50.jpg", "Shot 60.bmp"})
        touch(shots.filePath(n));
    EXPECT_EQ(NextFreeNumber(shots.path(), "Shot", ".bmp"), 8);
    // Every Shot*.bmp counts for the auto name, numbers or not (not the
    // lower-case one: the stem's case counts on Linux).
    EXPECT_EQ(NextAutoFileName(shots.path(), "Shot", ".bmp"), QString("Shot5.bmp"));

    // The extension's case does not count; a folder of a matching name does.
    touch(shots.filePath("Shot12.BMP"));
    QDir(shots.path()).mkdir("Shot20.bmp");
    EXPECT_EQ(NextFreeNumber(shots.path(), "Shot", ".bmp"), 21);
    // Only non-numbers: as if there were none.
    QTemporaryDir words;
    touch(words.filePath("Shotx.bmp"));
    touch(words.filePath("Shot.bmp"));
    EXPECT_EQ(NextFreeNumber(words.path(), "Shot", ".bmp"), 1);
    EXPECT_EQ(NextAutoFileName(words.path(), "Shot", ".bmp"), QString("Shot3.bmp"));
    // A missing folder is an empty one.
    EXPECT_EQ(NextFreeNumber(dir.filePath("missing"), "a", ".bmp"), 1);
}

TEST(DatedNames, TimeIsFixedAndDateHasNoSeparatorsOfPaths)
{
    const QDateTime when(QDate(2026, 12, 7), QTime(14, 5, 9));
    EXPECT_EQ(DatedNamePart(when, QLocale(QLocale::German, QLocale::Germany)), QString("07.12.26_14-05-09"));
    // The English short date "12/7/26" loses its slashes; the 12-hour clock
    // of the locale plays no part.
    EXPECT_EQ(DatedNamePart(when, QLocale(QLocale::English, QLocale::UnitedStates)), QString("12-7-26_14-05-09"));
    const QString gb = DatedNamePart(when, QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(gb, QString("07-12-2026_14-05-09"));
    EXPECT_FALSE(gb.contains('/') || gb.contains(':') || gb.contains('\\'));
}

TEST_F(PictureFiles, APngBandThatFailsToDeflateLeavesNoFile)
{
    RegisterPngGraphics();
    TZelkoraOptions o = autoSaveOptions(dir.path(), ptPng);
    const TBitmap pic = samplePicture();
    png::ForcedBandsForTest = 4;
    png::BandFaultForTest = [](int band) {
        if (band == 2)
            throw EZCompressionError(QStringLiteral("band failed"));
    };
    EXPECT_THROW(AutoSavePicture(pic, o), EZCompressionError);
    png::BandFaultForTest = nullptr;
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << qPrintable(entries(dir.path()).join(' '));
    // The same save without the fault writes the file.
    EXPECT_EQ(AutoSavePicture(pic, o), path("Shot1.png"));
    png::ForcedBandsForTest = 0;
}

// A PNG that is written while it encodes and cannot be written to its end
// (a file size limit stands in for a full disk) leaves no file, unnamed or
// named, and the picture it borrowed whole; without the limit the same save
// writes the encoder's bytes under the first free name.
TEST_F(PictureFiles, APngThatCannotBeWrittenToTheEndLeavesNoFileAndThePictureWhole)
{
    RegisterPngGraphics();
    TZelkoraOptions o = autoSaveOptions(dir.path(), ptPng);
    // Noise: about a megabyte of PNG in several bands, far over the limit.
    TBitmap pic(800, 600, pf24bit);
    uint32_t seed = 1;
    for (int y = 0; y < pic.Height(); ++y)
        for (int x = 0; x < 3 * pic.Width(); ++x)
            pic.ScanLine(y)[x] = uchar((seed = seed * 1664525u + 1013904223u) >> 24);
    const TBitmap before(pic);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    for (bool unnamed : {true, false}) {
        SetUnnamedTempFilesDisabled(!unnamed);
        rlimit small = limit;
        small.rlim_cur = 64 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_THROW(AutoSavePicture(pic, o), EGraphicFileError) << "unnamed " << unnamed;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_TRUE(entries(dir.path()).isEmpty()) << qPrintable(entries(dir.path()).join(' '));
        ASSERT_FALSE(pic.Empty());
        for (int y = 0; y < pic.Height(); ++y)
            ASSERT_EQ(0, memcmp(pic.ScanLine(y), before.ScanLine(y), size_t(3 * pic.Width()))) << "row " << y;
    }
    SetUnnamedTempFilesDisabled(false);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(AutoSavePicture(pic, o), path("Shot1.png"));
    QFile written(path("Shot1.png"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll() == EncodePicture(before, ptPng, o, TSaveOrigin::AutoSave));
    EXPECT_EQ(entries(dir.path()), QStringList{"Shot1.png"});
}

// The save that writes while it encodes takes the names the other saves
// take: the next free number, or the dated name and then its "-2".
TEST_F(PictureFiles, APngWrittenWhileEncodingTakesTheNameOfEveryOtherSave)
{
    RegisterPngGraphics();
    const QDateTime when(QDate(2026, 12, 7), QTime(14, 5, 9));
    const QLocale de(QLocale::German, QLocale::Germany);
    const QString dated = "Shot" + DatedNamePart(when, de);
    const struct
    {
        bool dated;
        QStringList existing;
        QString expected;
    } cases[] = {
        {false, {}, "Shot1.png"},
        {false, {"Shot1.png", "Shot4.png"}, "Shot5.png"},
        {true, {}, dated + ".png"},
        {true, {dated + ".png", dated + "-2.png"}, dated + "-3.png"},
    };
    for (const auto &c : cases) {
        QTemporaryDir folder;
        for (const QString &name : c.existing) {
            QFile f(folder.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        TZelkoraOptions o = autoSaveOptions(folder.path(), ptPng);
        o.IsDateTimeToFile = c.dated;
        TBitmap pic = samplePicture();
        EXPECT_EQ(AutoSavePicture(pic, o, when, de), folder.filePath(c.expected));
    }
}

TEST_F(PictureFiles, AutoSaveNamesNumberedAndDatedFiles)
{
    TZelkoraOptions o = autoSaveOptions(dir.path(), ptBmp);
    o.BmpPixForm = pf24bit;
    const TBitmap pic = samplePicture();

    touch(path("Shot3.bmp"), "keep");
    const QString first = AutoSavePicture(pic, o);
    EXPECT_EQ(first, path("Shot4.bmp"));
    EXPECT_EQ(AutoSavePicture(pic, o), path("Shot5.bmp"));
    QFile kept(path("Shot3.bmp"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep"));

    o.IsDateTimeToFile = true;
    o.FileTyp = ptJpg;
    const QDateTime when(QDate(2026, 12, 7), QTime(14, 5, 9));
    const QLocale de(QLocale::German, QLocale::Germany);
    const QString a = AutoSavePicture(pic, o, when, de);
    const QString b = AutoSavePicture(pic, o, when, de);
    const QString c = AutoSavePicture(pic, o, when, de);
    EXPECT_EQ(a, path("Shot07.12.26_14-05-09.jpg"));
    EXPECT_EQ(b, path("Shot07.12.26_14-05-09-2.jpg"));
    EXPECT_EQ(c, path("Shot07.12.26_14-05-09-3.jpg"));
    for (const QString &f : {a, b, c})
        EXPECT_EQ(decodeWithImageMagick(f, dir.path()).size(), QSize(64, 48)) << qPrintable(f);

    // pcx has no writer: nothing is written and no name comes back.
    o.FileTyp = ptPcx;
    const QStringList before = entries(dir.path());
    EXPECT_EQ(AutoSavePicture(pic, o, when, de), QString());
    EXPECT_EQ(entries(dir.path()), before);
    // No temporary file is left behind by any of the saves.
    for (const QString &e : entries(dir.path()))
        EXPECT_FALSE(e.startsWith('.')) << qPrintable(e);
}

TEST_F(PictureFiles, EveryWriterReadsBackThroughTheOpenPath)
{
    TZelkoraOptions o;
    o.BmpPixForm = pf24bit;
    const TBitmap pic = samplePicture();
    const QImage want = pic.ToImage();
    for (int type : {ptBmp, ptJpg, ptWmf, ptEmf, ptIco, ptZkg}) {
        SCOPED_TRACE(PictureTypeExt(type).toStdString());
        ASSERT_TRUE(IsPictureTypeWritable(type));
        const QString file = path("pic" + PictureTypeExt(type));
        WriteFileReplacing(file, EncodePicture(pic, type, o, TSaveOrigin::SaveDialog));
        std::unique_ptr<TGraphic> back = LoadPictureGraphic(file);
        ASSERT_EQ(back->Width(), 64);
        ASSERT_EQ(back->Height(), 48);
        if (type == ptJpg) {
            EXPECT_GT(psnr(back->ToImage(), want), 30.0);
        } else {
            EXPECT_EQ(maxChannelDiff(back->ToImage(), want), 0);
        }
        if (type == ptZkg) {
            EXPECT_EQ(back->ClassName(), QString("TZkgFile"));
        }
        // ImageMagick has no metafile reader here; the formats it reads must
        // give the same pixels as our own reading.
        if (type != ptWmf && type != ptEmf) {
            QString readable = file;
            if (type == ptZkg) {
                readable = path("zkg-as.bmp");
                QFile::remove(readable);
                ASSERT_TRUE(QFile::copy(file, readable));
            }
            const QImage oracle = decodeWithImageMagick(readable, dir.path());
            ASSERT_FALSE(oracle.isNull());
            EXPECT_LE(maxChannelDiff(oracle, back->ToImage()), type == ptJpg ? 3 : 0);
        }
    }
}

TEST_F(PictureFiles, BmpDepthFollowsTheOptions)
{
    const TBitmap pic = samplePicture();
    for (int pf = pf1bit; pf <= pf32bit; ++pf) {
        SCOPED_TRACE(pf);
        TZelkoraOptions o;
        o.BmpPixForm = std::uint8_t(pf);
        const QString file = path(QString("depth%1.bmp").arg(pf));
        WriteFileReplacing(file, EncodePicture(pic, ptBmp, o, TSaveOrigin::AutoSave));
        auto back = LoadPictureGraphic(file);
        auto *bmp = dynamic_cast<TBitmap *>(back.get());
        ASSERT_NE(bmp, nullptr);
        EXPECT_EQ(bmp->PixelFormat(), TPixelFormat(pf));
        const QImage oracle = decodeWithImageMagick(file, dir.path());
        ASSERT_FALSE(oracle.isNull());
        // 5-bit channels are widened differently by different readers.
        EXPECT_LE(maxChannelDiff(oracle, bmp->ToImage()), pf == pf15bit || pf == pf16bit ? 8 : 0);
    }
    // Monochrome wins over a colour depth; the picture given is not changed.
    TZelkoraOptions mono;
    mono.BmpPixForm = pf24bit;
    mono.BmpMonochrome = true;
    const TBitmap converted = ApplyBmpOptions(pic, mono);
    EXPECT_TRUE(converted.Monochrome());
    EXPECT_EQ(pic.PixelFormat(), pf32bit);
    // pfDevice is the screen's depth.
    TZelkoraOptions device;
    device.BmpPixForm = pfDevice;
    EXPECT_EQ(ApplyBmpOptions(pic, device).PixelFormat(), pf32bit);
}

TEST_F(PictureFiles, JpegAndMetafileSettingsReachTheFile)
{
    const TBitmap pic = samplePicture();
    TZelkoraOptions grey;
    grey.JpgColr = 1;
    const QString file = path("grey.jpg");
    WriteFileReplacing(file, EncodePicture(pic, ptJpg, grey, TSaveOrigin::AutoSave));
    QByteArray out;
    ASSERT_EQ(zktest::runProgram("/usr/bin/identify", {"-format", "%[channels] %[interlace]", file}, &out), 0);
    EXPECT_TRUE(out.startsWith("gray")) << out.constData();
    EXPECT_TRUE(out.contains("None")) << out.constData(); // baseline even with progressive display on

    // The EMF description sits in the header (offset 64: length, 68: offset,
    // UTF-16 text); each command has its own.
    auto description = [](const QByteArray &emf) {
        const auto *d = reinterpret_cast<const uchar *>(emf.constData());
        const quint32 n = qFromLittleEndian<quint32>(d + 64), off = qFromLittleEndian<quint32>(d + 68);
        if (off + 2 * n > quint32(emf.size()))
            return QString();
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(d + off), n);
    };
    TZelkoraOptions o;
    EXPECT_TRUE(description(EncodePicture(pic, ptEmf, o, TSaveOrigin::AutoSave)).contains("Zelkora 5.0 Grafik"));
    EXPECT_TRUE(description(EncodePicture(pic, ptEmf, o, TSaveOrigin::SaveDialog)).contains("Zelkora EMF-Grafik"));
    // A WMF is a placeable metafile: its key 0x9AC6CDD7 first.
    const QByteArray wmf = EncodePicture(pic, ptWmf, o, TSaveOrigin::AutoSave);
    EXPECT_EQ(qFromLittleEndian<quint32>(wmf.constData()), 0x9AC6CDD7u);
}

TEST_F(PictureFiles, CodecTypesFollowTheRegistry)
{
    const TBitmap pic = samplePicture();
    TZelkoraOptions o;
    o.OutDir = dir.path();
    o.FileName = "g";

    // No GIF codec is registered: a clear refusal and no file.
    if (!TPicture::FindFileFormat("gif")) {
        EXPECT_FALSE(IsPictureTypeWritable(ptGif));
        o.FileTyp = ptGif;
        try {
            AutoSavePicture(pic, o);
            ADD_FAILURE() << "GIF written without a codec";
        } catch (const EFormatNotAvailable &e) {
            EXPECT_EQ(e.Ext(), QString(".gif"));
            EXPECT_TRUE(e.message().contains(".gif"));
        }
        EXPECT_TRUE(entries(dir.path()).isEmpty());
    }
    // TIF is written by our own writer but read by nothing.
    EXPECT_TRUE(IsPictureTypeWritable(ptTif));
    const TFileFormat *tif = TPicture::FindFileFormat(".tif");
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(tif->description, QString("Tagged Image File"));
    touch(path("x.tif"), "II*\0garbage");
    EXPECT_THROW(LoadPictureGraphic(path("x.tif")), EGraphicError);
    EXPECT_FALSE(IsPictureTypeWritable(ptPcx));
    EXPECT_THROW(EncodePicture(pic, ptPcx, o, TSaveOrigin::SaveDialog), EFormatNotAvailable);

    const TFileFormat *zkg = TPicture::FindFileFormat("ZKG");
    ASSERT_NE(zkg, nullptr);
    EXPECT_EQ(zkg->description, QString("Zelkora-Bitmap"));

    // Once the PNG codec registers, PNG is written with no change here.
    RegisterPngGraphics();
    ASSERT_TRUE(IsPictureTypeWritable(ptPng));
    o.FileTyp = ptPng;
    const QString png = AutoSavePicture(pic, o);
    EXPECT_EQ(png, path("g1.png"));
    const QImage oracle = decodeWithImageMagick(png, dir.path());
    EXPECT_EQ(maxChannelDiff(oracle, pic.ToImage()), 0);
}

TEST_F(PictureFiles, WritesAreAtomicAndNewNamesNeverReplace)
{
    const QString file = path("a.bmp");
    touch(file, "old");
    EXPECT_FALSE(WriteFileNew(file, "new"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old"));
    f.close();
    WriteFileReplacing(file, "new");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("new"));
    f.close();
    EXPECT_EQ(entries(dir.path()), QStringList{"a.bmp"});

    // The new file has the mode of any new file, not the owner-only mode of
    // a temporary one.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    EXPECT_EQ(WriteFileUnique(dir.path(), "a", ".bmp", "2"), path("a-2.bmp"));
    EXPECT_EQ(WriteFileUnique(dir.path(), "b", ".bmp", "1"), path("b.bmp"));

    // A folder that cannot be written: an error, and the old file stays.
    if (::geteuid() != 0) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_THROW(WriteFileReplacing(file, "newer"), EGraphicFileError);
        EXPECT_THROW(WriteFileNew(path("c.bmp"), "c"), EGraphicFileError);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("new"));
    }
}

// A picture saved over an existing file keeps that file's permissions, and
// one saved over a link updates the linked file and keeps the link.
TEST_F(PictureFiles, ReplacingKeepsThePermissionsAndTheLink)
{
    const QString privat = path("private.bmp");
    touch(privat, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(privat).constData(), 0600), 0);
    WriteFileReplacing(privat, "new");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(privat).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(zktest::readBytes(privat), QByteArray("new"));

    ASSERT_TRUE(QDir().mkpath(path("real")));
    touch(path("real/shot.bmp"), "old");
    ASSERT_TRUE(QFile::link(path("real/shot.bmp"), path("shot.bmp")));
    WriteFileReplacing(path("shot.bmp"), "new");
    EXPECT_TRUE(QFileInfo(path("shot.bmp")).isSymLink());
    EXPECT_EQ(zktest::readBytes(path("real/shot.bmp")), QByteArray("new"));
}

TEST_F(PictureFiles, FastSaveTakesAFreeNumber)
{
    SetProgramDirOverride(dir.path());
    const QString autosave = AutosaveDir();
    EXPECT_EQ(autosave, QDir(dir.path()).filePath("Autosave") + "/");
    ASSERT_TRUE(QDir().mkpath(autosave));
    for (int i = 1; i <= 3; ++i)
        touch(autosave + QString("ZK_Scan_%1.bmp").arg(i));
    touch(autosave + "other.jpg");
    std::uint16_t counter = CountAutosaveFiles();
    EXPECT_EQ(counter, 3);
    QFile::remove(autosave + "ZK_Scan_2.bmp");
    EXPECT_EQ(NextFastSaveNumber(autosave, counter), 4);
    EXPECT_EQ(counter, 4);
    // Counting again after the deletion (a restart) still avoids number 3.
    std::uint16_t restarted = CountAutosaveFiles();
    EXPECT_EQ(restarted, 2);
    EXPECT_EQ(NextFastSaveNumber(autosave, restarted), 4);
    // With a gap above, the counter goes on as before.
    std::uint16_t ahead = 9;
    EXPECT_EQ(NextFastSaveNumber(autosave, ahead), 10);
    SetProgramDirOverride(QString());
}

TEST_F(PictureFiles, DamagedFilesFailWithoutTouchingAnything)
{
    const TBitmap pic = samplePicture();
    TZelkoraOptions o;
    o.BmpPixForm = pf24bit;
    QByteArray bmp = EncodePicture(pic, ptBmp, o, TSaveOrigin::SaveDialog);
    touch(path("cut.bmp"), bmp.left(bmp.size() / 2));
    EXPECT_THROW(LoadPictureGraphic(path("cut.bmp")), EGraphicError);

    QByteArray jpg = EncodePicture(pic, ptJpg, o, TSaveOrigin::SaveDialog);
    // The frame header's first sampling-factor byte set to 0: a file no
    // decoder can make a picture of.
    const int sof = jpg.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    jpg[sof + 11] = 0;
    touch(path("bad.jpg"), jpg);
    EXPECT_THROW(LoadPictureGraphic(path("bad.jpg")), EGraphicError);
    EXPECT_THROW(LoadPictureGraphic(path("none.bmp")), EGraphicError);
    EXPECT_THROW(LoadPictureGraphic(path("x.unknownext")), EGraphicError);
}

TEST_F(PictureFiles, ConversionNeverWritesBesideTheSource)
{
    const TBitmap pic = samplePicture();
    TZelkoraOptions o;
    WriteFileReplacing(path("photo.jpg"), EncodePicture(pic, ptJpg, o, TSaveOrigin::SaveDialog));
    touch(path("photo.bmp"), "an unrelated file");
    auto bmp = ConvertToBmp(path("photo.jpg"));
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->Width(), 64);
    auto direct = LoadPictureGraphic(path("photo.jpg"));
    EXPECT_EQ(maxChannelDiff(bmp->ToImage(), direct->ToImage()), 0);
    QFile f(path("photo.bmp"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("an unrelated file"));
    EXPECT_EQ(entries(dir.path()), (QStringList{"photo.bmp", "photo.jpg"}));

    // A read-only source folder is no obstacle either, and a damaged source
    // is an error, not an empty bitmap.
    touch(path("broken.gif"), "GIF89a");
    EXPECT_THROW(ConvertToBmp(path("broken.gif")), EGraphicError);
}

TEST(StatusPanelFormat, PanelTextsOfOpenedAndSavedPictures)
{
    EXPECT_EQ(PanelBitmapAs(".png"), QString("|bmp| - png"));
    EXPECT_EQ(PanelForOpenedFile(".jpg", true, true), QString("|bmp| - jpg"));
    EXPECT_EQ(PanelForOpenedFile(".bmp", true, true), QString("bmp"));
    EXPECT_EQ(PanelForOpenedFile(".gif", false, true), QString("gif"));
    EXPECT_EQ(PanelForOpenedFile(".gif", false, false), QString("- - -"));
    EXPECT_TRUE(PanelShowsNonBitmapFile("jpg"));
    EXPECT_TRUE(PanelShowsNonBitmapFile("ico"));
    EXPECT_FALSE(PanelShowsNonBitmapFile("bmp"));
    EXPECT_FALSE(PanelShowsNonBitmapFile("- - -"));
    EXPECT_FALSE(PanelShowsNonBitmapFile(""));
    EXPECT_FALSE(PanelShowsNonBitmapFile("|bmp|"));
    EXPECT_FALSE(PanelShowsNonBitmapFile("|bmp| - jpg"));
}

TEST_F(PictureFiles, TifAutoSaveReadsBackAsThePicture)
{
    TZelkoraOptions o;
    o.PersSave = true;
    o.OutDir = dir.path();
    o.FileName = "Shot";
    o.FileTyp = ptTif;
    const TBitmap pic = samplePicture(37, 21);
    const QString file = AutoSavePicture(pic, o);
    EXPECT_EQ(file, path("Shot1.tif"));
    const QImage oracle = decodeWithImageMagick(file, dir.path());
    ASSERT_FALSE(oracle.isNull());
    EXPECT_EQ(maxChannelDiff(oracle, pic.ToImage()), 0);
    // Written, but still never read.
    EXPECT_THROW(LoadPictureGraphic(file), EGraphicError);
}

TEST_F(PictureFiles, HugeDeclaredSizesAreRefusedAsTooLargeBeforeDecoding)
{
    // A few hundred bytes that declare 60000 x 60000 (JPEG) and a PNG of
    // 100000 x 100000 whose one row is all it holds: the size rule refuses
    // both before anything is allocated, with one "too large" message.
    RegisterPictureCodecs();
    RegisterPictureFileClasses();
    const TBitmap pic = samplePicture();
    TZelkoraOptions o;
    for (const bool progressive : {false, true}) {
        o.JpgEncoding = progressive;
        QByteArray jpg = EncodePicture(pic, ptJpg, o, TSaveOrigin::SaveDialog);
        int sof = jpg.indexOf("\xFF\xC0");
        if (sof < 0)
            sof = jpg.indexOf("\xFF\xC2");
        ASSERT_GT(sof, 0);
        for (int i : {5, 7}) {
            jpg[sof + i] = char(60000 >> 8);
            jpg[sof + i + 1] = char(60000 & 0xFF);
        }
        touch(path(progressive ? "huge-p.jpg" : "huge.jpg"), jpg);
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    const auto chunk = [&png](const char *type, const QByteArray &data) {
        const QByteArray body = QByteArray(type, 4) + data;
        for (int s : {24, 16, 8, 0})
            png.append(char((data.size() >> s) & 0xFF));
        png += body;
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size())));
        for (int s : {24, 16, 8, 0})
            png.append(char((crc >> s) & 0xFF));
    };
    QByteArray ihdr;
    for (int s : {24, 16, 8, 0})
        ihdr.append(char((100000 >> s) & 0xFF));
    ihdr += ihdr;
    ihdr += QByteArray("\x08\x00\x00\x00\x00", 5); // 8-bit grey
    chunk("IHDR", ihdr);
    chunk("IDAT", qCompress(QByteArray(100001, '\0')).mid(4));
    chunk("IEND", {});
    touch(path("huge.png"), png);

    for (const char *name : {"huge.jpg", "huge-p.jpg", "huge.png"}) {
        for (const bool convert : {false, true}) {
            SCOPED_TRACE(std::string(name) + (convert ? " converted" : " native"));
            try {
                if (convert)
                    ConvertToBmp(path(name));
                else
                    LoadPictureGraphic(path(name));
                ADD_FAILURE() << "opened";
            } catch (const std::exception &e) {
                const TFailureMessage m = OpenFailureMessage(e);
                const QString detail = FailureDetail(e);
                EXPECT_STREQ(m.key, "showmsg_graphic_too_large") << detail.toStdString();
                EXPECT_TRUE(detail.endsWith(QLatin1String(" > 268435456"))) << detail.toStdString();
                EXPECT_FALSE(detail.contains(QLatin1String("zu groß"))) << "said once, above it";
            }
        }
    }
}
