#pragma once
#include <functional>
// Moving the main window's picture to and from files: the picture type table
// that the options, the save commands and the status bar share, automatic file
// names (numbered or dated), the writers of each type, loading a picture into
// a separate object, conversion of other types to a bitmap, and the two
// picture classes of our own (zkg and TIF).
//
// Everything here is plain logic without a window, so the main window's
// handlers stay thin and the rules can be tested on their own.
//
// Files are never written in place: each writer encodes into memory, the bytes
// go to a temporary name in the target folder, and only a complete file is
// renamed onto the final name.
#include "Bitmap.h"
#include "Graphic.h"
#include "Options.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <memory>

namespace zk {

class TProgressForm;

// ---------------------------------------------------------------------------
// The picture type table (option FileTyp)

enum TPictureType : int {
    ptBmp = 0,
    ptJpg = 1,
    ptGif = 2,
    ptWmf = 3,
    ptEmf = 4,
    ptIco = 5,
    ptZkg = 6,
    ptTif = 7,
    ptPng = 8,
    ptPcx = 9,
};
inline constexpr int kPictureTypeCount = 10;

// The extension of a type with its dot (".bmp" .. ".pcx"); empty outside 0..9.
QString PictureTypeExt(int typeIndex);
// The type whose extension this is (".JPEG" and "jpeg" give ptJpg, ".tiff"
// ptTif, ".dib" ptBmp); -1 when none.
int PictureTypeOfExt(const QString &ext);
// The type a name chosen in the save dialog is written in: the type its
// extension names, so no file's content belies its name (opening goes by the
// extension); the chosen filter's type for a name without such an extension.
int SaveTypeOfChosenName(const QString &fileName, int filterIndex);
// The save dialog's 1-based filter index of a type: type + 1 for 0..8; 0 for
// pcx, which has no entry.
int SaveFilterIndexOf(int typeIndex);
// The type written for a 1-based save-dialog filter index; -1 outside 1..9.
int PictureTypeOfSaveFilter(int filterIndex);

// Extensions the open path loads directly (compared without case, with or
// without the dot): bmp, jpg, jpeg, gif, wmf, emf, ico, zkg, png.
bool IsNativePictureExt(const QString &ext);
// The extension of a file name in lower case with its dot ("" when none).
QString LowerExt(const QString &fileName);

// ---------------------------------------------------------------------------
// Dialog filters

struct TDialogFilter
{
    QString description; // "JPEG-Grafik"
    QStringList patterns; // "*.jpg", "*.jpeg"
    const char *key = nullptr; // the language key of a description that is translated
    // "JPEG-Grafik (*.jpg, *.jpeg)": the entry as the user reads it.
    QString Label() const;
    // "JPEG-Grafik (*.jpg *.jpeg)": the same entry in the form Qt's file
    // dialogs parse (patterns separated by blanks).
    QString QtFilter() const;
};

const QList<TDialogFilter> &OpenDialogFilters(); // nine entries, "all readable" last
const QList<TDialogFilter> &SaveDialogFilters(); // nine entries, filter index 1..9
// The entries with their descriptions in the user's language; a key the
// lookup does not know keeps the German description.
QList<TDialogFilter> TranslatedFilters(const QList<TDialogFilter> &filters,
                                       const std::function<QString(const QString &key)> &text);
// The folder a file dialog starts in: the first candidate that is a folder,
// else the user's pictures folder, else the home folder; never the
// process's working folder.
QString DialogStartFolder(const QStringList &candidates);
// The entries joined with ";;" for QFileDialog.
QString QtFilterString(const QList<TDialogFilter> &filters);
// The 1-based index of the entry whose QtFilter() (or Label()) is text; 0
// when none matches.
int FilterIndexOf(const QList<TDialogFilter> &filters, const QString &text);

// ---------------------------------------------------------------------------
// Automatic names

// One pass over the folder (no per-entry stat) for the entries whose name
// begins with stem (case counts) and ends with ext (any case). Entries of any
// kind count, so a folder of a matching name is never taken for a free name.
struct TNameScan
{
    int count = 0;   // matching entries
    int highest = 0; // highest number after the stem; 0 when none is a number
};
TNameScan ScanNumberedNames(const QString &dir, const QString &stem, const QString &ext);

// 1 + the highest number that follows stem in the folder's stem*ext names
// ("a1", "a10", "a2" give 11; a rest that is not a number counts as nothing).
int NextFreeNumber(const QString &dir, const QString &stem, const QString &ext);
// stem + (number of stem*ext entries + 1) + ext, without folder. It counts,
// it does not read numbers: the name shown as the current file before a save.
QString NextAutoFileName(const QString &dir, const QString &stem, const QString &ext);

// The date and time part of a dated name: the locale's short date with "/",
// "\" and ":" replaced by "-", "_", then the time as "HH-mm-ss" whatever the
// locale ("07.12.26_14-05-09" in German).
QString DatedNamePart(const QDateTime &when, const QLocale &locale = QLocale());

// The program directory's "Autosave/" folder (with the trailing '/').
QString AutosaveDir();
// Number of "*.bmp" files in the Autosave folder (at most 65535).
std::uint16_t CountAutosaveFiles();
// The fast-save stem.
inline constexpr const char *FastSaveStem = "ZK_Scan_";
// The number of the next fast save: one past the counter, but never a number
// that a "ZK_Scan_<n>.bmp" already uses, even after files were deleted. The
// counter takes the number.
int NextFastSaveNumber(const QString &dir, std::uint16_t &counter);

// ---------------------------------------------------------------------------
// Writers

// Which command writes: the EMF description and the icon's transparency
// depend on it.
enum class TSaveOrigin { AutoSave, SaveDialog, FastSave };

// The EMF descriptions of the two commands.
inline constexpr const char *EmfDescriptionAutoSave = "Zelkora 5.0 Grafik";
inline constexpr const char *EmfDescriptionSaveDialog = "Zelkora EMF-Grafik";

// True when a writer for the type is there now. GIF, TIFF and PNG depend on
// their codecs having registered with the picture registry; pcx never has one.
bool IsPictureTypeWritable(int typeIndex);

// A copy of the bitmap in the depth BmpPixForm names (0..7), made monochrome
// when BmpMonochrome is on. The picture on screen is left as it is.
TBitmap ApplyBmpOptions(const TBitmap &bitmap, const TZelkoraOptions &options);

// The file bytes of the picture in the type's format. Raises
// EFormatNotAvailable for a type without writer (pcx included) and the
// codec's EGraphicError when encoding fails.
QByteArray EncodePicture(const TBitmap &bitmap, int typeIndex, const TZelkoraOptions &options,
                         TSaveOrigin origin);

// Writes data to a temporary name in the folder of path and renames it onto
// path, replacing an existing file only when the new one is complete. Raises
// EGraphicFileError with the system's reason.
void WriteFileReplacing(const QString &path, const QByteArray &data);
// The same, but never replaces: false (nothing written) when path exists.
bool WriteFileNew(const QString &path, const QByteArray &data);
// Writes to stem + ext in the folder or, when that exists, stem + "-2" + ext,
// "-3" ... and returns the name it took.
QString WriteFileUnique(const QString &dir, const QString &stem, const QString &ext,
                        const QByteArray &data);

// The automatic save after a capture (the caller checks PersSave and that
// OutDir exists): OutDir + FileName + (dated part or next free number) + the
// extension of FileTyp. Returns the full name written; empty for pcx, which
// writes nothing. Two saves in one second give two files.
QString AutoSavePicture(const TBitmap &bitmap, const TZelkoraOptions &options,
                        const QDateTime &now = QDateTime::currentDateTime(),
                        const QLocale &locale = QLocale());
// The same bytes under the same name; a PNG is written while it is being
// encoded, from the picture's own rows (lent for the call, whole again
// afterwards), and gets its name once it is complete and flushed.
QString AutoSavePicture(TBitmap &bitmap, const TZelkoraOptions &options,
                        const QDateTime &now = QDateTime::currentDateTime(),
                        const QLocale &locale = QLocale());

// ---------------------------------------------------------------------------
// Loading

// The file loaded into a new graphic of the class registered for its
// extension. Raises EGraphicError when the file is damaged or of an unknown
// type; nobody's picture is touched.
std::unique_ptr<TGraphic> LoadPictureGraphic(const QString &fileName);

// A picture file of a type that converts to ".bmp", turned into a bitmap in
// memory (nothing is written). progress, when given, is advanced by 50 six
// times along the way. Raises EGraphicError on failure.
std::unique_ptr<TBitmap> ConvertToBmp(const QString &fileName, TProgressForm *progress = nullptr);

// The message that reports a failed open or save: a sentence in the UI
// language by key (German given for a file that lacks it), the error's own
// text (codec, zlib or system) after it as detail.
struct TFailureMessage
{
    const char *key;
    const char *german;
};
TFailureMessage OpenFailureMessage(const std::exception &e);
// The error's own text for the detail line.
QString FailureDetail(const std::exception &e);

// ---------------------------------------------------------------------------
// Status panel 6: the format of the current picture

inline constexpr const char *PanelNoPicture = "- - -";
inline constexpr const char *PanelBitmap = "|bmp|";
// "|bmp| - png" for a bitmap that is or will be written as ".png".
QString PanelBitmapAs(const QString &ext);
// What an opened file shows: "|bmp| - " + ext when it was converted on
// opening, the bare extension (without dot) otherwise, "- - -" when nothing
// was loaded.
QString PanelForOpenedFile(const QString &ext, bool convertedToBmp, bool loaded);
// True when the panel names an opened file that is not a bitmap (the fast
// save converts it first). An empty panel names nothing.
bool PanelShowsNonBitmapFile(const QString &panelText);

// ---------------------------------------------------------------------------
// Picture classes of our own

// A zkg file: a BMP stream under its own extension.
class TZkgFile : public TBitmap
{
public:
    using TBitmap::TBitmap;
    QString ClassName() const override { return QStringLiteral("TZkgFile"); }
    std::unique_ptr<TGraphic> Clone() const override;
};

// The TIF entry of the registry. Saving writes through the TIFF writer
// (formats/Bmp2Tiff.h); the program reads no TIFF files, so loading refuses
// with a clear message instead of misreading the file as a bitmap.
class TTifFile : public TBitmap
{
public:
    using TBitmap::TBitmap;
    QString ClassName() const override { return QStringLiteral("TTifFile"); }
    std::unique_ptr<TGraphic> Clone() const override;
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;
};

// Registers "zkg" ("Zelkora-Bitmap", TZkgFile) and "TIF" ("Tagged Image
// File", TTifFile). A TIFF codec that registered "tif" first keeps it.
void RegisterPictureFileClasses();

} // namespace zk
