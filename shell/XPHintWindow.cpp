#include "XPHintWindow.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

namespace zk {

TXPHintWindow::TXPHintWindow()
    : QProxyStyle()
{
    setObjectName("TXPHintWindow");
}

void TXPHintWindow::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                  const QWidget *widget) const
{
    if (element != PE_PanelTipLabel) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->fillRect(option->rect, option->palette.toolTipBase());
    // An etched edge drawn in mono style is a single line in the text colour.
    painter->setPen(QPen(option->palette.color(QPalette::ToolTipText), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

void TXPHintWindow::Install()
{
    if (!qobject_cast<TXPHintWindow *>(QApplication::style()))
        QApplication::setStyle(new TXPHintWindow);
}

} // namespace zk
