// The flat look of the main window and of the dialogs it opens.
#include "MainForm.h"

#include "XPHintWindow.h"
#include "XPLook.h"

#include <QAction>

namespace zk {

void TMainForm::SetupXPLook()
{
    // The look's style wraps the program's own application style, so tool
    // tips keep their frame and standard icons stay lazy under it.
    TXPLook::SetBaseStyleFactory([] { return new TXPHintWindow; });
    ZKXPLook = TXPLook::OfForm(this);
    ZKXPLook->setObjectName(QStringLiteral("ZKXPLook"));
    FormLookHook = [](QWidget *form, bool xpControls) { TXPLook::ApplyToForm(form, xpControls); };
    if (QAction *a = Item(QStringLiteral("XPStyleMenuItem"))) {
        a->setEnabled(true);
        a->setChecked(Options.XPMenStyle);
    }
    ApplyXPLook();
}

void TMainForm::ApplyXPLook()
{
    if (ZKXPLook)
        ZKXPLook->SetActive(Options.XPMenStyle);
    // The explorer windows live on; the dialogs take the option when opened.
    for (QWidget *form : {DirBDForm.data(), NavBDForm.data()})
        if (form && FormLookHook)
            FormLookHook(form, Options.XPContrStyle);
}

} // namespace zk
