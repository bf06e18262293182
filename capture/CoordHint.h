#pragma once
// The small window beside the cursor that shows its coordinates while an
// area is drawn (on the capture overlay and on the picture).
#include <QWidget>

namespace zk {

class TCoordHint : public QWidget
{
    Q_OBJECT

public:
    explicit TCoordHint(QWidget *owner = nullptr);
    ~TCoordHint() override;

    // The size the text needs (its width and height in the hint's font).
    QSize TextSize(const QString &text) const;
    // Shows the hint with text at rect (screen coordinates, device-independent
    // pixels) without taking the focus from anyone.
    void ActivateHint(const QRect &rect, const QString &text);
    // Places the hint for the cursor at point (screen coordinates): text
    // "x, y" of (x, y), top-left at 19 pixels right of and 10 above the
    // anchor, the anchor being the point moved down by cursorHeight.
    void ShowAt(const QPoint &screenPoint, int x, int y, int cursorHeight);
    QString Text() const { return m_text; }

    // The height of the pointer shape the desktop uses.
    static int SystemCursorHeight();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};

} // namespace zk
