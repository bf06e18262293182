// The commands that hand things to the desktop (the picture viewer, the file
// search, the script, the help menu's text files), cutting the picture, the
// numbered bitmap copies for the AVI build, and the AVI player and frames.
#include "MainForm.h"

#include "AviViewForm.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "Progress.h"
#include "RecorderLogic.h"
#include "ShellCommands.h"
#include "ShellOpen.h"
#include "DirBDForm.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

namespace zk {

namespace {

constexpr int kPositionPanel = 4;
constexpr int kFormatPanel = 6;
// How many skipped files the closing message names.
constexpr int kSkippedNamed = 10;

// Calls show each time the watched dialog is shown.
class TShowWatcher : public QObject
{
public:
    TShowWatcher(QObject *parent, std::function<void(QObject *)> show) : QObject(parent), m_show(std::move(show)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            m_show(watched);
        return false;
    }

private:
    std::function<void(QObject *)> m_show;
};

} // namespace

void TMainForm::SetupShellCommands()
{
    Item(QStringLiteral("ReadmeMenuItem"))->setProperty("Tag", 0);
    Item(QStringLiteral("LizenceMenuItem"))->setProperty("Tag", 1);
    const auto bind = [this](std::initializer_list<const char *> names, auto handler) {
        for (const char *name : names) {
            QAction *a = Item(QString::fromLatin1(name));
            connect(a, &QAction::triggered, this, [a, handler] { handler(a); });
            a->setEnabled(true);
        }
    };
    bind({"FileManagerMenuItem"}, [this](QAction *) { FileManagerMenuItemClick(); });
    bind({"FileSysFindMenuItem"}, [this](QAction *) { FileSysFindMenuItemClick(); });
    bind({"ScriptToolButton", "ScriptMenuItem"}, [this](QAction *) { ScriptMenuItemClick(); });
    bind({"CutMenuItem"}, [this](QAction *) { CutMenuItemClick(); });
    bind({"BmpsToAviMenuItem"}, [this](QAction *) { BmpsToAviMenuItemClick(); });
    bind({"AviLoadToolButton", "AviLoadMenuItem"}, [this](QAction *) { AviLoadMenuItemClick(); });
    bind({"AviExtractMenuItem"}, [this](QAction *) { AVIextrahieren1Click(); });
    bind({"ReadmeMenuItem", "LizenceMenuItem"}, [this](QAction *a) { ReadmeMenuItemClick(a); });

    RecorderHooks.OpenAviView = [this](const QString &file) { OpenAviView(file); };
}

QFileDialog *TMainForm::TxtOpenDialog()
{
    if (auto *made = findChild<QFileDialog *>(QStringLiteral("TxtOpenDialog"), Qt::FindDirectChildrenOnly))
        return made;
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("TxtOpenDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->installEventFilter(new TShowWatcher(dialog, [this](QObject *d) { TxtOpenDialogShow(d); }));
    return dialog;
}

void TMainForm::ShellMessage(QString text, const QString &detail)
{
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    if (ShellPrompts.Message) {
        ShellPrompts.Message(text);
        return;
    }
    QMessageBox::information(this, windowTitle(), text);
}

bool TMainForm::ShellConfirm(const QString &key, const QString &fallback)
{
    const QString text = Text(key, fallback);
    if (ShellPrompts.Confirm)
        return ShellPrompts.Confirm(text);
    return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString TMainForm::ShellChooseFile(const QString &dialogName)
{
    if (ShellPrompts.ChooseFile)
        return ShellPrompts.ChooseFile(dialogName);
    const bool save = dialogName == QLatin1String("Avi2BmpSaveDialog");
    QFileDialog dialog(this);
    dialog.setObjectName(dialogName);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (save) {
        dialog.setWindowTitle(Text(QStringLiteral("savedlg_avi2bmp_title"), QStringLiteral("Bitmap speichern unter")));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("bmp"));
        dialog.setNameFilter(Text(QStringLiteral("opendlg_filter_bmp"), QStringLiteral("Windows Bitmap")) +
                             QStringLiteral(" (*.bmp)"));
    } else {
        dialog.setWindowTitle(Text(QStringLiteral("opendlg_avi_title"), QStringLiteral("AVI-Datei öffnen")));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(Text(QStringLiteral("opendlg_filter_avi"), QStringLiteral("Windows-AVI-Dateien")) +
                             QStringLiteral(" (*.avi)"));
    }
    // The picture's folder, the AVI copies' (when opening) and the output folder.
    QStringList starts;
    if (FHasFileName)
        starts << QFileInfo(FFileName).absolutePath();
    if (!save)
        starts << Options.AviCopyPath;
    starts << Options.OutDir;
    dialog.setDirectory(DialogStartFolder(starts));
    TOpenDialogScope scope(dialog.windowTitle());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void TMainForm::FileManagerMenuItemClick()
{
    QString target;
    bool started = false;
    if (Options.VType == 1) {
        if (QFileInfo(Options.ExtProgPath).isFile()) {
            target = Options.ExtProgPath;
            started = OpenFolder(target);
        }
    } else if (!Options.ImgPath.isEmpty() && QFileInfo(Options.ImgPath).isDir()) {
        target = Options.ImgPath;
        started = ExploreFolder(target);
    }
    if (target.isEmpty())
        ShellMessage(Text(QStringLiteral("showmsg_settings_fileman_no_correct"), QStringLiteral("Der eingestellte Grafikviewer ist nicht vorhanden. Bitte in den Einstellungen "
                                    "einen vorhandenen Ordner oder ein vorhandenes Programm wählen.")));
    else if (!started)
        ShellMessage(Text(QStringLiteral("showmsg_shell_start_failed"), QStringLiteral("Der Aufruf ist fehlgeschlagen:")),
                     target);
}

void TMainForm::FileSysFindMenuItemClick()
{
    const QString home = QDir::homePath();
    if (!ExplorerFindFolder(home))
        ShellMessage(Text(QStringLiteral("showmsg_shell_start_failed"), QStringLiteral("Der Aufruf ist fehlgeschlagen:")),
                     home);
}

void TMainForm::ScriptMenuItemClick()
{
    const QString folder = ProgramDir() + QStringLiteral("Script");
    const QString file = folder + QLatin1Char('/') + Options.Script;
    if (Options.Script.isEmpty() || !QFileInfo(file).isFile()) {
        ShellMessage(Text(QStringLiteral("showmsg_no_script_file"), QStringLiteral("Das gewählte Skript ist nicht vorhanden:")), file);
        return;
    }
    if (!RunScriptFile(file, folder))
        ShellMessage(Text(QStringLiteral("showmsg_shell_start_failed"), QStringLiteral("Der Aufruf ist fehlgeschlagen:")),
                     file);
}

void TMainForm::ReadmeMenuItemClick(QObject *Sender)
{
    const int tag = Sender ? Sender->property("Tag").toInt() : 0;
    const QString file = AppFilePath(tag == 1 ? QStringLiteral("Lizenz.txt") : QStringLiteral("Readme.txt"));
    if (!QFileInfo(file).isFile()) {
        ShellMessage(Text(QStringLiteral("showmsg_no_txt_file_available"), QStringLiteral("Die Textdatei ist nicht vorhanden:")), file);
        return;
    }
    if (!ShellOpen(file))
        ShellMessage(Text(QStringLiteral("showmsg_shell_start_failed"), QStringLiteral("Der Aufruf ist fehlgeschlagen:")),
                     file);
}

void TMainForm::TxtOpenDialogShow(QObject *Sender)
{
    auto *dialog = qobject_cast<QFileDialog *>(Sender);
    if (!dialog)
        return;
    dialog->setNameFilter(Text(QStringLiteral("opendlg_filter_txt"), QStringLiteral("Textdateien")) +
                          QStringLiteral(" (*.txt *.wri)"));
    dialog->setLabelText(QFileDialog::Accept,
                         Text(QStringLiteral("opendlg_convert_txt_in_jpg"), QStringLiteral("In &JPG umwandeln")));
}

void TMainForm::CutMenuItemClick()
{
    TPicture &picture = ScanImage->Picture();
    if (picture.Empty())
        return;
    SaveUndo();
    try {
        picture.SaveToClipboard();
    } catch (const EGraphicError &e) {
        // Without the copy on the clipboard the picture stays.
        ShellMessage(Text(QStringLiteral("showmsg_except_prob_with_clpbrd"), QStringLiteral("Problem mit der Zwischenablage: ")),
                     e.message());
        return;
    }
    picture.Assign(static_cast<const TGraphic *>(nullptr));
    ScanImage->PictureChanged();
    SetStatusPanelText(kPositionPanel, QStringLiteral("X: 0  Y: 0"));
    SetStatusPanelText(kFormatPanel, QStringLiteral("- - -"));
    FHasFileName = false;
    FFileName.clear();
    if (Options.FocusMode)
        FocusModeOff();
    ZKStatusBar->update();
    RequestIdle();
}

void TMainForm::BmpsToAviMenuItemClick()
{
    const bool setAviPath = ShellConfirm(
        QStringLiteral("msgdlg_set_avi_path"),
        QStringLiteral("Soll der Zielordner anschließend der Ordner für den AVI-Build sein?"));
    const QString caption =
        Text(QStringLiteral("select_bmp_to_avi_source"), QStringLiteral("Ordner mit den Bitmaps wählen"));
    QString source = DialogStartFolder({Options.TmpAviPath, Options.OutDir});
    if (ShellPrompts.ChooseFolder)
        source = ShellPrompts.ChooseFolder(0, caption);
    else
        SelectFolder(caption, source, this);
    if (source.isEmpty() || !QFileInfo(source).isDir())
        return;
    const QStringList files = BitmapSourceFiles(source);
    if (files.isEmpty()) {
        ShellMessage(Text(QStringLiteral("showmsg_bmps_no_files"), QStringLiteral("Im gewählten Ordner sind keine Bitmaps (*.bmp):")), source);
        return;
    }
    // A cancelled choice stops here: it must not become the root folder.
    const QString target = ShellPrompts.ChooseFolder ? ShellPrompts.ChooseFolder(1, QString()) : BrowseForFolder();
    if (target.isEmpty() || !QFileInfo(target).isDir())
        return;
    // Copies into the folder they are made from would only double its bitmaps.
    if (SameFolder(source, target)) {
        ShellMessage(Text(QStringLiteral("showmsg_bmps_target_is_source"), QStringLiteral("Der Zielordner darf nicht der Ordner der Bitmaps sein.")));
        return;
    }

    QPointer<TProgressForm> progress = new TProgressForm(this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->SetMax(std::int32_t(files.size()));
    progress->show();
    const TNumberedCopyResult result = NumberedBitmapCopies(files, target, [&progress] {
        if (progress)
            progress->SetPosition(1);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    if (progress)
        progress->close();

    if (!result.WriteError.isEmpty()) {
        ShellMessage(Text(QStringLiteral("showmsg_bmps_write_failed"), QStringLiteral("Eine Kopie konnte nicht geschrieben werden; der Vorgang wurde abgebrochen:")),
                     result.WriteError);
        return;
    }
    if (setAviPath && result.Written > 0) {
        Options.TmpAviPath = target;
        if (RecorderHooks.RefreshAviEntries)
            RecorderHooks.RefreshAviEntries();
    }
    if (!result.Skipped.isEmpty()) {
        QStringList names;
        for (const QString &f : result.Skipped.mid(0, kSkippedNamed))
            names << QFileInfo(f).fileName();
        if (result.Skipped.size() > kSkippedNamed)
            names << QStringLiteral("...");
        ShellMessage(Text(QStringLiteral("showmsg_bmps_skipped"), QStringLiteral("Diese Bitmaps konnten nicht gelesen werden und wurden übersprungen (%1 von %2):")).arg(result.Skipped.size())
                         .arg(files.size()),
                     names.join(QLatin1Char('\n')));
    }
}

void TMainForm::AviLoadMenuItemClick()
{
    const QString file = ShellChooseFile(QStringLiteral("AviOpenDialog"));
    if (!file.isEmpty())
        OpenAviView(file);
}

void TMainForm::OpenAviView(const QString &FileName)
{
    const QSize area = RecordAreaSize(Options.VdoPixVal);
    AreaWidth = area.width();
    std::unique_ptr<TAviViewBMForm> view = std::make_unique<TAviViewBMForm>(this);
    QString error;
    if (!view->OpenFile(FileName, &error)) {
        ShellMessage(Text(QStringLiteral("showmsg_avi_open_failed"), QStringLiteral("Die AVI-Datei kann nicht abgespielt werden:")), FileName + QLatin1Char('\n') + error);
        return;
    }
    AviViewBMForm = view.get();
    // Loading again starts once this player is gone.
    view->ReloadAvi = [this] { QTimer::singleShot(0, this, [this] { AviLoadMenuItemClick(); }); };
    view->ControlPanel->ensurePolished();
    view->resize(area.width() + 30, view->ControlPanel->sizeHint().height() + area.height() + 30);
    if (FormLookHook)
        FormLookHook(view.get(), Options.XPContrStyle);
    view->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    view->setWindowTitle(view->windowTitle() + QStringLiteral(" - [") + FileName + QLatin1Char(']'));
    view->AviAnimate->Play();
    view->exec();
}

void TMainForm::AVIextrahieren1Click()
{
    const QString avi = ShellChooseFile(QStringLiteral("AviOpenDialog"));
    if (avi.isEmpty())
        return;
    std::optional<QString> typed;
    if (ShellPrompts.AskFrameNumber) {
        typed = ShellPrompts.AskFrameNumber(QStringLiteral("1"));
    } else {
        QInputDialog box(this);
        box.setObjectName(QStringLiteral("AviFrameInputBox"));
        box.setWindowTitle(Text(QStringLiteral("inputbox_avi_frame_caption"), QStringLiteral("AVI-Rahmen spezifizieren")));
        box.setLabelText(Text(QStringLiteral("inputbox_avi_frame_prompt"), QStringLiteral("Rahmen-Nr:")));
        box.setTextValue(QStringLiteral("1"));
        if (box.exec() == QDialog::Accepted)
            typed = box.textValue();
    }
    if (!typed)
        return;
    const std::optional<int> frame = ParseFrameNumber(*typed);
    if (!frame) {
        ShellMessage(Text(QStringLiteral("showmsg_avi_frame_no_number"), QStringLiteral("Die Rahmen-Nr. muss eine ganze Zahl ab 0 sein:")), *typed);
        return;
    }
    const QString bmp = ShellChooseFile(QStringLiteral("Avi2BmpSaveDialog"));
    if (bmp.isEmpty())
        return;
    QString error;
    int count = -1;
    if (!ExtractAviFrame(avi, *frame, bmp, &error, &count)) {
        if (count > 0 && *frame >= count)
            ShellMessage(Text(QStringLiteral("showmsg_avi_frame_past_end"), QStringLiteral("Die AVI-Datei hat nur die Rahmen 0 bis %1.")).arg(count - 1));
        else
            ShellMessage(Text(QStringLiteral("showmsg_avi_extract_failed"), QStringLiteral("Der AVI-Rahmen konnte nicht als Bitmap gespeichert werden:")),
                         error);
        return;
    }
    if (ShellConfirm(QStringLiteral("msgdlg_view_extract_frame"),
                     QStringLiteral("Soll das gespeicherte Einzelbild jetzt angezeigt werden?")))
        OpenPictureFile(bmp);
}

} // namespace zk
