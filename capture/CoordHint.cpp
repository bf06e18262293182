#include "CoordHint.h"

#include "ScanGeometry.h"

#include <QFontMetrics>
#include <QPainter>
#include <QToolTip>

namespace zk {

TCoordHint::TCoordHint(QWidget *owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                         | Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("CoordHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(QToolTip::font());
    QPalette pal = QToolTip::palette();
    setPalette(pal);
}

TCoordHint::~TCoordHint() = default;

QSize TCoordHint::TextSize(const QString &text) const
{
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text), fm.height());
}

void TCoordHint::ActivateHint(const QRect &rect, const QString &text)
{
    m_text = text;
    setGeometry(rect);
    if (!isVisible())
        show();
    raise();
    update();
}

void TCoordHint::ShowAt(const QPoint &screenPoint, int x, int y, int cursorHeight)
{
    const QString text = CoordHintText(x, y);
    const QPoint anchor(screenPoint.x(), screenPoint.y() + cursorHeight);
    ActivateHint(CoordHintRect(anchor, TextSize(text)), text);
}

int TCoordHint::SystemCursorHeight()
{
    // The X cursor theme's size when the session sets one; otherwise the
    // size Xcursor picks for a 96 dpi screen.
    bool ok = false;
    const int size = qEnvironmentVariableIntValue("XCURSOR_SIZE", &ok);
    if (ok && size > 0 && size <= 256)
        return size;
    return 24;
}

void TCoordHint::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().toolTipBase());
    // A one-pixel etched edge in the shadow colour around the whole hint.
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

} // namespace zk
