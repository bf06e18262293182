// The main window's part of the window-information tool (capture mode 8):
// starting it, the 10 ms tracking, the frame and the texts, and the tray
// items it switches off while it runs.
#include "MainForm.h"

#include "ContrClassForm.h"
#include "MultiLanguage.h"
#include "WindowElement.h"
#include "WindowFrame.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

namespace zk {

namespace {

// The tray's capture items, in the order they are switched.
const char *const kScanMenuItems[] = {"ZKCloseMenuItem",    "ZKPopupMenuItem", "SettingsMenuItem2",
                                      "ScanFile3MenuItem",  "ScanTwain3Menuitem", "AviVdo3MenuItem",
                                      "WE3MenuItem",        "Coord3MenuItem",  "Desk3MenuItem",
                                      "ScanMenuItem2",      "ScanTxt3MenuItem"};

constexpr const char *kScanMenusOff = "zkScanMenusOff";

} // namespace

void TMainForm::SetupWindowInfo()
{
    connect(WinFormFrameTimer, &QTimer::timeout, this, &TMainForm::WinFormFrameTimerTimer);
    for (const char *name : {"WE2MenuItem", "WE3MenuItem"})
        if (QAction *a = Item(QLatin1String(name))) {
            connect(a, &QAction::triggered, this, [this] { WEMenuItemClick(); });
            a->setEnabled(true);
        }
    CaptureHooks.CaptureSource(8) = [this] { WEMenuItemClick(); };
    ToolHooks.StopWindowInfo = [this] {
        if (WinFormFrameTimer->isActive() && !(ContrClassForm && ContrClassForm->isVisible()))
            StopWindowInfo();
    };
    UpdateCaptureCommands();
    SetupApplicationComponents();
}

void TMainForm::EnableScanMenus(bool Enabled)
{
    for (const char *name : kScanMenuItems) {
        QAction *a = Item(QLatin1String(name));
        if (!a)
            continue;
        if (!Enabled && a->isEnabled()) {
            a->setEnabled(false);
            a->setProperty(kScanMenusOff, true);
        } else if (Enabled && a->property(kScanMenusOff).toBool()) {
            a->setProperty(kScanMenusOff, QVariant());
            a->setEnabled(true);
        }
    }
}

void TMainForm::WEMenuItemClick()
{
    FreeCutRect();
    if (!WindowTracker)
        WindowTracker = std::make_unique<TWindowTracker>();
    if (!WindowFrame)
        WindowFrame = std::make_unique<TWindowFrame>();
    // Made once and kept for every later use.
    if (!ContrClassForm)
        ContrClassForm = new TContrClassForm(this);
    if (Options.CtrlScanInStatbar) {
        const QString text = Text(QStringLiteral("showmsg_finish_with_escape_winelements"),
                                  QStringLiteral("Die Angaben zum Element unter dem Mauszeiger stehen in der "
                                                 "Statusleiste. Mit Escape beenden."));
        if (WindowInfoMessage) {
            WindowInfoMessage(text);
        } else {
            QMessageBox box(QMessageBox::Information, windowTitle(), text, QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("WindowInfoStatusBox"));
            box.exec();
        }
        WinFormFrameTimer->start();
        return;
    }
    ShowToolBars(false);
    if (FormLookHook)
        FormLookHook(ContrClassForm, Options.XPContrStyle);
    ContrClassForm->SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    EnableScanMenus(false);
    ZKsvcTrayIcon->SetPopupMenu(nullptr);
    HideApplication();
    ContrClassForm->show();
    ContrClassForm->raise();
    ContrClassForm->activateWindow();
}

void TMainForm::WinFormFrameTimerTimer()
{
    if (!WindowTracker || !WindowTracker->IsAvailable())
        return;
    TPointerHit hit = WindowTracker->QueryPointer();
    if (!hit.valid)
        return;
    FLastCursor = hit.pos;
    // The frame's own strips let the pointer through; where the server
    // cannot do that, the element they frame stays.
    if (hit.child != FLastRootChild && WindowFrame && WindowFrame->IsOwnWindow(hit.child))
        hit.child = FLastRootChild;
    if (hit.child != FLastRootChild) {
        std::optional<TWindowElement> element;
        if (hit.child)
            element = WindowTracker->Describe(hit.child);
        // Our own windows (the tool window above all) are passed over: the
        // last element stays framed and shown.
        if (element)
            if (const QWidget *own = QWidget::find(WId(element->window)); own && own->isWindow() && own->isVisible())
                return;
        FLastRootChild = hit.child;
        const std::uint32_t wnd = element ? element->window : 0;
        if (wnd != FLastElement) {
            if (wnd) {
                FLastElementInfo = std::make_unique<TWindowElement>(*element);
                DrawWindowFrame(wnd);
            } else {
                // A window that vanished under the pointer is dropped quietly.
                if (FLastElement)
                    DrawWindowFrame(FLastElement);
                FLastElementInfo.reset();
            }
            FLastElement = wnd;
        }
    }
    if (Options.CtrlScanInStatbar || ContrClassForm)
        ShowWinElementInfo(FLastElement);
}

void TMainForm::DrawWindowFrame(std::uint32_t Wnd)
{
    if (!WindowFrame)
        return;
    if (!Wnd || !FLastElementInfo || FLastElementInfo->window != Wnd) {
        WindowFrame->Hide();
        return;
    }
    if (WindowFrame->Visible() && WindowFrame->Bounds() == FLastElementInfo->bounds && Wnd == FLastElement) {
        WindowFrame->Hide();
        return;
    }
    const bool filled = ContrClassForm && !Options.CtrlScanInStatbar && ContrClassForm->InvertCheckBox->isChecked();
    WindowFrame->Show(FLastElementInfo->bounds, filled);
}

void TMainForm::ShowWinElementInfo(std::uint32_t Wnd)
{
    const TWindowElement *e = (Wnd && FLastElementInfo && FLastElementInfo->window == Wnd) ? FLastElementInfo.get()
                                                                                          : nullptr;
    const QString handle = QString::number(Wnd);
    const QString className = e && e->hasClass
                                  ? e->className
                                  : Text(QStringLiteral("statbar_classelement_not_here"),
                                         QStringLiteral("(Klasse nicht ermittelbar)"));
    if (Options.CtrlScanInStatbar) {
        SetStatusPanelText(0, ElementStatusText(Text(QStringLiteral("statbar_classelement_name"),
                                                     QStringLiteral("Klassenname: ")),
                                                className,
                                                Text(QStringLiteral("statbar_classelement_handle"),
                                                     QStringLiteral("Handle: ")),
                                                handle));
        return;
    }
    if (!ContrClassForm)
        return;
    ContrClassForm->ClassNameEdit->ShowText(className);
    ContrClassForm->WinHandleEdit->ShowText(handle);
    ContrClassForm->WinTitleEdit->ShowText(
        ElementTitleText(e ? e->title : QString(), Text(QStringLiteral("contrclassform_wintext_nowintitle"),
                                                        QStringLiteral("(kein Fenstertitel)"))));
    ContrClassForm->DimAlignEdit->ShowText(ElementSizeText(e ? e->bounds : QRect()));
    ContrClassForm->CurPosAlignEdit->ShowText(CursorPositionText(FLastCursor));
}

void TMainForm::StopWindowInfo()
{
    WinFormFrameTimer->stop();
    if (WindowFrame)
        WindowFrame->Hide();
    FLastElement = 0;
    FLastRootChild = 0;
    FLastElementInfo.reset();
    if (ContrClassForm && ContrClassForm->isVisible())
        ContrClassForm->CloseCIFButtonClick();
}

void TMainForm::CloseWindowInfo()
{
    WinFormFrameTimer->stop();
    if (WindowFrame)
        WindowFrame->Hide();
    FLastElement = 0;
    FLastRootChild = 0;
    FLastElementInfo.reset();
    ShowApplication(true);
    EnableScanMenus(true);
    ShowToolBars(true);
    if (!ZKsvcTrayIcon->PopupMenu())
        ZKsvcTrayIcon->SetPopupMenu(TrayBarPopupMenu);
}

} // namespace zk
