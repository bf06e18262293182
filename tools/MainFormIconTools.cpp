// The launchers of the icon extractor, the extension-icon dialog and the
// split-and-join dialog.
#include "MainForm.h"

#include "ExtractForm.h"
#include "FileSplitForm.h"
#include "IconLinkExtForm.h"

namespace zk {

void TMainForm::SetupIconTools()
{
    // The dialogs they open themselves get the program's look as well.
    const auto look = [this](QWidget *w) {
        if (FormLookHook)
            FormLookHook(w, Options.XPContrStyle);
    };
    ToolDialogs.Extract = [this, look](QWidget *owner) -> QDialog * {
        auto *form = new TExtractBMForm(Options, owner);
        form->FormLook = look;
        return form;
    };
    ToolDialogs.FileExtIcon = [](QWidget *owner) -> QDialog * { return new TIconLinkExtBMForm(owner); };
    ToolDialogs.Split = [look](QWidget *owner) -> QDialog * {
        auto *form = new TFileSplitBMForm(owner);
        form->FormLook = look;
        return form;
    };
    UpdateLauncherItems();
}

} // namespace zk
