#include "Splash.h"

#include "StartupRules.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace zk {

namespace {
constexpr int kClientWidth = 288;
constexpr int kClientHeight = 125;
constexpr int kBorder = 3;
} // namespace

TSplashForm::TSplashForm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("SplashForm");
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#SplashForm { background: black; }"));
    setFixedSize(kClientWidth + 2 * kBorder, kClientHeight + 2 * kBorder);

    const QRect inner(kBorder, kBorder, kClientWidth, kClientHeight);
    SplashImage = new QLabel(this);
    SplashImage->setObjectName("SplashImage");
    SplashImage->setGeometry(inner);
    SplashImage->setScaledContents(true);
    SplashImage->setPixmap(SplashPicture(inner.size()));

    RegLabel = new QLabel(QStringLiteral("Screen-Capture für Win32-Systeme"), this);
    RegLabel->setObjectName("RegLabel");
    RegLabel->setStyleSheet(QStringLiteral("color: white;"));
    RegLabel->setGeometry(inner.left() + 10, inner.bottom() - 40, kClientWidth - 20, 16);

    CompVerLabel = new QLabel(this);
    CompVerLabel->setObjectName("CompVerLabel");
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(10);
    CompVerLabel->setFont(small);
    CompVerLabel->setStyleSheet(QStringLiteral("color: #c0c0c0;"));
    CompVerLabel->setGeometry(inner.left() + 10, inner.bottom() - 20, kClientWidth - 20, 14);

    FormCreate();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->geometry().center());
        move(r.topLeft());
    }
}

TSplashForm::~TSplashForm() = default;

void TSplashForm::FormCreate()
{
    SplashFileInfo.SetFileName(QCoreApplication::applicationFilePath());
    CompVerLabel->setText(CompileVersionText(SplashFileInfo.MajorFileVersionMS, SplashFileInfo.MinorFileVersionMS,
                                             SplashFileInfo.MajorFileVersionLS, SplashFileInfo.MinorFileVersionLS));
}

QPixmap TSplashForm::SplashPicture(const QSize &size)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(0x10, 0x20, 0x50));
    gradient.setColorAt(1, QColor(0x00, 0x00, 0x00));
    p.fillRect(pixmap.rect(), gradient);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0xf0, 0xf0, 0xff));
    p.drawText(QRect(0, 12, size.width(), 44), Qt::AlignCenter, QStringLiteral("Zelkora 5.0"));
    return pixmap;
}

void TSplashForm::mousePressEvent(QMouseEvent *event)
{
    event->accept(); // a click on the start picture does nothing
}

} // namespace zk
