#pragma once
// A floating tool bar that wraps its buttons into rows. QToolBar lays its
// buttons out in one line only, so while a bar floats a panel of its own
// covers the bar's buttons and shows the very same actions in rows that
// follow the window's width. The panel's size grip lets the user resize the
// frameless floating window.
#include <QList>
#include <QRect>
#include <QSize>
#include <QWidget>

class QSizeGrip;
class QToolBar;
class QToolButton;

namespace zk {

struct TFlowItem
{
    QSize size;
    bool separator = false;
};

struct TFlowResult
{
    QList<QRect> rects; // one per item; a separator that would start or end a row is empty
    int height = 0;     // of all rows, spacing between them included
    int rows = 0;
};

// Places the items left to right with `spacing` between them and starts a
// new row when the next item would pass `width`. A row always takes at least
// one button, however narrow the width.
TFlowResult FlowItems(const QList<TFlowItem> &items, int width, int spacing);

class TToolBarFlow : public QWidget
{
    Q_OBJECT

public:
    explicit TToolBarFlow(QToolBar *bar);

    // On while the bar floats: the panel covers the bar's buttons and the
    // bar's height follows the rows its width gives; off gives the bar back
    // its own single line.
    void SetWrapping(bool on);
    bool Wrapping() const { return m_wrapping; }
    // The panel's buttons, in the bar's order (for the tests and the hints).
    const QList<QToolButton *> &Buttons() const { return m_buttons; }
    int Rows() const { return m_rows; }
    // Lays the buttons out for the bar's present width.
    void Relayout();
    // The width the floating bar had when it was stored; taken once the
    // bar's window is shown.
    void RestoreWidth(int width);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void Rebuild();
    QRect PanelRect() const;

    QToolBar *m_bar;
    QSizeGrip *m_grip;
    QList<QToolButton *> m_buttons;
    QList<QRect> m_separators;
    bool m_wrapping = false;
    bool m_stale = true;
    bool m_justFloated = false;
    int m_restoreWidth = 0;
    bool m_inLayout = false;
    int m_rows = 0;
};

} // namespace zk
