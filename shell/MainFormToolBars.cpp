// The nine tool bars: which show, where they stand, the tool-bar menu, and
// keys pressed while a floating bar is the active window.
#include "MainForm.h"

#include "LazyIcon.h"

#include "GraphicText.h"
#include "MultiLanguage.h"
#include "Placement.h"
#include "Registry.h"
#include "ToolBarFlow.h"
#include "ToolBarStore.h"

#include <QAction>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>

namespace zk {

namespace {

QString guiKey()
{
    return QString::fromLatin1(TMainForm::GuiKey);
}

// Qt's own record of the main window's tool-bar layout, kept beside the dock
// states: only it can bring a floating bar back as a window.
const QString kLayoutValue = QStringLiteral("ToolBarLayout");

QList<QRect> ScreenRects()
{
    QList<QRect> rects;
    for (const QScreen *s : QGuiApplication::screens())
        rects.append(s->geometry());
    return rects;
}

// A floating bar is a window of its own; the main menu's short cuts must
// reach the main window from there too. A bar's new size lays its buttons
// out again.
class TToolBarEvents : public QObject
{
public:
    explicit TToolBarEvents(TMainForm *form)
        : QObject(form)
        , m_form(form)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *bar = qobject_cast<QToolBar *>(watched);
        if (bar && event->type() == QEvent::Resize)
            m_form->StandardToolBarResize(bar);
        if (event->type() != QEvent::KeyPress)
            return false;
        if (!bar || !bar->isWindow())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_unknown || key->modifiers() == Qt::NoModifier)
            return false;
        return m_form->FormShortCut(QKeySequence(key->keyCombination()));
    }

private:
    TMainForm *m_form;
};

// Every tool button and the menu items of the same command show one icon.
void ApplyCommandIcons(TMainForm &form)
{
    static const struct
    {
        const char *icon;
        std::initializer_list<const char *> items;
    } rows[] = {
        {"scan", {"ScanToolButton", "ScanMenuItem", "ScanMenuItem2"}},
        {"open", {"FileOptenToolButton", "OpenMenuItem"}},
        {"save", {"SaveToolButton", "SaveMenuItem"}},
        {"fastsave", {"FastSaveToolButton", "ASMenuItem"}},
        {"copy", {"CopyToolButton", "CopyMenuItem"}},
        {"paste", {"PasteToolButton", "PasteMenuItem"}},
        {"print", {"PrintToolButton", "PrintMenuItem"}},
        {"printpreview", {"PrPrevToolButton", "PrintPrevMenuItem"}},
        {"autosave", {"AutoFileToolButton", "AutoFileMenuItem"}},
        {"loupe", {"CoordLoupeToolButton", "KoordLoupMenuItem"}},
        {"printscan", {"PrintScanToolButton", "PrintScanMenuItem"}},
        {"timescan", {"TimeScanToolButton", "TimeScanMenuItem"}},
        {"asbitmap", {"FileAsBmpToolButton", "FileAsBmpMenuItem"}},
        {"avi", {"AviLoadToolButton", "AviLoadMenuItem"}},
        {"send", {"StdSendToolButton", "EMailSetMenuItem"}},
        {"mirrorh", {"MirrorHToolButton", "MirrorHMenuItem"}},
        {"mirrorv", {"MirrorVToolButton", "MirrorVMenuItem"}},
        {"rotate", {"RotateToolButton", "RotateMenuItem"}},
        {"invert", {"InvertToolButton", "InvertMenuItem"}},
        {"gray", {"GrayStepToolButton", "GrayStepMenuItem"}},
        {"brighter", {"HellToolButton", "HellMenuItem"}},
        {"darker", {"DarkToolButton", "DarkMenuItem"}},
        {"contrast", {"MoreKontrToolButton", "MoreKontrMenuItem"}},
        {"smooth", {"GlattToolButton", "GlttenMenuItem", "GlttenMenuItem2"}},
        {"rgb", {"RGBChanToolButton", "RGBChanMenuItem"}},
        {"scale", {"ScaleToolButton", "TmpScaleMenuItem", "Scale2MenuItem"}},
        {"jpgscale", {"JpgScaleToolButton", "JpgScaleMenuItem"}},
        {"mark", {"MarkMenuItem"}}, // the tool button shows the chosen marker
        {"number", {"NumToolButton", "NumMenuItem"}},
        {"cutter", {"CutterToolButton", "CutterMenuItem"}},
        {"cutterenter", {"CutterEnterToolButton", "CutterEnterMenuItem"}},
        {"word", {"WordToolButton"}},
        {"multisend", {"MultiSendToolButton"}},
        {"email", {"EMailSetToolButton"}},
        {"settings", {"SettingsToolButton", "SettingsMenuItem", "SettingsMenuItem2"}},
        {"colview", {"ColViewToolButton", "ColViewMenuItem"}},
        {"fileext", {"FleExtToolButton", "FileExtIconMenuItem"}},
        {"help", {"Help2ToolButton", "HandbuchMenuItem"}},
        {"keyboard", {"KeybHlpToolButton", "KeyboardMenuItem"}},
        {"exit", {"ExitToolButton", "FZKCloseMenuItem", "ZKCloseMenuItem"}},
        {"exteditor", {"ExtGraphToolButton", "ExtGraphMenuItem"}},
        {"exteditorhk", {"ExtGraphHKToolButton", "ExtGraphHKMenuItem"}},
        {"script", {"ScriptToolButton", "ScriptMenuItem"}},
        {"split", {"SplitToolButton", "SplitMenuItem"}},
        {"convert", {"ConvertToolButton"}},
        {"extract", {"ExtrToolButton", "ExeDllExtractMenuItem"}},
        {"windim", {"WinDimToolButton", "WinDimMenuItem"}},
        {"center", {"DocCentToolButton", "DocCentMenuItem"}},
        {"stretch", {"GsToolButton", "GsMenuItem"}},
        {"focus", {"DocFocToolButton", "DocFocMenuItem"}},
        {"fullscreen", {"FullScreenToolButton", "FullScreenMenuItem"}},
    };
    for (const auto &row : rows) {
        // Parsed when first drawn: most of these sit in menus not yet open.
        const QIcon icon = LazyFileIcon(QStringLiteral(":/icons/") + QString::fromLatin1(row.icon) +
                                        QStringLiteral(".svg"));
        for (const char *name : row.items)
            if (QAction *a = form.Item(QString::fromLatin1(name)))
                a->setIcon(icon);
    }
}

// The current section's texts for the picture classes' messages (the
// first text of a key counts, as in TMultiLanguage::GetText): the section's
// own table, shared, not a copy built anew.
void installGraphicTexts(const TMultiLanguage &language)
{
    SetGraphicTexts(language.Texts());
}

} // namespace

void TMainForm::RelayToolBars(const std::array<QRect, kToolBarCount> &bounds)
{
    // Re-lay the bars docked in their stored rows, left to right within a
    // row. Adding a docked bar again moves it and leaves it as it was (a row
    // its bars all left goes); a floating bar is taken out and made a child
    // again, which hides it, so each keeps the visibility it had. Showing a
    // bar lays out its buttons, which the window's first show does anyway.
    const auto bars = DockOrderToolBars();
    std::array<bool, kToolBarCount> visible{};
    for (int i = 0; i < kToolBarCount; ++i) {
        visible[i] = !bars[i]->isHidden();
        if (bars[i]->isWindow()) {
            removeToolBar(bars[i]);
            bars[i]->setWindowFlags(Qt::Widget);
        }
    }
    const QList<QList<int>> rows = ToolBarRows(QList<QRect>(bounds.begin(), bounds.end()));
    for (const QList<int> &row : rows) {
        addToolBarBreak(Qt::TopToolBarArea);
        for (int i : row) {
            addToolBar(Qt::TopToolBarArea, bars[i]);
            if (bars[i]->isHidden() == visible[i])
                bars[i]->setVisible(visible[i]);
            StandardToolBarResize(bars[i]);
        }
    }
}

void TMainForm::ReadPaletteFlags()
{
    // Nothing is written at start: the key is made when the flags are written.
    const std::optional<TPaletteFlags> stored = ReadPaletteFlagsFrom(guiKey());
    TPaletteFlags flags = stored.value_or(DefaultPaletteFlags());
    const auto bars = DockOrderToolBars();
    for (const TPaletteRow &r : PaletteTable()) {
        PaletteFlags[r.tag] = flags.bars[r.tag];
        // A bar nobody hid shows with the window; showing it before would
        // lay out all its buttons once more for a size it does not keep.
        QToolBar *bar = bars[r.tag];
        if (!flags.bars[r.tag] || (bar->isHidden() && bar->testAttribute(Qt::WA_WState_ExplicitShowHide)))
            bar->setVisible(flags.bars[r.tag]);
        Item(QString::fromLatin1(r.menuItem))->setChecked(flags.bars[r.tag]);
    }
    // Without stored flags the colour readout stays as it is.
    if (stored)
        ColView = stored->colView;
}

void TMainForm::WritePaletteFlags()
{
    TPaletteFlags flags;
    for (int tag = 0; tag < kToolBarCount; ++tag)
        flags.bars[tag] = PaletteFlags[tag];
    flags.colView = ColView;
    if (!WritePaletteFlagsTo(guiKey(), flags))
        qWarning("The tool-bar flags could not be written");
}

void TMainForm::ReadPicEditPalFlags()
{
    const TPicEditPal v = ReadPicEditPal(guiKey() + QStringLiteral("\\PicEditPal"));
    Antialiasing = v.antialiasing;
    Scaling = v.scaling;
    MarkerKind = v.marker;
    SelectMarkerByIndex(MarkerKind);
}

void TMainForm::WritePicEditPalFlags()
{
    if (!WritePicEditPal(guiKey() + QStringLiteral("\\PicEditPal"), {Antialiasing, Scaling, MarkerKind}))
        qWarning("The picture-tool values could not be written");
}

void TMainForm::LoadToolBarPositions()
{
    ToolBarBounds = {};
    if (const auto stored = ReadToolBarBounds(guiKey()))
        ToolBarBounds = *stored;
}

void TMainForm::WriteStdValsMenuItemClick()
{
    const auto bars = DockOrderToolBars();
    for (int i = 0; i < kToolBarCount; ++i)
        ToolBarBounds[i] = bars[i]->isWindow() ? bars[i]->frameGeometry() : bars[i]->geometry();
    if (!WriteToolBarBounds(guiKey(), ToolBarBounds))
        qWarning("The tool-bar positions could not be written");
    // Qt's layout record goes with it, so a floating bar floats again.
    try {
        TRegistry reg;
        if (reg.OpenKey(guiKey(), true))
            reg.WriteBinaryData(kLayoutValue, saveState());
    } catch (const ERegistryException &e) {
        qWarning("The tool-bar layout could not be written: %s", e.what());
    }
}

void TMainForm::SetMPUndoMenuItemClick()
{
    // The menu bar's row stays first: RelayToolBars adds the rows below it.
    const std::array<QRect, kToolBarCount> bounds = ToolBarBounds;
    RelayToolBars(bounds);
    const auto bars = DockOrderToolBars();
    for (const TPaletteRow &r : PaletteTable()) {
        const bool show = bars[r.tag] != ViewToolBar;
        bars[r.tag]->setVisible(show);
        Item(QString::fromLatin1(r.menuItem))->setChecked(show);
        PaletteFlags[r.tag] = show;
    }
}

void TMainForm::StandardMenuItemClick(QAction *Sender)
{
    // The item is checkable: its check mark has already turned.
    const int tag = Sender->property("Tag").toInt();
    if (tag < 0 || tag >= kToolBarCount)
        return;
    const bool show = Sender->isChecked();
    // A floating bar is its own window: hiding it unmaps that window.
    DockOrderToolBars()[tag]->setVisible(show);
    PaletteFlags[tag] = show;
}

void TMainForm::KeepFloatingBarOnScreen(QToolBar *bar)
{
    if (!bar || !bar->isWindow())
        return;
    const QRect kept = KeepOnScreens(bar->frameGeometry(), ScreenRects());
    if (kept.topLeft() != bar->frameGeometry().topLeft())
        bar->move(kept.topLeft());
}

void TMainForm::MenuToolBarResize()
{
    if (MenuToolBar->minimumWidth() < 227)
        MenuToolBar->setMinimumWidth(227);
}

void TMainForm::StandardToolBarResize(QToolBar *bar)
{
    // The crop and text bars keep their single line.
    if (auto *flow = bar->findChild<TToolBarFlow *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (flow->Wrapping() != bar->isWindow())
            flow->SetWrapping(bar->isWindow());
        else
            flow->Relayout();
    }
}

void TMainForm::MenStatBarPopupMenuPopup()
{
}

bool TMainForm::FormShortCut(const QKeySequence &key)
{
    QList<QMenu *> menus;
    for (QAction *top : ZKMainMenu->actions())
        if (top->menu())
            menus.append(top->menu());
    for (qsizetype i = 0; i < menus.size(); ++i) {
        for (QAction *a : menus[i]->actions()) {
            if (a->menu()) {
                menus.append(a->menu());
                continue;
            }
            if (a->isEnabled() && a->shortcuts().contains(key)) {
                a->trigger();
                return true;
            }
        }
    }
    return false;
}

void TMainForm::XPStyleMenuItemClick()
{
    Options.XPMenStyle = Item("XPStyleMenuItem")->isChecked();
    ApplyXPLook();
}

void TMainForm::LangMenuItemClick()
{
    const char *const items[5] = {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem", "SpanMenuItem",
                                  "FranceMenuItem"};
    for (int i = 0; i < 5; ++i)
        Item(QString::fromLatin1(items[i]))->setChecked(i == Options.Language);
}

void TMainForm::ZKMultiLanguageTranslate()
{
    // The picture classes' messages follow, on every thread.
    installGraphicTexts(*ZKMultiLanguage);
    // The explorer windows switch with the main window once they exist.
    for (QWidget *form : {DirBDForm.data(), NavBDForm.data(), FileOutputBDForm.data()})
        if (form)
            QMetaObject::invokeMethod(form, "SetLanguage", Q_ARG(QStringList, ZKMultiLanguage->Script()),
                                      Q_ARG(int, int(Options.Language)));
}

// Tool bars: flags, positions and the floating layout at start; the menu.
void TMainForm::SetupCommandSurface()
{
    ReadPaletteFlags();
    ReadPicEditPalFlags();
    LoadToolBarPositions();

    // A bar whose dock state says floating comes back floating at its place.
    bool anyFloating = false;
    std::array<QSize, kToolBarCount> floatingSize;
    for (int tag = 0; tag < kToolBarCount; ++tag) {
        const auto state = ReadDockState(guiKey() + u'\\' + QString::fromLatin1(DockStateKeys()[tag]));
        if (state && state->dockSiteIndex < 0 && state->bounds.isValid()) {
            anyFloating = true;
            floatingSize[tag] = QSize(state->undockWidth, state->undockHeight);
        }
    }
    if (anyFloating) {
        TRegistry reg;
        if (reg.OpenKeyReadOnly(guiKey()) && reg.GetDataType(kLayoutValue) == RegDataType::Binary) {
            restoreState(reg.ReadBinaryData(kLayoutValue));
            const auto bars = DockOrderToolBars();
            for (int tag = 0; tag < kToolBarCount; ++tag) {
                bars[tag]->setVisible(PaletteFlags[tag]);
                KeepFloatingBarOnScreen(bars[tag]);
            }
        }
    }

    for (const TPaletteRow &r : PaletteTable()) {
        QAction *a = Item(QString::fromLatin1(r.menuItem));
        connect(a, &QAction::triggered, this, [this, a] { StandardMenuItemClick(a); });
    }
    connect(Item("WriteStdValsMenuItem"), &QAction::triggered, this, &TMainForm::WriteStdValsMenuItemClick);
    connect(Item("SetMPUndoMenuItem"), &QAction::triggered, this, &TMainForm::SetMPUndoMenuItemClick);
    connect(MenStatBarPopupMenu, &QMenu::aboutToShow, this, &TMainForm::MenStatBarPopupMenuPopup);
    connect(SubMenu("LangMenuItem"), &QMenu::aboutToShow, this, &TMainForm::LangMenuItemClick);
    connect(Item("XPStyleMenuItem"), &QAction::triggered, this, &TMainForm::XPStyleMenuItemClick);
    connect(ZKMultiLanguage, &TMultiLanguage::OnTranslate, this, &TMainForm::ZKMultiLanguageTranslate);
    installGraphicTexts(*ZKMultiLanguage);
    MenuToolBarResize();
    ApplyCommandIcons(*this);
    // Rows are laid out once the buttons have their icons.
    for (QToolBar *bar : {StandardToolBar, GrafikEditToolBar, HelpToolBar, ExitToolBar, OptionsToolBar,
                          XtrasToolBar, ViewToolBar})
        new TToolBarFlow(bar);
    auto *events = new TToolBarEvents(this);
    for (QToolBar *bar : DockOrderToolBars()) {
        bar->installEventFilter(events);
        connect(bar, &QToolBar::topLevelChanged, this, [this, bar](bool) {
            KeepFloatingBarOnScreen(bar);
            StandardToolBarResize(bar);
        });
        // A bar brought back floating wraps from the start, at its width.
        StandardToolBarResize(bar);
    }
    const auto bars = DockOrderToolBars();
    for (int tag = 0; tag < kToolBarCount; ++tag)
        if (bars[tag]->isWindow() && floatingSize[tag].width() > 0)
            if (auto *flow = bars[tag]->findChild<TToolBarFlow *>(QString(), Qt::FindDirectChildrenOnly))
                flow->RestoreWidth(floatingSize[tag].width());
    // The tool-bar menu is also the bars' own context menu.
    for (QToolBar *bar : DockOrderToolBars()) {
        bar->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(bar, &QWidget::customContextMenuRequested, this,
                [this, bar](const QPoint &p) { MenStatBarPopupMenu->popup(bar->mapToGlobal(p)); });
    }
    for (const char *name : {"StandardMenuItem", "GrafikEditMenuItem", "CutterMenuItem2", "WordMenuItem",
                             "Optionen2MenuItem", "Help2MenuItem", "ExitMenuItem", "XtrasMenuItem",
                             "View2MenuItem", "WriteStdValsMenuItem", "SetMPUndoMenuItem"})
        Item(QString::fromLatin1(name))->setEnabled(true);

    SetupIdleHandling();
}

} // namespace zk
