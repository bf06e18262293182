// Time from process start to the main window on screen (no start picture),
// beside the floor of any Qt program here: this same executable started in
// its floor mode, which shows one empty window; the two take turns in one
// run, each timed to its window's map by X events. The goal is at most twice
// the floor. Needs DISPLAY (an Xvfb with a window manager is the reference);
// the program runs with throw-away settings folders, so it starts as on a
// first run and the user's settings are never touched.
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
    const zkbench::Result r = zkbench::Turns([&] { start({program}, "Zelkora 5.0"); },
                                             [&] { start({g_self, "--floor"}, "ZkFloor"); }, zkbench::Rounds(10));
    if (failed) {
        std::fprintf(stderr, "a window did not appear\n");
        return 1;
    }
    zkbench::Print("start to mapped main window vs minimal Qt", r, 2.0);
    return 0;
}
