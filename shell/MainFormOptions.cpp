// Opening the settings dialog and putting its record to work afterwards.
#include "MainForm.h"

#include "CaptureControl.h"
#include <QMainWindow>

#include "DirBDForm.h"
#include "MultiLanguage.h"
#include "OptionDlg.h"
#include "SmallSettingsDialogs.h"
#include "XPrint.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTreeWidget>

#include <unistd.h>

namespace zk {

void TMainForm::SetupOptionsDialog()
{
    const auto wire = [this](const char *name, auto handler) {
        if (QAction *a = Item(QString::fromLatin1(name))) {
            connect(a, &QAction::triggered, this, [this, a, handler] { (this->*handler)(a); });
            a->setEnabled(true);
        }
    };
    for (const char *name : {"SettingsToolButton", "SettingsMenuItem", "SettingsMenuItem2"})
        wire(name, &TMainForm::OptionenMenuItemClick);
    for (const char *name : {"EMailSetMenuItem", "EMailSetToolButton"})
        wire(name, &TMainForm::EMailSetMenuItemClick);
    // The editor choice: the settings dialog opens on its program page and
    // asks for the editor at once.
    wire("ExtGrEdtMenuItem", &TMainForm::OptionenMenuItemClick);
    InstallOptionSubDialogs();
    CaptureHooks.OpenOptionsDialog = [this](QObject *sender) { OptionenMenuItemClick(sender); };
}

int TMainForm::OptionsStartPage(const QObject *sender)
{
    const QString name = sender ? sender->objectName() : QString();
    int page = 0;
    if (name == QLatin1String("ExtGraphMenuItem") || name == QLatin1String("ExtGraphToolButton") ||
        name == QLatin1String("ExtGrEdtMenuItem"))
        page = 1;
    if (name == QLatin1String("ExtGraphHKMenuItem") || name == QLatin1String("ExtGraphHKToolButton"))
        page = 4;
    if (name == QLatin1String("EMailSetMenuItem") || name == QLatin1String("EMailSetToolButton"))
        page = 11;
    return page;
}

void TMainForm::EMailSetMenuItemClick(QObject *Sender)
{
    OptionenMenuItemClick(Sender);
}

void TMainForm::OptionenMenuItemClick(QObject *Sender)
{
    TOptionDlgBMForm dlg(this);
    OptionDlgBMForm = &dlg;
    dlg.StartPage = OptionsStartPage(Sender);
    dlg.SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    FindPrinters();
    if (ZKXPrint->PrinterExists()) {
        dlg.PrintersComboBox->clear();
        dlg.PrintersComboBox->addItems(ZKXPrint->Printers());
    }
    dlg.SetOptions(Options);
    dlg.GifColOptCopy = Options.GifColOpt;
    const std::array<std::pair<int, const char *>, 3> languages = {
        {{2, "ItalMenuItem"}, {3, "SpanMenuItem"}, {4, "FranceMenuItem"}}};
    for (const auto &[index, item] : languages)
        if (QAction *a = Item(QString::fromLatin1(item)))
            dlg.LangRadioGroup->Button(index)->setEnabled(a->isEnabled());
    if (FormLookHook)
        FormLookHook(&dlg, Options.XPContrStyle);
    int result = 0;
    {
        TOpenDialogScope scope(QStringLiteral("TOptionDlgForm"));
        result = dlg.exec();
    }
    OptionDlgBMForm = nullptr;
    if (result == QDialog::Accepted)
        ApplyOptionsDialog(dlg);
}

void TMainForm::ApplyOptionsDialog(TOptionDlgBMForm &dlg)
{
    dlg.GetOptions(Options);
    SaveOptions();
    if (dlg.RestartWanted) {
        RestartProgram();
        return;
    }
    if (ZKsvcTrayIcon) {
        ZKsvcTrayIcon->MinimizeToTray = Options.TnaUse;
        ZKsvcTrayIcon->SetVisible(Options.TnaUse && TsvcTrayIcon::TrayAvailable());
    }
    const std::array<std::pair<const char *, bool>, 5> downs = {{{"CoordLoupeToolButton", Options.Loupe},
                                                                 {"PrintScanToolButton", Options.PrintScan},
                                                                 {"FileAsBmpToolButton", Options.OAsBmp},
                                                                 {"ExtGraphToolButton", Options.ExtGrafikEditor},
                                                                 {"ExtGraphHKToolButton", Options.HotkeyOutputExtern}}};
    for (const auto &[name, down] : downs)
        if (QAction *a = Item(QString::fromLatin1(name)); a && a->isCheckable())
            a->setChecked(down);
    // Only the keys: a full show would also stamp a waiting cursor.
    if (Options.SysKeys)
        RegisterHotKeys(0);
    else
        UnregisterHotKeys();
    auto *explorer = qobject_cast<TDirBDForm *>(DirBDForm.data());
    if (QAction *fileEx = Item(QStringLiteral("FileExMenuItem"));
        fileEx && fileEx->isChecked() != Options.FileExp && explorer && explorer->MainHooks.ShowFileExplorer)
        explorer->MainHooks.ShowFileExplorer();
    ApplyXPLook();
    ApplyBackColor();
    ApplyScanDelay();
    UpdateTrayIcon();
    SetTimeScan(Options.TimeScanRunning);
    ApplyLanguage();
    const bool bar = Options.StatBar || Options.OnceCellStatbar;
    ZKStatusBar->setFixedHeight(bar ? 20 : 1);
    if (QAction *a = Item(QStringLiteral("StatBarMenuItem")))
        a->setChecked(bar);
    if (Options.OnceCellStatbar)
        SetStatusBarSimple();
    else
        SetStatusBarPanels();
    ZKStatusBar->repaint();
    if (Options.MagneticFE) {
        if (DirBDForm && NavBDForm && DirBDForm->isVisible() && NavBDForm->isVisible()) {
            if (explorer && explorer->MainHooks.PlacePinnedExplorer)
                explorer->MainHooks.PlacePinnedExplorer();
        } else {
            Options.MagneticFE = false;
            QMessageBox box(QMessageBox::Information, windowTitle(),
                            Text(QStringLiteral("showmsg_no_magnetic_windows"),
                                 QStringLiteral("Die Explorer-Fenster können nur angeheftet werden, wenn beide "
                                                "sichtbar sind.")),
                            QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("showmsg_no_magnetic_windows"));
            box.exec();
        }
    }
    // A shown attachment folder may be gone: the tree goes back to its top.
    if (explorer && explorer->InternNodeCount() > 0) {
        QString selected;
        explorer->GetSelectedNodeText(selected);
        if (selected == QLatin1String("Attach")) {
            explorer->InternTreeView->setCurrentItem(explorer->InternNode(0));
            explorer->InternTreeViewClick();
        }
    }
}

void TMainForm::RestartProgram()
{
    // The new copy waits until this one has ended, so it finds the program's
    // message channel free and does not hand its start to us.
    const QString program = QCoreApplication::applicationFilePath();
    const QString script = QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 0.1; done; exec \"$0\"")
                               .arg(QCoreApplication::applicationPid());
    if (!RestartCommand)
        QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, program});
    else
        RestartCommand(program);
    CloseBySignal();
}

} // namespace zk
