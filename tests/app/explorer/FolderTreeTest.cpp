// The decisions of the folder explorer that need no display: roots of the
// computer's tree from a mount table, sub-folder reading, entry names, the
// route to a folder and the entry store.
#include "FolderTree.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zk;

TEST(FolderTree, RootsSkipPseudoFileSystemsAndPickImages)
{
    const QList<TMountEntry> mounts = {
        {"/", "ext4", "/dev/sda2"},
        {"/proc", "proc", "proc"},
        {"/sys/fs/cgroup", "cgroup2", "cgroup2"},
        {"/dev/pts", "devpts", "devpts"},
        {"/run/user/1000", "tmpfs", "tmpfs"},
        {"/snap/core/1", "squashfs", "/dev/loop0"},
        {"/tmp", "tmpfs", "tmpfs"},
        {"/media/anna/STICK", "vfat", "/dev/sdb1"},
        {"/run/media/anna/CAM", "exfat", "/dev/sdc1"},
        {"/mnt/dvd", "iso9660", "/dev/sr0"},
        {"/mnt/share", "cifs", "//nas/share"},
        {"/home", "ext4", "/dev/sda3"},
        {"/home", "btrfs", "/dev/sda4"}, // mounted over: one root, the later kind
        {"relative", "ext4", "x"},
    };
    const QList<TExternRoot> expected = {
        {"/", eiFixed},        {"/home", eiFixed},          {"/media/anna/STICK", eiRemovable},
        {"/mnt/dvd", eiOptical}, {"/mnt/share", eiNetwork}, {"/run/media/anna/CAM", eiRemovable},
        {"/tmp", eiFixed},
    };
    EXPECT_EQ(ExternRootsFrom(mounts), expected);
    // Without any usable mount, "/" still stands.
    EXPECT_EQ(ExternRootsFrom({}), QList<TExternRoot>({{"/", eiFixed}}));
}

TEST(FolderTree, SubFoldersSortedWithoutCaseAndUnreadableGivesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir d(dir.path());
    for (const char *n : {"beta", "Alpha", "gamma", "Beta", ".hidden"})
        ASSERT_TRUE(d.mkdir(QString::fromLatin1(n)));
    QFile(d.filePath("file.png")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(d.filePath("gamma"), d.filePath("link")));
    EXPECT_EQ(SubFolders(dir.path()), QStringList({"Alpha", "Beta", "beta", "gamma", "link"}));
    EXPECT_EQ(SubFolders(dir.path(), false), QStringList({"Alpha", "Beta", "beta", "gamma"}));
    EXPECT_TRUE(SubFolders(dir.path() + "/missing").isEmpty());
}

TEST(FolderTree, EntryNames)
{
    const QStringList captions = {"Zelkora 5.0", "Ablage", "Heute", "meine"};
    const QStringList entries = {"meine"};
    struct Row
    {
        const char *name;
        TEntryNameFault fault;
    } rows[] = {
        {"Ablage", TEntryNameFault::Taken},
        {"Heute", TEntryNameFault::Taken},
        {"", TEntryNameFault::Empty},
        {"   ", TEntryNameFault::Empty},
        {"a=b", TEntryNameFault::BadCharacter},
        {"[x", TEntryNameFault::BadCharacter},
        {"x]", TEntryNameFault::BadCharacter},
        {"two\nlines", TEntryNameFault::BadCharacter},
        {" ;note", TEntryNameFault::BadCharacter},
        {"a;b", TEntryNameFault::None},
        {"MEINE", TEntryNameFault::TakenOtherCase},
        {" Ablage ", TEntryNameFault::Taken},
        {"ablage", TEntryNameFault::None},
        {"Urlaub 2026", TEntryNameFault::None},
    };
    for (const Row &r : rows)
        EXPECT_EQ(CheckEntryName(QString::fromLatin1(r.name), captions, entries), r.fault) << r.name;
}

TEST(FolderTree, RouteTakesTheLongestHoldingRoot)
{
    const QStringList roots = {"/", "/home", "/home/anna/nas"};
    TRealPathRoute r = RouteToFolder("/home/anna/Bilder/2026/", roots);
    EXPECT_EQ(r.root, 1);
    EXPECT_EQ(r.components, QStringList({"anna", "Bilder", "2026"}));
    r = RouteToFolder("/home/anna/nas/x", roots);
    EXPECT_EQ(r.root, 2);
    EXPECT_EQ(r.components, QStringList({"x"}));
    r = RouteToFolder("/homework/a", roots); // a prefix of text only is no parent
    EXPECT_EQ(r.root, 0);
    EXPECT_EQ(r.components, QStringList({"homework", "a"}));
    EXPECT_EQ(RouteToFolder("/home", roots).components, QStringList());
    EXPECT_EQ(RouteToFolder("relative/x", roots).root, -1);
    EXPECT_EQ(RouteToFolder("", roots).root, -1);
}

TEST(FolderTree, EntryStoreKeepsOrderAndCreatesNothingUntilWritten)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("ZK5.ini");
    TEntryStore store(file);
    EXPECT_TRUE(store.Names().isEmpty());
    EXPECT_EQ(store.Folder("x", "ERROR"), "ERROR");
    EXPECT_TRUE(store.Remove("x"));
    EXPECT_FALSE(QFile::exists(file));
    ASSERT_TRUE(store.Write("Zweite", "/b"));
    ASSERT_TRUE(store.Write("Erste", ""));
    ASSERT_TRUE(store.Write("Attach", "/prog/Attach"));
    EXPECT_EQ(TEntryStore(file).Names(), QStringList({"Zweite", "Erste", "Attach"}));
    EXPECT_EQ(TEntryStore(file).Folder("Erste", "ERROR"), "");
    EXPECT_EQ(TEntryStore(file).Folder("Zweite", "ERROR"), "/b");
    ASSERT_TRUE(store.Remove("Zweite"));
    EXPECT_EQ(TEntryStore(file).Names(), QStringList({"Erste", "Attach"}));
}
