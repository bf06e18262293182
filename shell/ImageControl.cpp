#include "ImageControl.h"

#include <QPainter>

namespace zk {

TImage::TImage(QWidget *parent)
    : QWidget(parent)
{
}

TImage::~TImage() = default;

void TImage::PictureChanged()
{
    if (TGraphic *g = m_picture.Graphic())
        g->SetTransparent(m_transparent);
    if (m_autoSize)
        resize(sizeHint());
    updateGeometry();
    update();
    emit OnChange();
}

void TImage::SetAutoSize(bool on)
{
    m_autoSize = on;
    PictureChanged();
}

void TImage::SetStretch(bool on)
{
    m_stretch = on;
    update();
}

void TImage::SetCenter(bool on)
{
    m_center = on;
    update();
}

void TImage::SetTransparent(bool on)
{
    m_transparent = on;
    PictureChanged();
}

QSize TImage::sizeHint() const
{
    if (m_picture.Empty())
        return QSize(0, 0);
    return QSize(m_picture.Width(), m_picture.Height());
}

void TImage::paintEvent(QPaintEvent *)
{
    const TGraphic *g = m_picture.Graphic();
    if (!g || g->Empty())
        return;
    QPainter painter(this);
    QRect target(0, 0, g->Width(), g->Height());
    if (m_stretch)
        target = rect();
    else if (m_center)
        target.moveCenter(rect().center());
    g->Draw(painter, target);
}

} // namespace zk
