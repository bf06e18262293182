#include "XPHintWindow.h"

#include "SvcAppProperties.h"

#include "LazyIcon.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

#include <optional>
#include <utility>

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

QIcon TXPHintWindow::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                                  const QWidget *widget) const
{
    // A docked window asks for its title buttons' icons whenever its title
    // is laid out, and each answer looks them up in the icon theme anew: the
    // first answer is kept (they depend on the layout direction only).
    if (option && option->type == QStyleOption::SO_DockWidget &&
        (standardIcon == SP_TitleBarCloseButton || standardIcon == SP_TitleBarNormalButton)) {
        const auto key = std::make_pair(int(standardIcon), int(option->direction));
        auto found = m_titleButtons.find(key);
        if (found == m_titleButtons.end())
            found = m_titleButtons.emplace(key, QProxyStyle::standardIcon(standardIcon, option, widget)).first;
        return found->second;
    }
    // An option is the caller's, valid only during this call: a plain one
    // is kept as a copy (tool bars pass one), any other is used at once.
    if (option && option->type != QStyleOption::SO_Default)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    std::optional<QStyleOption> kept;
    if (option) {
        kept.emplace(*option);
        kept->styleObject = nullptr;
    }
    const QPointer<const TXPHintWindow> self(this);
    const QPointer<const QWidget> target(widget);
    return LazyIcon([self, target, standardIcon, kept] {
        const QStyleOption *opt = kept ? &*kept : nullptr;
        if (self)
            return self->QProxyStyle::standardIcon(standardIcon, opt, target.data());
        return QApplication::style()->standardIcon(standardIcon, opt, target.data());
    });
}

int TXPHintWindow::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                             QStyleHintReturn *returnData) const
{
    if (hint == SH_ToolTip_WakeUpDelay)
        return TsvcAppPropList::HintPauseMs();
    if (hint == SH_ToolTip_FallAsleepDelay)
        return TsvcAppPropList::HintShortPauseMs();
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void TXPHintWindow::Install()
{
    if (!qobject_cast<TXPHintWindow *>(QApplication::style()))
        QApplication::setStyle(new TXPHintWindow);
}

} // namespace zk
