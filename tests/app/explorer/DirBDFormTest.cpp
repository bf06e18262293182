// The folder explorer offscreen: its fixed tree, the user entries and their
// file, the deletion dialog, the remembered group nodes, the popup menu and
// the computer's tree over a temporary folder tree.
#include "DirBDForm.h"
#include "DockSite.h"
#include "FolderTree.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "Placement.h"
#include "ProgramDir.h"
#include "Registry.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <gtest/gtest.h>
#include <memory>

using namespace zk;

namespace {

class DirBDFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetProgramDirOverride(dir.path() + "/");
        TRegistry().DeleteKey(QString::fromLatin1(TDirBDForm::TreeViewKey));
    }
    void TearDown() override
    {
        form.reset();
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QString::fromLatin1(TDirBDForm::TreeViewKey));
    }

    // A fresh explorer whose questions are answered from the lists below.
    TDirBDForm &make()
    {
        form.reset();
        form = std::make_unique<TDirBDForm>(&main, &options);
        form->Prompts.AskEntryName = [this](QString &name) {
            if (names.isEmpty())
                return false;
            name = names.takeFirst();
            return true;
        };
        form->Prompts.BrowseFolder = [this] { return folders.isEmpty() ? QString() : folders.takeFirst(); };
        form->Prompts.Message = [this](const QString &text) { messages.append(text); };
        form->Prompts.Confirm = [this](const QString &) { return !answers.isEmpty() && answers.takeFirst(); };
        form->FileList.ClearList = [this] { ++clears; };
        form->FileList.ListEntryFolder = [this](const QString &f) { listed.append("entry:" + f); };
        form->FileList.ListRealFolder = [this](const QString &f) { listed.append("real:" + f); };
        form->FileList.ListStorageFolder = [this] { listed.append("storage"); };
        form->FileList.SetColumnCaption = [this](const QString &c) { captions.append(c); };
        return *form;
    }
    QStringList captionsOf(const QTreeWidget *tree) const
    {
        QStringList out;
        for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it)
            out.append((*it)->text(0));
        return out;
    }
    QString ini() const { return dir.path() + "/ZK5.ini"; }

    QTemporaryDir dir;
    QMainWindow main;
    TZelkoraOptions options;
    std::unique_ptr<TDirBDForm> form;
    QStringList names, folders, messages, listed, captions;
    QList<bool> answers;
    int clears = 0;
};

} // namespace

TEST_F(DirBDFormTest, WithoutEntriesTheFourteenNodesAndNoFile)
{
    TDirBDForm &f = make();
    EXPECT_EQ(captionsOf(f.InternTreeView),
              QStringList({"Zelkora 5.0", "Ablage", "Autosave", "Beide", "AVI", "AVI-Build", "AVI-Edit", "History",
                           "Heute", "Gestern", "Datum...", "Eigene", "Auswahl...", "Neu..."}));
    EXPECT_EQ(f.InternTreeView->currentItem(), f.InternNode(1));
    f.FEPopupMenuPopup();
    EXPECT_FALSE(f.DirDelMenuItem->isEnabled());
    EXPECT_FALSE(QFile::exists(ini()));
    EXPECT_EQ(f.DirPageControl->tabPosition(), QTabWidget::South);
    // The node and tab images come with the first turn of the event loop.
    QCoreApplication::processEvents();
    for (QTreeWidgetItemIterator it(f.InternTreeView); *it; ++it)
        EXPECT_FALSE((*it)->icon(0).pixmap(16, 16).isNull()) << (*it)->text(0).toStdString();
    for (int tab = 0; tab < f.DirPageControl->count(); ++tab)
        EXPECT_FALSE(f.DirPageControl->tabIcon(tab).pixmap(16, 16).isNull()) << tab;
}

TEST_F(DirBDFormTest, EntriesSurviveARestartInOrder)
{
    names = {"Urlaub", "ablage", "Arbeit"};
    folders = {dir.path() + "/u/", "", dir.path()};
    TDirBDForm &f = make();
    for (int i = 0; i < 3; ++i)
        f.NewDirMenuItemClick();
    EXPECT_TRUE(messages.isEmpty());
    TDirBDForm &g = make();
    EXPECT_EQ(g.InternNodeCount(), 17);
    EXPECT_EQ(g.InternNode(14)->text(0), "Urlaub");
    EXPECT_EQ(g.InternNode(15)->text(0), "ablage");
    EXPECT_EQ(g.InternNode(16)->text(0), "Arbeit");
    TEntryStore store(ini());
    EXPECT_EQ(store.Folder("Urlaub", "ERROR"), dir.path() + "/u"); // no trailing separator
    EXPECT_EQ(store.Folder("ablage", "ERROR"), "");                // cancelled folder dialog
    g.FEPopupMenuPopup();
    EXPECT_TRUE(g.DirDelMenuItem->isEnabled());
}

TEST_F(DirBDFormTest, RefusedNamesWriteNothing)
{
    names = {"meine"};
    TDirBDForm &f = make();
    f.NewDirMenuItemClick();
    const QByteArray before = [&] {
        QFile file(ini());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    for (const char *bad : {"Ablage", "Heute", "", "a=b", "MEINE", "Neu..."}) {
        names = {QString::fromLatin1(bad)};
        messages.clear();
        f.NewDirMenuItemClick();
        EXPECT_EQ(messages.size(), 1) << bad;
    }
    EXPECT_EQ(f.InternNodeCount(), 15);
    QFile file(ini());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    names.clear();
    f.NewDirMenuItemClick(); // cancelled input
    EXPECT_EQ(f.InternNodeCount(), 15);
}

TEST_F(DirBDFormTest, ClickOnEntriesListsTheirFolderOrSaysItIsGone)
{
    TEntryStore store(ini());
    ASSERT_TRUE(store.Write("Da", dir.path()));
    ASSERT_TRUE(store.Write("Weg", dir.path() + "/gone"));
    TDirBDForm &f = make();
    f.InternTreeView->setCurrentItem(f.InternNode(14));
    f.InternTreeViewClick();
    EXPECT_EQ(listed, QStringList({"entry:" + dir.path()}));
    f.InternTreeView->setCurrentItem(f.InternNode(15));
    f.InternTreeViewClick();
    EXPECT_EQ(listed.size(), 1);
    ASSERT_EQ(messages.size(), 1);
    // An entry removed from the file behind the explorer's back.
    ASSERT_TRUE(store.Remove("Da"));
    f.InternTreeView->setCurrentItem(f.InternNode(14));
    f.InternTreeViewClick();
    EXPECT_EQ(messages.size(), 2);
    // "Ablage" without a storage folder: the column caption says so.
    f.InternTreeView->setCurrentItem(f.InternNode(1));
    f.InternTreeViewClick();
    EXPECT_EQ(captions.last(), "Kein Ablageverzeichnis");
    options.OutDir = dir.path();
    f.InternTreeViewClick();
    EXPECT_EQ(listed.last(), "storage");
}

TEST_F(DirBDFormTest, DeletionDialog)
{
    TEntryStore store(ini());
    ASSERT_TRUE(store.Write("Attach", dir.path() + "/Attach"));
    ASSERT_TRUE(store.Write("Urlaub", dir.path()));
    TDirBDForm &f = make();
    ASSERT_EQ(f.InternNodeCount(), 16);

    TDynEntryDelBMForm dialog(&f);
    dialog.FormShow();
    QTreeWidgetItem *root = dialog.DynDelTreeView->topLevelItem(0);
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->text(0), "Dynamische Einträge");
    EXPECT_EQ(dialog.DynDelTreeView->currentItem(), root);

    dialog.DDOkButton->click(); // the root
    EXPECT_EQ(messages.size(), 1);
    dialog.DynDelTreeView->setCurrentItem(root->child(0)); // "Attach"
    dialog.DDOkButton->click();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(dialog.result(), 0);

    dialog.DynDelTreeView->setCurrentItem(root->child(1));
    answers = {false};
    dialog.DDOkButton->click();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(store.Names(), QStringList({"Attach", "Urlaub"}));

    answers = {true};
    dialog.DDOkButton->click();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_EQ(TEntryStore(ini()).Names(), QStringList({"Attach"}));
    EXPECT_EQ(f.InternNodeCount(), 15);
    EXPECT_EQ(f.InternNode(14)->text(0), "Attach");
    EXPECT_EQ(root->childCount(), 1);
    EXPECT_GE(clears, 1);
}

TEST_F(DirBDFormTest, GroupNodesFollowTheTreeViewKeyOnlyWhenItExists)
{
    {
        TDirBDForm &f = make();
        for (int i : {0, 4, 7, 11})
            EXPECT_FALSE(f.InternNode(i)->isExpanded());
        f.InternNode(4)->setExpanded(true);
        form.reset();
        EXPECT_FALSE(TRegistry().KeyExists(QString::fromLatin1(TDirBDForm::TreeViewKey)));
    }
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(TDirBDForm::TreeViewKey), true));
        reg.WriteBool("Node_0", true);
        reg.WriteBool("Node_2", true);
    }
    TDirBDForm &f = make();
    EXPECT_TRUE(f.InternNode(0)->isExpanded());
    EXPECT_FALSE(f.InternNode(4)->isExpanded());
    EXPECT_TRUE(f.InternNode(7)->isExpanded());
    f.InternNode(0)->setExpanded(false);
    f.InternNode(11)->setExpanded(true);
    form.reset();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(TDirBDForm::TreeViewKey), false));
    EXPECT_FALSE(reg.ReadBool("Node_0"));
    EXPECT_FALSE(reg.ReadBool("Node_1"));
    EXPECT_TRUE(reg.ReadBool("Node_2"));
    EXPECT_TRUE(reg.ReadBool("Node_3"));

    // The next start shows the window: "Zelkora 5.0" stays collapsed over
    // the selected "Ablage", and stays so in the store.
    TDirBDForm &again = make();
    again.setFloating(true);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    QApplication::processEvents();
    EXPECT_FALSE(again.InternNode(0)->isExpanded());
    EXPECT_EQ(again.InternTreeView->currentItem(), again.InternNode(1));
    form.reset();
    EXPECT_FALSE(reg.ReadBool("Node_0"));
}

TEST_F(DirBDFormTest, HidingAfterADialogNodeSelectsTheTop)
{
    TDirBDForm &f = make();
    main.show();
    f.setFloating(true);
    f.show();
    for (int index : {10, 12, 13}) {
        f.InternTreeView->setCurrentItem(f.InternNode(index));
        f.hide();
        f.show();
        EXPECT_EQ(f.InternTreeView->currentItem(), f.InternNode(0)) << index;
    }
    f.InternTreeView->setCurrentItem(f.InternNode(8));
    f.hide();
    EXPECT_EQ(f.InternTreeView->currentItem(), f.InternNode(8));

    // Hidden with the main window, as for a capture: floating (the main
    // window goes first) and docked, the chosen folder stays.
    f.show();
    f.UserFolder = QStringLiteral("/chosen");
    for (const bool floating : {true, false}) {
        f.setFloating(floating);
        f.InternTreeView->setCurrentItem(f.InternNode(12));
        main.hide();
        f.hide();
        main.show();
        f.show();
        EXPECT_EQ(f.InternTreeView->currentItem(), f.InternNode(12)) << floating;
        EXPECT_EQ(f.UserFolder, "/chosen") << floating;
    }
}

TEST_F(DirBDFormTest, PopupStatesOnBothPages)
{
    QTemporaryDir tree;
    TDirBDForm &f = make();
    f.ExternRootSource = [&tree] { return QList<TExternRoot>{{tree.path(), eiFixed}}; };
    options.ShowOnlyGraphTypes = true;
    options.MagneticFE = true;
    struct Row
    {
        int node;
        bool real;
    } rows[] = {{1, true}, {2, true}, {3, true}, {0, false}, {8, true}, {10, true}, {11, false}, {12, false}};
    for (const Row &r : rows) {
        f.InternTreeView->setCurrentItem(f.InternNode(r.node));
        f.FEPopupMenuPopup();
        EXPECT_EQ(f.ChRealDirMenuItem->isVisible(), r.real) << r.node;
    }
    EXPECT_FALSE(f.OnlyGraphTyp2MenuItem->isEnabled());
    EXPECT_TRUE(f.OnlyGraphTyp2MenuItem->isChecked());
    EXPECT_TRUE(f.FEMag2MenuItem->isChecked());
    f.DirPageControl->setCurrentIndex(1);
    f.FEPopupMenuPopup();
    EXPECT_TRUE(f.OnlyGraphTyp2MenuItem->isEnabled());
    f.OnlyGraphTyp2MenuItemClick(f.OnlyGraphTyp2MenuItem);
    EXPECT_FALSE(options.ShowOnlyGraphTypes);
    EXPECT_FALSE(f.OnlyGraphTyp2MenuItem->isChecked());
    // While the file list is busy the page stays.
    f.FileList.ListingDone = [] { return false; };
    f.DirPageControl->setCurrentIndex(0);
    EXPECT_EQ(f.DirPageControl->currentIndex(), 1);
}

TEST_F(DirBDFormTest, ExternTreeReadsFoldersWhenOpened)
{
    QTemporaryDir tree;
    QDir t(tree.path());
    for (const char *p : {"b/x/Bilder/2026", "a/Bilder", "C", "a2", "a/.cache/shots"})
        ASSERT_TRUE(t.mkpath(QString::fromLatin1(p)));
    TDirBDForm &f = make();
    f.ExternRootSource = [&tree] { return QList<TExternRoot>{{"/", eiFixed}, {tree.path(), eiRemovable}}; };
    f.DirPageControl->setCurrentIndex(1);
    ASSERT_TRUE(f.ExternFilled());
    ASSERT_EQ(f.ExternTree()->topLevelItemCount(), 2);
    QTreeWidgetItem *root = f.ExternTree()->topLevelItem(1);
    EXPECT_EQ(root->text(0), tree.path());
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0)->text(0), "y");
    EXPECT_EQ(f.GetNodePath(f.ExternTree()->topLevelItem(0)), "/");
    EXPECT_EQ(f.GetNodePath(nullptr), "");

    root->setExpanded(true);
    ASSERT_EQ(root->childCount(), 4);
    EXPECT_EQ(root->child(0)->text(0), "a");
    EXPECT_EQ(root->child(1)->text(0), "a2");
    EXPECT_EQ(root->child(2)->text(0), "b");
    EXPECT_EQ(root->child(3)->text(0), "C");
    EXPECT_EQ(f.GetNodePath(root->child(3)), tree.path() + "/C/");
    EXPECT_EQ(root->child(3)->child(0)->text(0), "y");
    root->child(0)->setExpanded(true); // "Bilder" now stands earlier in the tree

    f.SelectRealPath(tree.path() + "/b/x/Bilder");
    ASSERT_TRUE(f.ExternTree()->currentItem());
    EXPECT_EQ(f.GetNodePath(f.ExternTree()->currentItem()), tree.path() + "/b/x/Bilder/");
    EXPECT_EQ(listed.last(), "real:" + tree.path() + "/b/x/Bilder/");
    EXPECT_TRUE(messages.isEmpty());

    // A hidden folder is not listed, yet a path leads through it.
    f.SelectRealPath(tree.path() + "/a/.cache/shots");
    EXPECT_EQ(f.GetNodePath(f.ExternTree()->currentItem()), tree.path() + "/a/.cache/shots/");
    EXPECT_TRUE(messages.isEmpty());

    // A folder that is not there: the message, the deepest folder found.
    f.SelectRealPath(tree.path() + "/b/nothing");
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(f.GetNodePath(f.ExternTree()->currentItem()), tree.path() + "/b/");

    // The real-folder command on "Ablage" goes to the storage folder.
    options.OutDir = tree.path() + "/a/Bilder";
    f.DirPageControl->setCurrentIndex(0);
    f.InternTreeView->setCurrentItem(f.InternNode(1));
    f.ChRealDirMenuItemClick();
    EXPECT_EQ(f.DirPageControl->currentIndex(), 1);
    EXPECT_EQ(f.GetNodePath(f.ExternTree()->currentItem()), tree.path() + "/a/Bilder/");

    // Collapsing everything on the Extern page asks first.
    answers = {false};
    f.NodesExpMenuItemClick(1);
    EXPECT_TRUE(f.ExternTree()->topLevelItem(1)->isExpanded());
    answers = {true};
    f.NodesExpMenuItemClick(1);
    EXPECT_FALSE(f.ExternTree()->topLevelItem(1)->isExpanded());
}

TEST_F(DirBDFormTest, TheFolderTreeStandsOnItsPageByNameOnceTheEventLoopRan)
{
    // The language file and the look find it by name on its page.
    TDirBDForm &f = make();
    QCoreApplication::processEvents();
    auto *tree = f.ExternTabSheet->findChild<QTreeWidget *>("ExternTreeView");
    ASSERT_TRUE(tree);
    EXPECT_EQ(f.ExternTree(), tree);
    EXPECT_EQ(f.ExternTabSheet->layout()->indexOf(tree), 0);
    EXPECT_EQ(tree->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(DirBDFormTest, InternExpandAndCollapseEverything)
{
    TDirBDForm &f = make();
    f.NodesExpMenuItemClick(0);
    for (int i : {0, 4, 7, 11})
        EXPECT_TRUE(f.InternNode(i)->isExpanded());
    EXPECT_TRUE(f.NodeExpanded()[3]);
    f.NodesExpMenuItemClick(1);
    for (int i : {0, 4, 7, 11})
        EXPECT_FALSE(f.InternNode(i)->isExpanded());
}

TEST_F(DirBDFormTest, DockStateOfTheExplorerRoundTrips)
{
    const QString key = QStringLiteral("Software\\ZkDirBDFormDockTest");
    TRegistry().DeleteKey(key);
    TDirBDForm &f = make();
    main.addDockWidget(Qt::LeftDockWidgetArea, &f);
    main.resize(800, 600);
    main.show();
    EXPECT_EQ(f.DockTag(), 0);
    QWidget other;
    ASSERT_TRUE(SaveDockState(key, &f, {&main, &other, &main}));
    auto docked = ReadDockState(key);
    ASSERT_TRUE(docked);
    EXPECT_EQ(docked->dockSiteIndex, 2); // the last matching site
    EXPECT_EQ(docked->dockSiteWidth, main.width());
    EXPECT_FALSE(docked->screen);

    f.setFloating(true);
    f.setGeometry(QRect(120, 130, 260, 400));
    EXPECT_EQ(f.DockTag(), -1);
    TRegistry().DeleteKey(key);
    ASSERT_TRUE(SaveDockState(key, &f, {&main}));
    auto floating = ReadDockState(key);
    ASSERT_TRUE(floating);
    EXPECT_EQ(floating->dockSiteIndex, -1);
    EXPECT_FALSE(floating->screen); // a form keeps no screen rectangle
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(key));
    EXPECT_FALSE(reg.ValueExists("ScreenLeft"));
    EXPECT_FALSE(reg.ValueExists("DockSiteWidth"));
    EXPECT_EQ(reg.ReadInteger("UndockWidth"), 260);

    // Restoring only places it: it stays floating with its contents.
    f.setGeometry(QRect(10, 10, 200, 200));
    ASSERT_TRUE(LoadDockState(key, &f, {&main}));
    EXPECT_TRUE(f.isFloating());
    EXPECT_EQ(f.size(), QSize(260, 400));
    EXPECT_EQ(f.widget()->findChild<QTreeWidget *>("InternTreeView"), f.InternTreeView);
    main.removeDockWidget(&f);
    TRegistry().DeleteKey(key);
}

TEST_F(DirBDFormTest, DockAreasReportTheDockedExplorerAsTheRoomItTakes)
{
    TDirBDForm &f = make();
    main.setCentralWidget(new QWidget);
    TDockSite left(&main, Qt::LeftDockWidgetArea, 0, "LeftDockPanel");
    TDockSite right(&main, Qt::RightDockWidgetArea, 1, "RightDockPanel");
    TDockSite bottom(&main, Qt::BottomDockWidgetArea, 2, "BottomDockPanel");
    const QList<QObject *> sites = {&left, &right, &bottom};
    main.resize(800, 600);
    main.show();
    for (const Qt::DockWidgetArea area : {Qt::LeftDockWidgetArea, Qt::RightDockWidgetArea, Qt::BottomDockWidgetArea}) {
        main.addDockWidget(area, &f);
        f.show();
        QApplication::processEvents();
        const int tag = f.DockTag();
        ASSERT_GE(tag, 0) << area;
        // What the picture loses on each side is what the areas report.
        const QRect c = main.centralWidget()->geometry();
        const int room[3] = {c.left(), main.width() - 1 - c.right(), main.height() - 1 - c.bottom()};
        EXPECT_GT(room[tag], 0) << tag;
        EXPECT_EQ(left.width(), room[0]) << tag;
        EXPECT_EQ(right.width(), room[1]) << tag;
        EXPECT_EQ(bottom.height(), room[2]) << tag;
        EXPECT_EQ(DockStateOf(&f, sites).dockSiteIndex, tag);
    }
    f.setFloating(true);
    QApplication::processEvents();
    EXPECT_EQ(left.width() + right.width() + bottom.height(), 0);
    EXPECT_EQ(DockStateOf(&f, sites).dockSiteIndex, -1);
    f.hide();
    main.removeDockWidget(&f);

    // A dock window that is no explorer form goes back into its stored area.
    const QString key = QStringLiteral("Software\\ZkDockAreaTest");
    QDockWidget plain(QStringLiteral("plain"), &main);
    main.addDockWidget(Qt::RightDockWidgetArea, &plain);
    plain.show();
    QApplication::processEvents();
    ASSERT_TRUE(SaveDockState(key, &plain, sites));
    plain.setFloating(true);
    ASSERT_TRUE(LoadDockState(key, &plain, sites));
    EXPECT_FALSE(plain.isFloating());
    EXPECT_TRUE(right.Hosts(&plain));
    TRegistry().DeleteKey(key);
}

TEST_F(DirBDFormTest, LanguageSwitchReachesCaptionAndMessages)
{
    const QStringList script = ReadLanguageFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"));
    ASSERT_FALSE(script.isEmpty());
    names = {"Heute"};
    TDirBDForm &f = make();
    f.SetLanguage(script, 1);
    EXPECT_EQ(f.windowTitle(), "Folder explorer");
    f.NewDirMenuItemClick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "An entry with this name already exists!");
    f.SetLanguage(script, 0);
    EXPECT_EQ(f.windowTitle(), "Verzeichnis-Explorer");
}
