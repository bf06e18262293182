// Opening a library of 500 icon groups and taking every icon as shown,
// beside icoutils' wrestool -x -t 14 writing the same groups, taking turns in
// one run. Goal: at most 0.5 x wrestool's time. The library is linked by the
// MinGW binutils from icons ImageMagick makes.
#include "BenchKit.h"
#include "IconExtract.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString d = dir.path() + QLatin1Char('/');
    if (!run(QStringLiteral("convert"), {"-size", "16x16", "plasma:fractal", "-colors", "16", d + "a16.png"}) ||
        !run(QStringLiteral("convert"), {"-size", "32x32", "plasma:fractal", "-colors", "200", d + "a32.png"}) ||
        !run(QStringLiteral("convert"), {"-size", "48x48", "gradient:red-blue", "-alpha", "set", "-channel", "A",
                                         "-fx", "i/48", "+channel", d + "a48.png"}) ||
        !run(QStringLiteral("convert"), {d + "a16.png", d + "a32.png", d + "a48.png", d + "three.ico"})) {
        std::fprintf(stderr, "ImageMagick could not make the icons\n");
        return 2;
    }
    QFile rc(d + "many.rc");
    rc.open(QIODevice::WriteOnly);
    for (int i = 1; i <= 500; ++i)
        rc.write(QStringLiteral("%1 ICON \"three.ico\"\n").arg(i).toUtf8());
    rc.close();
    if (!run(QStringLiteral("x86_64-w64-mingw32-windres"), {"--preprocessor=cpp", "-I", dir.path(), "-i",
                                                            d + "many.rc", "-o", d + "many.o"}) ||
        !run(QStringLiteral("x86_64-w64-mingw32-ld"), {"-shared", "-e", "0", "-o", d + "many.dll", d + "many.o"})) {
        std::fprintf(stderr, "binutils-mingw-w64-x86-64 is needed\n");
        return 2;
    }
    const QString dll = d + "many.dll", out = d + "out";
    QDir().mkpath(out);
    const zkbench::Result r = zkbench::Turns(
        [&] {
            zk::TIconExtractor icons;
            if (icons.Load(dll) != zk::TIconExtractor::TStatus::Ok || icons.Count() != 500)
                std::abort();
            for (int i = 0; i < icons.Count(); ++i)
                if (icons.Icon(i).isNull())
                    std::abort();
        },
        [&] {
            if (!run(QStringLiteral("wrestool"), {"-x", "-t", "14", dll, "-o", out}))
                std::abort();
        },
        zkbench::Rounds(11));
    zkbench::Print("500 icon groups: open and take every icon", r, 0.5);
    return 0;
}
