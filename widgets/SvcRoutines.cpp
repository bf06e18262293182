#include "SvcRoutines.h"

#include <QGuiApplication>
#include <QWidget>

namespace zk {

TShiftState ShiftStateNow()
{
    const Qt::KeyboardModifiers held =
        qGuiApp ? QGuiApplication::queryKeyboardModifiers() : Qt::KeyboardModifiers();
    return {held & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier), Qt::NoButton};
}

void ShowApplication(QWidget *w)
{
    if (!w)
        return;
    if (w->isMinimized())
        w->showNormal();
    else
        w->show();
}

void HideApplication(QWidget *w)
{
    if (w && w->isVisible())
        w->hide();
}

void RegWriteString(RootKey root, const QString &key, const QString &name, const QString &text)
{
    TRegistry reg(root);
    if (!reg.OpenKey(key, true))
        throw ERegistryException(QStringLiteral("Unable to open the %1 key").arg(key));
    reg.WriteString(name, text);
    reg.CloseKey();
}

} // namespace zk
