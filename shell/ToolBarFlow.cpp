#include "ToolBarFlow.h"

#include <QActionEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <algorithm>

namespace zk {

TFlowResult FlowItems(const QList<TFlowItem> &items, int width, int spacing)
{
    TFlowResult r;
    r.rects.resize(items.size());
    int x = 0;
    int y = 0;
    int rowHeight = 0;
    bool rowEmpty = true;
    qsizetype pendingSeparator = -1;
    QList<qsizetype> rowSeparators;
    const auto endRow = [&] {
        // Separators stand as high as the row they divide.
        for (qsizetype s : rowSeparators)
            r.rects[s].setHeight(rowHeight);
        rowSeparators.clear();
        r.height = y + rowHeight;
        ++r.rows;
    };
    for (qsizetype i = 0; i < items.size(); ++i) {
        const TFlowItem &item = items[i];
        if (item.separator) {
            // Only between two buttons of one row; a second one in a row is dropped.
            if (!rowEmpty)
                pendingSeparator = i;
            continue;
        }
        int left = 0;
        if (!rowEmpty) {
            left = x + spacing;
            if (pendingSeparator >= 0)
                left += items[pendingSeparator].size.width() + spacing;
            if (left + item.size.width() > width) {
                endRow();
                y += rowHeight + spacing;
                x = 0;
                rowHeight = 0;
                rowEmpty = true;
                pendingSeparator = -1;
                left = 0;
            }
        }
        if (pendingSeparator >= 0) {
            r.rects[pendingSeparator] = QRect(x + spacing, y, items[pendingSeparator].size.width(), 0);
            rowSeparators.append(pendingSeparator);
            pendingSeparator = -1;
        }
        r.rects[i] = QRect(QPoint(left, y), item.size);
        x = left + item.size.width();
        rowHeight = std::max(rowHeight, item.size.height());
        rowEmpty = false;
    }
    if (!rowEmpty)
        endRow();
    return r;
}

TToolBarFlow::TToolBarFlow(QToolBar *bar)
    : QWidget(bar)
    , m_bar(bar)
    , m_grip(nullptr)
{
    setAutoFillBackground(true);
    hide();
    bar->installEventFilter(this);
}

QRect TToolBarFlow::PanelRect() const
{
    // The bar's own handle stays uncovered: it moves the window and docks it.
    QStyleOptionToolBar opt;
    opt.initFrom(m_bar);
    opt.features = m_bar->isMovable() ? QStyleOptionToolBar::Movable : QStyleOptionToolBar::None;
    opt.toolBarArea = Qt::NoToolBarArea;
    if (m_bar->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    const QRect handle = m_bar->style()->subElementRect(QStyle::SE_ToolBarHandle, &opt, m_bar);
    QRect panel = m_bar->rect();
    if (m_bar->isMovable() && handle.isValid())
        panel.setLeft(handle.right() + 1);
    return panel;
}

void TToolBarFlow::SetWrapping(bool on)
{
    if (on == m_wrapping)
        return;
    m_wrapping = on;
    if (on) {
        // Made now, so the grip takes the floating bar as the window it resizes.
        m_grip = new QSizeGrip(this);
        m_stale = true;
        m_justFloated = true;
        show();
        raise();
        Relayout();
        return;
    }
    hide();
    delete m_grip;
    m_grip = nullptr;
    m_bar->setMinimumSize(0, 0);
    m_bar->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TToolBarFlow::Rebuild()
{
    qDeleteAll(m_buttons);
    m_buttons.clear();
    for (QAction *a : m_bar->actions()) {
        if (a->isSeparator() || qobject_cast<QWidgetAction *>(a))
            continue;
        // The bar's own actions: enabling, icon, texts and hints follow.
        auto *b = new QToolButton(this);
        b->setDefaultAction(a);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(m_bar->iconSize());
        b->setToolButtonStyle(m_bar->toolButtonStyle());
        b->show();
        m_buttons.append(b);
    }
    m_stale = false;
}

void TToolBarFlow::Relayout()
{
    if (!m_wrapping || m_inLayout)
        return;
    if (m_stale)
        Rebuild();
    m_inLayout = true;
    const int margin = style()->pixelMetric(QStyle::PM_ToolBarItemMargin, nullptr, m_bar) + 1;
    const int spacing = std::max(0, style()->pixelMetric(QStyle::PM_ToolBarItemSpacing, nullptr, m_bar));
    const int separator = std::max(2, style()->pixelMetric(QStyle::PM_ToolBarSeparatorExtent, nullptr, m_bar));
    const QSize grip = m_grip->sizeHint();

    QList<TFlowItem> items;
    QList<QToolButton *> placed;
    int widest = 0;
    qsizetype next = 0;
    for (QAction *a : m_bar->actions()) {
        if (a->isSeparator()) {
            items.append({QSize(separator, 0), true});
            placed.append(nullptr);
            continue;
        }
        if (qobject_cast<QWidgetAction *>(a))
            continue;
        QToolButton *b = m_buttons.value(next++);
        if (!b)
            break;
        b->setVisible(a->isVisible());
        if (!a->isVisible())
            continue;
        items.append({b->sizeHint(), false});
        placed.append(b);
        widest = std::max(widest, b->sizeHint().width());
    }
    int lineWidth = widest;
    for (const QRect &r : FlowItems(items, QWIDGETSIZE_MAX, spacing).rects)
        lineWidth = std::max(lineWidth, r.right() + 1);
    const auto flowAt = [&](const QRect &panel) {
        return FlowItems(items, panel.width() - 2 * margin - grip.width(), spacing);
    };

    // The width is the user's, between one button and all in one row; the
    // height is what the rows need at that width. A few passes, since the
    // new limits can change the width once more.
    for (int pass = 0; pass < 3; ++pass) {
        const QRect panel = PanelRect();
        const int outside = panel.left() + 2 * margin + grip.width();
        const int height = std::max(flowAt(panel).height, grip.height()) + 2 * margin;
        m_bar->setMinimumSize(outside + widest, height);
        m_bar->setMaximumSize(outside + lineWidth, height);
        int width = m_bar->width();
        // A bar just taken out of its row keeps its buttons in one line,
        // though the grip takes a little room.
        // (While it is being dragged, the drag owns its size.)
        if (m_justFloated && !(m_bar->windowFlags() & Qt::X11BypassWindowManagerHint)) {
            if (width + grip.width() + 2 * margin >= outside + lineWidth)
                width = outside + lineWidth;
            m_justFloated = false;
        }
        // Qt sizes a floating bar again when it first shows it.
        if (m_restoreWidth > 0 && m_bar->isVisible()) {
            width = std::clamp(m_restoreWidth, outside + widest, outside + lineWidth);
            m_restoreWidth = 0;
        }
        if (m_bar->size() == QSize(width, height))
            break;
        m_bar->resize(width, height);
    }

    const QRect panel = PanelRect();
    const TFlowResult flow = flowAt(panel);
    m_rows = flow.rows;
    m_separators.clear();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QRect at = flow.rects[i].translated(margin, margin);
        if (placed[i]) {
            placed[i]->setGeometry(at);
            placed[i]->setVisible(!flow.rects[i].isEmpty());
        } else if (!flow.rects[i].isEmpty()) {
            m_separators.append(at);
        }
    }
    setGeometry(panel);
    m_grip->setGeometry(panel.width() - grip.width(), panel.height() - grip.height(), grip.width(), grip.height());
    m_grip->raise();
    update();
    m_inLayout = false;
}

void TToolBarFlow::RestoreWidth(int width)
{
    m_restoreWidth = width;
    m_justFloated = false;
    Relayout();
}

bool TToolBarFlow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar) {
        switch (event->type()) {
        case QEvent::ActionAdded:
        case QEvent::ActionRemoved:
            m_stale = true;
            Relayout();
            break;
        case QEvent::ActionChanged:
            Relayout();
            break;
        case QEvent::Show:
            // Shown again once a drag has dropped it: the window is being
            // made anew, so its size is set after that is done.
            QMetaObject::invokeMethod(this, &TToolBarFlow::Relayout, Qt::QueuedConnection);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TToolBarFlow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    for (const QRect &r : m_separators) {
        QStyleOption opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.state |= QStyle::State_Horizontal;
        style()->drawPrimitive(QStyle::PE_IndicatorToolBarSeparator, &opt, &p, this);
    }
}

} // namespace zk
