#pragma once
// The folder explorer: a dockable window with two trees, the program's own
// folders, day views and the user's folder entries ("Intern"), and the
// computer's folders read as they are opened ("Extern").
#include "BaseModal.h"
#include "FolderTree.h"

#include <QDockWidget>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <array>
#include <functional>

class QComboBox;
class QGroupBox;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QAction;

namespace zk {

class TBarPopupMenu;
class TMultiLanguage;
struct TZelkoraOptions;

// The base of the program's dockable windows: owned by the main window,
// sizeable, above the main window while it floats, no minimise or maximise.
class TBaseDockForm : public QDockWidget
{
    Q_OBJECT
public:
    explicit TBaseDockForm(QMainWindow *mainWindow, const QString &title = {});
    QMainWindow *MainWindow() const { return m_main; }
    // The dock area it sits in: 0 left, 1 right, 2 bottom; -1 floating.
    int DockTag() const;

protected:
    void FormCreate();

private:
    QPointer<QMainWindow> m_main;
};

// What the file list does for the folder explorer. The file list window sets
// these when it exists; while one is unset its step lists nothing.
struct TFileListHooks
{
    std::function<void()> ListStorageFolder, ListAutosave, ListAviBuild, ListAviEdit, ListBoth, ListToday,
        ListYesterday;
    // The date dialog and the search it asks for, the dialog owned by owner.
    std::function<void(QWidget *owner)> SearchByDate;
    std::function<void(const QString &folder)> ListFolder, ListEntryFolder, ListRealFolder;
    std::function<void()> ClearList;
    std::function<void(const QString &caption)> SetColumnCaption;
    std::function<bool()> ListingDone;
    // The listing page changed (true: Intern): thumbnail item, image lists.
    std::function<void(bool intern)> PageChanged;
    std::function<bool()> FileListVisible;
};

// What the main window does for the folder explorer (its dock handling).
struct TExplorerMainHooks
{
    std::function<void()> MainWindowMoved;     // the magnet re-places the explorer
    std::function<void()> PlacePinnedExplorer; // both explorer windows against the main window
    std::function<void()> ShowFileExplorer;    // the explorer switch after FileExp changed
};

// The questions the folder explorer asks; tests answer them without a box.
struct TExplorerPrompts
{
    std::function<bool(QString &name)> AskEntryName;   // false: cancelled
    std::function<QString()> BrowseFolder;             // "" when cancelled
    std::function<QString(const QString &caption)> SelectFolder;
    std::function<void(const QString &text)> Message;
    std::function<bool(const QString &text)> Confirm;  // Yes/No
    std::function<int()> AskBothFolder;                // 0 storage, 1 Autosave, -1 cancelled
};

// Directory-only folder dialog "Verzeichnis wählen..."; "" on cancel.
QString BrowseForFolder(int options = 0);

class TDirBDForm : public TBaseDockForm
{
    Q_OBJECT
public:
    // options: the main window's options record (the explorer reads and
    // writes the magnet, filter and folder options there).
    TDirBDForm(QMainWindow *mainWindow, TZelkoraOptions *options);
    ~TDirBDForm() override;

    static constexpr int kFixedNodes = 14;
    static constexpr const char *TreeViewKey = "Software\\Tarvendo\\Zelkora\\5.0\\GUI\\TreeView";

    QTabWidget *DirPageControl = nullptr;
    QWidget *InternTabSheet = nullptr;
    QWidget *ExternTabSheet = nullptr;
    QTreeWidget *InternTreeView = nullptr;
    // The tree of the computer's folders, made on first use (at the latest
    // right after the window's first frame).
    QTreeWidget *ExternTree();
    TMultiLanguage *DirBDMultiLanguage = nullptr;
    TBarPopupMenu *FEBarPopupMenu = nullptr;
    QAction *FEMag2MenuItem = nullptr;
    QAction *ExpDimMenuItem = nullptr;
    QAction *OnlyGraphTyp2MenuItem = nullptr;
    QAction *ChRealDirMenuItem = nullptr;
    QAction *NewDirMenuItem = nullptr;
    QAction *DirDelMenuItem = nullptr;
    QAction *NodesExpMenuItem = nullptr;
    QAction *NodesColapseMenuItem = nullptr;
    QList<QIcon> InternImageList;
    QList<QIcon> ExternImageList;

    TFileListHooks FileList;
    TExplorerMainHooks MainHooks;
    TExplorerPrompts Prompts;

    QString UserFolder;
    QString RealPathRest;
    bool ExplorerShown() const { return m_explorerShown; }
    bool ExternFilled() const { return m_externFilled; }
    const std::array<bool, 4> &NodeExpanded() const { return m_nodeExpanded; }

    // The ini file of the user entries ("ZK5.ini" in the program directory).
    static QString EntriesFile();

    void GetSelectedNodeText(QString &text) const;
    // A node of the Intern tree by its index in tree order (null past the end).
    QTreeWidgetItem *InternNode(int index) const;
    int InternNodeIndex(const QTreeWidgetItem *node) const;
    int InternNodeCount() const;
    bool AddEntryNode(const QString &name);
    // Adds the entries of "ZK5.ini" under "Eigene", in file order.
    void LoadEntries();
    QString GetNodePath(const QTreeWidgetItem *node) const;
    // The drive roots of the Extern tree, each with a placeholder child.
    void FillExternRoots();
    void ExpandExternNode(QTreeWidgetItem *node);
    void SelectRealPath(const QString &path);

    void InternTreeViewClick();
    void InternTreeViewChanging(QTreeWidgetItem *previous);
    bool DirPageControlChanging();
    void DirPageControlChange();
    void ExternTreeViewChange();
    void FEMag2MenuItemClick(QAction *sender);
    void ExpDimMenuItemClick(QAction *sender);
    void OnlyGraphTyp2MenuItemClick(QAction *sender);
    void NewDirMenuItemClick();
    void DirDelMenuItemClick();
    void NodesExpMenuItemClick(int tag);
    void ChRealDirMenuItemClick();
    void FEPopupMenuPopup();
    void WM_EXPLORERSHOWN() { m_explorerShown = true; }
    Q_INVOKABLE void SetLanguage(const QStringList &Script, int LanguageIndex);
    // A language text of the explorer's script, German when it has none.
    QString Text(const QString &key, const QString &german) const;

    // The main window's explorer menu items kept in line by the popup.
    std::function<QAction *(const QString &name)> MainMenuItem;
    // The roots of the Extern tree; unset, the mounted volumes of this computer.
    std::function<QList<TExternRoot>()> ExternRootSource;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void moveEvent(QMoveEvent *e) override;

private:
    void buildTrees();
    // A right click on a tree selects the node and opens the explorer's menu.
    void connectTreePopup(QTreeWidget *tree);
    void buildMenu();
    void loadNodeState();
    void saveNodeState() const;
    void setPageActive(int page);
    void showMessage(const QString &text) const;
    bool confirm(const QString &text) const;
    void syncMainMenu(const char *name, bool checked, bool setChecked, int enabled = -1, int visible = -1);
    QTreeWidgetItem *addInternNode(QTreeWidgetItem *parent, const QString &caption, int image, int selImage);
    void setNodeImages(QTreeWidgetItem *item, int image, int selImage);
    void applyLaterImages();
    void expandAll(QTreeWidgetItem *item, bool expand, bool followExtern);

    QTreeWidget *ExternTreeView = nullptr;
    TZelkoraOptions *m_options;
    bool m_explorerShown = false;
    bool m_externFilled = false;
    bool m_pageGuard = false;
    bool m_imagesLater = true;
    QHash<QPair<int, int>, QIcon> m_nodeIcons; // one icon for all nodes of the same images
    int m_page = 0;
    std::array<bool, 4> m_nodeExpanded{};
    bool m_followLinks = true;
    QSet<QString> m_skipPaths;
};

// Deletes user entries: one root "Dynamische Einträge", the entries below.
class TDynEntryDelBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TDynEntryDelBMForm(TDirBDForm *explorer);
    QTreeWidget *DynDelTreeView = nullptr;
    QPushButton *DDOkButton = nullptr;
    QPushButton *DDCancelButton = nullptr;
    // Fills the tree from the store (what showing the dialog does).
    void FormShow();
    void DDOkButtonClick();
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    QPointer<TDirBDForm> m_explorer;
    bool m_filled = false;
};

// Chooses one of the two folders of the "Beide" node.
class TSelSysDirBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TSelSysDirBMForm(QWidget *owner);
    QGroupBox *SelSysGroupBox = nullptr;
    QComboBox *BothDirComboBox = nullptr;
    QPushButton *SelSysOkButton = nullptr;
    QPushButton *SelSysCancButton = nullptr;

protected:
    void paintEvent(QPaintEvent *e) override;
};

} // namespace zk
