#include "AboutDlgForm.h"

#include "Globals.h"
#include "MultiLanguage.h"
#include "SmallControls.h"
#include "Splash.h"
#include "StartupRules.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QWindow>

namespace zk {

namespace {
constexpr int kClientWidth = 380;
constexpr int kClientHeight = 250;
} // namespace

QPoint CreditsBoxPosition(const QRect &screen)
{
    return QPoint(screen.x() + screen.width() / 2 - 200, screen.y() + screen.height() / 2 - 200);
}

TAboutDlgBMForm::TAboutDlgBMForm(QWidget *opener)
    : TBaseModalForm(opener, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutDlgBMForm"));
    setWindowTitle(QStringLiteral("Info über Zelkora 5.0"));
    setFixedSize(kClientWidth, kClientHeight);
    setMouseTracking(true);

    AboutDlgMultiLanguage = new TMultiLanguage(this);
    AboutDlgMultiLanguage->setObjectName(QStringLiteral("AboutDlgMultiLanguage"));

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, kClientWidth - 16, kClientHeight - 56);

    VertLabel1 = new TVertLabel(this);
    VertLabel1->setObjectName(QStringLiteral("VertLabel1"));
    VertLabel1->setGeometry(16, 16, 24, kClientHeight - 72);

    AboutPicPanel = new QFrame(this);
    AboutPicPanel->setObjectName(QStringLiteral("AboutPicPanel"));
    AboutPicPanel->setFrameShape(QFrame::Panel);
    AboutPicPanel->setFrameShadow(QFrame::Raised);
    AboutPicPanel->setAutoFillBackground(true);
    AboutPicPanel->setGeometry(52, 16, 300, 150);

    LogoImage = new QLabel(AboutPicPanel);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setGeometry(4, 4, 292, 120);
    LogoImage->setPixmap(TSplashForm::SplashPicture(LogoImage->size()));

    CompVerLabel = new QLabel(AboutPicPanel);
    CompVerLabel->setObjectName(QStringLiteral("CompVerLabel"));
    CompVerLabel->setGeometry(8, 126, 284, 20);

    UrlShape = new QFrame(this);
    UrlShape->setObjectName(QStringLiteral("UrlShape"));
    UrlShape->setFrameShape(QFrame::Box);
    UrlShape->setGeometry(52, 172, 300, 22);
    UrlLabel = new QLabel(UrlShape);
    UrlLabel->setObjectName(QStringLiteral("UrlLabel"));
    UrlLabel->setAlignment(Qt::AlignCenter);
    UrlLabel->setGeometry(1, 1, 298, 20);
    UrlLabel->setText(QStringLiteral("Zelkora"));

    ADOkButton = new QPushButton(QStringLiteral("&OK"), this);
    ADOkButton->setObjectName(QStringLiteral("ADOkButton"));
    ADOkButton->setDefault(true);
    ADOkButton->setGeometry(kClientWidth - 98, kClientHeight - 40, 90, 30);
    connect(ADOkButton, &QPushButton::clicked, this, &QDialog::accept);

    for (QWidget *w : std::initializer_list<QWidget *>{Bevel1, VertLabel1, AboutPicPanel, LogoImage, CompVerLabel,
                                                        UrlShape, UrlLabel}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    installEventFilter(this);
    SetLinkHot(false);
    FormCreate();
}

TAboutDlgBMForm::~TAboutDlgBMForm() = default;

void TAboutDlgBMForm::FormCreate()
{
    AboutFileInfo.SetFileName(QCoreApplication::applicationFilePath());
    CompVerLabel->setText(CompileVersionText(AboutFileInfo.MajorFileVersionMS, AboutFileInfo.MinorFileVersionMS,
                                             AboutFileInfo.MajorFileVersionLS, AboutFileInfo.MinorFileVersionLS));
    VertLabel1->SetCaption(text("about_notice", QStringLiteral("© Zelkora-Projekt")));
}

QString TAboutDlgBMForm::text(const char *key, const QString &fallback) const
{
    const QString t = AboutDlgMultiLanguage->GetText(QString::fromLatin1(key));
    return t.isEmpty() ? fallback : t;
}

void TAboutDlgBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    VertLabel1->SetCaption(text("about_notice", VertLabel1->Caption()));
}

void TAboutDlgBMForm::SetLinkHot(bool hot)
{
    if (hot == m_linkHot)
        return;
    m_linkHot = hot;
    const QString color = hot ? QStringLiteral("#ff0000") : QStringLiteral("#0000ff");
    UrlLabel->setStyleSheet(QStringLiteral("color: %1; text-decoration: underline;").arg(color));
    UrlShape->setStyleSheet(QStringLiteral("QFrame#UrlShape { border: 1px solid %1; }").arg(color));
}

void TAboutDlgBMForm::UrlLabelClick()
{
    // Without a published address there is nothing to open.
    if (*kProjectAddress)
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProjectAddress)));
}

void TAboutDlgBMForm::CreditsBox()
{
    QMessageBox box(QMessageBox::Information, windowTitle(),
                    text("about_credits", QStringLiteral("Zelkora 5.0 – mit Dank an alle, die es gebaut und "
                                                         "getestet haben.")),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("CreditsBox"));
    box.adjustSize();
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen)
        box.move(CreditsBoxPosition(screen->geometry()));
    box.exec();
}

bool TAboutDlgBMForm::eventFilter(QObject *watched, QEvent *event)
{
    const bool onLink = watched == UrlLabel || watched == UrlShape;
    switch (event->type()) {
    case QEvent::MouseMove: {
        // A move the label ignores reaches its parents too: judge by the
        // pointer's place, not by who reports it.
        const auto *me = static_cast<QMouseEvent *>(event);
        SetLinkHot(UrlShape->geometry().contains(mapFromGlobal(me->globalPosition()).toPoint()));
        break;
    }
    case QEvent::Enter:
        SetLinkHot(onLink);
        break;
    case QEvent::MouseButtonPress: {
        const auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() != Qt::LeftButton)
            break;
        if (onLink) {
            UrlLabelClick();
            return true;
        }
        // A press anywhere else moves the window, as a drag of its title bar would.
        if (QWindow *w = windowHandle())
            w->startSystemMove();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto *me = static_cast<QMouseEvent *>(event);
        const Qt::KeyboardModifiers both = Qt::ControlModifier | Qt::AltModifier;
        if (watched == LogoImage && me->button() == Qt::RightButton && (me->modifiers() & both) == both) {
            CreditsBox();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return TBaseModalForm::eventFilter(watched, event);
}

void TAboutDlgBMForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    PaintShadow(p, AboutPicPanel, 3, TColor(0x808080));
}

} // namespace zk
