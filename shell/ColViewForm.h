#pragma once
// The small window that shows the colour under the mouse pointer: a swatch
// and the colour's HTML code. It can be dragged by its body and snaps to
// the main window's edges.
#include "Colors.h"

#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QFrame;
class QLabel;

namespace zk {

class TColViewForm : public QWidget
{
    Q_OBJECT
public:
    explicit TColViewForm(QWidget *mainWindow);

    QFrame *ColViewPanel = nullptr;
    QLabel *ColCodeMemo = nullptr;

    Q_INVOKABLE void SetLanguage(const QStringList &Script, int LanguageIndex);
    // The swatch and the code of one colour.
    void ShowColor(TColor colour, const QString &code);

    // Where the main window lies on the screen; nothing when it cannot be
    // found (the window then moves without snapping).
    std::function<std::optional<QRect>()> MainWindowRect;
    // The drag: press point, then each move.
    void StartDrag(const QPoint &globalPos);
    void DragTo(const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    QPoint m_pressOffset;
    std::optional<QRect> m_main;
};

} // namespace zk
