// The two outside modules.
// 1. ProceedFiles packing ten 1920 x 1080 BMPs, taking turns with
//    "zip -8 -j" on the same files. Goal: at most 1.2 x zip's time.
// 2. The tools module's idle CPU with the mouse hook, the Print hook and the
//    frame (with handle) active for 10 s: should be about zero (goal: at
//    most 5 ms of CPU over the 10 s). Needs an X display; skipped without
//    one.
// Both verdicts are printed through bench/BenchKit.h.
// The zip module reads "zipfiles.dat" from the program folder, which for
// this program is its own folder in the build tree; the list is removed
// afterwards.
#include "DLLImport.h"
#include "ModuleProtocol.h"

#include "BenchKit.h"
#include "Bitmap.h"
#include "BmpCodec.h"

#include <QGuiApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QByteArray screenshotBmp(int seed)
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    img.fill(QColor(58 + seed * 10, 110, 165));
    QPainter c(&img);
    for (int i = 0; i < 3; ++i) {
        const QRect r(60 + seed * 40 + i * 300, 40 + i * 200, 1000, 600);
        c.fillRect(r, QColor(240, 240, 240));
        c.fillRect(QRect(r.left(), r.top(), r.width(), 26), QColor(10, 36, 106 + seed * 10));
        for (int y = r.top() + 50; y < r.bottom() - 10; y += 18)
            c.drawText(r.left() + 12, y, QStringLiteral("Bild %1 Zeile %2  Datei  Bearbeiten  Ansicht").arg(seed).arg(y));
    }
    c.end();
    return zk::WriteBmp(zk::TBitmap::FromImage(img));
}

void benchZip(const QString &progDir)
{
    if (!zk::ZipModuleLoaded()) {
        std::printf("zip: module not found in %s\n", qPrintable(progDir));
        return;
    }
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 10; ++i) {
        const QString f = dir.filePath(QStringLiteral("shot%1.bmp").arg(i));
        QFile out(f);
        out.open(QIODevice::WriteOnly);
        out.write(screenshotBmp(i));
        files << f;
    }
    const QString ours = dir.filePath("ours.zip"), peer = dir.filePath("peer.zip");
    const QString list = progDir + "/zipfiles.dat";
    {
        QFile l(list);
        l.open(QIODevice::WriteOnly);
        l.write((QStringList{ours} + files).join("\r\n").toUtf8() + "\r\n");
    }
    bool ok = true;
    const auto runOurs = [&] { ok = zk::ProceedFiles(8, 0, 0) && ok; };
    const auto runPeer = [&] { QProcess::execute("zip", QStringList{"-8", "-j", "-q", peer} + files); };
    const zkbench::Result r = zkbench::Turns(runOurs, runPeer, zkbench::Rounds(5), [&] { QFile::remove(ours); },
                                             [&] { QFile::remove(peer); });
    QFile::remove(list);
    if (!ok) {
        std::printf("zip: ProceedFiles failed\n");
        return;
    }
    std::printf("zip ten 1920x1080 BMPs: ProceedFiles %lld bytes, zip -8 -j %lld bytes: size ratio %.3f\n",
                QFileInfo(ours).size(), QFileInfo(peer).size(),
                double(QFileInfo(ours).size()) / double(QFileInfo(peer).size()));
    zkbench::Print("zip ten BMPs: ProceedFiles / zip -8 -j", r, 1.2);
}

void benchIdle()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("idle: no DISPLAY, skipped\n");
        return;
    }
    // Nobody listens here: the messages go to a window id that does not
    // exist, which the server answers with an error the module ignores.
    if (!zk::ShowAviFrame(1, 600, 1, 1, 1) || !zk::InstallHook(1)) {
        std::printf("idle: tools module not usable here\n");
        return;
    }
    const bool key = zk::InstallHook2(1);
    const double before = cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double used = cpuSeconds() - before;
    std::printf("idle: mouse hook, %sframe with handle for 10 s\n", key ? "Print hook, " : "");
    zkbench::PrintAtMost("idle CPU of the tools module over 10 s", used * 1e3, 5.0, "ms");
    zk::UninstallHook();
    zk::UninstallHook2();
    zk::HideAviFrame();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv); // the pictures draw text
    const QString progDir = QCoreApplication::applicationDirPath();
    zk::LoadOutsideModules(QStringLiteral(ZK_PROGRAM_DIR));
    benchZip(progDir);
    benchIdle();
    zk::FreeOutsideModules();
    return 0;
}
