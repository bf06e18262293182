#pragma once
// TMetafile: a Windows metafile that holds one bitmap. We write enhanced
// metafiles (header with description, one EMR_STRETCHDIBITS, EMR_EOF) and
// placeable Windows metafiles (one META_STRETCHDIB). We read those back and
// any other metafile whose drawing is bitmap records only; a metafile that
// draws lines, shapes or text is refused with a message that says so, rather
// than shown blank or half drawn.
#include "Bitmap.h"

#include <QString>
#include <memory>

namespace zk {

class TMetafile : public TGraphic
{
public:
    TMetafile() = default;

    QString ClassName() const override { return QStringLiteral("TMetafile"); }
    std::unique_ptr<TGraphic> Clone() const override;

    bool Empty() const override { return m_width == 0 || m_height == 0; }
    // The picture's size in pixels (96 per inch).
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    // The recorded bitmap is stretched to the new size when drawn.
    void SetWidth(int w) override;
    void SetHeight(int h) override;

    // Enhanced (EMF, the default) or placeable Windows metafile when saved.
    bool Enhanced() const { return m_enhanced; }
    void SetEnhanced(bool on) { m_enhanced = on; }
    // The EMF description: the creating program and the picture's title.
    QString CreatedBy() const { return m_createdBy; }
    QString Description() const { return m_description; }
    void SetDescription(const QString &createdBy, const QString &description);

    // The bitmap the metafile draws (empty when nothing is recorded).
    const TBitmap &Bitmap() const { return m_bitmap; }
    // Records the bitmap at (0, 0) in its own size; the metafile takes that size.
    void SetBitmap(const TBitmap &bitmap);

    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;
    void LoadFromData(const QByteArray &data);
    QByteArray SaveToData() const;

    // A TMetafile is copied; a TBitmap is recorded unchanged; any other
    // graphic is recorded as drawn on a bitmap of its size.
    void Assign(const TGraphic &source) override;
    void Draw(QPainter &painter, const QRect &rect) const override;
    QImage ToImage() const override;

private:
    QByteArray saveEmf() const;
    QByteArray saveWmf() const;

    int m_width = 0;
    int m_height = 0;
    bool m_enhanced = true;
    QString m_createdBy;
    QString m_description;
    TBitmap m_bitmap;
};

// A painter on a metafile: what is drawn while it lives is recorded into the
// metafile (as one bitmap of the metafile's size on white) when it is
// destroyed. The metafile must have a size first.
class TMetafileCanvas
{
public:
    explicit TMetafileCanvas(TMetafile &metafile, const QString &createdBy = QString(),
                             const QString &description = QString());
    ~TMetafileCanvas();
    TMetafileCanvas(const TMetafileCanvas &) = delete;
    TMetafileCanvas &operator=(const TMetafileCanvas &) = delete;

    QPainter &Painter() { return *m_canvas; }
    QPainter *operator->() { return m_canvas.get(); }

private:
    TMetafile &m_metafile;
    TBitmap m_bitmap;
    std::unique_ptr<TCanvas> m_canvas;
    bool m_setDescription;
    QString m_createdBy;
    QString m_description;
};

// Registers ".wmf" and ".emf" with TPicture; start-up calls it once.
void RegisterMetafileGraphics();

} // namespace zk
