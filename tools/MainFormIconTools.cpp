// The launchers of the icon extractor, the extension-icon dialog and the
// split-and-join dialog.
#include "MainForm.h"

#include "ExtractForm.h"
#include "FileSplitForm.h"
#include "IconLinkExtForm.h"

namespace zk {

void TMainForm::SetupIconTools()
{
    ToolDialogs.Extract = [this](QWidget *owner) -> QDialog * {
        auto *form = new TExtractBMForm(Options, owner);
        form->FormLook = [this](QWidget *w) {
            if (FormLookHook)
                FormLookHook(w, Options.XPContrStyle);
        };
        return form;
    };
    ToolDialogs.FileExtIcon = [](QWidget *owner) -> QDialog * { return new TIconLinkExtBMForm(owner); };
    ToolDialogs.Split = [](QWidget *owner) -> QDialog * { return new TFileSplitBMForm(owner); };
    UpdateLauncherItems();
}

} // namespace zk
