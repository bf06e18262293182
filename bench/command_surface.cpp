// The commands that follow the program's state, beside their floors in the
// same run:
//  - one idle pass with a picture beside a bare loop that sets `enabled` on
//    the same actions (goal: at most twice the loop);
//  - ten seconds of doing nothing: the main window's process CPU time beside
//    a minimal Qt window's over the same span (goal: no more than it plus the
//    date timer's ticks, i.e. no polling; 2 ms over the span are allowed
//    for the measurement's own noise).
// After the single benchmarks, the idle pass and the loop take turns
// (bench/BenchKit.h) and both verdicts are printed.
#include "BenchKit.h"
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
    for (auto _ : state)
        form->ZKApplicationEventsIdle();
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
    for (auto _ : state)
        for (qsizetype i = 0; i < actions.size(); ++i)
            actions[i]->setEnabled(states[i]);
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
    {
        auto form = formWithPicture();
        form->ZKApplicationEventsIdle();
        const QList<QAction *> actions = groupActions(*form);
        QList<bool> states;
        for (QAction *a : actions)
            states.append(a->isEnabled());
        const int passes = 1000;
        const auto idle = [&] {
            for (int i = 0; i < passes; ++i)
                form->ZKApplicationEventsIdle();
        };
        const auto loop = [&] {
            for (int i = 0; i < passes; ++i)
                for (qsizetype k = 0; k < actions.size(); ++k)
                    actions[k]->setEnabled(states[k]);
        };
        zkbench::Print("idle pass x1000 / bare enable loop x1000", zkbench::Turns(idle, loop, zkbench::Rounds(9)), 2.0);
    }

    const int span = qEnvironmentVariableIntValue("ZK_IDLE_MS") > 0 ? qEnvironmentVariableIntValue("ZK_IDLE_MS")
                                                                      : 10000;
    QWidget minimal;
    minimal.resize(400, 300);
    const double floor = idleCpu(minimal, span);
    auto form = formWithPicture();
    const double ours = idleCpu(*form, span);
    const int ticks = span >= 24 * 3600 * 1000 ? 1 : 0; // the date timer fires at midnight
    std::printf("CPU over %d ms idle: main window %.1f ms, minimal window %.1f ms\n", span, ours * 1e3, floor * 1e3);
    zkbench::PrintAtMost("idle CPU above a minimal window", (ours - floor) * 1e3, 2.0 + ticks, "ms");
    return 0;
}
