// Prints the type a fresh process's MIME database gives a file name, so a
// test sees what another program would after the desktop's caches changed.
#include <QCoreApplication>
#include <QMimeDatabase>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromLocal8Bit(argv[1]), QMimeDatabase::MatchExtension);
    std::printf("%s\n", qPrintable(type.name()));
    return 0;
}
