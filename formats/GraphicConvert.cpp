#include "GraphicConvert.h"
#include "SafeFile.h"

#include "Bmp2Tiff.h"
#include "BmpCodec.h"
#include "GraphicText.h"
#include "Jpeg.h"
#include "JpegCodec.h"
#include "LeBytes.h"
#include "Metafile.h"
#include "PNGImage.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include <fcntl.h>

namespace zk {

const char *const GraphicFileExts[GraphicFileExtCount] = {".Bmp", ".Jpg", ".Gif",  ".Wmf", ".Emf", ".Ico",
                                                          ".Zkg", ".Png", ".Tif", ".Jpeg", ".Dib", ".Tiff"};

QString NoConverterMessage()
{
    return GraphicText("showmsg_no_convert_routine",
                       QStringLiteral("Konvertier-Routine steht nicht zur Verfügung (unit: GraphicConvert)!"));
}

ENoConverter::ENoConverter() : EGraphicError(NoConverterMessage()) {}

namespace {

// A file that cannot be opened or written: the sentence in the program's
// language, then the name and the system's reason.
QString cannotOpen(const QString &fileName, const QString &reason)
{
    return GraphicText("showmsg_except_file_not_opened", QStringLiteral("Die Datei konnte nicht geöffnet werden: "))
           + QStringLiteral("\"%1\" (%2)").arg(fileName, reason);
}

QString cannotWrite(const QString &fileName, const QString &reason)
{
    return GraphicFault("showmsg_graphic_cannot_write", QStringLiteral("Die Datei kann nicht geschrieben werden"),
                        fileName.isEmpty() ? reason : QStringLiteral("\"%1\" (%2)").arg(fileName, reason));
}

// How a pair converts.
enum class How {
    Assign,         // the target object takes the source picture
    Draw,           // a bitmap (or PNG) of the source's size, the source drawn on it
    MetafileCanvas, // the source drawn on a metafile's canvas
    KindChange,     // a metafile switched between enhanced and plain
    IconOut,        // the picture made into an icon
    IconIn,         // an icon made into a bitmap
    ThroughBitmap,  // another pair's converter to a bitmap, then a second method
    Tiff,           // the TIFF writer
};

struct Pair
{
    int code;
    const char *source;
    const char *target;
    How how;
    int first = 0;          // ThroughBitmap: the pair that makes the bitmap
    How then = How::Assign; // ThroughBitmap: the method that follows
};

// In code order: the first match wins.
constexpr Pair kPairs[] = {
    {1, ".bmp", ".jpg", How::Assign},
    {2, ".jpg", ".bmp", How::Draw},
    {2, ".jpeg", ".bmp", How::Draw},
    {3, ".bmp", ".ico", How::IconOut},
    {4, ".ico", ".bmp", How::IconIn},
    {5, ".emf", ".wmf", How::KindChange},
    {6, ".wmf", ".emf", How::KindChange},
    {7, ".bmp", ".wmf", How::MetafileCanvas},
    {8, ".wmf", ".bmp", How::Draw},
    {9, ".bmp", ".zkg", How::Assign},
    {10, ".zkg", ".bmp", How::Assign},
    {11, ".bmp", ".gif", How::Assign},
    {13, ".bmp", ".emf", How::MetafileCanvas},
    {14, ".emf", ".bmp", How::Draw},
    {15, ".bmp", ".png", How::Assign},
    {16, ".png", ".bmp", How::Assign},
    {17, ".jpg", ".ico", How::ThroughBitmap, 2, How::IconOut},
    {18, ".ico", ".jpg", How::ThroughBitmap, 4, How::Assign},
    {19, ".png", ".ico", How::ThroughBitmap, 16, How::IconOut},
    {20, ".ico", ".png", How::ThroughBitmap, 4, How::Assign},
    {21, ".jpg", ".png", How::Draw},
    {22, ".png", ".jpg", How::Assign},
    {23, ".png", ".wmf", How::MetafileCanvas},
    {24, ".wmf", ".png", How::Draw},
    {25, ".png", ".emf", How::MetafileCanvas},
    {26, ".emf", ".png", How::Draw},
    {27, ".jpg", ".wmf", How::MetafileCanvas},
    {28, ".wmf", ".jpg", How::ThroughBitmap, 8, How::Assign},
    {29, ".jpg", ".emf", How::MetafileCanvas},
    {30, ".emf", ".jpg", How::ThroughBitmap, 14, How::Assign},
    {31, ".zkg", ".ico", How::IconOut},
    {32, ".ico", ".zkg", How::IconIn},
    {33, ".zkg", ".wmf", How::MetafileCanvas},
    {34, ".wmf", ".zkg", How::Draw},
    {35, ".zkg", ".emf", How::MetafileCanvas},
    {36, ".emf", ".zkg", How::Draw},
    {37, ".ico", ".wmf", How::ThroughBitmap, 4, How::MetafileCanvas},
    {38, ".wmf", ".ico", How::ThroughBitmap, 8, How::IconOut},
    {39, ".ico", ".emf", How::ThroughBitmap, 4, How::MetafileCanvas},
    {40, ".emf", ".ico", How::ThroughBitmap, 8, How::IconOut},
    {41, ".zkg", ".png", How::Assign},
    {42, ".png", ".zkg", How::Assign},
    {43, ".jpg", ".zkg", How::Draw},
    {44, ".zkg", ".jpg", How::Assign},
    {45, ".bmp", ".tif", How::Tiff},
    {46, ".gif", ".bmp", How::Assign},
};

const Pair *findPair(const QString &sourceExt, const QString &targetExt)
{
    for (const Pair &p : kPairs)
        if (sourceExt == QLatin1String(p.source) && targetExt == QLatin1String(p.target))
            return &p;
    return nullptr;
}

const Pair &pairOfCode(int code)
{
    for (const Pair &p : kPairs)
        if (p.code == code)
            return p;
    Q_UNREACHABLE();
}

// A class that only a codec registered later brings along (GIF).
std::unique_ptr<TGraphic> registeredGraphic(const char *ext)
{
    if (!TPicture::FindFileFormat(QLatin1String(ext)))
        throw EFormatNotAvailable(QLatin1String(ext));
    return TPicture::CreateForExtension(QLatin1String(ext));
}

// Every pair from a JPEG draws the decoded picture, so it is decoded straight
// into a bitmap as the JPEG class would decode it (default settings), without
// the class's own copy of the pixels.
std::unique_ptr<TGraphic> loadJpegBitmap(const QString &fileName)
{
    QFile f;
    QString error;
    if (!OpenRegularFile(f, fileName, &error))
        throw EGraphicFileError(cannotOpen(fileName, error));
    const QByteArray data = ReadRestCapped(f, qint64(1) << 30, QStringLiteral("JPEG file"));
    JpegDecodeOptions options;
    options.maxPixels = TBitmap::MaxPixels();
    return std::make_unique<TBitmap>(TBitmap::FromImage(JpegDecode(data, options)));
}

// The source file in the picture class of its extension (JPEG as its decoded
// bitmap).
std::unique_ptr<TGraphic> loadSource(const QString &fileName, const QString &ext)
{
    std::unique_ptr<TGraphic> g;
    if (ext == QLatin1String(".bmp") || ext == QLatin1String(".zkg"))
        g = std::make_unique<TBitmap>();
    else if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return loadJpegBitmap(fileName);
    else if (ext == QLatin1String(".png"))
        g = std::make_unique<TPNGImage>();
    else if (ext == QLatin1String(".ico"))
        g = std::make_unique<TIcon>();
    else if (ext == QLatin1String(".wmf") || ext == QLatin1String(".emf"))
        g = std::make_unique<TMetafile>();
    else if (ext == QLatin1String(".gif"))
        g = registeredGraphic(".gif");
    else
        throw ENoConverter();
    g->LoadFromFile(fileName);
    return g;
}

// The source as a bitmap, by the pair's method. The source is used up: a
// bitmap source hands its pixels over instead of being copied.
TBitmap sourceToBitmap(std::unique_ptr<TGraphic> source, How how)
{
    if (how == How::IconIn)
        return std::move(*IconToBitmap(dynamic_cast<const TIcon &>(*source)));
    if (auto *bmp = dynamic_cast<TBitmap *>(source.get())) {
        // Assigning a bitmap to a bitmap copies it; drawing a bitmap without
        // transparency on one of its size gives its pixels.
        TBitmap out(std::move(*bmp));
        if (how == How::Draw)
            out.SetPixelFormat(pf24bit);
        return out;
    }
    if (how == How::Draw) {
        TBitmap out(source->Width(), source->Height(), pf24bit);
        {
            auto canvas = out.Canvas();
            canvas->fillRect(QRect(0, 0, out.Width(), out.Height()), Qt::white);
            source->Draw(*canvas, QRect(0, 0, out.Width(), out.Height()));
        }
        return out;
    }
    TBitmap out;
    out.Assign(*source);
    return out;
}

// A read-only QImage over the bitmap's own rows where the layout allows it,
// so encoding a large picture does not first copy it.
QImage imageView(const TBitmap &bmp)
{
    if (bmp.Empty())
        return QImage();
    if (bmp.PixelFormat() == pf24bit)
        return QImage(bmp.ScanLine(0), bmp.Width(), bmp.Height(), qsizetype(bmp.Stride()), QImage::Format_BGR888);
    if (bmp.PixelFormat() == pf32bit)
        return QImage(bmp.ScanLine(0), bmp.Width(), bmp.Height(), qsizetype(bmp.Stride()), QImage::Format_RGB32);
    return bmp.ToImage();
}

// Through TSafeFile: a temporary name in the target's folder, renamed onto the
// target only when complete, so a failure leaves no target and an old one as
// it was.
void writeFile(const QString &fileName, const std::function<void(QIODevice &)> &write)
{
    TSafeFile out(fileName);
    if (!out.open(QIODevice::WriteOnly))
        throw EGraphicFileError(cannotWrite(fileName, out.errorString()));
    write(out); // an exception discards the temporary file
    if (!out.commit())
        throw EGraphicFileError(cannotWrite(fileName, out.errorString()));
}

void saveGraphic(TGraphic &graphic, const QString &fileName)
{
    writeFile(fileName, [&graphic](QIODevice &out) { graphic.SaveToStream(out); });
}

void saveMetafile(const TGraphic &picture, bool enhanced, const QString &fileName)
{
    TMetafile mf;
    mf.SetEnhanced(enhanced);
    mf.SetWidth(picture.Width());
    mf.SetHeight(picture.Height());
    {
        TMetafileCanvas canvas(mf);
        picture.Draw(canvas.Painter(), QRect(0, 0, picture.Width(), picture.Height()));
    }
    saveGraphic(mf, fileName);
}

// Writes the bitmap as the target type by the method that follows the
// bitmap (all but KindChange and IconIn end here).
void bitmapToTarget(TBitmap &&bmp, const QString &targetExt, How how, const QString &fileName)
{
    if (how == How::IconOut) {
        saveGraphic(*GraphicToIcon(bmp, clNone), fileName);
    } else if (how == How::MetafileCanvas) {
        saveMetafile(bmp, targetExt == QLatin1String(".emf"), fileName);
    } else if (targetExt == QLatin1String(".bmp") || targetExt == QLatin1String(".zkg")) {
        saveGraphic(bmp, fileName);
    } else if (targetExt == QLatin1String(".jpg")) {
        // The JPEG class's default settings, without its copy of the picture.
        const QByteArray data = JpegEncode(imageView(bmp), JpegEncodeOptions{});
        writeFile(fileName, [&data](QIODevice &out) {
            if (out.write(data) != data.size())
                throw EGraphicFileError(out.errorString());
        });
    } else if (targetExt == QLatin1String(".png")) {
        TPNGImage png;
        static_cast<TBitmap &>(png) = std::move(bmp);
        saveGraphic(png, fileName);
    } else if (targetExt == QLatin1String(".gif")) {
        std::unique_ptr<TGraphic> gif = registeredGraphic(".gif");
        gif->Assign(bmp);
        saveGraphic(*gif, fileName);
    } else {
        throw ENoConverter();
    }
}

// PNG to BMP with the rows going into the file while the picture still
// inflates: each batch of final rows is written where it lies in the
// bottom-up file and handed to the disk at once, so little is left to flush
// when the file is complete. Only a help: whatever goes wrong while
// streaming (the target cannot be opened, a write fails, the picture is
// interlaced) leaves the file to the ordinary path after the load, which
// reports the errors in their usual order.
class StreamedBmp
{
public:
    explicit StreamedBmp(const QString &fileName) : fFile(fileName) {}

    void Row(const TPNGImage::DecodedPixels &px, int y)
    {
        if (fFailed)
            return;
        if (y == 0 && !Start(px))
            return;
        if (y != fRows) {
            fFailed = true;
            return;
        }
        std::memcpy(fBatch.data() + size_t(fCapacity - 1 - fBatchRows) * fStride,
                    px.bits.data() + size_t(y) * fStride, fStride);
        ++fBatchRows;
        ++fRows;
        if (fBatchRows == fCapacity || fRows == fHeight)
            WriteBatch();
    }

    // Writes the head and commits; false (nothing published) when the
    // streamed rows are not the whole of bmp's file.
    bool Finish(const TBitmap &bmp)
    {
        const QByteArray head = fFailed || fRows != bmp.Height() || fRows == 0 ? QByteArray() : BmpFileHead(bmp);
        if (head.isEmpty() || size_t(head.size()) != fHead || !fFile.seek(0)
            || fFile.write(head) != head.size() || !fFile.commit()) {
            fFile.cancelWriting();
            return false;
        }
        return true;
    }

private:
    bool Start(const TPNGImage::DecodedPixels &px)
    {
        fFailed = px.pf == pf32bit || !fFile.open(QIODevice::WriteOnly);
        if (fFailed)
            return false;
        fHead = BmpHeadSize(px.pf, px.palette.size());
        fStride = BytesPerRow(px.width, BitsPerPixel(px.pf));
        fHeight = px.height;
        fCapacity = int(std::clamp<size_t>((size_t(1) << 20) / fStride, 1, size_t(fHeight)));
        fBatch.resize(size_t(fCapacity) * fStride);
        return true;
    }

    // The batch holds rows fRows - fBatchRows .. fRows - 1 in file order
    // (the lowest row first) at its end.
    void WriteBatch()
    {
        const qint64 at = qint64(fHead + size_t(fHeight - fRows) * fStride);
        const qint64 len = qint64(size_t(fBatchRows) * fStride);
        const char *data = reinterpret_cast<const char *>(fBatch.data()) + size_t(fCapacity - fBatchRows) * fStride;
        fBatchRows = 0;
        if (!fFile.seek(at) || fFile.write(data, len) != len || !fFile.flush()) {
            fFailed = true;
            return;
        }
#ifdef __linux__
        // Start the disk on these bytes now; the final flush waits for less.
        sync_file_range(fFile.handle(), at, len, SYNC_FILE_RANGE_WRITE);
#endif
    }

    TSafeFile fFile;
    bool fFailed = false;
    size_t fHead = 0, fStride = 0;
    int fHeight = 0, fRows = 0, fCapacity = 0, fBatchRows = 0;
    std::vector<uchar> fBatch;
};

void pngToBmp(const QString &sourceFile, const QString &fileName)
{
    TPNGImage png;
    StreamedBmp streamed(fileName);
    png.OnRowDone = [&streamed](const TPNGImage::DecodedPixels &px, int y) { streamed.Row(px, y); };
    png.LoadFromFile(sourceFile);
    png.OnRowDone = nullptr;
    if (!streamed.Finish(png))
        writeFile(fileName, [&png](QIODevice &out) { WriteBmpStream(png, out); });
}

// GIF pairs need a codec registered later: refused before anything is read.
void checkAvailable(const Pair &p)
{
    if (QLatin1String(p.source) == QLatin1String(".gif") || QLatin1String(p.target) == QLatin1String(".gif"))
        (void)registeredGraphic(".gif");
}

QString lowerExt(const QString &ext)
{
    return ext.toLower();
}

} // namespace

int GetConversionCode(const QString &sourceExt, const QString &targetExt)
{
    const Pair *p = findPair(sourceExt, targetExt);
    return p ? p->code : -1;
}

QString ConvertGraphicFileTo(const QString &sourceFile, const QString &targetDir, const QString &sourceExt,
                             const QString &targetExt)
{
    const QString src = lowerExt(sourceExt), dst = lowerExt(targetExt);
    const Pair *p = findPair(src, dst);
    if (!p)
        return QString();
    checkAvailable(*p);

    // The source's own name in the target folder, its extension (the last
    // four characters, five for ".jpeg") replaced by the target's.
    const int slash = int(sourceFile.lastIndexOf(QLatin1Char('/')));
    QString name = targetDir + QLatin1Char('/') + sourceFile.mid(slash + 1);
    name.chop(std::min<qsizetype>(name.size(), p->code == 2 && src == QLatin1String(".jpeg") ? 5 : 4));
    const QString out = name + dst;

    if (p->code == 16) {
        pngToBmp(sourceFile, out);
        return out;
    }
    std::unique_ptr<TGraphic> source = loadSource(sourceFile, src);
    switch (p->how) {
    case How::KindChange: {
        auto &mf = dynamic_cast<TMetafile &>(*source);
        mf.SetEnhanced(dst == QLatin1String(".emf"));
        saveGraphic(mf, out);
        break;
    }
    case How::MetafileCanvas:
        saveMetafile(*source, dst == QLatin1String(".emf"), out);
        break;
    case How::IconOut:
        saveGraphic(*GraphicToIcon(*source, clNone), out);
        break;
    case How::Tiff:
        SaveBitmapAsTiff(sourceToBitmap(std::move(source), How::Assign), out);
        break;
    case How::ThroughBitmap: {
        const Pair &first = pairOfCode(p->first);
        bitmapToTarget(sourceToBitmap(std::move(source), first.how), dst, p->then, out);
        break;
    }
    case How::Assign:
    case How::Draw:
    case How::IconIn:
        bitmapToTarget(sourceToBitmap(std::move(source), p->how), dst, p->how, out);
        break;
    }
    return out;
}

bool ConvertGraphicFile(const QString &sourceFile, const QString &targetDir, const QString &sourceExt,
                        const QString &targetExt, const QPointer<QWidget> &window)
{
    if (!ConvertGraphicFileTo(sourceFile, targetDir, sourceExt, targetExt).isEmpty())
        return true;
    if (window)
        QMetaObject::invokeMethod(
            window.data(), [w = window] { if (w) w->close(); }, Qt::QueuedConnection);
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    NoConverterMessage(), QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("GraphicConvertMessage"));
    box.exec();
    return false;
}

TBitmap ConvertGraphicToBitmap(const QString &fileName)
{
    const QString ext = QFileInfo(fileName).suffix().isEmpty() ? QString()
                                                               : QLatin1Char('.') + QFileInfo(fileName).suffix().toLower();
    const Pair *p = findPair(ext, QStringLiteral(".bmp"));
    if (!p)
        throw ENoConverter();
    checkAvailable(*p);
    return sourceToBitmap(loadSource(fileName, ext), p->how);
}

// ---------------------------------------------------------------------------
// Icons

namespace {

// Bare window managers and offscreen runs name no icon theme (or only
// "hicolor", which holds almost no type icons): take the first full theme
// installed in the XDG data folders.
void ensureIconTheme()
{
    static const bool done = [] {
        const QString current = QIcon::themeName();
        if (!current.isEmpty() && current != QLatin1String("hicolor"))
            return true;
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            const QString icons = QDir(dir).filePath(QStringLiteral("icons"));
            if (!paths.contains(icons))
                paths.append(icons);
        }
        QIcon::setThemeSearchPaths(paths);
        for (const char *theme : {"Adwaita", "breeze"}) {
            for (const QString &dir : paths) {
                if (QFileInfo::exists(dir + QLatin1Char('/') + QLatin1String(theme) + QStringLiteral("/index.theme"))) {
                    QIcon::setThemeName(QLatin1String(theme));
                    return true;
                }
            }
        }
        return true;
    }();
    (void)done;
}

} // namespace

std::unique_ptr<TIcon> GetShellFileIcon(const QString &fileName, bool small)
{
    ensureIconTheme();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QFileIconProvider().icon(QFileInfo(fileName));
    const int size = small ? 16 : 32;
    QImage img = icon.pixmap(size, size).toImage();
    if (!img.isNull() && img.size() != QSize(size, size))
        img = img.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    auto out = std::make_unique<TIcon>();
    if (!img.isNull()) {
        // Centred on a transparent square when the theme's picture is not one.
        QImage square(size, size, QImage::Format_ARGB32);
        square.fill(Qt::transparent);
        QPainter p(&square);
        p.drawImage((size - img.width()) / 2, (size - img.height()) / 2, img);
        p.end();
        out->SetImage(square);
    }
    return out;
}

std::unique_ptr<TIcon> GraphicToIcon(const TGraphic &graphic, TColor maskColor)
{
    auto icon = std::make_unique<TIcon>();
    if (const auto *bmp = dynamic_cast<const TBitmap *>(&graphic)) {
        icon->AssignBitmap(*bmp, maskColor);
    } else {
        TBitmap drawn;
        drawn.Assign(graphic);
        icon->AssignBitmap(drawn, maskColor);
    }
    return icon;
}

std::unique_ptr<TBitmap> IconToBitmap(const TIcon &icon, TColor fillColor)
{
    auto bmp = std::make_unique<TBitmap>(icon.Width(), icon.Height(), pf24bit);
    if (bmp->Empty())
        return bmp;
    auto canvas = bmp->Canvas();
    canvas->fillRect(QRect(0, 0, bmp->Width(), bmp->Height()),
                     fillColor == clNone ? QColor(Qt::white) : TColorToQColor(fillColor));
    canvas->drawImage(0, 0, icon.Image());
    canvas.reset();
    return bmp;
}

// ---------------------------------------------------------------------------
// Thumbnails

QRect ThumbnailRect(int sourceW, int sourceH, int width, int height)
{
    if (sourceW <= 0 || sourceH <= 0)
        return QRect(0, 0, width, height);
    const double ratio = double(sourceW) / double(sourceH);
    // Nearest integer, halves to even (the default rounding mode).
    if (ratio <= 1) {
        const int w = std::max(1, int(std::nearbyint(height * ratio)));
        return QRect((width - w) / 2, 0, w, height);
    }
    const int h = std::max(1, int(std::nearbyint(width / ratio)));
    return QRect(0, (height - h) / 2, width, h);
}

namespace {

void checkThumbnailSize(int width, int height)
{
    if (width < 1)
        throw EInvalidGraphicOperation(QStringLiteral("Ungültige Breite"));
    if (height < 1)
        throw EInvalidGraphicOperation(QStringLiteral("Ungültige Höhe"));
}

constexpr qint64 kMaxJpegBytes = qint64(1) << 30;

} // namespace

void MakeJpegThumbnail(QIODevice &source, QIODevice &target, int width, int height, TColor background)
{
    checkThumbnailSize(width, height);
    const QByteArray data = ReadRestCapped(source, kMaxJpegBytes, QStringLiteral("JPEG file"));
    const JpegInfo info = JpegReadInfo(data, TBitmap::MaxPixels());
    const QRect r = ThumbnailRect(info.width, info.height, width, height);

    // libjpeg scales while decoding: the smallest scale not below the drawn
    // size, then a smooth reduction to it.
    TJPEGImage jpeg;
    TJPEGScale scale = jsFullSize;
    const std::pair<TJPEGScale, int> scales[] = {{jsEighth, 8}, {jsQuarter, 4}, {jsHalf, 2}};
    for (const auto &[s, denom] : scales) {
        if (JpegScaledSize(info.width, denom) >= r.width() && JpegScaledSize(info.height, denom) >= r.height()) {
            scale = s;
            break;
        }
    }
    jpeg.SetScale(scale);
    jpeg.LoadFromData(data);

    QImage thumb(width, height, QImage::Format_RGB32);
    thumb.fill(TColorToQColor(background));
    {
        QPainter p(&thumb);
        const QImage decoded = jpeg.ToImage();
        p.drawImage(r.topLeft(), decoded.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    const QByteArray out = JpegEncode(thumb, JpegEncodeOptions{});
    if (target.write(out) != out.size())
        throw EGraphicFileError(cannotWrite(QString(), target.errorString()));
}

void MakeJpegThumbnailFile(const QString &sourceFile, const QString &targetFile, int width, int height,
                           TColor background)
{
    checkThumbnailSize(width, height);
    QFile in;
    QString error;
    if (!OpenRegularFile(in, sourceFile, &error))
        throw EGraphicFileError(cannotOpen(sourceFile, error));
    writeFile(targetFile, [&](QIODevice &out) { MakeJpegThumbnail(in, out, width, height, background); });
}

void MakePictureThumbnail(const QString &sourceFile, const QString &targetFile, int width, int height,
                          TColor background)
{
    checkThumbnailSize(width, height);
    TBitmap picture;
    picture.LoadFromFile(sourceFile);
    // The thumbnail keeps the source's pixel format and palette.
    TBitmap thumb(width, height, picture.PixelFormat());
    thumb.SetPalette(picture.Palette());
    const QRect r = ThumbnailRect(picture.Width(), picture.Height(), width, height);
    QImage reduced = picture.ToImage();
    picture.Clear();
    reduced = reduced.scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        auto canvas = thumb.Canvas();
        canvas->fillRect(QRect(0, 0, width, height), TColorToQColor(background));
        canvas->drawImage(r.topLeft(), reduced);
    }
    saveGraphic(thumb, targetFile);
}

void MakeMetafileThumbnail(const QString &, const QString &, int, int, TColor)
{
    // Metafiles get no thumbnail; the gallery shows them without one.
}

} // namespace zk
