// The desktop hot key to a PNG file on disk (grab, encode, temporary name,
// flush, rename), with the fixed 500 ms wait taken out, beside `scrot` taking
// the same screen into a PNG file; the two take turns in one run. scrot is a
// program, so its time includes its start; ours is the handler as the
// running program calls it. Goal: ours <= 0.2 x scrot's time. Needs DISPLAY
// (an Xvfb of 1920x1080x24 with a window manager is the reference) and
// scrot.
#include "BenchKit.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "PictureFiles.h"
#include "ScreenGrab.h"
#include "ScreenSettle.h"
#include "Globals.h"
#include "Options.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

int runScrot(const QString &file)
{
    const QByteArray path = file.toLocal8Bit();
    char *argv[] = {const_cast<char *>("scrot"), const_cast<char *>("-o"), const_cast<char *>(path.constData()),
                    nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "scrot", nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (!std::getenv("DISPLAY") || !zk::ScreenGrabber::instance().isAvailable()) {
        std::fprintf(stderr, "no X server (set DISPLAY)\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString scrotFile = dir.path() + "/scrot.png";
    if (runScrot(scrotFile) != 0) {
        std::fprintf(stderr, "scrot did not run\n");
        return 2;
    }

    // The main window as the running program has it, left visible so that
    // each round measures the capture and not the window manager.
    auto *f = new zk::TMainForm;
    f->Options.SysKeys = false;
    f->Options.WithZelkoraWin = true;
    f->Options.ScanSound = false;
    f->Options.PersSave = true;
    f->Options.IsAutoincFileName = true;
    f->Options.FileTyp = zk::ptPng;
    f->Options.OutDir = dir.path();
    f->Options.FileName = "Shot";
    f->FHotKeyDelayMs = 0;
    f->FHotKeyIds = {1, 2, 3, 4, 5, 6};
    f->show();
    zk::SettleScreen(200);

    auto clear = [&] {
        // Between turns: the window's repaint of the previous picture, and
        // the files of earlier rounds gone so every name search is alike.
        QApplication::processEvents();
        QDir d(dir.path());
        for (const QString &name : d.entryList(QDir::Files))
            d.remove(name);
    };
    const zkbench::Result r = zkbench::Turns([&] { f->WMHotKey(2); }, [&] { runScrot(scrotFile); },
                                             zkbench::Rounds(15), clear);
    zkbench::Print("hot key -> PNG file vs scrot", r, 0.2);
    // Where the time goes: the grab, the encoding and the durable write alone.
    zk::TBitmap shot;
    const zk::TZelkoraOptions &o = f->Options;
    QByteArray bytes;
    const zkbench::Result parts = zkbench::Turns([&] { zk::GrabDesktop(shot); },
                                                 [&] { bytes = zk::EncodePicture(shot, zk::ptPng, o,
                                                                                 zk::TSaveOrigin::AutoSave); },
                                                 zkbench::Rounds(15));
    std::vector<double> writes;
    for (int i = 0; i < zkbench::Rounds(15); ++i) {
        clear();
        const double t0 = zkbench::nowMs();
        zk::WriteFileNew(dir.path() + "/part.png", bytes);
        writes.push_back(zkbench::nowMs() - t0);
    }
    std::printf("  parts: grab %.3f ms, PNG encode %.3f ms, durable write %.3f ms\n", parts.ours, parts.peer,
                zkbench::median(writes));
    clear();
    f->WMHotKey(2);
    const QFileInfo written(f->FFileName);
    std::printf("  our file %s, %lld bytes; the screen is %dx%d\n", qPrintable(written.fileName()),
                (long long)written.size(), zk::ScreenGrabber::instance().rootRect().width(),
                zk::ScreenGrabber::instance().rootRect().height());
    delete f;
    return 0;
}
