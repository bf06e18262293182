// The commands that open a tool dialog, and the manual.
#include "MainForm.h"

#include "BaseModal.h"
#include "CaptureControl.h"
#include "KeybHlpForm.h"
#include "MultiLanguage.h"
#include "ShellOpen.h"

#include <QAction>
#include <QDialog>

#include <memory>

namespace zk {

namespace {

int SenderTag(const QObject *sender)
{
    return sender ? sender->property("Tag").toInt() : 0;
}

} // namespace

void TMainForm::SetupLaunchers()
{
    const auto tag = [this](const char *name, int value) { Item(QString::fromLatin1(name))->setProperty("Tag", value); };
    tag("ConvertToolButton", 0);
    tag("EinzelnMenuItem", 0);
    tag("MoreMenuItem", 1);
    tag("ChoiceMenuItem", 2);
    tag("ThumbMenuItem", 3);
    tag("ACFileMenuItem", 0);
    tag("FastFileMenuItem", 1);
    tag("ChoiceDirMenuItem", 2);

    const auto bind = [this](std::initializer_list<const char *> names, auto handler) {
        for (const char *name : names) {
            QAction *a = Item(QString::fromLatin1(name));
            connect(a, &QAction::triggered, this, [a, handler] { handler(a); });
        }
    };
    bind({"ExtrToolButton", "ExeDllExtractMenuItem"}, [this](QAction *) { ExtractMenuItemClick(); });
    bind({"ConvertToolButton", "EinzelnMenuItem", "MoreMenuItem", "ChoiceMenuItem", "ThumbMenuItem"},
         [this](QAction *a) { AllKonvertMenuItemClick(a); });
    bind({"OnePageMenuItem"}, [this](QAction *) { BildGalerieMenuItemClick(); });
    bind({"ACFileMenuItem", "FastFileMenuItem", "ChoiceDirMenuItem"}, [this](QAction *a) { ScanBrowsMenuItemClick(a); });
    bind({"SplitToolButton", "SplitMenuItem"}, [this](QAction *) { SplitMenuItemClick(); });
    bind({"KeybHlpToolButton", "KeyboardMenuItem"}, [this](QAction *) { KeyboardMenuItemClick(); });
    bind({"FleExtToolButton", "FileExtIconMenuItem"}, [this](QAction *) { FileExtIconMenuItemClick(); });
    bind({"Help2ToolButton", "HandbuchMenuItem"}, [this](QAction *) { HandbuchMenuItemClick(); });
    UpdateLauncherItems();
}

void TMainForm::UpdateLauncherItems()
{
    const auto enable = [this](std::initializer_list<const char *> names, bool on) {
        for (const char *name : names)
            Item(QString::fromLatin1(name))->setEnabled(on);
    };
    enable({"ExtrToolButton", "ExeDllExtractMenuItem"}, bool(ToolDialogs.Extract));
    enable({"ConvertToolButton", "EinzelnMenuItem", "MoreMenuItem", "ChoiceMenuItem", "ThumbMenuItem"},
           bool(ToolDialogs.AllKonvert));
    enable({"OnePageMenuItem"}, bool(ToolDialogs.BildGalerie));
    enable({"ACFileMenuItem", "FastFileMenuItem", "ChoiceDirMenuItem"}, bool(ToolDialogs.ScanBrowse));
    enable({"SplitToolButton", "SplitMenuItem"}, bool(ToolDialogs.Split));
    enable({"FleExtToolButton", "FileExtIconMenuItem"}, bool(ToolDialogs.FileExtIcon));
    enable({"KeybHlpToolButton", "KeyboardMenuItem", "Help2ToolButton", "HandbuchMenuItem"}, true);
}

void TMainForm::RunToolDialog(QDialog *dialog, const QString &name, const std::function<void()> &mode)
{
    // Freed however the dialog ends, also when a step below throws.
    std::unique_ptr<QDialog> owned(dialog);
    if (!dialog)
        return;
    std::optional<TOpenDialogScope> scope;
    if (!name.isEmpty())
        scope.emplace(name);
    if (mode)
        mode();
    const QStringList &script = ZKMultiLanguage->Script();
    const int language = UsableIndex(Options, "Language");
    if (auto *form = qobject_cast<TBaseModalForm *>(dialog))
        form->SetLanguage(script, language);
    else
        SetFormLanguage(dialog, script, language);
    if (FormLookHook)
        FormLookHook(dialog, Options.XPContrStyle);
    dialog->exec();
}

void TMainForm::ExtractMenuItemClick()
{
    if (ToolDialogs.Extract)
        RunToolDialog(ToolDialogs.Extract(this), QStringLiteral("TExtractForm"));
}

void TMainForm::AllKonvertMenuItemClick(QObject *Sender)
{
    // Without a command to say which job, there is nothing to show.
    if (!Sender || !ToolDialogs.AllKonvert)
        return;
    RunToolDialog(ToolDialogs.AllKonvert(this, SenderTag(Sender)), QStringLiteral("TAllKonvForm"));
}

void TMainForm::BildGalerieMenuItemClick()
{
    if (ToolDialogs.BildGalerie)
        RunToolDialog(ToolDialogs.BildGalerie(this), QStringLiteral("TImgGalForm"));
}

void TMainForm::ScanBrowsMenuItemClick(QObject *Sender)
{
    if (ToolDialogs.ScanBrowse)
        RunToolDialog(ToolDialogs.ScanBrowse(this, SenderTag(Sender)), QStringLiteral("TImgPreviewForm"));
}

void TMainForm::SplitMenuItemClick()
{
    if (ToolDialogs.Split)
        RunToolDialog(ToolDialogs.Split(this), {});
}

void TMainForm::KeyboardMenuItemClick()
{
    RunToolDialog(new TKeybHlpBMForm([this](const QString &n) { return SubMenu(n); }, Options, this), {});
}

void TMainForm::FileExtIconMenuItemClick()
{
    if (ToolDialogs.FileExtIcon)
        RunToolDialog(ToolDialogs.FileExtIcon(this), {});
}

void TMainForm::HandbuchMenuItemClick()
{
    ShowHelpPage(this, QStringLiteral("index"));
}

} // namespace zk
