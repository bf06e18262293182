// TGIFImage as a picture class: size, palette, import and export, drawing
// with its painters, the clipboard and the registration.
#include "GIFImage.h"
#include "GIFPainter.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <unordered_set>

namespace zk {

namespace {

bool gPaletteDevice = false;

const QString GifMimeType = QStringLiteral("image/gif");

} // namespace

bool TGIFImage::PaletteDevice() { return gPaletteDevice; }
void TGIFImage::SetPaletteDevice(bool on) { gPaletteDevice = on; }

bool TGIFImage::DoDither() const
{
    return (DrawOptions & goDither) && (!(DrawOptions & goAutoDither) || gPaletteDevice);
}

bool TGIFImage::Transparent() const
{
    if (fImages.Count() > 1 && (DrawOptions & goAnimate))
        return true;
    if (DrawOptions & goTransparent)
        for (int i = 0; i < fImages.Count(); ++i)
            if (fImages[i]->Transparent())
                return true;
    return false;
}

std::unique_ptr<TGraphic> TGIFImage::Clone() const
{
    auto copy = std::make_unique<TGIFImage>();
    copy->Assign(*this);
    copy->Compression = Compression;
    copy->ReductionBits = ReductionBits;
    copy->AnimationSpeed = AnimationSpeed;
    return copy;
}

void TGIFImage::SetWidth(int w)
{
    for (int i = 0; i < fImages.Count(); ++i)
        if (fImages[i]->Left() + fImages[i]->Width() > w)
            RaiseGIFError(TGIFMsg::WidthTooSmall);
    if (w != fHeader.Width()) {
        fHeader.SetWidth(w);
        FreeRendered();
        Changed();
    }
}

void TGIFImage::SetHeight(int h)
{
    for (int i = 0; i < fImages.Count(); ++i)
        if (fImages[i]->Top() + fImages[i]->Height() > h)
            RaiseGIFError(TGIFMsg::HeightTooSmall);
    if (h != fHeader.Height()) {
        fHeader.SetHeight(h);
        FreeRendered();
        Changed();
    }
}

QVector<QRgb> TGIFImage::GetPalette()
{
    if (fPaletteGuard)
        RaiseGIFError(TGIFMsg::NoColorTable);
    if (fBitmap && !fBitmap->Palette().isEmpty())
        return fBitmap->Palette();
    if (fHasPalette)
        return fPalette;
    if (DoDither()) {
        fPalette = CreateWebSafePalette();
        fHasPalette = true;
        return fPalette;
    }
    if (fHeader.ColorMap().Count() > 0) {
        fPalette = fHeader.ColorMap().ExportPalette();
        fHasPalette = true;
        return fPalette;
    }
    if (fImages.Count() == 0)
        return {};
    fPaletteGuard = true;
    try {
        QVector<QRgb> p = fImages[0]->Palette();
        fPaletteGuard = false;
        return p;
    } catch (...) {
        fPaletteGuard = false;
        throw;
    }
}

void TGIFImage::SetPalette(const QVector<QRgb> &palette)
{
    fPalette = palette;
    fHasPalette = true;
    if (!fBitmap || fBitmap->Palette() != palette) {
        FreeRendered();
        Changed();
    }
}

int TGIFImage::Add(const TGraphic &source)
{
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(source);
    return Add(std::move(frame));
}

int TGIFImage::Add(std::unique_ptr<TGIFSubImage> frame)
{
    frame->fImage = this;
    frame->fExtensions.fImage = this;
    const int index = fImages.Add(std::move(frame));
    FreeRendered();
    Changed();
    return index;
}

TBitmap *TGIFImage::Bitmap()
{
    if (fBitmap || Empty())
        return fBitmap.get();
    TGIFSubImage &first = *fImages[0];
    if (first.Left() == 0 && first.Top() == 0 && first.Width() == Width() && first.Height() == Height()) {
        if (TBitmap *b = first.Bitmap())
            fBitmap = std::make_unique<TBitmap>(*b);
        return fBitmap.get();
    }
    const QVector<QRgb> palette = GetPalette();
    auto bmp = std::make_unique<TBitmap>(std::max(Width(), 1), std::max(Height(), 1),
                                         palette.isEmpty() ? pf24bit : pf8bit);
    if (!palette.isEmpty())
        bmp->SetPalette(palette);
    {
        auto canvas = bmp->Canvas();
        first.Draw(*canvas, QRect(0, 0, bmp->Width(), bmp->Height()), false, false);
    }
    fBitmap = std::move(bmp);
    return fBitmap.get();
}

void TGIFImage::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (const auto *gif = dynamic_cast<const TGIFImage *>(&source)) {
        Clear();
        OnProgress = gif->OnProgress;
        OnWarning = gif->OnWarning;
        try {
            Progress(0, TGIFMsg::ProgressCopying);
            fHeader.Assign(gif->fHeader);
            ThreadPriority = gif->ThreadPriority;
            DrawBackgroundColor = gif->DrawBackgroundColor;
            DrawOptions = gif->DrawOptions;
            ReductionMethod = gif->ReductionMethod;
            DitherMode = gif->DitherMode;
            const int n = gif->fImages.Count();
            for (int i = 0; i < n; ++i) {
                auto frame = std::make_unique<TGIFSubImage>(this);
                frame->Assign(*gif->fImages[i]);
                fImages.Add(std::move(frame));
                Progress((i + 1) * 100 / n, TGIFMsg::ProgressCopying);
            }
            Progress(100, TGIFMsg::ProgressCopying);
        } catch (...) {
            OnProgress = nullptr;
            OnWarning = nullptr;
            throw;
        }
        OnProgress = nullptr;
        OnWarning = nullptr;
        Changed();
        return;
    }
    Clear();
    Add(source);
}

bool TGIFImage::AssignTo(TGraphic &dest) const
{
    auto *bmp = dynamic_cast<TBitmap *>(&dest);
    if (!bmp)
        return false;
    // The rendered bitmap is a cache: building it does not change the picture.
    TBitmap *rendered = const_cast<TGIFImage *>(this)->Bitmap();
    if (!rendered)
        return false;
    *bmp = *rendered;
    return true;
}

QImage TGIFImage::ToImage() const
{
    TBitmap *rendered = const_cast<TGIFImage *>(this)->Bitmap();
    return rendered ? rendered->ToImage() : QImage();
}

// ------------------------------------------------------------------- drawing

void TGIFImage::FreeRendered()
{
    fBitmap.reset();
    fRendered = QImage();
}

QImage TGIFImage::RenderedCanvas() const
{
    if (fCurrentPainter && !(fCurrentPainter->DrawOptions() & goDirectDraw))
        return fCurrentPainter->Canvas();
    return fRendered;
}

void TGIFImage::DrawRendered(QPainter &painter, const QRect &rect, const QImage &canvas) const
{
    if (DrawOptions & goTile) {
        const int sw = std::max(Width(), 1), sh = std::max(Height(), 1);
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        for (int y = rect.top(); y <= rect.bottom(); y += sh)
            for (int x = rect.left(); x <= rect.right(); x += sw)
                painter.drawImage(x, y, canvas);
        painter.restore();
    } else {
        painter.drawImage(rect, canvas);
    }
}

void TGIFImage::Draw(QPainter &painter, const QRect &rect) const
{
    // Drawing starts and stops painters and fills caches; the picture itself
    // does not change.
    auto *self = const_cast<TGIFImage *>(this);
    if (fDrawing || Empty())
        return;
    self->fDrawing = true;
    struct Reset
    {
        TGIFImage *image;
        ~Reset() { image->fDrawing = false; }
    } reset{self};

    if (fImages.Count() == 1 || !(DrawOptions & goAnimate)) {
        fImages[0]->Draw(painter, rect, DrawOptions & goTransparent, DrawOptions & goTile);
        return;
    }
    QWidget *widget = dynamic_cast<QWidget *>(painter.device());
    const bool direct = DrawOptions & goDirectDraw;
    if (!direct) {
        if (fCurrentPainter) {
            if (widget && !fCurrentPainter->Target())
                fCurrentPainter->SetTarget(widget);
            DrawRendered(painter, rect, fCurrentPainter->Canvas());
            return;
        }
        if (!fRendered.isNull()) {
            DrawRendered(painter, rect, fRendered);
            return;
        }
    } else if (fCurrentPainter && fCurrentPainter->Target() == widget && fCurrentPainter->Rect() == rect) {
        painter.drawImage(rect.topLeft(), fCurrentPainter->Canvas());
        return;
    }
    self->StopPainter();
    const QRect paintRect = direct ? rect : QRect(0, 0, std::max(Width(), 1), std::max(Height(), 1));
    self->StartPainter(widget, paintRect, DrawOptions);
    const QImage canvas = fCurrentPainter ? fCurrentPainter->Canvas() : fRendered;
    if (canvas.isNull())
        return;
    if (direct)
        painter.drawImage(rect.topLeft(), canvas);
    else
        DrawRendered(painter, rect, canvas);
}

TGIFPainter *TGIFImage::StartPainter(QWidget *target, const QRect &rect, uint16_t options)
{
    PurgeFinishedPainters();
    auto painter = std::make_unique<TGIFPainter>(this, target, rect, options, &fCurrentPainter, PainterClock);
    TGIFPainter *p = painter.get();
    p->OnStartPaint = OnStartPaint;
    p->OnPaint = OnPaint;
    p->OnAfterPaint = OnAfterPaint;
    p->OnLoop = OnLoop;
    p->OnEndPaint = OnEndPaint;
    fPainters.push_back(std::move(painter));
    p->Start();
    if (!(options & goAsync)) {
        // Played to its end already.
        PurgeFinishedPainters();
        return nullptr;
    }
    return p->Finished() ? nullptr : p;
}

void TGIFImage::PainterFinished(TGIFPainter *painter)
{
    if (!(painter->DrawOptions() & goDirectDraw))
        fRendered = painter->Canvas();
    if (fCurrentPainter == painter)
        fCurrentPainter = nullptr;
}

void TGIFImage::PurgeFinishedPainters()
{
    // A painter ends inside its own call chain; it is freed on the next
    // start or stop, never while it runs.
    std::erase_if(fPainters, [](const std::unique_ptr<TGIFPainter> &p) { return p->Finished(); });
}

void TGIFImage::StopPainter()
{
    if (TGIFPainter *p = fCurrentPainter) {
        p->Stop();
        if (!p->Finished()) {
            // Not waiting for the timer: the stopped painter ends here.
            p->WaitEnded();
        }
    }
    fCurrentPainter = nullptr;
    FreeRendered();
}

void TGIFImage::StopPainters()
{
    for (auto &p : fPainters)
        if (!p->Finished()) {
            p->Stop();
            p->WaitEnded();
        }
    fCurrentPainter = nullptr;
    PurgeFinishedPainters();
    FreeRendered();
}

// ----------------------------------------------------------------- clipboard

void TGIFImage::SaveToClipboardFormat(QMimeData &mime)
{
    if (Empty())
        return;
    mime.setImageData(ToImage());
    mime.setData(GifMimeType, SaveToBytes());
    if (!mime.hasFormat(GifMimeType))
        RaiseGIFError(TGIFMsg::ClipboardFailed);
}

void TGIFImage::LoadFromClipboardFormat(const QMimeData &mime, const QString &format)
{
    if (format == GifMimeType) {
        LoadFromBytes(mime.data(GifMimeType));
        return;
    }
    if (format == QLatin1String("application/x-qt-image") || format.startsWith(QLatin1String("image/"))) {
        const QImage image = qvariant_cast<QImage>(mime.imageData());
        if (!image.isNull()) {
            const TBitmap bmp = TBitmap::FromImage(image);
            Assign(bmp);
            return;
        }
    }
    throw EInvalidGraphic(QStringLiteral("Unsupported clipboard format"));
}

bool BitmapHasMoreColors(const TBitmap &bitmap, int limit)
{
    if (bitmap.BitsPerPixel() <= 8 && bitmap.Palette().size() <= limit)
        return false;
    TBitmap work(bitmap);
    if (work.BitsPerPixel() != 24)
        work.SetPixelFormat(pf24bit);
    std::unordered_set<uint32_t> seen;
    seen.reserve(std::size_t(limit) * 2);
    uint32_t last = 0xFFFFFFFF;
    for (int y = 0; y < work.Height(); ++y) {
        const uchar *p = work.ScanLine(y);
        for (int x = 0; x < work.Width(); ++x, p += 3) {
            const uint32_t c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
            if (c == last)
                continue;
            last = c;
            seen.insert(c);
            if (int(seen.size()) > limit)
                return true;
        }
    }
    return false;
}

// -------------------------------------------------------------- registration

void RegisterGifGraphics()
{
    static const bool done = [] {
        TPicture::RegisterFileFormat<TGIFImage>(QStringLiteral("gif"), QStringLiteral("GIF Image"));
        TPicture::RegisterClipboardFormat(GifMimeType, QStringLiteral("TGIFImage"),
                                          [] { return std::unique_ptr<TGraphic>(new TGIFImage()); });
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            if (const QScreen *screen = QGuiApplication::primaryScreen())
                gPaletteDevice = screen->depth() < 9;
        return true;
    }();
    (void)done;
}

} // namespace zk
