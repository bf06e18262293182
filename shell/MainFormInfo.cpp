// The about box and the file-properties dialog, reached from the help menu
// and the status bar.
#include "MainForm.h"

#include "AboutDlgForm.h"
#include "CaptureControl.h"
#include "FileInfDlgForm.h"
#include "MultiLanguage.h"

#include <QAction>
#include <QPushButton>

namespace zk {

void TMainForm::SetupInfoCommands()
{
    if (QAction *info = Item(QStringLiteral("InfoMenuItem"))) {
        connect(info, &QAction::triggered, this, [this] { InfoMenuItemClick(); });
        info->setEnabled(true);
    }
    StatusHooks.ShowAboutBox = [this] { InfoMenuItemClick(); };
    StatusHooks.ShowFileProperties = [this](const QString &file, bool bitmapInfo) {
        ShowFileProperties(file, bitmapInfo);
    };
}

void TMainForm::InfoMenuItemClick()
{
    TAboutDlgBMForm dlg(this);
    dlg.SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    if (FormLookHook)
        FormLookHook(&dlg, Options.XPContrStyle);
    TOpenDialogScope scope(QStringLiteral("TAboutDlgBMForm"));
    dlg.exec();
}

void TMainForm::ShowFileProperties(const QString &fileName, bool bitmapInfo)
{
    TFileInfDlgBMForm dlg(this);
    dlg.FIDFInfoBmpButton->setVisible(bitmapInfo);
    dlg.SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    if (FormLookHook)
        FormLookHook(&dlg, Options.XPContrStyle);
    TOpenDialogScope scope(QStringLiteral("TFileInfDlgBMForm"));
    dlg.SetFile(fileName);
}

} // namespace zk
