// The main window's part of the AVI recorder: opening it, the menus while
// it runs, and coming back from it.
#include "AviViewForm.h"
#include "DLLImport.h"
#include "DirBDForm.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "NavBDForm.h"
#include "Options.h"
#include "RecorderForm.h"
#include "RecorderLogic.h"
#include "SaveAviEdtForm.h"

#include <QAction>
#include <QFileInfo>
#include <QMessageBox>
#include <QTreeWidget>

namespace zk {

namespace {

// The capture commands of the main menu and the tool bar the recorder
// switches off while it runs.
const char *const kRecorderMenuItems[] = {
    "ScanMenuItem",   "ScanToolButton",     "DeskMenuItem",     "Desk2MenuItem",
    "CoordMenuItem",  "Coord2MenuItem", "AviVdoMenuItem",     "AviVdo2MenuItem",  "WEMenuItem",
    "WE2MenuItem",    "ScanTwainMenuItem", "ScanTwain2MenuItem", "ScanFile2MenuItem", "ScanTxt2MenuItem",
    "TimeScanMenuItem", "TimeScanToolButton"};

// The frame folders' entries in the explorer's own tree.
constexpr int kAviBuildNode = 5; // "AVI-Build"
constexpr int kAviEditNode = 6;  // "AVI-Edit"

} // namespace

void TMainForm::SetupRecorder()
{
    for (const char *name : {"AviVdoMenuItem", "AviVdo2MenuItem"})
        if (QAction *a = Item(QLatin1String(name))) {
            connect(a, &QAction::triggered, this, [this] { AviVdoMenuItemClick(); });
            a->setEnabled(true);
        }
    const auto explorer = [this] { return qobject_cast<TDirBDForm *>(DirBDForm.data()); };
    // The explorer's own storage page holds the frame folders' entries.
    RecorderHooks.ResetExplorerView = [explorer] {
        if (TDirBDForm *d = explorer())
            d->DirPageControl->setCurrentIndex(0);
    };
    // Frame editing lists the frames the next build reads and the editing
    // window writes back: the frame folder ("AVI-Build"), not the copies
    // of an earlier build ("AVI-Edit").
    RecorderHooks.SelectAviEditEntry = [explorer] {
        if (TDirBDForm *d = explorer())
            if (QTreeWidgetItem *node = d->InternNode(kAviBuildNode)) {
                d->DirPageControl->setCurrentIndex(0);
                d->InternTreeView->setCurrentItem(node);
                d->InternTreeViewClick();
            }
    };
    // Writing a frame back takes the name chosen in the file list; the
    // editing window stands below that list.
    RecorderHooks.SelectedListItem = [this] {
        const auto *list = qobject_cast<TNavBDForm *>(NavBDForm.data());
        return list ? QFileInfo(list->SelectedPath()).fileName() : QString();
    };
    RecorderHooks.FileListWindow = [this] { return NavBDForm.data(); };
    RecorderHooks.RefreshAviEntries = [explorer] {
        if (TDirBDForm *d = explorer()) {
            const int current = d->InternNodeIndex(d->InternTreeView->currentItem());
            if (d->DirPageControl->currentIndex() == 0 && (current == kAviBuildNode || current == kAviEditNode))
                d->InternTreeViewClick();
        }
    };
    UpdateCaptureCommands();
}

void TMainForm::EnableRecorderMenus(bool on)
{
    // The tray's capture items as around every modal capture tool, then the
    // main menu's and the tool bar's.
    EnableScanMenus(on);
    static const char *const kDisabledMark = "zkRecorderDisabled";
    for (const char *name : kRecorderMenuItems) {
        QAction *a = Item(QLatin1String(name));
        if (!a)
            continue;
        if (!on && a->isEnabled()) {
            a->setEnabled(false);
            a->setProperty(kDisabledMark, true);
        } else if (on && a->property(kDisabledMark).toBool()) {
            // Only what the recorder switched off comes back.
            a->setProperty(kDisabledMark, QVariant());
            a->setEnabled(true);
        }
    }
}

void TMainForm::AviVdoMenuItemClick()
{
    if (RecorderForm) {
        RecorderForm->show();
        RecorderForm->raise();
        return;
    }
    if (CaptureHooks.FreeMoveRect)
        CaptureHooks.FreeMoveRect();
    if (RecorderHooks.ResetExplorerView)
        RecorderHooks.ResetExplorerView();
    AreaWidth = RecordAreaSize(Options.VdoPixVal).width();
    ShowToolBars(false);
    EnableRecorderMenus(false);
    auto *recorder = new TRecorderForm(this);
    RecorderForm = recorder;
    if (RecorderMessage)
        recorder->ShowMessage = RecorderMessage;
    FRecorderActive = true;
    recorder->SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    if (FormLookHook)
        FormLookHook(recorder, Options.XPContrStyle);
    recorder->show();
    connect(recorder, &QObject::destroyed, this, [this] { RecorderForm.clear(); });
    recorder->ShowFrame();
    HideToTray();
}

void TMainForm::RecorderBackToMain()
{
    ShowFromTray();
    ShowToolBars(true);
}

void TMainForm::RecorderResumed()
{
    ShowToolBars(false);
    EnableRecorderMenus(false);
    HideToTray();
}

void TMainForm::RecorderClosed()
{
    ShowFromTray();
    EnableRecorderMenus(true);
    FRecorderActive = false;
    ShowToolBars(true);
}

void TMainForm::OpenSaveAviEdtForm()
{
    if (SaveAviEdtForm)
        SaveAviEdtForm->close();
    auto *form = new TSaveAviEdtForm(this);
    SaveAviEdtForm = form;
    form->SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    if (FormLookHook)
        FormLookHook(form, Options.XPContrStyle);
    form->show();
    if (RecorderHooks.RefreshAviEntries)
        RecorderHooks.RefreshAviEntries();
}

void TMainForm::OfferAviView(const QString &fileName)
{
    // Playing belongs to the viewer command; until it exists nobody is asked.
    if (!RecorderHooks.OpenAviView || TAskAviViewBMForm::NotAsked())
        return;
    TAskAviViewBMForm ask(this);
    ask.SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    if (FormLookHook)
        FormLookHook(&ask, Options.XPContrStyle);
    if (ask.exec() == QDialog::Accepted)
        RecorderHooks.OpenAviView(fileName);
}

void TMainForm::ShowRecorderMessage(const QString &text)
{
    if (RecorderMessage) {
        RecorderMessage(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Zelkora 5.0"), text, QMessageBox::Ok, this);
    box.exec();
}

} // namespace zk
