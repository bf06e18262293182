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
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double seconds(const std::function<void()> &f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *what, const std::vector<double> &ours, const std::vector<double> &peer, double goal)
{
    const double a = median(ours), b = median(peer);
    std::printf("%-38s ours %9.1f us   peer %9.1f us   ratio %.2fx (goal <= %.1fx)\n", what, a * 1e6, b * 1e6,
                a / b, goal);
}

} // namespace

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
        zk::TIniFile ini(dir.filePath("ZK5.ini"));
        QStringList lines;
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
    QTreeWidgetItem *node = form.ExternTreeView->topLevelItem(0);

    const int rounds = 30;
    std::vector<double> ours, peer;
    for (int r = 0; r < rounds; ++r) {
        ours.push_back(seconds([&] { form.ExpandExternNode(node); }));
        peer.push_back(seconds([&] {
            const QStringList l = QDir(tree).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            if (l.size() != 5000)
                std::abort();
        }));
    }
    if (node->childCount() != 5000)
        return 1;
    report("open a folder of 5,000 sub-folders", ours, peer, 3.0);

    QTreeWidgetItem *own = form.InternNode(11);
    ours.clear();
    peer.clear();
    for (int r = 0; r < rounds; ++r) {
        while (own->childCount() > 2)
            delete own->child(2);
        ours.push_back(seconds([&] { form.LoadEntries(); }));
        peer.push_back(seconds([&] {
            const QStringList l = zk::TIniFile(dir.filePath("ZK5.ini")).ReadSection("Entrys");
            if (l.size() != 1000)
                std::abort();
        }));
    }
    if (own->childCount() != 1002)
        return 1;
    report("load 1,000 user entries", ours, peer, 2.0);
    zk::SetProgramDirOverride(QString());
    return 0;
}
