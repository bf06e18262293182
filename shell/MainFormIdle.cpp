// Commands that follow the program's state: the idle pass that switches the
// four command groups, the check marks of an opening top menu, and the
// picture's context menu.
//
// The idle pass runs once after each change it depends on (the picture, the
// clipboard, a status panel, a command run from a menu or a bar) from a
// zero-time single-shot timer, plus once at midnight for the date; it never
// polls. The clipboard is asked once per change of its contents: every
// question is a round trip to the program that owns it.
#include "MainForm.h"

#include "Bitmap.h"
#include "FirstFrame.h"
#include "Graphic.h"
#include "HistList.h"
#include "ImageControl.h"
#include "QtXcb.h"
#include "ToolBarStore.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPrinterInfo>
#include <QTimer>
#include <QToolBar>
#include <bit>
#include <typeinfo>

namespace zk {

namespace {

// The panel that names the picture's file type, the one that shows whether
// the colour readout runs, and the pointer-position panel.
constexpr int kTypePanel = 6;
constexpr int kColourPanel = 2;
constexpr int kPositionPanel = 4;

// Index of the file list's "Shell" entries that never apply to the main
// window's picture, and of the one that always does.
constexpr int kShellAlwaysOff = 6;
constexpr int kShellAlwaysOn = 8;

// The idle pass's steps in the order it takes them with a picture: the print
// button on where a printer exists, the cursor, edit and file groups, both
// print commands off where none exists, the view group, the JPEG scale, the
// paste commands. A command named by more than one step ends as the last
// that applies says.
enum TIdleStep : quint8 { isPrintOn, isCursor, isEdit, isFile, isPrintOff, isView, isJpgScale, isPaste, isCount };

} // namespace

void TMainForm::MakeIdleSwitches()
{
    m_idleSwitches.clear();
    const auto add = [this](const QString &name, TIdleStep step) {
        QAction *a = Item(name);
        if (!a)
            return;
        const quint8 bit = quint8(1u << step);
        for (TIdleSwitch &s : m_idleSwitches)
            if (s.action == a) {
                s.steps |= bit;
                return;
            }
        m_idleSwitches.append({a, CommandBuilt(name), bit});
    };
    const std::pair<TCommandGroup, TIdleStep> groups[] = {{TCommandGroup::Cursor, isCursor},
                                                          {TCommandGroup::Edit, isEdit},
                                                          {TCommandGroup::File, isFile},
                                                          {TCommandGroup::View, isView}};
    for (const auto &[group, step] : groups)
        for (const QString &n : CommandGroup(group))
            add(n, step);
    add(QStringLiteral("PrintToolButton"), isPrintOn);
    add(QStringLiteral("PrintToolButton"), isPrintOff);
    add(QStringLiteral("PrintMenuItem"), isPrintOff);
    add(QStringLiteral("JpgScaleToolButton"), isJpgScale);
    add(QStringLiteral("JpgScaleMenuItem"), isJpgScale);
    add(QStringLiteral("PasteMenuItem"), isPaste);
    add(QStringLiteral("PasteToolButton"), isPaste);
    m_idleSwitchesFor = m_itemRegistrations;
}

void TMainForm::SetupIdleHandling()
{
    m_idleTimer = new QTimer(this);
    m_idleTimer->setObjectName("IdleTimer");
    m_idleTimer->setSingleShot(true);
    m_idleTimer->setInterval(0);
    connect(m_idleTimer, &QTimer::timeout, this, &TMainForm::ZKApplicationEventsIdle);

    m_dateTimer = new QTimer(this);
    m_dateTimer->setObjectName("DateTimer");
    m_dateTimer->setSingleShot(true);
    connect(m_dateTimer, &QTimer::timeout, this, [this] {
        RequestIdle();
        ArmDateTimer();
    });
    ArmDateTimer();

    QClipboard *clipboard = QGuiApplication::clipboard();
    const auto clipboardChanged = [this] {
        m_clipboardPicture = TPicture::ClipboardHasPicture();
        RequestIdle();
    };
    connect(clipboard, &QClipboard::dataChanged, this, clipboardChanged);
    // Asking the clipboard's holder what it has is a round trip to it (a
    // slow holder keeps us waiting): the first look comes right after the
    // window is up, before its first frame, so that frame shows the paste
    // commands as they are. With nobody holding the clipboard there is
    // nothing to paste and nobody to ask; the look then waits until after
    // the first frame.
    QTimer::singleShot(0, this, [this, clipboardChanged] {
        if (ClipboardHeld())
            clipboardChanged();
        else
            AfterFirstFrame(this, clipboardChanged);
    });

    connect(ScanImage, &TImage::OnChange, this, &TMainForm::RequestIdle);
    connect(ZKMainMenu, &QMenuBar::triggered, this, &TMainForm::RequestIdle);
    for (QMenu *popup : std::initializer_list<QMenu *>{TrayBarPopupMenu, GrEdtBarPopupMenu, MenStatBarPopupMenu, RecentPopupMenu})
        connect(popup, &QMenu::triggered, this, &TMainForm::RequestIdle);
    for (QToolBar *bar : DockOrderToolBars())
        connect(bar, &QToolBar::actionTriggered, this, &TMainForm::RequestIdle);

    for (const char *top : {"DateiMenuItem", "BearbeitenMenuItem", "ExtrasMenuItem", "OptionenMenuItem"})
        connect(SubMenu(QString::fromLatin1(top)), &QMenu::aboutToShow, this, &TMainForm::DateiMenuItemClick);

    // The two focus-view items belong to the focus frame's menu; the picture's
    // context menu borrows them while the focus view is on.
    for (const char *name : {"ObjStretchMenuItem", "NormViewMenuItem"})
        FocObjPopupMenu->addAction(Item(QString::fromLatin1(name)));
    Item("ObjStretchMenuItem")->setProperty("Tag", 0);
    Item("NormViewMenuItem")->setProperty("Tag", 1);

    connect(GrEdtBarPopupMenu, &QMenu::aboutToShow, this, &TMainForm::GrEdtPopupMenuPopup);
    ScanImage->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ScanImage, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        if (!PopupBuilt)
            return; // built at the first idle moment with a picture
        GrEdtBarPopupMenu->popup(ScanImage->mapToGlobal(p));
    });
    RequestIdle();
}

void TMainForm::ArmDateTimer()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime midnight(now.date().addDays(1), QTime(0, 0));
    m_dateTimer->start(int(std::clamp<qint64>(now.msecsTo(midnight) + 50, 1000, 24 * 3600 * 1000)));
}

void TMainForm::RequestIdle()
{
    if (m_idleTimer && !m_inIdle && !m_idleTimer->isActive())
        m_idleTimer->start();
}

void TMainForm::SetStatusPanelText(int index, const QString &text)
{
    if (!ZKStatusBar) {
        m_panelTextsBeforeBar.insert(index, text);
        return;
    }
    const bool same = ZKStatusBar->PanelText(index) == text;
    // Also when the same text is shown: a position still waiting for the
    // next frame must not come up over this newer one.
    ZKStatusBar->SetPanelText(index, text);
    if (same)
        return;
    // The idle pass looks at the position panel only for being empty: new
    // numbers at every pointer move leave every command as it was.
    if (index != kPositionPanel || text.isEmpty())
        RequestIdle();
}

bool TMainForm::CommandBuilt(const QString &name) const
{
    // The areas switch on the commands whose code exists while the window is
    // made; what is on before the first switching is what exists.
    if (!m_builtCommands) {
        QSet<QString> built;
        for (auto it = m_items.cbegin(); it != m_items.cend(); ++it)
            if (it.value()->isEnabled())
                built.insert(it.key());
        m_builtCommands = built;
    }
    return m_builtCommands->contains(name);
}

void TMainForm::SetCommandEnabled(const QString &name, bool on)
{
    QAction *a = Item(name);
    if (!a)
        return;
    // Asked first: the first switching must not find the items already off.
    const bool built = CommandBuilt(name);
    const bool enabled = on && built;
    if (a->isEnabled() != enabled)
        a->setEnabled(enabled);
}

void TMainForm::SwitchGroup(int group, bool on)
{
    QList<QPair<QAction *, bool>> &items = m_groupSwitches[group];
    if (items.isEmpty())
        for (const QString &n : CommandGroup(TCommandGroup(group)))
            if (QAction *a = Item(n))
                items.append({a, CommandBuilt(n)});
    for (const auto &[action, built] : std::as_const(items)) {
        const bool enabled = on && built;
        if (action->isEnabled() != enabled)
            action->setEnabled(enabled);
    }
}

void TMainForm::EnableFileCommands(bool on)
{
    SwitchGroup(int(TCommandGroup::File), on);
}

void TMainForm::EnableEditCommands(bool on)
{
    SwitchGroup(int(TCommandGroup::Edit), on);
}

void TMainForm::EnableCursorCommands(bool on)
{
    SwitchGroup(int(TCommandGroup::Cursor), on);
}

void TMainForm::EnableViewCommands(bool on)
{
    SwitchGroup(int(TCommandGroup::View), on);
}

bool TMainForm::PrinterExists() const
{
    // Asked once: the printing code's wrapper takes this over when it exists.
    if (!m_printerExists)
        m_printerExists = !QPrinterInfo::availablePrinterNames().isEmpty();
    return *m_printerExists;
}

void TMainForm::ZKApplicationEventsIdle()
{
    m_inIdle = true;
    // Each command's state is worked out first and set once, and only when
    // it differs: a command switched on by its group and off again by a
    // later step would tell every menu and bar showing it twice a pass.
    bool state[isCount] = {};
    unsigned steps = (1u << isCount) - 1;
    const TGraphic *graphic = ScanImage->Picture().Graphic();
    if (graphic && !ScanImage->Picture().Empty()) {
        if (!PopupBuilt) {
            PopupBuilt = true;
            GrEdtPopupMenuPopup();
        }
        // Exactly a bitmap: the edit commands work on nothing else.
        const bool bitmap = typeid(*graphic) == typeid(TBitmap);
        state[isPrintOn] = true;
        state[isCursor] = state[isEdit] = bitmap;
        state[isFile] = state[isView] = true;
        // The file group holds the print button and item; without a printer
        // both stay off, as the file menu switches its item when it opens.
        state[isPrintOff] = false;
        steps &= ~(1u << (PrinterExists() ? isPrintOff : isPrintOn));
        // The menu item (also in the picture's context menu) follows the
        // button: a JPEG view scale for a JPEG only.
        state[isJpgScale] = StatusPanelText(kTypePanel) == QLatin1String("jpg");
    } else {
        if (ScanImage->size() != QSize(0, 0))
            ScanImage->resize(0, 0);
        steps &= ~(1u << isPrintOn | 1u << isPrintOff); // every group and the JPEG scale off
    }
    state[isPaste] = m_clipboardPicture;
    if (m_idleSwitchesFor != m_itemRegistrations)
        MakeIdleSwitches();
    for (const TIdleSwitch &s : std::as_const(m_idleSwitches)) {
        const unsigned mine = s.steps & steps;
        if (!mine)
            continue;
        const bool enabled = s.built && state[std::bit_width(mine) - 1];
        if (s.action->isEnabled() != enabled)
            s.action->setEnabled(enabled);
    }
    if (StatusPanelText(kPositionPanel).isEmpty())
        SetStatusPanelText(kPositionPanel, QStringLiteral("X: 0   Y: 0"));
    if (StatusPanelText(0).isEmpty())
        SetStatusPanelText(0, Text(QStringLiteral("statbar_app_run")));
    if (!Options.StatBarHints && QDate::currentDate() != StartDate)
        StartDate = QDate::currentDate();
    m_inIdle = false;
}

void TMainForm::DateiMenuItemClick()
{
    SetStatusPanelText(0, QString());
    const bool editorThere = !Options.ExtGrEdtPath.isEmpty() && QFileInfo(Options.ExtGrEdtPath).isFile();
    const struct
    {
        const char *item;
        bool on;
    } marks[] = {
        {"KoordLoupMenuItem", Options.Loupe},
        {"GsMenuItem", Options.Stretch},
        {"ScanTFMenuItem", Options.FilledShape},
        {"AutoFileMenuItem", Options.PersSave},
        {"WinDimMenuItem", Options.AutoWinSize},
        {"PrintScanMenuItem", Options.PrintScan},
        {"FileAsBmpMenuItem", Options.OAsBmp},
        {"ExtGraphMenuItem", editorThere && Options.ExtGrafikEditor},
        {"ExtGraphHKMenuItem", editorThere && Options.HotkeyOutputExtern},
    };
    for (const auto &m : marks)
        Item(QString::fromLatin1(m.item))->setChecked(m.on);

    if (!PrinterExists()) {
        SetCommandEnabled(QStringLiteral("PrintMenuItem"), false);
        SetCommandEnabled(QStringLiteral("PrintPrevMenuItem"), false);
    } else {
        const TGraphic *g = ScanImage->Picture().Graphic();
        if (!g || typeid(*g) != typeid(TBitmap))
            SetCommandEnabled(QStringLiteral("PrintPrevMenuItem"), false);
    }
    SetCommandEnabled(QStringLiteral("ColViewMenuItem"),
                      StatusPanelText(kColourPanel) != QLatin1String("Farbcodes"));
    SetCommandEnabled(QStringLiteral("JpgScaleMenuItem"), StatusPanelText(kTypePanel) == QLatin1String("jpg"));
    SetCommandEnabled(QStringLiteral("NewOpenMenuItem"), RecentList && RecentList->Count() > 0);
}

void TMainForm::GrEdtPopupMenuPopup()
{
    if (!m_shellSubMenu) {
        // The same actions as the picture menu: they follow its enabling and
        // its language without being copied.
        for (QAction *a : SubMenu("GrafikMenuItem")->actions())
            GrEdtBarPopupMenu->addAction(a);
        GrEdtBarPopupMenu->addSeparator();
        GrEdtBarPopupMenu->addAction(Item("CutterMenuItem"));
        GrEdtBarPopupMenu->addSeparator();
        m_shellSubMenu = GrEdtBarPopupMenu->addMenu(QStringLiteral("Shell"));
        m_shellSubMenu->setObjectName("GrEdtShellPopupMenu");
        QAction *shell = m_shellSubMenu->menuAction();
        RegisterItem(shell, "ShellMenuItem");
        const QString hint = Text(QStringLiteral("ShellMenuItem.Hint"));
        shell->setStatusTip(hint);
        shell->setToolTip(hint);
    }
    RefreshShellSubMenu();

    if (Options.FocusMode && m_focusEntries.isEmpty()) {
        m_focusEntries.append(GrEdtBarPopupMenu->addSeparator());
        for (QAction *a : FocObjPopupMenu->actions()) {
            GrEdtBarPopupMenu->addAction(a);
            m_focusEntries.append(a);
        }
    } else if (!Options.FocusMode && !m_focusEntries.isEmpty()) {
        for (const QPointer<QAction> &a : std::as_const(m_focusEntries)) {
            if (!a)
                continue;
            GrEdtBarPopupMenu->removeAction(a);
            if (a->isSeparator() && a->parent() == GrEdtBarPopupMenu)
                a->deleteLater();
        }
        m_focusEntries.clear();
    }
}

void TMainForm::RefreshShellSubMenu()
{
    // Copies of the file list's entries, each running the original. Until
    // the file list exists the submenu is empty and disabled.
    m_shellSubMenu->clear();
    const QList<QAction *> source = FileListShellMenu ? FileListShellMenu->actions() : QList<QAction *>();
    int index = 0;
    for (QAction *original : source) {
        if (original->isSeparator()) {
            m_shellSubMenu->addSeparator();
            ++index;
            continue;
        }
        QAction *copy = m_shellSubMenu->addAction(original->icon(), original->text());
        const auto follow = [copy, original] {
            copy->setText(original->text());
            copy->setStatusTip(original->statusTip());
            copy->setToolTip(original->toolTip());
        };
        follow();
        // The list's language switch renames the originals.
        connect(original, &QAction::changed, copy, follow);
        copy->setProperty("Tag", original->property("Tag"));
        connect(copy, &QAction::triggered, original, [this, original, copy] {
            if (RunFileListItem)
                RunFileListItem(original, copy);
            else
                original->trigger();
        });
        // An entry the list marks as not available yet stays off here too.
        const bool available = !original->property("Unavailable").toBool();
        copy->setEnabled(available && (index == kShellAlwaysOn || (index != kShellAlwaysOff && FHasFileName)));
        ++index;
    }
    m_shellSubMenu->menuAction()->setEnabled(!source.isEmpty());
}

} // namespace zk
