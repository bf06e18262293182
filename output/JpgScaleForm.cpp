#include "JpgScaleForm.h"

#include "ImageControl.h"
#include "Jpeg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>

namespace zk {

TJpgScaleBMForm::TJpgScaleBMForm(TImage *image, QWidget *opener)
    : TBaseModalForm(opener, Qt::Tool)
    , m_image(image)
{
    setObjectName(QStringLiteral("JpgScaleBMForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("JPG/JPEG skalieren"));

    JpgScaleLabel = new QLabel(QStringLiteral("Skalierungsfaktor für JPG/JPEG:"), this);
    JpgScaleLabel->setObjectName(QStringLiteral("JpgScaleLabel"));
    JpgScaleComboBox = new QComboBox(this);
    JpgScaleComboBox->setObjectName(QStringLiteral("JpgScaleComboBox"));
    JpgScaleComboBox->addItems({QStringLiteral("1:1"), QStringLiteral("1:2"), QStringLiteral("1:4"),
                                QStringLiteral("1:8")});
    JpgScaleLabel->setBuddy(JpgScaleComboBox);

    auto *row = new QHBoxLayout(this);
    row->addWidget(JpgScaleLabel);
    row->addWidget(JpgScaleComboBox, 1);

    connect(JpgScaleComboBox, &QComboBox::currentIndexChanged, this, [this] { JpgScaleComboBoxChange(); });
}

TJpgScaleBMForm::~TJpgScaleBMForm() = default;

void TJpgScaleBMForm::showEvent(QShowEvent *event)
{
    TBaseModalForm::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TJpgScaleBMForm::FormShow()
{
    JpgScaleComboBox->setCurrentIndex(0);
}

bool TJpgScaleBMForm::PictureIsJpeg() const
{
    return m_image && dynamic_cast<TJPEGImage *>(m_image->Picture().Graphic()) != nullptr;
}

void TJpgScaleBMForm::JpgScaleComboBoxChange()
{
    const int index = JpgScaleComboBox->currentIndex();
    if (!m_image || index < 0 || index > int(jsEighth))
        return;
    auto *jpeg = dynamic_cast<TJPEGImage *>(m_image->Picture().Graphic());
    if (!jpeg)
        return;
    if (jpeg->Scale() == TJPEGScale(index))
        return;
    jpeg->SetScale(TJPEGScale(index));
    m_image->PictureChanged();
}

} // namespace zk
