#include "ColViewForm.h"

#include "MultiLanguage.h"
#include "RecorderLogic.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace zk {

TColViewForm::TColViewForm(QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowCloseButtonHint)
{
    setObjectName("ColViewForm");
    setWindowTitle(QStringLiteral("Farbanzeige"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    ColViewPanel = new QFrame(this);
    ColViewPanel->setObjectName("ColViewPanel");
    ColViewPanel->setFrameShape(QFrame::StyledPanel);
    ColViewPanel->setAutoFillBackground(true);
    ColViewPanel->setMinimumSize(120, 60);
    ColCodeMemo = new QLabel(this);
    ColCodeMemo->setObjectName("ColCodeMemo");
    ColCodeMemo->setAlignment(Qt::AlignCenter);
    ColCodeMemo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(ColViewPanel, 1);
    layout->addWidget(ColCodeMemo);
    ColViewPanel->installEventFilter(this);
    resize(200, 120);
    if (mainWindow) {
        const QRect m = mainWindow->frameGeometry();
        move(m.center() - QPoint(width() / 2, height() / 2));
    }
}

void TColViewForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    SetFormLanguage(this, Script, LanguageIndex);
}

void TColViewForm::ShowColor(TColor colour, const QString &code)
{
    QPalette pal = ColViewPanel->palette();
    pal.setColor(QPalette::Window, TColorToQColor(colour));
    ColViewPanel->setPalette(pal);
    ColCodeMemo->setText(code);
}

void TColViewForm::StartDrag(const QPoint &globalPos)
{
    m_pressOffset = globalPos - frameGeometry().topLeft();
    m_main = MainWindowRect ? MainWindowRect() : std::nullopt;
}

void TColViewForm::DragTo(const QPoint &globalPos)
{
    QRect moved(globalPos - m_pressOffset, frameGeometry().size());
    if (m_main)
        moved = SnapToMainWindow(moved, *m_main);
    move(moved.topLeft());
}

bool TColViewForm::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == ColViewPanel) {
        if (e->type() == QEvent::MouseButtonPress) {
            mousePressEvent(static_cast<QMouseEvent *>(e));
            return true;
        }
        if (e->type() == QEvent::MouseMove) {
            mouseMoveEvent(static_cast<QMouseEvent *>(e));
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TColViewForm::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        StartDrag(e->globalPosition().toPoint());
}

void TColViewForm::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() & Qt::LeftButton)
        DragTo(e->globalPosition().toPoint());
}

} // namespace zk
