// Switching the language of a large form: every switch restores what the
// previous language set and applies the new section. Goal: under 5 ms for a
// form of 300 controls. The real main window switches beside it in the same
// run (goal: at most five times the 300-control form); the ratio is printed.
#include "MainForm.h"
#include "MultiLanguage.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
double g_formNs = 0;   // one switch of the 300-control form
double g_windowNs = 0; // one switch of the main window

// 300 controls of four kinds, German as defined; two sections that caption
// and hint every control, plus the text keys a real section carries.
struct BigForm {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QStringList script;

    explicit BigForm(int controls)
    {
        auto *layout = new QVBoxLayout(form.get());
        for (int i = 0; i < controls; ++i) {
            QWidget *w;
            switch (i % 4) {
            case 0: w = new QLabel(QStringLiteral("Beschriftung %1").arg(i)); break;
            case 1: w = new QPushButton(QStringLiteral("Knopf %1").arg(i)); break;
            case 2: w = new QCheckBox(QStringLiteral("Auswahl %1").arg(i)); break;
            default: w = new QGroupBox(QStringLiteral("Gruppe %1").arg(i)); break;
            }
            w->setObjectName(QStringLiteral("Control%1").arg(i));
            layout->addWidget(w);
        }
        for (const char *section : {"german", "english"}) {
            const bool en = section[0] == 'e';
            script << QStringLiteral("[%1]").arg(QLatin1String(section));
            for (int i = 0; i < 200; ++i)
                script << QStringLiteral("showmsg_text_%1=%2 %1").arg(i).arg(en ? "Message" : "Meldung");
            if (!en)
                continue; // German is what the form defines
            for (int i = 0; i < controls; ++i) {
                script << QStringLiteral("Control%1.Caption=Caption %1").arg(i);
                script << QStringLiteral("Control%1.Hint=Short %1|Long hint %1").arg(i);
            }
        }
    }
};

void BM_SwitchFormOf300Controls(benchmark::State &state)
{
    BigForm f(300);
    int index = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        index ^= 1;
        zk::SetFormLanguage(f.form.get(), f.script, index);
    }
    g_formNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(state.iterations());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SwitchFormOf300Controls)->Unit(benchmark::kMillisecond);

// The program's main window with the language file that ships, German and
// English in turn, through its own language items.
void BM_SwitchMainWindowLanguage(benchmark::State &state)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + QStringLiteral("/Templates"));
    QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"),
                dir.path() + QStringLiteral("/Templates/Languages.lng"));
    zk::SetProgramDirOverride(dir.path());
    zk::TMainForm form;
    QAction *items[2] = {form.Item(QStringLiteral("GermanMenuItem")), form.Item(QStringLiteral("EnglishMenuItem"))};
    int index = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        index ^= 1;
        form.GermanMenuItemClick(items[index]);
    }
    g_windowNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / double(state.iterations());
    state.SetItemsProcessed(state.iterations());
    zk::SetProgramDirOverride(QString());
}
BENCHMARK(BM_SwitchMainWindowLanguage)->Unit(benchmark::kMillisecond);

void BM_GetText(benchmark::State &state)
{
    BigForm f(4);
    zk::SetFormLanguage(f.form.get(), f.script, 1);
    zk::TMultiLanguage *ml = zk::FormMultiLanguage(f.form.get());
    const QString key = QStringLiteral("showmsg_text_150");
    for (auto _ : state)
        benchmark::DoNotOptimize(ml->GetText(key));
}
BENCHMARK(BM_GetText);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The main window reads and writes settings: keep them in a throw-away place.
    QTemporaryDir settings;
    setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", settings.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_formNs > 0 && g_windowNs > 0)
        std::printf("main window switch / 300-control form switch: %.2fx (goal <= 5x)\n", g_windowNs / g_formNs);
    return 0;
}
