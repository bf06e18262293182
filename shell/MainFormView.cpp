// The picture's view modes, the workspace colour, the grid, keyboard
// scrolling, the full-screen view and the small screen commands.
#include "MainForm.h"

#include "Bitmap.h"
#include "FirstFrame.h"
#include "BarPopupMenu.h"
#include "ColViewForm.h"
#include "DesktopWindows.h"
#include "EditCommands.h"
#include "FullScreenForm.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "SvcComponents.h"
#include "ViewRules.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

namespace zk {

namespace {

// The four mode commands: item, button and the option each one switches.
struct ModeRow
{
    const char *item;
    const char *button;
    bool TZelkoraOptions::*flag;
};
constexpr ModeRow kModes[] = {
    {"WinDimMenuItem", "WinDimToolButton", &TZelkoraOptions::AutoWinSize},
    {"DocCentMenuItem", "DocCentToolButton", &TZelkoraOptions::DocCenter},
    {"GsMenuItem", "GsToolButton", &TZelkoraOptions::Stretch},
    {"DocFocMenuItem", "DocFocToolButton", &TZelkoraOptions::FocusMode},
};

// The virtual-key code of a dialog key; 0 for any other key.
int DialogVirtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    default: return 0;
    }
}

// Dialog keys of the picture area after the mouse tools' key preview (an
// object's own filter runs after the application's).
class TDialogKeyFilter : public QObject
{
public:
    explicit TDialogKeyFilter(TMainForm &form) : QObject(&form), m_form(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *e = static_cast<QKeyEvent *>(event);
        const int vk = DialogVirtualKey(e->key());
        // Counted once, where the key arrives first.
        QWidget *focus = m_form.focusWidget();
        if (!vk || watched != (focus ? static_cast<QObject *>(focus) : &m_form))
            return false;
        return m_form.CMDialogKey(vk, e->modifiers());
    }

private:
    TMainForm &m_form;
};

} // namespace

void TMainForm::SetupViewCommands()
{
    const auto bind = [this](std::initializer_list<const char *> names, auto handler) {
        for (const char *n : names) {
            QAction *a = Item(QString::fromLatin1(n));
            connect(a, &QAction::triggered, this, [a, handler] { handler(a); });
            a->setEnabled(true);
        }
    };
    for (const ModeRow &m : kModes)
        Item(QString::fromLatin1(m.button))->setCheckable(true);
    bind({"WinDimMenuItem", "WinDimToolButton"}, [this](QAction *a) {
        if (a->objectName().endsWith(QLatin1String("ToolButton")))
            Item("WinDimMenuItem")->setChecked(a->isChecked());
        WinDimMenuItemClick();
    });
    bind({"DocCentMenuItem", "DocCentToolButton"}, [this](QAction *a) {
        if (a->objectName().endsWith(QLatin1String("ToolButton")))
            Item("DocCentMenuItem")->setChecked(a->isChecked());
        DocCentMenuItemClick();
    });
    bind({"GsMenuItem", "GsToolButton"}, [this](QAction *a) {
        if (a->objectName().endsWith(QLatin1String("ToolButton")))
            Item("GsMenuItem")->setChecked(a->isChecked());
        GsMenuItemClick();
    });
    bind({"DocFocMenuItem", "DocFocToolButton"}, [this](QAction *a) {
        if (a->objectName().endsWith(QLatin1String("ToolButton")))
            Item("DocFocMenuItem")->setChecked(a->isChecked());
        DocFocMenuItemClick();
    });
    bind({"ObjStretchMenuItem", "NormViewMenuItem"}, [this](QAction *a) { FocObjStretchClick(a); });
    // Both act on the focus frame: on with it.
    Item("ObjStretchMenuItem")->setEnabled(false);
    Item("NormViewMenuItem")->setEnabled(false);
    bind({"TransMenuItem"}, [this](QAction *) { TransMenuItemClick(); });
    bind({"CoordNetMenuItem"}, [this](QAction *) { CoordNetMenuItemClick(); });
    bind({"FullScreenMenuItem", "FullScreenToolButton"}, [this](QAction *) { FullScreenMenuItemClick(); });
    connect(SubMenu("ViewMenuItem"), &QMenu::aboutToShow, this, &TMainForm::ViewMenuItemClick);

    // The screen commands need the window manager's windows.
    Item("DskIcOutMenuItem")->setProperty("Tag", 0);
    Item("DskIcInMenuItem")->setProperty("Tag", 1);
    Item("TskbOutMenuItem")->setProperty("Tag", 0);
    Item("TskbInMenuItem")->setProperty("Tag", 1);
    const bool x11 = DesktopWindowsAvailable();
    if (x11) {
        bind({"DskIcOutMenuItem", "DskIcInMenuItem"}, [this](QAction *a) { DskIcOutMenuItemClick(a); });
        bind({"TskbOutMenuItem", "TskbInMenuItem"}, [this](QAction *a) { TskbOutMenuItemClick(a); });
        bind({"InvScrMenuItem"}, [this](QAction *) { InvScrMenuItemClick(); });
        // Asking the window manager is a round trip to the display, and the
        // item sits in a closed menu: it is asked right after the window's
        // first frame.
        AfterFirstFrame(this, [this, bind] {
            if (ShowingDesktopSupported())
                bind({"WinMinMenuItem"}, [this](QAction *) { WinMinMenuItemClick(); });
        });
    }
    // Only what is hidden can be shown again.
    Item("DskIcInMenuItem")->setEnabled(false);
    Item("TskbInMenuItem")->setEnabled(false);

    // The colour readout and its window.
    ZKsvcColorPicker = new TsvcColorPicker(this);
    ZKsvcColorPicker->setObjectName("ZKsvcColorPicker");
    ZKsvcColorPicker->SetOnTimer([this](TsvcComponent *) { ZKsvcColorPickerTimer(); });
    ZKsvcColorPicker->SetEnabled(ColView);
    StatusHooks.SwitchColorPicker = [this](bool on) {
        ColView = on;
        ZKsvcColorPicker->SetEnabled(on);
    };
    StatusHooks.FreeColorView = [this] {
        if (ColViewForm)
            ColViewForm->close();
    };
    bind({"ColViewMenuItem", "ColViewToolButton"}, [this](QAction *) { ColViewMenuItemClick(); });

    // What the other areas call.
    CaptureHooks.CreateFocusResizer = [this] { CreateFocusResizer(); };
    CaptureHooks.CenterPicture = [this] { CenterPicture(); };
    CaptureHooks.ArmFocusFrame = [this] {
        for (const ModeRow &m : kModes)
            Options.*m.flag = false;
        Options.FocusMode = true;
        Item("DocFocMenuItem")->setChecked(true);
        Item("DocFocToolButton")->setChecked(true);
        CreateFocusResizer();
    };
    ToolHooks.FocusFrameOn = [this] { FocusModeOn(); };

    ClientScrollBoxEx->installEventFilter(this);
    ScanImage->installEventFilter(this);
    // The box leaves the arrows to the window, which scrolls it.
    ClientScrollBoxEx->OnWantSpecialKey = [](quint16, bool &wanted) { wanted = false; };
    auto *keys = new TDialogKeyFilter(*this);
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(ClientScrollBoxEx),
                       static_cast<QWidget *>(ScanImage)})
        w->installEventFilter(keys);

    // The view as it was left.
    for (const ModeRow &m : kModes) {
        Item(QString::fromLatin1(m.item))->setChecked(Options.*m.flag);
        Item(QString::fromLatin1(m.button))->setChecked(Options.*m.flag);
    }
    Item("TransMenuItem")->setChecked(Options.Trans);
    if (!Options.AutoWinSize && Options.DocCenter)
        CenterPicture();
    else if (!Options.AutoWinSize && Options.FocusMode)
        CreateFocusResizer();
    else if (!Options.AutoWinSize && Options.Stretch)
        ApplyImageStretch();
    ApplyBackColor();
}

// ---------------------------------------------------------------------------
// The four modes

namespace {

// Sets the other three modes off and all four buttons and items as the
// options say.
void ShowModes(TMainForm &f)
{
    for (const ModeRow &m : kModes) {
        f.Item(QString::fromLatin1(m.item))->setChecked(f.Options.*m.flag);
        f.Item(QString::fromLatin1(m.button))->setChecked(f.Options.*m.flag);
    }
}

void OnlyMode(TMainForm &f, bool TZelkoraOptions::*flag, bool on)
{
    if (on)
        for (const ModeRow &m : kModes)
            f.Options.*m.flag = false;
    f.Options.*flag = on;
    ShowModes(f);
}

} // namespace

void TMainForm::WinDimMenuItemClick()
{
    const bool on = Item("WinDimMenuItem")->isChecked();
    if (FocusResizer)
        FocusModeOff();
    OnlyMode(*this, &TZelkoraOptions::AutoWinSize, on);
    if (!on)
        return;
    ScanImage->SetStretch(false);
    ScanImage->SetCenter(false);
    ClientScrollBoxEx->setWidgetResizable(false);
    ScanImage->SetAutoSize(true);
    ScanImage->move(0, 0);
    if (CaptureHooks.FitMainWindowToImage)
        CaptureHooks.FitMainWindowToImage();
}

void TMainForm::DocCentMenuItemClick()
{
    const bool on = Item("DocCentMenuItem")->isChecked();
    if (FocusResizer)
        FocusModeOff();
    OnlyMode(*this, &TZelkoraOptions::DocCenter, on);
    if (on) {
        if (!ScanImage->AutoSize())
            ScanImage->SetAutoSize(true);
        CenterPicture();
    } else {
        ScanImage->move(0, 0);
    }
}

void TMainForm::GsMenuItemClick()
{
    const bool on = Item("GsMenuItem")->isChecked();
    if (FocusResizer)
        FocusModeOff();
    OnlyMode(*this, &TZelkoraOptions::Stretch, on);
    ApplyImageStretch();
}

void TMainForm::DocFocMenuItemClick()
{
    const bool on = Item("DocFocMenuItem")->isChecked();
    OnlyMode(*this, &TZelkoraOptions::FocusMode, on);
    if (on) {
        ScanImage->SetStretch(false);
        ScanImage->SetCenter(false);
        ClientScrollBoxEx->setWidgetResizable(false);
        ScanImage->SetAutoSize(true);
        CreateFocusResizer();
    } else {
        FocusModeOff();
    }
}

void TMainForm::TransMenuItemClick()
{
    Options.Trans = Item("TransMenuItem")->isChecked();
    ScanImage->SetTransparent(Options.Trans);
}

void TMainForm::ViewMenuItemClick()
{
    for (const ModeRow &m : kModes)
        Item(QString::fromLatin1(m.item))->setChecked(Options.*m.flag);
    Item("TransMenuItem")->setChecked(Options.Trans);
    Item("FEMagMenuItem")->setChecked(Options.MagneticFE);
    Item("XPStyleMenuItem")->setChecked(Options.XPMenStyle);
    Item("FileOutputMenuItem")->setChecked(FileOutputShown);
    Item("FullScreenMenuItem")->setEnabled(!ScanImage->Picture().Empty());
}

void TMainForm::CenterPicture()
{
    if (ScanImage->Stretch())
        ScanImage->SetStretch(false);
    if (ScanImage->Center())
        ScanImage->SetCenter(false);
    ClientScrollBoxEx->setWidgetResizable(false);
    if (ScanImage->AutoSize())
        ScanImage->resize(ScanImage->sizeHint());
    ScanImage->move(CenteredOrigin(ClientScrollBoxEx->viewport()->size(), ScanImage->size()));
    // The scroll box places its picture again whenever its ranges change
    // (a resize of either): the centre is set once more after that.
    if (!m_centrePending) {
        m_centrePending = true;
        QTimer::singleShot(0, this, [this] {
            m_centrePending = false;
            if (Options.DocCenter)
                ScanImage->move(CenteredOrigin(ClientScrollBoxEx->viewport()->size(), ScanImage->size()));
        });
    }
}

void TMainForm::ClientScrollBoxResize()
{
    if (!Options.DocCenter)
        return;
    CenterPicture();
    ClientScrollBoxEx->viewport()->update();
}

void TMainForm::ApplyBackColor()
{
    const std::optional<QColor> colour = BackColorOf(Options.BackColr, QGuiApplication::palette());
    if (!colour)
        return;
    QWidget *area = ClientScrollBoxEx->viewport();
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, *colour);
    area->setPalette(pal);
    area->setAutoFillBackground(true);
    area->update();
}

bool TMainForm::CMDialogKey(int virtualKey, Qt::KeyboardModifiers)
{
    // A crop or number tool owns the keys while it is active.
    if (CutterActive || CutRect || NumberMarkActive)
        return true;
    const QPoint step = ArrowScrollStep(virtualKey);
    if (step.isNull())
        return false; // the window's ordinary handling (Tab moves the focus)
    QScrollBar *bar = step.x() ? ClientScrollBoxEx->horizontalScrollBar() : ClientScrollBoxEx->verticalScrollBar();
    bar->setValue(bar->value() + (step.x() + step.y()) * bar->singleStep());
    return true;
}

// ---------------------------------------------------------------------------
// The focus frame

void TMainForm::CreateFocusResizer()
{
    delete FocusResizer;
    FocusResizer = nullptr;
    auto *frame = new TContResizer(this);
    frame->setObjectName("FocusResizer");
    FocusResizer = frame;
    // A press with Ctrl at the picture's corner arms the frame, as the
    // user's own Ctrl+click does.
    ScanImageMouseDown(Qt::LeftButton, TShiftState{Qt::ControlModifier, Qt::LeftButton}, ScanImage->x(),
                       ScanImage->y());
    ScanImage->update();
}

void TMainForm::FocusModeOn()
{
    auto *frame = qobject_cast<TContResizer *>(FocusResizer);
    if (!frame) {
        CreateFocusResizer();
        return;
    }
    ClientScrollBoxEx->setContextMenuPolicy(Qt::CustomContextMenu);
    disconnect(ClientScrollBoxEx, &QWidget::customContextMenuRequested, this, nullptr);
    connect(ClientScrollBoxEx, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &p) { FocObjPopupMenu->popup(ClientScrollBoxEx->mapToGlobal(p)); });
    ScanImage->SetAutoSize(false);
    ScanImage->SetAutoSize(true);
    frame->SetControl(ScanImage);
    Item("ObjStretchMenuItem")->setEnabled(!ScanImage->Stretch());
    Item("NormViewMenuItem")->setEnabled(ScanImage->Stretch());
    const QRect screenArea = screen() ? screen()->geometry() : QRect(0, 0, 1920, 1080);
    frame->MaxWidth = screenArea.width();
    frame->MaxHeight = screenArea.height();
    ScanImage->SetAutoSize(false);
}

void TMainForm::FocusModeOff()
{
    disconnect(ClientScrollBoxEx, &QWidget::customContextMenuRequested, this, nullptr);
    ClientScrollBoxEx->setContextMenuPolicy(Qt::DefaultContextMenu);
    Options.FocusMode = false;
    ShowModes(*this);
    ScanImage->SetStretch(false);
    ScanImage->move(0, 0);
    ScanImage->SetAutoSize(true);
    delete FocusResizer;
    FocusResizer = nullptr;
    Item("ObjStretchMenuItem")->setEnabled(false);
    Item("NormViewMenuItem")->setEnabled(false);
}

void TMainForm::FocObjStretchClick(QObject *Sender)
{
    if (Sender->property("Tag").toInt() == 0) {
        ScanImage->SetStretch(true);
        Item("ObjStretchMenuItem")->setEnabled(false);
        Item("NormViewMenuItem")->setEnabled(true);
    } else {
        ScanImage->SetStretch(false);
        ScanImage->SetAutoSize(true);
        Item("NormViewMenuItem")->setEnabled(false);
        Item("ObjStretchMenuItem")->setEnabled(true);
        CreateFocusResizer();
    }
}

// ---------------------------------------------------------------------------
// The grid

void TMainForm::CoordNetMenuItemClick()
{
    QAction *item = Item("CoordNetMenuItem");
    if (!item->isChecked()) {
        // The copy goes back only over the gridded picture itself: anything
        // captured or edited since stays.
        if (GridCopy && ScanImage->Generation() == GridGeneration) {
            ScanImage->Picture().SetGraphic(std::move(GridCopy));
            ScanImage->PictureChanged();
        }
        GridCopy.reset();
        return;
    }
    if (ScanImage->Picture().Empty()) {
        const QString text = Text(QStringLiteral("showmsg_no_picture_available"), QString::fromUtf8("Kein Bild verfügbar."));
        if (ViewMessage)
            ViewMessage(text);
        else
            QMessageBox::information(this, windowTitle(), text);
        return;
    }
    TBitmap &bitmap = EditableBitmap(ScanImage->Picture());
    GridCopy = std::make_unique<TBitmap>();
    GridCopy->Assign(bitmap);
    DrawCoordGrid(bitmap);
    ScanImage->PictureChanged();
    GridGeneration = ScanImage->Generation();
}

// ---------------------------------------------------------------------------
// Full screen

void TMainForm::FullScreenMenuItemClick()
{
    if (ScanImage->Picture().Empty() || FullScreenForm)
        return;
    auto *form = new TFullScreenForm(ScanImage->Picture(), Options.FSClosedClick, Options.Trans);
    FullScreenForm = form;
    form->OnClosed = [this] { ShowToolBars(true); };
    ShowToolBars(false);
    if (ZKMultiLanguage)
        form->SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
        form->setScreen(s);
        form->setGeometry(s->geometry());
    }
    form->showFullScreen();
}

// ---------------------------------------------------------------------------
// The colour window

void TMainForm::ColViewMenuItemClick()
{
    if (ColViewForm)
        return;
    // The window shows what the sampler reads: it runs while the window is open.
    if (!ZKsvcColorPicker->Enabled())
        StatusHooks.SwitchColorPicker(true);
    auto *form = new TColViewForm(this);
    ColViewForm = form;
    form->MainWindowRect = [this]() -> std::optional<QRect> { return frameGeometry(); };
    if (ZKMultiLanguage)
        form->SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    if (FormLookHook)
        FormLookHook(form, Options.XPContrStyle);
    form->show();
}

void TMainForm::ZKsvcColorPickerTimer()
{
    const TColor colour = ZKsvcColorPicker->GetColor();
    if (colour == clNone)
        return;
    const QString code = ColorToHtml(colour);
    if (auto *form = qobject_cast<TColViewForm *>(ColViewForm.data()))
        form->ShowColor(colour, code);
    SetStatusPanelText(2, code);
}

// ---------------------------------------------------------------------------
// Screen commands

void TMainForm::DskIcOutMenuItemClick(QObject *Sender)
{
    const bool hide = Sender->property("Tag").toInt() == 0;
    if (hide) {
        HiddenDesktopWindows = WindowsOfType("_NET_WM_WINDOW_TYPE_DESKTOP");
        UnmapWindows(HiddenDesktopWindows);
    } else {
        MapWindows(std::exchange(HiddenDesktopWindows, {}));
    }
    Item("DskIcOutMenuItem")->setEnabled(!hide);
    Item("DskIcInMenuItem")->setEnabled(hide);
}

void TMainForm::HideTaskbar()
{
    HiddenTaskbarWindows.append(WindowsOfType("_NET_WM_WINDOW_TYPE_DOCK"));
    UnmapWindows(HiddenTaskbarWindows);
}

void TMainForm::ShowTaskbar()
{
    MapWindows(std::exchange(HiddenTaskbarWindows, {}));
}

void TMainForm::TskbOutMenuItemClick(QObject *Sender)
{
    const bool hide = Sender->property("Tag").toInt() == 0;
    if (hide)
        HideTaskbar();
    else
        ShowTaskbar();
    Item("TskbOutMenuItem")->setEnabled(!hide);
    Item("TskbInMenuItem")->setEnabled(hide);
}

void TMainForm::InvScrMenuItemClick()
{
    // The screen as it is once the menu that ran this has gone.
    QTimer::singleShot(150, this, [] {
        TBitmap desktop;
        if (!GrabDesktop(desktop) || desktop.Empty())
            return;
        QImage image = desktop.ToImage().convertToFormat(QImage::Format_RGB32);
        image.invertPixels();
        const QRect area(0, 0, image.width(), image.height());
        auto *form = new TInvertScreenForm(std::move(image), area);
        form->show();
    });
}

void TMainForm::WinMinMenuItemClick()
{
    SetShowingDesktop(true);
}

} // namespace zk
