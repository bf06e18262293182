#pragma once
// Picture files converted into another format, file to file, for a fixed
// table of (source extension, target extension) pairs; and the small picture
// routines the batch jobs, the preview, the gallery, the icon tools and the
// main window share: a file type's icon, a picture turned into an icon and an
// icon into a bitmap, and thumbnail files.
//
// Threads: the converters and thumbnail makers touch no widget, pixmap or
// shared file; a conversion that passes through a bitmap hands it along in
// memory. Any number of them may run at once on worker threads. Only
// ConvertGraphicFile (it shows a message) and GetShellFileIcon (it asks the
// icon theme) belong to the GUI thread.
//
// Files: every output is written to a temporary name in the target folder and
// renamed when complete, so a failure leaves no target behind and an existing
// target is replaced only by a whole new file.
#include "Bitmap.h"
#include "Colors.h"
#include "Icon.h"

#include <QPointer>
#include <QString>
#include <memory>

class QIODevice;
class QWidget;

namespace zk {

// The picture extensions by which the explorer and the jobs recognise
// picture files (compare without case).
inline constexpr int GraphicFileExtCount = 12;
extern const char *const GraphicFileExts[GraphicFileExtCount];

// The code (1..46) of the pair, comparing the extensions exactly as given
// (lower case with the dot); -1 when there is no converter for it.
int GetConversionCode(const QString &sourceExt, const QString &targetExt);

// The message shown for a pair without converter, in the program's language.
QString NoConverterMessage();

// Raised by ConvertGraphicToBitmap for a file type without a pair to ".bmp".
class ENoConverter : public EGraphicError
{
public:
    ENoConverter();
};

// The converter without any user interface: converts sourceFile into
// targetDir (no trailing '/'); the extensions are given with the dot in any
// letter case. Returns the path written, or an empty string when the pair has
// no converter. Every other failure is raised (EGraphicError) and leaves no
// target file.
QString ConvertGraphicFileTo(const QString &sourceFile, const QString &targetDir, const QString &sourceExt,
                             const QString &targetExt);

// The GUI thread's form of the above: for a pair without converter it closes
// window (when still there; the batch jobs pass their progress window), shows
// NoConverterMessage and returns false. True when a converter ran to its end;
// its failures are raised to the caller.
bool ConvertGraphicFile(const QString &sourceFile, const QString &targetDir, const QString &sourceExt,
                        const QString &targetExt, const QPointer<QWidget> &window);

// Any picture file whose extension has a pair to ".bmp", converted in memory
// the way that pair converts it. ENoConverter for other types, the codec's
// EGraphicError when the file cannot be read.
TBitmap ConvertGraphicToBitmap(const QString &fileName);

// The icon of the file's type from the icon theme (the file need not exist):
// 16 pixels when small, else 32. GUI thread.
std::unique_ptr<TIcon> GetShellFileIcon(const QString &fileName, bool small);

// An icon of the graphic's size; pixels of maskColor become transparent,
// clNone keeps the whole picture.
std::unique_ptr<TIcon> GraphicToIcon(const TGraphic &graphic, TColor maskColor);
// A 24-bit bitmap of the icon's size; transparent pixels take fillColor
// (white for clNone), half-transparent ones are blended onto it.
std::unique_ptr<TBitmap> IconToBitmap(const TIcon &icon, TColor fillColor = clNone);

// Where a thumbnail draws a picture of sourceW x sourceH into a box of
// width x height: the box's full width or height, the other side in
// proportion (rounded to the nearest, halves to even, at least 1), centred.
QRect ThumbnailRect(int sourceW, int sourceH, int width, int height);

// A JPEG thumbnail of exactly width x height on the background colour.
// "Ungültige Breite" / "Ungültige Höhe" (EInvalidGraphicOperation) for a
// size below 1, before anything is read.
void MakeJpegThumbnail(QIODevice &source, QIODevice &target, int width, int height, TColor background);
void MakeJpegThumbnailFile(const QString &sourceFile, const QString &targetFile, int width, int height,
                           TColor background);
// A BMP thumbnail of a BMP file, keeping its pixel format and palette.
void MakePictureThumbnail(const QString &sourceFile, const QString &targetFile, int width, int height,
                          TColor background);
// The thumbnail maker for metafiles: makes none and writes nothing.
void MakeMetafileThumbnail(const QString &sourceFile, const QString &targetFile, int width, int height,
                           TColor background);

} // namespace zk
