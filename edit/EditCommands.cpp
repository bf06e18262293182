#include "EditCommands.h"

#include "BitmapFilters.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace zk {

EEditCommandError::EEditCommandError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

std::uint8_t ScaleKindForTag(std::uint8_t current, int tag)
{
    return (tag >= skByValue && tag <= skTemporary) ? std::uint8_t(tag) : current;
}

std::uint8_t SmoothKindForTag(std::uint8_t current, int tag)
{
    return (tag == smStandard || tag == smUserDefined) ? std::uint8_t(tag) : current;
}

TColor TextPenColor(int index)
{
    static constexpr TColor table[12] = {
        clGray, clGray, clBlack, clWhite, clYellow, clInfoBk,
        clBlue, clAqua, clOlive, clGreen, clRed,    clMaroon,
    };
    if (index < 0 || index > 11)
        return clBlack;
    return table[index];
}

// ---------------------------------------------------------------------------
// Undo

TBitmap &EditableBitmap(TPicture &picture)
{
    TGraphic *g = picture.Graphic();
    if (g && !dynamic_cast<TBitmap *>(g)) {
        // The picture's own Bitmap() would throw a JPEG or PNG away; edits
        // work on a bitmap that looks the same.
        auto converted = std::make_unique<TBitmap>();
        converted->Assign(*g);
        picture.SetGraphic(std::move(converted));
    }
    return picture.Bitmap();
}

TSnapshotResult TakeSnapshot(const TPicture &picture, TBitmap &undo)
{
    const TGraphic *g = picture.Graphic();
    if (!g || g->Empty())
        return TSnapshotResult::NoGraphic;
    try {
        if (const auto *bmp = dynamic_cast<const TBitmap *>(g))
            undo = *bmp;
        else
            undo.Assign(*g);
        return TSnapshotResult::Taken;
    } catch (...) {
        // A half-taken or older snapshot must never come back as "the
        // picture before this change".
        try {
            undo.Clear();
        } catch (...) {
        }
        return TSnapshotResult::Failed;
    }
}

void RestoreSnapshot(TPicture &picture, const TBitmap &undo)
{
    picture.Bitmap() = undo;
}

// ---------------------------------------------------------------------------
// Scaling

namespace {

constexpr qint64 kMaxSide = INT_MAX / 8; // keeps row byte counts within int

QString TooLargeMessage(qint64 w, qint64 h)
{
    return QStringLiteral("Die Grafik wäre mit %1 x %2 Pixeln zu groß; sie bleibt unverändert.")
        .arg(w)
        .arg(h);
}

void CheckTargetSize(qint64 w, qint64 h)
{
    if (w < 1 || h < 1)
        throw EEditCommandError(
            QStringLiteral("Breite und Höhe müssen mindestens 1 Pixel betragen (%1 x %2).").arg(w).arg(h));
    if (w > kMaxSide || h > kMaxSide || w * h > TBitmap::MaxPixels())
        throw EEditCommandError(TooLargeMessage(w, h));
}

// A new bitmap of the same depth and palette as model.
TBitmap SameKind(const TBitmap &model, int w, int h)
{
    TBitmap result;
    result.SetPixelFormat(model.PixelFormat());
    result.SetPalette(model.Palette());
    result.SetSize(w, h);
    return result;
}

// Puts an image into a bitmap of model's depth and palette and makes it the
// bitmap's content; palette pictures take their nearest colours.
void ReplaceWithImage(TBitmap &bitmap, const QImage &image)
{
    if (image.isNull())
        throw EEditCommandError(TooLargeMessage(image.width(), image.height()));
    try {
        TBitmap result = SameKind(bitmap, image.width(), image.height());
        {
            std::unique_ptr<TCanvas> canvas = result.Canvas();
            canvas->setCompositionMode(QPainter::CompositionMode_Source);
            canvas->drawImage(0, 0, image);
        }
        bitmap = result;
    } catch (const std::bad_alloc &) {
        throw EEditCommandError(TooLargeMessage(image.width(), image.height()));
    } catch (const EGraphicError &) {
        throw EEditCommandError(TooLargeMessage(image.width(), image.height()));
    }
}

QImage OpaqueImage(const TBitmap &bitmap)
{
    QImage img = bitmap.ToImage();
    if (img.format() != QImage::Format_RGB32)
        img = img.convertToFormat(QImage::Format_RGB32);
    return img;
}

// Each pixel becomes an f x f block: no blurring of screen text and lines.
QImage Replicate(const QImage &src, int f)
{
    QImage dst(src.width() * f, src.height() * f, QImage::Format_RGB32);
    if (dst.isNull())
        return dst;
    const int dw = dst.width();
    for (int y = 0; y < src.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        auto *first = reinterpret_cast<QRgb *>(dst.scanLine(y * f));
        for (int x = 0; x < src.width(); ++x)
            std::fill_n(first + std::size_t(x) * f, f, in[x]);
        for (int k = 1; k < f; ++k)
            std::memcpy(dst.scanLine(y * f + k), first, std::size_t(dw) * sizeof(QRgb));
    }
    return dst;
}

} // namespace

int ScaleFactorForPosition(int position)
{
    position = std::clamp(position, -4, 4);
    if (position > 0)
        return position + 1;
    if (position < 0)
        return position - 1;
    return 0;
}

QSize ScaledSize(const QSize &size, int factor)
{
    if (factor > 0)
        return QSize(size.width() * factor, size.height() * factor);
    if (factor < 0)
        return QSize(std::max(1, size.width() / -factor), std::max(1, size.height() / -factor));
    return size;
}

bool PersistentScaleBitmap(TBitmap &bitmap, int factor)
{
    if (factor == 0 || bitmap.Empty())
        return false;
    const qint64 w = bitmap.Width(), h = bitmap.Height();
    const qint64 nw = factor > 0 ? w * factor : std::max<qint64>(1, w / -factor);
    const qint64 nh = factor > 0 ? h * factor : std::max<qint64>(1, h / -factor);
    CheckTargetSize(nw, nh);
    QImage scaled;
    try {
        const QImage src = OpaqueImage(bitmap);
        scaled = factor > 0 ? Replicate(src, factor)
                            : src.scaled(int(nw), int(nh), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } catch (const std::bad_alloc &) {
        throw EEditCommandError(TooLargeMessage(nw, nh));
    }
    ReplaceWithImage(bitmap, scaled);
    return true;
}

void StretchBitmap(TBitmap &bitmap, int width, int height)
{
    CheckTargetSize(width, height);
    if (bitmap.Empty())
        throw EEditCommandError(QStringLiteral("Es ist keine Grafik zum Skalieren vorhanden."));
    QImage scaled;
    try {
        scaled = OpaqueImage(bitmap).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } catch (const std::bad_alloc &) {
        throw EEditCommandError(TooLargeMessage(width, height));
    }
    ReplaceWithImage(bitmap, scaled);
}

QSize ViewScaleMaxima(const QSize &pictureSize)
{
    return QSize(std::max(1600, pictureSize.width()), std::max(1200, pictureSize.height()));
}

QSize NewSizeMaxima(const QSize &screenSize, const QSize &pictureSize)
{
    return QSize(std::max(screenSize.width(), pictureSize.width()),
                 std::max(screenSize.height(), pictureSize.height()));
}

// ---------------------------------------------------------------------------
// Border and footnote

void DrawBorder(TBitmap &bitmap, int left, int top, TColor color, int bottom, int right)
{
    left = std::max(0, left);
    top = std::max(0, top);
    bottom = std::max(0, bottom);
    right = std::max(0, right);
    const int w = bitmap.Width(), h = bitmap.Height();
    const qint64 nw = qint64(w) + left + right, nh = qint64(h) + top + bottom;
    CheckTargetSize(nw, nh);
    QColor fill = color == clDefault ? QColor(Qt::white) : TColorToQColor(color);
    if (!fill.isValid())
        fill = Qt::white;
    try {
        TBitmap result = SameKind(bitmap, int(nw), int(nh));
        {
            std::unique_ptr<TCanvas> canvas = result.Canvas();
            canvas->fillRect(QRect(0, 0, int(nw), int(nh)), fill);
            if (bitmap.BitsPerPixel() < 8 && !bitmap.Empty())
                canvas->drawImage(left, top, bitmap.ToImage());
        }
        // Whole bytes per pixel: the old rows are copied as they are, so not
        // a single pixel of the picture changes on its way into the frame.
        if (bitmap.BitsPerPixel() >= 8) {
            const std::size_t bpp = std::size_t(bitmap.BitsPerPixel() / 8);
            for (int y = 0; y < h; ++y)
                std::memcpy(result.ScanLine(y + top) + std::size_t(left) * bpp, bitmap.ScanLine(y),
                            std::size_t(w) * bpp);
        }
        bitmap = result;
    } catch (const std::bad_alloc &) {
        throw EEditCommandError(TooLargeMessage(nw, nh));
    } catch (const EGraphicError &) {
        throw EEditCommandError(TooLargeMessage(nw, nh));
    }
}

void AddFootnoteRows(TBitmap &bitmap)
{
    const int h = bitmap.Height();
    CheckTargetSize(std::max(1, bitmap.Width()), qint64(h) + FootnoteRows);
    bitmap.SetHeight(h + FootnoteRows);
    std::unique_ptr<TCanvas> canvas = bitmap.Canvas();
    canvas->fillRect(QRect(0, h, bitmap.Width(), FootnoteRows), Qt::white);
}

void RemoveFootnoteRows(TBitmap &bitmap)
{
    bitmap.SetHeight(std::max(1, bitmap.Height() - FootnoteRows));
}

QPoint FootnoteTextOrigin(int bitmapHeight, int penWidth)
{
    return QPoint(5, bitmapHeight - (penWidth + 12));
}

void DrawFootnoteText(TBitmap &bitmap, const QString &text, const QString &fontName, int penWidth,
                      int colorIndex)
{
    if (bitmap.Empty() || text.isEmpty())
        return;
    QFont font(fontName.isEmpty() ? QStringLiteral("Sans Serif") : fontName);
    font.setPointSize(std::max(1, penWidth));
    QColor color = TColorToQColor(TextPenColor(colorIndex));
    if (!color.isValid())
        color = Qt::black;
    const QPoint origin = FootnoteTextOrigin(bitmap.Height(), penWidth);
    std::unique_ptr<TCanvas> canvas = bitmap.Canvas();
    canvas->setFont(font);
    canvas->setPen(color);
    canvas->drawText(QRect(origin, QSize(bitmap.Width() * 4 + 100, bitmap.Height() + 100)),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

// ---------------------------------------------------------------------------
// Tiling

std::optional<int> ParseTileTargetSize(const QString &text, QString *error)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok) {
        if (error)
            *error = QStringLiteral("\"%1\"").arg(text);
        return std::nullopt;
    }
    return int(std::clamp<qlonglong>(v, MinTileTargetSize, MaxTileTargetSize));
}

int TileFileOver(const QString &fileName, TBitmap &bitmap, int width, int height)
{
    width = std::clamp(width, MinTileTargetSize, MaxTileTargetSize);
    height = std::clamp(height, MinTileTargetSize, MaxTileTargetSize);
    CheckTargetSize(width, height);
    TBitmap tile;
    tile.LoadFromFile(fileName);
    if (tile.Empty())
        throw EEmptyTileError(QStringLiteral("Die Kachel-Bitmap enthält keine Pixel; es wurde nichts gekachelt."));
    TBitmap target(width, height, pf24bit);
    const int copies = TileBitmap(tile, target);
    bitmap = target;
    return copies;
}

// ---------------------------------------------------------------------------
// Whole-picture smoothing

void SmoothWholeBitmap(TBitmap &bitmap)
{
    SmoothRect(bitmap, QRect(0, 0, bitmap.Width(), bitmap.Height()));
}

void SoftenWholeBitmap(TBitmap &bitmap, int amount)
{
    SoftenEdges(bitmap, QRect(0, 0, bitmap.Width(), bitmap.Height()), std::max(0, amount));
}

} // namespace zk
