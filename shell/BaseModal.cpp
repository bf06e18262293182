#include "BaseModal.h"

#include "MultiLanguage.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLayout>
#include <QWindow>

namespace zk {

TBaseModalForm::TBaseModalForm(QWidget *opener, Qt::WindowFlags flags)
    : QDialog(opener, flags)
{
    QWidget *active = QApplication::activeWindow();
    if (!active || active == this)
        active = opener ? opener->window() : nullptr;
    owner_ = active;
}

void TBaseModalForm::attachToOwner()
{
    QWindow *own = windowHandle();
    if (!owner_ || owner_ == this || !own)
        return;
    if (!owner_->windowHandle())
        owner_->winId();
    own->setTransientParent(owner_->windowHandle());
}

bool TBaseModalForm::event(QEvent *e)
{
    const bool handled = QDialog::event(e);
    // Every new native window (the first show, and again after a change of
    // window flags) would stand above the opener's window; before it is
    // mapped, point it at the window that was active at creation instead.
    if (e->type() == QEvent::WinIdChange)
        attachToOwner();
    return handled;
}

QSize TBaseModalForm::ContentsMinimumSize() const
{
    QSize needed = layout() ? layout()->totalMinimumSize() : minimumSizeHint();
    needed = needed.expandedTo(minimumSize());
    // Title bars use a bold face as a rule; the rest is the window icon and
    // the close button the window manager adds beside the caption.
    QFont title = font();
    title.setBold(true);
    const int titleWidth = QFontMetrics(title).horizontalAdvance(windowTitle()) + 96;
    return needed.expandedTo(QSize(titleWidth, 0));
}

void TBaseModalForm::fitContents()
{
    // A caption or texts in another language may need more room than the
    // size the form was defined with: nothing may be cut off.
    const QSize needed = ContentsMinimumSize();
    if (width() < needed.width() || height() < needed.height())
        resize(size().expandedTo(needed));
}

void TBaseModalForm::showEvent(QShowEvent *e)
{
    fitContents();
    QDialog::showEvent(e);
}

void TBaseModalForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    SetFormLanguage(this, Script, LanguageIndex);
    if (isVisible())
        fitContents();
}

} // namespace zk
