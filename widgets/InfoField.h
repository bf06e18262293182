#pragma once
// A read-only line whose text changes often, such as the fields that follow
// the mouse pointer from window to window. QLineEdit repaints its whole
// rectangle on every change of its text, frame included, and the frame (an
// antialiased rounded outline in the common styles) costs several times as
// much as the text. The frame does not depend on the text, so ShowText
// repaints only the area the text is drawn in; what the field shows is the
// same as after setText.
#include <QLineEdit>
#include <QRect>
#include <QString>

namespace zk {

class TInfoField : public QLineEdit
{
    Q_OBJECT

public:
    explicit TInfoField(QWidget *parent = nullptr);

    // Shows text like setText, repainting only the text's area; nothing at
    // all when the field shows that text already.
    void ShowText(const QString &text);
    // The area the style draws the text in, inside the frame.
    QRect TextArea() const;
};

} // namespace zk
