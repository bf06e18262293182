#include "DirBDForm.h"
#include "XPLook.h"

#include "BarPopupMenu.h"
#include "FirstFrame.h"
#include "FolderTree.h"
#include "Globals.h"
#include "LazyIcon.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "ProgramDir.h"
#include "Registry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <tuple>
#include <utility>

namespace zk {

namespace {

constexpr int kPathRole = Qt::UserRole;
// The images of an Intern node whose icon is still to be set.
constexpr int kLaterImagesRole = Qt::UserRole + 1;
const QString kPlaceholder = QStringLiteral("y");

// Node captions of the fixed part of the Intern tree, in tree order, with
// parent index and the normal and selected image.
struct FixedNode
{
    const char *caption;
    int parent;
    int image;
    int selImage;
};
constexpr FixedNode kFixed[] = {
    {"Zelkora 5.0", -1, 0, 0}, {"Ablage", 0, 1, 1},     {"Autosave", 0, 2, 2},  {"Beide", 0, 6, 7},
    {"AVI", -1, 15, 15},       {"AVI-Build", 4, 12, 12}, {"AVI-Edit", 4, 12, 12}, {"History", -1, 8, 8},
    {"Heute", 7, 13, 13},      {"Gestern", 7, 14, 14},  {"Datum...", 7, 9, 9},  {"Eigene", -1, 3, 3},
    {"Auswahl...", 11, 4, 4},  {"Neu...", 11, 16, 16}};
constexpr int kGroupNodes[4] = {0, 4, 7, 11};

QIcon StdIcon(QStyle::StandardPixmap p)
{
    return QApplication::style()->standardIcon(p);
}

// An icon showing selImage while its node is selected.
QIcon NodeIcon(const QList<QIcon> &list, int image, int selImage)
{
    if (image < 0 || image >= list.size())
        return {};
    if (selImage == image || selImage < 0 || selImage >= list.size())
        return list[image];
    // Put together when the node is first drawn.
    return LazyIcon([normal = list[image], selected = list[selImage]] {
        QIcon icon;
        for (const QSize s : {QSize(16, 16), QSize(24, 24), QSize(32, 32)}) {
            icon.addPixmap(normal.pixmap(s), QIcon::Normal);
            icon.addPixmap(selected.pixmap(s), QIcon::Selected);
        }
        return icon;
    });
}

QList<QIcon> MakeInternImages()
{
    using S = QStyle;
    const S::StandardPixmap order[17] = {
        S::SP_ComputerIcon,           S::SP_DirHomeIcon,       S::SP_DriveHDIcon,
        S::SP_DirLinkIcon,            S::SP_DirOpenIcon,       S::SP_DirClosedIcon,
        S::SP_DirIcon,                S::SP_DirOpenIcon,       S::SP_FileDialogDetailedView,
        S::SP_FileDialogContentsView, S::SP_DirIcon,           S::SP_DriveNetIcon,
        S::SP_MediaPlay,              S::SP_FileDialogInfoView, S::SP_FileDialogBack,
        S::SP_MediaVolume,            S::SP_FileDialogNewFolder};
    QList<QIcon> list;
    for (const auto p : order)
        list.append(StdIcon(p));
    return list;
}

QList<QIcon> MakeExternImages()
{
    using S = QStyle;
    return {StdIcon(S::SP_DirClosedIcon), StdIcon(S::SP_DriveHDIcon), StdIcon(S::SP_DriveCDIcon),
            StdIcon(S::SP_DriveNetIcon),  StdIcon(S::SP_DriveFDIcon), StdIcon(S::SP_DirOpenIcon)};
}

// "&OK" (default) and "&Abbrechen" at the bottom right of a dialog.
std::pair<QPushButton *, QPushButton *> OkCancelRow(QDialog *dialog, QVBoxLayout *layout, const char *okName,
                                                    const char *cancelName)
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(QStringLiteral("&OK"), dialog);
    ok->setObjectName(QString::fromLatin1(okName));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("&Abbrechen"), dialog);
    cancel->setObjectName(QString::fromLatin1(cancelName));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    return {ok, cancel};
}

// A folder node with its placeholder child.
QTreeWidgetItem *FolderNode(const QString &base, const QString &name, const QIcon &icon)
{
    auto *child = new QTreeWidgetItem(QStringList(name));
    child->setData(0, kPathRole, base + name);
    child->setIcon(0, icon);
    new QTreeWidgetItem(child, QStringList(kPlaceholder));
    return child;
}

bool IsPlaceholderOnly(const QTreeWidgetItem *node)
{
    return node->childCount() == 1 && node->child(0)->text(0) == kPlaceholder &&
           node->child(0)->data(0, kPathRole).isNull();
}

} // namespace

// ---------------------------------------------------------------------------

TBaseDockForm::TBaseDockForm(QMainWindow *mainWindow, const QString &title)
    : QDockWidget(title, mainWindow), m_main(mainWindow)
{
    // Closable, movable and floatable; the title bar has no minimise or
    // maximise button. A floating dock window belongs to the main window, so
    // the window manager keeps it above it.
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    FormCreate();
}

void TBaseDockForm::FormCreate()
{
    // The main window owns and frees every explorer window.
    if (m_main && parent() != m_main)
        setParent(m_main);
}

int TBaseDockForm::DockTag() const
{
    if (isFloating() || !m_main)
        return -1;
    switch (m_main->dockWidgetArea(const_cast<TBaseDockForm *>(this))) {
    case Qt::LeftDockWidgetArea:
        return 0;
    case Qt::RightDockWidgetArea:
        return 1;
    case Qt::BottomDockWidgetArea:
        return 2;
    default:
        return -1;
    }
}

QString BrowseForFolder(int options)
{
    Q_UNUSED(options)
    return QFileDialog::getExistingDirectory(QApplication::activeWindow(), QStringLiteral("Verzeichnis wählen..."),
                                             QString(), QFileDialog::ShowDirsOnly);
}

// ---------------------------------------------------------------------------

TDirBDForm::TDirBDForm(QMainWindow *mainWindow, TZelkoraOptions *options)
    : TBaseDockForm(mainWindow, QStringLiteral("Verzeichnis-Explorer")), m_options(options)
{
    setObjectName(QStringLiteral("DirBDForm"));
    InternImageList = MakeInternImages();
    ExternImageList = MakeExternImages();
    DirBDMultiLanguage = new TMultiLanguage(this);
    DirBDMultiLanguage->setObjectName(QStringLiteral("DirBDMultiLanguage"));
    buildTrees();
    buildMenu();

    Prompts.AskEntryName = [this](QString &name) {
        bool ok = false;
        name = QInputDialog::getText(this, QStringLiteral("Neues Verzeichnis anlegen"),
                                     QStringLiteral("Name eingeben:"), QLineEdit::Normal,
                                     QStringLiteral("Neuer Grafik-Container"), &ok);
        return ok;
    };
    Prompts.BrowseFolder = [] { return BrowseForFolder(); };
    Prompts.SelectFolder = [this](const QString &caption) {
        QString folder;
        zk::SelectFolder(caption, folder, this);
        return folder;
    };
    Prompts.Message = [this](const QString &text) { QMessageBox::information(this, windowTitle(), text); };
    Prompts.Confirm = [this](const QString &text) {
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    Prompts.AskBothFolder = [this]() {
        TSelSysDirBMForm dialog(this);
        dialog.SetLanguage(DirBDMultiLanguage->Script(), m_options ? m_options->Language : 0);
        TXPLook::ApplyToForm(&dialog, m_options && m_options->XPContrStyle);
        return dialog.exec() == QDialog::Accepted ? dialog.BothDirComboBox->currentIndex() : -1;
    };

    // Creation: "Ablage" selected, the entries of the ini file, the group
    // nodes as they were left. The selection is not scrolled to on the first
    // show: that would open "Zelkora 5.0" over it and store it as opened.
    InternTreeView->setAutoScroll(false);
    InternTreeView->setCurrentItem(InternNode(1));
    InternTreeView->setAutoScroll(true);
    LoadEntries();
    loadNodeState();
    for (int i = 0; i < 4; ++i)
        expandAll(InternNode(kGroupNodes[i]), m_nodeExpanded[i], false);
    connect(InternTreeView, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        for (int i = 0; i < 4; ++i)
            if (item == InternNode(kGroupNodes[i]))
                m_nodeExpanded[i] = true;
    });
    connect(InternTreeView, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        for (int i = 0; i < 4; ++i)
            if (item == InternNode(kGroupNodes[i]))
                m_nodeExpanded[i] = false;
    });
}

TDirBDForm::~TDirBDForm()
{
    saveNodeState();
}

QString TDirBDForm::EntriesFile()
{
    return AppFilePath(QStringLiteral("ZK5.ini"));
}

QTreeWidgetItem *TDirBDForm::addInternNode(QTreeWidgetItem *parent, const QString &caption, int image,
                                           int selImage)
{
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(InternTreeView);
    item->setText(0, caption);
    setNodeImages(item, image, selImage);
    return item;
}

void TDirBDForm::setNodeImages(QTreeWidgetItem *item, int image, int selImage)
{
    if (m_imagesLater) {
        item->setData(0, kLaterImagesRole, QPoint(image, selImage));
        return;
    }
    auto found = m_nodeIcons.find({image, selImage});
    if (found == m_nodeIcons.end())
        found = m_nodeIcons.insert({image, selImage}, NodeIcon(InternImageList, image, selImage));
    item->setIcon(0, *found);
}

void TDirBDForm::applyLaterImages()
{
    if (!m_imagesLater)
        return;
    m_imagesLater = false;
    DirPageControl->setTabIcon(DirPageControl->indexOf(InternTabSheet), InternImageList[10]);
    DirPageControl->setTabIcon(DirPageControl->indexOf(ExternTabSheet), InternImageList[11]);
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it) {
        const QVariant images = (*it)->data(0, kLaterImagesRole);
        if (!images.isValid())
            continue;
        (*it)->setData(0, kLaterImagesRole, QVariant());
        setNodeImages(*it, images.toPoint().x(), images.toPoint().y());
    }
}

namespace {

QTreeWidget *makeTree(QWidget *page, const char *name)
{
    if (!page->layout()) {
        auto *l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
    }
    auto *tree = new QTreeWidget(page);
    tree->setObjectName(QString::fromLatin1(name));
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    // Every row is one line with a small icon: the first row's height
    // serves for all, so laying out the tree opens no icon but one.
    tree->setUniformRowHeights(true);
    page->layout()->addWidget(tree);
    return tree;
}

} // namespace

void TDirBDForm::buildTrees()
{
    auto *body = new QWidget(this);
    body->setObjectName(QStringLiteral("DirBDFormBody"));
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    DirPageControl = new QTabWidget(body);
    DirPageControl->setObjectName(QStringLiteral("DirPageControl"));
    DirPageControl->setTabPosition(QTabWidget::South);
    layout->addWidget(DirPageControl);

    InternTabSheet = new QWidget;
    InternTabSheet->setObjectName(QStringLiteral("InternTabSheet"));
    ExternTabSheet = new QWidget;
    ExternTabSheet->setObjectName(QStringLiteral("ExternTabSheet"));
    InternTreeView = makeTree(InternTabSheet, "InternTreeView");
    InternTreeView->setToolTip(QStringLiteral("Verzeichnis auswählen"));
    InternTreeView->setMouseTracking(true);
    DirPageControl->addTab(InternTabSheet, QStringLiteral("Intern"));
    DirPageControl->addTab(ExternTabSheet, QStringLiteral("Extern"));
    // Laying out a tab or a tree row measures its image, which opens the
    // icon theme: the images of the tabs and nodes made now follow right
    // after the window is up.
    QTimer::singleShot(0, this, &TDirBDForm::applyLaterImages);
    // The folder tree sits on the tab not shown at first: it is made right
    // after the window's first frame, before its texts are written.
    AfterFirstFrame(this, [this] { ExternTree(); });
    setWidget(body);

    QList<QTreeWidgetItem *> made;
    for (const FixedNode &n : kFixed)
        made.append(addInternNode(n.parent < 0 ? nullptr : made[n.parent], QString::fromUtf8(n.caption), n.image,
                                  n.selImage));

    connect(InternTreeView, &QTreeWidget::itemClicked, this, [this] { InternTreeViewClick(); });
    connect(InternTreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *, QTreeWidgetItem *previous) { InternTreeViewChanging(previous); });
    InternTreeView->installEventFilter(this);
    connect(DirPageControl, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_pageGuard || index == m_page)
            return;
        if (!DirPageControlChanging()) {
            m_pageGuard = true;
            DirPageControl->setCurrentIndex(m_page);
            m_pageGuard = false;
            return;
        }
        m_page = index;
        DirPageControlChange();
    });
    connectTreePopup(InternTreeView);
}

QTreeWidget *TDirBDForm::ExternTree()
{
    if (ExternTreeView)
        return ExternTreeView;
    ExternTreeView = makeTree(ExternTabSheet, "ExternTreeView");
    connect(ExternTreeView, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        ExpandExternNode(item);
    });
    connect(ExternTreeView, &QTreeWidget::currentItemChanged, this, [this] { ExternTreeViewChange(); });
    connectTreePopup(ExternTreeView);
    return ExternTreeView;
}

void TDirBDForm::connectTreePopup(QTreeWidget *tree)
{
    connect(tree, &QWidget::customContextMenuRequested, this, [this, tree](const QPoint &pos) {
        // A right click selects the node under the mouse first.
        if (QTreeWidgetItem *item = tree->itemAt(pos))
            tree->setCurrentItem(item);
        FEPopupMenuPopup();
        const QPoint global = tree->viewport()->mapToGlobal(pos);
        FEBarPopupMenu->Popup(global.x(), global.y());
    });
}

bool TDirBDForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter and Space act like a click on the selected node.
    if (watched == InternTreeView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            InternTreeViewClick();
            return true;
        }
    }
    return TBaseDockForm::eventFilter(watched, event);
}

void TDirBDForm::buildMenu()
{
    FEBarPopupMenu = new TBarPopupMenu(this);
    FEBarPopupMenu->setObjectName(QStringLiteral("FEBarPopupMenu"));
    FEBarPopupMenu->VerticalText = QStringLiteral("Zelkora 5.0");
    const auto item = [this](const char *name, const char *caption, bool checkable) {
        auto *a = FEBarPopupMenu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setCheckable(checkable);
        return a;
    };
    FEMag2MenuItem = item("FEMag2MenuItem", "Datei-Explorer anheften", true);
    ExpDimMenuItem = item("ExpDimMenuItem", "Explorerteile in gleicher Grösse", true);
    FEBarPopupMenu->addSeparator();
    OnlyGraphTyp2MenuItem = item("OnlyGraphTyp2MenuItem", "Nur Grafikdateien anzeigen", true);
    ChRealDirMenuItem = item("ChRealDirMenuItem", "In Realverzeichnis wechseln", false);
    ChRealDirMenuItem->setVisible(false);
    FEBarPopupMenu->addSeparator();
    NewDirMenuItem = item("NewDirMenuItem", "Neues Verzeichnis anlegen...", false);
    DirDelMenuItem = item("DirDelMenuItem", "Verzeichnis löschen...", false);
    FEBarPopupMenu->addSeparator();
    NodesExpMenuItem = item("NodesExpMenuItem", "Alle Knoten auf", false);
    NodesExpMenuItem->setProperty("Tag", 0);
    NodesColapseMenuItem = item("NodesColapseMenuItem", "Alle Knoten zu", false);
    NodesColapseMenuItem->setProperty("Tag", 1);
    FEMag2MenuItem->setIcon(ExternImageList.value(1));

    connect(FEMag2MenuItem, &QAction::triggered, this, [this] { FEMag2MenuItemClick(FEMag2MenuItem); });
    connect(ExpDimMenuItem, &QAction::triggered, this, [this] { ExpDimMenuItemClick(ExpDimMenuItem); });
    connect(OnlyGraphTyp2MenuItem, &QAction::triggered, this,
            [this] { OnlyGraphTyp2MenuItemClick(OnlyGraphTyp2MenuItem); });
    connect(ChRealDirMenuItem, &QAction::triggered, this, [this] { ChRealDirMenuItemClick(); });
    connect(NewDirMenuItem, &QAction::triggered, this, [this] { NewDirMenuItemClick(); });
    connect(DirDelMenuItem, &QAction::triggered, this, [this] { DirDelMenuItemClick(); });
    for (QAction *a : {NodesExpMenuItem, NodesColapseMenuItem})
        connect(a, &QAction::triggered, this, [this, a] { NodesExpMenuItemClick(a->property("Tag").toInt()); });
}

// ---------------------------------------------------------------------------
// Nodes

QTreeWidgetItem *TDirBDForm::InternNode(int index) const
{
    int i = 0;
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it, ++i)
        if (i == index)
            return *it;
    return nullptr;
}

int TDirBDForm::InternNodeIndex(const QTreeWidgetItem *node) const
{
    int i = 0;
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it, ++i)
        if (*it == node)
            return i;
    return -1;
}

int TDirBDForm::InternNodeCount() const
{
    int i = 0;
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it)
        ++i;
    return i;
}

bool TDirBDForm::AddEntryNode(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it)
        if ((*it)->text(0) == name)
            return false;
    addInternNode(InternNode(11), name, 6, 7);
    return true;
}

void TDirBDForm::LoadEntries()
{
    // One pass over the captions instead of one per entry: a long list of
    // entries loads in linear time.
    QSet<QString> captions;
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it)
        captions.insert((*it)->text(0));
    QTreeWidgetItem *own = InternNode(11);
    QList<QTreeWidgetItem *> added;
    for (const QString &name : TEntryStore(EntriesFile()).Names()) {
        if (name.isEmpty() || captions.contains(name))
            continue;
        captions.insert(name);
        auto *item = new QTreeWidgetItem(QStringList(name));
        setNodeImages(item, 6, 7);
        added.append(item);
    }
    own->addChildren(added);
}

void TDirBDForm::GetSelectedNodeText(QString &text) const
{
    if (const QTreeWidgetItem *node = InternTreeView->currentItem())
        text = node->text(0);
}

QString TDirBDForm::Text(const QString &key, const QString &german) const
{
    const QString t = DirBDMultiLanguage ? DirBDMultiLanguage->GetText(key) : QString();
    return t.isEmpty() ? german : t;
}

void TDirBDForm::showMessage(const QString &text) const
{
    if (Prompts.Message)
        Prompts.Message(text);
}

bool TDirBDForm::confirm(const QString &text) const
{
    return Prompts.Confirm && Prompts.Confirm(text);
}

// ---------------------------------------------------------------------------
// Listing

void TDirBDForm::InternTreeViewClick()
{
    UserFolder.clear();
    const QTreeWidgetItem *node = InternTreeView->currentItem();
    if (!node)
        return;
    const QString caption = node->text(0);
    const auto run = [](const std::function<void()> &f) {
        if (f)
            f();
    };
    const int index = InternNodeIndex(node);
    if (index >= 0 && index < kFixedNodes) {
        switch (index) {
        case 1:
            if (m_options && !m_options->OutDir.isEmpty())
                run(FileList.ListStorageFolder);
            else if (FileList.SetColumnCaption)
                FileList.SetColumnCaption(Text(QStringLiteral("caption_no_storage_dir"), QStringLiteral("Kein Ablageverzeichnis")));
            return;
        case 2: run(FileList.ListAutosave); return;
        case 5: run(FileList.ListAviBuild); return;
        case 6: run(FileList.ListAviEdit); return;
        case 3: run(FileList.ListBoth); return;
        case 8: run(FileList.ListToday); return;
        case 9: run(FileList.ListYesterday); return;
        case 10:
            if (FileList.SearchByDate)
                FileList.SearchByDate(this);
            return;
        case 12: {
            if (Prompts.SelectFolder)
                UserFolder = Prompts.SelectFolder(
                    Text(QStringLiteral("select_graphicdir"), QStringLiteral("Grafikverzeichnis wählen")));
            // A cancelled choice lists nothing.
            if (!UserFolder.isEmpty() && FileList.ListFolder)
                FileList.ListFolder(UserFolder);
            return;
        }
        case 13: NewDirMenuItemClick(); return;
        default: return; // the group nodes
        }
    }
    // A user entry.
    const QString folder = TEntryStore(EntriesFile()).Folder(caption, QStringLiteral("ERROR"));
    if (folder == QLatin1String("ERROR") || (!folder.isEmpty() && !QFileInfo(folder).isDir())) {
        showMessage(Text(QStringLiteral("showmsg_error_occured_in_dir"),
                         QStringLiteral("Beim Öffnen des Verzeichnisses ist ein Fehler aufgetreten:")) +
                    u'\n' + (folder == QLatin1String("ERROR") ? caption : folder));
        return;
    }
    if (!folder.isEmpty() && FileList.ListEntryFolder)
        FileList.ListEntryFolder(folder);
}

void TDirBDForm::InternTreeViewChanging(QTreeWidgetItem *previous)
{
    if (!previous)
        return;
    if (FileList.ClearList)
        FileList.ClearList();
    if (FileList.SetColumnCaption)
        FileList.SetColumnCaption(Text(QStringLiteral("caption_vsreport_std"), QStringLiteral("Dateiname")));
}

bool TDirBDForm::DirPageControlChanging()
{
    return !FileList.ListingDone || FileList.ListingDone();
}

void TDirBDForm::setPageActive(int page)
{
    if (DirPageControl->currentIndex() == page)
        return;
    DirPageControl->setCurrentIndex(page);
}

void TDirBDForm::DirPageControlChange()
{
    if (FileList.ClearList)
        FileList.ClearList();
    const bool intern = DirPageControl->currentIndex() == 0;
    if (FileList.PageChanged)
        FileList.PageChanged(intern);
    if (intern) {
        if (FileList.SetColumnCaption)
            FileList.SetColumnCaption(Text(QStringLiteral("caption_vsreport_std"), QStringLiteral("Dateiname")));
        const QTreeWidgetItem *node = InternTreeView->currentItem();
        if (!node || node->text(0).isEmpty())
            return;
        if (InternNodeIndex(node) == 12 && !UserFolder.isEmpty()) {
            if (FileList.ListFolder)
                FileList.ListFolder(UserFolder);
        } else {
            InternTreeViewClick();
        }
        return;
    }
    if (FileList.SetColumnCaption)
        FileList.SetColumnCaption(
            Text(QStringLiteral("caption_for_navbdform_0files"), QStringLiteral("0 Dateien")));
    if (!m_externFilled) {
        FillExternRoots();
        m_externFilled = true;
    } else if (ExternTree()->currentItem()) {
        ExternTreeViewChange();
    }
}

void TDirBDForm::ExternTreeViewChange()
{
    const QTreeWidgetItem *node = ExternTree()->currentItem();
    if (!node || !FileList.ListRealFolder)
        return;
    FileList.ListRealFolder(GetNodePath(node));
}

// ---------------------------------------------------------------------------
// The computer's folders

void TDirBDForm::FillExternRoots()
{
    const QList<TExternRoot> roots = ExternRootSource ? ExternRootSource() : ExternRootsFrom(MountedVolumes());
    const QSignalBlocker block(ExternTree());
    ExternTree()->clear();
    for (const TExternRoot &r : roots) {
        auto *node = new QTreeWidgetItem(ExternTree());
        node->setText(0, r.path);
        node->setData(0, kPathRole, r.path);
        node->setIcon(0, NodeIcon(ExternImageList, r.image, r.image));
        new QTreeWidgetItem(node, QStringList(kPlaceholder));
    }
}

QString TDirBDForm::GetNodePath(const QTreeWidgetItem *node) const
{
    if (!node)
        return {};
    QString path = node->data(0, kPathRole).toString();
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

void TDirBDForm::ExpandExternNode(QTreeWidgetItem *node)
{
    if (!node)
        return;
    ExternTree()->setUpdatesEnabled(false);
    const QString base = GetNodePath(node);
    const QList<QTreeWidgetItem *> old = node->takeChildren();
    qDeleteAll(old);
    const QIcon folder = NodeIcon(ExternImageList, eiFolder, eiFolderOpen);
    QList<QTreeWidgetItem *> children;
    for (const QString &name : SubFolders(base, m_followLinks))
        children.append(FolderNode(base, name, folder));
    node->addChildren(children);
    ExternTree()->setUpdatesEnabled(true);
}

void TDirBDForm::SelectRealPath(const QString &path)
{
    RealPathRest = path;
    QStringList roots;
    for (int i = 0; i < ExternTree()->topLevelItemCount(); ++i)
        roots.append(ExternTree()->topLevelItem(i)->data(0, kPathRole).toString());
    const TRealPathRoute route = RouteToFolder(path, roots);
    const QString problem = QStringLiteral("Problem, da wahrscheinlich gleiche Verzeichnisnamen: ");
    if (route.root < 0) {
        showMessage(problem + path);
        return;
    }
    QTreeWidgetItem *node = ExternTree()->topLevelItem(route.root);
    for (const QString &component : route.components) {
        node->setExpanded(true);
        if (IsPlaceholderOnly(node))
            ExpandExternNode(node);
        QTreeWidgetItem *found = nullptr;
        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            for (int i = 0; i < node->childCount() && !found; ++i)
                if (node->child(i)->text(0).compare(component, cs) == 0)
                    found = node->child(i);
            if (found)
                break;
        }
        // A hidden folder is not listed, but the path may lead through it.
        if (!found && component.startsWith(u'.') && QFileInfo(GetNodePath(node) + component).isDir()) {
            found = FolderNode(GetNodePath(node), component, NodeIcon(ExternImageList, eiFolder, eiFolderOpen));
            node->addChild(found);
        }
        if (!found) {
            showMessage(problem + GetNodePath(node) + component);
            break;
        }
        node = found;
        RealPathRest = RealPathRest.mid(RealPathRest.indexOf(component) + component.size() + 1);
    }
    ExternTree()->setCurrentItem(node);
    ExternTree()->scrollToItem(node);
}

// ---------------------------------------------------------------------------
// Menu commands

void TDirBDForm::ChRealDirMenuItemClick()
{
    if (DirPageControl->currentIndex() == 0) {
        setPageActive(1);
        FillExternRoots();
        m_externFilled = true;
    }
    const QTreeWidgetItem *node = InternTreeView->currentItem();
    if (!node)
        return;
    const QString exeDir = ProgramDir();
    QString target;
    switch (InternNodeIndex(node)) {
    case 1: target = m_options ? m_options->OutDir : QString(); break;
    case 2: target = exeDir + QStringLiteral("Autosave"); break;
    case 3: {
        const int choice = Prompts.AskBothFolder ? Prompts.AskBothFolder() : -1;
        if (choice < 0)
            return;
        target = choice == 0 ? (m_options ? m_options->OutDir : QString()) : exeDir + QStringLiteral("Autosave");
        break;
    }
    case 5: target = m_options ? m_options->TmpAviPath : QString(); break;
    case 6: target = m_options ? m_options->AviCopyPath : QString(); break;
    default:
        // The attachment entry is known by its caption wherever it stands.
        if (node->text(0) == QLatin1String("Attach") && InternNodeIndex(node) >= kFixedNodes)
            target = exeDir + QStringLiteral("Attach");
        break;
    }
    if (target.isEmpty())
        return;
    SelectRealPath(target);
}

void TDirBDForm::syncMainMenu(const char *name, bool checked, bool setChecked, int enabled, int visible)
{
    QAction *a = MainMenuItem ? MainMenuItem(QString::fromLatin1(name)) : nullptr;
    if (!a)
        return;
    if (setChecked) {
        a->setCheckable(true);
        a->setChecked(checked);
    }
    if (enabled >= 0)
        a->setEnabled(enabled != 0);
    if (visible >= 0)
        a->setVisible(visible != 0);
}

void TDirBDForm::FEPopupMenuPopup()
{
    const bool extern_ = DirPageControl->currentIndex() == 1;
    const bool magnet = m_options && m_options->MagneticFE;
    const bool dim = m_options && m_options->ExpDimParts;
    FEMag2MenuItem->setChecked(magnet);
    ExpDimMenuItem->setChecked(dim);
    OnlyGraphTyp2MenuItem->setChecked(m_options && m_options->ShowOnlyGraphTypes);
    OnlyGraphTyp2MenuItem->setEnabled(extern_);
    DirDelMenuItem->setEnabled(InternNodeCount() > kFixedNodes);
    static const QStringList real = {QStringLiteral("Attach"),   QStringLiteral("Ablage"),
                                     QStringLiteral("Beide"),    QStringLiteral("Autosave"),
                                     QStringLiteral("AVI-Build"), QStringLiteral("AVI-Edit"),
                                     QStringLiteral("Heute"),    QStringLiteral("Gestern"),
                                     QStringLiteral("Datum...")};
    QString caption;
    GetSelectedNodeText(caption);
    const bool showReal = real.contains(caption);
    ChRealDirMenuItem->setVisible(showReal);
    syncMainMenu("ChRealDir3MenuItem", false, false, -1, showReal);
    for (const char *name : {"FEMagMenuItem", "FEMag3MenuItem", "FEMag4MenuItem"})
        syncMainMenu(name, magnet, true);
    for (const char *name : {"ExpDim2MenuItem", "ExpDim3MenuItem"})
        syncMainMenu(name, dim, true);
    for (const char *name : {"OnlyGraphTyp3MenuItem", "OnlyGraphTyp2MenuItem"})
        syncMainMenu(name, false, false, extern_);
}

void TDirBDForm::FEMag2MenuItemClick(QAction *sender)
{
    Q_UNUSED(sender)
    if (!m_options)
        return;
    m_options->MagneticFE = !m_options->MagneticFE;
    FEMag2MenuItem->setChecked(m_options->MagneticFE);
    if (!m_options->MagneticFE)
        return;
    QList<QDockWidget *> explorer;
    if (MainWindow())
        for (QDockWidget *d : MainWindow()->findChildren<QDockWidget *>(Qt::FindDirectChildrenOnly))
            if (d->objectName() == QLatin1String("DirBDForm") || d->objectName() == QLatin1String("NavBDForm"))
                explorer.append(d);
    const bool allFloating =
        std::all_of(explorer.begin(), explorer.end(), [](const QDockWidget *d) { return d->isFloating(); });
    if (allFloating) {
        if (MainHooks.PlacePinnedExplorer)
            MainHooks.PlacePinnedExplorer();
        return;
    }
    for (QDockWidget *d : explorer) {
        const QRect bounds(d->mapToGlobal(QPoint(0, 0)), d->size());
        d->setFloating(true);
        d->setGeometry(bounds);
    }
}

void TDirBDForm::ExpDimMenuItemClick(QAction *sender)
{
    if (!m_options)
        return;
    m_options->ExpDimParts = !m_options->ExpDimParts;
    if (sender)
        sender->setChecked(m_options->ExpDimParts);
}

void TDirBDForm::OnlyGraphTyp2MenuItemClick(QAction *sender)
{
    if (!m_options)
        return;
    m_options->ShowOnlyGraphTypes = !m_options->ShowOnlyGraphTypes;
    if (sender)
        sender->setChecked(m_options->ShowOnlyGraphTypes);
    ExternTreeViewChange();
}

void TDirBDForm::NewDirMenuItemClick()
{
    QString name;
    if (!Prompts.AskEntryName || !Prompts.AskEntryName(name))
        return;
    QStringList captions;
    for (QTreeWidgetItemIterator it(InternTreeView); *it; ++it)
        captions.append((*it)->text(0));
    TEntryStore store(EntriesFile());
    const TEntryNameFault fault = CheckEntryName(name, captions, store.Names());
    if (fault == TEntryNameFault::BadCharacter) {
        showMessage(Text(QStringLiteral("showmsg_entry_name_bad"),
                         QStringLiteral("Der Name darf weder \"=\", \"[\", \"]\" noch einen Zeilenumbruch enthalten "
                                        "und nicht mit \";\" beginnen.")));
        return;
    }
    if (fault != TEntryNameFault::None) {
        showMessage(Text(QStringLiteral("showmsg_entry_is_here"),
                         QStringLiteral("Ein Eintrag mit diesem Namen existiert bereits!")));
        return;
    }
    name = name.trimmed();
    const QString folder = Prompts.BrowseFolder ? QDir::fromNativeSeparators(Prompts.BrowseFolder()) : QString();
    QString stored = folder;
    while (stored.size() > 1 && stored.endsWith(u'/'))
        stored.chop(1);
    if (!store.Write(name, stored)) {
        showMessage(Text(QStringLiteral("showmsg_entry_not_written"),
                         QStringLiteral("Der Eintrag konnte nicht gespeichert werden:")) +
                    u'\n' + store.FileName());
        return;
    }
    AddEntryNode(name);
}

void TDirBDForm::DirDelMenuItemClick()
{
    TDynEntryDelBMForm dialog(this);
    dialog.SetLanguage(DirBDMultiLanguage->Script(), m_options ? m_options->Language : 0);
    TXPLook::ApplyToForm(&dialog, m_options && m_options->XPContrStyle);
    dialog.exec();
}

void TDirBDForm::expandAll(QTreeWidgetItem *item, bool expand, bool followExtern)
{
    if (!item)
        return;
    if (!expand) {
        for (int i = 0; i < item->childCount(); ++i)
            expandAll(item->child(i), false, followExtern);
        item->setExpanded(false);
        return;
    }
    item->setExpanded(true);
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        if (followExtern) {
            // Every folder once: no links (a link to a parent never ends)
            // and no kernel file systems.
            const QString path = child->data(0, kPathRole).toString();
            if (m_skipPaths.contains(path))
                continue;
        }
        expandAll(child, true, followExtern);
    }
}

void TDirBDForm::NodesExpMenuItemClick(int tag)
{
    const bool expand = tag == 0;
    if (DirPageControl->currentIndex() == 0) {
        for (int i = 0; i < InternTreeView->topLevelItemCount(); ++i)
            expandAll(InternTreeView->topLevelItem(i), expand, false);
        return;
    }
    if (!confirm(QStringLiteral("Achtung, es werden alle Verzeichnisse des Systems auf/zu-geklappt, dies kann "
                                "sehr lange dauern. Dennoch aufklappen?")))
        return;
    m_skipPaths.clear();
    if (expand) {
        for (const TMountEntry &m : MountedVolumes())
            if (IsPseudoFileSystem(m))
                m_skipPaths.insert(QDir::cleanPath(m.path));
        // Mounted volumes are roots of their own; below "/" they are skipped.
        for (int i = 1; i < ExternTree()->topLevelItemCount(); ++i)
            m_skipPaths.insert(ExternTree()->topLevelItem(i)->data(0, kPathRole).toString());
    }
    m_followLinks = !expand;
    ExternTree()->setUpdatesEnabled(false);
    for (int i = 0; i < ExternTree()->topLevelItemCount(); ++i)
        expandAll(ExternTree()->topLevelItem(i), expand, true);
    ExternTree()->setUpdatesEnabled(true);
    m_followLinks = true;
}

// ---------------------------------------------------------------------------
// Lifecycle

void TDirBDForm::loadNodeState()
{
    TRegistry reg;
    if (!reg.KeyExists(QString::fromLatin1(TreeViewKey)) || !reg.OpenKey(QString::fromLatin1(TreeViewKey), false))
        return;
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("Node_%1").arg(i);
        try {
            if (reg.ValueExists(name))
                m_nodeExpanded[i] = reg.ReadBool(name);
        } catch (const std::exception &) {
            // A value of another type keeps the node collapsed.
        }
    }
}

void TDirBDForm::saveNodeState() const
{
    try {
        TRegistry reg;
        if (!reg.KeyExists(QString::fromLatin1(TreeViewKey)) ||
            !reg.OpenKey(QString::fromLatin1(TreeViewKey), false))
            return;
        for (int i = 0; i < 4; ++i)
            reg.WriteBool(QStringLiteral("Node_%1").arg(i), m_nodeExpanded[i]);
    } catch (const std::exception &) {
        // The expanded state is a convenience; a store that cannot be
        // written must not stop the program from closing.
    }
}

void TDirBDForm::hideEvent(QHideEvent *e)
{
    // Hidden on its own, a later refresh must not open a dialog again. Hidden
    // after the main window (as for a capture), the explorer comes back with
    // the user's node and listing.
    const QWidget *host = parentWidget() ? parentWidget()->window() : nullptr;
    const bool withMain = host && !host->isVisible();
    const int index = InternNodeIndex(InternTreeView->currentItem());
    if (!withMain && (index == 10 || index == 12 || index == 13))
        InternTreeView->setCurrentItem(InternNode(0));
    TBaseDockForm::hideEvent(e);
}

void TDirBDForm::closeEvent(QCloseEvent *e)
{
    if (m_options) {
        m_options->MagneticFE = false;
        const bool listVisible = FileList.FileListVisible && FileList.FileListVisible();
        if (!listVisible) {
            m_options->FileExp = false;
            if (MainHooks.ShowFileExplorer)
                MainHooks.ShowFileExplorer();
            m_explorerShown = false;
        }
    }
    TBaseDockForm::closeEvent(e);
}

void TDirBDForm::moveEvent(QMoveEvent *e)
{
    TBaseDockForm::moveEvent(e);
    if (m_options && m_options->MagneticFE && m_explorerShown && MainHooks.MainWindowMoved)
        MainHooks.MainWindowMoved();
}

void TDirBDForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    SetFormLanguage(this, Script, LanguageIndex);
}

// ---------------------------------------------------------------------------
// Deleting entries

TDynEntryDelBMForm::TDynEntryDelBMForm(TDirBDForm *explorer) : TBaseModalForm(explorer), m_explorer(explorer)
{
    setObjectName(QStringLiteral("DynEntryDelBMForm"));
    setWindowTitle(QStringLiteral("Zu löschendes Verzeichnis wählen"));
    auto *layout = new QVBoxLayout(this);
    DynDelTreeView = new QTreeWidget(this);
    DynDelTreeView->setObjectName(QStringLiteral("DynDelTreeView"));
    DynDelTreeView->setHeaderHidden(true);
    DynDelTreeView->setToolTip(QStringLiteral("Doppelklick löscht Eintrag"));
    DynDelTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(DynDelTreeView);
    std::tie(DDOkButton, DDCancelButton) = OkCancelRow(this, layout, "DDOkButton", "DDCancelButton");
    auto *root = new QTreeWidgetItem(DynDelTreeView, QStringList(QStringLiteral("Dynamische Einträge")));
    if (explorer)
        root->setIcon(0, explorer->InternImageList.value(11));
    connect(DDOkButton, &QPushButton::clicked, this, [this] { DDOkButtonClick(); });
    connect(DDCancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(DynDelTreeView, &QTreeWidget::itemDoubleClicked, this, [this] { DDOkButtonClick(); });
    resize(300, 320);
}

void TDynEntryDelBMForm::showEvent(QShowEvent *e)
{
    TBaseModalForm::showEvent(e);
    if (!m_filled)
        FormShow();
    if (OwnerWindow() && !e->spontaneous()) {
        const QRect o = OwnerWindow()->frameGeometry();
        move(o.center() - rect().center());
    }
}

void TDynEntryDelBMForm::FormShow()
{
    m_filled = true;
    QTreeWidgetItem *root = DynDelTreeView->topLevelItem(0);
    const QIcon icon = m_explorer ? NodeIcon(m_explorer->InternImageList, 6, 7) : QIcon();
    QStringList seen;
    for (const QString &name : TEntryStore(TDirBDForm::EntriesFile()).Names()) {
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen.append(name);
        auto *item = new QTreeWidgetItem(root, QStringList(name));
        item->setIcon(0, icon);
    }
    DynDelTreeView->expandAll();
    DynDelTreeView->setCurrentItem(root);
}

void TDynEntryDelBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    const TMultiLanguage *ml = FormMultiLanguage(this);
    const QString root = ml ? ml->GetText(QStringLiteral("caption_dyndel_root")) : QString();
    if (QTreeWidgetItem *item = DynDelTreeView->topLevelItem(0))
        item->setText(0, root.isEmpty() ? QStringLiteral("Dynamische Einträge") : root);
}

void TDynEntryDelBMForm::DDOkButtonClick()
{
    QTreeWidgetItem *node = DynDelTreeView->currentItem();
    if (!node || !m_explorer)
        return;
    const QString name = node->text(0);
    if (!node->parent() || name == QLatin1String("Attach")) {
        m_explorer->Prompts.Message(m_explorer->Text(
            QStringLiteral("showmsg_the_root_node_not_delete"),
            QStringLiteral("Dieser Eintrag kann nicht gelöscht werden!")));
        return;
    }
    const QString question =
        m_explorer->Text(QStringLiteral("msgdlg_sellink_delete_quest"), QStringLiteral("Soll der Eintrag \"")) +
        name +
        m_explorer->Text(QStringLiteral("msgdlg_sellink_delete_quest2"), QStringLiteral("\" wirklich gelöscht werden?"));
    if (!m_explorer->Prompts.Confirm || !m_explorer->Prompts.Confirm(question))
        return;
    TEntryStore store(TDirBDForm::EntriesFile());
    if (!store.Remove(name)) {
        m_explorer->Prompts.Message(m_explorer->Text(QStringLiteral("showmsg_entry_not_written"),
                                                     QStringLiteral("Der Eintrag konnte nicht gespeichert werden:")) +
                                    u'\n' + store.FileName());
        return;
    }
    delete node;
    QTreeWidget *tree = m_explorer->InternTreeView;
    for (int i = TDirBDForm::kFixedNodes;; ++i) {
        QTreeWidgetItem *entry = m_explorer->InternNode(i);
        if (!entry)
            break;
        if (entry->text(0) == name) {
            if (tree->currentItem() == entry)
                tree->setCurrentItem(m_explorer->InternNode(0));
            delete entry;
            break;
        }
    }
    if (m_explorer->FileList.ClearList)
        m_explorer->FileList.ClearList();
    accept();
}

// ---------------------------------------------------------------------------
// The "Beide" choice

TSelSysDirBMForm::TSelSysDirBMForm(QWidget *owner) : TBaseModalForm(owner)
{
    setObjectName(QStringLiteral("SelSysDirBMForm"));
    setWindowTitle(QStringLiteral("Verzeichnis wählen"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 15, 10);
    SelSysGroupBox = new QGroupBox(QStringLiteral("Verzeichnis wählen"), this);
    SelSysGroupBox->setObjectName(QStringLiteral("SelSysGroupBox"));
    SelSysGroupBox->setAutoFillBackground(true);
    auto *inner = new QVBoxLayout(SelSysGroupBox);
    auto *info = new QLabel(QStringLiteral("Der Container \"Beide\" setzt sich aus zwei verschiedenen Verzeichnissen "
                                           "zusammen. Zum einen aus dem Ablage-Verzeichnis und zum anderen aus dem "
                                           "Autosave-Verzeichnis. Wählen Sie das gewünschte Verzeichnis aus:"),
                            SelSysGroupBox);
    info->setObjectName(QStringLiteral("SelSysInfoLabel"));
    info->setWordWrap(true);
    inner->addWidget(info);
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("&Verzeichnis:"), SelSysGroupBox);
    label->setObjectName(QStringLiteral("SelSysDirLabel"));
    BothDirComboBox = new QComboBox(SelSysGroupBox);
    BothDirComboBox->setObjectName(QStringLiteral("BothDirComboBox"));
    BothDirComboBox->addItems({QStringLiteral("Ablage"), QStringLiteral("Autosave")});
    BothDirComboBox->setCurrentIndex(0);
    label->setBuddy(BothDirComboBox);
    row->addWidget(label);
    row->addWidget(BothDirComboBox, 1);
    inner->addLayout(row);
    layout->addWidget(SelSysGroupBox);
    std::tie(SelSysOkButton, SelSysCancButton) = OkCancelRow(this, layout, "SelSysOkButton", "SelSysCancButton");
    connect(SelSysOkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(SelSysCancButton, &QPushButton::clicked, this, &QDialog::reject);
    resize(340, 200);
}

void TSelSysDirBMForm::paintEvent(QPaintEvent *e)
{
    TBaseModalForm::paintEvent(e);
    QPainter p(this);
    PaintShadow(p, SelSysGroupBox, 5, 0x808080);
}

} // namespace zk
