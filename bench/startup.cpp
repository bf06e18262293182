// Time from process start to the main window on screen (no start picture),
// beside the floor of any Qt program here: this same executable started in
// its floor mode, which shows one empty window; the two take turns in one
// run, each timed to its window's map by X events. The goal is at most 1.6
// times the floor. Timed twice: as on a first run (fresh settings folders
// each time) and with kept settings (a store a closed run left behind). Needs
// DISPLAY (an Xvfb with a window manager is the reference); the settings
// folders are throw-away ones, so the user's settings are never touched.
#include "BenchKit.h"
#include "BenchStart.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string g_self;

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--floor") == 0) {
        QApplication app(argc, argv);
        QWidget w;
        w.setWindowTitle(QStringLiteral("ZkFloor"));
        w.resize(800, 600);
        w.show();
        return app.exec();
    }
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, std::size_t(n)) : std::string(argv[0]);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs DISPLAY\n");
        return 2;
    }
    // The build lays the program out in Zelkora/ beside bench/.
    const std::string program = g_self.substr(0, g_self.rfind('/')) + "/../Zelkora/zelkora";
    bool failed = false;
    auto start = [&](const std::vector<std::string> &args, const std::string &title) {
        // A first run each time: fresh, throw-away settings folders.
        QTemporaryDir home;
        if (!zkbench::startUntilShown(args, title, home.path().toStdString()))
            failed = true;
    };
    const zkbench::Result first = zkbench::Turns([&] { start({program}, "Zelkora 5.0"); },
                                                 [&] { start({g_self, "--floor"}, "ZkFloor"); }, zkbench::Rounds(10));
    // Kept settings, as on every start after the first: one run that ends by
    // a termination signal writes its store, which every timed start then
    // reads (a start writes nothing, and each is killed).
    QTemporaryDir kept;
    if (!zkbench::startUntilShown({program}, "Zelkora 5.0", kept.path().toStdString(), SIGTERM))
        failed = true;
    const zkbench::Result again = zkbench::Turns(
        [&] {
            if (!zkbench::startUntilShown({program}, "Zelkora 5.0", kept.path().toStdString()))
                failed = true;
        },
        [&] { start({g_self, "--floor"}, "ZkFloor"); }, zkbench::Rounds(10));
    if (failed) {
        std::fprintf(stderr, "a window did not appear\n");
        return 1;
    }
    zkbench::Print("first run: start to mapped main window vs minimal Qt", first, 1.6);
    zkbench::Print("kept settings: start to mapped main window vs minimal Qt", again, 1.6);
    return 0;
}
