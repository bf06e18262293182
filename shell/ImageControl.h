#pragma once
// The picture control of the main window: shows one TPicture, either at its
// own size (the control then takes the picture's size) or stretched over the
// control, optionally centred. Tools may lay frames over the picture; they
// are painted by the control and never enter the picture itself.
#include "Graphic.h"

#include <QImage>
#include <QPen>
#include <QRegion>
#include <QWidget>

#include <array>
#include <optional>

namespace zk {

class TImage : public QWidget
{
    Q_OBJECT

public:
    explicit TImage(QWidget *parent = nullptr);
    ~TImage() override;

    TPicture &Picture() { return m_picture; }
    const TPicture &Picture() const { return m_picture; }
    // Call after changing the picture: resizes (AutoSize), renews the display
    // copy and repaints.
    void PictureChanged();
    // Call after drawing into a small area of the picture (same size and
    // graphic): renews only that part of the display copy.
    void PictureAreaChanged(const QRect &area);

    // Counts every change of the picture (PictureChanged, PictureAreaChanged).
    quint64 Generation() const { return m_generation; }
    // The scaled copy a stretched view paints from; null while the picture
    // shows at its own size. At most one is held, for the current size.
    const QImage &ScaledCopy() const { return m_scaled; }

    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool on);
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool on);
    bool Center() const { return m_center; }
    void SetCenter(bool on);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool on);

    QSize sizeHint() const override;

    // Where the picture shows in the control: stretched over it, centred, or
    // at its own size in device pixels. Empty for an empty picture.
    QRectF PictureRect() const;
    // The picture pixel under a control position (outside the picture for a
    // position beside it).
    QPoint MapToPicture(const QPointF &pos) const;
    // The control area that shows a rectangle of picture pixels.
    QRect MapFromPicture(const QRect &pictureRect) const;

    // A frame over the picture, in picture pixels: the outline of rect drawn
    // with pen in the not-xor mode (the look of a rubber band), or a dotted
    // focus outline. Changing a frame repaints only the strips of the old and
    // the new outline.
    struct TFrame
    {
        QRect rect;
        QPen pen;
        bool focus = false;
        bool operator==(const TFrame &) const = default;
    };
    enum TFrameSlot { CutterFrame, CropFrame, GrabberFrame, FrameSlotCount };
    void SetFrame(TFrameSlot slot, const std::optional<TFrame> &frame);
    const std::optional<TFrame> &Frame(TFrameSlot slot) const { return m_frames[slot]; }
    void ClearFrames();
    // The control area a frame covers (what must be repainted to remove it).
    QRegion FrameRegion(const TFrame &frame) const;
    // The four non-overlapping strips (top, bottom, left, right) in picture
    // pixels that a pen of penWidth covers along the outline of rect.
    static std::array<QRect, 4> FrameStrips(const QRect &rect, int penWidth);

signals:
    // The picture was replaced or changed (sent by PictureChanged).
    void OnChange();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void RenewDisplayCopy();
    // A control its opaque picture covers wholly paints every pixel it is
    // asked for: its parents need not paint under it first.
    void UpdateOpaque();

    TPicture m_picture;
    bool m_autoSize = true;
    bool m_stretch = false;
    bool m_center = false;
    bool m_transparent = false;
    // The picture in the format the window system paints fastest, so a
    // repaint copies only what is exposed.
    QImage m_display;
    const TGraphic *m_displayOf = nullptr;
    // The picture whose change went out last with OnChange.
    const TGraphic *m_announced = nullptr;
    QImage m_scaled;
    quint64 m_generation = 0;
    std::array<std::optional<TFrame>, FrameSlotCount> m_frames;
};

} // namespace zk
