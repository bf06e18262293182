#include "PictureFiles.h"

#include "GraphicText.h"

#include "SafeFile.h"

#include "Bmp2Tiff.h"
#include "BmpCodec.h"
#include "GIFImage.h"
#include "GraphicText.h"
#include "GraphicConvert.h"
#include "Icon.h"
#include "Jpeg.h"
#include "Metafile.h"
#include "ProgramDir.h"
#include "PNGImage.h"
#include "PngChunks.h"
#include "Progress.h"
#include "Registry.h"
#include "ZStreams.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace zk {

// ---------------------------------------------------------------------------
// The picture type table

namespace {

const char *const kTypeExts[kPictureTypeCount] = {".bmp", ".jpg", ".gif", ".wmf", ".emf",
                                                  ".ico", ".zkg", ".tif", ".png", ".pcx"};

QString withDot(const QString &ext)
{
    return ext.startsWith(QLatin1Char('.')) ? ext : QLatin1Char('.') + ext;
}

} // namespace

QString PictureTypeExt(int typeIndex)
{
    if (typeIndex < 0 || typeIndex >= kPictureTypeCount)
        return {};
    return QString::fromLatin1(kTypeExts[typeIndex]);
}

int PictureTypeOfExt(const QString &ext)
{
    const QString e = withDot(ext).toLower();
    if (e == QLatin1String(".jpeg"))
        return ptJpg;
    if (e == QLatin1String(".tiff"))
        return ptTif;
    if (e == QLatin1String(".dib"))
        return ptBmp;
    for (int i = 0; i < kPictureTypeCount; ++i)
        if (e == QLatin1String(kTypeExts[i]))
            return i;
    return -1;
}

int SaveTypeOfChosenName(const QString &fileName, int filterIndex)
{
    const int byName = PictureTypeOfExt(LowerExt(fileName));
    if (byName >= 0)
        return byName;
    const int byFilter = PictureTypeOfSaveFilter(filterIndex);
    return byFilter >= 0 ? byFilter : int(ptBmp);
}

QString DialogStartFolder(const QStringList &candidates)
{
    // The root and the working folder say nothing about the user's
    // pictures: a default of "/" or a relative name skips to the next.
    const QString root = QDir::rootPath();
    const QString working = QDir::currentPath();
    for (const QString &c : candidates) {
        if (c.isEmpty() || QDir::isRelativePath(c) || !QFileInfo(c).isDir())
            continue;
        const QString folder = QDir(c).canonicalPath();
        if (folder != root && folder != working)
            return folder;
    }
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

namespace {

// A picture the size rule refuses gets one message, "too large", with the
// size after it (not "damaged" above a "too large" line); nullopt for any
// other failure.
std::optional<QString> tooLargeDetail(const std::exception &e)
{
    if (const auto *png = dynamic_cast<const EPNGImageException *>(&e)) {
        if (png->Id() != peImageTooLarge)
            return std::nullopt;
        // The size stands in brackets after the handler's text.
        const QString m = png->message();
        const qsizetype open = m.lastIndexOf(QLatin1Char('('));
        return open >= 0 && m.endsWith(QLatin1Char(')')) ? m.mid(open + 1).chopped(1) : QString();
    }
    const auto *ge = dynamic_cast<const EGraphicError *>(&e);
    const QString lead = GraphicText("showmsg_graphic_too_large", QStringLiteral("Das Bild ist zu groß")) +
                         QStringLiteral(": ");
    if (ge && ge->message().startsWith(lead))
        return ge->message().mid(lead.size());
    return std::nullopt;
}

} // namespace

TFailureMessage OpenFailureMessage(const std::exception &e)
{
    if (tooLargeDetail(e))
        return {"showmsg_graphic_too_large", "Das Bild ist zu groß"};
    if (const auto *png = dynamic_cast<const EPNGImageException *>(&e)) {
        switch (png->Id()) {
        case peUnknownColourType:
        case peUnknownInterlace:
        case peUnknownCriticalChunk:
        case peUnknownFilterType:
            return {"showmsg_file_variant_unsupported", "Diese Variante des Dateiformats wird nicht unterstützt."};
        default:
            break;
        }
    }
    if (dynamic_cast<const EInvalidGraphic *>(&e) || dynamic_cast<const EZLibError *>(&e))
        return {"showmsg_file_damaged", "Die Datei ist beschädigt und kann nicht geöffnet werden."};
    if (dynamic_cast<const ERegistryException *>(&e))
        return {"showmsg_write_error_registry", "Die Einstellungen konnten nicht gespeichert werden: "};
    return {"showmsg_except_file_not_opened", "Die Datei konnte nicht geöffnet werden: "};
}

QString FailureDetail(const std::exception &e)
{
    if (const std::optional<QString> size = tooLargeDetail(e))
        return *size;
    if (const auto *ge = dynamic_cast<const EGraphicError *>(&e))
        return ge->message();
    return QString::fromUtf8(e.what());
}

int SaveFilterIndexOf(int typeIndex)
{
    return typeIndex >= 0 && typeIndex <= ptPng ? typeIndex + 1 : 0;
}

int PictureTypeOfSaveFilter(int filterIndex)
{
    return filterIndex >= 1 && filterIndex <= 9 ? filterIndex - 1 : -1;
}

bool IsNativePictureExt(const QString &ext)
{
    static const QStringList native = {".bmp", ".jpg", ".gif", ".wmf", ".emf",
                                       ".ico", ".zkg", ".png", ".jpeg"};
    return !ext.isEmpty() && native.contains(withDot(ext).toLower());
}

QString LowerExt(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toLower();
}

// ---------------------------------------------------------------------------
// Dialog filters

QString TDialogFilter::Label() const
{
    return description + QStringLiteral(" (") + patterns.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString TDialogFilter::QtFilter() const
{
    return description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

namespace {
// The entries both dialogs list between their bitmap and their last entries.
QList<TDialogFilter> sharedFilters()
{
    return {
        {QStringLiteral("JPEG-Grafik"), {"*.jpg", "*.jpeg"}, "opendlg_filter_jpeg"},
        {QStringLiteral("GIF-Grafik"), {"*.gif"}, "opendlg_filter_gif"},
        {QStringLiteral("Windows Metafile"), {"*.wmf"}, "opendlg_filter_wmf"},
        {QStringLiteral("Enhanced Windows Metafile"), {"*.emf"}, "opendlg_filter_emf"},
        {QStringLiteral("Windows Icon"), {"*.ico"}, "opendlg_filter_ico"},
        {QStringLiteral("Zelkora Bitmap"), {"*.zkg"}, "opendlg_filter_zkg"},
    };
}
const TDialogFilter kPngFilter{QStringLiteral("Portable Network Graphics"), {"*.png"}, "opendlg_filter_png"};
} // namespace

const QList<TDialogFilter> &OpenDialogFilters()
{
    static const QList<TDialogFilter> filters =
        QList<TDialogFilter>{{QStringLiteral("Windows Bitmap"), {"*.bmp"}, "opendlg_filter_bmp"}} + sharedFilters() +
        QList<TDialogFilter>{kPngFilter,
                             {QStringLiteral("Alle lesbaren Dateien"),
                              {"*.bmp", "*.jpg", "*.jpeg", "*.gif", "*.wmf", "*.emf", "*.ico", "*.zkg", "*.png"},
                              "opendlg_filter_all"}};
    return filters;
}

const QList<TDialogFilter> &SaveDialogFilters()
{
    static const QList<TDialogFilter> filters =
        QList<TDialogFilter>{{QStringLiteral("Windows Bitmap"), {"*.bmp", "*.dib"}, "opendlg_filter_bmp"}} +
        sharedFilters() +
        QList<TDialogFilter>{{QStringLiteral("Tagged Image File"), {"*.tif", "*.tiff"}, "opendlg_filter_tif"},
                             kPngFilter};
    return filters;
}

QList<TDialogFilter> TranslatedFilters(const QList<TDialogFilter> &filters,
                                       const std::function<QString(const QString &key)> &text)
{
    QList<TDialogFilter> out = filters;
    for (TDialogFilter &f : out) {
        if (!f.key)
            continue;
        const QString translated = text(QString::fromLatin1(f.key));
        if (!translated.trimmed().isEmpty())
            f.description = translated;
    }
    return out;
}

QString QtFilterString(const QList<TDialogFilter> &filters)
{
    QStringList parts;
    for (const TDialogFilter &f : filters)
        parts << f.QtFilter();
    return parts.join(QStringLiteral(";;"));
}

int FilterIndexOf(const QList<TDialogFilter> &filters, const QString &text)
{
    for (int i = 0; i < filters.size(); ++i)
        if (filters[i].QtFilter() == text || filters[i].Label() == text)
            return i + 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Automatic names

namespace {

// The number after the stem as the rest of the name reads: an optional sign
// and decimal digits that fit an int; anything else is no number.
bool parseNumber(const QStringView rest, int *value)
{
    if (rest.isEmpty())
        return false;
    bool ok = false;
    const int v = rest.toInt(&ok, 10);
    if (!ok)
        return false;
    // toInt tolerates surrounding blanks; a name does not.
    if (rest.front().isSpace() || rest.back().isSpace())
        return false;
    *value = v;
    return true;
}

} // namespace

TNameScan ScanNumberedNames(const QString &dir, const QString &stem, const QString &ext)
{
    TNameScan scan;
    const QByteArray path = QFile::encodeName(dir.isEmpty() ? QStringLiteral(".") : dir);
    DIR *d = ::opendir(path.constData());
    if (!d)
        return scan;
    const QString dotExt = withDot(ext);
    while (const dirent *e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        const QString name = QFile::decodeName(e->d_name);
        if (name.size() < stem.size() + dotExt.size() || !name.startsWith(stem, Qt::CaseSensitive) ||
            !name.endsWith(dotExt, Qt::CaseInsensitive))
            continue;
        ++scan.count;
        int n = 0;
        const QStringView rest = QStringView(name).mid(stem.size(), name.size() - stem.size() - dotExt.size());
        if (parseNumber(rest, &n) && n > scan.highest)
            scan.highest = n;
    }
    ::closedir(d);
    return scan;
}

int NextFreeNumber(const QString &dir, const QString &stem, const QString &ext)
{
    const int highest = ScanNumberedNames(dir, stem, ext).highest;
    // A name numbered INT_MAX leaves no higher number; the writers then refuse
    // to replace it rather than wrap round to a negative name.
    return highest == INT_MAX ? INT_MAX : highest + 1;
}

QString NextAutoFileName(const QString &dir, const QString &stem, const QString &ext)
{
    const int count = ScanNumberedNames(dir, stem, ext).count;
    return stem + QString::number(count + 1) + withDot(ext);
}

QString DatedNamePart(const QDateTime &when, const QLocale &locale)
{
    QString date = locale.toString(when.date(), QLocale::ShortFormat);
    date.replace(QLatin1Char('/'), QLatin1Char('-'));
    date.replace(QLatin1Char('\\'), QLatin1Char('-'));
    date.replace(QLatin1Char(':'), QLatin1Char('-'));
    // Locale-independent on purpose: some locales' long time formats carry
    // a zone name or an AM/PM marker that has no place in a file name.
    const QString time = when.time().toString(QStringLiteral("HH-mm-ss"));
    return date + QLatin1Char('_') + time;
}

QString AutosaveDir()
{
    return ProgramDir() + QStringLiteral("Autosave/");
}

std::uint16_t CountAutosaveFiles()
{
    const int n = ScanNumberedNames(AutosaveDir(), QString(), QStringLiteral(".bmp")).count;
    return std::uint16_t(qMin(n, 0xFFFF));
}

int NextFastSaveNumber(const QString &dir, std::uint16_t &counter)
{
    const int free = NextFreeNumber(dir, QString::fromLatin1(FastSaveStem), QStringLiteral(".bmp"));
    const int next = qMax(int(counter) + 1, free);
    counter = std::uint16_t(qMin(next, 0xFFFF));
    return next;
}

// ---------------------------------------------------------------------------
// Writers

namespace {

// The class registered for a codec type.
const TFileFormat *codecFor(int typeIndex)
{
    return TPicture::FindFileFormat(PictureTypeExt(typeIndex));
}

QByteArray encodeThroughRegistry(const TBitmap &bitmap, int typeIndex)
{
    const TFileFormat *f = codecFor(typeIndex);
    if (!f)
        throw EFormatNotAvailable(PictureTypeExt(typeIndex));
    std::unique_ptr<TGraphic> g = f->create();
    g->Assign(bitmap);
    return g->SaveToBytes();
}

// GIF with the colour options. Under "no reduction" a picture of more than
// 256 colours is reduced to 256 octree colours rather than refused: a real
// screenshot nearly always has more, and the save must not fail for it.
QByteArray encodeGif(const TBitmap &bitmap, const TZelkoraOptions &options)
{
    const TFileFormat *f = codecFor(ptGif);
    if (!f)
        throw EFormatNotAvailable(PictureTypeExt(ptGif));
    std::unique_ptr<TGraphic> g = f->create();
    auto *gif = dynamic_cast<TGIFImage *>(g.get());
    if (!gif)
        return encodeThroughRegistry(bitmap, ptGif);
    gif->ReductionMethod = options.GifColOpt >= 1 && options.GifColOpt <= 6 ? options.GifColOpt : 0;
    gif->DitherMode = options.GifDith != 0 ? 1 : 0;
    gif->Compression = options.GifComp;
    if (gif->ReductionMethod == 0 && BitmapHasMoreColors(bitmap, 256)) {
        gif->ReductionMethod = 7;
        gif->ReductionBits = 8;
    }
    gif->Assign(bitmap);
    return gif->SaveToBytes();
}

QByteArray encodeMetafile(const TBitmap &bitmap, bool enhanced, const QString &description)
{
    TMetafile mf;
    mf.SetEnhanced(enhanced);
    mf.SetWidth(bitmap.Width());
    mf.SetHeight(bitmap.Height());
    {
        TMetafileCanvas canvas(mf, QString(), description);
        bitmap.Draw(canvas.Painter(), QRect(0, 0, bitmap.Width(), bitmap.Height()));
    }
    return mf.SaveToData();
}

} // namespace

bool IsPictureTypeWritable(int typeIndex)
{
    switch (typeIndex) {
    case ptBmp:
    case ptJpg:
    case ptWmf:
    case ptEmf:
    case ptIco:
    case ptZkg:
        return true;
    case ptGif:
    case ptTif:
    case ptPng:
        return codecFor(typeIndex) != nullptr;
    default:
        return false;
    }
}

TBitmap ApplyBmpOptions(const TBitmap &bitmap, const TZelkoraOptions &options)
{
    TBitmap out(bitmap);
    if (options.BmpPixForm <= pf32bit)
        out.SetPixelFormat(TPixelFormat(options.BmpPixForm));
    // Only switched on: "off" means "keep the depth just chosen", not "turn
    // a 1-bit choice back into colour".
    if (options.BmpMonochrome)
        out.SetMonochrome(true);
    return out;
}

QByteArray EncodePicture(const TBitmap &bitmap, int typeIndex, const TZelkoraOptions &options,
                         TSaveOrigin origin)
{
    if (bitmap.Empty())
        throw EInvalidGraphicOperation(QStringLiteral("Es ist keine Grafik zum Speichern da."));
    switch (typeIndex) {
    case ptBmp: {
        const TPixelFormat want = options.BmpPixForm == pfDevice ? pf32bit : TPixelFormat(options.BmpPixForm);
        // The usual case, a capture already in the chosen depth, needs no copy.
        if (!options.BmpMonochrome && (want == bitmap.PixelFormat() || options.BmpPixForm > pf32bit))
            return WriteBmp(bitmap);
        return WriteBmp(ApplyBmpOptions(bitmap, options));
    }
    case ptJpg: {
        // Pixel format, performance and progressive display are reading and
        // display settings: the file is the same baseline JPEG whatever they
        // are, and compressing now or on saving gives the same bytes. The
        // rows are read where they lie, without a copy of the picture.
        TJPEGImage jpeg;
        jpeg.SetGrayscale(options.JpgColr != 0);
        return jpeg.CompressBitmap(bitmap);
    }
    case ptWmf:
        return encodeMetafile(bitmap, false, QString());
    case ptEmf:
        return encodeMetafile(bitmap, true,
                              QString::fromUtf8(origin == TSaveOrigin::SaveDialog ? EmfDescriptionSaveDialog
                                                                                 : EmfDescriptionAutoSave));
    case ptIco: {
        TIcon icon;
        icon.AssignBitmap(bitmap, clNone);
        if (origin == TSaveOrigin::SaveDialog)
            icon.SetTransparent(options.Trans);
        return icon.SaveToBytes();
    }
    case ptZkg:
        return WriteBmp(bitmap);
    case ptGif:
        return encodeGif(bitmap, options);
    case ptTif:
    case ptPng:
        return encodeThroughRegistry(bitmap, typeIndex);
    default:
        throw EFormatNotAvailable(PictureTypeExt(typeIndex).isEmpty() ? QString::number(typeIndex)
                                                                      : PictureTypeExt(typeIndex));
    }
}

namespace {

EGraphicFileError writeError(const QString &path, const QString &reason)
{
    // All in the program's language: the lead comes from the language file.
    return EGraphicFileError(GraphicFault("showmsg_graphic_cannot_write",
                                          QStringLiteral("Die Datei kann nicht geschrieben werden"),
                                          QStringLiteral("\"%1\": %2").arg(path, reason)));
}

// The complete bytes beside path, not yet under its name. New pictures get
// the mode any new file gets (0666 less the umask).
void writePending(TPendingFile &file, const QString &path, const QByteArray &data)
{
    QString reason;
    if (!file.Write(path, data, 0666, &reason))
        throw writeError(path, reason);
}

} // namespace

void WriteFileReplacing(const QString &path, const QByteArray &data)
{
    // A picture saved over a link updates the file it points to and keeps
    // the link; one saved over a file keeps that file's permissions (a
    // private screenshot stays private).
    const QString target = ResolveLinkTarget(path);
    TPendingFile file;
    QString reason;
    if (!file.Write(target, data, 0666, &reason, target))
        throw writeError(path, reason);
    if (!file.Replace(&reason))
        throw writeError(path, reason);
}

bool WriteFileNew(const QString &path, const QByteArray &data)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return false;
    TPendingFile file;
    writePending(file, path, data);
    bool taken = false;
    QString reason;
    if (file.LinkNew(&taken, &reason))
        return true;
    if (taken)
        return false;
    throw writeError(path, reason);
}

QString WriteFileUnique(const QString &dir, const QString &stem, const QString &ext, const QByteArray &data)
{
    const QString base = QDir(dir).filePath(stem);
    for (int n = 1; n < 100000; ++n) {
        const QString candidate = n == 1 ? base + ext : base + QLatin1Char('-') + QString::number(n) + ext;
        if (WriteFileNew(candidate, data))
            return candidate;
    }
    throw EGraphicFileError(QStringLiteral("Kein freier Dateiname für \"%1\"").arg(base + ext));
}

QString AutoSavePicture(const TBitmap &bitmap, const TZelkoraOptions &options, const QDateTime &now,
                        const QLocale &locale)
{
    const int type = options.FileTyp;
    if (type == ptPcx || PictureTypeExt(type).isEmpty())
        return {};
    const QString ext = PictureTypeExt(type);
    const QByteArray data = EncodePicture(bitmap, type, options, TSaveOrigin::AutoSave);
    if (options.IsDateTimeToFile)
        return WriteFileUnique(options.OutDir, options.FileName + DatedNamePart(now, locale), ext, data);
    // The free number is free when we looked; a second copy of the program
    // may take it first, so move on instead of replacing its file.
    int n = NextFreeNumber(options.OutDir, options.FileName, ext);
    for (int tries = 0; tries < 1000 && n < INT_MAX; ++tries, ++n) {
        const QString path = QDir(options.OutDir).filePath(options.FileName + QString::number(n) + ext);
        if (WriteFileNew(path, data))
            return path;
    }
    throw EGraphicFileError(QStringLiteral("Kein freier Dateiname in \"%1\"").arg(options.OutDir));
}

namespace {

// The pending file as a stream whose larger writes start on their way to
// the disk at once, so the flush before the file gets its name finds most
// of the picture written already.
class TWriteBehindFile : public QFile
{
protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 at = pos();
        const qint64 written = QFile::writeData(data, size);
        if (written >= 4096)
            (void)::sync_file_range(handle(), at, written, SYNC_FILE_RANGE_WRITE);
        return written;
    }
};

} // namespace

QString AutoSavePicture(TBitmap &bitmap, const TZelkoraOptions &options, const QDateTime &now,
                        const QLocale &locale)
{
    if (options.FileTyp != ptPng || bitmap.Empty() || !codecFor(ptPng))
        return AutoSavePicture(std::as_const(bitmap), options, now, locale);
    const QString ext = PictureTypeExt(ptPng);
    // The names AutoSavePicture tries, in its order; empty past the last.
    const QString dated = options.IsDateTimeToFile
                              ? QDir(options.OutDir).filePath(options.FileName + DatedNamePart(now, locale))
                              : QString();
    const int first = options.IsDateTimeToFile ? 1 : NextFreeNumber(options.OutDir, options.FileName, ext);
    const auto nameAt = [&](int k) -> QString {
        if (options.IsDateTimeToFile)
            return k >= 99999 ? QString()
                   : k == 0   ? dated + ext
                              : dated + QLatin1Char('-') + QString::number(k + 1) + ext;
        if (k >= 1000 || first >= INT_MAX - k)
            return {};
        return QDir(options.OutDir).filePath(options.FileName + QString::number(first + k) + ext);
    };
    const QString target = nameAt(0);
    TPendingFile file;
    QString reason;
    if (!file.Open(target, 0666, &reason))
        throw writeError(target, reason);
    {
        TWriteBehindFile out;
        if (!out.open(file.Fd(), QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
            throw writeError(target, out.errorString());
        try {
            SavePngWhileEncoding(bitmap, out);
        } catch (const EGraphicFileError &) {
            throw writeError(target, out.errorString());
        }
    }
    if (!file.Sync(&reason))
        throw writeError(target, reason);
    for (int k = 0;; ++k) {
        const QString path = nameAt(k);
        if (path.isEmpty())
            break;
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            continue;
        bool taken = false;
        if (file.LinkNewAs(path, &taken, &reason))
            return path;
        if (!taken)
            throw writeError(path, reason);
    }
    if (options.IsDateTimeToFile)
        throw EGraphicFileError(QStringLiteral("Kein freier Dateiname für \"%1\"").arg(dated + ext));
    throw EGraphicFileError(QStringLiteral("Kein freier Dateiname in \"%1\"").arg(options.OutDir));
}

// ---------------------------------------------------------------------------
// Loading

std::unique_ptr<TGraphic> LoadPictureGraphic(const QString &fileName)
{
    std::unique_ptr<TGraphic> g = TPicture::CreateForExtension(QFileInfo(fileName).suffix());
    g->LoadFromFile(fileName);
    return g;
}

std::unique_ptr<TBitmap> ConvertToBmp(const QString &fileName, TProgressForm *progress)
{
    auto step = [&] {
        if (progress)
            progress->SetPosition(50);
    };
    step();
    step();
    step();
    // Converted in memory, the way the conversion jobs convert to ".bmp":
    // nothing is written anywhere, so two opens never share a file.
    auto bitmap = std::make_unique<TBitmap>(ConvertGraphicToBitmap(fileName));
    step();
    step();
    step();
    return bitmap;
}

// ---------------------------------------------------------------------------
// Status panel 6

QString PanelBitmapAs(const QString &ext)
{
    QString e = ext;
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return QString::fromLatin1(PanelBitmap) + QStringLiteral(" - ") + e;
}

QString PanelForOpenedFile(const QString &ext, bool convertedToBmp, bool loaded)
{
    if (!loaded)
        return QString::fromLatin1(PanelNoPicture);
    QString e = ext;
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    if (convertedToBmp && e.compare(QLatin1String("bmp"), Qt::CaseInsensitive) != 0)
        return PanelBitmapAs(e);
    return e;
}

bool PanelShowsNonBitmapFile(const QString &panelText)
{
    return !panelText.isEmpty() && panelText != QLatin1String(PanelNoPicture) && panelText != QLatin1String("bmp") &&
           !panelText.startsWith(QLatin1String(PanelBitmap));
}

// ---------------------------------------------------------------------------
// Picture classes of our own

std::unique_ptr<TGraphic> TZkgFile::Clone() const
{
    return std::make_unique<TZkgFile>(*this);
}

std::unique_ptr<TGraphic> TTifFile::Clone() const
{
    return std::make_unique<TTifFile>(*this);
}

void TTifFile::LoadFromStream(QIODevice &)
{
    throw EInvalidGraphic(QStringLiteral("TIFF-Dateien können noch nicht geöffnet werden."));
}

void TTifFile::SaveToStream(QIODevice &stream)
{
    WriteTiffStream(*this, stream);
}

void RegisterPictureFileClasses()
{
    TPicture::RegisterFileFormat<TZkgFile>(QStringLiteral("zkg"), QStringLiteral("Zelkora-Bitmap"));
    const TFileFormat *tif = TPicture::FindFileFormat(QStringLiteral("tif"));
    if (!tif || tif->className == QLatin1String("TTifFile"))
        TPicture::RegisterFileFormat<TTifFile>(QStringLiteral("TIF"), QStringLiteral("Tagged Image File"));
}

} // namespace zk
