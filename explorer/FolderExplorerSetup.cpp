#include "FolderExplorerSetup.h"

#include "DirBDForm.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "NavBDForm.h"

#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QEvent>
#include <QLayout>
#include <QPointer>

namespace zk {

namespace {

// A docked form's first pass: the items of its closed menus take their texts
// right after the window's first frame, as the main window's do.
template <class Form>
void SetStartLanguage(Form *form, const TMainForm &mainForm)
{
    const auto pass = [form, &mainForm] {
        form->SetLanguage(mainForm.ZKMultiLanguage->Script(), mainForm.Options.Language);
    };
    if (TMultiLanguage *ml = FormMultiLanguage(form))
        FirstLanguagePass(ml, ml, pass);
    else
        pass();
}

} // namespace

TDirBDForm *CreateFolderExplorer(TMainForm &mainForm)
{
    auto *form = new TDirBDForm(&mainForm, &mainForm.Options);
    mainForm.addDockWidget(Qt::LeftDockWidgetArea, form);
    mainForm.DirBDForm = form;
    form->MainMenuItem = [&mainForm](const QString &name) { return mainForm.Item(name); };
    if (mainForm.ZKMultiLanguage)
        SetStartLanguage(form, mainForm);
    if (mainForm.FormLookHook)
        mainForm.FormLookHook(form, mainForm.Options.XPContrStyle);
    // The main window's explorer items act on the folder explorer.
    const auto bind = [&mainForm, form](const char *name, auto handler) {
        if (QAction *a = mainForm.Item(QString::fromLatin1(name))) {
            QObject::connect(a, &QAction::triggered, form, [a, handler] { handler(a); });
            a->setEnabled(true);
        }
    };
    bind("ExpDim2MenuItem", [form](QAction *a) { form->ExpDimMenuItemClick(a); });
    bind("OnlyGraphTyp3MenuItem", [form](QAction *a) { form->OnlyGraphTyp2MenuItemClick(a); });
    bind("ChRealDir3MenuItem", [form](QAction *) { form->ChRealDirMenuItemClick(); });
    // A mail sent through the mail program may have written into the
    // attachment folder: an open listing of it is read again.
    const QPointer<TDirBDForm> explorer(form);
    mainForm.SendHooks.AttachEntryCurrent = [explorer] {
        QString caption;
        if (explorer)
            explorer->GetSelectedNodeText(caption);
        return caption == QLatin1String("Attach");
    };
    mainForm.SendHooks.RefreshAttachTree = [explorer] {
        if (explorer)
            explorer->InternTreeViewClick();
    };
    // "Verzeichnis-Explorer" in the window menu shows and hides the folder
    // explorer and brings the explorer items in line, as its popup does.
    // Hiding closes it, so the options follow as after its close box.
    if (QAction *dirEx = mainForm.Item(QStringLiteral("DirExMenuItem"))) {
        dirEx->setCheckable(true);
        dirEx->setEnabled(true);
        QObject::connect(dirEx, &QAction::triggered, form, [&mainForm, form](bool on) {
            if (on) {
                mainForm.Options.FileExp = true;
                if (QAction *fileEx = mainForm.Item(QStringLiteral("FileExMenuItem")))
                    fileEx->setChecked(true);
                form->show();
                form->raise();
            } else {
                form->close();
            }
            form->FEPopupMenuPopup();
        });
        QObject::connect(form, &QDockWidget::visibilityChanged, dirEx,
                         [dirEx, form] { dirEx->setChecked(!form->isHidden()); });
    }
    form->FEPopupMenuPopup();

    // The file list below it.
    auto *list = new TNavBDForm(&mainForm, &mainForm.Options, form);
    mainForm.addDockWidget(Qt::LeftDockWidgetArea, list);
    mainForm.splitDockWidget(form, list, Qt::Vertical);
    mainForm.NavBDForm = list;
    if (mainForm.ZKMultiLanguage)
        SetStartLanguage(list, mainForm);
    if (mainForm.FormLookHook)
        mainForm.FormLookHook(list, mainForm.Options.XPContrStyle);
    mainForm.FileListShellMenu = list->ShellMenu;
    list->SetFindFiles([&mainForm] { mainForm.FileSysFindMenuItemClick(); });
    // The list is read again while the explorer is switched on, also when
    // it is hidden only for the capture that saved.
    const QPointer<TNavBDForm> fileList(list);
    mainForm.RefreshFileList = [&mainForm, fileList](bool autosaveOnly) {
        if (fileList && mainForm.Options.FileExp)
            fileList->RefreshAfterSave(autosaveOnly);
    };
    // The main window's copies of the list's shell entries act on its own
    // picture file.
    mainForm.RunFileListItem = [list](QAction *original, QAction *sender) {
        const QList<QAction *> verbs = {list->ShellOpenMenuItem, list->ShellExploreMenuItem, list->ShellPropMenuItem,
                                        list->ShellPrintMenuItem, list->WriteProtMenuItem};
        if (verbs.contains(original))
            list->ShellOpenMenuItemClick(sender);
        else if (original == list->DelFileMenuItem || original == list->DelFilesMenuItem)
            list->DelFileMenuItemClick(sender);
        else
            original->trigger();
    };
    form->setVisible(mainForm.Options.FileExp);
    list->setVisible(mainForm.Options.FileExp);
    if (QAction *dirEx = mainForm.Item(QStringLiteral("DirExMenuItem")))
        dirEx->setChecked(!form->isHidden());
    mainForm.SetupDockLayout();
    mainForm.RestoreDockForms();
    return form;
}

TDirBDForm *ShowWithFolderExplorer(TMainForm &mainForm)
{
    mainForm.show();
    // A shown window lays out each dock as it comes, and the next one splits
    // the room the first has taken: the docks share it as on a first layout
    // when the window's layout waits for both.
    QLayout *layout = mainForm.layout();
    layout->setEnabled(false);
    TDirBDForm *form = CreateFolderExplorer(mainForm);
    layout->setEnabled(true);
    layout->invalidate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout->activate();
    return form;
}

} // namespace zk
