// Prints what giflib reads from a GIF file: the screen, colour tables,
// extensions and every frame's indices. A reference for debugging the codec.
#include "GifOracle.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zk_gifdump file.gif\n");
        return 2;
    }
    QFile f(QString::fromLocal8Bit(argv[1]));
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const giforacle::Gif g = giforacle::Read(f.readAll());
    std::fputs(giforacle::Dump(g).toUtf8().constData(), stdout);
    return g.ok ? 0 : 1;
}
