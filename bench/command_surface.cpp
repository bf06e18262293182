// The commands that follow the program's state, beside their floors in the
// same run:
//  - one idle pass with a picture beside a bare loop that sets `enabled` on
//    the same actions (goal: at most twice the loop);
//  - ten seconds of doing nothing: the main window's process CPU time beside
//    a minimal Qt window's over the same span (goal: no more than it plus the
//    date timer's ticks, i.e. no polling).
// Ratios are printed after the benchmarks.
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "ToolBarStore.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
double g_idleNs = 0;
double g_loopNs = 0;

std::unique_ptr<zk::TMainForm> formWithPicture()
{
    auto form = std::make_unique<zk::TMainForm>();
    form->ScanImage->Picture().SetGraphic(std::make_unique<zk::TBitmap>(640, 480, zk::pf24bit));
    form->ScanImage->PictureChanged();
    QCoreApplication::processEvents();
    return form;
}

QList<QAction *> groupActions(const zk::TMainForm &form)
{
    QList<QAction *> actions;
    for (zk::TCommandGroup g : {zk::TCommandGroup::File, zk::TCommandGroup::Edit, zk::TCommandGroup::Cursor,
                                zk::TCommandGroup::View})
        for (const QString &n : zk::CommandGroup(g))
            actions.append(form.Item(n));
    for (const char *n : {"JpgScaleToolButton", "PasteMenuItem", "PasteToolButton", "PrintToolButton"})
        actions.append(form.Item(QString::fromLatin1(n)));
    return actions;
}

void BM_IdlePassWithPicture(benchmark::State &state)
{
    auto form = formWithPicture();
    const auto start = Clock::now();
    for (auto _ : state)
        form->ZKApplicationEventsIdle();
    g_idleNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(state.iterations());
}
BENCHMARK(BM_IdlePassWithPicture)->Unit(benchmark::kMicrosecond);

// The floor: each of the same actions told its current state once.
void BM_BareEnableLoop(benchmark::State &state)
{
    auto form = formWithPicture();
    form->ZKApplicationEventsIdle();
    const QList<QAction *> actions = groupActions(*form);
    QList<bool> states;
    for (QAction *a : actions)
        states.append(a->isEnabled());
    const auto start = Clock::now();
    for (auto _ : state)
        for (qsizetype i = 0; i < actions.size(); ++i)
            actions[i]->setEnabled(states[i]);
    g_loopNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(state.iterations());
}
BENCHMARK(BM_BareEnableLoop)->Unit(benchmark::kMicrosecond);

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds the process spends while its event loop idles for the span.
double idleCpu(QWidget &window, int ms)
{
    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double before = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuSeconds() - before;
    window.hide();
    return used;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settings;
    setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", settings.path().toLocal8Bit().constData(), 1);
    zk::SetProgramDirOverride(settings.path());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_idleNs > 0 && g_loopNs > 0)
        std::printf("idle pass / bare enable loop: %.2fx (goal <= 2x)\n", g_idleNs / g_loopNs);

    const int span = qEnvironmentVariableIntValue("ZK_IDLE_MS") > 0 ? qEnvironmentVariableIntValue("ZK_IDLE_MS")
                                                                      : 10000;
    QWidget minimal;
    minimal.resize(400, 300);
    const double floor = idleCpu(minimal, span);
    auto form = formWithPicture();
    const double ours = idleCpu(*form, span);
    std::printf("CPU over %d ms idle: main window %.1f ms, minimal window %.1f ms, difference %.1f ms "
                "(date timer ticks in the span: %d)\n",
                span, ours * 1e3, floor * 1e3, (ours - floor) * 1e3, span >= 24 * 3600 * 1000 ? 1 : 0);
    return 0;
}
