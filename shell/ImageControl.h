#pragma once
// The picture control of the main window: shows one TPicture, either at its
// own size (the control then takes the picture's size) or stretched over the
// control, optionally centred.
#include "Graphic.h"

#include <QWidget>

namespace zk {

class TImage : public QWidget
{
    Q_OBJECT

public:
    explicit TImage(QWidget *parent = nullptr);
    ~TImage() override;

    TPicture &Picture() { return m_picture; }
    const TPicture &Picture() const { return m_picture; }
    // Call after changing the picture: resizes (AutoSize) and repaints.
    void PictureChanged();

    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool on);
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool on);
    bool Center() const { return m_center; }
    void SetCenter(bool on);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool on);

    QSize sizeHint() const override;

signals:
    // The picture was replaced or changed (sent by PictureChanged).
    void OnChange();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TPicture m_picture;
    bool m_autoSize = true;
    bool m_stretch = false;
    bool m_center = false;
    bool m_transparent = false;
};

} // namespace zk
