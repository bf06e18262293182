#include "FullScreenForm.h"

#include "Colors.h"
#include "Graphic.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "SmallControls.h"
#include "ViewRules.h"

#include <QAction>
#include <QColorDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

namespace zk {

TFullScreenForm::TFullScreenForm(const TPicture &picture, bool closedByClick, bool transparent)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_closedByClick(closedByClick)
{
    setObjectName("FullScreenForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, TColorToQColor(clBackground));
    setPalette(pal);

    ClientScrollBoxEx = new TScrollBoxEx(this);
    ClientScrollBoxEx->setObjectName("ClientScrollBoxEx");
    ClientScrollBoxEx->setFrameShape(QFrame::NoFrame);
    ClientScrollBoxEx->setWidgetResizable(false);
    ClientScrollBoxEx->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The workspace shows the form's colour.
    ClientScrollBoxEx->viewport()->setAutoFillBackground(false);
    ClientScrollBoxEx->setAutoFillBackground(false);
    ScanImage = new TImage;
    ScanImage->setObjectName("ScanImage");
    ScanImage->SetTransparent(transparent);
    ScanImage->Picture().Assign(picture);
    ScanImage->SetAutoSize(true);
    ScanImage->PictureChanged();
    ClientScrollBoxEx->setWidget(ScanImage);
    ScanImage->installEventFilter(this);

    ViewPopupMenu = new QMenu(this);
    ViewPopupMenu->setObjectName("ViewPopupMenu");
    FSCloseMenuItem = ViewPopupMenu->addAction(QString::fromUtf8("&Schließen"));
    FSCloseMenuItem->setObjectName("FSCloseMenuItem");
    FSBackColMenuItem = ViewPopupMenu->addAction(QStringLiteral("&Hintergrundfarbe..."));
    FSBackColMenuItem->setObjectName("FSBackColMenuItem");
    connect(FSCloseMenuItem, &QAction::triggered, this, &TFullScreenForm::FSCloseMenuItemClick);
    connect(FSBackColMenuItem, &QAction::triggered, this, &TFullScreenForm::FSBackColMenuItemClick);
    setContextMenuPolicy(Qt::CustomContextMenu);
    ScanImage->setContextMenuPolicy(Qt::CustomContextMenu);
    ClientScrollBoxEx->setContextMenuPolicy(Qt::CustomContextMenu);
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(ScanImage),
                       static_cast<QWidget *>(ClientScrollBoxEx)})
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &p) { ViewPopupMenu->popup(w->mapToGlobal(p)); });
}

TFullScreenForm::~TFullScreenForm()
{
    // A view freed without a close (its owner went first) still gives the
    // main window its tool bars back.
    if (!m_closedSent && OnClosed) {
        m_closedSent = true;
        OnClosed();
    }
}

void TFullScreenForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_language = LanguageIndex;
    SetFormLanguage(this, Script, LanguageIndex);
    if (NotFSForm)
        NotFSForm->SetLanguage(Script, LanguageIndex);
}

void TFullScreenForm::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (e->spontaneous())
        return;
    if (!m_closedByClick && !NotFSForm) {
        NotFSForm = new TNotFSForm(this);
        if (!m_script.isEmpty())
            NotFSForm->SetLanguage(m_script, m_language);
        // After the view is on the screen, or the view covers it.
        QTimer::singleShot(0, NotFSForm, [button = NotFSForm] {
            button->show();
            button->raise();
        });
    }
    CenterPicture();
}

void TFullScreenForm::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && NotFSForm && NotFSForm->isVisible())
        NotFSForm->raise();
}

void TFullScreenForm::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    ClientScrollBoxEx->setGeometry(rect());
    CenterPicture();
}

void TFullScreenForm::CenterPicture()
{
    if (ScanImage->Stretch())
        ScanImage->SetStretch(false);
    if (ScanImage->Center())
        ScanImage->SetCenter(false);
    // Switching auto-size renews the picture and makes the box lay it out
    // again; only when it is off.
    if (!ScanImage->AutoSize())
        ScanImage->SetAutoSize(true);
    ScanImage->move(CenteredOrigin(ClientScrollBoxEx->viewport()->size(), ScanImage->size()));
}

void TFullScreenForm::FreeNotFSForm()
{
    if (NotFSForm) {
        NotFSForm->hide();
        NotFSForm->deleteLater();
    }
}

void TFullScreenForm::FSCloseMenuItemClick()
{
    if (!m_closedByClick)
        FreeNotFSForm();
    close();
}

void TFullScreenForm::FSBackColMenuItemClick()
{
    const QColor initial = palette().color(QPalette::Window);
    const QColor chosen = ChooseColor ? ChooseColor(initial) : QColorDialog::getColor(initial, this);
    if (!chosen.isValid())
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, chosen);
    setPalette(pal);
}

void TFullScreenForm::closeEvent(QCloseEvent *e)
{
    QWidget::closeEvent(e);
    if (NotFSForm)
        NotFSForm->hide();
    if (!m_closedSent && OnClosed) {
        m_closedSent = true;
        OnClosed();
    }
}

void TFullScreenForm::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape) {
        FreeNotFSForm();
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool TFullScreenForm::eventFilter(QObject *watched, QEvent *e)
{
    // The scroll box puts a picture that fits back to its corner whenever
    // its ranges change; such a picture stays in the middle.
    if (watched == ScanImage && e->type() == QEvent::Move) {
        const QSize view = ClientScrollBoxEx->viewport()->size();
        const QPoint centred = CenteredOrigin(view, ScanImage->size());
        if (ScanImage->width() <= view.width() && ScanImage->height() <= view.height() && ScanImage->pos() != centred)
            QTimer::singleShot(0, this, [this] { CenterPicture(); });
    }
    if (watched == ScanImage && e->type() == QEvent::MouseButtonRelease && m_closedByClick
        && static_cast<QMouseEvent *>(e)->button() == Qt::LeftButton) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------

TNotFSForm::TNotFSForm(TFullScreenForm *fullScreen)
    : QWidget(fullScreen, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                              | Qt::X11BypassWindowManagerHint),
      m_fullScreen(fullScreen)
{
    setObjectName("NotFSForm");
    setWindowTitle(QString::fromUtf8("Schließen"));
    setFixedSize(37, 37);
    CloseSpeedButton = new QToolButton(this);
    CloseSpeedButton->setObjectName("CloseSpeedButton");
    CloseSpeedButton->setAutoRaise(true);
    CloseSpeedButton->setGeometry(0, 0, 37, 37);
    CloseSpeedButton->setText(QString::fromUtf8("✕"));
    CloseSpeedButton->setToolTip(QString::fromUtf8("Vollbildanzeige schließen"));
    connect(CloseSpeedButton, &QToolButton::clicked, this, &TNotFSForm::CloseSpeedButtonClick);
}

void TNotFSForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    const QString title = windowTitle();
    SetFormLanguage(this, Script, LanguageIndex);
    setWindowTitle(title); // this window keeps its caption
    if (TMultiLanguage *ml = FormMultiLanguage(this)) {
        const QString hint = ml->GetText(QStringLiteral("set_notfsform_button_hint"));
        if (!hint.isEmpty())
            CloseSpeedButton->setToolTip(hint);
    }
}

void TNotFSForm::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    const QScreen *s = m_fullScreen ? m_fullScreen->screen() : screen();
    const QRect area = s ? s->geometry() : QRect();
    move(area.x() + area.width() - width(), area.y());
}

void TNotFSForm::CloseSpeedButtonClick()
{
    // Both windows go through the event loop: this button's own handler is
    // still running while they are closed.
    if (m_fullScreen)
        m_fullScreen->close();
    hide();
    deleteLater();
}

// ---------------------------------------------------------------------------

TInvertScreenForm::TInvertScreenForm(QImage inverted, const QRect &area)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint
                           | Qt::WindowStaysOnTopHint),
      m_image(std::move(inverted))
{
    setObjectName("InvertScreenForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(area);
}

void TInvertScreenForm::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    p.drawImage(e->rect(), m_image, e->rect());
}

void TInvertScreenForm::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    // Keys reach a window the window manager does not manage only by a grab.
    activateWindow();
    grabKeyboard();
    grabMouse();
}

void TInvertScreenForm::mousePressEvent(QMouseEvent *)
{
    releaseMouse();
    releaseKeyboard();
    close();
}

void TInvertScreenForm::keyPressEvent(QKeyEvent *)
{
    releaseMouse();
    releaseKeyboard();
    close();
}

} // namespace zk
