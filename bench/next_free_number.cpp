// NextFreeNumber and NextAutoFileName over a folder of 10,000 numbered
// pictures (plus 500 files of other names), beside one plain listing of the
// same folder's names (QDir::entryList, unsorted), taking turns in one run. Goals:
// each within 1.5 x the listing, which needs one pass over the folder
// without looking at each file's attributes, and under 20 ms a call.
#include "BenchKit.h"
#include "PictureFiles.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    constexpr int kFiles = 10000;
    QTemporaryDir dir;
    for (int i = 1; i <= kFiles; ++i)
        QFile(dir.filePath(QStringLiteral("Shot%1.bmp").arg(i))).open(QIODevice::WriteOnly);
    for (int i = 1; i <= 500; ++i)
        QFile(dir.filePath(QStringLiteral("Other%1.jpg").arg(i))).open(QIODevice::WriteOnly);
    const auto listing = [&] {
        if (QDir(dir.path()).entryList(QDir::Files, QDir::NoSort).size() != kFiles + 500)
            std::abort();
    };
    const int rounds = zkbench::Rounds(21);
    const zkbench::Result number = zkbench::Turns(
        [&] {
            if (zk::NextFreeNumber(dir.path(), QStringLiteral("Shot"), QStringLiteral(".bmp")) != kFiles + 1)
                std::abort();
        },
        listing, rounds);
    const zkbench::Result name = zkbench::Turns(
        [&] {
            if (zk::NextAutoFileName(dir.path(), QStringLiteral("Shot"), QStringLiteral(".bmp")).isEmpty())
                std::abort();
        },
        listing, rounds);
    zkbench::Print("NextFreeNumber, 10,500 files", number, 1.5);
    zkbench::Print("NextAutoFileName, 10,500 files", name, 1.5);
    std::printf("%-44s %.3f and %.3f ms a call (goal <= 20 ms) %s\n", "both", number.ours, name.ours,
                std::max(number.ours, name.ours) <= 20 ? "ok" : "MISSED");
    return 0;
}
