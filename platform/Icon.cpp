#include "Icon.h"

#include "LeBytes.h"

#include <QIODevice>
#include <QPainter>

namespace zk {
namespace {

// An icon file of pictures within the pixel limit stays far below this.
constexpr qint64 kMaxIconFileBytes = qint64(1) << 30;

} // namespace

std::unique_ptr<TGraphic> TIcon::Clone() const { return std::make_unique<TIcon>(*this); }

void TIcon::SetImage(const QImage &image)
{
    QImage img = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32);
    if (!image.isNull() && img.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory for the icon"));
    m_image = img;
    m_chosen = -1;
    Changed();
}

void TIcon::AssignBitmap(const TBitmap &bitmap, TColor maskColor)
{
    QImage img = bitmap.ToImage().convertToFormat(QImage::Format_ARGB32);
    if (!bitmap.Empty() && img.isNull())
        throw EInvalidGraphicOperation(QStringLiteral("Not enough memory for the icon"));
    if (maskColor != clNone && !img.isNull()) {
        const QRgb key = TColorToQColor(maskColor).rgb() & 0xFFFFFFu;
        for (int y = 0; y < img.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if ((row[x] & 0xFFFFFFu) == key)
                    row[x] = 0;
        }
    }
    SetImage(img);
}

void TIcon::LoadFromStream(QIODevice &stream)
{
    const QByteArray data = ReadRestCapped(stream, kMaxIconFileBytes, QStringLiteral("Icon file"));
    int chosen = -1;
    QImage img = IconDecode(data, &chosen);
    m_image = std::move(img);
    m_chosen = chosen;
    Changed();
}

void TIcon::SaveToStream(QIODevice &stream)
{
    if (Empty())
        throw EInvalidGraphicOperation(QStringLiteral("Cannot write an empty icon"));
    const QByteArray data = IconEncode(m_image);
    if (stream.write(data) != data.size())
        throw EGraphicFileError(QStringLiteral("The icon could not be written: %1").arg(stream.errorString()));
}

void TIcon::Assign(const TGraphic &source)
{
    if (auto *icon = dynamic_cast<const TIcon *>(&source)) {
        if (icon != this) {
            m_image = icon->m_image;
            m_chosen = icon->m_chosen;
            m_transparent = icon->m_transparent;
        }
        Changed();
        return;
    }
    if (auto *bmp = dynamic_cast<const TBitmap *>(&source)) {
        AssignBitmap(*bmp, clNone);
        return;
    }
    TGraphic::Assign(source);
}

void TIcon::Draw(QPainter &painter, const QRect &rect) const
{
    if (Empty())
        return;
    if (m_transparent) {
        painter.drawImage(rect, m_image);
    } else {
        // Without transparency the icon shows on its own opaque ground.
        QImage opaque(m_image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter p(&opaque);
        p.drawImage(0, 0, m_image);
        p.end();
        painter.drawImage(rect, opaque);
    }
}

void RegisterIconGraphics()
{
    TPicture::RegisterFileFormat<TIcon>(QStringLiteral("ico"), QStringLiteral("Windows Icon"));
}

} // namespace zk
