// TGIFSubImage's rendering, import and drawing: the frame as a bitmap (plain
// or dithered to the web-safe colours) with the mask of its transparent
// pixels, the frame taken from a bitmap or another graphic, and the frame
// drawn scaled, tiled and transparent.
#include "ColorReduction.h"
#include "GIFImage.h"
#include "Icon.h"
#include "Metafile.h"

#include <QPainter>

#include <algorithm>
#include <unordered_map>

namespace zk {

namespace {

int ScaleBy(int v, int num, int den)
{
    if (den == 0)
        return v;
    const qint64 p = qint64(v) * num;
    return int((p >= 0 ? p + den / 2 : p - den / 2) / den);
}

} // namespace

void TGIFSubImage::FreeBitmap()
{
    fBitmap.reset();
    fMask.clear();
    fHasMask = false;
    fNeedMask = true;
    fOpaqueImage = QImage();
    fMaskedImage = QImage();
}

QVector<QRgb> TGIFSubImage::Palette()
{
    if (fBitmap && !fBitmap->Palette().isEmpty())
        return fBitmap->Palette();
    if (fHasPalette)
        return fPalette;
    if (fImage && fImage->DoDither())
        return CreateWebSafePalette();
    if (fColorMap.Count() == 0 && fImage)
        return fImage->GetPalette();
    return fColorMap.ExportPalette();
}

void TGIFSubImage::SetPalette(const QVector<QRgb> &palette)
{
    fPalette = palette;
    fHasPalette = true;
    if (!fBitmap || fBitmap->Palette() != palette) {
        FreeBitmap();
        if (fImage)
            fImage->FreeRendered();
    }
}

TBitmap *TGIFSubImage::Bitmap()
{
    if (!fBitmap && !Empty())
        BuildBitmap();
    return fBitmap.get();
}

bool TGIFSubImage::HasMask()
{
    if (fNeedMask && fTransparent) {
        FreeBitmap();
        BuildBitmap();
    }
    return fHasMask;
}

void TGIFSubImage::BuildBitmap()
{
    if (Empty())
        return;
    const bool dither = fImage && fImage->DoDither();
    const QVector<QRgb> palette = Palette();
    const bool buildMask = fNeedMask && fTransparent;
    // A transparent frame without its extension has no transparent index.
    const int transparentIndex = fGCE ? fGCE->TransparentColorIndex() : -1;
    const int maskRow = (fWidth + 15) / 16 * 2;
    std::vector<uint8_t> mask;
    if (buildMask)
        mask.assign(std::size_t(maskRow) * fHeight, 0);
    bool anyMasked = false;

    auto bmp = std::make_unique<TBitmap>(fWidth, fHeight, pf8bit);
    bmp->SetPalette(palette);
    const auto progress = [this](int percent) {
        if (fImage)
            fImage->Progress(percent, TGIFMsg::ProgressRendering);
    };
    progress(0);

    const TGIFColorMap &map = ActiveColorMap();
    TNetscapeColorLookup lookup;
    std::unique_ptr<TFloydSteinbergDitherer> ditherer;
    if (dither)
        ditherer = std::make_unique<TFloydSteinbergDitherer>(fWidth, lookup);
    uint8_t transparentWeb = 0;
    if (dither && buildMask && map.Count() > 0) {
        const TColor c = map.Colors(std::min(transparentIndex, map.Count() - 1));
        const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
        // The web-safe index of the transparent colour; those pixels are
        // not dithered, they are masked when drawn.
        transparentWeb = uint8_t(std::min(ScaleBy(6, g, 51) + b / 51 + ScaleBy(36, r, 51), 215));
    }

    for (int y = 0; y < fHeight; ++y) {
        const uint8_t *src = fData.data() + std::size_t(y) * fWidth;
        uchar *dst = bmp->ScanLine(y);
        if (buildMask) {
            uint8_t *m = mask.data() + std::size_t(y) * maskRow;
            for (int x = 0; x < fWidth; ++x)
                if (src[x] == transparentIndex) {
                    m[x >> 3] |= uint8_t(0x80 >> (x & 7));
                    anyMasked = true;
                }
        }
        if (!dither) {
            std::copy(src, src + fWidth, dst);
        } else {
            const bool forward = ditherer->Direction() > 0;
            for (int i = 0; i < fWidth; ++i) {
                const int x = forward ? i : fWidth - 1 - i;
                int r = 0, g = 0, b = 0;
                if (map.Count() > 0) {
                    const TColor c = map.Colors(std::min<int>(src[x], map.Count() - 1));
                    r = c & 0xFF;
                    g = (c >> 8) & 0xFF;
                    b = (c >> 16) & 0xFF;
                }
                int orr, og, ob;
                const int index = ditherer->Dither(r, g, b, orr, og, ob);
                dst[x] = (buildMask && src[x] == transparentIndex) ? transparentWeb : uint8_t(index);
            }
            ditherer->NextLine();
        }
        if (y % 32 == 0)
            progress(y * 100 / fHeight);
    }
    progress(100);
    fBitmap = std::move(bmp);
    if (buildMask) {
        fNeedMask = false;
        fHasMask = anyMasked;
        if (anyMasked)
            fMask = std::move(mask);
    }
}

const QImage &TGIFSubImage::DrawImage(bool transparent)
{
    const bool masked = transparent && fTransparent && HasMask();
    TBitmap *bmp = Bitmap();
    if (!bmp) {
        static const QImage none;
        return none;
    }
    if (!masked) {
        if (fOpaqueImage.isNull())
            fOpaqueImage = bmp->ToImage();
        return fOpaqueImage;
    }
    if (fMaskedImage.isNull()) {
        QImage img = bmp->ToImage().convertToFormat(QImage::Format_ARGB32);
        const int maskRow = (fWidth + 15) / 16 * 2;
        for (int y = 0; y < fHeight; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            const uint8_t *m = fMask.data() + std::size_t(y) * maskRow;
            for (int x = 0; x < fWidth; ++x)
                if (m[x >> 3] & (0x80 >> (x & 7)))
                    line[x] = 0;
        }
        fMaskedImage = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return fMaskedImage;
}

// ------------------------------------------------------------------ import

void TGIFSubImage::Assign(const TGIFSubImage &source)
{
    if (&source == this)
        return;
    Clear();
    if (source.Empty())
        return;
    fLeft = source.fLeft;
    fTop = source.fTop;
    fWidth = source.fWidth;
    fHeight = source.fHeight;
    fPacked = source.fPacked;
    fTransparent = source.fTransparent;
    fData = source.fData;
    fColorMap.Assign(source.fColorMap);
    // The extensions are copied by writing and reading them back, so every
    // kind (also unknown application blocks) arrives whole.
    TGIFOutStream out;
    const_cast<TGIFExtensionList &>(source.fExtensions).SaveToStream(out);
    TGIFInStream in(out.Bytes());
    fExtensions.LoadFromStream(in, this);
    fTransparent = source.fTransparent;
    if (source.fBitmap)
        fBitmap = std::make_unique<TBitmap>(*source.fBitmap);
}

void TGIFSubImage::AssignBitmap(const TBitmap &source)
{
    Clear();
    if (source.Empty())
        return;
    SetBounds(0, 0, source.Width(), source.Height());
    TBitmap work;
    const int bits = source.BitsPerPixel();
    if (bits == 1 || bits == 4 || bits == 8) {
        work = source;
    } else {
        TBitmap copy(source);
        const int method = fImage ? fImage->ReductionMethod : 0;
        const int dither = fImage ? fImage->DitherMode : 0;
        const int colorBits = fImage ? fImage->ReductionBits : 8;
        work = ReduceBitmapColors(copy, method, dither, {}, colorBits);
        if (work.Empty())
            RaiseGIFError(QStringLiteral("Invalid color reduction method %1 or dither mode %2")
                              .arg(method)
                              .arg(dither));
    }
    const int workBits = work.BitsPerPixel();
    if (workBits != 1 && workBits != 4 && workBits != 8 && workBits != 24)
        work.SetPixelFormat(pf24bit);
    const auto progress = [this](int percent) {
        if (fImage)
            fImage->Progress(percent, TGIFMsg::ProgressConverting);
    };
    progress(0);
    const int w = fWidth, h = fHeight;
    if (work.BitsPerPixel() <= 8)
        fColorMap.ImportPalette(work.Palette());
    // The last eight colours looked up, newest first, then a hash of the
    // whole table: the same table in the same order as searching it colour
    // by colour. Only slots already written are searched: a slot never
    // filled would hand out an index from whatever lay on the stack.
    TColor ring[8] = {};
    int ringIndex[8] = {};
    int ringCount = 0, ringLast = 0;
    std::unordered_map<TColor, int> known;
    for (int y = 0; y < h; ++y) {
        const uchar *src = work.ScanLine(y);
        uint8_t *dst = fData.data() + std::size_t(y) * w;
        switch (work.BitsPerPixel()) {
        case 8:
            std::copy(src, src + w, dst);
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
            break;
        case 1:
            for (int x = 0; x < w; ++x)
                dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        default:
            for (int x = 0; x < w; ++x) {
                const TColor c = RGBToTColor(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                int index = -1;
                for (int k = 0, i = ringLast; k < ringCount; ++k, i = (i + 7) % 8)
                    if (ring[i] == c) {
                        index = ringIndex[i];
                        break;
                    }
                if (index < 0) {
                    auto it = known.find(c);
                    if (it != known.end()) {
                        index = it->second;
                    } else {
                        index = fColorMap.Add(c);
                        known.emplace(c, index);
                    }
                    ringLast = (ringLast + 1) % 8;
                    ring[ringLast] = c;
                    ringIndex[ringLast] = index;
                    ringCount = std::min(ringCount + 1, 8);
                }
                dst[x] = uint8_t(index);
            }
            break;
        }
        if (y % 32 == 0)
            progress(y * 100 / h);
    }
    progress(100);
    // A bitmap whose palette is shorter than its indices (a BMP declaring
    // fewer used colours than it uses) shows the indices past the end as
    // black: the table gets those blacks, so the picture saves as it shows.
    if (work.BitsPerPixel() <= 8) {
        const int highest = fData.empty() ? 0 : *std::max_element(fData.begin(), fData.end());
        while (fColorMap.Count() <= highest)
            fColorMap.Add(clBlack);
    }
    FreeBitmap();
    if (source.Transparent()) {
        const TColor tc = source.TransparentColor();
        std::vector<uint8_t> mask(std::size_t(w) * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                mask[std::size_t(y) * w + x] = source.Pixel(x, y) == tc;
        MarkTransparency(mask);
    }
}

void TGIFSubImage::Assign(const TGraphic &source)
{
    if (const auto *bmp = dynamic_cast<const TBitmap *>(&source)) {
        AssignBitmap(*bmp);
        return;
    }
    Clear();
    if (source.Empty())
        return;
    const int w = source.Width(), h = source.Height();
    const auto drawOn = [&](const QColor &background) {
        TBitmap b(w, h, pf24bit);
        auto canvas = b.Canvas();
        canvas->fillRect(QRect(0, 0, w, h), background);
        source.Draw(*canvas, QRect(0, 0, w, h));
        canvas.reset();
        return b;
    };
    TBitmap onWhite = drawOn(Qt::white);
    AssignBitmap(onWhite);
    std::vector<uint8_t> mask;
    if (const auto *icon = dynamic_cast<const TIcon *>(&source)) {
        const QImage img = icon->Image().convertToFormat(QImage::Format_ARGB32);
        mask.assign(std::size_t(w) * h, 0);
        for (int y = 0; y < h && y < img.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
            for (int x = 0; x < w && x < img.width(); ++x)
                mask[std::size_t(y) * w + x] = qAlpha(line[x]) == 0;
        }
    } else if (dynamic_cast<const TMetafile *>(&source)) {
        // What the metafile leaves unpainted shows the background: those
        // pixels differ between the two renderings.
        const TBitmap onBlack = drawOn(Qt::black);
        mask.assign(std::size_t(w) * h, 0);
        for (int y = 0; y < h; ++y) {
            const uchar *a = onWhite.ScanLine(y);
            const uchar *b = onBlack.ScanLine(y);
            for (int x = 0; x < 3 * w; ++x)
                if (a[x] != b[x])
                    mask[std::size_t(y) * w + x / 3] = 1;
        }
    }
    if (!mask.empty())
        MarkTransparency(mask);
}

void TGIFSubImage::MarkTransparency(const std::vector<uint8_t> &mask)
{
    fColorMap.Optimize();
    if (fColorMap.Count() == 0 || fColorMap.Count() >= 256)
        return;
    const int index = fColorMap.Add(0);
    int marked = 0;
    const std::size_t n = std::min(mask.size(), fData.size());
    for (std::size_t i = 0; i < n; ++i)
        if (mask[i]) {
            fData[i] = uint8_t(index);
            ++marked;
        }
    if (marked == 0) {
        fColorMap.Delete(index);
        return;
    }
    auto gce = std::make_unique<TGIFGraphicControlExtension>(this);
    gce->SetTransparent(true);
    gce->SetTransparentColorIndex(index);
    fExtensions.Add(std::move(gce));
    FreeBitmap();
}

bool TGIFSubImage::AssignTo(TGraphic &dest)
{
    auto *bmp = dynamic_cast<TBitmap *>(&dest);
    if (!bmp || !Bitmap())
        return false;
    *bmp = *Bitmap();
    return true;
}

// ----------------------------------------------------------------- drawing

void TGIFSubImage::Draw(QPainter &painter, const QRect &rect, bool transparent, bool tile)
{
    QRect r = rect;
    if (!tile && fImage && fImage->Width() > 0 && fImage->Height() > 0) {
        const int sw = fImage->Width(), sh = fImage->Height();
        const int l = rect.left() + ScaleBy(fLeft, rect.width(), sw);
        const int t = rect.top() + ScaleBy(fTop, rect.height(), sh);
        const int rr = rect.left() + ScaleBy(fLeft + fWidth, rect.width(), sw);
        const int b = rect.top() + ScaleBy(fTop + fHeight, rect.height(), sh);
        r = QRect(l, t, rr - l, b - t);
    }
    StretchDraw(painter, r, transparent, tile);
}

void TGIFSubImage::StretchDraw(QPainter &painter, const QRect &rect, bool transparent, bool tile)
{
    const QImage &img = DrawImage(transparent);
    if (img.isNull())
        return;
    if (tile) {
        const int sw = std::max(fImage ? fImage->Width() : fWidth, 1);
        const int sh = std::max(fImage ? fImage->Height() : fHeight, 1);
        for (int y = rect.top() + fTop; y <= rect.bottom(); y += sh)
            for (int x = rect.left() + fLeft; x <= rect.right(); x += sw)
                painter.drawImage(x, y, img);
    } else {
        painter.drawImage(rect, img);
    }
}

} // namespace zk
