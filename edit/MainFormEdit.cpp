// The picture edit commands of the main window: the picture items of the
// "Bearbeiten" menu, the picture-tool bar with its two drop-down menus, the
// tiling of a stored bitmap and the one level of undo.
#include "MainForm.h"

#include "Bitmap.h"
#include "BitmapFilters.h"
#include "CaptureControl.h"
#include "EditCommands.h"
#include "EditDialogs.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "PicturePin.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace zk {

namespace {

// The hourglass for the length of one command.
class TBusyCursor
{
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};

QSize ScreenSize()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(1920, 1080);
}

// Items of the commands here, enabled once their code is wired.
const char *const kEditItems[] = {
    "MirrorHMenuItem",   "MirrorHToolButton", "MirrorVMenuItem",    "MirrorVToolButton",
    "RotateMenuItem",    "RotateToolButton",  "InvertMenuItem",     "InvertToolButton",
    "GrayStepMenuItem",  "GrayStepToolButton", "HellMenuItem",      "HellToolButton",
    "DarkMenuItem",      "DarkToolButton",    "MoreKontrMenuItem",  "MoreKontrToolButton",
    "RGBChanMenuItem",   "RGBChanToolButton", "GlttenMenuItem",     "GlattToolButton",
    "GlttenMenuItem2",   "Scale2MenuItem",    "TmpScaleMenuItem",   "ScaleToolButton",
    "ValScaleMenuItem",  "BorderMenuItem",    "FeetLineMenuItem",   "BmpKachMenuItem",
    "ValScalMenuItem",   "PersScalMenuItem",  "TmpScalMenuItem",    "StdAntiaMenuItem",
    "UserAntiaMenuItem",
};

} // namespace

// ---------------------------------------------------------------------------
// Wiring

void TMainForm::SetupEditCommands()
{
    // The scale-by-value item stands first among the scale items.
    if (!Item("ValScaleMenuItem")) {
        if (QMenu *grafik = SubMenu("GrafikMenuItem")) {
            QAction *val = new QAction(QStringLiteral("Per &Wert..."), grafik);
            grafik->insertAction(Item("TmpScaleMenuItem"), val);
            RegisterItem(val, "ValScaleMenuItem");
        }
    }
    Item("Scale2MenuItem")->setProperty("Tag", 1);
    Item("TmpScaleMenuItem")->setProperty("Tag", 2);

    // The drop-down menus of the scale and smoothing tool buttons.
    if (ScalePopupMenu->isEmpty()) {
        const std::pair<const char *, const char *> rows[] = {
            {"ValScalMenuItem", "Per Wert"},
            {"PersScalMenuItem", "Persistente Skalierung"},
            {"TmpScalMenuItem", "Temporäre Skalierung"}};
        int tag = 0;
        for (const auto &[name, caption] : rows) {
            QAction *a = AddItem(ScalePopupMenu, name, QString::fromUtf8(caption));
            a->setProperty("Tag", tag++);
            a->setCheckable(true);
            connect(a, &QAction::triggered, this, [this, a] { TmpScalMenuItemClick(a); });
        }
    }
    if (AntiaPopupMenu->isEmpty()) {
        const std::pair<const char *, const char *> rows[] = {{"StdAntiaMenuItem", "Standard glätten"},
                                                              {"UserAntiaMenuItem", "Benutzerdefiniert"}};
        int tag = 0;
        for (const auto &[name, caption] : rows) {
            QAction *a = AddItem(AntiaPopupMenu, name, QString::fromUtf8(caption));
            a->setProperty("Tag", tag++);
            a->setCheckable(true);
            connect(a, &QAction::triggered, this, [this, a] { StdAntiaMenuItemClick(a); });
        }
    }
    connect(ScalePopupMenu, &QMenu::aboutToShow, this, &TMainForm::ScalePopupMenuPopup);
    connect(AntiaPopupMenu, &QMenu::aboutToShow, this, &TMainForm::AntiaPopupMenuPopup);
    const auto dropDown = [this](const char *button, QMenu *menu) {
        if (auto *tb = qobject_cast<QToolButton *>(GrafikEditToolBar->widgetForAction(Item(button)))) {
            tb->setMenu(menu);
            tb->setPopupMode(QToolButton::MenuButtonPopup);
        }
    };
    dropDown("ScaleToolButton", ScalePopupMenu);
    dropDown("GlattToolButton", AntiaPopupMenu);

    const auto bind = [this](std::initializer_list<const char *> names, void (TMainForm::*handler)()) {
        for (const char *n : names)
            connect(Item(QString::fromLatin1(n)), &QAction::triggered, this, handler);
    };
    bind({"MirrorHMenuItem", "MirrorHToolButton"}, &TMainForm::MirrowingH);
    bind({"MirrorVMenuItem", "MirrorVToolButton"}, &TMainForm::MirrowingV);
    bind({"RotateMenuItem", "RotateToolButton"}, &TMainForm::RotationClick);
    bind({"InvertMenuItem", "InvertToolButton"}, &TMainForm::InvertClick);
    bind({"GrayStepMenuItem", "GrayStepToolButton"}, &TMainForm::GrayStepClick);
    bind({"HellMenuItem", "HellToolButton"}, &TMainForm::HellClick);
    bind({"DarkMenuItem", "DarkToolButton"}, &TMainForm::DarkToolButtonClick);
    bind({"MoreKontrMenuItem", "MoreKontrToolButton"}, &TMainForm::KontrastClick);
    bind({"RGBChanMenuItem", "RGBChanToolButton"}, &TMainForm::RGBChanMenuItemClick);
    bind({"GlttenMenuItem", "GlattToolButton"}, &TMainForm::GlttenMenuItemClick);
    bind({"GlttenMenuItem2"}, &TMainForm::GlttenMenuItem2Click);
    bind({"ValScaleMenuItem"}, &TMainForm::ValScaleMenuItemClick);
    bind({"BorderMenuItem"}, &TMainForm::BorderMenuItemClick);
    bind({"FeetLineMenuItem"}, &TMainForm::FeetLineMenuItemClick);
    bind({"BmpKachMenuItem"}, &TMainForm::Kacheln1Click);
    bind({"WaterMenuItem"}, &TMainForm::WaterMenuItemClick);
    bind({"UndoMenuItem"}, &TMainForm::UndoMenuItemClick);
    for (const char *n : {"Scale2MenuItem", "TmpScaleMenuItem", "ScaleToolButton"}) {
        QAction *a = Item(QString::fromLatin1(n));
        connect(a, &QAction::triggered, this, [this, a] { ScaleClick(a); });
    }

    Item("FeetLineMenuItem")->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    QAction *undo = Item("UndoMenuItem");
    undo->setStatusTip(QStringLiteral("Letzte Aktion rückgängig machen"));
    undo->setToolTip(undo->statusTip());
    undo->setEnabled(false);
    // Applying a watermark is not part of the program; its dialog stays
    // reachable only from code.
    QAction *water = Item("WaterMenuItem");
    water->setStatusTip(QStringLiteral("Nicht implementiert"));
    water->setEnabled(false);
    for (const char *n : kEditItems)
        if (QAction *a = Item(QString::fromLatin1(n)))
            a->setEnabled(true);
    // The form takes its language once its items are all made (the texts
    // were read at creation).
    ApplyStartLanguage();
}

// ---------------------------------------------------------------------------
// Shared steps

namespace {

// The bitmap the commands change; null while the picture is empty.
TBitmap *EditTarget(TMainForm &f)
{
    if (f.ScanImage->Picture().Empty())
        return nullptr;
    return &EditableBitmap(f.ScanImage->Picture());
}

// The control takes the picture's new size and repaints.
void EditDone(TMainForm &f)
{
    f.ScanImage->PictureChanged();
}

void ReportEditFailure(TMainForm &f, const QString &message)
{
    QMessageBox::warning(&f, f.windowTitle(),
                         f.Text(QStringLiteral("showmsg_edit_failed"),
                                QStringLiteral("Die Grafik konnte nicht bearbeitet werden:")) +
                             QLatin1Char('\n') + message);
}

// The main window just large enough to show the whole picture: the capture
// area's fitting when it is there, else within the screen's free area.
void FitWindowToPicture(TMainForm &f)
{
    if (f.CaptureHooks.FitMainWindowToImage) {
        f.CaptureHooks.FitMainWindowToImage();
        return;
    }
    const QScreen *screen = f.screen() ? f.screen() : QGuiApplication::primaryScreen();
    if (!screen || f.isMaximized() || f.isFullScreen())
        return;
    const QSize picture = f.ScanImage->size();
    const QSize view = f.ClientScrollBoxEx->viewport()->size();
    const QSize extra = f.size() - view;
    const QRect free = screen->availableGeometry();
    f.resize(std::min(picture.width() + extra.width(), free.width()),
             std::min(picture.height() + extra.height(), free.height()));
}

// After a change of the picture's size: the focus frame follows it, or a
// centred picture is centred again.
void RelayoutPicture(TMainForm &f)
{
    if (f.Options.FocusMode) {
        if (f.CaptureHooks.CreateFocusResizer)
            f.CaptureHooks.CreateFocusResizer();
    } else if (f.Options.DocCenter && f.CaptureHooks.CenterPicture) {
        f.CaptureHooks.CenterPicture();
    }
}

template <class Dialog>
void PrepareEditDialog(TMainForm &f, Dialog &dialog)
{
    dialog.SetLanguage(f.ZKMultiLanguage->Script(), f.Options.Language);
    if (f.FormLookHook)
        f.FormLookHook(&dialog, f.Options.XPContrStyle);
}

// Commands without a dialog: snapshot, pixel format, filter, repaint.
// pfCustom: the filter sets the format itself, in the same pass as its work
// (the 24-bit commands narrow a 32-bit picture row by row as they go).
void RunFilter(TMainForm &f, TPixelFormat format, const std::function<void(TBitmap &)> &filter)
{
    if (f.ScanImage->Picture().Empty())
        return;
    f.SaveUndo();
    try {
        TBitmap &bmp = *EditTarget(f);
        if (format != pfCustom)
            bmp.SetPixelFormat(format);
        filter(bmp);
    } catch (const std::exception &e) {
        ReportEditFailure(f, QString::fromUtf8(e.what()));
    }
    EditDone(f);
}

// The edit a dialog asked for, on the picture the dialog was opened for:
// the window's, or, when a hot-key capture replaced it meanwhile, the kept
// one, which then waits behind undo while the capture stays in the window.
// snapshot: the undo snapshot is taken now (not before the dialog).
void FinishEdit(TMainForm &f, TPicturePin &pin, bool snapshot, const std::function<void(TBitmap &)> &edit)
{
    const bool replaced = pin.Replaced();
    TBitmap *target = replaced ? pin.OpenedBitmap() : EditTarget(f);
    if (!target)
        return;
    if (snapshot && !replaced)
        f.SaveUndo();
    try {
        edit(*target);
    } catch (const std::exception &e) {
        ReportEditFailure(f, QString::fromUtf8(e.what()));
    }
    if (replaced)
        pin.KeepBehindUndo();
    else
        EditDone(f);
}

} // namespace

// ---------------------------------------------------------------------------
// Undo

void TMainForm::SaveUndo()
{
    if (!UndoBitmap)
        UndoBitmap = std::make_unique<TBitmap>();
    QAction *undo = Item("UndoMenuItem");
    const TSnapshotResult taken = TakeSnapshot(ScanImage->Picture(), *UndoBitmap);
    if (taken != TSnapshotResult::NoGraphic) {
        FUndoFileName = FFileName;
        FUndoHasFileName = FHasFileName;
        FUndoFormatText = StatusPanelText(6);
    }
    switch (taken) {
    case TSnapshotResult::NoGraphic:
        return;
    case TSnapshotResult::Taken:
        undo->setEnabled(true);
        return;
    case TSnapshotResult::Failed:
        // Undo would bring back an older picture than the user expects.
        undo->setEnabled(false);
        SetStatusPanelText(0, Text(QStringLiteral("showmsg_undo_failed"),
                                   QStringLiteral("Der Zustand vor dieser Änderung konnte nicht "
                                                  "gesichert werden; Rückgängig ist dafür nicht möglich.")));
        return;
    }
}

void TMainForm::UndoMenuItemClick()
{
    QAction *undo = Item("UndoMenuItem");
    if (!undo->isEnabled() || !UndoBitmap)
        return;
    RestoreSnapshot(ScanImage->Picture(), *UndoBitmap);
    undo->setEnabled(false);
    FFileName = FUndoFileName;
    FHasFileName = FUndoHasFileName;
    SetStatusPanelText(6, FUndoFormatText);
    EditDone(*this);
    const QSize screen = ScreenSize();
    if (Options.AutoWinSize && ScanImage->Picture().Width() < screen.width() &&
        ScanImage->Picture().Height() < screen.height())
        FitWindowToPicture(*this);
}

// ---------------------------------------------------------------------------
// Filters without a dialog

void TMainForm::MirrowingH()
{
    RunFilter(*this, pfCustom, [](TBitmap &b) { MirrorBitmapH(b); });
}

void TMainForm::MirrowingV()
{
    RunFilter(*this, pfCustom, [](TBitmap &b) { MirrorBitmapV(b); });
}

void TMainForm::RotationClick()
{
    // The turn takes 24 and 32 bits as they are and brings other depths to
    // 24 bits itself.
    RunFilter(*this, pfCustom, [](TBitmap &b) { RotateBitmap90(b); });
    RelayoutPicture(*this);
}

void TMainForm::InvertClick()
{
    // Inverting gives 32 bits; a 24-bit picture is widened and inverted at once.
    RunFilter(*this, pfCustom, [](TBitmap &b) { InvertBitmap(b); });
}

void TMainForm::GrayStepClick()
{
    RunFilter(*this, pfCustom, [](TBitmap &b) { GrayBitmap(b); });
}

void TMainForm::HellClick()
{
    RunFilter(*this, pfCustom, [](TBitmap &b) { BrightnessBitmap(b, 15); });
}

void TMainForm::DarkToolButtonClick()
{
    RunFilter(*this, pfCustom, [](TBitmap &b) { BrightnessBitmap(b, -15); });
}

void TMainForm::KontrastClick()
{
    RunFilter(*this, pfCustom, [](TBitmap &b) { ContrastBitmap(b, 55); });
}

// ---------------------------------------------------------------------------
// Colour channels and smoothing

void TMainForm::RGBChanMenuItemClick()
{
    TRGBChannelsBMForm dialog(this);
    PrepareEditDialog(*this, dialog);
    TOpenDialogScope scope(dialog.windowTitle());
    TPicturePin pin(*this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    TBusyCursor busy;
    FinishEdit(*this, pin, true,
               [&dialog](TBitmap &b) { ShiftRGB(b, dialog.RedShift, dialog.GreenShift, dialog.BlueShift); });
}

void TMainForm::GlttenMenuItemClick()
{
    if (SmoothKind == smUserDefined) {
        GlttenMenuItem2Click();
        return;
    }
    if (ScanImage->Picture().Empty())
        return;
    QString failure;
    {
        TBusyCursor busy;
        EnableChildControls(this, false);
        SaveUndo();
        try {
            // The picture's own rectangle, whatever the view's scroll or centring.
            SmoothWholeBitmap(*EditTarget(*this));
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        EnableChildControls(this, true);
    }
    if (!failure.isEmpty())
        ReportEditFailure(*this, failure);
    EditDone(*this);
}

void TMainForm::GlttenMenuItem2Click()
{
    TAntialiasing2BMForm dialog(this);
    PrepareEditDialog(*this, dialog);
    TOpenDialogScope scope(dialog.windowTitle());
    TPicturePin pin(*this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    TBusyCursor busy;
    FinishEdit(*this, pin, true, [&dialog](TBitmap &b) { SoftenWholeBitmap(b, dialog.AntialiasValue); });
}

void TMainForm::StdAntiaMenuItemClick(QObject *Sender)
{
    SmoothKind = SmoothKindForTag(SmoothKind, Sender->property("Tag").toInt());
}

void TMainForm::AntiaPopupMenuPopup()
{
    for (QAction *a : AntiaPopupMenu->actions())
        a->setChecked(a->property("Tag").toInt() == SmoothKind);
}

// ---------------------------------------------------------------------------
// Scaling

void TMainForm::ScaleClick(QObject *Sender)
{
    // Menu items choose the kind; the tool button repeats the last one.
    if (Sender && Sender->objectName().endsWith(QLatin1String("MenuItem")))
        ScaleKind = ScaleKindForTag(ScaleKind, Sender->property("Tag").toInt());
    switch (ScaleKind) {
    case skByValue:
        ValScaleMenuItemClick();
        break;
    case skPersistent:
        PersistentScale();
        break;
    case skTemporary:
        TemporaryScale();
        break;
    }
}

void TMainForm::TmpScalMenuItemClick(QObject *Sender)
{
    ScaleKind = ScaleKindForTag(ScaleKind, Sender->property("Tag").toInt());
}

void TMainForm::ScalePopupMenuPopup()
{
    for (QAction *a : ScalePopupMenu->actions())
        a->setChecked(a->property("Tag").toInt() == ScaleKind);
}

void TMainForm::PersistentScale()
{
    TScaleBMForm dialog(this);
    PrepareEditDialog(*this, dialog);
    TOpenDialogScope scope(dialog.windowTitle());
    TPicturePin pin(*this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (pin.Replaced()) {
        if (dialog.ScaleFactor != 0)
            FinishEdit(*this, pin, false, [&dialog](TBitmap &b) { PersistentScaleBitmap(b, dialog.ScaleFactor); });
        return;
    }
    SaveUndo();
    ScanImage->SetStretch(false);
    ScanImage->SetAutoSize(true);
    if (dialog.ScaleFactor == 0 || ScanImage->Picture().Empty())
        return;
    FinishEdit(*this, pin, false, [&dialog](TBitmap &b) { PersistentScaleBitmap(b, dialog.ScaleFactor); });
    RelayoutPicture(*this);
}

void TMainForm::TemporaryScale()
{
    TGraphDimBMForm dialog(this);
    // This dialog keeps its German texts.
    dialog.Preset(ScanImage->Picture().Width(), ScanImage->Picture().Height(), 100, 100);
    TOpenDialogScope scope(dialog.windowTitle());
    TPicturePin pin(*this);
    // A view of the picture the dialog was opened for: a capture that
    // replaced it keeps its own view.
    if (dialog.exec() != QDialog::Accepted || pin.Replaced())
        return;
    SaveUndo();
    ScanImage->SetStretch(true);
    ScanImage->SetAutoSize(false);
    if (dialog.PixelMode())
        ScanImage->resize(dialog.PixWidth(), dialog.PixHeight());
    ScanImage->update();
    RelayoutPicture(*this);
}

void TMainForm::ValScaleMenuItemClick()
{
    if (ScanImage->Picture().Empty())
        return;
    TNewDimPicBMForm dialog(this);
    PrepareEditDialog(*this, dialog);
    dialog.Preset(ScreenSize(), QSize(ScanImage->Picture().Width(), ScanImage->Picture().Height()));
    TOpenDialogScope scope(dialog.windowTitle());
    TPicturePin pin(*this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (pin.Replaced()) {
        FinishEdit(*this, pin, false,
                   [&dialog](TBitmap &b) { StretchBitmap(b, dialog.NewWidth(), dialog.NewHeight()); });
        return;
    }
    SaveUndo();
    StretchPicture(dialog.NewWidth(), dialog.NewHeight());
}

void TMainForm::StretchPicture(int width, int height)
{
    try {
        StretchBitmap(*EditTarget(*this), width, height);
    } catch (const std::exception &e) {
        ReportEditFailure(*this, QString::fromUtf8(e.what()));
    }
    EditDone(*this);
}

// ---------------------------------------------------------------------------
// Border, footnote, tiling, watermark

void TMainForm::BorderMenuItemClick()
{
    if (ScanImage->Picture().Empty())
        return;
    SaveUndo();
    TBorderPropertyBMForm dialog(this);
    PrepareEditDialog(*this, dialog);
    TOpenDialogScope scope(dialog.windowTitle());
    TPicturePin pin(*this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    FinishEdit(*this, pin, false, [&dialog](TBitmap &b) {
        DrawBorder(b, dialog.LeftWidth(), dialog.TopWidth(), dialog.BorderColor, dialog.BottomWidth(),
                   dialog.RightWidth());
    });
}

void TMainForm::FeetLineMenuItemClick()
{
    if (ScanImage->Picture().Empty())
        return;
    SaveUndo();
    TBitmap *bmp = EditTarget(*this);
    try {
        AddFootnoteRows(*bmp);
    } catch (const std::exception &e) {
        ReportEditFailure(*this, QString::fromUtf8(e.what()));
        return;
    }
    EditDone(*this);
    if (Options.AutoWinSize)
        FitWindowToPicture(*this);

    QInputDialog query(this);
    query.setObjectName(QStringLiteral("FeetLineInputQuery"));
    query.setWindowTitle(Text(QStringLiteral("inputquery__insert_txt"), QStringLiteral("Text einfügen")));
    query.setLabelText(Text(QStringLiteral("inputquery_feetline_insert"), QStringLiteral("Text der Fußnote:")));
    query.setTextValue(QString());
    TOpenDialogScope scope(query.windowTitle());
    TPicturePin pin(*this);
    const bool accepted = query.exec() == QDialog::Accepted;
    if (pin.Replaced()) {
        // The rows were added to the picture the query was opened for.
        FinishEdit(*this, pin, false, [&](TBitmap &b) {
            if (accepted)
                DrawFootnoteText(b, query.textValue(), Options.FontName, Options.TxtPenWidth, Options.TxtPenColr);
            else
                RemoveFootnoteRows(b);
        });
        return;
    }
    if (accepted) {
        DrawFootnoteText(*bmp, query.textValue(), Options.FontName, Options.TxtPenWidth, Options.TxtPenColr);
    } else {
        RemoveFootnoteRows(*bmp);
        EditDone(*this);
        FitWindowToPicture(*this);
    }
    EditDone(*this);
}

void TMainForm::KachOpenPictureDialogShow(QObject *Sender)
{
    auto *dialog = qobject_cast<QFileDialog *>(Sender);
    if (!dialog)
        return;
    dialog->setWindowTitle(Text(QStringLiteral("opendlg_kach_title"), QStringLiteral("Bitmap kacheln")));
    dialog->setLabelText(QFileDialog::Accept,
                         Text(QStringLiteral("opendlg_kach_btn_caption"), QStringLiteral("&Kacheln")));
}

void TMainForm::Kacheln1Click()
{
    QFileDialog open(this, QStringLiteral("Bitmap kacheln"));
    open.setObjectName(QStringLiteral("KachOpenPictureDialog"));
    open.setOption(QFileDialog::DontUseNativeDialog);
    open.setNameFilter(Text(QStringLiteral("opendlg_filter_bmp"), QStringLiteral("Windows Bitmap")) +
                       QStringLiteral(" (*.bmp)"));
    open.setFileMode(QFileDialog::AnyFile);
    open.setAcceptMode(QFileDialog::AcceptOpen);
    KachOpenPictureDialogShow(&open);
    {
        TOpenDialogScope scope(open.windowTitle());
        if (open.exec() != QDialog::Accepted || open.selectedFiles().isEmpty())
            return;
    }
    const QString file = open.selectedFiles().constFirst();

    if (!QFileInfo::exists(file)) {
        if (ScanImage->Picture().Empty()) {
            QMessageBox::information(this, windowTitle(),
                                     Text(QStringLiteral("showmsg_no_graphic_file_wsload"),
                                          QStringLiteral("Die Bitmap-Datei existiert nicht, und es ist keine "
                                                         "Grafik geladen, die unter diesem Namen gespeichert "
                                                         "werden könnte!")));
            return;
        }
        try {
            EditTarget(*this)->SaveToFile(file);
        } catch (const std::exception &e) {
            ReportEditFailure(*this, QString::fromUtf8(e.what()));
            return;
        }
    }

    SaveUndo();
    const QSize screen = ScreenSize();
    QSize size = ScanImage->Picture().Empty()
                     ? screen
                     : QSize(ScanImage->Picture().Width(), ScanImage->Picture().Height());
    const auto ask = [this](const QString &key, const QString &fallback, int preset, int *out) {
        QInputDialog box(this);
        box.setObjectName(QStringLiteral("KachSizeInputBox"));
        box.setWindowTitle(Text(key, fallback));
        box.setLabelText(Text(QStringLiteral("inputbox_insert_integer"),
                              QStringLiteral("Bitte eine ganze Zahl eingeben:")));
        box.setTextValue(QString::number(preset));
        // An input box gives its default back when cancelled.
        const QString text = box.exec() == QDialog::Accepted ? box.textValue() : QString::number(preset);
        QString error;
        const std::optional<int> v = ParseTileTargetSize(text, &error);
        if (!v) {
            QMessageBox::warning(this, windowTitle(),
                                 Text(QStringLiteral("showmsg_except_no_int"),
                                      QStringLiteral("Keine gültige ganze Zahl: ")) +
                                     error);
            return false;
        }
        *out = *v;
        return true;
    };
    int w = size.width(), h = size.height();
    if (ask(QStringLiteral("inputbox_insert_width"), QStringLiteral("Breite eingeben"), screen.width(), &w))
        ask(QStringLiteral("inputbox_insert_height"), QStringLiteral("Höhe eingeben"), screen.height(), &h);

    TBusyCursor busy;
    try {
        TBitmap tiled;
        TileFileOver(file, tiled, w, h);
        ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(tiled));
    } catch (const EEmptyTileError &) {
        QMessageBox::warning(this, windowTitle(),
                             Text(QStringLiteral("showmsg_tile_empty"),
                                  QStringLiteral("Die Kachel-Bitmap enthält keine Pixel; es wurde nichts gekachelt.")));
        return;
    } catch (const EGraphicError &e) {
        ReportEditFailure(*this, e.message());
        return;
    } catch (const std::exception &e) {
        ReportEditFailure(*this, QString::fromUtf8(e.what()));
        return;
    }
    EditDone(*this);
    SetStatusPanelText(6, QStringLiteral("bmp"));
    FFileName = file;
    FHasFileName = true;
    ZKStatusBar->update();
}

void TMainForm::WaterMenuItemClick()
{
    TWatermarkBMForm dialog(this);
    PrepareEditDialog(*this, dialog);
    TOpenDialogScope scope(dialog.windowTitle());
    dialog.exec();
}

} // namespace zk
