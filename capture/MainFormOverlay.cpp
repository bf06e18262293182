// The capture overlay and the typed-coordinates dialog on the main window.
// The overlay is made once when the program starts and reused for every
// capture of modes 0 to 4; what it or the dialog captures comes back here,
// goes into ScanImage and runs the post-capture actions of its path.
#include "Bitmap.h"
#include "CoordScan.h"
#include "DockSite.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "Scan.h"
#include "ScanGeometry.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QScreen>
#include <QtMath>
#include <QStatusBar>

namespace zk {

namespace {

// What the overlay and the dialog need from the main window. A child of the
// main window, so it lives exactly as long as the window the overlay serves.
class TOverlayBridge : public QObject, public TScanHost
{
public:
    explicit TOverlayBridge(TMainForm *form)
        : QObject(form)
        , f(*form)
    {
    }

    const TZelkoraOptions &ScanOptions() const override { return f.Options; }

    void DrawCursorIntoImage(QPainter &canvas) override
    {
        // The frozen picture is the whole screen, whatever ScanImage holds.
        const QRect saved = f.FCaptureArea;
        f.FCaptureArea = QRect(0, 0, canvas.device()->width(), canvas.device()->height());
        f.DrawCursorIntoImage(canvas);
        f.FCaptureArea = saved;
    }

    void OverlayCaptured(TBitmap &&picture, bool, const QRect &area) override
    {
        f.SetScanPicture(std::move(picture), area);
        TCaptureContext context;
        context.path = TCapturePath::Overlay;
        context.scanTool = f.Options.ScanTool;
        context.hotKeyCapture = f.FHotKeyCapture;
        context.outDirExists = !f.Options.OutDir.isEmpty() && QDir(f.Options.OutDir).exists();
        f.AfterCapture(context);
    }

    void OverlayCancelled() override
    {
        // Nothing was captured: the picture stays, nothing is saved, and the
        // program comes back as it was before the capture command.
        f.FFileName = f.FPreScanFileName;
        f.FHasFileName = f.FPreScanHasFileName;
        f.ShowApplication(true);
        f.ShowToolBars(true);
        f.FHotKeyCapture = false;
    }

    void WindowKeyCaptured(TBitmap &&picture, const QRect &area) override
    {
        f.SetScanPicture(std::move(picture), area);
        // Nothing is saved on this road: the new picture has no file, whatever
        // automatic name the command prepared before the overlay came.
        f.FHasFileName = false;
        f.ShowApplication(true);
        f.ShowToolBars(true);
        if (f.Options.ScanSound)
            PlaySoundFile(CaptureSoundFile);
        else
            QApplication::beep();
    }

    void HideForGrab() override
    {
        // The main window first: the tool windows then know they go with it.
        f.HideApplication();
        f.ShowToolBars(false);
    }

    void CoordinatesCaptured(TBitmap &&picture, const QRect &area) override
    {
        f.SetScanPicture(std::move(picture), area);
        TCaptureContext context;
        context.path = TCapturePath::Coordinates;
        context.outDirExists = !f.Options.OutDir.isEmpty() && QDir(f.Options.OutDir).exists();
        f.AfterCapture(context);
    }

    void ShowApplication() override { f.ShowApplication(); }

private:
    TMainForm &f;
};

} // namespace

void TMainForm::SetupScanOverlay()
{
    auto *bridge = new TOverlayBridge(this);
    ScanForm = new TScanForm(bridge, this);

    CaptureHooks.ShowScanOverlay = [this](const TBitmap &desktop) {
        if (ScanForm)
            ScanForm->ShowDesktop(desktop);
    };
    CaptureHooks.FreeLoupe = [this] {
        if (ScanForm)
            ScanForm->FreeLoupe();
    };
    CaptureHooks.FitMainWindowToImage = [this] { FitMainWindowToImage(); };
    CaptureHooks.CenterMainWindow = [this] { CenterMainWindow(); };
    CaptureHooks.ShowCoordDialog = [this, bridge] {
        TCoordScanBMForm dialog(bridge, this);
        if (ZKMultiLanguage)
            dialog.SetLanguage(ZKMultiLanguage->Script(), Options.Language);
        if (FormLookHook)
            FormLookHook(&dialog, Options.XPContrStyle);
        dialog.exec();
    };
    UpdateCaptureCommands();
}

void TMainForm::SetScanPicture(TBitmap &&picture, const QRect &area)
{
    PictureBeingReplaced();
    ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(std::move(picture)));
    ScanImage->PictureChanged();
    FCaptureArea = area;
}

void TMainForm::FitMainWindowToImage()
{
    if (isMaximized())
        showNormal();
    const TGraphic *graphic = ScanImage->Picture().Graphic();
    if (!graphic || graphic->Empty())
        return;
    // The picture is in device pixels, the window in logical ones.
    const qreal ratio = devicePixelRatioF();
    TFitLayout layout;
    layout.picture = QSize(qCeil(graphic->Width() / ratio), qCeil(graphic->Height() / ratio));
    layout.fileExp = Options.FileExp;
    // The dock areas report the windows docked in them (0 when empty).
    layout.leftDockWidth = LeftDockPanel ? LeftDockPanel->width() : 0;
    layout.rightDockWidth = RightDockPanel ? RightDockPanel->width() : 0;
    // Menu and docked tool bars: everything above the central area.
    layout.controlBarHeight = centralWidget() ? centralWidget()->y() : 0;
    layout.statusBarHeight = ZKStatusBar && ZKStatusBar->isVisible() ? ZKStatusBar->height() : 0;
    layout.bottomDockHeight = BottomDockPanel ? BottomDockPanel->height() : 0;
    QSize maxClient;
    if (QScreen *s = screen()) {
        const QRect available = s->availableGeometry();
        const QSize frame = frameGeometry().size() - geometry().size();
        maxClient = available.size() - frame;
    }
    resize(FitClientSize(layout, maxClient));
}

void TMainForm::CenterMainWindow()
{
    QScreen *s = screen();
    if (!s)
        return;
    move(CenteredTopLeft(frameGeometry().size(), s->availableGeometry()));
}

} // namespace zk
