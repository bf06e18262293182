#include "Jpeg.h"

#include "LeBytes.h"

#include <QIODevice>
#include <QPainter>

namespace zk {
namespace {

// Far above any real JPEG of a picture within the pixel limit, and low enough
// that a bogus stream cannot make us read gigabytes into memory.
constexpr qint64 kMaxStreamBytes = qint64(1) << 30;

int denomOf(TJPEGScale s)
{
    switch (s) {
    case jsHalf: return 2;
    case jsQuarter: return 4;
    case jsEighth: return 8;
    default: return 1;
    }
}

} // namespace

std::unique_ptr<TGraphic> TJPEGImage::Clone() const { return std::make_unique<TJPEGImage>(*this); }

bool TJPEGImage::Empty() const { return m_data.isEmpty() && (!m_haveBitmap || m_bitmap.Empty()); }

int TJPEGImage::Width() const
{
    if (m_haveBitmap)
        return m_bitmap.Width();
    return m_data.isEmpty() ? 0 : JpegScaledSize(m_info.width, denomOf(m_scale));
}

int TJPEGImage::Height() const
{
    if (m_haveBitmap)
        return m_bitmap.Height();
    return m_data.isEmpty() ? 0 : JpegScaledSize(m_info.height, denomOf(m_scale));
}

void TJPEGImage::SetCompressionQuality(int q) { m_quality = q < 1 ? 1 : (q > 100 ? 100 : q); }

void TJPEGImage::settingChanged()
{
    // Only a held stream can be decoded differently; an assigned bitmap is
    // the picture itself until it is compressed.
    if (!m_data.isEmpty() && m_haveBitmap) {
        m_haveBitmap = false;
        m_bitmap = TBitmap();
        Changed();
    }
}

void TJPEGImage::SetScale(TJPEGScale s)
{
    if (s == m_scale)
        return;
    m_scale = s;
    settingChanged();
}

void TJPEGImage::SetPixelFormat(TJPEGPixelFormat pf)
{
    if (pf == m_pixelFormat)
        return;
    m_pixelFormat = pf;
    settingChanged();
}

void TJPEGImage::SetPerformance(TJPEGPerformance p)
{
    if (p == m_performance)
        return;
    m_performance = p;
    settingChanged();
}

void TJPEGImage::SetGrayscale(bool on)
{
    if (on == m_grayscale)
        return;
    m_grayscale = on;
    settingChanged();
}

JpegDecodeOptions TJPEGImage::decodeOptions() const
{
    JpegDecodeOptions o;
    o.scaleDenom = denomOf(m_scale);
    o.grayscale = m_grayscale;
    o.quantize = m_pixelFormat == jf8Bit;
    o.fast = m_performance == jpBestSpeed;
    o.maxPixels = TBitmap::MaxPixels();
    return o;
}

void TJPEGImage::DIBNeeded() const
{
    if (m_haveBitmap || m_data.isEmpty())
        return;
    m_bitmap = JpegDecodeBitmap(m_data, decodeOptions());
    m_haveBitmap = true;
}

const TBitmap &TJPEGImage::Bitmap() const
{
    DIBNeeded();
    return m_bitmap;
}

void TJPEGImage::Compress()
{
    if (!m_haveBitmap || m_bitmap.Empty())
        throw EInvalidGraphicOperation(QStringLiteral("There is no picture to compress"));
    JpegInfo info;
    QByteArray data = CompressBitmap(m_bitmap, &info);
    m_data = std::move(data);
    m_info = info;
}

JpegEncodeOptions TJPEGImage::encodeOptions() const
{
    JpegEncodeOptions o;
    o.quality = m_quality;
    o.progressive = m_progressiveEncoding;
    o.grayscale = m_grayscale;
    return o;
}

QByteArray TJPEGImage::CompressBitmap(const TBitmap &bitmap, JpegInfo *info) const
{
    if (bitmap.Empty())
        throw EInvalidGraphicOperation(QStringLiteral("There is no picture to compress"));
    return JpegEncodeBitmap(bitmap, encodeOptions(), info);
}

void TJPEGImage::JPEGNeeded()
{
    if (m_data.isEmpty())
        Compress();
}

void TJPEGImage::LoadFromData(const QByteArray &data)
{
    JpegInfo info;
    TBitmap decoded = JpegDecodeBitmap(data, decodeOptions(), &info);
    m_data = data;
    m_info = info;
    m_bitmap = std::move(decoded);
    m_haveBitmap = true;
    Changed();
}

void TJPEGImage::LoadFromStream(QIODevice &stream)
{
    LoadFromData(ReadRestCapped(stream, kMaxStreamBytes, QStringLiteral("JPEG file")));
}

void TJPEGImage::SaveToStream(QIODevice &stream)
{
    JPEGNeeded();
    if (stream.write(m_data) != m_data.size())
        throw EGraphicFileError(QStringLiteral("The JPEG picture could not be written: %1")
                                    .arg(stream.errorString()));
}

void TJPEGImage::Assign(const TGraphic &source)
{
    if (auto *jpeg = dynamic_cast<const TJPEGImage *>(&source)) {
        if (jpeg != this)
            *this = *jpeg;
        Changed();
        return;
    }
    if (auto *bmp = dynamic_cast<const TBitmap *>(&source)) {
        m_bitmap = *bmp;
        m_haveBitmap = true;
        m_data.clear();
        m_info = JpegInfo();
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

bool TJPEGImage::AssignTo(TGraphic &dest) const
{
    if (auto *bmp = dynamic_cast<TBitmap *>(&dest)) {
        *bmp = Bitmap();
        return true;
    }
    return false;
}

void TJPEGImage::Draw(QPainter &painter, const QRect &rect) const
{
    if (Empty())
        return;
    Bitmap().Draw(painter, rect);
}

QImage TJPEGImage::ToImage() const
{
    if (Empty())
        return QImage();
    return Bitmap().ToImage();
}

void RegisterJpegGraphics()
{
    TPicture::RegisterFileFormat<TJPEGImage>(QStringLiteral("jpg"), QStringLiteral("JPEG-Grafik"));
    TPicture::RegisterFileFormat<TJPEGImage>(QStringLiteral("jpeg"), QStringLiteral("JPEG-Grafik"));
}

} // namespace zk
