#pragma once
// What the file list shows, worked out without a window: which names of a
// folder a listing takes, the type image of a name, the day and date
// searches, and the thumbnail of a picture.
#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace zk {

// Side of a thumbnail in the file list.
inline constexpr int kListThumbSize = 140;

// The type image of a file by its extension: ".bmp"/".dib" 0, ".jpg"/".jpeg"
// 1, ".gif" 2, ".wmf"/".emf" 3, ".png" 4, ".tif" 5, ".zkg" 6, else -1.
int TypeImageIndex(const QString &fileName);

// The extension from the last dot on, lower case ("" without a dot).
QString FileExt(const QString &fileName);

// Whether the name ends in one of the picture extensions (any case); with
// firstTen the last two of them (".dib", ".tiff") do not count.
bool IsPictureName(const QString &fileName, bool firstTen = false);

// What the date dialog asks for. Folders are kept apart in a list (a Linux
// name may hold ';'); each ends with '/'.
struct TDateSearchRequest
{
    QDate Date;
    QStringList Paths;
    // BMP, JPG, GIF, WMF, EMF, ICO, ZKG, PNG.
    std::array<bool, 8> Types{};
    bool UseDate = true;
};

// Called now and then by the long loops below; false asks the loop to stop
// (a newer listing took over).
using TListPump = std::function<bool()>;

// The listing's take of one folder, in file-system order, names as found.
enum class TNameFilter {
    Pictures,    // the picture extensions
    AutosaveScan, // "ZK_Scan_*.bmp", without case
    Every,       // every file
    Bitmaps      // "*.bmp"
};
QStringList ListFolderNames(const QString &folder, TNameFilter filter, const TListPump &pump = {});

// The pictures of folder (with trailing '/') whose local modification day is
// today (mode 0), the day before (1), or all of them (2), appended to list.
QStringList CollectPicturesByDay(QStringList list, const QString &folder, int mode, const QDate &today,
                                 const TListPump &pump = {});

// The hits of one folder for the request, appended to list.
QStringList SearchFolderByDate(const QString &folder, const TDateSearchRequest &request, QStringList list,
                               const TListPump &pump = {});

// A 140 x 140 white picture with image drawn in, keeping its proportions and
// centred on the short side.
QImage MakeListThumbnail(const QImage &image);

// The same thumbnail of an uncompressed 24- or 32-bit BMP file, reading only
// the rows it shows; a null image for any other file (the full decoder then
// takes it).
QImage SampledBmpThumbnail(const QString &path);

// Names the file list's clipboard "copy as file" puts up: a URI list and the
// GNOME file managers' own form.
QByteArray CopiedFilesGnome(const QStringList &paths);

} // namespace zk
