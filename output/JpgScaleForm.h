#pragma once
// The JPEG view-scale tool window: a modeless dialog whose combo box shows
// the main picture at full, half, quarter or eighth size while that picture
// is a JPEG. It deletes itself when closed; holders keep a QPointer.
#include "BaseModal.h"

#include <QPointer>

class QComboBox;
class QLabel;

namespace zk {

class TImage;

class TJpgScaleBMForm : public TBaseModalForm
{
    Q_OBJECT

public:
    // image: the picture control whose JPEG is scaled.
    explicit TJpgScaleBMForm(TImage *image, QWidget *opener = nullptr);
    ~TJpgScaleBMForm() override;

    QLabel *JpgScaleLabel = nullptr;
    QComboBox *JpgScaleComboBox = nullptr;

    // The picture's scale := the chosen item (0 full size .. 3 eighth). A
    // picture that is not a JPEG has no scale and stays as it is.
    void JpgScaleComboBoxChange();
    // Whether the picture shown can be scaled by this window.
    bool PictureIsJpeg() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    QPointer<TImage> m_image;
};

} // namespace zk
