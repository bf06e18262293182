#pragma once
// TIcon: one picture of a Windows icon file with its transparency. Loading
// takes the entry a user expects (the largest, then the deepest; see
// IconCodec.h); saving writes one 32-bit entry with its mask.
#include "Bitmap.h"
#include "IconCodec.h"

#include <QImage>

namespace zk {

class TIcon : public TGraphic
{
public:
    TIcon() { m_transparent = true; }

    QString ClassName() const override { return QStringLiteral("TIcon"); }
    std::unique_ptr<TGraphic> Clone() const override;

    bool Empty() const override { return m_image.isNull(); }
    int Width() const override { return m_image.width(); }
    int Height() const override { return m_image.height(); }

    // The picture as ARGB32 (alpha 0 where the icon is transparent).
    QImage Image() const { return m_image; }
    void SetImage(const QImage &image);
    // An icon of the bitmap's size: every pixel of maskColor becomes
    // transparent; clNone keeps the whole picture opaque.
    void AssignBitmap(const TBitmap &bitmap, TColor maskColor = clNone);
    // Index of the entry that the last load chose (-1 when not loaded).
    int ChosenEntry() const { return m_chosen; }

    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;
    // A TIcon is copied; a TBitmap becomes an opaque icon.
    void Assign(const TGraphic &source) override;
    void Draw(QPainter &painter, const QRect &rect) const override;
    QImage ToImage() const override { return m_image; }

private:
    QImage m_image;
    int m_chosen = -1;
};

// Registers ".ico" with TPicture; start-up calls it once.
void RegisterIconGraphics();

} // namespace zk
