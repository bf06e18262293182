#include "InfoField.h"

#include <QStyle>
#include <QStyleOptionFrame>

namespace zk {

TInfoField::TInfoField(QWidget *parent)
    : QLineEdit(parent)
{
}

QRect TInfoField::TextArea() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this) & rect();
}

void TInfoField::ShowText(const QString &text)
{
    if (text == this->text())
        return;
    if (!isVisible() || !updatesEnabled() || findChild<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        setText(text);
        return;
    }
    // QLineEdit asks for its whole rectangle when the text changes. That
    // request is held back by the flag update() tests (setUpdatesEnabled
    // would ask for the whole rectangle again on the way back), and only
    // the text's area is asked for. A field with child widgets (buttons
    // inside it), which would have to follow the flag, takes the plain way.
    setAttribute(Qt::WA_UpdatesDisabled, true);
    setText(text);
    setAttribute(Qt::WA_UpdatesDisabled, false);
    update(TextArea());
}

} // namespace zk
