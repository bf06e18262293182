#include "ToolPrompts.h"

#include "DirBDForm.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

namespace zk {

TToolPrompts DefaultToolPrompts(QWidget *owner)
{
    const QPointer<QWidget> w(owner);
    TToolPrompts p;
    p.Message = [w](const QString &text) {
        QMessageBox::information(w, w ? w->windowTitle() : QString(), text);
    };
    p.Confirm = [w](const QString &text) {
        return QMessageBox::question(w, w ? w->windowTitle() : QString(), text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    p.InputQuery = [w](const QString &caption, const QString &prompt, QString &value) {
        QInputDialog box(w);
        box.setObjectName(QStringLiteral("ToolInputBox"));
        box.setWindowTitle(caption);
        box.setLabelText(prompt);
        box.setTextValue(value);
        if (box.exec() != QDialog::Accepted)
            return false;
        value = box.textValue();
        return true;
    };
    p.BrowseFolder = [] { return BrowseForFolder(); };
    p.RunFileDialog = [](QFileDialog &dialog) {
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    };
    return p;
}

} // namespace zk
