// The desktop hot key from its message to the picture in the main window,
// with the fixed 500 ms wait taken out: the goal is under 5 ms at 1920x1080
// (the shared-memory grab alone takes well under 1 ms). Also the parts: the
// grab into the picture, the settling of the screen, and the post-capture
// plan. Needs DISPLAY (Xvfb -screen 0 1920x1080x24 is the reference).
#include "Bitmap.h"
#include "CapturePlan.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "ScreenGrab.h"
#include "ScreenSettle.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

bool haveX()
{
    return std::getenv("DISPLAY") && zk::ScreenGrabber::instance().isAvailable();
}

// The main window as the running program has it, left visible so that each
// round measures the capture and not the window manager mapping a window.
zk::TMainForm &form()
{
    static zk::TMainForm *f = [] {
        auto *m = new zk::TMainForm;
        m->Options.SysKeys = false;
        m->Options.WithZelkoraWin = true;
        m->Options.ScanSound = false;
        m->Options.PersSave = false;
        m->FHotKeyDelayMs = 0;
        m->show();
        zk::SettleScreen(200);
        return m;
    }();
    return *f;
}

void BM_DesktopHotKeyWithoutFixedWait(benchmark::State &state)
{
    if (!haveX()) {
        state.SkipWithError("no X server (set DISPLAY)");
        return;
    }
    zk::TMainForm &f = form();
    f.FHotKeyIds = {1, 2, 3, 4, 5, 6};
    for (auto _ : state) {
        // The repaint of the previous picture is the window's work after a
        // capture, not part of this one.
        state.PauseTiming();
        QApplication::processEvents();
        state.ResumeTiming();
        f.WMHotKey(2);
        benchmark::DoNotOptimize(f.ScanImage->Picture().Bitmap().ScanLine(0));
    }
    if (f.ScanImage->Picture().Width() != zk::ScreenGrabber::instance().rootRect().width())
        state.SkipWithError("the picture is not the screen");
}
BENCHMARK(BM_DesktopHotKeyWithoutFixedWait)->Unit(benchmark::kMillisecond);

void BM_GrabIntoThePicture(benchmark::State &state)
{
    if (!haveX()) {
        state.SkipWithError("no X server (set DISPLAY)");
        return;
    }
    zk::TMainForm &f = form();
    for (auto _ : state) {
        zk::GrabDesktop(f.ScanImage->Picture().Bitmap());
        f.ScanImage->PictureChanged();
    }
}
BENCHMARK(BM_GrabIntoThePicture)->Unit(benchmark::kMillisecond);

void BM_SettleWithoutWait(benchmark::State &state)
{
    if (!haveX()) {
        state.SkipWithError("no X server (set DISPLAY)");
        return;
    }
    form();
    for (auto _ : state)
        zk::SettleScreen(0);
}
BENCHMARK(BM_SettleWithoutWait)->Unit(benchmark::kMicrosecond);

void BM_PlanOfAHotKeyCapture(benchmark::State &state)
{
    zk::TZelkoraOptions options;
    options.PersSave = options.IsAutoincFileName = options.ImgWithMouse = options.AutoWinSize = true;
    zk::TCaptureContext context;
    context.path = zk::TCapturePath::HotKey;
    context.hotKeyRole = 2;
    context.grabbed = true;
    for (auto _ : state)
        benchmark::DoNotOptimize(zk::PlanAfterCapture(context, options));
}
BENCHMARK(BM_PlanOfAHotKeyCapture)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
