#include "PrevKoord.h"

#include "ScanGeometry.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace zk {

TLoupeImage::TLoupeImage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("LoupeImage"));
    setFixedSize(kLoupeImageSize, kLoupeImageSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLoupeImage::SetPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void TLoupeImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!m_picture.isNull())
        p.drawImage(0, 0, m_picture);
}

TPrevKoordForm::TPrevKoordForm(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                         | Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("PrevKoordForm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Client area 176 x 225 inside a one-pixel border.
    setFixedSize(kLoupeClientWidth + 2, kLoupeClientHeight + 2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    LoupeScrollBox = new QScrollArea(this);
    LoupeScrollBox->setObjectName(QStringLiteral("LoupeScrollBox"));
    LoupeScrollBox->setFrameShape(QFrame::NoFrame);
    LoupeScrollBox->setAlignment(Qt::AlignCenter);
    LoupeScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LoupeScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LoupeScrollBox->setFixedHeight(kLoupeClientWidth);
    LoupeImage = new TLoupeImage;
    LoupeScrollBox->setWidget(LoupeImage);
    layout->addWidget(LoupeScrollBox);

    AlignPanel = new QWidget(this);
    AlignPanel->setObjectName(QStringLiteral("AlignPanel"));
    auto *grid = new QGridLayout(AlignPanel);
    grid->setContentsMargins(3, 2, 3, 2);
    grid->setSpacing(2);
    auto edit = [this](const char *name, const QString &text) {
        auto *e = new QLineEdit(text, AlignPanel);
        e->setObjectName(QString::fromLatin1(name));
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        return e;
    };
    XAlignEdit = edit("XAlignEdit", QStringLiteral("X ="));
    YAlignEdit = edit("YAlignEdit", QStringLiteral("Y = "));
    WAlignEdit = edit("WAlignEdit", QStringLiteral("W = "));
    HAlignEdit = edit("HAlignEdit", QStringLiteral("H ="));
    grid->addWidget(XAlignEdit, 0, 0);
    grid->addWidget(YAlignEdit, 0, 1);
    grid->addWidget(WAlignEdit, 1, 0);
    grid->addWidget(HAlignEdit, 1, 1);
    layout->addWidget(AlignPanel);
}

TPrevKoordForm::~TPrevKoordForm() = default;

void TPrevKoordForm::ShowMagnified(const QImage &source)
{
    if (source.isNull()) {
        LoupeImage->SetPicture({});
        return;
    }
    // Nearest-neighbour enlargement: the user wants to see single pixels.
    LoupeImage->SetPicture(source.scaled(kLoupeImageSize, kLoupeImageSize, Qt::IgnoreAspectRatio,
                                         Qt::FastTransformation));
}

void TPrevKoordForm::SetValues(int x, int y, int w, int h)
{
    XAlignEdit->setText(QStringLiteral("X = %1").arg(x));
    YAlignEdit->setText(QStringLiteral("Y = %1").arg(y));
    WAlignEdit->setText(QStringLiteral("W = %1").arg(w));
    HAlignEdit->setText(QStringLiteral("H = %1").arg(h));
}

void TPrevKoordForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace zk
