// The explorer windows in the main window: Qt's dock areas with the
// program's rules, the explorer switch, the pinned placement beside the
// main window, the Window menu and the stored layout of the side areas.
#include "MainForm.h"

#include "DirBDForm.h"
#include "DesktopWindows.h"
#include "DockSite.h"
#include "DockStream.h"
#include "NavBDForm.h"
#include "Placement.h"
#include "Registry.h"
#include "SaveAviEdtForm.h"

#include <QAction>
#include <QDockWidget>
#include <QLoggingCategory>
#include <QMenu>
#include <QMoveEvent>
#include <QTabWidget>
#include <QTreeWidget>

namespace zk {

Q_LOGGING_CATEGORY(lcDock, "zk.dock", QtWarningMsg)

namespace {

QString guiSubKey(const QString &name)
{
    return QString::fromLatin1(TMainForm::GuiKey) + QLatin1Char('\\') + name;
}

QDockWidget *dockOf(const QPointer<QWidget> &w)
{
    return qobject_cast<QDockWidget *>(w.data());
}

TDockSite *siteOf(TMainForm &f, Qt::DockWidgetArea area)
{
    switch (area) {
    case Qt::LeftDockWidgetArea: return f.LeftDockPanel;
    case Qt::RightDockWidgetArea: return f.RightDockPanel;
    case Qt::BottomDockWidgetArea: return f.BottomDockPanel;
    default: return nullptr;
    }
}

// The width of a side area as the windows docked in it show it.
int areaWidth(const TDockSite *site)
{
    int w = 0;
    for (const QDockWidget *d : site->DockClients())
        if (d->isVisibleTo(site->MainWindow()))
            w = std::max(w, d->width());
    return w;
}

// The explorer windows that exist, folder first.
QList<QDockWidget *> explorerForms(const TMainForm &f)
{
    QList<QDockWidget *> forms;
    for (const QPointer<QWidget> &w : {f.DirBDForm, f.NavBDForm})
        if (auto *d = dockOf(w))
            forms.append(d);
    return forms;
}

} // namespace

void TMainForm::SetupDockLayout()
{
    auto *dir = qobject_cast<TDirBDForm *>(DirBDForm.data());
    for (QDockWidget *d : explorerForms(*this)) {
        connect(d, &QDockWidget::dockLocationChanged, this,
                [this, d](Qt::DockWidgetArea area) { DockFormLocationChanged(d, area); });
        connect(d, &QDockWidget::topLevelChanged, this, [this, d](bool floating) { DockFormTopLevelChanged(d, floating); });
    }
    if (dir) {
        dir->MainHooks.MainWindowMoved = [this] { WMMove(); };
        dir->MainHooks.PlacePinnedExplorer = [this] { PlacePinnedExplorer(); };
        dir->MainHooks.ShowFileExplorer = [this] { ShowFileExplorer(); };
    }
    const auto bind = [this](std::initializer_list<const char *> names, auto handler) {
        for (const char *n : names) {
            QAction *a = Item(QString::fromLatin1(n));
            if (!a)
                continue;
            connect(a, &QAction::triggered, this, [a, handler] { handler(a); });
            a->setEnabled(true);
        }
    };
    bind({"FileExMenuItem"}, [this](QAction *) { FileExMenuItemClick(); });
    bind({"FEMagMenuItem", "FEMag3MenuItem"}, [this](QAction *a) {
        if (a != Item("FEMagMenuItem"))
            Item("FEMagMenuItem")->setChecked(!Options.MagneticFE);
        FEMagMenuItemClick();
    });
    bind({"TreeMenuItem", "Reg2MenuItem", "FileEx3MenuItem", "FileEx2MenuItem", "AviMenuItem", "QuorvexMenuItem"},
         [this](QAction *a) { TreeMenuItemClick(a); });
    bind({"InternMenuItem"}, [this](QAction *) { InternMenuItemClick(); });
    if (dir) {
        bind({"NewDir2MenuItem"}, [dir](QAction *) { dir->NewDirMenuItemClick(); });
        bind({"DirDel2MenuItem"}, [dir](QAction *) { dir->DirDelMenuItemClick(); });
        bind({"NodesExp3MenuItem", "NodesColapse3MenuItem"},
             [dir](QAction *a) { dir->NodesExpMenuItemClick(a->property("Tag").toInt()); });
    }
    if (auto *nav = qobject_cast<TNavBDForm *>(NavBDForm.data()))
        bind({"Refresh2MenuItem"}, [nav](QAction *) { nav->RefreshMenuItem->trigger(); });
    // The text output comes with the text search; until then its items stay off.
    const bool output = bool(CreateFileOutputForm);
    if (output)
        bind({"FileOutputMenuItem"}, [this](QAction *) { FileOutputMenuItemClick(); });
    for (const char *n : {"FileOutputMenuItem", "TxtOutMenuItem"})
        Item(QString::fromLatin1(n))->setEnabled(output);
    connect(SubMenu("WinMenuItem"), &QMenu::aboutToShow, this, &TMainForm::WinMenuItemClick, Qt::UniqueConnection);
    ApplyDockRules();
}

void TMainForm::ApplyDockRules()
{
    // While pinned, the side areas refuse the explorer windows.
    const Qt::DockWidgetAreas sides =
        Options.MagneticFE ? Qt::NoDockWidgetArea : (Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    for (QDockWidget *d : explorerForms(*this))
        d->setAllowedAreas(sides);
    if (QAction *pin = Item("FEMagMenuItem"))
        pin->setChecked(Options.MagneticFE);
    if (auto *out = dockOf(FileOutputBDForm))
        out->setAllowedAreas(Qt::BottomDockWidgetArea);
}

// ---------------------------------------------------------------------------
// Stored layout of the side areas

void TMainForm::SaveDockPanel(TDockSite *Panel)
{
    QList<QPair<QString, int>> shown;
    QStringList hidden;
    for (QDockWidget *d : Panel->DockClients()) {
        if (d->isVisibleTo(this))
            shown.append({d->objectName(), d->height()});
        else
            hidden.append(d->objectName());
    }
    TRegistry reg;
    if (!reg.OpenKey(guiSubKey(Panel->objectName()), true))
        return;
    reg.WriteBinaryData(QStringLiteral("DataStream"), StackedPanelStream(areaWidth(Panel), shown, hidden).Encode());
}

void TMainForm::LoadDockPanel(TDockSite *Panel)
{
    QByteArray data;
    try {
        TRegistry reg;
        if (!reg.OpenKeyReadOnly(guiSubKey(Panel->objectName())) || !reg.ValueExists(QStringLiteral("DataStream")))
            return;
        data = reg.ReadBinaryData(QStringLiteral("DataStream"));
    } catch (const ERegistryException &) {
        return;
    }
    // Checked whole before anything changes: a damaged value leaves the
    // designed layout.
    const std::optional<TDockPanelStream> stream = TDockPanelStream::Decode(data);
    if (data.isEmpty() || !stream || stream->width < 5)
        return;
    QList<QDockWidget *> docks;
    QList<int> heights;
    for (const TDockZone &z : stream->zones) {
        if (z.name.isEmpty())
            continue;
        auto *d = findChild<QDockWidget *>(z.name, Qt::FindDirectChildrenOnly);
        if (!d)
            continue;
        // Stacked in the stored order.
        if (!docks.isEmpty()) {
            d->setFloating(false);
            splitDockWidget(docks.last(), d, Qt::Vertical);
        } else {
            Panel->Dock(d);
        }
        docks.append(d);
        heights.append(std::max(1, z.limit));
    }
    if (docks.isEmpty())
        return;
    resizeDocks({docks.first()}, {stream->width}, Qt::Horizontal);
    if (docks.size() > 1)
        resizeDocks(docks, heights, Qt::Vertical);
}

void TMainForm::RestoreDockForms()
{
    LoadDockPanel(LeftDockPanel);
    LoadDockPanel(RightDockPanel);
    const QList<QObject *> sites = {LeftDockPanel, RightDockPanel};
    for (QDockWidget *d : explorerForms(*this))
        LoadDockState(guiSubKey(QString::fromLatin1(d->metaObject()->className()).section(QLatin1String("::"), -1)),
                      d, sites);
    if (!Options.FileExp)
        for (QDockWidget *d : explorerForms(*this))
            d->hide();
    ApplyDockRules();
}

void TMainForm::SaveDockForms()
{
    SaveDockPanel(LeftDockPanel);
    SaveDockPanel(RightDockPanel);
    const QList<QObject *> sites = {LeftDockPanel, RightDockPanel};
    for (QDockWidget *d : explorerForms(*this))
        SaveDockState(guiSubKey(QString::fromLatin1(d->metaObject()->className()).section(QLatin1String("::"), -1)),
                      d, sites);
}

// ---------------------------------------------------------------------------
// The explorer switch

void TMainForm::ShowFileExplorer()
{
    QAction *item = Item("FileExMenuItem");
    const QList<QDockWidget *> forms = explorerForms(*this);
    if (!Options.FileExp) {
        item->setChecked(false);
        for (QDockWidget *d : forms)
            d->hide();
        Options.MagneticFE = false;
        ApplyDockRules();
        return;
    }
    item->setChecked(true);
    // Docking ends the pinned mode.
    Options.MagneticFE = false;
    ApplyDockRules();
    QDockWidget *previous = nullptr;
    for (QDockWidget *d : forms) {
        d->setFloating(false);
        if (previous)
            splitDockWidget(previous, d, Qt::Vertical);
        else
            addDockWidget(Qt::LeftDockWidgetArea, d);
        d->show();
        previous = d;
    }
    if (!forms.isEmpty())
        resizeDocks({forms.first()}, {kSidePanelWidth}, Qt::Horizontal);
    if (auto *dir = qobject_cast<TDirBDForm *>(DirBDForm.data())) {
        dir->WM_EXPLORERSHOWN();
        dir->InternTreeViewClick();
    }
}

void TMainForm::FileExMenuItemClick()
{
    Options.FileExp = Item("FileExMenuItem")->isChecked();
    ShowFileExplorer();
}

// ---------------------------------------------------------------------------
// Dock rules

void TMainForm::DockFormLocationChanged(QWidget *form, Qt::DockWidgetArea area)
{
    auto *dock = qobject_cast<QDockWidget *>(form);
    TDockSite *site = siteOf(*this, area);
    if (!dock || !site || dock->isFloating())
        return;
    // Where it sat, for the message when it leaves.
    form->setProperty("zkDockArea", int(area));
    if (site == BottomDockPanel) {
        if (dock->height() < 5)
            resizeDocks({dock}, {kBottomPanelHeight}, Qt::Vertical);
        FileOutputShown = true;
        qCDebug(lcDock).noquote() << QStringLiteral("BottomDockPanel OnDockDrop: ") + form->objectName();
        return;
    }
    if (areaWidth(site) < 5)
        resizeDocks({dock}, {kSidePanelWidth}, Qt::Horizontal);
    if (Options.MagneticFE) {
        Options.MagneticFE = false;
        ApplyDockRules();
    }
    qCDebug(lcDock).noquote() << site->objectName() + QStringLiteral(" OnDockDrop: ") + form->objectName();
}

void TMainForm::DockFormTopLevelChanged(QWidget *form, bool floating)
{
    if (!floating)
        return;
    TDockSite *site = siteOf(*this, Qt::DockWidgetArea(form->property("zkDockArea").toInt()));
    form->setProperty("zkDockArea", QVariant());
    if (site && site != BottomDockPanel && site->VisibleDockClientCount() == 0)
        qCDebug(lcDock).noquote() << site->objectName() + QStringLiteral(" (jetzt leer) OnUnDock: ") + form->objectName();
}

// ---------------------------------------------------------------------------
// The text-output window

void TMainForm::ToggleFileOutput()
{
    if (IsClosing || m_closeDone)
        return;
    if (FileOutputShown) {
        if (!FileOutputBDForm && CreateFileOutputForm) {
            FileOutputBDForm = CreateFileOutputForm();
            if (auto *d = dockOf(FileOutputBDForm)) {
                // Its destruction takes the reference first, then the switch.
                connect(d, &QObject::destroyed, this, [this] {
                    FileOutputBDForm.clear();
                    if (FileOutputShown) {
                        FileOutputShown = false;
                        ToggleFileOutput();
                    }
                });
            }
        }
        auto *d = dockOf(FileOutputBDForm);
        if (!d)
            return;
        ApplyDockRules();
        d->setFloating(false);
        addDockWidget(Qt::BottomDockWidgetArea, d);
        resizeDocks({d}, {kBottomPanelHeight}, Qt::Vertical);
        d->show();
        FileOutputShown = true;
        return;
    }
    Item("FileOutputMenuItem")->setChecked(false);
    if (QWidget *w = FileOutputBDForm.data()) {
        FileOutputBDForm.clear();
        w->deleteLater();
    }
    FileOutputShown = false;
}

void TMainForm::FileOutputMenuItemClick()
{
    FileOutputShown = Item("FileOutputMenuItem")->isChecked();
    ToggleFileOutput();
}

// ---------------------------------------------------------------------------
// Pinned placement

void TMainForm::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    WMMove();
}

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

namespace {

// Pinned placement moves the two explorer windows only while both float
// beside the main window; docked ones keep their area.
bool pinnable(const TMainForm &f)
{
    auto *dir = dockOf(f.DirBDForm), *nav = dockOf(f.NavBDForm);
    return f.Options.MagneticFE && dir && nav && dir->isVisible() && nav->isVisible() && dir->isFloating()
           && nav->isFloating();
}

// Sets a floating window's outer frame height.
void setFrameHeight(QWidget *w, int height)
{
    const int decoration = w->frameGeometry().height() - w->height();
    w->resize(w->width(), std::max(1, height - decoration));
}

} // namespace

void TMainForm::WMMove()
{
    if (m_placingPinned)
        return;
    if (pinnable(*this)) {
        m_placingPinned = true;
        auto *dir = dockOf(DirBDForm), *nav = dockOf(NavBDForm);
        const QRect main = frameGeometry();
        setFrameHeight(dir, main.height() / 2);
        dir->move(main.left() - dir->frameGeometry().width(), main.top());
        setFrameHeight(nav, main.height() / 2);
        nav->move(main.left() - nav->frameGeometry().width(), main.top() + dir->frameGeometry().height());
        if (SaveAviEdtForm && SaveAviEdtForm->isVisible())
            SaveAviEdtForm->move(main.left() - dir->frameGeometry().width(), main.top() + main.height());
        m_placingPinned = false;
    }
    if (Options.MagneticFE && isVisible())
        activateWindow();
}

void TMainForm::FormResize()
{
    if (m_placingPinned || !pinnable(*this))
        return;
    if (Options.ExpDimParts) {
        WMMove();
        return;
    }
    auto *dir = dockOf(DirBDForm), *nav = dockOf(NavBDForm);
    m_placingPinned = true;
    setFrameHeight(nav, frameGeometry().height() - dir->frameGeometry().height());
    m_placingPinned = false;
}

void TMainForm::PlacePinnedExplorer()
{
    ApplyDockRules();
    auto *dir = dockOf(DirBDForm), *nav = dockOf(NavBDForm);
    if (Options.MagneticFE && dir && nav && dir->isVisible() && nav->isVisible())
        for (QDockWidget *d : {dir, nav})
            if (!d->isFloating())
                d->setFloating(true);
    WMMove();
}

void TMainForm::FEMagMenuItemClick()
{
    Options.MagneticFE = Item("FEMagMenuItem")->isChecked();
    ApplyDockRules();
    if (!Options.MagneticFE)
        return;
    auto *dir = qobject_cast<TDirBDForm *>(DirBDForm.data());
    auto *nav = dockOf(NavBDForm);
    if (dir && nav && dir->isVisible() && nav->isVisible()) {
        PlacePinnedExplorer();
    } else if (dir) {
        // The folder window's own command switches the option itself.
        Options.MagneticFE = false;
        dir->FEMag2MenuItemClick(dir->FEMag2MenuItem);
        ApplyDockRules();
    }
}

// ---------------------------------------------------------------------------
// The Window menu

void TMainForm::WinMenuItemClick()
{
    const auto visible = [](const QPointer<QWidget> &w) { return w && w->isVisible(); };
    Item("DirExMenuItem")->setVisible(visible(DirBDForm));
    Item("FileEx2MenuItem")->setVisible(visible(NavBDForm));
    Item("TxtOutMenuItem")->setVisible(visible(FileOutputBDForm));
    Item("AviMenuItem")->setVisible(SaveAviEdtForm && SaveAviEdtForm->isVisible());
    if (QAction *q = Item("QuorvexMenuItem"))
        q->setVisible(q->property("companion").toBool() && FindWindowByTitle(QStringLiteral("Quorvex 1.0")) != 0);
}

void TMainForm::TreeMenuItemClick(QObject *Sender)
{
    const int tag = Sender->property("Tag").toInt();
    auto *dir = qobject_cast<TDirBDForm *>(DirBDForm.data());
    switch (tag) {
    case 0:
        if (dir && dir->isVisible())
            (dir->DirPageControl->currentIndex() == 0 ? dir->InternTreeView : dir->ExternTree())->setFocus();
        break;
    case 1:
        if (dir && dir->isVisible())
            dir->DirPageControl->setFocus();
        break;
    case 2:
        if (NavBDForm && NavBDForm->isVisible()) {
            NavBDForm->activateWindow();
            NavBDForm->setFocus();
        }
        break;
    case 3:
        if (FileOutputBDForm && FileOutputBDForm->isVisible())
            FileOutputBDForm->setFocus();
        break;
    case 4:
        if (SaveAviEdtForm && SaveAviEdtForm->isVisible()) {
            SaveAviEdtForm->activateWindow();
            SaveAviEdtForm->setFocus();
        }
        break;
    case 5:
        // A missing companion window: nothing happens.
        ActivateWindow(FindWindowByTitle(QStringLiteral("Quorvex 1.0")));
        break;
    default:
        break;
    }
}

void TMainForm::InternMenuItemClick()
{
    auto *dir = qobject_cast<TDirBDForm *>(DirBDForm.data());
    if (!dir)
        return;
    dir->DirPageControl->setCurrentIndex(0);
    if (QTreeWidgetItem *node = dir->InternNode(10)) {
        dir->InternTreeView->setCurrentItem(node);
        dir->InternTreeViewClick();
    }
}

} // namespace zk
