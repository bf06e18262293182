// The capture controller of the main window: the capture command and its
// thirteen modes, the desktop command, the global hot keys, timed capture,
// the private messages of the program's socket, and the one executor that
// runs the post-capture plan of every capture.
#include "MainForm.h"

#include "Bitmap.h"
#include "CaptureControl.h"
#include "CapturePlan.h"
#include "CursorImage.h"
#include "DragDropFiles.h"
#include "FullScreenForm.h"
#include "SaveAviEdtForm.h"
#include "Globals.h"
#include "HistList.h"
#include "ImageControl.h"
#include "ChannelModule.h"
#include "PictureFiles.h"
#include "ScreenGrab.h"
#include "ScreenSettle.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>

Q_LOGGING_CATEGORY(lcCapture, "zk.capture", QtWarningMsg)

namespace zk {

namespace {

// Clears the busy flag however the capture ends.
class BusyScope
{
public:
    explicit BusyScope(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &m_flag;
};

bool folderExists(const QString &dir)
{
    return !dir.isEmpty() && QDir(dir).exists();
}

QString joinPath(const QString &dir, const QString &name)
{
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

// The tray icons of capture: the program's icon with a mark in the corner.
QIcon markedIcon(const QIcon &base, const QColor &mark, const QString &letter, bool lit)
{
    QPixmap pm = base.pixmap(32, 32);
    if (pm.isNull()) {
        pm = QPixmap(32, 32);
        pm.fill(Qt::darkGray);
    }
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(lit ? mark : mark.darker(180));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRect(14, 14, 18, 18));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(14, 14, 18, 18), Qt::AlignCenter, letter);
    return QIcon(pm);
}

} // namespace

// ---------------------------------------------------------------------------
// The executor of the post-capture plans.

class TMainFormCaptureExecutor : public TCaptureExecutor
{
public:
    TMainFormCaptureExecutor(TMainForm &form, const TCaptureContext &context)
        : f(form)
        , c(context)
        // The overlay's capture prepared its name before the plan started.
        , previousName(context.path == TCapturePath::Overlay ? form.FPreScanFileName : form.FFileName)
    {
    }

    TStepResult Run(const TPlanStep &step) override
    {
        qCDebug(lcCapture) << "step" << StepName(step.kind) << step.flag;
        auto &hooks = f.CaptureHooks;
        const auto call = [](const std::function<void()> &hook) {
            if (hook)
                hook();
        };
        switch (step.kind) {
        case TCaptureStep::FreeLoupe:
            call(hooks.FreeLoupe);
            break;
        case TCaptureStep::FitMainWindow:
            call(hooks.FitMainWindowToImage);
            break;
        case TCaptureStep::CenterMainWindow:
            call(hooks.CenterMainWindow);
            break;
        case TCaptureStep::ArmFocusFrame:
            call(hooks.ArmFocusFrame);
            break;
        case TCaptureStep::CreateFocusResizer:
            call(hooks.CreateFocusResizer);
            break;
        case TCaptureStep::DrawCursor:
            drawCursorNow();
            break;
        case TCaptureStep::StampCursorOnShow:
            f.FStampCursorOnShow = true;
            break;
        case TCaptureStep::CopyToClipboard:
            try {
                f.ScanImage->Picture().SaveToClipboard();
            } catch (const std::exception &e) {
                qCWarning(lcCapture) << "clipboard:" << e.what();
                return TStepResult::Failed;
            }
            break;
        case TCaptureStep::ShowApplication:
            f.ShowApplication(step.flag);
            break;
        case TCaptureStep::HideApplication:
            f.HideApplication();
            break;
        case TCaptureStep::SetMainVisible:
            if (step.flag)
                f.ShowApplication(false);
            else
                f.hide();
            break;
        case TCaptureStep::StayHidden:
            // Without a tray to come back from, hiding would lose the window.
            if (f.ZKsvcTrayIcon->Visible() && TsvcTrayIcon::TrayAvailable())
                f.hide();
            else
                f.showMinimized();
            break;
        case TCaptureStep::PlaySound:
            PlaySoundFile(CaptureSoundFile);
            break;
        case TCaptureStep::MessageBeep:
            QApplication::beep();
            break;
        case TCaptureStep::ShowSaveFormat:
            f.ShowSaveFormat();
            break;
        case TCaptureStep::StartExtEditor:
            call(hooks.StartExtGraphEditor);
            break;
        case TCaptureStep::PrepareFileName: {
            const QString ext = ::zk::FileTypeExt(f.Options.FileTyp);
            f.FHasFileName = true;
            f.FFileName = joinPath(f.Options.OutDir, ::zk::NextAutoFileName(f.Options.OutDir, f.Options.FileName, ext));
            break;
        }
        case TCaptureStep::ClearFileName:
            f.FHasFileName = false;
            break;
        case TCaptureStep::AutoSave:
            return autoSave();
        case TCaptureStep::SaveAs:
            if (!hooks.SaveAsClick)
                return TStepResult::Cancelled;
            if (!hooks.SaveAsClick(nullptr)) {
                // A cancelled dialog has cleared the name itself; a name that
                // is still set was chosen but not written (the save reported
                // why), so it must not stand for the picture or reach the
                // recent files.
                if (!f.FHasFileName)
                    return TStepResult::Cancelled;
                forgetUnwrittenName();
                return TStepResult::Failed;
            }
            f.m_lastSaved = f.FFileName;
            break;
        case TCaptureStep::AddHistory:
            // The name as written, in its own letters: Linux names are
            // case-sensitive, a lower-cased entry would not open again.
            if (f.RecentList && !f.m_lastSaved.isEmpty())
                f.RecentList->AddHistory(f.m_lastSaved);
            break;
        case TCaptureStep::Print:
            call(hooks.PrintClick);
            break;
        case TCaptureStep::StatusReady:
            f.SetStatusPanelText(0, f.Text(QStringLiteral("statbar_ready"), QStringLiteral("Bereit")));
            break;
        case TCaptureStep::ShowToolBars:
            f.ShowToolBars(step.flag);
            break;
        case TCaptureStep::ClearHotKeyCapture:
            f.FHotKeyCapture = false;
            break;
        case TCaptureStep::ReportMissingFolder:
            f.ShowCaptureMessage(QStringLiteral("showmsg_autofilecreate_mistake"),
                                 QStringLiteral("Der Ausgabeordner für die automatische Dateierstellung existiert nicht:\n"),
                                 f.Options.OutDir);
            break;
        case TCaptureStep::StopTimedCapture:
            if (f.Options.TimeScanRunning || f.TimeScanTimer->isActive())
                f.SetTimeScan(false);
            break;
        case TCaptureStep::ShowExplorers:
            for (QWidget *w : {f.DirBDForm.data(), f.NavBDForm.data()})
                if (w)
                    w->show();
            break;
        case TCaptureStep::ShowSeriesName:
            if (!f.m_lastSaved.isEmpty()) {
                f.FHasFileName = true;
                f.FFileName = f.m_lastSaved;
                f.SetStatusPanelText(6, SavedFileText(f.m_lastSaved));
            }
            f.ZKStatusBar->repaint();
            break;
        case TCaptureStep::ProcessEvents:
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            break;
        }
        return TStepResult::Done;
    }

private:
    void drawCursorNow()
    {
        f.FStampCursorOnShow = false;
        TBitmap &bitmap = f.ScanImage->Picture().Bitmap();
        if (bitmap.Empty())
            return;
        {
            std::unique_ptr<TCanvas> canvas = bitmap.Canvas();
            f.DrawCursorIntoImage(*canvas);
        }
        f.ScanImage->PictureChanged();
    }

    TStepResult autoSave()
    {
        QString written;
        try {
            if (f.CaptureHooks.AutoSaveImage)
                written = f.CaptureHooks.AutoSaveImage();
            else
                written = AutoSavePicture(f.ScanImage->Picture().Bitmap(), f.Options);
        } catch (const std::exception &e) {
            forgetUnwrittenName();
            f.ShowCaptureMessage(QStringLiteral("showmsg_except_afc_mistake"),
                                 QStringLiteral("Fehler beim automatischen Speichern: "),
                                 QString::fromUtf8(e.what()));
            return TStepResult::Failed;
        }
        f.m_lastSaved = written;
        if (written.isEmpty()) {
            f.FHasFileName = false; // a type without writer wrote nothing
            return TStepResult::Done;
        }
        f.FHasFileName = true;
        f.FFileName = written;
        // As every automatic save does, on every path (the entry is unique).
        if (f.Options.SaveHist && f.RecentList)
            f.RecentList->AddHistory(written);
        f.RefreshFileListAfterSave(false);
        return TStepResult::Done;
    }

    void forgetUnwrittenName()
    {
        f.FHasFileName = false;
        f.FFileName = previousName;
        f.m_lastSaved.clear();
    }

    TMainForm &f;
    TCaptureContext c;
    QString previousName;
};

// ---------------------------------------------------------------------------
// Set-up

void TMainForm::SetupCaptureCommands()
{
    const auto on = [this](const char *name, auto handler) {
        if (QAction *a = Item(QString::fromLatin1(name)))
            connect(a, &QAction::triggered, this, [this, a, handler] { (this->*handler)(a); });
    };
    const auto onPlain = [this](const char *name, void (TMainForm::*handler)()) {
        if (QAction *a = Item(QString::fromLatin1(name)))
            connect(a, &QAction::triggered, this, handler);
    };

    for (const char *name : {"ScanToolButton", "ScanMenuItem", "ScanMenuItem2"})
        on(name, &TMainForm::ScanClick);
    for (const char *name : {"DeskMenuItem", "Desk2MenuItem", "Desk3MenuItem"})
        on(name, &TMainForm::DeskMenuItemClick);
    for (const char *name : {"CoordMenuItem", "Coord2MenuItem", "Coord3MenuItem"})
        onPlain(name, &TMainForm::CoordMenuItemClick);
    for (const char *name : {"KoordLoupMenuItem", "CoordLoupeToolButton"})
        onPlain(name, &TMainForm::KoordLoupMenuItemClick);
    onPlain("ScanTFMenuItem", &TMainForm::ScanTFMenuItemClick);
    for (const char *name : {"PrintScanMenuItem", "PrintScanToolButton"})
        onPlain(name, &TMainForm::PrintScanMenuItemClick);
    for (const char *name : {"AutoFileMenuItem", "AutoFileToolButton"})
        onPlain(name, &TMainForm::AutoFileMenuItemClick);
    for (const char *name : {"TimeScanMenuItem", "TimeScanToolButton"})
        onPlain(name, &TMainForm::TimeScanMenuItemClick);
    for (const char *name : {"AutoFileToolButton", "CoordLoupeToolButton", "PrintScanToolButton", "TimeScanToolButton"})
        if (QAction *a = Item(QString::fromLatin1(name)))
            a->setCheckable(true);

    // The capture-mode menu: its items in mode order carry their mode as Tag.
    const QList<QAction *> modeItems = ScanShapePopupMenu->actions();
    int tag = 0;
    for (QAction *a : modeItems) {
        if (a->isSeparator() || tag >= kScanModeCount)
            continue;
        if (!a->property("Tag").isValid())
            a->setProperty("Tag", tag);
        ++tag;
        a->setCheckable(true);
        // A mode item both chooses the mode and, as the drop-down of the
        // capture button, would otherwise also run its own command.
        disconnect(a, &QAction::triggered, this, nullptr);
        connect(a, &QAction::triggered, this, [this, a] { ShapeMenuItemClick(a); });
    }
    connect(ScanShapePopupMenu, &QMenu::aboutToShow, this, &TMainForm::ScanShapePopupMenuPopup);

    TimeScanTimer->setSingleShot(false);
    connect(TimeScanTimer, &QTimer::timeout, this, &TMainForm::TimeScanTimerTimer);
    connect(this, &TMainForm::HotKeyMessage, this, &TMainForm::WMHotKey);

    m_staticTrayIcon = ZKsvcTrayIcon->Icon();

    if (!CaptureHooks.SaveAsClick) {
        CaptureHooks.SaveAsClick = [this](QObject *sender) { return SaveAsClick(sender); };
    }

    Item("AutoFileToolButton")->setChecked(Options.PersSave);
    Item("AutoFileMenuItem")->setChecked(Options.PersSave);
    Item("CoordLoupeToolButton")->setChecked(Options.Loupe);
    Item("PrintScanToolButton")->setChecked(Options.PrintScan);
    UpdateTrayIcon();
    UpdateCaptureCommands();
}

void TMainForm::UpdateCaptureCommands()
{
    const auto enable = [this](std::initializer_list<const char *> names, bool on) {
        for (const char *n : names)
            if (QAction *a = Item(QString::fromLatin1(n)))
                a->setEnabled(on);
    };
    enable({"DeskMenuItem", "Desk2MenuItem", "Desk3MenuItem", "KoordLoupMenuItem", "CoordLoupeToolButton",
            "ScanTFMenuItem", "PrintScanMenuItem", "PrintScanToolButton", "AutoFileMenuItem", "AutoFileToolButton",
            "TimeScanMenuItem", "TimeScanToolButton"},
           true);
    enable({"CoordMenuItem", "Coord2MenuItem", "Coord3MenuItem"}, bool(CaptureHooks.ShowCoordDialog));

    // Each mode item by whether its command can run.
    const auto modeWorks = [this](int tool) {
        if (tool <= 4)
            return bool(CaptureHooks.ShowScanOverlay);
        if (tool == 5)
            return true;
        if (tool == 6)
            return bool(CaptureHooks.ShowCoordDialog);
        if (tool == 7)
            return true; // the recorder
        return tool >= 8 && tool <= 12 && bool(CaptureHooks.CaptureSource(tool));
    };
    for (QAction *a : ScanShapePopupMenu->actions())
        if (!a->isSeparator() && a->property("Tag").isValid())
            a->setEnabled(modeWorks(a->property("Tag").toInt()));
    enable({"ScanToolButton", "ScanMenuItem", "ScanMenuItem2"}, modeWorks(ScanModeOf(Options.ScanTool).tool));
}

bool TMainForm::StartLocalChannel(const QString &path)
{
    if (!m_localChannel) {
        QString error;
        m_localChannel = NewChannelServer(
            [this](quint32 id, const QByteArray &payload) { QueueChannelMessage(id, payload); }, &error);
        if (!m_localChannel) {
            qCWarning(lcCapture).noquote() << "The program's socket is not available:" << error;
            return false;
        }
        // A picture from the companion program may be far larger than a
        // command.
        m_localChannel->SetMaxPayloadFor(MsgCopyData, kCopyDataMaxPayload);
    }
    const QString where = path.isEmpty() ? ChannelDefaultPath() : path;
    if (m_localChannel->Listen(where))
        return true;
    qCWarning(lcCapture).noquote() << "The program's socket is not available:" << m_localChannel->ErrorString();
    return false;
}

void TMainForm::OnChannelMessage(quint32 id, const QByteArray &payload)
{
    if (FCaptureBusy) {
        qCInfo(lcCapture) << "message" << Qt::hex << id << "ignored during a capture";
        return;
    }
    switch (id) {
    case MsgLoadFile:
        break; // the picture-file code's ChannelMessage opens it
    case MsgStartScan:
        WMStartScan();
        break;
    case MsgAfterShow:
        WMAfterShow();
        break;
    case MsgShowApplication:
        WMShowApplication();
        break;
    case MsgCopyData:
        WMCopyData(payload);
        break;
    default:
        qCInfo(lcCapture) << "unknown message" << Qt::hex << id << "ignored";
        break;
    }
}

void TMainForm::WMStartScan()
{
    ScanClick(nullptr);
}

void TMainForm::WMShowApplication()
{
    ShowApplication(true);
}

// ---------------------------------------------------------------------------
// Showing and hiding

void TMainForm::ShowApplication(bool toFront)
{
    // A cursor stamp waiting for this show goes in first, once.
    if (FStampCursorOnShow && Options.ImgWithMouse && !ScanImage->Picture().Empty()) {
        FStampCursorOnShow = false;
        {
            std::unique_ptr<TCanvas> canvas = ScanImage->Picture().Bitmap().Canvas();
            DrawCursorIntoImage(*canvas);
        }
        ScanImage->PictureChanged();
    }
    FStampCursorOnShow = false;
    if (isMinimized())
        showNormal();
    else
        show();
    if (toFront) {
        raise();
        activateWindow();
    }
}

void TMainForm::HideApplication()
{
    hide();
}

void TMainForm::ShowToolBars(bool visible)
{
    // The view-scale window belongs to the picture that was shown: it goes
    // on every call, so it never ends up in the next desktop picture.
    FreeJpgScaleForm();
    if (!visible) {
        for (QToolBar *tb : DockOrderToolBars())
            if (tb && tb->isFloating() && tb->isVisible()) {
                tb->hide();
                m_hiddenToolWindows.append(tb);
            }
        QList<QWidget *> windows = {static_cast<QWidget *>(DragDropFilesBMForm()), ColViewForm.data(),
                                    SaveAviEdtForm.data(), FullScreenForm.data(), FileOutputBDForm.data()};
        if (Options.FileExp)
            windows << DirBDForm.data() << NavBDForm.data();
        for (QWidget *w : windows)
            if (w && w->isWindow() && w->isVisible()) {
                w->hide();
                m_hiddenToolWindows.append(w);
            }
        return;
    }
    const QList<QPointer<QWidget>> hidden = std::exchange(m_hiddenToolWindows, {});
    for (const QPointer<QWidget> &w : hidden)
        if (w)
            w->show();
    activateWindow();
}

// ---------------------------------------------------------------------------
// Small operations

void TMainForm::ApplyImageStretch()
{
    ScanImage->SetStretch(Options.Stretch);
    ClientScrollBoxEx->setWidgetResizable(Options.Stretch);
    ScanImage->SetAutoSize(!Options.Stretch);
    ClientScrollBoxEx->horizontalScrollBar()->setValue(0);
    ClientScrollBoxEx->verticalScrollBar()->setValue(0);
    if (!Options.Stretch)
        ScanImage->move(0, 0);
}

void TMainForm::FreeCutRect()
{
    if (CaptureHooks.FreeMoveRect)
        CaptureHooks.FreeMoveRect();
}

void TMainForm::ShowSaveFormat()
{
    SetStatusPanelText(6, SaveFormatText(!ScanImage->Picture().Empty(), Options.PersSave, Options.FileTyp));
}

void TMainForm::ShowCaptureMessage(const QString &key, const QString &fallback, const QString &detail)
{
    // Not modal: a capture path must not stop in a nested loop while timers
    // and hot keys keep coming. Owned by the main window, and during a
    // capture shown only once the window is back: a box shown while the
    // window is hidden for the capture would end up underneath it.
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), Text(key, fallback) + detail, QMessageBox::Ok,
                                this);
    box->setObjectName(key);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    if (isVisible() || !m_holdMessages)
        box->show();
    else
        m_heldMessages.append(box);
}

void TMainForm::ShowHeldMessages()
{
    const auto held = std::exchange(m_heldMessages, {});
    for (const QPointer<QMessageBox> &box : held) {
        if (!box)
            continue;
        box->show();
        // Once more when the window has been mapped, so it is on top.
        QTimer::singleShot(0, box, [box] { box->raise(); });
    }
}

void TMainForm::RememberCursor()
{
    QString error;
    FCursorImage = ReadCursorImage(&error);
    if (FCursorImage)
        FCursorPos = FCursorImage->position;
    else
        FCursorPos = QCursor::pos();
}

std::optional<TCursorImage> TMainForm::ForeignCursorHandle() const
{
    return ReadCursorImage();
}

void TMainForm::DrawCursorIntoImage(QPainter &canvas)
{
    std::optional<TCursorImage> cursor = FCursorImage;
    if (!cursor)
        cursor = ForeignCursorHandle();
    if (!cursor)
        return;
    const QRect area = FCaptureArea.isValid()
                           ? FCaptureArea
                           : QRect(QPoint(0, 0), QSize(ScanImage->Picture().Width(), ScanImage->Picture().Height()));
    StampCursor(canvas, *cursor, FCursorPos, area);
}

bool TMainForm::GrabIntoImage(bool foregroundWindow)
{
    PictureBeingReplaced();
    TBitmap &bitmap = ScanImage->Picture().Bitmap();
    ScreenGrabber &grabber = ScreenGrabber::instance();
    bool ok = false;
    if (foregroundWindow) {
        const std::optional<QRect> frame = grabber.activeWindowFrame();
        ok = GrabForegroundWindow(bitmap);
        FCaptureArea = frame ? *frame : grabber.rootRect();
    } else {
        ok = GrabDesktop(bitmap);
        FCaptureArea = grabber.rootRect();
    }
    ScanImage->PictureChanged();
    return ok && !bitmap.Empty();
}

bool TMainForm::AfterCapture(const TCaptureContext &context)
{
    TMainFormCaptureExecutor executor(*this, context);
    // Messages of the steps wait for the window to come back; whatever still
    // waits at the end (the program stays in the tray) is shown then.
    const bool outermost = !m_holdMessages;
    m_holdMessages = true;
    const bool done = RunPlan(PlanAfterCapture(context, Options), executor);
    if (outermost) {
        m_holdMessages = false;
        ShowHeldMessages();
    }
    return done;
}

// ---------------------------------------------------------------------------
// The capture command

void TMainForm::ScanClick(QObject *)
{
    if (FCaptureBusy)
        return;
    FreeCutRect();
    if (Options.ImgWithMouse)
        RememberCursor();
    const TScanMode &mode = ScanModeOf(Options.ScanTool);
    if (!UsesOverlay(mode.tool)) {
        switch (mode.command) {
        case TScanCommand::Desktop:
            DeskMenuItemClick(Item("DeskMenuItem"));
            break;
        case TScanCommand::Coordinates:
            CoordMenuItemClick();
            break;
        case TScanCommand::AviRecorder:
            AviVdoMenuItemClick();
            break;
        default:
            if (mode.tool >= 8 && mode.tool <= 12 && CaptureHooks.CaptureSource(mode.tool))
                CaptureHooks.CaptureSource(mode.tool)();
            break;
        }
        return;
    }
    if (!CaptureHooks.ShowScanOverlay)
        return; // the overlay is not there: its items are disabled
    TBitmap desktop;
    {
        BusyScope busy(FCaptureBusy);
        SaveUndo();
        ApplyImageStretch();
        HideApplication();
        ShowToolBars(false);
        SettleScreen(FScanDelay);
        GrabDesktop(desktop);
    }
    FPreScanFileName = FFileName;
    FPreScanHasFileName = FHasFileName;
    if (Options.PersSave && folderExists(Options.OutDir)) {
        FHasFileName = true;
        FFileName = joinPath(Options.OutDir, ::zk::NextAutoFileName(Options.OutDir, Options.FileName,
                                                                    ::zk::FileTypeExt(Options.FileTyp)));
    } else if (Options.PersSave) {
        FHasFileName = false;
        ShowCaptureMessage(QStringLiteral("showmsg_autofilecreate_mistake"),
                           QStringLiteral("Der Ausgabeordner für die automatische Dateierstellung existiert nicht:\n"),
                           Options.OutDir);
        ShowApplication();
        ShowToolBars(true);
        return;
    } else {
        FHasFileName = false;
    }
    if (Options.DocCenter && CaptureHooks.CenterPicture)
        CaptureHooks.CenterPicture();
    CaptureHooks.ShowScanOverlay(desktop);
}

void TMainForm::DeskMenuItemClick(QObject *sender)
{
    if (FCaptureBusy)
        return;
    TCaptureContext context;
    context.path = TCapturePath::Desktop;
    // The tray menu's item shows the whole program again afterwards.
    const auto *action = qobject_cast<const QAction *>(sender);
    context.fromTrayMenu = (sender && sender->objectName() == QLatin1String("Desk2MenuItem")) ||
                           (action && TrayBarPopupMenu->actions().contains(const_cast<QAction *>(action)));
    {
        BusyScope busy(FCaptureBusy);
        // The pointer as it is now: the menu may be used without the
        // capture command that remembers it otherwise.
        if (Options.ImgWithMouse)
            RememberCursor();
        SaveUndo();
        ApplyImageStretch();
        FreeCutRect();
        hide();
        ShowToolBars(false);
        SettleScreen(FDesktopDelayMs);
        if (!GrabIntoImage(false)) {
            ShowApplication(true);
            ShowToolBars(true);
            ShowCaptureMessage(QStringLiteral("showmsg_grab_failed"),
                               QStringLiteral("Der Bildschirm konnte nicht aufgenommen werden."));
            return;
        }
        context.outDirExists = folderExists(Options.OutDir);
        AfterCapture(context);
    }
}

void TMainForm::CoordMenuItemClick()
{
    FreeCutRect();
    if (!CaptureHooks.ShowCoordDialog)
        return;
    // The tray's capture items stay off while the dialog is open, however it ends.
    struct TrayItemsOff
    {
        TMainForm &f;
        explicit TrayItemsOff(TMainForm &form) : f(form) { f.EnableScanMenus(false); }
        ~TrayItemsOff() { f.EnableScanMenus(true); }
    };
    {
        TrayItemsOff off(*this);
        CaptureHooks.ShowCoordDialog();
    }
    if (Options.ExtGrafikEditor && !Options.ZKVisAScan) {
        HideApplication();
        ShowToolBars(false);
    } else {
        ShowToolBars(true);
    }
}

void TMainForm::ShapeMenuItemClick(QObject *sender)
{
    if (!sender)
        return;
    const int tag = sender->property("Tag").toInt();
    Options.ScanTool = std::uint8_t(ScanModeOf(tag).tool);
    ScanShapePopupMenuPopup();
    UpdateCaptureCommands();
}

void TMainForm::ScanShapePopupMenuPopup()
{
    for (QAction *a : ScanShapePopupMenu->actions())
        if (!a->isSeparator() && a->property("Tag").isValid())
            a->setChecked(a->property("Tag").toInt() == Options.ScanTool);
}

// ---------------------------------------------------------------------------
// Toggles

void TMainForm::KoordLoupMenuItemClick()
{
    Options.Loupe = !Options.Loupe;
    Item("KoordLoupMenuItem")->setChecked(Options.Loupe);
    Item("CoordLoupeToolButton")->setChecked(Options.Loupe);
}

void TMainForm::ScanTFMenuItemClick()
{
    Options.FilledShape = !Options.FilledShape;
    Item("ScanTFMenuItem")->setChecked(Options.FilledShape);
}

void TMainForm::PrintScanMenuItemClick()
{
    Options.PrintScan = !Options.PrintScan;
    Item("PrintScanMenuItem")->setChecked(Options.PrintScan);
    Item("PrintScanToolButton")->setChecked(Options.PrintScan);
    UpdateTrayIcon();
}

void TMainForm::AutoFileMenuItemClick()
{
    if (folderExists(Options.OutDir)) {
        Options.PersSave = !Options.PersSave;
    } else {
        TOpenDialogScope scope(QStringLiteral("Bestätigung"));
        QMessageBox box(QMessageBox::Question, windowTitle(),
                        Text(QStringLiteral("msgdlg_mistake_fastactivate_for_autofilecreate"),
                             QStringLiteral("Der Ausgabeordner für die automatische Dateierstellung existiert nicht. "
                                            "Einstellungen öffnen?")),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName("AutoFileFolderQuestion");
        if (box.exec() == QMessageBox::Yes && CaptureHooks.OpenOptionsDialog)
            CaptureHooks.OpenOptionsDialog(nullptr);
    }
    // The items keep the option's state, whatever the click did to them.
    Item("AutoFileMenuItem")->setChecked(Options.PersSave);
    Item("AutoFileToolButton")->setChecked(Options.PersSave);
    ShowSaveFormat();
    ZKStatusBar->repaint();
}

// ---------------------------------------------------------------------------
// Timed capture

void TMainForm::TimeScanMenuItemClick()
{
    // A running series is stopped by the same command that started it.
    if (Options.TimeScanRunning) {
        SetTimeScan(false);
        return;
    }
    const auto start = [this] {
        Options.TimeScanRunning = true;
        TimeScanTimer->setInterval(TimedIntervalMs(Options));
        SetTimeScan(true);
    };
    if (Options.PersSave) {
        if (Options.IsManualInputFile) {
            ShowCaptureMessage(QStringLiteral("showmsg_choice_another_savemode"),
                               QStringLiteral("Für den zeitgesteuerten Scan bitte eine automatische Benennung wählen."));
            if (CaptureHooks.OpenOptionsDialog)
                CaptureHooks.OpenOptionsDialog(nullptr);
        } else {
            start();
        }
    } else {
        bool yes = false;
        {
            TOpenDialogScope scope(QStringLiteral("Bestätigung"));
            QMessageBox box(QMessageBox::Information, windowTitle(),
                            Text(QStringLiteral("msgdlg_func_activate_autofilecreate_activate"),
                                 QStringLiteral("Diese Funktion benötigt die automatische Dateierstellung. "
                                                "Jetzt einschalten?")),
                            QMessageBox::Yes | QMessageBox::No, this);
            box.setObjectName("TimeScanQuestion");
            yes = box.exec() == QMessageBox::Yes;
        }
        if (yes) {
            AutoFileMenuItemClick();
            if (Options.PersSave)
                start();
        }
    }
    Item("TimeScanMenuItem")->setChecked(Options.TimeScanRunning);
    Item("TimeScanToolButton")->setChecked(Options.TimeScanRunning);
}

void TMainForm::SetTimeScan(bool on)
{
    FTimeScanDone = 0;
    Options.TimeScanRunning = on;
    TimeScanTimer->setInterval(TimedIntervalMs(Options));
    if (on)
        TimeScanTimer->start();
    else
        TimeScanTimer->stop();
    Item("TimeScanMenuItem")->setChecked(on);
    Item("TimeScanToolButton")->setChecked(on);
    UpdateTrayIcon();
}

void TMainForm::TimeScanTimerTimer()
{
    if (FCaptureBusy)
        return; // the tick comes again
    const int count = TimedSeriesCount(Options);
    if (!TimedTickCaptures(Options.TimeScanRunning, FTimeScanDone, count)) {
        if (Options.TimeScanRunning)
            SetTimeScan(false);
        return;
    }
    BusyScope busy(FCaptureBusy);
    ++FTimeScanDone;
    const int done = FTimeScanDone;
    const bool wasVisible = isVisible();
    HideApplication();
    // The first tick hides a visible window: wait until it has really gone.
    SettleScreen(wasVisible ? FScanDelay : 0);
    GrabIntoImage(Options.ScanDest != 0);
    TCaptureContext context;
    context.path = TCapturePath::Timed;
    context.seriesDone = done;
    context.seriesCount = count;
    context.outDirExists = folderExists(Options.OutDir);
    AfterCapture(context);
}

void TMainForm::UpdateTrayIcon()
{
    const TTrayIconChoice choice = ChooseTrayIcon(Options.TimeScanRunning, Options.PrintScan, Options.PersSave);
    ZKsvcTrayIcon->SetCycleIcons(false);
    ZKsvcTrayIcon->SetImageList({});
    ZKsvcTrayIcon->SetImageIndex(0);
    if (choice.set == TTrayIconSet::Static || !choice.cycling) {
        ZKsvcTrayIcon->SetIcon(m_staticTrayIcon);
        return;
    }
    const bool print = choice.set == TTrayIconSet::Print || choice.set == TTrayIconSet::PrintTime;
    const bool time = choice.set == TTrayIconSet::Time || choice.set == TTrayIconSet::PrintTime;
    const QString letter = print && time ? QStringLiteral("PT") : print ? QStringLiteral("P") : QStringLiteral("T");
    const QColor mark = print ? QColor(0x1f, 0x6f, 0xd0) : QColor(0xd0, 0x40, 0x20);
    ZKsvcTrayIcon->SetImageList(
        {markedIcon(m_staticTrayIcon, mark, letter, true), markedIcon(m_staticTrayIcon, mark, letter, false)});
    ZKsvcTrayIcon->SetCycleIcons(true);
}

// ---------------------------------------------------------------------------
// Hot keys

void TMainForm::WMHotKey(int id)
{
    if (FRecorderActive || FCaptureBusy)
        return;
    FHotKeyCapture = true;
    ShowSaveFormat();
    TCaptureContext context;
    context.path = TCapturePath::HotKey;
    context.wasVisible = isVisible();
    const THotKeyRole role = HotKeyRole(id, FHotKeyIds);
    context.hotKeyRole = int(role);
    {
        BusyScope busy(FCaptureBusy);
        switch (role) {
        case THotKeyRole::ForegroundWindow:
            if (Options.ImgWithMouse)
                RememberCursor();
            setVisible(Options.WithZelkoraWin);
            if (!Options.WithZelkoraWin)
                ShowToolBars(false);
            SettleScreen(FHotKeyDelayMs);
            context.grabbed = GrabIntoImage(true);
            break;
        case THotKeyRole::Desktop:
            if (Options.ImgWithMouse)
                RememberCursor();
            if (!Options.WithZelkoraWin)
                HideApplication();
            ShowToolBars(Options.WithZelkoraWin);
            SettleScreen(FHotKeyDelayMs);
            context.grabbed = GrabIntoImage(false);
            break;
        default:
            break;
        }
    }
    switch (role) {
    case THotKeyRole::Interactive:
        FHotKeyCapture = false;
        ScanClick(nullptr);
        break;
    case THotKeyRole::ShowHide:
        ZKPopupMenuItemClick();
        break;
    case THotKeyRole::TimedToggle:
        if (Options.TimeScanRunning)
            SetTimeScan(false);
        else
            TimeScanMenuItemClick();
        break;
    case THotKeyRole::CursorStamp:
        if (CaptureHooks.SetStampCursor)
            CaptureHooks.SetStampCursor(Options.HotkeyCursor);
        return;
    default:
        break;
    }
    context.outDirExists = folderExists(Options.OutDir);
    BusyScope busy(FCaptureBusy);
    AfterCapture(context);
}

} // namespace zk
