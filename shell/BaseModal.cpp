#include "BaseModal.h"

#include "MultiLanguage.h"

#include <QApplication>
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

void TBaseModalForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    SetFormLanguage(this, Script, LanguageIndex);
}

} // namespace zk
