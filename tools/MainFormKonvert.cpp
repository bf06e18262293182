// The main window's side of the conversion jobs: the factory of their host.
#include "MainForm.h"

#include "KonvForms.h"

namespace zk {

void TMainForm::SetupKonvertJobs()
{
    ToolDialogs.AllKonvert = [this](QWidget *owner, int tab) -> QDialog * {
        auto hooks = std::make_shared<TKonvHooks>(DefaultKonvHooks());
        // The preview buttons stay off until the preview exists.
        if (ToolDialogs.PreviewPicture)
            hooks->Preview = [this](QWidget *form, const QString &file) {
                if (ToolDialogs.PreviewPicture)
                    ToolDialogs.PreviewPicture(form, file);
            };
        hooks->Look = [this](QWidget *form) {
            if (FormLookHook)
                FormLookHook(form, Options.XPContrStyle);
        };
        auto *host = new TAllKonvBMForm(owner, std::move(hooks));
        host->SetTabIndex(tab);
        return host;
    };
    UpdateLauncherItems();
}

} // namespace zk
