// The main window's picture-file commands: open (dialog, command line, drop,
// recent list, the load-file message), save as, fast save, the automatic save
// after a capture, copy and paste, and the JPEG view-scale window. The rules
// themselves live in PictureFiles; these handlers read the window, call them
// and write the results back.
#include "MainForm.h"

#include "Bitmap.h"
#include "CaptureControl.h"
#include "HistList.h"
#include "Icon.h"
#include "ImageControl.h"
#include "Jpeg.h"
#include "JpgScaleForm.h"
#include "ChannelModule.h"
#include "Metafile.h"
#include "MultiLanguage.h"
#include "PNGImage.h"
#include "PictureClasses.h"
#include "PictureFiles.h"
#include "PicturePin.h"
#include "Progress.h"
#include "Registry.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace zk {

namespace {

constexpr int kFormatPanel = 6;

QString recentKey()
{
    return QStringLiteral("\\") + QString::fromLatin1(TMainForm::GuiKey) + QStringLiteral("\\Recent");
}

// ---------------------------------------------------------------------------
// Shared steps

void ensurePictureClasses()
{
    // On first use, not only at set-up: start-up's command-line step may
    // open a file before SetupPictureFiles runs.
    static const bool done = [] {
        RegisterPictureCodecs();
        RegisterPictureFileClasses();
        return true;
    }();
    (void)done;
}

QString text(const TMainForm &form, const char *key, const QString &fallback)
{
    return form.Text(QString::fromLatin1(key), fallback);
}

void showMessage(TMainForm &form, const QString &message, QMessageBox::Icon icon = QMessageBox::Information)
{
    // An open asked for by another program counts into one box: a flood of
    // them must not stack boxes.
    if (form.HandlingChannelMessage()) {
        form.ShowCountedMessage(QStringLiteral("LoadFileRefusedBox"), QMessageBox::Warning, message);
        return;
    }
    QMessageBox box(icon, form.windowTitle(), message, QMessageBox::Ok, &form);
    box.setObjectName(QStringLiteral("PictureFilesMessage"));
    box.exec();
}

// counted: a save nobody asked for at that moment (the automatic save
// after a capture), whose refusals count into the box already open.
void showSaveError(TMainForm &form, const EGraphicError &e, bool counted = false)
{
    QString message;
    QMessageBox::Icon icon = QMessageBox::Critical;
    if (const auto *na = dynamic_cast<const EFormatNotAvailable *>(&e)) {
        message = text(form, "showmsg_format_not_available",
                       QStringLiteral("Dieses Format steht noch nicht zur Verfügung; es wurde nichts "
                                      "gespeichert: ")) +
                  na->Ext();
        icon = QMessageBox::Information;
    } else {
        message = text(form, "showmsg_except_no_storage",
                       QStringLiteral("Die Grafik konnte nicht gespeichert werden: ")) +
                  e.message();
    }
    if (counted)
        form.ShowCountedMessage(QStringLiteral("AutoSaveFailedBox"), icon, message);
    else
        showMessage(form, message, icon);
}

// Where the file dialogs start when no folder is given: the current
// picture's folder, else the output folder.
QStringList startCandidates(const TMainForm &form)
{
    QStringList candidates;
    if (form.FHasFileName && !form.FFileName.isEmpty())
        candidates << QFileInfo(form.FFileName).absolutePath();
    candidates << form.Options.OutDir;
    return candidates;
}

QString startFolder(const TMainForm &form)
{
    return DialogStartFolder(startCandidates(form));
}

void showNotSupported(TMainForm &form)
{
    showMessage(form, text(form, "showmsg_no_zk_support",
                           QStringLiteral("Dieser Dateityp kann von Zelkora nicht geöffnet werden.")));
}

TBitmap *pictureBitmap(const TMainForm &form)
{
    return dynamic_cast<TBitmap *>(form.ScanImage->Picture().Graphic());
}

void showPictureSize(TMainForm &form)
{
    form.ShowPictureSizePanel();
}

// Loaded into an object of its own and swapped in only when complete: a
// damaged file leaves the picture, and any capture not yet saved, as it was.
bool loadIntoPicture(TMainForm &form, const QString &fileName, bool convert)
{
    ensurePictureClasses();
    std::unique_ptr<TGraphic> loaded;
    QPointer<TProgressForm> progress;
    try {
        if (convert) {
            progress = new TProgressForm(&form);
            progress->setWindowTitle(text(form, "caption_progressform_progress", QStringLiteral("Fortschritt")));
            progress->SetMax(300);
            progress->show();
            loaded = ConvertToBmp(fileName, progress.data());
        } else {
            loaded = LoadPictureGraphic(fileName);
        }
    } catch (const std::exception &e) {
        // The progress window goes first: it would stand over the message.
        if (progress)
            delete progress.data();
        const TFailureMessage m = OpenFailureMessage(e);
        showMessage(form, text(form, m.key, QString::fromUtf8(m.german)).trimmed() + QStringLiteral("\n\n") +
                              FailureDetail(e));
        return false;
    }
    if (progress)
        progress->close();
    // Whichever way the file came (Open, a drop, the recent list, the
    // explorer, another program), Undo brings back the picture it replaces.
    form.SaveUndo();
    // The crop rectangle belonged to the picture that is going.
    form.FreeCutRect();
    form.ScanImage->Picture().SetGraphic(std::move(loaded));
    form.ScanImage->PictureChanged();
    return true;
}

void finishOpen(TMainForm &form, const QString &fileName, const QString &ext, bool converted, bool addToRecent)
{
    if (addToRecent && form.RecentList)
        form.RecentList->AddHistory(fileName); // as it is: Linux names keep their case
    // The view steps belong to other areas; each runs once its area is there.
    const auto &hooks = form.CaptureHooks;
    if (form.Options.AutoWinSize && hooks.FitMainWindowToImage)
        hooks.FitMainWindowToImage();
    if (form.Options.AutoWinCenter && hooks.CenterMainWindow)
        hooks.CenterMainWindow();
    if (form.Options.DocCenter && hooks.CenterPicture)
        hooks.CenterPicture();
    if (form.Options.FocusMode && hooks.CreateFocusResizer)
        hooks.CreateFocusResizer();
    form.FFileName = fileName;
    form.FHasFileName = !form.ScanImage->Picture().Empty();
    form.SetStatusPanelText(kFormatPanel, PanelForOpenedFile(ext, converted, form.FHasFileName));
    showPictureSize(form);
}

} // namespace

// ---------------------------------------------------------------------------
// Table and names

QString TMainForm::FileTypeExt(int Index) const
{
    return PictureTypeExt(Index);
}

bool TMainForm::IsNativePictureExt(const QString &Ext) const
{
    return zk::IsNativePictureExt(Ext);
}

int TMainForm::NextFreeNumber(int Index) const
{
    return zk::NextFreeNumber(Options.OutDir, Options.FileName, PictureTypeExt(Index));
}

QString TMainForm::NextAutoFileName(int Index) const
{
    return zk::NextAutoFileName(Options.OutDir, Options.FileName, PictureTypeExt(Index));
}

QString TMainForm::AutosaveDir() const
{
    return zk::AutosaveDir();
}

std::uint16_t TMainForm::CountAutosaveFiles() const
{
    return zk::CountAutosaveFiles();
}

// ---------------------------------------------------------------------------
// Wiring

void TMainForm::SetupPictureFiles()
{
    ensurePictureClasses();
    FFastSaveCount = CountAutosaveFiles();

    auto wire = [this](const char *name, auto handler) {
        if (QAction *a = Item(QString::fromLatin1(name))) {
            connect(a, &QAction::triggered, this, handler);
            a->setEnabled(true);
        }
    };
    wire("OpenMenuItem", [this] { OpenClick(Item("OpenMenuItem")); });
    wire("FileOptenToolButton", [this] { OpenClick(Item("FileOptenToolButton")); });
    wire("SaveMenuItem", [this] { SaveAsClick(Item("SaveMenuItem")); });
    wire("SaveToolButton", [this] { SaveAsClick(Item("SaveToolButton")); });
    wire("ASMenuItem", [this] { FastSaveToolButtonClick(Item("ASMenuItem")); });
    wire("FastSaveToolButton", [this] { FastSaveToolButtonClick(Item("FastSaveToolButton")); });
    wire("CopyMenuItem", [this] { CopyClick(); });
    wire("CopyToolButton", [this] { CopyClick(); });
    wire("PasteMenuItem", [this] { PasteToolButtonClick(); });
    wire("PasteToolButton", [this] { PasteToolButtonClick(); });
    wire("FileAsBmpMenuItem", [this] { FileAsBmpMenuItemClick(); });
    wire("FileAsBmpToolButton", [this] { FileAsBmpMenuItemClick(); });
    wire("JpgScaleMenuItem", [this] { JpgScaleMenuItemClick(); });
    wire("JpgScaleToolButton", [this] { JpgScaleMenuItemClick(); });
    if (QAction *recent = Item(QStringLiteral("NewOpenMenuItem")))
        recent->setEnabled(true);
    for (const char *name : {"FileAsBmpMenuItem", "FileAsBmpToolButton"}) {
        if (QAction *a = Item(QString::fromLatin1(name))) {
            a->setCheckable(true);
            a->setChecked(Options.OAsBmp);
        }
    }
    if (RecentPopupMenu)
        connect(RecentPopupMenu, &QMenu::aboutToShow, this, &TMainForm::RecentPopupMenuPopup);
    if (RecentList) {
        // A recent entry opens as the load-file message does: queued, so the
        // menu that was clicked has closed first.
        RecentList->OnHistoryClick = [this](QObject *, const QString &file) { PostLoadFile(file); };
    }
}

// ---------------------------------------------------------------------------
// Opening

void TMainForm::FreeJpgScaleForm()
{
    if (JpgScaleBMForm)
        delete JpgScaleBMForm.data();
}

void TMainForm::ShowOpenedFile(const QString &FileName, bool Converted)
{
    finishOpen(*this, FileName, LowerExt(FileName), Converted, true);
}

bool TMainForm::ConvertToBmpAndLoad(const QString &FileName, const QString &Ext)
{
    Q_UNUSED(Ext); // the class to read it with follows from the name
    return loadIntoPicture(*this, FileName, true);
}

void TMainForm::OpenClick(QObject *Sender)
{
    Q_UNUSED(Sender);
    SaveUndo();
    const QString title = text(*this, "opendlg_winmain_picopen", QStringLiteral("Grafik öffnen"));
    TOpenDialogScope scope(QStringLiteral("Grafik öffnen"));
    QFileDialog dialog(this, title);
    dialog.setObjectName(QStringLiteral("GrafOpenPictureDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    QStringList filters;
    for (const TDialogFilter &f : TranslatedFilters(OpenDialogFilters(), [this](const QString &k) { return Text(k); }))
        filters << f.QtFilter();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.last()); // all readable files
    // The viewer folder when the settings name one, then the usual places.
    dialog.setDirectory(Options.VType == 0 ? DialogStartFolder(QStringList{Options.ImgPath} + startCandidates(*this))
                                           : startFolder(*this));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    OpenPictureFile(dialog.selectedFiles().first());
}

// The one road into the picture for the open command, the command line,
// drops and other programs' messages; only what the user opened goes into
// the recent-files list.
static void openPicture(TMainForm &form, const QString &fileName, bool addToRecent)
{
    const QString name = fileName; // our own copy: callers may pass a reference into a list that changes
    const QString ext = LowerExt(name);
    if (ext != QLatin1String(".jpg") && ext != QLatin1String(".jpeg"))
        form.FreeJpgScaleForm();
    if (!zk::IsNativePictureExt(ext)) {
        showNotSupported(form);
        return;
    }
    // The conversion works in a private folder, so a source on a read-only
    // medium needs no question any more.
    const bool convert = form.Options.OAsBmp && ext != QLatin1String(".bmp");
    if (!loadIntoPicture(form, name, convert))
        return;
    finishOpen(form, name, ext, convert, addToRecent);
}

void TMainForm::OpenPictureFile(const QString &fileName)
{
    openPicture(*this, fileName, true);
}

void TMainForm::WMLoadFile(const QString &fileName)
{
    const QString name = fileName;
    if (!QFileInfo(name).isFile()) {
        // Counted into the box already open: a flood of such messages
        // stacks nothing.
        ShowLoadRefusal(name);
        return;
    }
    openPicture(*this, name, false);
}

void TMainForm::PostLoadFile(const QString &FileName)
{
    // The name travels by value: the caller's string may be gone by the
    // time the queued call runs.
    QMetaObject::invokeMethod(this, [this, name = QString(FileName)] { WMLoadFile(name); }, Qt::QueuedConnection);
}

void TMainForm::WMDropFiles(const QStringList &Files)
{
    if (!Files.isEmpty())
        OpenPictureFile(QString(Files.first()));
}

void TMainForm::ChannelMessage(quint32 id, const QByteArray &payload)
{
    if (id == MsgLoadFile && !RefuseChannelLoad(payload))
        WMLoadFile(QString::fromUtf8(payload));
}

// ---------------------------------------------------------------------------
// Saving

void TMainForm::AutoSaveImage()
{
    if (!Options.PersSave)
        return;
    TBitmap *bmp = pictureBitmap(*this);
    if (!bmp || bmp->Empty())
        return;
    QString written;
    try {
        written = AutoSavePicture(*bmp, Options);
    } catch (const EGraphicError &e) {
        showSaveError(*this, e, true);
        return;
    }
    if (written.isEmpty())
        return; // a type without writer records no name
    if (Options.SaveHist && RecentList)
        RecentList->AddHistory(written);
    RefreshFileListAfterSave(false);
}

bool TMainForm::SaveAsClick(QObject *Sender)
{
    const int typ = Options.FileTyp;
    TBitmap *bmp = pictureBitmap(*this);
    if (!ScanImage->Picture().Graphic() || ScanImage->Picture().Empty()) {
        showMessage(*this, text(*this, "showmsg_nofileload", QStringLiteral("Es ist keine Datei geladen!")));
        return false;
    }
    if (!bmp) {
        showMessage(*this, text(*this, "showmsg_no_bitmap_load_will_convert",
                                       QStringLiteral("Die geladene Grafik ist keine Bitmap. Bitte wandeln Sie "
                                                      "sie zuerst in eine Bitmap um.")));
        return false;
    }
    const QList<TDialogFilter> filters =
        TranslatedFilters(SaveDialogFilters(), [this](const QString &k) { return Text(k); });
    const QString title = text(*this, "opendlg_winmain_picsave", QStringLiteral("Grafik speichern unter"));
    QFileDialog dialog(this, title);
    dialog.setObjectName(QStringLiteral("ZKSaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList names;
    for (const TDialogFilter &f : filters)
        names << f.QtFilter();
    dialog.setNameFilters(names);
    const int filterIndex = SaveFilterIndexOf(typ);
    if (filterIndex > 0)
        dialog.selectNameFilter(names[filterIndex - 1]);
    auto suffixOf = [&filters](int index) {
        return index > 0 ? filters[index - 1].patterns.first().mid(2) : QStringLiteral("bmp");
    };
    dialog.setDefaultSuffix(suffixOf(filterIndex));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &filters, suffixOf](const QString &f) {
        dialog.setDefaultSuffix(suffixOf(FilterIndexOf(filters, f)));
    });
    dialog.setDirectory(startFolder(*this));
    dialog.selectFile(Sender ? Options.FileName + PictureTypeExt(typ) : Options.FileName);

    TOpenDialogScope scope(title);
    TPicturePin pin(*this);
    const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    // A capture made while the dialog was open stands in the window with
    // its own name; the dialog writes the picture it was opened for.
    bmp = pin.OpenedBitmap();
    if (!accepted) {
        if (!pin.Replaced()) {
            FHasFileName = false;
            FFileName.clear();
            SetStatusPanelText(kFormatPanel, QString::fromLatin1(PanelBitmap));
        }
        RefreshFileListAfterSave(false);
        return false;
    }
    const QString fileName = dialog.selectedFiles().first();
    const int type = SaveTypeOfChosenName(fileName, FilterIndexOf(filters, dialog.selectedNameFilter()));
    if (!bmp)
        return false;
    try {
        WriteFileReplacing(fileName, EncodePicture(*bmp, type, Options, TSaveOrigin::SaveDialog));
    } catch (const EGraphicError &e) {
        // Nothing was written: the name is not recorded anywhere.
        showSaveError(*this, e);
        return false;
    }
    if (Options.SaveHist && RecentList)
        RecentList->AddHistory(fileName);
    RefreshFileListAfterSave(false);
    if (pin.Replaced())
        return true;
    FHasFileName = true;
    FFileName = fileName;
    SetStatusPanelText(kFormatPanel, PanelBitmapAs(LowerExt(fileName)));
    return true;
}

void TMainForm::FastSaveToolButtonClick(QObject *Sender)
{
    Q_UNUSED(Sender);
    if (ScanImage->Picture().Empty()) {
        showMessage(*this, text(*this, "showmsg_nofileload", QStringLiteral("Es ist keine Datei geladen!")));
        return;
    }
    // An opened file of another type becomes a bitmap first, once.
    if (PanelShowsNonBitmapFile(StatusPanelText(kFormatPanel)) || !pictureBitmap(*this)) {
        showMessage(*this, text(*this, "showmsg_make_first_tmp_bmp",
                                       QStringLiteral("Die Grafik wird zuerst in eine temporäre Bitmap umgewandelt.")));
        auto bmp = std::make_unique<TBitmap>();
        try {
            bmp->Assign(*ScanImage->Picture().Graphic());
        } catch (const EGraphicError &e) {
            showSaveError(*this, e);
            return;
        }
        const QString shown = StatusPanelText(kFormatPanel);
        ScanImage->Picture().SetGraphic(std::move(bmp));
        ScanImage->PictureChanged();
        SetStatusPanelText(kFormatPanel, PanelShowsNonBitmapFile(shown) ? PanelBitmapAs(shown)
                                                                        : QString::fromLatin1(PanelBitmap));
    }
    TBitmap *bmp = pictureBitmap(*this);
    if (!bmp)
        return;
    const QString dir = AutosaveDir();
    if (!QFileInfo(dir).isDir() && !QDir().mkpath(dir)) {
        // The folder's path, so the user (or the administrator) knows where.
        showMessage(*this, text(*this, "showmsg_autosave_cannt_create_call_admin",
                                       QStringLiteral("Der Ordner \"Autosave\" kann nicht angelegt werden. Bitte "
                                                      "wenden Sie sich an Ihren Administrator.")) +
                               QLatin1Char('\n') + QDir::toNativeSeparators(dir));
        return;
    }
    QString written;
    try {
        const QByteArray data = EncodePicture(*bmp, ptBmp, Options, TSaveOrigin::FastSave);
        for (int tries = 0; tries < 1000 && written.isEmpty(); ++tries) {
            const int n = NextFastSaveNumber(dir, FFastSaveCount);
            const QString path = dir + QString::fromLatin1(FastSaveStem) + QString::number(n) + QStringLiteral(".bmp");
            if (WriteFileNew(path, data))
                written = path;
        }
        // Every number taken (up to the highest there is): said, not passed
        // over as if the picture were kept.
        if (written.isEmpty())
            throw EGraphicFileError(
                QStringLiteral("Kein freier Dateiname in \"%1\"").arg(QDir::toNativeSeparators(dir)));
    } catch (const EGraphicError &e) {
        showSaveError(*this, e);
        return;
    }
    FHasFileName = true;
    FFileName = written;
    if (Options.SaveHist && RecentList)
        RecentList->AddHistory(written);
    SetStatusPanelText(kFormatPanel, QStringLiteral("bmp"));
    RefreshFileListAfterSave(true);
}

// ---------------------------------------------------------------------------
// Clipboard

void TMainForm::CopyClick()
{
    try {
        ScanImage->Picture().SaveToClipboard();
    } catch (const EGraphicError &e) {
        showMessage(*this, text(*this, "showmsg_except_prob_with_clpbrd",
                                       QStringLiteral("Problem mit der Zwischenablage: ")) +
                           e.message());
    }
}

void TMainForm::PasteToolButtonClick()
{
    TPicture pasted;
    try {
        pasted.LoadFromClipboard();
    } catch (const EGraphicError &e) {
        // Nothing usable on the clipboard: the picture stays.
        showMessage(*this, text(*this, "showmsg_except_prob_with_clpbrd",
                                       QStringLiteral("Problem mit der Zwischenablage: ")) +
                           e.message());
        return;
    }
    SaveUndo();
    auto bmp = std::make_unique<TBitmap>();
    bmp->Assign(*pasted.Graphic());
    ScanImage->Picture().SetGraphic(std::move(bmp));
    ScanImage->PictureChanged();
    FHasFileName = false;
    FFileName.clear();
    SetStatusPanelText(kFormatPanel, QString::fromLatin1(PanelBitmap));
    showPictureSize(*this);
}

void TMainForm::FileAsBmpMenuItemClick()
{
    Options.OAsBmp = !Options.OAsBmp;
    for (const char *name : {"FileAsBmpMenuItem", "FileAsBmpToolButton"})
        if (QAction *a = Item(QString::fromLatin1(name)))
            a->setChecked(Options.OAsBmp);
}

// ---------------------------------------------------------------------------
// Recent files

void TMainForm::RecentPopupMenuPopup()
{
    const QString caption = text(*this, "TheHistoryItem_Delete", QStringLiteral("Liste löschen")).toLower();
    QAction *del = RecentPopupMenu->findChild<QAction *>(QStringLiteral("DeleteListMenuItem"));
    if (!del || !RecentPopupMenu->actions().contains(del)) {
        RecentPopupMenu->addSeparator();
        del = RecentPopupMenu->addAction(caption);
        del->setObjectName(QStringLiteral("DeleteListMenuItem"));
        const QString hint = text(*this, "TheHistoryItem_Hint", QStringLiteral("Liste der zuletzt geöffneten Dateien löschen"));
        del->setToolTip(hint);
        del->setStatusTip(hint);
        connect(del, &QAction::triggered, this, &TMainForm::DeleteListMenuItemClick);
    }
    del->setEnabled(RecentPopupMenu->actions().size() > 2);
}

void TMainForm::DeleteListMenuItemClick()
{
    if (RecentList)
        RecentList->Clear();
    RecentPopupMenu->clear();
    TRegistry reg;
    reg.DeleteKey(recentKey());
}

// ---------------------------------------------------------------------------
// JPEG view scale

void TMainForm::JpgScaleMenuItemClick()
{
    // A shortcut or a menu built before the last switching may still call.
    if (!dynamic_cast<TJPEGImage *>(ScanImage->Picture().Graphic()))
        return;
    if (!JpgScaleBMForm) {
        JpgScaleBMForm = new TJpgScaleBMForm(ScanImage, this);
        JpgScaleBMForm->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
        if (FormLookHook)
            FormLookHook(JpgScaleBMForm, Options.XPContrStyle);
    }
    JpgScaleBMForm->show();
    JpgScaleBMForm->raise();
}

} // namespace zk
