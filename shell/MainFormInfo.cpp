// The about box, reached from the help menu and the status bar.
#include "MainForm.h"

#include "AboutDlgForm.h"
#include "CaptureControl.h"
#include "MultiLanguage.h"

#include <QAction>

namespace zk {

void TMainForm::SetupInfoCommands()
{
    if (QAction *info = Item(QStringLiteral("InfoMenuItem"))) {
        connect(info, &QAction::triggered, this, [this] { InfoMenuItemClick(); });
        info->setEnabled(true);
    }
    StatusHooks.ShowAboutBox = [this] { InfoMenuItemClick(); };
}

void TMainForm::InfoMenuItemClick()
{
    TAboutDlgBMForm dlg(this);
    dlg.SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    TOpenDialogScope scope(QStringLiteral("TAboutDlgBMForm"));
    dlg.exec();
}

} // namespace zk
