// The folder explorer beside the plain reads it is built on: opening a folder
// of 5,000 sub-folders in the computer's tree beside QDir::entryList of the
// same folder (goal 3x), and loading 1,000 user entries into the tree beside
// reading their section with TIniFile alone (goal 2x). Ours and the peer take
// turns round by round in one process; medians and their ratio are printed.
#include "DirBDForm.h"
#include "FolderTree.h"
#include "IniFile.h"
#include "Options.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTreeWidget>
#include "BenchKit.h"

#include <cstdlib>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    zk::SetProgramDirOverride(dir.path() + "/");
    QDir root(dir.path());
    root.mkdir("tree");
    for (int i = 0; i < 5000; ++i)
        root.mkdir(QStringLiteral("tree/Ordner %1").arg(i));
    {
        QFile f(dir.filePath("ZK5.ini"));
        f.open(QIODevice::WriteOnly);
        f.write("[Entrys]\n");
        for (int i = 0; i < 1000; ++i)
            f.write(QStringLiteral("Eintrag %1=/home/anna/Bilder/%1\n").arg(i).toUtf8());
    }

    QMainWindow main;
    zk::TZelkoraOptions options;
    zk::TDirBDForm form(&main, &options);
    const QString tree = dir.filePath("tree");
    form.ExternRootSource = [&] { return QList<zk::TExternRoot>{{tree, zk::eiFixed}}; };
    form.FillExternRoots();
    QTreeWidgetItem *node = form.ExternTree()->topLevelItem(0);

    const int rounds = zkbench::Rounds(30);
    const zkbench::Result open = zkbench::Turns([&] { form.ExpandExternNode(node); },
                                                [&] {
                                                    const QStringList l = QDir(tree).entryList(
                                                        QDir::Dirs | QDir::NoDotAndDotDot);
                                                    if (l.size() != 5000)
                                                        std::abort();
                                                },
                                                rounds);
    if (node->childCount() != 5000)
        return 1;
    zkbench::Print("open a folder of 5,000 sub-folders", open, 3.0);

    QTreeWidgetItem *own = form.InternNode(11);
    const zkbench::Result load = zkbench::Turns(
        [&] { form.LoadEntries(); },
        [&] {
            const QStringList l = zk::TIniFile(dir.filePath("ZK5.ini")).ReadSection("Entrys");
            if (l.size() != 1000)
                std::abort();
        },
        rounds, [&] {
            while (own->childCount() > 2)
                delete own->child(2);
        });
    if (own->childCount() != 1002)
        return 1;
    zkbench::Print("load 1,000 user entries", load, 2.0);
    zk::SetProgramDirOverride(QString());
    return 0;
}
