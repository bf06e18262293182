#pragma once
// TJPEGImage: a JPEG picture that holds the compressed stream, the decoded
// bitmap, or both. Loading keeps the stream (saving writes it back unchanged)
// and decodes at once, so a damaged file fails while loading and leaves the
// object as it was. Assigning a bitmap keeps the bitmap and compresses only
// when saved or when Compress() is called, with the settings of that moment.
#include "Bitmap.h"
#include "JpegCodec.h"

#include <QByteArray>

namespace zk {

enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };

class TJPEGImage : public TGraphic
{
public:
    TJPEGImage() = default;

    QString ClassName() const override { return QStringLiteral("TJPEGImage"); }
    std::unique_ptr<TGraphic> Clone() const override;

    bool Empty() const override;
    // The size of the decoded picture, that is after Scale.
    int Width() const override;
    int Height() const override;

    // ---- writing settings (used by Compress and by saving a bitmap)
    int CompressionQuality() const { return m_quality; }
    void SetCompressionQuality(int q); // clamped to 1..100; default 90
    bool ProgressiveEncoding() const { return m_progressiveEncoding; }
    void SetProgressiveEncoding(bool on) { m_progressiveEncoding = on; }

    // ---- reading settings (a change decodes the held stream again)
    TJPEGScale Scale() const { return m_scale; }
    void SetScale(TJPEGScale s);
    TJPEGPixelFormat PixelFormat() const { return m_pixelFormat; }
    void SetPixelFormat(TJPEGPixelFormat pf);
    TJPEGPerformance Performance() const { return m_performance; }
    void SetPerformance(TJPEGPerformance p);
    // Grey output when decoding, and a one-channel file when compressing.
    bool Grayscale() const { return m_grayscale; }
    void SetGrayscale(bool on);
    // How a viewer shows the picture while loading; changes no pixels.
    bool ProgressiveDisplay() const { return m_progressiveDisplay; }
    void SetProgressiveDisplay(bool on) { m_progressiveDisplay = on; }

    // Compresses the held bitmap now (replacing any held stream).
    void Compress();
    // The stream Compress would make of `bitmap` with these settings, read
    // from the bitmap's own rows; nothing here changes.
    QByteArray CompressBitmap(const TBitmap &bitmap, JpegInfo *info = nullptr) const;
    // Makes sure a decoded bitmap / a compressed stream exists.
    void DIBNeeded() const;
    void JPEGNeeded();
    // The decoded picture (decoding on first use); empty bitmap when empty.
    const TBitmap &Bitmap() const;
    // The compressed stream held (empty until loaded or compressed).
    QByteArray Data() const { return m_data; }

    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;
    // A TJPEGImage is copied with its settings; a TBitmap is taken as the
    // picture to compress later.
    void Assign(const TGraphic &source) override;
    bool AssignTo(TGraphic &dest) const override;
    void Draw(QPainter &painter, const QRect &rect) const override;
    QImage ToImage() const override;

    // Reading and writing of a memory block, for callers that hold bytes.
    void LoadFromData(const QByteArray &data);

private:
    JpegDecodeOptions decodeOptions() const;
    JpegEncodeOptions encodeOptions() const;
    void settingChanged();

    QByteArray m_data;
    JpegInfo m_info;
    mutable TBitmap m_bitmap;
    mutable bool m_haveBitmap = false;

    int m_quality = 90;
    bool m_progressiveEncoding = false;
    bool m_grayscale = false;
    bool m_progressiveDisplay = false;
    TJPEGScale m_scale = jsFullSize;
    TJPEGPixelFormat m_pixelFormat = jf24Bit;
    TJPEGPerformance m_performance = jpBestQuality;
};

// Registers ".jpg" and ".jpeg" with TPicture; start-up calls it once.
void RegisterJpegGraphics();

} // namespace zk
